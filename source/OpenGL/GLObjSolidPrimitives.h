// The solid primitives: sphere, cylinder, cone and torus. Each takes its parameters from
// a fit in one set operation (stores them, writes the info text, the boxes and the model
// matrix, and uploads its tessellation).
//
// Sphere: the octahedron split four times (2048 triangles), closed. Cylinder: the open
// mantle from the bottom point over the height along the axis, with its rims and axis
// line; the closest point is on that finite mantle. Cone: the mantle between the
// bottom point and bottom + h·axis, radius r + s·tan(psi) at the signed distance s from
// the centre (the axis point of the fit) along the axis; closest point on that finite
// mantle. Torus: closed tube of radius r2 around the spine circle r1.
#pragma once

#include <cmath>

#include "OpenGL/GLObjPrimitive.h"

class GLObjSphere : public GLObjPrimitive {
  public:
    GLObjSphere();
    void setSphere(const alg3D::Vec3d& center, double radius);
    const alg3D::Vec3d& center() const { return center_; }
    double radius() const { return radius_; }

  protected:
    std::string describe() const override;
    alg3D::Vec3d frameOrigin() const override { return center_; }
    primitive_mesh::PrimitiveMesh tessellate() const override;
    alg3D::Vec3d nearestLocal(const alg3D::Vec3d& q) const override;
    void transformParameters(const alg3D::Matrix4x4d& t) override;
    void sceneBounds(alg3D::Vec3d& lo, alg3D::Vec3d& hi) const override;

  private:
    alg3D::Vec3d center_;
    double radius_ = 1.0;
};

class GLObjCylinder : public GLObjPrimitive {
  public:
    GLObjCylinder();
    void setCylinder(const alg3D::Vec3d& center, const alg3D::Vec3d& axis, double radius,
                     const alg3D::Vec3d& bottom, double height);
    const alg3D::Vec3d& center() const { return center_; }
    const alg3D::Vec3d& axis() const { return axis_; }
    const alg3D::Vec3d& bottom() const { return bottom_; }
    double radius() const { return radius_; }
    double height() const { return height_; }

  protected:
    std::string describe() const override;
    alg3D::Vec3d frameOrigin() const override { return bottom_; }
    alg3D::Vec3d frameAxis() const override { return axis_; }
    primitive_mesh::PrimitiveMesh tessellate() const override;
    alg3D::Vec3d nearestLocal(const alg3D::Vec3d& q) const override;
    void transformParameters(const alg3D::Matrix4x4d& t) override;
    void sceneBounds(alg3D::Vec3d& lo, alg3D::Vec3d& hi) const override;

  private:
    alg3D::Vec3d center_, axis_{0, 0, 1}, bottom_;
    double radius_ = 1.0, height_ = 1.0;
};

class GLObjCone : public GLObjPrimitive {
  public:
    GLObjCone();
    void setCone(double psi, double radius, const alg3D::Vec3d& center, const alg3D::Vec3d& axis,
                 const alg3D::Vec3d& bottom, double height);
    const alg3D::Vec3d& center() const { return center_; }
    const alg3D::Vec3d& axis() const { return axis_; }
    const alg3D::Vec3d& bottom() const { return bottom_; }
    double height() const { return height_; }
    double psi() const { return psi_; }
    // Radius at the centre, across the axis.
    double radius() const { return radius_; }
    // Radius at the bottom and at the top (signed: negative beyond the apex).
    double bottomRadius() const;
    double topRadius() const { return bottomRadius() + height_ * std::tan(psi_); }

  protected:
    std::string describe() const override;
    alg3D::Vec3d frameOrigin() const override { return bottom_; }
    alg3D::Vec3d frameAxis() const override { return axis_; }
    primitive_mesh::PrimitiveMesh tessellate() const override;
    alg3D::Vec3d nearestLocal(const alg3D::Vec3d& q) const override;
    void transformParameters(const alg3D::Matrix4x4d& t) override;
    void sceneBounds(alg3D::Vec3d& lo, alg3D::Vec3d& hi) const override;

  private:
    double psi_ = 0.0, radius_ = 1.0;
    alg3D::Vec3d center_, axis_{0, 0, 1}, bottom_;
    double height_ = 1.0;
};

class GLObjTorus : public GLObjPrimitive {
  public:
    GLObjTorus();
    void setTorus(const alg3D::Vec3d& center, const alg3D::Vec3d& axis, double r1, double r2);
    const alg3D::Vec3d& center() const { return center_; }
    const alg3D::Vec3d& axis() const { return axis_; }
    double r1() const { return r1_; }
    double r2() const { return r2_; }

  protected:
    std::string describe() const override;
    alg3D::Vec3d frameOrigin() const override { return center_; }
    alg3D::Vec3d frameAxis() const override { return axis_; }
    primitive_mesh::PrimitiveMesh tessellate() const override;
    alg3D::Vec3d nearestLocal(const alg3D::Vec3d& q) const override;
    void transformParameters(const alg3D::Matrix4x4d& t) override;
    void sceneBounds(alg3D::Vec3d& lo, alg3D::Vec3d& hi) const override;

  private:
    alg3D::Vec3d center_, axis_{0, 0, 1};
    double r1_ = 1.0, r2_ = 0.25;
};
