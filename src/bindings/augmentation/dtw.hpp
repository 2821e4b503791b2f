// Declarations of the DTW, neighbour-search and DBA functions, so that the
// submodule's table (augmentation.cpp) lists them in registration order.
#pragma once

#include "call_road/declaration.hpp"

namespace tidemark::py {

inline constexpr Param kDtwPairParams[] = {
    {"a", Kind::RealArray}, {"b", Kind::RealArray}, {"band", Kind::OptionalInt64, "None"}};
inline constexpr Signature kDtwAlignment{"dtw_alignment", kDtwPairParams};
inline constexpr Signature kDtwDistance{"dtw_distance", kDtwPairParams};

inline constexpr Param kNearestDtwNeighborsParams[] = {
    {"series", Kind::RealArraySequence},
    {"window_fraction", Kind::Real},
    {"n_neighbors", Kind::Seed},
};
inline constexpr Signature kNearestDtwNeighbors{"nearest_dtw_neighbors",
                                                kNearestDtwNeighborsParams};

inline constexpr Param kDbaBarycenterParams[] = {
    {"reference", Kind::RealArray},   {"neighbors", Kind::RealArraySequence},
    {"weights", Kind::RealArray},     {"n_iterations", Kind::Seed},
    {"band", Kind::OptionalInt64, "None"},
};
inline constexpr Signature kDbaBarycenter{"dba_barycenter", kDbaBarycenterParams};

inline constexpr Param kDbaBarycentersParams[] = {
    {"reference", Kind::RealArray},          {"neighbors", Kind::RealArraySequence},
    {"weights", Kind::RealSequenceSequence}, {"n_iterations", Kind::Seed},
    {"band", Kind::OptionalInt64, "None"},
};
inline constexpr Signature kDbaBarycenters{"dba_barycenters", kDbaBarycentersParams};

PyObject* dtw_alignment(const Bound<kDtwAlignment>& a);
PyObject* dtw_distance(const Bound<kDtwDistance>& a);
PyObject* nearest_dtw_neighbors(const Bound<kNearestDtwNeighbors>& a);
PyObject* dba_barycenter(const Bound<kDbaBarycenter>& a);
PyObject* dba_barycenters(const Bound<kDbaBarycenters>& a);

}  // namespace tidemark::py
