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
        GeneratorSpec("tsi", 28,
                      (("trend_size_low", 0.5), ("trend_size_high", 5.0),
                       ("exp_rate_low", 0.5), ("exp_rate_high", 3.0),
                       ("knots_low", 1), ("knots_high", 4),
                       ("level_low", -1.0), ("level_high", 1.0),
                       ("seasonal_count_low", 0), ("seasonal_count_high", 2),
                       ("amplitude_low", 0.2), ("amplitude_high", 2.0),
                       ("modulated_prob", 0.3), ("harmonic_prob", 0.5),
                       ("noise_ratio_low", 0.05), ("noise_ratio_high", 0.5),
                       ("ar_coef_low", 0.2), ("ar_coef_high", 0.9),
                       ("t_dof_low", 3.0), ("t_dof_high", 10.0),
                       ("multiplicative_prob", 0.3),
                       ("scale_low", 0.5), ("scale_high", 5.0)),
                      (("trend_types", (0.0, 1.0, 2.0, 3.0, 4.0, 5.0)),
                       ("seasonal_periods", (7.0, 12.0, 24.0, 52.0)),
                       ("irregular_types", (0.0, 1.0, 2.0, 3.0, 4.0)))),
        GeneratorSpec("tcm", 29,
                      (("variables_low", 2), ("variables_high", 5),
                       ("lags_low", 1), ("lags_high", 3),
                       ("link_prob_low", 0.1), ("link_prob_high", 0.4),
                       ("link_coef_low", 0.1), ("link_coef_high", 0.8),
                       ("radius_scale", 1.0), ("clip_bound", 5.0),
                       ("noise_scale_low", 0.5), ("noise_scale_high", 1.5),
                       ("seasonal_vol_prob", 0.3)),
                      (("edge_kinds", (0.0, 1.0, 2.0, 3.0, 4.0)),
                       ("noise_types", (0.0, 1.0, 2.0)))),
        GeneratorSpec("mar", 30,
                      (("k_max", 3), ("p_max", 3), ("seasonal_period", 0),
                       ("weight_concentration", 1.0), ("intercept_spread", 0.5),
                       ("sigma_min", 0.1), ("sigma_max", 1.0), ("burn_in", 100),
                       ("standardise", 1), ("fixed_mode", 0), *INNOVATION),
                      (("weights", ()), ("orders", ()), ("coefficients", ()),
                       ("intercepts", ()), ("sigmas", ()))),
    )
}
