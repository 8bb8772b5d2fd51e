#include "analysis/GreyValue.h"
#include "analysis/Rounding.h"

#include <gtest/gtest.h>

using namespace torvi;

TEST(GreyValue, RoundingGoesToTheEvenNeighbourOnlyOnExactHalves) {
    EXPECT_EQ(RoundHalfEven(0.5L), 0.0L);
    EXPECT_EQ(RoundHalfEven(1.5L), 2.0L);
    EXPECT_EQ(RoundHalfEven(28.5L), 28.0L);
    EXPECT_EQ(RoundHalfEven(-1.5L), -2.0L);
    EXPECT_EQ(RoundHalfEven(-2.5L), -2.0L);
    EXPECT_EQ(RoundHalfEven(-0.7L), -1.0L);
    EXPECT_EQ(RoundHalfEven(28.500000001L), 29.0L);
    EXPECT_EQ(RoundHalfEven(28.499999999L), 28.0L);
}

TEST(GreyValue, ExactFormulaKnownColours) {
    // Pure blue 250 is exactly 28.5 in extended arithmetic and rounds down.
    EXPECT_EQ(ExactGreyValue(250, 0, 0), 28);
    EXPECT_EQ(ExactGreyValue(0, 0, 100), 30);  // 29.9
    EXPECT_EQ(ExactGreyValue(0, 100, 0), 59);  // 58.7
    EXPECT_EQ(ExactGreyValue(30, 60, 90), 66); // 26.91 + 35.22 + 3.42
    for (int v = 0; v < 256; ++v) {
        const auto b = static_cast<std::uint8_t>(v);
        EXPECT_EQ(ExactGreyValue(b, b, b), v) << "colourless pixel " << v;
    }
}

TEST(GreyValue, FastTableMatchesExactFormulaForEveryColour) {
    const GreyTable& table = GreyTable::Instance();
    long long mismatches = 0;
    int ties = 0;
    for (int red = 0; red < 256; ++red) {
        for (int green = 0; green < 256; ++green) {
            for (int blue = 0; blue < 256; ++blue) {
                const auto r = static_cast<std::uint8_t>(red);
                const auto g = static_cast<std::uint8_t>(green);
                const auto b = static_cast<std::uint8_t>(blue);
                if (table.Value(b, g, r) != ExactGreyValue(b, g, r)) {
                    if (mismatches++ < 5)
                        ADD_FAILURE() << "red " << red << " green " << green << " blue " << blue;
                }
                if ((299 * red + 587 * green + 114 * blue) % 1000 == 500) ++ties;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    // The tie path must really have been exercised.
    EXPECT_GT(ties, 10000);
}
