// Helpers of the register and distances end-to-end tests beyond the shared ones:
// binary STL files of triangle soups.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "alg3D/matrix/Matrix.h"

namespace icpcli {

namespace fs = std::filesystem;
using alg3D::Vec3d;

using namespace cli_test;

// Binary STL of a triangle soup (three corners per triangle, as floats).
inline void writeStl(const std::string& fileName, const std::vector<Vec3d>& corners) {
    std::ofstream out(fileName, std::ios::binary);
    char header[80] = {};
    out.write(header, 80);
    const std::uint32_t count = static_cast<std::uint32_t>(corners.size() / 3);
    out.write(reinterpret_cast<const char*>(&count), 4);
    for (std::size_t t = 0; t + 2 < corners.size(); t += 3) {
        const Vec3d n =
            (corners[t + 1] - corners[t]).cross(corners[t + 2] - corners[t]).normalized();
        float f[12] = {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)};
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 3; ++c)
                f[3 + 3 * k + c] = static_cast<float>(corners[t + k][c]);
        out.write(reinterpret_cast<const char*>(f), sizeof f);
        const std::uint16_t attr = 0;
        out.write(reinterpret_cast<const char*>(&attr), 2);
    }
}

// Corners rounded to float, as the STL holds them.
inline std::vector<Vec3d> asFloats(std::vector<Vec3d> v) {
    for (Vec3d& p : v)
        p = Vec3d(float(p.x), float(p.y), float(p.z));
    return v;
}

}  // namespace icpcli
