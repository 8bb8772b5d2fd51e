#pragma once

#include "locale/NameCollator.h"

#include <string>
#include <vector>

namespace torvi {

// The frame references of one measurement: decimal frame numbers of a film,
// or bare file names of a picture sequence resolved in its folder.
using FrameList = std::vector<std::string>;

// Every entry of the folder (hidden ones too, folders skipped) whose
// upper-case extension is fileExt, in its own letter case, sorted by the
// collator. When fileExt is ".JPG", ".JPEG" names are collected too.
// A folder that cannot be listed gives an empty list.
FrameList ListPictureSequence(const std::string& folder, const std::string& fileExt,
                              const NameCollator& collator);

// "0" .. "lastIndex" in order.
FrameList FilmFrameList(int lastIndex);

} // namespace torvi
