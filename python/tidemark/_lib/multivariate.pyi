# Stub of a native submodule; see __init__.pyi for how these stubs are kept.
# No function is registered here yet, so the module has no __all__ either.
