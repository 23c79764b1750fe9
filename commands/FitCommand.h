// The geometry fit command without its dialogs: fits a line, plane, circle, ellipse,
// superellipse, sphere, cylinder, cone or torus to points on a worker thread and turns the
// result into numbers and the workbench's texts. The GUI's fit command and
// `tessaro-cli fit` both call runFitCommand; the GUI shows the texts in its boxes, result
// table and object list, the CLI prints them.
//
// A run, in order: the title of the shape and a stopwatch; the minimum point check
// ("Not enough points selected": circle more than 2 points, sphere more than 3, ellipse,
// superellipse, cylinder, cone and torus more than 6; line and plane none, their estimates
// check); a fresh fit object with the options' start values and states; the fit on a
// worker thread through the job runner (progress and abort wired to the runner's poll
// callback); the deviation of every point (OpenMP) with their minimum, maximum and
// population standard deviation; the statistics text, the console lines, the primitive's
// description and the duration texts.
//
// Inputs: contiguous points [begin, end), the shape, FitOptions. Outputs: FitResult.
// Errors: NotEnoughPointsError below the command's minimum; the fit's Alg3dException
// (for example "ALG3D::not enough data for geometry approximation.\n" for a cone of 7
// points, "ALG3D::geometry approximation failed.\n" from a Chebyshev run);
// std::invalid_argument for a method other than Gauss-Newton (0), Levenberg-Marquardt (1)
// and Chebyshev (2) or an element the shape does not have (checkFitMethod). An aborted
// run returns JobStatus::kAborted and leaves the result untouched. The outer and inner
// elements are shifted before the statistics; the enclosing and inscribing elements run
// on a worker thread through the job runner as the other fits do (progress, abort).
// Cost: the fit (O(n) per iteration) plus two passes over the points.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "alg3D/approximate/FitFramework.h"
#include "alg3D/approximate/FitObjForward.h"
#include "alg3D/matrix/Matrix.h"
#include "commands/JobRunner.h"

namespace tessaro {
namespace commands {

enum class FitShape {
    kLine,
    kPlane,
    kCircle,
    kEllipse,
    kSuperEllipse,
    kSphere,
    kCylinder,
    kCone,
    kTorus,
};

inline constexpr FitShape kFitShapes[] = {
    FitShape::kLine,     FitShape::kPlane,        FitShape::kCircle,
    FitShape::kEllipse,  FitShape::kSuperEllipse, FitShape::kSphere,
    FitShape::kCylinder, FitShape::kCone,         FitShape::kTorus,
};

// "line", "plane", "circle", "ellipse", "superellipse", "sphere", "cylinder", "cone",
// "torus", and back (nullopt for any other name).
const char* fitShapeName(FitShape shape);
std::optional<FitShape> fitShapeFromName(const std::string& name);

// "Line approximation", "Plane approximation", ... "Torus approximation".
const char* fitTitle(FitShape shape);

inline constexpr const char* kNotEnoughPointsSelected = "Not enough points selected";
inline constexpr const char* kMaxIterationsReached = "Max. number of iterations reached";

// The command refused to run: fewer points than the shape's minimum (the GUI shows it as a
// warning titled with the shape's title).
class NotEnoughPointsError : public std::runtime_error {
  public:
    NotEnoughPointsError() : std::runtime_error(kNotEnoughPointsSelected) {}
};

// The smallest point count the command accepts: 3 for a circle, 4 for a sphere, 7 for
// ellipse, superellipse, cylinder, cone and torus, 0 for line and plane (their estimates
// check on their own).
std::size_t fitMinimumPoints(FitShape shape);
// Throws NotEnoughPointsError when `count` is below fitMinimumPoints(shape).
void checkFitPointCount(FitShape shape, std::size_t count);

// The panel's groups of start values, each with its "fix" box.
enum FitGroup : unsigned {
    kGroupPoint = 1u << 0,      // axis point, centre, plane point
    kGroupDirection = 1u << 1,  // line direction, normal, axis
    kGroupRadius = 1u << 2,     // radius, ellipse a, torus r1, cone radius at the point
    kGroupRadius2 = 1u << 3,    // ellipse b, torus r2
    kGroupAngle = 1u << 4,      // ellipse angle, cone opening angle (radians)
    kGroupFactor = 1u << 5,     // superellipse shape factor
};

// The groups a shape takes start values for (others are ignored, as the panel hides them).
unsigned fitGroups(FitShape shape);

// A start value and its state: Estimate (not given; the estimate computes it), Given (the
// start of the iteration) or Fixed (held).
template <typename T>
struct FitStartValue {
    T value{};
    alg3D::approximate::ParamState state = alg3D::approximate::Estimate;

    void give(const T& v) { value = v, state = alg3D::approximate::Given; }
    void fix(const T& v) { value = v, state = alg3D::approximate::Fixed; }
};

// The element a Chebyshev run (method 2) hands back: the central minimax element, the
// outer or inner element (plane, sphere, cylinder: shifted by the largest or smallest
// signed deviation), or the minimum enclosing or maximum inscribing element (sphere,
// cylinder; see SolidElements.h).
enum class FitElement { kCentral, kOuter, kInner, kEnclosing, kInscribing };

// "central", "outer", "inner", "enclosing", "inscribing".
const char* fitElementName(FitElement element);

// Throws std::invalid_argument unless the method is 0, 1 or 2 and the element fits the
// shape and method (anything but central needs method 2; outer and inner are for plane,
// sphere and cylinder; enclosing and inscribing for sphere and cylinder).
void checkFitMethod(FitShape shape, int method, FitElement element);

// What the panel (or the command line) sets for a run.
struct FitOptions {
    int method = alg3D::approximate::kLevenbergMarquardt;  // 1 = the panel's "Gauss"; 0 = GN;
                                                           // 2 = Chebyshev
    FitElement element = FitElement::kCentral;             // with method 2
    bool weighting = false;                                // outlier weighting
    std::uint64_t maxIterations = 100;                     // iteration cap
    FitStartValue<alg3D::Vec3d> point;
    FitStartValue<alg3D::Vec3d> direction;
    FitStartValue<double> radius;
    FitStartValue<double> radius2;
    FitStartValue<double> angle;
    FitStartValue<double> factor;
    int threads = 0;  // OpenMP threads of the run and the deviations; 0 = all processors
};

// A fitted shape in the panel's groups (so a result can seed the next run's start values).
struct FitGeometry {
    alg3D::Vec3d point;      // line, plane, cylinder, cone: a point of the line, plane or
                             // axis; circle, ellipse, superellipse, sphere, torus: the centre
    alg3D::Vec3d direction;  // unit: line direction, plane/curve normal, axis
    double radius = 0.0;     // circle, sphere, cylinder radius; ellipse a; torus r1; cone
                             // radius in the plane across the axis through `point`
    double radius2 = 0.0;    // ellipse b; torus r2
    double angle = 0.0;      // ellipse: the a axis against the first axis of the normal's
                             // RotationFrame, radians in [0, π); cone: angle between axis and
                             // surface lines, radians, positive when the radius grows along
                             // `direction`
    double factor = 0.0;     // superellipse shape factor
    double d = 0.0;          // plane: −(normal·point)
};

// One parameter of a result under its stable external name (the CLI's JSON keys): line
// point, direction; plane point, normal, d; circle center, normal, radius; ellipse center,
// normal, a, b, angle; superellipse those and factor; sphere center, radius; cylinder
// point, direction, radius; cone point, direction, angle, radius; torus center, direction,
// r1, r2.
struct FitParameter {
    std::string key;
    bool isVector = false;
    alg3D::Vec3d vector;  // when isVector
    double scalar = 0.0;  // otherwise
};

std::vector<FitParameter> fitParameters(FitShape shape, const FitGeometry& geometry);

// What the job runner reports of one run.
struct FitRunInfo {
    std::uint64_t iterations = 0;  // performed
    std::string duration = "-";    // the run's elapsed-time text
    double milliseconds = 0.0;     // the run's wall time
};

struct FitResult {
    FitShape shape = FitShape::kLine;
    std::string title;  // fitTitle(shape)
    int method = alg3D::approximate::kLevenbergMarquardt;
    FitElement element = FitElement::kCentral;
    std::size_t points = 0;
    std::uint64_t iterations = 0;
    bool maxIterationsReached = false;  // iterations ≥ maxIterations (also 0 ≥ 0)
    FitGeometry geometry;
    std::vector<FitParameter> parameters;  // fitParameters(shape, geometry)

    // Deviation of every point, in input order: signed for plane, sphere and cylinder,
    // otherwise the distance. Their minimum, maximum and population standard deviation.
    std::vector<double> deviations;
    double mindev = 0.0;
    double maxdev = 0.0;
    double sigma = 0.0;

    // Extent of the drawn primitive along the direction, from the points' projections:
    // line: the segment from extentStart over extentLength; cylinder, cone: the bottom
    // point on the axis and the height (`tessaro-cli fit --json` writes them as "bottom"
    // and "height"). Zero for the other shapes.
    alg3D::Vec3d extentStart;
    double extentLength = 0.0;
    // Plane: the largest distance of the points' projections from the plane's point (the
    // drawn patch is twice as wide). Zero for the other shapes.
    double planeRadius = 0.0;

    std::string statistics;       // "sigma: …\nmindev: …\nmaxdev: …\niterations: …"
    std::string console;          // the console lines of the shape (standard output)
    std::string description;      // the primitive's own info text
    FitRunInfo run;               // the fit on the worker thread
    std::string commandDuration;  // elapsed text of the whole command

    // The primitive's info text: its description followed by the statistics.
    std::string infoText() const { return description + statistics; }
    // "duration: " run text " (" command text ")".
    std::string durationLine() const {
        return "duration: " + run.duration + " (" + commandDuration + ")";
    }
};

// The statistics text: "sigma: %.6f\nmindev: %.6f\nmaxdev: %.6f\niterations: %zu".
std::string fitStatisticsText(double sigma, double mindev, double maxdev, std::uint64_t iterations);

// The console lines of a result: for the line first "iterations: %zu\n" unless the cap
// was reached, then per shape
//   line            "pt: %lf,%lf,%lf\ndir: %1.10lf,%1.10lf,%1.10lf\n"
//   plane           the line's two lines and "d: %lf\n"
//   circle          the line's two lines (centre, normal) and "radius: %lf\n"
//   ellipse, superellipse
//                   "a:\t%lf\nb:\t%lf\nk:\t%lf(%lf°)\npt:\t%3.4lf,%3.4lf,%3.4lf\n"
//                   "dir:\t%1.10lf,%1.10lf,%1.10lf\n"
//   sphere          "pt: %lf,%lf,%lf\nradius: %lf\n" (centre)
//   cylinder        the line's two lines, "radius: %lf\n", "stdDev: %lf\n" (sigma)
//   cone            the line's two lines, "angle: %lf\n" (degrees), "radius: %lf\n",
//                   "stdDev: %lf\n"
//   torus           "r1: %lf\t r2: %lf\npoint: (%1.10lf,%1.10lf,%1.10lf)\n"
//                   "dir (%1.10lf,%1.10lf,%1.10lf)\n"
std::string fitConsoleText(FitShape shape, const FitGeometry& geometry, double sigma,
                           std::uint64_t iterations, bool maxIterationsReached);

// The primitive's info text (FitPrimitiveInfo.h) for a fitted shape and its extent.
std::string fitDescription(FitShape shape, const FitGeometry& geometry,
                           const alg3D::Vec3d& extentStart, double extentLength);

// Runs one fit object on a worker thread through the job runner with a ParamFitGeometry
// record: method, weighting, maxIterations and threads from the options (start values are
// the caller's business). `poll` sees the record's progress and may abort it. Instantiated
// for the nine fit objects.
template <class FitObj>
JobStatus runFitJob(FitObj& fitObj, const alg3D::Vec3d* begin, const alg3D::Vec3d* end,
                    const FitOptions& options, FitRunInfo& info,
                    const PollCallback& poll = neverAbort,
                    std::chrono::milliseconds interval = kDefaultPollInterval);

// Writes the options' start values and states of the shape's groups into a fresh fit
// object. A zero direction leaves the direction to the estimate.
void applyStartValues(alg3D::approximate::FitObjLine3D& fit, const FitOptions& options);
void applyStartValues(alg3D::approximate::FitObjPlane& fit, const FitOptions& options);
void applyStartValues(alg3D::approximate::FitObjCircle3D& fit, const FitOptions& options);
void applyStartValues(alg3D::approximate::FitObjEllipse3D& fit, const FitOptions& options);
void applyStartValues(alg3D::approximate::FitObjSuperEllipse3D& fit, const FitOptions& options);
void applyStartValues(alg3D::approximate::FitObjSphere& fit, const FitOptions& options);
void applyStartValues(alg3D::approximate::FitObjCylinder& fit, const FitOptions& options);
void applyStartValues(alg3D::approximate::FitObjCone& fit, const FitOptions& options);
void applyStartValues(alg3D::approximate::FitObjTorus& fit, const FitOptions& options);

// A fitted object in the panel's groups.
FitGeometry fitGeometryOf(const alg3D::approximate::FitObjLine3D& fit);
FitGeometry fitGeometryOf(const alg3D::approximate::FitObjPlane& fit);
FitGeometry fitGeometryOf(const alg3D::approximate::FitObjCircle3D& fit);
FitGeometry fitGeometryOf(const alg3D::approximate::FitObjEllipse3D& fit);
FitGeometry fitGeometryOf(const alg3D::approximate::FitObjSuperEllipse3D& fit);
FitGeometry fitGeometryOf(const alg3D::approximate::FitObjSphere& fit);
FitGeometry fitGeometryOf(const alg3D::approximate::FitObjCylinder& fit);
FitGeometry fitGeometryOf(const alg3D::approximate::FitObjCone& fit);
FitGeometry fitGeometryOf(const alg3D::approximate::FitObjTorus& fit);

// The whole command (see the top of this file). On kCompleted `result` holds everything;
// on kAborted it is untouched.
JobStatus runFitCommand(FitShape shape, const alg3D::Vec3d* begin, const alg3D::Vec3d* end,
                        const FitOptions& options, FitResult& result,
                        const PollCallback& poll = neverAbort,
                        std::chrono::milliseconds interval = kDefaultPollInterval);

inline JobStatus runFitCommand(FitShape shape, const std::vector<alg3D::Vec3d>& points,
                               const FitOptions& options, FitResult& result,
                               const PollCallback& poll = neverAbort,
                               std::chrono::milliseconds interval = kDefaultPollInterval) {
    return runFitCommand(shape, points.data(), points.data() + points.size(), options, result, poll,
                         interval);
}

}  // namespace commands
}  // namespace tessaro
