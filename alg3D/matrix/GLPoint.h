// Coloured point and colour triple: the elements of coloured point clouds.
// GLPoint starts with the same three doubles as a Vec3d, followed by three colour
// bytes; Color is three packed bytes. Both are standard-layout records without
// anything else, so arrays of them are uploaded and written by address and stride.
#pragma once

#include <cstddef>
#include <type_traits>

#include "alg3D/matrix/Matrix.h"

namespace alg3D {
namespace matrix {

template <typename T = unsigned char, int N = 3>
struct Color;

template <typename T>
struct Color<T, 3> {
    T r = 0, g = 0, b = 0;

    Color() = default;
    Color(T red, T green, T blue) : r(red), g(green), b(blue) {}

    friend bool operator==(const Color& a, const Color& c) {
        return a.r == c.r && a.g == c.g && a.b == c.b;
    }
    friend bool operator!=(const Color& a, const Color& c) { return !(a == c); }
};

template <typename T = double, typename CT = unsigned char>
struct GLPoint {
    T x = 0, y = 0, z = 0;
    CT r = 0, g = 0, b = 0;

    GLPoint() = default;
    GLPoint(T px, T py, T pz, CT cr = 0, CT cg = 0, CT cb = 0)
        : x(px), y(py), z(pz), r(cr), g(cg), b(cb) {}
    GLPoint(const Matrix<T, 3, 1>& p, const Color<CT, 3>& c = Color<CT, 3>())
        : x(p.x), y(p.y), z(p.z), r(c.r), g(c.g), b(c.b) {}

    // Coordinate by axis index 0..2, as for a Vec3d.
    T& operator[](std::size_t i) { return this->*member(i); }
    const T& operator[](std::size_t i) const { return this->*member(i); }

    Matrix<T, 3, 1> vec() const { return Matrix<T, 3, 1>(x, y, z); }
    Color<CT, 3> color() const { return Color<CT, 3>(r, g, b); }
    void setColor(const Color<CT, 3>& c) {
        r = c.r;
        g = c.g;
        b = c.b;
    }

    friend bool operator==(const GLPoint& a, const GLPoint& c) {
        return a.x == c.x && a.y == c.y && a.z == c.z && a.r == c.r && a.g == c.g && a.b == c.b;
    }
    friend bool operator!=(const GLPoint& a, const GLPoint& c) { return !(a == c); }

private:
    static T GLPoint::*member(std::size_t i) {
        static constexpr T GLPoint::*table[3] = {&GLPoint::x, &GLPoint::y, &GLPoint::z};
        return table[i];
    }
};

}  // namespace matrix

using Color = matrix::Color<unsigned char, 3>;
using GLPoint = matrix::GLPoint<double, unsigned char>;

static_assert(std::is_standard_layout_v<Color> && sizeof(Color) == 3, "Color must be 3 bytes");
static_assert(std::is_standard_layout_v<GLPoint> && offsetof(GLPoint, x) == 0 &&
                  offsetof(GLPoint, y) == sizeof(double) &&
                  offsetof(GLPoint, z) == 2 * sizeof(double) &&
                  offsetof(GLPoint, r) == 3 * sizeof(double),
              "GLPoint must start with the coordinates of a Vec3d, then the colour");
static_assert(std::is_trivially_copyable_v<GLPoint>, "GLPoint must be trivially copyable");

// Coordinates of either point type as a Vec3d.
inline const Vec3d& coords(const Vec3d& p) { return p; }
inline Vec3d coords(const GLPoint& p) { return Vec3d(p.x, p.y, p.z); }

}  // namespace alg3D
