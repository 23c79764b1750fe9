#include "alg3D/matrix/DMatrix.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "alg3D/matrix/Alg3dException.h"

namespace alg3D {

namespace {

std::uint64_t checkedCount(std::uint64_t rows, std::uint64_t cols) {
    // A corrupt count must not wrap around into a small buffer that is then
    // indexed as rows x cols.
    if (cols != 0 && rows > std::numeric_limits<std::uint64_t>::max() / cols)
        throwAlg3dException(errors::kAllocatingMemory);
    const std::uint64_t count = rows * cols;
    if (count > std::vector<double>().max_size()) throwAlg3dException(errors::kAllocatingMemory);
    return count;
}

}  // namespace

DMatrix::DMatrix(std::uint64_t rows, std::uint64_t cols, double value) {
    assign(rows, cols, value);
}

DMatrix DMatrix::identity(std::uint64_t n) {
    DMatrix m(n, n);
    for (std::uint64_t i = 0; i < n; ++i)
        m(i, i) = 1.0;
    return m;
}

void DMatrix::assign(std::uint64_t rows, std::uint64_t cols, double value) {
    const std::uint64_t count = checkedCount(rows, cols);
    values_.assign(static_cast<std::size_t>(count), value);
    rows_ = rows;
    cols_ = cols;
}

void DMatrix::assignZeroParallel(std::uint64_t rows, std::uint64_t cols,
                                 const std::atomic<bool>* abort) {
    const std::uint64_t count = checkedCount(rows, cols);
    // Emptied first: growing would copy the old elements, and an uninitialised resize
    // within the capacity writes nothing.
    values_.clear();
    values_.resize(static_cast<std::size_t>(count));
    rows_ = rows;
    cols_ = cols;
    // 64 KiB blocks: an abort waits for at most one block per thread.
    constexpr long long kBlock = 8192;
    const long long total = static_cast<long long>(count);
    const long long blocks = (total + kBlock - 1) / kBlock;
    double* out = values_.data();
#pragma omp parallel for schedule(static) if (blocks > 16)
    for (long long b = 0; b < blocks; ++b) {
        if (abort && abort->load(std::memory_order_relaxed)) continue;
        const long long first = b * kBlock;
        std::fill(out + first, out + std::min(total, first + kBlock), 0.0);
    }
}

void DMatrix::fill(double value) {
    values_.assign(values_.size(), value);
}

void DMatrix::clear() {
    values_.clear();
    rows_ = 0;
    cols_ = 0;
}

DMatrix DMatrix::transposed() const {
    DMatrix t(cols_, rows_);
    for (std::uint64_t i = 0; i < rows_; ++i)
        for (std::uint64_t j = 0; j < cols_; ++j)
            t(j, i) = (*this)(i, j);
    return t;
}

DMatrix transposedProduct(const DMatrix& a, const DMatrix& b) {
    if (a.rows() != b.rows()) throwAlg3dException(errors::kWrongDimensions);
    const std::uint64_t n = a.rows();
    const std::uint64_t p = a.cols();
    const std::uint64_t q = b.cols();
    DMatrix c(p, q);
    double* out = c.data();

    // Rank-one updates row by row stream both operands once (J has millions of
    // rows and a handful of columns); four rows per pass halve the traffic on C.
    // For a == b the entries (i, j) and (j, i) see the same products in the same
    // order, so JᵀJ comes out exactly symmetric.
    std::uint64_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const double* a0 = a.row(k);
        const double* a1 = a0 + p;
        const double* a2 = a1 + p;
        const double* a3 = a2 + p;
        const double* b0 = b.row(k);
        const double* b1 = b0 + q;
        const double* b2 = b1 + q;
        const double* b3 = b2 + q;
        for (std::uint64_t i = 0; i < p; ++i) {
            const double x0 = a0[i], x1 = a1[i], x2 = a2[i], x3 = a3[i];
            double* ci = out + i * q;
            for (std::uint64_t j = 0; j < q; ++j)
                ci[j] += x0 * b0[j] + x1 * b1[j] + x2 * b2[j] + x3 * b3[j];
        }
    }
    for (; k < n; ++k) {
        const double* ak = a.row(k);
        const double* bk = b.row(k);
        for (std::uint64_t i = 0; i < p; ++i) {
            const double x = ak[i];
            double* ci = out + i * q;
            for (std::uint64_t j = 0; j < q; ++j)
                ci[j] += x * bk[j];
        }
    }
    return c;
}

DMatrix operator*(double s, const DMatrix& a) {
    DMatrix r = a;
    double* v = r.data();
    for (std::uint64_t k = 0; k < r.size(); ++k)
        v[k] *= s;
    return r;
}

DMatrix operator-(const DMatrix& a) {
    return -1.0 * a;
}

DMatrix operator-(const DMatrix& a, const DMatrix& b) {
    if (a.rows() != b.rows() || a.cols() != b.cols()) throwAlg3dException(errors::kWrongDimensions);
    DMatrix r = a;
    double* v = r.data();
    const double* w = b.data();
    for (std::uint64_t k = 0; k < r.size(); ++k)
        v[k] -= w[k];
    return r;
}

double infinityNorm(const DMatrix& a) {
    double best = 0.0;
    for (std::uint64_t i = 0; i < a.rows(); ++i) {
        const double* r = a.row(i);
        double s = 0.0;
        for (std::uint64_t j = 0; j < a.cols(); ++j)
            s += std::fabs(r[j]);
        // A NaN row must not be hidden behind a finite maximum.
        if (s > best || std::isnan(s)) best = s;
        if (std::isnan(best)) break;
    }
    return best;
}

double sumOfSquares(const DMatrix& v) {
    const double* x = v.data();
    const std::uint64_t n = v.size();
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    std::uint64_t k = 0;
    for (; k + 4 <= n; k += 4) {
        s0 += x[k] * x[k];
        s1 += x[k + 1] * x[k + 1];
        s2 += x[k + 2] * x[k + 2];
        s3 += x[k + 3] * x[k + 3];
    }
    for (; k < n; ++k)
        s0 += x[k] * x[k];
    return (s0 + s1) + (s2 + s3);
}

}  // namespace alg3D
