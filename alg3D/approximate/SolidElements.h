// Minimum enclosing and maximum inscribing spheres and cylinders, written into the fit
// objects of the sphere and the cylinder (all their states Given).
//
// - Sphere, enclosing: the smallest ball of the points (MinimumEnclosingSphere.h) with at
//   most maxIterations pivoting passes.
// - Cylinder, enclosing: the minimax line of the points (ChebyshevFit.h, on the convex
//   hull with its hull-edge start); radius = the largest distance from the axis. Points
//   without a hull (on a line or a point): "geometry approximation failed.\n".
// - Sphere / cylinder, inscribing: from the enclosing element with its radius R held, the
//   minimax iteration lowers the largest of 2R − (distance from centre or axis), which
//   pushes the centre or axis away from the nearest points; the final radius is the
//   enclosing radius plus the smallest signed deviation, i.e. the smallest distance, so
//   the element touches the nearest point from inside.
//   Points that do not surround the result (sphere: its centre not strictly inside their
//   convex hull; cylinder: its axis not strictly inside the hull of the points projected
//   along it, InscribedEnclosure.h) have no maximum: "The points do not enclose an
//   inscribed element.\n" (not tested after an abort).
// Minimum counts: sphere 4, cylinder 7 ("not enough data for geometry approximation.\n").
// Returns the iterations of the minimax run (enclosing sphere: the pivoting passes are
// not counted, 0). Progress runs from 0 to 100 (the inscribing elements give the first
// part to their enclosing start). The abort flag is tested between pivoting passes,
// hull-edge candidates and iterations: an abort in the minimax iteration keeps its last
// accepted centre or axis (with the radius that belongs to it); an abort of the enclosing
// sphere's ball or of the inscribing sphere's start leaves the fit object unchanged.
// Cost: enclosing sphere linear; the others as the Chebyshev line plus the iteration.
#pragma once

#include <atomic>
#include <cstdint>

#include "alg3D/approximate/FitObjCylinder.h"
#include "alg3D/approximate/FitObjSphere.h"

namespace alg3D {
namespace approximate {

std::uint64_t minimumEnclosingSphere(const Vec3d* begin, const Vec3d* end, FitObjSphere& fit,
                                     std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                     std::atomic<float>& progress);
std::uint64_t maximumInscribingSphere(const Vec3d* begin, const Vec3d* end, FitObjSphere& fit,
                                      std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                      std::atomic<float>& progress);
std::uint64_t minimumEnclosingCylinder(const Vec3d* begin, const Vec3d* end, FitObjCylinder& fit,
                                       std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                       std::atomic<float>& progress);
std::uint64_t maximumInscribingCylinder(const Vec3d* begin, const Vec3d* end, FitObjCylinder& fit,
                                        std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                        std::atomic<float>& progress);

}  // namespace approximate
}  // namespace alg3D
