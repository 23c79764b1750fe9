#include "OpenGL/GLObjPntsXYZ.h"

#include <QOpenGLFunctions_3_3_Core>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <type_traits>

#include "alg3D/algorithm/KdTree.h"

namespace {

using alg3D::Color;
using alg3D::Vec3d;

inline Vec3d coordsOf(const Vec3d& p) {
    return p;
}
inline Vec3d coordsOf(const alg3D::GLPoint& p) {
    return Vec3d(p.x, p.y, p.z);
}
inline Color ownColor(const Vec3d&) {
    return Color();
}
inline Color ownColor(const alg3D::GLPoint& p) {
    return p.color();
}
// (p - q).squaredNorm() to the last bit, written out: inside the parallel regions the
// compiler does not unroll the generic version and round-trips it through the stack.
inline double squaredDistance(const Vec3d& p, const Vec3d& q) {
    const double dx = p.x - q.x, dy = p.y - q.y, dz = p.z - q.z;
    return dx * dx + dy * dy + dz * dz;
}
inline void setCoords(Vec3d& p, const Vec3d& v) {
    p = v;
}
inline void setCoords(alg3D::GLPoint& p, const Vec3d& v) {
    p.x = v.x;
    p.y = v.y;
    p.z = v.z;
}

}  // namespace

EdgeBands::EdgeBands(const SelectionRegion& region) {
    const auto& poly = region.polygon;
    const std::size_t nv = poly.size();
    float lo = std::numeric_limits<float>::infinity(), hi = -lo;
    bool finite = nv > 0 && nv < (std::size_t(1) << 31);
    for (const auto& v : poly) {
        finite = finite && std::isfinite(v.x) && std::isfinite(v.y);
        lo = std::min(lo, v.y);
        hi = std::max(hi, v.y);
    }
    // Small or unusual outlines: one band with every edge.
    count_ =
        finite && nv >= 16 && hi > lo ? static_cast<int>(std::min<std::size_t>(2 * nv, 4096)) : 1;
    y0_ = finite ? static_cast<double>(lo) : 0.0;
    scale_ = count_ > 1 ? count_ / (static_cast<double>(hi) - lo) : 0.0;
    start_.assign(static_cast<std::size_t>(count_) + 1, 0);
    auto span = [&](std::size_t a) {
        const std::size_t b = a == 0 ? nv - 1 : a - 1;
        return std::make_pair(bandOf(std::min(poly[a].y, poly[b].y)),
                              bandOf(std::max(poly[a].y, poly[b].y)));
    };
    for (std::size_t a = 0; a < nv; ++a) {
        const auto [first, last] = span(a);
        for (int k = first; k <= last; ++k)
            ++start_[static_cast<std::size_t>(k) + 1];
    }
    for (int k = 0; k < count_; ++k)
        start_[static_cast<std::size_t>(k) + 1] += start_[static_cast<std::size_t>(k)];
    edges_.resize(start_.back());
    std::vector<std::uint32_t> fill(start_.begin(), start_.end() - 1);
    for (std::size_t a = 0; a < nv; ++a) {
        const auto [first, last] = span(a);
        for (int k = first; k <= last; ++k)
            edges_[fill[static_cast<std::size_t>(k)]++] = static_cast<std::uint32_t>(a);
    }
}

int EdgeBands::bandOf(float y) const {
    if (count_ == 1) return 0;
    const double t = (static_cast<double>(y) - y0_) * scale_;
    if (!(t > 0.0)) return 0;
    if (t >= count_ - 1) return count_ - 1;
    return static_cast<int>(t);
}

std::int64_t drawCountFor(std::uint64_t n) {
    return static_cast<std::int64_t>(std::min<std::uint64_t>(n, kMaxDrawPoints));
}

template <typename P, int colored>
GLObjPntsXYZ<P, colored>::GLObjPntsXYZ() {
    objectType = kPointCloud;
    name = "XYZObject";
    color = Color(0, 0, 255);
}

template <typename P, int colored>
struct GLObjPntsXYZ<P, colored>::SearchIndex {
    alg3D::algorithm::KdTree<P, 3, 0> tree;
    std::atomic<bool> stop{false};
    void cancel() { stop = true; }
};

template <typename P, int colored>
GLObjPntsXYZ<P, colored>::~GLObjPntsXYZ() {
    dropSearchTree();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::setPoints(std::vector<P>&& newPoints) {
    dropSearchTree();
    points = std::move(newPoints);
    newPoints.clear();
    normals.clear();
    codedColors.clear();
    const std::size_t n = points.size();
    displayColors.assign(n, color);
    selectionMask.assign(n, 0);
    selectedCount = 0;
    computeObjParam();  // the upload offset follows from the bounding box
    uploadPositions();
    uploadNormals();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::setNormals(std::vector<alg3D::Vec3f>&& newNormals) {
    normals = std::move(newNormals);
    if (!normals.empty() && normals.size() != points.size()) normals.clear();
    uploadNormals();
    initGL();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::setSelection(const std::vector<unsigned char>& mask) {
    const std::int64_t n = static_cast<std::int64_t>(std::min(mask.size(), points.size()));
    selectionMask.assign(points.size(), 0);
    std::uint64_t count = 0;
#pragma omp parallel for schedule(static) reduction(+ : count)
    for (std::int64_t i = 0; i < n; ++i) {
        selectionMask[i] = mask[i] ? 1 : 0;
        count += selectionMask[i];
    }
    selectedCount = count;
    updateColors();
    writeInfo();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::setCodedColors(std::vector<Color>&& colors) {
    codedColors = std::move(colors);
    if (codedColors.size() != points.size()) codedColors.clear();
    if constexpr (std::is_same_v<P, alg3D::GLPoint>) {
        const std::int64_t n = static_cast<std::int64_t>(codedColors.size());
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < n; ++i) {
            points[i].r = codedColors[i].r;
            points[i].g = codedColors[i].g;
            points[i].b = codedColors[i].b;
        }
    }
    if constexpr (colored == 1) codedColors.clear();  // the points carry them now
    updateColors();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::setPointSize(float size) {
    pointSize = size;
    hasOwnPointSize = 1;
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::computeObjParam() {
    const std::int64_t n = static_cast<std::int64_t>(points.size());
    if (n == 0) std::printf("WARNING: EMPTY CglPntObject::computeObjParam()\n");
    selectionMask.assign(points.size(), 0);
    selectedCount = 0;
    displayColors.resize(points.size());

    Vec3d centroid;
    if (n > 0) {
        Vec3d lo = coordsOf(points[0]), hi = lo;
        for (std::int64_t i = 0; i < n; ++i) {
            const Vec3d p = coordsOf(points[i]);
            for (std::size_t k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], p[k]);
                hi[k] = std::max(hi[k], p[k]);
            }
        }
        bboxMin = lo;
        bboxMax = hi;
        // The centroid is summed relative to the box centre, so that coordinates around
        // 1e6 keep their digits.
        const Vec3d c = (lo + hi) * 0.5;
        double sx = 0, sy = 0, sz = 0;
#pragma omp parallel for schedule(static) reduction(+ : sx, sy, sz)
        for (std::int64_t i = 0; i < n; ++i) {
            const Vec3d p = coordsOf(points[i]);
            sx += p.x - c.x;
            sy += p.y - c.y;
            sz += p.z - c.z;
        }
        const double dn = static_cast<double>(n);
        centroid = Vec3d(c.x + sx / dn, c.y + sy / dn, c.z + sz / dn);
        uploadOffset = c;
    }
    bbox.setBox(bboxMin, bboxMax);

    const Vec3d d = bboxMax - bboxMin;
    char text[512];
    std::snprintf(
        text, sizeof text, "%s: %llu\ndx: %.6f\ndy: %.6f\ndz: %.6f\n%s: %.6f,%.6f,%.6f\n%s: %.6f\n",
        info_key::kPoints, static_cast<unsigned long long>(n), d.x, d.y, d.z, info_key::kCentre,
        centroid.x, centroid.y, centroid.z, info_key::kVolume, d.x * d.y * d.z);
    baseInfo = text;
    writeInfo();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::writeInfo() {
    info = baseInfo + info_key::kSelected + ": " + std::to_string(selectedCount);
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::countSelection() {
    const std::int64_t n = static_cast<std::int64_t>(selectionMask.size());
    std::uint64_t count = 0;
#pragma omp parallel for schedule(static) reduction(+ : count)
    for (std::int64_t i = 0; i < n; ++i)
        count += selectionMask[i] == 1 ? 1 : 0;
    selectedCount = count;
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::updateColors() {
    const std::int64_t n = static_cast<std::int64_t>(points.size());
    if (n == 0) return;
    displayColors.resize(points.size());
    selectionMask.resize(points.size(), 0);
    if constexpr (colored == 1) {
        bool allBlack = true;
        for (std::int64_t i = 0; i < n && allBlack; ++i) {
            const Color c = ownColor(points[i]);
            allBlack = c.r == 0 && c.g == 0 && c.b == 0;
        }
        const Color sel = selectionColor, obj = color;
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < n; ++i) {
            const Color own = ownColor(points[i]);
            if (selectionMask[i] == 1) {
                displayColors[i] = Color(static_cast<unsigned char>((own.r + sel.r) >> 1),
                                         static_cast<unsigned char>((own.g + sel.g) >> 1),
                                         static_cast<unsigned char>((own.b + sel.b) >> 1));
            } else {
                displayColors[i] = allBlack ? obj : own;
            }
        }
    } else {
        const Color sel = selectionColor, obj = color;
        const bool coded = codedColors.size() == points.size();
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < n; ++i)
            displayColors[i] = selectionMask[i] == 1 ? sel : coded ? codedColors[i] : obj;
    }
    uploadColors();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::clearSelection() {
    if (selectedCount == 0) return;  // nothing to clear: no pass over the colours, no upload
    const std::int64_t n = static_cast<std::int64_t>(selectionMask.size());
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < n; ++i) {
        if (selectionMask[i] == 1) selectionMask[i] = 0;
    }
    selectedCount = 0;
    updateColors();
    writeInfo();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::reverseSelection() {
    const std::int64_t n = static_cast<std::int64_t>(selectionMask.size());
    std::uint64_t count = 0;
#pragma omp parallel for schedule(static) reduction(+ : count)
    for (std::int64_t i = 0; i < n; ++i) {
        if (selectionMask[i] == 1) {
            selectionMask[i] = 0;
        } else {
            selectionMask[i] = 1;
            ++count;
        }
    }
    selectedCount = count;
    updateColors();
    writeInfo();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::deleteSelection() {
    if (points.empty()) return;
    dropSearchTree();
    const std::size_t n = points.size();
    const bool withNormals = normals.size() == n;
    // A colour coding stays with the points that remain.
    const bool withCoding = codedColors.size() == n;
    if (!withCoding) codedColors.clear();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i < selectionMask.size() && selectionMask[i] == 1) continue;
        points[kept] = points[i];
        displayColors[kept] = displayColors[i];
        if (withNormals) normals[kept] = normals[i];
        if (withCoding) codedColors[kept] = codedColors[i];
        ++kept;
    }
    points.resize(kept);
    displayColors.resize(kept);
    if (withNormals) normals.resize(kept);
    if (withCoding) codedColors.resize(kept);
    selectionMask.assign(kept, 0);
    selectedCount = 0;
    if (kept == 0) {
        drawCount = 0;
        return;
    }
    computeObjParam();
    uploadPositions();
    uploadNormals();
    updateColors();
    writeInfo();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::select(const SelectionRegion& region, const alg3D::Matrix4x4d& view,
                                      const alg3D::Matrix4x4d& projection, const double viewport[4],
                                      unsigned char value) {
    const auto& poly = region.polygon;
    if (poly.size() < 3) return;
    selectionMask.resize(points.size(), 0);
    const alg3D::Matrix4x4d m = projection * view;
    const double vx = viewport[0], vy = viewport[1], vw = viewport[2], vh = viewport[3];
    const std::int64_t n = static_cast<std::int64_t>(points.size());
    const std::size_t nv = poly.size();
    const EdgeBands bands(region);
    // The three rows of M that the projection needs, as plain numbers for the loop.
    const double m00 = m(0, 0), m01 = m(0, 1), m02 = m(0, 2), m03 = m(0, 3);
    const double m10 = m(1, 0), m11 = m(1, 1), m12 = m(1, 2), m13 = m(1, 3);
    const double m30 = m(3, 0), m31 = m(3, 1), m32 = m(3, 2), m33 = m(3, 3);
    const float minX = region.minX, maxX = region.maxX, minY = region.minY, maxY = region.maxY;
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < n; ++i) {
        const Vec3d p = coordsOf(points[i]);
        const double px = p.x, py = p.y, pz = p.z;
        const double w = m30 * px + m31 * py + m32 * pz + m33;
        const double sx = ((m00 * px + m01 * py + m02 * pz + m03) / w + 1.0) * vw / 2 + vx;
        if (sx < minX || sx > maxX) continue;
        const double sy = ((m10 * px + m11 * py + m12 * pz + m13) / w + 1.0) * vh / 2 + vy;
        if (sy < minY || sy > maxY) continue;
        // Even-odd crossing rule in single precision.
        const float fx = static_cast<float>(sx), fy = static_cast<float>(sy);
        bool inside = false;
        const std::uint32_t *e, *end;
        bands.edgesOf(fy, e, end);
        for (; e != end; ++e) {
            const std::size_t a = *e, b = a == 0 ? nv - 1 : a - 1;
            const float xi = poly[a].x, yi = poly[a].y, xj = poly[b].x, yj = poly[b].y;
            if ((fy < yj) != (fy < yi) && (xj - xi) * (fy - yi) / (yj - yi) > fx - xi) {
                inside = !inside;
            }
        }
        if (inside) selectionMask[i] = value;
    }
    countSelection();
    updateColors();
    writeInfo();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::getSelection(std::vector<Vec3d>& out) const {
    out.clear();
    for (std::size_t i = 0; i < points.size() && i < selectionMask.size(); ++i) {
        if (selectionMask[i] == 1) out.push_back(coordsOf(points[i]));
    }
}

template <typename P, int colored>
Vec3d GLObjPntsXYZ<P, colored>::nearestPointByScan(const Vec3d& q) const {
    if (points.empty()) return Vec3d();
    // Each thread keeps the first of its nearest points; the nearest of those wins, the
    // earlier one on equal distances, as in one pass over all points.
    const std::int64_t n = static_cast<std::int64_t>(points.size());
    double best = std::numeric_limits<double>::infinity();
    std::int64_t bestIndex = n;
#pragma omp parallel if (n > 100000)
    {
        double mine = std::numeric_limits<double>::infinity();
        std::int64_t mineIndex = n;
#pragma omp for schedule(static) nowait
        for (std::int64_t i = 0; i < n; ++i) {
            const double d = squaredDistance(coordsOf(points[i]), q);
            if (d < mine) {
                mine = d;
                mineIndex = i;
            }
        }
#pragma omp critical
        if (mineIndex < n && (mine < best || (mine == best && mineIndex < bestIndex))) {
            best = mine;
            bestIndex = mineIndex;
        }
    }
    return coordsOf(points[bestIndex < n ? bestIndex : 0]);
}

template <typename P, int colored>
Vec3d GLObjPntsXYZ<P, colored>::nearestPoint(const Vec3d& q) const {
    if (points.empty()) return Vec3d();
    const P* first = points.data();
    const std::size_t n = points.size();
    const SearchIndex* index = searchIndex_.current();
    if (!index) {
        const Vec3d answer = nearestPointByScan(q);
        searchIndex_.start([first, n](SearchIndex& target) {
            // A point without finite coordinates has no place in the tree: such a cloud
            // is always scanned.
            const std::int64_t count = static_cast<std::int64_t>(n);
            std::int64_t nonFinite = 0;
#pragma omp parallel for schedule(static) reduction(+ : nonFinite)
            for (std::int64_t i = 0; i < count; ++i) {
                const Vec3d p = coordsOf(first[i]);
                nonFinite += std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) ? 0 : 1;
            }
            if (nonFinite == 0) target.tree.build(first, first + n, &target.stop);
        });
        return answer;
    }
    if (!index->tree.built()) return nearestPointByScan(q);
    const auto& tree = index->tree;
    const auto hit = tree.searchWithin(q, std::numeric_limits<double>::infinity());
    if (!hit) return nearestPointByScan(q);  // no finite distance (a query far out)
    // Every point at the nearest distance, to pick the earliest as the scan does; the
    // distances are recomputed as the scan computes them.
    const double reach = std::sqrt(hit.squaredDistance) * (1.0 + 1e-9) + 1e-300;
    std::vector<const alg3D::algorithm::KdEntry<P>*> near;
    tree.collectWithin(q, reach, near);
    double best = std::numeric_limits<double>::infinity();
    std::size_t bestIndex = std::numeric_limits<std::size_t>::max();
    for (const auto* entry : near) {
        const std::size_t i = static_cast<std::size_t>(entry->element - first);
        const double d = squaredDistance(coordsOf(*entry->element), q);
        if (d < best || (d == best && i < bestIndex)) {
            best = d;
            bestIndex = i;
        }
    }
    if (bestIndex >= n) return nearestPointByScan(q);
    return coordsOf(points[bestIndex]);
}

template <typename P, int colored>
bool GLObjPntsXYZ<P, colored>::hasSearchTree() const {
    return searchIndex_.isReady();
}

template <typename P, int colored>
bool GLObjPntsXYZ<P, colored>::waitForSearchTree() const {
    return searchIndex_.wait() != nullptr;
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::dropSearchTree() {
    searchIndex_.drop();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::applyTransform() {
    dropSearchTree();
    const alg3D::Matrix4x4d t = pendingTransform;
    const std::int64_t n = static_cast<std::int64_t>(points.size());
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < n; ++i) {
        setCoords(points[i], alg3D::matrix::transformPoint(t, coordsOf(points[i])));
    }
    computeObjParam();
    uploadPositions();
    if (!normals.empty()) {
        const std::int64_t nn = static_cast<std::int64_t>(normals.size());
        float r[3][3];
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b)
                r[a][b] = static_cast<float>(t(a, b));
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < nn; ++i) {
            const alg3D::Vec3f v = normals[i];
            normals[i] = alg3D::Vec3f(r[0][0] * v.x + r[0][1] * v.y + r[0][2] * v.z,
                                      r[1][0] * v.x + r[1][1] * v.y + r[1][2] * v.z,
                                      r[2][0] * v.x + r[2][1] * v.y + r[2][2] * v.z);
        }
        uploadNormals();
    }
    updateColors();
    pendingTransform = alg3D::Matrix4x4d::identity();
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::initGL() {
    bbox.initGL();
    if (!ensureVertexArray()) return;
    ensureBuffer(vboPositions);
    ensureBuffer(vboNormals);
    ensureBuffer(vboColors);
    gl->glBindVertexArray(vao);
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboPositions);
    gl->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboNormals);
    gl->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboColors);
    gl->glVertexAttribPointer(2, 3, GL_UNSIGNED_BYTE, GL_TRUE, 3, nullptr);
    if (points.empty()) {
        gl->glDisableVertexAttribArray(0);
    } else {
        gl->glEnableVertexAttribArray(0);
    }
    if (normals.empty()) {
        gl->glDisableVertexAttribArray(1);
    } else {
        gl->glEnableVertexAttribArray(1);
    }
    if (displayColors.empty()) {
        gl->glDisableVertexAttribArray(2);
    } else {
        gl->glEnableVertexAttribArray(2);
    }
    gl->glDisableVertexAttribArray(3);
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    gl->glBindVertexArray(0);
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::uploadPositions() {
    drawCount = drawCountFor(points.size());
    drawStep =
        drawCount > 0 ? static_cast<double>(points.size()) / static_cast<double>(drawCount) : 1.0;
    if (!gl) return;
    ensureBuffer(vboPositions);
    const Vec3d offset = uploadOffset;
    const std::int64_t count = drawCount;
    const double step = drawStep;
    uploadBuffer(vboPositions, count * 12, [&](void* target) {
        float* out = static_cast<float*>(target);
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < count; ++i) {
            const Vec3d p = coordsOf(points[drawSourceIndex(i, step)]);
            out[3 * i] = static_cast<float>(p.x - offset.x);
            out[3 * i + 1] = static_cast<float>(p.y - offset.y);
            out[3 * i + 2] = static_cast<float>(p.z - offset.z);
        }
    });
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::uploadNormals() {
    if (!gl) return;
    ensureBuffer(vboNormals);
    const std::int64_t count = normals.size() == points.size() ? drawCount : 0;
    const double step = drawStep;
    uploadBuffer(vboNormals, count * 12, [&](void* target) {
        float* out = static_cast<float*>(target);
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < count; ++i) {
            const alg3D::Vec3f& v = normals[drawSourceIndex(i, step)];
            out[3 * i] = v.x;
            out[3 * i + 1] = v.y;
            out[3 * i + 2] = v.z;
        }
    });
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::uploadColors() {
    if (!gl) return;
    ensureBuffer(vboColors);
    const std::int64_t count = displayColors.size() == points.size() ? drawCount : 0;
    const double step = drawStep;
    uploadBuffer(vboColors, count * 3, [&](void* target) {
        unsigned char* out = static_cast<unsigned char*>(target);
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < count; ++i) {
            const Color& c = displayColors[drawSourceIndex(i, step)];
            out[3 * i] = c.r;
            out[3 * i + 1] = c.g;
            out[3 * i + 2] = c.b;
        }
    });
}

template <typename P, int colored>
void GLObjPntsXYZ<P, colored>::draw() {
    if (drawCount == 0 || !gl || !vao) return;
    gl->glBindVertexArray(vao);
    if (normals.empty()) {
        gl->glDisableVertexAttribArray(1);
    } else {
        gl->glEnableVertexAttribArray(1);
    }
    gl->glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(drawCount));
    gl->glBindVertexArray(0);
}

template class GLObjPntsXYZ<alg3D::GLPoint, 1>;
template class GLObjPntsXYZ<alg3D::GLPoint, 0>;
template class GLObjPntsXYZ<alg3D::Vec3d, 0>;
