#include "pattern_injection/pattern_injection.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "testing.hpp"

using tidemark::RandomStream;
using tidemark::inject_anomalies;
using tidemark::inject_changepoints;
using tidemark::inject_missingness;

namespace {

constexpr uint64_t kMissingBits = 0x7FF8000000000000ULL;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

std::vector<double> ramp(std::size_t n) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = 0.5 * static_cast<double>(i) - 3.0;
  return v;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::bit_cast<uint64_t>(a[i]) != std::bit_cast<uint64_t>(b[i])) return false;
  }
  return true;
}

bool is_missing(double x) { return std::bit_cast<uint64_t>(x) == kMissingBits; }

bool strictly_ascending(const std::vector<int64_t>& p) {
  return std::adjacent_find(p.begin(), p.end(), [](int64_t a, int64_t b) { return a >= b; }) ==
         p.end();
}

// Positions marked missing, and nothing else changed.
bool only_positions_missing(const std::vector<double>& before, const std::vector<double>& after,
                            const std::vector<int64_t>& positions) {
  std::vector<bool> marked(before.size(), false);
  for (int64_t p : positions) marked[static_cast<std::size_t>(p)] = true;
  for (std::size_t i = 0; i < before.size(); ++i) {
    const bool ok = marked[i] ? is_missing(after[i])
                              : std::bit_cast<uint64_t>(after[i]) ==
                                    std::bit_cast<uint64_t>(before[i]);
    if (!ok) return false;
  }
  return true;
}

std::vector<int64_t> changepoints(std::vector<double>& v, uint64_t seed, int32_t c,
                                  std::vector<double> loc, const std::string& kind,
                                  std::vector<double> level = {}, std::vector<double> trend = {},
                                  std::vector<double> variance = {}) {
  return inject_changepoints(v, seed, c, loc, kind, level, trend, variance);
}

std::vector<int64_t> anomalies(std::vector<double>& v, uint64_t seed,
                               std::vector<std::string> kinds, double fraction,
                               double magnitude, int32_t duration = 0) {
  return inject_anomalies(v, seed, kinds, fraction, magnitude, magnitude, magnitude, duration);
}

}  // namespace

// ---------------------------------------------------------------- distinct

TEST_CASE("sample_distinct_indices: distinct, in range, clamped count") {
  struct Case { int64_t n, k, expected; };
  const Case cases[] = {{10, 3, 3}, {10, 10, 10}, {10, 15, 10}, {1000, 500, 500},
                        {5, -1, 0}, {0, 5, 0},    {-3, 2, 0}};
  for (const Case& c : cases) {
    RandomStream s(42);
    std::vector<int64_t> p = tidemark::sample_distinct_indices(s, c.n, c.k);
    CHECK_EQ(static_cast<int64_t>(p.size()), c.expected);
    std::sort(p.begin(), p.end());
    CHECK(strictly_ascending(p));
    CHECK(p.empty() || (p.front() >= 0 && p.back() < c.n));
  }
}

TEST_CASE("sample_distinct_indices: Floyd draw order on inclusive ranges") {
  RandomStream s(2024), ref(2024);
  const std::vector<int64_t> p = tidemark::sample_distinct_indices(s, 50, 20);
  std::vector<int64_t> expected;
  for (int64_t j = 30; j < 50; ++j) {
    const int64_t t = ref.sample_int_range(0, static_cast<int32_t>(j + 1));
    const bool seen = std::find(expected.begin(), expected.end(), t) != expected.end();
    expected.push_back(seen ? j : t);
  }
  CHECK(p == expected);
  CHECK_EQ(s.next_u64(), ref.next_u64());
}

// ------------------------------------------------------------- missingness

TEST_CASE("missingness: rate at or above 1 marks everything, whatever the pattern") {
  for (const char* pattern : {"nonsense", "block", "seasonal"}) {
    std::vector<double> v = ramp(7);
    // Bad sizes are not reached at this rate.
    const std::vector<int64_t> p = inject_missingness(v, 1, pattern, 1.5, 0, 0);
    CHECK((p == std::vector<int64_t>{0, 1, 2, 3, 4, 5, 6}));
    CHECK(std::all_of(v.begin(), v.end(), is_missing));
  }
}

TEST_CASE("missingness: rate 0 or negative changes nothing") {
  for (const char* pattern : {"random", "block", "seasonal", "other"}) {
    for (const double rate : {0.0, -0.5, -kInf}) {
      std::vector<double> v = ramp(12);
      CHECK(inject_missingness(v, 3, pattern, rate, 0, 0).empty());
      CHECK(same_bits(v, ramp(12)));
    }
  }
}

TEST_CASE("missingness: random n=10 rate 0.35 gives 3 sorted distinct positions") {
  for (uint64_t seed = 0; seed < 20; ++seed) {
    std::vector<double> v = ramp(10);
    const std::vector<int64_t> p = inject_missingness(v, seed, "random", 0.35, 1, 1);
    CHECK_EQ(p.size(), std::size_t{3});
    CHECK(strictly_ascending(p));
    CHECK(only_positions_missing(ramp(10), v, p));
  }
}

TEST_CASE("missingness: a block longer than the series covers it from 0") {
  std::vector<double> v = ramp(5);
  CHECK((inject_missingness(v, 9, "block", 0.5, 8, 1) == std::vector<int64_t>{0, 1, 2, 3, 4}));
  CHECK(std::all_of(v.begin(), v.end(), is_missing));
}

TEST_CASE("missingness: overlapping blocks are reported sorted once each") {
  std::vector<double> v = ramp(20);
  const std::vector<int64_t> p = inject_missingness(v, 5, "block", 0.9, 3, 1);
  CHECK(strictly_ascending(p));
  CHECK(p.size() <= 18 && p.size() >= 3);
  CHECK(only_positions_missing(ramp(20), v, p));
}

TEST_CASE("missingness: seasonal period 1 compares one uniform per element with r") {
  std::vector<double> v = ramp(200);
  const std::vector<int64_t> p = inject_missingness(v, 77, "seasonal", 0.3, 1, 1);
  RandomStream ref(77);
  std::vector<int64_t> expected;
  for (int64_t i = 0; i < 200; ++i) {
    if (ref.sample_uniform(0.0, 1.0) < 0.3) expected.push_back(i);
  }
  CHECK(p == expected);
  CHECK(only_positions_missing(ramp(200), v, p));
}

TEST_CASE("missingness: NaN rate per pattern") {
  std::vector<double> v = ramp(20);
  CHECK(inject_missingness(v, 4, "random", kNaN, 1, 1).empty());
  CHECK(inject_missingness(v, 4, "seasonal", kNaN, 1, 3).empty());
  CHECK(same_bits(v, ramp(20)));

  // One block, its start drawn on [0, n - a + 1).
  const std::vector<int64_t> p = inject_missingness(v, 4, "block", kNaN, 4, 1);
  RandomStream ref(4);
  const int64_t start = ref.sample_int_range(0, 17);
  CHECK((p == std::vector<int64_t>{start, start + 1, start + 2, start + 3}));
  CHECK(only_positions_missing(ramp(20), v, p));
}

TEST_CASE("missingness: block size and seasonal period below 1 fail when reached") {
  std::vector<double> v = ramp(10);
  for (const double rate : {0.5, kNaN}) {
    for (const int32_t bad : {0, -4}) {
      CHECK_FAILS_WITH(inject_missingness(v, 1, "block", rate, bad, 1),
                       "missing_block_size must be > 0 for block pattern");
      CHECK_FAILS_WITH(inject_missingness(v, 1, "seasonal", rate, 1, bad),
                       "missing_seasonal_period must be > 0 for seasonal pattern");
    }
  }
  CHECK(same_bits(v, ramp(10)));
}

// --------------------------------------------------------------- anomalies

TEST_CASE("anomalies: count from the fraction; none means no draws and no kind check") {
  struct Case { double fraction; std::size_t expected; };
  const Case cases[] = {{0.0, 0}, {-0.5, 0}, {kNaN, 0}, {0.05, 0}, {0.35, 3}, {kInf, 10}};
  for (const Case& c : cases) {
    std::vector<double> v = ramp(10);
    const std::vector<int64_t> p = anomalies(v, 6, {"nothing"}, c.fraction, 1.0);
    CHECK_EQ(p.size(), c.expected);
    CHECK(same_bits(v, ramp(10)));
  }
  std::vector<double> v = ramp(10);
  CHECK(anomalies(v, 6, {}, 0.0, 1.0).empty());
}

TEST_CASE("anomalies: an empty kind list fails on the first kind draw") {
  std::vector<double> v = ramp(10);
  CHECK_FAILS_WITH(anomalies(v, 6, {}, 0.5, 1.0), "invalid integer range: requires low < high");
}

TEST_CASE("anomalies: a dip adds its (negative) magnitude at each position") {
  std::vector<double> v = ramp(20);
  const std::vector<int64_t> p =
      inject_anomalies(v, 8, std::vector<std::string>{"dip"}, 0.3, 100.0, -3.0, 50.0, 4);
  CHECK_EQ(p.size(), std::size_t{6});
  const std::vector<double> before = ramp(20);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const bool chosen = std::find(p.begin(), p.end(), static_cast<int64_t>(i)) != p.end();
    CHECK_EQ(v[i], chosen ? before[i] - 3.0 : before[i]);
  }
}

TEST_CASE("anomalies: a level shift near the end stops at the last element") {
  uint64_t seed = 0;
  std::vector<double> v;
  for (;; ++seed) {  // the first seed that picks position n - 2
    v = ramp(10);
    if (anomalies(v, seed, {"level_shift"}, 0.1, 1.0, 5) == std::vector<int64_t>{8}) break;
  }
  const std::vector<double> before = ramp(10);
  for (std::size_t i = 0; i < 10; ++i) CHECK_EQ(v[i], i >= 8 ? before[i] + 1.0 : before[i]);
}

TEST_CASE("anomalies: the longest duration does not wrap past the end") {
  std::vector<double> v(10, 0.0);
  anomalies(v, 3, {"level_shift"}, 1.0, 1.0, std::numeric_limits<int32_t>::max());
  // Every position shifts all later elements: element t gets t + 1 shifts.
  for (std::size_t t = 0; t < 10; ++t) CHECK_EQ(v[t], static_cast<double>(t + 1));
}

// ------------------------------------------------------------ changepoints

TEST_CASE("changepoints: given locations keep their order and are clamped") {
  struct Case { std::vector<double> locations; std::vector<int64_t> expected; };
  const Case cases[] = {{{0.8, 0.2}, {80, 20}},
                        {{1.5}, {99}},
                        {{-0.3, kNaN, kInf, -kInf}, {0, 0, 99, 0}}};
  for (const Case& c : cases) {
    std::vector<double> v = ramp(100);
    const auto count = static_cast<int32_t>(c.locations.size());
    CHECK(changepoints(v, 1, count, c.locations, "level", {0.0, 0.0, 0.0, 0.0}) == c.expected);
  }
}

TEST_CASE("changepoints: drawn fractions ascend without locations, follow a given head") {
  std::vector<double> v = ramp(100);
  const std::vector<int64_t> p = changepoints(v, 12, 6, {}, "none");
  CHECK_EQ(p.size(), std::size_t{6});
  CHECK(std::is_sorted(p.begin(), p.end()));
  CHECK(p.front() >= 10 && p.back() < 90);

  // A given head: the tail is drawn in order and not sorted.
  const std::vector<int64_t> q = changepoints(v, 12, 3, {0.95}, "none");
  RandomStream ref(12);
  const double f1 = ref.sample_uniform(0.1, 0.9), f2 = ref.sample_uniform(0.1, 0.9);
  CHECK((q == std::vector<int64_t>{95, static_cast<int64_t>(f1 * 100.0),
                                   static_cast<int64_t>(f2 * 100.0)}));
  CHECK(same_bits(v, ramp(100)));
}

TEST_CASE("changepoints: a given level change steps the series from its position") {
  std::vector<double> v = ramp(100);
  CHECK((changepoints(v, 5, 1, {0.4}, "level", {5.0}) == std::vector<int64_t>{40}));
  const std::vector<double> before = ramp(100);
  for (std::size_t i = 0; i < 100; ++i) CHECK_EQ(v[i], i >= 40 ? before[i] + 5.0 : before[i]);
}

TEST_CASE("changepoints: unknown kinds and non-positive counts leave the series alone") {
  std::vector<double> v = ramp(50);
  v[45] = -0.0;  // adding a zero amount would turn this into +0.0
  const std::vector<double> before = v;
  CHECK((changepoints(v, 5, 1, {0.4}, "Level", {5.0}) == std::vector<int64_t>{20}));
  CHECK(changepoints(v, 5, 0, {0.4}, "level", {5.0}).empty());
  CHECK(changepoints(v, 5, -3, {0.4}, "level", {5.0}).empty());
  CHECK(same_bits(v, before));
}

TEST_CASE("changepoints: an empty series reports every position as 0") {
  std::vector<double> v;
  CHECK((changepoints(v, 2, 3, {}, "mixed") == std::vector<int64_t>{0, 0, 0}));
}

TEST_CASE("changepoints: mixed adds a step and a ramp starting at 0") {
  std::vector<double> v(5, 0.0);
  changepoints(v, 1, 1, {0.2}, "mixed", {1.0}, {0.5}, {1.0});
  CHECK((v == std::vector<double>{0.0, 1.0, 1.5, 2.0, 2.5}));
}

TEST_CASE("changepoints: amounts drawn list by list after the fractions") {
  std::vector<double> v(50, 0.0);
  const std::vector<int64_t> p = changepoints(v, 31, 2, {}, "mixed", {}, {}, {1.0, 1.0});
  RandomStream ref(31);
  double f[2] = {ref.sample_uniform(0.1, 0.9), ref.sample_uniform(0.1, 0.9)};
  std::sort(f, f + 2);
  const double l0 = ref.sample_uniform(-20, 20), l1 = ref.sample_uniform(-20, 20);
  const double t0 = ref.sample_uniform(-0.5, 0.5), t1 = ref.sample_uniform(-0.5, 0.5);
  const int64_t p0 = static_cast<int64_t>(f[0] * 50.0), p1 = static_cast<int64_t>(f[1] * 50.0);
  CHECK((p == std::vector<int64_t>{p0, p1}));
  for (int64_t t = 0; t < 50; ++t) {
    double x = 0.0;
    if (t >= p0) x = (x + l0) + static_cast<double>(t - p0) * t0;
    if (t >= p1) x = (x + l1) + static_cast<double>(t - p1) * t1;
    CHECK_EQ(v[static_cast<std::size_t>(t)], x);
  }
}

TEST_CASE("changepoints: variance rescales around a trailing mean of rescaled values") {
  // t=1: mean (1+3)/2 = 2 -> 4; t=2: mean (1+4+5)/3 -> (5 - 10/3) * 2 + 10/3.
  std::vector<double> v{1.0, 3.0, 5.0};
  changepoints(v, 1, 1, {0.0}, "variance", {}, {}, {2.0});
  CHECK((v == std::vector<double>{1.0, 4.0, (5.0 - 10.0 / 3.0) * 2.0 + 10.0 / 3.0}));

  // The window holds 11 points: mean (10 * 0 + 11) / 11 = 1 -> (11 - 1) * 2 + 1.
  std::vector<double> w(14, 0.0);
  w[13] = 11.0;
  changepoints(w, 1, 1, {13.0 / 14.0}, "variance", {}, {}, {2.0});
  CHECK_EQ(w[13], 21.0);
}

TEST_CASE("pattern steps: one seed gives bit-identical results") {
  const std::vector<std::string> kinds{"spike", "dip", "level_shift", "other"};
  std::vector<double> a = ramp(300), b = ramp(300);
  for (std::vector<double>* v : {&a, &b}) {
    changepoints(*v, 101, 4, {}, "mixed");
    inject_anomalies(*v, 202, kinds, 0.1, 4.0, -4.0, 2.0, 7);
    inject_missingness(*v, 303, "seasonal", 0.2, 1, 24);
  }
  CHECK(same_bits(a, b));
  std::vector<double> c = ramp(300);
  changepoints(c, 102, 4, {}, "mixed");
  CHECK(!same_bits(c, ramp(300)));
}

// ---------------------------------------------------------------- refusals

TEST_CASE("refusals of negative counts, only for enabled steps") {
  using tidemark::Status;
  auto message = [](const Status& s) { return s ? s->message : std::string("ok"); };
  CHECK(message(tidemark::check_changepoint_params(-1)) == "num_changepoints must be >= 0");
  CHECK(message(tidemark::check_changepoint_params(0)) == "ok");
  CHECK(message(tidemark::check_anomaly_params(-0.1, -1)) == "anomaly_fraction must be >= 0");
  CHECK(message(tidemark::check_anomaly_params(0.1, -1)) == "level_shift_duration must be >= 0");
  CHECK(message(tidemark::check_anomaly_params(kNaN, 0)) == "ok");

  tidemark::PatternConfig config;
  config.num_changepoints = -2;
  config.anomaly_fraction = -1.0;
  CHECK(message(tidemark::check_pattern_config(config)) == "ok");
  config.anomalies = true;
  CHECK(message(tidemark::check_pattern_config(config)) == "anomaly_fraction must be >= 0");
  config.changepoints = true;
  CHECK(message(tidemark::check_pattern_config(config)) == "num_changepoints must be >= 0");
}
