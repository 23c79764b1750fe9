#include "OpenGL/PrimitiveMesh.h"

#include <algorithm>
#include <cmath>

using alg3D::Vec3d;

namespace primitive_mesh {
namespace {

constexpr double kTwoPi = 6.283185307179586;
const Vec3d kUp(0, 0, 1);

// The angle of segment i of n; segment n closes onto segment 0 with identical values.
double segmentAngle(int i, int n) {
    return kTwoPi * (i % n) / n;
}

// Fan of a closed planar outline around the origin, facing +z.
template <class Outline>
PrimitiveMesh fanMesh(int segments, const Outline& outline) {
    PrimitiveMesh mesh;
    mesh.add(Vec3d(0, 0, 0), kUp);
    for (int i = 0; i <= segments; ++i)
        mesh.add(outline(segmentAngle(i, segments)), kUp);
    mesh.closePart(MeshPart::kTriangleFan, 0);
    return mesh;
}

// Rotation by `angle` about z of an in-plane point.
Vec3d turned(double x, double y, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return Vec3d(c * x - s * y, s * x + c * y, 0);
}

// Band of a surface of revolution between the rings (rho0, z0) and (rho1, z1), rho ≥ 0,
// as a strip whose triangles face away from the axis.
void addBand(PrimitiveMesh& mesh, double rho0, double z0, double rho1, double z1, int segments) {
    const double dz = z1 - z0, drho = rho1 - rho0;
    const double len = std::hypot(dz, drho);
    const double nr = len > 0 ? dz / len : 1.0, nz = len > 0 ? -drho / len : 0.0;
    const std::size_t first = mesh.positions.size();
    for (int i = 0; i <= segments; ++i) {
        const double t = segmentAngle(i, segments);
        const double c = std::cos(t), s = std::sin(t);
        const Vec3d normal(nr * c, nr * s, nz);
        mesh.add(Vec3d(rho1 * c, rho1 * s, z1), normal);
        mesh.add(Vec3d(rho0 * c, rho0 * s, z0), normal);
    }
    mesh.closePart(MeshPart::kTriangleStrip, first, true);
}

void addRim(PrimitiveMesh& mesh, double rho, double z, int segments) {
    const std::size_t first = mesh.positions.size();
    for (int i = 0; i <= segments; ++i) {
        const double t = segmentAngle(i, segments);
        mesh.add(Vec3d(rho * std::cos(t), rho * std::sin(t), z),
                 Vec3d(std::cos(t), std::sin(t), 0));
    }
    mesh.closePart(MeshPart::kLineStrip, first, false, 3.0f);
}

void addAxis(PrimitiveMesh& mesh, double height) {
    const std::size_t first = mesh.positions.size();
    mesh.add(Vec3d(0, 0, 0), kUp);
    mesh.add(Vec3d(0, 0, height), kUp);
    mesh.closePart(MeshPart::kLines, first, false, 2.0f);
}

void subdivide(const Vec3d& a, const Vec3d& b, const Vec3d& c, int levels,
               std::vector<Vec3d>& out) {
    if (levels == 0) {
        out.insert(out.end(), {a, b, c});
        return;
    }
    const Vec3d ab = (a + b).normalized(), bc = (b + c).normalized(), ca = (c + a).normalized();
    subdivide(a, ab, ca, levels - 1, out);
    subdivide(ab, b, bc, levels - 1, out);
    subdivide(ca, bc, c, levels - 1, out);
    subdivide(ab, bc, ca, levels - 1, out);
}

}  // namespace

void PrimitiveMesh::closePart(MeshPart::Kind kind, std::size_t first, bool twoPass,
                              float lineWidth) {
    MeshPart part;
    part.kind = kind;
    part.first = first;
    part.count = positions.size() - first;
    part.twoPass = twoPass;
    part.lineWidth = lineWidth;
    parts.push_back(part);
}

std::vector<std::array<std::size_t, 3>> surfaceTriangles(const PrimitiveMesh& mesh) {
    std::vector<std::array<std::size_t, 3>> triangles;
    for (const MeshPart& p : mesh.parts) {
        const std::size_t f = p.first;
        switch (p.kind) {
            case MeshPart::kTriangles:
                for (std::size_t i = 0; i + 2 < p.count; i += 3)
                    triangles.push_back({f + i, f + i + 1, f + i + 2});
                break;
            case MeshPart::kTriangleFan:
                for (std::size_t i = 1; i + 1 < p.count; ++i)
                    triangles.push_back({f, f + i, f + i + 1});
                break;
            case MeshPart::kTriangleStrip:
                for (std::size_t i = 0; i + 2 < p.count; ++i) {
                    if (i % 2 == 0) {
                        triangles.push_back({f + i, f + i + 1, f + i + 2});
                    } else {
                        triangles.push_back({f + i + 1, f + i, f + i + 2});
                    }
                }
                break;
            default:
                break;
        }
    }
    return triangles;
}

PrimitiveMesh lineMesh(double length) {
    PrimitiveMesh mesh;
    mesh.add(Vec3d(0, 0, 0), kUp);
    mesh.add(Vec3d(0, 0, length), kUp);
    mesh.closePart(MeshPart::kPoints, 0);
    mesh.parts.push_back(mesh.parts.back());
    mesh.parts.back().kind = MeshPart::kLines;
    mesh.parts.back().lineWidth = 3.0f;
    return mesh;
}

PrimitiveMesh planeMesh(double size) {
    const double h = size / 2;
    PrimitiveMesh mesh;
    for (const Vec3d& p : {Vec3d(-h, -h, 0), Vec3d(h, -h, 0), Vec3d(h, h, 0), Vec3d(-h, -h, 0),
                           Vec3d(h, h, 0), Vec3d(-h, h, 0)})
        mesh.add(p, kUp);
    mesh.closePart(MeshPart::kTriangles, 0);
    return mesh;
}

PrimitiveMesh discMesh(double radius, int segments) {
    return fanMesh(segments,
                   [&](double t) { return Vec3d(radius * std::cos(t), radius * std::sin(t), 0); });
}

PrimitiveMesh ellipseMesh(double a, double b, double angle, int segments) {
    return fanMesh(segments,
                   [&](double t) { return turned(a * std::cos(t), b * std::sin(t), angle); });
}

PrimitiveMesh superEllipseMesh(double a, double b, double angle, double eps, int segments) {
    const auto power = [eps](double v) { return std::copysign(std::pow(std::abs(v), eps), v); };
    return fanMesh(segments, [&](double t) {
        return turned(a * power(std::cos(t)), b * power(std::sin(t)), angle);
    });
}

PrimitiveMesh sphereMesh(double radius, int subdivisions) {
    std::vector<Vec3d> unit;
    for (int octant = 0; octant < 8; ++octant) {
        const double sx = (octant & 1) ? -1 : 1, sy = (octant & 2) ? -1 : 1,
                     sz = (octant & 4) ? -1 : 1;
        const Vec3d x(sx, 0, 0), y(0, sy, 0), z(0, 0, sz);
        // (x, y, z) runs counter-clockwise seen from outside in the positive octant; a
        // mirror in an odd number of axes reverses it.
        if (sx * sy * sz > 0) {
            subdivide(x, y, z, subdivisions, unit);
        } else {
            subdivide(x, z, y, subdivisions, unit);
        }
    }
    PrimitiveMesh mesh;
    mesh.positions.reserve(unit.size());
    mesh.normals.reserve(unit.size());
    for (const Vec3d& n : unit)
        mesh.add(n * radius, n);
    mesh.closePart(MeshPart::kTriangles, 0, true);
    return mesh;
}

PrimitiveMesh cylinderMesh(double radius, double height, int segments) {
    return coneMesh(radius, radius, height, segments);
}

PrimitiveMesh coneMesh(double rBottom, double rTop, double height, int segments) {
    PrimitiveMesh mesh;
    if ((rBottom < 0) != (rTop < 0) && rBottom != 0 && rTop != 0) {
        // Through the apex: two bands meeting on the axis.
        const double zApex = height * rBottom / (rBottom - rTop);
        addBand(mesh, std::abs(rBottom), 0, 0, zApex, segments);
        addBand(mesh, 0, zApex, std::abs(rTop), height, segments);
    } else {
        addBand(mesh, std::abs(rBottom), 0, std::abs(rTop), height, segments);
    }
    addRim(mesh, std::abs(rBottom), 0, segments);
    addRim(mesh, std::abs(rTop), height, segments);
    addAxis(mesh, height);
    return mesh;
}

PrimitiveMesh torusMesh(double r1, double r2, int ringSegments, int tubeSegments) {
    const auto normalAt = [&](int i, int j) {
        const double phi = segmentAngle(i, ringSegments), alpha = segmentAngle(j, tubeSegments);
        return Vec3d(std::cos(alpha) * std::cos(phi), std::cos(alpha) * std::sin(phi),
                     std::sin(alpha));
    };
    const auto pointAt = [&](int i, int j) {
        const double phi = segmentAngle(i, ringSegments);
        const Vec3d spine(r1 * std::cos(phi), r1 * std::sin(phi), 0);
        return spine + normalAt(i, j) * r2;
    };
    PrimitiveMesh mesh;
    for (int i = 0; i < ringSegments; ++i) {
        for (int j = 0; j < tubeSegments; ++j) {
            // (i, j), (i+1, j), (i+1, j+1), (i, j+1) turn counter-clockwise seen from
            // outside: d/dphi × d/dalpha is the outward normal.
            const int quad[6][2] = {{i, j}, {i + 1, j},     {i + 1, j + 1},
                                    {i, j}, {i + 1, j + 1}, {i, j + 1}};
            for (const auto& v : quad)
                mesh.add(pointAt(v[0], v[1]), normalAt(v[0], v[1]));
        }
    }
    mesh.closePart(MeshPart::kTriangles, 0, true);
    return mesh;
}

}  // namespace primitive_mesh
