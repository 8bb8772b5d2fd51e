#pragma once

#include <array>
#include <string>
#include <string_view>

namespace torvi {

// The single-byte Windows code pages a result file can be written in.
inline constexpr std::array<int, 10> ResultCodePages = {874,  1250, 1251, 1252, 1253,
                                                        1254, 1255, 1256, 1257, 1258};

bool IsResultCodePage(int codePage);

// Turns UTF-8 text into the bytes of one of ResultCodePages, by ICU's tables
// for that code page. A character the code page cannot hold, a C1 control
// character and every byte of a broken UTF-8 sequence become "?". A
// Vietnamese letter that Windows-1258 holds only as a base letter and a
// combining tone mark is written so. Throws Error when ICU has no table for
// the code page.
std::string CodePageFromUtf8(std::string_view text, int codePage);

} // namespace torvi
