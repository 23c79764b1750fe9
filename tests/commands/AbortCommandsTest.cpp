// Aborts of the fit command asked for at the first poll: whatever the run is doing then
// (an estimate with inner fits, a pass over the points, an iteration), the command
// reports it as aborted and hands back nothing, for each method. The hull command, which
// runs on the calling thread, stops on its flag.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "alg3D/approximate/FitFramework.h"
#include "commands/FitCommand.h"
#include "commands/HullCommand.h"

using alg3D::Vec3d;
using tessaro::commands::FitOptions;
using tessaro::commands::FitResult;
using tessaro::commands::FitShape;
using tessaro::commands::JobStatus;

namespace {

constexpr double kPi = 3.141592653589793;

// Noisy points of a torus (r1 7, r2 2) or of an ellipse (5, 3) in the x-y plane.
std::vector<Vec3d> shapePoints(FitShape shape, std::size_t n) {
    std::mt19937_64 rng(31);
    std::uniform_real_distribution<double> angle(0.0, 2.0 * kPi);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::vector<Vec3d> pts;
    for (std::size_t i = 0; i < n; ++i) {
        const double th = angle(rng), ph = angle(rng);
        if (shape == FitShape::kTorus) {
            const double rr = 7.0 + 2.0 * std::cos(ph);
            pts.push_back(Vec3d(rr * std::cos(th), rr * std::sin(th), 2.0 * std::sin(ph)));
        } else if (shape == FitShape::kCylinder) {
            pts.push_back(Vec3d(4.0 * std::cos(th), 4.0 * std::sin(th), 10.0 * ph / kPi));
        } else {
            pts.push_back(Vec3d(5.0 * std::cos(th), 3.0 * std::sin(th), 0.0));
        }
        pts.back() += Vec3d(noise(rng), noise(rng), noise(rng));
    }
    return pts;
}

TEST(FitCommandAbort, AbortAtTheFirstPollEndsTheRunAndLeavesTheResult) {
    for (const FitShape shape :
         {FitShape::kTorus, FitShape::kEllipse, FitShape::kSuperEllipse, FitShape::kCylinder}) {
        const std::vector<Vec3d> pts = shapePoints(shape, 200000);
        for (const int method :
             {alg3D::approximate::kGaussNewton, alg3D::approximate::kLevenbergMarquardt,
              alg3D::approximate::kChebyshev}) {
            SCOPED_TRACE(std::string(tessaro::commands::fitShapeName(shape)) + " " +
                         std::to_string(method));
            FitOptions options;
            options.method = method;
            FitResult result;
            result.points = 777;
            int polls = 0;
            const JobStatus status = tessaro::commands::runFitCommand(
                shape, pts, options, result,
                [&polls](float) {
                    ++polls;
                    return true;
                },
                std::chrono::milliseconds(1));
            // 200,000 points take far longer than the first interval.
            ASSERT_EQ(polls, 1);
            EXPECT_EQ(status, JobStatus::kAborted);
            EXPECT_EQ(result.points, 777u);
            EXPECT_TRUE(result.deviations.empty());
            EXPECT_TRUE(result.parameters.empty());
        }
    }
}

TEST(HullCommandAbort, FlagEndsTheBuildWithAnEmptyAbortedResult) {
    const std::vector<Vec3d> pts = shapePoints(FitShape::kTorus, 50000);
    const alg3D::Color white(255, 255, 255);
    const std::atomic<bool> set{true};
    const std::atomic<bool> unset{false};
    const tessaro::commands::HullResult aborted =
        tessaro::commands::runHullCommand(pts, "cloud", white, &set);
    EXPECT_TRUE(aborted.aborted);
    EXPECT_TRUE(aborted.vertices.empty());
    EXPECT_TRUE(aborted.indices.empty());
    EXPECT_TRUE(aborted.name.empty());
    const tessaro::commands::HullResult complete =
        tessaro::commands::runHullCommand(pts, "cloud", white, &unset);
    EXPECT_FALSE(complete.aborted);
    EXPECT_GT(complete.triangleCount(), 100u);
    EXPECT_EQ(complete.name, "cloud_hull");
}

}  // namespace
