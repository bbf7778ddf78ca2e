#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <random>

#include "numfmt.h"

TEST(CoreNumFmt, FixedPatternsRoundHalfAwayOnTheDecimalForm) {
    EXPECT_EQ(FormatFixed(0.0, 0), "0");
    EXPECT_EQ(FormatFixed(2.5, 0), "3");
    EXPECT_EQ(FormatFixed(-2.5, 0), "-3");
    EXPECT_EQ(FormatFixed(0.05, 1), "0.1");
    EXPECT_EQ(FormatFixed(1.005, 2), "1.01"); // 1.00499999999999989... reads 1.005 at 15 digits
    EXPECT_EQ(FormatFixed(0.0005, 3), "0.001");
    EXPECT_EQ(FormatFixed(9.9996, 3), "10.000");
    EXPECT_EQ(FormatFixed(999.9995, 3), "1000.000");
    EXPECT_EQ(FormatFixed(6554 * 0.152587890625, 3), "1000.061");
    EXPECT_EQ(FormatFixed(0.152587890625, 3), "0.153");
    EXPECT_EQ(FormatFixed(12345678.4, 0), "12345678");
    EXPECT_EQ(FormatFixed(1e20, 1), "100000000000000000000.0");
    EXPECT_EQ(FormatFixed(0.0004, 2), "0.00");
    EXPECT_EQ(FormatFixed(0.006, 2), "0.01");
}

TEST(CoreNumFmt, FixedHasNoMinusOnAZeroResultAndAlwaysALeadingDigit) {
    EXPECT_EQ(FormatFixed(-0.0001, 3), "0.000");
    EXPECT_EQ(FormatFixed(-0.0, 1), "0.0");
    EXPECT_EQ(FormatFixed(-0.0006, 3), "-0.001");
    EXPECT_EQ(FormatFixed(-150.0, 0), "-150");
    EXPECT_EQ(FormatFixed(0.25, 2), "0.25");
}

TEST(CoreNumFmt, GeneralFormatMatchesTheFileExamples) {
    EXPECT_EQ(FormatGeneral(0.0), "0");
    EXPECT_EQ(FormatGeneral(9.765625), "9.765625");
    EXPECT_EQ(FormatGeneral(static_cast<float>(0.1)), "0.100000001490116");
    EXPECT_EQ(FormatGeneral(4.17232513427734e-5), "4.17232513427734E-5");
    EXPECT_EQ(FormatGeneral(static_cast<float>(1.23449999591685E-5)), "1.23449999591685E-5");
    EXPECT_EQ(FormatGeneral(static_cast<float>(0.000250999990385026)), "0.000250999990385026");
    EXPECT_EQ(FormatGeneral(static_cast<float>(0.0706999972462654)), "0.0706999972462654");
    EXPECT_EQ(FormatGeneral(static_cast<float>(3.09999990122378E-7)), "3.09999990122378E-7");
    EXPECT_EQ(FormatGeneral(-0.00166399055160582), "-0.00166399055160582");
    EXPECT_EQ(FormatGeneral(0.0001), "0.0001");
    EXPECT_EQ(FormatGeneral(0.00009999), "9.999E-5");
    EXPECT_EQ(FormatGeneral(123456789012345.0), "123456789012345");
    EXPECT_EQ(FormatGeneral(1e15), "1E15");
    EXPECT_EQ(FormatGeneral(-2.5), "-2.5");
    EXPECT_EQ(FormatGeneral(1e-30), "1E-30");
}

TEST(CoreNumFmt, GeneralFormatReadsBackToTheSameFloat) {
    for (float f : {0.1f, -2.4999998f, 1.1641532e-9f, 3.4028235e38f, 1.17549435e-38f, 0.333333f})
        EXPECT_EQ(static_cast<float>(*ParseDouble(FormatGeneral(f))), f) << f;
}

TEST(CoreNumFmt, ParsersTakeOnlyWholeNumbers) {
    EXPECT_EQ(ParseInt("13"), 13);
    EXPECT_EQ(ParseInt("-150"), -150);
    EXPECT_EQ(ParseInt("+7"), 7);
    EXPECT_EQ(ParseInt("2147483647"), 2147483647);
    EXPECT_FALSE(ParseInt("2147483648"));
    EXPECT_FALSE(ParseInt(""));
    EXPECT_FALSE(ParseInt("1x"));
    EXPECT_FALSE(ParseInt(" 1"));
    EXPECT_FALSE(ParseInt("+-1"));
    EXPECT_FALSE(ParseInt("1.0"));

    EXPECT_EQ(ParseDouble("1.0"), 1.0);
    EXPECT_EQ(ParseDouble("-4.17232513427734E-5"), -4.17232513427734e-5);
    EXPECT_EQ(ParseDouble("+2"), 2.0);
    EXPECT_FALSE(ParseDouble(""));
    EXPECT_FALSE(ParseDouble("abc"));
    EXPECT_FALSE(ParseDouble("1,5"));
    EXPECT_FALSE(ParseDouble("nan"));
    EXPECT_FALSE(ParseDouble("inf"));
    EXPECT_FALSE(ParseDouble("1e999"));
}

// Fifteen digits, rounded exactly: the same digits as the C library's "%.14e" gives.
TEST(CoreNumFmt, GeneralFormatDigitsAreExactlyRounded) {
    std::mt19937_64 rng(11);
    auto check = [](double v) {
        char ref[64];
        std::snprintf(ref, sizeof ref, "%.14e", v);
        const double back = *ParseDouble(FormatGeneral(v));
        char got[64];
        std::snprintf(got, sizeof got, "%.14e", back);
        ASSERT_STREQ(got, ref) << FormatGeneral(v);
    };
    for (int i = 0; i < 200000; ++i) {
        // Floats across the volt and spectrum range, and arbitrary doubles.
        const auto f = std::bit_cast<float>(static_cast<uint32_t>(rng()));
        if (std::isfinite(f) && f != 0.0f) check(f);
        const auto d = std::bit_cast<double>(rng());
        if (std::isfinite(d) && d != 0.0) check(d);
    }
    for (double v : {1.0, 2.5, 1e15, 999999999999999.5, 0.0001, 9.99999999999999e-5})
        check(v);
}

// The quick path for ordinary texts gives exactly the C library's conversion.
TEST(CoreNumFmt, ParseDoubleMatchesTheCLibrary) {
    std::mt19937_64 rng(5);
    char buf[64];
    for (int i = 0; i < 200000; ++i) {
        const auto f = std::bit_cast<float>(static_cast<uint32_t>(rng()));
        const double d = std::bit_cast<double>(rng());
        for (double v : {static_cast<double>(f), d}) {
            if (!std::isfinite(v)) continue;
            for (const char* fmt : {"%.15g", "%.17g", "%.6e", "%.3f"}) {
                std::snprintf(buf, sizeof buf, fmt, v);
                const auto got = ParseDouble(buf);
                ASSERT_TRUE(got.has_value()) << buf;
                EXPECT_EQ(std::bit_cast<uint64_t>(*got),
                          std::bit_cast<uint64_t>(std::strtod(buf, nullptr)))
                    << buf;
            }
        }
    }
    EXPECT_EQ(ParseDouble("-0"), -0.0);
    EXPECT_EQ(ParseDouble("12345678901234567890123"), 12345678901234567890123.0);
    EXPECT_EQ(ParseDouble("1E-30"), 1e-30);
    EXPECT_EQ(ParseDouble("1e5"), 1e5);
}
