#include "UserLocale.h"

#include <unicode/uloc.h>
#include <unicode/unum.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace torvi {

namespace {

const char* CategoryVariable(LocaleCategory category) {
    switch (category) {
    case LocaleCategory::Collation:
        return "LC_COLLATE";
    case LocaleCategory::Numbers:
        return "LC_NUMERIC";
    case LocaleCategory::Characters:
        return "LC_CTYPE";
    }
    return "LC_ALL";
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The script that a modifier of the C library's locale names selects.
std::string_view ScriptOfModifier(std::string_view modifier) {
    if (modifier == "latin") return "Latn";
    if (modifier == "cyrillic") return "Cyrl";
    if (modifier == "devanagari") return "Deva";
    return {};
}

bool ValidSubtag(std::string_view part) {
    return std::all_of(part.begin(), part.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

struct LanguageAndScript {
    std::string Language;
    std::string Script;
};

// The language and, where the name leaves it out, the script the locale is
// most likely written in (sr_RS is Cyrillic, sr_Latn_RS is not).
LanguageAndScript LikelyLanguageAndScript(const std::string& id) {
    char full[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_addLikelySubtags(id.c_str(), full, sizeof full, &status);
    if (U_FAILURE(status)) std::snprintf(full, sizeof full, "%s", id.c_str());
    char language[ULOC_LANG_CAPACITY] = {};
    char script[ULOC_SCRIPT_CAPACITY] = {};
    status = U_ZERO_ERROR;
    uloc_getLanguage(full, language, sizeof language, &status);
    status = U_ZERO_ERROR;
    uloc_getScript(full, script, sizeof script, &status);
    return {language, script};
}

bool Among(std::string_view language, std::initializer_list<std::string_view> languages) {
    return std::find(languages.begin(), languages.end(), language) != languages.end();
}

} // namespace

std::string EnvironmentLocaleName(LocaleCategory category) {
    for (const char* name : {"LC_ALL", CategoryVariable(category), "LANG"}) {
        std::string value = Variable(name);
        if (!value.empty()) return value;
    }
    return {};
}

std::optional<std::string> IcuLocaleId(std::string_view posixName) {
    // language[_territory][.charset][@modifier]
    std::string_view modifier;
    if (const auto at = posixName.find('@'); at != std::string_view::npos) {
        modifier = posixName.substr(at + 1);
        posixName = posixName.substr(0, at);
    }
    if (const auto point = posixName.find('.'); point != std::string_view::npos)
        posixName = posixName.substr(0, point);
    if (posixName.empty() || posixName == "C" || posixName == "POSIX") return std::nullopt;

    std::string_view language = posixName;
    std::string_view territory;
    if (const auto underscore = posixName.find('_'); underscore != std::string_view::npos) {
        language = posixName.substr(0, underscore);
        territory = posixName.substr(underscore + 1);
    }
    // A name that is no locale name at all (a path, a typing slip) is C.
    if (language.size() < 2 || language.size() > 3 || !ValidSubtag(language) ||
        territory.size() > 3 || !ValidSubtag(territory))
        return std::nullopt;

    std::string id(language);
    if (const std::string_view script = ScriptOfModifier(modifier); !script.empty())
        id.append("_").append(script);
    if (!territory.empty()) id.append("_").append(territory);
    char canonical[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_canonicalize(id.c_str(), canonical, sizeof canonical, &status);
    if (U_SUCCESS(status) && status != U_STRING_NOT_TERMINATED_WARNING) id = canonical;
    return id;
}

std::string DecimalSeparatorOf(std::string_view posixName) {
    const auto id = IcuLocaleId(posixName);
    if (!id) return ".";
    // Latin digits: Arabic locales write 0,5 with Arabic-Indic digits and
    // their own separator by default, while every number here is in 0 to 9.
    const std::string latin = *id + "@numbers=latn";
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UNumberFormat, decltype(&unum_close)> format(
        unum_open(UNUM_DECIMAL, nullptr, 0, latin.c_str(), nullptr, &status), &unum_close);
    if (U_FAILURE(status)) return ".";
    std::array<UChar, 8> symbol{};
    const int32_t length =
        unum_getSymbol(format.get(), UNUM_DECIMAL_SEPARATOR_SYMBOL, symbol.data(),
                       static_cast<int32_t>(symbol.size()), &status);
    if (U_FAILURE(status) || length <= 0) return ".";
    std::array<char, 32> utf8{};
    int32_t written = 0;
    u_strToUTF8(utf8.data(), static_cast<int32_t>(utf8.size()), &written, symbol.data(), length,
                &status);
    if (U_FAILURE(status) || written <= 0) return ".";
    return std::string(utf8.data(), static_cast<std::size_t>(written));
}

int CodePageOf(std::string_view posixName) {
    const auto id = IcuLocaleId(posixName);
    if (!id) return 1252;
    const LanguageAndScript locale = LikelyLanguageAndScript(*id);
    const std::string& language = locale.Language;
    const std::string& script = locale.Script;
    if (script == "Cyrl") return 1251;
    if (script == "Grek") return 1253;
    if (script == "Hebr") return 1255;
    if (script == "Arab") return 1256;
    if (script == "Thai") return 874;
    if (Among(language, {"cs", "sk", "pl", "hu", "sl", "hr", "ro", "sq", "bs", "sr", "tk"}))
        return 1250;
    if (Among(language, {"tr", "az", "uz"})) return 1254;
    if (Among(language, {"lt", "lv", "et"})) return 1257;
    if (language == "vi") return 1258;
    return 1252;
}

std::string UserDecimalSeparator() {
    return DecimalSeparatorOf(EnvironmentLocaleName(LocaleCategory::Numbers));
}

int UserCodePage() {
    return CodePageOf(EnvironmentLocaleName(LocaleCategory::Characters));
}

} // namespace torvi
