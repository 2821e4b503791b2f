#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "core/internal_failure.hpp"
#include "generators/stochastic/cyclic_garch.hpp"
#include "rng/random_stream.hpp"

namespace tidemark {
namespace {

constexpr std::size_t kBurnIn = 100;
constexpr std::size_t kChunk = 4096;

}  // namespace

// The first kBurnIn values of the recursion are discarded, so a longer
// series extends a shorter one of the same seed.  The variance is neither
// floored nor checked: a negative one gives NaN shocks from that step on.
Status generate_garch(const GarchParams& p, uint64_t seed, std::span<double> out) {
  // The recursion reads alpha[0..q) and beta[0..p); orders the arrays
  // cannot serve would read past them.
  if (p.p < 0 || p.q < 0) internal_failure("garch: p and q must be >= 0");
  if (static_cast<std::size_t>(p.q) > p.alpha.size()) {
    internal_failure("garch: q exceeds the number of entries of alpha_arr");
  }
  if (static_cast<std::size_t>(p.p) > p.beta.size()) {
    internal_failure("garch: p exceeds the number of entries of beta_arr");
  }
  RandomStream stream(seed);
  std::fill(out.begin(), out.end(), 0.0);
  // At most 2^31 - 1 + 100: no overflow in a 64-bit size.
  const std::size_t total = out.size() + kBurnIn;
  const std::size_t m = static_cast<std::size_t>(std::max(p.p, p.q));
  if (m >= total) return std::nullopt;

  // Only the last m shocks and variances are ever read, so they live in a
  // sliding window of m + kChunk entries instead of two buffers of the
  // whole length: the working memory does not grow with the series.  Only
  // the first m entries need their starting values; later ones are
  // written by their own step before anything reads them.
  const std::size_t cap = std::min(total, m + kChunk);
  std::vector<double> shocks(cap, 0.0);
  std::vector<double> variances(cap, p.initial_variance);
  const std::size_t n_arch = static_cast<std::size_t>(p.q);
  const std::size_t n_garch = static_cast<std::size_t>(p.p);
  const double* alpha = p.alpha.data();
  const double* beta = p.beta.data();
  double* e = shocks.data();
  double* s = variances.data();
  const InnovationSampler shock(p.innov, 1.0);
  std::size_t base = 0;  // the step whose values sit at window index 0
  for (std::size_t t = m; t < total; ++t) {
    std::size_t i = t - base;
    if (i == cap) {  // slide: keep the last m entries at the front
      std::copy(e + (cap - m), e + cap, e);
      std::copy(s + (cap - m), s + cap, s);
      base += cap - m;
      i = m;
    }
    double sigma2 = p.omega;
    for (std::size_t j = 0; j < n_arch; ++j) sigma2 += (e[i - 1 - j] * e[i - 1 - j]) * alpha[j];
    for (std::size_t j = 0; j < n_garch; ++j) sigma2 += beta[j] * s[i - 1 - j];
    s[i] = sigma2;
    const double z = shock(stream);
    e[i] = std::sqrt(sigma2) * z;
    if (t >= kBurnIn) out[t - kBurnIn] = e[i] + p.mu;
  }
  return std::nullopt;
}

}  // namespace tidemark
