// STL files, seeded with the ASCII encoding (the loader chooses the encoding itself).
#include "fuzz/FuzzTarget.h"

TESSARO_FUZZ_TARGET(stl_ascii) {
    return tessaro::fuzz::loadAs(data, size, "stl");
}
