import sys

import tidemark._lib as lib

SUBMODULES = {
    "augmentation": ["dtw_alignment", "dtw_distance", "nearest_dtw_neighbors", "dba_barycenter",
                     "dba_barycenters", "mar_features_batch", "classical_decompose",
                     "compute_features",
                     "compute_feature_set", "compute_feature_set_batch", "moving_block_bootstrap",
                     "moving_block_bootstrap_many"],
    "pattern_injection": ["add_changepoints", "add_missingness", "add_anomalies"],
    "distributions": ["norm_cdf", "norm_ppf", "t_cdf", "gamma_ppf", "expon_ppf",
                      "lognorm_ppf", "uniform_ppf"],
    "statistical": ["random_walk", "seasonal", "sarima", "ets", "inar"],
    "stochastic": ["ornstein_uhlenbeck", "geometric_brownian_motion", "jump_diffusion",
                   "poisson_process", "cyclic", "garch", "hawkes_process", "chaotic_system",
                   "bounded_process", "levy_process"],
    "volatility": ["stochastic_volatility", "regime_switching"],
    "multivariate": ["copula", "var_process", "state_space", "fbm", "gaussian_process"],
    "domain": ["intermittent_demand", "daily_active_users", "energy_load", "vital_signs",
               "iot_sensor", "clickstream"],
    "batch": ["generate_batch", "generate_multi_batch"],
}


def test_module_tree_after_import():
    assert lib.__all__ == ["__doc__", *SUBMODULES]
    assert lib.__doc__
    for name, functions in SUBMODULES.items():
        sub = getattr(lib, name)
        assert sub.__name__ == name
        assert sys.modules["tidemark._lib." + name] is sub
        assert getattr(sub, "__all__", []) == functions
        for fn_name in functions:
            fn = getattr(sub, fn_name)
            assert fn.__self__ is sub
            assert fn.__module__ == name


def test_submodules_import_by_dotted_name():
    from tidemark._lib.pattern_injection import add_anomalies
    from tidemark._lib.statistical import random_walk

    assert callable(add_anomalies) and callable(random_walk)


def test_text_signatures_drive_inspect():
    import inspect

    from tidemark._lib.batch import generate_batch
    from tidemark._lib.statistical import seasonal

    sig = inspect.signature(seasonal)
    assert list(sig.parameters)[-2:] == ["innov_dist", "innov_param"]
    assert sig.parameters["innov_dist"].default == 0
    assert sig.parameters["innov_param"].default == 0.0
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in sig.parameters.values())
    assert inspect.signature(generate_batch).parameters["n_workers"].default == 0
    assert generate_batch.__doc__.startswith("Generate multiple series of a single generator type")


def test_internal_failure_is_a_bare_base_exception():
    from conftest import internal_failure_type

    cls = internal_failure_type()
    assert cls.__name__ == "InternalFailure"
    assert cls.__bases__ == (BaseException,)
    assert not issubclass(cls, Exception)
    assert internal_failure_type() is cls
