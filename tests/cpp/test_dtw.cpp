#include <atomic>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "augmentation/dba.hpp"
#include "augmentation/dtw.hpp"
#include "augmentation/dtw_neighbors.hpp"
#include "augmentation/parallel_work.hpp"
#include "core/internal_failure.hpp"
#include "testing.hpp"

using namespace tidemark;

namespace {

std::vector<double> random_series(std::mt19937_64& gen, std::size_t n) {
  std::normal_distribution<double> normal;
  std::vector<double> x(n);
  for (double& v : x) v = normal(gen);
  return x;
}

}  // namespace

TEST_CASE("dtw effective band widens to the length difference and clips to the longer") {
  CHECK_EQ(dtw_effective_band(3, 5, 0), std::size_t{2});
  CHECK_EQ(dtw_effective_band(5, 3, 1), std::size_t{2});
  CHECK_EQ(dtw_effective_band(4, 4, 0), std::size_t{0});
  CHECK_EQ(dtw_effective_band(4, 6, std::nullopt), std::size_t{6});
  CHECK_EQ(dtw_effective_band(4, 6, UINT64_MAX), std::size_t{6});
  CHECK_EQ(dtw_parent_stride(10, 0), std::size_t{1});
  CHECK_EQ(dtw_parent_stride(10, 4), std::size_t{9});
  CHECK_EQ(dtw_parent_stride(10, 5), std::size_t{10});
  CHECK_EQ(dtw_parent_stride(9, 4), std::size_t{9});
}

TEST_CASE("neighbour band is the rounded-up proportion or the length difference plus one") {
  CHECK_EQ(dtw_neighbor_band(10, 14, 0.1), uint64_t{5});
  CHECK_EQ(dtw_neighbor_band(14, 10, 0.1), uint64_t{5});
  CHECK_EQ(dtw_neighbor_band(200, 200, 0.1), uint64_t{20});
  CHECK_EQ(dtw_neighbor_band(200, 200, 1.0), uint64_t{200});
  CHECK_EQ(dtw_neighbor_band(5, 5, 1e-300), uint64_t{1});
}

TEST_CASE("parent store holds codes only for in-band cells") {
  std::mt19937_64 gen(4);
  const auto a = random_series(gen, 7), b = random_series(gen, 9);
  const std::size_t w = dtw_effective_band(7, 9, 2), stride = dtw_parent_stride(9, w);
  std::vector<uint8_t> parents(7 * stride, kStepUnwritten);
  const double with = dtw_accumulated_cost(a, b, w, parents.data());
  const double without = dtw_accumulated_cost(a, b, w, nullptr);
  CHECK(std::memcmp(&with, &without, sizeof(double)) == 0);
  for (std::size_t i = 1; i <= 7; ++i) {
    const std::size_t start = i > w ? i - w : 1, end = std::min<std::size_t>(9, i + w);
    for (std::size_t off = 0; off < stride; ++off) {
      const uint8_t code = parents[(i - 1) * stride + off];
      if (off <= end - start) {
        CHECK(code <= kStepLeft);
      } else {
        CHECK_EQ(code, kStepUnwritten);
      }
    }
  }
}

TEST_CASE("dba_align_all gives the same paths in series order, parallel or not") {
  std::mt19937_64 gen(9);
  const auto bary = random_series(gen, 30);
  std::vector<std::vector<double>> owned;
  for (int k = 0; k < 19; ++k) owned.push_back(random_series(gen, 20 + k));
  std::vector<std::span<const double>> list(owned.begin(), owned.end());
  auto serial = dba_align_all(bary, list, 12, false);
  auto parallel = dba_align_all(bary, list, 12, true);
  CHECK(serial.ok() && parallel.ok());
  for (std::size_t k = 0; k < list.size(); ++k) {
    auto direct = dtw_align(bary, list[k], 12);
    const auto& p = parallel.value()[k];
    CHECK_EQ(p.size(), direct.value().path.size());
    CHECK_EQ(serial.value()[k].size(), p.size());
    for (std::size_t s = 0; s < p.size(); ++s) {
      CHECK(p[s].i == direct.value().path[s].i && p[s].j == direct.value().path[s].j);
      CHECK(serial.value()[k][s].i == p[s].i && serial.value()[k][s].j == p[s].j);
    }
  }
}

TEST_CASE("dba interrupt check aborts at its check points") {
  const std::vector<double> ref{1, 2, 3};
  const std::vector<std::vector<double>> nbs{{2, 3, 4}};
  const std::vector<std::vector<double>> weights{{1, 1}, {1, 2}};
  int calls = 0;
  auto counted = dba_core(ref, nbs, weights, 3, std::nullopt, [&] { return ++calls < 0; });
  CHECK(counted.ok());
  CHECK_EQ(calls, 5);  // before the shared alignment, once per iteration, at the end
  auto stopped = dba_core(ref, nbs, weights, 3, std::nullopt, [&] { return true; });
  CHECK(!stopped.ok() && stopped.error().message == kDbaInterrupted);
}

TEST_CASE("parallel work reports failures as a direct call would") {
  Status first = run_on_default_pool(100, [](std::size_t i) -> Status {
    if (i % 10 == 3) return ParamError{"item " + std::to_string(i)};
    return std::nullopt;
  });
  CHECK(first.has_value() && first->message.rfind("item ", 0) == 0);
  bool threw_oom = false, threw_internal = false;
  try {
    (void)run_on_default_pool(8, [](std::size_t i) -> Status {
      if (i == 5) throw std::bad_alloc();
      return std::nullopt;
    });
  } catch (const std::bad_alloc&) {
    threw_oom = true;
  }
  try {
    (void)run_on_default_pool(8, [](std::size_t) -> Status { internal_failure("broken"); });
  } catch (const InternalFailure& e) {
    threw_internal = std::string(e.what()) == "broken";
  }
  CHECK(threw_oom);
  CHECK(threw_internal);
  std::atomic<int> ran{0};
  CHECK(!run_on_default_pool(50, [&](std::size_t) -> Status {
    ++ran;
    return std::nullopt;
  }));
  CHECK_EQ(ran.load(), 50);
}
