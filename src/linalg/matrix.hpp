// Dense matrices for the multivariate generators: flat row-major parameters
// become column-major matrices, products accumulate in a fixed order, and
// covariance_factor turns a symmetric matrix into a square-root factor.
//
// Every size here may come from a batch slot, so dimension products are
// checked in 64-bit arithmetic and a wrong size or an impossible allocation
// is an InternalFailure, never an out-of-bounds access.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tidemark {

// InternalFailure for operands of mismatched sizes.
[[noreturn]] void size_mismatch();

// a · b, or InternalFailure naming `what` when the product does not fit.
uint64_t checked_product(uint64_t a, uint64_t b, const char* what);

class Matrix {
 public:
  Matrix() = default;
  // Zero-filled; a size whose storage cannot be allocated is an
  // InternalFailure.
  Matrix(uint64_t rows, uint64_t cols);

  std::size_t rows() const { return rows_; }
  std::size_t cols() const { return cols_; }
  double& operator()(std::size_t i, std::size_t j) { return data_[j * rows_ + i]; }
  double operator()(std::size_t i, std::size_t j) const { return data_[j * rows_ + i]; }
  double* column(std::size_t j) { return data_.data() + j * rows_; }
  const double* column(std::size_t j) const { return data_.data() + j * rows_; }

  // Zero strictly above the diagonal: products skip those entries.  Their
  // terms are ±0, which never change a sum started at +0 (for finite
  // vectors), so the result is bit-identical to the full product.
  bool lower_triangular() const { return lower_triangular_; }
  void set_lower_triangular(bool v) { lower_triangular_ = v; }

 private:
  std::size_t rows_ = 0;
  std::size_t cols_ = 0;
  std::vector<double> data_;
  bool lower_triangular_ = false;
};

// The rows × cols matrix of a flat row-major parameter, entry (i, j) at
// index i · cols + j.  Any length other than rows · cols is an
// InternalFailure naming `what`.
Matrix matrix_from_flat(std::span<const double> flat, uint64_t rows, uint64_t cols,
                        const char* what);

// y = A · x; each entry accumulated from +0 over the columns in increasing
// order.  x has A.cols() entries, y has A.rows(); they must not overlap.
void multiply(const Matrix& a, std::span<const double> x, std::span<double> y);

// Entry i of A · x alone, accumulated as in multiply().  Inline: the
// generators call it once per value.
inline double multiply_row(const Matrix& a, std::size_t i, std::span<const double> x) {
  if (x.size() != a.cols() || i >= a.rows()) size_mismatch();
  const std::size_t last = a.lower_triangular() ? std::min(i + 1, a.cols()) : a.cols();
  double sum = 0.0;
  for (std::size_t j = 0; j < last; ++j) sum += a(i, j) * x[j];
  return sum;
}

// C = A · B; each entry accumulated from +0 over k in increasing order.
Matrix multiply(const Matrix& a, const Matrix& b);

// B with B · Bᵀ = A for a symmetric A (only its lower triangle is read):
// the Cholesky factor when every pivot is strictly positive, otherwise
// V · diag(√max(λ, 1e-10)) from the symmetric eigendecomposition of A.
// A non-finite matrix that fails the Cholesky attempt gives a factor of NaN;
// a square matrix is required (InternalFailure otherwise).
Matrix covariance_factor(const Matrix& a);

// The Cholesky attempt alone: true with the lower factor in `l` (zeros above
// the diagonal) when every pivot was > 0.
bool cholesky_lower(const Matrix& a, Matrix& l);

}  // namespace tidemark
