// Numeric program parameters: decimal text to a 32-bit number cut toward zero.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "driver/qzmdl.h"

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(DriverParameters, DecimalNumbersAreCutTowardZero) {
    EXPECT_EQ(QZ_ParameterToLong("12"), 12);
    EXPECT_EQ(QZ_ParameterToLong("3.9"), 3);
    EXPECT_EQ(QZ_ParameterToLong("-2.7"), -2);
    EXPECT_EQ(QZ_ParameterToLong("-0.9"), 0);
    EXPECT_EQ(QZ_ParameterToLong("1e3"), 1000);
    EXPECT_EQ(QZ_ParameterToLong(".5e1"), 5);
    EXPECT_EQ(QZ_ParameterToLong("+5"), 5);
    EXPECT_EQ(QZ_ParameterToLong(" \t\n7"), 7);  // leading blanks are skipped
}

TEST(DriverParameters, ConversionStopsAtTheFirstCharacterThatCannotContinue) {
    EXPECT_EQ(QZ_ParameterToLong("x"), 0);
    EXPECT_EQ(QZ_ParameterToLong(""), 0);
    EXPECT_EQ(QZ_ParameterToLong("5abc"), 5);
    EXPECT_EQ(QZ_ParameterToLong("12 34"), 12);
    EXPECT_EQ(QZ_ParameterToLong("1e"), 1);
    EXPECT_EQ(QZ_ParameterToLong("+-5"), 0);
    EXPECT_EQ(QZ_ParameterToLong("0x1A"), 0);  // decimal only
    EXPECT_EQ(QZ_ParameterToLong(nullptr), 0);
}

TEST(DriverParameters, ValuesOutsideThe32BitRangeAreClamped) {
    EXPECT_EQ(QZ_ParameterToLong("2147483647"), kMax);
    EXPECT_EQ(QZ_ParameterToLong("2147483647.99"), kMax);
    EXPECT_EQ(QZ_ParameterToLong("2147483648"), kMax);
    EXPECT_EQ(QZ_ParameterToLong("-2147483648"), kMin);
    EXPECT_EQ(QZ_ParameterToLong("-2147483649"), kMin);
    EXPECT_EQ(QZ_ParameterToLong("99999999999999999999"), kMax);
    EXPECT_EQ(QZ_ParameterToLong("1e400"), kMax);   // beyond double: overflow
    EXPECT_EQ(QZ_ParameterToLong("-1e400"), kMin);
    EXPECT_EQ(QZ_ParameterToLong("1e-400"), 0);     // underflow
    EXPECT_EQ(QZ_ParameterToLong("inf"), kMax);
    EXPECT_EQ(QZ_ParameterToLong("-Infinity"), kMin);
    EXPECT_EQ(QZ_ParameterToLong("nan"), 0);
    EXPECT_EQ(QZ_ParameterToLong("-nan(123)"), 0);
}

}  // namespace
