// Dense double matrix of run-time size, row-major: the Jacobians, normal equations
// and simplex tableaus of the fits. Element (i, j) lives at i * cols + j; a column
// vector is a matrix with one column. Copies are deep.
//
// Operations: transposed product AᵀB (the normal equations JᵀJ and Jᵀr), scalar
// product, negation, subtraction, infinity norm and sum of squares.
// Errors: operands whose sizes do not fit throw "matrices have wrong dimensions.\n";
// a size whose element count overflows throws "error allocating memory.\n".
// Cost: O(rows * cols) for everything but the transposed product, which is
// O(A.rows * A.cols * B.cols) and streams both operands once, row by row.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace alg3D {

namespace detail {

// Allocator whose element construction without a value leaves doubles uninitialised,
// so that a large matrix can be sized first and its pages touched by the threads that
// fill it (DMatrix::assignZeroParallel).
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    DefaultInitAllocator() = default;
    template <class U>
    DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

}  // namespace detail

class DMatrix {
  public:
    DMatrix() = default;
    // rows x cols matrix with every element set to value.
    DMatrix(std::uint64_t rows, std::uint64_t cols, double value = 0.0);

    static DMatrix identity(std::uint64_t n);

    std::uint64_t rows() const { return rows_; }
    std::uint64_t cols() const { return cols_; }
    std::uint64_t size() const { return values_.size(); }
    bool empty() const { return values_.empty(); }

    double& operator()(std::uint64_t i, std::uint64_t j) { return values_[i * cols_ + j]; }
    double operator()(std::uint64_t i, std::uint64_t j) const { return values_[i * cols_ + j]; }
    // Element by its row-major index (the entry i of a column vector).
    double& operator[](std::uint64_t k) { return values_[k]; }
    double operator[](std::uint64_t k) const { return values_[k]; }

    double* data() { return values_.data(); }
    const double* data() const { return values_.data(); }
    double* row(std::uint64_t i) { return values_.data() + i * cols_; }
    const double* row(std::uint64_t i) const { return values_.data() + i * cols_; }
    // A copy of the elements in row-major order.
    std::vector<double> values() const { return {values_.begin(), values_.end()}; }

    // New size with every element set to value (previous contents are dropped).
    void assign(std::uint64_t rows, std::uint64_t cols, double value = 0.0);
    // New size with every element 0, zeroed by the OpenMP team in blocks (a new
    // allocation's pages are then first touched in parallel, not by one thread). Once
    // `abort` is set the blocks not yet started are skipped and the contents are
    // unspecified: the caller drops the matrix. Cost: O(rows * cols) over the team.
    void assignZeroParallel(std::uint64_t rows, std::uint64_t cols,
                            const std::atomic<bool>* abort = nullptr);
    void fill(double value);
    // Back to 0 x 0 without elements.
    void clear();

    DMatrix transposed() const;

  private:
    std::uint64_t rows_ = 0;
    std::uint64_t cols_ = 0;
    std::vector<double, detail::DefaultInitAllocator<double>> values_;
};

// AᵀB: (A.cols x B.cols), summed over the rows of A. A.rows must equal B.rows.
// transposedProduct(J, J) is exactly symmetric.
DMatrix transposedProduct(const DMatrix& a, const DMatrix& b);

// s * A.
DMatrix operator*(double s, const DMatrix& a);
// (-1) * A.
DMatrix operator-(const DMatrix& a);
// A - B, element by element; the sizes must be equal.
DMatrix operator-(const DMatrix& a, const DMatrix& b);

// Largest row sum of absolute values (largest absolute entry of a column vector);
// 0 for a matrix without elements.
double infinityNorm(const DMatrix& a);

// Sum of the squares of all elements; its square root is the Euclidean norm.
double sumOfSquares(const DMatrix& v);

}  // namespace alg3D
