// Discrete Chebyshev (minimax) solve by linear programming, the step of the
// Chebyshev fits: min over h of max_i |(A·h + b)_i|.
//
// The problem is posed as its dual linear program and solved with a dense
// tableau simplex. Inputs: A (a rows x m columns), b (a x 1). Outputs: the step h
// (m x 1) and the minimax value t. Failure of the simplex (unbounded, or the
// pivot limit reached) is reported by a negative code and an empty h.
// Errors: "matrices have wrong dimensions.\n" when b is not a x 1.
// Cost: the tableau has (2m + 3) x (2a + 2) entries; each pivot touches all of them.
#pragma once

#include <cstdint>
#include <vector>

#include "alg3D/matrix/DMatrix.h"

namespace alg3D {

// A dense simplex tableau. Row 0 is the objective row (z = a(0,0) + Σ a(0,c)·x_c,
// to be maximised), column 0 the right-hand sides, rows 1 .. rows-2 the
// constraints (basic variable = a(r,0) + Σ a(r,c)·x_c >= 0) and the last row is
// spare. Variables are numbered: the columns 1 .. cols-1 start with the
// non-basic variables 0 .. cols-2, the rows 1 .. rows-2 with the basic (slack)
// variables cols-1 ...
struct SimplexTableau {
    DMatrix a;
    std::vector<std::uint64_t> columnVariables;  // variable of column c at c - 1
    std::vector<std::uint64_t> rowVariables;     // variable of row r at r - 1

    SimplexTableau() = default;
    // Takes the tableau and numbers its variables as above.
    explicit SimplexTableau(DMatrix tableau);
};

inline constexpr int kSimplexOptimal = 0;
inline constexpr int kSimplexUnbounded = -1;
inline constexpr int kSimplexPivotLimit = -3;

// Maximises the objective of the tableau in place: entering column = largest
// objective coefficient (optimal when it is <= 1e-6), leaving row by the ratio
// test over coefficients < -1e-4 with ties broken on the following columns.
// Returns kSimplexOptimal, kSimplexUnbounded, or kSimplexPivotLimit after
// 100·(rows - 2) + 1 rounds.
int simplex(SimplexTableau& tableau);
// The same with an explicit limit on the number of rounds.
int simplex(SimplexTableau& tableau, std::uint64_t maxRounds);

// Solves min_h max_i |(A·h + b)_i|. Returns the minimax value t >= 0 and sets h
// (A.cols x 1); on failure returns the negative simplex code and clears h to 0 x 0.
// Data with NaN or infinite entries fails with kSimplexUnbounded.
double linearMinimax(const DMatrix& a, const DMatrix& b, DMatrix& h);
// The same, also giving the optimal dual weights (A.rows entries, Σ|weight| = 1 when
// the value is positive): weight_i > 0 where (A·h + b)_i = +t binds the optimum,
// < 0 where -t binds, 0 elsewhere; Σ weight_i·A_i = 0. They are the multipliers of
// the binding residuals. Cleared on failure.
double linearMinimax(const DMatrix& a, const DMatrix& b, DMatrix& h, std::vector<double>& weights);

}  // namespace alg3D
