// MAR feature scoring: the basic features of MAR draws of many candidate
// configurations at several lengths, for searching over configurations.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "augmentation/features.hpp"
#include "core/param_error.hpp"

namespace tidemark {

struct MarCandidates {
  std::span<const std::vector<double>> scalars;               // per candidate
  std::span<const std::vector<std::vector<double>>> arrays;   // per candidate
  std::span<const std::vector<uint64_t>> seeds;               // per candidate, one per length
};

// The features of candidate i's draws in length order, or nothing when
// one of its draws or feature computations failed.
using MarScores = std::vector<std::optional<std::vector<BasicFeatures>>>;

// "invalid MAR feature batch dimensions or lengths" unless the counts agree,
// there is at least one length, every length is in [3, 1000000] and every
// candidate has one seed per length.
Status check_mar_feature_batch(const MarCandidates& candidates,
                               std::span<const uint64_t> lengths);

// Scores candidate i into scores[i] (which must have one slot per
// candidate).  Never throws and never fails: any failure of a draw (its
// ParamError, an InternalFailure, a work buffer that cannot be had) or of
// its features leaves the candidate's slot empty.
void score_mar_candidate(const MarCandidates& candidates, std::span<const uint64_t> lengths,
                         std::optional<uint64_t> period, std::size_t i, MarScores& scores);

}  // namespace tidemark
