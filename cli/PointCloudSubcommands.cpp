// tessaro-cli normals | features | smooth | thin | regions: the point-cloud processing
// commands on a file. Each loads FILE, runs the workbench's command (commands/
// PointCloudCommands.h) with a progress bar, writes its result cloud with -o (format by
// suffix) and its per-point values with --values (one line per input point, input order,
// 17 significant digits), and prints the panel's text or, with --json, the same numbers
// as JSON. Every file is written through the file layer's safe output: an interrupted or
// failed write leaves the previous file as it was.
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "alg3D/algorithm/Normals.h"
#include "alg3D/algorithm/Smoothing.h"
#include "alg3D/algorithm/SurfaceFeatures.h"
#include "alg3D/matrix/Alg3dException.h"
#include "cli/Cli.h"
#include "commands/FileCommands.h"
#include "commands/PointCloudCommands.h"
#include "io/OutputFile.h"

namespace tessaro {
namespace cli {
namespace {

using commands::JobStatus;
using commands::LoadedData;
using Json = nlohmann::ordered_json;

LoadedData coloredData(const LoadedData& data, const std::vector<alg3D::Color>& colors) {
    LoadedData out;
    out.kind = commands::DataKind::kColoredPoints;
    out.format = "xyzc";
    out.coloredPoints = commands::coloredCopy(data, colors);
    return out;
}

// The neighbourhood options of normals and features: the kind (auto, radius, knn) under
// the command's own option name, the radius and the point number.
struct Neighbourhood {
    std::string option;  // "--mode" or "--kernel"
    std::string kind = "auto";
    double radius = -1.0;  // not given
    std::uint64_t k = 30;

    bool byRadius() const { return kind == "radius"; }
    bool byPointNumber() const { return kind == "knn"; }
    double radiusOrZero() const { return radius < 0.0 ? 0.0 : radius; }
};

void addNeighbourhoodOptions(CLI::App& sub, Neighbourhood& n, const std::string& option,
                             const std::string& noun) {
    n.option = option;
    sub.add_option(option, n.kind, "Kernel: auto, radius or knn (k nearest points)")
        ->check(CLI::IsMember({"auto", "radius", "knn"}))
        ->capture_default_str();
    sub.add_option("--radius", n.radius, "Neighbourhood radius (" + noun + " radius)")
        ->check(nonNegativeNumber());
    sub.add_option("--k", n.k, "Number of nearest points (" + noun + " knn)")
        ->check(wholeNumber())
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
}

// False, with the usage error reported, when the radius kind has no radius.
bool checkNeighbourhood(const Neighbourhood& n, Context& context) {
    if (n.byRadius() && n.radius < 0.0) {
        context.reportError(n.option + " radius needs --radius");
        return false;
    }
    return true;
}

// ------------------------------------------------------------------ normals

struct NormalsArguments {
    std::string file;
    Neighbourhood mode;
    std::string output, values;
};

int runNormals(const NormalsArguments& a, Context& context) {
    commands::NormalsOptions options;
    options.mode = a.mode.byRadius()        ? alg3D::algorithm::kNormalsRadius
                   : a.mode.byPointNumber() ? alg3D::algorithm::kNormalsPointNumber
                                            : alg3D::algorithm::kNormalsAuto;
    if (!checkNeighbourhood(a.mode, context)) return kExitUsage;
    if (!a.output.empty() && commands::fileSuffix(a.output) != "xyz") {
        context.reportError("normals are written as .xyz (x y z nx ny nz): " + a.output);
        return kExitUsage;
    }
    options.radius = a.mode.radiusOrZero();
    options.k = a.mode.k;
    options.threads = context.threads;
    LoadedData data;
    if (!loadData(context, a.file, data)) return context.interruptedExit();
    commands::NormalsResult result;
    if (!runWithProgress(context, "Normals", a.file, [&](const commands::PollCallback& poll) {
            return commands::runNormalsCommand(data, options, result, poll, Context::kPollInterval);
        }))
        return context.interruptedExit();
    const auto& n = result.normals;
    if (!a.values.empty() &&
        !writeLines(a.values, n.size(), [&](std::size_t i, char* t, std::size_t size) {
            return std::snprintf(t, size, "%.17g %.17g %.17g\n", double(n[i].x), double(n[i].y),
                                 double(n[i].z));
        }))
        return context.interruptedExit();
    if (!a.output.empty() &&
        !writeLines(a.output, n.size(), [&](std::size_t i, char* t, std::size_t size) {
            const alg3D::Vec3d p = data.pointAt(i);
            return std::snprintf(t, size, "%lf\t%lf\t%lf\t%.9g\t%.9g\t%.9g\n", p.x, p.y, p.z,
                                 double(n[i].x), double(n[i].y), double(n[i].z));
        }))
        return context.interruptedExit();
    std::size_t zero = 0;
    for (const alg3D::Vec3f& v : n)
        zero += (v.x == 0.0f && v.y == 0.0f && v.z == 0.0f) ? 1 : 0;
    if (context.json) {
        Json j;
        j["points"] = n.size();
        j["mode"] = a.mode.kind;
        j["zero_normals"] = zero;
        j["duration_ms"] = result.run.milliseconds;
        context.printJson(j);
    } else {
        context.out() << result.run.console << result.panelText << '\n';
    }
    return kExitSuccess;
}

RunFunction setupNormals(CLI::App& sub) {
    auto a = std::make_shared<NormalsArguments>();
    sub.add_option("FILE", a->file, "Point-cloud file")->required();
    addNeighbourhoodOptions(sub, a->mode, "--mode", "mode");
    sub.add_option("-o,--output", a->output, "Write \"x y z nx ny nz\" per point (.xyz)")
        ->type_name("OUT");
    sub.add_option("--values", a->values, "Write \"nx ny nz\" per point")->type_name("FILE");
    return [a](Context& context) { return runNormals(*a, context); };
}

// ----------------------------------------------------------------- features

struct FeaturesArguments {
    std::string file;
    std::string feature;
    Neighbourhood kernel;
    std::string output, values;
};

int runFeatures(const FeaturesArguments& a, Context& context) {
    commands::FeaturesOptions options;
    options.feature = a.feature == "density"     ? alg3D::algorithm::kFeatureDensity
                      : a.feature == "intrinsic" ? alg3D::algorithm::kFeatureIntrinsicCurvature
                      : a.feature == "extrinsic" ? alg3D::algorithm::kFeatureExtrinsicCurvature
                                                 : alg3D::algorithm::kFeatureLocalEdges;
    options.kernel = a.kernel.byRadius()        ? alg3D::algorithm::kKernelRadius
                     : a.kernel.byPointNumber() ? alg3D::algorithm::kKernelPointNumber
                                                : alg3D::algorithm::kKernelAuto;
    if (!checkNeighbourhood(a.kernel, context)) return kExitUsage;
    options.radius = a.kernel.radiusOrZero();
    options.k = a.kernel.k;
    options.threads = context.threads;
    LoadedData data;
    if (!loadData(context, a.file, data)) return context.interruptedExit();
    commands::FeaturesResult result;
    if (!runWithProgress(context, "Features", a.file, [&](const commands::PollCallback& poll) {
            return commands::runFeaturesCommand(data, options, result, poll,
                                                Context::kPollInterval);
        }))
        return context.interruptedExit();
    const auto& v = result.values;
    if (!a.values.empty() &&
        !writeLines(a.values, v.size(), [&](std::size_t i, char* t, std::size_t size) {
            return std::snprintf(t, size, "%.17g\n", v[i]);
        }))
        return context.interruptedExit();
    if (!a.output.empty() &&
        !saveData(context, a.output, coloredData(data, result.evaluation.colors)))
        return context.interruptedExit();
    const auto& e = result.evaluation;
    if (context.json) {
        Json j;
        j["feature"] = a.feature;
        j["kernel"] = a.kernel.kind;
        j["points"] = v.size();
        j["min"] = e.minimum;
        j["max"] = e.maximum;
        j["mean"] = e.mean;
        j["median"] = e.median;
        j["std_dev"] = e.stdDev;
        j["color_low"] = e.low;
        j["color_high"] = e.high;
        j["duration_ms"] = result.run.milliseconds;
        context.printJson(j);
    } else {
        context.out() << result.run.console << result.panelText << '\n'
                      << "colour range: " << result.lowText << " .. " << result.highText << '\n';
    }
    return kExitSuccess;
}

RunFunction setupFeatures(CLI::App& sub) {
    auto a = std::make_shared<FeaturesArguments>();
    sub.add_option("FILE", a->file, "Point-cloud file")->required();
    sub.add_option("--feature", a->feature, "edges, density, intrinsic or extrinsic")
        ->required()
        ->check(CLI::IsMember({"edges", "density", "intrinsic", "extrinsic"}));
    addNeighbourhoodOptions(sub, a->kernel, "--kernel", "kernel");
    sub.add_option("-o,--output", a->output, "Write the colour-coded points (.xyzc)")
        ->type_name("OUT");
    sub.add_option("--values", a->values, "Write the value of every point")->type_name("FILE");
    return [a](Context& context) { return runFeatures(*a, context); };
}

// ------------------------------------------------------------------- smooth

struct SmoothArguments {
    std::string file;
    std::string function;
    double radius = 0.0;
    std::string output, values;
};

int runSmooth(const SmoothArguments& a, Context& context) {
    commands::SmoothingOptions options;
    options.function = a.function == "shape"     ? alg3D::algorithm::kSmoothShapePreserving
                       : a.function == "feature" ? alg3D::algorithm::kSmoothFeaturePreserving
                                                 : alg3D::algorithm::kSmoothGauss;
    options.radius = a.radius;
    options.threads = context.threads;
    LoadedData data;
    if (!loadData(context, a.file, data)) return context.interruptedExit();
    commands::SmoothingResult result;
    if (!runWithProgress(context, "Smoothing", a.file, [&](const commands::PollCallback& poll) {
            return commands::runSmoothingCommand(data, options, result, poll,
                                                 Context::kPollInterval);
        }))
        return context.interruptedExit();
    if (!a.values.empty()) {
        const std::vector<double> moved = commands::smoothingDisplacements(data, result);
        if (!writeLines(a.values, moved.size(), [&](std::size_t i, char* t, std::size_t size) {
                return std::snprintf(t, size, "%.17g\n", moved[i]);
            }))
            return context.interruptedExit();
    }
    commands::applySmoothing(data, result);
    if (!saveData(context, a.output, data)) return context.interruptedExit();
    if (context.json) {
        Json j;
        j["points"] = result.points.size();
        j["function"] = a.function;
        j["radius"] = a.radius;
        j["duration_ms"] = result.run.milliseconds;
        context.printJson(j);
    } else {
        context.out() << result.run.console << result.panelText << '\n';
    }
    return kExitSuccess;
}

RunFunction setupSmooth(CLI::App& sub) {
    auto a = std::make_shared<SmoothArguments>();
    sub.add_option("FILE", a->file, "Point-cloud file")->required();
    sub.add_option("--function", a->function, "gauss, shape (preserving) or feature (preserving)")
        ->required()
        ->check(CLI::IsMember({"gauss", "shape", "feature"}));
    sub.add_option("--radius", a->radius, "Neighbourhood radius")
        ->required()
        ->check(nonNegativeNumber());
    sub.add_option("-o,--output", a->output, "Write the smoothed points (.xyz, .xyzc)")
        ->required()
        ->type_name("OUT");
    sub.add_option("--values", a->values, "Write the distance every point moved")
        ->type_name("FILE");
    return [a](Context& context) { return runSmooth(*a, context); };
}

// --------------------------------------------------------------------- thin

struct ThinArguments {
    std::string file;
    std::uint64_t count = 0;
    double spacing = 0.0;
    std::string output, values;
    bool byCount = false;
};

int runThin(const ThinArguments& a, Context& context) {
    commands::ThinningOptions options;
    options.byCount = a.byCount;
    options.count = a.count;
    options.radius = a.spacing;
    options.threads = context.threads;
    LoadedData data;
    if (!loadData(context, a.file, data)) return context.interruptedExit();
    commands::ThinningResult result;
    if (!runWithProgress(context, "Thinning", a.file, [&](const commands::PollCallback& poll) {
            return commands::runThinningCommand(data, nullptr, options, result, poll,
                                                Context::kPollInterval);
        }))
        return context.interruptedExit();
    const auto& kept = result.kept;
    if (!a.values.empty() &&
        !writeLines(a.values, kept.size(), [&](std::size_t i, char* t, std::size_t size) {
            return std::snprintf(t, size, "%d\n", int(kept[i]));
        }))
        return context.interruptedExit();
    if (!saveData(context, a.output, data)) return context.interruptedExit();
    if (context.json) {
        Json j;
        j["input_points"] = result.inputPoints;
        j["output_points"] = result.outputPoints;
        j["duration_ms"] = result.run.milliseconds;
        context.printJson(j);
    } else {
        context.out() << result.run.console << result.panelText << '\n';
    }
    return kExitSuccess;
}

RunFunction setupThin(CLI::App& sub) {
    auto a = std::make_shared<ThinArguments>();
    sub.add_option("FILE", a->file, "Point-cloud file")->required();
    CLI::Option* count =
        sub.add_option("--count", a->count, "Keep this many points, spread over the cloud")
            ->check(wholeNumber());
    CLI::Option* spacing =
        sub.add_option("--spacing", a->spacing, "Leave no two points within this distance")
            ->check(nonNegativeNumber());
    count->excludes(spacing);
    sub.add_option("-o,--output", a->output, "Write the remaining points")
        ->required()
        ->type_name("OUT");
    sub.add_option("--values", a->values, "Write 1 for every kept and 0 for every removed point")
        ->type_name("FILE");
    sub.callback([a, count, spacing] {
        if (count->count() == 0 && spacing->count() == 0)
            throw CLI::RequiredError("--count or --spacing");
        a->byCount = count->count() > 0;
    });
    return [a](Context& context) { return runThin(*a, context); };
}

// ------------------------------------------------------------------ regions

struct RegionsArguments {
    std::string file;
    double radius = 0.0;
    std::uint64_t maxPoints = 0;
    bool select = false;
    std::string output, selected, values;
};

int runRegions(const RegionsArguments& a, Context& context) {
    commands::RegionsOptions options;
    options.radius = a.radius;
    options.select = a.select;
    options.maxPoints = a.maxPoints;
    options.threads = context.threads;
    if (!a.selected.empty() && !a.select) {
        context.reportError("--selected needs --select-max-points");
        return kExitUsage;
    }
    LoadedData data;
    if (!loadData(context, a.file, data)) return context.interruptedExit();
    commands::RegionsResult result;
    if (!runWithProgress(context, "Regions", a.file, [&](const commands::PollCallback& poll) {
            return commands::runRegionsCommand(data, options, result, poll, Context::kPollInterval);
        }))
        return context.interruptedExit();
    const auto& labels = result.labels;
    if (!a.values.empty() &&
        !writeLines(a.values, labels.size(), [&](std::size_t i, char* t, std::size_t size) {
            return std::snprintf(t, size, "%llu\n", static_cast<unsigned long long>(labels[i]));
        }))
        return context.interruptedExit();
    if (!a.output.empty() && !saveData(context, a.output, coloredData(data, result.colors)))
        return context.interruptedExit();
    if (!a.selected.empty()) {
        LoadedData picked;
        picked.kind = data.kind;
        for (std::size_t i = 0; i < result.selected.size(); ++i) {
            if (!result.selected[i]) continue;
            if (data.kind == commands::DataKind::kColoredPoints)
                picked.coloredPoints.push_back(data.coloredPoints[i]);
            else
                picked.points.push_back(data.points[i]);
        }
        if (!saveData(context, a.selected, picked)) return context.interruptedExit();
    }
    if (context.json) {
        Json j;
        j["points"] = labels.size();
        j["regions"] = result.regionCount;
        if (a.select) j["selected"] = result.selectedCount;
        j["duration_ms"] = result.run.milliseconds;
        context.printJson(j);
    } else {
        context.out() << result.run.console << result.panelText << '\n';
        if (a.select) context.out() << "Selected points: " << result.selectedCount << '\n';
    }
    return kExitSuccess;
}

RunFunction setupRegions(CLI::App& sub) {
    auto a = std::make_shared<RegionsArguments>();
    sub.add_option("FILE", a->file, "Point-cloud file")->required();
    sub.add_option("--radius", a->radius, "Largest step within a region")
        ->required()
        ->check(nonNegativeNumber());
    CLI::Option* select = sub.add_option("--select-max-points", a->maxPoints,
                                         "Select the points of regions with fewer points")
                              ->check(wholeNumber());
    sub.add_option("-o,--output", a->output, "Write the points coloured by region (.xyzc)")
        ->type_name("OUT");
    sub.add_option("--selected", a->selected, "Write the selected points")->type_name("FILE");
    sub.add_option("--values", a->values, "Write the region label of every point")
        ->type_name("FILE");
    sub.callback([a, select] { a->select = select->count() > 0; });
    return [a](Context& context) { return runRegions(*a, context); };
}

}  // namespace

TESSARO_CLI_SUBCOMMAND("normals", "Estimate a surface normal for every point", setupNormals)
TESSARO_CLI_SUBCOMMAND("features",
                       "Local edges, point density or curvature of every point, with statistics",
                       setupFeatures)
TESSARO_CLI_SUBCOMMAND("smooth", "Smooth a point cloud (Gauss, shape or feature preserving)",
                       setupSmooth)
TESSARO_CLI_SUBCOMMAND("thin", "Thin a point cloud to a point count or a minimum spacing",
                       setupThin)
TESSARO_CLI_SUBCOMMAND("regions", "Split a point cloud into connected regions", setupRegions)

}  // namespace cli
}  // namespace tessaro
