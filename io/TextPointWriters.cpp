#include "io/TextPointWriters.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "alg3D/matrix/Alg3dException.h"
#include "io/JobOutput.h"

namespace tessaro {
namespace io {

namespace {

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 UInt128;

constexpr std::uint64_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                          100000, 1000000, 10000000, 100000000, 1000000000};

// Exact fixed-point text for |value| * 10^decimals < 1e18 and up to 9 decimals: the value is
// m * 2^e exactly, so value * 10^decimals = m * 10^decimals / 2^-e is rounded here
// in integers, ties to even, as printf does. Returns null when out of its range.
char* formatFixedExact(char* out, double value, int decimals) {
    if (decimals < 0 || decimals > 9) return nullptr;
    const std::uint64_t scale = kPowersOfTen[decimals];
    // The scaled value must fit into 64 bits.
    if (!(std::fabs(value) < 1e18 / static_cast<double>(scale))) return nullptr;
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    const std::uint64_t fraction = bits & ((std::uint64_t(1) << 52) - 1);
    const std::uint64_t mantissa = biased == 0 ? fraction : fraction | (std::uint64_t(1) << 52);
    const int shift = 1075 - (biased == 0 ? 1 : biased);  // value = mantissa / 2^shift
    std::uint64_t scaled = 0;
    if (shift <= 0) {
        scaled = (mantissa << -shift) * scale;  // the range check keeps this below 1e18
    } else if (shift < 128) {
        const UInt128 product = static_cast<UInt128>(mantissa) * scale;
        const UInt128 quotient = product >> shift;
        const UInt128 remainder = product - (quotient << shift);
        const UInt128 half = static_cast<UInt128>(1) << (shift - 1);
        scaled = static_cast<std::uint64_t>(quotient);
        if (remainder > half || (remainder == half && (scaled & 1))) ++scaled;
    }  // else below half a unit of the last decimal: zero
    if (bits >> 63) *out++ = '-';
    out = std::to_chars(out, out + 20, scaled / scale).ptr;
    if (decimals > 0) {
        *out++ = '.';
        std::uint64_t rest = scaled % scale;
        for (int i = decimals - 1; i >= 0; --i) {
            out[i] = static_cast<char>('0' + rest % 10);
            rest /= 10;
        }
        out += decimals;
    }
    return out;
}
#else
char* formatFixedExact(char*, double, int) {
    return nullptr;
}
#endif

}  // namespace

char* formatFixed(char* out, double value, int decimals) {
    if (char* end = formatFixedExact(out, value, decimals)) return end;
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
