// Text point files (.xyz, .xyzc, .pts and the probed .asc) with their file analysis.
// The first input byte chooses the suffix, the rest is the file.
#include "fuzz/FuzzTarget.h"

TESSARO_FUZZ_TARGET(text) {
    static const char* const kSuffixes[] = {"xyz", "xyzc", "pts", "asc"};
    if (size == 0) return 0;
    return tessaro::fuzz::loadAs(data + 1, size - 1, kSuffixes[data[0] & 3u]);
}
