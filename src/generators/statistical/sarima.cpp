#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/interrupt.hpp"
#include "generators/statistical/statistical.hpp"

namespace tidemark {
namespace {

// Negative orders, lags or burn-in would shrink or wrap the working length
// and the discarded prefix, so they are refused rather than given a meaning.
Status check_orders(const SarimaParams& p) {
  if (p.d < 0) return param_error("d must be >= 0");
  if (p.seasonal_d < 0) return param_error("seasonal_d must be >= 0");
  if (p.seasonal_period < 0) return param_error("seasonal_period must be >= 0");
  if (p.burn_in < 0) return param_error("burn_in must be >= 0");
  return std::nullopt;
}

// s * seasonal_d + d + length + burn_in in 64 bits (every term is below
// 2^31 once length is, so nothing overflows); -1 when it leaves int32.
int64_t working_length(const SarimaParams& p, std::size_t length) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (length > static_cast<std::size_t>(kMax)) return -1;
  const int64_t n = static_cast<int64_t>(p.seasonal_period) * p.seasonal_d + p.d +
                    static_cast<int64_t>(length) + p.burn_in;
  return n > kMax ? -1 : n;
}

// MA filter in place: walking backwards, e[t - j] is still the raw shock
// when w[t] is formed, so one buffer serves for both.
void apply_ma(std::vector<double>& e, std::span<const double> theta) {
  for (std::size_t t = e.size(); t-- > 0;) {
    if (t % 4096 == 0) interruption_point();
    const std::size_t lags = std::min(theta.size(), t);
    double w = e[t];
    for (std::size_t j = 1; j <= lags; ++j) w = w + theta[j - 1] * e[t - j];
    e[t] = w;
  }
}

// AR filter in place, literally: walking forwards, y[t - i] is already
// filtered, and every term is added in lag order.
void apply_ar_from(std::vector<double>& y, std::span<const double> phi, std::size_t start) {
  for (std::size_t t = start; t < y.size(); ++t) {
    if (t % 4096 == 0) interruption_point();
    const std::size_t lags = std::min(phi.size(), t);
    double acc = y[t];
    for (std::size_t i = 1; i <= lags; ++i) acc = acc + phi[i - 1] * y[t - i];
    y[t] = acc;
  }
}

struct Term {
  std::size_t lag;
  double coefficient;
};

// Expanded seasonal polynomials are mostly zeros, and the lag-ordered sum is
// one long dependency chain per step.  Adding 0 * y[t - i] leaves the sum's
// bits unchanged as long as y[t - i] is finite and the partial sum is not
// -0.0 (which needs y[t] itself to start as -0.0), so zero terms are skipped
// while both hold; from the first step where they might not, the literal
// loop takes over.
void apply_ar(std::vector<double>& y, std::span<const double> phi) {
  std::vector<Term> terms;
  for (std::size_t i = 1; i <= phi.size(); ++i) {
    if (phi[i - 1] != 0.0) terms.push_back({i, phi[i - 1]});
  }
  if (terms.size() == phi.size()) return apply_ar_from(y, phi, 0);
  std::size_t t = 0;
  for (; t < y.size(); ++t) {
    double acc = y[t];
    if (acc == 0.0 && std::signbit(acc)) break;
    for (const Term& term : terms) {
      if (term.lag > t) break;
      acc = acc + term.coefficient * y[t - term.lag];
    }
    y[t] = acc;
    if (!std::isfinite(acc)) {
      ++t;
      break;
    }
  }
  apply_ar_from(y, phi, t);
}

void add_constant(std::vector<double>& y, double c) {
  for (double& v : y) v = v + c;
}

// One pass of y[t] = y[t - lag] + y[t] for t = lag ... n - 1; reports whether
// any bit changed.  A pass that changes nothing leaves the buffer as it found
// it, so every further pass would too: huge orders (from batch slots) stop
// there instead of spinning, with the same result.
bool accumulate_pass(std::vector<double>& y, std::size_t lag) {
  interruption_point();
  uint64_t changed = 0;
  for (std::size_t t = lag; t < y.size(); ++t) {
    const double next = y[t - lag] + y[t];
    changed |= std::bit_cast<uint64_t>(next) ^ std::bit_cast<uint64_t>(y[t]);
    y[t] = next;
  }
  return changed != 0;
}

void integrate(std::vector<double>& y, int32_t times) {
  for (int32_t k = 0; k < times && accumulate_pass(y, 1); ++k) {
  }
}

// A lag of 0 (allowed) adds each value to itself, which is what the
// recurrence y[t] = y[t - s] + y[t] says.
void integrate_seasonal(std::vector<double>& y, int32_t times, std::size_t lag) {
  for (int32_t k = 0; k < times && accumulate_pass(y, lag); ++k) {
  }
}

}  // namespace

Status check_sarima_params(const SarimaParams& p, std::size_t length) {
  if (Status refused = check_orders(p)) return refused;
  if (working_length(p, length) < 0) return param_error("working length exceeds the 32-bit range");
  return std::nullopt;
}

Status generate_sarima(const SarimaParams& p, uint64_t seed, std::span<double> out) {
  if (Status refused = check_sarima_params(p, out.size())) return refused;
  const int64_t n = working_length(p, out.size());

  RandomStream stream(seed);
  std::vector<double> y(static_cast<std::size_t>(n));
  fill_innovations(stream, p.innov, p.noise_std, y);  // checks the innovations even when n is 0
  apply_ma(y, p.ma);
  apply_ar(y, p.ar);
  if (p.d == 0 && p.seasonal_d == 0) {
    add_constant(y, p.mean);
  } else {
    add_constant(y, p.drift);
    integrate(y, p.d);
    integrate_seasonal(y, p.seasonal_d, static_cast<std::size_t>(p.seasonal_period));
  }
  const std::size_t discarded = y.size() - out.size();
  std::copy(y.begin() + static_cast<std::ptrdiff_t>(discarded), y.end(), out.begin());
  return std::nullopt;
}

}  // namespace tidemark
