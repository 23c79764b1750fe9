// tessaro-cli convert IN OUT: reads any supported file and writes it as .xyz, .xyzc,
// binary .stl or .ply (binary, or ASCII with --ascii) by OUT's suffix. The output goes through the
// file layer, which replaces OUT only when the new file is complete: after a failure or an
// interrupt OUT is as it was before (or absent).
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "commands/FileCommands.h"
#include "io/FileIOInfo.h"

namespace tessaro {
namespace cli {
namespace {

using commands::DataKind;
using commands::JobStatus;

struct ConvertArguments {
    std::string input;
    std::string output;
    std::vector<int> color{255, 255, 255};
    bool ascii = false;
};

int runConvert(const ConvertArguments& args, Context& context) {
    // Everything that can be told from the names is checked before the input is read.
    withFile(args.output, [&] { return commands::writeJobForFile(args.output); });
    const int readJob = withFile(args.input, [&] { return commands::readJobForFile(args.input); });
    // What a PLY file holds is known only after reading it; the save checks it then.
    if (readJob != io::kReadPly) {
        withFile(args.output,
                 [&] { commands::checkSavable(args.output, commands::kindForReadJob(readJob)); });
    }

    commands::LoadedData data;
    if (!loadData(context, args.input, data)) return context.interruptedExit();

    commands::SaveOptions options;
    options.defaultColor = alg3D::Color(static_cast<unsigned char>(args.color[0]),
                                        static_cast<unsigned char>(args.color[1]),
                                        static_cast<unsigned char>(args.color[2]));
    if (args.ascii) options.plyEncoding = io::PlyEncoding::kAscii;
    if (!saveData(context, args.output, data, options)) return context.interruptedExit();

    const std::string outputFormat = commands::fileSuffix(args.output);
    if (context.json) {
        nlohmann::ordered_json j;
        j["input"] = args.input;
        j["input_format"] = data.format;
        j["output"] = args.output;
        j["output_format"] = outputFormat;
        j["points"] = data.pointCount();
        if (data.kind == DataKind::kMesh) j["triangles"] = data.points.size() / 3;
        context.printJson(j);
    } else {
        context.out() << args.input << " (" << data.format << ") -> " << args.output << " ("
                      << outputFormat << "): " << data.pointCount() << " points";
        if (data.kind == DataKind::kMesh) {
            context.out() << ", " << data.points.size() / 3 << " triangles";
        }
        context.out() << '\n';
    }
    return kExitSuccess;
}

RunFunction setupConvert(CLI::App& sub) {
    auto args = std::make_shared<ConvertArguments>();
    sub.add_option("IN", args->input,
                   "Input file (.xyz .xyzc .asc .pts .psl .stl .scn .ply, case-insensitive)")
        ->required();
    sub.add_option("OUT", args->output, "Output file (.xyz, .xyzc, .stl or .ply)")->required();
    sub.add_option("--color", args->color,
                   "Colour R,G,B (0..255) of points without one when writing .xyzc")
        ->expected(3)
        ->delimiter(',')
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    sub.add_flag("--ascii", args->ascii,
                 "Write .ply as ASCII text (default: binary little-endian)");
    return [args](Context& context) { return runConvert(*args, context); };
}

}  // namespace

TESSARO_CLI_SUBCOMMAND("convert", "Convert a point-cloud or mesh file to .xyz, .xyzc, .stl or .ply",
                       setupConvert)

}  // namespace cli
}  // namespace tessaro
