// Offered directories fetched from a stand-in transfer server that answers with canned streams.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/text.h"
#include "platform/staged_file.h"
#include "platform/utf8.h"
#include "receiving/directory_download.h"
#include "receiving/download_manager.h"
#include "tests/platform/file_size_limit.h"
#include "tests/receiving/receiving_fixture.h"

namespace veltra::testing {
namespace {

namespace fs = std::filesystem;

class DirectoryDownload : public ReceivingTest {
  protected:
    std::vector<std::string> StartedNames() {
        std::vector<std::string> names;
        for (const FileStarted& started : events_.Of<FileStarted>()) {
            names.push_back(started.name);
        }
        return names;
    }
    // Receives stream through the smallest stream buffer, so that a content begins with bytes
    // its header's fill took along.
    FileOutcome ReceiveStream(const std::string& stream) {
        int ends[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        platform::Socket socket(ends[0]);
        std::thread writer(
            [&stream, writing = platform::Socket(ends[1])] { SendBytes(writing, stream); });
        TransferCancel cancel;
        DownloadContext context(events_, engine_, settings_, cancel, QuickLimits());
        ContentReader reader(socket, 0);
        const FileOutcome outcome = ReceiveDirectory(context, reader);
        writer.join();
        received_files_ = context.received_files;
        return outcome;
    }
    std::uint64_t received_files_ = 0;  // counted by the last ReceiveStream
    std::optional<FileDone> DoneOf(const std::string& name) {
        for (const FileDone& done : events_.Of<FileDone>()) {
            if (done.name == name) {
                return done;
            }
        }
        return std::nullopt;
    }
};

// Every path under root, except those under skip.
std::vector<fs::path> Tree(const fs::path& root, const fs::path& skip = {}) {
    std::vector<fs::path> paths;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        if (it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        paths.push_back(it->path());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST_F(DirectoryDownload, ThreeFilesInADirectoryAndOneBesideItCountFour) {
    const std::string stream = DirHeader("album") + FileItem("a.mp3", Pattern(70000, 1)) +
                               FileItem("b.mp3", "") + DirHeader("disc1") +
                               FileItem("track.mp3", Pattern(10, 2)) + EndMark() + EndMark();
    FakePeer peer({Serve(stream), Serve("hello")});
    Receive(Entry(0, "album", 0, 2) + Entry(1, "beside.txt", 5));

    EXPECT_EQ(ReadFile(Received() / "album" / "a.mp3"), Pattern(70000, 1));
    EXPECT_EQ(ReadFile(Received() / "album" / "b.mp3"), "");
    EXPECT_EQ(ReadFile(Received() / "album" / "disc1" / "track.mp3"), Pattern(10, 2));
    EXPECT_EQ(ReadFile(Received() / "beside.txt"), "hello");
    EXPECT_EQ(StartedNames(),
              (std::vector<std::string>{"a.mp3", "b.mp3", "track.mp3", "beside.txt"}));
    EXPECT_EQ(Count(), 4);
    const std::vector<std::string> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(RequestFields(requests[0])[4], "98");
    EXPECT_EQ(RequestFields(requests[1])[4], "96");
    EXPECT_EQ(Failed(), 0);
}

// The batch's end tells how each offered entry ended as a whole and where it was stored: a
// folder by the folder made (a file refused inside it does not fail it), a file by the name it
// took.
TEST_F(DirectoryDownload, TheBatchsEndTellsEachOfferedEntryOnceWithWhereItWasStored) {
    const std::string stream =
        DirHeader("album") + FileItem("a.mp3", Pattern(7000, 1)) + FileItem("..", "xy") + EndMark();
    FakePeer peer(
        ById({{0, Serve(stream)}, {1, Serve("hello")}, {2, Serve("again")}, {3, Serve("")}}));
    Receive(Entry(0, "album", 0, 2) + Entry(1, "beside.txt", 5) + Entry(2, "beside.txt", 5) +
            Entry(3, "gone.txt", 4));

    const FilesReceived batch = events_.Of<FilesReceived>().at(0);
    EXPECT_EQ(batch.user_name, "peer");
    EXPECT_EQ(batch.host_name, "pda");
    EXPECT_EQ(batch.source_address, platform::InetAddr(kPeerAddress));
    ASSERT_EQ(batch.entries.size(), 4u);
    const auto at = [this](const char* name) {
        return std::optional(platform::Path::FromHost((Received() / name).string()));
    };
    const EntryEnded& album = batch.entries[0];
    EXPECT_EQ(album.name, "album");
    EXPECT_TRUE(album.folder);
    EXPECT_EQ(album.outcome, FileOutcome::kStored) << "a file refused inside failed its folder";
    EXPECT_EQ(album.received, 7000u) << "the bytes of its files that arrived";
    EXPECT_EQ(album.stored, at("album"));
    EXPECT_EQ(batch.entries[1].outcome, FileOutcome::kStored);
    EXPECT_EQ(batch.entries[1].received, 5u);
    EXPECT_EQ(batch.entries[1].stored, at("beside.txt"));
    EXPECT_EQ(batch.entries[2].stored, at("beside (2).txt")) << "not the name the file took";
    EXPECT_EQ(batch.entries[3].name, "gone.txt");
    EXPECT_FALSE(batch.entries[3].folder);
    EXPECT_EQ(batch.entries[3].outcome, FileOutcome::kNotServed);
    EXPECT_EQ(batch.entries[3].stored, std::nullopt);
    EXPECT_EQ(Failed(), 2);
}

TEST_F(DirectoryDownload, ContentsStraddlingTheStreamBufferArriveWhole) {
    // Read through the smallest stream buffer, contents of every size around it start and end
    // anywhere in a fill, and the one that is cut keeps what arrived.
    const std::vector<std::size_t> sizes = {0, 1, 1000, 1023, 1024, 1025, 3000, 70000, 5};
    std::string stream = DirHeader("d");
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        stream += FileItem("f" + std::to_string(i), Pattern(sizes[i], static_cast<unsigned>(i)));
    }
    stream += FileHeader("cut", 5000) + Pattern(2500, 99);
    EXPECT_EQ(ReceiveStream(stream), FileOutcome::kConnectionLost);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(ReadFile(Received() / "d" / ("f" + std::to_string(i))),
                  Pattern(sizes[i], static_cast<unsigned>(i)))
            << sizes[i];
    }
    // The cut one leaves nothing.
    EXPECT_EQ(NamesIn(Received() / "d").size(), sizes.size());
    EXPECT_EQ(received_files_, sizes.size());
}

TEST_F(DirectoryDownload, ALargeFileArrivesWholePastTheBufferAndTheNextHeaderIsStillRead) {
    const std::string big = Pattern(kDirectFileSize + 70001, 11);
    EXPECT_EQ(ReceiveStream(DirHeader("d") + FileItem("big.bin", big) +
                            FileItem("after.txt", "after") + EndMark()),
              FileOutcome::kStored);
    EXPECT_TRUE(ReadFile(Received() / "d" / "big.bin") == big) << "bytes lost, doubled or moved";
    EXPECT_EQ(ReadFile(Received() / "d" / "after.txt"), "after");
    // One progress a chunk, the whole size only once stored, as for any file.
    std::vector<std::uint64_t> expected;
    for (std::uint64_t at = kContentChunk; at < big.size(); at += kContentChunk) {
        expected.push_back(at);
    }
    expected.push_back(big.size());
    expected.push_back(5);
    std::vector<std::uint64_t> progress;
    for (const FileProgress& step : events_.Of<FileProgress>()) {
        progress.push_back(step.received);
    }
    EXPECT_EQ(progress, expected);
}

TEST_F(DirectoryDownload, ALargeFileOnAFileSystemWithoutSpliceArrivesWholeThroughTheBuffer) {
    platform::RefuseSplicedWrites(true);
    const std::string big = Pattern(kDirectFileSize + 70001, 12);
    const FileOutcome outcome = ReceiveStream(DirHeader("d") + FileItem("big.bin", big) +
                                              FileItem("after.txt", "after") + EndMark());
    platform::RefuseSplicedWrites(false);
    EXPECT_EQ(outcome, FileOutcome::kStored);
    EXPECT_TRUE(ReadFile(Received() / "d" / "big.bin") == big) << "bytes lost, doubled or moved";
    EXPECT_EQ(ReadFile(Received() / "d" / "after.txt"), "after");
}

TEST_F(DirectoryDownload, ALargeFileWhoseWriteFailsIsDroppedAndTheStreamStaysInStep) {
    const std::string big = Pattern(2 * kDirectFileSize, 13);
    {
        const FileSizeLimit limit(kDirectFileSize + 1000);
        ReceiveStream(DirHeader("d") + FileItem("big.bin", big) + FileItem("after.txt", "after") +
                      EndMark());
    }
    ASSERT_TRUE(DoneOf("big.bin"));
    EXPECT_EQ(DoneOf("big.bin")->outcome, FileOutcome::kWriteFailed);
    EXPECT_EQ(DoneOf("big.bin")->received, big.size()) << "the failed file was not read to its end";
    ASSERT_TRUE(DoneOf("after.txt"));
    EXPECT_EQ(DoneOf("after.txt")->outcome, FileOutcome::kStored);
    EXPECT_EQ(NamesIn(Received() / "d"), std::vector<std::string>{"after.txt"});
    EXPECT_EQ(ReadFile(Received() / "d" / "after.txt"), "after");
}

TEST_F(DirectoryDownload, AnEmptyDirectoryIsCreatedWithoutFileMessages) {
    FakePeer peer({Serve(DirHeader("photos") + EndMark())});
    Receive(Entry(0, "photos", 0, 2));
    EXPECT_TRUE(fs::is_directory(Received() / "photos"));
    EXPECT_TRUE(fs::is_empty(Received() / "photos"));
    EXPECT_EQ(events_.Total(), 1u);
    EXPECT_EQ(Count(), 0);
}

TEST_F(DirectoryDownload, HeadersOfNoKindAreSkippedAndNamesRewritten) {
    const std::string stream =
        DirHeader("d") + WithLength(":odd:0:10") + FileItem("a::b?.txt", "xy") + EndMark();
    FakePeer peer({Serve(stream)});
    Receive(Entry(0, "d", 0, 2));
    EXPECT_EQ(ReadFile(Received() / "d" / "a:b_.txt"), "xy");
    EXPECT_FALSE(fs::exists(Received() / "d" / "odd"));
    EXPECT_EQ(Count(), 1);
}

TEST_F(DirectoryDownload, ColonAndSemicolonNamesLandAsTwoFilesOfTheirOwnNames) {
    // How the sender writes "12:30 plan.txt", "12;30 plan.txt", ":first" and "3:4:".
    const std::string stream = DirHeader("notes") + FileItem("12::30 plan.txt", "colon") +
                               FileItem("12;30 plan.txt", "semicolon") + FileItem(";first", "f") +
                               DirHeader("3::4::") + FileItem("in", "i") + EndMark() + EndMark();
    FakePeer peer({Serve(stream)});
    Receive(Entry(0, "notes", 0, 2));
    EXPECT_EQ(ReadFile(Received() / "notes" / "12:30 plan.txt"), "colon");
    EXPECT_EQ(ReadFile(Received() / "notes" / "12;30 plan.txt"), "semicolon");
    EXPECT_EQ(ReadFile(Received() / "notes" / ";first"), "f");
    EXPECT_EQ(ReadFile(Received() / "notes" / "3:4:" / "in"), "i");
    EXPECT_EQ(Tree(Received() / "notes").size(), 5u);
    EXPECT_TRUE(events_.Notices().empty());
    EXPECT_EQ(Count(), 4);
}

TEST_F(DirectoryDownload, PeerClosingInsideADeepFileEndsTheReceptionOnly) {
    const std::string stream = DirHeader("top") + DirHeader("l1") + DirHeader("l2") +
                               WithLength(":cut.bin:064:1") + std::string(50, 'c');
    FakePeer peer({Serve(stream), Serve("next")});
    Receive(Entry(0, "top", 0, 2) + Entry(1, "next.txt", 4));

    const fs::path deep = Received() / "top" / "l1" / "l2";
    EXPECT_TRUE(fs::is_empty(deep));
    EXPECT_EQ(ReadFile(Received() / "next.txt"), "next");
    // The cut file fails, and so does the directory it broke off.
    EXPECT_EQ(StartedNames(), (std::vector<std::string>{"cut.bin", "top", "next.txt"}));
    EXPECT_EQ(events_.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kConnectionLost, FileOutcome::kConnectionLost,
                                        FileOutcome::kStored}));
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(Failed(), 2);
}

TEST_F(DirectoryDownload, ASilentPeerEndsTheWholeReception) {
    const std::string stream = DirHeader("top") + FileItem("whole.txt", "abc") +
                               WithLength(":stalled.bin:100:1") + std::string(16, 's');
    FakePeer peer({ServeThenStall(stream), Serve("next")});
    Receive(Entry(0, "top", 0, 2) + Entry(1, "next.txt", 4), QuickLimits());

    EXPECT_EQ(ReadFile(Received() / "top" / "whole.txt"), "abc");
    EXPECT_EQ(NamesIn(Received() / "top"), std::vector<std::string>{"whole.txt"});
    EXPECT_EQ(ReadFile(Received() / "next.txt"), "next");
    EXPECT_EQ(Count(), 2);
}

TEST_F(DirectoryDownload, APeerThatClosesBeforeTheFirstHeaderNoLongerServesTheDirectory) {
    FakePeer peer({Serve(""), Serve(DirHeader("cut")), Serve("next")});
    Receive(Entry(0, "gone", 0, 2) + Entry(1, "cut", 0, 2) + Entry(2, "next.txt", 4));
    // Once the first header has come, a close is a break.
    EXPECT_EQ(StartedNames(), (std::vector<std::string>{"gone", "cut", "next.txt"}));
    EXPECT_EQ(events_.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kNotServed, FileOutcome::kConnectionLost,
                                        FileOutcome::kStored}));
    EXPECT_FALSE(fs::exists(Received() / "gone"));
    EXPECT_EQ(Count(), 1);
}

TEST_F(DirectoryDownload, BrokenHeaderLengthsEndTheReception) {
    for (const std::string& broken :
         {std::string("0007:x:0"), "0400:x:0:1" + std::string(1014, ':')}) {
        RecordingSink events;
        const std::string stream =
            DirHeader("b") + broken + FileItem("after.txt", "no") + EndMark();
        FakePeer peer({Serve(stream)});
        {
            DownloadManager manager(events, engine_, settings_);
            manager.OnAttachments(OfferPacket(Entry(0, "b", 0, 2)));
            ASSERT_TRUE(events.WaitFor<FilesReceived>(1));
        }
        EXPECT_FALSE(fs::exists(Received() / "b" / "after.txt"));
        // Only the directory itself is named, as failed, after its sender.
        EXPECT_EQ(events.Total(), 4u);
        EXPECT_EQ(events.Outcomes(), (std::vector<FileOutcome>{FileOutcome::kConnectionLost}));
    }
}

TEST_F(DirectoryDownload, DepthIsBoundedAndTheDeeperPartReadAndDropped) {
    // 100 levels below the top; the rest of the stream must still be read in step.
    std::string stream = DirHeader("t");
    for (int level = 1; level <= 100; ++level) {
        stream += DirHeader("d" + std::to_string(level)) + FileItem("f.txt", "deep");
    }
    for (int level = 1; level <= 100; ++level) {
        stream += EndMark();
    }
    stream += FileItem("after.txt", "ok") + EndMark();
    FakePeer peer({Serve(stream)});
    Receive(Entry(0, "t", 0, 2));

    fs::path deepest = Received() / "t";
    for (int level = 1; level < 64; ++level) {
        deepest /= "d" + std::to_string(level);
        ASSERT_EQ(ReadFile(deepest / "f.txt"), "deep") << level;
    }
    EXPECT_FALSE(fs::exists(deepest / "d64"));
    EXPECT_EQ(events_.Of<FileStarted>().at(63).name, "d64");
    EXPECT_EQ(events_.Outcomes().at(63), FileOutcome::kPathTooLong);
    EXPECT_GT(deepest.string().size(), 260u);  // no fixed path buffers on the way
    EXPECT_EQ(ReadFile(Received() / "t" / "after.txt"), "ok");
    EXPECT_EQ(Count(), 64);
}

TEST_F(DirectoryDownload, AVeryDeepStreamIsDroppedWithoutRecursion) {
    constexpr int kLevels = 20000;
    std::string stream = DirHeader("t");
    for (int level = 0; level < kLevels; ++level) {
        stream += DirHeader("d");
    }
    for (int level = 0; level < kLevels; ++level) {
        stream += EndMark();
    }
    stream += FileItem("after.txt", "ok") + EndMark();
    FakePeer peer({Serve(stream)});
    DownloadLimits limits;
    limits.max_depth = 2;
    Receive(Entry(0, "t", 0, 2), limits);
    EXPECT_TRUE(fs::is_directory(Received() / "t" / "d"));
    EXPECT_FALSE(fs::exists(Received() / "t" / "d" / "d"));
    EXPECT_EQ(ReadFile(Received() / "t" / "after.txt"), "ok");
}

TEST_F(DirectoryDownload, NamesInTheStreamStayInsideTheReceivedFolder) {
    fs::create_directories(Received());
    WriteFile(temp_.path() / "x", "sentinel");
    const std::vector<fs::path> outside = Tree(temp_.path(), Received());

    std::string stream = DirHeader("t");
    const std::vector<std::string> names = {"../x",
                                            "a/../../x",
                                            "..",
                                            ".",
                                            "/etc/passwd",
                                            "\\..\\x",
                                            "..\\..\\x",
                                            "..\\\\..\\\\x",
                                            std::string("n\0ul", 4),
                                            std::string(259, 'n')};
    for (const std::string& name : names) {
        stream += FileItem(name, "evil");
    }
    // A refused directory's subtree is read and dropped, however it is nested.
    stream += DirHeader("..") + FileItem("x", "evil") + DirHeader("in") + FileItem("x", "evil") +
              EndMark() + EndMark();
    stream += DirHeader("../up") + FileItem("x", "kept") + EndMark();
    stream += FileItem("after.txt", "ok") + EndMark();
    FakePeer peer({Serve(stream)});
    Receive(Entry(0, "t", 0, 2));

    EXPECT_EQ(ReadFile(temp_.path() / "x"), "sentinel");
    EXPECT_EQ(Tree(temp_.path(), Received()), outside);
    const fs::path top = Received() / "t";
    for (const std::string& stored :
         std::vector<std::string>{".._x", "a_.._.._x", "_etc_passwd", "_.._x", ".._.._x",
                                  "..__..__x", std::string(255, 'n')}) {
        EXPECT_EQ(ReadFile(top / stored), "evil") << stored;
    }
    EXPECT_EQ(ReadFile(top / ".._up" / "x"), "kept");
    EXPECT_EQ(ReadFile(top / "after.txt"), "ok");
    // Seven files (the 259-byte name shortened for the host), .._up with its x, after.txt.
    EXPECT_EQ(Tree(top).size(), 10u);
    EXPECT_EQ(Count(), 9);
    // Refused names are named as failed: "..", ".", the one with a NUL, the directory "..".
    std::size_t refused = 0;
    for (const FileOutcome outcome : events_.Outcomes()) {
        refused += outcome == FileOutcome::kNameRefused;
    }
    EXPECT_EQ(refused, 4u);
}

TEST_F(DirectoryDownload, ARefusedTopDirectoryIsDroppedWhole) {
    WriteFile(temp_.path() / "x", "sentinel");
    const std::string stream = DirHeader("..") + FileItem("x", "evil") + EndMark();
    FakePeer peer({Serve(stream)});
    Receive(Entry(0, "t", 0, 2));
    EXPECT_EQ(ReadFile(temp_.path() / "x"), "sentinel");
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(StartedNames(), (std::vector<std::string>{"t"}));
    EXPECT_EQ(events_.Outcomes(), (std::vector<FileOutcome>{FileOutcome::kNameRefused}));
}

TEST_F(DirectoryDownload, LongNamesAreRefusedOrShortenedAndTheStreamStaysInStep) {
    // 260 bytes or more: refused, its content (that reads like a header) or subtree dropped.
    const std::string refused(300, 'r');
    // 240 bytes in code page 936, 360 in UTF-8: shortened to 85 characters, 255 bytes.
    const std::string long_folder = WideToAnsi(std::wstring(120, L'长'));
    const std::string stream = DirHeader("t") + FileItem(refused, FileItem("evil", "x")) +
                               DirHeader(refused) + FileItem("in", "dropped") + EndMark() +
                               DirHeader(long_folder) + FileItem("f.txt", "kept") + EndMark() +
                               FileItem("after.txt", "ok") + EndMark();
    FakePeer peer({Serve(stream)});
    Receive(Entry(0, "t", 0, 2));

    const std::wstring shortened(85, L'长');
    EXPECT_EQ(ReadFile(Received() / "t" / platform::WideToUtf8(shortened) / "f.txt"), "kept");
    EXPECT_EQ(ReadFile(Received() / "t" / "after.txt"), "ok");
    EXPECT_EQ(Tree(Received() / "t").size(), 3u);
    EXPECT_EQ(StartedNames(), (std::vector<std::string>{refused, refused, "f.txt", "after.txt"}));
    EXPECT_EQ(events_.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kNameRefused, FileOutcome::kNameRefused,
                                        FileOutcome::kStored, FileOutcome::kStored}));
    EXPECT_EQ(events_.Notices(), std::vector<std::wstring>{L"文件夹另存为" + shortened});
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(Failed(), 2);
}

TEST_F(DirectoryDownload, LinksInTheReceivedTreeAreNeverFollowed) {
    const fs::path elsewhere = temp_.path() / "elsewhere";
    fs::create_directories(elsewhere);
    WriteFile(temp_.path() / "sentinel", "keep");
    fs::create_directories(Received() / "t");
    fs::create_directory_symlink(elsewhere, Received() / "t" / "sub");
    fs::create_symlink(temp_.path() / "sentinel", Received() / "t" / "f.txt");
    fs::create_directory_symlink(elsewhere, Received() / "linked");

    const std::string tree = DirHeader("t") + DirHeader("sub") + FileItem("x", "evil") + EndMark() +
                             FileItem("f.txt", "evil") + FileItem("after.txt", "ok") + EndMark();
    const std::string linked = DirHeader("linked") + FileItem("y", "evil") + EndMark();
    FakePeer peer({Serve(tree), Serve(linked)});
    Receive(Entry(0, "t", 0, 2) + Entry(1, "linked", 0, 2));

    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_EQ(ReadFile(temp_.path() / "sentinel"), "keep");
    // A link in a file's place is replaced by the file; one in a folder's place drops the
    // subtree, which says so.
    EXPECT_FALSE(fs::is_symlink(Received() / "t" / "f.txt"));
    EXPECT_EQ(ReadFile(Received() / "t" / "f.txt"), "evil");
    EXPECT_EQ(ReadFile(Received() / "t" / "after.txt"), "ok");
    EXPECT_EQ(StartedNames(), (std::vector<std::string>{"sub", "f.txt", "after.txt", "linked"}));
    EXPECT_EQ(events_.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kCannotCreate, FileOutcome::kStored,
                                        FileOutcome::kStored, FileOutcome::kCannotCreate}));
    EXPECT_EQ(Count(), 2);
}

}  // namespace
}  // namespace veltra::testing
