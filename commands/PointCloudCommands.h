// The point-cloud processing commands without their panels: normals, surface features,
// smoothing, thinning and region detection. Each checks its input, runs its algorithm
// on a worker thread through the job runner (progress and abort wired to the poll
// callback), times the run with a stopwatch named after the workbench's computation
// ("calcNormals", "calcEdges", "calcSmoothing", "calcThinning", "calcRegions") and
// builds the panel's text. The GUI shows the texts and applies the results to the
// cloud; `tessaro-cli normals|features|smooth|thin|regions` prints and writes them.
//
// Inputs: loaded data (plain or coloured points; meshes are refused with the command's
// text) and the options. Outputs: result records; only runThinningCommand changes the
// data, and only after a run that completed.
// Errors: std::runtime_error with the command's text for a mesh; std::invalid_argument
// for a radius that is negative or not finite, or a point number of 0 when the k nearest
// points are the kernel or thinning keeps a point number; the library's exceptions (memory).
// An aborted run returns JobStatus::kAborted and leaves the result (and the data) as
// they were.
// Cost: the algorithm's (see alg3D/algorithm/Normals.h and the others) plus O(n) copies.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "alg3D/algorithm/SurfaceFeatures.h"
#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"
#include "commands/FileCommands.h"
#include "commands/JobRunner.h"

namespace tessaro {
namespace commands {

// The window's titles of the two commands of the surface-features panel (its warning
// while neither "Normals" nor "Curvature" is chosen is kSelectAlgorithm below).
inline constexpr const char* kNormalsTitle = "Normal vectors";
inline constexpr const char* kFeaturesTitle = "Surface features";
inline constexpr const char* kNormalsPointcloudsOnly =
    "Normal vectors can be computed for pointclouds only!";
inline constexpr const char* kFeaturesPointcloudsOnly =
    "Surface features can be computed for pointclouds only!";
inline constexpr const char* kObjectCanNotBeSmoothed = "Object can not be smoothed!";
inline constexpr const char* kDataTypeCanNotBeThinned = "Data type can not be thinned!";
inline constexpr const char* kObjectCanNotBeProcessed = "Object can not be processed!";

// The window's titles of the preprocess commands, and the warning of the preprocess and
// surface-features panels when no algorithm is chosen (titled "Algorithms" in the first). An
// exception of the region run is shown under its own title.
inline constexpr const char* kAlgorithmsTitle = "Algorithms";
inline constexpr const char* kSelectAlgorithm = "Please select an algorithm!";
inline constexpr const char* kSmoothingTitle = "Smoothing";
inline constexpr const char* kThinningTitle = "Thinning";
inline constexpr const char* kRegionsTitle = "Region detection";
inline constexpr const char* kRegionsErrorTitle = "Region Detection";

// What every run reports.
struct ProcessingRun {
    std::string duration;       // the stopwatch's elapsed text
    double milliseconds = 0.0;  // wall time of the run
    std::string console;        // "<name> finished in <duration>\n" (e.g. calcNormals)
};

// ---- normals
struct NormalsOptions {
    int mode = 0;          // 0 auto, 1 radius, 2 point number (alg3D::algorithm::NormalsMode)
    double radius = 0.0;   // mode 1
    std::uint64_t k = 30;  // mode 2
    int threads = 0;       // 0 = all processors
};

struct NormalsResult {
    std::vector<alg3D::Vec3f> normals;  // one per point, input order; (0, 0, 0) = none
    ProcessingRun run;
    std::string panelText;  // "Duration: " + duration
};

JobStatus runNormalsCommand(const LoadedData& data, const NormalsOptions& options,
                            NormalsResult& result, const PollCallback& poll = neverAbort,
                            std::chrono::milliseconds interval = kDefaultPollInterval);

// ---- surface features
struct FeaturesOptions {
    int feature = 0;       // 0 edges, 1 density, 2 intrinsic, 3 extrinsic curvature
    int kernel = 0;        // 0 auto, 1 radius, 2 point number
    double radius = 0.0;   // kernel 1
    std::uint64_t k = 30;  // kernel 2
    int threads = 0;
};

struct FeaturesResult {
    std::vector<double> values;                      // one per point, input order
    alg3D::algorithm::FeatureEvaluation evaluation;  // statistics, colour range, colours
    std::string lowText, highText;                   // the colour bar's limits ("%g")
    ProcessingRun run;
    std::string panelText;  // the statistics text, ending with "duration: " + duration
};

JobStatus runFeaturesCommand(const LoadedData& data, const FeaturesOptions& options,
                             FeaturesResult& result, const PollCallback& poll = neverAbort,
                             std::chrono::milliseconds interval = kDefaultPollInterval);

// ---- smoothing
struct SmoothingOptions {
    int function = 1;  // 1 Gauss, 2 shape preserving, 3 feature preserving
    double radius = 0.0;
    int threads = 0;
};

struct SmoothingResult {
    std::vector<alg3D::Vec3d> points;  // the smoothed coordinates, input order
    ProcessingRun run;
    std::string panelText;  // "Duration: " + duration
};

JobStatus runSmoothingCommand(const LoadedData& data, const SmoothingOptions& options,
                              SmoothingResult& result, const PollCallback& poll = neverAbort,
                              std::chrono::milliseconds interval = kDefaultPollInterval);

// How far every point moved (the distance between its coordinates in `data`, before
// applySmoothing, and in the result), input order; empty when the counts differ.
std::vector<double> smoothingDisplacements(const LoadedData& data, const SmoothingResult& result);

// Replaces the coordinates of the data's points (colours stay) with a result.
void applySmoothing(LoadedData& data, const SmoothingResult& result);

// ---- thinning
struct ThinningOptions {
    bool byCount = false;  // true: keep `count` points; false: minimum spacing
    std::uint64_t count = 0;
    double radius = 0.0;
    int threads = 0;
};

struct ThinningResult {
    std::size_t inputPoints = 0;
    std::size_t outputPoints = 0;
    std::vector<std::uint8_t> kept;  // after a completed run: 1/0 per input point, input order
    ProcessingRun run;
    // "Input points: N\n", and after a completed run "Output points: M\nDuration: t".
    std::string panelText;
};

// Thins the data in place (and `normals` beside it when given with one per point).
// After an abort the data and normals are exactly as they were.
JobStatus runThinningCommand(LoadedData& data, std::vector<alg3D::Vec3f>* normals,
                             const ThinningOptions& options, ThinningResult& result,
                             const PollCallback& poll = neverAbort,
                             std::chrono::milliseconds interval = kDefaultPollInterval);

// ---- regions
struct RegionsOptions {
    double radius = 0.0;
    bool select = false;          // "Select regions"
    std::uint64_t maxPoints = 0;  // "Max. points": regions with fewer points are selected
    int threads = 0;
};

struct RegionsResult {
    std::vector<std::uint64_t> labels;  // one per point, input order
    std::uint64_t regionCount = 0;
    std::vector<alg3D::Color> colors;    // by label
    std::vector<std::uint8_t> selected;  // when selecting: 1 for points of small regions
    std::size_t selectedCount = 0;
    ProcessingRun run;
    std::string panelText;  // "Duration: t\nRegions: R"
};

JobStatus runRegionsCommand(const LoadedData& data, const RegionsOptions& options,
                            RegionsResult& result, const PollCallback& poll = neverAbort,
                            std::chrono::milliseconds interval = kDefaultPollInterval);

// The data's points with the given colours (one per point), for colour-coded output.
std::vector<alg3D::GLPoint> coloredCopy(const LoadedData& data,
                                        const std::vector<alg3D::Color>& colors);

}  // namespace commands
}  // namespace tessaro
