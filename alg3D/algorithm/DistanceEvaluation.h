// Evaluation of per-point distances: range test, statistics, false colours and the
// selection by range, with the statistics text of the distance tool.
//
// Inputs: the distances (one per test point, in test order) and the settings below.
// A value v (abs(v) with `absolute`) is in range when minD <= v <= maxD. Values
// that are not real distances never are: the unset marker (largest finite double),
// non-finite values, and the no-partner marker (-1) when `noPartnerMarker` is set
// (point-cloud references). They are left out of statistics, colours (they stay
// black) and selection, whatever the range.
// Outputs: count, minimum, maximum, mean, median (rank N/2 of the in-range values,
// the upper middle for even N, by selection), population standard deviation (all 0
// for an empty range), the colour range used, one colour per point (black outside
// the range, else the colour scale over 240 degrees), one selection flag per point
// and the number selected.
// No exceptions apart from allocation. Cost: O(n) on average.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "alg3D/matrix/GLPoint.h"

namespace alg3D {
namespace algorithm {

struct DistanceEvaluationSettings {
    double minD = -std::numeric_limits<double>::max();  // empty field
    double maxD = std::numeric_limits<double>::max();   // empty field
    bool absolute = false;
    bool selectInside = false;
    bool selectOutside = false;
    bool colorAuto = true;
    double colorMin = 0.0;  // used unless colorAuto
    double colorMax = 0.0;
    bool noPartnerMarker = false;  // -1 marks a point without a partner
};

struct DistanceEvaluation {
    std::uint64_t pairs = 0;  // values in range
    double minDev = 0.0;
    double maxDev = 0.0;
    double meanDev = 0.0;
    double median = 0.0;
    double stdDev = 0.0;
    double colorMin = 0.0;  // the colour range used
    double colorMax = 0.0;
    std::vector<Color> colors;   // one per point
    std::vector<char> selected;  // one per point; all 0 unless a select box is set
    std::uint64_t selectedCount = 0;

    // "minDev.: …\nmaxDev.: …\nmeanDev.: …\nmedian: …\nstdDev.: …\npairs: N\n"
    // "selected: N\nduration: " + duration (no line break at the end).
    std::string text(const std::string& duration) const;
};

// Whether a value is a real distance (not a marker, finite).
bool isRealDistance(double value, bool noPartnerMarker);

DistanceEvaluation evaluateDistances(const std::vector<double>& values,
                                     const DistanceEvaluationSettings& settings);

}  // namespace algorithm
}  // namespace alg3D
