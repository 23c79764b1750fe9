// The point-cloud processing commands: input checks and their texts, results equal to
// the library's on both point kinds, the panel texts, the thinning of points with their
// normals, and aborts through the runner that leave data and results untouched.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/algorithm/Normals.h"
#include "alg3D/algorithm/Regions.h"
#include "alg3D/algorithm/Smoothing.h"
#include "alg3D/algorithm/SurfaceFeatures.h"
#include "commands/PointCloudCommands.h"

namespace {

using alg3D::GLPoint;
using alg3D::Vec3d;
using alg3D::Vec3f;
using tessaro::commands::JobStatus;
using tessaro::commands::LoadedData;
namespace cmd = tessaro::commands;
namespace alg = alg3D::algorithm;

LoadedData wavyCloud(std::size_t n, std::uint64_t seed, bool colored = false) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    LoadedData d;
    d.kind = colored ? cmd::DataKind::kColoredPoints : cmd::DataKind::kPoints;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = u(rng), y = u(rng);
        const Vec3d p(x, y, 0.3 * std::sin(2 * x) * std::cos(2 * y) + 0.002 * u(rng));
        if (colored)
            d.coloredPoints.push_back(GLPoint(p.x, p.y, p.z, 1, 2, 3));
        else
            d.points.push_back(p);
    }
    return d;
}

bool abortAtOnce(float) {
    return true;
}

TEST(PointCloudCommands, MeshesAreRefusedWithTheCommandsTexts) {
    LoadedData mesh;
    mesh.kind = cmd::DataKind::kMesh;
    mesh.points = {Vec3d(0, 0, 0), Vec3d(1, 0, 0), Vec3d(0, 1, 0)};
    auto message = [](const auto& fn) {
        try {
            fn();
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("no exception");
    };
    cmd::NormalsResult n;
    EXPECT_EQ(message([&] { cmd::runNormalsCommand(mesh, {}, n); }),
              "Normal vectors can be computed for pointclouds only!");
    cmd::FeaturesResult f;
    EXPECT_EQ(message([&] { cmd::runFeaturesCommand(mesh, {}, f); }),
              "Surface features can be computed for pointclouds only!");
    cmd::SmoothingResult s;
    EXPECT_EQ(message([&] { cmd::runSmoothingCommand(mesh, {}, s); }),
              "Object can not be smoothed!");
    cmd::ThinningResult t;
    EXPECT_EQ(message([&] { cmd::runThinningCommand(mesh, nullptr, {}, t); }),
              "Data type can not be thinned!");
    cmd::RegionsResult r;
    EXPECT_EQ(message([&] { cmd::runRegionsCommand(mesh, {}, r); }),
              "Object can not be processed!");
    EXPECT_EQ(mesh.points.size(), 3u);
    // The window's titles and its warning while no feature is chosen.
    EXPECT_STREQ(cmd::kNormalsTitle, "Normal vectors");
    EXPECT_STREQ(cmd::kFeaturesTitle, "Surface features");
    EXPECT_STREQ(cmd::kSelectAlgorithm, "Please select an algorithm!");

    const LoadedData cloud = wavyCloud(100, 1);
    cmd::SmoothingOptions bad;
    bad.radius = -1.0;
    EXPECT_THROW(cmd::runSmoothingCommand(cloud, bad, s), std::invalid_argument);
    cmd::RegionsOptions nan;
    nan.radius = std::nan("");
    EXPECT_THROW(cmd::runRegionsCommand(cloud, nan, r), std::invalid_argument);
}

// Bad neighbourhood sizes get a message before anything runs; the result stays as it was.
TEST(PointCloudCommands, BadRadiiAndPointNumbersAreRefused) {
    const LoadedData cloud = wavyCloud(100, 5);
    const double bad[] = {-1.0, std::nan(""), HUGE_VAL, -HUGE_VAL};
    auto message = [](const auto& fn) {
        try {
            fn();
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("no exception");
    };
    const std::string radiusText = "The radius must be a finite number of at least 0.";
    const std::string pointNumberText = "The point number must be at least 1.";
    for (double radius : bad) {
        cmd::NormalsOptions n;
        n.mode = alg::kNormalsRadius;
        n.radius = radius;
        cmd::NormalsResult nr;
        nr.panelText = "untouched";
        EXPECT_EQ(message([&] { cmd::runNormalsCommand(cloud, n, nr); }), radiusText) << radius;
        EXPECT_EQ(nr.panelText, "untouched");
        cmd::FeaturesOptions f;
        f.kernel = alg::kKernelRadius;
        f.radius = radius;
        cmd::FeaturesResult fr;
        EXPECT_EQ(message([&] { cmd::runFeaturesCommand(cloud, f, fr); }), radiusText) << radius;
        cmd::ThinningOptions t;
        t.radius = radius;
        LoadedData copy = cloud;
        cmd::ThinningResult tr;
        EXPECT_EQ(message([&] { cmd::runThinningCommand(copy, nullptr, t, tr); }), radiusText);
        EXPECT_EQ(copy.points, cloud.points);
    }
    cmd::NormalsOptions n;
    n.mode = alg::kNormalsPointNumber;
    n.k = 0;
    cmd::NormalsResult nr;
    EXPECT_EQ(message([&] { cmd::runNormalsCommand(cloud, n, nr); }), pointNumberText);
    EXPECT_TRUE(nr.normals.empty());
    cmd::FeaturesOptions f;
    f.kernel = alg::kKernelPointNumber;
    f.k = 0;
    cmd::FeaturesResult fr;
    EXPECT_EQ(message([&] { cmd::runFeaturesCommand(cloud, f, fr); }), pointNumberText);
    EXPECT_TRUE(fr.values.empty());
    cmd::ThinningOptions t;
    t.byCount = true;
    t.count = 0;
    LoadedData copy = cloud;
    cmd::ThinningResult tr;
    EXPECT_EQ(message([&] { cmd::runThinningCommand(copy, nullptr, t, tr); }), pointNumberText);
    EXPECT_EQ(copy.points, cloud.points);

    // The point number only counts where it is the kernel; a huge one is cut down to
    // the cloud's size (every neighbourhood is the whole cloud, one plane).
    n.mode = alg::kNormalsAuto;
    ASSERT_EQ(cmd::runNormalsCommand(cloud, n, nr), JobStatus::kCompleted);
    LoadedData plane;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            plane.points.push_back(Vec3d(i, j, 2.0));
    n.mode = alg::kNormalsPointNumber;
    n.k = ~std::uint64_t(0);
    ASSERT_EQ(cmd::runNormalsCommand(plane, n, nr), JobStatus::kCompleted);
    for (const Vec3f& v : nr.normals)
        EXPECT_EQ(std::abs(v.z), 1.0f);
    f.k = ~std::uint64_t(0);
    f.feature = alg::kFeatureDensity;
    ASSERT_EQ(cmd::runFeaturesCommand(plane, f, fr), JobStatus::kCompleted);
    ASSERT_EQ(fr.values.size(), 25u);
}

TEST(PointCloudCommands, NormalsAndFeaturesEqualTheLibraryOnBothPointKinds) {
    for (bool colored : {false, true}) {
        const LoadedData data = wavyCloud(3000, 2, colored);
        const LoadedData plain = wavyCloud(3000, 2, false);
        cmd::NormalsOptions options;
        options.mode = alg::kNormalsPointNumber;
        options.k = 12;
        cmd::NormalsResult result;
        ASSERT_EQ(cmd::runNormalsCommand(data, options, result), JobStatus::kCompleted);
        std::vector<Vec3f> expected(plain.points.size());
        alg::normalsKNearest(alg::ProcessControl{}, plain.points.data(),
                             plain.points.data() + plain.points.size(), expected.data(), 12);
        EXPECT_EQ(result.normals, expected);
        EXPECT_EQ(result.panelText, "Duration: " + result.run.duration);

        cmd::FeaturesOptions fo;
        fo.feature = alg::kFeatureIntrinsicCurvature;
        fo.kernel = alg::kKernelRadius;
        fo.radius = 0.1;
        cmd::FeaturesResult fr;
        ASSERT_EQ(cmd::runFeaturesCommand(data, fo, fr), JobStatus::kCompleted);
        ASSERT_EQ(fr.values.size(), data.pointCount());
        const alg::FeatureEvaluation e = alg::evaluateFeatures(fr.values);
        EXPECT_EQ(fr.evaluation.colors, e.colors);
        EXPECT_EQ(fr.panelText, alg::featureStatisticsText(e, fr.run.duration));
        EXPECT_TRUE(
            std::regex_match(fr.panelText, std::regex("min\\.: .*\nmax\\.: .*\nmean: .*\nmedian: "
                                                      ".*\nstdDev\\.: .*\nduration: .*")))
            << fr.panelText;
    }
}

TEST(PointCloudCommands, SmoothingKeepsColoursAndThinningKeepsNormalsPaired) {
    LoadedData data = wavyCloud(2000, 3, true);
    cmd::SmoothingOptions so;
    so.function = alg::kSmoothGauss;
    so.radius = 0.1;
    cmd::SmoothingResult sr;
    ASSERT_EQ(cmd::runSmoothingCommand(data, so, sr), JobStatus::kCompleted);
    const std::vector<double> moved = cmd::smoothingDisplacements(data, sr);
    ASSERT_EQ(moved.size(), data.coloredPoints.size());
    for (std::size_t i = 0; i < moved.size(); ++i) {
        const GLPoint& p = data.coloredPoints[i];
        const double dx = sr.points[i].x - p.x, dy = sr.points[i].y - p.y,
                     dz = sr.points[i].z - p.z;
        ASSERT_EQ(moved[i], std::sqrt(dx * dx + dy * dy + dz * dz)) << i;
    }
    cmd::applySmoothing(data, sr);
    for (std::size_t i = 0; i < data.coloredPoints.size(); ++i) {
        ASSERT_EQ(data.coloredPoints[i].x, sr.points[i].x);
        ASSERT_EQ(data.coloredPoints[i].color(), alg3D::Color(1, 2, 3));
    }

    std::vector<Vec3f> normals;
    for (const GLPoint& p : data.coloredPoints)
        normals.push_back(Vec3f(float(p.x), float(p.y), float(p.z)));
    cmd::ThinningOptions to;
    to.byCount = true;
    to.count = 500;
    cmd::ThinningResult tr;
    const LoadedData before = data;
    ASSERT_EQ(cmd::runThinningCommand(data, &normals, to, tr), JobStatus::kCompleted);
    ASSERT_EQ(data.coloredPoints.size(), 500u);
    // The kept flags, in input order, pick exactly the points that remain, in order.
    ASSERT_EQ(tr.kept.size(), 2000u);
    std::size_t next = 0;
    for (std::size_t i = 0; i < tr.kept.size(); ++i) {
        ASSERT_LE(tr.kept[i], 1);
        if (!tr.kept[i]) continue;
        ASSERT_LT(next, data.coloredPoints.size());
        ASSERT_EQ(data.coloredPoints[next++], before.coloredPoints[i]) << i;
    }
    EXPECT_EQ(next, 500u);
    ASSERT_EQ(normals.size(), 500u);
    for (std::size_t i = 0; i < normals.size(); ++i) {
        const GLPoint& p = data.coloredPoints[i];
        ASSERT_EQ(normals[i], Vec3f(float(p.x), float(p.y), float(p.z)));
    }
    EXPECT_EQ(tr.panelText, "Input points: 2000\nOutput points: 500\nDuration: " + tr.run.duration);
}

TEST(PointCloudCommands, RegionsTextsAndSelection) {
    LoadedData data;
    data.points = {Vec3d(0, 0, 0), Vec3d(0.5, 0, 0), Vec3d(5, 0, 0),
                   Vec3d(9, 0, 0), Vec3d(9.9, 0, 0), Vec3d(10.8, 0, 0)};
    cmd::RegionsOptions o;
    o.radius = 1.0;
    o.select = true;
    o.maxPoints = 2;
    cmd::RegionsResult r;
    ASSERT_EQ(cmd::runRegionsCommand(data, o, r), JobStatus::kCompleted);
    EXPECT_EQ(r.regionCount, 3u);
    EXPECT_EQ(r.panelText, "Duration: " + r.run.duration + "\nRegions: 3");
    EXPECT_EQ(r.selectedCount, 1u);
    EXPECT_EQ(r.selected, (std::vector<std::uint8_t>{0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(r.colors, alg::regionColors(r.labels, 3));
}

// Long enough runs that the first poll comes before the end.
TEST(PointCloudCommands, AbortLeavesDataAndResultsUntouched) {
    const LoadedData base = wavyCloud(400000, 4);
    const std::chrono::milliseconds tick(1);

    LoadedData data = base;
    std::vector<Vec3f> normals(base.points.size(), Vec3f(1, 2, 3));
    const std::vector<Vec3f> normalsBefore = normals;
    for (bool byCount : {true, false}) {
        cmd::ThinningOptions to;
        to.byCount = byCount;
        to.count = 10;
        to.radius = 0.01;
        cmd::ThinningResult tr;
        EXPECT_EQ(cmd::runThinningCommand(data, &normals, to, tr, abortAtOnce, tick),
                  JobStatus::kAborted);
        EXPECT_EQ(data.points, base.points);
        EXPECT_EQ(normals, normalsBefore);
        EXPECT_EQ(tr.panelText, "Input points: 400000\n");
    }

    cmd::NormalsResult nr;
    nr.panelText = "untouched";
    EXPECT_EQ(cmd::runNormalsCommand(base, {}, nr, abortAtOnce, tick), JobStatus::kAborted);
    EXPECT_EQ(nr.panelText, "untouched");
    EXPECT_TRUE(nr.normals.empty());

    cmd::RegionsOptions ro;
    ro.radius = 0.01;
    cmd::RegionsResult rr;
    EXPECT_EQ(cmd::runRegionsCommand(base, ro, rr, abortAtOnce, tick), JobStatus::kAborted);
    EXPECT_TRUE(rr.labels.empty());
}

}  // namespace
