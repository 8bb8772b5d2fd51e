#pragma once

#include <cstddef>

namespace torvi::test {

// Counts the heap bytes the whole process holds, on every thread and in every
// library (libpng, libtiff, FFmpeg and the others as much as our own code),
// and keeps the highest count since the last StartPeak. In a plain build the
// test program stands in for malloc and its relatives; under AddressSanitizer
// the sanitizer's allocation hooks do the counting.
class AllocationCounter {
public:
    // Starts a new peak at what the process holds now.
    static void StartPeak();
    // The most the process held, beyond what it held at StartPeak.
    static std::size_t Peak();
};

} // namespace torvi::test
