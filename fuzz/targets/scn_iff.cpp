// Scan data files (.scn), seeded with the IFF encoding.
#include "fuzz/FuzzTarget.h"

TESSARO_FUZZ_TARGET(scn_iff) {
    return tessaro::fuzz::loadAs(data, size, "scn");
}
