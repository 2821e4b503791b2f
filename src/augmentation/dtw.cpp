#include "augmentation/dtw.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

namespace tidemark {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The recurrence over rows 1..n, two rolling rows of m + 1 cells.  Equal
// predecessor costs prefer the diagonal, then (i-1, j), then (i, j-1); the
// distance-only instantiation takes the same minimum without the codes.
template <bool kParents>
double accumulate(const double* a, std::size_t n, const double* b, std::size_t m, std::size_t w,
                  uint8_t* parents, std::size_t stride, double* prev, double* cur,
                  std::size_t done = 0) {
  // Rows done+1 .. done+n; `prev` holds row `done` (row 0: D[0][0] = 0, the
  // rest +inf).  `a` starts at row done+1.
  if (done == 0) prev[0] = 0.0;
  a -= done;
  for (std::size_t i = done + 1; i <= done + n; ++i) {
    const std::size_t start = i > w ? i - w : 1;
    const std::size_t end = std::min(m, i + w);
    // The cell left of the band (also D[i][0]) and the one right of it,
    // which the next row reads as "up".
    cur[start - 1] = kInf;
    if (i + w < m) cur[end + 1] = kInf;
    const double ai = a[i - 1];
    double left = kInf;
    if constexpr (kParents) {
      uint8_t* codes = parents + (i - 1) * stride - start;
      for (std::size_t j = start; j <= end; ++j) {
        const double diag = prev[j - 1], up = prev[j];
        // Selects rather than branches: which predecessor wins is data
        // dependent and would mispredict about half the time.
        const bool from_up = diag > up;
        double best = from_up ? up : diag;
        const bool from_left = best > left;
        best = from_left ? left : best;
        const uint8_t code = from_left ? kStepLeft : static_cast<uint8_t>(from_up);
        const double d = ai - b[j - 1];
        left = d * d + best;
        cur[j] = left;
        codes[j] = code;
      }
    } else {
      for (std::size_t j = start; j <= end; ++j) {
        const double diag = prev[j - 1], up = prev[j];
        const double best = std::min(std::min(diag, up), left);
        const double d = ai - b[j - 1];
        left = d * d + best;
        cur[j] = left;
      }
    }
    std::swap(prev, cur);
  }
  return prev[m];
}

// The distance-only recurrence, R rows at a time.  Each cell's chain of
// dependencies through its left neighbour is serial, so the rows of a strip
// are skewed by one column (row r of the strip works on column j - r at step
// j) and their chains interleave.  Every cell is still computed by the same
// expression from the same three predecessors, so the result is the same
// bits as the row-by-row loop.
template <std::size_t R>
class StripKernel {
 public:
  StripKernel(const double* a, const double* b, std::size_t m, std::size_t w)
      : a_(a), b_(b), m_(m), w_(w) {}

  // Rows i .. i+R-1; rows[0] holds row i-1, rows[r+1] receives row i+r.
  void run(std::size_t i, double* const* rows) {
    for (std::size_t r = 0; r < R; ++r) {
      const std::size_t row = i + r;
      st_[r] = row > w_ ? row - w_ : 1;
      en_[r] = std::min(m_, row + w_);
      rows[r + 1][st_[r] - 1] = kInf;
      if (row + w_ < m_) rows[r + 1][en_[r] + 1] = kInf;
      ai_[r] = a_[row - 1];
    }
    const std::size_t first = st_[0], last = en_[R - 1] + (R - 1);
    const std::size_t lo = st_[R - 1] + (R - 1), hi = en_[0];  // steps where every row works
    if (lo > hi) {
      for (std::size_t j = first; j <= last; ++j) edge_step(j, rows);
      return;
    }
    for (std::size_t j = first; j < lo; ++j) edge_step(j, rows);
    interior(lo, hi, rows);
    for (std::size_t j = hi + 1; j <= last; ++j) edge_step(j, rows);
  }

 private:
  // A step near the strip's ends: only the rows whose column is in band.
  void edge_step(std::size_t j, double* const* rows) {
    for (std::size_t r = 0; r < R; ++r) {
      if (j < st_[r] + r || j > en_[r] + r) continue;
      const std::size_t col = j - r;
      const double* prev = rows[r];
      double* cur = rows[r + 1];
      const double best = std::min(std::min(prev[col - 1], prev[col]), cur[col - 1]);
      const double d = ai_[r] - b_[col - 1];
      cur[col] = d * d + best;
    }
  }

  // Steps lo..hi, where every row of the strip has its column in band.  Row
  // r's up and diagonal neighbours are row r-1's last two values, kept in
  // registers.
  void interior(std::size_t lo, std::size_t hi, double* const* rows) {
    double left[R], left2[R];  // each row's values at its previous two columns
    for (std::size_t r = 0; r < R; ++r) {
      left[r] = rows[r + 1][lo - 1 - r];
      // The last row's older value is never read (no row below it here).
      left2[r] = r + 1 < R ? rows[r + 1][lo - 2 - r] : kInf;
    }
    const double* prev = rows[0];
    for (std::size_t j = lo; j <= hi; ++j) {
      double next[R];
      {
        const double best = std::min(std::min(prev[j - 1], prev[j]), left[0]);
        const double d = ai_[0] - b_[j - 1];
        next[0] = d * d + best;
      }
      for (std::size_t r = 1; r < R; ++r) {
        const double best = std::min(std::min(left2[r - 1], left[r - 1]), left[r]);
        const double d = ai_[r] - b_[j - r - 1];
        next[r] = d * d + best;
      }
      for (std::size_t r = 0; r < R; ++r) {
        rows[r + 1][j - r] = next[r];
        left2[r] = left[r];
        left[r] = next[r];
      }
    }
  }

  const double* a_;
  const double* b_;
  std::size_t m_, w_;
  std::size_t st_[R], en_[R];
  double ai_[R];
};

double accumulate_strips(const double* a, std::size_t n, const double* b, std::size_t m,
                         std::size_t w, double* buffer) {
  constexpr std::size_t R = 4;
  double* rows[R + 1];
  for (std::size_t r = 0; r <= R; ++r) rows[r] = buffer + r * (m + 1);
  rows[0][0] = 0.0;  // D[0][0]; the rest of row 0 stays +inf
  StripKernel<R> kernel(a, b, m, w);
  std::size_t i = 1;
  for (; i + R - 1 <= n; i += R) {
    kernel.run(i, rows);
    std::swap(rows[0], rows[R]);  // the strip's last row is the next one's "up"
  }
  // The remaining rows, one at a time.
  return accumulate<false>(a + (i - 1), n - (i - 1), b, m, w, nullptr, 0, rows[0], rows[1],
                           i - 1);
}

Status check_pair(std::span<const double> a, std::span<const double> b) {
  if (a.empty() || b.empty()) return param_error(kDtwEmpty);
  if (Status s = check_dtw_series(a)) return s;
  return check_dtw_series(b);
}

}  // namespace

Status check_dtw_series(std::span<const double> x) {
  if (x.empty()) return param_error(kDtwEmpty);
  for (double v : x) {
    if (!std::isfinite(v)) return param_error(kDtwNotFinite);
  }
  return std::nullopt;
}

std::size_t dtw_effective_band(std::size_t n, std::size_t m, std::optional<uint64_t> band) {
  const std::size_t longer = std::max(n, m);
  const std::size_t diff = n > m ? n - m : m - n;
  const uint64_t r = band ? *band : longer;
  return static_cast<std::size_t>(std::min<uint64_t>(longer, std::max<uint64_t>(r, diff)));
}

double dtw_accumulated_cost(std::span<const double> a, std::span<const double> b, std::size_t w,
                            uint8_t* parents) {
  const std::size_t n = a.size(), m = b.size();
  if (parents) {
    std::vector<double> rows(2 * (m + 1), kInf);
    return accumulate<true>(a.data(), n, b.data(), m, w, parents, dtw_parent_stride(m, w),
                            rows.data(), rows.data() + (m + 1));
  }
  std::vector<double> rows(5 * (m + 1), kInf);
  return accumulate_strips(a.data(), n, b.data(), m, w, rows.data());
}

Result<double> dtw_distance_core(std::span<const double> a, std::span<const double> b,
                                 std::optional<uint64_t> band) {
  if (Status s = check_pair(a, b)) return *s;
  const std::size_t w = dtw_effective_band(a.size(), b.size(), band);
  const double cost = dtw_accumulated_cost(a, b, w, nullptr);
  if (!std::isfinite(cost)) return ParamError{kDtwInfeasible};
  return std::sqrt(cost);
}

Result<DtwAlignment> dtw_align(std::span<const double> a, std::span<const double> b,
                               std::optional<uint64_t> band) {
  if (Status s = check_pair(a, b)) return *s;
  const std::size_t n = a.size(), m = b.size();
  const std::size_t w = dtw_effective_band(n, m, band);

  const std::size_t stride = dtw_parent_stride(m, w);
  uint64_t store_bytes = 0;
  if (__builtin_mul_overflow(static_cast<uint64_t>(n), static_cast<uint64_t>(stride),
                             &store_bytes) ||
      store_bytes > kDtwParentLimitBytes) {
    return ParamError{kDtwParentCap};
  }
  std::unique_ptr<uint8_t[]> parents(new (std::nothrow) uint8_t[store_bytes]);
  if (!parents) return ParamError{kDtwParentAlloc};
  std::memset(parents.get(), kStepUnwritten, store_bytes);

  const double cost = dtw_accumulated_cost(a, b, w, parents.get());
  if (!std::isfinite(cost)) return ParamError{kDtwInfeasible};

  // Tested only now: a caller learns about an infeasible band first.
  if (static_cast<uint64_t>(n) + m > kDtwPathLimitPairs) return ParamError{kDtwPathCap};
  DtwAlignment out;
  try {
    out.path.reserve(n + m);
  } catch (const std::bad_alloc&) {
    return ParamError{kDtwPathAlloc};
  } catch (const std::length_error&) {
    return ParamError{kDtwPathAlloc};
  }

  // Back-track from (n, m).  A finite end cost always leads to (1, 1) by
  // written in-band cells; the band and code tests are guards.
  std::size_t i = n, j = m;
  for (;;) {
    out.path.push_back({i - 1, j - 1});
    const std::size_t lo = i > w ? i - w : 0;
    const std::size_t hi = std::min(m, i + w);
    if (j < lo || j > hi) return ParamError{kDtwInfeasible};
    const std::size_t start = i > w ? i - w : 1;
    // The path never exceeds n + m pairs along valid codes; the reserve
    // above keeps push_back from allocating.
    const uint8_t code = parents[(i - 1) * stride + (j - start)];
    if (code == kStepDiagonal) {
      --i;
      --j;
    } else if (code == kStepUp) {
      --i;
    } else if (code == kStepLeft) {
      --j;
    } else {
      return ParamError{kDtwInfeasible};
    }
    if (i < 1 || j < 1) break;
  }
  std::reverse(out.path.begin(), out.path.end());
  out.distance = std::sqrt(cost);
  return out;
}

}  // namespace tidemark
