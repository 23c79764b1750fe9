// Binary profile files (.psl).
#include "fuzz/FuzzTarget.h"

TESSARO_FUZZ_TARGET(psl) {
    return tessaro::fuzz::loadAs(data, size, "psl");
}
