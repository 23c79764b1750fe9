#include "alg3D/algorithm/DistanceEvaluation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "alg3D/algorithm/Distances.h"
#include "alg3D/matrix/ColorScale.h"

namespace alg3D {
namespace algorithm {

bool isRealDistance(double value, bool noPartnerMarker) {
    if (!std::isfinite(value) || value == kDistanceUnset) return false;
    return !(noPartnerMarker && value == kDistanceNoPartner);
}

DistanceEvaluation evaluateDistances(const std::vector<double>& values,
                                     const DistanceEvaluationSettings& s) {
    DistanceEvaluation e;
    const std::size_t n = values.size();
    std::vector<char> inRange(n, 0);
    std::vector<double> used;  // in-range values (absolute when asked), input order
    used.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!isRealDistance(values[i], s.noPartnerMarker)) continue;
        const double v = s.absolute ? std::abs(values[i]) : values[i];
        if (s.minD <= v && v <= s.maxD) {
            inRange[i] = 1;
            used.push_back(v);
        }
    }

    e.pairs = used.size();
    if (!used.empty()) {
        double sum = 0.0;
        e.minDev = used.front();
        e.maxDev = used.front();
        for (double v : used) {
            sum += v;
            e.minDev = std::min(e.minDev, v);
            e.maxDev = std::max(e.maxDev, v);
        }
        e.meanDev = sum / static_cast<double>(used.size());
        double squares = 0.0;
        for (double v : used)
            squares += (v - e.meanDev) * (v - e.meanDev);
        e.stdDev = std::sqrt(squares / static_cast<double>(used.size()));
        std::vector<double> work(used);
        const auto mid = work.begin() + static_cast<std::ptrdiff_t>(work.size() / 2);
        std::nth_element(work.begin(), mid, work.end());
        e.median = *mid;
    }

    if (s.colorAuto) {
        e.colorMin = std::max(e.minDev, e.meanDev - 3.0 * e.stdDev);
        e.colorMax = std::min(e.maxDev, e.meanDev + 3.0 * e.stdDev);
    } else {
        e.colorMin = s.colorMin;
        e.colorMax = s.colorMax;
    }

    const double u = e.colorMin;
    const double w = e.colorMax;
    e.colors.assign(n, Color(0, 0, 0));
    e.selected.assign(n, 0);
    const bool select = s.selectInside || s.selectOutside;
    for (std::size_t i = 0; i < n; ++i) {
        const bool real = isRealDistance(values[i], s.noPartnerMarker);
        if (inRange[i]) {
            const double v = s.absolute ? std::abs(values[i]) : values[i];
            double a;
            if (w <= u || v <= u)
                a = 0.0;
            else if (v >= w)
                a = 1.0;
            else
                a = (v - u) / (w - u);
            e.colors[i] = colorScale(a, 240.0);
        }
        if (select && real &&
            ((s.selectInside && inRange[i]) || (s.selectOutside && !inRange[i]))) {
            e.selected[i] = 1;
            ++e.selectedCount;
        }
    }
    return e;
}

std::string DistanceEvaluation::text(const std::string& duration) const {
    char buffer[2048];
    std::snprintf(buffer, sizeof buffer,
                  "minDev.: %.8f\nmaxDev.: %.8f\nmeanDev.: %.8f\nmedian: %.8f\nstdDev.: %.8f\n"
                  "pairs: %llu\nselected: %llu\nduration: ",
                  minDev, maxDev, meanDev, median, stdDev, static_cast<unsigned long long>(pairs),
                  static_cast<unsigned long long>(selectedCount));
    return buffer + duration;
}

}  // namespace algorithm
}  // namespace alg3D
