// Triangle mesh as read from an STL file: three corners per triangle, drawn flat-shaded
// in the object colour. A first, plain form of the mesh object: the corners are kept as
// read (no merged vertices yet) and uploaded relative to the box centre with one face
// normal per corner.
#pragma once

#include <vector>

#include "OpenGL/GLBaseObject.h"
#include "OpenGL/GLObjBox.h"

class GLObjSTL : public GLBaseObject {
  public:
    GLObjSTL();

    // Takes three corners per triangle (a trailing incomplete triangle is dropped).
    void setTriangles(std::vector<alg3D::Vec3d>&& corners);
    const std::vector<alg3D::Vec3d>& getCorners() const { return corners_; }
    std::size_t triangleCount() const { return corners_.size() / 3; }

    bool isEmpty() const override { return corners_.empty(); }
    void computeObjParam() override;
    void draw() override;
    GLObjBox* boundingBox() override { return &bbox_; }
    void initGL() override;
    alg3D::Vec3d nearestPoint(const alg3D::Vec3d& p) const override;
    void applyTransform() override;

  private:
    void upload();

    GLObjBox bbox_;
    std::vector<alg3D::Vec3d> corners_;
};
