// The radix-2 transform behind circulant embedding.  Its butterflies and the
// twiddle recurrence are fixed, so a seed gives the same samples everywhere.
#pragma once

#include <complex>
#include <span>
#include <vector>

namespace tidemark {

// In-place DFT of a power-of-two length N >= 2 (InternalFailure otherwise).
// Forward: X_k = Σ_j a_j · e^(−2πi·jk/N), unnormalised; inverse: sign + and
// every element multiplied by 1/N afterwards.
void fft_in_place(std::span<std::complex<double>> a, bool inverse);

// The forward transform of a real sequence of power-of-two length.
std::vector<std::complex<double>> real_fft(std::span<const double> c);

}  // namespace tidemark
