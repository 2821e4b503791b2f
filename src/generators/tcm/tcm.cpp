#include "generators/tcm/tcm.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/integer_cast.hpp"
#include "core/internal_failure.hpp"
#include "generators/composite.hpp"
#include "rng/innovations.hpp"

namespace tidemark {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kLn8 = 2.0794415416798357;
constexpr double kLn2 = 0.6931471805599453;
constexpr double kSmallestNormal = 2.2250738585072014e-308;

// A link as the simulation walks it: X[t - lag][source] sits `back` entries
// before X[t][0] in the time-major state buffer.
struct StepLink {
  std::size_t back;
  std::size_t partner_back;
  double coefficient;
  double scale;
  double threshold;
  int32_t kind;
};

struct Workspace {
  std::vector<double> kind_cumulative;
  std::vector<TcmEdge> edges;          // every link, grouped by target in creation order
  std::vector<std::size_t> edge_begin;  // edges of target v: [edge_begin[v], edge_begin[v + 1])
  std::vector<TcmNode> nodes;
  std::vector<double> columns;          // lag matrices, column by column
  std::vector<double> power_x, power_y;
  std::vector<double> noise;            // variable after variable, T values each
  std::vector<double> states;           // time after time, E values each
  std::vector<StepLink> links;
};

bool is_linear_kind(int32_t kind) { return static_cast<uint32_t>(kind) <= 2u; }

int32_t pool_code(const std::vector<double>& pool, std::size_t index) {
  return saturating_i32(pool[index]);
}

// An index into a pool: no draw for a single entry.  Pools beyond the
// signed 32-bit range are drawn over their first 2^31 - 1 entries.
std::size_t pool_index(RandomStream& s, std::size_t size) {
  if (size == 1) return 0;
  const auto bound = static_cast<int32_t>(
      std::min<std::size_t>(size, static_cast<std::size_t>(std::numeric_limits<int32_t>::max())));
  return static_cast<std::size_t>(s.sample_int_range(0, bound));
}

void build_columns(Workspace& ws, std::size_t e) {
  std::fill(ws.columns.begin(), ws.columns.end(), 0.0);
  for (std::size_t v = 0; v < e; ++v) {
    for (std::size_t i = ws.edge_begin[v]; i < ws.edge_begin[v + 1]; ++i) {
      const TcmEdge& edge = ws.edges[i];
      if (!is_linear_kind(edge.kind)) continue;
      double& cell = ws.columns[((edge.lag - 1) * e + edge.source) * e + v];
      cell = cell + edge.coefficient;
    }
  }
}

void scale_linear(Workspace& ws, double factor) {
  for (TcmEdge& edge : ws.edges) {
    if (is_linear_kind(edge.kind)) edge.coefficient = edge.coefficient * factor;
  }
}

void scale_linear_by_lag(Workspace& ws, double ratio) {
  for (TcmEdge& edge : ws.edges) {
    if (is_linear_kind(edge.kind)) {
      edge.coefficient = edge.coefficient * integer_power(ratio, static_cast<int32_t>(edge.lag));
    }
  }
}

// One attempt: structure, links, variables, stabilisation and simulation.
// Writes the output window into `values`.
void attempt(std::span<double> values, std::span<const double> s,
             const std::vector<double>& kind_pool, const std::vector<double>& noise_pool,
             RandomStream& stream, Workspace& ws) {
  // A. Structure.
  int32_t e32 = std::max<int32_t>(1, saturating_i32(s[0]));
  const int32_t e_hi = saturating_i32(s[1]);
  if (e32 < e_hi) e32 = composite::draw_int_inclusive(stream, e32, e_hi);
  int32_t f32 = std::max<int32_t>(1, saturating_i32(s[2]));
  const int32_t f_hi = saturating_i32(s[3]);
  if (f32 < f_hi) f32 = composite::draw_int_inclusive(stream, f32, f_hi);
  const auto e = static_cast<std::size_t>(e32);
  const auto f = static_cast<std::size_t>(f32);
  const double p = composite::draw_range(stream, s[4], s[5]);
  const double decay = stream.sample_uniform(0.4, 1.0);

  const std::size_t n = values.size();
  const std::size_t burn_in = std::min<std::size_t>(n, 200);
  const std::size_t total = burn_in + f + n;
  // Up to E^2 F links (each also a lag-matrix cell) and the two E x T
  // buffers: a system that could not fit even at full link density is
  // refused before its links are drawn.
  const double ed = static_cast<double>(e), fd = static_cast<double>(f);
  constexpr double kPerLink = sizeof(double) + sizeof(TcmEdge) + sizeof(StepLink);
  composite::require_memory(ed * ed * fd * kPerLink +
                                (2.0 * ed * static_cast<double>(total) + 2.0 * ed * fd) * 8.0,
                            1.0);

  ws.kind_cumulative.resize(kind_pool.size());
  double weight_sum = 0.0;
  for (double& w : ws.kind_cumulative) {
    w = stream.standard_exponential();
    weight_sum = weight_sum + w;
  }
  double cumulative = 0.0;
  bool has_linear = false;
  for (std::size_t i = 0; i < kind_pool.size(); ++i) {
    cumulative = cumulative + ws.kind_cumulative[i] / weight_sum;
    ws.kind_cumulative[i] = cumulative;
    has_linear = has_linear || pool_code(kind_pool, i) == 0;
  }
  const std::size_t last_kind = kind_pool.size() - 1;

  // B. Links, target by target.
  ws.edges.clear();
  ws.edge_begin.assign(e + 1, 0);
  for (std::size_t i = 0; i < e; ++i) {
    ws.edge_begin[i] = ws.edges.size();
    for (std::size_t j = 0; j < e; ++j) {
      for (std::size_t m = 0; m < f; ++m) {
        const bool self_lag1 = j == i && m == 0;
        if (!self_lag1 && !(stream.uniform01() < p)) continue;
        const double u_k = stream.uniform01();
        std::size_t pick = 0;
        while (pick < last_kind && !(ws.kind_cumulative[pick] > u_k)) ++pick;
        TcmEdge edge;
        edge.kind = pool_code(kind_pool, pick);
        const double magnitude = composite::draw_range(stream, s[6], s[7]);
        const bool negative = stream.uniform01() < 0.5;
        const double u_c = stream.unit_mantissa();
        edge.scale = std::exp(u_c * kLn8 - kLn2);
        edge.threshold = stream.standard_normal();
        edge.partner = static_cast<uint32_t>(stream.sample_int_range(0, e32));
        edge.partner_lag = static_cast<uint32_t>(stream.sample_int_range(0, f32)) + 1u;
        edge.source = static_cast<uint32_t>(j);
        edge.lag = static_cast<uint32_t>(m + 1);
        edge.coefficient =
            integer_power(decay, static_cast<int32_t>(m)) * (negative ? -magnitude : magnitude);
        if (self_lag1 && has_linear) {
          edge.kind = 0;
          edge.coefficient = 1.0;
        }
        ws.edges.push_back(edge);
      }
    }
  }
  ws.edge_begin[e] = ws.edges.size();

  // C. Variables.
  ws.nodes.resize(e);
  for (TcmNode& node : ws.nodes) {
    node.noise_type = pool_code(noise_pool, pool_index(stream, noise_pool.size()));
    node.sigma = composite::draw_range(stream, s[10], s[11]);
    node.theta = stream.sample_uniform(3.0, 10.0);
    node.modulated = s[12] > stream.uniform01();
    node.period = stream.sample_uniform(50.0, 500.0);
    node.amplitude = stream.sample_uniform(0.3, 1.0);
    node.phase = stream.sample_uniform(0.0, kTwoPi);
  }

  // D. Stabilisation: rescale the linear links towards a drawn radius.
  const double factor = stream.uniform01() < 0.22 ? stream.sample_uniform(0.95, 1.0)
                                                  : stream.sample_uniform(0.1, 0.6);
  const double target = factor * s[8];
  ws.columns.assign(e * e * f, 0.0);
  build_columns(ws, e);
  const double rho = estimate_spectral_radius(ws.columns, e, f, ws.power_x, ws.power_y);
  if (rho > target) {
    scale_linear_by_lag(ws, target / rho);
  } else if (rho > 1e-9) {
    scale_linear(ws, std::min(target / rho, 4.0));
    build_columns(ws, e);
    const double rho2 = estimate_spectral_radius(ws.columns, e, f, ws.power_x, ws.power_y);
    if (rho2 >= s[8]) scale_linear_by_lag(ws, target / rho2);
  }

  // Noise, variable by variable.
  ws.noise.resize(e * total);
  for (std::size_t v = 0; v < e; ++v) {
    const TcmNode& node = ws.nodes[v];
    std::span<double> noise(ws.noise.data() + v * total, total);
    fill_innovations(stream, InnovationSpec{node.noise_type, node.theta}, node.sigma, noise);
    if (node.modulated) {
      for (std::size_t t = 0; t < total; ++t) {
        noise[t] = noise[t] * std::exp(std::sin(kTwoPi * static_cast<double>(t) / node.period +
                                                node.phase) *
                                       node.amplitude);
      }
    }
  }

  // Links in walking form.
  ws.links.resize(ws.edges.size());
  for (std::size_t i = 0; i < ws.edges.size(); ++i) {
    const TcmEdge& edge = ws.edges[i];
    ws.links[i] = StepLink{edge.lag * e - edge.source, edge.partner_lag * e - edge.partner,
                           edge.coefficient, edge.scale, edge.threshold, edge.kind};
  }

  // States: the first F are the raw noise, then the clipped update.
  ws.states.resize(total * e);
  double* x = ws.states.data();
  const double* noise = ws.noise.data();
  for (std::size_t t = 0; t < f; ++t) {
    for (std::size_t v = 0; v < e; ++v) x[t * e + v] = noise[v * total + t];
  }
  const double clip = s[9];
  const StepLink* links = ws.links.data();
  const std::size_t* begin = ws.edge_begin.data();
  for (std::size_t t = f; t < total; ++t) {
    double* row = x + t * e;
    for (std::size_t v = 0; v < e; ++v) {
      double acc = noise[v * total + t];
      for (std::size_t i = begin[v]; i < begin[v + 1]; ++i) {
        const StepLink& link = links[i];
        const double in = row[static_cast<std::ptrdiff_t>(-link.back)];
        double g;
        switch (link.kind) {
          case 0: g = in; break;
          case 1: g = link.scale * std::tanh(in / link.scale); break;
          case 2: g = std::max(in, 0.0); break;
          case 3: {
            const double other = row[static_cast<std::ptrdiff_t>(-link.partner_back)];
            g = (link.scale * std::tanh(in / link.scale)) * std::tanh(other / link.scale);
            break;
          }
          case 4: g = link.threshold < in ? 1.0 : 0.0; break;
          default: g = 0.0; break;
        }
        acc = acc + link.coefficient * g;
      }
      row[v] = clip * std::tanh(acc / clip);
    }
  }

  const std::size_t first = burn_in + f;
  for (std::size_t k = 0; k < n; ++k) values[k] = x[(first + k) * e];
}

}  // namespace

double estimate_spectral_radius(std::span<const double> columns, std::size_t e, std::size_t f,
                                std::vector<double>& x, std::vector<double>& y) {
  const std::size_t dim = e * f;
  x.resize(dim);
  y.resize(dim);
  double norm = 0.0;
  for (std::size_t k = 0; k < dim; ++k) {
    x[k] = std::sin(static_cast<double>(k) * 0.7368 + 0.31) * 0.5 + 1.0;
    norm = norm + x[k] * x[k];
  }
  norm = std::sqrt(norm);
  for (double& v : x) v = v / norm;

  double log_sum = 0.0;
  for (int i = 0; i < 400; ++i) {
    // y_j = sum over lags l and sources s of A_l[j][s] x_{l,s}, each row's
    // terms in (l, s) order; walking column by column keeps that order per
    // row while the rows advance together.
    std::fill(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(e), 0.0);
    double* yv = y.data();
    for (std::size_t col = 0; col < dim; ++col) {
      const double xv = x[col];
      const double* a = columns.data() + col * e;
      for (std::size_t j = 0; j < e; ++j) yv[j] = yv[j] + a[j] * xv;
    }
    std::copy(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(dim - e), y.begin() + static_cast<std::ptrdiff_t>(e));
    double squares = 0.0;
    for (double v : y) squares = squares + v * v;
    const double length = std::sqrt(squares);
    if (length <= kSmallestNormal) return 0.0;
    if (i >= 100) log_sum = log_sum + std::log(length);
    for (std::size_t k = 0; k < dim; ++k) x[k] = y[k] / length;
  }
  return std::exp(log_sum / 300.0);
}

void generate_tcm(std::span<double> values, std::span<const double> s,
                  std::span<const std::vector<double>> arrays, uint64_t seed) {
  const std::size_t n = values.size();
  if (n == 0) return;
  const std::vector<double>& kind_pool = arrays[0];
  const std::vector<double>& noise_pool = arrays[1];
  if (kind_pool.empty()) internal_failure("tcm: edge kind pool is empty");
  if (noise_pool.empty()) internal_failure("tcm: noise type pool is empty");

  RandomStream stream(seed);
  Workspace ws;
  for (int a = 1; a <= kTcmAttempts; ++a) {
    attempt(values, s, kind_pool, noise_pool, stream, ws);
    if (!composite::finite_and_bounded(values)) continue;
    if (composite::population_moments(values).sd > composite::kMinSpread) return;
  }

  // Fallback: a plain AR(1) after a short burn-in.
  const std::size_t burn_in = std::min<std::size_t>(n, 200);
  double x = stream.standard_normal();
  if (n != 1) {
    for (std::size_t i = 1; i < burn_in; ++i) x = 0.7 * x + stream.standard_normal();
  }
  for (double& v : values) {
    x = 0.7 * x + stream.standard_normal();
    v = x;
  }
}

}  // namespace tidemark
