#include "io/StlFormat.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "alg3D/matrix/Alg3dException.h"
#include "io/BinaryFile.h"

namespace tessaro {
namespace io {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

constexpr std::size_t kLineLimit = 255;
// No first line of an ASCII STL file is this long; beyond it a "line" ends unread, so a
// large binary file without newlines is judged from its first bytes, not read through.
constexpr std::size_t kLineScanLimit = 65536;

enum class LineResult { kLine, kEnd, kError };

// Reads one line, keeping its first kLineLimit characters; the rest is skipped, up to
// kLineScanLimit characters.
LineResult readLine(std::FILE* file, std::string& line) {
    line.clear();
    int c;
    for (std::size_t scanned = 0; scanned < kLineScanLimit && (c = std::fgetc(file)) != EOF;
         ++scanned) {
        if (line.size() < kLineLimit) line.push_back(static_cast<char>(c));
        if (c == '\n') return LineResult::kLine;
    }
    if (!line.empty() && !std::feof(file) && !std::ferror(file)) return LineResult::kLine;
    if (std::ferror(file)) return LineResult::kError;
    return line.empty() ? LineResult::kEnd : LineResult::kLine;
}

bool firstTokenStartsWithSolid(const std::string& line) {
    const std::size_t begin = line.find_first_not_of(" \t;");
    return begin != std::string::npos && line.compare(begin, 5, "solid") == 0;
}

}  // namespace

StlEncoding detectStlEncoding(const std::string& fileName) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file) alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(fileName, ec);
    if (ec) alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);

    if (size >= kStlPreambleSize) {
        unsigned char preamble[kStlPreambleSize];
        if (std::fread(preamble, 1, sizeof preamble, file.get()) != sizeof preamble) {
            alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
        }
        const std::uint64_t triangles = loadU32le(preamble + kStlHeaderSize);
        if (size == kStlPreambleSize + kStlTriangleSize * triangles) return StlEncoding::kBinary;
        std::rewind(file.get());
    }

    std::string line;
    for (int failedLines = 0; failedLines < 2;) {
        switch (readLine(file.get(), line)) {
            case LineResult::kError:
                alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
            case LineResult::kEnd:
                return StlEncoding::kBinary;
            case LineResult::kLine:
                if (firstTokenStartsWithSolid(line)) return StlEncoding::kAscii;
                ++failedLines;
                break;
        }
    }
    return StlEncoding::kBinary;
}

}  // namespace io
}  // namespace tessaro
