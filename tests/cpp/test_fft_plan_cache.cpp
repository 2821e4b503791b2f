// The FFT plan cache: least-recently-requested eviction at 16 plans, shared
// plans that outlive their eviction, and consistency under many threads.
#include <algorithm>
#include <atomic>
#include <complex>
#include <thread>
#include <vector>

#include "augmentation/fft_plan_cache.hpp"
#include "testing.hpp"

namespace {

using tidemark::FftPlanCache;

TEST_CASE("fft plan cache evicts the least recently requested length") {
  FftPlanCache cache;
  for (std::size_t n = 1; n <= 16; ++n) (void)cache.plan(100 + n);
  CHECK_EQ(cache.lengths().size(), std::size_t{16});
  const auto kept = cache.plan(101);  // a hit refreshes 101
  (void)cache.plan(200);              // evicts 102, now the oldest
  const auto lengths = cache.lengths();
  CHECK_EQ(lengths.size(), std::size_t{16});
  CHECK(std::find(lengths.begin(), lengths.end(), 102) == lengths.end());
  CHECK_EQ(lengths.front(), std::size_t{103});
  CHECK_EQ(lengths.back(), std::size_t{200});
  CHECK(cache.plan(101) == kept);  // still cached: the same plan object

  // A plan evicted while in use stays valid for its holder.
  const auto held = cache.plan(300);
  for (std::size_t n = 1; n <= 16; ++n) (void)cache.plan(400 + n);
  const auto now = cache.lengths();
  CHECK(std::find(now.begin(), now.end(), 300) == now.end());
  std::vector<double> x(300, 1.0);
  std::vector<std::complex<double>> out(held->output_size()), scratch(held->scratch_size());
  held->forward(x.data(), out.data(), scratch.data());
  CHECK_NEAR(out[0].real(), 300.0, 1e-9);
}

TEST_CASE("fft plan cache stays consistent under concurrent requests") {
  FftPlanCache cache;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int id = 0; id < 8; ++id) {
    threads.emplace_back([&, id] {
      for (int k = 0; k < 400; ++k) {
        const std::size_t n = 10 + static_cast<std::size_t>((id * 13 + k * 7) % 40);
        const auto plan = cache.plan(n);
        if (plan->size() != n) ++wrong;
      }
    });
  }
  for (auto& t : threads) t.join();
  CHECK_EQ(wrong.load(), 0);
  auto lengths = cache.lengths();
  CHECK(lengths.size() <= FftPlanCache::kCapacity);
  std::sort(lengths.begin(), lengths.end());
  CHECK(std::adjacent_find(lengths.begin(), lengths.end()) == lengths.end());  // no duplicates
}

}  // namespace
