// Point-to-plane ICP registration: moves a data cloud onto a reference (points or a
// triangle mesh) by minimising the distance of every paired data point to the tangent
// plane of the reference's surface at its partner, on the same state record as
// registerGauss.
//
// Inputs: the state (settings, freedom bits, "Is origin", transform, cancel), the data
//   range [begin, end), samples (0 = all), search radius (<= 0 = unbounded), maximum
//   iterations, tolerance, and the partner search of the reference (IcpPartner: the
//   nearest point with the tangent plane there; a zero normal = no usable plane, such
//   pairs count in the statistics but not in the step).
// Each step: the system linearised in the small rotation ω, the translation and the
//   log-scale (6x6, 7x7 with scale), the columns of clear freedom bits removed, solved by
//   SVD; directions the pairs do not fix (the rotation about a plane's normal, say) get no
//   step and are reported, so they never drift. ω becomes an exact rotation. The step uses
//   the pairs (of `samples` data points sampled as registerGauss samples them, all with
//   samples 0) that are not farther apart than the median plus three robust deviations of
//   the pair distances, at least twice the median (data beyond the reference's edge drop
//   out, say); with samples the next pairing searches within 1.5 times that distance.
//   Optional robust weights (Huber or Tukey, scale 1.4826 · median |plane residual|).
// Outputs: the state's transform (published whole), pairs (distance = |data - partner|),
//   statistics and iterations as for registerGauss; the report's unobservable freedom
//   bits and plane residuals. Codes: 0 the step is shorter than a tenth of the tolerance
//   (at least the length floor 1e-6), 1 the mean plane distance is below the tolerance,
//   2 iteration limit or cancel, 3 too few points or pairs; the step also counts as
//   converged below a hundredth of the plane distances' RMS. After code 0 or 1 rounds of
//   Gauss-Newton steps on the settled pairs and a new pairing polish the result until the
//   pairs stand (at most six).
// Thresholds scale with the data's size (pointSpread) below 1, so the same part gives the
//   same transform relative to its size in any unit.
// Errors: none of its own (allocation aside). Cost per iteration: one partner query per
//   sampled point (O(m log n_ref), plus a local surface on a reference point's first
//   visit) and O(m) for the system; parallel over `threads`.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
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

// The reference's surface near a query point: its partner `point` (the nearest reference
// point, the closest mesh point), the unit `normal` of the surface there (zero when it has
// none) and the tangent plane {y : normal·(y - point) = offset} the query is measured
// against. A mesh gives its closest point, the face normal and offset 0; a point reference
// its nearest point with the tangent plane of the local surface under the query.
struct IcpPartner {
    Vec3d point;
    Vec3d normal;
    double offset = 0.0;
    std::size_t element = 0;  // the reference element, for a plane given later
};

// The partner search of a reference. `find` gives the partner of a query within a radius
// (false: none); when `plane` is set, `find` gives the point and element only and `plane`
// the normal and offset later, for the pairs the step uses (a plane that costs a
// neighbourhood is then computed only for those).
struct IcpNearestWithNormal {
    using Find = std::function<bool(const Vec3d& query, double radius, IcpPartner& partner)>;
    using Plane = std::function<void(const Vec3d& query, IcpPartner& partner)>;
    Find find;
    Plane plane;

    IcpNearestWithNormal() = default;
    IcpNearestWithNormal(Find f, Plane p) : find(std::move(f)), plane(std::move(p)) {}
    // A search that gives whole partners.
    template <typename F, typename = std::enable_if_t<
                              std::is_invocable_r_v<bool, F&, const Vec3d&, double, IcpPartner&>>>
    IcpNearestWithNormal(F f) : find(std::move(f)) {}
    // The whole partner at once.
    bool operator()(const Vec3d& query, double radius, IcpPartner& partner) const {
        if (!find(query, radius, partner)) return false;
        if (plane) plane(query, partner);
        return true;
    }
};

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

// Nearest point of a built tree with the tangent plane there: the normal of the same index
// in `normals` (one per indexed point, in the tree's input order), offset 0. Tree and
// normals must outlive the function.
template <typename Q>
IcpNearestWithNormal icpNearestPointWithNormal(const KdTree<Q>& tree, const Vec3f* normals);

// The local surfaces of a point reference, each computed when a pair first needs it and
// kept: the normal (as normalsKNearest computes it, or the cloud's own when given) and the
// quadric w = c0·u + c1·v + c2·u² + c3·u·v + c4·v² through the point, fitted by least
// squares to its k nearest points in that normal's frame (u, v in the plane, w along the
// normal). A query is measured against the quadric's tangent plane under it (at the
// query's in-plane position, at most the neighbourhood's radius from the point): between
// independent samples of a curved surface the tangent plane at the nearest sample is off
// by about curvature · spacing² / 2, the quadric's by a third-order term, and data on the
// reference points themselves lie on it. A neighbourhood that fixes no quadric (fewer than
// five points, a line) keeps the tangent plane at the point.
// Memory: pages of 4096 surfaces (65 bytes each) where pairs ask, so a run with samples on
// a large reference touches a small part of it. Safe from the pairing's threads (a surface
// asked for by two threads at once may be computed twice, with the same result). The tree
// (and the given normals) must be ready before allocate() and outlive the object.
template <typename Q>
class IcpLocalSurfaces {
  public:
    IcpLocalSurfaces(const KdTree<Q>& tree, std::size_t k, const Vec3f* givenNormals = nullptr);
    ~IcpLocalSurfaces();
    IcpLocalSurfaces(const IcpLocalSurfaces&) = delete;
    IcpLocalSurfaces& operator=(const IcpLocalSurfaces&) = delete;
    // Sizes the store for the tree's elements (none computed yet).
    void allocate();
    // The unit normal at element `index` (zero for a degenerate neighbourhood).
    Vec3d normalAt(std::size_t index) const;
    // The partner of a query whose nearest reference point is element `index`.
    IcpPartner partnerOf(std::size_t index, const Vec3d& query) const;
    std::size_t computed() const { return computed_.load(); }
    // Nearest point with its local surface; the object must outlive the function.
    IcpNearestWithNormal nearest() const;

    struct Surface {
        float normal[3];
        double c[5];
        double radius;  // of the neighbourhood in the frame's plane; 0: the plane only
    };

  private:
    struct Page;
    const Surface& surfaceAt(std::size_t index, Surface& scratch) const;

    const KdTree<Q>& tree_;
    std::size_t k_;
    const Vec3f* given_;
    std::size_t size_ = 0;
    std::size_t pageCount_ = 0;
    std::unique_ptr<std::atomic<Page*>[]> pages_;
    mutable std::atomic<std::size_t> computed_{0};
};

// Closest point on a mesh with the normal of the triangle it lies on.
IcpNearestWithNormal icpNearestOnMeshWithNormal(const KdTree<KdTriangleProxy<Vec3d>>& tree);

// "rx, tz, s" for the bits set (empty for none).
std::string icpFreedomNames(unsigned bits);

}  // namespace algorithm
}  // namespace alg3D
