// tessaro-cli register DATA REF [options] [-o OUT]: moves the data cloud onto the reference
// cloud or STL mesh by ICP with the workbench's registration command and prints the
// console line, the statistics text and the transform, or the result as JSON. -o writes
// the transformed data through the file layer's safe output.
#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <string>

#include "cli/Cli.h"
#include "commands/FileCommands.h"
#include "commands/RegisterCommand.h"

namespace tessaro {
namespace cli {
namespace {

using alg3D::algorithm::IcpTransform;
using commands::JobStatus;

struct RegisterArguments {
    std::string data;
    std::string reference;
    std::string output;
    bool chebyshev = false;
    std::string method;  // gauss, chebyshev or point-to-plane; empty = gauss
    unsigned normalsK = 30;
    std::string robust;  // huber or tukey; empty = none
    std::string dof = "rx,ry,rz,tx,ty,tz";
    bool alignCenters = false;
    bool rotateAboutOrigin = false;
    std::uint64_t maxIterations = 100;
    double tolerance = 0.0;
    double searchRadius = 0.0;
    int samples = 2000;
};

// The freedom bits' names, bit 0 first.
constexpr const char* kFreedomNames[] = {"rx", "ry", "rz", "tx", "ty", "tz", "s"};

// "rx,ry,rz,tx,ty,tz,s" (any subset, any order; "" or "none" for no freedom) to the bits.
bool parseFreedom(const std::string& text, unsigned& freedom, std::string& bad) {
    freedom = 0;
    if (text.empty() || text == "none") return true;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        bool known = false;
        for (unsigned k = 0; k < 7; ++k) {
            if (item == kFreedomNames[k]) freedom |= 1u << k, known = true;
        }
        if (!known) {
            bad = item;
            return false;
        }
    }
    return true;
}

nlohmann::ordered_json matrixJson(const IcpTransform& t) {
    nlohmann::ordered_json m = nlohmann::ordered_json::array();
    const alg3D::Matrix4x4d x = t.matrix();
    for (std::size_t k = 0; k < 16; ++k)
        m.push_back(x[k]);
    return m;
}

int runRegister(const RegisterArguments& args, Context& context) {
    commands::RegisterOptions options;
    std::string bad;
    if (!parseFreedom(args.dof, options.freedom, bad)) {
        context.reportError("--dof: unknown degree of freedom '" + bad +
                            "' (use rx,ry,rz,tx,ty,tz,s)");
        return kExitUsage;
    }
    // Two meshes are refused before either file is read.
    withFile(args.data, [&] { commands::checkRegistrationFiles(args.data, args.reference); });
    options.chebyshev = args.chebyshev || args.method == "chebyshev";
    options.pointToPlane = args.method == "point-to-plane";
    if (args.chebyshev && !args.method.empty() && args.method != "chebyshev") {
        context.reportError("--chebyshev contradicts --method " + args.method);
        return kExitUsage;
    }
    if (!options.pointToPlane && (!args.robust.empty() || args.normalsK != 30)) {
        context.reportError("--robust and --normals-k need --method point-to-plane");
        return kExitUsage;
    }
    options.normalsK = args.normalsK;
    if (args.robust == "huber") options.robust = alg3D::algorithm::kIcpRobustHuber;
    if (args.robust == "tukey") options.robust = alg3D::algorithm::kIcpRobustTukey;
    options.alignCenters = args.alignCenters;
    options.rotateAboutOrigin = args.rotateAboutOrigin;
    options.maxIterations = args.maxIterations;
    options.tolerance = args.tolerance;
    options.searchRadius = args.searchRadius;
    options.samples = args.samples;
    options.threads = context.threads;
    if (!args.output.empty())
        withFile(args.output, [&] { return commands::writeJobForFile(args.output); });

    commands::LoadedData data, reference;
    for (auto [file, target] :
         {std::pair{&args.data, &data}, std::pair{&args.reference, &reference}}) {
        if (!loadData(context, *file, *target)) return context.interruptedExit();
    }
    if (!args.output.empty()) {
        withFile(args.output, [&] { commands::checkSavable(args.output, data.kind); });
    }

    commands::RegisterResult result;
    if (!runWithProgress(context, "Registering", args.data,
                         [&](const commands::PollCallback& poll) {
                             return commands::runRegisterCommand(data, reference, options, result,
                                                                 poll, Context::kPollInterval);
                         }))
        return context.interruptedExit();

    if (!args.output.empty() && !saveData(context, args.output, data))
        return context.interruptedExit();

    if (context.json) {
        nlohmann::ordered_json j;
        j["method"] = result.method;
        j["code"] = result.code;
        j["iterations"] = result.iterations;
        j["pairs"] = result.stats.pairs;
        nlohmann::ordered_json rotation = nlohmann::ordered_json::array();
        for (std::size_t k = 0; k < 9; ++k)
            rotation.push_back(result.transform.rotation[k]);
        j["rotation"] = rotation;
        j["translation"] = {result.transform.translation.x, result.transform.translation.y,
                            result.transform.translation.z};
        j["scale"] = result.transform.scale;
        j["matrix"] = matrixJson(result.transform);
        j["meanDev"] = result.stats.meanDev;
        j["minDev"] = result.stats.minDev;
        j["maxDev"] = result.stats.maxDev;
        j["rmse"] = result.stats.rmse;
        j["stdDev"] = result.stats.stdDev;
        if (options.pointToPlane) {
            j["planeMeanDev"] = result.planeMean;
            j["planeRmse"] = result.planeRms;
            nlohmann::ordered_json hidden = nlohmann::ordered_json::array();
            for (unsigned k = 0; k < 7; ++k)
                if (result.unobservable & (1u << k)) hidden.push_back(kFreedomNames[k]);
            j["unobservable"] = hidden;
        }
        j["duration_ms"] = result.milliseconds;
        context.printJson(j);
    } else {
        context.out() << result.console << result.statistics << '\n'
                      << result.transformText << '\n';
    }
    return kExitSuccess;
}

RunFunction setupRegister(CLI::App& sub) {
    auto args = std::make_shared<RegisterArguments>();
    sub.add_option("DATA", args->data, "Point cloud to move (.xyz .xyzc .asc .pts .psl .scn .stl)")
        ->required();
    sub.add_option("REF", args->reference, "Reference point cloud or STL mesh")->required();
    sub.add_flag("--chebyshev", args->chebyshev,
                 "Minimise the maximum deviation (minimax); run Gauss first");
    sub.add_option("--method", args->method,
                   "gauss (point to point, least squares), chebyshev (minimax) or "
                   "point-to-plane (distances to the reference's tangent planes)")
        ->check(CLI::IsMember({"gauss", "chebyshev", "point-to-plane"}));
    sub.add_option("--normals-k", args->normalsK,
                   "Point to plane: neighbours of the reference normals of a point reference")
        ->check(CLI::Range(3u, 100000u))
        ->capture_default_str();
    sub.add_option("--robust", args->robust,
                   "Point to plane: down-weight large plane distances (huber or tukey)")
        ->check(CLI::IsMember({"huber", "tukey"}));
    sub.add_option("--dof", args->dof,
                   "Degrees of freedom, comma-separated from rx,ry,rz,tx,ty,tz,s")
        ->capture_default_str();
    sub.add_flag("--align-centers", args->alignCenters,
                 "Start with the centre of the data moved onto the centre of the reference");
    sub.add_flag("--rotate-about-origin", args->rotateAboutOrigin,
                 "Linearised steps rotate about the origin instead of the data centre");
    sub.add_option("--max-iterations", args->maxIterations, "Iteration cap")
        ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{100000000}))
        ->capture_default_str();
    sub.add_option("--tolerance", args->tolerance,
                   "Tolerance (at least 1e-6, times the data size below size 1)")
        ->check(nonNegativeNumber())
        ->capture_default_str();
    sub.add_option("--search-radius", args->searchRadius,
                   "Maximum pairing distance (0 = automatic)")
        ->check(nonNegativeNumber())
        ->capture_default_str();
    sub.add_option("--samples", args->samples, "Sampled data points (0 = all)")
        ->check(CLI::Range(0, 1000000000))
        ->capture_default_str();
    sub.add_option("-o,--output", args->output, "Write the transformed data (.xyz .xyzc .stl)")
        ->type_name("FILE");
    return [args](Context& context) { return runRegister(*args, context); };
}

}  // namespace

TESSARO_CLI_SUBCOMMAND("register",
                       "Register a point cloud onto a reference cloud or STL mesh (ICP)",
                       setupRegister)

}  // namespace cli
}  // namespace tessaro
