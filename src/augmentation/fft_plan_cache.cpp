#include "augmentation/fft_plan_cache.hpp"

#include <algorithm>

namespace tidemark {

FftPlanCache& FftPlanCache::shared() {
  static FftPlanCache* cache = new FftPlanCache();  // lives until the process ends
  return *cache;
}

std::shared_ptr<const RealFftPlan> FftPlanCache::plan(std::size_t n) {
  {
    std::lock_guard lock(mutex_);
    if (auto it = plans_.find(n); it != plans_.end()) {
      // Append before erasing the old entry, so a failed append changes nothing.
      recency_.push_back(n);
      recency_.erase(std::find(recency_.begin(), recency_.end(), n));
      return it->second;
    }
  }
  // Planning is the slow part: other lengths are served meanwhile.
  auto fresh = std::make_shared<const RealFftPlan>(n);
  std::shared_ptr<const RealFftPlan> evicted;  // released after unlocking
  std::lock_guard lock(mutex_);
  if (auto it = plans_.find(n); it != plans_.end()) return it->second;  // planned meanwhile
  if (plans_.size() >= kCapacity) {
    auto oldest = plans_.find(recency_.front());
    evicted = std::move(oldest->second);
    plans_.erase(oldest);
    recency_.pop_front();
  }
  // Reserve the queue slot first so that a failed insertion leaves both
  // structures consistent.
  recency_.push_back(n);
  try {
    plans_.emplace(n, fresh);
  } catch (...) {
    recency_.pop_back();
    throw;
  }
  return fresh;
}

std::vector<std::size_t> FftPlanCache::lengths() const {
  std::lock_guard lock(mutex_);
  return {recency_.begin(), recency_.end()};
}

}  // namespace tidemark
