// The number parser's scanner, inline for the readers' inner loops (NumberParser.h
// has the rules and the public entry points).
#pragma once

#include <cstdint>

namespace tessaro {
namespace io {
namespace detail {

inline bool isDecimalDigit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

// What the scanner found, for the slow path.
struct ScannedNumber {
    const char* mantissaBegin;  // first digit or separator, after the sign
    const char* separator;      // the '.' or ',', or null
    const char* end;            // end of the number text, exponent included
    long long digits;           // integer and fraction digits
    long long decimalExponent;  // exponent part minus fraction digits
    bool negative;
};

// Rounds the scanned decimal text correctly with std::from_chars; false when the
// result is +inf.
bool convertSlowly(const ScannedNumber& number, double& value);

constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Reads the number at p (before `end`) and returns the end of its text, or null when
// there is none. `blanksAreSpace` says whether blanks and tabs count as leading white
// space; the readers pass false because for them blanks and tabs end a token.
template <bool blanksAreSpace>
inline const char* scanNumber(const char* p, const char* end, double& value) {
    while (p < end && (*p == '\r' || *p == '\v' || *p == '\f' || *p == '\n' ||
                       (blanksAreSpace && (*p == ' ' || *p == '\t')))) {
        ++p;
    }
    ScannedNumber n;
    n.negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        n.negative = *p == '-';
        ++p;
    }
    n.mantissaBegin = p;
    // The first 19 digits also go into an integer for the exact fast path.
    std::uint64_t mantissa = 0;
    long long digits = 0;
    while (p < end && isDecimalDigit(*p)) {
        if (digits < 19) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        ++digits;
        ++p;
    }
    n.separator = nullptr;
    long long fractionDigits = 0;
    if (p < end && (*p == '.' || *p == ',')) {
        n.separator = p++;
        const char* fractionBegin = p;
        while (p < end && isDecimalDigit(*p)) {
            if (digits < 19) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
            ++digits;
            ++p;
        }
        fractionDigits = p - fractionBegin;
    }
    if (digits == 0) return nullptr;

    long long exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negativeExponent = false;
        if (p < end && (*p == '+' || *p == '-')) {
            negativeExponent = *p == '-';
            ++p;
        }
        while (p < end && isDecimalDigit(*p)) {
            // Saturates far outside the accepted range instead of overflowing.
            if (exponent < 100000000) exponent = exponent * 10 + (*p - '0');
            ++p;
        }
        if (negativeExponent) exponent = -exponent;
    }
    n.end = p;
    n.digits = digits;
    n.decimalExponent = exponent - fractionDigits;
    if (n.decimalExponent < -1021 || n.decimalExponent > 1024) return nullptr;

    if (digits <= 19 && mantissa <= (std::uint64_t(1) << 53) && n.decimalExponent >= -22 &&
        n.decimalExponent <= 22) {
        // Both operands are exact doubles, so the one rounding of the division or
        // product gives the correctly rounded value of the decimal text.
        const double m = static_cast<double>(mantissa);
        const double magnitude = n.decimalExponent < 0 ? m / kExactPowersOfTen[-n.decimalExponent]
                                                       : m * kExactPowersOfTen[n.decimalExponent];
        value = n.negative ? -magnitude : magnitude;
        return p;
    }
    return convertSlowly(n, value) ? p : nullptr;
}

}  // namespace detail
}  // namespace io
}  // namespace tessaro
