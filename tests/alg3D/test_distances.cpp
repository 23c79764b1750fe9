// Distances of test clouds from reference clouds, meshes and primitives, against brute
// force and analytic distances; and their evaluation (range, statistics, colours,
// selection).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/algorithm/DistanceEvaluation.h"
#include "alg3D/algorithm/Distances.h"
#include "alg3D/algorithm/DistancesPrimitives.h"
#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/approximate/FitObjCone.h"
#include "alg3D/approximate/FitObjCylinder.h"
#include "alg3D/approximate/FitObjEllipse3D.h"
#include "alg3D/approximate/FitObjLine3D.h"
#include "alg3D/approximate/FitObjPlane.h"
#include "alg3D/approximate/FitObjSphere.h"
#include "alg3D/approximate/FitObjSuperEllipse3D.h"
#include "alg3D/approximate/FitObjTorus.h"
#include "alg3D/matrix/ColorScale.h"

using namespace alg3D;
using namespace alg3D::algorithm;
using alg3D::approximate::Given;

namespace {

constexpr double kMax = std::numeric_limits<double>::max();

std::vector<Vec3d> randomPoints(std::size_t n, double lo, double hi, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<Vec3d> p(n);
    for (Vec3d& v : p)
        v = Vec3d(u(rng), u(rng), u(rng));
    return p;
}

std::vector<GLPoint> colored(const std::vector<Vec3d>& p) {
    std::vector<GLPoint> out;
    for (const Vec3d& v : p)
        out.emplace_back(v, Color(1, 2, 3));
    return out;
}

double bruteNearest(const Vec3d& q, const std::vector<Vec3d>& ref) {
    double best = std::numeric_limits<double>::infinity();
    for (const Vec3d& r : ref)
        best = std::min(best, (r - q).norm());
    return best;
}

template <typename P, typename Q>
std::vector<double> pts2pts(const std::vector<P>& ref, const std::vector<Q>& test, double maxD) {
    ParamDistances<P, Q> param;
    std::vector<double> result;
    param.referenceBegin = ref.data();
    param.referenceEnd = ref.data() + ref.size();
    param.testBegin = test.data();
    param.testEnd = test.data() + test.size();
    param.maxDistance = maxD;
    param.result = &result;
    calcDistancesPts2Pts(param);
    EXPECT_EQ(param.control.progress.load(), 100.0f);
    return result;
}

template <typename P, typename Q>
void checkPts2Pts(const std::vector<Vec3d>& ref, const std::vector<Vec3d>& test,
                  const std::vector<P>& refP, const std::vector<Q>& testQ) {
    for (double maxD : {0.0, 0.08}) {
        const std::vector<double> d = pts2pts(refP, testQ, maxD);
        ASSERT_EQ(d.size(), test.size());
        for (std::size_t i = 0; i < test.size(); ++i) {
            const double truth = bruteNearest(test[i], ref);
            if (maxD > 0.0 && std::abs(truth - maxD) < 1e-7) continue;  // at the bound
            if (maxD > 0.0 && truth > maxD)
                EXPECT_EQ(d[i], -1.0) << i;
            else
                EXPECT_NEAR(d[i], truth, 1e-12 * (1.0 + truth)) << i;
        }
    }
}

TEST(DistancesPts2Pts, MatchesBruteForceForAllPointTypes) {
    const std::vector<Vec3d> ref = randomPoints(3000, -1.0, 1.0, 1);
    std::vector<Vec3d> test = randomPoints(1500, -1.2, 1.2, 2);
    for (std::size_t i = 0; i < 100; ++i)
        test[i] = ref[i * 7];  // coincident points
    checkPts2Pts(ref, test, ref, test);
    checkPts2Pts(ref, test, colored(ref), test);
    checkPts2Pts(ref, test, ref, colored(test));
    checkPts2Pts(ref, test, colored(ref), colored(test));
    const std::vector<double> d = pts2pts(ref, test, 0.0);
    for (std::size_t i = 0; i < 100; ++i)
        EXPECT_EQ(d[i], 0.0);
}

TEST(DistancesPts2Pts, NoPartnerMarkers) {
    const std::vector<Vec3d> test = randomPoints(50, 0.0, 1.0, 3);
    const std::vector<Vec3d> empty;
    for (double d : pts2pts(empty, test, 0.0))
        EXPECT_EQ(d, -1.0);
    const std::vector<Vec3d> ref = randomPoints(50, 5.0, 6.0, 4);
    for (double d : pts2pts(ref, test, -1.0))
        EXPECT_EQ(d, -1.0);
    for (double d : pts2pts(ref, test, 0.5))
        EXPECT_EQ(d, -1.0);
    EXPECT_TRUE(pts2pts(ref, empty, 0.0).empty());
}

TEST(DistancesPts2Pts, AbortLeavesUnsetValues) {
    const std::vector<Vec3d> ref = randomPoints(1000, 0.0, 1.0, 5);
    const std::vector<Vec3d> test = randomPoints(1000, 0.0, 1.0, 6);
    ParamDistances<Vec3d, Vec3d> param;
    std::vector<double> result;
    param.referenceBegin = ref.data();
    param.referenceEnd = ref.data() + ref.size();
    param.testBegin = test.data();
    param.testEnd = test.data() + test.size();
    param.result = &result;
    param.control.abort = true;
    calcDistancesPts2Pts(param);
    ASSERT_EQ(result.size(), test.size());
    for (double d : result)
        EXPECT_EQ(d, kMax);
}

// Closed triangulated sphere (subdivided icosahedron) with outward normals.
std::vector<Vec3d> icosphere(double radius, int levels) {
    const double t = (1.0 + std::sqrt(5.0)) / 2.0;
    std::vector<Vec3d> v = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0},
                            {0, -1, t}, {0, 1, t}, {0, -1, -t}, {0, 1, -t},
                            {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    const int f[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                          {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                          {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                          {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    std::vector<Vec3d> tris;
    for (const auto& face : f)
        for (int k : face)
            tris.push_back(v[k].normalized());
    for (int l = 0; l < levels; ++l) {
        std::vector<Vec3d> next;
        for (std::size_t i = 0; i < tris.size(); i += 3) {
            const Vec3d a = tris[i], b = tris[i + 1], c = tris[i + 2];
            const Vec3d ab = (a + b).normalized(), bc = (b + c).normalized(),
                        ca = (c + a).normalized();
            for (const Vec3d& p : {a, ab, ca, ab, b, bc, ca, bc, c, ab, bc, ca})
                next.push_back(p);
        }
        tris.swap(next);
    }
    for (std::size_t i = 0; i < tris.size(); i += 3) {
        if ((tris[i + 1] - tris[i]).cross(tris[i + 2] - tris[i]).dot(tris[i]) < 0.0)
            std::swap(tris[i + 1], tris[i + 2]);
    }
    for (Vec3d& p : tris)
        p = p * radius;
    return tris;
}

Vec3d closestOnSegment(const Vec3d& p, const Vec3d& a, const Vec3d& b) {
    const Vec3d ab = b - a;
    const double t = std::clamp((p - a).dot(ab) / ab.squaredNorm(), 0.0, 1.0);
    return a + ab * t;
}

// Independent closest point: projection if inside (barycentric), else nearest edge.
double bruteTriangleDistance(const Vec3d& p, const Vec3d& a, const Vec3d& b, const Vec3d& c) {
    const Vec3d n = (b - a).cross(c - a).normalized();
    const Vec3d q = p - n * (p - a).dot(n);
    const bool inside = (b - a).cross(q - a).dot(n) >= 0 && (c - b).cross(q - b).dot(n) >= 0 &&
                        (a - c).cross(q - c).dot(n) >= 0;
    if (inside) return (p - q).norm();
    return std::min({(p - closestOnSegment(p, a, b)).norm(), (p - closestOnSegment(p, b, c)).norm(),
                     (p - closestOnSegment(p, c, a)).norm()});
}

template <typename P>
std::vector<double> pts2mesh(const std::vector<Vec3d>& mesh, const std::vector<P>& test,
                             double maxD) {
    const std::vector<KdTriangleProxy<Vec3d>> proxies = makeTriangleProxies(mesh);
    ParamDistances2Mesh<KdTriangleProxy<Vec3d>, P> param;
    std::vector<double> result;
    param.triangleBegin = proxies.data();
    param.triangleEnd = proxies.data() + proxies.size();
    param.testBegin = test.data();
    param.testEnd = test.data() + test.size();
    param.maxDistance = maxD;
    param.result = &result;
    calcDistancesMesh(param);
    return result;
}

TEST(DistancesMesh, ClosedSphereAgainstBruteForceWithInsideNegative) {
    const std::vector<Vec3d> mesh = icosphere(2.0, 3);  // 1280 triangles
    std::vector<Vec3d> test = randomPoints(1500, -3.0, 3.0, 7);
    for (std::size_t i = 0; i < 30; ++i)
        test[i] = mesh[i * 11];  // on the surface
    const std::vector<GLPoint> testColored = colored(test);
    for (double maxD : {0.0, 0.3}) {
        const std::vector<double> d = pts2mesh(mesh, test, maxD);
        const std::vector<double> dc = pts2mesh(mesh, testColored, maxD);
        ASSERT_EQ(d.size(), test.size());
        EXPECT_EQ(d, dc);
        for (std::size_t i = 0; i < test.size(); ++i) {
            double truth = std::numeric_limits<double>::infinity();
            bool inside = true;
            for (std::size_t t = 0; t < mesh.size(); t += 3) {
                truth = std::min(truth,
                                 bruteTriangleDistance(test[i], mesh[t], mesh[t + 1], mesh[t + 2]));
                const Vec3d n = (mesh[t + 1] - mesh[t]).cross(mesh[t + 2] - mesh[t]);
                if ((test[i] - mesh[t]).dot(n) > 0.0) inside = false;
            }
            if (maxD > 0.0 && std::abs(truth - maxD) < 1e-5) continue;
            if (maxD > 0.0 && truth > maxD) {
                EXPECT_EQ(d[i], kMax) << i;
                continue;
            }
            EXPECT_NEAR(std::abs(d[i]), truth, 1e-12) << i;
            if (truth > 1e-9) {
                EXPECT_EQ(d[i] < 0.0, inside) << i;
            }
        }
    }
}

// The same sphere in millimetres given in metres: the closest points do not depend on
// the unit of length.
TEST(DistancesMesh, SmallUnitsAgainstBruteForce) {
    const double unit = 1e-3;
    const std::vector<Vec3d> mesh = icosphere(2.0 * unit, 2);  // 320 triangles
    std::vector<Vec3d> test = randomPoints(400, -3.0 * unit, 3.0 * unit, 17);
    const std::vector<double> d = pts2mesh(mesh, test, 0.0);
    for (std::size_t i = 0; i < test.size(); ++i) {
        double truth = std::numeric_limits<double>::infinity();
        for (std::size_t t = 0; t < mesh.size(); t += 3)
            truth =
                std::min(truth, bruteTriangleDistance(test[i], mesh[t], mesh[t + 1], mesh[t + 2]));
        EXPECT_NEAR(std::abs(d[i]), truth, 1e-12 * unit) << i;
    }
}

TEST(DistancesMesh, EmptyMeshLeavesUnsetValues) {
    const std::vector<Vec3d> test = randomPoints(10, 0.0, 1.0, 8);
    for (double d : pts2mesh(std::vector<Vec3d>{}, test, 0.0))
        EXPECT_EQ(d, kMax);
}

// ---- primitives ----------------------------------------------------------------------

Vec3d unit(double x, double y, double z) {
    return Vec3d(x, y, z).normalized();
}

template <typename Obj>
std::vector<double> primitive(const Obj& obj, const std::vector<Vec3d>& pts) {
    std::vector<double> out(pts.size()), out2(pts.size());
    distancesToPrimitive(obj, pts.data(), pts.data() + pts.size(), out.data());
    const std::vector<GLPoint> c = colored(pts);
    distancesToPrimitive(obj, c.data(), c.data() + c.size(), out2.data(), 1);
    EXPECT_EQ(out, out2);
    return out;
}

// Axis frame of a unit direction.
void frameOf(const Vec3d& d, Vec3d& e1, Vec3d& e2) {
    e1 = (std::abs(d.x) < 0.9 ? Vec3d(1, 0, 0) : Vec3d(0, 1, 0)).cross(d).normalized();
    e2 = d.cross(e1);
}

TEST(DistancesPrimitives, LinePlaneSphereCylinderCircle) {
    const Vec3d p(1.0, -2.0, 0.5);
    const Vec3d d = unit(1.0, 2.0, -0.5);
    std::vector<Vec3d> pts = randomPoints(400, -5.0, 5.0, 9);
    Vec3d e1, e2;
    frameOf(d, e1, e2);
    pts.push_back(p);             // centre / on the axis
    pts.push_back(p + 3.0 * d);   // on the axis
    pts.push_back(p + 1.5 * e1);  // on the surface (radius 1.5)
    pts.push_back(p + 1.5 * e2 + 2 * d);

    approximate::FitObjLine3D line;
    line.setPoint(p, Given);
    line.setDirection(d, Given);
    approximate::FitObjPlane plane;
    plane.setPoint(p, Given);
    plane.setNormal(d, Given);
    approximate::FitObjSphere sphere;
    sphere.setCenter(p, Given);
    sphere.setRadius(1.5, Given);
    approximate::FitObjCylinder cylinder;
    cylinder.setPoint(p, Given);
    cylinder.setDirection(d, Given);
    cylinder.setRadius(1.5, Given);
    approximate::FitObjCircle3D circle;
    circle.setCenter(p, Given);
    circle.setNormal(d, Given);
    circle.setRadius(1.5, Given);

    const auto l = primitive(line, pts), pl = primitive(plane, pts), s = primitive(sphere, pts),
               cy = primitive(cylinder, pts), ci = primitive(circle, pts);
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const Vec3d v = pts[i] - p;
        const double axial = (v - d * v.dot(d)).norm();
        EXPECT_NEAR(l[i], v.cross(d).norm(), 1e-12) << i;
        EXPECT_NEAR(pl[i], v.dot(d), 1e-12) << i;
        EXPECT_NEAR(s[i], v.norm() - 1.5, 1e-12) << i;
        EXPECT_NEAR(cy[i], axial - 1.5, 1e-12) << i;
        EXPECT_NEAR(ci[i], axial - 1.5, 1e-12) << i;
    }
    EXPECT_NEAR(s[400], -1.5, 1e-15);
    EXPECT_NEAR(cy[401], -1.5, 1e-15);
    EXPECT_NEAR(cy[402], 0.0, 1e-12);
}

TEST(DistancesPrimitives, ConeAndTorus) {
    const Vec3d p(0.5, 1.0, -1.0);
    const Vec3d d = unit(-0.3, 0.2, 1.0);
    const double R = 2.0, alpha = 0.4;
    Vec3d e1, e2;
    frameOf(d, e1, e2);
    std::vector<Vec3d> pts = randomPoints(400, -6.0, 6.0, 10);
    pts.push_back(p);                                         // on the axis
    pts.push_back(p + 4.0 * d);                               // on the axis
    pts.push_back(p + 1.0 * d + (R + std::tan(alpha)) * e1);  // on the cone
    approximate::FitObjCone cone;
    cone.setPoint(p, Given);
    cone.setDirection(d, Given);
    cone.setRadius(R, Given);
    cone.setAngle(alpha, Given);
    const auto c = primitive(cone, pts);
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const Vec3d v = pts[i] - p;
        const double h = v.dot(d), rho = (v - d * h).norm();
        // Distances to the two generator lines of the meridian plane.
        const double d1 = std::abs((rho - R) * std::cos(alpha) - h * std::sin(alpha));
        const double d2 = std::abs((rho + R) * std::cos(alpha) + h * std::sin(alpha));
        const double truth = std::min(d1, d2);
        const bool inside = rho < std::abs(R + h * std::tan(alpha));
        EXPECT_NEAR(std::abs(c[i]), truth, 1e-9) << i;
        if (truth > 1e-9) {
            EXPECT_EQ(c[i] < 0.0, inside) << i;
        }
    }
    EXPECT_NEAR(c[402], 0.0, 1e-12);

    const double r1 = 3.0, r2 = 0.75;
    std::vector<Vec3d> tp = randomPoints(400, -5.0, 5.0, 11);
    tp.push_back(p);                     // centre
    tp.push_back(p + 2.0 * d);           // on the axis
    tp.push_back(p + r1 * e2 + r2 * d);  // on the surface
    tp.push_back(p + r1 * e1);           // on the spine
    approximate::FitObjTorus torus;
    torus.setCenter(p, Given);
    torus.setDirection(d, Given);
    torus.setRadius1(r1, Given);
    torus.setRadius2(r2, Given);
    const auto t = primitive(torus, tp);
    for (std::size_t i = 0; i < tp.size(); ++i) {
        const Vec3d v = tp[i] - p;
        const double h = v.dot(d), rho = (v - d * h).norm();
        EXPECT_NEAR(t[i], std::hypot(rho - r1, h) - r2, 1e-12) << i;
    }
    EXPECT_NEAR(t[400], r1 - r2, 1e-12);
    EXPECT_NEAR(t[402], 0.0, 1e-12);
    EXPECT_NEAR(t[403], -r2, 1e-12);
}

// In-plane distance to a curve x(t) by dense sampling and golden-section polishing.
template <typename Curve>
double curveDistance(double x, double y, const Curve& curve) {
    const int n = 20000;
    const double twoPi = 2.0 * 3.14159265358979323846;
    auto dist = [&](double t) {
        const auto c = curve(t);
        return std::hypot(x - c.first, y - c.second);
    };
    double bestT = 0.0, best = dist(0.0);
    for (int i = 1; i < n; ++i) {
        const double t = twoPi * i / n;
        if (dist(t) < best) best = dist(t), bestT = t;
    }
    double lo = bestT - twoPi / n, hi = bestT + twoPi / n;
    const double g = (std::sqrt(5.0) - 1.0) / 2.0;
    for (int i = 0; i < 200; ++i) {
        const double a = hi - g * (hi - lo), b = lo + g * (hi - lo);
        if (dist(a) < dist(b))
            hi = b;
        else
            lo = a;
    }
    return std::min(best, dist(0.5 * (lo + hi)));
}

TEST(DistancesPrimitives, EllipseAndSuperellipseSignedInPlane) {
    const Vec3d c(1.0, 2.0, 3.0);
    const Vec3d n = unit(0.2, -0.4, 1.0);
    const double a = 3.0, b = 1.5, angle = 0.3, k = 0.6;
    approximate::FitObjEllipse3D ellipse;
    ellipse.setCenter(c, Given);
    ellipse.setNormal(n, Given);
    ellipse.setSemiAxisA(a, Given);
    ellipse.setSemiAxisB(b, Given);
    ellipse.setAngle(angle, Given);
    approximate::FitObjSuperEllipse3D super;
    super.setCenter(c, Given);
    super.setNormal(n, Given);
    super.setSemiAxisA(a, Given);
    super.setSemiAxisB(b, Given);
    super.setAngle(angle, Given);
    super.setFactor(k, Given);
    const Vec3d ax = ellipse.axisA();
    ASSERT_NEAR(ax.dot(n), 0.0, 1e-12);
    const Vec3d ay = n.cross(ax);

    std::vector<Vec3d> pts = randomPoints(150, -4.0, 4.0, 12);
    for (Vec3d& q : pts)
        q += c;
    pts.push_back(c);                     // centre
    pts.push_back(c + a * ax + 0.7 * n);  // above the end of the a axis
    pts.push_back(c + b * ay);            // on the curve
    const auto e = primitive(ellipse, pts);
    const auto s = primitive(super, pts);
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const Vec3d v = pts[i] - c;
        const double x = v.dot(ax), y = v.dot(ay);
        const double te = curveDistance(
            x, y, [&](double t) { return std::make_pair(a * std::cos(t), b * std::sin(t)); });
        const bool inE = (x / a) * (x / a) + (y / b) * (y / b) < 1.0;
        EXPECT_NEAR(e[i], inE ? -te : te, 1e-9) << i;
        const double ts = curveDistance(x, y, [&](double t) {
            const double ct = std::cos(t), st = std::sin(t);
            return std::make_pair(a * std::copysign(std::pow(std::abs(ct), k), ct),
                                  b * std::copysign(std::pow(std::abs(st), k), st));
        });
        const bool inS =
            std::pow(x * x / (a * a), 1.0 / k) + std::pow(y * y / (b * b), 1.0 / k) < 1.0;
        EXPECT_NEAR(s[i], inS ? -ts : ts, 1e-7) << i;
    }
    EXPECT_NEAR(e[150], -b, 1e-12);
    EXPECT_NEAR(e[151], 0.0, 1e-12);
    EXPECT_NEAR(std::abs(s[152]), 0.0, 1e-9);
}

// ---- evaluation ----------------------------------------------------------------------

TEST(DistanceEvaluation, StatisticsMedianAndText) {
    const std::vector<double> v = {0.5, -0.2, 0.1, 0.9, 0.3, -0.7};
    DistanceEvaluationSettings s;
    const DistanceEvaluation e = evaluateDistances(v, s);
    EXPECT_EQ(e.pairs, 6u);
    EXPECT_EQ(e.minDev, -0.7);
    EXPECT_EQ(e.maxDev, 0.9);
    const double mean = (0.5 - 0.2 + 0.1 + 0.9 + 0.3 - 0.7) / 6.0;
    EXPECT_NEAR(e.meanDev, mean, 1e-15);
    double sq = 0;
    for (double x : v)
        sq += (x - mean) * (x - mean);
    EXPECT_NEAR(e.stdDev, std::sqrt(sq / 6.0), 1e-15);
    EXPECT_EQ(e.median, 0.3);  // rank 3 of -0.7 -0.2 0.1 0.3 0.5 0.9: the upper middle
    EXPECT_EQ(evaluateDistances({3.0, 1.0, 2.0}, s).median, 2.0);
    EXPECT_EQ(e.colorMin, std::max(e.minDev, mean - 3 * e.stdDev));
    EXPECT_EQ(e.colorMax, std::min(e.maxDev, mean + 3 * e.stdDev));
    EXPECT_EQ(e.selectedCount, 0u);
    EXPECT_EQ(evaluateDistances({1.0, 2.0}, s).text("5ms"),
              "minDev.: 1.00000000\nmaxDev.: 2.00000000\nmeanDev.: 1.50000000\n"
              "median: 2.00000000\nstdDev.: 0.50000000\npairs: 2\nselected: 0\nduration: 5ms");
}

TEST(DistanceEvaluation, RangesAbsoluteColoursAndSelection) {
    const std::vector<double> v = {-3.0, -1.0, 0.0, 1.0, 2.0, 4.0, kMax};
    DistanceEvaluationSettings s;
    s.minD = -1.5;
    s.maxD = 2.5;
    s.colorAuto = false;
    s.colorMin = -1.0;
    s.colorMax = 1.0;
    s.selectInside = true;
    DistanceEvaluation e = evaluateDistances(v, s);
    EXPECT_EQ(e.pairs, 4u);  // -1 0 1 2
    EXPECT_EQ(e.minDev, -1.0);
    EXPECT_EQ(e.maxDev, 2.0);
    EXPECT_EQ(e.selectedCount, 4u);
    EXPECT_EQ(e.selected, (std::vector<char>{0, 1, 1, 1, 1, 0, 0}));
    EXPECT_EQ(e.colors[0], Color(0, 0, 0));
    EXPECT_EQ(e.colors[1], colorScale(0.0, 240.0));
    EXPECT_EQ(e.colors[2], colorScale(0.5, 240.0));
    EXPECT_EQ(e.colors[3], colorScale(1.0, 240.0));
    EXPECT_EQ(e.colors[4], colorScale(1.0, 240.0));
    EXPECT_EQ(e.colors[6], Color(0, 0, 0));  // unset stays black and unselected

    s.selectInside = false;
    s.selectOutside = true;
    e = evaluateDistances(v, s);
    EXPECT_EQ(e.selected, (std::vector<char>{1, 0, 0, 0, 0, 1, 0}));

    s.absolute = true;  // |v| in [-1.5, 2.5]: 1 0 1 2
    s.selectOutside = false;
    e = evaluateDistances(v, s);
    EXPECT_EQ(e.pairs, 4u);
    EXPECT_EQ(e.minDev, 0.0);
    EXPECT_EQ(e.maxDev, 2.0);
    EXPECT_EQ(e.colors[1], colorScale(1.0, 240.0));

    // u >= v: every in-range point blue.
    s.colorMin = 2.0;
    s.colorMax = 1.0;
    e = evaluateDistances(v, s);
    for (std::size_t i = 1; i < 5; ++i)
        EXPECT_EQ(e.colors[i], colorScale(0.0, 240.0)) << i;
}

TEST(DistanceEvaluation, EmptyRangeAndNoPartnerMarker) {
    DistanceEvaluationSettings s;
    s.minD = 10.0;
    s.selectInside = true;
    DistanceEvaluation e = evaluateDistances({1.0, 2.0, 3.0}, s);
    EXPECT_EQ(e.pairs, 0u);
    EXPECT_EQ(e.meanDev, 0.0);
    EXPECT_EQ(e.median, 0.0);
    EXPECT_EQ(e.stdDev, 0.0);
    EXPECT_EQ(e.selectedCount, 0u);
    for (const Color& c : e.colors)
        EXPECT_EQ(c, Color(0, 0, 0));

    // -1 marks a point without partner: never in range, however wide the range.
    DistanceEvaluationSettings p;
    p.noPartnerMarker = true;
    p.selectOutside = true;
    e = evaluateDistances({-1.0, 0.5, 1.5}, p);
    EXPECT_EQ(e.pairs, 2u);
    EXPECT_EQ(e.minDev, 0.5);
    EXPECT_EQ(e.colors[0], Color(0, 0, 0));
    EXPECT_EQ(e.selectedCount, 0u);
    p.absolute = true;
    EXPECT_EQ(evaluateDistances({-1.0, 0.5}, p).pairs, 1u);
    // An explicit range that holds -1 (and 1, its absolute value) still leaves it out:
    // not counted, not in the median, black, and neither inside nor outside.
    DistanceEvaluationSettings r;
    r.noPartnerMarker = true;
    r.minD = -5.0;
    r.maxD = 5.0;
    r.selectInside = true;
    const std::vector<double> values = {-1.0, 0.25, -1.0, 0.75, 2.0, 9.0};
    for (bool absolute : {false, true}) {
        SCOPED_TRACE(absolute);
        r.absolute = absolute;
        r.selectInside = true;
        r.selectOutside = false;
        e = evaluateDistances(values, r);
        EXPECT_EQ(e.pairs, 3u);
        EXPECT_EQ(e.minDev, 0.25);
        EXPECT_EQ(e.maxDev, 2.0);
        EXPECT_EQ(e.median, 0.75);
        EXPECT_EQ(e.meanDev, 1.0);
        EXPECT_EQ(e.selected, (std::vector<char>{0, 1, 0, 1, 1, 0}));
        EXPECT_EQ(e.colors[0], Color(0, 0, 0));
        EXPECT_EQ(e.colors[2], Color(0, 0, 0));
        EXPECT_EQ(e.colors[5], Color(0, 0, 0));
        EXPECT_NE(e.colors[1], Color(0, 0, 0));
        EXPECT_NE(e.text("1ms").find("\npairs: 3\nselected: 3\nduration: 1ms"), std::string::npos);
        r.selectInside = false;
        r.selectOutside = true;
        e = evaluateDistances(values, r);
        EXPECT_EQ(e.selected, (std::vector<char>{0, 0, 0, 0, 0, 1}));
        EXPECT_EQ(e.selectedCount, 1u);
    }
    // Without the marker, -1 is a real signed distance (meshes, primitives).
    EXPECT_EQ(evaluateDistances({-1.0, 0.5}, DistanceEvaluationSettings()).pairs, 2u);
}

}  // namespace
