// Test helpers of the convex hull: qhull as the independent reference (tests and
// benchmarks only), point generators and the hull's own consistency checks.
#pragma once

extern "C" {
#include <libqhull_r/qhull_ra.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "alg3D/matrix/Matrix.h"

namespace hull_test {

using alg3D::Vec3d;

struct QhullResult {
    bool ok = false;
    std::vector<std::size_t> vertices;  // point indices of the hull's vertices
    double volume = 0.0;                // area in 2D
};

// Hull of the first `dim` coordinates of the points by qhull ("Qt", triangulated).
inline QhullResult qhullOf(const std::vector<Vec3d>& points, int dim = 3) {
    QhullResult result;
    std::vector<coordT> coords;
    coords.reserve(points.size() * static_cast<std::size_t>(dim));
    for (const Vec3d& p : points)
        for (int k = 0; k < dim; ++k)
            coords.push_back(p[static_cast<std::size_t>(k)]);
    qhT qhData;
    qhT* qh = &qhData;
    qh_zero(qh, stderr);
    char options[] = "qhull Qt";
    const int exitCode = qh_new_qhull(qh, dim, static_cast<int>(points.size()), coords.data(),
                                      False, options, nullptr, stderr);
    if (exitCode == 0) {
        qh_getarea(qh, qh->facet_list);
        result.volume = qh->totvol;
        vertexT* vertex;
        FORALLvertices {
            result.vertices.push_back(static_cast<std::size_t>(qh_pointid(qh, vertex->point)));
        }
        result.ok = true;
    }
    qh_freeqhull(qh, !qh_ALL);
    int curlong = 0, totlong = 0;
    qh_memfreeshort(qh, &curlong, &totlong);
    return result;
}

inline std::vector<Vec3d> randomInBall(std::size_t n, std::mt19937_64& rng, double radius = 1.0) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<Vec3d> out;
    while (out.size() < n) {
        const Vec3d p(u(rng), u(rng), u(rng));
        if (p.squaredNorm() <= 1.0) out.push_back(radius * p);
    }
    return out;
}

inline std::vector<Vec3d> randomOnSphere(std::size_t n, std::mt19937_64& rng, double radius = 1.0) {
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<Vec3d> out;
    while (out.size() < n) {
        const Vec3d p(g(rng), g(rng), g(rng));
        const double len = p.norm();
        if (len > 1e-3) out.push_back((radius / len) * p);
    }
    return out;
}

// Sorted coordinates of a set of points (for comparing vertex sets by position).
inline std::vector<std::array<double, 3>> sortedCoordinates(const std::vector<Vec3d>& points) {
    std::vector<std::array<double, 3>> out;
    for (const Vec3d& p : points)
        out.push_back({p.x, p.y, p.z});
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

// Volume enclosed by triangles (three indices each), positive for outward winding.
inline double meshVolume(const std::vector<Vec3d>& v, const std::vector<std::uint64_t>& idx) {
    Vec3d c(0.0, 0.0, 0.0);
    for (const Vec3d& p : v)
        c = c + p;
    if (!v.empty()) c = c * (1.0 / static_cast<double>(v.size()));
    double volume = 0.0;
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        const Vec3d a = v[idx[t]] - c, b = v[idx[t + 1]] - c, d = v[idx[t + 2]] - c;
        volume += a.dot(b.cross(d)) / 6.0;
    }
    return volume;
}

// Every directed edge of the triangles appears once and its reverse once: each
// undirected edge is shared by exactly two triangles, wound consistently. Returns an
// empty string when that holds, otherwise what is wrong.
inline std::string checkClosedManifold(const std::vector<std::uint64_t>& idx) {
    std::map<std::pair<std::uint64_t, std::uint64_t>, int> directed;
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        for (int k = 0; k < 3; ++k) {
            const std::uint64_t a = idx[t + static_cast<std::size_t>(k)];
            const std::uint64_t b = idx[t + static_cast<std::size_t>((k + 1) % 3)];
            if (a == b) return "triangle with a repeated corner";
            if (++directed[{a, b}] > 1) return "directed edge used twice";
        }
    }
    for (const auto& entry : directed) {
        if (!directed.count({entry.first.second, entry.first.first}))
            return "edge without a second triangle";
    }
    return {};
}

}  // namespace hull_test
