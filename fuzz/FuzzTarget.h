// Fuzz targets of the file readers, and the registry that lets one source file serve
// both a libFuzzer program and the corpus replay test.
//
// A target is one small file in fuzz/targets/ that defines its body with
// TESSARO_FUZZ_TARGET(name); the file's name and the target's name are the same. The
// fuzz build links each target file with FuzzMain.cpp into fuzz_<name>; the replay test
// links all of them and feeds every file of fuzz/corpus/<name>/ to the target's body.
//
// loadAs is the common body: the input goes through the loader `tessaro-cli info` and
// the window use (commands::loadFile, then describeData), from a private temporary file
// with the given suffix, since the readers take file names. A refusal with the file
// layer's texts (std::runtime_error, which Alg3dException is) is the expected answer to
// bad input; any other exception is a finding and aborts, as do the sanitizers' reports,
// a mesh that is not whole triangles and more points than the file has bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {
namespace fuzz {

using TargetBody = int (*)(const std::uint8_t* data, std::size_t size);

struct Target {
    std::string name;
    TargetBody body = nullptr;
};

// Every target linked into this program, in registration order.
const std::vector<Target>& targets();

// Adds a target to the registry; returns true (for the static initialiser).
bool registerTarget(const char* name, TargetBody body);

// Loads `data` as a file named *.suffix the way the command-line tool does. Returns 0.
int loadAs(const std::uint8_t* data, std::size_t size, const std::string& suffix);

}  // namespace fuzz
}  // namespace tessaro

#define TESSARO_FUZZ_TARGET(name)                                                  \
    static int tessaroFuzzBody_##name(const std::uint8_t* data, std::size_t size); \
    [[maybe_unused]] static const bool tessaroFuzzRegistered_##name =              \
        ::tessaro::fuzz::registerTarget(#name, tessaroFuzzBody_##name);            \
    static int tessaroFuzzBody_##name(const std::uint8_t* data, std::size_t size)
