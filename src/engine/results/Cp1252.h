#pragma once

#include <string>
#include <string_view>

namespace torvi {

// Turns UTF-8 text into Windows-1252 bytes, the single-byte code page in which
// result files have always been written. A character the code page cannot
// hold, a C1 control character and every byte of a broken UTF-8 sequence
// become "?".
std::string Cp1252FromUtf8(std::string_view text);

} // namespace torvi
