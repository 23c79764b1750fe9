// PLY files: ASCII and both binary byte orders, clouds and meshes (the loader reads the
// header itself).
#include "fuzz/FuzzTarget.h"

TESSARO_FUZZ_TARGET(ply) {
    return tessaro::fuzz::loadAs(data, size, "ply");
}
