"""Domain simulators against NumPy implementations of the same models.

Each peer is what a user would write today: the model vectorised with
NumPy where it allows it, with loops only over the rare events (failure
bursts, clinical events) that are sequential by nature.  Every series has
10^5 values with all of the model's parts switched on.
"""

import numpy as np

from tidemark._lib import domain

from harness import Case

SEED = 20240601
N = 100_000
TWO_PI = 2.0 * np.pi


def _rng():
    return np.random.default_rng(SEED)


# --- IoT sensor: seasonal signal, drift, battery ageing, dropout bursts ------

IOT = dict(base=20.0, trend=1e-4, amp=2.0, period=1440.0, noise=0.2, drift_rate=1e-5,
           drift_noise=0.01, life=50_000.0, rate=1e-5, offset=0.5, p=0.001, duration=10)


def _iot_ours():
    p = IOT
    return domain.iot_sensor(N, p["base"], p["trend"], p["amp"], p["period"], p["noise"],
                             p["drift_rate"], p["drift_noise"], True, p["life"], p["rate"],
                             p["offset"], 2, p["p"], p["duration"], None, 0.0, SEED)


def _iot_peer():
    p, rng = IOT, _rng()
    t = np.arange(N, dtype=np.float64)
    x = p["trend"] * t + p["base"] + np.sin(TWO_PI * t / p["period"]) * p["amp"] + p["offset"]
    steps = rng.standard_normal(N) * p["drift_noise"] + p["drift_rate"]
    steps[0] = 0.0
    x += np.cumsum(steps)
    aged = np.maximum(t - p["life"], 0.0) * p["rate"]
    reading = x + rng.standard_normal(N) * p["noise"] * (aged + 1.0)
    reading *= np.maximum(1.0 - 0.1 * aged, 0.0)
    # Bursts: a start during a burst is ignored, so walk the candidate starts.
    starts = np.flatnonzero(rng.random(N) < p["p"])
    free_from = 0
    for s in starts:
        if s >= free_from:
            reading[s:s + p["duration"]] = np.nan
            free_from = s + p["duration"]
    return reading


# --- energy load: daily peaks, week, year, temperature, holidays, weather ----

ENERGY = dict(base_load=1000.0, daily_amplitude=200.0, weekly_amplitude=100.0,
              yearly_amplitude=150.0, sensitivity=20.0, base_temperature=15.0,
              morning=8, evening=19, peak=300.0, holiday_effect=0.3, holidays=(0, 358),
              weather_p=0.001, weather_impact=1.3, noise=20.0)


def _energy_ours():
    p = ENERGY
    return domain.energy_load(N, p["base_load"], 0, True, p["daily_amplitude"], True,
                              p["weekly_amplitude"], True, p["yearly_amplitude"], True,
                              p["sensitivity"], p["base_temperature"], p["morning"],
                              p["evening"], p["peak"], p["holiday_effect"],
                              np.array(p["holidays"], dtype=np.int32), p["weather_p"],
                              p["weather_impact"], p["noise"], 1.0, SEED)


def _energy_peer():
    p, rng = ENERGY, _rng()
    h = np.arange(N)
    hod, day = h % 24, h // 24
    week_day, year_day = day % 7, day % 365
    temperature = (p["base_temperature"] - np.cos(TWO_PI * hod / 24) * 5
                   - np.cos(TWO_PI * year_day / 365) * 10 + rng.standard_normal(N) * 2)
    load = (p["base_load"] + np.exp(-(hod - p["morning"]) ** 2 * 0.125) * p["peak"]
            + np.exp(-(hod - p["evening"]) ** 2 * 0.125) * p["peak"])
    load -= np.where(week_day > 4, p["weekly_amplitude"], 0.0)
    load += (np.cos(TWO_PI * year_day / 365) + 1) * p["yearly_amplitude"]
    load += np.abs(temperature - p["base_temperature"]) * p["sensitivity"]
    load *= np.where(np.isin(year_day, p["holidays"]), 1 - p["holiday_effect"], 1.0)
    load *= np.where(rng.random(N) < p["weather_p"], p["weather_impact"], 1.0)
    load = np.maximum(load, 0.0)
    return np.maximum(load + rng.standard_normal(N) * p["noise"], 0.0)


# --- vital signs: wander, circadian, HRV, events, coupled events, noise ------

VITAL = dict(mean=75.0, std=5.0, lo=40.0, hi=200.0, circadian=5.0, event_p=0.002)


def _vital_ours():
    p = VITAL
    return domain.vital_signs(N, p["mean"], p["std"], p["lo"], p["hi"], True, p["circadian"],
                              True, True, p["event_p"], 1, SEED)


def _events(rng, p):
    ev = np.zeros(N)
    for i in np.flatnonzero(rng.random(N) < p):
        kind, dur = rng.integers(0, 3), rng.integers(5, 30)
        end = min(N, i + dur)
        if kind == 0:
            ev[i:end] += np.sin(np.arange(end - i) * np.pi / (end - i)) * rng.uniform(0.5, 2.0)
        elif kind == 1:
            ev[i:end] += rng.uniform(-1.5, -0.5)
        else:
            ev[i] += rng.uniform(1.0, 3.0)
    return ev


def _vital_peer():
    p, rng = VITAL, _rng()
    sigma = p["std"]
    t = np.arange(N, dtype=np.float64)
    value = p["mean"] + 0.3 * sigma * rng.standard_normal()
    wander = np.cumsum(rng.standard_normal(N) * 0.05 * sigma)
    value = value + wander - wander[0]
    theta = TWO_PI * t / 1440
    value += (np.sin(2 * theta) * 0.3 + np.sin(theta - np.pi / 2)) * p["circadian"]
    phases = rng.uniform(0, TWO_PI, 2)
    hrv = (np.sin(TWO_PI * 1.2 * t) * 0.3 + np.sin(TWO_PI * 6 * t + phases[0]) * 0.4
           + np.sin(TWO_PI * 15 * t + phases[1]) * 0.3 + rng.standard_normal(N) * 0.2)
    value += hrv * 0.5 * sigma
    value += _events(rng, p["event_p"]) * sigma
    value += _events(rng, p["event_p"]) * 8 * 0.3
    value += rng.standard_normal(N) * 0.2 * sigma
    return np.clip(value, p["lo"], p["hi"])


# --- clickstream: trend, seasonality, sessions, bots, bounces, pages ---------

HOUR = np.array([72, 48, 36, 24, 24, 36, 72, 120, 168, 216, 240, 264, 240, 228, 216, 204,
                 216, 240, 264, 288, 312, 288, 216, 120]) / 173
DAY = np.array([63, 70, 70, 70, 77, 84, 77]) / 73
CLICK = dict(base=200.0, amp=0.5, conversion=0.03, bounce=0.4, depth=4.0, bots=0.1)
# The log-trend drifts by up to 0.001 per hour, so 10^5 hours in one series
# would reach rates of e^100: ten series of 10^4 hours make the 10^5 values.
CLICK_SERIES, CLICK_HOURS = 10, N // 10


def _click_ours():
    p = CLICK
    return [domain.clickstream(CLICK_HOURS, p["base"], 1.0, 1.0, 1.0, p["amp"], p["conversion"],
                               p["bounce"], p["depth"], True, True, p["bots"], 1, SEED + i)
            for i in range(CLICK_SERIES)]


def _click_one(rng, n):
    p = CLICK
    t = np.arange(n)
    trend = np.cumsum(rng.standard_normal(n) * 0.002 + rng.uniform(-0.0005, 0.001))
    season = (HOUR[t % 24] * DAY[(t // 24) % 7] - 1) * p["amp"] + 1
    humans = rng.poisson(np.maximum(season * p["base"] * np.exp(trend - trend[0]), 0.1))
    bots = rng.uniform(0.8, 1.2, n) * humans * p["bots"] / (1 - p["bots"])
    for _ in range(rng.integers(0, max(n // 100, 1) + 1)):
        start = rng.integers(0, n)
        bots[start:start + rng.integers(1, 6)] *= rng.uniform(2.0, 10.0)
    bounces = rng.binomial(humans, p["bounce"])
    engaged = humans - bounces
    q = 1 / p["depth"]
    pages = engaged + rng.negative_binomial(np.maximum(engaged, 1), q) * (engaged > 0)
    rng.binomial(engaged, p["conversion"])  # conversions: drawn, not returned here
    return (pages + bounces) + bots * 5.0


def _click_peer():
    rng = _rng()
    return [_click_one(rng, CLICK_HOURS) for _ in range(CLICK_SERIES)]


# --- daily active users: compound growth, weekends, decaying events ----------

DAU = dict(base=10_000.0, growth=1e-4, weekend=0.8, event_p=0.02, impact=(1.2, 2.0),
           decay=0.2, noise=0.05)


def _dau_ours():
    p = DAU
    return domain.daily_active_users(N, p["base"], p["growth"], p["weekend"], True,
                                     p["event_p"], *p["impact"], p["decay"], p["noise"], 24.0,
                                     SEED)


def _dau_peer():
    from scipy.signal import lfilter

    p, rng = DAU, _rng()
    day = np.arange(N)
    level = (1 + p["growth"]) ** day * p["base"]
    level = np.where(day % 7 > 4, level * p["weekend"], level)
    starts = rng.random(N) < p["event_p"]
    kicks = np.where(starts, (rng.uniform(*p["impact"], N) - 1) * level, 0.0)
    # boost[t] = boost[t-1] * keep + kick[t]: a first-order recursive filter
    boost = lfilter([1.0], [1.0, -(1 - p["decay"])], kicks)
    mean = level + boost
    values = np.maximum(mean + rng.standard_normal(N) * p["noise"] * mean, 0.0)
    return values, starts.astype(np.int32)


# --- intermittent demand: independent and seasonal occurrence ----------------

DEMAND = dict(p=0.3, mean=5.0, std=3.0, period=52, peak=0.8, floor=1.0)


def _demand_ours(pattern, distribution):
    p = DEMAND
    return lambda: domain.intermittent_demand(N, p["p"], distribution, p["mean"], p["std"],
                                              pattern, 3, p["period"], p["peak"], p["floor"],
                                              SEED)


def _demand_peer(pattern, distribution):
    p = DEMAND

    def run():
        rng = _rng()
        if pattern == 0:
            prob = p["p"]
        else:
            r = np.arange(N) % p["period"]
            prob = (np.cos(TWO_PI * r / p["period"]) + 1) * (p["peak"] - p["p"]) * 0.5 + p["p"]
        flags = rng.random(N) < prob
        k = int(flags.sum())
        if distribution == 3:
            sizes = rng.gamma((p["mean"] / p["std"]) ** 2, p["std"] ** 2 / p["mean"], k)
        else:
            sizes = rng.poisson(p["mean"], k).astype(np.float64)
        out = np.zeros(N)
        out[flags] = np.maximum(sizes, p["floor"])
        return out

    return run


CASES = [
    Case("domain iot_sensor bursts+battery 1e5", _iot_ours, _iot_peer, target="≤ 0.2"),
    Case("domain energy_load all patterns 1e5", _energy_ours, _energy_peer, target="≤ 0.2"),
    Case("domain vital_signs all parts 1e5", _vital_ours, _vital_peer, target="≤ 0.2"),
    Case("domain clickstream bots, page views 10x1e4", _click_ours, _click_peer,
         target="≤ 0.2"),
    Case("domain daily_active_users events 1e5", _dau_ours, _dau_peer, target="≤ 0.2",
         requires=("scipy",)),
    Case("domain intermittent_demand poisson 1e5", _demand_ours(0, 0), _demand_peer(0, 0),
         target="≤ 0.2"),
    Case("domain intermittent_demand seasonal gamma 1e5", _demand_ours(2, 3),
         _demand_peer(2, 3), target="≤ 0.2"),
]
