// tessaro-cli info FILE...: format, point count, triangle count (meshes), what a PLY cloud
// holds per point, bounding box and centroid of each file. A file that fails is reported and the
// others still follow; the exit code is then 1.
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "commands/FileCommands.h"

namespace tessaro {
namespace cli {
namespace {

using commands::DataKind;
using commands::FileInfo;

nlohmann::ordered_json vectorJson(const alg3D::Vec3d& v, bool present) {
    if (!present) return nullptr;
    return nlohmann::ordered_json::array({v.x, v.y, v.z});
}

nlohmann::ordered_json infoJson(const FileInfo& info) {
    const bool present = info.points > 0;
    nlohmann::ordered_json j;
    j["file"] = info.file;
    j["format"] = info.format;
    j["points"] = info.points;
    if (info.kind == DataKind::kMesh) j["triangles"] = info.triangles;
    if (info.format == "ply") {
        j["colors"] = info.kind == DataKind::kColoredPoints;
        j["normals"] = info.normals;
        j["scalar_fields"] = info.scalarFields;
    }
    j["bbox_min"] = vectorJson(info.bboxMin, present);
    j["bbox_max"] = vectorJson(info.bboxMax, present);
    j["centroid"] = vectorJson(info.centroid, present);
    return j;
}

std::string vectorText(const alg3D::Vec3d& v, bool present) {
    if (!present) return "-";
    return formatDouble(v.x) + " " + formatDouble(v.y) + " " + formatDouble(v.z);
}

void printText(std::ostream& out, const FileInfo& info) {
    const bool present = info.points > 0;
    out << info.file << '\n';
    out << "  format:    " << info.format << '\n';
    out << "  points:    " << info.points << '\n';
    if (info.kind == DataKind::kMesh) out << "  triangles: " << info.triangles << '\n';
    if (info.format == "ply" && info.kind != DataKind::kMesh) {
        std::string extras;
        if (info.kind == DataKind::kColoredPoints) extras += " colors";
        if (info.normals) extras += " normals";
        for (const std::string& name : info.scalarFields)
            extras += " " + name;
        out << "  values:   " << (extras.empty() ? std::string(" -") : extras) << '\n';
    }
    out << "  bbox min:  " << vectorText(info.bboxMin, present) << '\n';
    out << "  bbox max:  " << vectorText(info.bboxMax, present) << '\n';
    out << "  centroid:  " << vectorText(info.centroid, present) << '\n';
}

RunFunction setupInfo(CLI::App& sub) {
    auto files = std::make_shared<std::vector<std::string>>();
    sub.add_option("FILE", *files,
                   "Point-cloud or mesh files (.xyz .xyzc .asc .pts .psl .stl .scn .ply)")
        ->required();
    return [files](Context& context) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        int status = kExitSuccess;
        for (const std::string& file : *files) {
            if (Context::interrupted()) return context.interruptedExit();
            FileInfo info;
            commands::JobStatus job;
            try {
                job = withFile(file, [&] {
                    return commands::fileInfo(file, info, context.progress("Reading", file),
                                              Context::kPollInterval);
                });
            } catch (const FileError& e) {
                context.reportError(e);
                status = kExitFailure;
                continue;
            }
            context.endProgress();
            if (job == commands::JobStatus::kAborted) return context.interruptedExit();
            if (context.json) {
                list.push_back(infoJson(info));
            } else {
                printText(context.out(), info);
            }
        }
        if (context.json) context.printJson(list);
        return status;
    };
}

}  // namespace

TESSARO_CLI_SUBCOMMAND("info", "Show format, point count, bounding box and centroid of files",
                       setupInfo)

}  // namespace cli
}  // namespace tessaro
