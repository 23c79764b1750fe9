#include "alg3D/approximate/SuperEllipseRadialDistance.h"

#include <cmath>

namespace alg3D {
namespace approximate {

RadialCurveDistance superEllipseRadialDistance(const PlanarCurveParams& c, double cosAngle,
                                               double sinAngle, double px, double py) {
    RadialCurveDistance out;
    const double k = c.k, a = c.a, b = c.b;
    const double dx = px - c.u, dy = py - c.v;
    const double x = cosAngle * dx + sinAngle * dy;
    const double y = -sinAngle * dx + cosAngle * dy;
    const double rho = std::sqrt(dx * dx + dy * dy);
    out.distance = rho;
    // Logarithms of x²/a² and y²/b²; a coordinate of 0 has the term 0 (k < 2 keeps
    // its derivative 0 there, and for k ≥ 2 the ray meets the curve at the vertex).
    const double lx = x != 0.0 ? std::log(x * x / (a * a)) : 0.0;
    const double ly = y != 0.0 ? std::log(y * y / (b * b)) : 0.0;
    const double termX = x != 0.0 ? std::exp(lx / k) : 0.0;
    const double termY = y != 0.0 ? std::exp(ly / k) : 0.0;
    const double f = termX + termY;
    if (!(f > 0.0) || !(f <= 1.7976931348623157e308) || !(rho > 0.0)) return out;
    const double logF = std::log(f);
    const double g = std::exp(-0.5 * k * logF);  // F^(−k/2), the ray's scale to the curve

    // dF for each parameter; dG = −(k/2)·G/F·dF, plus −G·ln(F)/2 for k.
    const double fA = -2.0 / k * termX / a;
    const double fB = -2.0 / k * termY / b;
    const double fK = -(termX * lx + termY * ly) / (k * k);
    const double fX = x != 0.0 ? 2.0 / k * termX / x : 0.0;
    const double fY = y != 0.0 ? 2.0 / k * termY / y : 0.0;
    // x and y against u, v (the centre) and the angle.
    const double fU = -fX * cosAngle + fY * sinAngle;
    const double fV = -fX * sinAngle - fY * cosAngle;
    const double fAngle = fX * y - fY * x;
    const double scale = -0.5 * k * g / f;
    const double d[6] = {-rho * scale * fA,
                         -rho * scale * fB,
                         -rho * g * (-0.5 * logF - 0.5 * k * fK / f),
                         -dx / rho * (1.0 - g) - rho * scale * fU,
                         -dy / rho * (1.0 - g) - rho * scale * fV,
                         -rho * scale * fAngle};
    const double distance = rho * (1.0 - g);
    if (!std::isfinite(distance)) return out;
    for (double v : d)
        if (!std::isfinite(v)) return out;
    out.distance = distance;
    for (int i = 0; i < 6; ++i)
        out.derivative[i] = d[i];
    return out;
}

}  // namespace approximate
}  // namespace alg3D
