#include "results/ResultNumber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace torvi;

TEST(ResultNumber, FixedFiveDecimalsRightAlignedInTwelve) {
    EXPECT_EQ(FormatResultNumber(1.0L / 25, "."), "     0.04000");
    EXPECT_EQ(FormatResultNumber(1.0L / 25, ","), "     0,04000");
    EXPECT_EQ(FormatResultNumber(0, "."), "     0.00000");
    EXPECT_EQ(FormatResultNumber(359, "."), "   359.00000");
    EXPECT_EQ(FormatResultNumber(-2, "."), "    -2.00000");
    EXPECT_EQ(FormatResultNumber(123456.12345L, "."), "123456.12345");
    EXPECT_EQ(FormatResultNumber(1.0L / 3, ","), "     0,33333");
    EXPECT_EQ(FormatResultNumber(2.0L / 3, ","), "     0,66667");
    // A separator of two bytes still counts as one character.
    EXPECT_EQ(FormatResultNumber(0.5L, "\xD9\xAB"), "     0\xD9\xAB"
                                                    "50000");
}

TEST(ResultNumber, WiderNumbersAreWrittenInFull) {
    EXPECT_EQ(FormatResultNumber(1234567.125L, "."), "1234567.12500");
    EXPECT_EQ(FormatResultNumber(-123456.5L, "."), "-123456.50000");
    EXPECT_EQ(FormatResultNumber(1e20L, "."), "100000000000000000000.00000");
    // Beyond 18 significant digits only zeros follow.
    EXPECT_EQ(FormatResultNumber(1e30L, "."), "1" + std::string(30, '0') + ".00000");
    const std::string largest = FormatResultNumber(std::numeric_limits<long double>::max(), ".");
    EXPECT_EQ(largest.size(), 4933u + 6u);
    EXPECT_EQ(largest.substr(0, 19), "1189731495357231770");
    EXPECT_EQ(largest.find_first_not_of('0', 18), 4933u);
}

TEST(ResultNumber, SixthDecimalHalfRoundsAwayFromZero) {
    EXPECT_EQ(FormatResultNumber(1.0L / 64, "."), "     0.01563");
    EXPECT_EQ(FormatResultNumber(-1.0L / 64, "."), "    -0.01563");
    EXPECT_EQ(FormatResultNumber(3.0L / 64, "."), "     0.04688");
    EXPECT_EQ(FormatResultNumber(0.000025L, "."), "     0.00003");
    EXPECT_EQ(FormatResultNumber(0.0156249999L, "."), "     0.01562");
    // The nearest long double to 0.000005 lies above or below it; its 18
    // significant digits are 5 followed by zeros either way.
    EXPECT_EQ(FormatResultNumber(0.000005L, "."), "     0.00001");
    EXPECT_EQ(FormatResultNumber(-0.000005L, "."), "    -0.00001");
}

TEST(ResultNumber, EighteenDigitReductionComesFirstAndTiesGoToEven) {
    // Just below 1/64: 0.0156249999999999999991..., whose 18 significant
    // digits already read 0.0156250000000000000, which then rounds up.
    EXPECT_EQ(FormatResultNumber(std::nextafter(1.0L / 64, 0.0L), "."), "     0.01563");
    EXPECT_EQ(FormatResultNumber(std::nextafter(1.0L / 64, 1.0L), "."), "     0.01563");
    // Exact ties at the 19th digit: to the even 18th digit.
    EXPECT_EQ(FormatResultNumber(1234567890123456785.0L, "."), "1234567890123456780.00000");
    EXPECT_EQ(FormatResultNumber(1234567890123456795.0L, "."), "1234567890123456800.00000");
    EXPECT_EQ(FormatResultNumber(-1234567890123456785.0L, "."), "-1234567890123456780.00000");
    // Above a tie rounds up whatever the digit.
    EXPECT_EQ(FormatResultNumber(12345678901234567851.0L, "."), "12345678901234567900.00000");
    // A carry through all 18 digits.
    EXPECT_EQ(FormatResultNumber(999999999999999999.5L, "."), "1000000000000000000.00000");
    EXPECT_EQ(FormatResultNumber(999999999999999998.5L, "."), "999999999999999998.00000");
}

TEST(ResultNumber, NothingRoundsToMinusZero) {
    EXPECT_EQ(FormatResultNumber(-0.0L, "."), "     0.00000");
    EXPECT_EQ(FormatResultNumber(-0.000004L, "."), "     0.00000");
    EXPECT_EQ(FormatResultNumber(-0.0000049999L, ","), "     0,00000");
    EXPECT_EQ(FormatResultNumber(-1.0L / 360 / 1000, "."), "     0.00000");
    EXPECT_EQ(FormatResultNumber(std::numeric_limits<long double>::denorm_min(), "."),
              "     0.00000");
    EXPECT_EQ(FormatResultNumber(-std::numeric_limits<long double>::denorm_min(), "."),
              "     0.00000");
}

TEST(ResultNumber, NonFiniteValuesHaveTheirOwnWords) {
    EXPECT_EQ(FormatResultNumber(std::numeric_limits<long double>::infinity(), "."),
              "         INF");
    EXPECT_EQ(FormatResultNumber(-std::numeric_limits<long double>::infinity(), "."),
              "        -INF");
    EXPECT_EQ(FormatResultNumber(std::numeric_limits<long double>::quiet_NaN(), "."),
              "         NAN");
}
