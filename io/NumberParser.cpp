#include "io/NumberParser.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "alg3D/matrix/Alg3dException.h"

namespace tessaro {
namespace io {

namespace {

inline bool isDigit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

// White space as the C library classifies it in the "C" locale.
inline bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Powers of ten that are exact doubles.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr long long kMinDecimalExponent = -1021;
constexpr long long kMaxDecimalExponent = 1024;

}  // namespace

bool tryParseNumber(const char* p, const char* end, double& value) {
    if (p == nullptr) return false;
    while (p < end && isSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }

    // Digits, with the first 19 also gathered into an integer for the exact fast path.
    const char* const mantissaBegin = p;
    std::uint64_t mantissa = 0;
    long long digits = 0;
    long long leadingZeros = 0;
    bool significant = false;
    auto takeDigit = [&](char c) {
        if (digits < 19) mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
        if (!significant) {
            if (c == '0') {
                ++leadingZeros;
            } else {
                significant = true;
            }
        }
        ++digits;
    };
    while (p < end && isDigit(*p))
        takeDigit(*p++);
    const char* separator = nullptr;
    long long fractionDigits = 0;
    if (p < end && (*p == '.' || *p == ',')) {
        separator = p++;
        while (p < end && isDigit(*p)) {
            takeDigit(*p++);
            ++fractionDigits;
        }
    }
    if (digits == 0) return false;

    long long exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negativeExponent = false;
        if (p < end && (*p == '+' || *p == '-')) {
            negativeExponent = *p == '-';
            ++p;
        }
        while (p < end && isDigit(*p)) {
            // Saturates far outside the accepted range instead of overflowing.
            if (exponent < 100000000) exponent = exponent * 10 + (*p - '0');
            ++p;
        }
        if (negativeExponent) exponent = -exponent;
    }
    const char* const numberEnd = p;

    const long long decimalExponent = exponent - fractionDigits;
    if (decimalExponent < kMinDecimalExponent || decimalExponent > kMaxDecimalExponent) {
        return false;
    }

    double magnitude;
    if (digits <= 19 && mantissa <= (std::uint64_t(1) << 53) && decimalExponent >= -22 &&
        decimalExponent <= 22) {
        // Both operands are exact doubles, so the single rounding of the division or
        // product is the correctly rounded value of the decimal text.
        const double m = static_cast<double>(mantissa);
        magnitude = decimalExponent < 0 ? m / kExactPowers[-decimalExponent]
                                        : m * kExactPowers[decimalExponent];
    } else if (!significant) {
        magnitude = 0.0;
    } else {
        // std::from_chars rounds correctly; it only needs '.' as separator.
        const std::size_t length = static_cast<std::size_t>(numberEnd - mantissaBegin);
        char small[256];
        std::string large;
        const char* text = mantissaBegin;
        if (separator != nullptr && *separator == ',') {
            char* copy = small;
            if (length > sizeof(small)) {
                large.assign(mantissaBegin, length);
                copy = large.data();
            } else {
                std::memcpy(small, mantissaBegin, length);
            }
            copy[separator - mantissaBegin] = '.';
            text = copy;
        }
        double parsed = 0.0;
        const auto result =
            std::from_chars(text, text + length, parsed, std::chars_format::general);
        if (result.ec == std::errc::result_out_of_range) {
            // Out of range is either overflow or underflow; the position of the first
            // significant digit tells which.
            const long long order = digits - leadingZeros + decimalExponent;
            parsed = order > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        } else if (result.ec != std::errc()) {
            return false;
        }
        magnitude = parsed;
    }

    const double signedValue = negative ? -magnitude : magnitude;
    if (signedValue == std::numeric_limits<double>::infinity()) return false;
    value = signedValue;
    return true;
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
