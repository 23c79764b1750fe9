// tessaro-cli fit SHAPE FILE [options]: fits a line, plane, circle, ellipse, superellipse,
// sphere, cylinder, cone or torus to the points of FILE with the workbench's fit command
// and prints its console lines, statistics and duration, or the result as JSON (read back
// later as a reference primitive, so its keys are stable; see docs/cli.md). --deviations
// writes the deviation of every point through the file layer's safe output, so the file
// is never half-written.
#include <cmath>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "alg3D/matrix/Alg3dException.h"
#include "cli/Cli.h"
#include "commands/FileCommands.h"
#include "commands/FitCommand.h"
#include "io/OutputFile.h"

namespace tessaro {
namespace cli {
namespace {

using commands::FitOptions;
using commands::FitResult;
using commands::FitShape;
using commands::JobStatus;

constexpr const char* kMethodGauss = "gauss";               // Levenberg-Marquardt, method 1
constexpr const char* kMethodGaussNewton = "gauss-newton";  // method 0
constexpr const char* kMethodChebyshev = "chebyshev";       // method 2, with --element
constexpr const char* kMethodEnclosing = "enclosing";       // minimum enclosing element
constexpr const char* kMethodInscribing = "inscribing";     // maximum inscribing element

// One start value on the command line: "--NAME v" makes the group Given, "--fix-NAME v"
// makes it Fixed.
struct ScalarArgument {
    std::vector<double> given;
    std::vector<double> fixed;
};

struct FitArguments {
    std::string shape;
    std::string file;
    std::string method = kMethodGauss;
    std::string element;  // central (default), outer, inner: with chebyshev only
    bool weighting = false;
    std::uint64_t maxIterations = 100;
    std::vector<double> point, fixPoint, direction, fixDirection;
    ScalarArgument radius, radius2, angle, factor;
    std::string deviations;
};

// Option names of the start-value groups, for the messages about groups a shape ignores.
struct GroupOption {
    unsigned group;
    const char* name;
};
constexpr GroupOption kGroupOptions[] = {
    {commands::kGroupPoint, "point"},   {commands::kGroupDirection, "direction"},
    {commands::kGroupRadius, "radius"}, {commands::kGroupRadius2, "radius2"},
    {commands::kGroupAngle, "angle"},   {commands::kGroupFactor, "factor"},
};

bool groupGiven(const FitArguments& a, unsigned group) {
    switch (group) {
        case commands::kGroupPoint:
            return !a.point.empty() || !a.fixPoint.empty();
        case commands::kGroupDirection:
            return !a.direction.empty() || !a.fixDirection.empty();
        case commands::kGroupRadius:
            return !a.radius.given.empty() || !a.radius.fixed.empty();
        case commands::kGroupRadius2:
            return !a.radius2.given.empty() || !a.radius2.fixed.empty();
        case commands::kGroupAngle:
            return !a.angle.given.empty() || !a.angle.fixed.empty();
        case commands::kGroupFactor:
            return !a.factor.given.empty() || !a.factor.fixed.empty();
        default:
            return false;
    }
}

alg3D::Vec3d toVector(const std::vector<double>& v) {
    return alg3D::Vec3d(v[0], v[1], v[2]);
}

void setVector(commands::FitStartValue<alg3D::Vec3d>& target, const std::vector<double>& given,
               const std::vector<double>& fixed) {
    if (!fixed.empty()) {
        target.fix(toVector(fixed));
    } else if (!given.empty()) {
        target.give(toVector(given));
    }
}

void setScalar(commands::FitStartValue<double>& target, const ScalarArgument& arg) {
    if (!arg.fixed.empty()) {
        target.fix(arg.fixed.front());
    } else if (!arg.given.empty()) {
        target.give(arg.given.front());
    }
}

FitOptions optionsFrom(const FitArguments& a, int threads) {
    FitOptions o;
    o.method = a.method == kMethodGaussNewton ? alg3D::approximate::kGaussNewton
               : a.method == kMethodGauss     ? alg3D::approximate::kLevenbergMarquardt
                                              : alg3D::approximate::kChebyshev;
    if (a.method == kMethodEnclosing) {
        o.element = commands::FitElement::kEnclosing;
    } else if (a.method == kMethodInscribing) {
        o.element = commands::FitElement::kInscribing;
    } else if (a.element == "outer") {
        o.element = commands::FitElement::kOuter;
    } else if (a.element == "inner") {
        o.element = commands::FitElement::kInner;
    }
    o.weighting = a.weighting;
    o.maxIterations = a.maxIterations;
    setVector(o.point, a.point, a.fixPoint);
    setVector(o.direction, a.direction, a.fixDirection);
    setScalar(o.radius, a.radius);
    setScalar(o.radius2, a.radius2);
    setScalar(o.angle, a.angle);
    setScalar(o.factor, a.factor);
    o.threads = threads;
    return o;
}

std::vector<alg3D::Vec3d> plainPoints(commands::LoadedData& data) {
    if (data.kind != commands::DataKind::kColoredPoints) return std::move(data.points);
    std::vector<alg3D::Vec3d> points;
    points.reserve(data.coloredPoints.size());
    for (const alg3D::GLPoint& p : data.coloredPoints)
        points.emplace_back(p.x, p.y, p.z);
    data.coloredPoints.clear();
    data.coloredPoints.shrink_to_fit();
    return points;
}

// Writes one deviation per line with 17 significant digits (each reads back as the same
// double). Returns false when an interrupt stopped it; the file is then left as it was.
bool writeDeviations(const std::string& fileName, const std::vector<double>& deviations) {
    return writeLines(fileName, deviations.size(), [&](std::size_t i, char* t, std::size_t size) {
        return std::snprintf(t, size, "%.17g\n", deviations[i]);
    });
}

nlohmann::ordered_json resultJson(const FitResult& r, const std::string& method) {
    nlohmann::ordered_json j;
    j["shape"] = commands::fitShapeName(r.shape);
    j["method"] = method;
    j["points"] = r.points;
    if (method != kMethodGauss && method != kMethodGaussNewton) {
        j["element"] = commands::fitElementName(r.element);
    }
    j["iterations"] = r.iterations;
    j["max_iterations_reached"] = r.maxIterationsReached;
    nlohmann::ordered_json parameters = nlohmann::ordered_json::object();
    for (const commands::FitParameter& p : r.parameters) {
        if (p.isVector) {
            parameters[p.key] = nlohmann::ordered_json::array({p.vector.x, p.vector.y, p.vector.z});
        } else {
            parameters[p.key] = p.scalar;
        }
    }
    j["parameters"] = parameters;
    if (r.shape == FitShape::kCylinder || r.shape == FitShape::kCone) {
        // Where the fitted points begin along the axis and how far they reach.
        const alg3D::Vec3d& b = r.extentStart;
        j["bottom"] = nlohmann::ordered_json::array({b.x, b.y, b.z});
        j["height"] = r.extentLength;
    }
    j["sigma"] = r.sigma;
    j["mindev"] = r.mindev;
    j["maxdev"] = r.maxdev;
    j["duration_ms"] = r.run.milliseconds;
    return j;
}

int runFit(const FitArguments& args, Context& context) {
    const FitShape shape = *commands::fitShapeFromName(args.shape);
    const unsigned groups = commands::fitGroups(shape);
    const std::string article = args.shape.find_first_of("aeiou") == 0 ? "an " : "a ";
    for (const GroupOption& g : kGroupOptions) {
        if (!(groups & g.group) && groupGiven(args, g.group)) {
            context.reportError(std::string("--") + g.name + " does not apply to " + article +
                                args.shape);
            return kExitUsage;
        }
    }
    const std::pair<const char*, const std::vector<double>*> directions[] = {
        {"--direction", &args.direction}, {"--fix-direction", &args.fixDirection}};
    for (const auto& [name, d] : directions) {
        if (!d->empty() && (*d)[0] == 0.0 && (*d)[1] == 0.0 && (*d)[2] == 0.0) {
            context.reportError(std::string(name) + " must not be the zero vector");
            return kExitUsage;
        }
    }

    // The element has to suit the method and the shape before the file is read.
    if (!args.element.empty() && args.method != kMethodChebyshev) {
        context.reportError("--element needs --method chebyshev");
        return kExitUsage;
    }
    const FitOptions options = optionsFrom(args, context.threads);
    try {
        commands::checkFitMethod(shape, options.method, options.element);
    } catch (const std::invalid_argument&) {
        const std::string what = options.element == commands::FitElement::kOuter ||
                                         options.element == commands::FitElement::kInner
                                     ? "--element " + args.element
                                     : "--method " + args.method;
        context.reportError(what + " does not apply to " + article + args.shape);
        return kExitUsage;
    }

    commands::LoadedData data;
    if (!loadData(context, args.file, data)) return context.interruptedExit();
    const std::vector<alg3D::Vec3d> points = plainPoints(data);

    FitResult result;
    if (!runWithProgress(context, "Fitting", args.file, [&](const commands::PollCallback& poll) {
            return commands::runFitCommand(shape, points, options, result, poll,
                                           Context::kPollInterval);
        }))
        return context.interruptedExit();

    // The deviations first: if they cannot be written, nothing is printed as a success.
    if (!args.deviations.empty()) {
        const bool written = withFile(
            args.deviations, [&] { return writeDeviations(args.deviations, result.deviations); });
        if (!written) return context.interruptedExit();
    }

    if (result.maxIterationsReached) {
        context.reportError(result.title + ": " + commands::kMaxIterationsReached);
    }
    if (context.json) {
        context.printJson(resultJson(result, args.method));
    } else {
        context.out() << result.console << result.statistics << '\n'
                      << result.durationLine() << '\n';
    }
    return kExitSuccess;
}

const CLI::Validator kNonNegative(
    [](const std::string& text) -> std::string {
        try {
            if (std::stod(text) >= 0.0) return {};
        } catch (const std::exception&) {
        }
        return "must not be negative: " + text;
    },
    "");

const CLI::Validator kPositive(
    [](const std::string& text) -> std::string {
        try {
            if (std::stod(text) > 0.0) return {};
        } catch (const std::exception&) {
        }
        return "must be positive: " + text;
    },
    "");

void addVectorPair(CLI::App& sub, const std::string& name, std::vector<double>& given,
                   std::vector<double>& fixed, const std::string& what) {
    CLI::Option* g = sub.add_option("--" + name, given, "Start value of the " + what + " (x,y,z)")
                         ->expected(3)
                         ->delimiter(',')
                         ->check(finiteNumber())
                         ->type_name("X,Y,Z");
    CLI::Option* f = sub.add_option("--fix-" + name, fixed, "Fixed " + what + " (x,y,z)")
                         ->expected(3)
                         ->delimiter(',')
                         ->check(finiteNumber())
                         ->type_name("X,Y,Z");
    g->excludes(f);
}

void addScalarPair(CLI::App& sub, const std::string& name, ScalarArgument& arg,
                   const std::string& what, const CLI::Validator* range) {
    CLI::Option* g = sub.add_option("--" + name, arg.given, "Start value of the " + what)
                         ->expected(1)
                         ->check(finiteNumber())
                         ->type_name("NUMBER");
    CLI::Option* f = sub.add_option("--fix-" + name, arg.fixed, "Fixed " + what)
                         ->expected(1)
                         ->check(finiteNumber())
                         ->type_name("NUMBER");
    if (range) {
        g->check(*range);
        f->check(*range);
    }
    g->excludes(f);
}

RunFunction setupFit(CLI::App& sub) {
    auto args = std::make_shared<FitArguments>();
    std::vector<std::string> shapes;
    for (FitShape s : commands::kFitShapes)
        shapes.emplace_back(commands::fitShapeName(s));
    sub.add_option("SHAPE", args->shape, "Shape to fit")->required()->check(CLI::IsMember(shapes));
    sub.add_option("FILE", args->file,
                   "Point-cloud or mesh file (.xyz .xyzc .asc .pts .psl .stl .scn)")
        ->required();
    sub.add_option("--method", args->method,
                   "gauss (Levenberg-Marquardt, as the workbench's \"Gauss\"), gauss-newton, "
                   "chebyshev (minimum zone), enclosing (minimum enclosing sphere or "
                   "cylinder) or inscribing (maximum inscribing sphere or cylinder)")
        ->check(CLI::IsMember({kMethodGauss, kMethodGaussNewton, kMethodChebyshev, kMethodEnclosing,
                               kMethodInscribing}))
        ->capture_default_str();
    sub.add_option("--element", args->element,
                   "Chebyshev element of a plane, sphere or cylinder: central (default), "
                   "outer or inner")
        ->check(CLI::IsMember({"central", "outer", "inner"}));
    sub.add_flag("--weighting", args->weighting, "Enable outlier weighting");
    sub.add_option("--max-iterations", args->maxIterations, "Iteration cap")
        ->check(wholeNumber())
        ->capture_default_str();
    addVectorPair(sub, "point", args->point, args->fixPoint, "point (axis point or centre)");
    addVectorPair(sub, "direction", args->direction, args->fixDirection,
                  "direction (line direction, normal or axis)");
    addScalarPair(sub, "radius", args->radius,
                  "radius (ellipse a, torus r1, cone radius at the point)", &kNonNegative);
    addScalarPair(sub, "radius2", args->radius2, "second radius (ellipse b, torus r2)",
                  &kNonNegative);
    addScalarPair(sub, "angle", args->angle,
                  "angle in radians (ellipse axis angle, cone opening angle)", nullptr);
    addScalarPair(sub, "factor", args->factor, "superellipse shape factor", &kPositive);
    sub.add_option("--deviations", args->deviations,
                   "Write the deviation of every point, one per line in input order")
        ->type_name("FILE");
    return [args](Context& context) { return runFit(*args, context); };
}

}  // namespace

TESSARO_CLI_SUBCOMMAND("fit",
                       "Fit a line, plane, circle, ellipse, superellipse, sphere, "
                       "cylinder, cone or torus to the points of a file",
                       setupFit)

}  // namespace cli
}  // namespace tessaro
