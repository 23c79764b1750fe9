// The line and the planar primitives: plane, circle, ellipse and superellipse. Each
// takes its parameters from a fit in one set operation (stores them, writes the info
// text, the boxes and the model matrix, and uploads its tessellation).
//
// Line: the segment from `point` to point + length·direction (its closest point is on
// the segment). Plane: a square patch of side `size` around the centre (closest point:
// the projection onto the infinite plane). Circle: a filled disc. Ellipse and
// superellipse: filled areas whose closest point is the projection when it falls
// inside, else the closest outline point; their a axis is turned by the angle k from
// the first axis of the local frame.
#pragma once

#include "OpenGL/GLObjPrimitive.h"

class GLObjLine : public GLObjPrimitive {
  public:
    GLObjLine();
    void setLine(const alg3D::Vec3d& point, const alg3D::Vec3d& direction, double length);
    const alg3D::Vec3d& point() const { return point_; }
    const alg3D::Vec3d& direction() const { return direction_; }
    double length() const { return length_; }

  protected:
    std::string describe() const override;
    alg3D::Vec3d frameOrigin() const override { return point_; }
    alg3D::Vec3d frameAxis() const override { return direction_; }
    primitive_mesh::PrimitiveMesh tessellate() const override;
    alg3D::Vec3d nearestLocal(const alg3D::Vec3d& q) const override;
    void transformParameters(const alg3D::Matrix4x4d& t) override;
    void localBounds(alg3D::Vec3d& lo, alg3D::Vec3d& hi) const override;

  private:
    alg3D::Vec3d point_, direction_{0, 0, 1};
    double length_ = 1.0;
};

class GLObjPlane : public GLObjPrimitive {
  public:
    GLObjPlane();
    void setPlane(const alg3D::Vec3d& center, const alg3D::Vec3d& normal, double size);
    const alg3D::Vec3d& center() const { return center_; }
    const alg3D::Vec3d& normal() const { return normal_; }
    double size() const { return size_; }

  protected:
    std::string describe() const override;
    alg3D::Vec3d frameOrigin() const override { return center_; }
    alg3D::Vec3d frameAxis() const override { return normal_; }
    primitive_mesh::PrimitiveMesh tessellate() const override;
    alg3D::Vec3d nearestLocal(const alg3D::Vec3d& q) const override;
    void transformParameters(const alg3D::Matrix4x4d& t) override;

  private:
    alg3D::Vec3d center_, normal_{0, 0, 1};
    double size_ = 1.0;
};

class GLObjCircle : public GLObjPrimitive {
  public:
    GLObjCircle();
    void setCircle(const alg3D::Vec3d& center, const alg3D::Vec3d& normal, double radius);
    const alg3D::Vec3d& center() const { return center_; }
    const alg3D::Vec3d& normal() const { return normal_; }
    double radius() const { return radius_; }

  protected:
    std::string describe() const override;
    alg3D::Vec3d frameOrigin() const override { return center_; }
    alg3D::Vec3d frameAxis() const override { return normal_; }
    primitive_mesh::PrimitiveMesh tessellate() const override;
    alg3D::Vec3d nearestLocal(const alg3D::Vec3d& q) const override;
    void transformParameters(const alg3D::Matrix4x4d& t) override;
    void sceneBounds(alg3D::Vec3d& lo, alg3D::Vec3d& hi) const override;

  private:
    alg3D::Vec3d center_, normal_{0, 0, 1};
    double radius_ = 1.0;
};

class GLObjEllipse : public GLObjPrimitive {
  public:
    GLObjEllipse();
    void setEllipse(const alg3D::Vec3d& center, const alg3D::Vec3d& normal, double a, double b,
                    double angle);
    const alg3D::Vec3d& center() const { return center_; }
    const alg3D::Vec3d& normal() const { return normal_; }
    double a() const { return a_; }
    double b() const { return b_; }
    double angle() const { return angle_; }

  protected:
    GLObjEllipse(const char* name);
    std::string describe() const override;
    alg3D::Vec3d frameOrigin() const override { return center_; }
    alg3D::Vec3d frameAxis() const override { return normal_; }
    primitive_mesh::PrimitiveMesh tessellate() const override;
    alg3D::Vec3d nearestLocal(const alg3D::Vec3d& q) const override;
    void transformParameters(const alg3D::Matrix4x4d& t) override;
    void sceneBounds(alg3D::Vec3d& lo, alg3D::Vec3d& hi) const override;
    // Largest alpha·x + beta·y over the outline (x along a, y along b).
    virtual double support(double alpha, double beta) const;

    alg3D::Vec3d center_, normal_{0, 0, 1};
    double a_ = 1.0, b_ = 1.0, angle_ = 0.0;
};

class GLObjSuperEllipse : public GLObjEllipse {
  public:
    GLObjSuperEllipse();
    // eps: the exponent of |x/a|^(2/eps) + |y/b|^(2/eps) = 1 (1 is the ellipse).
    void setSuperEllipse(const alg3D::Vec3d& center, const alg3D::Vec3d& normal, double a, double b,
                         double angle, double eps);
    double eps() const { return eps_; }

  protected:
    std::string describe() const override;
    primitive_mesh::PrimitiveMesh tessellate() const override;
    alg3D::Vec3d nearestLocal(const alg3D::Vec3d& q) const override;
    double support(double alpha, double beta) const override;

  private:
    // eps within the fits' range [0.005, 10].
    double drawnEps() const;

    double eps_ = 1.0;
};
