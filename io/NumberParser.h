// Number parser of the text point readers.
//
// Reads one decimal number from the start of a token: optional white space, an
// optional '+' or '-', digits with '.' or ',' as decimal separator (at least one
// digit in all), an optional exponent ('e' or 'E', optional sign, digits; an 'e'
// without digits counts as exponent 0). Characters after the number are ignored
// ("12abc" reads as 12). The decimal exponent, that of the exponent part minus the
// number of fraction digits, must lie in -1021..1024. The value is the correctly
// rounded double of the decimal text, so "0.3" gives the same double as the literal
// 0.3. A value too large for a double is +inf, which is rejected, or -inf, which is
// returned; a value too small becomes zero.
//
// Errors: parseNumber throws Alg3dException "invalid character found.\n" when the
// token is missing or holds no number by the rules above; tryParseNumber returns
// false instead (the readers use it so that a bad line costs no exception).
// Cost: linear in the token length, no allocation for tokens of up to 256 bytes.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro {
namespace io {

// Parses the number at the start of [begin, end). Returns false when there is none.
bool tryParseNumber(const char* begin, const char* end, double& value);

// As tryParseNumber, throwing "invalid character found.\n" on failure. A null
// `begin` stands for a missing token.
double parseNumber(const char* begin, const char* end);
double parseNumber(const std::string& token);

// A colour channel from a parsed number: truncated toward zero, then reduced modulo
// 256 as the low byte of the integer (300 gives 44, -1 gives 255). Values beyond the
// 64-bit range keep the same modulo rule; infinities give 0.
unsigned char colorChannelFromNumber(double value);

}  // namespace io
}  // namespace tessaro
