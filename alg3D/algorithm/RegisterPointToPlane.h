// Point-to-plane ICP registration: moves a data cloud onto a reference (points with
// normals, or a triangle mesh) by minimising the distance of every paired data point to
// the tangent plane of its partner, on the same state record as registerGauss.
//
// Inputs: the state (settings, freedom bits, "Is origin", transform, cancel), the data
//   range [begin, end), samples (0 = all), search radius (<= 0 = unbounded), maximum
//   iterations, tolerance, and the nearest-point function of the reference that also
//   answers the reference's unit normal there (zero = no usable normal; such pairs count
//   in the statistics but not in the step).
// Each step: the system linearised in the small rotation ω, the translation and the
//   log-scale (6x6, 7x7 with scale), the columns of clear freedom bits removed, solved by
//   SVD; directions the pairs do not fix (the rotation about a plane's normal, say) get no
//   step and are reported, so they never drift. ω becomes an exact rotation.
//   Optional robust weights (Huber or Tukey, scale 1.4826 · median |plane residual|).
// Outputs: the state's transform (published whole), pairs (distance = |data - partner|),
//   statistics and iterations as for registerGauss; the report's unobservable freedom
//   bits and plane residuals. Codes: 0 the step is shorter than a tenth of the tolerance
//   (at least the length floor 1e-6), 1 the mean plane distance is below the tolerance,
//   2 iteration limit or cancel, 3 too few points or pairs. After code 0 or 1 up to three
//   more steps are taken while they still move the data.
// Thresholds scale with the data's size (pointSpread) below 1, so the same part gives the
//   same transform relative to its size in any unit.
// Errors: none of its own (allocation aside). Cost per iteration: one nearest query per
//   sampled point (O(m log n_ref)) plus O(m) for the system; parallel over `threads`.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "alg3D/algorithm/IcpRegistration.h"
#include "alg3D/algorithm/KdTree.h"
#include "alg3D/algorithm/KdTriangleProxy.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace algorithm {

// Down-weighting of large plane residuals.
enum IcpRobust : int {
    kIcpRobustNone = 0,
    kIcpRobustHuber = 1,  // w = min(1, k/|r|), k = 1.345·scale
    kIcpRobustTukey = 2,  // w = (1 - (r/c)²)² inside c = 4.685·scale, else 0
};

// Nearest reference point (closest mesh point) within a radius, with the unit normal of
// the reference there (zero when it has none).
using IcpNearestWithNormal =
    std::function<bool(const Vec3d& query, double radius, Vec3d& found, Vec3d& normal)>;

struct PointToPlaneOptions {
    int robust = kIcpRobustNone;  // IcpRobust
};

struct PointToPlaneReport {
    // Freedom bits whose direction the pairs did not fix in the last step (IcpFreedom).
    unsigned unobservable = 0;
    double planeMean = 0.0;  // mean |plane distance| of the accepted pairs
    double planeRms = 0.0;   // root mean square plane distance of the accepted pairs
};

template <typename P>
int registerPointToPlane(IcpState& state, const P* dataBegin, const P* dataEnd, int samples,
                         double searchRadius, std::uint64_t maxIterations, double tolerance,
                         const IcpNearestWithNormal& nearest,
                         const PointToPlaneOptions& options = PointToPlaneOptions(),
                         PointToPlaneReport* report = nullptr);

// Nearest point of a built tree with the normal of the same index in `normals` (one per
// indexed point, in the tree's input order). Tree and normals must outlive the function.
template <typename Q>
IcpNearestWithNormal icpNearestPointWithNormal(const KdTree<Q>& tree, const Vec3f* normals);
// Normals of a point reference computed when a pair first needs them (the k nearest
// points, as normalsKNearest), each once: a registration with samples touches only a small
// part of a large reference. Safe from the pairing's threads (a point asked for by two
// threads at once may be computed twice, with the same result). The tree must be built
// before allocate() and outlive the object.
template <typename Q>
class IcpLazyNormals {
  public:
    IcpLazyNormals(const KdTree<Q>& tree, std::size_t k) : tree_(tree), k_(k) {}
    // Sizes the store for the tree's elements (none computed yet).
    void allocate();
    // The unit normal of element `index` (zero for a degenerate neighbourhood).
    Vec3d at(std::size_t index) const;
    std::size_t computed() const { return computed_.load(); }
    // Nearest point with its normal; the object must outlive the function.
    IcpNearestWithNormal nearest() const;

  private:
    const KdTree<Q>& tree_;
    std::size_t k_;
    std::size_t size_ = 0;
    std::unique_ptr<Vec3f[]> normals_;
    // 0 not computed, 1 being computed, 2 ready.
    std::unique_ptr<std::atomic<unsigned char>[]> states_;
    mutable std::atomic<std::size_t> computed_{0};
};

// Closest point on a mesh with the normal of the triangle it lies on.
IcpNearestWithNormal icpNearestOnMeshWithNormal(const KdTree<KdTriangleProxy<Vec3d>>& tree);

// "rx, tz, s" for the bits set (empty for none).
std::string icpFreedomNames(unsigned bits);

}  // namespace algorithm
}  // namespace alg3D
