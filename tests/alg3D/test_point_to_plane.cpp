// Point-to-plane registration against known transforms on independent samples of smooth
// surfaces: accuracy beside point-to-point, freedom masks, a mesh reference, planar data,
// robust weighting, units, abort and the result codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "RegistrationTestUtils.h"
#include "TestHelpers.h"
#include "alg3D/algorithm/Distances.h"
#include "alg3D/algorithm/IcpRegistration.h"
#include "alg3D/algorithm/KdTree.h"
#include "alg3D/algorithm/Normals.h"
#include "alg3D/algorithm/RegisterPointToPlane.h"
#include "alg3D/matrix/PointStatistics.h"

using namespace alg3D;
using namespace alg3D::algorithm;

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;

using registration_test::axisAngle;
using registration_test::height;
using registration_test::heightMesh;
using registration_test::surfaceSamples;
double rotationError(const Matrix3x3d& A, const Matrix3x3d& B) {
    return registration_test::rotationDifference(A, B);
}

// Data whose registration onto the reference is T: T⁻¹ of surface points.
std::vector<Vec3d> moved(const std::vector<Vec3d>& surface, const IcpTransform& T) {
    std::vector<Vec3d> d;
    for (const Vec3d& r : surface)
        d.push_back(T.rotation.transposed() * (r - T.translation) / T.scale);
    return d;
}

IcpTransform truthOf(const Vec3d& axis, double degrees, const Vec3d& t, double scale = 1.0) {
    IcpTransform T;
    T.rotation = axisAngle(axis, degrees * kDegree);
    T.translation = t;
    T.scale = scale;
    return T;
}

// A point reference with its k = 30 normals, paired as the registration command pairs
// (the local surfaces), or with the tangent plane at the nearest point itself.
struct PointReference {
    std::vector<Vec3d> points;
    std::vector<Vec3f> normals;
    KdTree<Vec3d> tree;
    std::unique_ptr<IcpLocalSurfaces<Vec3d>> surfaces;
    explicit PointReference(std::vector<Vec3d> p) : points(std::move(p)), normals(points.size()) {
        normalsKNearest(ProcessControl(), points.data(), points.data() + points.size(),
                        normals.data(), kNormalsAutoK);
        tree.build(points.data(), points.data() + points.size());
        surfaces = std::make_unique<IcpLocalSurfaces<Vec3d>>(tree, kNormalsAutoK, normals.data());
        surfaces->allocate();
    }
    IcpNearestWithNormal nearest() const { return surfaces->nearest(); }
    IcpNearestWithNormal tangentPlanes() const {
        return icpNearestPointWithNormal(tree, normals.data());
    }
};

struct PlaneRun {
    int code = -1;
    IcpTransform t;
    PointToPlaneReport report;
    IcpStatistics stats;
};

PlaneRun planeRun(const std::vector<Vec3d>& data, const IcpNearestWithNormal& nearest,
                  unsigned freedom = kIcpRigid, int samples = 0, int robust = kIcpRobustNone,
                  unsigned threads = 0, bool aboutOrigin = false) {
    IcpState state;
    state.freedom = freedom;
    state.rotationCentreIsOrigin = aboutOrigin;
    if (threads) state.threads = threads;
    PointToPlaneOptions options;
    options.robust = robust;
    PlaneRun r;
    r.code = registerPointToPlane(state, data.data(), data.data() + data.size(), samples, 0.0, 100,
                                  0.0, nearest, options, &r.report);
    r.t = state.transform();
    r.stats = state.stats;
    return r;
}

// Reference over x in [-5, 3], data over x in [-3, 5] (three quarters overlap), both
// independent samples of the same surface.
TEST(PointToPlane, IndependentSamplesBeatPointToPoint) {
    const PointReference ref(surfaceSamples(20000, -5, 3, -5, 5, 11));
    const std::vector<Vec3d> surface = surfaceSamples(20000, -3, 5, -5, 5, 12);
    const IcpTransform truth = truthOf(Vec3d(0.3, -0.5, 1.0), 10.0, Vec3d(0.4, -0.3, 0.2));
    const std::vector<Vec3d> data = moved(surface, truth);

    const PlaneRun plane = planeRun(data, ref.nearest(), kIcpRigid, 2000);
    EXPECT_LE(plane.code, kIcpBelowTolerance);
    const double planeError = rotationError(plane.t.rotation, truth.rotation) / kDegree;
    EXPECT_LT(planeError, 2e-4);
    EXPECT_LT((plane.t.translation - truth.translation).norm(), 1e-4);
    EXPECT_EQ(plane.t.scale, 1.0);
    EXPECT_EQ(plane.report.unobservable, 0u);
    // The tangent plane at the nearest sample instead of the local surface: off by the
    // curvature over the sample spacing.
    const PlaneRun tangent = planeRun(data, ref.tangentPlanes(), kIcpRigid, 2000);
    const double tangentError = rotationError(tangent.t.rotation, truth.rotation) / kDegree;
    EXPECT_LT(tangentError, 0.01);
    EXPECT_GT(tangentError, 5 * planeError);

    IcpState state;
    registerGauss(state, data.data(), data.data() + data.size(), 2000, 0.0, 100, 0.0,
                  icpNearestPoint(ref.tree));
    const double pointError = rotationError(state.transform().rotation, truth.rotation) / kDegree;
    EXPECT_GT(pointError, 0.1);
}

// Noisy scans (noise a fifth of the point spacing): the runs converge (no cycling between
// noisy partners up to the iteration limit) and end at the noise floor, which more pairs
// lower; point-to-point pairing is ten times farther off.
TEST(PointToPlane, NoisySamplesConvergeToTheNoiseFloor) {
    const PointReference ref(surfaceSamples(20000, -5, 3, -5, 5, 13, 1.0, 0.013));
    const IcpTransform truth = truthOf(Vec3d(0.3, -0.5, 1.0), 10.0, Vec3d(0.4, -0.3, 0.2));
    const std::vector<Vec3d> data =
        moved(surfaceSamples(20000, -3, 5, -5, 5, 14, 1.0, 0.013), truth);
    const PlaneRun sampled = planeRun(data, ref.nearest(), kIcpRigid, 2000);
    const PlaneRun all = planeRun(data, ref.nearest(), kIcpRigid, 0);
    EXPECT_LE(sampled.code, kIcpBelowTolerance);
    EXPECT_LE(all.code, kIcpBelowTolerance);
    EXPECT_LT(rotationError(sampled.t.rotation, truth.rotation) / kDegree, 0.08);
    EXPECT_LT(rotationError(all.t.rotation, truth.rotation) / kDegree, 0.015);
    IcpState state;
    registerGauss(state, data.data(), data.data() + data.size(), 2000, 0.0, 100, 0.0,
                  icpNearestPoint(ref.tree));
    EXPECT_GT(rotationError(state.transform().rotation, truth.rotation) / kDegree, 0.2);
}

// Two regular grids of the same surface, one shifted by a fraction of the spacing: every
// pair distance is about the same, so a cut inside their narrow spread would choose pairs
// at random from step to step. The run converges (it ran to the iteration limit).
TEST(PointToPlane, ShiftedGridsConverge) {
    const auto grid = [](double shiftX, double shiftY, int n) {  // two hills on a slope
        std::vector<Vec3d> p;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                const double x = shiftX + 0.25 * i, y = shiftY + 0.25 * j;
                p.emplace_back(
                    x, y,
                    1.5 * std::exp(-((x - 6) * (x - 6) + (y - 8) * (y - 8)) / 12.0) +
                        0.8 * std::exp(-((x - 14) * (x - 14) + (y - 5) * (y - 5)) / 8.0) +
                        0.02 * x);
            }
        return p;
    };
    const PointReference ref(grid(0.0, 0.0, 81));
    IcpTransform truth = truthOf(Vec3d(0.3, -0.5, 0.8), 1.5, Vec3d());
    truth.translation =
        Vec3d(10, 10, 0) - truth.rotation * Vec3d(10, 10, 0) + Vec3d(0.12, -0.08, 0.05);
    const PlaneRun r = planeRun(moved(grid(2.2, 1.35, 65), truth), ref.nearest(), kIcpRigid, 2000);
    EXPECT_LE(r.code, kIcpBelowTolerance);
    EXPECT_LT(rotationError(r.t.rotation, truth.rotation) / kDegree, 0.01);
}

// Freedom masks: the masked components stay exactly as they were (the rotations turn
// about the origin, as the truth does).
TEST(PointToPlane, FreedomMasks) {
    const PointReference ref(surfaceSamples(8000, -5, 5, -5, 5, 21));
    const std::vector<Vec3d> surface = surfaceSamples(8000, -4, 4, -4, 4, 22);
    struct Case {
        unsigned freedom;
        IcpTransform truth;
    } cases[] = {
        {kIcpTranslations, truthOf(Vec3d(0, 0, 1), 0.0, Vec3d(0.3, -0.2, 0.15))},
        {kIcpRz, truthOf(Vec3d(0, 0, 1), 6.0, Vec3d())},
        {kIcpRz | kIcpTz, truthOf(Vec3d(0, 0, 1), -4.0, Vec3d(0, 0, 0.25))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.freedom);
        const PlaneRun r =
            planeRun(moved(surface, c.truth), ref.nearest(), c.freedom, 0, kIcpRobustNone, 0, true);
        EXPECT_LE(r.code, kIcpBelowTolerance);
        EXPECT_LT(rotationError(r.t.rotation, c.truth.rotation) / kDegree, 0.01);
        EXPECT_LT((r.t.translation - c.truth.translation).norm(), 1e-3);
        if (!(c.freedom & kIcpRotations)) {
            EXPECT_EQ(r.t.rotation, Matrix3x3d());
        }
        if (c.freedom == kIcpRz) {
            // A rotation about z only: the z row and column stay exact, no translation.
            EXPECT_EQ(r.t.rotation(2, 2), 1.0);
            EXPECT_EQ(r.t.rotation(0, 2), 0.0);
            EXPECT_EQ(r.t.rotation(2, 0), 0.0);
        }
        if (!(c.freedom & kIcpTx)) {
            EXPECT_EQ(r.t.translation.x, c.truth.translation.x);
        }
        if (!(c.freedom & kIcpTy)) {
            EXPECT_EQ(r.t.translation.y, c.truth.translation.y);
        }
        if (!(c.freedom & kIcpTz)) {
            EXPECT_EQ(r.t.translation.z, c.truth.translation.z);
        }
    }
}

// A mesh reference: the closest point on the triangles with the face normal; data on
// the mesh itself end on it, also with scaling.
TEST(PointToPlane, MeshReference) {
    const std::vector<Vec3d> corners = heightMesh(40);
    const std::vector<KdTriangleProxy<Vec3d>> proxies = makeTriangleProxies(corners);
    KdTree<KdTriangleProxy<Vec3d>> tree;
    tree.build(proxies.data(), proxies.data() + proxies.size());
    // Samples on the triangles (so the mesh is their exact surface).
    auto rng = testing_helpers::seededRng(41);
    std::uniform_int_distribution<std::size_t> pick(0, corners.size() / 3 - 1);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<Vec3d> surface;
    while (surface.size() < 3000) {
        const std::size_t t = 3 * pick(rng);
        double a = u(rng), b = u(rng);
        if (a + b > 1) a = 1 - a, b = 1 - b;
        const Vec3d p =
            corners[t] + (corners[t + 1] - corners[t]) * a + (corners[t + 2] - corners[t]) * b;
        if (std::abs(p.x) < 4 && std::abs(p.y) < 4) surface.push_back(p);
    }
    for (const double scale : {1.0, 1.02}) {
        SCOPED_TRACE(scale);
        const IcpTransform truth =
            truthOf(Vec3d(-0.2, 0.7, 0.4), 8.0, Vec3d(-0.3, 0.1, 0.2), scale);
        const PlaneRun r = planeRun(moved(surface, truth), icpNearestOnMeshWithNormal(tree),
                                    scale == 1.0 ? kIcpRigid : kIcpRigid | kIcpScale);
        EXPECT_LE(r.code, kIcpBelowTolerance);
        EXPECT_LT(rotationError(r.t.rotation, truth.rotation) / kDegree, 1e-6);
        EXPECT_LT((r.t.translation - truth.translation).norm(), 1e-7);
        EXPECT_NEAR(r.t.scale, scale, 1e-9);
        EXPECT_LT(r.report.planeRms, 1e-8);
        EXPECT_LT(r.stats.maxDev, 1e-7);
    }
}

// Planar data: the rotation about the normal and the shifts in the plane are not fixed by
// the pairs. They get no step (the start stays) and are reported; the tilt and the height
// are found.
TEST(PointToPlane, PlanarDataDoesNotDrift) {
    auto plane = [](std::size_t n, std::uint64_t seed) {
        auto rng = testing_helpers::seededRng(seed);
        std::uniform_real_distribution<double> u(-5.0, 5.0);
        std::vector<Vec3d> p(n);
        for (Vec3d& q : p)
            q = Vec3d(u(rng), u(rng), 0.0);
        return p;
    };
    const PointReference ref(plane(5000, 51));
    const IcpTransform truth = truthOf(Vec3d(1, -0.5, 0), 5.0, Vec3d(0, 0, 0.3));
    const PlaneRun r = planeRun(moved(plane(5000, 52), truth), ref.nearest());
    EXPECT_LE(r.code, kIcpBelowTolerance);
    EXPECT_EQ(r.report.unobservable, kIcpRz | kIcpTx | kIcpTy);
    EXPECT_EQ(icpFreedomNames(r.report.unobservable), "rz, tx, ty");
    // The moved data lie in z = 0 again: tilt and height found.
    const Matrix3x3d R = r.t.rotation * truth.rotation.transposed();
    EXPECT_NEAR(R(2, 2), 1.0, 1e-12);
    EXPECT_LT(r.report.planeRms, 1e-9);
    // No drift along the plane: the data centre moves only as the tilt demands.
    const Vec3d c = centroid(moved(plane(5000, 52), truth));
    const Vec3d cTrue = truth.apply(c);
    const Vec3d cGot = r.t.apply(c);
    EXPECT_LT(std::hypot(cGot.x - cTrue.x, cGot.y - cTrue.y), 0.05);
    EXPECT_LT(rotationError(r.t.rotation, truth.rotation) / kDegree, 0.5);
}

// Outliers off the surface: the robust weights keep the result where the plain
// least-squares step is pulled away.
TEST(PointToPlane, RobustWeightingIgnoresOutliers) {
    const PointReference ref(surfaceSamples(10000, -5, 5, -5, 5, 61));
    std::vector<Vec3d> surface = surfaceSamples(6000, -4, 4, -4, 4, 62);
    for (std::size_t i = 0; i < surface.size(); i += 10)
        surface[i].z += (surface[i].x > 0 ? 0.08 : -0.08);  // one side up, one side down
    const IcpTransform truth = truthOf(Vec3d(0, 1, 0.2), 4.0, Vec3d(0.1, 0.0, 0.1));
    const std::vector<Vec3d> data = moved(surface, truth);
    const double plain =
        rotationError(planeRun(data, ref.nearest()).t.rotation, truth.rotation) / kDegree;
    EXPECT_GT(plain, 0.05);
    for (int robust : {kIcpRobustHuber, kIcpRobustTukey}) {
        SCOPED_TRACE(robust);
        const PlaneRun r = planeRun(data, ref.nearest(), kIcpRigid, 0, robust);
        const double error = rotationError(r.t.rotation, truth.rotation) / kDegree;
        EXPECT_LT(error, robust == kIcpRobustTukey ? 0.01 : plain / 3);
    }
}

// The same part in millimetres, metres and micrometres ends at the same transform
// relative to its size, against a mesh and against points (whose runs may settle a step
// apart: the rounds of polishing after the stopping rule end them at the same pairs).
TEST(PointToPlane, UnitsGiveTheSameTransform) {
    const IcpTransform truth = truthOf(Vec3d(0.4, 0.2, 1.0), 7.0, Vec3d(0.2, 0.1, -0.3));
    const double units[3] = {1.0, 1e-3, 1e3};
    auto rng = testing_helpers::seededRng(73);
    std::uniform_real_distribution<double> noise(-0.01, 0.01);
    std::vector<Vec3d> noisy = surfaceSamples(3000, -4, 4, -4, 4, 74);
    for (Vec3d& p : noisy)
        p.z += noise(rng);
    PlaneRun mesh[3], points[3];
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        IcpTransform t = truth;
        t.translation = truth.translation * units[k];
        std::vector<Vec3d> scaled = noisy;
        for (Vec3d& p : scaled)
            p *= units[k];
        const std::vector<Vec3d> corners = heightMesh(30, units[k]);
        const std::vector<KdTriangleProxy<Vec3d>> proxies = makeTriangleProxies(corners);
        KdTree<KdTriangleProxy<Vec3d>> tree;
        tree.build(proxies.data(), proxies.data() + proxies.size());
        mesh[k] = planeRun(moved(scaled, t), icpNearestOnMeshWithNormal(tree));
        const PointReference ref(surfaceSamples(6000, -5, 3, -5, 5, 71, units[k]));
        points[k] = planeRun(moved(surfaceSamples(6000, -3, 5, -5, 5, 72, units[k]), t),
                             ref.nearest(), kIcpRigid, 2000, kIcpRobustTukey);
        EXPECT_LE(mesh[k].code, kIcpBelowTolerance);
        EXPECT_LE(points[k].code, kIcpBelowTolerance);
        // The mesh's flat cells differ from the curved surface the data come from.
        EXPECT_LT(rotationError(mesh[k].t.rotation, truth.rotation) / kDegree, 0.1);
        EXPECT_LT(rotationError(points[k].t.rotation, truth.rotation) / kDegree, 0.01);
    }
    for (int k = 1; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_LT(rotationError(mesh[k].t.rotation, mesh[0].t.rotation), 1e-9);
        EXPECT_VEC_NEAR(mesh[k].t.translation / units[k], mesh[0].t.translation, 1e-9);
        EXPECT_LT(rotationError(points[k].t.rotation, points[0].t.rotation), 1e-9);
        EXPECT_VEC_NEAR(points[k].t.translation / units[k], points[0].t.translation,
                        1e-9 * 10.0);  // of the part's size
    }
}

TEST(PointToPlane, ThreadsGiveTheSameResult) {
    const PointReference ref(surfaceSamples(12000, -5, 5, -5, 5, 81));
    const std::vector<Vec3d> data = moved(surfaceSamples(12000, -4, 4, -4, 4, 82),
                                          truthOf(Vec3d(1, 0, 1), 5.0, Vec3d(0.1, 0.1, 0)));
    const PlaneRun one = planeRun(data, ref.nearest(), kIcpRigid, 0, kIcpRobustTukey, 1);
    const PlaneRun two = planeRun(data, ref.nearest(), kIcpRigid, 0, kIcpRobustTukey, 2);
    EXPECT_EQ(one.t.rotation, two.t.rotation);
    EXPECT_EQ(one.t.translation, two.t.translation);
}

// The local surfaces: their normals are the cloud's; a query is measured against the
// quadric through the neighbours, which on a sphere gives the distance to the sphere where
// the tangent plane at the nearest sample is off by spacing² / 2R; computed on demand they
// give what the cloud's own normals give, and a run with samples computes only a part.
TEST(PointToPlane, LocalSurfacesFollowTheCurvature) {
    const double R = 10.0;
    auto rng = testing_helpers::seededRng(85);
    std::normal_distribution<double> g(0.0, 1.0);
    std::uniform_real_distribution<double> off(-0.01, 0.01);
    const auto direction = [&] { return Vec3d(g(rng), g(rng), g(rng)).normalized(); };
    std::vector<Vec3d> sphere(20000);
    for (Vec3d& p : sphere)
        p = R * direction();
    const PointReference ref(sphere);
    IcpLocalSurfaces<Vec3d> lazy(ref.tree, kNormalsAutoK);
    lazy.allocate();
    for (std::size_t i = 0; i < ref.points.size(); i += 997) {
        const Vec3f& n = ref.normals[i];
        EXPECT_VEC_NEAR(lazy.normalAt(i), Vec3d(n.x, n.y, n.z).normalized(), 1e-7) << i;
    }
    double local = 0.0, tangent = 0.0;
    const IcpNearestWithNormal surface = lazy.nearest(), plane = ref.tangentPlanes();
    for (int i = 0; i < 2000; ++i) {
        const double h = off(rng);
        const Vec3d x = (R + h) * direction();
        IcpPartner a, b;
        ASSERT_TRUE(surface(x, 1.0, a));
        ASSERT_TRUE(plane(x, 1.0, b));
        local =
            std::max(local, std::abs(std::abs(a.normal.dot(x - a.point) - a.offset) - std::abs(h)));
        tangent = std::max(tangent, std::abs(std::abs(b.normal.dot(x - b.point)) - std::abs(h)));
    }
    EXPECT_LT(local, 2e-5);
    EXPECT_GT(tangent, 2e-3);

    lazy.allocate();
    const std::vector<Vec3d> data = moved(surfaceSamples(20000, -4, 4, -4, 4, 86),
                                          truthOf(Vec3d(1, 0, 1), 5.0, Vec3d(0.1, 0.1, 0)));
    const PointReference field(surfaceSamples(20000, -5, 5, -5, 5, 87));
    IcpLocalSurfaces<Vec3d> onDemand(field.tree, kNormalsAutoK);
    onDemand.allocate();
    const PlaneRun given = planeRun(data, field.nearest(), kIcpRigid, 2000);
    const PlaneRun computed = planeRun(data, onDemand.nearest(), kIcpRigid, 2000);
    EXPECT_LT(rotationError(given.t.rotation, computed.t.rotation), 1e-12);
    EXPECT_GT(onDemand.computed(), 1000u);
    EXPECT_LT(onDemand.computed(), field.points.size() / 2);
}

TEST(PointToPlane, EdgeCasesAndCodes) {
    const PointReference ref(surfaceSamples(2000, -5, 5, -5, 5, 91));
    const std::vector<Vec3d> data = surfaceSamples(500, -4, 4, -4, 4, 92);
    // Too few points.
    EXPECT_EQ(planeRun(std::vector<Vec3d>(data.begin(), data.begin() + 2), ref.nearest()).code,
              kIcpTooFewPoints);
    // No freedom: nothing moves.
    const PlaneRun none = planeRun(data, ref.nearest(), 0);
    EXPECT_EQ(none.code, kIcpConverged);
    EXPECT_EQ(none.t.rotation, Matrix3x3d());
    // Data on the reference points themselves: at once below the tolerance or converged.
    const PlaneRun same = planeRun(ref.points, ref.nearest());
    EXPECT_LE(same.code, kIcpBelowTolerance);
    EXPECT_LT(rotationError(same.t.rotation, Matrix3x3d()), 1e-9);
    // A search radius that leaves too few pairs.
    IcpState state;
    std::vector<Vec3d> far = data;
    for (Vec3d& p : far)
        p.z += 100.0;
    EXPECT_EQ(registerPointToPlane(state, far.data(), far.data() + far.size(), 0, 1.0, 100, 0.0,
                                   ref.nearest()),
              kIcpTooFewPoints);
}

TEST(PointToPlane, CancelKeepsTheLastAcceptedTransform) {
    const PointReference ref(surfaceSamples(20000, -5, 5, -5, 5, 101));
    const std::vector<Vec3d> data = moved(surfaceSamples(20000, -4, 4, -4, 4, 102),
                                          truthOf(Vec3d(1, 2, 3), 10.0, Vec3d(0.2, 0.1, 0)));
    {  // Set before the start.
        IcpState state;
        IcpTransform start;
        start.translation = Vec3d(0.01, 0.02, 0.03);
        state.setTransform(start);
        state.hasInitialTransform = true;
        state.cancel = true;
        EXPECT_EQ(registerPointToPlane(state, data.data(), data.data() + data.size(), 0, 0.0, 100,
                                       0.0, ref.nearest()),
                  kIcpIterationLimit);
        EXPECT_EQ(state.transform().translation, start.translation);
        EXPECT_EQ(state.progress.load(), 100.0f);
    }
    {  // Set while the second iteration pairs: the first step stays, the run ends.
        IcpState state;
        const IcpNearestWithNormal base = ref.nearest();
        std::atomic<std::uint64_t> queries{0};
        const IcpNearestWithNormal cancelling = [&](const Vec3d& q, double r, IcpPartner& p) {
            if (++queries == 5 * data.size() / 2) state.cancel = true;
            return base(q, r, p);
        };
        const int code = registerPointToPlane(state, data.data(), data.data() + data.size(), 0, 0.0,
                                              100, 0.0, cancelling);
        EXPECT_EQ(code, kIcpIterationLimit);
        EXPECT_EQ(state.iterations, 3u);
        const IcpTransform t = state.transform();
        EXPECT_GT(rotationError(t.rotation, Matrix3x3d()), 1.0 * kDegree);
        EXPECT_NEAR(determinant(t.rotation), 1.0, 1e-12);
        EXPECT_LT(queries.load(), 3 * data.size());
    }
}

}  // namespace
