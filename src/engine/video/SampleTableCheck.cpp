#include "video/SampleTableCheck.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

namespace torvi {

namespace {

std::uint64_t Be(const std::uint8_t* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

// Bytes each entry of a table box takes, from its version and flags; 0 for a
// box that is not a table.
std::uint64_t EntryBytes(std::string_view type, const std::uint8_t* payload) {
    const unsigned version = payload[0];
    const auto flags = static_cast<std::uint32_t>(Be(payload + 1, 3));
    if (type == "stts" || type == "ctts" || type == "co64") return 8;
    if (type == "stss" || type == "stco") return 4;
    if (type == "stsc") return 12;
    if (type == "elst") return version == 1 ? 20 : 12;
    if (type == "trun") return 4 * static_cast<std::uint64_t>(std::popcount(flags & 0xF00u));
    return 0;
}

// Walks the boxes of `data`; an entry count larger than its box can hold
// gives the reason. Boxes cut short end the walk: FFmpeg reads what is there.
std::string CheckBoxes(const std::uint8_t* data, std::uint64_t size, int depth) {
    static constexpr std::array<std::string_view, 10> Containers = {
        "moov", "trak", "mdia", "minf", "stbl", "edts", "mvex", "moof", "traf", "dinf"};
    std::uint64_t at = 0;
    while (depth < 16 && size - at >= 8) {
        std::uint64_t boxSize = Be(data + at, 4);
        const std::string_view type(reinterpret_cast<const char*>(data + at + 4), 4);
        std::uint64_t header = 8;
        if (boxSize == 1) {
            if (size - at < 16) break;
            boxSize = Be(data + at + 8, 8);
            header = 16;
        } else if (boxSize == 0) {
            boxSize = size - at;
        }
        if (boxSize < header) break;
        // A box longer than what is left is read as far as it goes.
        const std::uint64_t present = std::min(boxSize, size - at) - header;
        const std::uint8_t* payload = data + at + header;
        bool container = false;
        for (const std::string_view c : Containers)
            container = container || c == type;
        if (container) {
            std::string reason = CheckBoxes(payload, present, depth + 1);
            if (!reason.empty()) return reason;
        } else if (present >= 8) {
            // Entry counts are 32 bits and entries at most 20 bytes: no overflow.
            std::uint64_t needed = Be(payload + 4, 4) * EntryBytes(type, payload);
            std::uint64_t tableStart = 8;
            if ((type == "stsz" || type == "stz2") && present >= 12) {
                const std::uint64_t entries = Be(payload + 8, 4);
                // stsz leaves the table out when all samples share one size;
                // stz2 packs entries of 4, 8 or 16 bits.
                const std::uint64_t bits =
                    type == "stz2" ? payload[7] : (Be(payload + 4, 4) == 0 ? 32 : 0);
                needed = (entries * bits + 7) / 8;
                tableStart = 12;
            } else if (type == "trun") {
                const auto flags = static_cast<std::uint32_t>(Be(payload + 1, 3));
                tableStart += (flags & 1u ? 4 : 0) + (flags & 4u ? 4 : 0);
            }
            if (needed > 0 && (tableStart > present || needed > present - tableStart))
                return "the " + std::string(type) + " table declares more entries than its " +
                       std::to_string(present) + " bytes hold";
        }
        if (boxSize > size - at) break;
        at += boxSize;
    }
    return {};
}

bool IsTopLevelBox(const char type[4]) {
    static constexpr std::array<std::string_view, 10> Known = {
        "ftyp", "moov", "mdat", "free", "skip", "wide", "pnot", "uuid", "styp", "sidx"};
    const std::string_view t(type, 4);
    for (const std::string_view k : Known)
        if (k == t) return true;
    return false;
}

} // namespace

std::string SampleTableOverrun(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {}; // FFmpeg says why it cannot open it
    file.seekg(0, std::ios::end);
    const auto fileSize = static_cast<std::uint64_t>(file.tellg());
    std::uint64_t at = 0;
    bool first = true;
    while (fileSize - at >= 8) {
        std::uint8_t head[16];
        file.seekg(static_cast<std::streamoff>(at));
        if (!file.read(reinterpret_cast<char*>(head), 8)) break;
        if (first && !IsTopLevelBox(reinterpret_cast<const char*>(head + 4))) break;
        first = false;
        std::uint64_t boxSize = Be(head, 4);
        if (boxSize == 1) {
            if (!file.read(reinterpret_cast<char*>(head + 8), 8)) break;
            boxSize = Be(head + 8, 8);
        } else if (boxSize == 0) {
            boxSize = fileSize - at;
        }
        if (boxSize < 8) break;
        const std::string_view type(reinterpret_cast<const char*>(head + 4), 4);
        if (type == "moov" || type == "moof") {
            // The box as far as the file holds it; its size was read from the
            // file, so this is never more than the file.
            std::vector<std::uint8_t> box(
                static_cast<std::size_t>(std::min(boxSize, fileSize - at)));
            file.seekg(static_cast<std::streamoff>(at));
            if (!file.read(reinterpret_cast<char*>(box.data()),
                           static_cast<std::streamsize>(box.size())))
                break;
            std::string reason = CheckBoxes(box.data(), box.size(), 0);
            if (!reason.empty()) return reason;
        }
        if (boxSize > fileSize - at) break;
        at += boxSize;
    }
    return {};
}

} // namespace torvi
