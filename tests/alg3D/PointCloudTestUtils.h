// Helpers of the point-cloud processing tests: synthetic clouds with known geometry,
// brute-force neighbourhoods by a linear scan, and the principal axes by Eigen.
#pragma once

#include <Eigen/Dense>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

namespace pointcloud_test {

using alg3D::GLPoint;
using alg3D::Vec3d;

template <typename P>
P makePoint(const Vec3d& v);
template <>
inline Vec3d makePoint<Vec3d>(const Vec3d& v) {
    return v;
}
template <>
inline GLPoint makePoint<GLPoint>(const Vec3d& v) {
    return GLPoint(v.x, v.y, v.z, 7, 8, 9);
}

template <typename P>
std::vector<P> convert(const std::vector<Vec3d>& v) {
    std::vector<P> out;
    out.reserve(v.size());
    for (const Vec3d& p : v)
        out.push_back(makePoint<P>(p));
    return out;
}

inline double dist2(const Vec3d& a, const Vec3d& b) {
    return (a - b).squaredNorm();
}

// Indices within radius (distance <= radius), by a linear scan.
inline std::vector<std::size_t> bruteWithin(const std::vector<Vec3d>& pts, const Vec3d& q,
                                            double radius) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < pts.size(); ++i)
        if (dist2(pts[i], q) <= radius * radius) out.push_back(i);
    return out;
}

// The k nearest indices (nearest first) and the distance of the k-th.
inline std::vector<std::size_t> bruteKNearest(const std::vector<Vec3d>& pts, const Vec3d& q,
                                              std::size_t k, double* kth = nullptr) {
    std::vector<std::size_t> idx(pts.size());
    std::iota(idx.begin(), idx.end(), std::size_t(0));
    k = std::min(k, pts.size());
    std::partial_sort(
        idx.begin(), idx.begin() + static_cast<long>(k), idx.end(),
        [&](std::size_t a, std::size_t b) { return dist2(pts[a], q) < dist2(pts[b], q); });
    idx.resize(k);
    if (kth) *kth = k ? std::sqrt(dist2(pts[idx.back()], q)) : 0.0;
    return idx;
}

// Eigen's eigen-decomposition of the covariance about the centroid: eigenvalues
// descending (= singular values of the symmetric matrix) and the smallest axis.
struct EigenAxes {
    double w0 = 0, w1 = 0, w2 = 0;
    Vec3d normal;
};

inline EigenAxes eigenAxes(const std::vector<Vec3d>& pts, const std::vector<std::size_t>& idx) {
    Eigen::Vector3d c = Eigen::Vector3d::Zero();
    for (std::size_t i : idx)
        c += Eigen::Vector3d(pts[i].x, pts[i].y, pts[i].z);
    c /= static_cast<double>(idx.size());
    Eigen::Matrix3d cov = Eigen::Matrix3d::Zero();
    for (std::size_t i : idx) {
        const Eigen::Vector3d d = Eigen::Vector3d(pts[i].x, pts[i].y, pts[i].z) - c;
        cov += d * d.transpose();
    }
    cov /= static_cast<double>(idx.size());
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> es(cov);
    EigenAxes a;
    a.w0 = es.eigenvalues()(2);
    a.w1 = es.eigenvalues()(1);
    a.w2 = es.eigenvalues()(0);
    const Eigen::Vector3d n = es.eigenvectors().col(0);
    a.normal = Vec3d(n(0), n(1), n(2));
    return a;
}

// Angle between two directions, ignoring the sign.
inline double angleUpToSign(const Vec3d& a, const Vec3d& b) {
    const double c = std::abs(a.dot(b)) / (a.norm() * b.norm());
    const double s = a.cross(b).norm() / (a.norm() * b.norm());
    return std::atan2(s, c);
}

inline Vec3d toD(const alg3D::Vec3f& f) {
    return Vec3d(f.x, f.y, f.z);
}

// A smooth wavy surface z = 0.3 sin(2x) cos(2y) over [-1, 1]², with optional noise.
inline std::vector<Vec3d> wavySurface(std::size_t n, double noise, std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::normal_distribution<double> g(0.0, noise > 0 ? noise : 1.0);
    std::vector<Vec3d> pts;
    pts.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double x = u(rng), y = u(rng);
        double z = 0.3 * std::sin(2 * x) * std::cos(2 * y);
        if (noise > 0) z += g(rng);
        pts.push_back(Vec3d(x, y, z));
    }
    return pts;
}

// Uniform random points on a sphere.
inline std::vector<Vec3d> spherePoints(std::size_t n, const Vec3d& c, double r,
                                       std::uint64_t seed) {
    auto rng = testing_helpers::seededRng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<Vec3d> pts;
    for (std::size_t i = 0; i < n; ++i) {
        Vec3d d(g(rng), g(rng), g(rng));
        pts.push_back(c + r * d.normalized());
    }
    return pts;
}

// Runs `run` while a second thread sets `abort` as soon as `progress` leaves 0, that is
// once the kernel's parallel loop has finished its first point (the tree build before
// it reports no progress). A loop that tests the flag leaves most points unprocessed.
template <typename Run>
void abortOnceStarted(std::atomic<bool>& abort, const std::atomic<float>& progress, Run run) {
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (progress.load() == 0.0f && !done.load())
            std::this_thread::yield();
        abort.store(true);
    });
    run();
    done.store(true);
    watcher.join();
}

}  // namespace pointcloud_test
