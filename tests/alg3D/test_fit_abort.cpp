// Aborts of the fits: a flag set before the worker starts ends every shape's run (all
// three methods) and every estimate with inner fits before anything is changed, and
// the chunked passes over the points skip the rest of a pass once the flag is set
// while visiting every point exactly once otherwise.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <exception>
#include <random>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/approximate/AbortablePass.h"
#include "alg3D/approximate/ConvexHull.h"
#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/approximate/FitObjCone.h"
#include "alg3D/approximate/FitObjCylinder.h"
#include "alg3D/approximate/FitObjEllipse3D.h"
#include "alg3D/approximate/FitObjLine3D.h"
#include "alg3D/approximate/FitObjPlane.h"
#include "alg3D/approximate/FitObjSphere.h"
#include "alg3D/approximate/FitObjSuperEllipse3D.h"
#include "alg3D/approximate/FitObjTorus.h"

using alg3D::Vec3d;
using namespace alg3D::approximate;

namespace {

constexpr double kPi = 3.141592653589793;

// A noisy ellipse (semi-axes 5 and 3) in a tilted plane: data for the planar shapes.
std::vector<Vec3d> ellipsePoints(std::size_t n) {
    std::mt19937_64 rng(11);
    std::normal_distribution<double> noise(0.0, 0.01);
    const Vec3d u = Vec3d(1.0, 0.2, 0.1).normalized();
    const Vec3d v = Vec3d(0.0, 1.0, 0.3).cross(u).normalized().cross(u);
    std::vector<Vec3d> pts;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = 2.0 * kPi * double(i) / double(n);
        pts.push_back(Vec3d(1, 2, 3) + (5.0 * std::cos(t) + noise(rng)) * u +
                      (3.0 * std::sin(t) + noise(rng)) * v);
    }
    return pts;
}

// A noisy torus (r1 7, r2 2): data for the solid shapes.
std::vector<Vec3d> torusPoints(std::size_t n) {
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> angle(0.0, 2.0 * kPi);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::vector<Vec3d> pts;
    for (std::size_t i = 0; i < n; ++i) {
        const double th = angle(rng), ph = angle(rng);
        const double rr = 7.0 + 2.0 * std::cos(ph) + noise(rng);
        pts.push_back(Vec3d(rr * std::cos(th), rr * std::sin(th), 2.0 * std::sin(ph)));
    }
    return pts;
}

// Fit objects hold only numbers: an untouched one has the bytes of its copy.
template <class FitObj>
bool sameBytes(const FitObj& a, const FitObj& b) {
    return std::memcmp(static_cast<const void*>(&a), static_cast<const void*>(&b),
                       sizeof(FitObj)) == 0;
}

template <class FitObj>
void expectRunEndsUntouched(const std::vector<Vec3d>& pts) {
    for (const int method : {kGaussNewton, kLevenbergMarquardt, kChebyshev}) {
        SCOPED_TRACE(method);
        FitObj fit;
        const FitObj before = fit;
        ParamFitGeometry<FitObj, Vec3d> param;
        param.method = method;
        param.begin = pts.data();
        param.end = pts.data() + pts.size();
        param.fitObj = &fit;
        param.abort = true;  // before the worker entry runs
        std::atomic<bool> finished{false};
        std::exception_ptr error;
        fitGeometry(param, finished, error);
        EXPECT_FALSE(error);
        EXPECT_TRUE(finished.load());
        EXPECT_TRUE(param.abort.load()) << "the run cleared the flag";
        EXPECT_EQ(param.iterations, 0u);
        EXPECT_EQ(param.progress.load(), 100.0f);
        EXPECT_TRUE(sameBytes(fit, before)) << "the aborted run changed the fit object";
    }
}

TEST(FitAbort, FlagSetBeforeTheStartEndsEveryShapeAndMethodUntouched) {
    const std::vector<Vec3d> planar = ellipsePoints(400);
    const std::vector<Vec3d> solid = torusPoints(400);
    expectRunEndsUntouched<FitObjLine3D>(planar);
    expectRunEndsUntouched<FitObjPlane>(planar);
    expectRunEndsUntouched<FitObjCircle3D>(planar);
    expectRunEndsUntouched<FitObjEllipse3D>(planar);
    expectRunEndsUntouched<FitObjSuperEllipse3D>(planar);
    expectRunEndsUntouched<FitObjSphere>(solid);
    expectRunEndsUntouched<FitObjCylinder>(solid);
    expectRunEndsUntouched<FitObjCone>(solid);
    expectRunEndsUntouched<FitObjTorus>(solid);
}

// The estimates that run fits of their own hand the flag to them: set, the estimate
// leaves its object as it was (it writes its fields only after the inner fit). Without
// the flag the same estimate does change it, so the comparison can fail.
template <class FitObj>
void expectEstimateStops(const std::vector<Vec3d>& pts) {
    const std::atomic<bool> set{true};
    const std::atomic<bool> unset{false};
    FitObj fit;
    const FitObj before = fit;
    fit.estimateInitial(pts.data(), pts.data() + pts.size(), &set);
    EXPECT_TRUE(sameBytes(fit, before));
    fit.estimateInitial(pts.data(), pts.data() + pts.size(), &unset);
    EXPECT_FALSE(sameBytes(fit, before));
}

TEST(FitAbort, EstimatesWithInnerFitsStopOnTheFlag) {
    {
        SCOPED_TRACE("torus");
        expectEstimateStops<FitObjTorus>(torusPoints(2000));
    }
    {
        SCOPED_TRACE("ellipse");
        expectEstimateStops<FitObjEllipse3D>(ellipsePoints(2000));
    }
    {
        SCOPED_TRACE("superellipse");
        expectEstimateStops<FitObjSuperEllipse3D>(ellipsePoints(2000));
    }
}

// Without the flag the passes give the same Jacobian and residuals as without one.
TEST(FitAbort, UnsetFlagLeavesThePassesBitIdentical) {
    const std::vector<Vec3d> pts = torusPoints(5000);
    FitObjTorus fit;
    fit.estimateInitial(pts.data(), pts.data() + pts.size());
    const std::atomic<bool> unset{false};
    alg3D::DMatrix J1, r1, J2, r2, s1, s2;
    fit.buildJacobian(pts.data(), pts.data() + pts.size(), J1, r1, false);
    fit.buildJacobian(pts.data(), pts.data() + pts.size(), J2, r2, false, &unset);
    fit.computeResiduals(pts.data(), pts.data() + pts.size(), s1, true);
    fit.computeResiduals(pts.data(), pts.data() + pts.size(), s2, true, &unset);
    EXPECT_EQ(J1.values(), J2.values());
    EXPECT_EQ(r1.values(), r2.values());
    EXPECT_EQ(s1.values(), s2.values());
}

TEST(AbortablePass, VisitsEveryIndexOnceAndStopsAfterTheChunkThatSawTheFlag) {
    struct Case {
        long long count, chunk;
        bool parallel;
    };
    for (const Case c : {Case{0, 16, true}, Case{1, 16, true}, Case{1000, 16, false},
                         Case{100003, 256, true}, Case{5000, 1, true}}) {
        SCOPED_TRACE(c.count);
        std::vector<std::atomic<int>> visits(static_cast<std::size_t>(c.count));
        for (auto& v : visits)
            v.store(0);
        forEachChunk(c.count, c.chunk, c.parallel, nullptr,
                     [&](long long i) { visits[std::size_t(i)].fetch_add(1); });
        for (const auto& v : visits)
            ASSERT_EQ(v.load(), 1);
    }
    // One thread: the chunk that sets the flag ends, no later one starts.
    std::atomic<bool> abort{false};
    long long visited = 0;
    forEachChunk(1000, 16, false, &abort, [&](long long i) {
        ++visited;
        if (i == 100) abort = true;
    });
    EXPECT_EQ(visited, 112);  // chunks [0, 16) ... [96, 112)
    // A team: every thread finishes at most the chunk it is in.
    abort = false;
    std::atomic<long long> count{0};
    forEachChunk(1000000, 64, true, &abort, [&](long long i) {
        count.fetch_add(1);
        if (i == 1000) abort = true;
    });
    EXPECT_LT(count.load(), 1000 + 64 * 64);
    // Set before the pass: nothing runs.
    count = 0;
    forEachChunk(1000, 16, true, &abort, [&](long long) { count.fetch_add(1); });
    EXPECT_EQ(count.load(), 0);
}

// The hull: a flag set ends the build with a hull without faces, also over a hull the
// object held before; unset, the same build is complete.
TEST(HullAbort, FlagEndsTheBuildWithoutFaces) {
    const std::vector<Vec3d> pts = torusPoints(20000);
    const std::atomic<bool> set{true};
    const std::atomic<bool> unset{false};
    ConvexHull hull;
    hull.build(pts.data(), pts.size(), 1e-6, &unset);
    const std::size_t faces = hull.liveFaceCount();
    EXPECT_GT(faces, 100u);
    hull.build(pts.data(), pts.size(), 1e-6, &set);
    EXPECT_EQ(hull.liveFaceCount(), 0u);
    EXPECT_TRUE(hull.vertexIndices().empty());
    hull.build(pts.data(), pts.size(), 1e-6);
    EXPECT_EQ(hull.liveFaceCount(), faces);
}

TEST(DMatrixParallelZero, SizesAndZeroesLikeAssign) {
    alg3D::DMatrix m(3, 2, 7.0);
    m.assignZeroParallel(100001, 5);
    EXPECT_EQ(m.rows(), 100001u);
    EXPECT_EQ(m.cols(), 5u);
    EXPECT_EQ(m.values(), std::vector<double>(500005, 0.0));
    m(5, 1) = 3.0;
    m.assignZeroParallel(4, 3);  // smaller, within the capacity
    EXPECT_EQ(m.values(), std::vector<double>(12, 0.0));
}

}  // namespace
