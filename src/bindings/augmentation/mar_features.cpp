// Python binding of the MAR feature scoring batch.
#include <utility>

#include "augmentation/mar_features.hpp"
#include "bindings/augmentation/entries.hpp"
#include "call_road/errors.hpp"
#include "call_road/parallel_call.hpp"

namespace tidemark::py {
namespace {

constexpr Param kMarFeaturesBatchParams[] = {
    {"scalars", Kind::RealSequenceSequence},
    {"arrays", Kind::RealSequenceSequenceSequence},
    {"lengths", Kind::SeedSequence},
    {"seeds", Kind::SeedSequenceSequence},
    {"period", Kind::OptionalSeed, "None"},
    {"n_workers", Kind::Size, "0"},
};
constexpr Signature kMarFeaturesBatch{
    "mar_features_batch", kMarFeaturesBatchParams,
    "Score independent native MAR draws in one pool; failed candidates return None."};

// [spectral_entropy, trend_strength, seasonal_strength, acf1] per draw.
PyObject* draws_list(const std::vector<BasicFeatures>& draws) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(draws.size()));
  for (std::size_t j = 0; list && j < draws.size(); ++j) {
    const BasicFeatures& f = draws[j];
    PyObject* row = Py_BuildValue("[dddd]", f.spectral_entropy, f.trend_strength,
                                  f.seasonal_strength, f.acf1);
    if (!row) {
      Py_CLEAR(list);
    } else {
      PyList_SET_ITEM(list, static_cast<Py_ssize_t>(j), row);
    }
  }
  return list;
}

PyObject* scores_list(const MarScores& scores) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(scores.size()));
  for (std::size_t i = 0; list && i < scores.size(); ++i) {
    PyObject* entry = scores[i] ? draws_list(*scores[i]) : Py_NewRef(Py_None);
    if (!entry) {
      Py_CLEAR(list);
    } else {
      PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), entry);
    }
  }
  return list;
}

PyObject* mar_features_batch(const Bound<kMarFeaturesBatch>& a) {
  const MarCandidates candidates{a.real_lists<"scalars">(), a.real_list_lists<"arrays">(),
                                 a.seed_lists<"seeds">()};
  const std::vector<uint64_t>& lengths = a.seeds<"lengths">();
  if (Status refused = check_mar_feature_batch(candidates, lengths)) {
    raise_value_error(refused->message);
    return nullptr;
  }
  const std::optional<uint64_t> period = a.optional_seed<"period">();
  MarScores scores(candidates.scalars.size());
  if (!run_parallel_released(a.size<"n_workers">(), scores.size(), [&](std::size_t i) -> Status {
        score_mar_candidate(candidates, lengths, period, i, scores);
        return std::nullopt;
      })) {
    return nullptr;
  }
  return scores_list(scores);
}

}  // namespace

constexpr FunctionEntry kMarFeaturesBatchEntry = function<kMarFeaturesBatch, mar_features_batch>();

}  // namespace tidemark::py
