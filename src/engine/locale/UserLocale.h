#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace torvi {

// The user's language settings as the environment names them, read through
// ICU's locale data so that the window and torvi-measure agree whether or not
// the C library has the locale installed. Every routine reads the environment
// when called; nothing is cached.

// The setting a piece of locale data follows.
enum class LocaleCategory {
    Collation,  // picture order: LC_COLLATE
    Numbers,    // the decimal separator: LC_NUMERIC
    Characters, // the result file's code page: LC_CTYPE
};

// The locale name the environment gives for a category, looked up as the C
// library does: LC_ALL, then the category's own variable, then LANG; empty
// values count as unset. "" when none is set, which means the C locale.
std::string EnvironmentLocaleName(LocaleCategory category);

// The ICU locale for a POSIX locale name: the character set is dropped and
// the script modifiers of the C library become scripts ("cs_CZ.UTF-8" is
// cs_CZ, "sr_RS@latin" is sr_Latn_RS). Nothing for "", "C", "POSIX" and their
// ".UTF-8" forms: there the program keeps its plain rules (ASCII order without
// case, a point, Windows-1252).
std::optional<std::string> IcuLocaleId(std::string_view posixName);

// The decimal separator the locale writes with Latin digits (the program's
// digits are always 0 to 9): "," for de_DE, "." for en_US, ar_EG and C.
std::string DecimalSeparatorOf(std::string_view posixName);

// The single-byte Windows code page for the locale's language and script:
// 1250 Central European, 1251 Cyrillic, 1253 Greek, 1254 Turkish and
// Azerbaijani, 1255 Hebrew, 1256 Arabic script, 1257 Baltic, 1258 Vietnamese,
// 874 Thai, and 1252 for every other locale and for C.
int CodePageOf(std::string_view posixName);

// The same for the user: from the locale the environment names.
std::string UserDecimalSeparator();
int UserCodePage();

} // namespace torvi
