#include "capture/VideoFormat.h"
#include "Error.h"

#include <gtest/gtest.h>

using namespace torvi;

namespace {

std::uint32_t Word(const std::array<std::uint8_t, VideoFormatBlockSize>& block, std::size_t at) {
    return block[at] | block[at + 1] << 8 | block[at + 2] << 16 |
           static_cast<std::uint32_t>(block[at + 3]) << 24;
}

} // namespace

TEST(VideoFormat, BlockForThePreviewAreaIsTheWindowsHeaderAndAZeroColourEntry) {
    const auto block = VideoFormatBlock(RgbVideoFormat(320, 240));
    ASSERT_EQ(block.size(), 44u);
    EXPECT_EQ(Word(block, 0), 40u);            // biSize
    EXPECT_EQ(Word(block, 4), 320u);           // biWidth
    EXPECT_EQ(Word(block, 8), 240u);           // biHeight
    EXPECT_EQ(block[12] | block[13] << 8, 1);  // biPlanes
    EXPECT_EQ(block[14] | block[15] << 8, 16); // biBitCount
    EXPECT_EQ(Word(block, 16), BI_RGB);        // biCompression
    EXPECT_EQ(Word(block, 20), 153600u);       // biSizeImage
    for (std::size_t at = 24; at < 44; at += 4)
        EXPECT_EQ(Word(block, at), 0u) << "offset " << at;

    EXPECT_EQ(ParseVideoFormat(block.data(), block.size()), (CaptureFormat{320, 240}));
    EXPECT_EQ(Word(VideoFormatBlock(RgbVideoFormat(640, 480)), 20), 614400u);
}

TEST(VideoFormat, RefusesBlocksTheCaptureCannotDeliver) {
    const BitmapInfoHeader good = RgbVideoFormat(320, 240);
    auto accepted = [](const BitmapInfoHeader& header, std::size_t length = VideoFormatBlockSize) {
        const auto block = VideoFormatBlock(header);
        try {
            ParseVideoFormat(block.data(), length);
            return true;
        } catch (const Error&) {
            return false;
        }
    };
    EXPECT_FALSE(accepted(good, 39));
    EXPECT_TRUE(accepted(good, 40)) << "the colour entry is not needed";
    auto changed = [&](auto change) {
        BitmapInfoHeader h = good;
        change(h);
        return h;
    };
    EXPECT_FALSE(accepted(changed([](auto& h) { h.BitCount = 24; })));
    EXPECT_FALSE(accepted(changed([](auto& h) { h.Compression = 0x47504A4D; }))); // MJPG
    EXPECT_FALSE(accepted(changed([](auto& h) { h.Size = 4000; }))); // more than the block
    EXPECT_FALSE(accepted(changed([](auto& h) { h.SizeImage = 1000; })));
    EXPECT_TRUE(accepted(changed([](auto& h) { h.SizeImage = 0; }))); // allowed for BI_RGB
    for (auto [width, height] : {std::pair{320, -240}, {321, 240}, {0, 240}, {65536, 65536}})
        EXPECT_FALSE(accepted(RgbVideoFormat(width, height))) << width << " x " << height;
    EXPECT_THROW(ParseVideoFormat(nullptr, 44), Error);
}
