"""Per-series seeds derived from one master seed.

Series ``i`` of a dataset with master seed ``m`` takes the five 64-bit words

    numpy.random.SeedSequence(m, spawn_key=(i,)).generate_state(5, numpy.uint64)

word 0 picks the length inside the group's range, word 1 seeds the generator
and words 2, 3, 4 seed the changepoint, anomaly and missing-value steps.  The
words depend on ``m`` and ``i`` only, never on chunking, sharding or the
number of workers, so any series can be regenerated on its own.

``series_words`` computes exactly those words for a whole range of indices
at once: creating one SeedSequence per series would cost more than
generating the series.  The mixing below is NumPy's SeedSequence algorithm
(pool of four 32-bit words) written over arrays; a test checks it against
NumPy itself.
"""

from __future__ import annotations

import numpy as np

WORDS = 5  # length, generator, changepoints, anomalies, missing values
MAX_SEED = 2**64 - 1
MAX_SERIES = 2**32  # indices below this are one 32-bit word of the spawn key

_POOL = 4
_INIT_A = 0x43B0D7E5
_MULT_A = 0x931E8875
_INIT_B = 0x8B51F9DD
_MULT_B = 0x58F38DED
_MIX_L = 0xCA01F9DD
_MIX_R = 0x4973F715
_MASK = 0xFFFFFFFF


def _hashmix(value, const):
    """One hashmix step; returns (mixed value, next hash constant)."""
    value = (value ^ const) & _MASK
    const = (const * _MULT_A) & _MASK
    value = (value * const) & _MASK
    return value ^ (value >> 16), const


def _mix(x, y):
    result = (_MIX_L * x - _MIX_R * y) & _MASK
    return result ^ (result >> 16)


def _words_of(n: int) -> list[int]:
    words = []
    while True:
        words.append(n & _MASK)
        n >>= 32
        if not n:
            return words


def _master_pool(master: int):
    """The pool after mixing the master seed's words (padded to the pool size,
    as SeedSequence does when a spawn key follows), plus the hash constant."""
    entropy = _words_of(master)
    entropy += [0] * (_POOL - len(entropy))
    const = _INIT_A
    pool = [0] * _POOL
    for i in range(_POOL):
        pool[i], const = _hashmix(entropy[i], const)
    for src in range(_POOL):
        for dst in range(_POOL):
            if src != dst:
                h, const = _hashmix(pool[src], const)
                pool[dst] = _mix(pool[dst], h)
    extra = entropy[_POOL:]  # master seeds above 2**128 (not accepted, kept general)
    for word in extra:
        for dst in range(_POOL):
            h, const = _hashmix(word, const)
            pool[dst] = _mix(pool[dst], h)
    return pool, const


def series_words(master: int, start: int, stop: int) -> np.ndarray:
    """The seed words of series start..stop-1, shape (stop - start, 5), uint64."""
    if not 0 <= master <= MAX_SEED:
        raise ValueError("master seed must be in [0, 2**64)")
    if not 0 <= start <= stop <= MAX_SERIES:
        raise ValueError("series indices must be in [0, 2**32)")
    pool0, const0 = _master_pool(master)
    key = np.arange(start, stop, dtype=np.uint64)
    mask = np.uint64(_MASK)
    pool = [np.full(key.shape, p, dtype=np.uint64) for p in pool0]
    const = const0
    for dst in range(_POOL):  # the spawn key word mixed into every pool word
        value = key ^ np.uint64(const)
        const = (const * _MULT_A) & _MASK
        value = (value * np.uint64(const)) & mask
        value ^= value >> np.uint64(16)
        result = (np.uint64(_MIX_L) * pool[dst] - np.uint64(_MIX_R) * value) & mask
        pool[dst] = result ^ (result >> np.uint64(16))
    out = np.empty((key.size, 2 * WORDS), dtype=np.uint64)
    const = _INIT_B
    for w in range(2 * WORDS):
        value = pool[w % _POOL] ^ np.uint64(const)
        const = (const * _MULT_B) & _MASK
        value = (value * np.uint64(const)) & mask
        out[:, w] = value ^ (value >> np.uint64(16))
    # little-endian pairs of 32-bit words, as SeedSequence builds uint64 words
    return out[:, 0::2] | (out[:, 1::2] << np.uint64(32))


def lengths_from_words(words: np.ndarray, lo: int, hi: int) -> np.ndarray:
    """Length of each series in [lo, hi] from its word 0: lo + ((w >> 32) * span) >> 32."""
    span = np.uint64(hi - lo + 1)
    top = words[:, 0] >> np.uint64(32)
    return (np.uint64(lo) + ((top * span) >> np.uint64(32))).astype(np.int64)
