// Fit results read back from their JSON: every shape's keys into the geometry, the
// optional extent, and the refusals with their reasons.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "commands/FitResultFile.h"

namespace {

using alg3D::Vec3d;
using tessaro::commands::FitResultFile;
using tessaro::commands::FitShape;
using tessaro::commands::parseFitResult;

TEST(FitResultFile, EveryKeyGoesToItsField) {
    // Between them these shapes use every parameter key.
    struct Case {
        const char* text;
        FitShape shape;
        tessaro::commands::FitGeometry g;
    };
    const Case cases[] = {
        {R"({"shape":"plane","parameters":{"point":[1,2,3],"normal":[0,1,0],"d":-2}})",
         FitShape::kPlane,
         {{1, 2, 3}, {0, 1, 0}, 0, 0, 0, 0, -2}},
        {R"({"shape":"superellipse","parameters":{"center":[0,0,1],"normal":[0,0,1],"a":3,
             "b":2,"angle":0.5,"factor":0.25}})",
         FitShape::kSuperEllipse,
         {{0, 0, 1}, {0, 0, 1}, 3, 2, 0.5, 0.25, 0}},
        {R"({"shape":"cone","parameters":{"point":[1,0,0],"direction":[0,1,0],"angle":-0.25,
             "radius":2}})",
         FitShape::kCone,
         {{1, 0, 0}, {0, 1, 0}, 2, 0, -0.25, 0, 0}},
        {R"({"shape":"torus","parameters":{"center":[1,0,0],"direction":[0,1,0],"r1":5,"r2":1}})",
         FitShape::kTorus,
         {{1, 0, 0}, {0, 1, 0}, 5, 1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const FitResultFile f = parseFitResult(c.text);
        ASSERT_TRUE(f.shape) << c.text;
        EXPECT_EQ(*f.shape, c.shape);
        const double got[] = {f.geometry.radius, f.geometry.radius2, f.geometry.angle,
                              f.geometry.factor, f.geometry.d};
        const double want[] = {c.g.radius, c.g.radius2, c.g.angle, c.g.factor, c.g.d};
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(got[k], want[k]) << c.text << " field " << k;
        EXPECT_EQ(f.geometry.point, c.g.point) << c.text;
        EXPECT_EQ(f.geometry.direction, c.g.direction) << c.text;
        EXPECT_FALSE(f.hasExtent);
    }
}

TEST(FitResultFile, ExtentAndUnknownShape) {
    const FitResultFile f = parseFitResult(
        R"({"shape":"cylinder","parameters":{"point":[1,0,0],"direction":[0,1,0],"radius":2},
            "bottom":[1,-3,0],"height":6.5})");
    EXPECT_TRUE(f.hasExtent);
    EXPECT_EQ(f.bottom, Vec3d(1, -3, 0));
    EXPECT_EQ(f.height, 6.5);
    // A name that is no shape is the caller's to refuse.
    const FitResultFile cube = parseFitResult(R"({"shape":"cube"})");
    EXPECT_EQ(cube.shapeName, "cube");
    EXPECT_FALSE(cube.shape);
}

TEST(FitResultFile, RefusalsNameTheirReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"{", "not a fit result (invalid JSON)"},
        {"[1,2]", "not a fit result (no \"shape\")"},
        {R"({"shape":3})", "not a fit result (no \"shape\")"},
        {R"({"shape":"sphere"})", "not a fit result (no \"parameters\")"},
        {R"({"shape":"sphere","parameters":{"center":[1,2],"radius":1}})",
         "missing or invalid parameter \"center\""},
        {R"({"shape":"sphere","parameters":{"center":[1,2,"x"],"radius":1}})",
         "missing or invalid parameter \"center\""},
        {R"({"shape":"sphere","parameters":{"center":[1,2,3]}})",
         "missing or invalid parameter \"radius\""},
        {R"({"shape":"sphere","parameters":{"center":[1,2,3],"radius":null}})",
         "missing or invalid parameter \"radius\""},
        {R"({"shape":"line","parameters":{"point":[1,2,3],"direction":[0,0,0]}})",
         "the direction of the primitive is the zero vector"},
        {R"({"shape":"cylinder","parameters":{"point":[1,0,0],"direction":[0,1,0],"radius":2},
             "bottom":[1,0,0]})",
         "invalid \"bottom\" or \"height\""},
        {R"({"shape":"cylinder","parameters":{"point":[1,0,0],"direction":[0,1,0],"radius":2},
             "bottom":[1,0,0],"height":-1})",
         "invalid \"bottom\" or \"height\""},
    };
    for (const auto& [text, reason] : cases) {
        try {
            parseFitResult(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), reason) << text;
        }
    }
}

}  // namespace
