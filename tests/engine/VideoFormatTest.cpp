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
    auto refused = [](BitmapInfoHeader header, std::size_t length = VideoFormatBlockSize) {
        const auto block = VideoFormatBlock(header);
        try {
            ParseVideoFormat(block.data(), length);
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    const BitmapInfoHeader good = RgbVideoFormat(320, 240);
    EXPECT_NE(refused(good, 39), "");
    EXPECT_NE(ParseVideoFormat(VideoFormatBlock(good).data(), 40).Width,
              0); // no colour entry needed

    BitmapInfoHeader h = good;
    h.BitCount = 24;
    EXPECT_NE(refused(h), "");
    h = good;
    h.Compression = 0x47504A4D; // MJPG
    EXPECT_NE(refused(h), "");
    h = good;
    h.Size = 4000; // claims more than the block holds
    EXPECT_NE(refused(h), "");
    h = RgbVideoFormat(320, -240);
    EXPECT_NE(refused(h), "");
    h = RgbVideoFormat(321, 240);
    EXPECT_NE(refused(h), "");
    h = RgbVideoFormat(0, 240);
    EXPECT_NE(refused(h), "");
    h = RgbVideoFormat(65536, 65536);
    EXPECT_NE(refused(h), "");
    h = good;
    h.SizeImage = 1000;
    EXPECT_NE(refused(h), "");
    h.SizeImage = 0; // allowed for uncompressed pictures
    EXPECT_EQ(refused(h), "");
    EXPECT_THROW(ParseVideoFormat(nullptr, 44), Error);
}
