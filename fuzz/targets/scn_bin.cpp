// Scan data files (.scn), seeded with the flat SCNBIN encoding.
#include "fuzz/FuzzTarget.h"

TESSARO_FUZZ_TARGET(scn_bin) {
    return tessaro::fuzz::loadAs(data, size, "scn");
}
