#include "linalg/matrix.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include <Eigen/Core>
#include <Eigen/Eigenvalues>

#include "core/internal_failure.hpp"

namespace tidemark {

namespace {

// Eigenvalues below this floor (negative ones included) are raised to it
// before the square root, so the repaired covariance stays positive definite.
constexpr double kEigenvalueFloor = 1e-10;

[[noreturn]] void fail(const std::string& message) { throw InternalFailure(message); }

// Physical memory in bytes, or the largest size when it cannot be told.
uint64_t physical_memory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return UINT64_MAX;
  uint64_t bytes = 0;
  if (__builtin_mul_overflow(static_cast<uint64_t>(pages), static_cast<uint64_t>(page_size),
                             &bytes)) {
    return UINT64_MAX;
  }
  return bytes;
}

}  // namespace

void size_mismatch() { fail("matrix product: operand sizes do not match"); }

uint64_t checked_product(uint64_t a, uint64_t b, const char* what) {
  uint64_t r = 0;
  if (__builtin_mul_overflow(a, b, &r)) fail(std::string(what) + ": dimensions overflow");
  return r;
}

Matrix::Matrix(uint64_t rows, uint64_t cols) {
  const uint64_t n = checked_product(rows, cols, "matrix");
  // Zero-filling a matrix larger than the machine's memory would not fail
  // cleanly under overcommit: the process would be killed while touching the
  // pages.  Such sizes are refused up front; a plausible one that still
  // fails to allocate surfaces the same way.
  if (n > std::numeric_limits<std::size_t>::max() / sizeof(double) ||
      n * sizeof(double) > physical_memory()) {
    fail("matrix of " + std::to_string(rows) + " x " + std::to_string(cols) +
         " entries cannot be allocated");
  }
  try {
    data_.assign(static_cast<std::size_t>(n), 0.0);
  } catch (const std::bad_alloc&) {
    fail("matrix of " + std::to_string(rows) + " x " + std::to_string(cols) +
         " entries cannot be allocated");
  } catch (const std::length_error&) {
    fail("matrix of " + std::to_string(rows) + " x " + std::to_string(cols) +
         " entries cannot be allocated");
  }
  rows_ = static_cast<std::size_t>(rows);
  cols_ = static_cast<std::size_t>(cols);
}

Matrix matrix_from_flat(std::span<const double> flat, uint64_t rows, uint64_t cols,
                        const char* what) {
  const uint64_t n = checked_product(rows, cols, what);
  if (flat.size() != n) {
    fail(std::string(what) + ": expected " + std::to_string(rows) + " x " +
         std::to_string(cols) + " = " + std::to_string(n) + " entries, got " +
         std::to_string(flat.size()));
  }
  Matrix m(rows, cols);
  for (std::size_t i = 0; i < m.rows(); ++i) {
    const double* row = flat.data() + i * m.cols();
    for (std::size_t j = 0; j < m.cols(); ++j) m(i, j) = row[j];
  }
  return m;
}

// Column by column, so each y_i still sees its terms in increasing column
// order while the inner loop runs over contiguous storage.
void multiply(const Matrix& a, std::span<const double> x, std::span<double> y) {
  if (x.size() != a.cols() || y.size() != a.rows()) size_mismatch();
  const std::size_t rows = a.rows();
  for (std::size_t i = 0; i < rows; ++i) y[i] = 0.0;
  const bool lower = a.lower_triangular();
  for (std::size_t j = 0; j < a.cols(); ++j) {
    const double* col = a.column(j);
    const double xj = x[j];
    for (std::size_t i = lower ? j : 0; i < rows; ++i) y[i] += col[i] * xj;
  }
}

Matrix multiply(const Matrix& a, const Matrix& b) {
  if (a.cols() != b.rows()) size_mismatch();
  Matrix c(a.rows(), b.cols());
  for (std::size_t j = 0; j < b.cols(); ++j) {
    double* out = c.column(j);
    for (std::size_t k = 0; k < a.cols(); ++k) {
      const double* col = a.column(k);
      const double bkj = b(k, j);
      for (std::size_t i = 0; i < a.rows(); ++i) out[i] += col[i] * bkj;
    }
  }
  return c;
}

namespace {

// Block sizes of the Cholesky attempt: a block of kPanel columns is updated
// by earlier columns kPanel at a time, kRows rows at a time, so the columns
// being read stay in cache.  Each entry still sees its updates in
// increasing column order, which is all that fixes its bits.
constexpr std::size_t kPanel = 32;
constexpr std::size_t kRows = 256;

// Column j (rows from `first`) minus L[j][k] times column k, k = k0 … k1 − 1.
void subtract_columns(Matrix& l, std::size_t j, std::size_t k0, std::size_t k1,
                      std::size_t first, std::size_t end) {
  double* cj = l.column(j);
  std::size_t k = k0;
  // Four columns per pass keep the running entry in a register; the
  // subtractions still happen in increasing k.
  for (; k + 4 <= k1; k += 4) {
    const double* c0 = l.column(k);
    const double* c1 = l.column(k + 1);
    const double* c2 = l.column(k + 2);
    const double* c3 = l.column(k + 3);
    const double l0 = c0[j], l1 = c1[j], l2 = c2[j], l3 = c3[j];
    for (std::size_t i = first; i < end; ++i) {
      double c = cj[i];
      c = c - l0 * c0[i];
      c = c - l1 * c1[i];
      c = c - l2 * c2[i];
      c = c - l3 * c3[i];
      cj[i] = c;
    }
  }
  for (; k < k1; ++k) {
    const double* ck = l.column(k);
    const double ljk = ck[j];
    for (std::size_t i = first; i < end; ++i) cj[i] = cj[i] - ljk * ck[i];
  }
}

}  // namespace

bool cholesky_lower(const Matrix& a, Matrix& l) {
  const std::size_t n = a.rows();
  if (a.cols() != n) fail("covariance factor: the matrix is not square");
  l = Matrix(n, n);
  for (std::size_t j = 0; j < n; ++j) {
    const double* src = a.column(j);
    double* dst = l.column(j);
    for (std::size_t i = j; i < n; ++i) dst[i] = src[i];
  }
  for (std::size_t j0 = 0; j0 < n; j0 += kPanel) {
    const std::size_t j1 = std::min(n, j0 + kPanel);
    // Every column before the panel, applied to the panel.
    for (std::size_t r0 = j0; r0 < n; r0 += kRows) {
      const std::size_t r1 = std::min(n, r0 + kRows);
      for (std::size_t k0 = 0; k0 < j0; k0 += kPanel) {
        const std::size_t k1 = std::min(j0, k0 + kPanel);
        for (std::size_t j = j0; j < j1 && j < r1; ++j) {
          subtract_columns(l, j, k0, k1, std::max(j, r0), r1);
        }
      }
    }
    // Then the panel's own columns, one after another.
    for (std::size_t j = j0; j < j1; ++j) {
      subtract_columns(l, j, j0, j, j, n);
      double* cj = l.column(j);
      const double d = cj[j];
      if (!(d > 0.0)) return false;
      const double root = std::sqrt(d);
      cj[j] = root;
      for (std::size_t i = j + 1; i < n; ++i) cj[i] = cj[i] / root;
    }
  }
  l.set_lower_triangular(true);
  return true;
}

namespace {

bool lower_triangle_finite(const Matrix& a) {
  for (std::size_t j = 0; j < a.cols(); ++j) {
    const double* col = a.column(j);
    for (std::size_t i = j; i < a.rows(); ++i) {
      if (!std::isfinite(col[i])) return false;
    }
  }
  return true;
}

// V · diag(√max(λ, floor)) from Eigen's symmetric solver (Householder
// tridiagonalisation, then implicit QR with Wilkinson shifts; its iteration
// count is bounded, and running out of it is reported, not looped on).
Matrix eigen_repair(const Matrix& a) {
  const std::size_t n = a.rows();
  Matrix b(n, n);
  if (!lower_triangle_finite(a)) {
    // No eigendecomposition of a non-finite matrix: the factor carries the
    // NaN on to the samples, as every other non-finite parameter does.
    for (std::size_t j = 0; j < n; ++j) {
      double* col = b.column(j);
      for (std::size_t i = 0; i < n; ++i) col[i] = std::numeric_limits<double>::quiet_NaN();
    }
    return b;
  }
  const auto size = static_cast<Eigen::Index>(n);
  try {
    Eigen::Map<const Eigen::MatrixXd> view(a.column(0), size, size);
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(view, Eigen::ComputeEigenvectors);
    if (solver.info() != Eigen::Success) {
      fail("covariance factor: the symmetric eigensolver did not converge");
    }
    const Eigen::VectorXd& lambda = solver.eigenvalues();
    const Eigen::MatrixXd& v = solver.eigenvectors();
    for (std::size_t j = 0; j < n; ++j) {
      const auto jj = static_cast<Eigen::Index>(j);
      const double d = std::sqrt(std::max(lambda(jj), kEigenvalueFloor));
      double* col = b.column(j);
      for (std::size_t i = 0; i < n; ++i) col[i] = v(static_cast<Eigen::Index>(i), jj) * d;
    }
  } catch (const std::bad_alloc&) {
    fail("covariance factor: the eigendecomposition of a " + std::to_string(n) + " x " +
         std::to_string(n) + " matrix cannot be allocated");
  }
  return b;
}

}  // namespace

Matrix covariance_factor(const Matrix& a) {
  Matrix l;
  if (cholesky_lower(a, l)) return l;
  l = Matrix();  // free the abandoned attempt before the solver's workspace
  return eigen_repair(a);
}

}  // namespace tidemark
