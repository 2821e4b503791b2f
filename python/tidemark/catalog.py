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
        GeneratorSpec("ornstein_uhlenbeck", 5,
                      (("theta", 0.5), ("mu", 0.0), ("sigma", 1.0), ("initial_value", 0.0),
                       ("dt", 0.1), *INNOVATION)),
        GeneratorSpec("geometric_brownian_motion", 6,
                      (("mu", 0.05), ("sigma", 0.2), ("initial_value", 100.0),
                       ("dt", 1.0 / 252.0), *INNOVATION)),
        GeneratorSpec("jump_diffusion", 7,
                      (("mu", 0.05), ("sigma", 0.2), ("lambda_jump", 5.0), ("jump_mean", -0.02),
                       ("jump_std", 0.05), ("initial_value", 100.0), ("dt", 1.0 / 252.0),
                       *INNOVATION)),
        GeneratorSpec("cyclic", 9,
                      (("base_level", 10.0), ("trend", 0.01), ("cycle_period_mean", 50.0),
                       ("cycle_period_std", 10.0), ("cycle_amplitude_mean", 2.0),
                       ("cycle_amplitude_std", 0.5), ("num_cycles", 2), ("noise_std", 0.3),
                       *INNOVATION)),
        GeneratorSpec("garch", 10,
                      (("p", 1), ("q", 1), ("omega", 0.05), ("mu", 0.0),
                       ("initial_variance", 1.0), *INNOVATION),
                      (("alpha_arr", (0.1,)), ("beta_arr", (0.85,)))),
        GeneratorSpec("stochastic_volatility", 15,
                      (("model_type", 0), ("initial_price", 100.0), ("initial_vol", 0.04),
                       ("drift", 0.05), ("mean_vol", 0.04), ("vol_mean_reversion", 2.0),
                       ("vol_of_vol", 0.3), ("correlation", -0.7), ("beta_param", 0.5),
                       ("dt", 1.0 / 252.0), ("output_type", 0), *INNOVATION)),
        GeneratorSpec("regime_switching", 16,
                      (("n_regimes", 2), ("initial_regime", 0), *INNOVATION),
                      (("regime_means", (0.0, 3.0)), ("regime_variances", (1.0, 0.5)),
                       ("regime_ar_coeffs", (0.5, 0.3)),
                       ("transition_matrix", (0.95, 0.05, 0.1, 0.9)),
                       ("stationary_probs", (0.5, 0.5)))),
        GeneratorSpec("poisson_process", 8, (("lambda_rate", 3.0), ("cumulative", 0))),
        GeneratorSpec("hawkes_process", 11,
                      (("baseline_intensity", 0.5), ("excitation_amplitude", 0.8),
                       ("decay_rate", 1.2), ("kernel_type", 0), ("power_law_exponent", 1.5),
                       ("output_type", 0), ("max_events", 100_000))),
        GeneratorSpec("chaotic_system", 12,
                      (("system_id", 0), ("sigma", 10.0), ("rho", 28.0), ("beta", 8.0 / 3.0),
                       ("dt", 0.01), ("logistic_r", 3.9), ("mg_beta", 0.2), ("mg_gamma", 0.1),
                       ("mg_n", 10.0), ("mg_tau", 17), ("observation_noise", 0.0),
                       ("initial_perturbation", 0.1))),
        GeneratorSpec("bounded_process", 13,
                      (("model_id", 0), ("phi", 0.9), ("omega", 0.05), ("kappa", 20.0),
                       ("sigma_param", 0.3), ("initial_value", 0.5), ("lower", 0.0),
                       ("upper", 1.0))),
        GeneratorSpec("levy_process", 14,
                      (("alpha", 1.7), ("beta_skew", 0.0), ("scale", 1.0), ("location", 0.0),
                       ("cumulative", 1), ("initial_value", 0.0))),
        GeneratorSpec("intermittent_demand", 22,
                      (("demand_probability", 0.3), ("demand_distribution", 0),
                       ("demand_mean", 5.0), ("demand_std", 2.0), ("intermittent_pattern", 0),
                       ("cluster_size", 3), ("seasonal_period", 12),
                       ("seasonal_peak_prob", 0.8), ("min_demand", 1.0))),
        GeneratorSpec("energy_load", 24,
                      (("base_load", 1000.0), ("load_type", 0), ("daily_pattern", 1),
                       ("daily_amplitude", 200.0), ("weekly_pattern", 1),
                       ("weekly_amplitude", 100.0), ("yearly_pattern", 1),
                       ("yearly_amplitude", 150.0), ("temperature_sensitive", 1),
                       ("temperature_sensitivity", 20.0), ("base_temperature", 15.0),
                       ("morning_peak_hour", 8), ("evening_peak_hour", 19),
                       ("peak_amplitude", 300.0), ("holiday_effect", 0.3),
                       ("extreme_weather_prob", 0.001), ("extreme_weather_impact", 1.3),
                       ("noise_std", 20.0), ("step_hours", 1.0)),
                      (("holiday_days", (0.0, 358.0)),)),
        GeneratorSpec("vital_signs", 25,
                      (("baseline_mean", 75.0), ("baseline_std", 5.0), ("min_val", 40.0),
                       ("max_val", 200.0), ("include_circadian", 1),
                       ("circadian_magnitude", 5.0), ("include_hrv", 1), ("include_events", 1),
                       ("event_probability", 0.002), ("vital_sign_type", 1))),
        GeneratorSpec("clickstream", 27,
                      (("base_sessions", 200.0), ("conversion_mult", 1.0), ("bounce_mult", 1.0),
                       ("depth_mult", 1.0), ("seasonality_amp", 0.5), ("conversion_rate", 0.03),
                       ("bounce_rate", 0.4), ("avg_session_depth", 4.0),
                       ("include_seasonality", 1), ("include_bots", 1), ("bot_fraction", 0.1),
                       ("output_type", 0))),
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
