// Base of everything the 3D view draws: name, info text, visibility and selection bits,
// colour and opacity, bounding box, placement and pending transform, and the names of
// the object's vertex array and buffers. Objects are created, drawn and destroyed on the
// GUI thread; GL calls go through the 3.3 core function table of the context that was
// current at construction (none when there was none: the object then keeps its data
// and skips every GL call, which is what the tests without a window use).
#pragma once

#include <QMetaType>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

class QOpenGLFunctions_3_3_Core;
class GLObjBox;

// A 2D outline in window coordinates (rows counted from the bottom) with its bounds.
struct SelectionRegion {
    struct Point {
        float x, y;
    };
    std::vector<Point> polygon;
    float minX = 0, minY = 0, maxX = 0, maxY = 0;

    // Bounds from the polygon.
    void updateBounds();
};

// Keys of the "key: value" lines of the objects' info texts. The object list shows each
// key in the window's language (context "ObjectInfo"); the marks let lupdate find them.
namespace info_key {
inline constexpr const char* kPoints = QT_TRANSLATE_NOOP("ObjectInfo", "points");
inline constexpr const char* kTriangles = QT_TRANSLATE_NOOP("ObjectInfo", "triangles");
inline constexpr const char* kCentre = QT_TRANSLATE_NOOP("ObjectInfo", "ctr");
inline constexpr const char* kVolume = QT_TRANSLATE_NOOP("ObjectInfo", "volume");
inline constexpr const char* kSelected = QT_TRANSLATE_NOOP("ObjectInfo", "selected");
}  // namespace info_key

class GLBaseObject {
  public:
    enum Flags : unsigned char { kVisible = 2, kSelected = 4 };
    enum ObjectType : int { kBase = 0, kPrimitive = 1, kPointCloud = 2, kMesh = 3 };

    GLBaseObject();
    virtual ~GLBaseObject();
    GLBaseObject(const GLBaseObject&) = delete;
    GLBaseObject& operator=(const GLBaseObject&) = delete;

    virtual bool isEmpty() const { return false; }
    void setColor(unsigned char r, unsigned char g, unsigned char b) {
        setColor(alg3D::Color(r, g, b));
    }
    virtual void setColor(const alg3D::Color& c);
    virtual void setAlpha(unsigned char a) { alpha = a; }
    virtual void updateColors() {}
    virtual void setPointSize(float) {}
    virtual void computeObjParam() {}
    virtual void clearSelection() {}
    virtual void deleteSelection() {}
    virtual void reverseSelection() {}
    virtual void draw() = 0;
    virtual void select(const SelectionRegion& region, const alg3D::Matrix4x4d& view,
                        const alg3D::Matrix4x4d& projection, const double viewport[4],
                        unsigned char value);
    virtual void getSelection(std::vector<alg3D::Vec3d>& out) const;
    virtual bool hasNormals() const { return true; }
    virtual GLObjBox* boundingBox() { return nullptr; }
    virtual void initGL() {}
    virtual alg3D::Vec3d nearestPoint(const alg3D::Vec3d& p) const;
    virtual void applyTransform() {}

    const std::string& getName() const { return name; }
    void setName(const std::string& n) { name = n; }
    // "key: value" lines (keys from info_key, or the primitive's parameter names).
    const std::string& getInfo() const { return info; }
    int getObjectType() const { return objectType; }
    unsigned char getFlags() const { return flags; }
    bool isVisible() const { return (flags & kVisible) != 0; }
    bool isSelected() const { return (flags & kSelected) != 0; }
    // Hiding clears both bits, showing sets both; only a visible object can be selected.
    void setVisible(bool visible);
    void setSelected(bool selected);
    const alg3D::Color& getColor() const { return color; }
    unsigned char getAlpha() const { return alpha; }
    const alg3D::Matrix4x4d& getModelMatrix() const { return modelMatrix; }
    // Placement of the object coordinates (bounding box, nearestPoint) before the pending
    // transform: the model matrix, except for the fitted primitives, whose parameters,
    // box and closest points are already in scene coordinates (their model matrix only
    // places their tessellation).
    alg3D::Matrix4x4d objectPlacement() const {
        return inSceneCoordinates ? alg3D::Matrix4x4d::identity() : modelMatrix;
    }
    void setModelMatrix(const alg3D::Matrix4x4d& m) { modelMatrix = m; }
    const alg3D::Matrix4x4d& getPendingTransform() const { return pendingTransform; }
    void setPendingTransform(const alg3D::Matrix4x4d& m) { pendingTransform = m; }
    std::uint64_t getSelectedCount() const { return selectedCount; }
    const alg3D::Vec3d& getBBoxMin() const { return bboxMin; }
    const alg3D::Vec3d& getBBoxMax() const { return bboxMax; }
    // Offset (double precision) added to the uploaded single-precision vertices: objects
    // far from the origin upload coordinates relative to it.
    const alg3D::Vec3d& getUploadOffset() const { return uploadOffset; }
    // Whether draw() should blend (opacity below 255).
    bool isBlended() const { return alpha < 255; }
    QOpenGLFunctions_3_3_Core* glFunctions() const { return gl; }
    unsigned int positionBuffer() const { return vboPositions; }

  protected:
    unsigned char flags = kVisible;
    int objectType = kBase;
    std::string info = "no object info";
    std::string name = "no object name";
    std::uint64_t selectedCount = 0;
    alg3D::Vec3d bboxMin, bboxMax;
    alg3D::Matrix4x4d modelMatrix = alg3D::Matrix4x4d::identity();
    alg3D::Matrix4x4d pendingTransform = alg3D::Matrix4x4d::identity();
    alg3D::Color selectionColor{255, 0, 0};
    alg3D::Color color{0, 0, 255};
    unsigned char alpha = 255;
    QOpenGLFunctions_3_3_Core* gl = nullptr;
    unsigned int vao = 0;
    unsigned int vboPositions = 0, vboNormals = 0, vboColors = 0;
    alg3D::Vec3d uploadOffset;
    // The box and the closest points are in scene coordinates (see objectPlacement).
    bool inSceneCoordinates = false;

    // Creates the vertex array when missing; false without a GL function table.
    bool ensureVertexArray();
    // Creates a buffer name when missing.
    void ensureBuffer(unsigned int& buffer);
    // Allocates `buffer` with `bytes` (static draw) and fills it through a write-only
    // mapping with `fill(pointer)`; nothing is filled for 0 bytes.
    void uploadBuffer(unsigned int buffer, std::int64_t bytes,
                      const std::function<void(void*)>& fill);
};

Q_DECLARE_METATYPE(GLBaseObject*)
