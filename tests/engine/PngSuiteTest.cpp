#include "Error.h"
#include "PictureTestSupport.h"
#include "TestSupport.h"
#include "formats/PngReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace torvi {
namespace {

// The suite's expected pixels: a flat JSON array of integers.
std::vector<int> ReadJsonNumbers(const std::string& path) {
    const auto text = test::ReadBytes(path);
    std::vector<int> numbers;
    bool inNumber = false;
    bool opened = false;
    for (const std::uint8_t c : text) {
        if (c >= '0' && c <= '9') {
            if (!inNumber) numbers.push_back(0);
            numbers.back() = numbers.back() * 10 + (c - '0');
            inNumber = true;
            continue;
        }
        inNumber = false;
        if (c == '[')
            opened = true;
        else if (c != ',' && c != ']' && !std::isspace(c))
            throw std::runtime_error("unexpected character in " + path);
    }
    if (!opened) throw std::runtime_error("no array in " + path);
    return numbers;
}

std::vector<std::string> SuiteNames() {
    std::vector<std::string> names;
    const std::string folder = test::ConformanceFile("pngsuite/png");
    if (!std::filesystem::is_directory(folder)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".png") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every picture of the suite decodes to the expected colours (16-bit ones
// within one step of their 8-bit reduction); every deliberately broken one
// ("x" names) is refused.
TEST(PngSuite, DecodesEveryGoodFileAndRefusesEveryBrokenOne) {
    const auto names = SuiteNames();
    if (names.empty())
        GTEST_SKIP() << "PngSuite not found at " << test::ConformanceFile("pngsuite");
    int good = 0, broken = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const auto bytes = test::ReadBytes(test::ConformanceFile("pngsuite/png/" + name + ".png"));
        if (name[0] == 'x') {
            EXPECT_THROW(DecodePng(bytes.data(), bytes.size()), Error);
            ++broken;
            continue;
        }
        const Bitmap bitmap = DecodePng(bytes.data(), bytes.size());
        const std::string json = test::ConformanceFile("pngsuite/json/" + name);
        // 16-bit files have their expected values reduced to 8 bits beside
        // them, or else only the 16-bit values, which are reduced here.
        const bool sixteen = name.substr(6, 2) == "16";
        const bool reduced = std::filesystem::exists(json + "_to8.json");
        auto expected = ReadJsonNumbers(reduced ? json + "_to8.json" : json + ".json");
        if (sixteen && !reduced)
            for (int& v : expected)
                v = (v * 255 + 32767) / 65535;
        ASSERT_EQ(expected.size(), 4u * static_cast<std::size_t>(bitmap.Width()) *
                                       static_cast<std::size_t>(bitmap.Height()));
        const Bitmap bgr = bitmap.ToBgr24();
        const int tolerance = sixteen ? 1 : 0;
        for (int y = 0; y < bitmap.Height(); ++y) {
            for (int x = 0; x < bitmap.Width(); ++x) {
                const int* want = expected.data() + 4 * (y * bitmap.Width() + x);
                const std::uint8_t* got = bgr.ScanLine(y) + 3 * x;
                for (int c = 0; c < 3; ++c)
                    ASSERT_LE(std::abs(got[2 - c] - want[c]), tolerance)
                        << "pixel " << x << "," << y << " channel " << c;
            }
        }
        ++good;
    }
    EXPECT_GT(good, 150);
    EXPECT_GT(broken, 10);
}

} // namespace
} // namespace torvi
