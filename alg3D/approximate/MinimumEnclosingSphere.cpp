// Move-to-front with pivoting (see MinimumEnclosingSphere.h).
#include "alg3D/approximate/MinimumEnclosingSphere.h"

#include <iterator>
#include <list>

namespace alg3D {
namespace approximate {

namespace {

class Miniball {
  public:
    Miniball(const Vec3d* points, std::size_t n) : points_(points) {
        for (std::size_t i = 0; i < n; ++i)
            list_.push_back(i);
    }

    EnclosingBall solve(std::uint64_t maxPasses, const std::atomic<bool>* abort) {
        supportEnd_ = list_.begin();
        m_ = 0;
        currentSquaredRadius_ = -1.0;
        if (list_.empty()) return {};
        const bool aborted = pivot(maxPasses, abort);
        return {currentCenter_, currentSquaredRadius_ < 0.0 ? 0.0 : currentSquaredRadius_, aborted};
    }

  private:
    using Iterator = std::list<std::size_t>::iterator;

    double excess(const Vec3d& p) const {
        return (p - currentCenter_).squaredNorm() - currentSquaredRadius_;
    }

    // The ball of the support points 0 .. m_ - 1 plus p on its boundary.
    bool push(const Vec3d& p) {
        if (m_ == 0) {
            q0_ = p;
            c_[0] = q0_;
            sqr_[0] = 0.0;
        } else {
            v_[m_] = p - q0_;
            for (std::size_t i = 1; i < m_; ++i)
                a_[m_][i] = 2.0 * v_[i].dot(v_[m_]) / z_[i];
            for (std::size_t i = 1; i < m_; ++i)
                v_[m_] = v_[m_] - a_[m_][i] * v_[i];
            z_[m_] = 2.0 * v_[m_].squaredNorm();
            if (z_[m_] < 2.220446049250313e-16 * currentSquaredRadius_) return false;
            const double e = -sqr_[m_ - 1] + (p - c_[m_ - 1]).squaredNorm();
            f_[m_] = e / z_[m_];
            c_[m_] = c_[m_ - 1] + f_[m_] * v_[m_];
            sqr_[m_] = sqr_[m_ - 1] + e * f_[m_] / 2.0;
        }
        currentCenter_ = c_[m_];
        currentSquaredRadius_ = sqr_[m_];
        ++m_;
        return true;
    }

    void pop() { --m_; }

    void moveToFront(Iterator j) {
        if (supportEnd_ == j) ++supportEnd_;
        list_.splice(list_.begin(), list_, j);
    }

    void moveToFrontBall(Iterator end) {
        supportEnd_ = list_.begin();
        if (m_ == 4) return;
        for (Iterator i = list_.begin(); i != end;) {
            const Iterator next = std::next(i);
            if (excess(points_[*i]) > 0.0) {
                if (push(points_[*i])) {
                    moveToFrontBall(i);
                    pop();
                    moveToFront(i);
                }
            }
            i = next;
        }
    }

    // True when the abort flag ended the passes early.
    bool pivot(std::uint64_t maxPasses, const std::atomic<bool>* abort) {
        Iterator t = std::next(list_.begin());
        moveToFrontBall(t);
        double maxExcess = 0.0, oldSquaredRadius = 0.0;
        std::uint64_t pass = 0;
        do {
            if (abort && abort->load(std::memory_order_relaxed)) return true;
            Iterator pivotIt = list_.end();
            maxExcess = 0.0;
            for (Iterator k = t; k != list_.end(); ++k) {
                const double e = excess(points_[*k]);
                if (e > maxExcess) {
                    maxExcess = e;
                    pivotIt = k;
                }
            }
            if (maxExcess > 0.0) {
                t = supportEnd_;
                if (t == pivotIt) ++t;
                oldSquaredRadius = currentSquaredRadius_;
                push(points_[*pivotIt]);
                moveToFrontBall(supportEnd_);
                pop();
                moveToFront(pivotIt);
            }
            ++pass;
        } while (maxExcess > 0.0 && currentSquaredRadius_ > oldSquaredRadius && pass < maxPasses);
        return false;
    }

    const Vec3d* points_;
    std::list<std::size_t> list_;
    Iterator supportEnd_;
    std::size_t m_ = 0;
    Vec3d q0_, currentCenter_;
    double currentSquaredRadius_ = -1.0;
    Vec3d v_[5], c_[5];
    double z_[5] = {}, f_[5] = {}, sqr_[5] = {}, a_[5][5] = {};
};

}  // namespace

EnclosingBall minimumEnclosingBall(const Vec3d* begin, const Vec3d* end, std::uint64_t maxPasses,
                                   const std::atomic<bool>* abort) {
    const std::size_t n = (begin && end && end > begin) ? static_cast<std::size_t>(end - begin) : 0;
    Miniball mb(begin, n);
    return mb.solve(maxPasses, abort);
}

}  // namespace approximate
}  // namespace alg3D
