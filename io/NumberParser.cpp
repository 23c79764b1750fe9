#include "io/NumberParser.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "alg3D/matrix/Alg3dException.h"
#include "io/NumberScanner.h"

namespace tessaro {
namespace io {

namespace detail {

bool convertSlowly(const ScannedNumber& n, double& value) {
    // Leading zeros do not count for the magnitude.
    long long leadingZeros = 0;
    for (const char* q = n.mantissaBegin; q < n.end && (*q == '0' || q == n.separator); ++q) {
        if (*q == '0') ++leadingZeros;
    }
    double magnitude = 0.0;
    if (leadingZeros < n.digits) {
        // std::from_chars rounds correctly; it only needs '.' as separator.
        const std::size_t length = static_cast<std::size_t>(n.end - n.mantissaBegin);
        char small[256];
        std::string large;
        const char* text = n.mantissaBegin;
        if (n.separator != nullptr && *n.separator == ',') {
            char* copy = small;
            if (length > sizeof(small)) {
                large.assign(n.mantissaBegin, length);
                copy = large.data();
            } else {
                std::memcpy(small, n.mantissaBegin, length);
            }
            copy[n.separator - n.mantissaBegin] = '.';
            text = copy;
        }
        const auto result =
            std::from_chars(text, text + length, magnitude, std::chars_format::general);
        if (result.ec == std::errc::result_out_of_range) {
            // Out of range is overflow or underflow; the position of the first
            // significant digit tells which.
            const long long order = n.digits - leadingZeros + n.decimalExponent;
            magnitude = order > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        } else if (result.ec != std::errc()) {
            return false;
        }
    }
    if (magnitude == std::numeric_limits<double>::infinity() && !n.negative) return false;
    value = n.negative ? -magnitude : magnitude;
    return true;
}

}  // namespace detail

bool tryParseNumber(const char* begin, const char* end, double& value) {
    if (begin == nullptr) return false;
    return detail::scanNumber<true>(begin, end, value) != nullptr;
}

double parseNumber(const char* begin, const char* end) {
    double value = 0.0;
    if (!tryParseNumber(begin, end, value)) {
        alg3D::throwAlg3dException(alg3D::errors::kInvalidCharacter);
    }
    return value;
}

double parseNumber(const std::string& token) {
    return parseNumber(token.data(), token.data() + token.size());
}

unsigned char colorChannelFromNumber(double value) {
    if (!std::isfinite(value)) return 0;
    double low = std::fmod(std::trunc(value), 256.0);
    if (low < 0) low += 256.0;
    return static_cast<unsigned char>(low);
}

}  // namespace io
}  // namespace tessaro
