#include "platform/path.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/utf8.h"
#include "temp_folder.h"

namespace veltra::platform {
namespace {

using veltra::testing::ScopedHome;

TEST(PathTest, StorageCardIsTheHomeFolder) {
    ScopedHome home("/home/tester");
    EXPECT_EQ(HomeFolder(), "/home/tester");
    EXPECT_EQ(Path(L"\\Storage Card").Host(), "/home/tester");
    EXPECT_EQ(Path(L"\\Storage Card\\").Host(), "/home/tester/");
    EXPECT_EQ(Path(L"\\Storage Card\\Received\\a.txt").Host(), "/home/tester/Received/a.txt");
    EXPECT_EQ(Path(L"\\storage card\\Music\\").Host(), "/home/tester/Music/");
    EXPECT_EQ(Path(L"\\Storage Card/x").Host(), "/home/tester/x");
}

TEST(PathTest, ReceivedTreesMixBothSeparators) {
    ScopedHome home("/home/tester");
    EXPECT_EQ(Path(L"\\Storage Card\\Received\\album\\disc1/track.mp3").Host(),
              "/home/tester/Received/album/disc1/track.mp3");
    EXPECT_EQ(Path(L"\\Storage Card\\Received\\中文\\文件.txt").Host(),
              "/home/tester/Received/中文/文件.txt");
}

TEST(PathTest, HomeWithTrailingSlashOrAtRoot) {
    {
        ScopedHome home("/home/tester/");
        EXPECT_EQ(Path(L"\\Storage Card\\a").Host(), "/home/tester/a");
    }
    ScopedHome home("/");
    EXPECT_EQ(Path(L"\\Storage Card\\a").Host(), "/a");
    EXPECT_EQ(Path(L"\\Storage Card").Host(), "/");
}

TEST(PathTest, EmptyHomeFallsBackToTheAccount) {
    ScopedHome home("");
    const std::string folder = HomeFolder();
    EXPECT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
}

TEST(PathTest, OtherDevicePathsStartAtTheRoot) {
    ScopedHome home("/home/tester");
    EXPECT_EQ(Path(L"\\Windows\\x.wav").Host(), "/Windows/x.wav");
    EXPECT_EQ(Path(L"\\").Host(), "/");
    // Only the whole first component counts.
    EXPECT_EQ(Path(L"\\Storage Cards\\x").Host(), "/Storage Cards/x");
}

TEST(PathTest, HostPathsAreUsedAsTheyAre) {
    EXPECT_EQ(Path(L"/tmp/a\\b.txt").Host(), "/tmp/a\\b.txt");
    EXPECT_EQ(Path(L"relative/文件").Host(), "relative/文件");
    EXPECT_EQ(Path(L"Storage Card\\x").Host(), "Storage Card\\x");
    EXPECT_EQ(Path(L"").Host(), "");
}

TEST(PathTest, KnowsItsKindAndKeepsItsText) {
    ScopedHome home("/home/tester");
    const Path device(L"\\storage card\\Received\\");
    EXPECT_TRUE(device.IsDevicePath());
    EXPECT_EQ(device.Text(), L"\\storage card\\Received\\");  // as given, for the log and the wire
    EXPECT_FALSE(Path(L"/home/tester/Received").IsDevicePath());
    EXPECT_FALSE(Path(L"Storage Card\\x").IsDevicePath());
    EXPECT_FALSE(Path().IsDevicePath());
    EXPECT_EQ(Path::FromHost("/tmp/\xD6\xD0").Host(), "/tmp/\xD6\xD0");  // not UTF-8: kept
}

TEST(PathTest, TheHomeFolderIsReadWhenThePathIsMade) {
    ScopedHome home("/home/tester");
    const Path received(L"\\Storage Card\\Received");
    ScopedHome moved("/home/other");
    EXPECT_EQ((received / L"a.txt").Host(), "/home/tester/Received/a.txt");
}

TEST(PathTest, JoinPutsOneSeparatorOfThePathKind) {
    ScopedHome home("/home/tester");
    const auto joined = [](const wchar_t* folder, const wchar_t* name) {
        const Path path = Path(folder) / name;
        return std::make_pair(path.Text(), path.Host());
    };
    using Joined = std::pair<std::wstring, std::string>;
    EXPECT_EQ(joined(L"\\Storage Card\\Received\\", L"album"),
              Joined(L"\\Storage Card\\Received\\album", "/home/tester/Received/album"));
    EXPECT_EQ(joined(L"\\Storage Card", L"x"), Joined(L"\\Storage Card\\x", "/home/tester/x"));
    EXPECT_EQ(joined(L"\\Storage Card\\album\\disc1/", L"x"),
              Joined(L"\\Storage Card\\album\\disc1/x", "/home/tester/album/disc1/x"));
    EXPECT_EQ(joined(L"/home/u/Trip", L"a.txt"),
              Joined(L"/home/u/Trip/a.txt", "/home/u/Trip/a.txt"));
    EXPECT_EQ(joined(L"/home/u/Trip/", L"a.txt"),
              Joined(L"/home/u/Trip/a.txt", "/home/u/Trip/a.txt"));
    EXPECT_EQ(joined(L"", L"x"), Joined(L"x", "x"));
    // In a host path a backslash is part of a name, also at the end of the folder's.
    EXPECT_EQ(joined(L"/home/u/b\\", L"x"), Joined(L"/home/u/b\\/x", "/home/u/b\\/x"));
    // A name a host folder listed stays one component, below a device path too.
    EXPECT_EQ(joined(L"\\Storage Card\\Music", L"a\\b.mp3"),
              Joined(L"\\Storage Card\\Music\\a\\b.mp3", "/home/tester/Music/a\\b.mp3"));
    {
        ScopedHome root("/");
        EXPECT_EQ(joined(L"\\Storage Card", L"x"), Joined(L"\\Storage Card\\x", "/x"));
    }
}

// The parts of a path, as iterating it gives them.
std::vector<std::wstring> Parts(const Path& path) {
    return std::vector<std::wstring>(path.begin(), path.end());
}

TEST(PathTest, PartsFollowTheSeparatorsOfThePathsKind) {
    ScopedHome home("/home/tester");
    using Names = std::vector<std::wstring>;
    EXPECT_EQ(Parts(Path(L"\\Storage Card\\Received\\album/disc1\\\\")),
              (Names{L"Storage Card", L"Received", L"album", L"disc1"}));
    EXPECT_EQ(Parts(Path(L"/home/u/a\\b//c/")), (Names{L"home", L"u", L"a\\b", L"c"}));
    EXPECT_EQ(Parts(Path(L"relative/x")), (Names{L"relative", L"x"}));
    EXPECT_EQ(Parts(Path(L"\\")), Names{});
    EXPECT_EQ(Parts(Path(L"/")), Names{});
    EXPECT_EQ(Parts(Path()), Names{});
    // A name joined whole stays one part, below a device path too.
    EXPECT_EQ(Parts(Path(L"\\Storage Card\\Music") / L"a\\b.mp3"),
              (Names{L"Storage Card", L"Music", L"a\\b.mp3"}));
}

TEST(PathTest, TheFileNameIsTheLastPart) {
    EXPECT_EQ(Path(L"\\Storage Card\\My Documents\\a.txt").FileName(), L"a.txt");
    EXPECT_EQ(Path(L"\\Storage Card\\Music\\").FileName(), L"Music");
    EXPECT_EQ(Path(L"\\storage card").FileName(), L"storage card");
    EXPECT_EQ(Path(L"/home/u/folder/").FileName(), L"folder");
    EXPECT_EQ(Path(L"/home/u/dir\\x/y.bin").FileName(), L"y.bin");
    EXPECT_EQ(Path(L"/home/u/a\\b.txt").FileName(), L"a\\b.txt");
    EXPECT_EQ(Path(L"plain.txt").FileName(), L"plain.txt");
    EXPECT_EQ(Path(L"/").FileName(), L"");
    EXPECT_EQ(Path::FromHost("/tmp/\xD6\xD0").FileName(), Utf8ToWide("\xD6\xD0"));
    EXPECT_EQ((Path(L"\\Storage Card\\Music") / L"a\\b.mp3").FileName(), L"a\\b.mp3");
}

TEST(PathTest, TheParentOfADevicePathStillStandsForTheHomeFolder) {
    ScopedHome home("/home/tester");
    const Path received(L"\\Storage Card\\Received\\");
    const Path card = received.Parent();
    EXPECT_EQ(card, Path(L"\\Storage Card"));
    EXPECT_EQ(card.Host(), "/home/tester");
    EXPECT_TRUE(card.IsDevicePath());
    const Path root = card.Parent();
    EXPECT_EQ(root, Path(L"\\"));
    EXPECT_EQ(root.Host(), "/");
    EXPECT_EQ(root.Parent(), Path());
    EXPECT_EQ(Path(L"\\Storage Card\\top\\x/y/").Parent().Text(), L"\\Storage Card\\top\\x");
    EXPECT_EQ(Path(L"\\Storage Card\\top\\x/y/").Parent().Host(), "/home/tester/top/x");
    EXPECT_EQ(Path(L"\\Windows\\x.wav").Parent().Host(), "/Windows");
    // The home folder of the moment the path was made, as for the path itself.
    ScopedHome moved("/home/other");
    EXPECT_EQ(received.Parent().Host(), "/home/tester");
    EXPECT_EQ((Path(L"\\Storage Card\\Music") / L"a\\b.mp3").Parent(),
              Path(L"\\Storage Card\\Music"));
}

TEST(PathTest, TheParentOfTheHomeFolderAtTheRootOrWithASlash) {
    {
        ScopedHome home("/");
        EXPECT_EQ(Path(L"\\Storage Card\\a").Parent().Host(), "/");
    }
    ScopedHome home("/home/tester/");
    EXPECT_EQ(Path(L"\\Storage Card\\a").Parent().Host(), "/home/tester");
}

TEST(PathTest, TheParentOfAHostPath) {
    EXPECT_EQ(Path(L"/home/u/a\\b/c").Parent(), Path(L"/home/u/a\\b"));
    EXPECT_EQ(Path(L"/home/u/c/").Parent(), Path(L"/home/u"));
    EXPECT_EQ(Path(L"/a").Parent(), Path(L"/"));
    EXPECT_EQ(Path(L"a/b").Parent(), Path(L"a"));
    EXPECT_EQ(Path(L"a").Parent(), Path());
    EXPECT_EQ(Path::FromHost("/tmp/\xD6\xD0/x").Parent().Host(), "/tmp/\xD6\xD0");
}

TEST(PathTest, ExtensionAndStemSplitTheFileName) {
    const auto split = [](const wchar_t* text) {
        const Path path(text);
        return std::make_pair(path.Stem(), path.Extension());
    };
    using Split = std::pair<std::wstring, std::wstring>;
    EXPECT_EQ(split(L"/tmp/a.tar.gz"), Split(L"a.tar", L".gz"));
    EXPECT_EQ(split(L"\\Storage Card\\照片.JPG"), Split(L"照片", L".JPG"));
    EXPECT_EQ(split(L"x."), Split(L"x", L"."));
    EXPECT_EQ(split(L"noext"), Split(L"noext", L""));
    EXPECT_EQ(split(L".profile"), Split(L".profile", L""));
    EXPECT_EQ(split(L"..x"), Split(L".", L".x"));
    EXPECT_EQ(split(L"/a/.."), Split(L"..", L""));
    EXPECT_EQ(split(L"/a/."), Split(L".", L""));
    EXPECT_EQ(split(L"/a.d/b"), Split(L"b", L""));  // the file name's, not the folder's
    EXPECT_EQ(split(L"/a/b.txt/"), Split(L"b", L".txt"));
}

TEST(PathTest, EqualPathsWereMadeAlike) {
    ScopedHome home("/home/tester");
    EXPECT_EQ(Path(L"\\Storage Card\\x"), Path(L"\\Storage Card\\x"));
    EXPECT_EQ(Path(L"/a/b"), Path::FromHost("/a/b"));
    EXPECT_NE(Path(L"/a/"), Path(L"/a"));
    EXPECT_NE(Path(L"\\Storage Card\\x"), Path(L"/home/tester/x"));
    EXPECT_NE(Path(L"\\x"), Path::FromHost("\\x"));  // a device path, and a host path's name
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
