#include "LengthFields.h"

#include <cstring>
#include <set>
#include <zlib.h>

namespace torvi::test {

namespace {

std::uint32_t Read(const Bytes& f, std::size_t at, int bytes, bool big) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        const std::uint32_t b = f[at + static_cast<std::size_t>(i)];
        v |= big ? b << (8 * (bytes - 1 - i)) : b << (8 * i);
    }
    return v;
}

std::uint32_t Be32(const Bytes& f, std::size_t at) {
    return Read(f, at, 4, true);
}

bool Has(const Bytes& f, std::size_t at, std::size_t count) {
    return at <= f.size() && count <= f.size() - at;
}

using Axis = LengthField::Axis;

void Add(std::vector<LengthField>& out, const Bytes& f, std::size_t at, int bytes, bool big,
         std::string name, Axis axis = Axis::None) {
    if (Has(f, at, static_cast<std::size_t>(bytes)))
        out.push_back({at, bytes, big, std::move(name) + "@" + std::to_string(at), axis});
}

} // namespace

Bytes WithField(const Bytes& file, const LengthField& field, std::uint32_t value) {
    Bytes out = file;
    if (field.Bytes < 4) value &= (1u << (8 * field.Bytes)) - 1;
    for (int i = 0; i < field.Bytes; ++i) {
        const int shift = field.BigEndian ? 8 * (field.Bytes - 1 - i) : 8 * i;
        out[field.Offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> shift);
    }
    return out;
}

Bytes PngChunk(const char type[4], const Bytes& data) {
    Bytes out;
    out.reserve(12 + data.size());
    const auto n = static_cast<std::uint32_t>(data.size());
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(n >> (24 - 8 * i)));
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(type[i]));
    for (const std::uint8_t b : data)
        out.push_back(b);
    const uLong crc = crc32(0, out.data() + 4, static_cast<uInt>(4 + data.size()));
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(crc >> (24 - 8 * i)));
    return out;
}

void RepairPngChecksums(Bytes& f) {
    std::size_t at = 8;
    while (Has(f, at, 12) && Be32(f, at) <= f.size() - at - 12) {
        const std::size_t length = Be32(f, at);
        const uLong crc = crc32(0, f.data() + at + 4, static_cast<uInt>(4 + length));
        for (int i = 0; i < 4; ++i)
            f[at + 8 + length + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        at += 12 + length;
    }
}

std::vector<LengthField> PngFields(const Bytes& f) {
    std::vector<LengthField> out;
    std::size_t at = 8;
    while (Has(f, at, 12)) {
        const std::string type(reinterpret_cast<const char*>(f.data() + at + 4), 4);
        Add(out, f, at, 4, true, type + " length");
        if (type == "IHDR") {
            Add(out, f, at + 8, 4, true, "width", Axis::Width);
            Add(out, f, at + 12, 4, true, "height", Axis::Height);
        }
        if (type == "IEND") break;
        at += 12 + Be32(f, at);
    }
    return out;
}

std::vector<LengthField> GifFields(const Bytes& f) {
    std::vector<LengthField> out;
    if (!Has(f, 0, 13)) return out;
    Add(out, f, 6, 2, false, "screen width", Axis::Width);
    Add(out, f, 8, 2, false, "screen height", Axis::Height);
    std::size_t at = 13;
    if (f[10] & 0x80) at += 3u * (2u << (f[10] & 7));
    auto subBlocks = [&](const char* what) {
        while (Has(f, at, 1) && f[at] != 0) {
            Add(out, f, at, 1, false, what);
            at += 1u + f[at];
        }
        ++at;
    };
    while (Has(f, at, 1)) {
        const std::uint8_t kind = f[at];
        if (kind == '!' && Has(f, at, 2)) {
            at += 2;
            subBlocks("extension block");
        } else if (kind == ',' && Has(f, at, 10)) {
            Add(out, f, at + 1, 2, false, "image left");
            Add(out, f, at + 3, 2, false, "image top");
            Add(out, f, at + 5, 2, false, "image width", Axis::Width);
            Add(out, f, at + 7, 2, false, "image height", Axis::Height);
            const std::uint8_t packed = f[at + 9];
            at += 10;
            if (packed & 0x80) at += 3u * (2u << (packed & 7));
            Add(out, f, at, 1, false, "code size");
            ++at;
            subBlocks("image block");
        } else {
            break;
        }
    }
    return out;
}

std::vector<LengthField> JpegFields(const Bytes& f) {
    std::vector<LengthField> out;
    std::size_t at = 2;
    while (Has(f, at, 4)) {
        if (f[at] != 0xFF) break;
        const std::uint8_t marker = f[at + 1];
        if (marker == 0xD9) break;
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        Add(out, f, at + 2, 2, true, "segment length");
        const std::size_t length = Read(f, at + 2, 2, true);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            Add(out, f, at + 5, 2, true, "picture height", Axis::Height);
            Add(out, f, at + 7, 2, true, "picture width", Axis::Width);
        }
        at += 2 + length;
        if (marker != 0xDA) continue;
        // The entropy-coded data runs to the next marker that is not a
        // stuffed zero or a restart marker.
        while (Has(f, at, 2) &&
               !(f[at] == 0xFF && f[at + 1] != 0 && (f[at + 1] < 0xD0 || f[at + 1] > 0xD7)))
            ++at;
    }
    return out;
}

std::vector<LengthField> TiffFields(const Bytes& f) {
    std::vector<LengthField> out;
    if (!Has(f, 0, 8)) return out;
    const bool big = f[0] == 'M';
    Add(out, f, 4, 4, big, "first directory");
    std::size_t dir = Read(f, 4, 4, big);
    std::set<std::size_t> seen;
    while (dir != 0 && Has(f, dir, 2) && seen.insert(dir).second) {
        Add(out, f, dir, 2, big, "entry count");
        const std::size_t count = Read(f, dir, 2, big);
        for (std::size_t i = 0; i < count && Has(f, dir + 2 + 12 * i, 12); ++i) {
            const std::size_t e = dir + 2 + 12 * i;
            const unsigned id = Read(f, e, 2, big);
            const std::string tag = "tag " + std::to_string(id);
            Add(out, f, e + 4, 4, big, tag + " count");
            const unsigned type = Read(f, e + 2, 2, big);
            const Axis axis = id == 256 ? Axis::Width : id == 257 ? Axis::Height : Axis::None;
            // A short value sits in the first bytes of the field.
            if (type == 3 && Read(f, e + 4, 4, big) == 1)
                Add(out, f, e + 8, 2, big, tag + " value", axis);
            else
                Add(out, f, e + 8, 4, big, tag + " value", axis);
        }
        const std::size_t next = dir + 2 + 12 * count;
        if (!Has(f, next, 4)) break;
        Add(out, f, next, 4, big, "next directory");
        dir = Read(f, next, 4, big);
    }
    return out;
}

std::vector<LengthField> BmpFields(const Bytes& f) {
    std::vector<LengthField> out;
    Add(out, f, 2, 4, false, "file size");
    Add(out, f, 10, 4, false, "pixel offset");
    Add(out, f, 14, 4, false, "header size");
    Add(out, f, 18, 4, false, "width", Axis::Width);
    Add(out, f, 22, 4, false, "height", Axis::Height);
    Add(out, f, 34, 4, false, "image size");
    Add(out, f, 46, 4, false, "colours used");
    return out;
}

std::vector<LengthField> PcxFields(const Bytes& f) {
    std::vector<LengthField> out;
    Add(out, f, 4, 2, false, "x min");
    Add(out, f, 6, 2, false, "y min");
    Add(out, f, 8, 2, false, "x max", Axis::Width);
    Add(out, f, 10, 2, false, "y max", Axis::Height);
    Add(out, f, 66, 2, false, "bytes per line");
    return out;
}

std::vector<LengthField> TgaFields(const Bytes& f) {
    std::vector<LengthField> out;
    Add(out, f, 0, 1, false, "id length");
    Add(out, f, 3, 2, false, "map start");
    Add(out, f, 5, 2, false, "map length");
    Add(out, f, 12, 2, false, "width", Axis::Width);
    Add(out, f, 14, 2, false, "height", Axis::Height);
    return out;
}

namespace {

// Chunks of a RIFF list from `at` to `end`; frame chunks and index entries
// are many alike, so only the first few of each list are taken.
void AviList(const Bytes& f, std::size_t at, std::size_t end, std::vector<LengthField>& out,
             int depth) {
    int taken = 0;
    while (at + 8 <= end && Has(f, at, 8) && taken < 6 && depth < 6) {
        const std::string id(reinterpret_cast<const char*>(f.data() + at), 4);
        const std::size_t size = Read(f, at + 4, 4, false);
        Add(out, f, at + 4, 4, false, id + " size");
        const std::size_t data = at + 8;
        if (id == "LIST" || id == "RIFF") {
            AviList(f, data + 4, std::min(end, data + size), out, depth + 1);
        } else if (id == "avih") {
            Add(out, f, data + 16, 4, false, "total frames");
            Add(out, f, data + 24, 4, false, "streams");
            Add(out, f, data + 28, 4, false, "buffer size");
            Add(out, f, data + 32, 4, false, "width");
            Add(out, f, data + 36, 4, false, "height");
        } else if (id == "strh") {
            Add(out, f, data + 28, 4, false, "stream start");
            Add(out, f, data + 32, 4, false, "stream length");
            Add(out, f, data + 36, 4, false, "stream buffer size");
        } else if (id == "strf") {
            Add(out, f, data, 4, false, "format header size");
            Add(out, f, data + 4, 4, false, "format width");
            Add(out, f, data + 8, 4, false, "format height");
            Add(out, f, data + 20, 4, false, "format image size");
            Add(out, f, data + 32, 4, false, "format colours used");
        } else if (id == "idx1") {
            for (std::size_t e = 0; e < 3 && 16 * (e + 1) <= size; ++e) {
                Add(out, f, data + 16 * e + 8, 4, false, "index entry offset");
                Add(out, f, data + 16 * e + 12, 4, false, "index entry size");
            }
        } else if (id == "indx") {
            Add(out, f, data + 4, 4, false, "index entries in use");
        }
        if (id != "LIST" && id != "RIFF" && id.size() == 4 && id[2] >= 'a') ++taken;
        at = data + size + (size & 1);
    }
}

void Mp4Boxes(const Bytes& f, std::size_t at, std::size_t end, std::vector<LengthField>& out,
              int depth) {
    static const std::set<std::string> containers = {"moov", "trak", "mdia", "minf", "stbl",
                                                     "dinf", "edts", "udta", "mvex"};
    static const std::set<std::string> counted = {"stts", "ctts", "stss", "stsc", "stco",
                                                  "co64", "elst", "dref", "stsd", "sdtp"};
    while (at + 8 <= end && Has(f, at, 8) && depth < 8) {
        const std::size_t size = Be32(f, at);
        const std::string type(reinterpret_cast<const char*>(f.data() + at + 4), 4);
        Add(out, f, at, 4, true, type + " size");
        if (size < 8) break;
        if (containers.count(type)) {
            Mp4Boxes(f, at + 8, std::min(end, at + size), out, depth + 1);
        } else if (counted.count(type)) {
            Add(out, f, at + 12, 4, true, type + " entries");
        } else if (type == "stsz") {
            Add(out, f, at + 12, 4, true, "stsz sample size");
            Add(out, f, at + 16, 4, true, "stsz entries");
        } else if (type == "mdhd" || type == "mvhd") {
            Add(out, f, at + 12 + 8, 4, true, type + " duration"); // version 0 only
        }
        at += size;
    }
}

} // namespace

std::vector<LengthField> AviFields(const Bytes& f) {
    std::vector<LengthField> out;
    Add(out, f, 4, 4, false, "RIFF size");
    AviList(f, 12, f.size(), out, 0);
    return out;
}

std::vector<LengthField> Mp4Fields(const Bytes& f) {
    std::vector<LengthField> out;
    Mp4Boxes(f, 0, f.size(), out, 0);
    return out;
}

} // namespace torvi::test
