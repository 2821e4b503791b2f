// Exact sampling of a stationary Gaussian sequence by circulant embedding,
// shared by the Gaussian process and Davies–Harte fractional noise.
#pragma once

#include <cstddef>
#include <span>

#include "rng/random_stream.hpp"

namespace tidemark {

// The circulant size m for n values: 2 below n = 2, else twice the smallest
// power of two >= n.
std::size_t circulant_size(std::size_t n);

// Fills `out` (n values) with Re(w_i) · √m for the embedding of the
// covariances `c` = c(0) … c(m/2), m = circulant_size(n) (InternalFailure
// for another count).  Draws m standard normals from `stream`.
void circulant_sample(std::span<const double> c, RandomStream& stream, std::span<double> out);

}  // namespace tidemark
