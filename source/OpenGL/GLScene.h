// Renderer of the 3D view: the three shader programs, the background gradient, the axes,
// the ruler, the scene's objects and the camera. All calls happen on the GUI thread with
// the view's context current.
#pragma once

#include <QColor>
#include <memory>
#include <vector>

#include "OpenGL/GLBaseObject.h"
#include "OpenGL/GLCamera.h"

class QOpenGLFunctions_3_3_Core;
class QOpenGLShaderProgram;
class QOpenGLTexture;

class GLScene {
  public:
    GLScene();
    ~GLScene();
    GLScene(const GLScene&) = delete;
    GLScene& operator=(const GLScene&) = delete;

    // Builds programs, texture and buffers. Throws without a valid context.
    void initializeScene(QOpenGLFunctions_3_3_Core* functions);
    // Frees every GL resource (objects included); the context must be current.
    void releaseGL();
    // Draws one frame into the bound frame buffer.
    void paint();
    // While an outline is drawn: the frozen scene image (a texture of the viewport's
    // size) and the outline over it, in window coordinates (rows from the bottom).
    void paintSelection(unsigned int texture, const SelectionRegion& outline);

    GLCamera& camera() { return camera_; }
    const GLCamera& camera() const { return camera_; }

    // Objects, in scene order. The scene owns them.
    void addObject(std::unique_ptr<GLBaseObject> object);
    void clearObjects();
    // Hands an object back to the caller (null when it is not in the scene).
    std::unique_ptr<GLBaseObject> takeObject(GLBaseObject* object);
    const std::vector<std::unique_ptr<GLBaseObject>>& objects() const { return objects_; }

    // Bounding box over the visible objects (placed by their transforms).
    void updateBoundingBox();
    bool isBoundingBoxEmpty() const { return bboxEmpty_; }
    const alg3D::Vec3d& bboxMin() const { return bboxMin_; }
    const alg3D::Vec3d& bboxMax() const { return bboxMax_; }

    void setBackground(const QColor& top, const QColor& bottom);
    QColor colorTop() const { return colorTop_; }
    QColor colorBottom() const { return colorBottom_; }
    int contrastGrey() const { return contrastGrey_; }

    float pointSize() const { return pointSize_; }
    void setPointSize(float size);
    bool showAxes() const { return showAxes_; }
    void setShowAxes(bool show) { showAxes_ = show; }
    bool rulerEnabled() const { return rulerEnabled_; }
    void setRulerEnabled(bool enabled);
    std::vector<alg3D::Vec3d>& rulerPoints() { return rulerPoints_; }
    void setTransformMode(bool on) { transformMode_ = on; }
    bool transformMode() const { return transformMode_; }
    void setEdgeDrawMode(int mode) { edgeDrawMode_ = mode; }
    int edgeDrawMode() const { return edgeDrawMode_; }
    // Whether every program linked (shader failures only print their logs).
    bool programsLinked() const { return linked_; }

  private:
    void drawBackground();
    void drawAxes();
    void drawRuler();
    void drawObjects();
    void setObjectUniforms(const GLBaseObject& object, const alg3D::Matrix4x4d& placement);

    QOpenGLFunctions_3_3_Core* gl_ = nullptr;
    std::unique_ptr<QOpenGLShaderProgram> objectProgram_, backgroundProgram_, textureProgram_;
    std::unique_ptr<QOpenGLTexture> logo_;
    struct {
        int normalMatrix = -1, modelViewMatrix = -1, projectionMatrix = -1, hasSingleColor = -1,
            singleColor = -1, hasNormals = -1, opacity = -1, edgeDrawMode = -1;
    } objectLoc_;
    struct {
        int projectionMatrix = -1, colorBottom = -1, colorTop = -1, resolution = -1;
    } backgroundLoc_;
    struct {
        int projectionMatrix = -1, textureUnit = -1, drawPolygon = -1, selectionColor = -1;
    } textureLoc_;
    unsigned int helperVao_ = 0, helperVbo_ = 0, helperColorVbo_ = 0;
    bool linked_ = false;

    GLCamera camera_;
    QColor colorTop_{78, 93, 108, 255}, colorBottom_{78, 93, 108, 255};
    int contrastGrey_ = 147;
    float pointSize_ = 1.0f;
    bool showAxes_ = true;
    bool rulerEnabled_ = false;
    bool transformMode_ = false;
    int edgeDrawMode_ = 0;
    std::vector<alg3D::Vec3d> rulerPoints_;
    alg3D::Vec3d bboxMin_, bboxMax_;
    bool bboxEmpty_ = true;
    std::vector<std::unique_ptr<GLBaseObject>> objects_;
};
