// The registration and distance commands: the transform applied to the data (colours
// kept), abort through the runner, the refusals, primitives rebuilt from their geometry
// (the JSON's numbers) giving the same distances as the fitted objects, and the
// evaluation with the no-partner marker.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestHelpers.h"
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
#include "commands/DistancesCommand.h"
#include "commands/RegisterCommand.h"

namespace {

using namespace tessaro::commands;
using alg3D::Color;
using alg3D::GLPoint;
using alg3D::Vec3d;
using alg3D::approximate::Given;

std::vector<Vec3d> clusters(std::size_t n, std::uint64_t seed) {
    return testing_helpers::clusterPoints(n, seed);
}

TEST(RegisterCommand, MovesColouredDataOntoTheReference) {
    LoadedData ref, data;
    ref.points = clusters(900, 1);
    data.kind = DataKind::kColoredPoints;
    for (const Vec3d& p : ref.points)
        data.coloredPoints.emplace_back(p + Vec3d(0.2, -0.1, 0.3), Color(9, 8, 7));
    RegisterOptions options;
    options.samples = 0;
    RegisterResult result;
    ASSERT_EQ(runRegisterCommand(data, ref, options, result), JobStatus::kCompleted);
    EXPECT_LE(result.code, 1);
    for (std::size_t i = 0; i < ref.points.size(); ++i) {
        EXPECT_LT((alg3D::coords(data.coloredPoints[i]) - ref.points[i]).norm(), 1e-9);
        EXPECT_EQ(data.coloredPoints[i].color(), Color(9, 8, 7));
    }
    EXPECT_VEC_NEAR(result.transform.translation, Vec3d(-0.2, 0.1, -0.3), 1e-9);
    EXPECT_EQ(result.statistics.rfind("iterations: ", 0), 0u);
    EXPECT_EQ(result.transformText.rfind("** R **\n", 0), 0u);
    EXPECT_EQ(result.console.rfind("ICP-Registration finished in ", 0), 0u);
}

// Centre pre-alignment onto a mesh: the mean of its vertices, each once. A fan of 6
// triangles about an off-centre apex repeats the apex 6 times among the corners, which
// would pull the centre towards it.
TEST(RegisterCommand, CentreAlignmentOnAMeshUsesItsVertices) {
    const Vec3d apex(3.0, 1.0, 2.0);
    std::vector<Vec3d> rim;
    for (int k = 0; k < 6; ++k)
        rim.emplace_back(std::cos(k * 1.0471975511965976), std::sin(k * 1.0471975511965976), 0.0);
    LoadedData ref, data;
    ref.kind = DataKind::kMesh;
    for (int k = 0; k < 6; ++k)
        ref.points.insert(ref.points.end(), {apex, rim[k], rim[(k + 1) % 6]});
    data.points = {{10.0, 0.0, 0.0}, {11.0, 2.0, 0.0}, {12.0, 0.0, 1.0}, {13.0, 1.0, 2.0}};
    RegisterOptions options;
    options.alignCenters = true;
    options.freedom = 0;  // the pre-alignment alone
    RegisterResult result;
    ASSERT_EQ(runRegisterCommand(data, ref, options, result), JobStatus::kCompleted);
    const Vec3d vertexMean = apex / 7.0;  // the rim's mean is the origin
    const Vec3d dataMean(11.5, 0.75, 0.75);
    EXPECT_VEC_NEAR(result.transform.translation, vertexMean - dataMean, 1e-12);
}

TEST(RegisterCommand, AbortAppliesTheLastAcceptedTransform) {
    LoadedData ref, data;
    ref.points = clusters(20000, 2);
    for (const Vec3d& p : ref.points)
        data.points.push_back(p + Vec3d(0.3, 0.2, 0.1));
    const std::vector<Vec3d> before = data.points;
    RegisterOptions options;
    options.samples = 0;
    RegisterResult result;
    const JobStatus status = runRegisterCommand(
        data, ref, options, result, [](float) { return true; }, std::chrono::milliseconds(1));
    if (status == JobStatus::kAborted) {
        for (std::size_t i = 0; i < data.points.size(); i += 101)
            EXPECT_LT((data.points[i] - result.transform.apply(before[i])).norm(), 1e-12);
    }
}

TEST(RegisterCommand, WithoutMovingTheDataTheTransformIsTheSame) {
    LoadedData ref, data;
    ref.points = clusters(20000, 2);
    for (const Vec3d& p : ref.points)
        data.points.push_back(p + Vec3d(0.3, 0.2, 0.1));
    const std::vector<Vec3d> before = data.points;
    LoadedData kept = data;
    RegisterOptions options;
    RegisterResult moved, notMoved;
    ASSERT_EQ(runRegisterCommand(data, ref, options, moved), JobStatus::kCompleted);
    options.moveData = false;
    ASSERT_EQ(runRegisterCommand(kept, ref, options, notMoved), JobStatus::kCompleted);
    EXPECT_EQ(kept.points, before);
    EXPECT_EQ(notMoved.transform.matrix(), moved.transform.matrix());
    EXPECT_EQ(notMoved.iterations, moved.iterations);
    for (std::size_t i = 0; i < data.points.size(); i += 97)
        EXPECT_EQ(data.points[i], moved.transform.apply(before[i]));
}

TEST(RegisterCommand, Refusals) {
    LoadedData a, b;
    a.kind = b.kind = DataKind::kMesh;
    a.points = b.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    RegisterResult result;
    try {
        runRegisterCommand(a, b, RegisterOptions(), result);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "STL meshes can not be registered to eachother!");
    }
    // By the file names alone (any case of the suffix), before anything is loaded.
    try {
        checkRegistrationFiles("/no/such/a.stl", "b.STL");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "STL meshes can not be registered to eachother!");
    }
    EXPECT_NO_THROW(checkRegistrationFiles("a.xyz", "b.stl"));
    EXPECT_NO_THROW(checkRegistrationFiles("a.stl", "b.xyz"));
    EXPECT_NO_THROW(checkRegistrationFiles("stl", "stl"));
    // Too few points: code 3, nothing moves.
    LoadedData few, ref;
    few.points = {{0, 0, 0}, {1, 0, 0}};
    ref.points = clusters(10, 3);
    ASSERT_EQ(runRegisterCommand(few, ref, RegisterOptions(), result), JobStatus::kCompleted);
    EXPECT_EQ(result.code, 3);
    EXPECT_EQ(few.points[1], Vec3d(1, 0, 0));
}

// A primitive rebuilt from fitGeometryOf() gives the distances of the object itself.
template <typename Obj>
void checkRebuilt(FitShape shape, const Obj& obj) {
    SCOPED_TRACE(fitShapeName(shape));
    LoadedData test;
    auto rng = testing_helpers::seededRng(4);
    std::uniform_real_distribution<double> u(-6.0, 6.0);
    for (int i = 0; i < 300; ++i)
        test.points.emplace_back(u(rng), u(rng), u(rng));
    std::vector<double> truth(test.points.size());
    alg3D::algorithm::distancesToPrimitive(obj, test.points.data(),
                                           test.points.data() + test.points.size(), truth.data());
    DistanceReference ref;
    ref.primitive = fitShapeName(shape);
    ref.geometry = fitGeometryOf(obj);
    DistancesResult result;
    ASSERT_EQ(runDistancesCommand(ref, test, DistancesOptions(), result), JobStatus::kCompleted);
    ASSERT_EQ(result.values.size(), truth.size());
    for (std::size_t i = 0; i < truth.size(); ++i)
        EXPECT_NEAR(result.values[i], truth[i], 1e-9) << i;
    EXPECT_EQ(result.evaluation.pairs, truth.size());
}

TEST(DistancesCommand, PrimitivesRebuiltFromTheirGeometry) {
    using namespace alg3D::approximate;
    const Vec3d p(0.5, -1.0, 2.0);
    const Vec3d d = Vec3d(0.3, -0.6, 0.7).normalized();
    FitObjLine3D line;
    line.setPoint(p, Given);
    line.setDirection(d, Given);
    checkRebuilt(FitShape::kLine, line);
    FitObjPlane plane;
    plane.setPoint(p, Given);
    plane.setNormal(d, Given);
    checkRebuilt(FitShape::kPlane, plane);
    FitObjCircle3D circle;
    circle.setCenter(p, Given);
    circle.setNormal(d, Given);
    circle.setRadius(2.0, Given);
    checkRebuilt(FitShape::kCircle, circle);
    FitObjEllipse3D ellipse;
    ellipse.setCenter(p, Given);
    ellipse.setNormal(d, Given);
    ellipse.setSemiAxisA(3.0, Given);
    ellipse.setSemiAxisB(1.0, Given);
    ellipse.setAngle(0.7, Given);
    checkRebuilt(FitShape::kEllipse, ellipse);
    FitObjSuperEllipse3D super;
    super.setCenter(p, Given);
    super.setNormal(d, Given);
    super.setSemiAxisA(3.0, Given);
    super.setSemiAxisB(1.5, Given);
    super.setAngle(0.4, Given);
    super.setFactor(0.5, Given);
    checkRebuilt(FitShape::kSuperEllipse, super);
    FitObjSphere sphere;
    sphere.setCenter(p, Given);
    sphere.setRadius(2.5, Given);
    checkRebuilt(FitShape::kSphere, sphere);
    FitObjCylinder cylinder;
    cylinder.setPoint(p, Given);
    cylinder.setDirection(d, Given);
    cylinder.setRadius(1.5, Given);
    checkRebuilt(FitShape::kCylinder, cylinder);
    FitObjCone cone;
    cone.setPoint(p, Given);
    cone.setDirection(d, Given);
    cone.setRadius(2.0, Given);
    cone.setAngle(-0.3, Given);
    checkRebuilt(FitShape::kCone, cone);
    FitObjTorus torus;
    torus.setCenter(p, Given);
    torus.setDirection(d, Given);
    torus.setRadius1(3.0, Given);
    torus.setRadius2(0.8, Given);
    checkRebuilt(FitShape::kTorus, torus);
}

TEST(DistancesCommand, RefusalsMarkersAndTexts) {
    LoadedData test;
    test.points = {{0, 0, 0}, {1, 0, 0}, {5, 5, 5}};
    DistanceReference unknown;
    unknown.primitive = "cube";
    DistancesResult result;
    try {
        runDistancesCommand(unknown, test, DistancesOptions(), result);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "unkown GLobject");
    }
    LoadedData mesh;
    mesh.kind = DataKind::kMesh;
    mesh.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    DistanceReference cloud;
    cloud.data = &test;
    EXPECT_THROW(runDistancesCommand(cloud, mesh, DistancesOptions(), result), std::runtime_error);

    // A point without partner (-1) is out of the evaluation even with the widest range.
    LoadedData ref;
    ref.points = {{0, 0, 0.5}};
    cloud.data = &ref;
    DistancesOptions options;
    options.maxDistance = 2.0;
    ASSERT_EQ(runDistancesCommand(cloud, test, options, result), JobStatus::kCompleted);
    EXPECT_EQ(result.values[2], -1.0);
    EXPECT_FALSE(result.matched(2));
    EXPECT_EQ(result.evaluation.pairs, 2u);
    EXPECT_EQ(result.evaluation.colors[2], Color(0, 0, 0));
    EXPECT_EQ(result.text.rfind("minDev.: 0.50000000\n", 0), 0u) << result.text;
    EXPECT_NE(result.console.find("calcDistancesPts2Pts finished in "), std::string::npos);
    EXPECT_NE(result.console.find("evaluateDistances finished in "), std::string::npos);
}

}  // namespace
