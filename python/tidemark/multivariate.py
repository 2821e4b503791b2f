"""Multivariate generators (VAR, state space, copula, fractional Brownian
motion, Gaussian processes).

Their wrappers land here with the native functions; see "Adding a wrapper"
in :mod:`tidemark`.
"""

from __future__ import annotations

__all__: list[str] = []
