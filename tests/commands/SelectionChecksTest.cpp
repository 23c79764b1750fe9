#include <gtest/gtest.h>

#include <string>

#include "commands/SelectionChecks.h"

namespace {

using namespace tessaro::commands;

TEST(SelectionChecks, OneCloudOrTheWarningInItsOrder) {
    const char* own = "Object can not be processed!";
    struct Case {
        std::size_t selected;
        bool cloud;
        const char* expected;
    } cases[] = {{0, false, kSelectPointcloud},
                 {0, true, kSelectPointcloud},
                 {2, true, kSelectOnePointcloud},
                 {2, false, kSelectOnePointcloud},
                 {1, false, own},
                 {1, true, nullptr}};
    for (const Case& c : cases) {
        const char* got = checkSingleCloud(c.selected, c.cloud, own);
        EXPECT_EQ(got ? std::string(got) : "", c.expected ? std::string(c.expected) : "")
            << c.selected << " " << c.cloud;
    }
    EXPECT_STREQ(kSelectPointcloud, "Please select a pointcloud!");
    EXPECT_STREQ(kSelectOnePointcloud, "Please select one pointcloud only!");
}

}  // namespace
