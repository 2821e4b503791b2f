#include <cstdint>
#include <limits>
#include <vector>

#include "pattern_injection/pattern_injection.hpp"

namespace tidemark {
namespace {

// Largest range a 32-bit multiply-and-reject draw can cover.
constexpr int64_t kMaxDrawRange = int64_t{1} << 32;

// An integer in [0, j], equal to sample_int_range(0, j + 1) wherever that
// range fits a signed 32-bit bound; beyond it the same unsigned 32-bit
// rejection continues, and a range of exactly 2^32 takes one word as it is.
int64_t draw_inclusive(RandomStream& s, int64_t j) {
  if (j < std::numeric_limits<int32_t>::max()) {
    return s.sample_int_range(0, static_cast<int32_t>(j + 1));
  }
  if (j + 1 >= kMaxDrawRange) return s.next_u32();
  const uint32_t range = static_cast<uint32_t>(j + 1);
  const uint32_t threshold = (0u - range) % range;
  uint64_t product;
  do {
    product = static_cast<uint64_t>(s.next_u32()) * range;
  } while (static_cast<uint32_t>(product) < threshold);
  return static_cast<int64_t>(product >> 32);
}

// Membership bits for positions below n, sized once before the draws.
class PositionSet {
 public:
  explicit PositionSet(int64_t n) : words_(static_cast<std::size_t>((n + 63) / 64), 0) {}

  // Marks p; false if it was already marked.
  bool insert(int64_t p) {
    uint64_t& word = words_[static_cast<std::size_t>(p >> 6)];
    const uint64_t bit = uint64_t{1} << (p & 63);
    const bool fresh = (word & bit) == 0;
    word |= bit;
    return fresh;
  }

 private:
  std::vector<uint64_t> words_;
};

}  // namespace

std::vector<int64_t> sample_distinct_indices(RandomStream& s, int64_t n, int64_t k) {
  std::vector<int64_t> chosen;
  if (n <= 0) return chosen;
  // Positions are drawn with 32-bit ranges; no series reaches this length.
  if (n > kMaxDrawRange) n = kMaxDrawRange;
  k = k < 0 ? 0 : (k > n ? n : k);
  chosen.reserve(static_cast<std::size_t>(k));
  PositionSet taken(n);
  for (int64_t j = n - k; j < n; ++j) {
    int64_t pick = draw_inclusive(s, j);
    // j itself cannot have been chosen yet: earlier picks are all below it.
    if (!taken.insert(pick)) {
      pick = j;
      taken.insert(j);
    }
    chosen.push_back(pick);
  }
  return chosen;
}

}  // namespace tidemark
