#include "Cp1252.h"

#include <array>
#include <cstdint>

namespace torvi {

namespace {

// The characters of bytes 0x80 to 0x9F; 0 where the code page has none.
constexpr std::array<char32_t, 32> HighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char ByteFor(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (std::size_t i = 0; i < HighControls.size(); ++i)
        if (HighControls[i] != 0 && HighControls[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

// Decodes the code point at text[at] and advances at; nothing for a broken,
// overlong or surrogate sequence, whose first byte alone is then consumed.
bool Decode(std::string_view text, std::size_t& at, char32_t& c) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        c = lead;
        ++at;
        return true;
    }
    if (lead >= 0xC2 && lead < 0xE0) {
        length = 2;
        c = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3;
        c = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead < 0xF5) {
        length = 4;
        c = lead & 0x07u;
        minimum = 0x10000;
    } else {
        ++at;
        return false;
    }
    if (at + length > text.size()) {
        ++at;
        return false;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return false;
        }
        c = (c << 6) | (next & 0x3Fu);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
        ++at;
        return false;
    }
    at += length;
    return true;
}

} // namespace

std::string Cp1252FromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        out.push_back(Decode(text, at, c) ? ByteFor(c) : '?');
    }
    return out;
}

} // namespace torvi
