#pragma once

#include <string>

namespace torvi {

// Why an MP4 or QuickTime film's sample tables cannot be what they declare,
// or an empty string when they can (and for any other kind of file).
//
// FFmpeg's MP4 reader allocates each table (sample sizes, chunk offsets,
// times, sync samples, fragment runs) for the entry count its box declares
// before it reads the entries, so a damaged count of a few hundred million
// in a film of a few kilobytes asks for gigabytes. Every entry takes bytes
// in its box; a count larger than the box can hold is refused here, before
// FFmpeg sees the file, which keeps the memory of opening a film
// proportional to its size.
std::string SampleTableOverrun(const std::string& path);

} // namespace torvi
