// Axis-aligned box: the bounding box drawn around every other object, and a primitive
// of its own. Twelve edges drawn as GL lines; the corners are uploaded relative to the
// box centre so that boxes far from the origin draw without single-precision jitter.
#pragma once

#include "OpenGL/GLBaseObject.h"

class GLObjBox : public GLBaseObject {
  public:
    GLObjBox();

    // Minimum and maximum corner in object coordinates; recomputes info and buffers.
    void setBox(const alg3D::Vec3d& minCorner, const alg3D::Vec3d& maxCorner);

    void computeObjParam() override;
    void draw() override;
    void initGL() override;
    alg3D::Vec3d nearestPoint(const alg3D::Vec3d& p) const override;

  private:
    void upload();
    bool hasBox_ = false;
};
