// Distance from a point of the plane to an ellipse or a superellipse in the curve's
// own frame (centre at the origin, semi-axis a along x, b along y), and the
// derivatives of that unsigned distance with respect to the curve's parameters.
// The ellipse and superellipse fits evaluate one of these per point and iteration.
//
// closestPointOnEllipse: robust bisection on the root of the Lagrange condition in
//   the first quadrant (halving the bracket to the limit of double precision), with
//   the axis points, the circle and the inner points of the major axis handled
//   exactly. Cost: at most 1074 halvings, typically 60 to 120.
// closestPointOnSuperEllipse: the curve (x²/a²)^(1/k) + (y²/b²)^(1/k) = 1. The
//   first-quadrant arc is split at (a, b)·2^(-k/2) into two graphs, one over x and
//   one over y, whose slopes stay moderate for every k. Each graph is sampled
//   (uniform in the coordinate and uniform in (x/a)^(2/k), which resolves the flat
//   sides of small k and the spikes of large k), and every sampled local minimum of
//   the squared distance is polished by a safeguarded Newton iteration (bisection
//   fallback inside the bracket) to full precision. Shape factors outside
//   [0.005, 10] are clamped into it. Cost: about 40 power evaluations.
// Semi-axes may come in any order; a semi-axis of zero (or below) gives the segment
// or point the curve degenerates to. Nothing throws; non-finite input gives
// non-finite output.
//
// The derivatives follow from the envelope theorem: d = |q − c| with c the closest
// point, and moving c along the curve does not change d to first order, so
// ∂d/∂θ = n̂·(∂q/∂θ − ∂c/∂θ) with n̂ the unit vector along q − c (the outward normal
// taken with the side of q) and ∂c/∂θ the derivative of the curve point at a fixed
// curve parameter. With c = (a·cos^k t, b·sin^k t): ∂c/∂a = (c_x/a, 0),
// ∂c/∂b = (0, c_y/b), ∂c/∂k = (c_x·ln|c_x/a|, c_y·ln|c_y/b|)/k.
#pragma once

namespace alg3D {
namespace approximate {

// Smallest and largest superellipse shape factor the fits use.
constexpr double kMinShapeFactor = 0.005;
constexpr double kMaxShapeFactor = 10.0;

struct CurveClosestPoint {
    double x = 0.0;  // closest curve point
    double y = 0.0;
    double distance = 0.0;  // Euclidean distance of the query point from (x, y)
    // Unit outward normal of the curve at (x, y); zero where the curve has none
    // (a cusp of a superellipse with k > 2, a degenerate curve).
    double nx = 0.0;
    double ny = 0.0;
};

CurveClosestPoint closestPointOnEllipse(double a, double b, double x, double y);

CurveClosestPoint closestPointOnSuperEllipse(double a, double b, double k, double x, double y);

// Parameters of an ellipse or superellipse inside its plane: semi-axes, shape
// factor (1 for the ellipse), centre (u, v) in the plane's 2D frame and the angle
// of the a axis against the frame's first axis (radians).
struct PlanarCurveParams {
    double a = 1.0;
    double b = 1.0;
    double k = 1.0;
    double u = 0.0;
    double v = 0.0;
    double angle = 0.0;
};

// Unsigned distance of a point (px, py) of the plane's 2D frame from the curve, and
// its partial derivatives. Where the distance is 0 the derivatives are those of the
// signed distance (positive outside); where the normal is undefined and the
// distance is 0 they are 0.
struct PlanarCurveDistance {
    double distance = 0.0;
    double dA = 0.0;
    double dB = 0.0;
    double dK = 0.0;  // 0 for the ellipse
    double dU = 0.0;
    double dV = 0.0;
    double dAngle = 0.0;
};

// The point in the curve's own frame: rotated by minus the angle about the centre.
void toCurveFrame(const PlanarCurveParams& c, double px, double py, double& x, double& y);

PlanarCurveDistance ellipseDistance(const PlanarCurveParams& c, double px, double py);
PlanarCurveDistance superEllipseDistance(const PlanarCurveParams& c, double px, double py);

}  // namespace approximate
}  // namespace alg3D
