// tessaro-cli distances TEST (REF | --primitive FIT.json) [options]: distances of the test
// cloud from a reference cloud, STL mesh or fitted primitive (the JSON of `tessaro-cli fit
// --json`), evaluated as the workbench's distance tool does: statistics text, colours,
// selection by range. Output files go through the file layer's safe output.
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "alg3D/matrix/Alg3dException.h"
#include "cli/Cli.h"
#include "commands/DistancesCommand.h"
#include "commands/FileCommands.h"
#include "commands/FitResultFile.h"
#include "commands/PointCloudCommands.h"
#include "io/OutputFile.h"

namespace tessaro {
namespace cli {
namespace {

using commands::JobStatus;
using commands::LoadedData;

struct DistancesArguments {
    std::string test;
    std::string reference;
    std::string primitive;
    double maxDistance = 0.0;
    bool absolute = false;
    std::vector<double> minD, maxD;
    std::string select;
    bool colorAuto = false;
    std::vector<double> colorMin, colorMax;
    std::string values;
    std::string output;
    std::string selected;
};

// A fit result (`tessaro-cli fit --json`) as a reference primitive. Throws with the
// reason when the file does not hold one.
commands::DistanceReference readPrimitive(const std::string& fileName) {
    const commands::FitResultFile file = commands::readFitResultFile(fileName);
    commands::DistanceReference ref;
    ref.primitive = file.shapeName;  // the command refuses an unknown one with its own text
    ref.geometry = file.geometry;
    return ref;
}

// One value per line with 17 significant digits; points without a partner as "nan".
// Returns false when an interrupt stopped it (the file is then left as it was).
bool writeValues(const std::string& fileName, const commands::DistancesResult& r) {
    return writeLines(fileName, r.values.size(), [&](std::size_t i, char* t, std::size_t size) {
        return r.matched(i) ? std::snprintf(t, size, "%.17g\n", r.values[i])
                            : std::snprintf(t, size, "nan\n");
    });
}

int runDistances(const DistancesArguments& args, Context& context) {
    if (args.reference.empty() == args.primitive.empty()) {
        context.reportError("give either REF or --primitive FIT.json");
        return kExitUsage;
    }
    if (args.colorMin.empty() != args.colorMax.empty()) {
        context.reportError("--color-min and --color-max go together");
        return kExitUsage;
    }
    for (const std::string* f : {&args.output, &args.selected}) {
        if (!f->empty()) {
            withFile(*f, [&] { return commands::writeJobForFile(*f); });
            withFile(*f, [&] { commands::checkSavable(*f, commands::DataKind::kPoints); });
        }
    }

    commands::DistancesOptions options;
    options.maxDistance = args.maxDistance;
    options.threads = context.threads;
    auto& s = options.evaluation;
    s.absolute = args.absolute;
    if (!args.minD.empty()) s.minD = args.minD.front();
    if (!args.maxD.empty()) s.maxD = args.maxD.front();
    s.selectInside = args.select == "inside";
    s.selectOutside = args.select == "outside";
    s.colorAuto = args.colorMin.empty();
    if (!s.colorAuto) {
        s.colorMin = args.colorMin.front();
        s.colorMax = args.colorMax.front();
    }

    commands::DistanceReference reference;
    if (!args.primitive.empty())
        reference = withFile(args.primitive, [&] { return readPrimitive(args.primitive); });

    LoadedData test, referenceData;
    if (!loadData(context, args.test, test)) return context.interruptedExit();
    if (!args.reference.empty()) {
        if (!loadData(context, args.reference, referenceData)) return context.interruptedExit();
        reference.data = &referenceData;
    }

    commands::DistancesResult result;
    const std::string& concerned = args.primitive.empty() ? args.reference : args.primitive;
    if (!runWithProgress(
            context, "Measuring", args.test,
            [&](const commands::PollCallback& poll) {
                return commands::runDistancesCommand(reference, test, options, result, poll,
                                                     Context::kPollInterval);
            },
            concerned))
        return context.interruptedExit();

    // Files first: if one cannot be written, nothing is printed as a success.
    if (!args.values.empty()) {
        if (!withFile(args.values, [&] { return writeValues(args.values, result); }))
            return context.interruptedExit();
    }
    if (!args.output.empty()) {
        LoadedData out;
        out.kind = commands::DataKind::kColoredPoints;
        out.coloredPoints = commands::coloredCopy(test, result.evaluation.colors);
        if (!saveData(context, args.output, out)) return context.interruptedExit();
    }
    if (!args.selected.empty()) {
        LoadedData out;
        out.kind = commands::DataKind::kPoints;
        for (std::size_t i = 0; i < test.pointCount(); ++i)
            if (result.evaluation.selected[i]) out.points.push_back(test.pointAt(i));
        if (!saveData(context, args.selected, out)) return context.interruptedExit();
    }

    const auto& e = result.evaluation;
    if (context.json) {
        nlohmann::ordered_json j;
        j["pairs"] = e.pairs;
        j["selected"] = e.selectedCount;
        j["minDev"] = e.minDev;
        j["maxDev"] = e.maxDev;
        j["meanDev"] = e.meanDev;
        j["median"] = e.median;
        j["stdDev"] = e.stdDev;
        j["colorMin"] = e.colorMin;
        j["colorMax"] = e.colorMax;
        j["duration_ms"] = result.milliseconds;
        context.printJson(j);
    } else {
        context.out() << result.console << result.text << '\n';
    }
    return kExitSuccess;
}

RunFunction setupDistances(CLI::App& sub) {
    auto args = std::make_shared<DistancesArguments>();
    sub.add_option("TEST", args->test, "Test point cloud (.xyz .xyzc .asc .pts .psl .scn)")
        ->required();
    sub.add_option("REF", args->reference, "Reference point cloud or STL mesh");
    sub.add_option("--primitive", args->primitive,
                   "Reference primitive: the JSON of `tessaro-cli fit --json`")
        ->type_name("FIT.json");
    sub.add_option("--max-distance", args->maxDistance, "Largest distance searched (0 = unbounded)")
        ->check(nonNegativeNumber())
        ->capture_default_str();
    sub.add_flag("--abs", args->absolute, "Evaluate absolute values");
    sub.add_option("--min", args->minD, "Smallest value in range (default: none)")
        ->expected(1)
        ->check(anyNumber());
    sub.add_option("--max", args->maxD, "Largest value in range (default: none)")
        ->expected(1)
        ->check(anyNumber());
    sub.add_option("--select", args->select, "Select the points inside or outside the range")
        ->check(CLI::IsMember({"inside", "outside"}));
    CLI::Option* automatic =
        sub.add_flag("--color-auto", args->colorAuto,
                     "Colour range mean ± 3 standard deviations within min and max (default)");
    CLI::Option* cmin = sub.add_option("--color-min", args->colorMin, "Value coloured blue")
                            ->expected(1)
                            ->check(anyNumber());
    CLI::Option* cmax = sub.add_option("--color-max", args->colorMax, "Value coloured red")
                            ->expected(1)
                            ->check(anyNumber());
    automatic->excludes(cmin)->excludes(cmax);
    sub.add_option("--values", args->values,
                   "Write one distance per test point (17 digits; nan without partner)")
        ->type_name("FILE");
    sub.add_option("-o,--output", args->output, "Write the colour-coded test cloud (.xyzc)")
        ->type_name("FILE");
    sub.add_option("--selected", args->selected, "Write the selected points (.xyz)")
        ->type_name("FILE");
    return [args](Context& context) { return runDistances(*args, context); };
}

}  // namespace

TESSARO_CLI_SUBCOMMAND("distances",
                       "Distances of a point cloud from a reference cloud, STL mesh or fitted "
                       "primitive, with statistics, colours and selection",
                       setupDistances)

}  // namespace cli
}  // namespace tessaro
