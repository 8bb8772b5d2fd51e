#include "results/NumberText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace torvi;

namespace {

// Runs the filter the way the field does: every new text is a change that
// runs the filter again inside the change that made it, and the caret each
// level sets comes after the levels inside it, so the outermost one stays.
NumberTextEdit RunNested(const std::string& text, const std::string& separator) {
    NumberTextEdit field{text, 0};
    std::optional<std::size_t> outermostCaret;
    while (const auto edit = FilterNumberTextStep(field.Text, separator)) {
        if (!outermostCaret) outermostCaret = edit->Caret;
        field.Text = edit->Text;
    }
    field.Caret = std::min(outermostCaret.value_or(0), field.Text.size());
    return field;
}

} // namespace

TEST(NumberText, ConvertsDigitsWithOneSeparatorAnywhere) {
    EXPECT_EQ(ConvertNumberText("5,", ","), 5.0L);
    EXPECT_EQ(ConvertNumberText(",5", ","), 0.5L);
    EXPECT_EQ(ConvertNumberText(",", ","), 0.0L);
    EXPECT_EQ(ConvertNumberText("0", ","), 0.0L);
    EXPECT_EQ(ConvertNumberText("007", ","), 7.0L);
    EXPECT_EQ(ConvertNumberText("12,5", ","), 12.5L);
    // Correctly rounded to the extended type, the same as the compiler's
    // reading of the literal.
    EXPECT_EQ(ConvertNumberText("29.97", "."), 29.97L);
    EXPECT_EQ(ConvertNumberText("0,1", ","), 0.1L);
    EXPECT_EQ(ConvertNumberText(u"12,5", u","), 12.5L);
    EXPECT_EQ(ConvertNumberText(u".", u"."), 0.0L);
    // A separator of two bytes in UTF-8 and one unit in UTF-16 (U+066B).
    EXPECT_EQ(ConvertNumberText("1\xD9\xAB"
                                "5",
                                "\xD9\xAB"),
              1.5L);
    EXPECT_EQ(ConvertNumberText(u"1\u066B5", u"\u066B"), 1.5L);
}

TEST(NumberText, RefusesEmptyForeignAndOutOfRangeTexts) {
    const std::vector<std::string> refused{"",   "1.5", "1,5,2", ",,", "-1",    " 1",
                                           "1 ", "+1",  "1e3",   "x",  "1\xD9", "\xC3\xA9"};
    for (const std::string& text : refused)
        EXPECT_EQ(ConvertNumberText(text, ","), std::nullopt) << text;
    EXPECT_EQ(ConvertNumberText("29,97", "."), std::nullopt);
    EXPECT_EQ(ConvertNumberText(u"", u","), std::nullopt);
    EXPECT_EQ(ConvertNumberText("1" + std::string(5000, '0'), ","), std::nullopt);
    EXPECT_EQ(ConvertNumberText("," + std::string(5000, '0') + "1", ","), std::nullopt);
    // Long but in range.
    EXPECT_EQ(ConvertNumberText("1" + std::string(300, '0'), ","), 1e300L);
}

TEST(NumberText, FilterStepRemovesFirstOffenderThenSecondSeparator) {
    using Edit = NumberTextEdit;
    // Typing a letter, a point or a minus sign leaves the text as it was,
    // with the caret where the character was typed.
    EXPECT_EQ(FilterNumberTextStep("12a3", ","), (Edit{"123", 2}));
    EXPECT_EQ(FilterNumberTextStep("-5", ","), (Edit{"5", 0}));
    EXPECT_EQ(FilterNumberTextStep("25 ", ","), (Edit{"25", 2}));
    // Pasting 1.5 where the comma is the separator leaves 15.
    EXPECT_EQ(FilterNumberTextStep("1.5", ","), (Edit{"15", 1}));
    // A comma typed in front of an existing one stays; the old one goes.
    EXPECT_EQ(FilterNumberTextStep("1,2,5", ","), (Edit{"1,25", 3}));
    // The offending character goes first even when a second separator
    // stands before it.
    EXPECT_EQ(FilterNumberTextStep(",1,x", ","), (Edit{",1,", 3}));
    // A whole code point goes at once.
    EXPECT_EQ(FilterNumberTextStep("1\xC3\xA9"
                                   "2",
                                   ","),
              (Edit{"12", 1}));
    EXPECT_EQ(FilterNumberTextStep(u"1\U0001F600"
                                   u"2",
                                   u","),
              (NumberTextEdit16{u"12", 1}));
    // A broken sequence goes byte by byte.
    EXPECT_EQ(FilterNumberTextStep("1\xC3", ","), (Edit{"1", 1}));

    for (const char* clean : {"", ",", "007", "0", "12,5", ",5", "5,"})
        EXPECT_EQ(FilterNumberTextStep(clean, ","), std::nullopt) << clean;
}

TEST(NumberText, FilterKeepsTheRegionalSeparator) {
    // Where the point is the separator a camera rate of 29.97 stays as typed
    // and the comma is the foreign character.
    EXPECT_EQ(FilterNumberTextStep("29.97", "."), std::nullopt);
    EXPECT_EQ(FilterNumberTextStep("29,97", "."), (NumberTextEdit{"2997", 2}));
    EXPECT_EQ(FilterNumberTextStep("29.97", ","), (NumberTextEdit{"2997", 2}));
    EXPECT_EQ(FilterNumberTextStep(u"29.9.7", u"."), (NumberTextEdit16{u"29.97", 4}));
    EXPECT_EQ(FilterNumberTextStep("1\xD9\xAB"
                                   "5,",
                                   "\xD9\xAB"),
              (NumberTextEdit{"1\xD9\xAB"
                              "5",
                              4}));
}

TEST(NumberText, OnePassFilterEndsWhereTheNestedFieldEnds) {
    const std::vector<std::string> texts{"a,b,c", "1.5,3,4", ",,a",        "x",   "12,3.4,5",
                                         "1.5",   "--,,--",  "9\xC3\xA9,", "0,0", "abc,12,,3x"};
    for (const std::string& separator : {std::string(","), std::string(".")}) {
        for (const std::string& text : texts) {
            const NumberTextEdit nested = RunNested(text, separator);
            const auto once = FilterNumberText(text, separator);
            if (nested.Text == text) {
                EXPECT_EQ(once, std::nullopt) << text;
            } else {
                ASSERT_TRUE(once.has_value()) << text;
                EXPECT_EQ(*once, nested) << text << " with " << separator;
            }
        }
    }
    EXPECT_EQ(FilterNumberText(u"a1,b2,3", u","), (NumberTextEdit16{u"1,23", 0}));
    // A large paste is one linear pass.
    const std::string paste(1'000'000, 'x');
    EXPECT_EQ(FilterNumberText(paste + "7", ","), (NumberTextEdit{"7", 0}));
}

TEST(NumberText, FrameRateIsWrittenAsAUserTypesIt) {
    EXPECT_EQ(FrameRateText(30, 1, ","), "30");
    EXPECT_EQ(FrameRateText(30000, 1001, ","), "29,97");
    EXPECT_EQ(FrameRateText(24000, 1001, "."), "23.976");
    EXPECT_EQ(FrameRateText(25, 2, ","), "12,5");
    EXPECT_EQ(FrameRateText(2997, 100, "."), "29.97");
    // Read back, the text gives the rate to a thousandth.
    EXPECT_NEAR(static_cast<double>(*ConvertNumberText(*FrameRateText(60000, 1001, ","), ",")),
                60000.0 / 1001, 5e-4);
    EXPECT_EQ(FrameRateText(0, 1, ","), std::nullopt);
    EXPECT_EQ(FrameRateText(1, 0, ","), std::nullopt);
    EXPECT_EQ(FrameRateText(1, 100000, ","), std::nullopt); // rounds to 0
}
