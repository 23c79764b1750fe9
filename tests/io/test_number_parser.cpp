// Number parser: accepted syntax, error cases, exponent range and correct rounding
// against the C library's strtod (which rounds correctly) as independent truth.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "alg3D/matrix/Alg3dException.h"
#include "io/NumberParser.h"

using tessaro::io::colorChannelFromNumber;
using tessaro::io::parseNumber;
using tessaro::io::tryParseNumber;

namespace {

const std::string kInvalid = "ALG3D::invalid character found.\n";

std::string failureText(const std::string& token) {
    try {
        parseNumber(token);
    } catch (const alg3D::Alg3dException& e) {
        return e.what();
    }
    return "no exception";
}

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// strtod is locale dependent only in its decimal separator, and tests run in "C".
double truth(std::string text) {
    for (char& c : text) {
        if (c == ',') c = '.';
    }
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace

TEST(NumberParser, AcceptsTheDocumentedSyntax) {
    EXPECT_EQ(parseNumber("1,5"), 1.5);
    EXPECT_EQ(parseNumber("2.5e1"), 25.0);
    EXPECT_EQ(parseNumber("-3"), -3.0);
    EXPECT_EQ(parseNumber("+4"), 4.0);
    EXPECT_EQ(parseNumber("  \t\r7"), 7.0);
    EXPECT_EQ(parseNumber(".5"), 0.5);
    EXPECT_EQ(parseNumber(",25"), 0.25);
    EXPECT_EQ(parseNumber("5."), 5.0);
    EXPECT_EQ(parseNumber("1E2"), 100.0);
    EXPECT_EQ(parseNumber("1e+2"), 100.0);
    EXPECT_EQ(parseNumber("1e-2"), 0.01);
    EXPECT_EQ(parseNumber("1,5e-1"), 0.15);
    EXPECT_EQ(parseNumber("007"), 7.0);
    EXPECT_TRUE(std::signbit(parseNumber("-0.0")));
    EXPECT_EQ(parseNumber("0"), 0.0);
}

TEST(NumberParser, IgnoresCharactersAfterTheNumber) {
    EXPECT_EQ(parseNumber("12abc"), 12.0);
    EXPECT_EQ(parseNumber("1.5.3"), 1.5);
    EXPECT_EQ(parseNumber("1,5,3"), 1.5);
    EXPECT_EQ(parseNumber("3\n"), 3.0);
    EXPECT_EQ(parseNumber("0x10"), 0.0);
    EXPECT_EQ(parseNumber("1e"), 1.0);  // an exponent without digits is 0
    EXPECT_EQ(parseNumber("1e+"), 1.0);
    EXPECT_EQ(parseNumber("2ex"), 2.0);
    EXPECT_EQ(parseNumber("4e2.5"), 400.0);
    EXPECT_EQ(parseNumber("-7-"), -7.0);
}

TEST(NumberParser, RejectsTextWithoutDigits) {
    for (const char* token : {"", " ", "-", "+", ".", ",", "-.", "e5", "E", "abc", "--1", "+-1",
                              "-+1", "\n", "inf", "nan", "- 1", ". 5"}) {
        EXPECT_EQ(failureText(token), kInvalid) << '"' << token << '"';
        double value = 42.0;
        EXPECT_FALSE(tryParseNumber(token, token + std::strlen(token), value)) << token;
        EXPECT_EQ(value, 42.0);
    }
}

TEST(NumberParser, MissingTokenIsAnError) {
    try {
        parseNumber(nullptr, nullptr);
        FAIL() << "no exception";
    } catch (const alg3D::Alg3dException& e) {
        EXPECT_STREQ(e.what(), kInvalid.c_str());
    }
}

TEST(NumberParser, ReadsOnlyWithinTheGivenRange) {
    const char text[] = "12345";
    double value = 0;
    ASSERT_TRUE(tryParseNumber(text, text + 2, value));
    EXPECT_EQ(value, 12.0);
    ASSERT_TRUE(tryParseNumber(text + 3, text + 5, value));
    EXPECT_EQ(value, 45.0);
}

TEST(NumberParser, ChecksTheDecimalExponentRange) {
    // The exponent that counts is that of the exponent part minus the fraction
    // digits; it must lie in -1021..1024.
    EXPECT_EQ(failureText("1e1025"), kInvalid);
    EXPECT_EQ(failureText("1e-1022"), kInvalid);
    EXPECT_EQ(failureText("10e-1022"), kInvalid);
    EXPECT_EQ(failureText("0.01e-1020"), kInvalid);
    EXPECT_EQ(failureText("0e2000"), kInvalid);
    EXPECT_EQ(failureText("1e99999999999999999999"), kInvalid);
    EXPECT_EQ(failureText("1e-99999999999999999999"), kInvalid);
    EXPECT_EQ(parseNumber("1e-1021"), 0.0);
    EXPECT_EQ(parseNumber("0.1e-1020"), 0.0);
    EXPECT_EQ(parseNumber("1e0000000000000000000000002"), 100.0);
    EXPECT_EQ(parseNumber("5e-1"), 0.5);

    const std::string zeros1020(1020, '0');
    EXPECT_EQ(parseNumber("0." + zeros1020 + "1"), 0.0);        // exponent -1021
    EXPECT_EQ(failureText("0." + zeros1020 + "01"), kInvalid);  // exponent -1022
    EXPECT_EQ(parseNumber("0," + zeros1020 + "1"), 0.0);
}

TEST(NumberParser, PositiveInfinityIsAnErrorNegativeInfinityIsNot) {
    EXPECT_EQ(failureText("1e1024"), kInvalid);
    EXPECT_EQ(failureText("0.5e1025"), kInvalid);
    EXPECT_EQ(failureText("1.7976931348623159e308"), kInvalid);
    EXPECT_EQ(failureText("1" + std::string(400, '0')), kInvalid);
    EXPECT_EQ(failureText("+1" + std::string(400, '0') + ",5"), kInvalid);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(parseNumber("-1e1024"), -inf);
    EXPECT_EQ(parseNumber("-0.5e1025"), -inf);
    EXPECT_EQ(parseNumber("-1" + std::string(400, '0')), -inf);
    EXPECT_EQ(parseNumber("1.7976931348623157e308"), DBL_MAX);
    EXPECT_EQ(parseNumber("-1.7976931348623157e308"), -DBL_MAX);
}

TEST(NumberParser, TinyValuesRoundToSubnormalsOrZero) {
    const double tiny = std::numeric_limits<double>::denorm_min();
    EXPECT_EQ(parseNumber("4.9406564584124654e-324"), tiny);
    EXPECT_EQ(parseNumber("3e-324"), tiny);
    EXPECT_EQ(parseNumber("2e-324"), 0.0);
    EXPECT_TRUE(std::signbit(parseNumber("-2e-324")));
    EXPECT_EQ(parseNumber("2.2250738585072014e-308"), DBL_MIN);
    EXPECT_EQ(parseNumber("1e-320"), std::strtod("1e-320", nullptr));
}

TEST(NumberParser, ValuesAreCorrectlyRounded) {
    // Scaling accumulated digits by reciprocal powers of ten is off by ulps here.
    EXPECT_TRUE(sameBits(parseNumber("0.3"), 0.3));
    EXPECT_TRUE(sameBits(parseNumber("0,3"), 0.3));
    EXPECT_TRUE(sameBits(parseNumber("0.1"), 0.1));
    EXPECT_TRUE(sameBits(parseNumber("123.456"), 123.456));
    EXPECT_TRUE(sameBits(parseNumber("1e-5"), 1e-5));
    EXPECT_TRUE(sameBits(parseNumber("1e23"), 1e23));
    EXPECT_TRUE(sameBits(parseNumber("8.98846567431158e307"), 8.98846567431158e307));
    // Exactly 0.1 as stored, and halfway cases that round to even.
    EXPECT_TRUE(
        sameBits(parseNumber("0.1000000000000000055511151231257827021181583404541015625"), 0.1));
    EXPECT_TRUE(sameBits(parseNumber("9007199254740993"), 9007199254740992.0));
    EXPECT_TRUE(sameBits(parseNumber("9007199254740995"), 9007199254740996.0));
    EXPECT_TRUE(sameBits(parseNumber("9007199254740993.0000000000000000001"), 9007199254740994.0));
    EXPECT_TRUE(sameBits(parseNumber("2.4703282292062327e-324"), 0.0));
    EXPECT_TRUE(sameBits(parseNumber("2.4703282292062328e-324"), 4.9406564584124654e-324));
    for (const char* text :
         {"0.7", "1.1", "2.675", "1e22", "1e-22", "123456789012345678", "1234567890123456789012",
          "0.000001", "99999999999999999999e-20", "4503599627370496.5", "4503599627370497.5",
          "1.00000000000000011102230246251565404236316680908203125"}) {
        EXPECT_TRUE(sameBits(parseNumber(text), truth(text))) << text;
    }
}

TEST(NumberParser, RandomDoublesRoundTripBitExactly) {
    std::mt19937_64 rng(20240601);
    std::uniform_int_distribution<std::uint64_t> bits;
    char text[64];
    int checked = 0;
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t b = bits(rng);
        double value;
        std::memcpy(&value, &b, sizeof value);
        if (!std::isfinite(value)) continue;
        std::snprintf(text, sizeof text, "%.17g", value);
        const double parsed = parseNumber(text);
        ASSERT_TRUE(sameBits(parsed, value)) << text;
        ++checked;
        // The same with a comma as decimal separator.
        if (char* dot = std::strchr(text, '.')) {
            *dot = ',';
            ASSERT_TRUE(sameBits(parseNumber(text), value)) << text;
        }
    }
    EXPECT_GT(checked, 190000);
}

TEST(NumberParser, RandomSixDecimalTextsReadAsStrtodReadsThem) {
    std::mt19937_64 rng(77);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> magnitude(-8, 12);
    char text[400];
    for (int i = 0; i < 200000; ++i) {
        const double value = unit(rng) * std::pow(10.0, magnitude(rng));
        std::snprintf(text, sizeof text, "%.6f", value);
        ASSERT_TRUE(sameBits(parseNumber(text), truth(text))) << text;
        std::snprintf(text, sizeof text, "%.6e", value);
        ASSERT_TRUE(sameBits(parseNumber(text), truth(text))) << text;
        std::snprintf(text, sizeof text, "%.12g", value);
        ASSERT_TRUE(sameBits(parseNumber(text), truth(text))) << text;
    }
    // Long digit strings beyond the exact fast path.
    std::uniform_int_distribution<int> digit(0, 9);
    std::uniform_int_distribution<int> length(15, 60);
    std::uniform_int_distribution<int> exponent(-290, 290);  // stays finite
    for (int i = 0; i < 20000; ++i) {
        std::string s = std::to_string(1 + digit(rng) % 9);
        const int n = length(rng);
        for (int k = 0; k < n; ++k)
            s.push_back(static_cast<char>('0' + digit(rng)));
        s.insert(1 + static_cast<std::size_t>(digit(rng)), ",");
        s += "e" + std::to_string(exponent(rng));
        ASSERT_TRUE(sameBits(parseNumber(s), truth(s))) << s;
    }
}

TEST(NumberParser, ColourChannelsKeepTheLowByteOfTheTruncatedValue) {
    EXPECT_EQ(colorChannelFromNumber(300.0), 44);
    EXPECT_EQ(colorChannelFromNumber(-1.0), 255);
    EXPECT_EQ(colorChannelFromNumber(255.9), 255);
    EXPECT_EQ(colorChannelFromNumber(256.0), 0);
    EXPECT_EQ(colorChannelFromNumber(-0.5), 0);
    EXPECT_EQ(colorChannelFromNumber(-1.5), 255);
    EXPECT_EQ(colorChannelFromNumber(-256.0), 0);
    EXPECT_EQ(colorChannelFromNumber(-257.0), 255);
    EXPECT_EQ(colorChannelFromNumber(128.0), 128);
    EXPECT_EQ(colorChannelFromNumber(4294967297.0), 1);  // 2^32 + 1
    EXPECT_EQ(colorChannelFromNumber(-std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(colorChannelFromNumber(1e300), 0);  // a multiple of 256
    // Within the 64-bit range the rule is that of a cast to int64 and its low byte.
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> any(-9.2e18, 9.2e18);
    for (int i = 0; i < 10000; ++i) {
        const double v = any(rng) / std::pow(10.0, i % 19);
        const auto expected = static_cast<unsigned char>(static_cast<std::int64_t>(v) & 0xff);
        ASSERT_EQ(colorChannelFromNumber(v), expected) << v;
    }
}
