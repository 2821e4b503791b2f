"""The one table of named choices and the integer codes the native core takes.

Every wrapper in the Python layer turns a named choice into its code with
:func:`code` and nothing else; the ``Literal`` aliases below are the types of
those parameters, so a misspelt name is caught by a type checker as well as
at run time.  The native core treats every unlisted code as a default model;
only the listed names are offered here.

To add a choice for a new generator: add its ``Literal`` alias and a
``dict`` with the same names in the same order here, type the wrapper's
parameter with the alias and pass ``code("parameter", TABLE, value)`` to the
native function.
"""

from __future__ import annotations

from typing import Literal, Mapping

Innovation = Literal["normal", "student_t", "laplace", "uniform", "skew_normal"]
INNOVATION: dict[str, int] = {
    "normal": 0, "student_t": 1, "laplace": 2, "uniform": 3, "skew_normal": 4}
# The shape parameter used when a wrapper is given ``innovation_param=None``:
# degrees of freedom for Student's t (it must exceed 2), the skew for the
# skew-normal; the other distributions ignore it.
INNOVATION_PARAM_DEFAULT: dict[str, float] = {
    "normal": 0.0, "student_t": 5.0, "laplace": 0.0, "uniform": 0.0, "skew_normal": 4.0}

# statistical
EtsError = Literal["additive", "multiplicative"]
ETS_ERROR: dict[str, int] = {"additive": 0, "multiplicative": 1}
EtsComponent = Literal["none", "additive", "multiplicative"]
ETS_COMPONENT: dict[str, int] = {"none": 0, "additive": 1, "multiplicative": 2}
InarArrivals = Literal["poisson", "negative_binomial"]
INAR_ARRIVALS: dict[str, int] = {"poisson": 0, "negative_binomial": 1}

# stochastic
HawkesKernel = Literal["exponential", "power_law"]
HAWKES_KERNEL: dict[str, int] = {"exponential": 0, "power_law": 1}
HawkesOutput = Literal["counts", "intensity", "indicators"]
HAWKES_OUTPUT: dict[str, int] = {"counts": 0, "intensity": 1, "indicators": 2}
ChaoticSystem = Literal["lorenz", "logistic", "mackey_glass"]
CHAOTIC_SYSTEM: dict[str, int] = {"lorenz": 0, "logistic": 1, "mackey_glass": 2}
BoundedModel = Literal["beta", "logistic_normal"]
BOUNDED_MODEL: dict[str, int] = {"beta": 0, "logistic_normal": 1}

# volatility
VolatilityModel = Literal["heston", "sabr", "sabr_from_variance"]
VOLATILITY_MODEL: dict[str, int] = {"heston": 0, "sabr_from_variance": 1, "sabr": 2}
VolatilityOutput = Literal["prices", "log_returns", "volatility"]
VOLATILITY_OUTPUT: dict[str, int] = {"prices": 0, "log_returns": 1, "volatility": 2}

# multivariate
CopulaType = Literal["gaussian", "student_t"]
COPULA_TYPE: dict[str, int] = {"gaussian": 0, "student_t": 1}
Marginal = Literal["normal", "lognormal", "exponential", "uniform", "gamma"]
MARGINAL: dict[str, int] = {
    "normal": 0, "lognormal": 1, "exponential": 2, "uniform": 3, "gamma": 4}
FbmMethod = Literal["dense", "hosking", "davies_harte"]
FBM_METHOD: dict[str, int] = {"dense": 0, "hosking": 1, "davies_harte": 2}
GpKernel = Literal["squared_exponential", "exponential", "matern32", "matern52", "periodic"]
GP_KERNEL: dict[str, int] = {
    "squared_exponential": 0, "exponential": 1, "matern32": 2, "matern52": 3, "periodic": 4}

# domain
DemandDistribution = Literal["poisson", "negative_binomial", "lognormal", "gamma"]
DEMAND_DISTRIBUTION: dict[str, int] = {
    "poisson": 0, "negative_binomial": 1, "lognormal": 2, "gamma": 3}
IntermittentPattern = Literal["independent", "clustered", "seasonal"]
INTERMITTENT_PATTERN: dict[str, int] = {"independent": 0, "clustered": 1, "seasonal": 2}
LoadType = Literal["residential", "commercial", "industrial"]
LOAD_TYPE: dict[str, int] = {"residential": 0, "commercial": 1, "industrial": 2}
VitalSign = Literal[
    "plain", "heart_rate", "blood_pressure", "respiratory_rate", "oxygen_saturation"]
VITAL_SIGN: dict[str, int] = {
    "plain": 0, "heart_rate": 1, "blood_pressure": 2, "respiratory_rate": 3,
    "oxygen_saturation": 4}
FailureMode = Literal["none", "dropout", "dropout_bursts", "stuck"]
FAILURE_MODE: dict[str, int] = {"none": 0, "dropout": 1, "dropout_bursts": 2, "stuck": 3}
ClickstreamOutput = Literal["sessions", "page_views", "conversions", "bounce_rate"]
CLICKSTREAM_OUTPUT: dict[str, int] = {
    "sessions": 0, "page_views": 1, "conversions": 2, "bounce_rate": 3}

# batch: generator codes of the batch engine
GeneratorName = Literal[
    "random_walk", "seasonal", "sarima", "ets", "inar", "ornstein_uhlenbeck",
    "geometric_brownian_motion", "jump_diffusion", "poisson_process", "cyclic", "garch",
    "hawkes_process", "chaotic_system", "bounded_process", "levy_process",
    "stochastic_volatility", "regime_switching", "state_space", "fbm", "gaussian_process",
    "intermittent_demand", "energy_load", "vital_signs", "clickstream", "tsi", "tcm", "mar"]
GENERATOR: dict[str, int] = {
    "random_walk": 0, "seasonal": 1, "sarima": 2, "ets": 3, "inar": 4,
    "ornstein_uhlenbeck": 5, "geometric_brownian_motion": 6, "jump_diffusion": 7,
    "poisson_process": 8, "cyclic": 9, "garch": 10, "hawkes_process": 11,
    "chaotic_system": 12, "bounded_process": 13, "levy_process": 14,
    "stochastic_volatility": 15, "regime_switching": 16, "state_space": 19, "fbm": 20,
    "gaussian_process": 21, "intermittent_demand": 22, "energy_load": 24,
    "vital_signs": 25, "clickstream": 27, "tsi": 28, "tcm": 29, "mar": 30}


def code(parameter: str, table: Mapping[str, int], name: str) -> int:
    """Return the code of ``name`` in ``table``; a ``ValueError`` naming the
    parameter and its choices for anything else."""
    try:
        return table[name]
    except (KeyError, TypeError):
        choices = ", ".join(repr(k) for k in table)
        raise ValueError(f"{parameter} must be one of {choices}, got {name!r}") from None


def innovation_spec(innovation: str, innovation_param: float | None) -> tuple[int, float]:
    """The native ``(innov_dist, innov_param)`` pair of an innovation choice."""
    dist = code("innovation", INNOVATION, innovation)
    if innovation_param is None:
        return dist, INNOVATION_PARAM_DEFAULT[innovation]
    return dist, float(innovation_param)
