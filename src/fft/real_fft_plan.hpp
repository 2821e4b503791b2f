// Forward, unnormalised DFT of real input of any length, planned once per
// length.  A plan is immutable after construction, so one plan may serve
// many threads at once; every transform brings its own scratch buffer.
//
// Even lengths pack the input into a complex sequence of half the length.
// The complex transform is a mixed-radix Stockham transform when every
// prime factor of its length is small, and Bluestein's chirp-z over a
// power-of-two Stockham transform otherwise.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace tidemark {

class RealFftPlan {
 public:
  // Precomputes the twiddle and chirp tables; throws std::bad_alloc when
  // they do not fit.
  explicit RealFftPlan(std::size_t n);

  std::size_t size() const { return n_; }
  // Number of complex outputs: bins 0 ... n/2.
  std::size_t output_size() const { return n_ / 2 + 1; }
  // Number of complex scratch values that forward() needs.
  std::size_t scratch_size() const { return scratch_size_; }

  // out[k] = sum_t in[t] * exp(-2 pi i k t / n) for k = 0 ... n/2.
  // `in` holds n values, `out` output_size() and `scratch` scratch_size();
  // the three must not overlap.
  void forward(const double* in, std::complex<double>* out,
               std::complex<double>* scratch) const;

 private:
  // A complex transform of length m, in place.
  struct ComplexTransform {
    std::size_t m = 0;
    std::size_t fft_size = 0;          // length of the Stockham transform (m, or Bluestein's)
    bool bluestein = false;
    std::vector<std::size_t> factors;  // radices of fft_size, in stage order
    std::vector<double> roots;         // exp(-2 pi i j / fft_size), j < fft_size, interleaved
    std::vector<double> chirp;         // exp(-i pi k^2 / m), k < m, interleaved
    std::vector<double> filter;        // transformed conjugate chirp, pre-scaled

    void plan(std::size_t length);
    std::size_t scratch_doubles() const { return bluestein ? 4 * fft_size : 2 * fft_size; }
    void run(double* data, double* scratch) const;
    // Forward transform of fft_size values in x, y a work area of the same size.
    void stockham(double* x, double* y) const;
  };

  std::size_t n_;
  std::size_t scratch_size_ = 0;
  ComplexTransform inner_;
  std::vector<double> untangle_;  // exp(-2 pi i k / n), k <= n/2, interleaved (even n only)
};

}  // namespace tidemark
