#include "io/FileIOInfo.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "io/FileAnalysis.h"
#include "io/PslReader.h"
#include "io/ScanDataLoader.h"
#include "io/StlReaders.h"
#include "io/StlWriter.h"
#include "io/TextPointReaders.h"
#include "io/TextPointWriters.h"

namespace tessaro {
namespace io {

namespace {

// The common frame of the four entries.
template <typename Job>
void runJob(FileIOInfo* info, Job job) {
    info->progress.store(0);
    info->error = nullptr;
    try {
        // An abort asked for before the start: not even the file analysis runs.
        if (!info->abort.load()) job();
    } catch (...) {
        info->error = std::current_exception();
    }
    info->progress.store(100);
}

std::string lowerSuffix(const std::string& fileName) {
    std::string suffix = std::filesystem::path(fileName).extension().string();
    if (!suffix.empty() && suffix[0] == '.') suffix.erase(0, 1);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return suffix;
}

}  // namespace

void readFileJob(FileIOInfo* info, std::vector<alg3D::Vec3d>* points) {
    runJob(info, [&] {
        switch (info->type) {
            case kReadXyz:
                readXyz(*info, *points);
                break;
            case kReadStl:
                readStl(*info, *points);
                break;
            case kReadScanData:
                loadScanDataPoints(info->fileName, *points, info->abort);
                break;
            case kReadPsl:
                readPsl(*info, *points);
                break;
            default:
                break;
        }
    });
}

void readFileJob(FileIOInfo* info, std::vector<alg3D::GLPoint>* points) {
    runJob(info, [&] {
        switch (info->type) {
            case kReadXyzc:
                readXyzc(*info, *points);
                break;
            case kReadPts:
                readPts(*info, *points);
                break;
            default:
                break;
        }
    });
}

void writeFileJob(FileIOInfo* info, const std::vector<alg3D::Vec3d>* points,
                  const std::vector<alg3D::Color>* colors) {
    runJob(info, [&] {
        switch (info->type) {
            case kWriteXyz:
                writeXyz(*info, *points);
                break;
            case kWriteXyzc:
                writeXyzc(*info, *points, colors);
                break;
            case kWriteStl:
                writeStl(*info, *points);
                break;
            default:
                break;
        }
    });
}

void writeFileJob(FileIOInfo* info, const std::vector<alg3D::GLPoint>* points) {
    runJob(info, [&] {
        switch (info->type) {
            case kWriteXyz:
                writeXyz(*info, *points);
                break;
            case kWriteXyzc:
                writeXyzc(*info, *points);
                break;
            case kWriteStl:
                writeStl(*info, *points);
                break;
            default:
                break;
        }
    });
}

int fileTypeForName(const std::string& fileName) {
    const std::string suffix = lowerSuffix(fileName);
    if (suffix == "xyz") return kReadXyz;
    if (suffix == "xyzc") return kReadXyzc;
    if (suffix == "psl") return kReadPsl;
    if (suffix == "pts") return kReadPts;
    if (suffix == "stl") return kReadStl;
    if (suffix == "scn") return kReadScanData;
    if (suffix == "asc") {
        FileAnalysis analysis;
        if (!analyzeFile(fileName, analysis)) return kJobNone;
        if (analysis.columns > 5) return kReadXyzc;
        if (analysis.columns > 2) return kReadXyz;
    }
    return kJobNone;
}

}  // namespace io
}  // namespace tessaro
