#include "io/TextPointReaders.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>

#include "alg3D/matrix/Alg3dException.h"
#include "io/FileAnalysis.h"
#include "io/LineReader.h"
#include "io/MemoryAdvice.h"
#include "io/NumberParser.h"
#include "io/NumberScanner.h"

namespace tessaro {
namespace io {

namespace {

constexpr std::size_t kReadBlockSize = std::size_t(1) << 20;
constexpr std::size_t kMaxPointLineLength = std::size_t(1) << 16;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Reads the next token of the line as a number; what follows the number in the
// token is ignored. Numbers hold no blanks, tabs or semicolons, so the number can be
// read straight from the line without cutting the token out first.
inline bool nextNumber(const char*& p, const char* end, double& value) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == ';'))
        ++p;
    if (p == end) return false;
    const char* numberEnd = detail::scanNumber<false>(p, end, value);
    if (numberEnd == nullptr) return false;
    p = numberEnd;
    while (p < end && *p != ' ' && *p != '\t' && *p != ';')
        ++p;
    return true;
}

inline bool skipToken(const char*& p, const char* end) {
    const char* tokenBegin;
    const char* tokenEnd;
    return nextToken(p, end, tokenBegin, tokenEnd);
}

inline bool parseXyz(const char* p, const char* end, alg3D::Vec3d& point) {
    return nextNumber(p, end, point.x) && nextNumber(p, end, point.y) &&
           nextNumber(p, end, point.z);
}

inline bool parseColor(const char*& p, const char* end, alg3D::GLPoint& point) {
    double r, g, b;
    if (!nextNumber(p, end, r) || !nextNumber(p, end, g) || !nextNumber(p, end, b)) return false;
    point.r = colorChannelFromNumber(r);
    point.g = colorChannelFromNumber(g);
    point.b = colorChannelFromNumber(b);
    return true;
}

inline bool parseXyzc(const char* p, const char* end, alg3D::GLPoint& point) {
    return nextNumber(p, end, point.x) && nextNumber(p, end, point.y) &&
           nextNumber(p, end, point.z) && parseColor(p, end, point);
}

inline bool parsePts(const char* p, const char* end, alg3D::GLPoint& point) {
    return nextNumber(p, end, point.x) && nextNumber(p, end, point.y) &&
           nextNumber(p, end, point.z) && skipToken(p, end) && parseColor(p, end, point);
}

// The reading pass shared by the text readers: one candidate point per line,
// appended when `parseLine` accepts the line.
template <typename Point, typename ParseLine>
void readLines(FileIOInfo& info, const FileAnalysis& analysis, bool skipFirstLine,
               std::vector<Point>& points, ParseLine parseLine) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(info.fileName.c_str(), "rb"));
    if (!file) alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
    try {
        points.reserve(static_cast<std::size_t>(analysis.lines));
        adviseHugePages(points.data(), points.capacity() * sizeof(Point));
    } catch (const std::bad_alloc&) {
        alg3D::throwAlg3dException(alg3D::errors::kAllocatingMemory);
    } catch (const std::length_error&) {
        alg3D::throwAlg3dException(alg3D::errors::kAllocatingMemory);
    }

    const std::uint64_t linesPerStep = std::max<std::uint64_t>(1, (analysis.lines + 49) / 50);
    int progress = info.progress.load(std::memory_order_relaxed);
    std::uint64_t sinceStep = 0;

    // A point line is short; a longer one is cut, so one huge line costs no memory.
    LineReader reader(file.get(), kReadBlockSize, kMaxPointLineLength);
    const char* begin;
    const char* end;
    std::uint64_t line = 0;
    if (skipFirstLine && reader.next(begin, end)) ++line;
    Point point{};
    while (line < analysis.lines && !info.abort.load(std::memory_order_relaxed) &&
           reader.next(begin, end)) {
        ++line;
        if (parseLine(begin, end, point)) points.push_back(point);
        if (++sinceStep == linesPerStep) {
            sinceStep = 0;
            if (progress < 99) info.progress.store(++progress, std::memory_order_relaxed);
        }
    }
    if (reader.failed()) alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
}

template <typename Point, typename Body>
void guardOutput(std::vector<Point>& points, Body body) {
    points.clear();
    try {
        body();
    } catch (...) {
        points.clear();
        points.shrink_to_fit();
        throw;
    }
}

}  // namespace

void readXyz(FileIOInfo& info, std::vector<alg3D::Vec3d>& points) {
    guardOutput(points, [&] {
        FileAnalysis analysis;
        if (!analyzeFile(info.fileName, analysis, &info.progress)) {
            alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
        }
        if (analysis.size > 0) readLines(info, analysis, false, points, parseXyz);
        info.progress.store(100);
    });
}

void readXyzc(FileIOInfo& info, std::vector<alg3D::GLPoint>& points) {
    guardOutput(points, [&] {
        FileAnalysis analysis;
        if (!analyzeFile(info.fileName, analysis, &info.progress) || analysis.columns <= 5) {
            alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
        }
        readLines(info, analysis, false, points, parseXyzc);
        info.progress.store(100);
    });
}

void readPts(FileIOInfo& info, std::vector<alg3D::GLPoint>& points) {
    guardOutput(points, [&] {
        FileAnalysis analysis;
        if (!analyzeFile(info.fileName, analysis, &info.progress)) {
            alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
        }
        if (analysis.size == 0) alg3D::throwAlg3dException(alg3D::errors::kFileIsEmpty);
        readLines(info, analysis, true, points, parsePts);
        info.progress.store(100);
    });
}

}  // namespace io
}  // namespace tessaro
