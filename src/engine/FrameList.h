#pragma once

#include <string>
#include <vector>

namespace torvi {

// The frame references of one measurement: decimal frame numbers of a film,
// or bare file names of a picture sequence resolved in its folder.
using FrameList = std::vector<std::string>;

// Orders file names as the user's locale collates them, ignoring letter case,
// with every character significant (points and digits compare as characters,
// so p10.bmp comes before p2.bmp and a1.bmp before a10.bmp). In the C locale
// this is plain ASCII order without case.
class NameCollator {
public:
    // localeName "" takes the user's collation from the environment.
    explicit NameCollator(const std::string& localeName = "");
    ~NameCollator();
    NameCollator(const NameCollator&) = delete;
    NameCollator& operator=(const NameCollator&) = delete;

    // <0, 0 or >0 as a sorts before, equal to or after b.
    int Compare(const std::string& a, const std::string& b) const;
    void Sort(std::vector<std::string>& names) const;

private:
    struct Impl;
    Impl* impl_;
};

// Every entry of the folder (hidden ones too, folders skipped) whose
// upper-case extension is fileExt, in its own letter case, sorted by the
// collator. When fileExt is ".JPG", ".JPEG" names are collected too.
// A folder that cannot be listed gives an empty list.
FrameList ListPictureSequence(const std::string& folder, const std::string& fileExt,
                              const NameCollator& collator);

// "0" .. "lastIndex" in order.
FrameList FilmFrameList(int lastIndex);

} // namespace torvi
