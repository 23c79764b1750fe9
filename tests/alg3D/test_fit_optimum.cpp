// Both least-squares schemes end at the optimum: at the returned parameters one
// further Gauss-Newton step (solved outside the fit, by QR on the fit's Jacobian)
// moves no position or radius by more than 1e-12 of the data size and no angle by
// more than 1e-12 rad. Noisy data (1% of the size) make Gauss-Newton converge
// linearly, so a run that stops at a step threshold of 1e-6 is far from this.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "FitCoreTestUtils.h"
#include "FitTestUtils.h"
#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/approximate/FitObjCone.h"
#include "alg3D/approximate/FitObjCylinder.h"
#include "alg3D/approximate/FitObjEllipse3D.h"
#include "alg3D/approximate/FitObjLine3D.h"
#include "alg3D/approximate/FitObjPlane.h"
#include "alg3D/approximate/FitObjSphere.h"
#include "alg3D/approximate/FitObjSuperEllipse3D.h"
#include "alg3D/approximate/FitObjTorus.h"

namespace {

using alg3D::Matrix3x3d;
using alg3D::Vec3d;
using namespace alg3D::approximate;
using fit_core_test::Scheme;

constexpr double kPi = 3.141592653589793;

// Points q(t, s) of a shape in its own frame (t, s uniform in [0, 1)), placed by a
// random rotation about a far origin, each moved by isotropic Gaussian noise.
std::vector<Vec3d> sample(const std::function<Vec3d(double, double)>& local, std::size_t n,
                          double noise, unsigned seed) {
    std::mt19937_64 rng(seed);
    const Matrix3x3d R = fit_test::randomRotation(rng);
    const Vec3d origin(120.0, -40.0, 75.0);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::normal_distribution<double> g(0.0, noise);
    std::vector<Vec3d> pts(n);
    for (Vec3d& p : pts) {
        const double t = uni(rng), s = uni(rng);
        p = origin + R * local(t, s) + Vec3d(g(rng), g(rng), g(rng));
    }
    return pts;
}

double signedPower(double c, double k) {
    return (c < 0.0 ? -1.0 : 1.0) * std::pow(std::abs(c), k);
}

struct ShapeCase {
    const char* name;
    std::function<Vec3d(double, double)> local;  // size about 50
    std::vector<bool> dimensionless;             // angle (or exponent) columns
};

const std::vector<ShapeCase>& shapeCases() {
    static const std::vector<ShapeCase> cases = {
        {"line",
         [](double t, double) { return Vec3d(0.0, 0.0, 100.0 * t - 50.0); },
         {false, false, false, true, true}},
        {"plane",
         [](double t, double s) { return Vec3d(80.0 * t - 40.0, 60.0 * s - 30.0, 0.0); },
         {false, false, false, true, true}},
        {"circle",
         [](double t, double) {
             return Vec3d(30.0 * std::cos(kPi * t), 30.0 * std::sin(kPi * t), 0.0);
         },
         {false, false, false}},
        {"sphere",
         [](double t, double s) {
             const double z = 2.0 * s - 1.0, rho = std::sqrt(1.0 - z * z);
             return 40.0 * Vec3d(rho * std::cos(2 * kPi * t), rho * std::sin(2 * kPi * t), z);
         },
         {false, false, false, false}},
        {"cylinder",
         [](double t, double s) {
             return Vec3d(25.0 * std::cos(1.5 * kPi * t), 25.0 * std::sin(1.5 * kPi * t),
                          80.0 * s - 40.0);
         },
         {false, false, false, false, true, true}},
        {"cone",
         [](double t, double s) {
             const double h = 60.0 * s - 30.0, rad = 25.0 + 0.4 * h;
             return Vec3d(rad * std::cos(2 * kPi * t), rad * std::sin(2 * kPi * t), h);
         },
         {true, false, false, false, false, true, true}},
        {"ellipse",
         [](double t, double) {
             return Vec3d(45.0 * std::cos(2 * kPi * t), 25.0 * std::sin(2 * kPi * t), 0.0);
         },
         {false, false, false, false, true}},
        {"superellipse",
         [](double t, double) {
             const double c = std::cos(2 * kPi * t), s = std::sin(2 * kPi * t);
             return Vec3d(45.0 * signedPower(c, 0.7), 25.0 * signedPower(s, 0.7), 0.0);
         },
         {false, false, true, false, false, true}},
        {"torus",
         [](double t, double s) {
             const double rho = 35.0 + 10.0 * std::cos(2 * kPi * s);
             return Vec3d(rho * std::cos(2 * kPi * t), rho * std::sin(2 * kPi * t),
                          10.0 * std::sin(2 * kPi * s));
         },
         {false, false, false, false, false, true, true}},
    };
    return cases;
}

template <class FitObj>
void expectOptimum(const ShapeCase& c, Scheme scheme, double scale) {
    std::vector<Vec3d> pts = sample(c.local, 600, 0.5, 11);
    pts = fit_core_test::scaled(pts, scale);
    const double size = dataSize(pts.data(), pts.data() + pts.size());
    FitObj obj;
    const std::uint64_t it = fit_core_test::runScheme(scheme, pts, obj);
    const fit_core_test::StepChange change =
        fit_core_test::gaussNewtonStepChange(obj, pts, c.dimensionless, size);
    if (fit_core_test::reportFigures())
        std::printf("%s %s scale %g: iterations %llu, next step %.3g of the size, %.3g rad\n",
                    c.name, fit_core_test::schemeName(scheme), scale, (unsigned long long)it,
                    change.length, change.angle);
    SCOPED_TRACE(testing::Message() << c.name << " " << fit_core_test::schemeName(scheme)
                                    << " scale " << scale << " iterations " << it);
    EXPECT_LT(it, 100u);
    EXPECT_LE(change.length, 1e-12);
    EXPECT_LE(change.angle, 1e-12);
}

template <class FitObj>
void expectOptimumAllSchemes(const char* name) {
    for (const ShapeCase& c : shapeCases()) {
        if (std::string(c.name) != name) continue;
        for (Scheme scheme : {Scheme::GaussNewton, Scheme::LevenbergMarquardt})
            for (double scale : {1.0, 1e-3})
                expectOptimum<FitObj>(c, scheme, scale);
    }
}

TEST(FitOptimum, Line) {
    expectOptimumAllSchemes<FitObjLine3D>("line");
}
TEST(FitOptimum, Plane) {
    expectOptimumAllSchemes<FitObjPlane>("plane");
}
TEST(FitOptimum, Circle) {
    expectOptimumAllSchemes<FitObjCircle3D>("circle");
}
TEST(FitOptimum, Sphere) {
    expectOptimumAllSchemes<FitObjSphere>("sphere");
}
TEST(FitOptimum, Cylinder) {
    expectOptimumAllSchemes<FitObjCylinder>("cylinder");
}
TEST(FitOptimum, Cone) {
    expectOptimumAllSchemes<FitObjCone>("cone");
}
TEST(FitOptimum, Ellipse) {
    expectOptimumAllSchemes<FitObjEllipse3D>("ellipse");
}
TEST(FitOptimum, SuperEllipse) {
    expectOptimumAllSchemes<FitObjSuperEllipse3D>("superellipse");
}
TEST(FitOptimum, Torus) {
    expectOptimumAllSchemes<FitObjTorus>("torus");
}

}  // namespace
