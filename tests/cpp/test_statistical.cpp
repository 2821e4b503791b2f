#include "generators/statistical/statistical.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "rng/innovations.hpp"
#include "rng/samplers.hpp"
#include "testing.hpp"

using namespace tidemark;

namespace {

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// The ParamError text, or "" when the call succeeded.
std::string refusal(const Status& status) { return status ? status->message : std::string(); }

template <class Params, class Fn>
std::vector<double> run(Fn generate, const Params& p, uint64_t seed, std::size_t length) {
  std::vector<double> out(length, -99.0);
  const Status status = generate(p, seed, out);
  if (status) testing::report(__FILE__, __LINE__, "unexpected refusal: " + status->message);
  return out;
}

std::vector<double> shocks(uint64_t seed, const InnovationSpec& spec, double scale, std::size_t n) {
  RandomStream stream(seed);
  std::vector<double> e(n);
  fill_innovations(stream, spec, scale, e);
  return e;
}

const InnovationSpec kSpecs[] = {{0, 0.0}, {1, 5.0}, {2, 0.0}, {3, 0.0}, {4, 3.0}};

}  // namespace

// ---------------------------------------------------------------- random walk

TEST_CASE("random_walk adds (shock + drift) to the level, one shock per step") {
  for (const InnovationSpec& spec : kSpecs) {
    RandomWalkParams p{0.25, 1.5, 10.0, spec};
    const std::vector<double> out = run(generate_random_walk, p, 42, 300);
    RandomStream ref(42);
    std::vector<double> expected;
    double x = 10.0;
    for (int i = 0; i < 300; ++i) {
      x = x + (draw_innovation(ref, spec, 1.5) + 0.25);
      expected.push_back(x);
    }
    CHECK(same_bits(out, expected));
  }
}

TEST_CASE("random_walk with volatility 0 is a straight line of drift steps") {
  RandomWalkParams p{0.1, 0.0, 3.0, {}};
  const std::vector<double> out = run(generate_random_walk, p, 7, 1000);
  for (std::size_t i = 0; i < out.size(); ++i) {
    CHECK_NEAR(out[i], 3.0 + static_cast<double>(i + 1) * 0.1, 1e-9);
  }
}

TEST_CASE("random_walk failures come from the first shock only") {
  RandomWalkParams student{0.0, 1.0, 0.0, {1, 2.0}};
  std::vector<double> out(5);
  CHECK_FAILS_WITH(generate_random_walk(student, 1, out),
                   "Student's t df must be > 2 for finite variance");
  RandomWalkParams nan_scale{0.0, NAN, 0.0, {}};
  CHECK_FAILS_WITH(generate_random_walk(nan_scale, 1, out),
                   "invalid normal params: std must be finite and >= 0");
  std::vector<double> empty;
  CHECK(!generate_random_walk(student, 1, empty));
}

// ------------------------------------------------------------------- seasonal

TEST_CASE("seasonal with noise 0 is the exact deterministic curve") {
  SeasonalParams p{12, 2.5, 0.03, 0.0, 100.0, {}};
  const std::vector<double> out = run(generate_seasonal, p, 3, 500);
  const double omega = 6.283185307179586 / 12.0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(i);
    CHECK_EQ(out[i], ((2.5 * std::sin(omega * t) + 100.0) + 0.03 * t) + 0.0);
  }
}

TEST_CASE("seasonal adds one shock per value in index order") {
  for (const InnovationSpec& spec : kSpecs) {
    SeasonalParams p{7, 1.0, -0.5, 0.8, 4.0, spec};
    const std::vector<double> out = run(generate_seasonal, p, 99, 200);
    RandomStream ref(99);
    const double omega = 6.283185307179586 / 7.0;
    bool all_equal = true;
    for (std::size_t i = 0; i < out.size(); ++i) {
      const double t = static_cast<double>(i);
      const double e = draw_innovation(ref, spec, 0.8);
      all_equal = all_equal && out[i] == ((1.0 * std::sin(omega * t) + 4.0) + -0.5 * t) + e;
    }
    CHECK(all_equal);
  }
}

TEST_CASE("seasonal with period 0 (batch rows) gives NaN values") {
  SeasonalParams p{0, 1.0, 0.0, 1.0, 0.0, {}};
  const std::vector<double> out = run(generate_seasonal, p, 5, 4);
  for (double v : out) CHECK(std::isnan(v));
}

// --------------------------------------------------------------------- SARIMA

namespace {

SarimaParams sarima_params(int32_t d, int32_t seasonal_d, int32_t s, int32_t burn_in) {
  SarimaParams p;
  p.d = d;
  p.seasonal_d = seasonal_d;
  p.seasonal_period = s;
  p.burn_in = burn_in;
  p.mean = 1000.0;
  p.drift = 0.5;
  p.noise_std = 1.3;
  return p;
}

}  // namespace

TEST_CASE("sarima without polynomials or integration is white noise around mean") {
  const SarimaParams p = sarima_params(0, 0, 0, 5);
  const std::vector<double> out = run(generate_sarima, p, 11, 50);
  const std::vector<double> e = shocks(11, p.innov, 1.3, 55);
  for (std::size_t t = 0; t < out.size(); ++t) CHECK_EQ(out[t], e[5 + t] + 1000.0);
}

TEST_CASE("sarima with d = 1 is the drifted running sum minus its first term") {
  const SarimaParams p = sarima_params(1, 0, 0, 0);
  const std::vector<double> out = run(generate_sarima, p, 12, 40);
  const std::vector<double> e = shocks(12, p.innov, 1.3, 41);
  double sum = e[0] + 0.5;
  for (std::size_t i = 0; i < out.size(); ++i) {
    sum = sum + (e[i + 1] + 0.5);
    CHECK_EQ(out[i], sum);
  }
}

TEST_CASE("sarima seasonal integration uses drift, ignores mean, discards s + burn_in") {
  const SarimaParams p = sarima_params(0, 1, 12, 3);
  const std::vector<double> out = run(generate_sarima, p, 13, 30);
  std::vector<double> y = shocks(13, p.innov, 1.3, 45);
  for (double& v : y) v = v + 0.5;
  for (std::size_t t = 12; t < y.size(); ++t) y[t] = y[t - 12] + y[t];
  CHECK(same_bits(out, std::vector<double>(y.begin() + 15, y.end())));
}

TEST_CASE("sarima AR [1.0] is a random walk with the mean added after filtering") {
  SarimaParams p = sarima_params(0, 0, 0, 2);
  const double ar[] = {1.0};
  p.ar = ar;
  const std::vector<double> out = run(generate_sarima, p, 14, 25);
  const std::vector<double> e = shocks(14, p.innov, 1.3, 27);
  double walk = e[0];
  for (std::size_t t = 1; t < e.size(); ++t) {
    walk = e[t] + 1.0 * walk;
    if (t >= 2) CHECK_EQ(out[t - 2], walk + 1000.0);
  }
}

TEST_CASE("sarima filters match the direct MA-then-AR recurrences bit for bit") {
  const double ar[] = {0.5, -0.2, 0.1};
  const double ma[] = {0.3, 0.1, 0.05, -0.4};
  for (const InnovationSpec& spec : kSpecs) {
    SarimaParams p = sarima_params(1, 1, 4, 6);
    p.ar = ar;
    p.ma = ma;
    p.innov = spec;
    const std::vector<double> out = run(generate_sarima, p, 15, 60);
    const std::size_t n = 4 + 1 + 60 + 6;
    const std::vector<double> e = shocks(15, spec, 1.3, n);
    std::vector<double> w(n), y(n);
    for (std::size_t t = 0; t < n; ++t) {
      w[t] = e[t];
      for (std::size_t j = 1; j <= 4; ++j) if (t >= j) w[t] = w[t] + ma[j - 1] * e[t - j];
    }
    for (std::size_t t = 0; t < n; ++t) {
      y[t] = w[t];
      for (std::size_t i = 1; i <= 3; ++i) if (t >= i) y[t] = y[t] + ar[i - 1] * y[t - i];
    }
    for (double& v : y) v = v + 0.5;
    for (std::size_t t = 1; t < n; ++t) y[t] = y[t - 1] + y[t];
    for (std::size_t t = 4; t < n; ++t) y[t] = y[t - 4] + y[t];
    CHECK(same_bits(out, std::vector<double>(y.begin() + 11, y.end())));
  }
}

// The literal MA-then-AR recurrences with every lag added in order, zero
// coefficients included.
std::vector<double> literal_arma(const std::vector<double>& e, std::span<const double> ar,
                                 std::span<const double> ma) {
  const std::size_t n = e.size();
  std::vector<double> w(n), y(n);
  for (std::size_t t = 0; t < n; ++t) {
    w[t] = e[t];
    for (std::size_t j = 1; j <= ma.size(); ++j) if (t >= j) w[t] = w[t] + ma[j - 1] * e[t - j];
  }
  for (std::size_t t = 0; t < n; ++t) {
    y[t] = w[t];
    for (std::size_t i = 1; i <= ar.size(); ++i) if (t >= i) y[t] = y[t] + ar[i - 1] * y[t - i];
  }
  return y;
}

TEST_CASE("sarima skips zero AR terms only where that keeps every bit") {
  const std::vector<double> sparse = {0.5, 0.0, 0.0, 0.2, 0.0, -0.0, 0.1};
  const std::vector<double> explosive = {0.0, 0.0, 1e10, 0.0, 1.5};  // overflows, then NaN
  const std::vector<double> lag_two = {0.0, -1.0};  // -1 * +0.0 keeps -0.0 terms alive
  const double ma[] = {0.3};
  struct Case {
    const std::vector<double>* ar;
    InnovationSpec spec;
    double noise_std;  // -0.0 with skew-normal shocks mixes +0.0 and -0.0 inputs
  };
  const Case cases[] = {{&sparse, {0, 0.0}, 1.3}, {&explosive, {0, 0.0}, 1.3},
                        {&lag_two, {4, 3.0}, -0.0}, {&sparse, {4, 3.0}, -0.0}};
  for (const Case& c : cases) {
    SarimaParams p = sarima_params(0, 0, 0, 0);
    p.ar = *c.ar;
    p.ma = ma;
    p.innov = c.spec;
    p.noise_std = c.noise_std;
    p.mean = -0.0;  // keeps the signs of zeros visible in the output
    const std::vector<double> out = run(generate_sarima, p, 21, 700);
    std::vector<double> y = literal_arma(shocks(21, c.spec, c.noise_std, 700), *c.ar, ma);
    for (double& v : y) v = v + -0.0;
    CHECK(same_bits(out, y));
  }
}

TEST_CASE("sarima length 0 still draws the working prefix and checks the innovations") {
  std::vector<double> empty;
  SarimaParams p = sarima_params(1, 1, 7, 2);
  CHECK(!generate_sarima(p, 1, empty));
  p = sarima_params(0, 0, 0, 0);
  p.innov = {1, 1.5};
  CHECK_FAILS_WITH(generate_sarima(p, 1, empty), "Student's t df must be > 2 for finite variance");
}

TEST_CASE("sarima innovation failures surface before any filtering") {
  std::vector<double> out(10);
  SarimaParams p = sarima_params(0, 0, 0, 0);
  p.noise_std = 0.0;
  p.innov = {3, 0.0};
  CHECK_FAILS_WITH(generate_sarima(p, 1, out),
                   "invalid uniform innovation param: scale must be > 0");
  p.noise_std = INFINITY;
  p.innov = {0, 0.0};
  CHECK_FAILS_WITH(generate_sarima(p, 1, out),
                   "invalid normal innovation param: scale must be finite and >= 0");
}

TEST_CASE("sarima stops integrating once a pass changes nothing") {
  // With s = 0 every seasonal pass doubles the buffer: after about a
  // thousand passes all values are infinite and further passes are no-ops,
  // so an order of INT32_MAX (a batch slot of 1e300) must give the same
  // bits as 3000 passes, and quickly.
  SarimaParams p = sarima_params(0, 3000, 0, 0);
  const std::vector<double> few = run(generate_sarima, p, 17, 50);
  p.seasonal_d = std::numeric_limits<int32_t>::max();
  const std::vector<double> huge = run(generate_sarima, p, 17, 50);
  CHECK(same_bits(few, huge));
  for (double v : huge) CHECK(std::isinf(v));
}

TEST_CASE("sarima refuses negative orders and oversized working lengths before drawing") {
  struct Case {
    int32_t d, seasonal_d, s, burn_in;
    const char* message;
  };
  const Case cases[] = {
      {-1, 0, 0, 0, "d must be >= 0"},
      {0, -1, 12, 0, "seasonal_d must be >= 0"},
      {0, 1, -12, 0, "seasonal_period must be >= 0"},
      {0, 0, 0, -5, "burn_in must be >= 0"},
      {0, 1, kInt32Max, 0, "working length exceeds the 32-bit range"},
      {0, 0, 0, kInt32Max, "working length exceeds the 32-bit range"},
      {kInt32Max, kInt32Max, kInt32Max, kInt32Max, "working length exceeds the 32-bit range"},
  };
  std::vector<double> out(1);
  for (const Case& c : cases) {
    SarimaParams p = sarima_params(c.d, c.seasonal_d, c.s, c.burn_in);
    p.innov = {1, 0.0};  // would fail if anything were drawn
    CHECK(refusal(generate_sarima(p, 1, out)) == c.message);
  }
}

// ------------------------------------------------------------------------ ETS

namespace {

EtsParams ets_params(int32_t error, int32_t trend, int32_t seasonal, int32_t period) {
  EtsParams p;
  p.error_type = error;
  p.trend_type = trend;
  p.seasonal_type = seasonal;
  p.seasonal_period = period;
  p.level = 10.0;
  p.trend_init = 2.0;
  p.alpha = 0.3;
  return p;
}

}  // namespace

TEST_CASE("ets with zero noise follows its closed forms") {
  // Level only: every value is the level.  Additive trend, undamped even
  // when phi says 0.5: 12, 14, 16 ...  Trend 1 with seasonal 5: the
  // forecast is the level alone while the trend still moves it: 10, 12 ...
  struct Case {
    int32_t trend, seasonal;
    bool damped;
    double first, step;
  };
  const Case cases[] = {{0, 0, false, 10.0, 0.0},
                        {1, 0, false, 12.0, 2.0},
                        {1, 5, false, 10.0, 2.0},
                        {0, 2, false, 10.0, 0.0},  // empty init: factors 1.0
                        {0, 1, false, 10.0, 0.0}};  // empty init: offsets 0.0
  for (const Case& c : cases) {
    EtsParams p = ets_params(0, c.trend, c.seasonal, 4);
    p.phi = 0.5;
    const std::vector<double> out = run(generate_ets, p, 21, 30);
    for (std::size_t t = 0; t < out.size(); ++t) {
      CHECK_EQ(out[t], c.first + static_cast<double>(t) * c.step);
    }
  }
}

// One ETS run written out step by step from the model's tables: forecast by
// (trend, season), shock, clamped value, error term, level and trend from the
// old states, season from the trend step's base.
std::vector<double> literal_ets(const EtsParams& p, uint64_t seed, std::size_t n) {
  auto clamp = [](double x, double lo, double hi) { return x < lo ? lo : (x > hi ? hi : x); };
  RandomStream stream(seed);
  const std::size_t m = static_cast<std::size_t>(p.seasonal_period);
  std::vector<double> ring(m, p.seasonal_type == 2 ? 1.0 : 0.0);
  if (p.seasonal_type != 0 && !p.seasonal_init.empty()) {
    std::copy_n(p.seasonal_init.begin(), m, ring.begin());
  }
  double l = p.level, b = p.trend_init;
  const double phi = p.damped ? p.phi : 1.0;
  const double lower = p.error_type != 0 ? 1e-6 : -1e12;
  const int32_t tt = p.trend_type, st = p.seasonal_type;
  std::vector<double> out(n);
  for (std::size_t t = 0; t < n; ++t) {
    const double s = ring[t % m];
    const double big_b = std::pow(b, phi);
    // Row by trend type, column by seasonal type; unlisted codes give l.
    const double core = tt == 1 ? phi * b + l : tt == 2 ? big_b * l : l;
    double yhat = l;
    if (tt == 0 || tt == 1 || tt == 2) {
      yhat = st == 0 ? core : st == 1 ? core + s : st == 2 ? core * s : l;
    }
    const double eps = draw_innovation(stream, p.innov, p.noise_std);
    out[t] = clamp(p.error_type != 0 ? (eps + 1.0) * yhat : yhat + eps, lower, 1e12);
    const double e = p.error_type != 0 ? eps * yhat : eps;
    const double r = st == 2 && s != 0.0 ? s : 1.0;
    double base = l, next_l = p.alpha * e / r + l, next_b = b;
    if (tt == 2) {
      const double d = l * r;
      base = l * big_b;
      next_l = p.alpha * e / r + base;
      next_b = clamp((d == 0.0 ? 0.0 : p.beta * e / d) + big_b, 0.01, 100.0);
    } else if (tt == 1) {
      base = l + b * phi;
      next_l = p.alpha * e / r + base;
      next_b = clamp(p.beta * e / r + b * phi, -1e6, 1e6);
    }
    if (st == 2) ring[t % m] = clamp(s + (base == 0.0 ? 0.0 : e * p.gamma / base), 0.01, 100.0);
    if (st == 1) ring[t % m] = s + e * p.gamma;
    l = clamp(next_l, lower, 1e12);
    b = next_b;
  }
  return out;
}

TEST_CASE("ets follows the forecast table and update rules bit for bit") {
  const double init[] = {1.3, 0.7, 1.1, 0.9, 5.0};  // a fifth value beyond m is unused
  bool all_same = true;
  for (int32_t error : {0, 3}) {
    for (int32_t trend : {0, 1, 2, 4}) {
      for (int32_t seasonal : {0, 1, 2, -1}) {
        for (bool with_init : {false, true}) {
          EtsParams p = ets_params(error, trend, seasonal, 4);
          p.trend_init = trend == 2 ? 1.02 : 0.7;
          p.beta = 0.2;
          p.gamma = 0.3;
          p.phi = 0.9;
          p.damped = with_init;
          p.noise_std = error != 0 ? 0.1 : 2.0;
          p.innov = {1, 4.0};
          if (with_init) p.seasonal_init = init;
          all_same = all_same && same_bits(run(generate_ets, p, 28, 300), literal_ets(p, 28, 300));
        }
      }
    }
  }
  CHECK(all_same);
}

TEST_CASE("ets damped flag decides whether phi is used") {
  EtsParams p = ets_params(0, 1, 0, 1);
  p.noise_std = 1.0;
  p.beta = 0.1;
  p.phi = 0.5;
  const std::vector<double> undamped = run(generate_ets, p, 22, 100);
  p.damped = true;
  const std::vector<double> damped = run(generate_ets, p, 22, 100);
  p.phi = 1.0;
  CHECK(same_bits(undamped, run(generate_ets, p, 22, 100)));
  CHECK(!same_bits(undamped, damped));
}

TEST_CASE("ets additive error clamps values and level at -1e12") {
  EtsParams p = ets_params(0, 0, 0, 1);
  p.level = -5e12;
  p.alpha = 0.0;
  p.noise_std = 1.0;
  const std::vector<double> out = run(generate_ets, p, 23, 50);
  RandomStream ref(23);
  CHECK_EQ(out[0], -1e12);
  draw_innovation(ref, p.innov, 1.0);
  bool any_above = false;
  for (std::size_t t = 1; t < out.size(); ++t) {
    const double y = -1e12 + draw_innovation(ref, p.innov, 1.0);
    CHECK_EQ(out[t], std::max(-1e12, y));
    any_above = any_above || out[t] > -1e12;
  }
  CHECK(any_above);  // the level itself was clamped, not only the output
}

TEST_CASE("ets multiplicative error with a zero forecast emits 1e-6 and holds the states") {
  // Factor 0 makes the forecast 0: value 1e-6, error term 0, level kept;
  // the factor itself is then lifted to its floor 0.01.
  EtsParams p = ets_params(1, 0, 2, 2);
  p.level = 5.0;
  const double init[] = {0.0, 1.0};
  p.seasonal_init = init;
  const std::vector<double> out = run(generate_ets, p, 24, 6);
  const std::vector<double> expected = {1e-6, 5.0, 5.0 * 0.01, 5.0, 5.0 * 0.01, 5.0};
  CHECK(same_bits(out, expected));
}

TEST_CASE("ets multiplicative models stay inside the clamps") {
  EtsParams p = ets_params(1, 2, 2, 7);
  p.trend_init = 1.05;
  p.alpha = 0.9;
  p.beta = 0.5;
  p.gamma = 0.5;
  p.phi = 0.98;
  p.damped = true;
  p.noise_std = 0.8;
  p.innov = {1, 3.0};
  const std::vector<double> out = run(generate_ets, p, 25, 5000);
  for (double v : out) CHECK(v >= 1e-6 && v <= 1e12);
  CHECK(same_bits(out, run(generate_ets, p, 25, 5000)));
  CHECK(!same_bits(out, run(generate_ets, p, 26, 5000)));
}

TEST_CASE("ets lets a NaN level through the clamps") {
  EtsParams p = ets_params(0, 0, 0, 1);
  p.level = NAN;
  const std::vector<double> out = run(generate_ets, p, 27, 3);
  for (double v : out) CHECK(std::isnan(v));
}

TEST_CASE("ets seasonal_init rules") {
  const double short_init[] = {1.0, 2.0};
  std::vector<double> out(10);
  for (int32_t seasonal : {1, 2, 5}) {
    EtsParams p = ets_params(0, 0, seasonal, 4);
    p.seasonal_init = short_init;
    CHECK_FAILS_WITH(generate_ets(p, 1, out),
                     "seasonal_init has fewer than seasonal_period values");
  }
  EtsParams ignored = ets_params(0, 0, 0, 4);
  ignored.seasonal_init = short_init;
  CHECK(!generate_ets(ignored, 1, out));
  // A period far beyond the series needs no ring of that size.
  EtsParams huge = ets_params(0, 0, 1, kInt32Max);
  CHECK(!generate_ets(huge, 1, out));
}

TEST_CASE("ets refuses a period below 1 and checks the innovations at the first step") {
  std::vector<double> out(3), empty;
  for (int32_t period : {0, -4}) {
    const EtsParams p = ets_params(0, 0, 0, period);
    CHECK(refusal(generate_ets(p, 1, out)) == "seasonal_period must be > 0");
    CHECK(refusal(generate_ets(p, 1, empty)) == "seasonal_period must be > 0");
  }
  EtsParams laplace = ets_params(0, 0, 0, 1);
  laplace.noise_std = -1.0;
  laplace.innov = {2, 0.0};
  CHECK_FAILS_WITH(generate_ets(laplace, 1, out), "invalid laplace param: scale must be > 0");
  CHECK(!generate_ets(laplace, 1, empty));
}

// ----------------------------------------------------------------------- INAR

namespace {

InarParams inar_params(int32_t order, std::span<const double> alpha, int32_t type, double mean,
                       double dispersion) {
  InarParams p;
  p.p = order;
  p.alpha = alpha;
  p.innov_type = type;
  p.innov_mean = mean;
  p.innov_dispersion = dispersion;
  return p;
}

double average(const std::vector<double>& v) {
  double sum = 0.0;
  for (double x : v) sum += x;
  return sum / static_cast<double>(v.size());
}

bool whole_non_negative(const std::vector<double>& v) {
  return std::all_of(v.begin(), v.end(), [](double x) { return x >= 0.0 && x == std::trunc(x); });
}

}  // namespace

TEST_CASE("inar starting value: stationary mean, truncated, never negative") {
  // An order beyond the working length takes no steps, so every output is
  // the starting value and no sampler check runs (the NB case has k = 0).
  struct Case {
    double alpha_first, mean;  // alpha = [alpha_first, 0, 0, ...]
    int32_t type;
    double expected;
  };
  const Case cases[] = {
      {0.5, 2.0, 0, 4.0},   // S = 0.5: 2 / (1 - 0.5)
      {1.0, 2.9, 0, 2.0},   // S >= 1: trunc(mu), no division by 1 - S
      {0.0, 2.9, 0, 2.0},   // S = 0: truncation, not rounding
      {0.0, -3.0, 0, 0.0},  // clamped at 0
      {0.0, NAN, 0, 0.0},   // NaN gives 0 and, without steps, no failure
      {0.0, 1e300, 0, 2147483647.0},
      {0.0, 5.0, 1, 5.0},
  };
  for (const Case& c : cases) {
    std::vector<double> alpha(1000, 0.0);
    alpha[0] = c.alpha_first;
    const InarParams p = inar_params(1000, alpha, c.type, c.mean, 0.0);
    const std::vector<double> out = run(generate_inar, p, 31, 20);
    for (double v : out) CHECK_EQ(v, c.expected);
  }
}

TEST_CASE("inar(1) with alpha 0.5 and Poisson mean 2 hovers around 4") {
  const double alpha[] = {0.5};
  const InarParams p = inar_params(1, alpha, 0, 2.0, 0.0);
  const std::vector<double> out = run(generate_inar, p, 32, 20000);
  CHECK(whole_non_negative(out));
  CHECK_NEAR(average(out), 4.0, 0.2);
  CHECK(same_bits(out, run(generate_inar, p, 32, 20000)));
}

TEST_CASE("inar negative-binomial arrivals: any non-zero type, mean mu") {
  const double alpha[] = {0.3, 0.2};
  const InarParams nb = inar_params(2, alpha, 1, 1.5, 0.7);
  const std::vector<double> out = run(generate_inar, nb, 33, 20000);
  CHECK(whole_non_negative(out));
  CHECK_NEAR(average(out), 1.5 / 0.5, 0.3);
  CHECK(same_bits(out, run(generate_inar, inar_params(2, alpha, 7, 1.5, 0.7), 33, 20000)));
  // Order 0 (batch rows): independent arrivals, an exponential mixture for k = 1.
  const std::vector<double> iid = run(generate_inar, inar_params(0, {}, 1, 3.0, 1.0), 34, 20000);
  CHECK(whole_non_negative(iid));
  CHECK_NEAR(average(iid), 3.0, 0.2);
}

TEST_CASE("inar draws the lag binomials in lag order, then the arrivals") {
  const double alpha[] = {0.4, 0.0, 0.25};
  for (int32_t type : {0, 1}) {
    const InarParams p = inar_params(3, alpha, type, 2.5, 1.5);
    const std::vector<double> out = run(generate_inar, p, 39, 60);
    RandomStream ref(39);
    std::vector<int32_t> x(160, static_cast<int32_t>(2.5 / (1.0 - 0.65)));
    const double q = 1.5 / (2.5 + 1.5);
    for (std::size_t t = 3; t < x.size(); ++t) {
      int32_t total = 0;
      for (std::size_t j = 1; j <= 3; ++j) {
        const int32_t c = x[t - j];
        if (c > 0 && alpha[j - 1] > 0.0) total += sample_binomial(ref, c, alpha[j - 1]);
      }
      const double lambda = type == 0 ? 2.5 : sample_gamma(ref, 1.5, (1.0 - q) / q);
      x[t] = total + sample_poisson(ref, lambda);
    }
    bool all_equal = true;
    for (std::size_t i = 0; i < out.size(); ++i) {
      all_equal = all_equal && out[i] == static_cast<double>(x[100 + i]);
    }
    CHECK(all_equal);
  }
}

TEST_CASE("inar lags with non-positive or NaN alpha never thin") {
  const double alpha[] = {0.0, -1.0, NAN};
  const std::vector<double> out = run(generate_inar, inar_params(3, alpha, 0, 2.0, 0.0), 35, 500);
  // No survivors: the values are the Poisson arrivals alone, mean 2.
  CHECK(whole_non_negative(out));
  CHECK_NEAR(average(out), 2.0, 0.4);
}

TEST_CASE("inar counts saturate at INT32_MAX instead of wrapping") {
  const double alpha[] = {1.0, 1.0};
  const std::vector<double> out = run(generate_inar, inar_params(2, alpha, 0, 1e9, 0.0), 36, 50);
  for (double v : out) CHECK_EQ(v, 2147483647.0);
}

TEST_CASE("inar batch-only orders and refusals") {
  // A negative order leaves everything at X0 = trunc(mu).
  const std::vector<double> flat = run(generate_inar, inar_params(-3, {}, 0, 2.5, 0.0), 37, 10);
  for (double v : flat) CHECK_EQ(v, 2.0);
  const double alpha[] = {0.5};
  std::vector<double> out(10);
  CHECK(refusal(generate_inar(inar_params(2, alpha, 0, 1.0, 0.0), 1, out)) ==
        "alpha_arr must have at least p entries");
  // Poisson with mu <= 0 has no arrivals.
  const std::vector<double> zeros = run(generate_inar, inar_params(1, alpha, 0, -1.0, 0.0), 38, 10);
  for (double v : zeros) CHECK_EQ(v, 0.0);
}

TEST_CASE("inar sampler refusals fire at the first step") {
  const double alpha[] = {0.5};
  std::vector<double> out(10), empty;
  CHECK_FAILS_WITH(generate_inar(inar_params(1, alpha, 0, NAN, 0.0), 1, out),
                   "invalid poisson param: lambda must be finite");
  CHECK_FAILS_WITH(generate_inar(inar_params(1, alpha, 0, INFINITY, 0.0), 1, empty),
                   "invalid poisson param: lambda must be finite");
  const char* gamma_message = "invalid gamma params: shape and scale must be > 0 and finite";
  CHECK_FAILS_WITH(generate_inar(inar_params(1, alpha, 1, 2.0, 0.0), 1, out), gamma_message);
  CHECK_FAILS_WITH(generate_inar(inar_params(1, alpha, 1, 0.0, 2.0), 1, out), gamma_message);
  CHECK_FAILS_WITH(generate_inar(inar_params(1, alpha, 1, 2.0, NAN), 1, out), gamma_message);
}
