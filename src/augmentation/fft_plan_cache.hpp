// Process-wide cache of real FFT plans by length: at most 16 plans, the
// least recently requested one evicted first.  Plans are shared and
// immutable, so a plan evicted while a transform uses it lives on until
// that transform drops it.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "fft/real_fft_plan.hpp"

namespace tidemark {

class FftPlanCache {
 public:
  static constexpr std::size_t kCapacity = 16;

  // The cache the feature set uses; created on first use, never destroyed.
  static FftPlanCache& shared();

  // The plan for length n, prepared outside the lock on a miss.  Throws
  // std::bad_alloc when a new plan does not fit.
  std::shared_ptr<const RealFftPlan> plan(std::size_t n);

  // The cached lengths, least recently requested first.
  std::vector<std::size_t> lengths() const;

 private:
  mutable std::mutex mutex_;
  std::unordered_map<std::size_t, std::shared_ptr<const RealFftPlan>> plans_;
  std::deque<std::size_t> recency_;
};

}  // namespace tidemark
