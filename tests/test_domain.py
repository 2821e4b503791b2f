import math

import numpy as np
import pytest

from conftest import internal_failure_type
from tidemark._lib.batch import generate_batch
from tidemark._lib.domain import (
    clickstream,
    daily_active_users,
    energy_load,
    intermittent_demand,
    iot_sensor,
    vital_signs,
)

TWO_PI = 6.283185307179586
NO_HOLIDAYS = np.empty(0, np.int32)
NORMAL_MESSAGE = "invalid normal params: std must be finite and >= 0"


# --- calls with every parameter named, defaults that give sensible series ---

def iot(length=200, base_value=20.0, trend=0.01, amplitude=2.0, period=24.0, noise=0.2,
        drift_rate=0.0, drift_noise=0.01, battery=False, battery_life=0.0, battery_rate=0.0,
        offset=0.5, mode=0, failure_p=0.0, duration=1, stuck=None, spatial=0.0, seed=1):
    return iot_sensor(length, base_value, trend, amplitude, period, noise, drift_rate,
                      drift_noise, battery, battery_life, battery_rate, offset, mode, failure_p,
                      duration, stuck, spatial, seed)


ENERGY = dict(base_load=100.0, load_type=0, daily_pattern=True, daily_amplitude=20.0,
              weekly_pattern=True, weekly_amplitude=10.0, yearly_pattern=True,
              yearly_amplitude=15.0, temperature_sensitive=True, temperature_sensitivity=2.0,
              base_temperature=15.0, morning_peak_hour=8, evening_peak_hour=19,
              peak_amplitude=25.0, holiday_effect=0.3, holiday_days=np.array([0, 5], np.int32),
              extreme_weather_prob=0.01, extreme_weather_impact=1.5, noise_std=2.0,
              step_hours=1.0)
ENERGY_FLAT = dict(ENERGY, daily_pattern=False, weekly_pattern=False, yearly_pattern=False,
                   temperature_sensitive=False, holiday_days=NO_HOLIDAYS,
                   extreme_weather_prob=0.0, noise_std=0.0)


def energy(length=500, seed=2, **kw):
    return energy_load(length, **{**ENERGY, **kw}, seed=seed)


VITAL = dict(baseline_mean=70.0, baseline_std=5.0, min_val=30.0, max_val=200.0,
             include_circadian=True, circadian_magnitude=4.0, include_hrv=True,
             include_events=True, event_probability=0.01, vital_sign_type=1)
VITAL_QUIET = dict(VITAL, baseline_std=0.0, include_circadian=False, include_hrv=False,
                   include_events=False, vital_sign_type=0)


def vital(length=600, seed=3, **kw):
    return vital_signs(length, **{**VITAL, **kw}, seed=seed)


CLICK = dict(base_sessions=100.0, conversion_mult=1.0, bounce_mult=1.0, depth_mult=1.0,
             seasonality_amp=0.5, conversion_rate=0.03, bounce_rate=0.4, avg_session_depth=4.0,
             include_seasonality=True, include_bots=True, bot_fraction=0.1, output_type=0)


def click(length=300, seed=4, **kw):
    return clickstream(length, **{**CLICK, **kw}, seed=seed)


DAU = dict(base_users=1000.0, growth_rate=0.01, weekend_factor=0.8, weekly_pattern=True,
           event_probability=0.05, event_impact_min=1.2, event_impact_max=2.0,
           event_decay_rate=0.2, noise_std=0.05, step_hours=24.0)


def dau(length=200, seed=5, **kw):
    return daily_active_users(length, **{**DAU, **kw}, seed=seed)


DEMAND = dict(demand_probability=0.3, demand_distribution=0, demand_mean=3.0, demand_std=2.0,
              intermittent_pattern=0, cluster_size=3, seasonal_period=12,
              seasonal_peak_prob=0.8, min_demand=math.nan)


def demand(length=500, seed=6, **kw):
    return intermittent_demand(length, **{**DEMAND, **kw}, seed=seed)


GENERATORS = {
    "iot_sensor": lambda n, s: iot(length=n, seed=s, mode=2, failure_p=0.02, duration=3,
                                   battery=True, battery_life=50.0, battery_rate=0.001),
    "energy_load": lambda n, s: energy(length=n, seed=s),
    "vital_signs": lambda n, s: vital(length=n, seed=s),
    "clickstream": lambda n, s: click(length=n, seed=s, output_type=1),
    "daily_active_users": lambda n, s: dau(length=n, seed=s)[0],
    "intermittent_demand": lambda n, s: demand(length=n, seed=s, demand_distribution=3),
}


@pytest.mark.parametrize("name", GENERATORS)
def test_same_seed_same_bits_other_seed_other_series(name):
    gen = GENERATORS[name]
    a, b, c = gen(300, 7), gen(300, 7), gen(300, 8)
    assert a.dtype == np.float64 and a.shape == (300,) and a.flags.c_contiguous
    assert a.tobytes() == b.tobytes()
    assert a.tobytes() != c.tobytes()


@pytest.mark.parametrize("name", GENERATORS)
@pytest.mark.parametrize("length", [0, -3])
def test_length_must_be_positive(name, length):
    with pytest.raises(ValueError, match="^length must be > 0$"):
        GENERATORS[name](length, 1)


def test_registration_order():
    import tidemark._lib.domain as domain

    assert domain.__all__ == ["intermittent_demand", "daily_active_users", "energy_load",
                              "vital_signs", "iot_sensor", "clickstream"]


# --- iot_sensor -------------------------------------------------------------

def test_iot_without_noise_is_the_deterministic_signal():
    n, base, trend, amp, period, off, rate = 100, 20.0, 0.01, 2.0, 24.0, 0.5, 0.003
    out = iot(length=n, base_value=base, trend=trend, amplitude=amp, period=period, noise=0.0,
              drift_rate=rate, drift_noise=0.0, offset=off)
    expected, drift = [], 0.0
    for t in range(n):
        x = trend * t + base
        x = x + math.sin((t * TWO_PI) / period) * amp
        x = x + off
        if t >= 1:
            drift = drift + rate
        expected.append(x + drift)
    assert out.tolist() == expected


def test_iot_failure_modes_draw_one_uniform_per_step_until_a_failure():
    # With p = 0 no failure starts, but each mode draws its uniform per step.
    drawing = [iot(mode=m, failure_p=0.0).tobytes() for m in (1, 2, 3)]
    quiet = [iot(mode=m, failure_p=0.0).tobytes() for m in (0, 4, -1)]
    assert drawing[0] == drawing[1] == drawing[2]
    assert quiet[0] == quiet[1] == quiet[2] != drawing[0]


def test_iot_permanent_dropout():
    assert np.isnan(iot(mode=1, failure_p=1.0)).all()
    out = iot(length=2000, mode=1, failure_p=0.01)
    first = int(np.argmax(np.isnan(out)))
    assert 0 < first and np.isnan(out[first:]).all() and not np.isnan(out[:first]).any()


def nan_runs(out):
    runs, count = [], 0
    for v in np.isnan(out):
        if v:
            count += 1
        elif count:
            runs.append(count)
            count = 0
    return runs + ([count] if count else [])


def test_iot_bursts_last_failure_duration_steps():
    runs = nan_runs(iot(length=5000, mode=2, failure_p=0.03, duration=3))
    assert runs and all(r % 3 == 0 for r in runs) and 3 in runs


@pytest.mark.parametrize("mode", [2, 3])
def test_iot_durations_below_two_give_single_steps_without_wrapping(mode):
    # k = duration - 1 <= 0 never arms the counter; -2**31 must not wrap to
    # an endless burst.
    series = [iot(length=3000, mode=mode, failure_p=0.02, duration=d, stuck=-1.0).tobytes()
              for d in (1, 0, -5, -2**31)]
    assert len(set(series)) == 1
    out = iot(length=3000, mode=2, failure_p=0.02, duration=-2**31)
    assert max(nan_runs(out)) < 5


def test_iot_stuck_readings():
    plain = iot(length=3000, mode=3, failure_p=0.0)
    held = iot(length=3000, mode=3, failure_p=0.01, duration=4)
    # The first freeze shows the reading of the step it starts on, then
    # holds it for three more steps; until then the series agree.
    start = next(t for t in range(1, 3000) if held[t] == held[t - 1]) - 1
    assert held[:start + 1].tobytes() == plain[:start + 1].tobytes()
    assert (held[start:start + 4] == plain[start]).all()
    fixed = iot(length=3000, mode=3, failure_p=0.01, duration=4, stuck=-99.0)
    first = int(np.argmax(fixed == -99.0))
    assert first == start and (fixed[first:first + 4] == -99.0).all()


def test_iot_battery_ageing_can_silence_the_sensor():
    out = iot(battery=True, battery_life=0.0, battery_rate=20.0)
    assert out[0] != 0.0 and (out[1:] == 0.0).all()


@pytest.mark.parametrize("spatial", [0.0, 0.9, -5.0, math.nan, math.inf])
def test_iot_spatial_correlation_is_ignored(spatial):
    assert iot(spatial=spatial).tobytes() == iot().tobytes()


def test_iot_conversions():
    with pytest.raises(TypeError):
        iot(spatial="0.5")
    with pytest.raises(TypeError):
        iot(battery=1)
    assert iot(stuck=3).tobytes() == iot(stuck=3.0).tobytes()


@pytest.mark.parametrize("kw", [
    dict(noise=math.nan), dict(noise=math.inf), dict(drift_noise=math.inf),
    dict(battery=True, noise=1e300, battery_rate=1e300),
])
def test_iot_non_finite_scales_fail(kw):
    with pytest.raises(internal_failure_type(), match=NORMAL_MESSAGE):
        iot(**kw)


def test_iot_drift_noise_unused_for_one_reading():
    assert iot(length=1, drift_noise=math.inf).shape == (1,)


# --- energy_load ------------------------------------------------------------

def test_energy_flat_load_draws_a_uniform_per_step_regardless_of_probability():
    out = energy(**ENERGY_FLAT)
    assert (out == 100.0).all()
    noisy = dict(ENERGY_FLAT, noise_std=1.0, extreme_weather_impact=1.0)
    assert energy(**dict(noisy, extreme_weather_prob=0.0)).tobytes() == \
        energy(**dict(noisy, extreme_weather_prob=1.0)).tobytes()


def test_energy_negative_load_gives_zeros():
    assert (energy(**dict(ENERGY, base_load=-1e6, noise_std=0.0)) == 0.0).all()


@pytest.mark.parametrize("load_type", [0, 1])
def test_energy_weekend_reduction(load_type):
    out = energy(length=24 * 21, **dict(ENERGY_FLAT, load_type=load_type, weekly_pattern=True))
    day_of_week = (np.arange(out.size) // 24) % 7
    assert (out[day_of_week > 4] == 90.0).all() and (out[day_of_week <= 4] == 100.0).all()


def test_energy_holiday_listed_twice_applies_twice():
    out = energy(length=24 * 6, **dict(ENERGY_FLAT, holiday_effect=0.5,
                                       holiday_days=np.array([3, 3, 400, -1], np.int32)))
    day = np.arange(out.size) // 24
    assert (out[day == 3] == 25.0).all() and (out[day != 3] == 100.0).all()


def reference_energy_patterns(n, p):
    """The noise-free, weather-free load without temperatures."""
    out = []
    for i in range(n):
        h = int(i * p["step_hours"])
        hod, d = h % 24, h // 24
        w, y = d - (h // 168) * 7, d - (h // 8760) * 365
        t = p["load_type"]
        if t == 0:
            e = math.exp(-((hod - p["evening_peak_hour"]) ** 2) * 0.125) * p["peak_amplitude"]
            m = math.exp(-((hod - p["morning_peak_hour"]) ** 2) * 0.125) * p["peak_amplitude"]
            load = (e + m) + p["base_load"]
        elif t == 1:
            load = math.exp(((hod - 14) * (14 - hod)) / 50) * p["daily_amplitude"] + p["base_load"]
        else:
            load = math.exp(((hod - 3) * (3 - hod)) / 20) * -p["daily_amplitude"] + p["base_load"]
        if t > 1:
            load = load + math.sin(w * TWO_PI / 7) * p["weekly_amplitude"]
        elif w > 4:
            load = load - p["weekly_amplitude"]
        load = load + (math.cos(y * TWO_PI / 365) + 1) * p["yearly_amplitude"]
        for day in p["holiday_days"]:
            if day == y:
                load = load * (1 - p["holiday_effect"])
        out.append(max(load, 0.0))
    return out


@pytest.mark.parametrize("load_type, step", [(0, 1.0), (1, 1.0), (2, 1.0), (1, 7.3), (2, 50.0)])
def test_energy_patterns_match_the_model_bit_for_bit(load_type, step):
    p = dict(ENERGY, load_type=load_type, temperature_sensitive=False, extreme_weather_prob=0.0,
             noise_std=0.0, step_hours=step)
    assert energy(length=3000, **p).tolist() == reference_energy_patterns(3000, p)


def test_energy_temperature_response_only_adds_load():
    p = dict(ENERGY_FLAT, temperature_sensitive=True, temperature_sensitivity=2.0)
    out = energy(length=24 * 365, **p)
    assert (out >= 100.0).all() and out.mean() > 110.0


def test_energy_validation_and_failures():
    with pytest.raises(ValueError, match="^step_hours must be > 0$"):
        energy(step_hours=0.0)
    with pytest.raises(ValueError, match="^length must be > 0$"):
        energy(length=0, step_hours=-1.0)
    with pytest.raises(TypeError):
        energy(holiday_days=np.array([1, 2]))  # int64
    with pytest.raises(TypeError, match="contiguous"):
        energy(holiday_days=np.arange(10, dtype=np.int32)[::2])
    with pytest.raises(internal_failure_type(), match=NORMAL_MESSAGE):
        energy(noise_std=math.inf)
    # A NaN step passes the check and puts every step at hour 0.
    flat = energy(length=50, **dict(ENERGY_FLAT, daily_pattern=True, step_hours=math.nan))
    assert (flat == flat[0]).all()


# --- vital_signs ------------------------------------------------------------

def test_vital_quiet_signal_is_the_clamped_mean():
    assert (vital(**VITAL_QUIET) == 70.0).all()
    assert (vital(**dict(VITAL_QUIET, min_val=80.0)) == 80.0).all()
    assert (vital(**dict(VITAL_QUIET, max_val=60.0, min_val=60.0)) == 60.0).all()


def test_vital_circadian_rhythm_exactly():
    out = vital(length=3000, **dict(VITAL_QUIET, include_circadian=True))
    expected = []
    for t in range(3000):
        theta = (t * TWO_PI) / 1440
        expected.append((math.sin(2 * theta) * 0.3 + math.sin(theta - 1.5707963267948966))
                        * 4.0 + 70.0)
    assert out.tolist() == expected


def test_vital_coupled_events_by_type_whatever_include_events_says():
    runs = {t: vital(length=5000, **dict(VITAL_QUIET, vital_sign_type=t,
                                         event_probability=0.01)) - 70.0
            for t in (1, 2, 3, 4, 5)}
    raw = runs[1] / 2.4  # 0.3 * 8 times the event amplitude
    assert np.abs(raw).max() > 0.5
    assert np.allclose(runs[2], raw * 1.6) and np.allclose(runs[3], raw * 1.2)
    assert np.allclose(runs[4], np.maximum(raw * 8, 0) * -0.05)
    assert (runs[5] == 0.0).all()


def test_vital_oscillations_skipped_from_type_three():
    for t, differs in ((2, True), (3, False), (4, False)):
        on = vital(**dict(VITAL, vital_sign_type=t, include_hrv=True))
        off = vital(**dict(VITAL, vital_sign_type=t, include_hrv=False))
        assert (on.tobytes() != off.tobytes()) == differs


def test_vital_values_stay_in_range():
    out = vital(length=20000, **dict(VITAL, min_val=65.0, max_val=75.0))
    assert out.min() >= 65.0 and out.max() <= 75.0 and (out == 65.0).any()


@pytest.mark.parametrize("lo, hi", [(200.0, 40.0), (math.nan, 40.0), (0.0, math.nan)])
def test_vital_bad_clamp_bounds_fail(lo, hi):
    with pytest.raises(internal_failure_type(), match="min_val") as info:
        vital(min_val=lo, max_val=hi)
    text = str(info.value)
    assert all(f"{b:g}" in text for b in (lo, hi))


@pytest.mark.parametrize("std", [math.nan, math.inf, -math.inf])
def test_vital_non_finite_scale_fails(std):
    with pytest.raises(internal_failure_type(), match=NORMAL_MESSAGE):
        vital(baseline_std=std)


# --- clickstream ------------------------------------------------------------

def test_click_output_types_share_one_simulation():
    kw = dict(include_bots=False)
    sessions = click(**kw, output_type=0)
    pages = click(**kw, output_type=1)
    conversions = click(**kw, output_type=2)
    bounce = click(**kw, output_type=3)
    assert (sessions == np.floor(sessions)).all() and (sessions >= 0).all()
    assert (pages >= sessions).all() and (conversions <= sessions).all()
    assert ((bounce >= 0) & (bounce <= 1)).all()
    for other in (-1, 4, 99):
        assert click(**kw, output_type=other).tobytes() == sessions.tobytes()


def test_click_bounce_rate_of_an_empty_hour_is_zero():
    kw = dict(base_sessions=1e-9, include_bots=False)
    sessions, bounce = click(**kw, output_type=0), click(**kw, output_type=3)
    assert (sessions == 0).any() and (bounce[sessions == 0] == 0.0).all()


def test_click_sessions_sum_in_64_bits_when_bots_saturate():
    humans = click(include_bots=False)
    total = click(bot_fraction=1 - 1e-12)
    busy = humans > 0
    assert busy.any()
    assert (total[busy] == humans[busy] + 2147483647).all()
    assert (total[~busy] == 0).all()


def test_click_bots_add_traffic():
    humans, total = click(include_bots=False), click(bot_fraction=0.5)
    assert (total >= humans).all() and total.sum() > 1.5 * humans.sum()


@pytest.mark.parametrize("kw, message", [
    (dict(avg_session_depth=1.0), "invalid negative binomial params"),
    (dict(depth_mult=0.2), "invalid negative binomial params"),
    (dict(bounce_rate=math.nan), "invalid binomial params"),
    (dict(conversion_rate=math.nan), "invalid binomial params"),
])
def test_click_failures(kw, message):
    with pytest.raises(internal_failure_type(), match=message):
        click(**kw)


# --- daily_active_users -----------------------------------------------------

def power(x, n):
    """Integer power by repeated squaring, low bit first."""
    bits = abs(n)
    r = x if bits & 1 else 1.0
    bits >>= 1
    while bits:
        x = x * x
        if bits & 1:
            r = r * x
        bits >>= 1
    return 1.0 / r if n < 0 else r


@pytest.mark.parametrize("growth, days_per_step", [(0.1, 1), (1e-3, 997), (-0.5, 3)])
def test_dau_growth_and_weekends_exactly(growth, days_per_step):
    values, flags = dau(length=100, event_probability=0.0, noise_std=0.0, growth_rate=growth,
                        step_hours=24.0 * days_per_step)
    expected = []
    for d in range(0, 100 * days_per_step, days_per_step):
        level = power(1 + growth, d) * 1000.0
        expected.append(0.8 * level if d % 7 > 4 else level)
    assert values.tolist() == expected
    assert flags.dtype == np.int32 and flags.shape == (100,) and not flags.any()


def test_dau_day_saturates_at_32_bits():
    values, _ = dau(length=3, step_hours=1e300, growth_rate=-1e-12, weekly_pattern=False,
                    event_probability=0.0, noise_std=0.0)
    assert values.tolist() == [1000.0] + [power(1 - 1e-12, 2**31 - 1) * 1000.0] * 2


def test_dau_sub_daily_steps_share_the_day():
    values, _ = dau(length=48, step_hours=6.0, event_probability=0.0, noise_std=0.0,
                    growth_rate=0.5, weekly_pattern=False)
    assert (values.reshape(12, 4) == values[::4, None]).all()


def test_dau_event_flags_mark_starts_only():
    values, flags = dau(length=2000, growth_rate=0.0, weekly_pattern=False, noise_std=0.0,
                        event_probability=0.05, event_decay_rate=0.3)
    assert set(np.unique(flags)) == {0, 1} and flags.sum() > 20
    boost = values - 1000.0
    prev = np.concatenate([[0.0], boost[:-1]])
    quiet = flags == 0
    assert np.allclose(boost[quiet], prev[quiet] * 0.7)
    assert (boost[~quiet] >= prev[~quiet] * 0.7 + 0.2 * 1000.0 - 1e-6).all()


def test_dau_validation_and_failures():
    with pytest.raises(ValueError, match="^step_hours must be > 0$"):
        dau(step_hours=0.0)
    values, _ = dau(length=30, step_hours=math.nan, noise_std=0.0, event_probability=0.0)
    assert (values == 1000.0).all()
    with pytest.raises(internal_failure_type(), match=NORMAL_MESSAGE):
        dau(noise_std=math.inf)
    with pytest.raises(internal_failure_type(), match="invalid uniform params"):
        dau(event_probability=1.0, event_impact_min=2.0, event_impact_max=2.0)


# --- intermittent_demand ----------------------------------------------------

def test_demand_unknown_pattern_is_all_zeros_without_checks():
    out = demand(intermittent_pattern=7, demand_distribution=2, demand_mean=math.nan)
    assert (out == 0.0).all()


def test_demand_clusters_with_certain_gaps():
    out = demand(length=40, intermittent_pattern=1, demand_probability=1.0, cluster_size=3,
                 min_demand=1.0)
    assert ((out > 0) == (np.arange(40) % 4 != 0)).all()


@pytest.mark.parametrize("size", [0, -4])
def test_demand_clusters_of_no_size_have_no_demand(size):
    assert (demand(intermittent_pattern=1, cluster_size=size) == 0).all()


def test_demand_gap_beyond_64_bits_does_not_wrap():
    out = demand(intermittent_pattern=1, demand_probability=1e-17, min_demand=1.0)
    assert (out == 0.0).all()


@pytest.mark.parametrize("period", [1, -1])
@pytest.mark.parametrize("peak, any_demand", [(1.0, True), (1.5, True), (-0.5, False)])
def test_demand_seasonal_single_period_cycle(period, peak, any_demand):
    out = demand(intermittent_pattern=2, seasonal_period=period, seasonal_peak_prob=peak,
                 min_demand=0.5)
    assert ((out > 0).all() if any_demand else (out == 0).all())


def test_demand_seasonal_profile():
    out = demand(length=40000, intermittent_pattern=2, demand_probability=0.1,
                 seasonal_peak_prob=0.9, seasonal_period=4, min_demand=0.5)
    freq = (out > 0).reshape(-1, 4).mean(axis=0)
    assert np.allclose(freq, [0.9, 0.5, 0.1, 0.5], atol=0.02)
    negative = demand(length=40000, intermittent_pattern=2, demand_probability=0.1,
                      seasonal_peak_prob=0.9, seasonal_period=-4, min_demand=0.5)
    assert negative.tobytes() == out.tobytes()


@pytest.mark.parametrize("p", [0.0, 1e-300, 0.3, 0.5, 1 - 2**-53, 1.0])
def test_demand_independent_equals_a_flat_seasonal_profile(p):
    # A seasonal profile whose peak equals its trough draws every period
    # with probability p, like the independent pattern.
    independent = demand(demand_probability=p, intermittent_pattern=0)
    flat = demand(demand_probability=p, seasonal_peak_prob=p, intermittent_pattern=2)
    assert independent.tobytes() == flat.tobytes()


def test_demand_certain_demand_spends_the_stream_on_sizes_only():
    independent = demand(demand_probability=1.0, intermittent_pattern=0)
    seasonal = demand(demand_probability=1.0, seasonal_peak_prob=1.0, intermittent_pattern=2)
    assert independent.tobytes() == seasonal.tobytes()


def test_demand_distribution_fallbacks():
    poisson = demand(demand_distribution=0)
    for code in (-1, 4, 2**31 - 1):
        assert demand(demand_distribution=code).tobytes() == poisson.tobytes()
    # s^2 <= mu: the negative binomial falls back to Poisson(mu)
    assert demand(demand_distribution=1, demand_mean=5.0, demand_std=2.0).tobytes() == \
        demand(demand_distribution=0, demand_mean=5.0, demand_std=2.0).tobytes()


def test_demand_floor():
    out = demand(length=5000, min_demand=2.0, demand_mean=1.0)
    assert (out == 0).any() and (out == 2.0).any()
    assert not ((out > 0) & (out < 2.0)).any()


@pytest.mark.parametrize("code", [1, 2, 3])
def test_demand_sizes_match_mean_and_std(code):
    out = demand(length=200_000, demand_probability=0.5, demand_distribution=code,
                 demand_mean=10.0, demand_std=4.0)
    sizes = out[out > 0]
    assert abs(sizes.mean() - 10.0) < 0.1 and abs(sizes.std() - 4.0) < 0.15


def test_demand_seasonal_period_zero_is_refused():
    with pytest.raises(ValueError, match="seasonal_period"):
        demand(intermittent_pattern=2, seasonal_period=0)
    assert demand(intermittent_pattern=0, seasonal_period=0).shape == (500,)


@pytest.mark.parametrize("kw, message", [
    (dict(demand_probability=1.5), "invalid bernoulli param: p must be in \\[0, 1\\]"),
    (dict(demand_probability=math.nan), "invalid bernoulli param"),
    (dict(intermittent_pattern=1, demand_probability=0.0), "invalid geometric param"),
    (dict(intermittent_pattern=2, seasonal_peak_prob=math.nan), "invalid bernoulli param"),
    (dict(demand_distribution=1, demand_mean=-1.0), "invalid gamma params"),
    (dict(demand_distribution=2, demand_mean=0.0), "invalid lognormal params"),
    (dict(demand_distribution=3, demand_std=0.0), "invalid gamma params"),
    (dict(demand_distribution=3, demand_mean=-2.0), "invalid gamma params"),
    (dict(demand_mean=math.nan), "invalid poisson param: lambda must be finite"),
    (dict(demand_mean=1e20), "invalid poisson param: lambda must be finite"),
])
def test_demand_sampler_refusals(kw, message):
    with pytest.raises(internal_failure_type(), match=message):
        demand(**kw)


def test_demand_size_checks_only_fire_with_demand():
    out = demand(demand_probability=0.0, demand_distribution=2, demand_mean=0.0)
    assert (out == 0).all()


# --- batch rows -------------------------------------------------------------

def gen_seeds(n):
    return np.arange(n, dtype=np.uint64) * np.uint64(104729) + np.uint64(11)


def run_batch(code, scalars, arrays=(), lengths=(50, 80, 1, 120), n_workers=0):
    n = len(lengths)
    return generate_batch(code, np.array(scalars, dtype=np.float64),
                          [np.asarray(a, dtype=np.float64) for a in arrays],
                          np.array(lengths, dtype=np.int32), gen_seeds(n),
                          np.zeros(3 * n, np.uint64), {}, n_workers)


def energy_slots(p):
    keys = ["base_load", "load_type", "daily_pattern", "daily_amplitude", "weekly_pattern",
            "weekly_amplitude", "yearly_pattern", "yearly_amplitude", "temperature_sensitive",
            "temperature_sensitivity", "base_temperature", "morning_peak_hour",
            "evening_peak_hour", "peak_amplitude", "holiday_effect", "extreme_weather_prob",
            "extreme_weather_impact", "noise_std", "step_hours"]
    return [float(p[k]) for k in keys]


DEMAND_SLOTS = [0.4, 3.7, 10.0, 4.0, 2.2, 3.0, 12.9, 0.9, 1.0]
VITAL_SLOTS = [70.0, 5.0, 30.0, 200.0, np.nan, 4.0, 1.0, 1.0, 0.01, 1.9]
CLICK_SLOTS = [100.0, 1.0, 1.0, 1.0, 0.5, 0.03, 0.4, 4.0, 1.0, 1.0, 0.1, 1.0]

ROWS = [
    (22, DEMAND_SLOTS, [],
     lambda n, s: intermittent_demand(n, 0.4, 3, 10.0, 4.0, 2, 3, 12, 0.9, 1.0, s)),
    (22, [0.3, -1.5, 3.0, 2.0, 1.0, 2.0, 0.0, 0.0, np.nan], [],
     lambda n, s: intermittent_demand(n, 0.3, -1, 3.0, 2.0, 1, 2, 0, 0.0, math.nan, s)),
    (24, energy_slots(ENERGY), [[0.0, 5.9]],
     lambda n, s: energy_load(n, **ENERGY, seed=s)),
    (24, energy_slots(dict(ENERGY, load_type=2.5)), [],
     lambda n, s: energy_load(n, **dict(ENERGY, load_type=2, holiday_days=NO_HOLIDAYS),
                              seed=s)),
    (25, VITAL_SLOTS, [],
     lambda n, s: vital_signs(n, **dict(VITAL, include_circadian=True), seed=s)),
    (27, CLICK_SLOTS, [], lambda n, s: clickstream(n, **dict(CLICK, output_type=1), seed=s)),
]


@pytest.mark.parametrize("code, scalars, arrays, direct", ROWS)
def test_batch_equals_direct_call(code, scalars, arrays, direct):
    lengths = (50, 80, 1, 500)
    out = run_batch(code, scalars, arrays, lengths)
    for d, n, s in zip(out, lengths, gen_seeds(len(lengths))):
        assert d["values"].tobytes() == direct(n, int(s)).tobytes()
    again = run_batch(code, scalars, arrays, lengths, n_workers=3)
    assert all(a["values"].tobytes() == b["values"].tobytes() for a, b in zip(out, again))


@pytest.mark.parametrize("code, scalars", [
    (22, DEMAND_SLOTS), (24, energy_slots(ENERGY)), (25, VITAL_SLOTS),
    (27, CLICK_SLOTS),
    # These would fail at their first draw, which an empty series never makes.
    (27, CLICK_SLOTS[:7] + [1.0] + CLICK_SLOTS[8:]),
    (22, [0.3, 2, 0.0, 0.0, 2, 0, 0, 0.5, 0.0]),
    (24, energy_slots(dict(ENERGY, noise_std=math.inf))),
    (25, [70.0, 5.0, 200.0, 40.0, 0, 0, 0, 0, 0, 0]),
])
def test_batch_zero_length_is_empty_before_any_draw(code, scalars):
    out = run_batch(code, scalars, lengths=(0, 0))
    assert [d["values"].shape for d in out] == [(0,), (0,)]


@pytest.mark.parametrize("code, name, minimum", [
    (22, "intermittent_demand", 9), (24, "energy_load", 19), (25, "vital_signs", 10),
    (27, "clickstream", 12)])
def test_batch_scalar_counts(code, name, minimum):
    with pytest.raises(ValueError,
                       match=f"^{name}: expected >= {minimum} scalar params, got {minimum - 1}$"):
        run_batch(code, [0.0] * (minimum - 1))


@pytest.mark.parametrize("code", [23, 26])
def test_unassigned_codes_stay_unknown(code):
    with pytest.raises(ValueError, match=f"^unknown generator type: {code}$"):
        run_batch(code, [0.0] * 30)


def test_batch_failures():
    with pytest.raises(ValueError, match="seasonal_period"):
        run_batch(22, [0.3, 0, 3.0, 2.0, 2, 0, 0.4, 0.5, 0.0])
    with pytest.raises(internal_failure_type(), match="min_val"):
        run_batch(25, [70.0, 5.0, 200.0, 40.0, 0, 0, 0, 0, 0, 0])
    # The batch row does not check step_hours; a negative step runs.
    out = run_batch(24, energy_slots(dict(ENERGY, step_hours=-3.0)))
    assert all(np.isfinite(d["values"]).all() for d in out)


# --- catalog behind `tidemark generate` -------------------------------------

@pytest.mark.parametrize("name", ["intermittent_demand", "energy_load", "vital_signs",
                                  "clickstream"])
def test_catalog_defaults_are_the_direct_call(name):
    """The catalog's slots, read by name, give the direct call bit for bit."""
    import inspect

    import tidemark._lib.domain as domain
    from tidemark.catalog import CATALOG

    spec = CATALOG[name]
    func = getattr(domain, name)
    params = list(inspect.signature(func).parameters)
    assert set(spec.keys()) == set(params) - {"length", "seed"}
    kinds = {p: type(v) for p, v in ENERGY.items()} | {p: type(v) for p, v in VITAL.items()} \
        | {p: type(v) for p, v in CLICK.items()}
    kwargs = {}
    for key, value in spec.scalars:
        kind = kinds.get(key)
        kwargs[key] = bool(value) if kind is bool else int(value) if isinstance(value, int) \
            else float(value)
    for key, value in spec.arrays:
        kwargs[key] = np.array(value, dtype=np.int32)
    [d] = run_batch(spec.gen_type, [float(v) for _, v in spec.scalars],
                    [np.array(v, dtype=np.float64) for _, v in spec.arrays], lengths=(2000,))
    direct = func(2000, **kwargs, seed=int(gen_seeds(1)[0]))
    assert d["values"].tobytes() == direct.tobytes()
    assert np.isfinite(direct).all() and (direct >= 0).all() and direct.std() > 0
