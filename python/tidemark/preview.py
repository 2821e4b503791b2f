"""A picture of a few series of a dataset with their labels marked."""

from __future__ import annotations

from pathlib import Path

import numpy as np

from tidemark.dataset import atomic_path, require


def _stretches(indices: np.ndarray):
    """Runs of consecutive positions as (first, last) pairs."""
    if indices.size == 0:
        return []
    breaks = np.flatnonzero(np.diff(indices) != 1)
    firsts = np.concatenate(([indices[0]], indices[breaks + 1]))
    lasts = np.concatenate((indices[breaks], [indices[-1]]))
    return list(zip(firsts.tolist(), lasts.tolist()))


def draw(dataset, indices, output: Path) -> Path:
    """One panel per series: the values, changepoints as dashed vertical lines,
    anomalies as red dots, missing stretches shaded."""
    matplotlib = require("matplotlib", "plot", "tidemark preview")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    output = Path(output)
    fig, axes = plt.subplots(len(indices), 1, figsize=(10, 2.2 * len(indices) + 0.4),
                             squeeze=False)
    for ax, i in zip(axes[:, 0], indices):
        s = dataset.series(i)
        values = s["values"]
        x = np.arange(values.size)
        ax.plot(x, values, lw=0.8, color="0.2")
        for n, p in enumerate(np.unique(s["cp_indices"])):
            ax.axvline(p, color="tab:blue", ls="--", lw=1,
                       label="changepoint" if n == 0 else None)
        anom = s["anom_indices"]
        if anom.size:
            ax.plot(anom, values[anom], "o", ms=4, color="tab:red", label="anomaly")
        for n, (a, b) in enumerate(_stretches(np.sort(s["miss_indices"]))):
            ax.axvspan(a - 0.5, b + 0.5, color="tab:orange", alpha=0.3, lw=0,
                       label="missing" if n == 0 else None)
        ax.set_title(f"series {i} ({s['generator']})", fontsize=9, loc="left")
        ax.margins(x=0.01)
        if ax.get_legend_handles_labels()[0]:
            ax.legend(loc="lower right", bbox_to_anchor=(1.0, 1.0), fontsize=7, ncol=3,
                      frameon=False, borderaxespad=0.1)
    fig.tight_layout()
    suffix = output.suffix.lstrip(".") or "png"
    with atomic_path(output) as tmp:
        fig.savefig(tmp, format=suffix, dpi=100)
    plt.close(fig)
    return output
