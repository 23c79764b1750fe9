#include "alg3D/algorithm/Regions.h"

#include <algorithm>

#include "alg3D/algorithm/KdTree.h"
#include "alg3D/matrix/ColorScale.h"

namespace alg3D {
namespace algorithm {

template <typename P>
bool detectRegions(const ProcessControl& control, const P* begin, const P* end, double radius,
                   std::uint64_t* labels, std::uint64_t& regionCount) {
    regionCount = 0;
    const std::size_t n = (begin && end > begin) ? static_cast<std::size_t>(end - begin) : 0;
    if (n == 0) return !control.aborted();
    KdTree<P> tree;
    tree.build(begin, end, control.abort);
    if (!tree.built()) return false;
    std::fill(labels, labels + n, std::uint64_t(0));
    const float step = 100.0f / static_cast<float>(n);
    const double r = radius + 1e-6;
    std::vector<std::size_t> stack;
    std::vector<const KdEntry<P>*> found;
    for (std::size_t j = 0; j < n; ++j) {
        if (control.aborted()) return false;
        if (tree.isExcluded(j)) continue;
        ++regionCount;
        tree.markExcluded(j);
        stack.assign(1, j);
        while (!stack.empty()) {
            if (control.aborted()) return false;
            const std::size_t d = stack.back();
            stack.pop_back();
            control.addProgress(step);
            found.clear();
            tree.collectWithinAndExclude(alg3D::coords(*tree.entries()[d].element), r, found);
            for (const KdEntry<P>* e : found)
                stack.push_back(tree.positionOf(e));
            labels[tree.elementIndex(d)] = regionCount - 1;
        }
    }
    control.setProgress(100.0f);
    return true;
}

std::vector<Color> regionColors(const std::vector<std::uint64_t>& labels,
                                std::uint64_t regionCount) {
    std::vector<Color> colors(labels.size(), colorScale(0.0, 240.0));
    if (regionCount == 0) return colors;
    for (std::size_t i = 0; i < labels.size(); ++i)
        colors[i] =
            colorScale(static_cast<double>(labels[i]) / static_cast<double>(regionCount), 240.0);
    return colors;
}

std::vector<std::uint8_t> selectSmallRegions(const std::vector<std::uint64_t>& labels,
                                             std::uint64_t regionCount, std::uint64_t maxPoints) {
    std::vector<std::uint64_t> sizes(regionCount, 0);
    for (std::uint64_t l : labels)
        if (l < regionCount) ++sizes[l];
    std::vector<std::uint8_t> selected(labels.size(), 0);
    for (std::size_t i = 0; i < labels.size(); ++i)
        selected[i] = labels[i] < regionCount && sizes[labels[i]] < maxPoints ? 1 : 0;
    return selected;
}

template bool detectRegions<Vec3d>(const ProcessControl&, const Vec3d*, const Vec3d*, double,
                                   std::uint64_t*, std::uint64_t&);
template bool detectRegions<GLPoint>(const ProcessControl&, const GLPoint*, const GLPoint*, double,
                                     std::uint64_t*, std::uint64_t&);

}  // namespace algorithm
}  // namespace alg3D
