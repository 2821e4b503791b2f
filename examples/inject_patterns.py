"""Build a random walk, inject changepoints, anomalies and missing values, and
print what was touched."""

import numpy as np

from tidemark._lib.pattern_injection import add_anomalies, add_changepoints, add_missingness
from tidemark._lib.statistical import random_walk


def main() -> None:
    series = random_walk(200, 0.05, 1.0, 100.0, 42, 0, 0.0)
    empty = np.empty(0)
    series, cp = add_changepoints(series, 1, 2, empty, "level", empty, empty, empty)
    series, anom = add_anomalies(series, 2, ["spike", "dip"], 0.02, 8.0, -8.0, 0.0, 0)
    series, miss = add_missingness(series, 3, "block", 0.05, 5, 1)
    print(f"series of {series.size} values, mean {np.nanmean(series):.3f}")
    print("changepoints at", cp["changepoint_indices"].tolist())
    print("anomalies at   ", anom["anomaly_indices"].tolist())
    print("missing at     ", miss["missing_indices"].tolist())


if __name__ == "__main__":
    main()
