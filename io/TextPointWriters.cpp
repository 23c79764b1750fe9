#include "io/TextPointWriters.h"

#include <charconv>
#include <cstring>
#include <stdexcept>

#include "alg3D/matrix/Alg3dException.h"
#include "io/JobOutput.h"

namespace tessaro {
namespace io {

char* formatFixed(char* out, double value, int decimals) {
    // std::to_chars with a precision formats exactly as printf does in the "C"
    // locale, without printf's parsing and locale look-ups.
    return std::to_chars(out, out + 320 + decimals, value, std::chars_format::fixed, decimals).ptr;
}

namespace {

// Longest coordinate text: sign, 309 digits, point and decimals.
constexpr std::size_t kMaxCoordinate = 320 + 6;
constexpr std::size_t kMaxLine = 3 * (kMaxCoordinate + 1) + 3 * 4 + 1;

inline char* formatByte(char* out, unsigned char value) {
    if (value >= 100) *out++ = static_cast<char>('0' + value / 100);
    if (value >= 10) *out++ = static_cast<char>('0' + value / 10 % 10);
    *out++ = static_cast<char>('0' + value % 10);
    return out;
}

// printf "%5.4lf": four decimals, right-aligned in at least five characters.
inline char* formatFourDecimals(char* out, double value) {
    char* end = formatFixed(out, value, 4);
    const std::ptrdiff_t length = end - out;
    if (length < 5) {
        const std::ptrdiff_t pad = 5 - length;
        std::memmove(out + pad, out, static_cast<std::size_t>(length));
        std::memset(out, ' ', static_cast<std::size_t>(pad));
        end += pad;
    }
    return end;
}

inline char* formatColors(char* p, unsigned char r, unsigned char g, unsigned char b) {
    *p++ = '\t';
    p = formatByte(p, r);
    *p++ = '\t';
    p = formatByte(p, g);
    *p++ = '\t';
    p = formatByte(p, b);
    return p;
}

[[noreturn]] void throwXyzcOpenError() {
    throw std::runtime_error("cannot open file for write operation!");
}

// Writes one line per point; `formatLine` fills the buffer and returns its end.
// Returns false on a write failure.
template <typename Point, typename FormatLine>
bool writeLines(FileIOInfo& info, const std::vector<Point>& points, bool createEmpty,
                FormatLine formatLine) {
    if (points.empty() && !createEmpty) return true;
    JobOutput output(info, true);
    if (!output.open()) return false;
    WriteProgress progress(info.progress, points.size());
    bool aborted = false;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (info.abort.load(std::memory_order_relaxed)) {
            aborted = true;
            break;
        }
        char* p = output.room(kMaxLine);
        if (p == nullptr) {
            output.finish(true);
            return false;
        }
        output.advance(formatLine(p, i));
        progress.done(i);
    }
    if (!output.finish(aborted)) return false;
    info.progress.store(100);
    return true;
}

template <typename Point>
void writeXyzPoints(FileIOInfo& info, const std::vector<Point>& points) {
    const bool ok = writeLines(info, points, false, [&](char* p, std::size_t i) {
        const Point& q = points[i];
        p = formatFixed(p, q.x, 6);
        *p++ = '\t';
        p = formatFixed(p, q.y, 6);
        *p++ = '\t';
        p = formatFixed(p, q.z, 6);
        *p++ = '\n';
        return p;
    });
    if (!ok) alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
}

}  // namespace

void writeXyz(FileIOInfo& info, const std::vector<alg3D::Vec3d>& points) {
    writeXyzPoints(info, points);
}

void writeXyz(FileIOInfo& info, const std::vector<alg3D::GLPoint>& points) {
    writeXyzPoints(info, points);
}

void writeXyzc(FileIOInfo& info, const std::vector<alg3D::Vec3d>& points,
               const std::vector<alg3D::Color>* colors) {
    if (colors == nullptr || colors->size() != points.size()) {
        throw std::invalid_argument("the colour list must hold one colour per point");
    }
    const bool ok = writeLines(info, points, true, [&](char* p, std::size_t i) {
        const alg3D::Vec3d& q = points[i];
        const alg3D::Color& c = (*colors)[i];
        p = formatFixed(p, q.x, 6);
        *p++ = '\t';
        p = formatFixed(p, q.y, 6);
        *p++ = '\t';
        p = formatFixed(p, q.z, 6);
        p = formatColors(p, c.r, c.g, c.b);
        *p++ = '\n';
        return p;
    });
    if (!ok) throwXyzcOpenError();
}

void writeXyzc(FileIOInfo& info, const std::vector<alg3D::GLPoint>& points) {
    const bool ok = writeLines(info, points, true, [&](char* p, std::size_t i) {
        const alg3D::GLPoint& q = points[i];
        p = formatFourDecimals(p, q.x);
        *p++ = '\t';
        p = formatFourDecimals(p, q.y);
        *p++ = '\t';
        p = formatFourDecimals(p, q.z);
        p = formatColors(p, q.r, q.g, q.b);
        *p++ = '\n';
        return p;
    });
    if (!ok) throwXyzcOpenError();
}

}  // namespace io
}  // namespace tessaro
