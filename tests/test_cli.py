import subprocess
import sys

import numpy as np
import pytest

from tidemark.cli import main

CONFIG = """
seed = 7
[patterns]
changepoints = true
num_changepoints = 1
missing_data = true
missing_rate = 0.1
[[generators]]
type = "random_walk"
n_series = 30
length = [5, 40]
params = { volatility = 2.0 }
[[generators]]
type = "inar"
n_series = 10
length = 25
params = { p = 2, alpha_arr = [0.3, 0.2] }
"""


def write(tmp_path, text):
    path = tmp_path / "cfg.toml"
    path.write_text(text)
    return path


def test_generate_from_config_is_reproducible(tmp_path, capsys):
    cfg = write(tmp_path, CONFIG)
    outs = []
    for workers in ("1", "2"):
        out = tmp_path / f"d{workers}.npz"
        assert main(["generate", "--config", str(cfg), "-o", str(out), "-q",
                     "--n-workers", workers]) == 0
        outs.append(np.load(out))
    a, b = outs
    assert set(a.files) == {"values", "lengths", "generator", "cp_indices", "cp_counts",
                            "anom_indices", "anom_counts", "miss_indices", "miss_counts"}
    assert len(a["lengths"]) == 40 and a["values"].size == a["lengths"].sum()
    assert (a["cp_counts"] == 1).all() and a["anom_indices"].size == 0
    assert a["generator"].tolist() == [0] * 30 + [4] * 10
    for key in a.files:
        assert np.array_equal(a[key], b[key], equal_nan=True)
    assert "40 series" in capsys.readouterr().out


@pytest.mark.parametrize(
    "text, fragment",
    [
        ("[[generators]]\ntype = 'nope'\nn_series = 1\nlength = 5\n", "generators[0].type"),
        ("[[generators]]\ntype = 'random_walk'\nlength = 5\n", "generators[0].n_series"),
        ("[[generators]]\ntype = 'random_walk'\nn_series = 1\nlength = 5\nparams = {x = 1}\n",
         "generators[0].params.x"),
        ("seed = -3\n[[generators]]\ntype = 'random_walk'\nn_series = 1\nlength = 5\n", "seed"),
        ("[patterns]\nmissing_rate = 'a lot'\n[[generators]]\ntype = 'random_walk'\n"
         "n_series = 1\nlength = 5\n", "patterns.missing_rate"),
        ("this is = = not toml", "not valid TOML"),
    ],
)
def test_bad_config_names_the_key(tmp_path, capsys, text, fragment):
    assert main(["generate", "--config", str(write(tmp_path, text)), "-q",
                 "-o", str(tmp_path / "x.npz")]) == 2
    err = capsys.readouterr().err
    assert fragment in err and "Traceback" not in err


def test_flags_and_module_entry_point(tmp_path):
    out = tmp_path / "f.npz"
    result = subprocess.run(
        [sys.executable, "-m", "tidemark", "generate", "--generator", "seasonal:noise_level=0.5",
         "--n-series", "12", "--length", "50", "--seed", "3", "--anomaly-fraction", "0.1",
         "-o", str(out)], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    data = np.load(out)
    assert data["lengths"].tolist() == [50] * 12 and (data["anom_counts"] == 5).all()
