#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvi {

// The numeric fields under the picture (frames per second, ticks per turn)
// hold digits and at most one decimal separator: the user's regional one,
// which the caller passes in (a point, a comma, or another single character).
// Every routine here comes twice: for UTF-8 text, where positions count bytes,
// and for UTF-16 text as the window's edit fields hold it, where positions
// count UTF-16 code units, the caret positions of those fields.

// Converts a field text to its value. The text converts when it consists of
// digits with at most one separator, which may also stand first or last; the
// separator alone is 0. An empty text, any other character, a second
// separator, and a value beyond the range of the extended type do not
// convert. Never depends on the process locale.
std::optional<long double> ConvertNumberText(std::string_view text, std::string_view separator);
std::optional<long double> ConvertNumberText(std::u16string_view text,
                                             std::u16string_view separator);

// A frame rate of numerator / denominator frames per second as a user types
// it in the frames-per-second field: whole numbers plain ("30"), others with
// the given separator and at most three decimals, trailing zeros dropped
// ("29,97" for 30000/1001 with a comma, "23.976" for 24000/1001). Nothing for
// a rate that is not positive or rounds to 0.
std::optional<std::string> FrameRateText(std::int64_t numerator, std::int64_t denominator,
                                         std::string_view separator);

// One change the entry filter makes to a field: the new text and where the
// caret goes (before the character that followed the removed one).
template <class String> struct BasicNumberTextEdit {
    String Text;
    std::size_t Caret = 0;
    bool operator==(const BasicNumberTextEdit&) const = default;
};
using NumberTextEdit = BasicNumberTextEdit<std::string>;
using NumberTextEdit16 = BasicNumberTextEdit<std::u16string>;

// One step of the entry filter: removes the first character that is neither a
// digit nor the separator or, when there is none, the second separator.
// Nothing when the text is already clean. Setting the new text is itself a
// change, so a field that runs this on every change of its text ends up with
// digits and the first separator only. A character is a whole code point, so
// a pasted accented letter goes in one step.
std::optional<NumberTextEdit> FilterNumberTextStep(std::string_view text,
                                                   std::string_view separator);
std::optional<NumberTextEdit16> FilterNumberTextStep(std::u16string_view text,
                                                     std::u16string_view separator);

// Where the step-by-step filter ends, reached in one linear pass: the text
// with digits and the first separator only, and the caret where the
// outermost step puts it (the first step's position, held inside the text).
// For a large paste this avoids one nested change per removed character.
std::optional<NumberTextEdit> FilterNumberText(std::string_view text, std::string_view separator);
std::optional<NumberTextEdit16> FilterNumberText(std::u16string_view text,
                                                 std::u16string_view separator);

} // namespace torvi
