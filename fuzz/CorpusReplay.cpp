// Replays the kept fuzz corpus (fuzz/corpus/<target>/) through every target linked in:
// each file once, in a plain build (no fuzzer runtime needed). Under the sanitizer build
// this is the regression test of every input the fuzzers found worth keeping.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/FuzzTarget.h"

namespace tessaro {
namespace fuzz {
// Test names and messages show the target by its name.
void PrintTo(const Target& target, std::ostream* os) {
    *os << target.name;
}
}  // namespace fuzz
}  // namespace tessaro

namespace {

namespace fs = std::filesystem;
using tessaro::fuzz::Target;

std::vector<std::uint8_t> readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CorpusReplay : public ::testing::TestWithParam<Target> {};

TEST_P(CorpusReplay, EveryKeptInputLoadsOrIsRefused) {
    const fs::path dir = fs::path(TESSARO_FUZZ_CORPUS_DIR) / GetParam().name;
    ASSERT_TRUE(fs::is_directory(dir)) << dir << " is missing";
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << dir << " holds no inputs";
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::vector<std::uint8_t> input = readAll(file);
        EXPECT_EQ(GetParam().body(input.data(), input.size()), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay, ::testing::ValuesIn(tessaro::fuzz::targets()),
                         [](const ::testing::TestParamInfo<Target>& info) {
                             return info.param.name;
                         });

}  // namespace
