#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace torvi {

// A picture file held in memory, handed out front to back to a decoding
// library's read callback.
struct MemoryReader {
    const std::uint8_t* Data = nullptr;
    std::size_t Size = 0;
    std::size_t Position = 0;

    std::size_t Remaining() const { return Size - Position; }

    // Copies up to `length` bytes to `out` and moves on past them; returns
    // how many there were.
    std::size_t Read(void* out, std::size_t length) {
        const std::size_t count = std::min(length, Remaining());
        if (count == 0) return 0; // an empty file may come without a buffer
        std::memcpy(out, Data + Position, count);
        Position += count;
        return count;
    }
};

} // namespace torvi
