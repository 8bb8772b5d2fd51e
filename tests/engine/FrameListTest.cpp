#include "FrameList.h"
#include "FileTypes.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace torvi;
using torvi::test::TempFolder;

TEST(FrameList, SequenceKeepsOwnCaseSortsWithoutCaseAndSkipsOtherTypesAndFolders) {
    TempFolder dir;
    for (const char* name : {"a1.bmp", "A2.BMP", "a10.bmp", "notes.txt", ".hidden.bmp"})
        dir.Write(name);
    std::filesystem::create_directory(dir.Path() / "x.bmp");

    for (const char* locale : {"C", "C.UTF-8", "en_US.UTF-8", "de_DE.UTF-8"}) {
        NameCollator collator(locale);
        const FrameList list = ListPictureSequence(dir.Path().string(), ".BMP", collator);
        EXPECT_EQ(list, (FrameList{".hidden.bmp", "a1.bmp", "a10.bmp", "A2.BMP"})) << locale;
    }
}

TEST(FrameList, DigitsAndPunctuationCompareAsCharacters) {
    NameCollator collator("en_US.UTF-8");
    std::vector<std::string> names{"p2.bmp", "p10.bmp", "P1.bmp", "p_3.bmp"};
    collator.Sort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"p_3.bmp", "P1.bmp", "p10.bmp", "p2.bmp"}));
}

TEST(FrameList, LocaleCollationPlacesAccentedLettersAmongTheirBaseLetters) {
    std::vector<std::string> names{"z.bmp", "\xc3\xa9t\xc3\xa9.bmp", "f.bmp", "e.bmp"};
    NameCollator("de_DE.UTF-8").Sort(names);
    EXPECT_EQ(names,
              (std::vector<std::string>{"e.bmp", "\xc3\xa9t\xc3\xa9.bmp", "f.bmp", "z.bmp"}));
}

TEST(FrameList, JpegListingAlsoTakesLongExtension) {
    TempFolder dir;
    for (const char* name : {"b.jpeg", "a.JPG", "c.Jpeg", "d.png"})
        dir.Write(name);
    NameCollator collator("C");
    EXPECT_EQ(ListPictureSequence(dir.Path().string(), ".JPG", collator),
              (FrameList{"a.JPG", "b.jpeg", "c.Jpeg"}));
    EXPECT_EQ(ListPictureSequence(dir.Path().string(), ".PNG", collator), (FrameList{"d.png"}));
}

TEST(FrameList, MissingFolderGivesEmptyList) {
    NameCollator collator("C");
    EXPECT_TRUE(ListPictureSequence("/nonexistent/folder", ".BMP", collator).empty());
}

TEST(FrameList, FilmListCountsInNumericOrder) {
    const FrameList list = FilmFrameList(11);
    ASSERT_EQ(list.size(), 12u);
    EXPECT_EQ(list[9], "9");
    EXPECT_EQ(list[10], "10");
    EXPECT_EQ(list[11], "11");
    EXPECT_TRUE(FilmFrameList(-1).empty());
}

TEST(FileTypes, ExtensionsAndAcceptance) {
    EXPECT_EQ(UpperExtension("dir.v2/name"), "");
    EXPECT_EQ(UpperExtension("/a/b/clip.Avi"), ".AVI");
    EXPECT_EQ(UpperExtension("x.tar.gz"), ".GZ");
    EXPECT_TRUE(IsAcceptedPictureName("x.mpeg"));
    EXPECT_TRUE(IsAcceptedPictureName("a.bmp"));
    EXPECT_FALSE(IsAcceptedPictureName("y.tiff"));
    EXPECT_FALSE(IsAcceptedPictureName("noext"));
    EXPECT_EQ(FileExtForName("x.mpeg"), ".MPG");
    EXPECT_EQ(FileExtForName("x.jpeg"), ".JPG");
    EXPECT_EQ(FileExtForName("x.txt"), "");
    EXPECT_EQ(BareName("/a/b/c.bmp"), "c.bmp");
    EXPECT_EQ(FolderOf("/a/b/c.bmp"), "/a/b");
    EXPECT_EQ(FolderOf("c.bmp"), ".");
}
