#include "commands/FitPrimitiveInfo.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace tessaro {
namespace commands {

std::string formatText(const char* fmt, ...) {
    char small[128];
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(small, sizeof small, fmt, args);
    va_end(args);
    std::string text;
    if (length < 0) {
        va_end(again);
        return text;
    }
    if (static_cast<std::size_t>(length) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(length));
    } else {
        std::vector<char> big(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(big.data(), big.size(), fmt, again);
        text.assign(big.data(), static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}

double degrees(double radians) {
    return radians * 180.0 / kPi;
}

std::string fixed6(double value) {
    return formatText("%.6f", value);
}

std::string vectorText6(const alg3D::Vec3d& v) {
    return formatText("%.6f,%.6f,%.6f", v.x, v.y, v.z);
}

std::string angleText6(double radians) {
    return formatText("%.6f (%.6f%s)", radians, degrees(radians), kDegreeSign);
}

std::string boxInfoText(const alg3D::Vec3d& minCorner, const alg3D::Vec3d& maxCorner) {
    const alg3D::Vec3d extent = maxCorner - minCorner;
    return formatText("volume: %3.4lf\n", extent.x * extent.y * extent.z);
}

std::string lineInfoText(const alg3D::Vec3d& point, const alg3D::Vec3d& direction) {
    return "center: " + vectorText6(point) + "\ndir: " + vectorText6(direction) + "\n";
}

std::string planeInfoText(const alg3D::Vec3d& center, const alg3D::Vec3d& normal) {
    return "center: " + vectorText6(center) + "\ndir: " + vectorText6(normal) + "\n";
}

std::string circleInfoText(double radius, const alg3D::Vec3d& center, const alg3D::Vec3d& normal) {
    return "r: " + fixed6(radius) + "\ncenter: " + vectorText6(center) +
           "\ndir: " + vectorText6(normal) + "\n";
}

std::string ellipseInfoText(double a, double b, double angle, const alg3D::Vec3d& center,
                            const alg3D::Vec3d& normal) {
    return "a: " + fixed6(a) + "\nb: " + fixed6(b) + "\nk: " + angleText6(angle) +
           "\ncenter: " + vectorText6(center) + "\ndir: " + vectorText6(normal) + "\n";
}

std::string superEllipseInfoText(double factor, double a, double b, double angle,
                                 const alg3D::Vec3d& center, const alg3D::Vec3d& normal) {
    return "eps: " + fixed6(factor) + "\n" + ellipseInfoText(a, b, angle, center, normal);
}

std::string sphereInfoText(double radius, const alg3D::Vec3d& center) {
    return "r: " + fixed6(radius) + " (" + fixed6(2.0 * radius) +
           ")\ncenter: " + vectorText6(center) + "\n";
}

std::string cylinderInfoText(double radius, const alg3D::Vec3d& center, const alg3D::Vec3d& axis,
                             const alg3D::Vec3d& bottom, double height) {
    return "r: " + fixed6(radius) + " (" + fixed6(2.0 * radius) +
           ")\ncenter: " + vectorText6(center) + "\ndir: " + vectorText6(axis) +
           "\nbottom: " + vectorText6(bottom) + "\nh: " + fixed6(height) + "\n";
}

std::string coneInfoText(double angle, double radius, const alg3D::Vec3d& center,
                         const alg3D::Vec3d& axis, const alg3D::Vec3d& bottom, double height) {
    return "psi: " + angleText6(angle) + "\nr: " + fixed6(radius) +
           "\ncenter: " + vectorText6(center) + "\ndir: " + vectorText6(axis) +
           "\nbottom: " + vectorText6(bottom) + "\nh: " + fixed6(height) + "\n";
}

std::string torusInfoText(double r1, double r2, const alg3D::Vec3d& center,
                          const alg3D::Vec3d& axis) {
    return "r1: " + fixed6(r1) + "\nr2: " + fixed6(r2) + "\ncenter: " + vectorText6(center) +
           "\ndir: " + vectorText6(axis) + "\n";
}

}  // namespace commands
}  // namespace tessaro
