// The libFuzzer entry of a fuzz_<name> program: exactly one target is linked in.
#include <cstdlib>

#include "fuzz/FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& all = tessaro::fuzz::targets();
    if (all.size() != 1) std::abort();
    return all.front().body(data, size);
}
