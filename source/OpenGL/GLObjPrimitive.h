// Common part of the fitted primitives (line, plane, circle, ellipse, superellipse,
// sphere, cylinder, cone, torus): parameters in double precision in scene coordinates,
// a tessellation in the shape's local frame (axis or normal along +z) that the model
// matrix places, the scene-aligned bounding box `bbox` and a second box around the
// shape in its local frame, the closest point of the surface, and the pending
// transform baked into the parameters.
//
// The model matrix is the rotation that turns +z onto the shape's direction d (about
// (d.y, -d.x, 0) by -acos(d.z); a half turn about x for d = -z) followed by the
// translation to the shape's origin (line: its start, cylinder and cone: the bottom
// point, the others: the centre). It is rigid: the tessellation carries the sizes, so
// the renderer's normal matrix stays a rotation. The bounding box and nearestPoint are
// in scene coordinates (objectPlacement() is the identity for primitives).
//
// Drawing: surfaces blended by the renderer when alpha < 255, closed and tube-like
// ones in two passes (front faces culled, then back faces) so that the far side shows
// through the near side; points and lines unlit in the object colour.
#pragma once

#include <string>

#include "OpenGL/GLBaseObject.h"
#include "OpenGL/GLObjBox.h"
#include "OpenGL/PrimitiveMesh.h"

class GLObjPrimitive : public GLBaseObject {
  public:
    GLObjPrimitive();

    void computeObjParam() override;
    void draw() override;
    GLObjBox* boundingBox() override { return &bbox_; }
    void initGL() override;
    alg3D::Vec3d nearestPoint(const alg3D::Vec3d& q) const override;
    void applyTransform() override;

    // The tessellation in the local frame, as uploaded.
    const primitive_mesh::PrimitiveMesh& mesh() const { return mesh_; }
    // The box around the shape in its local frame, placed by the model matrix.
    const GLObjBox& localBox() const { return localBox_; }

    // Rotation turning +z onto the unit direction d (see the top of this file).
    static alg3D::Matrix4x4d rotationOnto(const alg3D::Vec3d& d);

  protected:
    // The info text of the parameters.
    virtual std::string describe() const = 0;
    // Origin and direction (+z) of the local frame.
    virtual alg3D::Vec3d frameOrigin() const = 0;
    virtual alg3D::Vec3d frameAxis() const { return alg3D::Vec3d(0, 0, 1); }
    virtual primitive_mesh::PrimitiveMesh tessellate() const = 0;
    // Closest point of the shape to a point, both in the local frame.
    virtual alg3D::Vec3d nearestLocal(const alg3D::Vec3d& q) const = 0;
    // Moves the defining points and turns the directions by a rigid transform.
    virtual void transformParameters(const alg3D::Matrix4x4d& t) = 0;
    // Extent in the local frame; the tessellation's bounds unless overridden.
    virtual void localBounds(alg3D::Vec3d& lo, alg3D::Vec3d& hi) const;
    // Scene-aligned box; the placed tessellation's bounds unless overridden.
    virtual void sceneBounds(alg3D::Vec3d& lo, alg3D::Vec3d& hi) const;

    // Recomputes everything from the parameters and uploads it.
    void rebuild();

    static alg3D::Vec3d movedPoint(const alg3D::Matrix4x4d& t, const alg3D::Vec3d& p);
    static alg3D::Vec3d turnedDirection(const alg3D::Matrix4x4d& t, const alg3D::Vec3d& d);
    // Scene-aligned box of a disc (centre, unit normal, radius) widened by `grow` in
    // every direction, merged into [lo, hi] when `merge` is set.
    static void discBounds(const alg3D::Vec3d& center, const alg3D::Vec3d& normal, double radius,
                           double grow, bool merge, alg3D::Vec3d& lo, alg3D::Vec3d& hi);

  private:
    void upload();
    void setShaded(bool shaded);

    GLObjBox bbox_;
    GLObjBox localBox_;
    primitive_mesh::PrimitiveMesh mesh_;
    bool wideLines_ = false;  // line widths above 1 are allowed by the context
};
