#include "video/FramePicture.h"

#include "Error.h"
#include "video/MjpegSquareDecoder.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

// The scaler's slice threads hand their rows back through atomics that
// Helgrind cannot see; once the conversion has returned, the rows are this
// thread's alone, and saying so keeps a run under Helgrind to real findings.
// Costs a few instructions, and nothing without Valgrind's headers.
#if __has_include(<valgrind/helgrind.h>)
#include <valgrind/helgrind.h>
#define TORVI_ROWS_ARE_OURS(start, bytes) VALGRIND_HG_CLEAN_MEMORY(start, bytes)
#else
#define TORVI_ROWS_ARE_OURS(start, bytes)
#endif

namespace torvi {

namespace {

// How a frame's pixels reach the picture: copied row by row in the frame's
// own depth (Direct), or converted to 24 bits by the scaler.
struct Layout {
    PixelFormat Format = PixelFormat::Pf24Bit;
    int BitCount = 24; // bits a pixel in the frame's rows
    bool Direct = false;
};

Layout LayoutFor(AVPixelFormat format) {
    switch (format) {
    case AV_PIX_FMT_PAL8:
    case AV_PIX_FMT_GRAY8:
        return {PixelFormat::Pf8Bit, 8, true};
    case AV_PIX_FMT_MONOWHITE:
    case AV_PIX_FMT_MONOBLACK:
        return {PixelFormat::Pf1Bit, 1, true};
    case AV_PIX_FMT_RGB555LE:
    case AV_PIX_FMT_RGB565LE:
        return {PixelFormat::Pf16Bit, 16, true};
    case AV_PIX_FMT_BGR24:
        return {PixelFormat::Pf24Bit, 24, true};
    case AV_PIX_FMT_BGR0:
    case AV_PIX_FMT_BGRA:
        return {PixelFormat::Pf32Bit, 32, true};
    default:
        return {PixelFormat::Pf24Bit, 24, false};
    }
}

// The frame's colours, for the formats of 8 bits or fewer.
std::vector<PaletteEntry> FrameColours(const AVFrame& frame) {
    const auto entry = [](std::uint32_t rgb) {
        return PaletteEntry{static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(rgb >> 8),
                            static_cast<std::uint8_t>(rgb >> 16), 0};
    };
    std::vector<PaletteEntry> colours;
    switch (frame.format) {
    case AV_PIX_FMT_PAL8:
        // FFmpeg keeps the palette as native 0xAARRGGBB words.
        for (int i = 0; i < 256; ++i) {
            std::uint32_t argb = 0;
            std::memcpy(&argb, frame.data[1] + 4 * i, 4);
            colours.push_back(entry(argb));
        }
        break;
    case AV_PIX_FMT_GRAY8:
        colours = GreyPalette(8);
        break;
    case AV_PIX_FMT_MONOWHITE:
        colours = {entry(0xFFFFFFu), entry(0)};
        break;
    case AV_PIX_FMT_MONOBLACK:
        colours = {entry(0), entry(0xFFFFFFu)};
        break;
    default:
        break;
    }
    return colours;
}

// Each palette index as the first index of the same colour: a palette that
// holds a colour twice shows it by its first entry, so that pictures of
// the same colours hold the same indices.
std::array<std::uint8_t, 256> FirstOfEqualColours(const std::vector<PaletteEntry>& colours) {
    std::array<std::uint8_t, 256> first{};
    for (std::size_t i = 0; i < first.size(); ++i) {
        first[i] = static_cast<std::uint8_t>(i);
        if (i >= colours.size()) continue;
        for (std::size_t j = 0; j < i; ++j) {
            const PaletteEntry& a = colours[i];
            const PaletteEntry& b = colours[j];
            if (a.Blue == b.Blue && a.Green == b.Green && a.Red == b.Red) {
                first[i] = static_cast<std::uint8_t>(j);
                break;
            }
        }
    }
    return first;
}

// Copies the frame's rows into the picture (of the frame's size, in its
// depth, with the frame's colours), each row's padding zero.
void CopyRows(const AVFrame& frame, Bitmap& picture) {
    const int width = frame.width;
    const std::size_t stride = picture.Stride();
    std::array<std::uint8_t, 256> first{};
    if (picture.Format() == PixelFormat::Pf8Bit) first = FirstOfEqualColours(picture.Palette());
    for (int y = 0; y < frame.height; ++y) {
        // linesize is negative for films stored bottom-up.
        const std::uint8_t* src =
            frame.data[0] + static_cast<std::ptrdiff_t>(y) * frame.linesize[0];
        std::uint8_t* dst = picture.ScanLine(y);
        std::size_t written = 0;
        switch (frame.format) {
        case AV_PIX_FMT_PAL8:
        case AV_PIX_FMT_GRAY8: {
            for (int x = 0; x < width; ++x)
                dst[x] = first[src[x]];
            written = static_cast<std::size_t>(width);
            break;
        }
        case AV_PIX_FMT_RGB555LE:
            // Green's five bits become the upper five of six.
            for (int x = 0; x < width; ++x) {
                const unsigned v = static_cast<unsigned>(src[2 * x] | (src[2 * x + 1] << 8));
                const unsigned w = ((v & 0x7C00u) << 1) | ((v & 0x03E0u) << 1) | (v & 0x001Fu);
                dst[2 * x] = static_cast<std::uint8_t>(w);
                dst[2 * x + 1] = static_cast<std::uint8_t>(w >> 8);
            }
            written = 2 * static_cast<std::size_t>(width);
            break;
        case AV_PIX_FMT_BGR0:
        case AV_PIX_FMT_BGRA:
            // The fourth byte carries nothing the program shows.
            for (int x = 0; x < width; ++x) {
                std::memcpy(dst + 4 * x, src + 4 * x, 3);
                dst[4 * x + 3] = 0;
            }
            written = 4 * static_cast<std::size_t>(width);
            break;
        default: // 1-bit, 5-6-5 and BGR rows are the picture's own
            written = (static_cast<std::size_t>(width) *
                           static_cast<std::size_t>(picture.BitsPerPixel()) +
                       7) /
                      8;
            std::memcpy(dst, src, written);
            break;
        }
        std::memset(dst + written, 0, stride - written);
    }
}

// The luma range of a frame whose grey is its luma, or nullopt when the
// frame's first plane is not 8-bit luma, one byte a pixel (RGB, palette,
// packed or deeper formats keep the grey of their 24-bit pixels).
std::optional<LumaRange> LumaOf(const AVFrame& frame) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (!desc ||
        (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                        AV_PIX_FMT_FLAG_HWACCEL)) ||
        desc->nb_components < 3 || !(desc->flags & AV_PIX_FMT_FLAG_PLANAR))
        return std::nullopt;
    const AVComponentDescriptor& luma = desc->comp[0];
    if (luma.plane != 0 || luma.step != 1 || luma.depth != 8 || luma.shift != 0 || luma.offset != 0)
        return std::nullopt;
    // The J formats say full range by their name; the others per frame, as
    // the colour conversion reads them.
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return LumaRange::Full;
    default:
        return frame.color_range == AVCOL_RANGE_JPEG ? LumaRange::Full : LumaRange::Limited;
    }
}

// The grey of the frame's luma for columns x0 .. x0 + width - 1 of rows
// y0 .. y0 + height - 1 into the picture's grey plane.
void FillLumaGrey(const AVFrame& frame, LumaRange range, Bitmap& picture, int x0, int y0, int width,
                  int height) {
    // The decoder's frame threads handed the picture over through atomics
    // Helgrind cannot see; once delivered, its rows are only read.
    const std::ptrdiff_t step = frame.linesize[0];
    const std::uint8_t* first = frame.data[0] + static_cast<std::ptrdiff_t>(y0) * step + x0;
    const std::uint8_t* last = first + static_cast<std::ptrdiff_t>(height - 1) * step;
    TORVI_ROWS_ARE_OURS(std::min(first, last), static_cast<std::size_t>(std::abs(last - first)) +
                                                   static_cast<std::size_t>(width));
    for (int y = y0; y < y0 + height; ++y)
        GreyOfLumaRow(frame.data[0] + static_cast<std::ptrdiff_t>(y) * frame.linesize[0] + x0,
                      width, range, picture.LumaGreyLine(y) + x0);
}

} // namespace

void FramePicture::Scale(const AVFrame& frame, std::uint8_t* rows, int rowStep, std::size_t bytes) {
    // The frame interface hands the rows to the scaler's threads, each
    // converting its own band of rows; the plain call would convert them all
    // on this thread. The bands meet on whole chroma rows, so the picture is
    // the same byte for byte.
    av::Frame out(av_frame_alloc());
    if (!out) throw Error("Not enough memory to convert the film frame");
    // The rows belong to the caller: the buffer only lends them to the scaler.
    std::uint8_t* const start =
        rowStep < 0 ? rows + static_cast<std::ptrdiff_t>(rowStep) * (frame.height - 1) : rows;
    out->buf[0] = av_buffer_create(
        start, bytes, [](void*, std::uint8_t*) {}, nullptr, 0);
    if (!out->buf[0]) throw Error("Not enough memory to convert the film frame");
    out->data[0] = rows;
    out->linesize[0] = rowStep;
    out->width = frame.width;
    out->height = frame.height;
    out->format = AV_PIX_FMT_BGR24;
    if (sws_scale_frame(scaler_.get(), out.get(), &frame) < 0)
        throw Error("Film frame cannot be converted");
    TORVI_ROWS_ARE_OURS(start, bytes);
}

void FramePicture::Fill(const AVFrame& frame, Bitmap& picture, const PixelSquare* square) {
    if (Orientation.IsIdentity() ||
        LayoutFor(static_cast<AVPixelFormat>(frame.format)).BitCount < 8) {
        FillStored(frame, picture, square);
        return;
    }
    // 1-bit films come from capture cards, never turned. A turned film's
    // grey comes from its turned 24-bit pixels.
    FillStored(frame, stored_, nullptr);
    Orientation.Turn(stored_, picture);
    picture.DropLumaGrey();
}

void FramePicture::FillStored(const AVFrame& frame, Bitmap& picture, const PixelSquare* square) {
    const int width = frame.width;
    const int height = frame.height;
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const Layout layout = LayoutFor(format);
    CheckPictureSize(width, height, layout.BitCount, "Film frame is too large");
    if (width == 0 || height == 0) throw Error("Film frame is empty");
    const bool sameSize =
        picture.Format() == layout.Format && picture.Width() == width && picture.Height() == height;
    // A grey-only picture (a measurement's) has no rows to overwrite.
    const bool sameShape = sameSize && picture.HasPixels();
    if (layout.Direct) {
        if (!sameShape) picture.Assign(width, height, layout.Format);
        if (layout.BitCount <= 8) picture.SetPalette(FrameColours(frame));
        CopyRows(frame, picture);
        picture.DropLumaGrey();
        return;
    }
    const std::optional<LumaRange> luma = LumaOf(frame);
    if (luma && square && square->X0 >= 0 && square->Y0 >= 0 &&
        square->X0 + square->Width <= width && square->Y0 + square->Height <= height) {
        // The measurement reads only the square's grey: its luma is all
        // there is to do, and no colour is converted. A picture of another
        // shape becomes one of grey alone.
        if (!sameSize) picture.AssignGreyOnly(width, height);
        picture.AllocateLumaGrey();
        if (!square->Empty())
            FillLumaGrey(frame, *luma, picture, square->X0, square->Y0, square->Width,
                         square->Height);
        return;
    }
    FillPixels(frame, picture, square, sameShape);
    if (luma) {
        picture.AllocateLumaGrey();
        FillLumaGrey(frame, *luma, picture, 0, 0, width, height);
    } else {
        picture.DropLumaGrey();
    }
}

void FramePicture::FillPixels(const AVFrame& frame, Bitmap& picture, const PixelSquare* square,
                              bool sameShape) {
    const int width = frame.width;
    const int height = frame.height;
    if (square && sameShape && FillSquare(frame, *square, picture)) return;
    // Everything that can fail is done before the picture is touched.
    PrepareScaler(frame);
    if (!sameShape) picture.Assign(width, height, PixelFormat::Pf24Bit);
    const std::size_t stride = picture.Stride();
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    if (width % 16 == 0) {
        // Rows of whole vector blocks: the scaler writes straight into the
        // picture.
        Scale(frame, picture.Bits(), static_cast<int>(stride), picture.ByteSize());
        return;
    }
    // Otherwise the scaler's vector code may write whole blocks of pixels past
    // the width, so it works into its own padded rows, copied out afterwards.
    const std::size_t scaledStride = (rowBytes + 64 + 63) / 64 * 64;
    scaled_.resize(scaledStride * static_cast<std::size_t>(height) + 64);
    Scale(frame, scaled_.data(), static_cast<int>(scaledStride), scaled_.size());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* dst = picture.ScanLine(y);
        std::memcpy(dst, scaled_.data() + scaledStride * static_cast<std::size_t>(y), rowBytes);
        std::memset(dst + rowBytes, 0, stride - rowBytes);
    }
}

void FramePicture::PrepareScaler(const AVFrame& frame, bool split) {
    const int width = frame.width;
    const int height = frame.height;
    const auto format = static_cast<AVPixelFormat>(frame.format);
    if (!scaler_ || scalerWidth_ != width || scalerHeight_ != height || scalerFormat_ != format ||
        scalerSplit_ != split) {
        scaler_.reset(sws_alloc_context());
        if (scaler_) {
            SwsContext* scaler = scaler_.get();
            av_opt_set_int(scaler, "srcw", width, 0);
            av_opt_set_int(scaler, "srch", height, 0);
            av_opt_set_int(scaler, "src_format", format, 0);
            av_opt_set_int(scaler, "dstw", width, 0);
            av_opt_set_int(scaler, "dsth", height, 0);
            av_opt_set_int(scaler, "dst_format", AV_PIX_FMT_BGR24, 0);
            av_opt_set_int(scaler, "sws_flags", SWS_BILINEAR, 0);
            // The conversion splits its rows over the processor's cores.
            av_opt_set_int(scaler, "threads", split ? 0 : 1, 0);
            if (sws_init_context(scaler, nullptr, nullptr) < 0) scaler_.reset();
        }
        scalerWidth_ = width;
        scalerHeight_ = height;
        scalerFormat_ = format;
        scalerSplit_ = split;
    }
    if (!scaler_) throw Error("Film frames in this pixel format cannot be converted");
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB)) {
        const int space = frame.colorspace == AVCOL_SPC_UNSPECIFIED
                              ? SWS_CS_DEFAULT
                              : static_cast<int>(frame.colorspace);
        int* invTable = nullptr;
        int* table = nullptr;
        int srcRange = 0;
        int dstRange = 0;
        int brightness = 0;
        int contrast = 0;
        int saturation = 0;
        if (sws_getColorspaceDetails(scaler_.get(), &invTable, &srcRange, &table, &dstRange,
                                     &brightness, &contrast, &saturation) >= 0) {
            // The J formats already say full range; others tell it per frame.
            const int fullRange = frame.color_range == AVCOL_RANGE_JPEG ? 1 : srcRange;
            sws_setColorspaceDetails(scaler_.get(), sws_getCoefficients(space), fullRange,
                                     sws_getCoefficients(SWS_CS_DEFAULT), 1, brightness, contrast,
                                     saturation);
        }
    }
}

bool FramePicture::FillSquare(const AVFrame& frame, const PixelSquare& square, Bitmap& picture) {
    // Only the rows and columns of the square are converted. The crop
    // starts on whole chroma samples and on 64-pixel columns, so the
    // scaler's vector code sees aligned rows and every pixel of the square
    // comes out as from the whole frame's conversion. For 4:2:0 films both
    // ways; 4:2:2 films (Motion JPEG from lab cameras) keep every row, since
    // the scaler's 4:2:2 path gives the rows next to a crop's bottom edge
    // otherwise than the whole frame's conversion does.
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const bool rowsToo = format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
    if (!rowsToo && format != AV_PIX_FMT_YUV422P && format != AV_PIX_FMT_YUVJ422P) return false;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (!desc || !Orientation.IsIdentity() || frame.width % 64 != 0 || square.Empty()) return false;
    const int rowAlign = 1 << desc->log2_chroma_h;
    const int x0 = square.X0 / 64 * 64;
    const int x1 = std::min(frame.width, (square.X0 + square.Width + 63) / 64 * 64);
    const int y0 = rowsToo ? square.Y0 / rowAlign * rowAlign : 0;
    const int y1 = rowsToo ? std::min(frame.height, (square.Y0 + square.Height + rowAlign - 1) /
                                                        rowAlign * rowAlign)
                           : frame.height;
    if (x0 < 0 || y0 < 0 || x0 >= x1 || y0 >= y1) return false;
    if (x0 == 0 && x1 == frame.width && y0 == 0 && y1 == frame.height) return false;
    av::Frame cropped(av_frame_alloc());
    if (!cropped || av_frame_ref(cropped.get(), &frame) < 0) return false;
    cropped->crop_left = static_cast<std::size_t>(x0);
    cropped->crop_right = static_cast<std::size_t>(frame.width - x1);
    cropped->crop_top = static_cast<std::size_t>(y0);
    cropped->crop_bottom = static_cast<std::size_t>(frame.height - y1);
    if (av_frame_apply_cropping(cropped.get(), AV_FRAME_CROP_UNALIGNED) < 0 ||
        cropped->width != x1 - x0 || cropped->height != y1 - y0)
        return false;
    // The square is small, and while it is converted the other processors
    // decode the next frames: handing its rows to threads costs more
    // processor time than it saves.
    PrepareScaler(*cropped, false);
    // The crop is whole 64-pixel blocks wide, so the scaler's vector code
    // writes no further than the crop's own columns: it converts straight
    // into the picture's rows.
    const std::size_t rows = static_cast<std::size_t>(y1 - y0);
    const std::size_t stride = picture.Stride();
    Scale(*cropped, picture.ScanLine(y0) + 3 * x0, static_cast<int>(stride),
          stride * (rows - 1) + static_cast<std::size_t>(x1 - x0) * 3);
    return true;
}

} // namespace torvi
