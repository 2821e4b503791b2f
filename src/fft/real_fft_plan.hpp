// Forward, unnormalised DFT of real input of any length, planned once per
// length.  A plan is immutable after construction, so one plan may serve
// many threads at once; every transform brings its own scratch buffer.
//
// Even lengths pack the input into a complex sequence of half the length;
// the complex transform is an iterative radix-2 one for powers of two and
// Bluestein's chirp-z over a power-of-two transform for every other length.
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
    std::size_t fft_size = 0;     // power of two actually transformed
    bool bluestein = false;
    std::vector<double> twiddles;  // exp(-2 pi i j / fft_size), j < fft_size/2, interleaved
    std::vector<double> chirp;     // exp(-i pi k^2 / m), k < m, interleaved
    std::vector<double> filter;    // transformed conjugate chirp, fft_size values, pre-scaled

    void plan(std::size_t length);
    std::size_t scratch_doubles() const { return bluestein ? 2 * fft_size : 0; }
    void run(double* data, double* scratch) const;
  };

  std::size_t n_;
  std::size_t scratch_size_ = 0;
  ComplexTransform inner_;
  std::vector<double> untangle_;  // exp(-2 pi i k / n), k <= n/2, interleaved (even n only)
};

}  // namespace tidemark
