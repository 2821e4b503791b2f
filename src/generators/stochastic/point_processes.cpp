// Poisson counts and the Hawkes process (Ogata thinning).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/integer_cast.hpp"
#include "core/interrupt.hpp"
#include "core/internal_failure.hpp"
#include "generators/stochastic/stochastic_processes.hpp"
#include "rng/samplers.hpp"

namespace tidemark {

Status generate_poisson_process(const PoissonProcessParams& p, uint64_t seed,
                                std::span<double> out) {
  RandomStream stream(seed);
  // The rate check belongs to the first draw: an empty series draws none.
  if (out.empty()) return std::nullopt;
  const PoissonSampler counts(p.lambda_rate);
  if (p.cumulative) {
    double c = 0.0;
    for (double& x : out) {
      c = c + counts(stream);
      x = c;
    }
  } else {
    for (double& x : out) x = counts(stream);
  }
  return std::nullopt;
}

namespace {

constexpr double kBoundFactor = 1.01;
constexpr double kBoundOffset = 1e-10;
constexpr double kMidpoint = 0.5;
// Event lists start this small and grow with the accepted events, so a
// generous max_events costs nothing up front.
constexpr std::size_t kInitialEventRoom = 1024;
// Candidates in a row that neither move time forward nor are accepted.  Only
// bounds so large that t + w rounds back to t get here; the state then
// repeats, and with a vanishing acceptance ratio it would repeat forever.
constexpr uint32_t kMaxStalledCandidates = 1u << 20;

// Exponential kernel: the excitation S (without alpha) as of t_last.
class ExponentialKernel {
 public:
  explicit ExponentialKernel(const HawkesParams& p)
      : alpha_(p.excitation_amplitude), beta_(p.decay_rate), mu_(p.baseline_intensity) {}

  double intensity(double t) {
    decay_ = std::exp((t - t_last_) * (-beta_));
    return decay_ * (alpha_ * s_) + mu_;
  }
  // Folds in an event at the time of the last intensity() call, reusing its
  // decay factor (the same value the fold would compute).
  void add_event_at_last_evaluation(double t) {
    s_ = s_ * decay_ + 1.0;
    t_last_ = t;
  }
  void add_event(double t) {
    s_ = s_ * std::exp((t - t_last_) * (-beta_)) + 1.0;
    t_last_ = t;
  }
  // intensity(t_last): for a finite beta the decay is exp(+-0) = 1 exactly.
  double intensity_at_last_event() {
    return std::isfinite(beta_) ? alpha_ * s_ + mu_ : intensity(t_last_);
  }

 private:
  double alpha_, beta_, mu_;
  double s_ = 0.0;
  double t_last_ = 0.0;
  double decay_ = 1.0;
};

// Power-law kernel: the intensity is summed over the stored events.
class PowerLawKernel {
 public:
  PowerLawKernel(const HawkesParams& p, const std::vector<double>& events)
      : alpha_(p.excitation_amplitude),
        beta_(p.decay_rate),
        exponent_(p.power_law_exponent),
        mu_(p.baseline_intensity),
        events_(events) {}

  // mu plus the terms of the events up to t, in event order.
  double intensity(double t) const {
    double lambda = mu_;
    for (const double tj : events_) {
      if (tj > t) break;
      lambda = lambda + alpha_ / std::pow((t - tj) * beta_ + 1.0, exponent_);
    }
    return lambda;
  }
  // The event list is the state.
  void add_event_at_last_evaluation(double) {}
  double intensity_at_last_event() const { return intensity(events_.back()); }

 private:
  double alpha_, beta_, exponent_, mu_;
  const std::vector<double>& events_;
};

template <class Kernel>
void simulate(Kernel& kernel, const HawkesParams& p, double horizon, RandomStream& stream,
              std::vector<double>& events) {
  const double mu = p.baseline_intensity;
  const double unit_width = RandomStream::uniform_width(0.0, 1.0);
  double t = 0.0;
  double lambda = kernel.intensity(t);  // the intensity at the current time
  int32_t accepted = 0;
  uint32_t stalled = 0;
  bool first = true;
  for (uint64_t tries = 0; accepted < p.max_events && (first || t < horizon); ++tries) {
    // Rejections and the power-law kernel's growing sums can make this long.
    if (tries % 4096 == 0) interruption_point();
    first = false;
    // fmax: a NaN intensity falls back to mu.
    const double bound = std::fmax(lambda, mu) * kBoundFactor + kBoundOffset;
    // An infinite bound makes every step zero and every ratio NaN.
    if (bound == std::numeric_limits<double>::infinity()) {
      internal_failure("hawkes_process: intensity bound is infinite");
    }
    const double candidate = t + sample_exponential(stream, bound);  // refuses NaN, < 0
    if (candidate >= horizon) break;
    const bool advanced = candidate != t;
    t = candidate;
    lambda = kernel.intensity(t);
    const double u = RandomStream::clamp_below(stream.unit_mantissa() * unit_width + 0.0, 1.0);
    if (lambda / bound >= u) {
      events.push_back(t);
      ++accepted;
      kernel.add_event_at_last_evaluation(t);
      lambda = kernel.intensity_at_last_event();
      stalled = 0;
    } else if (advanced) {
      stalled = 0;
    } else if (++stalled == kMaxStalledCandidates) {
      internal_failure("hawkes_process: intensity bound too large for time to advance");
    }
  }
}

// Event times lie in [0, n); the saturating conversion keeps any other
// value a harmless out-of-range cell.
bool event_cell(double t, std::size_t n, std::size_t& cell) {
  const int32_t k = saturating_i32(t);
  if (k < 0 || static_cast<std::size_t>(k) >= n) return false;
  cell = static_cast<std::size_t>(k);
  return true;
}

void midpoint_intensity(const HawkesParams& p, const std::vector<double>& events,
                        std::span<double> out) {
  if (p.kernel_type == 0) {
    ExponentialKernel kernel(p);
    std::size_t next = 0;
    for (std::size_t k = 0; k < out.size(); ++k) {
      const double t = static_cast<double>(k) + kMidpoint;
      for (; next < events.size() && events[next] <= t; ++next) kernel.add_event(events[next]);
      out[k] = kernel.intensity(t);
    }
  } else {
    const PowerLawKernel kernel(p, events);
    for (std::size_t k = 0; k < out.size(); ++k) {
      out[k] = kernel.intensity(static_cast<double>(k) + kMidpoint);
    }
  }
}

}  // namespace

Status generate_hawkes_process(const HawkesParams& p, uint64_t seed, std::span<double> out) {
  RandomStream stream(seed);
  if (p.max_events < 0) internal_failure("hawkes_process: max_events must be >= 0");
  std::vector<double> events;
  if (p.max_events > 0) {
    events.reserve(std::min(static_cast<std::size_t>(p.max_events), kInitialEventRoom));
    const double horizon = static_cast<double>(out.size());
    if (p.kernel_type == 0) {
      ExponentialKernel kernel(p);
      simulate(kernel, p, horizon, stream, events);
    } else {
      PowerLawKernel kernel(p, events);
      simulate(kernel, p, horizon, stream, events);
    }
  }

  std::size_t cell = 0;
  if (p.output_type == 0) {
    for (const double t : events) {
      if (event_cell(t, out.size(), cell)) out[cell] += 1.0;
    }
  } else if (p.output_type == 1) {
    midpoint_intensity(p, events, out);
  } else {
    for (const double t : events) {
      if (event_cell(t, out.size(), cell)) out[cell] = 1.0;
    }
  }
  return std::nullopt;
}

}  // namespace tidemark
