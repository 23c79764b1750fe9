#include "io/StlReaders.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "alg3D/matrix/Alg3dException.h"
#include "io/BinaryFile.h"
#include "io/LineReader.h"
#include "io/MemoryAdvice.h"
#include "io/StlFormat.h"

namespace tessaro {
namespace io {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

[[noreturn]] void throwUnknownFormat() {
    alg3D::throwAlg3dException(alg3D::errors::kUnknownFileFormat);
}

inline bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// White-space separated tokens of a text file, across line breaks.
class TokenStream {
  public:
    explicit TokenStream(std::FILE* file) : lines_(file) {}

    bool next(std::string_view& token) {
        for (;;) {
            while (p_ < end_ && isBlank(*p_))
                ++p_;
            if (p_ < end_) {
                const char* begin = p_;
                while (p_ < end_ && !isBlank(*p_))
                    ++p_;
                token = std::string_view(begin, static_cast<std::size_t>(p_ - begin));
                return true;
            }
            if (!nextLine()) return false;
        }
    }

    // Moves to the next line as a whole; false at the end of the file.
    bool nextLine() {
        if (lines_.next(p_, end_)) return true;
        if (lines_.failed()) alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
        p_ = end_ = nullptr;
        return false;
    }

    // The rest of the current line, which is then used up.
    std::string_view restOfLine() {
        std::string_view rest(p_, static_cast<std::size_t>(end_ - p_));
        p_ = end_;
        return rest;
    }

    // Skips the name after "solid": the rest of the line, but not a facet or an
    // endsolid that follows on the same line (files without line breaks). Returns
    // false when the name holds a NUL byte: text has none, but binary files whose
    // header begins with "solid" have them right there.
    bool skipSolidName() {
        while (p_ < end_) {
            while (p_ < end_ && isBlank(*p_))
                ++p_;
            const char* begin = p_;
            while (p_ < end_ && !isBlank(*p_)) {
                if (*p_ == '\0') return false;
                ++p_;
            }
            const std::string_view token(begin, static_cast<std::size_t>(p_ - begin));
            if (token == "facet" || token == "endsolid") {
                p_ = begin;
                return true;
            }
        }
        return true;
    }

    // Skips blanks, tabs and semicolons at the start of the current line and the
    // first token after them when it begins with "solid"; false when it does not.
    bool skipSolidKeyword() {
        while (p_ < end_ && (isBlank(*p_) || *p_ == ';'))
            ++p_;
        if (end_ - p_ < 5 || std::string_view(p_, 5) != "solid") return false;
        while (p_ < end_ && !isBlank(*p_) && *p_ != ';')
            ++p_;
        return true;
    }

  private:
    LineReader lines_;
    const char* p_ = nullptr;
    const char* end_ = nullptr;
};

// A coordinate token: a decimal number as scanf "%f" reads it, filling the token.
bool parseCoordinate(std::string_view token, double& value) {
    const char* begin = token.data();
    const char* const end = begin + token.size();
    bool negative = false;
    if (begin < end && (*begin == '+' || *begin == '-')) {
        negative = *begin == '-';
        ++begin;
    }
    if (begin == end || *begin == '+' || *begin == '-') return false;
    float parsed = 0.0f;
    const auto result = std::from_chars(begin, end, parsed, std::chars_format::general);
    if (result.ptr != end) return false;
    if (result.ec == std::errc::result_out_of_range) {
        // Below the float range it is zero, as scanf gives it; above, no coordinate.
        double wide = 0.0;
        const auto again = std::from_chars(begin, end, wide, std::chars_format::general);
        if (again.ptr != end || !(std::fabs(wide) < 1.0)) return false;
        parsed = 0.0f;
    } else if (result.ec != std::errc() || !std::isfinite(parsed)) {
        return false;
    }
    value = negative ? -static_cast<double>(parsed) : static_cast<double>(parsed);
    return true;
}

void expect(TokenStream& tokens, std::string_view keyword) {
    std::string_view token;
    if (!tokens.next(token) || token != keyword) throwUnknownFormat();
}

// True when the current line starts a solid; its name is then skipped.
bool startsSolid(TokenStream& tokens) {
    if (!tokens.skipSolidKeyword()) return false;
    if (!tokens.skipSolidName()) throwUnknownFormat();
    return true;
}

void readFacet(TokenStream& tokens, std::vector<alg3D::Vec3d>& points) {
    std::string_view token;
    expect(tokens, "normal");
    for (int i = 0; i < 3; ++i) {
        // Normals are not used; some writers put "nan" there for degenerate facets.
        if (!tokens.next(token)) throwUnknownFormat();
    }
    expect(tokens, "outer");
    expect(tokens, "loop");
    alg3D::Vec3d corners[3];
    for (alg3D::Vec3d& corner : corners) {
        expect(tokens, "vertex");
        for (int axis = 0; axis < 3; ++axis) {
            if (!tokens.next(token) || !parseCoordinate(token, corner[axis])) {
                throwUnknownFormat();
            }
        }
    }
    expect(tokens, "endloop");
    expect(tokens, "endfacet");
    points.insert(points.end(), corners, corners + 3);
}

void readAsciiSolids(FileIOInfo& info, TokenStream& tokens, std::vector<alg3D::Vec3d>& points) {
    // The solid line is the first or, after one other line, the second.
    if (!tokens.nextLine()) throwUnknownFormat();
    if (!startsSolid(tokens)) {
        if (!tokens.nextLine() || !startsSolid(tokens)) throwUnknownFormat();
    }
    std::string_view token;
    for (;;) {
        if (info.abort.load(std::memory_order_relaxed)) return;
        if (!tokens.next(token)) return;  // no endsolid
        if (token == "facet") {
            readFacet(tokens, points);
        } else if (token == "endsolid") {
            tokens.restOfLine();
            // Another solid may follow; anything else ends the mesh.
            if (!tokens.next(token) || token.substr(0, 5) != "solid") return;
            if (!tokens.skipSolidName()) throwUnknownFormat();
        } else {
            throwUnknownFormat();
        }
    }
}

template <typename Body>
void guardOutput(std::vector<alg3D::Vec3d>& points, Body body) {
    points.clear();
    try {
        body();
    } catch (...) {
        points.clear();
        points.shrink_to_fit();
        throw;
    }
}

constexpr std::size_t kTrianglesPerChunk = 4096;

}  // namespace

void readStlAscii(FileIOInfo& info, std::vector<alg3D::Vec3d>& points) {
    guardOutput(points, [&] {
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(info.fileName.c_str(), "rb"));
        if (!file) alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
        TokenStream tokens(file.get());
        readAsciiSolids(info, tokens, points);
        info.progress.store(100);
    });
}

void readStlBinary(FileIOInfo& info, std::vector<alg3D::Vec3d>& points) {
    guardOutput(points, [&] {
        BinaryFileReader file;
        if (!file.open(info.fileName)) alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
        if (file.size() < kStlPreambleSize) throwUnknownFormat();
        unsigned char preamble[kStlPreambleSize];
        if (!file.read(preamble, sizeof preamble)) throwUnknownFormat();
        const std::uint64_t triangles = loadU32le(preamble + kStlHeaderSize);
        if (triangles != (file.size() - kStlPreambleSize) / kStlTriangleSize) {
            throwUnknownFormat();
        }
        try {
            points.reserve(static_cast<std::size_t>(3 * triangles));
            adviseHugePages(points.data(), points.capacity() * sizeof(alg3D::Vec3d));
        } catch (const std::bad_alloc&) {
            alg3D::throwAlg3dException(alg3D::errors::kAllocatingMemory);
        } catch (const std::length_error&) {
            alg3D::throwAlg3dException(alg3D::errors::kAllocatingMemory);
        }

        const std::uint64_t step = triangles >= 100 ? triangles / 100 : 1;
        std::vector<unsigned char> chunk(kTrianglesPerChunk * kStlTriangleSize);
        std::uint64_t done = 0;
        while (done < triangles) {
            const std::size_t count = static_cast<std::size_t>(
                std::min<std::uint64_t>(triangles - done, kTrianglesPerChunk));
            if (!file.read(chunk.data(), count * kStlTriangleSize)) throwUnknownFormat();
            for (std::size_t k = 0; k < count; ++k, ++done) {
                if (info.abort.load(std::memory_order_relaxed)) return;
                // Skip the normal (12 bytes); the corners follow.
                const unsigned char* p = chunk.data() + k * kStlTriangleSize + 12;
                for (int corner = 0; corner < 3; ++corner, p += 12) {
                    points.emplace_back(loadF32le(p), loadF32le(p + 4), loadF32le(p + 8));
                }
                if ((done + 1) % step == 0) {
                    const std::uint64_t percent = (done + 1) * 100 / triangles;
                    info.progress.store(static_cast<int>(std::min<std::uint64_t>(percent, 99)),
                                        std::memory_order_relaxed);
                }
            }
        }
        info.progress.store(100);
    });
}

void readStl(FileIOInfo& info, std::vector<alg3D::Vec3d>& points) {
    points.clear();
    if (detectStlEncoding(info.fileName) == StlEncoding::kAscii) {
        readStlAscii(info, points);
    } else {
        readStlBinary(info, points);
    }
}

}  // namespace io
}  // namespace tessaro
