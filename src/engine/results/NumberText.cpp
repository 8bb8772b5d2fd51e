#include "NumberText.h"

#include <charconv>
#include <cmath>

namespace torvi {

namespace {

template <class Char> bool IsDigit(Char c) {
    return c >= Char('0') && c <= Char('9');
}

// Length in code units of the code point that starts at text[at]. Broken
// sequences count one unit at a time so that every unit is removable.
std::size_t CharacterLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t want = 1;
    if (lead >= 0xF0 && lead < 0xF8)
        want = 4;
    else if (lead >= 0xE0)
        want = lead < 0xF0 ? 3 : 1;
    else if (lead >= 0xC0)
        want = 2;
    std::size_t length = 1;
    while (length < want && at + length < text.size() &&
           (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
        ++length;
    return length == want ? length : 1;
}

std::size_t CharacterLength(std::u16string_view text, std::size_t at) {
    const char16_t unit = text[at];
    if (unit >= 0xD800 && unit < 0xDC00 && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
        text[at + 1] < 0xE000)
        return 2;
    return 1;
}

template <class Char>
bool SeparatorAt(std::basic_string_view<Char> text, std::size_t at,
                 std::basic_string_view<Char> separator) {
    return !separator.empty() && text.substr(at).starts_with(separator);
}

template <class Char>
std::optional<long double> Convert(std::basic_string_view<Char> text,
                                   std::basic_string_view<Char> separator) {
    if (text.empty()) return std::nullopt;
    std::string whole;
    std::string fraction;
    bool separatorSeen = false;
    for (std::size_t at = 0; at < text.size();) {
        if (IsDigit(text[at])) {
            (separatorSeen ? fraction : whole).push_back(static_cast<char>(text[at]));
            ++at;
        } else if (!separatorSeen && SeparatorAt(text, at, separator)) {
            separatorSeen = true;
            at += separator.size();
        } else {
            return std::nullopt;
        }
    }
    std::string plain = whole.empty() ? "0" : whole;
    if (!fraction.empty()) plain += "." + fraction;
    long double value = 0;
    const auto [end, error] =
        std::from_chars(plain.data(), plain.data() + plain.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
    return value;
}

// Position of the first character the filter would remove and its length, or
// the text's size when there is none. The first offending character goes
// before a second separator, as the field's filter checks them in that order.
template <class Char>
std::pair<std::size_t, std::size_t> FirstFault(std::basic_string_view<Char> text,
                                               std::basic_string_view<Char> separator) {
    std::size_t secondSeparator = text.size();
    bool separatorSeen = false;
    for (std::size_t at = 0; at < text.size();) {
        if (IsDigit(text[at])) {
            ++at;
        } else if (SeparatorAt(text, at, separator)) {
            if (separatorSeen && secondSeparator == text.size()) secondSeparator = at;
            separatorSeen = true;
            at += separator.size();
        } else {
            return {at, CharacterLength(text, at)};
        }
    }
    return {secondSeparator, separator.size()};
}

template <class Char>
std::optional<BasicNumberTextEdit<std::basic_string<Char>>>
Step(std::basic_string_view<Char> text, std::basic_string_view<Char> separator) {
    const auto [at, length] = FirstFault(text, separator);
    if (at == text.size()) return std::nullopt;
    std::basic_string<Char> result(text.substr(0, at));
    result += text.substr(at + length);
    return BasicNumberTextEdit<std::basic_string<Char>>{std::move(result), at};
}

template <class Char>
std::optional<BasicNumberTextEdit<std::basic_string<Char>>>
Filter(std::basic_string_view<Char> text, std::basic_string_view<Char> separator) {
    const std::size_t caret = FirstFault(text, separator).first;
    if (caret == text.size()) return std::nullopt;
    std::basic_string<Char> result;
    result.reserve(text.size());
    bool separatorSeen = false;
    for (std::size_t at = 0; at < text.size();) {
        if (IsDigit(text[at])) {
            result.push_back(text[at]);
            ++at;
        } else if (SeparatorAt(text, at, separator)) {
            if (!separatorSeen) result += separator;
            separatorSeen = true;
            at += separator.size();
        } else {
            at += CharacterLength(text, at);
        }
    }
    const std::size_t held = std::min(caret, result.size());
    return BasicNumberTextEdit<std::basic_string<Char>>{std::move(result), held};
}

} // namespace

std::optional<long double> ConvertNumberText(std::string_view text, std::string_view separator) {
    return Convert(text, separator);
}
std::optional<long double> ConvertNumberText(std::u16string_view text,
                                             std::u16string_view separator) {
    return Convert(text, separator);
}

std::optional<std::string> FrameRateText(std::int64_t numerator, std::int64_t denominator,
                                         std::string_view separator) {
    if (numerator <= 0 || denominator <= 0) return std::nullopt;
    const long double thousandths =
        std::floor(static_cast<long double>(numerator) * 1000 / denominator + 0.5L);
    if (thousandths < 1 || thousandths > 1e15L) return std::nullopt;
    const auto whole = static_cast<std::int64_t>(thousandths);
    std::string text = std::to_string(whole / 1000);
    const std::int64_t decimals = whole % 1000;
    if (decimals == 0) return text;
    std::string fraction = std::to_string(1000 + decimals).substr(1);
    while (fraction.back() == '0')
        fraction.pop_back();
    return text + std::string(separator) + fraction;
}

std::optional<NumberTextEdit> FilterNumberTextStep(std::string_view text,
                                                   std::string_view separator) {
    return Step(text, separator);
}
std::optional<NumberTextEdit16> FilterNumberTextStep(std::u16string_view text,
                                                     std::u16string_view separator) {
    return Step(text, separator);
}

std::optional<NumberTextEdit> FilterNumberText(std::string_view text, std::string_view separator) {
    return Filter(text, separator);
}
std::optional<NumberTextEdit16> FilterNumberText(std::u16string_view text,
                                                 std::u16string_view separator) {
    return Filter(text, separator);
}

} // namespace torvi
