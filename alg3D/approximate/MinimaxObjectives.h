// Objectives of the minimax iterations that are not fit objects of their own: the
// minimax line (residual = distance from the line, so that the largest residual is the
// radius of the thinnest enclosing cylinder about it) and the inscribing variants of the
// sphere and cylinder (residual = 2R − distance from the centre or axis with the radius R
// held, so that lowering the largest residual pushes the centre or axis away from the
// nearest points; with R at least the enclosing radius the residuals stay positive).
// Each has the operations the Chebyshev iteration uses (ChebyshevScheme-inl.h): free
// parameter count, buildJacobian, computeResiduals, applyStep. The line and the cylinder
// carry the gauge row of FitObjLine3D (component along the direction of point − centroid).
// Cost: linear in the points per pass.
#pragma once

#include <cstddef>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace approximate {

// Point x, y, z and two frame angles; residual of p: its distance from the axis
// (offset = 0) or 2R − that distance (offset = 2R, sign = −1).
class AxisObjective {
  public:
    Vec3d point;
    RotationFrame frame;
    Vec3d centroid;
    double offset = 0.0;
    double sign = 1.0;
    ParamState state[5] = {Given, Given, Given, Given, Given};

    void setAxis(const Vec3d& p, const Vec3d& direction) {
        point = p;
        frame.setDirection(direction);
    }
    Vec3d direction() const { return frame.direction(); }
    double distance(const Vec3d& p) const;
    std::size_t numFreeParameters() const;
    void buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r, bool) const;
    void computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool) const;
    void applyStep(const DMatrix& delta);
};

// Centre x, y, z; residual of p: 2R − ‖p − c‖ with R = heldRadius.
class InscribedSphereObjective {
  public:
    Vec3d center;
    double heldRadius = 0.0;
    ParamState state[3] = {Given, Given, Given};

    std::size_t numFreeParameters() const;
    void buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r, bool) const;
    void computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool) const;
    void applyStep(const DMatrix& delta);
};

}  // namespace approximate
}  // namespace alg3D
