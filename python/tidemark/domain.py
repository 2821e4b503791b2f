"""Domain simulators: IoT sensor, energy load, vital signs, clickstream,
daily active users and intermittent demand.

Keyword-argument wrappers over :mod:`tidemark._lib.domain`; ``length`` and
``seed`` as in :mod:`tidemark.stochastic`.  Every function returns a float64
array of ``length`` values (``daily_active_users`` also its event flags).
"""

from __future__ import annotations

import numpy as np
import numpy.typing as npt

from tidemark._codes import (
    CLICKSTREAM_OUTPUT, DEMAND_DISTRIBUTION, FAILURE_MODE, INTERMITTENT_PATTERN, LOAD_TYPE,
    VITAL_SIGN, ClickstreamOutput, DemandDistribution, FailureMode, IntermittentPattern,
    LoadType, VitalSign, code)
from tidemark._convert import FloatArray, SeedLike, as_int32_array, native_seed
from tidemark._lib import domain as _native

__all__ = ["intermittent_demand", "daily_active_users", "energy_load", "vital_signs",
           "iot_sensor", "clickstream"]


def intermittent_demand(
    length: int, *, demand_probability: float = 0.3,
    demand_distribution: DemandDistribution = "poisson", demand_mean: float = 5.0,
    demand_std: float = 2.0, intermittent_pattern: IntermittentPattern = "independent",
    cluster_size: int = 3, seasonal_period: int = 12, seasonal_peak_prob: float = 0.8,
    min_demand: float = 1.0, seed: SeedLike = None,
) -> FloatArray:
    """Intermittent (mostly zero) demand.

    Parameters
    ----------
    demand_probability : float, default 0.3
        Chance of a demand in a period.
    demand_distribution : {"poisson", "negative_binomial", "lognormal", "gamma"}
        Distribution of the demand sizes, default "poisson".
    demand_mean, demand_std : float, default 5.0 and 2.0
    intermittent_pattern : {"independent", "clustered", "seasonal"}, default "independent"
    cluster_size : int, default 3
    seasonal_period : int, default 12
    seasonal_peak_prob : float, default 0.8
    min_demand : float, default 1.0

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.domain import intermittent_demand
    >>> intermittent_demand(52, intermittent_pattern="clustered", seed=1).shape
    (52,)
    """
    return _native.intermittent_demand(
        length, demand_probability,
        code("demand_distribution", DEMAND_DISTRIBUTION, demand_distribution), demand_mean,
        demand_std, code("intermittent_pattern", INTERMITTENT_PATTERN, intermittent_pattern),
        cluster_size, seasonal_period, seasonal_peak_prob, min_demand, native_seed(seed))


def daily_active_users(
    length: int, *, base_users: float = 10_000.0, growth_rate: float = 0.001,
    weekend_factor: float = 0.7, weekly_pattern: bool = True, event_probability: float = 0.02,
    event_impact_min: float = 1.2, event_impact_max: float = 1.5, event_decay_rate: float = 0.3,
    noise_std: float = 0.05, step_hours: float = 24.0, seed: SeedLike = None,
) -> tuple[FloatArray, npt.NDArray[np.int32]]:
    """Daily active users of a product: growth, weekly rhythm and events.

    Parameters
    ----------
    base_users : float, default 10000
    growth_rate : float, default 0.001
        Growth per day.
    weekend_factor : float, default 0.7
    weekly_pattern : bool, default True
    event_probability : float, default 0.02
    event_impact_min, event_impact_max : float, default 1.2 and 1.5
        Range of an event's multiplier on the level (1.5: half as many users again).
    event_decay_rate : float, default 0.3
        Fraction of an event's boost lost per step.
    noise_std : float, default 0.05
        Noise as a fraction of the current level.
    step_hours : float, default 24.0
        Hours per value.

    Returns
    -------
    values : numpy.ndarray
        ``length`` float64 user counts.
    event_starts : numpy.ndarray
        ``length`` int32 flags, 1 where an event started.

    Examples
    --------
    >>> from tidemark.domain import daily_active_users
    >>> users, events = daily_active_users(90, seed=2)
    >>> users.shape, events.dtype.name
    ((90,), 'int32')
    """
    return _native.daily_active_users(
        length, base_users, growth_rate, weekend_factor, weekly_pattern, event_probability,
        event_impact_min, event_impact_max, event_decay_rate, noise_std, step_hours,
        native_seed(seed))


def energy_load(
    length: int, *, base_load: float = 1000.0, load_type: LoadType = "residential",
    daily_pattern: bool = True, daily_amplitude: float = 200.0, weekly_pattern: bool = True,
    weekly_amplitude: float = 100.0, yearly_pattern: bool = True,
    yearly_amplitude: float = 150.0, temperature_sensitive: bool = True,
    temperature_sensitivity: float = 20.0, base_temperature: float = 15.0,
    morning_peak_hour: int = 8, evening_peak_hour: int = 19, peak_amplitude: float = 300.0,
    holiday_effect: float = 0.3, holiday_days: npt.ArrayLike = (0, 358),
    extreme_weather_prob: float = 0.001, extreme_weather_impact: float = 1.3,
    noise_std: float = 20.0, step_hours: float = 1.0, seed: SeedLike = None,
) -> FloatArray:
    """Electric load with daily, weekly, yearly, temperature and holiday effects.

    Parameters
    ----------
    base_load : float, default 1000
    load_type : {"residential", "commercial", "industrial"}, default "residential"
        Daily shape: morning and evening peaks; a midday peak; a night dip with a
        smooth weekly cycle instead of a weekend drop.
    daily_pattern, weekly_pattern, yearly_pattern : bool, default True
    daily_amplitude, weekly_amplitude, yearly_amplitude : float
    temperature_sensitive : bool, default True
    temperature_sensitivity, base_temperature : float, default 20.0 and 15.0
    morning_peak_hour, evening_peak_hour : int, default 8 and 19
    peak_amplitude : float, default 300
    holiday_effect : float, default 0.3
    holiday_days : array_like of int, default (0, 358)
        Days of the year that are holidays.
    extreme_weather_prob, extreme_weather_impact : float, default 0.001 and 1.3
    noise_std : float, default 20
    step_hours : float, default 1.0

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.domain import energy_load
    >>> energy_load(24 * 7, load_type="commercial", seed=3).shape
    (168,)
    """
    return _native.energy_load(
        length, base_load, code("load_type", LOAD_TYPE, load_type), daily_pattern,
        daily_amplitude, weekly_pattern, weekly_amplitude, yearly_pattern, yearly_amplitude,
        temperature_sensitive, temperature_sensitivity, base_temperature, morning_peak_hour,
        evening_peak_hour, peak_amplitude, holiday_effect,
        as_int32_array(holiday_days, "holiday_days"), extreme_weather_prob,
        extreme_weather_impact, noise_std, step_hours, native_seed(seed))


def vital_signs(
    length: int, *, baseline_mean: float = 75.0, baseline_std: float = 5.0,
    min_val: float = 40.0, max_val: float = 200.0, include_circadian: bool = True,
    circadian_magnitude: float = 5.0, include_hrv: bool = True, include_events: bool = True,
    event_probability: float = 0.002, vital_sign_type: VitalSign = "heart_rate",
    seed: SeedLike = None,
) -> FloatArray:
    """A vital sign sampled once a minute.

    Parameters
    ----------
    baseline_mean, baseline_std : float, default 75 and 5
    min_val, max_val : float, default 40 and 200
        Clamping range.
    include_circadian : bool, default True
    circadian_magnitude : float, default 5
    include_hrv : bool, default True
        Variability oscillations (``"plain"``, ``"heart_rate"`` and
        ``"blood_pressure"`` only).
    include_events : bool, default True
    event_probability : float, default 0.002
    vital_sign_type : {"plain", "heart_rate", "blood_pressure", "respiratory_rate", \
"oxygen_saturation"}
        Response to coupled events: none, strong, medium and weak rises, or a drop;
        default "heart_rate".

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.domain import vital_signs
    >>> vital_signs(60, seed=4).shape
    (60,)
    """
    return _native.vital_signs(
        length, baseline_mean, baseline_std, min_val, max_val, include_circadian,
        circadian_magnitude, include_hrv, include_events, event_probability,
        code("vital_sign_type", VITAL_SIGN, vital_sign_type), native_seed(seed))


def iot_sensor(
    length: int, *, base_value: float = 20.0, trend: float = 0.0, amplitude: float = 5.0,
    period: float = 24.0, measurement_noise: float = 0.5, drift_rate: float = 0.0,
    drift_noise: float = 0.0, battery_degradation: bool = False, battery_life: float = 1000.0,
    battery_degradation_rate: float = 0.001, calibration_offset: float = 0.0,
    failure_mode: FailureMode = "none", failure_probability: float = 0.0,
    failure_duration: int = 1, stuck_value: float | None = None,
    spatial_correlation: float = 0.0, seed: SeedLike = None,
) -> FloatArray:
    """Readings of one IoT sensor: periodic signal, drift, battery wear, failures.

    Parameters
    ----------
    base_value, trend, amplitude, period : float, default 20, 0, 5, 24
    measurement_noise : float, default 0.5
    drift_rate, drift_noise : float, default 0
    battery_degradation : bool, default False
    battery_life, battery_degradation_rate : float, default 1000 and 0.001
    calibration_offset : float, default 0
    failure_mode : {"none", "dropout", "dropout_bursts", "stuck"}, default "none"
        Permanent dropout, bursts of NaN readings, or readings stuck at one value.
    failure_probability : float, default 0
    failure_duration : int, default 1
    stuck_value : float, optional
        Value of stuck readings; ``None`` freezes the reading where the failure starts.
    spatial_correlation : float, default 0

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.domain import iot_sensor
    >>> iot_sensor(100, failure_mode="dropout_bursts", failure_probability=0.01, seed=5).shape
    (100,)
    """
    return _native.iot_sensor(
        length, base_value, trend, amplitude, period, measurement_noise, drift_rate,
        drift_noise, battery_degradation, battery_life, battery_degradation_rate,
        calibration_offset, code("failure_mode", FAILURE_MODE, failure_mode),
        failure_probability, failure_duration, stuck_value, spatial_correlation,
        native_seed(seed))


def clickstream(
    length: int, *, base_sessions: float = 200.0, conversion_mult: float = 1.0,
    bounce_mult: float = 1.0, depth_mult: float = 1.0, seasonality_amp: float = 0.5,
    conversion_rate: float = 0.03, bounce_rate: float = 0.4, avg_session_depth: float = 4.0,
    include_seasonality: bool = True, include_bots: bool = True, bot_fraction: float = 0.1,
    output_type: ClickstreamOutput = "sessions", seed: SeedLike = None,
) -> FloatArray:
    """Hourly web traffic: sessions, page views, conversions or bounce rate.

    Parameters
    ----------
    base_sessions : float, default 200
        Mean human sessions per hour.
    conversion_mult, bounce_mult, depth_mult : float, default 1
    seasonality_amp : float, default 0.5
    conversion_rate, bounce_rate : float, default 0.03 and 0.4
    avg_session_depth : float, default 4
    include_seasonality, include_bots : bool, default True
    bot_fraction : float, default 0.1
    output_type : {"sessions", "page_views", "conversions", "bounce_rate"}, default "sessions"

    Returns
    -------
    numpy.ndarray

    Examples
    --------
    >>> from tidemark.domain import clickstream
    >>> clickstream(48, output_type="page_views", seed=6).shape
    (48,)
    """
    return _native.clickstream(
        length, base_sessions, conversion_mult, bounce_mult, depth_mult, seasonality_amp,
        conversion_rate, bounce_rate, avg_session_depth, include_seasonality, include_bots,
        bot_fraction, code("output_type", CLICKSTREAM_OUTPUT, output_type), native_seed(seed))
