// Quickhull on a half-edge mesh (see ConvexHull.h).
#include "alg3D/approximate/ConvexHull.h"

#include <algorithm>
#include <cmath>

#include "alg3D/matrix/Alg3dException.h"

namespace alg3D {
namespace approximate {

namespace {

Vec3d unitOrZero(const Vec3d& v) {
    const double n = v.norm();
    return n > 0.0 ? v * (1.0 / n) : Vec3d(0.0, 0.0, 0.0);
}

}  // namespace

std::uint32_t ConvexHull::addFace(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    const std::uint32_t f = static_cast<std::uint32_t>(faces_.size());
    const std::uint32_t e = static_cast<std::uint32_t>(edges_.size());
    edges_.push_back(HalfEdge{b, kNone, f, e + 1});
    edges_.push_back(HalfEdge{c, kNone, f, e + 2});
    edges_.push_back(HalfEdge{a, kNone, f, e});
    Face face;
    face.edge = e;
    faces_.push_back(std::move(face));
    setPlane(faces_.back());
    return f;
}

void ConvexHull::faceVertices(const Face& face, std::uint32_t out[3]) const {
    const HalfEdge& e0 = edges_[face.edge];
    const HalfEdge& e1 = edges_[e0.next];
    const HalfEdge& e2 = edges_[e1.next];
    out[0] = e2.end;
    out[1] = e0.end;
    out[2] = e1.end;
}

void ConvexHull::setPlane(Face& face) {
    std::uint32_t v[3];
    faceVertices(face, v);
    const Vec3d& a = point(v[0]);
    const Vec3d& b = point(v[1]);
    const Vec3d& c = point(v[2]);
    face.normal = unitOrZero((b - a).cross(c - a));
    face.offset = face.normal.dot((a + b + c) * (1.0 / 3.0));
}

bool ConvexHull::initialSimplex() {
    // The two extreme points farthest apart.
    double best = -1.0;
    std::uint32_t i0 = extreme_[0], i1 = extreme_[1];
    for (int a = 0; a < 6; ++a) {
        for (int b = a + 1; b < 6; ++b) {
            const double d = (point(extreme_[a]) - point(extreme_[b])).squaredNorm();
            if (d > best) {
                best = d;
                i0 = extreme_[a];
                i1 = extreme_[b];
            }
        }
    }
    if (!(std::sqrt(best) > tolerance_)) return false;  // one point (or NaN)

    // The point farthest from their line.
    const Vec3d p0 = point(i0);
    const Vec3d u = unitOrZero(point(i1) - p0);
    std::uint32_t i2 = kNone;
    best = tolerance_;
    for (std::uint32_t i = 0; i < count_; ++i) {
        const Vec3d d = point(i) - p0;
        const double dist = (d - u.dot(d) * u).norm();
        if (dist > best) {
            best = dist;
            i2 = i;
        }
    }
    if (i2 == kNone) return false;  // all on one line

    // The point farthest from their plane.
    const Vec3d n = unitOrZero((point(i1) - p0).cross(point(i2) - p0));
    std::uint32_t i3 = kNone;
    best = tolerance_;
    for (std::uint32_t i = 0; i < count_; ++i) {
        const double dist = std::abs(n.dot(point(i) - p0));
        if (dist > best) {
            best = dist;
            i3 = i;
        }
    }
    if (i3 == kNone) {
        // Flat input: lift a temporary point off the plane, by the input's extent, so that
        // Quickhull builds a pyramid whose base is the wanted polygon.
        planar_ = true;
        usingCopy_ = true;
        copy_.assign(points_, points_ + count_);
        const Vec3d centre = (point(i0) + point(i1) + point(i2)) * (1.0 / 3.0);
        const double lift = std::max((point(i1) - p0).norm(), 1.0);
        copy_.push_back(centre + lift * n);
        points_ = copy_.data();
        i3 = static_cast<std::uint32_t>(count_);
        count_ += 1;
    }

    const std::uint32_t v[4] = {i0, i1, i2, i3};
    static const int kTriples[4][4] = {{0, 1, 2, 3}, {0, 1, 3, 2}, {0, 2, 3, 1}, {1, 2, 3, 0}};
    for (const auto& t : kTriples) {
        std::uint32_t a = v[t[0]], b = v[t[1]], c = v[t[2]];
        const Vec3d normal = (point(b) - point(a)).cross(point(c) - point(a));
        if (normal.dot(point(v[t[3]]) - point(a)) > 0.0) std::swap(b, c);
        addFace(a, b, c);
    }
    // Twins: the half-edge a→b of one face pairs with b→a of another.
    for (std::uint32_t e = 0; e < edges_.size(); ++e) {
        const std::uint32_t from = edges_[edges_[edges_[e].next].next].end;
        for (std::uint32_t o = 0; o < edges_.size(); ++o) {
            const std::uint32_t oFrom = edges_[edges_[edges_[o].next].next].end;
            if (edges_[o].end == from && oFrom == edges_[e].end) edges_[e].opposite = o;
        }
    }
    return true;
}

void ConvexHull::assignInitialPoints(const std::atomic<bool>* abort) {
    for (std::uint32_t i = 0; i < count_; ++i) {
        if ((i & 0xffffu) == 0 && abort && abort->load(std::memory_order_relaxed)) return;
        const Vec3d& p = point(i);
        std::uint32_t bestFace = kNone;
        double bestDistance = tolerance_;
        for (std::uint32_t f = 0; f < 4; ++f) {
            const double d = faces_[f].distance(p);
            if (d > bestDistance) {
                bestDistance = d;
                bestFace = f;
            }
        }
        if (bestFace == kNone) continue;
        Face& face = faces_[bestFace];
        if (!face.outside) face.outside = std::make_shared<std::vector<std::uint32_t>>();
        face.outside->push_back(i);
        if (face.farthest == kNone || bestDistance > face.farthestDistance) {
            face.farthest = i;
            face.farthestDistance = bestDistance;
        }
    }
}

void ConvexHull::addPoint(std::uint32_t f) {
    const std::uint32_t eye = faces_[f].farthest;
    const Vec3d e = point(eye);

    // Faces seen from the eye: a connected region around f. Marks: 2·visit visible,
    // 2·visit + 1 tested and not visible.
    ++visit_;
    const std::uint32_t seen = 2 * visit_, unseen = 2 * visit_ + 1;
    visitMark_.resize(faces_.size(), 0);
    visible_.clear();
    stack_.clear();
    visitMark_[f] = seen;
    stack_.push_back(f);
    while (!stack_.empty()) {
        const std::uint32_t g = stack_.back();
        stack_.pop_back();
        visible_.push_back(g);
        std::uint32_t h = faces_[g].edge;
        for (int k = 0; k < 3; ++k, h = edges_[h].next) {
            const std::uint32_t nb = edges_[edges_[h].opposite].face;
            if (visitMark_[nb] == seen || visitMark_[nb] == unseen) continue;
            if (faces_[nb].distance(e) > tolerance_) {
                visitMark_[nb] = seen;
                stack_.push_back(nb);
            } else {
                visitMark_[nb] = unseen;
            }
        }
    }

    // The horizon: half-edges of visible faces whose twin's face is not visible, ordered
    // into one closed loop.
    horizonFrom_.resize(count_, kNone);
    horizonMark_.resize(count_, 0);
    std::size_t horizonCount = 0;
    std::uint32_t first = kNone;
    bool closed = true;
    for (const std::uint32_t g : visible_) {
        std::uint32_t h = faces_[g].edge;
        for (int k = 0; k < 3; ++k, h = edges_[h].next) {
            if (visitMark_[edges_[edges_[h].opposite].face] == seen) continue;
            const std::uint32_t from = edges_[edges_[edges_[h].next].next].end;
            if (horizonMark_[from] == visit_) closed = false;  // a pinched horizon
            horizonMark_[from] = visit_;
            horizonFrom_[from] = h;
            if (first == kNone) first = h;
            ++horizonCount;
        }
    }
    horizon_.clear();
    if (closed && first != kNone) {
        std::uint32_t h = first;
        do {
            horizon_.push_back(h);
            const std::uint32_t to = edges_[h].end;
            if (horizonMark_[to] != visit_ || horizon_.size() > horizonCount) {
                closed = false;
                break;
            }
            h = horizonFrom_[to];
        } while (h != first);
        if (horizon_.size() != horizonCount) closed = false;
    }
    if (!closed || horizon_.size() < 3) {
        // Only possible within rounding of the tolerance: take the eye as inside.
        Face& face = faces_[f];
        std::vector<std::uint32_t>& out = *face.outside;
        out.erase(std::remove(out.begin(), out.end(), eye), out.end());
        face.farthest = kNone;
        face.farthestDistance = 0.0;
        for (const std::uint32_t p : out) {
            const double d = face.distance(point(p));
            if (face.farthest == kNone || d > face.farthestDistance) {
                face.farthest = p;
                face.farthestDistance = d;
            }
        }
        if (!out.empty()) pending_.push_back(f);
        return;
    }

    // New faces from the horizon edges to the eye.
    newFaces_.clear();
    for (const std::uint32_t h : horizon_) {
        const std::uint32_t from = edges_[edges_[edges_[h].next].next].end;
        const std::uint32_t to = edges_[h].end;
        const std::uint32_t outer = edges_[h].opposite;
        const std::uint32_t nf = addFace(from, to, eye);
        const std::uint32_t base = faces_[nf].edge;
        edges_[base].opposite = outer;
        edges_[outer].opposite = base;
        newFaces_.push_back(nf);
    }
    const std::size_t k = newFaces_.size();
    for (std::size_t i = 0; i < k; ++i) {
        const std::uint32_t a = faces_[newFaces_[i]].edge;            // from → to
        const std::uint32_t b = faces_[newFaces_[(i + 1) % k]].edge;  // next face
        edges_[a + 1].opposite = b + 2;  // to → eye pairs with eye → to
        edges_[b + 2].opposite = a + 1;
    }

    // Hand the outside points of the replaced faces on to the new faces.
    for (const std::uint32_t g : visible_) {
        faces_[g].valid = -1;
        const std::shared_ptr<std::vector<std::uint32_t>> out = std::move(faces_[g].outside);
        faces_[g].outside.reset();
        if (!out) continue;
        for (const std::uint32_t p : *out) {
            if (p == eye) continue;
            const Vec3d& q = point(p);
            for (const std::uint32_t nf : newFaces_) {
                Face& face = faces_[nf];
                const double d = face.distance(q);
                if (d > tolerance_) {
                    if (!face.outside)
                        face.outside = std::make_shared<std::vector<std::uint32_t>>();
                    face.outside->push_back(p);
                    if (face.farthest == kNone || d > face.farthestDistance) {
                        face.farthest = p;
                        face.farthestDistance = d;
                    }
                    break;
                }
            }
        }
    }
    for (const std::uint32_t nf : newFaces_) {
        if (faces_[nf].outside) pending_.push_back(nf);
    }
}

void ConvexHull::closePlanarHull(std::uint32_t lift) {
    // The faces around the lifting point form a fan over the polygon's rim. Every
    // half-edge that ends at the lifting point is redirected to one rim vertex r (the
    // one with the smallest index), which turns the fan into a triangulation of the
    // polygon's other side. The two faces of the rim edges at r collapse to edges: they
    // go, and the neighbours across their two remaining edges become twins.
    std::vector<std::uint32_t> fan;
    std::uint32_t r = kNone;
    for (std::uint32_t f = 0; f < faces_.size(); ++f) {
        if (faces_[f].valid < 0) continue;
        std::uint32_t v[3];
        faceVertices(faces_[f], v);
        if (v[0] != lift && v[1] != lift && v[2] != lift) continue;
        fan.push_back(f);
        for (const std::uint32_t i : v)
            if (i != lift) r = std::min(r, i);
    }
    for (const std::uint32_t f : fan) {
        std::uint32_t h = faces_[f].edge;
        for (int k = 0; k < 3; ++k, h = edges_[h].next)
            if (edges_[h].end == lift) edges_[h].end = r;
    }
    for (const std::uint32_t f : fan) {
        std::uint32_t v[3];
        faceVertices(faces_[f], v);
        if (v[0] != v[1] && v[1] != v[2] && v[2] != v[0]) {
            setPlane(faces_[f]);
            continue;
        }
        faces_[f].valid = -1;
        std::uint32_t keep[2] = {kNone, kNone};
        int n = 0;
        std::uint32_t h = faces_[f].edge;
        for (int k = 0; k < 3; ++k, h = edges_[h].next) {
            const std::uint32_t from = edges_[edges_[edges_[h].next].next].end;
            if (from != edges_[h].end && n < 2) keep[n++] = edges_[h].opposite;
        }
        if (n == 2) {
            edges_[keep[0]].opposite = keep[1];
            edges_[keep[1]].opposite = keep[0];
        }
    }
}

void ConvexHull::build(const Vec3d* points, std::size_t count, double tolerance,
                       const std::atomic<bool>* abort) {
    const auto aborted = [abort] { return abort && abort->load(std::memory_order_relaxed); };
    faces_.clear();
    edges_.clear();
    copy_.clear();
    usingCopy_ = false;
    planar_ = false;
    scale_ = 0.0;
    visitMark_.clear();
    horizonFrom_.clear();
    horizonMark_.clear();
    visit_ = 0;
    pending_.clear();
    std::fill(extreme_, extreme_ + 6, 0u);
    points_ = callerPoints_ = points;
    count_ = points ? count : 0;
    tolerance_ = tolerance > 0.0 ? tolerance : 0.0;
    if (count_ == 0) return;
    // Indices are 32 bits wide, with one spare for the lifting point and one for kNone.
    if (count_ > 0xfffffffdu) throwAlg3dException(errors::kAllocatingMemory);

    for (std::uint32_t i = 1; i < count_; ++i) {
        const Vec3d& p = point(i);
        for (int axis = 0; axis < 3; ++axis) {
            if (p[axis] > point(extreme_[2 * axis])[axis]) extreme_[2 * axis] = i;
            if (p[axis] < point(extreme_[2 * axis + 1])[axis]) extreme_[2 * axis + 1] = i;
        }
    }
    for (const std::uint32_t e : extreme_) {
        const Vec3d& p = point(e);
        scale_ = std::max({scale_, std::abs(p.x), std::abs(p.y), std::abs(p.z)});
    }
    if (!(tolerance > 0.0)) tolerance_ = 1e-10 * scale_;

    const std::size_t callerCount = count_;
    if (!initialSimplex()) {
        faces_.clear();
        edges_.clear();
        return;
    }
    assignInitialPoints(abort);
    for (std::uint32_t f = 0; f < 4; ++f) {
        if (faces_[f].outside) pending_.push_back(f);
    }
    for (;;) {
        if (aborted()) {
            build(nullptr, 0, tolerance);
            return;
        }
        if (pending_.empty()) break;
        const std::uint32_t f = pending_.back();
        pending_.pop_back();
        const Face& face = faces_[f];
        if (face.valid < 0 || !face.outside || face.outside->empty()) continue;
        addPoint(f);
    }
    if (planar_) {
        closePlanarHull(static_cast<std::uint32_t>(callerCount));
        points_ = callerPoints_;
        count_ = callerCount;
        copy_.clear();
        copy_.shrink_to_fit();
        usingCopy_ = false;
    }
    // The work lists are not needed any more.
    std::vector<std::uint32_t>().swap(visitMark_);
    std::vector<std::uint32_t>().swap(horizonFrom_);
    std::vector<std::uint32_t>().swap(horizonMark_);
}

std::size_t ConvexHull::liveFaceCount() const {
    std::size_t n = 0;
    for (const Face& f : faces_)
        if (f.valid >= 0) ++n;
    return n;
}

std::vector<std::uint32_t> ConvexHull::vertexIndices() const {
    std::vector<char> used(count_, 0);
    for (const Face& f : faces_) {
        if (f.valid < 0) continue;
        std::uint32_t v[3];
        faceVertices(f, v);
        for (const std::uint32_t i : v)
            used[i] = 1;
    }
    std::vector<std::uint32_t> out;
    for (std::uint32_t i = 0; i < count_; ++i)
        if (used[i]) out.push_back(i);
    return out;
}

void ConvexHull::extract(std::vector<Vec3d>& vertices, std::vector<std::uint64_t>& indices,
                         bool flipWinding) const {
    vertices.clear();
    indices.clear();
    std::vector<std::uint64_t> remap(count_, ~std::uint64_t(0));
    for (const std::uint32_t i : vertexIndices()) {
        remap[i] = vertices.size();
        vertices.push_back(point(i));
    }
    indices.reserve(3 * liveFaceCount());
    for (const Face& f : faces_) {
        if (f.valid < 0) continue;
        std::uint32_t v[3];
        faceVertices(f, v);
        if (flipWinding) std::swap(v[1], v[2]);
        for (const std::uint32_t i : v)
            indices.push_back(remap[i]);
    }
}

template <class Point>
void buildConvexHull(ConvexHull& hull, const Point* begin, const Point* end, double tolerance,
                     std::vector<Vec3d>& storage, const std::atomic<bool>* abort) {
    const std::size_t n = (begin && end && end > begin) ? static_cast<std::size_t>(end - begin) : 0;
    storage.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        storage[i] = Vec3d(begin[i].x, begin[i].y, begin[i].z);
    hull.build(storage.data(), n, tolerance, abort);
}

template <>
void buildConvexHull<Vec3d>(ConvexHull& hull, const Vec3d* begin, const Vec3d* end,
                            double tolerance, std::vector<Vec3d>&, const std::atomic<bool>* abort) {
    const std::size_t n = (begin && end && end > begin) ? static_cast<std::size_t>(end - begin) : 0;
    hull.build(begin, n, tolerance, abort);
}

template void buildConvexHull<GLPoint>(ConvexHull&, const GLPoint*, const GLPoint*, double,
                                       std::vector<Vec3d>&, const std::atomic<bool>*);

}  // namespace approximate
}  // namespace alg3D
