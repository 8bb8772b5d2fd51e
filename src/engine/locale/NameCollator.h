#pragma once

#include <memory>
#include <string>
#include <vector>

namespace torvi {

// Orders picture file names as the user's locale collates words, the order in
// which a sequence's pictures become its frames. Letter case is ignored,
// accents count only after the letters (été before etf), hyphens and
// apostrophes only between names that are otherwise equal (a1 before a-2),
// other punctuation keeps its place before digits and letters (a_2 before
// a1), and digits compare one by one (a10 before a2). In the C locale the
// names compare character by character, without case.
// One collator may be used from several threads at once.
class NameCollator {
public:
    // localeName is a POSIX locale name ("cs_CZ.UTF-8"); "" takes the
    // user's collation from the environment (LC_ALL, LC_COLLATE, LANG).
    explicit NameCollator(const std::string& localeName = "");
    ~NameCollator();
    NameCollator(const NameCollator&) = delete;
    NameCollator& operator=(const NameCollator&) = delete;

    // <0, 0 or >0 as a sorts before, equal to or after b.
    int Compare(const std::string& a, const std::string& b) const;
    // Names that compare equal (they differ only in letter case) keep a fixed
    // order, by their bytes, so that every run lists them alike.
    void Sort(std::vector<std::string>& names) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace torvi
