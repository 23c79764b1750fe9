#include "commands/SaveParts.h"

#include "alg3D/matrix/Alg3dException.h"
#include "io/FileIOInfo.h"
#include "io/OutputFile.h"

namespace tessaro {
namespace commands {

namespace {

template <typename Entry>
JobStatus runPart(io::FileIOInfo& info, Entry entry, const PollCallback& poll,
                  std::chrono::milliseconds interval) {
    const JobHooks hooks{[&info] { return static_cast<float>(info.progress.load()); },
                         [&info] { info.abort.store(true); }};
    return runJob(
        [&info, &entry] {
            entry();
            if (info.error) std::rethrow_exception(info.error);
        },
        hooks, poll, interval);
}

}  // namespace

JobStatus saveParts(const std::string& fileName, const std::vector<SavePart>& parts,
                    const PollCallback& poll, std::chrono::milliseconds interval) {
    const int job = writeJobForFile(fileName);
    for (const SavePart& part : parts)
        checkSavable(fileName, part.kind);
    if (parts.empty()) return JobStatus::kCompleted;

    // One temporary file takes every part; nothing reaches the target before the commit.
    io::OutputFile output(fileName);
    for (const SavePart& part : parts) {
        io::FileIOInfo info;
        info.fileName = fileName;
        info.type = job;
        info.output = &output;
        const bool colored = part.kind == DataKind::kColoredPoints;
        static const std::vector<alg3D::Vec3d> kNoPoints;
        static const std::vector<alg3D::GLPoint> kNoColoredPoints;
        const std::vector<alg3D::Vec3d>& points = part.points ? *part.points : kNoPoints;
        const std::vector<alg3D::GLPoint>& coloredPoints =
            part.coloredPoints ? *part.coloredPoints : kNoColoredPoints;

        JobStatus status;
        if (job == io::kWriteXyzc) {
            // Coordinates and colours go through the same writer, six decimals as in .xyz.
            std::vector<alg3D::Vec3d> split;
            std::vector<alg3D::Color> colors;
            const std::vector<alg3D::Vec3d>* source = &points;
            if (colored) {
                split.reserve(coloredPoints.size());
                colors.reserve(coloredPoints.size());
                for (const alg3D::GLPoint& p : coloredPoints) {
                    split.push_back(p.vec());
                    colors.push_back(p.color());
                }
                source = &split;
            } else {
                colors.assign(points.size(), part.color);
            }
            status = runPart(
                info, [&] { io::writeFileJob(&info, source, &colors); }, poll, interval);
        } else if (colored) {
            status = runPart(
                info, [&] { io::writeFileJob(&info, &coloredPoints); }, poll, interval);
        } else {
            status = runPart(
                info, [&] { io::writeFileJob(&info, &points); }, poll, interval);
        }
        if (status == JobStatus::kAborted) return status;  // the output discards itself
    }
    // Parts without points open nothing; a completed save still leaves a (possibly empty) file.
    if (!output.isOpen() && !output.open()) {
        alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
    }
    output.commit();
    return JobStatus::kCompleted;
}

}  // namespace commands
}  // namespace tessaro
