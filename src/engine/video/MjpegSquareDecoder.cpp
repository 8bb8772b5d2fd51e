#include "MjpegSquareDecoder.h"

#include "Error.h"
#include "formats/JpegErrors.h"

#include <array>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <immintrin.h>
#include <string_view>
#include <vector>

namespace torvi {

namespace {

// 255 (y - 16) / 219 is never a half: 219 = 3 * 73 and 255 = 3 * 85, so the
// fraction is k / 73 with an odd denominator.
const std::array<std::uint8_t, 256>& LimitedToGrey() {
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> grey{};
        for (int y = 0; y < 256; ++y) {
            const long value = std::lround((y - 16) * 255.0 / 219.0);
            grey[static_cast<std::size_t>(y)] = static_cast<std::uint8_t>(value < 0     ? 0
                                                                          : value > 255 ? 255
                                                                                        : value);
        }
        return grey;
    }();
    return table;
}

// Comments up to this length are kept: enough for the longest one below.
constexpr unsigned int KeptCommentLength = 64;

// A comment as FFmpeg's decoder reads it: up to its first NUL, without a
// newline that ends it.
std::string_view CommentText(const jpeg_marker_struct& marker) {
    const char* text = reinterpret_cast<const char*>(marker.data);
    std::string_view comment(text, marker.data_length);
    const std::size_t nul = comment.find('\0');
    if (nul != std::string_view::npos) return comment.substr(0, nul);
    if (marker.data_length == marker.original_length && !comment.empty() && comment.back() == '\n')
        comment.remove_suffix(1);
    return comment;
}

enum class Comments { None, Itu601, Special };

// FFmpeg's decoder takes "CS=ITU601" for limited-range luma, and shows the
// frames of some old encoders upside down or as fields; those are left to it.
Comments ReadComments(const jpeg_decompress_struct& info) {
    Comments found = Comments::None;
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_COM) continue;
        const std::string_view text = CommentText(*marker);
        if (text == "CS=ITU601") {
            found = Comments::Itu601;
        } else if (text.starts_with("AVID") ||
                   text.starts_with("Intel(R) JPEG Library, version 1") ||
                   text.starts_with("Metasoft MJPEG Codec") || text == "MULTISCOPE II") {
            return Comments::Special;
        }
    }
    return found;
}

// Both chroma components sampled alike, the luma as finely or twice as
// finely in each direction: 4:4:4, 4:2:2, 4:2:0 and 4:4:0, in whichever
// factors the encoder wrote them (FFmpeg writes 4:2:2 as 2x2 luma over 1x2
// chroma). Finer chroma than luma, or 4:1:1, is left to FFmpeg.
bool UsualSampling(const jpeg_decompress_struct& info) {
    const jpeg_component_info* c = info.comp_info;
    if (c[1].h_samp_factor != c[2].h_samp_factor || c[1].v_samp_factor != c[2].v_samp_factor)
        return false;
    const auto finer = [](int luma, int chroma) { return luma == chroma || luma == 2 * chroma; };
    return finer(c[0].h_samp_factor, c[1].h_samp_factor) &&
           finer(c[0].v_samp_factor, c[1].v_samp_factor);
}

// A frame cut short lacks its end-of-image marker; cameras and AVI files
// may pad a frame with zero bytes after it.
bool EndsWithEndOfImage(const std::uint8_t* data, std::size_t size) {
    while (size > 0 && data[size - 1] == 0)
        --size;
    return size >= 4 && data[size - 2] == 0xFF && data[size - 1] == 0xD9;
}

} // namespace

struct MjpegSquareDecoder::State {
    jpeg_decompress_struct Info{};
    JpegErrorManager Error{};
    bool Created = false;
    // One row of the columns libjpeg decodes: at most the frame's width.
    std::vector<std::uint8_t> Row;

    ~State() {
        if (Created) jpeg_destroy_decompress(&Info);
    }
};

namespace {

bool CreateStage(jpeg_decompress_struct& info, JpegErrorManager& error) {
    if (setjmp(error.Jump)) return false;
    jpeg_create_decompress(&info);
    jpeg_save_markers(&info, JPEG_COM, KeptCommentLength);
    return true;
}

// The stage that calls into libjpeg holds setjmp; its locals are trivial,
// and the row buffer was sized before it.
MjpegSquareOutcome DecodeStage(jpeg_decompress_struct& info, JpegErrorManager& error,
                               std::uint8_t* rowBuffer, const std::uint8_t* data, std::size_t size,
                               int width, int height, const PixelSquare& square, std::uint8_t* grey,
                               std::ptrdiff_t stride, LumaRange& range) {
    if (setjmp(error.Jump)) return MjpegSquareOutcome::BrokenData;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (info.progressive_mode) return MjpegSquareOutcome::Progressive;
    if (info.arith_code) return MjpegSquareOutcome::Arithmetic;
    if (info.data_precision != 8 || info.num_components != 3 || info.jpeg_color_space != JCS_YCbCr)
        return MjpegSquareOutcome::NotYCbCr;
    if (!UsualSampling(info)) return MjpegSquareOutcome::Sampling;
    const Comments comments = ReadComments(info);
    if (comments == Comments::Special) return MjpegSquareOutcome::SpecialComment;
    if (static_cast<int>(info.image_width) != width ||
        static_cast<int>(info.image_height) != height)
        return MjpegSquareOutcome::OtherSize;
    range = comments == Comments::Itu601 ? LumaRange::Limited : LumaRange::Full;

    // Grey output makes libjpeg leave out the chroma's transforms.
    info.out_color_space = JCS_GRAYSCALE;
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    if (square.Empty()) return MjpegSquareOutcome::Decoded;
    // libjpeg widens the columns to whole MCUs: x0 moves left.
    JDIMENSION x0 = static_cast<JDIMENSION>(square.X0);
    JDIMENSION columns = static_cast<JDIMENSION>(square.Width);
    jpeg_crop_scanline(&info, &x0, &columns);
    const std::size_t offset = static_cast<std::size_t>(square.X0) - x0;
    const JDIMENSION y0 = static_cast<JDIMENSION>(square.Y0);
    if (y0 > 0 && jpeg_skip_scanlines(&info, y0) != y0) return MjpegSquareOutcome::BrokenData;
    const std::size_t count = static_cast<std::size_t>(square.Width);
    for (int r = 0; r < square.Height; ++r) {
        JSAMPROW row = rowBuffer;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) return MjpegSquareOutcome::BrokenData;
        std::uint8_t* out = grey + r * stride;
        GreyOfLumaRow(rowBuffer + offset, static_cast<int>(count), range, out);
    }
    return MjpegSquareOutcome::Decoded;
}

} // namespace

namespace {

// Limited-range luma to grey in fixed point: (y - 16) * 255 / 219 is
// (y - 16) * 9539 / 2^13 to within a rounding that never changes the nearest
// whole value for a luma clamped to 16..235 (the test compares every luma
// with GreyOfLuma).
void LimitedRowPortable(const std::uint8_t* luma, int count, std::uint8_t* out) {
    for (int x = 0; x < count; ++x) {
        int y = luma[x];
        y = y < 16 ? 16 : y > 235 ? 235 : y;
        out[x] = static_cast<std::uint8_t>(((y - 16) * 9539 + 4096) >> 13);
    }
}

// The same 32 pixels at a time in 16-bit lanes: with d = y - 16 (0..219),
// the rounding multiply of 4 d by 9539 is (4 d * 9539 + 2^14) >> 15, which is
// (d * 9539 + 4096) >> 13.
__attribute__((target("avx2"))) void LimitedRowAvx2(const std::uint8_t* luma, int count,
                                                    std::uint8_t* out) {
    const __m256i low = _mm256_set1_epi8(16);
    const __m256i high = _mm256_set1_epi8(static_cast<char>(235));
    const __m256i scale = _mm256_set1_epi16(9539);
    const __m256i zero = _mm256_setzero_si256();
    int x = 0;
    for (; x + 32 <= count; x += 32) {
        __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(luma + x));
        y = _mm256_subs_epu8(_mm256_min_epu8(_mm256_max_epu8(y, low), high), low);
        // Unpacking and packing both work within 128-bit halves, so the
        // bytes come back in their order.
        const __m256i first =
            _mm256_mulhrs_epi16(_mm256_slli_epi16(_mm256_unpacklo_epi8(y, zero), 2), scale);
        const __m256i second =
            _mm256_mulhrs_epi16(_mm256_slli_epi16(_mm256_unpackhi_epi8(y, zero), 2), scale);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                            _mm256_packus_epi16(first, second));
    }
    LimitedRowPortable(luma + x, count - x, out + x);
}

void LimitedRow(const std::uint8_t* luma, int count, std::uint8_t* out) {
    using Function = void (*)(const std::uint8_t*, int, std::uint8_t*);
    static const Function chosen = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? LimitedRowAvx2 : LimitedRowPortable;
    }();
    chosen(luma, count, out);
}

} // namespace

void GreyOfLumaRow(const std::uint8_t* luma, int count, LumaRange range, std::uint8_t* out) {
    if (range == LumaRange::Full)
        std::memcpy(out, luma, static_cast<std::size_t>(count));
    else
        LimitedRow(luma, count, out);
}

std::uint8_t GreyOfLuma(std::uint8_t luma, LumaRange range) {
    return range == LumaRange::Limited ? LimitedToGrey()[luma] : luma;
}

MjpegSquareDecoder::MjpegSquareDecoder() : state_(std::make_unique<State>()) {
    UseJpegErrorManager(state_->Info, state_->Error);
    if (!CreateStage(state_->Info, state_->Error))
        throw Error(std::string("Cannot start the JPEG decoder: ") + state_->Error.Message);
    state_->Created = true;
}

MjpegSquareDecoder::~MjpegSquareDecoder() = default;

MjpegSquareOutcome MjpegSquareDecoder::Decode(const std::uint8_t* data, std::size_t size, int width,
                                              int height, const PixelSquare& square,
                                              std::uint8_t* grey, std::ptrdiff_t stride) {
    if (!square.Empty() && (square.X0 < 0 || square.Y0 < 0 || square.X0 + square.Width > width ||
                            square.Y0 + square.Height > height))
        throw Error("The square to decode lies outside the frame");
    message_.clear();
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        return MjpegSquareOutcome::OtherSize;
    if (!EndsWithEndOfImage(data, size)) {
        message_ = "The frame has no end-of-image marker";
        return MjpegSquareOutcome::BrokenData;
    }
    state_->Row.resize(static_cast<std::size_t>(width));
    state_->Error.Message[0] = '\0';
    const MjpegSquareOutcome outcome =
        DecodeStage(state_->Info, state_->Error, state_->Row.data(), data, size, width, height,
                    square, grey, stride, range_);
    // Ready for the next frame, whatever became of this one.
    jpeg_abort_decompress(&state_->Info);
    if (outcome == MjpegSquareOutcome::BrokenData && message_.empty())
        message_ = state_->Error.Message[0] ? state_->Error.Message : "The frame is damaged";
    return outcome;
}

} // namespace torvi
