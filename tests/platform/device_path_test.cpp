#include "platform/device_path.h"

#include <gtest/gtest.h>

#include "platform/utf8.h"
#include "temp_folder.h"

namespace veltra::platform {
namespace {

using veltra::testing::ScopedHome;

TEST(DevicePathTest, StorageCardIsTheHomeFolder) {
    ScopedHome home("/home/tester");
    EXPECT_EQ(HomeFolder(), "/home/tester");
    EXPECT_EQ(ToHostPath(L"\\Storage Card"), "/home/tester");
    EXPECT_EQ(ToHostPath(L"\\Storage Card\\"), "/home/tester/");
    EXPECT_EQ(ToHostPath(L"\\Storage Card\\Received\\a.txt"), "/home/tester/Received/a.txt");
    EXPECT_EQ(ToHostPath(L"\\storage card\\Music\\"), "/home/tester/Music/");
    EXPECT_EQ(ToHostPath(L"\\Storage Card/x"), "/home/tester/x");
}

TEST(DevicePathTest, ReceivedTreesMixBothSeparators) {
    ScopedHome home("/home/tester");
    EXPECT_EQ(ToHostPath(L"\\Storage Card\\Received\\album\\disc1/track.mp3"),
              "/home/tester/Received/album/disc1/track.mp3");
    EXPECT_EQ(ToHostPath(L"\\Storage Card\\Received\\中文\\文件.txt"),
              "/home/tester/Received/中文/文件.txt");
}

TEST(DevicePathTest, HomeWithTrailingSlashOrAtRoot) {
    {
        ScopedHome home("/home/tester/");
        EXPECT_EQ(ToHostPath(L"\\Storage Card\\a"), "/home/tester/a");
    }
    ScopedHome home("/");
    EXPECT_EQ(ToHostPath(L"\\Storage Card\\a"), "/a");
    EXPECT_EQ(ToHostPath(L"\\Storage Card"), "/");
}

TEST(DevicePathTest, EmptyHomeFallsBackToTheAccount) {
    ScopedHome home("");
    const std::string folder = HomeFolder();
    EXPECT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
}

TEST(DevicePathTest, OtherDevicePathsStartAtTheRoot) {
    ScopedHome home("/home/tester");
    EXPECT_EQ(ToHostPath(L"\\Windows\\x.wav"), "/Windows/x.wav");
    EXPECT_EQ(ToHostPath(L"\\"), "/");
    // Only the whole first component counts.
    EXPECT_EQ(ToHostPath(L"\\Storage Cards\\x"), "/Storage Cards/x");
}

TEST(DevicePathTest, HostPathsAreUsedAsTheyAre) {
    EXPECT_EQ(ToHostPath(L"/tmp/a\\b.txt"), "/tmp/a\\b.txt");
    EXPECT_EQ(ToHostPath(L"relative/文件"), "relative/文件");
    EXPECT_EQ(ToHostPath(L"Storage Card\\x"), "Storage Card\\x");
    EXPECT_EQ(ToHostPath(L""), "");
}

TEST(DevicePathTest, JoinPathUsesTheSeparatorOfThePathKind) {
    EXPECT_EQ(JoinPath(L"\\Storage Card\\Trip", L"a.txt"), L"\\Storage Card\\Trip\\a.txt");
    EXPECT_EQ(JoinPath(L"/home/u/Trip", L"a.txt"), L"/home/u/Trip/a.txt");
    EXPECT_EQ(JoinPath(L"/home/u/Trip/", L"a.txt"), L"/home/u/Trip/a.txt");
    EXPECT_EQ(JoinPath(L"\\Storage Card\\Received\\", L"x"), L"\\Storage Card\\Received\\x");
    EXPECT_EQ(JoinPath(L"", L"x"), L"x");
}

TEST(Utf8Test, ValidTextRoundTrips) {
    const std::wstring text = L"a中\u00e9\U0001F600";
    const std::string bytes = WideToUtf8(text);
    EXPECT_EQ(bytes, "a\xE4\xB8\xAD\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToWide(bytes), text);
}

TEST(Utf8Test, InvalidBytesSurviveTheRoundTrip) {
    // Latin-1 and GBK names, an overlong slash, a truncated sequence, an encoded surrogate.
    for (const std::string bytes :
         {"caf\xE9", "\xD6\xD0.txt", "\xC0\xAF", "ab\xE4\xB8", "\xED\xA0\x80"}) {
        const std::wstring wide = Utf8ToWide(bytes);
        EXPECT_EQ(WideToUtf8(wide), bytes);
    }
    EXPECT_EQ(Utf8ToWide("caf\xE9"), std::wstring(L"caf") + static_cast<wchar_t>(0xDCE9));
}

TEST(Utf8Test, NonCharactersBecomeQuestionMarks) {
    std::wstring text = L"x";
    text += static_cast<wchar_t>(0xD800);
    text += static_cast<wchar_t>(0x110000);
    EXPECT_EQ(WideToUtf8(text), "x??");
}

}  // namespace
}  // namespace veltra::platform
