#include "Error.h"
#include "FileIO.h"
#include "TestSupport.h"
#include "locale/CodePage.h"
#include "locale/NameCollator.h"
#include "locale/UserLocale.h"
#include "results/ResultTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace torvi;

namespace {

// Sets or clears environment variables for one test and puts the earlier
// values back.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(std::vector<std::pair<const char*, const char*>> values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            Set(name, value);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_)
            Set(name.c_str(), value ? value->c_str() : nullptr);
    }

private:
    static void Set(const char* name, const char* value) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

std::vector<std::string> Sorted(const char* locale, std::vector<std::string> names) {
    NameCollator(locale).Sort(names);
    return names;
}

} // namespace

// One set of names in each language's order. The names tell the rules apart:
// accents after letters (été, etf), hyphens only between otherwise equal names
// (a-2 after a10), other punctuation first (a_2), digits one by one (a10 before
// a2), Czech ch after h and ř after r, Swedish å ä ö after z.
TEST(NameOrder, EachLocaleCollatesFileNamesAsItsLanguage) {
    const std::vector<std::string> names{"zeta",
                                         "a-2",
                                         "a1",
                                         "a_2",
                                         "a10",
                                         "a2",
                                         "ava",
                                         "\xC3\xA4ra", // ära
                                         "\xC3\xA5ka", // åka
                                         "ch1",
                                         "h2",
                                         "etf",
                                         "\xC3\xA9t\xC3\xA9", // été
                                         "rz",
                                         "\xC5\x99"
                                         "a",           // řa
                                         "\xC3\xB6ga"}; // öga
    const std::vector<std::string> english{"a_2",
                                           "a1",
                                           "a10",
                                           "a-2",
                                           "a2",
                                           "\xC3\xA5ka",
                                           "\xC3\xA4ra",
                                           "ava",
                                           "ch1",
                                           "\xC3\xA9t\xC3\xA9",
                                           "etf",
                                           "h2",
                                           "\xC3\xB6ga",
                                           "\xC5\x99"
                                           "a",
                                           "rz",
                                           "zeta"};
    EXPECT_EQ(Sorted("en_US.UTF-8", names), english);
    EXPECT_EQ(Sorted("de_DE.UTF-8", names), english); // German dictionary order: umlauts as accents
    EXPECT_EQ(Sorted("cs_CZ.UTF-8", names),
              (std::vector<std::string>{"a_2", "a1", "a10", "a-2", "a2", "\xC3\xA5ka", "\xC3\xA4ra",
                                        "ava", "\xC3\xA9t\xC3\xA9", "etf", "h2", "ch1",
                                        "\xC3\xB6ga", "rz",
                                        "\xC5\x99"
                                        "a",
                                        "zeta"}));
    EXPECT_EQ(Sorted("sv_SE.UTF-8", names),
              (std::vector<std::string>{"a_2", "a1", "a10", "a-2", "a2", "ava", "ch1",
                                        "\xC3\xA9t\xC3\xA9", "etf", "h2",
                                        "\xC5\x99"
                                        "a",
                                        "rz", "zeta", "\xC3\xA5ka", "\xC3\xA4ra", "\xC3\xB6ga"}));
    // The C locale keeps the plain order: character by character, no case.
    EXPECT_EQ(
        Sorted("C", {"etf", "\xC3\xA9t\xC3\xA9", "a-2", "A1", "a_2", "h2", "ch1"}),
        (std::vector<std::string>{"a-2", "A1", "a_2", "ch1", "etf", "h2", "\xC3\xA9t\xC3\xA9"}));
}

TEST(NameOrder, CaseIsIgnoredAndEqualNamesKeepAByteOrder) {
    for (const char* locale : {"C", "en_US.UTF-8", "cs_CZ.UTF-8"}) {
        const NameCollator collator(locale);
        EXPECT_EQ(collator.Compare("P1.BMP", "p1.bmp"), 0) << locale;
        EXPECT_LT(collator.Compare("p1.bmp", "P2.BMP"), 0) << locale;
        EXPECT_EQ(Sorted(locale, {"b.bmp", "a.bmp", "B.BMP", "A.bmp"}),
                  (std::vector<std::string>{"A.bmp", "a.bmp", "B.BMP", "b.bmp"}))
            << locale;
    }
    // Hyphens and apostrophes decide between names that are otherwise equal;
    // Compare and Sort agree on it.
    const NameCollator english("en_US.UTF-8");
    EXPECT_NE(english.Compare("co-op", "coop"), 0);
    EXPECT_EQ(english.Compare("co-op", "coop") < 0,
              Sorted("en_US.UTF-8", {"coop", "co-op"}).front() == "co-op");
    EXPECT_GT(english.Compare("d'b", "da"), 0);
    // A name that is not UTF-8 still has its place.
    EXPECT_EQ(Sorted("en_US.UTF-8", {"b\xFF", "a", "b\xFE"}),
              (std::vector<std::string>{"a", "b\xFE", "b\xFF"}));
}

TEST(UserLocale, EnvironmentNamesTheLocaleAsTheCLibraryDoes) {
    {
        const ScopedEnvironment env({{"LC_ALL", nullptr},
                                     {"LC_COLLATE", "cs_CZ.UTF-8"},
                                     {"LC_NUMERIC", ""},
                                     {"LC_CTYPE", "ru_RU.UTF-8"},
                                     {"LANG", "sv_SE.UTF-8"}});
        EXPECT_EQ(EnvironmentLocaleName(LocaleCategory::Collation), "cs_CZ.UTF-8");
        EXPECT_EQ(EnvironmentLocaleName(LocaleCategory::Numbers), "sv_SE.UTF-8");
        EXPECT_EQ(UserDecimalSeparator(), ",");
        EXPECT_EQ(UserCodePage(), 1251);
        EXPECT_GT(NameCollator().Compare("ch1", "h2"), 0);
    }
    {
        const ScopedEnvironment env({{"LC_ALL", "C"},
                                     {"LC_COLLATE", "cs_CZ.UTF-8"},
                                     {"LC_CTYPE", "ru_RU.UTF-8"},
                                     {"LANG", "de_DE.UTF-8"}});
        EXPECT_EQ(UserDecimalSeparator(), ".");
        EXPECT_EQ(UserCodePage(), 1252);
        EXPECT_LT(NameCollator().Compare("ch1", "h2"), 0);
    }
    const ScopedEnvironment none({{"LC_ALL", nullptr},
                                  {"LC_COLLATE", nullptr},
                                  {"LC_NUMERIC", nullptr},
                                  {"LC_CTYPE", nullptr},
                                  {"LANG", nullptr}});
    EXPECT_EQ(EnvironmentLocaleName(LocaleCategory::Characters), "");
    EXPECT_EQ(UserDecimalSeparator(), ".");
    EXPECT_EQ(UserCodePage(), 1252);
}

TEST(UserLocale, PosixNamesBecomeIcuLocales) {
    const std::vector<std::pair<const char*, std::optional<std::string>>> cases{
        {"cs_CZ.UTF-8", "cs_CZ"},
        {"de_DE@euro", "de_DE"},
        {"sr_RS.UTF-8@latin", "sr_Latn_RS"},
        {"uz_UZ.utf8@cyrillic", "uz_Cyrl_UZ"},
        {"en", "en"},
        {"", std::nullopt},
        {"C", std::nullopt},
        {"C.UTF-8", std::nullopt},
        {"POSIX", std::nullopt},
        {"/usr/lib/locale/x", std::nullopt},
    };
    for (const auto& [name, id] : cases)
        EXPECT_EQ(IcuLocaleId(name), id) << name;
}

// The separator and the code page come from ICU's data, whether or not the C
// library has the locale (pl_PL and th_TH are not generated for the tests).
TEST(UserLocale, SeparatorAndCodePageOfEachLanguage) {
    const std::vector<std::pair<const char*, const char*>> separators{
        {"C", "."},           {"en_US.UTF-8", "."}, {"de_DE.UTF-8", ","},
        {"cs_CZ.UTF-8", ","}, {"sv_SE.UTF-8", ","}, {"pl_PL.UTF-8", ","},
        {"de_CH.UTF-8", "."}, {"ar_EG.UTF-8", "."}, {"xx_YY.UTF-8", "."},
    };
    for (const auto& [name, separator] : separators)
        EXPECT_EQ(DecimalSeparatorOf(name), separator) << name;

    const std::vector<std::pair<const char*, int>> codePages{
        {"cs_CZ.UTF-8", 1250}, {"sk_SK", 1250},       {"pl_PL.UTF-8", 1250},
        {"hu_HU", 1250},       {"sl_SI", 1250},       {"hr_HR", 1250},
        {"ro_RO", 1250},       {"sq_AL", 1250},       {"sr_RS@latin", 1250},
        {"sr_RS", 1251},       {"ru_RU.UTF-8", 1251}, {"uk_UA", 1251},
        {"bg_BG", 1251},       {"el_GR", 1253},       {"tr_TR", 1254},
        {"az_AZ", 1254},       {"he_IL", 1255},       {"ar_SA", 1256},
        {"fa_IR", 1256},       {"lt_LT", 1257},       {"lv_LV", 1257},
        {"et_EE", 1257},       {"vi_VN", 1258},       {"th_TH.UTF-8", 874},
        {"en_US.UTF-8", 1252}, {"de_DE.UTF-8", 1252}, {"sv_SE.UTF-8", 1252},
        {"ja_JP.UTF-8", 1252}, {"C.UTF-8", 1252},     {"", 1252},
    };
    for (const auto& [name, codePage] : codePages)
        EXPECT_EQ(CodePageOf(name), codePage) << name;
}

// The golden files were written by the C library's iconv
// (tests/data/results/codepages/make-golden.sh), not by this code.
TEST(CodePage, ResultFileInEachCodePageMatchesItsGoldenFile) {
    const std::vector<std::pair<int, std::string>> samples{
        {1250, "Zkou\xC5\xA1ka \xC5\x99 \xE2\x80\x93 Pr\xC3\xB3"
               "ba \xC5\x82"},
        {1251, "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB1\xD0\xB0 \xE2\x84\x96"
               "5"},
        {1252, "\xC3\x89"
               "chantillon \xC3\x9F \xE2\x82\xAC"},
        {1253, "\xCE\x94\xCE\xBF\xCE\xBA\xCE\xB9\xCE\xBC\xCE\xAE"},
        {1254, "Deneme \xC4\x9F\xC4\xB1\xC5\x9F"},
        {1255, "\xD7\x93\xD7\x92\xD7\x99\xD7\x9E\xD7\x94"},
        {1256, "\xD8\xB9\xD9\x8A\xD9\x91\xD9\x86\xD8\xA9"},
        {1257, "Bandinys \xC4\x85\xC4\x8D\xC4\x97"},
        {1258, "M\xE1\xBA\xAB"
               "u th\xE1\xBB\xAD"},
        {874, "\xE0\xB8\x95\xE0\xB8\xB1\xE0\xB8\xA7\xE0\xB8\xAD\xE0\xB8\xA2\xE0\xB9\x88\xE0\xB8"
              "\xB2\xE0\xB8\x87"},
    };
    const std::vector<std::int32_t> series{0, 90, -45};
    for (const auto& [codePage, name] : samples) {
        const std::string golden = "results/codepages/cp" + std::to_string(codePage) + ".txt";
        const std::vector<std::uint8_t> expected = ReadWholeFile(test::DataFile(golden));
        const std::string bytes = ResultFileBytes({name + " \xE4\xB8\xAD", "12,5", "360"},
                                                  test::WholeSeries(series), ",", codePage);
        EXPECT_EQ(bytes, std::string(expected.begin(), expected.end())) << codePage;
    }
    EXPECT_THROW((void)ResultFileBytes({"", "25", "360"}, test::WholeSeries(series), ".", 437),
                 Error);
    EXPECT_THROW((void)CodePageFromUtf8("x", 65001), Error);
}

TEST(CodePage, UnmappableAndBrokenTextBecomesQuestionMarks) {
    EXPECT_EQ(CodePageFromUtf8("plain ASCII ~\t", 1252), "plain ASCII ~\t");
    EXPECT_EQ(CodePageFromUtf8("\xC3\xA9\xC2\xB0\xC3\xBF\xC2\xA0", 1252), "\xE9\xB0\xFF\xA0");
    EXPECT_EQ(CodePageFromUtf8("\xE2\x82\xAC\xC5\xB8\xE2\x80\x93\xE2\x84\xA2", 1252),
              "\x80\x9F\x96\x99");
    // No best-fit letters: ř is not r in Windows-1252, nor Ж anything but "?".
    EXPECT_EQ(CodePageFromUtf8("\xC5\x99\xD0\x96", 1252), "??");
    // Characters the code page lacks, C1 controls, broken, overlong and
    // surrogate sequences: one "?" each, in every code page.
    for (const int codePage : ResultCodePages) {
        EXPECT_EQ(CodePageFromUtf8("\xE4\xB8\xAD|\xF0\x9F\x98\x80|\xC2\x85", codePage), "?|?|?")
            << codePage;
        EXPECT_EQ(CodePageFromUtf8("\xC3(\xC0\x80|\xED\xA0\x80|\xC3", codePage), "?(??|???|?")
            << codePage;
    }
}
