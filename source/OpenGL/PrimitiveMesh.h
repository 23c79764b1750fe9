// Tessellations of the fitted primitives in their own local frame (axis or normal along
// +z), as the primitive objects upload and draw them.
//
// Inputs: the shape's sizes (radii, height, semi-axes, exponent) and segment counts.
// Output: a PrimitiveMesh: positions and unit normals (one per vertex, doubles) and the
// draw parts that cut the vertex list into GL primitives (triangles, fans, strips, lines,
// points). Surfaces are oriented counter-clockwise seen from outside (the side the
// normals point to), so the renderer's front faces are the outside; the closed shapes
// (sphere, torus) have every edge shared by two triangles in opposite directions. The
// flat shapes (plane, disc, ellipse, superellipse) face +z.
// Errors: none; sizes of zero give degenerate (zero-area) triangles.
// Cost: linear in the number of vertices (the sphere: 2048 triangles).
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "alg3D/matrix/Matrix.h"

namespace primitive_mesh {

// Segment counts of the curved outlines.
inline constexpr int kCircleSegments = 128;
inline constexpr int kCurveSegments = 256;  // ellipse and superellipse outlines
inline constexpr int kTorusRingSegments = 96;
inline constexpr int kTorusTubeSegments = 48;
inline constexpr int kSphereSubdivisions = 4;  // octahedron split four times: 2048 triangles

struct MeshPart {
    enum Kind { kTriangles, kTriangleFan, kTriangleStrip, kLines, kLineStrip, kPoints };
    Kind kind = kTriangles;
    std::size_t first = 0;
    std::size_t count = 0;
    float lineWidth = 1.0f;
    // Closed or tube-like surfaces: drawn twice, back faces first, then front faces.
    bool twoPass = false;
};

struct PrimitiveMesh {
    std::vector<alg3D::Vec3d> positions;
    std::vector<alg3D::Vec3d> normals;
    std::vector<MeshPart> parts;

    // Appends a part over the vertices added since `first`.
    void closePart(MeshPart::Kind kind, std::size_t first, bool twoPass = false,
                   float lineWidth = 1.0f);
    void add(const alg3D::Vec3d& position, const alg3D::Vec3d& normal) {
        positions.push_back(position);
        normals.push_back(normal);
    }
};

// The triangles of the surface parts (fans and strips expanded with GL's winding
// rules), as vertex index triples into `positions`.
std::vector<std::array<std::size_t, 3>> surfaceTriangles(const PrimitiveMesh& mesh);

// Segment from the origin to (0, 0, length): end points and the segment.
PrimitiveMesh lineMesh(double length);
// Square of side `size` centred at the origin.
PrimitiveMesh planeMesh(double size);
// Disc of radius r as a triangle fan around the origin.
PrimitiveMesh discMesh(double radius, int segments = kCircleSegments);
// Filled ellipse with semi-axis a along (cos angle, sin angle) and b across it.
PrimitiveMesh ellipseMesh(double a, double b, double angle, int segments = kCurveSegments);
// Filled superellipse |x/a|^(2/eps) + |y/b|^(2/eps) = 1 in the frame turned by angle:
// the outline (a·sgn(cos t)|cos t|^eps, b·sgn(sin t)|sin t|^eps).
PrimitiveMesh superEllipseMesh(double a, double b, double angle, double eps,
                               int segments = kCurveSegments);
// Octahedron subdivided `subdivisions` times, pushed onto the sphere of radius r.
PrimitiveMesh sphereMesh(double radius, int subdivisions = kSphereSubdivisions);
// Open tube of radius r from z = 0 to z = height (mantle as a triangle strip), its two
// rims as line strips and its axis as a line.
PrimitiveMesh cylinderMesh(double radius, double height, int segments = kCircleSegments);
// Mantle between the radius rBottom at z = 0 and rTop at z = height (radii may have
// either sign: a radius changing sign passes the apex, where the mantle is split), with
// rims and axis as for the cylinder.
PrimitiveMesh coneMesh(double rBottom, double rTop, double height, int segments = kCircleSegments);
// Closed torus around the z axis: spine circle r1 in the plane z = 0, tube radius r2.
PrimitiveMesh torusMesh(double r1, double r2, int ringSegments = kTorusRingSegments,
                        int tubeSegments = kTorusTubeSegments);

}  // namespace primitive_mesh
