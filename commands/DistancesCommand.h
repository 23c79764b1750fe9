// The distance command without its dialogs: distances of a test point cloud from a
// reference point cloud, STL mesh or fitted primitive, and their evaluation. The GUI's
// distance tool and `tessaro-cli distances` both call runDistancesCommand; the GUI shows
// the texts and colours, the CLI prints and writes them.
//
// A run: checks (the test must be a point cloud: "Operation is not supported."), the
// distances on a worker thread through the job runner for cloud and mesh references
// (timed "calcDistancesPts2Pts" / "calcDistancesMesh"), directly for primitives (an
// unknown primitive gives "unkown GLobject"), then the evaluation (timed
// "evaluateDistances"): statistics, colours, selection, the statistics text.
// Points without a partner (-1 for clouds, the unset value for meshes and aborted
// points) never take part in the statistics and colours; a search bounded by
// maxDistance at or above the range's upper end leaves them beyond the range, so
// "select outside" selects them too.
// Errors: the texts above; the tree's build errors. An aborted run returns kAborted and
// leaves the result untouched.
// Cost: O((n_ref + n_test) log n_ref) for cloud and mesh references, O(n_test) otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "alg3D/algorithm/DistanceEvaluation.h"
#include "commands/FileCommands.h"
#include "commands/FitCommand.h"
#include "commands/JobRunner.h"

namespace tessaro {
namespace commands {

inline constexpr const char* kOperationNotSupported = "Operation is not supported.";
inline constexpr const char* kUnknownObject = "unkown GLobject";
inline constexpr const char* kDistancesTitle = "Distances";
inline constexpr const char* kSelectTwoObjects = "Please select two objects!";
inline constexpr const char* kTwoPrimitives = "Distance between two primitives is not supported.";

// What a selected object is to the distance tool.
enum class DistanceOperand { kPoints, kMesh, kPrimitive, kOther };

// The warning for a selection (reference first, test second), nullptr when it can be
// measured: not exactly two objects kSelectTwoObjects; two primitives kTwoPrimitives;
// a test that is no point cloud, or an object of another kind, kOperationNotSupported.
const char* distancesSelectionProblem(const std::vector<DistanceOperand>& selection);

// The reference: loaded data (points or mesh), or a primitive by its name and geometry.
struct DistanceReference {
    const LoadedData* data = nullptr;
    std::string primitive;  // fitShapeName() of the shape when data is null
    FitGeometry geometry;
};

struct DistancesOptions {
    double maxDistance = 0.0;  // 0 = unbounded (cloud and mesh references)
    alg3D::algorithm::DistanceEvaluationSettings evaluation;
    int threads = 0;  // OpenMP threads; 0 = all processors
};

struct DistancesResult {
    std::vector<double> values;    // one per test point, in input order
    bool noPartnerMarker = false;  // -1 marks points without partner (cloud reference)
    alg3D::algorithm::DistanceEvaluation evaluation;
    std::string duration;       // of the distance computation
    std::string text;           // the statistics text, ending in "duration: " + duration
    std::string console;        // the timing lines ("<name> finished in <time>\n")
    double milliseconds = 0.0;  // wall time of computation and evaluation

    // Whether value i is a real distance (not a marker).
    bool matched(std::size_t i) const;
};

JobStatus runDistancesCommand(const DistanceReference& reference, const LoadedData& test,
                              const DistancesOptions& options, DistancesResult& result,
                              const PollCallback& poll = neverAbort,
                              std::chrono::milliseconds interval = kDefaultPollInterval);

}  // namespace commands
}  // namespace tessaro
