#include "NameCollator.h"

#include "UserLocale.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace torvi {

namespace {

// The characters a word sort passes over on its first comparison: the hyphen
// and the apostrophe, in their ASCII and typographic forms.
bool IsWordJoiner(UChar c) {
    return c == u'-' || c == u'\'' || c == 0x2010 || c == 0x2011 || c == 0x2019;
}

std::u16string Utf16(const std::string& text) {
    std::u16string out(text.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                         static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return out;
}

std::u16string WithoutWordJoiners(std::u16string text) {
    std::erase_if(text, IsWordJoiner);
    return text;
}

// The C locale's order: code points after simple case folding; a byte that
// is not UTF-8 stands for itself.
std::u32string FoldedCodePoints(const std::string& text) {
    std::u32string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t at = 0; at < length;) {
        const int32_t start = at;
        UChar32 c = 0;
        U8_NEXT(bytes, at, length, c);
        if (c < 0) {
            at = start + 1;
            c = bytes[start];
        }
        out.push_back(static_cast<char32_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT)));
    }
    return out;
}

} // namespace

struct NameCollator::Impl {
    // None in the C locale.
    std::unique_ptr<UCollator, decltype(&ucol_close)> Collator{nullptr, &ucol_close};

    int Order(const std::u16string& a, const std::u16string& b) const {
        return ucol_strcoll(Collator.get(), a.data(), static_cast<int32_t>(a.size()), b.data(),
                            static_cast<int32_t>(b.size()));
    }

    std::string SortKey(const std::u16string& text) const {
        std::string key(text.size() * 4 + 16, '\0');
        auto length = ucol_getSortKey(
            Collator.get(), text.data(), static_cast<int32_t>(text.size()),
            reinterpret_cast<uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
        if (length > static_cast<int32_t>(key.size())) {
            key.assign(static_cast<std::size_t>(length), '\0');
            length = ucol_getSortKey(Collator.get(), text.data(), static_cast<int32_t>(text.size()),
                                     reinterpret_cast<uint8_t*>(key.data()), length);
        }
        key.resize(static_cast<std::size_t>(std::max(length, 1) - 1)); // without its final 0
        return key;
    }
};

NameCollator::NameCollator(const std::string& localeName) : impl_(std::make_unique<Impl>()) {
    const std::string name =
        localeName.empty() ? EnvironmentLocaleName(LocaleCategory::Collation) : localeName;
    const auto id = IcuLocaleId(name);
    if (!id) return;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCollator, decltype(&ucol_close)> collator(ucol_open(id->c_str(), &status),
                                                               &ucol_close);
    if (U_FAILURE(status)) return;
    // Secondary strength: accents count, letter case does not. Digits stay
    // single characters (no numeric ordering) and punctuation keeps its
    // weight, as the locale's own rules have them.
    ucol_setStrength(collator.get(), UCOL_SECONDARY);
    ucol_setAttribute(collator.get(), UCOL_NUMERIC_COLLATION, UCOL_OFF, &status);
    ucol_setAttribute(collator.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    if (U_SUCCESS(status)) impl_->Collator = std::move(collator);
}

NameCollator::~NameCollator() = default;

int NameCollator::Compare(const std::string& a, const std::string& b) const {
    if (!impl_->Collator) {
        const std::u32string fa = FoldedCodePoints(a), fb = FoldedCodePoints(b);
        return fa < fb ? -1 : fa == fb ? 0 : 1;
    }
    const std::u16string wa = Utf16(a), wb = Utf16(b);
    const int first = impl_->Order(WithoutWordJoiners(wa), WithoutWordJoiners(wb));
    return first != 0 ? first : impl_->Order(wa, wb);
}

void NameCollator::Sort(std::vector<std::string>& names) const {
    if (!impl_->Collator) {
        std::sort(names.begin(), names.end(), [this](const std::string& a, const std::string& b) {
            const int c = Compare(a, b);
            return c != 0 ? c < 0 : a < b;
        });
        return;
    }
    // Each name's keys once, then plain byte comparisons: a folder of many
    // thousand pictures sorts without a collation per comparison.
    struct Keyed {
        std::string WordKey, FullKey;
        std::string* Name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(names.size());
    for (std::string& name : names) {
        const std::u16string wide = Utf16(name);
        keyed.push_back({impl_->SortKey(WithoutWordJoiners(wide)), impl_->SortKey(wide), &name});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.WordKey != b.WordKey) return a.WordKey < b.WordKey;
        if (a.FullKey != b.FullKey) return a.FullKey < b.FullKey;
        return *a.Name < *b.Name;
    });
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (const Keyed& k : keyed)
        sorted.push_back(std::move(*k.Name));
    names = std::move(sorted);
}

} // namespace torvi
