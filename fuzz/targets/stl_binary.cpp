// STL files, seeded with the binary encoding (the loader chooses the encoding itself).
#include "fuzz/FuzzTarget.h"

TESSARO_FUZZ_TARGET(stl_binary) {
    return tessaro::fuzz::loadAs(data, size, "stl");
}
