#include "augmentation/mar_features.hpp"

#include <new>

#include "core/internal_failure.hpp"
#include "generators/mar/mar.hpp"

namespace tidemark {

namespace {

constexpr uint64_t kMinLength = 3, kMaxLength = 1'000'000;

// The candidate's draws in length order; nothing at the first failure.
std::optional<std::vector<BasicFeatures>> score(const MarCandidates& c,
                                                std::span<const uint64_t> lengths,
                                                std::optional<uint64_t> period, std::size_t i) {
  std::vector<BasicFeatures> features;
  features.reserve(lengths.size());
  std::vector<double> values;
  MarWorkspace workspace;
  for (std::size_t j = 0; j < lengths.size(); ++j) {
    values.assign(lengths[j], 0.0);
    if (generate_mar(values, c.scalars[i], c.arrays[i], c.seeds[i][j], workspace)) {
      return std::nullopt;
    }
    Result<BasicFeatures> f = features_core(values, period);
    if (!f.ok()) return std::nullopt;
    features.push_back(f.value());
  }
  return features;
}

}  // namespace

Status check_mar_feature_batch(const MarCandidates& c, std::span<const uint64_t> lengths) {
  bool ok = c.arrays.size() == c.scalars.size() && c.seeds.size() == c.scalars.size() &&
            !lengths.empty();
  for (uint64_t n : lengths) ok = ok && n >= kMinLength && n <= kMaxLength;
  for (const auto& s : c.seeds) ok = ok && s.size() == lengths.size();
  if (ok) return std::nullopt;
  return param_error("invalid MAR feature batch dimensions or lengths");
}

// A candidate that cannot be drawn is an unfit candidate, not a failed
// call: whatever stops its draws (the generator's refusal, a sampler's
// internal check, a work buffer too large for memory) only empties its slot.
void score_mar_candidate(const MarCandidates& candidates, std::span<const uint64_t> lengths,
                         std::optional<uint64_t> period, std::size_t i, MarScores& scores) {
  try {
    scores[i] = score(candidates, lengths, period, i);
  } catch (const InternalFailure&) {
    scores[i] = std::nullopt;
  } catch (const std::bad_alloc&) {
    scores[i] = std::nullopt;
  }
}

}  // namespace tidemark
