#include "batch/batch.hpp"

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "batch/parallel.hpp"
#include "batch/worker_pool.hpp"
#include "core/internal_failure.hpp"
#include "generators/statistical/statistical.hpp"
#include "testing.hpp"

using namespace tidemark;

#define CHECK_TEXT(got, want)                                                        \
  do {                                                                               \
    const std::string tm_got = (got), tm_want = (want);                              \
    if (tm_got != tm_want)                                                           \
      testing::report(__FILE__, __LINE__, "got \"" + tm_got + "\", want \"" + tm_want + "\""); \
  } while (0)

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string message_of(const LoopFailure& f) {
  return std::visit([](const auto& e) { return e.message; }, f);
}

std::string message_of(const Status& s) { return s ? s->message : std::string("<ok>"); }

// The failure of a batch run, or "<ok>" when it produced results.
std::string failure_of(const std::variant<BatchResult, LoopFailure>& r) {
  const auto* f = std::get_if<LoopFailure>(&r);
  return f ? message_of(*f) : std::string("<ok>");
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool same_series(const SeriesOutput& a, const SeriesOutput& b) {
  return same_bits(a.values, b.values) && a.cp_indices == b.cp_indices &&
         a.anom_indices == b.anom_indices && a.miss_indices == b.miss_indices;
}

PatternConfig all_patterns_on() {
  PatternConfig c;
  c.changepoints = true;
  c.num_changepoints = 2;
  c.changepoint_type = "mixed";
  c.anomalies = true;
  c.anomaly_types = {"spike", "dip", "level_shift"};
  c.anomaly_fraction = 0.05;
  c.spike_magnitude = 4.0;
  c.dip_magnitude = -4.0;
  c.level_shift_magnitude = 2.0;
  c.level_shift_duration = 5;
  c.missing_data = true;
  c.missing_pattern = "block";
  c.missing_rate = 0.1;
  c.missing_block_size = 3;
  return c;
}

BatchSpec make_spec(GenType type, std::vector<double> scalars, std::size_t n_series,
                    uint64_t seed_base) {
  BatchSpec s;
  s.gen_type = type;
  s.scalar_params = std::move(scalars);
  for (std::size_t i = 0; i < n_series; ++i) {
    s.lengths.push_back(static_cast<int32_t>(i % 7 == 3 ? 0 : 20 + 13 * (i % 11)));
    s.gen_seeds.push_back(seed_base + i);
    for (uint64_t k = 0; k < 3; ++k) s.pi_seeds.push_back(seed_base * 10 + 3 * i + k);
  }
  s.pattern = all_patterns_on();
  return s;
}

std::vector<BatchSpec> walk_and_seasonal(std::size_t n_each) {
  std::vector<BatchSpec> specs;
  specs.push_back(make_spec(0, {0.1, 1.5, 10.0, 0, 0.0}, n_each, 1000));
  specs.push_back(make_spec(1, {12, 3.0, 0.05, 0.5, 100.0, 2, 0.0}, n_each, 2000));
  return specs;
}

// The series a batch must produce at (spec, i), computed on its own.
SeriesOutput standalone(const BatchSpec& s, std::size_t i) {
  SeriesOutput out;
  out.values.assign(static_cast<std::size_t>(s.lengths[i]), 0.0);
  CHECK(!generate_series(s.gen_type, s.scalar_params, s.array_params, s.gen_seeds[i],
                         out.values));
  apply_patterns(out, s.pattern, s.pi_seeds[3 * i], s.pi_seeds[3 * i + 1],
                 s.pi_seeds[3 * i + 2]);
  return out;
}

}  // namespace

TEST_CASE("pool cache reuses one size and rebuilds on a different one") {
  std::string error;
  auto three = acquire_pool(3, error);
  CHECK(three != nullptr);
  CHECK_EQ(three->size(), std::size_t{3});
  CHECK(acquire_pool(3, error) == three);
  auto two = acquire_pool(2, error);
  CHECK(two != nullptr && two != three);
  CHECK_EQ(two->size(), std::size_t{2});
  auto three_again = acquire_pool(3, error);
  CHECK(three_again != nullptr && three_again != three && three_again != two);
  // The replaced pool still runs loops for whoever holds it.
  std::atomic<int> ran{0};
  three->run(100, [&](std::size_t) { ran.fetch_add(1); });
  CHECK_EQ(ran.load(), 100);
}

TEST_CASE("default pool is shared and sized to the processors") {
  std::string error;
  auto a = acquire_pool(0, error);
  CHECK(a != nullptr);
  CHECK(a == acquire_pool(0, error));
  CHECK(a->size() >= 1);
}

TEST_CASE("n_workers above the cap is refused with the pool text") {
  std::string error;
  CHECK(acquire_pool(5000, error) == nullptr);
  CHECK_TEXT(error, "n_workers 5000 exceeds the limit of 1024");
  auto f = parallel_for(1025, 1, [](std::size_t) { return Status{}; });
  CHECK(f && std::holds_alternative<PoolError>(*f));
  CHECK_TEXT(message_of(*f), "n_workers 1025 exceeds the limit of 1024");
  // A refused size leaves the cached pool in place.
  auto cached = acquire_pool(2, error);
  CHECK(acquire_pool(5000, error) == nullptr);
  CHECK(acquire_pool(2, error) == cached);
}

TEST_CASE("concurrent runs on one pool each complete every item once") {
  WorkerPool pool(3);
  constexpr std::size_t kCallers = 6, kItems = 5000;
  std::vector<std::vector<std::atomic<int>>> hits(kCallers);
  for (auto& h : hits) h = std::vector<std::atomic<int>>(kItems);
  std::vector<std::thread> callers;
  for (std::size_t c = 0; c < kCallers; ++c) {
    callers.emplace_back([&, c] {
      for (int round = 0; round < 5; ++round) {
        pool.run(kItems, [&](std::size_t i) { hits[c][i].fetch_add(1); });
      }
    });
  }
  for (auto& t : callers) t.join();
  for (auto& h : hits) {
    for (auto& x : h) CHECK_EQ(x.load(), 5);
  }
}

TEST_CASE("a loop started inside an item of the same pool completes") {
  // With one worker busy in the outer item, the inner loop can only make
  // progress if the waiting worker takes part in it.
  WorkerPool pool(1);
  std::atomic<int> inner{0};
  pool.run(3, [&](std::size_t) {
    pool.run(10, [&](std::size_t) { inner.fetch_add(1); });
  });
  CHECK_EQ(inner.load(), 30);
}

TEST_CASE("parallel_for keeps the first failure and stops the loop") {
  // One worker claims items in order, so the items after the failing one
  // are exactly the ones skipped.
  std::atomic<int> ran{0};
  auto f = parallel_for(1, 1000, [&](std::size_t i) -> Status {
    ran.fetch_add(1);
    if (i == 5) return param_error("first");
    if (i == 6) return param_error("second");
    return std::nullopt;
  });
  CHECK(f && std::holds_alternative<ParamError>(*f));
  CHECK_TEXT(message_of(*f), "first");
  CHECK_EQ(ran.load(), 6);

  auto internal = parallel_for(4, 100, [](std::size_t i) -> Status {
    if (i == 42) internal_failure("sampler refused");
    return std::nullopt;
  });
  CHECK(internal && std::holds_alternative<InternalError>(*internal));
  CHECK_TEXT(message_of(*internal), "sampler refused");

  auto oom = parallel_for(2, 10, [](std::size_t i) -> Status {
    if (i == 3) throw std::bad_alloc();
    return std::nullopt;
  });
  CHECK(oom && std::holds_alternative<ParamError>(*oom));
  CHECK_TEXT(message_of(*oom), "could not allocate memory for the series");
}

TEST_CASE("parallel_for runs every item once, and nothing for n == 0") {
  std::vector<int> hits(10000, 0);
  CHECK(!parallel_for(8, hits.size(), [&](std::size_t i) {
    ++hits[i];
    return Status{};
  }));
  bool all_once = true;
  for (int h : hits) all_once = all_once && h == 1;
  CHECK(all_once);
  bool called = false;
  // No pool is needed, so not even an impossible size is reported.
  CHECK(!parallel_for(5000, 0, [&](std::size_t) {
    called = true;
    return Status{};
  }));
  CHECK(!called);
}

TEST_CASE("generate_series count and type messages") {
  std::vector<double> out(4);
  const std::vector<double> many(20, 0.5);
  const std::vector<std::vector<double>> one_array(1);
  auto run = [&](GenType t, std::size_t n_scalars, std::size_t n_arrays) {
    return message_of(generate_series(t, std::span(many).first(n_scalars),
                                      std::span(one_array).first(n_arrays), 1, out));
  };
  CHECK_TEXT(run(17, 20, 1), "unknown generator type: 17");
  CHECK_TEXT(run(-1, 20, 1), "unknown generator type: -1");
  CHECK_TEXT(run(0, 4, 0), "random_walk: expected >= 5 scalar params, got 4");
  CHECK_TEXT(run(1, 6, 0), "seasonal: expected >= 7 scalar params, got 6");
  CHECK_TEXT(run(3, 13, 1), "ets: expected >= 14 scalar params, got 13");
  CHECK_TEXT(run(3, 14, 0), "ets: expected >= 1 array params, got 0");
  CHECK_TEXT(run(4, 3, 1), "inar: expected >= 4 scalar params, got 3");
  CHECK_TEXT(run(4, 4, 0), "inar: expected >= 1 array params, got 0");
  // Scalars are checked first.
  CHECK_TEXT(run(2, 8, 0), "sarima: expected >= 9 scalar params, got 8");
  const std::vector<std::vector<double>> two_arrays(2);
  CHECK_TEXT(message_of(generate_series(2, std::span(many).first(9),
                                      std::span(two_arrays).first(1), 1, out)),
           "sarima: expected >= 2 array params, got 1");
}

TEST_CASE("batch rows map their slots onto the generators") {
  constexpr uint64_t kSeed = 99;
  auto batch = [&](GenType t, std::vector<double> s, std::vector<std::vector<double>> a) {
    std::vector<double> out(60, 0.0);
    CHECK(!generate_series(t, s, a, kSeed, out));
    return out;
  };
  auto direct = [](auto generator, const auto& params) {
    std::vector<double> out(60, 0.0);
    CHECK(!generator(params, kSeed, out));
    return out;
  };

  RandomWalkParams rw{0.25, 1.5, -3.0, {1, 5.0}};
  CHECK(same_bits(batch(0, {0.25, 1.5, -3.0, 1.9, 5.0, 777.0}, {}),
                  direct(generate_random_walk, rw)));

  SeasonalParams se{12, 3.0, 0.02, 0.4, 50.0, {4, 2.0}};
  CHECK(same_bits(batch(1, {12.9, 3.0, 0.02, 0.4, 50.0, 4.0, 2.0}, {}),
                  direct(generate_seasonal, se)));

  const std::vector<double> ar{0.5, -0.2}, ma{0.3};
  SarimaParams sa;
  sa.ar = ar;
  sa.ma = ma;
  sa.d = 1;
  sa.seasonal_d = 1;
  sa.seasonal_period = 12;
  sa.mean = 7.0;
  sa.drift = 0.1;
  sa.noise_std = 0.8;
  sa.burn_in = 5;
  sa.innov = {2, 0.0};
  CHECK(same_bits(batch(2, {1, 1, 12.7, 7.0, 0.1, 0.8, 5, 2, 0.0}, {ar, ma}),
                  direct(generate_sarima, sa)));

  const std::vector<double> init{1.1, 0.9, 1.0, 1.05};
  EtsParams et;
  et.error_type = 0;
  et.trend_type = 1;
  et.seasonal_type = 2;
  et.seasonal_period = 4;
  et.level = 10.0;
  et.trend_init = 0.5;
  et.seasonal_init = init;
  et.alpha = 0.3;
  et.beta = 0.1;
  et.gamma = 0.2;
  et.phi = 0.5;
  et.damped = true;
  et.noise_std = 0.2;
  et.innov = {3, 0.0};
  // Slot 10 is NaN: a NaN flag counts as set.
  CHECK(same_bits(batch(3, {0, 1, 2, 4, 10.0, 0.5, 0.3, 0.1, 0.2, 0.5, kNaN, 0.2, 3, 0.0},
                        {init}),
                  direct(generate_ets, et)));

  const std::vector<double> alpha{0.3, 0.2};
  InarParams in;
  in.p = 2;
  in.alpha = alpha;
  in.innov_type = 1;
  in.innov_mean = 3.0;
  in.innov_dispersion = 2.0;
  CHECK(same_bits(batch(4, {2.5, 1, 3.0, 2.0}, {alpha}), direct(generate_inar, in)));
}

TEST_CASE("apply_patterns runs only the enabled steps, each on its own seed") {
  std::vector<double> base(50);
  for (std::size_t i = 0; i < base.size(); ++i) base[i] = static_cast<double>(i);
  SeriesOutput none{base, {}, {}, {}};
  apply_patterns(none, PatternConfig{}, 1, 2, 3);
  CHECK(same_bits(none.values, base));
  CHECK(none.cp_indices.empty() && none.anom_indices.empty() && none.miss_indices.empty());

  const PatternConfig c = all_patterns_on();
  SeriesOutput all{base, {}, {}, {}};
  apply_patterns(all, c, 11, 22, 33);
  std::vector<double> manual = base;
  auto cp = inject_changepoints(manual, 11, c.num_changepoints, {}, c.changepoint_type, {},
                                {}, {});
  auto an = inject_anomalies(manual, 22, c.anomaly_types, c.anomaly_fraction,
                             c.spike_magnitude, c.dip_magnitude, c.level_shift_magnitude,
                             c.level_shift_duration);
  auto mi = inject_missingness(manual, 33, c.missing_pattern, c.missing_rate,
                               c.missing_block_size, c.missing_seasonal_period);
  CHECK(same_bits(all.values, manual));
  CHECK(all.cp_indices == cp && all.anom_indices == an && all.miss_indices == mi);
  CHECK(!all.cp_indices.empty() && !all.anom_indices.empty() && !all.miss_indices.empty());
}

TEST_CASE("multi-batch output is independent of n_workers and in series order") {
  const auto specs = walk_and_seasonal(40);
  auto reference = run_batches(specs, 1, false);
  const auto* ref = std::get_if<BatchResult>(&reference);
  CHECK(ref != nullptr);
  if (!ref) return;
  CHECK_EQ(ref->size(), std::size_t{2});
  for (std::size_t j = 0; j < specs.size(); ++j) {
    CHECK_EQ((*ref)[j].size(), std::size_t{40});
    for (std::size_t i = 0; i < (*ref)[j].size(); ++i) {
      CHECK(same_series((*ref)[j][i], standalone(specs[j], i)));
    }
  }
  for (std::size_t n_workers : {0, 2, 8}) {
    auto other = run_batches(specs, n_workers, false);
    const auto* got = std::get_if<BatchResult>(&other);
    CHECK(got != nullptr && got->size() == ref->size());
    if (!got) continue;
    for (std::size_t j = 0; j < ref->size(); ++j) {
      for (std::size_t i = 0; i < (*ref)[j].size(); ++i) {
        CHECK(same_series((*got)[j][i], (*ref)[j][i]));
      }
    }
  }
}

TEST_CASE("a zero-length series is empty and its changepoints sit at 0") {
  BatchSpec s = make_spec(0, {0.1, 1.0, 0.0, 0, 0.0}, 1, 5);
  s.lengths = {0};
  auto r = run_batches(std::span(&s, 1), 2, true);
  const auto* got = std::get_if<BatchResult>(&r);
  CHECK(got != nullptr);
  if (!got) return;
  const SeriesOutput& out = (*got)[0][0];
  CHECK(out.values.empty());
  CHECK(out.cp_indices == std::vector<int64_t>({0, 0}));
  CHECK(out.anom_indices.empty() && out.miss_indices.empty());
}

TEST_CASE("batches refuse malformed specs before generating") {
  auto specs = walk_and_seasonal(2);
  specs[1].lengths[1] = -4;
  CHECK_TEXT(failure_of(run_batches(specs, 2, false)), "lengths[1] must be >= 0");

  specs = walk_and_seasonal(2);
  specs[1].gen_seeds.pop_back();
  CHECK_TEXT(failure_of(run_batches(specs, 2, false)),
           "gen_seeds length 1 < 2 (n_series)");

  specs = walk_and_seasonal(2);
  specs[0].pi_seeds.pop_back();
  CHECK_TEXT(failure_of(run_batches(specs, 2, false)),
           "pi_seeds length 5 < 6 (n_series \xc3\x97 3)");
  CHECK_TEXT(failure_of(run_batches(std::span(specs).first(1), 2, true)),
           "pi_seeds length 5 < 6 (n_series \xc3\x97 3)");

  specs = walk_and_seasonal(2);
  specs[1].pattern.num_changepoints = -1;
  CHECK_TEXT(failure_of(run_batches(specs, 2, false)),
           message_of(check_pattern_config(specs[1].pattern)));
  CHECK(!message_of(check_pattern_config(specs[1].pattern)).empty());
}

TEST_CASE("single group yields as many series as it has generator seeds") {
  auto specs = walk_and_seasonal(5);
  specs[0].gen_seeds.resize(3);
  auto r = run_batches(std::span(specs).first(1), 0, true);
  const auto* got = std::get_if<BatchResult>(&r);
  CHECK(got != nullptr && (*got)[0].size() == 3);
  if (got) CHECK(same_series((*got)[0][2], standalone(specs[0], 2)));
}

TEST_CASE("series failures end the batch with the series' error") {
  auto specs = walk_and_seasonal(3);
  specs[1].gen_type = 17;
  CHECK_TEXT(failure_of(run_batches(specs, 2, false)), "unknown generator type: 17");

  specs = walk_and_seasonal(3);
  specs[0].scalar_params = {0.0, 1.0, 0.0, 1, 2.0};  // Student t with df 2
  auto r = run_batches(specs, 2, false);
  const auto* f = std::get_if<LoopFailure>(&r);
  CHECK(f && std::holds_alternative<InternalError>(*f));
  if (f) {
    CHECK(message_of(*f).rfind("Student's t df must be > 2", 0) == 0);
  }
}

TEST_CASE("batches without series return empty results and need no pool") {
  std::vector<BatchSpec> none;
  auto r = run_batches(none, 5000, false);
  CHECK(std::holds_alternative<BatchResult>(r) && std::get<BatchResult>(r).empty());

  // Nothing is checked for a spec without series: not the type, not the seeds.
  BatchSpec empty;
  empty.gen_type = 23;
  empty.pattern.changepoints = true;
  empty.pattern.num_changepoints = -3;
  std::vector<BatchSpec> specs = {empty, empty};
  auto two = run_batches(specs, 5000, false);
  const auto* got = std::get_if<BatchResult>(&two);
  CHECK(got != nullptr && got->size() == 2 && (*got)[0].empty() && (*got)[1].empty());
}

TEST_CASE("parallel_for_ordered delivers every item once, in order, while it runs") {
  for (std::size_t workers : {1u, 3u}) {
    std::vector<int> produced(5000, 0);
    std::size_t next = 0;
    bool in_order = true;
    int rounds = 0;
    auto f = parallel_for_ordered(workers, produced.size(), [&](std::size_t i) -> Status {
      produced[i] = static_cast<int>(i) + 1;
      return std::nullopt;
    }, [&](std::size_t begin, std::size_t end) {
      ++rounds;
      in_order = in_order && begin == next && end >= begin;
      for (std::size_t i = begin; i < end; ++i) in_order = in_order && produced[i] == int(i) + 1;
      next = end;
      return true;
    });
    CHECK(!f);
    CHECK(in_order);
    CHECK_EQ(next, produced.size());
    CHECK(rounds >= 1);
  }
}

TEST_CASE("parallel_for_ordered stops when deliver says so, and an item failure wins") {
  std::atomic<int> ran{0};
  auto stopped = parallel_for_ordered(1, 100000, [&](std::size_t) -> Status {
    ran.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::microseconds(20));
    return std::nullopt;
  }, [](std::size_t, std::size_t end) { return end < 10; });
  CHECK(stopped && std::holds_alternative<Interrupted>(*stopped));
  CHECK(ran.load() < 100000);

  bool delivered_after_failure = false;
  auto failed = parallel_for_ordered(1, 1000, [](std::size_t i) -> Status {
    return i == 3 ? param_error("bad item") : std::nullopt;
  }, [&](std::size_t, std::size_t end) {
    delivered_after_failure = delivered_after_failure || end > 3;
    return false;
  });
  CHECK(failed && std::holds_alternative<ParamError>(*failed));
  CHECK(!delivered_after_failure);
}
