#include "analysis/GreyValue.h"

#include <gtest/gtest.h>
#include <vector>

using namespace torvi;

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

TEST(GreyValue, FastPathsMatchExactFormulaForEveryColour) {
    const GreyTable& table = GreyTable::Instance();
    long long mismatches = 0;
    int ties = 0;
    std::vector<std::uint8_t> row(3 * 256);
    std::vector<std::uint8_t> grey(256);
    for (int red = 0; red < 256; ++red) {
        for (int green = 0; green < 256; ++green) {
            for (int blue = 0; blue < 256; ++blue) {
                row[3 * blue] = static_cast<std::uint8_t>(blue);
                row[3 * blue + 1] = static_cast<std::uint8_t>(green);
                row[3 * blue + 2] = static_cast<std::uint8_t>(red);
            }
            table.Row(row.data(), 256, grey.data());
            for (int blue = 0; blue < 256; ++blue) {
                const std::uint8_t* p = &row[3 * static_cast<std::size_t>(blue)];
                const std::uint8_t exact = ExactGreyValue(p[0], p[1], p[2]);
                if (grey[static_cast<std::size_t>(blue)] != exact || table.Value(p) != exact) {
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

TEST(GreyValue, RowsOfAnyLengthMatchPixelByPixel) {
    // Lengths around the vector widths and the internal chunk of 512 pixels,
    // with ties scattered in (pure blue 250 is one).
    std::vector<std::uint8_t> row(3 * 1500);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < row.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        row[i] = static_cast<std::uint8_t>(state >> 24);
    }
    for (std::size_t i = 0; i < 1500; i += 7)
        row[3 * i] = 250, row[3 * i + 1] = row[3 * i + 2] = 0;
    const GreyTable& table = GreyTable::Instance();
    for (const int count : {0, 1, 31, 33, 511, 512, 513, 1500}) {
        std::vector<std::uint8_t> grey(static_cast<std::size_t>(count) + 1, 77);
        table.Row(row.data(), count, grey.data());
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* p = &row[3 * static_cast<std::size_t>(i)];
            ASSERT_EQ(grey[static_cast<std::size_t>(i)], ExactGreyValue(p[0], p[1], p[2]))
                << "pixel " << i << " of " << count;
        }
        EXPECT_EQ(grey.back(), 77) << "wrote past " << count;
    }
}
