"""The batch generators the command-line tool knows: their batch codes and
the order of their scalar and array slots, with defaults."""

from __future__ import annotations

from dataclasses import dataclass, field

INNOVATION = (("innov_dist", 0), ("innov_param", 0.0))


@dataclass(frozen=True)
class GeneratorSpec:
    name: str
    gen_type: int
    scalars: tuple[tuple[str, float], ...]
    arrays: tuple[tuple[str, tuple[float, ...]], ...] = field(default=())

    def keys(self) -> list[str]:
        return [k for k, _ in self.scalars] + [k for k, _ in self.arrays]


CATALOG = {
    spec.name: spec
    for spec in (
        GeneratorSpec("random_walk", 0,
                      (("drift", 0.0), ("volatility", 1.0), ("start_value", 0.0), *INNOVATION)),
        GeneratorSpec("seasonal", 1,
                      (("seasonality_period", 12), ("seasonality_amplitude", 1.0), ("trend", 0.0),
                       ("noise_level", 0.1), ("base_level", 0.0), *INNOVATION)),
        GeneratorSpec("sarima", 2,
                      (("d", 0), ("seasonal_d", 0), ("seasonal_period", 12), ("mean", 0.0),
                       ("drift_val", 0.0), ("noise_std", 1.0), ("burn_in", 100), *INNOVATION),
                      (("full_ar_poly", ()), ("full_ma_poly", ()))),
        GeneratorSpec("ets", 3,
                      (("error_type", 0), ("trend_type", 0), ("seasonal_type", 0),
                       ("seasonal_period", 12), ("level", 10.0), ("trend_init", 0.0),
                       ("alpha", 0.2), ("beta_param", 0.05), ("gamma", 0.1), ("phi", 0.98),
                       ("damped", 0), ("noise_std", 1.0), *INNOVATION),
                      (("seasonal_init", ()),)),
        GeneratorSpec("inar", 4,
                      (("p", 1), ("innov_type", 0), ("innov_mean", 2.0),
                       ("innov_dispersion", 1.0)),
                      (("alpha_arr", (0.5,)),)),
        # A local-level-plus-slope model: the level follows the slope, and
        # one noisy observation of the level is returned.
        GeneratorSpec("state_space", 19,
                      (("state_dim", 2), ("obs_dim", 1), *INNOVATION),
                      (("f_mat", (1.0, 1.0, 0.0, 1.0)), ("h_mat", (1.0, 0.0)),
                       ("q_mat", (0.1, 0.0, 0.0, 0.01)), ("r_mat", (0.5,)),
                       ("initial_state", (0.0, 0.0)),
                       ("initial_state_cov", (1.0, 0.0, 0.0, 0.1)))),
        GeneratorSpec("fbm", 20,
                      (("hurst", 0.7), ("sigma", 1.0), ("initial_value", 0.0),
                       ("cumulative", 1), ("method", 2))),
        GeneratorSpec("gaussian_process", 21,
                      (("kernel_id", 0), ("length_scale", 10.0), ("amplitude", 1.0),
                       ("period", 24.0), ("mean", 0.0), ("noise_variance", 0.01))),
    )
}
