#include "video/FrameDibBuilder.h"

#include "Bitmap.h"
#include "Error.h"
#include "video/AVIProc.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

namespace torvi {

namespace {

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct Layout {
    int BitCount = 24;
    std::uint32_t Compression = BI_RGB;
    std::size_t TableBytes = 0; // colour table or masks
    bool Direct = false;        // rows copied as the decoder left them
};

Layout LayoutFor(AVPixelFormat format) {
    switch (format) {
    case AV_PIX_FMT_PAL8:
    case AV_PIX_FMT_GRAY8:
        return {8, BI_RGB, 256 * 4, true};
    case AV_PIX_FMT_MONOWHITE:
    case AV_PIX_FMT_MONOBLACK:
        return {1, BI_RGB, 2 * 4, true};
    case AV_PIX_FMT_RGB555LE:
        return {16, BI_RGB, 0, true};
    case AV_PIX_FMT_RGB565LE:
        return {16, BI_BITFIELDS, 12, true};
    case AV_PIX_FMT_BGR24:
        return {24, BI_RGB, 0, true};
    case AV_PIX_FMT_BGR0:
    case AV_PIX_FMT_BGRA:
        return {32, BI_RGB, 0, true};
    default:
        return {24, BI_RGB, 0, false};
    }
}

void WriteTable(const AVFrame& frame, std::uint8_t* table) {
    switch (frame.format) {
    case AV_PIX_FMT_PAL8:
        // FFmpeg keeps the palette as native 0xAARRGGBB words; a DIB wants
        // blue, green, red and a zero byte.
        for (int i = 0; i < 256; ++i) {
            std::uint32_t argb = 0;
            std::memcpy(&argb, frame.data[1] + 4 * i, 4);
            PutU32(table + 4 * i, argb & 0x00FFFFFFu);
        }
        break;
    case AV_PIX_FMT_GRAY8:
        for (unsigned i = 0; i < 256; ++i)
            PutU32(table + 4 * i, i | (i << 8) | (i << 16));
        break;
    case AV_PIX_FMT_MONOWHITE:
        PutU32(table, 0x00FFFFFFu);
        PutU32(table + 4, 0);
        break;
    case AV_PIX_FMT_MONOBLACK:
        PutU32(table, 0);
        PutU32(table + 4, 0x00FFFFFFu);
        break;
    case AV_PIX_FMT_RGB565LE:
        PutU32(table, 0xF800);
        PutU32(table + 4, 0x07E0);
        PutU32(table + 8, 0x001F);
        break;
    default:
        break;
    }
}

} // namespace

void FrameDibBuilder::Scale(const AVFrame& frame, std::uint8_t* rows, int rowStep,
                            std::size_t bytes) {
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
}

void FrameDibBuilder::Build(const AVFrame& frame, std::vector<std::uint8_t>& dib,
                            const PixelSquare* square) {
    BuildStored(frame, dib, square);
    if (Orientation.IsIdentity()) return;
    const Layout layout = LayoutFor(static_cast<AVPixelFormat>(frame.format));
    Orient(dib, DibHeaderSize + layout.TableBytes, layout.BitCount);
}

void FrameDibBuilder::Orient(std::vector<std::uint8_t>& dib, std::size_t pixelsAt, int bitCount) {
    if (bitCount < 8) return; // 1-bit films come from capture cards, never turned
    const std::size_t pixel = static_cast<std::size_t>(bitCount) / 8;
    BitmapInfoHeader header = BitmapInfoHeader::Read(dib.data());
    const int inWidth = header.Width;
    const int inHeight = header.Height;
    const int outWidth = Orientation.Transpose ? inHeight : inWidth;
    const int outHeight = Orientation.Transpose ? inWidth : inHeight;
    const std::size_t inStride = RowStride(inWidth, bitCount);
    const std::size_t outStride = RowStride(outWidth, bitCount);
    turned_.assign(pixelsAt + outStride * static_cast<std::size_t>(outHeight), 0);
    std::memcpy(turned_.data(), dib.data(), pixelsAt);
    // Both DIBs keep their rows bottom-up: top row y is stored row height-1-y.
    const std::uint8_t* in = dib.data() + pixelsAt;
    std::uint8_t* out = turned_.data() + pixelsAt;
    for (int y = 0; y < outHeight; ++y) {
        std::uint8_t* dst = out + outStride * static_cast<std::size_t>(outHeight - 1 - y);
        for (int x = 0; x < outWidth; ++x) {
            int sx = Orientation.Transpose ? y : x;
            int sy = Orientation.Transpose ? x : y;
            if (Orientation.FlipX) sx = inWidth - 1 - sx;
            if (Orientation.FlipY) sy = inHeight - 1 - sy;
            const std::uint8_t* src = in + inStride * static_cast<std::size_t>(inHeight - 1 - sy) +
                                      pixel * static_cast<std::size_t>(sx);
            std::memcpy(dst + pixel * static_cast<std::size_t>(x), src, pixel);
        }
    }
    header.Width = outWidth;
    header.Height = outHeight;
    header.SizeImage = static_cast<std::uint32_t>(outStride * static_cast<std::size_t>(outHeight));
    header.Write(turned_.data());
    dib.swap(turned_);
}

void FrameDibBuilder::PrepareScaler(const AVFrame& frame, bool split) {
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

bool FrameDibBuilder::BuildSquare(const AVFrame& frame, const PixelSquare& square,
                                  std::uint8_t* top, std::size_t stride) {
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
    // into the DIB's rows, from the crop's top row down.
    const std::size_t rows = static_cast<std::size_t>(y1 - y0);
    Scale(*cropped,
          top - static_cast<std::ptrdiff_t>(y0) * static_cast<std::ptrdiff_t>(stride) + 3 * x0,
          -static_cast<int>(stride), stride * (rows - 1) + static_cast<std::size_t>(x1 - x0) * 3);
    return true;
}

void FrameDibBuilder::BuildStored(const AVFrame& frame, std::vector<std::uint8_t>& dib,
                                  const PixelSquare* square) {
    const int width = frame.width;
    const int height = frame.height;
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const Layout layout = LayoutFor(format);
    CheckPictureSize(width, height, layout.BitCount, "Film frame is too large");
    if (width == 0 || height == 0) throw Error("Film frame is empty");
    const std::size_t stride = RowStride(width, layout.BitCount);
    const std::size_t pixelsAt = DibHeaderSize + layout.TableBytes;
    dib.resize(pixelsAt + stride * static_cast<std::size_t>(height));

    std::uint8_t* h = dib.data();
    std::memset(h, 0, pixelsAt);
    BitmapInfoHeader header;
    header.Width = width;
    header.Height = height;
    header.BitCount = static_cast<std::uint16_t>(layout.BitCount);
    header.Compression = layout.Compression;
    header.SizeImage = static_cast<std::uint32_t>(stride * static_cast<std::size_t>(height));
    if (layout.BitCount <= 8) header.ClrUsed = static_cast<std::uint32_t>(layout.TableBytes / 4);
    header.Write(h);
    WriteTable(frame, h + DibHeaderSize);

    // The last DIB row is the picture's top row.
    std::uint8_t* top = h + pixelsAt + stride * static_cast<std::size_t>(height - 1);
    if (layout.Direct) {
        const std::size_t rowBytes =
            (static_cast<std::size_t>(width) * static_cast<std::size_t>(layout.BitCount) + 7) / 8;
        for (int y = 0; y < height; ++y) {
            // linesize is negative for films stored bottom-up.
            const std::uint8_t* src =
                frame.data[0] + static_cast<std::ptrdiff_t>(y) * frame.linesize[0];
            std::uint8_t* dst =
                top - static_cast<std::ptrdiff_t>(y) * static_cast<std::ptrdiff_t>(stride);
            std::memcpy(dst, src, rowBytes);
            std::memset(dst + rowBytes, 0, stride - rowBytes);
        }
        return;
    }

    if (square && BuildSquare(frame, *square, top, stride)) return;
    PrepareScaler(frame);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    if (width % 16 == 0) {
        // Rows of whole vector blocks: the scaler writes straight into the
        // DIB, from its top row down.
        Scale(frame, top, -static_cast<int>(stride), stride * static_cast<std::size_t>(height));
        return;
    }
    // Otherwise the scaler's vector code may write whole blocks of pixels past
    // the width, so it works into its own padded rows, copied out afterwards.
    const std::size_t scaledStride = (rowBytes + 64 + 63) / 64 * 64;
    scaled_.resize(scaledStride * static_cast<std::size_t>(height) + 64);
    Scale(frame, scaled_.data(), static_cast<int>(scaledStride), scaled_.size());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* dst =
            top - static_cast<std::ptrdiff_t>(y) * static_cast<std::ptrdiff_t>(stride);
        std::memcpy(dst, scaled_.data() + scaledStride * static_cast<std::size_t>(y), rowBytes);
        std::memset(dst + rowBytes, 0, stride - rowBytes);
    }
}

} // namespace torvi
