// DTW Barycentre Averaging: a barycentre starts as the reference and, for a
// fixed number of iterations, each of its points becomes the weighted mean
// of the series points DTW aligns to it.  Several barycentres (copies), one
// per weight vector, share the reference's alignment in the first
// iteration.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "augmentation/dtw.hpp"
#include "core/param_error.hpp"

namespace tidemark {

inline constexpr const char* kDbaInterrupted = "DBA interrupted";

// Called by dba_core at its check points, always on the thread that called
// dba_core; returns true to abort the computation (dba_core then returns the
// ParamError kDbaInterrupted, which the caller replaces with its reason).
using DbaInterruptCheck = std::function<bool()>;

// One barycentre per weight vector, in order.  Weight k applies to series k
// of [reference, neighbors...].  Alignment work runs on the default pool,
// never more than eight alignments at a time.
Result<std::vector<std::vector<double>>> dba_core(std::span<const double> reference,
                                                  std::span<const std::vector<double>> neighbors,
                                                  std::span<const std::vector<double>> weights,
                                                  uint64_t n_iterations,
                                                  std::optional<uint64_t> band,
                                                  const DbaInterruptCheck& interrupted);

// The warping path of `barycentre` against each series, in series order.
// Series are aligned in groups of eight; within a group in parallel when
// `parallel` is set.
Result<std::vector<std::vector<PathStep>>> dba_align_all(
    std::span<const double> barycentre, std::span<const std::span<const double>> series,
    std::optional<uint64_t> band, bool parallel);

}  // namespace tidemark
