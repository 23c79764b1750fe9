// Primitive objects without a window: info texts and defaults, the tessellations
// (closed, outward, volumes and areas against exact polyhedral formulas), the closest
// points against a brute-force search over a dense sampling of each surface, the
// placement, the boxes, applyTransform and the factory.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "OpenGL/GLObjFlatPrimitives.h"
#include "OpenGL/GLObjSolidPrimitives.h"
#include "OpenGL/GLPrimitiveFactory.h"
#include "OpenGL/PrimitiveMesh.h"
#include "commands/FitPrimitiveInfo.h"

namespace {

using alg3D::Matrix4x4d;
using alg3D::Vec3d;
using primitive_mesh::PrimitiveMesh;

constexpr double kPi = 3.141592653589793;
const std::string kDeg = "\xC2\xB0";

// The smallest rotation turning z onto n (n ≠ -z), written independently of the object
// code: R = I + [v]x + [v]x^2 / (1 + c) with v = z × n, c = n.z.
Vec3d rotateZOnto(const Vec3d& n, const Vec3d& x) {
    const Vec3d v(-n.y, n.x, 0);
    return x + v.cross(x) + v.cross(v.cross(x)) / (1 + n.z);
}

// A point given in the frame (e1, e2, axis) around `origin`.
struct Frame {
    Vec3d origin, e1, e2, axis;
    Frame(const Vec3d& o, const Vec3d& n)
        : origin(o),
          e1(rotateZOnto(n, Vec3d(1, 0, 0))),
          e2(rotateZOnto(n, Vec3d(0, 1, 0))),
          axis(n) {}
    Vec3d at(double x, double y, double z) const { return origin + e1 * x + e2 * y + axis * z; }
};

TEST(PrimitiveObjectTest, DefaultsOfEveryClass) {
    struct Case {
        std::unique_ptr<GLBaseObject> object;
        const char* name;
        alg3D::Color color;
        unsigned char alpha;
    };
    Case cases[] = {
        {std::make_unique<GLObjBox>(), "BoxObject", {128, 128, 128}, 255},
        {std::make_unique<GLObjLine>(), "LineObject", {255, 0, 255}, 255},
        {std::make_unique<GLObjPlane>(), "PlaneObject", {170, 255, 255}, 100},
        {std::make_unique<GLObjCircle>(), "CircleObject", {0, 255, 0}, 100},
        {std::make_unique<GLObjEllipse>(), "EllipseObject", {0, 255, 0}, 100},
        {std::make_unique<GLObjSuperEllipse>(), "SuperEllipseObject", {0, 255, 0}, 100},
        {std::make_unique<GLObjSphere>(), "SphereObject", {255, 255, 0}, 100},
        {std::make_unique<GLObjCylinder>(), "CylinderObject", {0, 255, 0}, 100},
        {std::make_unique<GLObjCone>(), "ConeObject", {200, 128, 0}, 100},
        {std::make_unique<GLObjTorus>(), "TorusObject", {0, 255, 255}, 100},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.object->getName(), c.name);
        EXPECT_EQ(c.object->getObjectType(), GLBaseObject::kPrimitive) << c.name;
        EXPECT_EQ(c.object->getColor(), c.color) << c.name;
        EXPECT_EQ(c.object->getAlpha(), c.alpha) << c.name;
        EXPECT_EQ(c.object->isBlended(), c.alpha < 255) << c.name;
    }
    // A box of its own keeps its coordinates in the frame its model matrix places.
    GLObjBox box;
    Matrix4x4d m = Matrix4x4d::identity();
    m(0, 3) = 5;
    box.setModelMatrix(m);
    EXPECT_EQ(box.objectPlacement(), m);
}

TEST(PrimitiveObjectTest, InfoTextsOfEveryShape) {
    const Vec3d c(1, 0, 2.5), d(0, 0, 1), b(1, 0, -0.5);
    const std::string ctr = "center: 1.000000,0.000000,2.500000\n";
    const std::string dir = "dir: 0.000000,0.000000,1.000000\n";
    GLObjLine line;
    line.setLine(c, d, 4);
    GLObjPlane plane;
    plane.setPlane(c, d, 3);
    GLObjCircle circle;
    circle.setCircle(c, d, 2.5);
    GLObjEllipse ellipse;
    ellipse.setEllipse(c, d, 3, 2, 0.5);
    GLObjSuperEllipse superEllipse;
    testing::internal::CaptureStdout();
    superEllipse.setSuperEllipse(c, d, 3, 2, 0.5, 0.25);
    const std::string printed = testing::internal::GetCapturedStdout();
    GLObjSphere sphere;
    sphere.setSphere(c, 1.5);
    GLObjCylinder cylinder;
    cylinder.setCylinder(c, d, 2, b, 6);
    GLObjCone cone;
    cone.setCone(0.25, 2, c, d, b, 6);
    GLObjTorus torus;
    torus.setTorus(c, d, 5, 1);
    const std::pair<const GLBaseObject*, std::string> cases[] = {
        {&line, ctr + dir},
        {&plane, ctr + dir},
        {&circle, "r: 2.500000\n" + ctr + dir},
        {&ellipse, "a: 3.000000\nb: 2.000000\nk: 0.500000 (28.647890" + kDeg + ")\n" + ctr + dir},
        {&superEllipse, "eps: 0.250000\na: 3.000000\nb: 2.000000\nk: 0.500000 (28.647890" + kDeg +
                            ")\n" + ctr + dir},
        {&sphere, "r: 1.500000 (3.000000)\n" + ctr},
        {&cylinder, "r: 2.000000 (4.000000)\n" + ctr + dir +
                        "bottom: 1.000000,0.000000,-0.500000\nh: 6.000000\n"},
        {&cone, "psi: 0.250000 (14.323945" + kDeg + ")\nr: 2.000000\n" + ctr + dir +
                    "bottom: 1.000000,0.000000,-0.500000\nh: 6.000000\n"},
        {&torus, "r1: 5.000000\nr2: 1.000000\n" + ctr + dir},
    };
    for (const auto& [object, text] : cases)
        EXPECT_EQ(object->getInfo(), text) << object->getName();
    // The superellipse also writes its three matrices.
    EXPECT_EQ(printed.find("object transform\n"), 0u) << printed;
    EXPECT_NE(printed.find("\nglobal\n"), std::string::npos);
    EXPECT_NE(printed.find("\nlocal\n"), std::string::npos);
}

TEST(PrimitiveObjectTest, ModelMatrixTurnsZOntoTheDirectionAndMovesToTheOrigin) {
    const Vec3d directions[] = {Vec3d(0, 0, 1),    Vec3d(0, 0, -1),       Vec3d(1, 0, 0),
                                Vec3d(0, -1, 0),   Vec3d(0.3, -0.5, 0.8), Vec3d(-2, 1, -0.1),
                                Vec3d(1e-9, 0, -1)};
    for (Vec3d d : directions) {
        d = d.normalized();
        const Matrix4x4d r = GLObjPrimitive::rotationOnto(d);
        const Vec3d z = alg3D::matrix::transformDirection(r, Vec3d(0, 0, 1));
        EXPECT_LT((z - d).norm(), 1e-15) << d.x << "," << d.y << "," << d.z;
        Matrix4x4d rtr = r.transposed() * r;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                EXPECT_NEAR(rtr(i, j), i == j ? 1.0 : 0.0, 1e-15);
        if (d.z > -1 + 1e-6) {
            // The smallest rotation: x goes where the independent formula takes it.
            const Vec3d x = alg3D::matrix::transformDirection(r, Vec3d(1, 0, 0));
            EXPECT_LT((x - rotateZOnto(d, Vec3d(1, 0, 0))).norm(), 1e-14);
        }
    }
    // Straight down: a half turn about x.
    const Matrix4x4d down = GLObjPrimitive::rotationOnto(Vec3d(0, 0, -1));
    EXPECT_EQ(alg3D::matrix::transformDirection(down, Vec3d(1, 0, 0)), Vec3d(1, 0, 0));
    EXPECT_EQ(alg3D::matrix::transformDirection(down, Vec3d(0, 1, 0)), Vec3d(0, -1, 0));

    GLObjCylinder cylinder;
    const Vec3d axis = Vec3d(0.3, -0.5, 0.8).normalized(), bottom(10, 20, 30);
    cylinder.setCylinder(Vec3d(11, 19, 31), axis, 2, bottom, 5);
    const Matrix4x4d& m = cylinder.getModelMatrix();
    EXPECT_LT((alg3D::matrix::transformPoint(m, Vec3d(0, 0, 5)) - (bottom + axis * 5)).norm(),
              1e-13);
    // The local box: the shape in its own frame, placed by the same matrix.
    EXPECT_LT((cylinder.localBox().getBBoxMin() - Vec3d(-2, -2, 0)).norm(), 1e-15);
    EXPECT_LT((cylinder.localBox().getBBoxMax() - Vec3d(2, 2, 5)).norm(), 1e-15);
    EXPECT_EQ(cylinder.localBox().getModelMatrix(), m);
    GLObjLine line;
    line.setLine(bottom, axis, 8);
    EXPECT_EQ(line.localBox().getBBoxMin(), Vec3d(-0.4, -0.4, 0));
    EXPECT_EQ(line.localBox().getBBoxMax(), Vec3d(0.4, 0.4, 8));
    GLObjCircle circle;
    circle.setCircle(bottom, axis, 3);
    EXPECT_LT((circle.localBox().getBBoxMin() - Vec3d(-3, -3, 0)).norm(), 1e-15);
    EXPECT_LT((circle.localBox().getBBoxMax() - Vec3d(3, 3, 0)).norm(), 1e-15);
}

// ---- Tessellations -------------------------------------------------------------------

using Key = std::array<double, 3>;
Key key(const Vec3d& p) {
    return {p.x, p.y, p.z};
}

// Directed edges of the surface triangles counted by their end positions; triangles
// with two corners in one place (at the cone's apex) have no area and are left out.
std::map<std::pair<Key, Key>, int> directedEdges(const PrimitiveMesh& mesh) {
    std::map<std::pair<Key, Key>, int> edges;
    for (const auto& t : primitive_mesh::surfaceTriangles(mesh)) {
        const Key k[3] = {key(mesh.positions[t[0]]), key(mesh.positions[t[1]]),
                          key(mesh.positions[t[2]])};
        if (k[0] == k[1] || k[1] == k[2] || k[2] == k[0]) continue;
        for (int e = 0; e < 3; ++e)
            ++edges[{k[e], k[(e + 1) % 3]}];
    }
    return edges;
}

// Every edge once in each direction; edges for which `boundary` holds may be single.
void expectConsistentlyClosed(const PrimitiveMesh& mesh,
                              const std::function<bool(const Key&, const Key&)>& boundary) {
    int unpaired = 0;
    const auto all = directedEdges(mesh);
    for (const auto& [edge, count] : all) {
        EXPECT_EQ(count, 1);
        const bool paired = all.count({edge.second, edge.first}) == 1;
        if (!paired) {
            ++unpaired;
            EXPECT_TRUE(boundary(edge.first, edge.second))
                << edge.first[0] << "," << edge.first[1] << "," << edge.first[2];
        }
        if (unpaired > 3) break;
    }
}

double tetraVolume(const PrimitiveMesh& mesh) {
    double v = 0;
    for (const auto& t : primitive_mesh::surfaceTriangles(mesh))
        v += mesh.positions[t[0]].dot(mesh.positions[t[1]].cross(mesh.positions[t[2]])) / 6;
    return v;
}

// Flux of F = (x, y, 0)/2 through the triangles: the volume enclosed together with
// caps across the z axis (F·n = 0 on them), exact for flat triangles as F is linear.
double radialFluxVolume(const PrimitiveMesh& mesh) {
    double v = 0;
    for (const auto& t : primitive_mesh::surfaceTriangles(mesh)) {
        const Vec3d& a = mesh.positions[t[0]];
        const Vec3d& b = mesh.positions[t[1]];
        const Vec3d& c = mesh.positions[t[2]];
        const Vec3d area = (b - a).cross(c - a) / 2;
        const Vec3d centroid = (a + b + c) / 3;
        v += (centroid.x * area.x + centroid.y * area.y) / 2;
    }
    return v;
}

// Area of a regular n-gon inscribed in the circle r.
double ngon(double r, int n) {
    return n / 2.0 * r * r * std::sin(2 * kPi / n);
}

TEST(PrimitiveMeshTest, SphereIsTheSubdividedOctahedronClosedAndOutward) {
    const double r = 2.5;
    const PrimitiveMesh mesh = primitive_mesh::sphereMesh(r);
    const auto triangles = primitive_mesh::surfaceTriangles(mesh);
    ASSERT_EQ(triangles.size(), 2048u);
    expectConsistentlyClosed(mesh, [](const Key&, const Key&) { return false; });
    double dMin = r;
    for (const auto& t : triangles) {
        const Vec3d& a = mesh.positions[t[0]];
        const Vec3d n = (mesh.positions[t[1]] - a).cross(mesh.positions[t[2]] - a).normalized();
        dMin = std::min(dMin, a.dot(n));
        ASSERT_GT(a.dot(n), 0);  // every face turns away from the centre
    }
    for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
        EXPECT_NEAR(mesh.positions[i].norm(), r, 1e-14);
        EXPECT_LT((mesh.normals[i] * r - mesh.positions[i]).norm(), 1e-14);
    }
    // Between the balls inscribed in and circumscribing the polyhedron.
    const double v = tetraVolume(mesh);
    EXPECT_GT(v, 4.0 / 3 * kPi * dMin * dMin * dMin);
    EXPECT_LT(v, 4.0 / 3 * kPi * r * r * r);
    EXPECT_NEAR(v / (4.0 / 3 * kPi * r * r * r), 1.0, 0.01);
}

TEST(PrimitiveMeshTest, TorusClosedWithThePolyhedralVolume) {
    const double r1 = 5, r2 = 1.5;
    const int n = 40, m = 24;
    const PrimitiveMesh mesh = primitive_mesh::torusMesh(r1, r2, n, m);
    EXPECT_EQ(primitive_mesh::surfaceTriangles(mesh).size(), std::size_t(2 * n * m));
    expectConsistentlyClosed(mesh, [](const Key&, const Key&) { return false; });
    // Each slice between two meridians sweeps the m-gon about the axis: sin(2π/n) times
    // its area times the distance of its centroid from the axis.
    const double exact = n * std::sin(2 * kPi / n) * ngon(r2, m) * r1;
    EXPECT_NEAR(tetraVolume(mesh), exact, 1e-12 * exact);
    EXPECT_NEAR(exact / (2 * kPi * kPi * r1 * r2 * r2), 1.0, 0.02);
    for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
        const Vec3d& p = mesh.positions[i];
        const double rho = std::hypot(p.x, p.y);
        EXPECT_NEAR(std::hypot(rho - r1, p.z), r2, 1e-13);
        const Vec3d spine(p.x * r1 / rho, p.y * r1 / rho, 0);
        EXPECT_LT((mesh.normals[i] * r2 - (p - spine)).norm(), 1e-13);
    }
}

TEST(PrimitiveMeshTest, CylinderAndConeMantlesAreOpenOnlyAtTheirRims) {
    struct Case {
        double rBottom, rTop, height;
        double volume;  // of the mantle closed by caps: prism, frustum or two pyramids
    };
    const int n = primitive_mesh::kCircleSegments;
    const double zApex = 4.0 * 2 / 3;  // radius 2 at the bottom, -1 at the top of 4
    const Case cases[] = {
        {3, 3, 7, ngon(3, n) * 7},
        {1, 3, 4, 4.0 / 3 * (ngon(1, n) + ngon(3, n) + std::sqrt(ngon(1, n) * ngon(3, n)))},
        {3, 0, 2, 2.0 / 3 * ngon(3, n)},
        {2, -1, 4, ngon(2, n) * zApex / 3 + ngon(1, n) * (4 - zApex) / 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rBottom << " " << c.rTop << " " << c.height);
        const PrimitiveMesh mesh = primitive_mesh::coneMesh(c.rBottom, c.rTop, c.height);
        const auto onRim = [&](const Key& a, const Key& b) {
            return (a[2] == 0 && b[2] == 0) || (a[2] == c.height && b[2] == c.height);
        };
        expectConsistentlyClosed(mesh, onRim);
        EXPECT_NEAR(radialFluxVolume(mesh), c.volume, 1e-12 * c.volume);
        // Rims and axis as lines.
        int lines = 0;
        for (const auto& part : mesh.parts)
            lines += part.kind == primitive_mesh::MeshPart::kLineStrip ||
                     part.kind == primitive_mesh::MeshPart::kLines;
        EXPECT_EQ(lines, 3);
    }
    EXPECT_NEAR(radialFluxVolume(primitive_mesh::cylinderMesh(2, 3)), ngon(2, n) * 3, 1e-12);
}

TEST(PrimitiveMeshTest, FlatShapesFaceUpWithTheirPolygonAreas) {
    // The outline of each shape at n equal parameter steps, written independently.
    const int n = primitive_mesh::kCurveSegments;
    const auto polygonArea = [&](const std::function<Vec3d(double)>& outline) {
        double area = 0;
        for (int i = 0; i < n; ++i)
            area += outline(2 * kPi * i / n).cross(outline(2 * kPi * ((i + 1) % n) / n)).z / 2;
        return area;
    };
    const auto superOutline = [](double a, double b, double eps) {
        return [=](double t) {
            const double c = std::cos(t), s = std::sin(t);
            return Vec3d(a * std::copysign(std::pow(std::abs(c), eps), c),
                         b * std::copysign(std::pow(std::abs(s), eps), s), 0);
        };
    };
    // Area of |x/a|^(2/eps) + |y/b|^(2/eps) <= 1.
    const auto superArea = [](double a, double b, double eps) {
        return 4 * a * b * std::tgamma(1 + eps / 2) * std::tgamma(1 + eps / 2) /
               std::tgamma(1 + eps);
    };
    struct Case {
        const char* name;
        PrimitiveMesh mesh;
        double polygon;   // from the independent outline
        double analytic;  // of the smooth shape
        double tessellationError;
    };
    const Case cases[] = {
        {"plane", primitive_mesh::planeMesh(3), 9, 9, 0},
        {"disc", primitive_mesh::discMesh(2), ngon(2, primitive_mesh::kCircleSegments), kPi * 4,
         2e-3},
        {"ellipse", primitive_mesh::ellipseMesh(3, 1, 0.7), ngon(1, n) * 3, kPi * 3, 2e-4},
        {"superellipse 0.25", primitive_mesh::superEllipseMesh(3, 1, 0.7, 0.25),
         polygonArea(superOutline(3, 1, 0.25)), superArea(3, 1, 0.25), 2e-3},
        {"superellipse 2.5", primitive_mesh::superEllipseMesh(3, 1, 0.7, 2.5),
         polygonArea(superOutline(3, 1, 2.5)), superArea(3, 1, 2.5), 2e-3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        double area = 0;
        for (const auto& t : primitive_mesh::surfaceTriangles(c.mesh)) {
            const Vec3d& a = c.mesh.positions[t[0]];
            const double z = (c.mesh.positions[t[1]] - a).cross(c.mesh.positions[t[2]] - a).z / 2;
            EXPECT_GE(z, 0);
            area += z;
        }
        for (const Vec3d& normal : c.mesh.normals)
            EXPECT_EQ(normal, Vec3d(0, 0, 1));
        EXPECT_NEAR(area, c.polygon, 1e-12 * c.polygon);
        EXPECT_NEAR(area, c.analytic, c.tessellationError * c.analytic);
    }
    // The superellipse's outline lies on its curve, turned by its angle.
    const PrimitiveMesh s = primitive_mesh::superEllipseMesh(3, 1, 0.7, 0.25);
    for (std::size_t i = 1; i < s.positions.size(); ++i) {
        const Vec3d& p = s.positions[i];
        const double x = std::cos(0.7) * p.x + std::sin(0.7) * p.y;
        const double y = -std::sin(0.7) * p.x + std::cos(0.7) * p.y;
        EXPECT_NEAR(std::pow(std::abs(x / 3), 8) + std::pow(std::abs(y), 8), 1.0, 1e-12);
    }
}

// ---- Closest points ------------------------------------------------------------------

struct NearestCase {
    const char* name;
    std::unique_ptr<GLObjPrimitive> object;
    std::vector<Vec3d> samples;  // dense on the shape
    double spacing;              // largest distance of a shape point from its nearest sample
    Vec3d center;
    double extent;  // queries within center ± extent
};

std::vector<Vec3d> sampleGrid(int nu, int nv, const std::function<Vec3d(double, double)>& f) {
    std::vector<Vec3d> s;
    for (int i = 0; i <= nu; ++i)
        for (int j = 0; j <= nv; ++j)
            s.push_back(f(double(i) / nu, double(j) / nv));
    return s;
}

std::vector<NearestCase> nearestCases() {
    std::vector<NearestCase> cases;
    const Vec3d n = Vec3d(0.3, -0.5, 0.8).normalized();
    const Vec3d o(4, -2, 7);
    const Frame f(o, n);
    {
        auto line = std::make_unique<GLObjLine>();
        line->setLine(o, n, 6);
        cases.push_back({"line", std::move(line),
                         sampleGrid(3000, 0, [&](double u, double) { return f.at(0, 0, 6 * u); }),
                         2e-3, f.at(0, 0, 3), 6});
    }
    {
        auto circle = std::make_unique<GLObjCircle>();
        circle->setCircle(o, n, 2);
        cases.push_back({"circle", std::move(circle),
                         sampleGrid(100, 400,
                                    [&](double u, double v) {
                                        return f.at(2 * u * std::cos(2 * kPi * v),
                                                    2 * u * std::sin(2 * kPi * v), 0);
                                    }),
                         0.025, o, 4});
    }
    for (double eps : {1.0, 0.3, 2.5}) {
        // The ellipse itself and two superellipses, a along the turned first axis.
        std::unique_ptr<GLObjPrimitive> object;
        if (eps == 1.0) {
            auto e = std::make_unique<GLObjEllipse>();
            e->setEllipse(o, n, 3, 1.2, 0.6);
            object = std::move(e);
        } else {
            auto e = std::make_unique<GLObjSuperEllipse>();
            testing::internal::CaptureStdout();
            e->setSuperEllipse(o, n, 3, 1.2, 0.6, eps);
            testing::internal::GetCapturedStdout();
            object = std::move(e);
        }
        // The curve as two graphs (over x and over y) in every quadrant, so that the
        // samples stay dense where the curve is steep; scaled towards the centre.
        const double c = std::cos(0.6), s = std::sin(0.6), a = 3, b = 1.2;
        const auto other = [eps](double t) { return std::pow(1 - std::pow(t, 2 / eps), eps / 2); };
        std::vector<Vec3d> samples;
        for (int i = 0; i <= 60; ++i) {
            const double u = i / 60.0;
            for (int j = 0; j <= 400; ++j) {
                const double t = j / 400.0;
                for (const auto& [x, y] : {std::pair<double, double>{a * t, b * other(t)},
                                           std::pair<double, double>{a * other(t), b * t}}) {
                    for (int q = 0; q < 4; ++q) {
                        const double qx = (q & 1 ? -x : x) * u, qy = (q & 2 ? -y : y) * u;
                        samples.push_back(f.at(c * qx - s * qy, s * qx + c * qy, 0));
                    }
                }
            }
        }
        cases.push_back({eps == 1.0 ? "ellipse" : "superellipse", std::move(object),
                         std::move(samples), 0.035, o, 5});
    }
    {
        auto sphere = std::make_unique<GLObjSphere>();
        sphere->setSphere(o, 2);
        cases.push_back({"sphere", std::move(sphere),
                         sampleGrid(200, 400,
                                    [&](double u, double v) {
                                        const double t = kPi * u, p = 2 * kPi * v;
                                        return f.at(2 * std::sin(t) * std::cos(p),
                                                    2 * std::sin(t) * std::sin(p), 2 * std::cos(t));
                                    }),
                         0.03, o, 4});
    }
    {
        auto cylinder = std::make_unique<GLObjCylinder>();
        cylinder->setCylinder(f.at(0, 0, 1), n, 2, f.at(0, 0, -2), 5);
        cases.push_back({"cylinder", std::move(cylinder),
                         sampleGrid(400, 200,
                                    [&](double u, double v) {
                                        return f.at(2 * std::cos(2 * kPi * u),
                                                    2 * std::sin(2 * kPi * u), -2 + 5 * v);
                                    }),
                         0.03, f.at(0, 0, 0.5), 5});
    }
    for (double psi : {0.3, -0.6}) {
        // Radius 2 at the centre; the second passes its apex inside the drawn part.
        auto cone = std::make_unique<GLObjCone>();
        cone->setCone(psi, 2, f.at(0, 0, 1), n, f.at(0, 0, -1), 5);
        cases.push_back({"cone", std::move(cone),
                         sampleGrid(400, 400,
                                    [&](double u, double v) {
                                        const double z = -1 + 5 * v;
                                        const double r = 2 + (z - 1) * std::tan(psi);
                                        return f.at(r * std::cos(2 * kPi * u),
                                                    r * std::sin(2 * kPi * u), z);
                                    }),
                         0.04, f.at(0, 0, 1.5), 5});
    }
    {
        auto torus = std::make_unique<GLObjTorus>();
        torus->setTorus(o, n, 3, 1);
        cases.push_back({"torus", std::move(torus),
                         sampleGrid(400, 200,
                                    [&](double u, double v) {
                                        const double p = 2 * kPi * u, a = 2 * kPi * v;
                                        const double rho = 3 + std::cos(a);
                                        return f.at(rho * std::cos(p), rho * std::sin(p),
                                                    std::sin(a));
                                    }),
                         0.04, o, 5});
    }
    return cases;
}

TEST(PrimitiveNearestPointTest, NoSampleOfTheShapeIsCloserAndItLiesOnTheShape) {
    std::mt19937_64 rng(17);
    for (NearestCase& c : nearestCases()) {
        SCOPED_TRACE(c.name);
        std::uniform_real_distribution<double> u(-c.extent, c.extent);
        for (int k = 0; k < 25; ++k) {
            const Vec3d q = c.center + Vec3d(u(rng), u(rng), u(rng));
            const Vec3d p = c.object->nearestPoint(q);
            double best = 1e300, toShape = 1e300;
            for (const Vec3d& s : c.samples) {
                best = std::min(best, (s - q).norm());
                toShape = std::min(toShape, (s - p).norm());
            }
            const double d = (p - q).norm();
            EXPECT_LE(d, best + 1e-12) << "query " << q.x << "," << q.y << "," << q.z;
            EXPECT_GE(d, best - c.spacing);
            EXPECT_LE(toShape, c.spacing);
            // A point of the shape is its own closest point.
            EXPECT_LT((c.object->nearestPoint(p) - p).norm(), 1e-12);
        }
    }
}

TEST(PrimitiveNearestPointTest, AnalyticClosestPoints) {
    const Vec3d o(1, 2, 3);
    GLObjSphere sphere;
    sphere.setSphere(o, 2);
    GLObjCylinder cylinder;
    cylinder.setCylinder(o, Vec3d(0, 0, 1), 2, Vec3d(1, 2, 0), 6);
    GLObjTorus torus;
    torus.setTorus(o, Vec3d(0, 0, 1), 4, 1);
    GLObjPlane plane;
    plane.setPlane(o, Vec3d(0, 0, 1), 1);
    GLObjLine line;
    line.setLine(o, Vec3d(1, 0, 0), 5);
    struct Case {
        const GLObjPrimitive* object;
        Vec3d query, expected;
    };
    const Case cases[] = {
        {&sphere, Vec3d(1, 2, 10), Vec3d(1, 2, 5)},
        {&sphere, Vec3d(1, 2.5, 3), Vec3d(1, 4, 3)},
        {&cylinder, Vec3d(4, 2, 4), Vec3d(3, 2, 4)},
        {&cylinder, Vec3d(1, 2.5, 1), Vec3d(1, 4, 1)},   // inside: out to the mantle
        {&cylinder, Vec3d(1, -3, 10), Vec3d(1, 0, 6)},   // beyond the top rim
        {&cylinder, Vec3d(1, -3, -10), Vec3d(1, 0, 0)},  // below the bottom rim
        {&torus, Vec3d(1, 12, 3), Vec3d(1, 7, 3)},
        {&torus, Vec3d(1, 6, 6), Vec3d(1, 6, 4)},
        {&plane, Vec3d(40, -7, 9), Vec3d(40, -7, 3)},  // the infinite plane
        {&line, Vec3d(0, 5, 5), Vec3d(1, 2, 3)},       // before the start
        {&line, Vec3d(3, 5, 5), Vec3d(3, 2, 3)},
        {&line, Vec3d(9, 5, 5), Vec3d(6, 2, 3)},  // after the end
    };
    for (const Case& c : cases) {
        const Vec3d p = c.object->nearestPoint(c.query);
        EXPECT_LT((p - c.expected).norm(), 1e-14)
            << c.object->getName() << " " << p.x << "," << p.y << "," << p.z;
    }
}

// ---- Boxes, transforms, factory ------------------------------------------------------

TEST(PrimitiveObjectTest, SceneBoxHoldsThePlacedTessellationAndIsTight) {
    for (NearestCase& c : nearestCases()) {
        SCOPED_TRACE(c.name);
        const Vec3d lo = c.object->getBBoxMin(), hi = c.object->getBBoxMax();
        Vec3d slo(1e300, 1e300, 1e300), shi = -slo;
        for (const Vec3d& s : c.samples) {
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_GE(s[k], lo[k] - 1e-12);
                EXPECT_LE(s[k], hi[k] + 1e-12);
                slo[k] = std::min(slo[k], s[k]);
                shi[k] = std::max(shi[k], s[k]);
            }
        }
        EXPECT_LT((slo - lo).norm(), c.spacing);
        EXPECT_LT((shi - hi).norm(), c.spacing);
        // The drawn box sits on the same corners.
        EXPECT_EQ(c.object->boundingBox()->getBBoxMin(), lo);
        EXPECT_EQ(c.object->boundingBox()->getBBoxMax(), hi);
        EXPECT_EQ(c.object->objectPlacement(), Matrix4x4d::identity());
        EXPECT_NE(c.object->getModelMatrix(), Matrix4x4d::identity());
    }
}

Matrix4x4d rigid(const Vec3d& axis, double angle, const Vec3d& t) {
    Matrix4x4d m = Matrix4x4d::identity();
    const Vec3d k = axis.normalized();
    const double c = std::cos(angle), s = std::sin(angle);
    const Matrix4x4d kx(0, -k.z, k.y, 0, k.z, 0, -k.x, 0, -k.y, k.x, 0, 0, 0, 0, 0, 0);
    m = m + kx * s + kx * kx * (1 - c);
    m(0, 3) = t.x, m(1, 3) = t.y, m(2, 3) = t.z;
    return m;
}

TEST(PrimitiveObjectTest, ApplyTransformMovesTheDefiningPointsAndTurnsTheAxes) {
    const Matrix4x4d t = rigid(Vec3d(1, 2, -1), 0.8, Vec3d(5, -3, 2));
    const auto moved = [&](const Vec3d& p) { return alg3D::matrix::transformPoint(t, p); };
    const auto turned = [&](const Vec3d& d) { return alg3D::matrix::transformDirection(t, d); };

    GLObjCylinder cylinder;
    const Vec3d axis = Vec3d(0.3, -0.5, 0.8).normalized();
    cylinder.setCylinder(Vec3d(1, 2, 3), axis, 2, Vec3d(0, 1, 1), 5);
    const Vec3d probe = cylinder.nearestPoint(Vec3d(9, 9, 9));
    cylinder.setPendingTransform(t);
    cylinder.applyTransform();
    EXPECT_EQ(cylinder.getPendingTransform(), Matrix4x4d::identity());
    EXPECT_LT((cylinder.center() - moved(Vec3d(1, 2, 3))).norm(), 1e-13);
    EXPECT_LT((cylinder.bottom() - moved(Vec3d(0, 1, 1))).norm(), 1e-13);
    EXPECT_LT((cylinder.axis() - turned(axis)).norm(), 1e-14);
    EXPECT_EQ(cylinder.radius(), 2);
    EXPECT_EQ(cylinder.height(), 5);
    EXPECT_NE(
        cylinder.getInfo().find("bottom: " + tessaro::commands::vectorText6(cylinder.bottom())),
        std::string::npos);
    // The closest point moves with the shape.
    EXPECT_LT((cylinder.nearestPoint(moved(Vec3d(9, 9, 9))) - moved(probe)).norm(), 1e-12);
    EXPECT_LT(
        (alg3D::matrix::transformPoint(cylinder.getModelMatrix(), Vec3d()) - cylinder.bottom())
            .norm(),
        1e-15);

    GLObjSphere sphere;
    sphere.setSphere(Vec3d(1, 2, 3), 2);
    sphere.setPendingTransform(t);
    sphere.applyTransform();
    EXPECT_LT((sphere.center() - moved(Vec3d(1, 2, 3))).norm(), 1e-13);
    EXPECT_LT((sphere.getBBoxMin() - (sphere.center() - Vec3d(2, 2, 2))).norm(), 1e-15);

    // The ellipse's a axis keeps pointing where it pointed, turned with the rest.
    GLObjEllipse ellipse;
    ellipse.setEllipse(Vec3d(1, 2, 3), axis, 3, 1, 0.4);
    const Vec3d before = ellipse.nearestPoint(
        Vec3d(1, 2, 3) + rotateZOnto(axis, Vec3d(std::cos(0.4), std::sin(0.4), 0)) * 10);
    ellipse.setPendingTransform(t);
    ellipse.applyTransform();
    EXPECT_LT((ellipse.center() - moved(Vec3d(1, 2, 3))).norm(), 1e-13);
    EXPECT_LT(
        (ellipse.nearestPoint(moved(before) + turned(before - Vec3d(1, 2, 3)) * 5) - moved(before))
            .norm(),
        1e-9);
}

TEST(PrimitiveFactoryTest, FitResultsAndFilesBecomeTheirObjects) {
    using tessaro::commands::FitShape;
    tessaro::commands::FitResult r;
    r.shape = FitShape::kCylinder;
    r.geometry.point = Vec3d(1, 2, 3);
    r.geometry.direction = Vec3d(0, 0, 1);
    r.geometry.radius = 2;
    r.extentStart = Vec3d(1, 2, -1);
    r.extentLength = 7;
    auto object = makePrimitiveObject(r);
    auto* cylinder = dynamic_cast<GLObjCylinder*>(object.get());
    ASSERT_NE(cylinder, nullptr);
    EXPECT_EQ(cylinder->bottom(), Vec3d(1, 2, -1));
    EXPECT_EQ(cylinder->height(), 7);

    // A plane's patch covers its points.
    r.shape = FitShape::kPlane;
    const std::vector<Vec3d> pts = {Vec3d(1, 2, 3), Vec3d(4, 6, 3), Vec3d(0, 2, 3)};
    object = makePrimitiveObject(r, pts.data(), pts.data() + pts.size());
    ASSERT_NE(dynamic_cast<GLObjPlane*>(object.get()), nullptr);
    EXPECT_EQ(dynamic_cast<GLObjPlane*>(object.get())->size(), 10);

    // Every shape from a file; without an extent the axis is centred on the point.
    for (FitShape shape : tessaro::commands::kFitShapes) {
        tessaro::commands::FitResultFile file;
        file.shapeName = tessaro::commands::fitShapeName(shape);
        file.shape = shape;
        file.geometry = r.geometry;
        file.geometry.radius2 = 0.5;
        file.geometry.factor = 1;
        testing::internal::CaptureStdout();
        object = makePrimitiveObject(file);
        testing::internal::GetCapturedStdout();
        ASSERT_NE(object, nullptr) << file.shapeName;
        EXPECT_FALSE(object->mesh().positions.empty()) << file.shapeName;
        if (shape == FitShape::kCylinder) {
            cylinder = dynamic_cast<GLObjCylinder*>(object.get());
            EXPECT_EQ(cylinder->bottom(), Vec3d(1, 2, 1));
            EXPECT_EQ(cylinder->height(), 4);
        }
    }
    tessaro::commands::FitResultFile cube;
    cube.shapeName = "cube";
    EXPECT_THROW(makePrimitiveObject(cube), std::runtime_error);
}

}  // namespace
