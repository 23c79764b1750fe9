// The registration command with point-to-plane pairing: computed, supplied and mesh
// normals, the texts, the refusals, planar data and abort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "RegistrationTestUtils.h"
#include "TestHelpers.h"
#include "alg3D/algorithm/KdTree.h"
#include "commands/RegisterCommand.h"

namespace {

using namespace tessaro::commands;
using namespace alg3D::algorithm;
using alg3D::Color;
using alg3D::GLPoint;
using alg3D::Matrix3x3d;
using alg3D::Vec3d;
using alg3D::Vec3f;

Vec3d heightNormal(double x, double y) {
    const double fx = 0.48 * std::cos(0.6 * x) - 0.15 * std::sin(0.9 * y + 0.3 * x) + 0.04 * y;
    const double fy = -0.45 * std::sin(0.9 * y + 0.3 * x) + 0.04 * x;
    return Vec3d(-fx, -fy, 1.0).normalized();
}

std::vector<Vec3d> samples(std::size_t n, double x0, double x1, std::uint64_t seed) {
    return registration_test::surfaceSamples(n, x0, x1, -5.0, 5.0, seed);
}

// 6 degrees about an oblique axis and a shift.
IcpTransform truth() {
    IcpTransform t;
    const Vec3d k = Vec3d(0.3, -0.5, 1.0).normalized();
    const double a = 6.0 * 3.14159265358979323846 / 180.0, c = std::cos(a), s = std::sin(a);
    for (int col = 0; col < 3; ++col) {
        Vec3d e;
        e[static_cast<std::size_t>(col)] = 1.0;
        const Vec3d r = e * c + k.cross(e) * s + k * (k.dot(e) * (1 - c));
        for (int row = 0; row < 3; ++row)
            t.rotation(static_cast<std::size_t>(row), static_cast<std::size_t>(col)) =
                r[static_cast<std::size_t>(row)];
    }
    t.translation = Vec3d(0.3, -0.2, 0.1);
    return t;
}

std::vector<Vec3d> seen(const std::vector<Vec3d>& surface, const IcpTransform& t) {
    std::vector<Vec3d> d;
    for (const Vec3d& p : surface)
        d.push_back(t.rotation.transposed() * (p - t.translation));
    return d;
}

double degreesBetween(const Matrix3x3d& A, const Matrix3x3d& B) {
    const Matrix3x3d D = A * B.transposed();
    const double c = std::clamp((D(0, 0) + D(1, 1) + D(2, 2) - 1.0) / 2.0, -1.0, 1.0);
    const Vec3d s(D(2, 1) - D(1, 2), D(0, 2) - D(2, 0), D(1, 0) - D(0, 1));
    return std::atan2(s.norm() / 2.0, c) * 180.0 / 3.14159265358979323846;
}

RegisterOptions planeOptions() {
    RegisterOptions o;
    o.pointToPlane = true;
    return o;
}

TEST(PointToPlaneCommand, MovesAnIndependentColouredScanOntoTheReference) {
    LoadedData ref, data;
    ref.points = samples(12000, -5, 3, 1);
    const std::vector<Vec3d> surface = samples(12000, -3, 5, 2);
    data.kind = DataKind::kColoredPoints;
    for (const Vec3d& p : seen(surface, truth()))
        data.coloredPoints.emplace_back(p, Color(9, 8, 7));
    RegisterResult result;
    ASSERT_EQ(runRegisterCommand(data, ref, planeOptions(), result), JobStatus::kCompleted);
    EXPECT_EQ(result.method, "point-to-plane");
    EXPECT_LE(result.code, kIcpBelowTolerance);
    EXPECT_LT(degreesBetween(result.transform.rotation, truth().rotation), 0.01);
    double worst = 0.0;
    for (std::size_t i = 0; i < surface.size(); ++i) {
        worst = std::max(worst, (alg3D::coords(data.coloredPoints[i]) - surface[i]).norm());
        EXPECT_EQ(data.coloredPoints[i].color(), Color(9, 8, 7));
    }
    EXPECT_LT(worst, 2e-3);
    EXPECT_EQ(result.unobservable, 0u);
    EXPECT_EQ(result.statistics.rfind("iterations: ", 0), 0u);
    EXPECT_NE(result.statistics.find("\nplaneRMSE: "), std::string::npos);
    EXPECT_EQ(result.statistics.find("unobservable"), std::string::npos);
    EXPECT_EQ(result.statistics.rfind("\nduration: "),
              result.statistics.size() - result.duration.size() - 11);
    EXPECT_EQ(result.console.rfind("ICP-Registration finished in ", 0), 0u);
    // The other methods name themselves.
    RegisterOptions o;
    EXPECT_STREQ(registrationMethodName(o), "gauss");
    o.chebyshev = true;
    EXPECT_STREQ(registrationMethodName(o), "chebyshev");
}

// Normals the caller has are taken (when there is one per reference point) as the frame
// of the local surfaces, whose quadric through the neighbours then gives the planes: the
// exact normals of the surface do as well as computed ones, a frame turned by 90 degrees
// gives a different (still close) result, a list of the wrong length is ignored.
TEST(PointToPlaneCommand, SuppliedNormalsAreUsed) {
    LoadedData ref;
    ref.points = samples(8000, -5, 5, 3);
    const std::vector<Vec3d> surface = samples(6000, -4, 4, 4);
    std::vector<Vec3f> exact, turned(ref.points.size(), Vec3f(1.0f, 0.0f, 0.0f)), short_(5);
    for (const Vec3d& p : ref.points) {
        const Vec3d n = heightNormal(p.x, p.y);
        exact.emplace_back(static_cast<float>(n.x), static_cast<float>(n.y),
                           static_cast<float>(n.z));
    }
    const std::vector<Vec3f>* lists[] = {nullptr, &exact, &short_, &turned};
    Matrix3x3d rotations[4];
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        LoadedData data;
        data.points = seen(surface, truth());
        RegisterOptions o = planeOptions();
        o.referenceNormals = lists[k];
        RegisterResult result;
        ASSERT_EQ(runRegisterCommand(data, ref, o, result), JobStatus::kCompleted);
        rotations[k] = result.transform.rotation;
        EXPECT_LT(degreesBetween(rotations[k], truth().rotation), k == 3 ? 0.01 : 1e-3);
    }
    EXPECT_EQ(rotations[2], rotations[0]);
    EXPECT_GT(degreesBetween(rotations[3], rotations[0]), 1e-6);
}

TEST(PointToPlaneCommand, MeshReferenceUsesItsFaces) {
    LoadedData ref, data;
    ref.kind = DataKind::kMesh;
    ref.points = registration_test::heightMesh(30);
    // The mesh's vertices inside, as data: they lie on the mesh exactly.
    std::vector<Vec3d> surface;
    for (std::size_t i = 0; i < ref.points.size(); i += 6)
        if (std::abs(ref.points[i].x) < 4 && std::abs(ref.points[i].y) < 4)
            surface.push_back(ref.points[i] + (ref.points[i + 1] - ref.points[i]) * 0.3 +
                              (ref.points[i + 2] - ref.points[i]) * 0.2);
    data.points = seen(surface, truth());
    RegisterResult result;
    ASSERT_EQ(runRegisterCommand(data, ref, planeOptions(), result), JobStatus::kCompleted);
    EXPECT_LT(degreesBetween(result.transform.rotation, truth().rotation), 1e-5);
    EXPECT_LT(result.planeRms, 1e-7);
}

TEST(PointToPlaneCommand, PlanarDataReportTheFreeMotions) {
    LoadedData ref, data;
    auto rng = testing_helpers::seededRng(5);
    std::uniform_real_distribution<double> u(-5.0, 5.0);
    for (int i = 0; i < 3000; ++i) {
        ref.points.emplace_back(u(rng), u(rng), 1.0);
        data.points.emplace_back(u(rng), u(rng), 1.4);
    }
    RegisterResult result;
    ASSERT_EQ(runRegisterCommand(data, ref, planeOptions(), result), JobStatus::kCompleted);
    EXPECT_EQ(result.unobservable, unsigned(kIcpRz | kIcpTx | kIcpTy));
    EXPECT_NE(result.statistics.find("\nunobservable: rz, tx, ty\n"), std::string::npos);
    EXPECT_VEC_NEAR(result.transform.translation, Vec3d(0, 0, -0.4), 1e-9);
    EXPECT_LT(degreesBetween(result.transform.rotation, Matrix3x3d()), 1e-10);
}

TEST(PointToPlaneCommand, RefusalsAndAbort) {
    LoadedData ref, data;
    ref.points = samples(20000, -5, 5, 6);
    data.points = seen(samples(20000, -5, 5, 7), truth());
    const std::vector<Vec3d> before = data.points;
    RegisterResult result;
    RegisterOptions both = planeOptions();
    both.chebyshev = true;
    RegisterOptions few = planeOptions();
    few.normalsK = 2;
    for (const auto& [options, text] :
         {std::pair{both, "Chebyshev and point to plane registration can not be combined."},
          std::pair{few, "The normals need at least 3 neighbouring points."}}) {
        try {
            runRegisterCommand(data, ref, options, result);
            ADD_FAILURE() << text;
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), text);
        }
        EXPECT_EQ(data.points, before);
    }
    const JobStatus status = runRegisterCommand(
        data, ref, planeOptions(), result, [](float) { return true; },
        std::chrono::milliseconds(1));
    EXPECT_EQ(status, JobStatus::kAborted);
    for (std::size_t i = 0; i < data.points.size(); i += 101)
        EXPECT_LT((data.points[i] - result.transform.apply(before[i])).norm(), 1e-12);
}

}  // namespace
