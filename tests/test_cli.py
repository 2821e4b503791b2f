import json
import os
import subprocess
import sys

import numpy as np
import pytest

import tidemark
from tidemark import dataset as ds
from tidemark.catalog import CATALOG
from tidemark.cli import main
from tidemark.config import ConfigError, plan_from_config

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

BASE = "[[generators]]\ntype = 'random_walk'\nn_series = 3\nlength = 20\n"
FLAGS = ["--generator", "random_walk:drift=0.1", "--generator", "seasonal",
         "--n-series", "25", "--length", "20:60", "--seed", "11", "--changepoints", "2",
         "--anomaly-fraction", "0.05", "--anomaly-types", "spike,dip,level_shift",
         "--missing-rate", "0.1", "--missing-pattern", "block", "--missing-block-size", "3"]


def write(tmp_path, text, name="cfg.toml"):
    path = tmp_path / name
    path.write_text(text)
    return path


def run_ok(args, capsys=None):
    assert main(args) == 0
    return capsys.readouterr() if capsys else None


def leftovers(directory):
    """Temporary files an aborted write could have left behind."""
    return [p.name for p in directory.rglob(".*") if p.name.endswith(".tmp") or p.is_dir()]


def same_series(a, b):
    assert a["generator"] == b["generator"] and a["item_id"] == b["item_id"]
    assert a["values"].tobytes() == b["values"].tobytes()
    for key in ("cp_indices", "anom_indices", "miss_indices", "pi_seeds"):
        assert np.array_equal(a[key], b[key]), key
    assert a["gen_seed"] == b["gen_seed"]


# --- the main job ----------------------------------------------------------------------

def test_generate_from_config_is_reproducible(tmp_path, capsys):
    cfg = write(tmp_path, CONFIG)
    paths = []
    for workers in ("1", "2"):
        out = tmp_path / f"d{workers}.npz"
        run_ok(["generate", "--config", str(cfg), "-o", str(out), "-q", "--n-workers", workers])
        paths.append(out)
    assert paths[0].read_bytes() == paths[1].read_bytes()
    a = np.load(paths[0])
    assert set(a.files) == {"values", "lengths", "generator", "gen_seeds", "pi_seeds",
                            "cp_indices", "cp_counts", "anom_indices", "anom_counts",
                            "miss_indices", "miss_counts", "metadata"}
    assert len(a["lengths"]) == 40 and a["values"].size == a["lengths"].sum()
    assert (a["cp_counts"] == 1).all() and a["anom_indices"].size == 0
    assert a["generator"].tolist() == [0] * 30 + [4] * 10
    assert a["miss_counts"].sum() == np.isnan(a["values"]).sum()
    assert "40 series" in capsys.readouterr().out
    # chunking changes only the stored chunk size, never the data
    out = tmp_path / "small_chunks.npz"
    run_ok(["generate", "--config", str(cfg), "-o", str(out), "-q", "--chunk-size", "3"])
    b = np.load(out)
    for key in set(a.files) - {"metadata"}:
        assert a[key].tobytes() == b[key].tobytes(), key


def test_example_config_is_valid():
    import tomllib
    from pathlib import Path

    path = Path(__file__).parent.parent / "examples" / "dataset.toml"
    plan = plan_from_config(tomllib.loads(path.read_text()))
    assert plan.total == 35000
    assert plan.patterns["missing_block_size"] == 5


def test_every_catalog_generator_runs_with_its_defaults():
    for name, spec in CATALOG.items():
        plan = plan_from_config({"seed": 1, "generators": [
            {"type": name, "n_series": 2, "length": 40}]})
        chunk = ds.generate_chunk(plan, 0, 2, n_workers=1)
        assert chunk.values.size == 80 and np.isfinite(chunk.values).all(), name
        assert chunk.generator.tolist() == [spec.gen_type] * 2


def test_description_round_trips_through_its_resolved_form(tmp_path):
    import tomllib

    plan = plan_from_config(tomllib.loads(CONFIG))
    described = plan.describe()
    assert plan_from_config(json.loads(json.dumps(described))).describe() == described
    assert described["generators"][0]["params"]["drift"] == 0.0  # defaults are written out
    assert "missing_block_size" not in described["patterns"]  # only settings in effect


# --- bad input: one line naming the key or flag, exit code 2, nothing written -------------

BAD_CONFIGS = [
    ("[[generators]]\ntype = 'randm_walk'\nn_series = 1\nlength = 5\n",
     "generators[0].type: unknown generator 'randm_walk' (did you mean 'random_walk'?)"),
    ("[[generators]]\ntype = 'random_walk'\nlength = 5\n", "generators[0].n_series: missing"),
    (BASE + "params = {drif = 1}\n", "generators[0].params.drif: unknown parameter of "
     "random_walk (did you mean 'drift'?)"),
    (BASE + "params = {drift = nan}\n", "generators[0].params.drift: must be finite"),
    ("[[generators]]\ntype = 'random_walk'\nn_series = 1\nlength = 0\n",
     "generators[0].length"),
    ("seed = -3\n" + BASE, "seed: must be in [0, 2**64)"),
    ("sed = 3\n" + BASE, "sed: unknown key (did you mean 'seed'?)"),
    ("this is = = not toml", "not valid TOML"),
    ("[patterns]\nmissing_rate = 'a lot'\nmissing_data = true\n" + BASE,
     "patterns.missing_rate: expected a number"),
    ("[patterns]\nchangepoints = true\nchangepoint_type = 'Level'\n" + BASE,
     "patterns.changepoint_type: unknown changepoint type 'Level' (did you mean 'level'?)"),
    ("[patterns]\nanomalies = true\nanomaly_types = ['spikes']\n" + BASE,
     "patterns.anomaly_types[0]: unknown anomaly type 'spikes' (did you mean 'spike'?)"),
    ("[patterns]\nmissing_data = true\nmissing_pattern = 'blocks'\n" + BASE,
     "patterns.missing_pattern: unknown missing pattern 'blocks' (did you mean 'block'?)"),
    ("[patterns]\nnum_changepoints = 3\n" + BASE,
     "patterns.num_changepoints: has no effect unless patterns.changepoints = true"),
    ("[patterns]\nnum_changepoint = 3\n" + BASE,
     "patterns.num_changepoint: unknown pattern setting (did you mean 'num_changepoints'?)"),
    ("[patterns]\nmissing_data = true\nmissing_pattern = 'block'\nmissing_block_size = 0\n"
     + BASE, "patterns.missing_block_size: must be >= 1"),
    ("[patterns]\nmissing_data = true\nmissing_pattern = 'block'\n" + BASE,
     "patterns.missing_block_size: required with the block pattern"),
    ("[patterns]\nmissing_data = true\nmissing_pattern = 'seasonal'\n"
     "missing_seasonal_period = 1\n" + BASE, "patterns.missing_seasonal_period: must be >= 2"),
    ("[patterns]\nmissing_data = true\nmissing_block_size = 4\n" + BASE,
     "patterns.missing_block_size: has no effect unless patterns.missing_pattern is 'block'"),
    ("[patterns]\nanomalies = true\nanomaly_types = []\n" + BASE,
     "patterns.anomaly_types: must name at least one"),
    ("[patterns]\nanomalies = true\nanomaly_types = ['dip']\ndip_magnitude = 4.0\n" + BASE,
     "patterns.dip_magnitude: must be < 0"),
    ("[patterns]\nanomalies = true\nanomaly_types = ['dip']\nspike_magnitude = 4.0\n" + BASE,
     "patterns.spike_magnitude: has no effect unless patterns.anomaly_types includes 'spike'"),
    ("[patterns]\nanomalies = true\nanomaly_fraction = -0.1\n" + BASE,
     "patterns.anomaly_fraction: must be in (0, 1]"),
    ("[patterns]\nchangepoints = true\nnum_changepoints = -1\n" + BASE,
     "patterns.num_changepoints: must be in [1, 1000]"),
    ("[patterns]\nchangepoints = true\nchangepoint_type = 'trend'\n"
     "changepoint_level_changes = [1.0]\n" + BASE,
     "patterns.changepoint_level_changes: has no effect with changepoint type 'trend'"),
    ("[[generators]]\ntype = 'seasonal'\nn_series = 2\nlength = 50\n"
     "params = {innov_dist = 1, innov_param = 2.0}\n",
     "generators[0] (seasonal): Student's t df must be > 2"),
]


@pytest.mark.parametrize("text, message", BAD_CONFIGS)
def test_bad_config_names_the_key(tmp_path, capsys, text, message):
    out = tmp_path / "x.npz"
    assert main(["generate", "--config", str(write(tmp_path, text)), "-q", "-o", str(out)]) == 2
    err = capsys.readouterr().err
    assert message in err and err.count("\n") == 1 and "Traceback" not in err
    assert not out.exists()


BAD_FLAGS = [
    (["--length", "abc"], "--length: expected a whole number N or a range MIN:MAX, got 'abc'"),
    (["--length", "10.5"], "--length:"),
    (["--length", "1:2:3"], "--length:"),
    (["--length", "9:3"], "length"),
    (["--n-series", "x"], "--n-series"),
    (["--n-series", "-4"], "--n-series: must be >= 0"),
    (["--n-series", "1000000000"], "--n-series: the dataset needs about"),
    (["--seed", "1.5"], "--seed"),
    (["-o", "/no/such/dir/out.npz"], "--output: directory /no/such/dir does not exist"),
    (["--generator", "seasonl"], "--generator: unknown generator 'seasonl' (did you mean "
     "'seasonal'?)"),
    (["--generator", "seasonal:period=3"], "--generator seasonal:period: unknown parameter"),
    (["--generator", "seasonal:trend=up"], "--generator seasonal:trend: not a number: 'up'"),
    (["--missing-rate", "0.1", "--missing-pattern", "blocks"],
     "--missing-pattern: unknown missing pattern 'blocks' (did you mean 'block'?)"),
    (["--missing-block-size", "4"],
     "--missing-block-size: has no effect unless --missing-rate is given"),
    (["--missing-rate", "0.1", "--missing-pattern", "seasonal",
      "--missing-seasonal-period", "1"], "--missing-seasonal-period: must be >= 2"),
    (["--changepoint-type", "trend"], "--changepoint-type: has no effect unless --changepoints"),
    (["--changepoints", "2", "--changepoint-type", "Level"], "did you mean 'level'?"),
    (["--anomaly-fraction", "0.1", "--anomaly-types", "spikes"], "did you mean 'spike'?"),
    (["--anomaly-fraction", "0.1", "--dip-magnitude", "3"], "--dip-magnitude: must be < 0"),
    (["--changepoints", "1", "--changepoint-locations", "0.5,x"],
     "--changepoint-locations: not a number: 'x'"),
    (["--shard", "0/1"], "--shard: only for Parquet output"),
    (["--format", "csv"], "--format"),
]


@pytest.mark.parametrize("extra, message", BAD_FLAGS)
def test_bad_flags_name_the_flag(tmp_path, capsys, extra, message):
    args = ["generate", "--generator", "random_walk", "-q", "-o", str(tmp_path / "x.npz")]
    if extra and extra[0] == "--generator":
        args = ["generate", "-q", "-o", str(tmp_path / "x.npz")]
    assert main(args + extra) == 2
    err = capsys.readouterr().err
    assert message in err and err.count("\n") == 1 and "Traceback" not in err
    assert list(tmp_path.iterdir()) == []


def test_config_and_description_flags_do_not_mix(tmp_path, capsys):
    cfg = write(tmp_path, CONFIG)
    for extra in (["--changepoints", "2"], ["--length", "5"], ["--missing-rate", "0.1"],
                  ["--generator", "seasonal"]):
        assert main(["generate", "--config", str(cfg), "-q", *extra]) == 2
        assert "cannot be combined with --config" in capsys.readouterr().err
    # the documented overrides apply
    out = tmp_path / "o.npz"
    run_ok(["generate", "--config", str(cfg), "-q", "-o", str(out), "--seed", "99"])
    assert tidemark.load_dataset(out).metadata["seed"] == 99


def test_anomalies_without_types_use_spikes_and_dips(tmp_path):
    cfg = write(tmp_path, "[patterns]\nanomalies = true\nanomaly_fraction = 0.1\n" + BASE)
    out = tmp_path / "a.npz"
    run_ok(["generate", "--config", str(cfg), "-q", "-o", str(out)])
    d = tidemark.load_dataset(out)
    assert d.metadata["config"]["patterns"]["anomaly_types"] == ["spike", "dip"]
    s = d.series(0)
    assert s["anom_indices"].size == 2


# --- writing -------------------------------------------------------------------------------

def test_output_path_is_the_one_written_and_printed(tmp_path, capsys):
    out = tmp_path / "out.dat"
    out_text = run_ok(["generate", "--generator", "random_walk", "--n-series", "3", "-q",
                       "--format", "npz", "-o", str(out)], capsys).out
    assert out_text.startswith(f"wrote {out}:") and out.exists()
    assert sorted(p.name for p in tmp_path.iterdir()) == ["out.dat"]
    mask = os.umask(0o022)
    os.umask(mask)
    assert out.stat().st_mode & 0o777 == 0o666 & ~mask  # not the temporary file's 0600


@pytest.mark.parametrize("fmt", ["npz", "parquet"])
@pytest.mark.parametrize("exc, code", [(KeyboardInterrupt, 130), (ValueError, 1),
                                       (MemoryError, 1)])
def test_an_interrupted_run_leaves_the_old_output_intact(tmp_path, capsys, monkeypatch,
                                                         fmt, exc, code):
    if fmt == "parquet":
        pytest.importorskip("pyarrow")
    out = tmp_path / ("d.npz" if fmt == "npz" else "d")
    args = ["generate", "--generator", "random_walk", "--n-series", "40", "--length", "30",
            "--chunk-size", "10", "--shard-size", "40", "-q", "-o", str(out), "--format", fmt]
    run_ok(args)
    before = {p.name: p.read_bytes() for p in ([out] if fmt == "npz" else out.iterdir())}
    real = ds.generate_chunk

    def failing(plan, start, stop, n_workers=None):
        if start >= 20:
            raise exc("stop")
        return real(plan, start, stop, n_workers)

    monkeypatch.setattr(ds, "generate_chunk", failing)
    assert main(args + ["--seed", "5", "--force"]) == code
    err = capsys.readouterr().err
    assert err.strip().count("\n") == 0 and "Traceback" not in err
    after = {p.name: p.read_bytes() for p in ([out] if fmt == "npz" else out.iterdir())}
    if fmt == "npz":
        assert after == before
    else:  # --force removed the old dataset; the new one lacks the shard that failed
        assert sorted(after) == ["metadata.json"]
        with pytest.raises(ValueError, match="missing shards"):
            tidemark.load_dataset(out)
    assert leftovers(tmp_path) == []


# --- self-describing output -------------------------------------------------------------

def test_a_series_can_be_regenerated_from_the_file_alone(tmp_path):
    from tidemark._lib.batch import generate_batch

    out = tmp_path / "d.npz"
    run_ok(["generate", *FLAGS, "-q", "-o", str(out)])
    d = tidemark.load_dataset(out)
    meta = d.metadata
    assert meta["tidemark_version"] == tidemark.__version__ and meta["seed"] == 11
    assert meta["generators"] == {"0": "random_walk", "1": "seasonal"}
    assert len(d) == 50
    for i in (0, 24, 25, 49):
        same_series(d.series(i), d.regenerate(i))
        same_series(d.series(i), tidemark.regenerate_series(meta, i))
    # the documented recipe: seeds from SeedSequence, one generate_batch call
    i = 31
    group = meta["config"]["generators"][1]
    words = np.random.SeedSequence(meta["seed"], spawn_key=(i,)).generate_state(5, np.uint64)
    lo, hi = group["length"]
    length = lo + ((int(words[0]) >> 32) * (hi - lo + 1) >> 32)
    spec = CATALOG[group["type"]]
    [row] = generate_batch(
        spec.gen_type, np.array([group["params"][k] for k, _ in spec.scalars], float),
        [np.array(group["params"][k], float) for k, _ in spec.arrays],
        np.array([length], np.int32), words[1:2], words[2:5], meta["config"]["patterns"])
    stored = d.series(i)
    assert row["values"].tobytes() == stored["values"].tobytes()
    assert np.array_equal(row["miss_indices"], stored["miss_indices"])


def test_label_masks_mark_the_reported_positions(tmp_path):
    out = tmp_path / "m.npz"
    run_ok(["generate", *FLAGS, "--label-masks", "-q", "-o", str(out)])
    a = np.load(out)
    starts = np.concatenate(([0], np.cumsum(a["lengths"])[:-1]))
    for name in ("cp", "anom", "miss"):
        expect = np.zeros(a["values"].size, bool)
        expect[np.repeat(starts, a[f"{name}_counts"]) + a[f"{name}_indices"]] = True
        assert np.array_equal(a[f"{name}_mask"], expect)
    assert np.array_equal(a["miss_mask"], np.isnan(a["values"]))


# --- Parquet shards ----------------------------------------------------------------------

def test_parquet_shards_are_independent_and_match_npz(tmp_path, capsys):
    pq = pytest.importorskip("pyarrow.parquet")
    common = [*FLAGS, "--chunk-size", "7", "--shard-size", "20", "--label-masks", "-q"]
    whole = tmp_path / "whole"
    run_ok(["generate", *common, "-o", str(whole), "--format", "parquet"], capsys)
    names = sorted(p.name for p in whole.iterdir())
    assert names == ["metadata.json", "part-00000.parquet", "part-00001.parquet",
                     "part-00002.parquet"]
    pieces = tmp_path / "pieces"
    for k in (2, 0, 1):
        out = run_ok(["generate", *common, "-o", str(pieces), "--shard", f"{k}/3",
                      "--n-workers", str(k + 1)], capsys).out
        assert out.startswith(f"wrote {pieces / f'part-0000{k}.parquet'}:")
    for name in names:
        assert (whole / name).read_bytes() == (pieces / name).read_bytes(), name
    assert main(["generate", *common, "-o", str(pieces), "--shard", "0/4"]) == 2
    assert "this dataset has 3 shards of 20 series, not 4" in capsys.readouterr().err

    table = pq.read_table(whole / "part-00001.parquet")
    assert table.column_names[:6] == ["item_id", "generator", "target", "cp_indices",
                                      "anom_indices", "miss_indices"]
    import pyarrow as pa
    target = table.schema.field("target").type
    assert pa.types.is_list(target) and target.value_type == pa.float64()
    assert table.column("item_id").to_pylist() == list(range(20, 40))
    assert json.loads(table.schema.metadata[b"tidemark"]) == json.loads(
        (whole / "metadata.json").read_text())
    assert pq.ParquetFile(whole / "part-00001.parquet").metadata.num_row_groups == 3

    npz = tmp_path / "d.npz"
    run_ok(["generate", *FLAGS, "-q", "-o", str(npz)])
    p, n = tidemark.load_dataset(whole), tidemark.load_dataset(npz)
    for i in (0, 19, 20, 33, 49):
        same_series(p.series(i), n.series(i))
        same_series(p.series(i), p.regenerate(i))
    rows = table.slice(3, 1).to_pylist()[0]
    assert rows["miss_mask"] == np.isnan(rows["target"]).tolist()


def test_parquet_directory_holding_another_dataset_is_refused(tmp_path, capsys):
    pytest.importorskip("pyarrow")
    out = tmp_path / "d"
    args = ["generate", "--generator", "random_walk", "--n-series", "5", "-q", "-o", str(out),
            "--format", "parquet"]
    run_ok(args)
    assert main(args + ["--seed", "3"]) == 2
    assert "holds another dataset" in capsys.readouterr().err
    run_ok(args + ["--seed", "3", "--force"])
    assert tidemark.load_dataset(out).metadata["seed"] == 3
    (out / "part-00000.parquet").unlink()
    with pytest.raises(ValueError, match="missing shards: part-00000.parquet"):
        tidemark.load_dataset(out)


def test_shards_on_a_dask_cluster_match_a_single_process_run(tmp_path):
    pytest.importorskip("pyarrow")
    distributed = pytest.importorskip("dask.distributed")
    from tidemark.distributed import generate_on_dask

    text = "chunk_size = 4\nshard_size = 9\n" + CONFIG
    cfg = write(tmp_path, text)
    local = tmp_path / "local"
    run_ok(["generate", "--config", str(cfg), "-q", "-o", str(local)])
    remote = tmp_path / "remote"
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        paths = generate_on_dask(cfg, remote, client)
        assert len(set(client.run(os.getpid))) == 2
    assert len(paths) == 5
    names = sorted(p.name for p in local.iterdir())
    assert names == sorted(p.name for p in remote.iterdir())
    for name in names:
        assert (local / name).read_bytes() == (remote / name).read_bytes(), name


# --- the rest of the tool -----------------------------------------------------------------

def test_version_generators_and_module_entry_point(tmp_path):
    def tool(*args):
        return subprocess.run([sys.executable, "-m", "tidemark", *args], capture_output=True,
                              text=True)

    result = tool("--version")
    assert result.returncode == 0 and result.stdout.strip() == f"tidemark {tidemark.__version__}"
    listing = tool("generators").stdout
    for name, spec in CATALOG.items():
        assert f"{name} (batch code {spec.gen_type})" in listing
        for key in spec.keys():
            assert f"    {key} = " in listing
    assert "missing_seasonal_period" in listing and "\x1b" not in listing
    bad = tool("generators", "randomwalk")
    assert bad.returncode == 2 and "did you mean 'random_walk'?" in bad.stderr

    out = tmp_path / "f.npz"
    result = tool("generate", "--generator", "seasonal:noise_level=0.5", "--n-series", "12",
                  "--length", "50", "--seed", "3", "--anomaly-fraction", "0.1", "-o", str(out))
    assert result.returncode == 0, result.stderr
    data = np.load(out)
    assert data["lengths"].tolist() == [50] * 12 and (data["anom_counts"] == 5).all()
    # progress on a pipe: plain lines with rate and ETA, no carriage returns
    assert "12/12 series (100%)" in result.stderr and "series/s, ETA" in result.stderr
    assert "\r" not in result.stderr


def test_preview_draws_a_png(tmp_path, capsys):
    pytest.importorskip("matplotlib")
    data = tmp_path / "d.npz"
    run_ok(["generate", *FLAGS, "-q", "-o", str(data)])
    out = tmp_path / "p.png"
    assert main(["preview", str(data), "-o", str(out), "--series", "0,30"]) == 0
    assert out.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert main(["preview", str(data), "--series", "99"]) == 2
    assert "--series: 99 out of range" in capsys.readouterr().err
    assert main(["preview", str(tmp_path / "nope.npz")]) == 2


def test_missing_extra_is_reported_with_the_install_command():
    with pytest.raises(ConfigError, match=r"pip install 'tidemark\[plot\]'"):
        ds.require("tidemark_no_such_module", "plot", "tidemark preview")


@pytest.mark.parametrize("master", [0, 1, 2026, 2**32 - 1, 2**32, 2**63 + 5, 2**64 - 1])
def test_series_seeds_are_numpy_seed_sequence_words(master):
    from tidemark.seeds import lengths_from_words, series_words

    indices = [0, 1, 2, 977, 2**32 - 1]
    for i in indices:
        words = series_words(master, i, i + 1)
        expect = np.random.SeedSequence(master, spawn_key=(i,)).generate_state(5, np.uint64)
        assert words.tolist() == [expect.tolist()]
    block = series_words(master, 100, 400)  # a range equals its pieces
    assert np.array_equal(block[250:], series_words(master, 350, 400))
    lengths = lengths_from_words(series_words(master, 0, 5000), 10, 13)
    assert set(lengths.tolist()) == {10, 11, 12, 13}


def test_ctrl_c_exits_130_and_keeps_the_previous_file(tmp_path):
    import signal
    import time

    out = tmp_path / "d.npz"
    run_ok(["generate", "--generator", "random_walk", "--n-series", "3", "-q", "-o", str(out)])
    before = out.read_bytes()
    proc = subprocess.Popen(
        [sys.executable, "-m", "tidemark", "generate", "--generator", "random_walk",
         "--n-series", "300000", "--length", "512", "-o", str(out)],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
        # A test run started in the background passes SIGINT down ignored.
        preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    try:
        deadline = time.monotonic() + 60
        while not any(p.name.endswith(".tmp") for p in tmp_path.iterdir()):
            assert proc.poll() is None and time.monotonic() < deadline
            time.sleep(0.02)
        proc.send_signal(signal.SIGINT)
        _, err = proc.communicate(timeout=60)
    finally:
        proc.kill()
    assert proc.returncode == 130
    assert err == "tidemark: interrupted; nothing half-written was left\n"
    assert out.read_bytes() == before
    assert sorted(p.name for p in tmp_path.iterdir()) == ["d.npz"]
