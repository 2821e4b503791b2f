// Dense matrix helpers, the radix-2 FFT and circulant embedding: internal
// units the Python surface reaches only through whole generators.
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/internal_failure.hpp"
#include "fft/fft.hpp"
#include "generators/multivariate/circulant.hpp"
#include "linalg/matrix.hpp"
#include "rng/random_stream.hpp"
#include "testing.hpp"

using namespace tidemark;

namespace {

Matrix from_rows(std::vector<double> flat, std::size_t n) { return matrix_from_flat(flat, n, n, "m"); }

// max |(B·Bᵀ − A)_ij|
double reconstruction_error(const Matrix& b, const Matrix& a) {
  Matrix bt(b.cols(), b.rows());
  for (std::size_t i = 0; i < b.rows(); ++i)
    for (std::size_t j = 0; j < b.cols(); ++j) bt(j, i) = b(i, j);
  const Matrix c = multiply(b, bt);
  double worst = 0.0;
  for (std::size_t i = 0; i < a.rows(); ++i)
    for (std::size_t j = 0; j < a.cols(); ++j) worst = std::max(worst, std::fabs(c(i, j) - a(i, j)));
  return worst;
}

}  // namespace

TEST_CASE("flat matrices are row-major and refuse a wrong length") {
  const Matrix m = matrix_from_flat(std::vector<double>{1, 2, 3, 4, 5, 6}, 2, 3, "m");
  CHECK_EQ(m.rows(), 2u);
  CHECK_EQ(m.cols(), 3u);
  CHECK_EQ(m(0, 2), 3.0);
  CHECK_EQ(m(1, 0), 4.0);
  CHECK_FAILS_WITH(matrix_from_flat(std::vector<double>{1, 2, 3}, 2, 2, "f_mat"), "f_mat");
  CHECK_FAILS_WITH(matrix_from_flat(std::vector<double>{}, uint64_t{1} << 32, uint64_t{1} << 32, "h"),
                   "h: dimensions overflow");
  CHECK_FAILS_WITH(checked_product(UINT64_MAX, 2, "x"), "x: dimensions overflow");
  // A product that fits 64 bits but no allocator.
  CHECK_FAILS_WITH(Matrix(uint64_t{1} << 31, uint64_t{1} << 31), "matrix of");
}

TEST_CASE("matrix-vector product sums each row in increasing column order") {
  // 1e16 + 1 - 1e16 is 0 left to right and 1 in any other order.
  const Matrix a = matrix_from_flat(std::vector<double>{1e16, 1.0, -1e16}, 1, 3, "a");
  const std::vector<double> x{1.0, 1.0, 1.0};
  std::vector<double> y(1);
  multiply(a, x, y);
  CHECK_EQ(y[0], 0.0);
  CHECK_EQ(multiply_row(a, 0, x), 0.0);
  const Matrix c = multiply(a, matrix_from_flat(std::vector<double>{1, 1, 1}, 3, 1, "b"));
  CHECK_EQ(c(0, 0), 0.0);
}

TEST_CASE("covariance factor edge cases") {
  const Matrix one = covariance_factor(from_rows({4.0}, 1));
  CHECK_EQ(one(0, 0), 2.0);
  for (double bad : {0.0, -3.0}) {
    const Matrix f = covariance_factor(from_rows({bad}, 1));
    CHECK_EQ(std::fabs(f(0, 0)), 1e-5);
  }
  const Matrix id = covariance_factor(from_rows({1, 0, 0, 0, 1, 0, 0, 0, 1}, 3));
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t j = 0; j < 3; ++j) CHECK_EQ(id(i, j), i == j ? 1.0 : 0.0);
  CHECK(covariance_factor(Matrix(0, 0)).rows() == 0);
}

TEST_CASE("a positive definite matrix gives its Cholesky factor, in the fixed loop order") {
  const std::vector<double> flat{4, 2, -2, 2, 10, 5, -2, 5, 9};
  const Matrix a = from_rows(flat, 3);
  const Matrix l = covariance_factor(a);
  CHECK(l.lower_triangular());
  // Reference: the same column-by-column recurrence written out.
  double r[3][3] = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j <= i; ++j) r[i][j] = flat[i * 3 + j];
  for (int j = 0; j < 3; ++j) {
    for (int k = 0; k < j; ++k)
      for (int i = j; i < 3; ++i) r[i][j] = r[i][j] - r[j][k] * r[i][k];
    const double s = std::sqrt(r[j][j]);
    r[j][j] = s;
    for (int i = j + 1; i < 3; ++i) r[i][j] = r[i][j] / s;
  }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) CHECK_EQ(l(i, j), j <= i ? r[i][j] : 0.0);
  CHECK(reconstruction_error(l, a) < 1e-14);
  // Only the lower triangle is read.
  const Matrix upper_noise = covariance_factor(from_rows({4, 99, 99, 2, 10, 99, -2, 5, 9}, 3));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) CHECK_EQ(upper_noise(i, j), l(i, j));
}

TEST_CASE("the blocked Cholesky attempt has the bits of the plain column loop") {
  // Large enough to cross the panel and row-chunk boundaries.
  const std::size_t n = 300;
  RandomStream s(17);
  std::vector<double> g(n * n);
  for (double& x : g) x = s.standard_normal();
  Matrix a(n, n);  // G·Gᵀ / n + I, positive definite
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      double sum = 0.0;
      for (std::size_t k = 0; k < n; ++k) sum += g[i * n + k] * g[j * n + k];
      a(i, j) = sum / static_cast<double>(n) + (i == j ? 1.0 : 0.0);
    }
  std::vector<double> r(n * n);  // row-major reference, lower triangle
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j <= i; ++j) r[i * n + j] = a(i, j);
  for (std::size_t j = 0; j < n; ++j) {
    for (std::size_t k = 0; k < j; ++k)
      for (std::size_t i = j; i < n; ++i) r[i * n + j] = r[i * n + j] - r[j * n + k] * r[i * n + k];
    const double root = std::sqrt(r[j * n + j]);
    r[j * n + j] = root;
    for (std::size_t i = j + 1; i < n; ++i) r[i * n + j] = r[i * n + j] / root;
  }
  const Matrix l = covariance_factor(a);
  CHECK(l.lower_triangular());
  std::size_t mismatches = 0;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) mismatches += l(i, j) != (j <= i ? r[i * n + j] : 0.0);
  CHECK_EQ(mismatches, 0u);
}

TEST_CASE("repair: rank-deficient and indefinite matrices") {
  const Matrix ones = from_rows({1, 1, 1, 1}, 2);
  Matrix attempt;
  CHECK(!cholesky_lower(ones, attempt));
  const Matrix b = covariance_factor(ones);
  CHECK(!b.lower_triangular());
  // B·Bᵀ = V diag(2, 1e-10) Vᵀ: trace 2 + 1e-10, determinant 2e-10.
  Matrix bt(2, 2);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) bt(j, i) = b(i, j);
  const Matrix c = multiply(b, bt);
  CHECK_NEAR(c(0, 0) + c(1, 1), 2.0 + 1e-10, 1e-14);
  CHECK_NEAR(c(0, 0) * c(1, 1) - c(0, 1) * c(1, 0), 2e-10, 1e-15);
  CHECK(reconstruction_error(b, ones) < 1e-9);

  // Eigenvalues 3, -1: the negative one is raised to the floor.
  const Matrix indefinite = from_rows({1, 2, 2, 1}, 2);
  const Matrix f = covariance_factor(indefinite);
  // 3·vvᵀ with v = (1, 1)/√2, plus 1e-10·uuᵀ with u ⊥ v.
  const Matrix expected = from_rows({1.5, 1.5, 1.5, 1.5}, 2);
  CHECK(reconstruction_error(f, expected) < 1e-9);
}

TEST_CASE("repair of a non-finite matrix ends with a NaN factor") {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {nan, inf, -inf}) {
    const Matrix f = covariance_factor(from_rows({1, 0, bad, 1}, 2));
    CHECK(std::isnan(f(0, 0)) && std::isnan(f(1, 1)));
  }
  CHECK_FAILS_WITH(covariance_factor(matrix_from_flat(std::vector<double>{1, 2}, 1, 2, "r")),
                   "covariance factor: the matrix is not square");
}

TEST_CASE("fft matches the direct transform and inverts") {
  const std::size_t n = 16;
  std::vector<std::complex<double>> a(n), direct(n);
  for (std::size_t j = 0; j < n; ++j) {
    const auto x = static_cast<double>(j);
    a[j] = {std::sin(0.7 * x) + 0.1 * x, std::cos(1.3 * x)};
  }
  for (std::size_t k = 0; k < n; ++k) {
    std::complex<double> s = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
      const double angle =
          -6.283185307179586 * static_cast<double>(j * k % n) / static_cast<double>(n);
      s += a[j] * std::complex<double>(std::cos(angle), std::sin(angle));
    }
    direct[k] = s;
  }
  std::vector<std::complex<double>> b = a;
  fft_in_place(b, false);
  for (std::size_t k = 0; k < n; ++k) CHECK(std::abs(b[k] - direct[k]) < 1e-12);
  fft_in_place(b, true);
  for (std::size_t k = 0; k < n; ++k) CHECK(std::abs(b[k] - a[k]) < 1e-14);

  const std::vector<double> real{1.0, 2.0, 3.0, 4.0};
  const auto spectrum = real_fft(real);
  CHECK_EQ(spectrum[0].real(), 10.0);
  CHECK_EQ(spectrum[2].real(), -2.0);
  CHECK_EQ(spectrum[1].real(), -2.0);
  CHECK_EQ(spectrum[1].imag(), 2.0);
  std::vector<std::complex<double>> odd(3), one(1);
  CHECK_FAILS_WITH(fft_in_place(odd, false), "fft: the length must be a power of two");
  CHECK_FAILS_WITH(fft_in_place(one, false), "fft: the length must be a power of two");
}

TEST_CASE("circulant sizes and the two-point embedding") {
  CHECK_EQ(circulant_size(0), 2u);
  CHECK_EQ(circulant_size(1), 2u);
  CHECK_EQ(circulant_size(2), 4u);
  CHECK_EQ(circulant_size(3), 8u);
  CHECK_EQ(circulant_size(4), 8u);
  CHECK_EQ(circulant_size(2000), 4096u);
  // n = 1, m = 2: x0 = ((√(c0 + c1)·z1 + √(c0 − c1)·z2) / 2)·√2.
  const std::vector<double> c{2.0, 0.5};
  RandomStream s(9), t(9);
  std::vector<double> out(1);
  circulant_sample(c, s, out);
  const double z1 = t.standard_normal(), z2 = t.standard_normal();
  const double expected = ((std::sqrt(2.5) * z1 + std::sqrt(1.5) * z2) / 2.0) * std::sqrt(2.0);
  CHECK_NEAR(out[0], expected, 1e-15);
  CHECK_FAILS_WITH(circulant_sample(std::vector<double>{1.0}, s, out),
                   "circulant embedding: wrong number of covariances");
}
