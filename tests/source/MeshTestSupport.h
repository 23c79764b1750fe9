// Meshes for the window tests: a closed UV sphere as a triangle soup, and a binary STL
// file of a soup.
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "alg3D/matrix/Matrix.h"

namespace meshtest {

using alg3D::Vec3d;

// A closed UV sphere as a triangle soup (shared corners repeated bitwise equal).
inline std::vector<Vec3d> sphereSoup(const Vec3d& centre, double r, int rings, int sectors) {
    auto at = [&](int i, int j) {
        if (i == 0) return centre + Vec3d(0, 0, r);
        if (i == rings) return centre + Vec3d(0, 0, -r);
        const double theta = M_PI * i / rings, phi = 2 * M_PI * (j % sectors) / sectors;
        return centre + Vec3d(r * std::sin(theta) * std::cos(phi),
                              r * std::sin(theta) * std::sin(phi), r * std::cos(theta));
    };
    std::vector<Vec3d> soup;
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < sectors; ++j) {
            if (i > 0) soup.insert(soup.end(), {at(i, j), at(i + 1, j), at(i, j + 1)});
            if (i + 1 < rings)
                soup.insert(soup.end(), {at(i, j + 1), at(i + 1, j), at(i + 1, j + 1)});
        }
    }
    return soup;
}

// Binary STL: 80-byte header, triangle count, 50 bytes per triangle (zero normal).
inline void writeBinaryStl(const std::string& path, const std::vector<Vec3d>& soup) {
    std::ofstream out(path, std::ios::binary);
    out.write(std::string(80, ' ').data(), 80);
    const std::uint32_t count = static_cast<std::uint32_t>(soup.size() / 3);
    out.write(reinterpret_cast<const char*>(&count), 4);
    for (std::size_t t = 0; t + 2 < soup.size(); t += 3) {
        float record[12] = {0, 0, 0};
        for (std::size_t k = 0; k < 3; ++k)
            for (std::size_t c = 0; c < 3; ++c)
                record[3 + 3 * k + c] = static_cast<float>(soup[t + k][c]);
        out.write(reinterpret_cast<const char*>(record), sizeof record);
        out.write("\0\0", 2);
    }
}

}  // namespace meshtest
