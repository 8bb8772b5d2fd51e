#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace torvi {

// Reads a whole file into memory. Throws "Cannot open file %s" when it cannot
// be opened or read, or is larger than maxBytes.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path,
                                        std::size_t maxBytes = std::size_t{1} << 31);

// Writes a file so that it is either complete or not there at all: the bytes
// go to a temporary file in the same folder, which replaces the target only
// when everything was written. An earlier file of that name survives a
// failure untouched. A device or a pipe of that name (/dev/null, a FIFO) is
// written to directly, and stays what it is. Throws Error with the reason.
void WriteFileAtomically(const std::string& path, const void* data, std::size_t size);

} // namespace torvi
