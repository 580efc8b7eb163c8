#include "receiving/placement.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/text.h"
#include "receiving/stored_paths.h"
#include "tests/platform/temp_folder.h"
#include "tests/receiving/receiving_fixture.h"

namespace veltra {
namespace {

namespace fs = std::filesystem;
using testing::ScopedHome;
using testing::TempFolder;

TEST(FolderForName, EverythingIsCollectedByDefault) {
    const Settings settings;
    EXPECT_EQ(FolderForName(settings, L"song.MP3").Text(), L"\\Storage Card\\Received\\");
    EXPECT_EQ(FolderForName(settings, L"photo.jpg").Text(), L"\\Storage Card\\Received\\");
    EXPECT_EQ(FolderForName(settings, L"notes.txt").Text(), L"\\Storage Card\\Received\\");
}

TEST(FolderForName, ByExtensionWhenNotCollecting) {
    Settings settings;
    settings.collect_all = false;
    EXPECT_EQ(FolderForName(settings, L"song.MP3"), settings.music_folder);
    EXPECT_EQ(FolderForName(settings, L"jpg"), settings.photo_folder);
    EXPECT_EQ(FolderForName(settings, L"a.b.mkv"), settings.video_folder);
    EXPECT_EQ(FolderForName(settings, L"book.TXT"), settings.ebook_folder);
    EXPECT_EQ(FolderForName(settings, L"x.mp"), settings.received_folder);
    EXPECT_EQ(FolderForName(settings, L"x.jpeg"), settings.received_folder);
    EXPECT_EQ(FolderForName(settings, L"x."), settings.received_folder);
    EXPECT_EQ(FolderForName(settings, L".jpg"), settings.received_folder);  // a hidden name
}

class PlacementFolders : public ::testing::Test {
  protected:
    PlacementFolders() : home_(temp_.path().string()) {}
    TempFolder temp_;
    ScopedHome home_;
};

TEST_F(PlacementFolders, CreatesTheOneMissingFolderAndTracesIt) {
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(CreateFolderPath(platform::Path(L"\\Storage Card\\Received\\")));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(fs::is_directory(temp_.path() / "Received"));
    EXPECT_TRUE(IsFolder(platform::Path(L"\\Storage Card\\Received\\")));
    EXPECT_TRUE(IsFolder(platform::Path(L"\\Storage Card\\Received")));
    // Existing already: nothing to do, still true.
    EXPECT_TRUE(CreateFolderPath(platform::Path(L"\\Storage Card\\Received\\")));
}

TEST_F(PlacementFolders, CreatesEveryMissingLevelWithATraceLineForEachOnTheWay) {
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(CreateFolderPath(platform::Path(L"\\Storage Card\\a\\b\\c\\")));
    // The host's paths, never the device's.
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "已成功创建目录:" + (temp_.path() / "a").string() + "\n已成功创建目录:" +
                  (temp_.path() / "a" / "b").string() + "\n");
    EXPECT_TRUE(fs::is_directory(temp_.path() / "a" / "b" / "c"));
}

TEST_F(PlacementFolders, StopsAtTheFirstFolderThatCannotBeCreated) {
    testing::WriteFile(temp_.path() / "blocker", "x");
    EXPECT_FALSE(CreateFolderPath(platform::Path(L"\\Storage Card\\blocker\\sub\\deeper\\")));
    EXPECT_FALSE(fs::exists(temp_.path() / "blocker" / "sub"));
    EXPECT_FALSE(IsFolder(platform::Path(L"\\Storage Card\\blocker")));
    EXPECT_FALSE(IsFolder(platform::Path(L"\\Storage Card\\absent")));
}

TEST_F(PlacementFolders, EachPartIsAFolderByThePathsOwnSeparators) {
    // In a device path '/' separates as '\' does.
    EXPECT_TRUE(CreateFolderPath(platform::Path(L"\\Storage Card\\top\\")));
    EXPECT_TRUE(CreateFolderPath(platform::Path(L"\\Storage Card\\top\\sub/")));
    EXPECT_TRUE(fs::is_directory(temp_.path() / "top" / "sub"));
    EXPECT_TRUE(CreateFolderPath(platform::Path(L"\\Storage Card\\top\\x/y/")));
    EXPECT_TRUE(fs::is_directory(temp_.path() / "top" / "x" / "y"));
    // In a host path a '\' belongs to a name.
    EXPECT_TRUE(CreateFolderPath(testing::PathOf(temp_.path() / "a\\b" / "c" / "")));
    EXPECT_TRUE(fs::is_directory(temp_.path() / "a\\b" / "c"));
    EXPECT_FALSE(fs::exists(temp_.path() / "a"));
}

TEST(ConfinedName, SeparatorsBecomeUnderscores) {
    EXPECT_EQ(ConfinedName("../x"), L".._x");
    EXPECT_EQ(ConfinedName("a/../../x"), L"a_.._.._x");
    EXPECT_EQ(ConfinedName("/etc/passwd"), L"_etc_passwd");
    EXPECT_EQ(ConfinedName("\\..\\x"), L"_.._x");
    EXPECT_EQ(ConfinedName("C:\\x"), L"C:_x");
    EXPECT_EQ(ConfinedName("..\\\\..\\\\x"), L"..__..__x");
    EXPECT_EQ(ConfinedName("..."), L"...");
    EXPECT_EQ(ConfinedName("/"), L"_");
}

TEST(ConfinedName, DotNamesEmptyNamesAndNulsAreRefused) {
    EXPECT_FALSE(ConfinedName(""));
    EXPECT_FALSE(ConfinedName("."));
    EXPECT_FALSE(ConfinedName(".."));
    EXPECT_FALSE(ConfinedName(std::string("a\0b", 3)));
    EXPECT_FALSE(ConfinedName(std::string("\0", 1)));
}

TEST(ConfinedName, ControlCharactersBecomeUnderscores) {
    EXPECT_EQ(ConfinedName("a\x1b[2Jb\nc\x7f.txt"), L"a_[2Jb_c_.txt");
    EXPECT_EQ(ConfinedName("\t"), L"_");
}

TEST(NameVariant, NumbersGoBeforeTheExtension) {
    EXPECT_EQ(NameVariant(L"a.txt", 1), L"a.txt");
    EXPECT_EQ(NameVariant(L"a.txt", 2), L"a (2).txt");
    EXPECT_EQ(NameVariant(L"a.tar.gz", 3), L"a.tar (3).gz");
    EXPECT_EQ(NameVariant(L"noext", 2), L"noext (2)");
    EXPECT_EQ(NameVariant(L".hidden", 2), L".hidden (2)");
    EXPECT_EQ(NameVariant(L"a (2).txt", 3), L"a (2) (3).txt");
}

TEST(NameVariant, TheWholeFitsTheHostOnACharacterBoundary) {
    const std::wstring long_name = std::wstring(300, L'n') + L".txt";
    EXPECT_EQ(NameVariant(long_name, 1), std::wstring(251, L'n') + L".txt");
    EXPECT_EQ(NameVariant(long_name, 12), std::wstring(246, L'n') + L" (12).txt");
    EXPECT_EQ(NameVariant(long_name, 4294967295u), std::wstring(238, L'n') + L" (4294967295).txt");
    // Three bytes a character: 85 fill the 255 exactly, and no character is cut in two.
    EXPECT_EQ(NameVariant(std::wstring(100, L'\u6587'), 1), std::wstring(85, L'\u6587'));
    EXPECT_EQ(NameVariant(L"x" + std::wstring(100, L'\u6587'), 1),
              L"x" + std::wstring(84, L'\u6587'));
    // An extension too long to be worth keeping is cut like the rest.
    const std::wstring long_extension = std::wstring(250, L'n') + L"." + std::wstring(40, L'e');
    EXPECT_EQ(NameVariant(long_extension, 1), long_extension.substr(0, 255));
}

TEST(ConfinedName, TwoByteCharactersEndingInTheBackslashByteStayWhole) {
    // In code page 936 the second byte of U+4E57 is 0x5C, the byte of '\'.
    const std::string name = WideToAnsi(L"\u4e57.txt");
    ASSERT_EQ(name.substr(0, 2), "\x81\x5c");
    EXPECT_EQ(ConfinedName(name), L"\u4e57.txt");
}

// Every stored path is found again however far the table grew, 0 among them, and no other.
TEST(StoredPaths, KeepsEveryHashAcrossGrowthAndForgetsThemWhenCleared) {
    StoredPaths stored;
    constexpr std::uint64_t kCount = 5000;
    for (std::uint64_t i = 0; i < kCount; ++i) {
        stored.Insert(i * 0x10000);  // alike in their low bits
    }
    stored.Insert(0);
    EXPECT_EQ(stored.Size(), kCount);
    for (std::uint64_t i = 0; i < kCount; ++i) {
        ASSERT_TRUE(stored.Contains(i * 0x10000)) << i;
        ASSERT_FALSE(stored.Contains(i * 0x10000 + 2)) << i;
    }
    stored.Clear();
    EXPECT_FALSE(stored.Contains(0x10000));
    EXPECT_EQ(stored.Size(), 0u);
}

}  // namespace
}  // namespace veltra
