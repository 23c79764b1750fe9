// Fixed-size dense matrix of R rows and C columns, row-major, holding exactly R*C
// elements and nothing else, so that an array of matrices is a packed array of
// numbers. 3-vectors carry their elements as the fields x, y, z.
//
// Aliases: Vec3d, Vec3f (points, directions, normals) and Matrix4x4d (homogeneous
// transform of column points; translation in the last column; A*B applies B first).
// A default-constructed square matrix is the identity, any other one is zero.
#pragma once

#include <cmath>
#include <cstddef>
#include <type_traits>

namespace alg3D {
namespace matrix {

namespace detail {

// Element storage: a plain array, or the named fields x, y, z for 3-vectors.
template <typename T, std::size_t R, std::size_t C>
struct MatrixStorage {
    T m[R * C];

    T& at(std::size_t i) { return m[i]; }
    const T& at(std::size_t i) const { return m[i]; }
    T* data() { return m; }
    const T* data() const { return m; }
};

template <typename T>
struct MatrixStorage<T, 3, 1> {
    T x, y, z;

    // A pointer-to-member table keeps element access by index well defined.
    T& at(std::size_t i) { return this->*member(i); }
    const T& at(std::size_t i) const { return this->*member(i); }
    // Raw buffer view for file writers and graphics uploads (layout asserted below).
    T* data() { return &x; }
    const T* data() const { return &x; }

private:
    static T MatrixStorage::*member(std::size_t i) {
        static constexpr T MatrixStorage::*table[3] = {&MatrixStorage::x, &MatrixStorage::y,
                                                       &MatrixStorage::z};
        return table[i];
    }
};

}  // namespace detail

template <typename T, std::size_t R, std::size_t C>
class Matrix : public detail::MatrixStorage<T, R, C> {
    using Storage = detail::MatrixStorage<T, R, C>;

public:
    using value_type = T;
    static constexpr std::size_t rows = R;
    static constexpr std::size_t cols = C;
    static constexpr std::size_t size = R * C;

    // Identity for square matrices (a fresh transform), zero otherwise.
    Matrix() {
        for (std::size_t i = 0; i < size; ++i) this->at(i) = T(0);
        if constexpr (R == C && R > 1) {
            for (std::size_t i = 0; i < R; ++i) (*this)(i, i) = T(1);
        }
    }

    // All R*C elements in row-major order: Vec3d(1, 2, 3), Matrix<double,2,2>(a, b, c, d).
    template <typename... Args,
              typename = std::enable_if_t<(sizeof...(Args) == R * C) && (R * C > 1) &&
                                          (std::is_arithmetic_v<Args> && ...)>>
    Matrix(Args... values) {  // NOLINT(google-explicit-constructor)
        const T list[] = {static_cast<T>(values)...};
        for (std::size_t i = 0; i < size; ++i) this->at(i) = list[i];
    }

    template <typename U>
    explicit Matrix(const Matrix<U, R, C>& other) {
        for (std::size_t i = 0; i < size; ++i) this->at(i) = static_cast<T>(other[i]);
    }

    static Matrix zero() {
        Matrix r;
        r.fill(T(0));
        return r;
    }
    static Matrix identity() {
        static_assert(R == C, "identity of a non-square matrix");
        Matrix r;
        r.fill(T(0));
        for (std::size_t i = 0; i < R; ++i) r(i, i) = T(1);
        return r;
    }

    void fill(T v) {
        for (std::size_t i = 0; i < size; ++i) this->at(i) = v;
    }

    T& operator[](std::size_t i) { return this->at(i); }
    const T& operator[](std::size_t i) const { return this->at(i); }
    T& operator()(std::size_t r, std::size_t c) { return this->at(r * C + c); }
    const T& operator()(std::size_t r, std::size_t c) const { return this->at(r * C + c); }

    Matrix& operator+=(const Matrix& o) {
        for (std::size_t i = 0; i < size; ++i) this->at(i) += o[i];
        return *this;
    }
    Matrix& operator-=(const Matrix& o) {
        for (std::size_t i = 0; i < size; ++i) this->at(i) -= o[i];
        return *this;
    }
    Matrix& operator*=(T s) {
        for (std::size_t i = 0; i < size; ++i) this->at(i) *= s;
        return *this;
    }
    Matrix& operator/=(T s) {
        for (std::size_t i = 0; i < size; ++i) this->at(i) /= s;
        return *this;
    }

    friend Matrix operator+(Matrix a, const Matrix& b) { return a += b; }
    friend Matrix operator-(Matrix a, const Matrix& b) { return a -= b; }
    friend Matrix operator*(Matrix a, T s) { return a *= s; }
    friend Matrix operator*(T s, Matrix a) { return a *= s; }
    friend Matrix operator/(Matrix a, T s) { return a /= s; }
    Matrix operator-() const {
        Matrix r = *this;
        for (std::size_t i = 0; i < size; ++i) r[i] = -r[i];
        return r;
    }

    friend bool operator==(const Matrix& a, const Matrix& b) {
        for (std::size_t i = 0; i < size; ++i)
            if (!(a[i] == b[i])) return false;
        return true;
    }
    friend bool operator!=(const Matrix& a, const Matrix& b) { return !(a == b); }

    Matrix<T, C, R> transposed() const {
        Matrix<T, C, R> t;
        for (std::size_t r = 0; r < R; ++r)
            for (std::size_t c = 0; c < C; ++c) t(c, r) = (*this)(r, c);
        return t;
    }

    // Sum of products of corresponding elements (the dot product of vectors).
    T dot(const Matrix& o) const {
        T s = T(0);
        for (std::size_t i = 0; i < size; ++i) s += this->at(i) * o[i];
        return s;
    }
    T squaredNorm() const { return dot(*this); }
    T norm() const { return std::sqrt(squaredNorm()); }

    // The vector scaled to length 1; the zero vector stays zero.
    Matrix normalized() const {
        const T n = norm();
        return n > T(0) ? *this / n : zero();
    }

    Matrix cross(const Matrix& o) const {
        static_assert(R == 3 && C == 1, "cross product of non-3-vectors");
        return Matrix(this->y * o.z - this->z * o.y, this->z * o.x - this->x * o.z,
                      this->x * o.y - this->y * o.x);
    }
};

// Ordinary row-by-column product.
template <typename T, std::size_t R, std::size_t K, std::size_t C>
Matrix<T, R, C> operator*(const Matrix<T, R, K>& a, const Matrix<T, K, C>& b) {
    Matrix<T, R, C> p = Matrix<T, R, C>::zero();
    for (std::size_t r = 0; r < R; ++r)
        for (std::size_t k = 0; k < K; ++k) {
            const T ark = a(r, k);
            for (std::size_t c = 0; c < C; ++c) p(r, c) += ark * b(k, c);
        }
    return p;
}

// Applies a homogeneous transform to the column point (x, y, z, 1).
template <typename T>
Matrix<T, 3, 1> transformPoint(const Matrix<T, 4, 4>& m, const Matrix<T, 3, 1>& p) {
    return Matrix<T, 3, 1>(m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2) * p.z + m(0, 3),
                           m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2) * p.z + m(1, 3),
                           m(2, 0) * p.x + m(2, 1) * p.y + m(2, 2) * p.z + m(2, 3));
}

// Applies only the linear part (rotation, scale) of a transform, for directions.
template <typename T>
Matrix<T, 3, 1> transformDirection(const Matrix<T, 4, 4>& m, const Matrix<T, 3, 1>& v) {
    return Matrix<T, 3, 1>(m(0, 0) * v.x + m(0, 1) * v.y + m(0, 2) * v.z,
                           m(1, 0) * v.x + m(1, 1) * v.y + m(1, 2) * v.z,
                           m(2, 0) * v.x + m(2, 1) * v.y + m(2, 2) * v.z);
}

template <typename T>
T determinant(const Matrix<T, 3, 3>& m) {
    return m(0, 0) * (m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1)) -
           m(0, 1) * (m(1, 0) * m(2, 2) - m(1, 2) * m(2, 0)) +
           m(0, 2) * (m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0));
}

// Inverse of an affine transform (last row 0, 0, 0, 1). A singular linear part
// gives a matrix of NaNs; callers build only regular transforms.
template <typename T>
Matrix<T, 4, 4> affineInverse(const Matrix<T, 4, 4>& m) {
    Matrix<T, 3, 3> a(m(0, 0), m(0, 1), m(0, 2), m(1, 0), m(1, 1), m(1, 2), m(2, 0), m(2, 1),
                      m(2, 2));
    const T inv = T(1) / determinant(a);
    Matrix<T, 3, 3> ai((a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1)) * inv,
                       (a(0, 2) * a(2, 1) - a(0, 1) * a(2, 2)) * inv,
                       (a(0, 1) * a(1, 2) - a(0, 2) * a(1, 1)) * inv,
                       (a(1, 2) * a(2, 0) - a(1, 0) * a(2, 2)) * inv,
                       (a(0, 0) * a(2, 2) - a(0, 2) * a(2, 0)) * inv,
                       (a(0, 2) * a(1, 0) - a(0, 0) * a(1, 2)) * inv,
                       (a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0)) * inv,
                       (a(0, 1) * a(2, 0) - a(0, 0) * a(2, 1)) * inv,
                       (a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0)) * inv);
    Matrix<T, 4, 4> r;
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) r(i, j) = ai(i, j);
        r(i, 3) = -(ai(i, 0) * m(0, 3) + ai(i, 1) * m(1, 3) + ai(i, 2) * m(2, 3));
    }
    return r;
}

}  // namespace matrix

using Vec3d = matrix::Matrix<double, 3, 1>;
using Vec3f = matrix::Matrix<float, 3, 1>;
using Matrix3x3d = matrix::Matrix<double, 3, 3>;
using Matrix4x4d = matrix::Matrix<double, 4, 4>;

static_assert(std::is_standard_layout_v<Vec3d> && sizeof(Vec3d) == 3 * sizeof(double),
              "Vec3d must be three packed doubles");
static_assert(std::is_standard_layout_v<Vec3f> && sizeof(Vec3f) == 3 * sizeof(float),
              "Vec3f must be three packed floats");
static_assert(std::is_standard_layout_v<Matrix4x4d> && sizeof(Matrix4x4d) == 16 * sizeof(double),
              "Matrix4x4d must be sixteen packed doubles");
static_assert(std::is_trivially_copyable_v<Vec3d>, "Vec3d must be trivially copyable");

}  // namespace alg3D
