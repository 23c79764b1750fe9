// The fit request as the window asks it: function codes both ways, the order of the
// warnings and the console header.
#include <gtest/gtest.h>

#include <cstring>

#include "commands/FitRequest.h"

namespace {

namespace cmd = tessaro::commands;
using cmd::FitShape;

TEST(FitRequest, PanelCodesNameTheirShapesAndBack) {
    const struct {
        int code;
        FitShape shape;
    } table[] = {{1, FitShape::kPlane}, {2, FitShape::kCylinder}, {3, FitShape::kSphere},
                 {4, FitShape::kCone},  {5, FitShape::kTorus},    {6, FitShape::kCircle},
                 {7, FitShape::kLine},  {8, FitShape::kEllipse},  {9, FitShape::kSuperEllipse}};
    for (const auto& row : table) {
        ASSERT_TRUE(cmd::fitShapeFromCode(row.code)) << row.code;
        EXPECT_EQ(*cmd::fitShapeFromCode(row.code), row.shape) << row.code;
        EXPECT_EQ(cmd::fitShapeCode(row.shape), row.code);
    }
    for (int code : {0, -1, 10, 100})
        EXPECT_FALSE(cmd::fitShapeFromCode(code)) << code;
}

TEST(FitRequest, WarningsComeInTheirOrder) {
    const struct {
        std::size_t selected;
        bool primitive;
        int code;
        const char* expected;
    } table[] = {
        {0, false, 0, "Please select a pointcloud!"},  // nothing selected wins
        {0, true, 2, "Please select a pointcloud!"},
        {1, false, 0, "Please select a function!"},
        {1, true, 0, "Please select a function!"},
        {1, false, 10, "Please select a function!"},
        {2, true, 2, "Please select a pointcloud!"},  // a primitive first
        {1, false, 2, nullptr},
        {3, false, 9, nullptr},
    };
    for (const auto& row : table) {
        const char* got = cmd::checkFitRequest(row.selected, row.primitive, row.code);
        if (!row.expected) {
            EXPECT_EQ(got, nullptr) << row.selected << " " << row.code;
        } else {
            ASSERT_NE(got, nullptr);
            EXPECT_STREQ(got, row.expected) << row.selected << " " << row.code;
        }
    }
    EXPECT_STREQ(cmd::kFitCommandTitle, "Geometry approximation");
}

TEST(FitRequest, ConsoleHeaderNamesFileAndShape) {
    EXPECT_EQ(cmd::fitConsoleHeader("part.xyz", FitShape::kCylinder),
              "\nfile: part.xyz (cylinder)\n");
    EXPECT_EQ(cmd::fitConsoleHeader("a b", FitShape::kSuperEllipse),
              "\nfile: a b (superellipse)\n");
}

}  // namespace
