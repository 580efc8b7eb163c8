#include "serving/directory_stream.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/file.h"
#include "platform/resolved_path.h"
#include "tests/serving/serving_support.h"
#include "tests/support/manual_timer.h"

namespace veltra {
namespace {

namespace fs = std::filesystem;
using testing::Capture;
using testing::Pattern;
using testing::TempFolder;
using testing::WriteFile;

std::string EndMark() {
    return std::string(kEndMark);
}

std::string StreamOf(const fs::path& directory) {
    return Capture(
        [&](const platform::Socket& s) { SendDirectory(s, platform::Path(directory.wstring())); });
}

TEST(DirectoryStream, TripGoesOutByteForByteInPreOrder) {
    TempFolder temp;
    const fs::path trip = temp.path() / "Trip";
    fs::create_directories(trip / "pics");
    WriteFile(trip / "a.txt", "hello");
    const std::string jpeg = Pattern(16);
    WriteFile(trip / "pics" / "b.jpg", jpeg);

    EXPECT_EQ(StreamOf(trip),
              "000d:Trip:0:2"
              "000f:a.txt:05:1hello"
              "000d:pics:0:2"
              "0010:b.jpg:010:1" +
                  jpeg + "08:.:0:3" + "08:.:0:3");
}

TEST(DirectoryStream, EmptyDirectoryAndEmptyFile) {
    TempFolder temp;
    fs::create_directories(temp.path() / "x");
    EXPECT_EQ(StreamOf(temp.path() / "x"), "000a:x:0:2" + EndMark());

    fs::create_directories(temp.path() / "d");
    WriteFile(temp.path() / "d" / "x", "");
    EXPECT_EQ(StreamOf(temp.path() / "d"), "000a:d:0:2000b:x:00:1" + EndMark());
}

TEST(DirectoryStream, HeaderLengthCountsTheWholeHeader) {
    TempFolder temp;
    const std::string name(300, 'n');
    fs::create_directories(temp.path() / "long");
    fs::create_directories(temp.path() / "long" / name.substr(0, 250));
    const std::string header = DirectoryHeader(name);
    EXPECT_EQ(header.substr(0, 5), "0135:");
    EXPECT_EQ(header.size(), 0x135u);
    EXPECT_EQ(StreamOf(temp.path() / "long"),
              "000d:long:0:2" + DirectoryHeader(name.substr(0, 250)) + EndMark() + EndMark());
    EXPECT_EQ(DirectoryHeader(name.substr(0, 250)).substr(0, 5), "0103:");
}

TEST(DirectoryStream, HiddenEntriesAndNamesInTheWireCodePage) {
    TempFolder temp;
    const fs::path root = temp.path() / "r";
    fs::create_directories(root / ".hidden");
    WriteFile(root / ".hidden" / "in", "1");
    WriteFile(root / "照片.txt", "ab");
    // 照片 in code page 936.
    EXPECT_EQ(StreamOf(root),
              "000a:r:0:2"
              "0010:.hidden:0:2"
              "000c:in:01:1"
              "1" +
                  EndMark() + "0012:\xD5\xD5\xC6\xAC.txt:02:1ab" + EndMark());
}

TEST(DirectoryStream, ListedNamesThatAreNoUtf8OrLackedByTheCodePage) {
    TempFolder temp;
    const fs::path root = temp.path() / "r";
    fs::create_directories(root / "sub\xFF");
    WriteFile(root / "face\xF0\x9F\x98\x80", "x");
    EXPECT_EQ(StreamOf(root),
              "000a:r:0:2"
              "000f:face?:01:1x"
              "000d:sub?:0:2" +
                  EndMark() + EndMark());
}

TEST(DirectoryStream, HeadersOfLargeFilesAndOfNamesWithColons) {
    EXPECT_EQ(FileHeader("big", (std::uint64_t{1} << 32) + 1), "0014:big:100000001:1");
    EXPECT_EQ(FileHeader("big", 0xAB00000000ull), "0015:big:ab00000000:1");
    EXPECT_EQ(FileHeader("edge", 0xFFFFFFFFull), "0015:edge:0ffffffff:1");
    EXPECT_EQ(FileHeader(":a:b", 5), "000f:;a::b:05:1");
    EXPECT_EQ(DirectoryHeader(":a:b"), "000e:;a::b:0:2");
}

TEST(DirectoryStream, RegularFileOrMissingPathGivesHeaderAndEndMarkOnly) {
    TempFolder temp;
    WriteFile(temp.path() / "plain.txt", "content");
    EXPECT_EQ(StreamOf(temp.path() / "plain.txt"), "0012:plain.txt:0:2" + EndMark());
    EXPECT_EQ(StreamOf(temp.path() / "gone"), "000d:gone:0:2" + EndMark());
}

TEST(DirectoryStream, TrailingSeparatorStillNamesTheDirectory) {
    TempFolder temp;
    fs::create_directories(temp.path() / "x");
    const platform::Path path((temp.path() / "x").wstring() + L"/");
    EXPECT_EQ(Capture([&](const platform::Socket& s) { SendDirectory(s, path); }),
              "000a:x:0:2" + EndMark());
}

TEST(DirectoryStream, SymbolicLinksToDirectoriesAreNotFollowed) {
    TempFolder temp;
    const fs::path root = temp.path() / "loop";
    fs::create_directories(root / "sub");
    WriteFile(root / "sub" / "f", "xyz");
    fs::create_directory_symlink("..", root / "sub" / "up");      // back to loop: a cycle
    fs::create_directory_symlink(temp.path(), root / "outside");  // out of the offered tree
    fs::create_symlink(root / "nowhere", root / "dangling");
    fs::create_symlink(root / "sub" / "f", root / "to-file");  // a file is sent as a file
    EXPECT_EQ(StreamOf(root),
              "000d:loop:0:2"
              "000c:sub:0:2"
              "000b:f:03:1xyz" +
                  EndMark() + "0011:to-file:03:1xyz" + EndMark());
}

TEST(DirectoryStream, SymbolicLinksToFilesAreFollowedOnlyInsideTheOfferedFolder) {
    TempFolder temp;
    WriteFile(temp.path() / "outside-secret.txt", "secret");
    fs::create_directories(temp.path() / "offered-twin");
    WriteFile(temp.path() / "offered-twin" / "g", "twin");
    const fs::path root = temp.path() / "offered";
    fs::create_directories(root / "sub");
    WriteFile(root / "sub" / "f", "xyz");
    fs::create_symlink("../outside-secret.txt", root / "notes.txt");
    fs::create_symlink(temp.path() / "offered-twin" / "g", root / "twin");  // a name alike
    fs::create_symlink(root / "sub" / "f", root / "absolute");
    fs::create_symlink("../sub/f", root / "sub" / "back-in");
    const std::string inside = FileHeader("absolute", 3) + "xyz" + DirectoryHeader("sub") +
                               FileHeader("back-in", 3) + "xyz" + FileHeader("f", 3) + "xyz" +
                               EndMark() + EndMark();
    EXPECT_EQ(StreamOf(root), DirectoryHeader("offered") + inside);
    // Offered through a link of its own, the folder is where the link leads.
    fs::create_directory_symlink(root, temp.path() / "alias");
    EXPECT_EQ(StreamOf(temp.path() / "alias"), DirectoryHeader("alias") + inside);
}

// What one entry of listing gives, walked as part of the listed folder.
std::string EntryStream(const platform::DirectorySearch& listing,
                        const platform::DirectoryEntry& entry) {
    return Capture([&](const platform::Socket& s) {
        StreamSender out(s);
        SendDirectoryEntry(out, listing, entry, platform::ResolvedPath(listing));
        out.Flush();
    });
}

// Whoever may write in the offered folder can swap an entry for a link between the listing and
// the entry's open: it is then judged as the link it has become.
TEST(DirectoryStream, AFileSwappedForALinkAfterTheListingIsJudgedAsALink) {
    TempFolder temp;
    WriteFile(temp.path() / "secret", "private key");
    const fs::path root = temp.path() / "offered";
    fs::create_directories(root);
    WriteFile(root / "a", "plain");
    WriteFile(root / "b", "inside");
    auto listing = platform::DirectorySearch::Open(platform::Path(root.wstring()));
    ASSERT_TRUE(listing);
    const std::optional<platform::DirectoryEntry> a = listing->Next();
    ASSERT_TRUE(a);
    ASSERT_FALSE(a->is_symlink);

    fs::remove(root / "a");
    fs::create_symlink(temp.path() / "secret", root / "a");
    EXPECT_EQ(EntryStream(*listing, *a), "");
    // A link that stays inside the offered folder is followed, as it would have been if listed.
    fs::remove(root / "a");
    fs::create_symlink(root / "b", root / "a");
    EXPECT_EQ(EntryStream(*listing, *a), FileHeader("a", 6) + "inside");
}

TEST(DirectoryStream, AFolderSwappedForALinkAfterTheListingIsLeftOut) {
    TempFolder temp;
    fs::create_directories(temp.path() / "keys");
    WriteFile(temp.path() / "keys" / "id", "private key");
    const fs::path root = temp.path() / "offered";
    fs::create_directories(root / "sub");
    WriteFile(root / "sub" / "f", "xyz");
    WriteFile(root / "within", "ggg");
    auto listing = platform::DirectorySearch::Open(platform::Path(root.wstring()));
    ASSERT_TRUE(listing);
    const std::optional<platform::DirectoryEntry> sub = listing->Next();
    ASSERT_TRUE(sub);
    ASSERT_TRUE(sub->attributes & platform::kAttributeDirectory);

    fs::rename(root / "sub", temp.path() / "sub.old");
    fs::create_directory_symlink(temp.path() / "keys", root / "sub");
    EXPECT_EQ(EntryStream(*listing, *sub), "");
    // Judged as a link, one to a file inside the offered folder goes out as that file.
    fs::remove(root / "sub");
    fs::create_symlink(root / "within", root / "sub");
    EXPECT_EQ(EntryStream(*listing, *sub), FileHeader("sub", 3) + "ggg");
}

// The swaps come while an earlier, large file goes out, long after the folder was listed.
TEST(DirectoryStream, EntriesSwappedForLinksWhileALargeFileGoesOutAreJudgedAsLinks) {
    TempFolder temp;
    WriteFile(temp.path() / "secret", "private key");
    fs::create_directories(temp.path() / "keys");
    WriteFile(temp.path() / "keys" / "id", "private key");
    const fs::path root = temp.path() / "offered";
    fs::create_directories(root / "c-sub");
    const std::string large = Pattern(8 << 20);
    WriteFile(root / "a-large", large);
    WriteFile(root / "b-file", "plain");
    WriteFile(root / "c-sub" / "f", "xyz");
    const std::string head = DirectoryHeader("offered") + FileHeader("a-large", large.size());
    const std::string stream = Capture(
        [&](const platform::Socket& s) { SendDirectory(s, platform::Path(root.wstring())); },
        std::string::npos, head.size() + 1,
        [&] {
            fs::remove(root / "b-file");
            fs::create_symlink(temp.path() / "secret", root / "b-file");
            fs::rename(root / "c-sub", temp.path() / "c-sub.old");
            fs::create_directory_symlink(temp.path() / "keys", root / "c-sub");
        });
    EXPECT_EQ(stream.find("private key"), std::string::npos);
    EXPECT_TRUE(stream == head + large + EndMark());
}

TEST(DirectoryStream, PathsLongerThan260UnitsAreWalked) {
    TempFolder temp;
    const std::string segment(100, 's');
    fs::path deep = temp.path() / "deep";
    std::string expected = "000d:deep:0:2";
    for (int level = 0; level < 4; ++level) {
        deep /= segment;
        expected += DirectoryHeader(segment);
    }
    fs::create_directories(deep);
    WriteFile(deep / "end.bin", "!");
    ASSERT_GT(deep.wstring().size(), 400u);
    expected += "0011:end.bin:01:1!";
    for (int level = 0; level < 5; ++level) {
        expected += EndMark();
    }
    EXPECT_EQ(StreamOf(temp.path() / "deep"), expected);
}

// A file listed with one size that holds another when its content goes out: the reader takes
// exactly the announced bytes, so the stream has to carry exactly those.
TEST(DirectoryStream, ContentMatchesTheAnnouncedSizeWhateverTheFileHolds) {
    TempFolder temp;
    WriteFile(temp.path() / "f", "hello");
    const platform::Path folder(temp.path().wstring());
    auto listing = platform::DirectorySearch::Open(folder);
    ASSERT_TRUE(listing);
    const std::optional<platform::DirectoryEntry> listed = listing->Next();
    ASSERT_TRUE(listed);
    const auto sent = [&](std::uint64_t size) {
        platform::DirectoryEntry entry = *listed;
        entry.size = size;
        return Capture([&](const platform::Socket& s) {
            StreamSender out(s);
            SendDirectoryEntry(out, *listing, entry, folder);
            out.Flush();
        });
    };
    // Grew since listing: cut at the announced size.
    EXPECT_EQ(sent(3), "000b:f:03:1hel");
    // Shrank since listing: zeros after the short read.
    EXPECT_EQ(sent(8), "000b:f:08:1hello" + std::string(3, '\0'));
    // Gone since listing.
    fs::remove(temp.path() / "f");
    EXPECT_EQ(sent(4), "000b:f:04:1" + std::string(4, '\0'));
}

TEST(DirectoryStream, FileHeldByAnotherTransferIsSentAsZerosAndTheStreamStaysInStep) {
    TempFolder temp;
    const fs::path root = temp.path() / "d";
    fs::create_directories(root);
    WriteFile(root / "a", "12345");
    WriteFile(root / "b", "xy");
    fs::create_symlink(root / "a", root / "c");  // the same file through a link
    auto held = platform::File::OpenForRead(platform::Path((root / "a").wstring()));
    ASSERT_TRUE(held);
    EXPECT_EQ(StreamOf(root), "000a:d:0:2000b:a:05:1" + std::string(5, '\0') + "000b:b:02:1xy" +
                                  "000b:c:05:1" + std::string(5, '\0') + EndMark());
}

TEST(DirectoryStream, LargeFilesKeepEveryByteAcrossChunks) {
    TempFolder temp;
    const fs::path root = temp.path() / "big";
    fs::create_directories(root);
    const std::string content = Pattern((3 << 20) + 17);
    WriteFile(root / "data", content);
    const std::string stream = StreamOf(root);
    const std::string header = FileHeader("data", content.size());
    EXPECT_EQ(header, "0013:data:0300011:1");
    ASSERT_EQ(stream.size(), 12 + header.size() + content.size() + 8);
    EXPECT_TRUE(stream == "000c:big:0:2" + header + content + EndMark());
}

TEST(DirectoryStream, ColonsInNamesAreDoubledAndCountedInTheLength) {
    EXPECT_EQ(FileHeader("12:30 meeting.txt", 5), "001c:12::30 meeting.txt:05:1");
    EXPECT_EQ(DirectoryHeader(":a:"), "000d:;a:::0:2");
}

TEST(DirectoryStream, SizesFrom4GiBOnReadAsOneHexadecimalNumber) {
    EXPECT_EQ(FileHeader("x", 5), "000b:x:05:1");
    EXPECT_EQ(FileHeader("x", 0), "000b:x:00:1");
    EXPECT_EQ(FileHeader("x", (std::uint64_t{1} << 32) + 1), "0012:x:100000001:1");
    EXPECT_EQ(FileHeader("x", 0x100000ABCull), "0012:x:100000abc:1");
    EXPECT_EQ(FileHeader("x", 0xFFFFFFFFull), "0012:x:0ffffffff:1");

    TempFolder temp;
    const fs::path root = temp.path() / "s";
    fs::create_directories(root);
    WriteFile(root / "sparse", "");
    fs::resize_file(root / "sparse", (std::uint64_t{4} << 30) + 1);
    // Only the start of the stream is read; the writer then finds its connection gone.
    const std::string head = "000a:s:0:20017:sparse:100000001:1";
    EXPECT_EQ(
        Capture(
            [&](const platform::Socket& s) { SendDirectory(s, platform::Path(root.wstring())); },
            head.size() + 4),
        head + std::string(4, '\0'));
}

// Small items gather and go out together: when the buffer holds enough, when it is flushed, or
// when what waits has waited long enough (a slow walk still feeds the reader).
TEST(DirectoryStream, SmallItemsGatherUntilEnoughHasComeOrWaited) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    platform::Socket writer(ends[0]);
    platform::Socket reader(ends[1]);
    const auto waiting = [&] {
        char buffer[kGatherBytes];
        const long count = recv(ends[1], buffer, sizeof buffer, MSG_DONTWAIT);
        return count > 0 ? static_cast<std::size_t>(count) : 0;
    };
    testing::ManualTimer time;
    StreamSender out(writer, time);
    ASSERT_TRUE(out.Append("000b:f:03:1"));
    ASSERT_TRUE(out.AppendContent(std::nullopt, 3));
    EXPECT_EQ(waiting(), 0u);
    ASSERT_TRUE(out.Flush());
    EXPECT_EQ(waiting(), 14u);

    ASSERT_TRUE(out.Append(std::string(kGatherBytes - 1, 'x')));
    EXPECT_EQ(waiting(), 0u);
    ASSERT_TRUE(out.Append("x"));
    EXPECT_EQ(waiting(), kGatherBytes);

    ASSERT_TRUE(out.Append("first"));
    time.Advance(kGatherWait - std::chrono::milliseconds(1));
    ASSERT_TRUE(out.Append("second"));
    EXPECT_EQ(waiting(), 0u);
    time.Advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(out.Append("third"));
    EXPECT_EQ(waiting(), 16u);
}

TEST(DirectoryStream, WalkStopsOnceTheConnectionHasFailed) {
    TempFolder temp;
    const fs::path root = temp.path() / "w";
    fs::create_directories(root);
    for (char c = 'a'; c <= 'e'; ++c) {
        WriteFile(root / std::string(1, c), Pattern(1 << 20));
    }
    std::optional<bool> result;
    Capture(
        [&](const platform::Socket& s) {
            result = SendDirectory(s, platform::Path(root.wstring()));
        },
        100);
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(*result);
}

}  // namespace
}  // namespace veltra
