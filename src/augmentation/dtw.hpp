// Dynamic time warping between two univariate series: squared local cost,
// Sakoe-Chiba band, distance = sqrt of the accumulated cost.  The distance
// needs two rolling rows; the alignment adds a one-byte-per-cell parent
// store with a fixed row stride, capped at 64 MiB like the path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/param_error.hpp"

namespace tidemark {

inline constexpr const char* kDtwEmpty = "DTW inputs must be non-empty one-dimensional arrays";
inline constexpr const char* kDtwNotFinite = "DTW inputs must be finite";
inline constexpr const char* kDtwInfeasible = "DTW alignment is infeasible for the requested band";
inline constexpr const char* kDtwParentCap =
    "DTW alignment exceeds the 64 MiB parent-storage limit; shorten series or reduce the band";
inline constexpr const char* kDtwParentAlloc = "unable to allocate DTW parent storage";
inline constexpr const char* kDtwPathCap = "DTW path exceeds 64 MiB";
inline constexpr const char* kDtwPathAlloc = "unable to allocate DTW path";

inline constexpr uint64_t kDtwParentLimitBytes = 67'108'864;  // 64 MiB, inclusive
inline constexpr uint64_t kDtwPathLimitPairs = 4'194'304;     // 2^22 pairs of 16 bytes

// Parent step codes: which predecessor the cell's minimum came from.
inline constexpr uint8_t kStepDiagonal = 0;  // (i-1, j-1)
inline constexpr uint8_t kStepUp = 1;        // (i-1, j): only `a` advances
inline constexpr uint8_t kStepLeft = 2;      // (i, j-1): only `b` advances
inline constexpr uint8_t kStepUnwritten = 255;

struct PathStep {
  uint64_t i;  // index into a
  uint64_t j;  // index into b
};

struct DtwAlignment {
  double distance = 0.0;
  std::vector<PathStep> path;  // (0, 0) ... (n-1, m-1)
};

// "non-empty" then "finite": the input checks shared by every DTW consumer.
Status check_dtw_series(std::span<const double> x);

// The half-width actually used: the caller's band (or the longer length when
// absent), widened to the length difference so the end cell stays reachable
// and clipped to the longer length.
std::size_t dtw_effective_band(std::size_t n, std::size_t m, std::optional<uint64_t> band);

// The parent store's row stride for m columns and half-width w.
inline std::size_t dtw_parent_stride(std::size_t m, std::size_t w) {
  return w >= m / 2 ? m : std::min(m, 2 * w + 1);
}

// D[n][m] of the banded recurrence (may be +inf when costs overflow).
// `parents`, when given, holds n * dtw_parent_stride(m, w) bytes pre-filled
// with kStepUnwritten and receives the step codes.  Inputs must be
// non-empty; w as from dtw_effective_band.
double dtw_accumulated_cost(std::span<const double> a, std::span<const double> b, std::size_t w,
                            uint8_t* parents);

Result<double> dtw_distance_core(std::span<const double> a, std::span<const double> b,
                                 std::optional<uint64_t> band);

Result<DtwAlignment> dtw_align(std::span<const double> a, std::span<const double> b,
                               std::optional<uint64_t> band);

}  // namespace tidemark
