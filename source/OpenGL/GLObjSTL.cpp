#include "OpenGL/GLObjSTL.h"

#include <QOpenGLFunctions_3_3_Core>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "alg3D/algorithm/KdTree.h"
#include "alg3D/algorithm/KdTriangleProxy.h"
#include "alg3D/algorithm/MergeCorners.h"
#include "alg3D/algorithm/TriangleGeometry.h"

using alg3D::Color;
using alg3D::Vec3d;

namespace {

// (c - q).squaredNorm() to the last bit, written out: inside the parallel regions the
// compiler does not unroll the generic version and round-trips it through the stack.
inline double squaredDistance(const Vec3d& c, const Vec3d& q) {
    const double dx = c.x - q.x, dy = c.y - q.y, dz = c.z - q.z;
    return dx * dx + dy * dy + dz * dz;
}

}  // namespace

GLObjSTL::GLObjSTL() {
    objectType = kMesh;
    name = "STL object";
    color = Color(128, 128, 128);
    alpha = 255;
}

struct GLObjSTL::SearchIndex {
    using Proxy = alg3D::algorithm::KdTriangleProxy<Vec3d>;
    std::vector<Proxy> proxies;
    alg3D::algorithm::KdTree<Proxy, 3, 0> tree;
    std::atomic<bool> stop{false};
    void cancel() { stop = true; }
};

GLObjSTL::~GLObjSTL() {
    dropSearchTree();
    if (gl && vboBarycentric) gl->glDeleteBuffers(1, &vboBarycentric);
}

void GLObjSTL::setMesh(std::vector<Vec3d>&& vertices, std::vector<std::uint64_t>&& indices) {
    indices.resize(indices.size() / 3 * 3);
    for (std::uint64_t index : indices) {
        if (index >= vertices.size()) {
            throw std::invalid_argument("mesh vertex number beyond the vertices");
        }
    }
    dropSearchTree();
    points = std::move(vertices);
    triangleIndices = std::move(indices);
    vertices.clear();
    indices.clear();
    computeObjParam();  // the upload offset follows from the bounding box
    uploadPositionsAndNormals();
    uploadBarycentric();
    updateColors();
}

void GLObjSTL::setTriangles(std::vector<Vec3d>&& soup) {
    std::vector<Vec3d> vertices;
    std::vector<std::uint64_t> indices;
    alg3D::algorithm::mergeCoincidentCorners(soup, vertices, indices);
    soup.clear();
    soup.shrink_to_fit();
    setMesh(std::move(vertices), std::move(indices));
}

std::vector<Vec3d> GLObjSTL::corners() const {
    std::vector<Vec3d> soup(triangleIndices.size());
    const std::int64_t n = static_cast<std::int64_t>(triangleIndices.size());
#pragma omp parallel for schedule(static)
    for (std::int64_t c = 0; c < n; ++c)
        soup[c] = points[triangleIndices[c]];
    return soup;
}

void GLObjSTL::updateColors() {
    cornerColors.assign(triangleIndices.size(), color);
    uploadColors();
}

void GLObjSTL::computeObjParam() {
    const std::int64_t n = static_cast<std::int64_t>(points.size());
    Vec3d centroid;
    if (n > 0) {
        Vec3d lo = points.front(), hi = lo;
        for (const Vec3d& p : points) {
            for (std::size_t k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], p[k]);
                hi[k] = std::max(hi[k], p[k]);
            }
        }
        bboxMin = lo;
        bboxMax = hi;
        // Summed relative to the box centre, so that far-away meshes keep their digits.
        const Vec3d c = (lo + hi) * 0.5;
        double sx = 0, sy = 0, sz = 0;
#pragma omp parallel for schedule(static) reduction(+ : sx, sy, sz)
        for (std::int64_t i = 0; i < n; ++i) {
            sx += points[i].x - c.x;
            sy += points[i].y - c.y;
            sz += points[i].z - c.z;
        }
        const double dn = static_cast<double>(n);
        centroid = Vec3d(c.x + sx / dn, c.y + sy / dn, c.z + sz / dn);
        uploadOffset = c;
    }
    bbox.setBox(bboxMin, bboxMax);
    const Vec3d d = bboxMax - bboxMin;
    char text[512];
    std::snprintf(text, sizeof text,
                  "%s: %llu\n%s: %llu\ndx: %.6f\ndy: %.6f\ndz: %.6f\n%s: %.6f,%.6f,%.6f\n",
                  info_key::kPoints, static_cast<unsigned long long>(points.size()),
                  info_key::kTriangles, static_cast<unsigned long long>(triangleCount()), d.x, d.y,
                  d.z, info_key::kCentre, centroid.x, centroid.y, centroid.z);
    info = text;
}

void GLObjSTL::initGL() {
    bbox.initGL();
    if (!ensureVertexArray()) return;
    ensureBuffer(vboPositions);
    ensureBuffer(vboNormals);
    ensureBuffer(vboColors);
    ensureBuffer(vboBarycentric);
    gl->glBindVertexArray(vao);
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboPositions);
    gl->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
    gl->glEnableVertexAttribArray(0);
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboNormals);
    gl->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
    gl->glEnableVertexAttribArray(1);
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboColors);
    gl->glVertexAttribPointer(2, 3, GL_UNSIGNED_BYTE, GL_TRUE, 3, nullptr);
    gl->glEnableVertexAttribArray(2);
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboBarycentric);
    gl->glVertexAttribPointer(3, 3, GL_UNSIGNED_BYTE, GL_FALSE, 3, nullptr);
    gl->glEnableVertexAttribArray(3);
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    gl->glBindVertexArray(0);
    uploadPositionsAndNormals();
    uploadBarycentric();
    uploadColors();
}

void GLObjSTL::uploadPositionsAndNormals() {
    if (!gl) return;
    ensureBuffer(vboPositions);
    ensureBuffer(vboNormals);
    const std::int64_t corners = static_cast<std::int64_t>(triangleIndices.size());
    const std::int64_t triangles = corners / 3;
    const Vec3d offset = uploadOffset;
    uploadBuffer(vboPositions, corners * 12, [&](void* target) {
        float* out = static_cast<float*>(target);
#pragma omp parallel for schedule(static)
        for (std::int64_t c = 0; c < corners; ++c) {
            const Vec3d& p = points[triangleIndices[c]];
            out[3 * c] = static_cast<float>(p.x - offset.x);
            out[3 * c + 1] = static_cast<float>(p.y - offset.y);
            out[3 * c + 2] = static_cast<float>(p.z - offset.z);
        }
    });
    uploadBuffer(vboNormals, corners * 12, [&](void* target) {
        float* out = static_cast<float*>(target);
#pragma omp parallel for schedule(static)
        for (std::int64_t t = 0; t < triangles; ++t) {
            const Vec3d& a = points[triangleIndices[3 * t]];
            const Vec3d& b = points[triangleIndices[3 * t + 1]];
            const Vec3d& c = points[triangleIndices[3 * t + 2]];
            const Vec3d n = (b - a).cross(c - a);
            for (std::int64_t k = 0; k < 3; ++k) {
                float* v = out + 9 * t + 3 * k;
                v[0] = static_cast<float>(n.x);
                v[1] = static_cast<float>(n.y);
                v[2] = static_cast<float>(n.z);
            }
        }
    });
}

void GLObjSTL::uploadBarycentric() {
    if (!gl) return;
    ensureBuffer(vboBarycentric);
    const std::int64_t triangles = static_cast<std::int64_t>(triangleIndices.size() / 3);
    uploadBuffer(vboBarycentric, triangles * 9, [&](void* target) {
        unsigned char* out = static_cast<unsigned char*>(target);
        static const unsigned char kMarker[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
#pragma omp parallel for schedule(static)
        for (std::int64_t t = 0; t < triangles; ++t)
            std::copy(kMarker, kMarker + 9, out + 9 * t);
    });
}

void GLObjSTL::uploadColors() {
    if (!gl) return;
    ensureBuffer(vboColors);
    const std::int64_t corners = static_cast<std::int64_t>(cornerColors.size());
    uploadBuffer(vboColors, corners * 3, [&](void* target) {
        unsigned char* out = static_cast<unsigned char*>(target);
#pragma omp parallel for schedule(static)
        for (std::int64_t c = 0; c < corners; ++c) {
            out[3 * c] = cornerColors[c].r;
            out[3 * c + 1] = cornerColors[c].g;
            out[3 * c + 2] = cornerColors[c].b;
        }
    });
}

void GLObjSTL::draw() {
    const std::size_t corners = triangleIndices.size();
    if (!gl || !vao || corners < 3) return;
    const GLsizei count = static_cast<GLsizei>(corners);
    gl->glBindVertexArray(vao);
    if (alpha < 255) {
        // The renderer may have blending on already for its blended pass; it stays on.
        const bool wasBlending = gl->glIsEnabled(GL_BLEND) == GL_TRUE;
        gl->glEnable(GL_BLEND);
        gl->glEnable(GL_CULL_FACE);
        gl->glCullFace(GL_FRONT);
        gl->glDrawArrays(GL_TRIANGLES, 0, count);
        gl->glCullFace(GL_BACK);
        gl->glDrawArrays(GL_TRIANGLES, 0, count);
        gl->glDisable(GL_CULL_FACE);
        if (!wasBlending) gl->glDisable(GL_BLEND);
    } else {
        gl->glDrawArrays(GL_TRIANGLES, 0, count);
    }
    gl->glBindVertexArray(0);
}

Vec3d GLObjSTL::nearestPointByScan(const Vec3d& q) const {
    if (points.size() < 3 || triangleIndices.empty()) return Vec3d();
    // Each thread keeps the first of its nearest triangles; the nearest of those wins, the
    // earlier one on equal distances, as in one pass over all triangles.
    const std::int64_t triangles = static_cast<std::int64_t>(triangleIndices.size() / 3);
    Vec3d best;
    double bestDistance = std::numeric_limits<double>::infinity();
    std::int64_t bestTriangle = triangles;
#pragma omp parallel if (triangles > 20000)
    {
        Vec3d mine;
        double mineDistance = std::numeric_limits<double>::infinity();
        std::int64_t mineTriangle = triangles;
#pragma omp for schedule(static) nowait
        for (std::int64_t t = 0; t < triangles; ++t) {
            const Vec3d c = alg3D::algorithm::closestPointOnTriangle(
                q, points[triangleIndices[3 * t]], points[triangleIndices[3 * t + 1]],
                points[triangleIndices[3 * t + 2]]);
            const double d = squaredDistance(c, q);
            if (d < mineDistance) {
                mineDistance = d;
                mineTriangle = t;
                mine = c;
            }
        }
#pragma omp critical
        if (mineTriangle < triangles &&
            (mineDistance < bestDistance ||
             (mineDistance == bestDistance && mineTriangle < bestTriangle))) {
            bestDistance = mineDistance;
            bestTriangle = mineTriangle;
            best = mine;
        }
    }
    return best;
}

Vec3d GLObjSTL::nearestPoint(const Vec3d& q) const {
    if (points.size() < 3 || triangleIndices.empty()) return Vec3d();
    const Vec3d* vertices = points.data();
    const std::uint64_t* corners = triangleIndices.data();
    const std::size_t triangles = triangleIndices.size() / 3;
    const SearchIndex* index = searchIndex_.current();
    if (!index) {
        const Vec3d answer = nearestPointByScan(q);
        searchIndex_.start([vertices, corners, triangles](SearchIndex& target) {
            target.proxies.resize(triangles);
            const std::int64_t count = static_cast<std::int64_t>(triangles);
#pragma omp parallel for schedule(static)
            for (std::int64_t t = 0; t < count; ++t) {
                target.proxies[t] =
                    SearchIndex::Proxy(&vertices[corners[3 * t]], &vertices[corners[3 * t + 1]],
                                       &vertices[corners[3 * t + 2]]);
            }
            const SearchIndex::Proxy* first = target.proxies.data();
            target.tree.build(first, first + triangles, &target.stop);
        });
        return answer;
    }
    if (!index->tree.built()) return nearestPointByScan(q);
    const auto hit = index->tree.searchWithin(q, std::numeric_limits<double>::infinity());
    if (!hit) return nearestPointByScan(q);
    // Triangles at the same distance: the first in triangle order wins. Their closest
    // points are recomputed here as the scan computes them.
    const double reach = std::sqrt(hit.squaredDistance) * (1.0 + 1e-9) + 1e-300;
    std::vector<const alg3D::algorithm::KdEntry<SearchIndex::Proxy>*> near;
    index->tree.collectWithin(q, reach, near);
    const SearchIndex::Proxy* first = index->proxies.data();
    Vec3d best = hit.closest;
    double bestDistance = std::numeric_limits<double>::infinity();
    std::size_t bestTriangle = std::numeric_limits<std::size_t>::max();
    for (const auto* entry : near) {
        const SearchIndex::Proxy& t = *entry->element;
        const Vec3d c =
            alg3D::algorithm::closestPointOnTriangle(q, *t.vertex0, *t.vertex1, *t.vertex2);
        const double d = squaredDistance(c, q);
        const std::size_t number = static_cast<std::size_t>(entry->element - first);
        if (d < bestDistance || (d == bestDistance && number < bestTriangle)) {
            bestDistance = d;
            bestTriangle = number;
            best = c;
        }
    }
    return best;
}

bool GLObjSTL::hasSearchTree() const {
    return searchIndex_.isReady();
}

bool GLObjSTL::waitForSearchTree() const {
    return searchIndex_.wait() != nullptr;
}

void GLObjSTL::dropSearchTree() {
    searchIndex_.drop();
}

void GLObjSTL::applyTransform() {
    dropSearchTree();
    const alg3D::Matrix4x4d t = pendingTransform;
    const std::int64_t n = static_cast<std::int64_t>(points.size());
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < n; ++i)
        points[i] = alg3D::matrix::transformPoint(t, points[i]);
    computeObjParam();
    uploadPositionsAndNormals();
    pendingTransform = alg3D::Matrix4x4d::identity();
}
