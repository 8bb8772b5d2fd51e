#include "PictureTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace torvi::test {

namespace {

std::string NextToken(const std::vector<std::uint8_t>& data, std::size_t& pos) {
    for (;;) {
        while (pos < data.size() && std::isspace(data[pos]))
            ++pos;
        if (pos < data.size() && data[pos] == '#') {
            while (pos < data.size() && data[pos] != '\n')
                ++pos;
            continue;
        }
        break;
    }
    std::string token;
    while (pos < data.size() && !std::isspace(data[pos]))
        token += static_cast<char>(data[pos++]);
    return token;
}

int Number(const std::string& token) {
    int value = 0;
    for (char c : token) {
        if (c < '0' || c > '9') throw std::runtime_error("bad number in reference: " + token);
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ReferencePicture ReadReference(const std::string& path) {
    const auto data = ReadBytes(path);
    std::size_t pos = 0;
    const std::string magic = NextToken(data, pos);
    ReferencePicture picture;
    int channels = 0;
    if (magic == "P5" || magic == "P6") {
        channels = magic == "P5" ? 1 : 3;
        picture.Width = Number(NextToken(data, pos));
        picture.Height = Number(NextToken(data, pos));
        if (Number(NextToken(data, pos)) != 255) throw std::runtime_error("not 8-bit: " + path);
    } else if (magic == "P7") {
        for (std::string key = NextToken(data, pos); key != "ENDHDR"; key = NextToken(data, pos)) {
            const std::string value = NextToken(data, pos);
            if (key == "WIDTH") picture.Width = Number(value);
            if (key == "HEIGHT") picture.Height = Number(value);
            if (key == "DEPTH") channels = Number(value);
        }
    } else {
        throw std::runtime_error("not a reference picture: " + path);
    }
    ++pos; // the single white-space byte before the samples
    const std::size_t pixels =
        static_cast<std::size_t>(picture.Width) * static_cast<std::size_t>(picture.Height);
    if (channels < 1 || channels > 4 ||
        data.size() - pos < pixels * static_cast<std::size_t>(channels))
        throw std::runtime_error("short reference: " + path);
    picture.HasAlpha = channels == 2 || channels == 4;
    picture.Rgba.resize(pixels * 4);
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* s = data.data() + pos + i * static_cast<std::size_t>(channels);
        std::uint8_t* d = picture.Rgba.data() + 4 * i;
        const bool grey = channels <= 2;
        d[0] = s[0];
        d[1] = grey ? s[0] : s[1];
        d[2] = grey ? s[0] : s[2];
        d[3] = picture.HasAlpha ? s[channels - 1] : 255;
    }
    return picture;
}

std::string CompareWithReference(const Bitmap& bitmap, const ReferencePicture& reference,
                                 int tolerance, std::uint8_t colourMask, bool compareAlpha) {
    if (bitmap.Width() != reference.Width || bitmap.Height() != reference.Height) {
        std::ostringstream out;
        out << "size " << bitmap.Width() << "x" << bitmap.Height() << ", expected "
            << reference.Width << "x" << reference.Height;
        return out.str();
    }
    const Bitmap bgr = bitmap.ToBgr24();
    for (int y = 0; y < reference.Height; ++y) {
        for (int x = 0; x < reference.Width; ++x) {
            const std::uint8_t* got = bgr.ScanLine(y) + 3 * x;
            const std::uint8_t* want = reference.Pixel(x, y);
            int worst = 0;
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(got[2 - c] - (want[c] & colourMask)));
            if (compareAlpha && bitmap.Format() == PixelFormat::Pf32Bit)
                worst = std::max(worst, std::abs(bitmap.ScanLine(y)[4 * x + 3] - want[3]));
            if (worst > tolerance) {
                std::ostringstream out;
                out << "pixel (" << x << "," << y << ") is RGB " << int(got[2]) << ","
                    << int(got[1]) << "," << int(got[0]) << ", expected " << int(want[0]) << ","
                    << int(want[1]) << "," << int(want[2]) << " alpha " << int(want[3]);
                return out.str();
            }
        }
    }
    return {};
}

std::vector<std::uint8_t>
EncodeJpeg(const std::vector<std::uint8_t>& samples, int width, int height, int components,
           J_COLOR_SPACE input, const std::function<void(jpeg_compress_struct&)>& configure) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = input;
    jpeg_set_defaults(&info);
    if (configure) configure(info);
    jpeg_start_compress(&info, TRUE);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(components);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + info.next_scanline * rowBytes);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

} // namespace torvi::test
