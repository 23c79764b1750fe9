#include "commands/FileCommands.h"

#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "alg3D/matrix/Alg3dException.h"
#include "commands/MeshVertices.h"
#include "commands/PlyConversion.h"
#include "commands/SaveParts.h"
#include "io/FileIOInfo.h"
#include "io/OutputFile.h"

namespace tessaro {
namespace commands {

namespace {

// Runs one file layer entry under the runner. The entry stores a failure in the record
// instead of throwing; rethrowing it inside the worker hands it to the runner's slot.
template <typename Entry>
JobStatus runFileJob(io::FileIOInfo& info, Entry entry, const PollCallback& poll,
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

// Neumaier's compensated sum: the centroid of millions of points far from the origin
// keeps its digits.
class CompensatedSum {
  public:
    void add(double v) {
        const double t = sum_ + v;
        if (std::abs(sum_) >= std::abs(v)) {
            compensation_ += (sum_ - t) + v;
        } else {
            compensation_ += (v - t) + sum_;
        }
        sum_ = t;
    }
    double value() const { return sum_ + compensation_; }

  private:
    double sum_ = 0.0;
    double compensation_ = 0.0;
};

template <typename Point>
void accumulate(const std::vector<Point>& points, FileInfo& info) {
    if (points.empty()) return;
    CompensatedSum sum[3];
    alg3D::Vec3d lo = alg3D::coords(points.front());
    alg3D::Vec3d hi = lo;
    for (const Point& p : points) {
        for (std::size_t k = 0; k < 3; ++k) {
            const double v = p[k];
            if (v < lo[k]) lo[k] = v;
            if (v > hi[k]) hi[k] = v;
            sum[k].add(v);
        }
    }
    const double n = static_cast<double>(points.size());
    info.bboxMin = lo;
    info.bboxMax = hi;
    info.centroid = alg3D::Vec3d(sum[0].value() / n, sum[1].value() / n, sum[2].value() / n);
}

}  // namespace

std::string fileSuffix(const std::string& fileName) {
    // The same reading of a name as the file layer's (a leading dot starts no suffix).
    std::string suffix = std::filesystem::path(fileName).extension().string();
    if (!suffix.empty() && suffix[0] == '.') suffix.erase(0, 1);
    for (char& c : suffix)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return suffix;
}

// A name that exists but is no regular file (after following links): a folder, a FIFO,
// a device, a socket. Checked with stat, which never blocks; opening an empty FIFO would
// wait for a writer for ever, reading a device might never end, and replacing one by a
// save would destroy the node.
bool isNonRegularFile(const std::string& fileName) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(fileName, ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

int readJobForFile(const std::string& fileName) {
    if (isNonRegularFile(fileName)) throw std::runtime_error(kNotARegularFile + fileName);
    if (io::isTemporaryFileName(fileName)) throw std::runtime_error(kUnfinishedSaveFile + fileName);
    const std::string suffix = fileSuffix(fileName);
    if (suffix == "asc" && !std::ifstream(fileName, std::ios::binary).is_open()) {
        // The probe reads the file, so a missing file is reported as such rather than
        // as a format that was not recognised.
        alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
    }
    const int job = io::fileTypeForName(fileName);
    if (job == io::kJobNone) throw std::runtime_error("Unknown file format: " + suffix);
    return job;
}

std::string formatName(int readJob) {
    switch (readJob) {
        case io::kReadXyz:
            return "xyz";
        case io::kReadStl:
            return "stl";
        case io::kReadScanData:
            return "scn";
        case io::kReadXyzc:
            return "xyzc";
        case io::kReadPsl:
            return "psl";
        case io::kReadPts:
            return "pts";
        case io::kReadPly:
            return "ply";
        default:
            return "";
    }
}

DataKind kindForReadJob(int readJob) {
    if (readJob == io::kReadStl) return DataKind::kMesh;
    if (readJob == io::kReadXyzc || readJob == io::kReadPts) return DataKind::kColoredPoints;
    return DataKind::kPoints;
}

JobStatus loadFile(const std::string& fileName, LoadedData& data, const PollCallback& poll,
                   std::chrono::milliseconds interval) {
    const int job = readJobForFile(fileName);
    LoadedData result;
    result.format = formatName(job);
    result.kind = kindForReadJob(job);
    io::FileIOInfo info;
    info.fileName = fileName;
    info.type = job;

    JobStatus status;
    io::PlyData ply;
    if (job == io::kReadPly) {
        status = runFileJob(
            info, [&] { io::readFileJob(&info, &ply); }, poll, interval);
        // An aborted read may hold faces whose vertices were not read yet.
        if (status == JobStatus::kCompleted) loadedDataFromPly(std::move(ply), result);
    } else if (result.kind == DataKind::kColoredPoints) {
        status = runFileJob(
            info, [&] { io::readFileJob(&info, &result.coloredPoints); }, poll, interval);
    } else {
        status = runFileJob(
            info, [&] { io::readFileJob(&info, &result.points); }, poll, interval);
    }
    // A job that ends between two polls is asked once more: an "Abort" pressed while it
    // ran still counts, and the caller gets no data.
    if (status == JobStatus::kAborted || (poll && poll(100.0f))) {
        data = LoadedData{};
        return JobStatus::kAborted;
    }
    data = std::move(result);
    return status;
}

FileInfo describeData(const std::string& fileName, const LoadedData& data) {
    FileInfo info;
    info.file = fileName;
    info.format = data.format;
    info.kind = data.kind;
    info.points = data.pointCount();
    if (data.kind == DataKind::kMesh) info.triangles = data.points.size() / 3;
    info.normals = !data.normals.empty();
    for (const io::PlyScalarField& field : data.scalarFields)
        info.scalarFields.push_back(field.name);
    if (data.kind == DataKind::kColoredPoints) {
        accumulate(data.coloredPoints, info);
    } else {
        accumulate(data.points, info);
    }
    return info;
}

JobStatus fileInfo(const std::string& fileName, FileInfo& info, const PollCallback& poll,
                   std::chrono::milliseconds interval) {
    LoadedData data;
    const JobStatus status = loadFile(fileName, data, poll, interval);
    if (status == JobStatus::kCompleted) info = describeData(fileName, data);
    return status;
}

int writeJobForFile(const std::string& fileName) {
    const std::string suffix = fileSuffix(fileName);
    if (suffix == "xyz") return io::kWriteXyz;
    if (suffix == "xyzc") return io::kWriteXyzc;
    if (suffix == "stl") return io::kWriteStl;
    if (suffix == "ply") return io::kWritePly;
    throw std::runtime_error("Unknown file format!");
}

void checkSavable(const std::string& fileName, DataKind kind) {
    if (isNonRegularFile(fileName)) throw std::runtime_error(kNotARegularFile + fileName);
    if (writeJobForFile(fileName) == io::kWriteStl && kind != DataKind::kMesh) {
        throw std::runtime_error("Only meshes can be saved as STL.");
    }
}

JobStatus saveFile(const std::string& fileName, const LoadedData& data, const PollCallback& poll,
                   const SaveOptions& options, std::chrono::milliseconds interval) {
    SavePart part;
    part.kind = data.kind;
    part.points = &data.points;
    part.coloredPoints = &data.coloredPoints;
    part.color = options.defaultColor;
    part.normals = &data.normals;
    part.scalarFields = &data.scalarFields;
    part.plyEncoding = options.plyEncoding;
    return saveParts(fileName, {part}, poll, interval);
}

JobStatus saveParts(const std::string& fileName, const std::vector<SavePart>& parts,
                    const PollCallback& poll, std::chrono::milliseconds interval) {
    const int job = writeJobForFile(fileName);
    if (isNonRegularFile(fileName)) throw std::runtime_error(kNotARegularFile + fileName);
    for (const SavePart& part : parts)
        checkSavable(fileName, part.kind);
    if (parts.empty()) return JobStatus::kCompleted;
    if (job == io::kWritePly && parts.size() > 1) {
        throw std::runtime_error("A PLY file holds one cloud or mesh; select only one object.");
    }

    // A mesh in a point file is its vertices, each once: its triangles would repeat every
    // shared corner. One hashing pass per mesh, before the writers start.
    std::vector<std::vector<alg3D::Vec3d>> vertices;
    vertices.reserve(parts.size());
    std::vector<SavePart> written = parts;
    for (SavePart& part : written) {
        if (part.kind != DataKind::kMesh || job == io::kWriteStl || job == io::kWritePly ||
            !part.points) {
            continue;
        }
        vertices.push_back(meshVertices(*part.points));
        part.kind = DataKind::kPoints;
        part.points = &vertices.back();
    }

    // One temporary file takes every part. The writers fill it; only this thread replaces
    // the target, and only when every part ran to its end without an abort, so an abort
    // that arrives after a writer's last check still leaves the target untouched.
    io::OutputFile output(fileName);
    for (const SavePart& part : written) {
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
        if (job == io::kWritePly) {
            PlyScratch scratch;
            const io::PlySource source = plySourceForPart(part, scratch);
            status = runFileJob(
                info, [&] { io::writeFileJob(&info, &source); }, poll, interval);
        } else if (job == io::kWriteXyzc) {
            // Coordinates and colours go through the same writer, six decimals as in .xyz.
            std::vector<alg3D::Vec3d> split;
            std::vector<alg3D::Color> colors;
            const std::vector<alg3D::Vec3d>* source = &points;
            const std::size_t count = colored ? coloredPoints.size() : points.size();
            const bool shown = part.shownColors && part.shownColors->size() == count;
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
            if (shown) colors = *part.shownColors;
            status = runFileJob(
                info, [&] { io::writeFileJob(&info, source, &colors); }, poll, interval);
        } else if (colored) {
            status = runFileJob(
                info, [&] { io::writeFileJob(&info, &coloredPoints); }, poll, interval);
        } else {
            status = runFileJob(
                info, [&] { io::writeFileJob(&info, &points); }, poll, interval);
        }
        if (status == JobStatus::kAborted) return status;  // the output discards itself
    }
    // Parts without points open nothing; a completed save still leaves a (possibly empty) file.
    if (!output.isOpen() && !output.open()) {
        alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
    }
    // The data go to the disk first (fsync can take a while); an "Abort" pressed until then
    // still keeps the old file, and what remains after the question is a rename.
    output.syncToDisk();
    if (poll && poll(100.0f)) return JobStatus::kAborted;
    output.commit();
    return JobStatus::kCompleted;
}

}  // namespace commands
}  // namespace tessaro
