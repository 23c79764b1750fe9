// Point cloud scene object. Owns the points (Vec3d, or GLPoint with colours), optional
// normals, the per-point selection mask and display colours, keeps the info text up to
// date and feeds the GL buffers from which the view draws the cloud as GL points.
//
// Variants: <GLPoint, 1> shows each point's own colour (the object colour when every
// point is black); <GLPoint, 0> and <Vec3d, 0> show the object colour.
// GPU upload: at most 4,000,000 points, entry i taking point floor(i * n / drawCount), as
// single-precision offsets from the bounding-box centre (uploadOffset, double), so that
// clouds in survey or machine coordinates draw without jitter.
// Cost: every per-point pass is one parallel loop over the points. nearestPoint answers
// from a k-d tree of the points (the library's, about 75 bytes per point): the first
// query is answered by a scan and starts the build on a worker thread, later queries use
// the tree once it is there; every change of the points drops it. Either way the answer
// is the scan's, the earlier point winning on equal distances.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "OpenGL/BackgroundIndex.h"
#include "OpenGL/GLBaseObject.h"
#include "OpenGL/GLObjBox.h"

// The GPU holds at most this many points of a cloud.
inline constexpr std::int64_t kMaxDrawPoints = 4000000;

// Number of uploaded points for a cloud of n points, and the point behind entry i.
std::int64_t drawCountFor(std::uint64_t n);
inline std::uint64_t drawSourceIndex(std::int64_t i, double drawStep) {
    return static_cast<std::uint64_t>(static_cast<double>(i) * drawStep);
}

// The edges of a selection outline by horizontal band: band k holds every edge whose row
// range [min y, max y] meets the band, so a point tests only the edges of its own band.
// Every edge that a row crosses lies in the band of that row (the band of a row is a
// non-decreasing function of it), so the even-odd count over a band's edges is the count
// over all edges.
class EdgeBands {
  public:
    explicit EdgeBands(const SelectionRegion& region);
    // Numbers of the edges of the band of row y, [first, last) (edge a runs from vertex
    // a - 1, or the last vertex, to a).
    void edgesOf(float y, const std::uint32_t*& first, const std::uint32_t*& last) const {
        const std::size_t band = static_cast<std::size_t>(bandOf(y));
        first = edges_.data() + start_[band];
        last = edges_.data() + start_[band + 1];
    }

  private:
    int bandOf(float y) const;

    int count_ = 1;
    double y0_ = 0.0, scale_ = 0.0;
    std::vector<std::uint32_t> start_, edges_;
};

template <typename P, int colored>
class GLObjPntsXYZ : public GLBaseObject {
  public:
    GLObjPntsXYZ();
    ~GLObjPntsXYZ() override;

    void setPoints(std::vector<P>&& newPoints);
    void setSelection(const std::vector<unsigned char>& mask);
    // A colour coding (one colour per point, e.g. of distances): a cloud with colours of
    // its own takes them as its points' colours; a cloud shown in the object colour shows
    // them instead of it until its points change. Selected points keep the selection
    // colour. An array of another length ends the coding.
    void setCodedColors(std::vector<alg3D::Color>&& colors);
    const std::vector<alg3D::Color>& getCodedColors() const { return codedColors; }
    // Replaces the normals (empty, or one per point) and uploads them.
    void setNormals(std::vector<alg3D::Vec3f>&& newNormals);

    const std::vector<P>& getPoints() const { return points; }
    const std::vector<alg3D::Vec3f>& getNormals() const { return normals; }
    const std::vector<unsigned char>& getSelectionMask() const { return selectionMask; }
    const std::vector<alg3D::Color>& getDisplayColors() const { return displayColors; }
    std::int64_t getDrawCount() const { return drawCount; }
    double getDrawStep() const { return drawStep; }
    float getPointSize() const { return pointSize; }
    bool getHasOwnPointSize() const { return hasOwnPointSize != 0; }

    bool isEmpty() const override { return points.empty(); }
    void updateColors() override;
    void setPointSize(float size) override;
    void computeObjParam() override;
    void clearSelection() override;
    void deleteSelection() override;
    void reverseSelection() override;
    void draw() override;
    void select(const SelectionRegion& region, const alg3D::Matrix4x4d& view,
                const alg3D::Matrix4x4d& projection, const double viewport[4],
                unsigned char value) override;
    void getSelection(std::vector<alg3D::Vec3d>& out) const override;
    bool hasNormals() const override { return !normals.empty(); }
    GLObjBox* boundingBox() override { return &bbox; }
    void initGL() override;
    alg3D::Vec3d nearestPoint(const alg3D::Vec3d& q) const override;
    void applyTransform() override;

    // Whether the k-d tree of nearestPoint is ready (asked for by the first query).
    bool hasSearchTree() const;
    // Waits for a build of the tree that runs; whether the tree is ready then.
    bool waitForSearchTree() const;
    // The nearest stored point by a scan over all points (what the tree must answer).
    alg3D::Vec3d nearestPointByScan(const alg3D::Vec3d& q) const;

  private:
    void dropSearchTree();

    void uploadPositions();
    void uploadNormals();
    void uploadColors();
    void writeInfo();
    void countSelection();

    std::int64_t drawCount = 0;
    double drawStep = 1.0;
    float pointSize = 1.0f;
    int hasOwnPointSize = 0;
    std::string baseInfo;
    std::vector<unsigned char> selectionMask;
    GLObjBox bbox;
    std::vector<P> points;
    std::vector<alg3D::Vec3f> normals;
    std::vector<alg3D::Color> displayColors;
    std::vector<alg3D::Color> codedColors;  // empty, or one per point (colored == 0)

    // Index of `points` for nearestPoint; it points into `points`, so every change of
    // the points drops it.
    struct SearchIndex;
    mutable BackgroundIndex<SearchIndex> searchIndex_;
};

using GLObjPntsColored = GLObjPntsXYZ<alg3D::GLPoint, 1>;
using GLObjPntsUniform = GLObjPntsXYZ<alg3D::GLPoint, 0>;
using GLObjPnts = GLObjPntsXYZ<alg3D::Vec3d, 0>;

// Calls `f(cloud)` with `object` as the cloud kind it is (plain, coloured or uniform);
// false, without a call, for any other object.
template <typename F>
bool withCloud(GLBaseObject* object, F&& f) {
    if (auto* c = dynamic_cast<GLObjPnts*>(object)) return f(*c), true;
    if (auto* c = dynamic_cast<GLObjPntsColored*>(object)) return f(*c), true;
    if (auto* c = dynamic_cast<GLObjPntsUniform*>(object)) return f(*c), true;
    return false;
}

extern template class GLObjPntsXYZ<alg3D::GLPoint, 1>;
extern template class GLObjPntsXYZ<alg3D::GLPoint, 0>;
extern template class GLObjPntsXYZ<alg3D::Vec3d, 0>;
