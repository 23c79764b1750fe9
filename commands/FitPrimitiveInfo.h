// The information texts of the primitive objects that fits produce (line, plane, circle,
// ellipse, superellipse, sphere, cylinder, cone, torus) and of the bounding box: what the
// object list shows for a primitive. The fit command builds them for its result, and the
// GUI's primitive objects build theirs with the same functions.
//
// Every number is written in fixed notation with 6 decimals; a point or direction as its
// three coordinates separated by "," ("1.000000,0.000000,2.500000"); an angle in radians
// followed by its degrees and the degree sign (UTF-8) in parentheses:
// "0.500000 (28.647890°)". The value in parentheses after a sphere's or cylinder's radius
// is the diameter.
// Cost: constant; no errors.
#pragma once

#include <string>

#include "alg3D/matrix/Matrix.h"

namespace tessaro {
namespace commands {

// The degree sign as UTF-8 (a lone byte 0xB0 is no character on a UTF-8 terminal).
inline constexpr const char* kDegreeSign = "\xC2\xB0";

// π as the workbench's texts use it for degrees.
inline constexpr double kPi = 3.141592653589793;

// printf into a string of any length (a huge coordinate takes hundreds of characters in
// fixed notation).
std::string formatText(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Radians to degrees: angle·180/π.
double degrees(double radians);

// "%.6f" of one number.
std::string fixed6(double value);
// "x,y,z", each with 6 decimals.
std::string vectorText6(const alg3D::Vec3d& v);
// "k (deg°)": the angle in radians and in degrees, 6 decimals each.
std::string angleText6(double radians);

// "volume: %3.4lf\n" with the product of the box's three extents.
std::string boxInfoText(const alg3D::Vec3d& minCorner, const alg3D::Vec3d& maxCorner);
// "center: " point "\ndir: " direction "\n"; the point is where the drawn segment starts.
std::string lineInfoText(const alg3D::Vec3d& point, const alg3D::Vec3d& direction);
// "center: " centre "\ndir: " normal "\n".
std::string planeInfoText(const alg3D::Vec3d& center, const alg3D::Vec3d& normal);
// "r: " r "\ncenter: " centre "\ndir: " normal "\n".
std::string circleInfoText(double radius, const alg3D::Vec3d& center, const alg3D::Vec3d& normal);
// "a: " a "\nb: " b "\nk: " angle "\ncenter: " centre "\ndir: " normal "\n".
std::string ellipseInfoText(double a, double b, double angle, const alg3D::Vec3d& center,
                            const alg3D::Vec3d& normal);
// "eps: " factor, then the ellipse's text.
std::string superEllipseInfoText(double factor, double a, double b, double angle,
                                 const alg3D::Vec3d& center, const alg3D::Vec3d& normal);
// "r: " r " (" 2r ")\ncenter: " centre "\n".
std::string sphereInfoText(double radius, const alg3D::Vec3d& center);
// "r: " r " (" 2r ")\ncenter: " centre "\ndir: " axis "\nbottom: " bottom "\nh: " h "\n".
std::string cylinderInfoText(double radius, const alg3D::Vec3d& center, const alg3D::Vec3d& axis,
                             const alg3D::Vec3d& bottom, double height);
// "psi: " angle "\nr: " r "\ncenter: " centre "\ndir: " axis "\nbottom: " bottom "\nh: " h "\n".
std::string coneInfoText(double angle, double radius, const alg3D::Vec3d& center,
                         const alg3D::Vec3d& axis, const alg3D::Vec3d& bottom, double height);
// "r1: " r1 "\nr2: " r2 "\ncenter: " centre "\ndir: " axis "\n".
std::string torusInfoText(double r1, double r2, const alg3D::Vec3d& center,
                          const alg3D::Vec3d& axis);

}  // namespace commands
}  // namespace tessaro
