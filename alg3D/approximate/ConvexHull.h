// Convex hull of a point set by Quickhull on a half-edge mesh.
//
// Inputs: points (count x Vec3d, any unit) and a tolerance ε: a point counts as outside
// a face only when it lies more than ε above the face's plane (ε <= 0: 1e-10 times the
// scale, the largest absolute coordinate of the six extreme points).
// Outputs: the face table (live faces with unit normals, replaced ones marked -1) and,
// through extract, the hull's vertices (renumbered, in input order) and triangles.
// Degenerate input: no points, one point or points on one line (within ε) give a hull
// without faces. Points on one plane give a closed flat hull: the polygon's
// triangulation twice, once per side, so every edge still has two triangles; the
// temporary point that lifted the construction off the plane is never referenced.
// Robustness: a point whose visible region does not have a single closed horizon
// (possible only within rounding of ε) is dropped as inside, so the loop always ends.
// Abort: an optional flag, tested every 65,536 points of the first assignment and
// before every point added to the hull; once it is set the build ends with a hull
// without faces.
// Cost: expected O(n log h) for n points and h hull vertices; memory linear in n plus
// the faces created during the run.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

class ConvexHull {
  public:
    static constexpr std::uint32_t kNone = 0xffffffffu;

    struct HalfEdge {
        std::uint32_t end = kNone;       // vertex (point index) the edge points to
        std::uint32_t opposite = kNone;  // the twin half-edge of the neighbouring face
        std::uint32_t face = kNone;
        std::uint32_t next = kNone;  // next half-edge of the same face
    };

    struct Face {
        int valid = 1;        // 1 live, -1 replaced (every reader skips those)
        Vec3d normal;         // unit outward normal (zero for a degenerate triangle)
        double offset = 0.0;  // normal·p of the points p of the plane
        std::uint32_t edge = kNone;
        std::uint32_t farthest = kNone;  // farthest outside point
        double farthestDistance = 0.0;
        std::shared_ptr<std::vector<std::uint32_t>> outside;  // outside point indices

        double distance(const Vec3d& p) const { return normal.dot(p) - offset; }
    };

    // Computes the hull of points[0 .. count). count 0 resets to a hull without faces.
    // The points must stay alive until the last extract.
    void build(const Vec3d* points, std::size_t count, double tolerance,
               const std::atomic<bool>* abort = nullptr);

    // Writes the hull's vertices (only those used, in the order of their point indices)
    // and three indices into `vertices` per triangle. Triangles wind counter-clockwise
    // seen from outside; `flipWinding` swaps the second and third index of each.
    void extract(std::vector<Vec3d>& vertices, std::vector<std::uint64_t>& indices,
                 bool flipWinding) const;

    // The face table, replaced faces included (valid == -1).
    const std::vector<Face>& faces() const { return faces_; }
    const std::vector<HalfEdge>& halfEdges() const { return edges_; }
    // Point indices of a face's three corners, counter-clockwise seen from outside.
    void faceVertices(const Face& face, std::uint32_t out[3]) const;
    std::size_t liveFaceCount() const;
    // Point indices of the hull's vertices, ascending.
    std::vector<std::uint32_t> vertexIndices() const;

    double tolerance() const { return tolerance_; }
    double scale() const { return scale_; }
    bool planar() const { return planar_; }
    const std::uint32_t* extremePoints() const { return extreme_; }

  private:
    const Vec3d& point(std::uint32_t i) const { return points_[i]; }
    std::uint32_t addFace(std::uint32_t a, std::uint32_t b, std::uint32_t c);
    void setPlane(Face& face);
    bool initialSimplex();
    void assignInitialPoints(const std::atomic<bool>* abort);
    void addPoint(std::uint32_t faceIndex);
    void closePlanarHull(std::uint32_t lift);

    double tolerance_ = 0.0;
    std::vector<Face> faces_;
    std::vector<HalfEdge> edges_;
    const Vec3d* points_ = nullptr;
    std::size_t count_ = 0;
    const Vec3d* callerPoints_ = nullptr;  // the caller's points (points_ may be the copy)
    bool usingCopy_ = false;               // the planar case works on a copy
    std::vector<Vec3d> copy_;              // caller's points plus the lifting point
    std::uint32_t extreme_[6] = {0, 0, 0, 0, 0, 0};  // max x, min x, max y, min y, max z, min z
    double scale_ = 0.0;
    bool planar_ = false;

    // Work lists of one expansion, kept to avoid allocations.
    std::vector<std::uint32_t> pending_;  // faces with outside points to expand
    std::vector<std::uint32_t> stack_, visible_, horizon_, newFaces_;
    std::vector<std::uint32_t> visitMark_;  // per face: expansion that found it visible
    std::uint32_t visit_ = 0;
    std::vector<std::uint32_t> horizonFrom_;  // per vertex: horizon edge starting there
    std::vector<std::uint32_t> horizonMark_;
};

// The hull of any point type with x, y, z (GLPoint points are copied first).
template <class Point>
void buildConvexHull(ConvexHull& hull, const Point* begin, const Point* end, double tolerance,
                     std::vector<Vec3d>& storage, const std::atomic<bool>* abort = nullptr);

}  // namespace approximate
}  // namespace alg3D
