#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace torvi::test {

// One field of a file that declares a size, a count or a position: where it
// sits, how wide it is and in which byte order, and what it is called.
struct LengthField {
    enum class Axis { None, Width, Height };
    std::size_t Offset = 0;
    int Bytes = 4; // 1, 2 or 4
    bool BigEndian = false;
    std::string Name;
    Axis Dimension = Axis::None; // a picture's width or height
};

using Bytes = std::vector<std::uint8_t>;

// The file with the field set to `value`, cut to the field's width
// (2^31 - 1 in a 16-bit field is 0x7FFF).
Bytes WithField(const Bytes& file, const LengthField& field, std::uint32_t value);

// The length fields of each format, found by walking the file's own
// structure: chunk, block, segment, entry and box sizes and counts, and the
// picture sizes. Walks stop at the first structure they cannot follow.
std::vector<LengthField> PngFields(const Bytes& file);
std::vector<LengthField> GifFields(const Bytes& file);
std::vector<LengthField> JpegFields(const Bytes& file);
std::vector<LengthField> TiffFields(const Bytes& file);
std::vector<LengthField> BmpFields(const Bytes& file);
std::vector<LengthField> PcxFields(const Bytes& file);
std::vector<LengthField> TgaFields(const Bytes& file);
std::vector<LengthField> AviFields(const Bytes& file);
std::vector<LengthField> Mp4Fields(const Bytes& file);

// Writes each PNG chunk's checksum afresh, so a changed field reaches the
// reader instead of a checksum error. Chunks whose length runs past the end
// are left alone.
void RepairPngChecksums(Bytes& file);

// A PNG chunk with its length and checksum, to build files that carry the
// ancillary chunks a reader should pass over.
Bytes PngChunk(const char type[4], const Bytes& data);

} // namespace torvi::test
