// tessaro-cli hull FILE -o OUT.stl: the convex hull of the points of FILE with the
// workbench's hull command, written as a binary STL; prints the command's console lines
// and the text of its information box, or {"triangles", "vertices", "duration_ms"} as
// JSON. The STL is written through the file layer's safe output, so a failed write leaves
// OUT as it was.
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "commands/FileCommands.h"
#include "commands/HullCommand.h"

namespace tessaro {
namespace cli {
namespace {

using commands::JobStatus;

struct HullArguments {
    std::string file;
    std::string output;
};

int runHull(const HullArguments& args, Context& context) {
    if (commands::fileSuffix(args.output) != "stl") {
        context.reportError("--output must name an .stl file: " + args.output);
        return kExitUsage;
    }
    commands::LoadedData data;
    if (!loadData(context, args.file, data)) return context.interruptedExit();
    if (data.kind == commands::DataKind::kMesh) {
        throw FileError(args.file, commands::kHullCloudsOnly);
    }

    const alg3D::Color white(255, 255, 255);
    const commands::HullResult hull =
        data.kind == commands::DataKind::kColoredPoints
            ? commands::runHullCommand(data.coloredPoints, args.file, white,
                                       &Context::interruptFlag())
            : commands::runHullCommand(data.points, args.file, white, &Context::interruptFlag());
    if (hull.aborted || Context::interrupted()) return context.interruptedExit();

    commands::LoadedData mesh;
    mesh.kind = commands::DataKind::kMesh;
    mesh.points = hull.triangleSoup();
    if (!saveData(context, args.output, mesh)) return context.interruptedExit();

    if (context.json) {
        nlohmann::ordered_json j;
        j["triangles"] = hull.triangleCount();
        j["vertices"] = hull.vertices.size();
        j["duration_ms"] = hull.milliseconds;
        context.printJson(j);
    } else {
        context.out() << hull.console << hull.infoText() << '\n';
    }
    return kExitSuccess;
}

RunFunction setupHull(CLI::App& sub) {
    auto args = std::make_shared<HullArguments>();
    sub.add_option("FILE", args->file, "Point-cloud file (.xyz .xyzc .asc .pts .psl .scn)")
        ->required();
    sub.add_option("-o,--output", args->output, "The hull as a binary STL file")
        ->required()
        ->type_name("OUT.stl");
    return [args](Context& context) { return runHull(*args, context); };
}

}  // namespace

TESSARO_CLI_SUBCOMMAND("hull", "Compute the convex hull of the points of a file as an STL mesh",
                       setupHull)

}  // namespace cli
}  // namespace tessaro
