// Offered files fetched from a stand-in transfer server at 127.0.0.2:2425 by a manager whose
// engine is bound to 127.0.0.1.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/staged_file.h"
#include "platform/utf8.h"
#include "receiving/content_reader.h"
#include "receiving/download_manager.h"
#include "tests/receiving/receiving_fixture.h"

namespace veltra::testing {
namespace {

namespace fs = std::filesystem;

using FileDownload = ReceivingTest;

TEST_F(FileDownload, TwoEntriesAreRequestedAndStoredInOrder) {
    const std::string a = Pattern(31, 1);
    const std::string pic = Pattern(16, 2);
    FakePeer peer({Serve(a), Serve(pic)});
    Receive(Entry(0, "a.txt", 31) + "1:pic::1.jpg:010:5f3a12\a", {}, 100);

    EXPECT_EQ(ReadFile(Received() / "a.txt"), a);
    EXPECT_EQ(ReadFile(Received() / "pic:1.jpg"), pic);
    EXPECT_EQ(events_.Kinds(), (std::vector<std::string>{"batch", "started", "progress", "done",
                                                         "started", "progress", "done", "files"}));
    // The batch names its sender before its first file.
    const std::vector<BatchStarted> batch = events_.Of<BatchStarted>();
    ASSERT_EQ(batch.size(), 1u);
    EXPECT_EQ(batch[0].user_name, "peer");
    EXPECT_EQ(batch[0].source_address, platform::InetAddr(kPeerAddress));
    const std::vector<FileStarted> started = events_.Of<FileStarted>();
    const std::vector<FileProgress> progress = events_.Of<FileProgress>();
    const std::vector<FileDone> done = events_.Of<FileDone>();
    EXPECT_EQ(started[0].name, "a.txt");
    EXPECT_EQ(started[0].size, 31u);
    EXPECT_EQ(progress[0].received, 31u);
    EXPECT_EQ(done[0].name, "a.txt");
    EXPECT_EQ(started[1].name, "pic:1.jpg");
    EXPECT_EQ(started[1].size, 16u);
    EXPECT_EQ(progress[1].received, 16u);
    EXPECT_EQ(Count(), 2);
}

TEST_F(FileDownload, RequestIsOnePacketNamingOfferAndIdInHexadecimal) {
    FakePeer peer({Serve("x")});
    Receive("a:f.bin:1:0:1\a", {}, 100);

    const std::vector<std::string> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::vector<std::string> fields = RequestFields(requests[0]);
    ASSERT_EQ(fields.size(), 9u);
    EXPECT_EQ(fields[0], "1");
    EXPECT_EQ(fields[2], WideToAnsi(settings_.user_name));
    EXPECT_EQ(fields[3], engine_.HostName());
    EXPECT_EQ(fields[4], "96");
    // Offer packet 100 is 64; file id 10 is a; the offset is 0; the NUL travels too.
    EXPECT_EQ(fields[5] + ":" + fields[6] + ":" + fields[7] + ":" + fields[8],
              std::string("64:a:0:\0", 8));
}

TEST_F(FileDownload, ContentMovesInChunksOf65536WithOneProgressEach) {
    const std::string exact = Pattern(65536, 3);
    const std::string over = Pattern(65537, 4);
    FakePeer peer({Serve(exact), Serve(over), Serve("")});
    Receive(Entry(0, "exact.bin", exact.size()) + Entry(1, "over.bin", over.size()) +
            Entry(2, "empty.bin", 0));

    EXPECT_EQ(ReadFile(Received() / "exact.bin"), exact);
    EXPECT_EQ(ReadFile(Received() / "over.bin"), over);
    EXPECT_EQ(ReadFile(Received() / "empty.bin"), "");
    std::vector<std::uint64_t> progress;
    for (const FileProgress& step : events_.Of<FileProgress>()) {
        progress.push_back(step.received);
    }
    EXPECT_EQ(progress, (std::vector<std::uint64_t>{65536, 65536, 65537}));
    EXPECT_EQ(events_.Kinds(), (std::vector<std::string>{"batch", "started", "progress", "done",  //
                                                         "started", "progress", "progress", "done",
                                                         "started", "done", "files"}));
    EXPECT_EQ(Count(), 3);
}

// Each case runs twice: with files that have no name until they are whole, and as on a file
// system that refuses those (a hidden temporary name instead).
class Storing : public ReceivingTest, public ::testing::WithParamInterface<bool> {
  protected:
    Storing() { platform::RefuseUnnamedFiles(GetParam()); }
    ~Storing() override { platform::RefuseUnnamedFiles(false); }
};

INSTANTIATE_TEST_SUITE_P(Both, Storing, ::testing::Values(false, true),
                         [](const auto& mode) { return mode.param ? "Named" : "Unnamed"; });

TEST_P(Storing, APeerClosingHalfwayFailsTheFileAndLeavesNothing) {
    const std::string whole = Pattern(200000, 5);
    fs::create_directories(Received());
    WriteFile(Received() / "half.bin.part", "an older part");
    FakePeer peer({Serve(whole.substr(0, 100000)), Serve("next")});
    Receive(Entry(0, "half.bin", whole.size()) + Entry(1, "next.txt", 4));

    EXPECT_EQ(NamesIn(Received()), (std::vector<std::string>{"half.bin.part", "next.txt"}));
    EXPECT_EQ(ReadFile(Received() / "half.bin.part"), "an older part");
    EXPECT_EQ(ReadFile(Received() / "next.txt"), "next");
    EXPECT_FALSE(fs::exists(TemporaryRecord()));
    EXPECT_EQ(events_.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kConnectionLost, FileOutcome::kStored}));
    EXPECT_EQ(events_.Of<FileDone>().front().received, 100000u);
    EXPECT_EQ(events_.Of<FileProgress>().front().received, 65536u);
    EXPECT_EQ(Count(), 1);  // only files stored whole count
}

TEST_P(Storing, AnExistingFileIsReplacedOnlyByOneThatArrivedWhole) {
    fs::create_directories(Received());
    WriteFile(Received() / "same.txt", "old content");
    // A hard link to a file outside the folder: the rename replaces the link, not the file.
    WriteFile(temp_.path() / "outside", "outside");
    fs::create_hard_link(temp_.path() / "outside", Received() / "linked.txt");
    FakePeer peer({Serve("new"), Serve(""), Serve("cut")});
    Receive(Entry(0, "linked.txt", 3) + Entry(1, "same.txt", 10) + Entry(2, "same.txt", 10));

    EXPECT_EQ(ReadFile(Received() / "linked.txt"), "new");
    EXPECT_EQ(ReadFile(temp_.path() / "outside"), "outside");
    // The peer that sent nothing and the one that was cut leave the old file as it was.
    EXPECT_EQ(ReadFile(Received() / "same.txt"), "old content");
    EXPECT_EQ(events_.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kStored, FileOutcome::kNotServed,
                                        FileOutcome::kConnectionLost}));
    // No temporary file is left behind, nor its record.
    EXPECT_EQ(NamesIn(Received()), (std::vector<std::string>{"linked.txt", "same.txt"}));
    EXPECT_FALSE(fs::exists(TemporaryRecord()));
}

TEST_P(Storing, ANameTheReceiverInventsNeverReplacesAFileOnTheDisk) {
    fs::create_directories(Received());
    WriteFile(Received() / "photo.jpg", "older");
    WriteFile(Received() / "photo (2).jpg", "mine");
    fs::create_symlink(temp_.path() / "nowhere", Received() / "photo (4).jpg");
    FakePeer peer({Serve("one"), Serve("two"), Serve("three")});
    Receive(Entry(0, "photo.jpg", 3) + Entry(1, "photo.jpg", 3) + Entry(2, "photo.jpg", 5));

    // The offered name replaces the older file; the names made up go round the user's.
    EXPECT_EQ(ReadFile(Received() / "photo.jpg"), "one");
    EXPECT_EQ(ReadFile(Received() / "photo (2).jpg"), "mine");
    EXPECT_EQ(ReadFile(Received() / "photo (3).jpg"), "two");
    EXPECT_TRUE(fs::is_symlink(Received() / "photo (4).jpg"));
    EXPECT_FALSE(fs::exists(temp_.path() / "nowhere"));
    EXPECT_EQ(ReadFile(Received() / "photo (5).jpg"), "three");
    EXPECT_EQ(events_.Notices(),
              (std::vector<std::wstring>{L"文件另存为photo (3).jpg", L"文件另存为photo (5).jpg"}));
    EXPECT_EQ(NamesIn(Received()).size(), 5u);
    EXPECT_EQ(Count(), 3);
}

TEST_P(Storing, AFileThatCannotTakeItsNameNeverShowsItsWholeSize) {
    fs::create_directories(Received() / "taken.bin");
    const std::string whole = Pattern(70000, 7);
    FakePeer peer({Serve(whole)});
    Receive(Entry(0, "taken.bin", whole.size()));

    EXPECT_EQ(events_.Outcomes(), (std::vector<FileOutcome>{FileOutcome::kCannotCreate}));
    EXPECT_EQ(events_.Of<FileDone>().at(0).received, whole.size());
    std::vector<std::uint64_t> progress;
    for (const FileProgress& step : events_.Of<FileProgress>()) {
        progress.push_back(step.received);
    }
    EXPECT_EQ(progress, std::vector<std::uint64_t>{65536});
    EXPECT_EQ(NamesIn(Received()), std::vector<std::string>{"taken.bin"});
    EXPECT_TRUE(fs::is_empty(Received() / "taken.bin"));
    EXPECT_FALSE(fs::exists(TemporaryRecord()));
}

TEST_F(FileDownload, APeerThatClosesAtOnceNoLongerServesTheFile) {
    // As the serving side does for a file deleted after it was offered; an empty file cannot
    // tell, and is stored.
    FakePeer peer({Serve(""), Serve(""), Serve("next")});
    Receive(Entry(0, "gone.bin", 5000) + Entry(1, "empty.txt", 0) + Entry(2, "next.txt", 4));

    EXPECT_EQ(events_.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kNotServed, FileOutcome::kStored,
                                        FileOutcome::kStored}));
    EXPECT_EQ(NamesIn(Received()), (std::vector<std::string>{"empty.txt", "next.txt"}));
    EXPECT_EQ(Count(), 2);
}

TEST_F(FileDownload, SizesOf4GiBAndMoreKeepAll64Bits) {
    // The peer sends a little and closes; the announced size still travels whole.
    FakePeer peer({Serve("short")});
    Receive("0:huge.bin:100000010:0:1\a");
    const std::vector<FileStarted> started = events_.Of<FileStarted>();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].size, 0x100000010ull);
    EXPECT_EQ(events_.Of<FileDone>().at(0).size, 0x100000010ull);
}

TEST_F(FileDownload, AnOlderLongerFileIsReplacedWhole) {
    fs::create_directories(Received());
    WriteFile(Received() / "same.txt", std::string(5000, 'o'));
    FakePeer peer({Serve("new")});
    Receive(Entry(0, "same.txt", 3));
    EXPECT_EQ(ReadFile(Received() / "same.txt"), "new");
}

TEST_F(FileDownload, ABatchNeverOverwritesAFileItStoredButALaterBatchReplacesIt) {
    FakePeer peer({Serve("ko"), Serve("ja"), Serve("zh"), Serve("again")});
    DownloadManager manager(events_, engine_, settings_);
    // Names that the sender's code page cannot hold arrive as "??.txt" and are stored as "__.txt".
    manager.OnAttachments(
        OfferPacket(Entry(0, "??.txt", 2) + Entry(1, "??.txt", 2) + Entry(2, "??.txt", 2)));
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(1));
    manager.OnAttachments(OfferPacket(Entry(3, "??.txt", 5)));
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(2));

    EXPECT_EQ(ReadFile(Received() / "__.txt"), "again");
    EXPECT_EQ(ReadFile(Received() / "__ (2).txt"), "ja");
    EXPECT_EQ(ReadFile(Received() / "__ (3).txt"), "zh");
    EXPECT_EQ(events_.Notices(),
              (std::vector<std::wstring>{L"文件另存为__ (2).txt", L"文件另存为__ (3).txt"}));
}

TEST_F(FileDownload, ColonAndSemicolonNamesLandAsTwoFilesOfTheirOwnNames) {
    // How the sender writes "12:30 plan.txt", "12;30 plan.txt" and ":first".
    FakePeer peer({Serve("colon"), Serve("semicolon"), Serve("first"), Serve("later")});
    DownloadManager manager(events_, engine_, settings_);
    manager.OnAttachments(OfferPacket(Entry(0, "12::30 plan.txt", 5) +
                                      Entry(1, "12;30 plan.txt", 9) + Entry(2, ";first", 5)));
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(1));
    // A later offer of the ':' name replaces its own file, never the ';' one.
    manager.OnAttachments(OfferPacket(Entry(3, "12::30 plan.txt", 5)));
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(2));

    EXPECT_EQ(ReadFile(Received() / "12:30 plan.txt"), "later");
    EXPECT_EQ(ReadFile(Received() / "12;30 plan.txt"), "semicolon");
    EXPECT_EQ(ReadFile(Received() / ";first"), "first");
    EXPECT_EQ(std::distance(fs::directory_iterator(Received()), fs::directory_iterator()), 3);
    EXPECT_TRUE(events_.Notices().empty());
    EXPECT_EQ(Count(), 1);
}

TEST_F(FileDownload, ANameTooLongForTheHostIsShortenedKeepingItsExtension) {
    // 127 two-byte characters and ".txt": 258 bytes on the wire, 385 in UTF-8.
    FakePeer peer({Serve("long")});
    Receive(Entry(0, WideToAnsi(std::wstring(127, L'文') + L".txt"), 4));
    // 83 characters and ".txt" are 253 bytes; one more character would be 256.
    const std::wstring stored = std::wstring(83, L'文') + L".txt";
    EXPECT_EQ(ReadFile(Received() / platform::WideToUtf8(stored)), "long");
    EXPECT_EQ(events_.Notices(), std::vector<std::wstring>{L"文件另存为" + stored});
    EXPECT_EQ(Count(), 1);
}

TEST_F(FileDownload, AReceivedFolderThatIsAFileFailsEveryEntryInStep) {
    WriteFile(Received(), "not a folder");
    FakePeer peer({Serve("one"), Serve("two")});
    Receive(Entry(0, "a.txt", 3) + Entry(1, "b.txt", 3));
    EXPECT_EQ(events_.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kCannotCreate, FileOutcome::kCannotCreate}));
    EXPECT_EQ(peer.Connections(), 2u);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(ReadFile(Received()), "not a folder");
}

TEST_F(FileDownload, NoPeerListeningFailsEachEntryByName) {
    Receive(Entry(0, "a.txt", 5) + Entry(1, "b.txt", 5));
    EXPECT_EQ(events_.Kinds(),
              (std::vector<std::string>{"batch", "started", "done", "started", "done", "files"}));
    EXPECT_EQ(events_.Of<FileStarted>().at(1).name, "b.txt");
    EXPECT_EQ(events_.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kUnreachable, FileOutcome::kUnreachable}));
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(Failed(), 2);
    EXPECT_FALSE(fs::exists(Received() / "a.txt"));
}

TEST_F(FileDownload, EachBatchCountsItsOwnFailures) {
    FakePeer peer({Serve("x"), Serve("y")});
    DownloadManager manager(events_, engine_, settings_);
    manager.OnAttachments(OfferPacket(Entry(0, "..", 1) + Entry(1, "ok.txt", 1)));
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(1));
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(Failed(), 1);
    manager.OnAttachments(OfferPacket(Entry(2, "b.txt", 1)));
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(2));
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(Failed(), 0);
}

TEST_F(FileDownload, AListWithoutUsableEntriesPostsNothing) {
    FakePeer peer({Serve("x")});
    {
        DownloadManager manager(events_, engine_, settings_);
        manager.OnAttachments(OfferPacket("0:a:1\a"));
        manager.OnAttachments(OfferPacket(""));
    }  // joins both batches
    EXPECT_EQ(events_.Total(), 0u);
    EXPECT_EQ(peer.Connections(), 0u);
}

TEST_F(FileDownload, APeerSilentTooLongEndsItsEntryOnly) {
    const std::string whole = Pattern(100000, 6);
    FakePeer peer({ServeThenStall(whole.substr(0, 70000)), Serve("next")});
    Receive(Entry(0, "stalled.bin", whole.size()) + Entry(1, "next.txt", 4), QuickLimits());

    EXPECT_EQ(NamesIn(Received()), std::vector<std::string>{"next.txt"});
    EXPECT_EQ(ReadFile(Received() / "next.txt"), "next");
    EXPECT_EQ(events_.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kConnectionLost, FileOutcome::kStored}));
    EXPECT_EQ(Count(), 1);
}

TEST_F(FileDownload, ALargeFileCutShortSilentOrNeverServedEndsAsASmallOneDoes) {
    const std::string part = Pattern(kDirectFileSize + 70000, 8);
    const std::uint64_t size = 2 * kDirectFileSize;
    FakePeer peer({Serve(part), Serve(""), ServeThenStall(part), Serve("next")});
    Receive(Entry(0, "cut.bin", size) + Entry(1, "gone.bin", size) + Entry(2, "stalled.bin", size) +
                Entry(3, "next.txt", 4),
            QuickLimits());

    EXPECT_EQ(events_.Outcomes(),
              (std::vector<FileOutcome>{FileOutcome::kConnectionLost, FileOutcome::kNotServed,
                                        FileOutcome::kConnectionLost, FileOutcome::kStored}));
    const std::vector<FileDone> done = events_.Of<FileDone>();
    ASSERT_EQ(done.size(), 4u);
    EXPECT_EQ(done[0].received, part.size());
    EXPECT_EQ(done[2].received, part.size());
    EXPECT_EQ(NamesIn(Received()), std::vector<std::string>{"next.txt"});
    EXPECT_EQ(ReadFile(Received() / "next.txt"), "next");
}

TEST_F(FileDownload, APeerThatNeverAcceptsIsGivenUpAfterTheConnectLimit) {
    // A listener whose queue is full drops further connection attempts unanswered.
    platform::Socket full = platform::Socket::Tcp();
    full.SetReuseAddress();
    ASSERT_TRUE(full.Bind(platform::MakeEndpoint(platform::InetAddr(kPeerAddress), MSG_PORT)));
    ASSERT_TRUE(full.Listen(0));
    std::vector<platform::Socket> queued;
    for (int i = 0; i < 2; ++i) {
        queued.push_back(platform::Socket::Tcp());
        queued.back().Connect(platform::MakeEndpoint(platform::InetAddr(kPeerAddress), MSG_PORT),
                              200);
    }
    Receive(Entry(0, "a.txt", 5), QuickLimits());
    EXPECT_EQ(events_.Kinds(), (std::vector<std::string>{"batch", "started", "done", "files"}));
    EXPECT_EQ(events_.Outcomes(), (std::vector<FileOutcome>{FileOutcome::kUnreachable}));
}

TEST_F(FileDownload, ALinkAtTheDestinationIsNeverWrittenThrough) {
    const fs::path sentinel = temp_.path() / "sentinel";
    WriteFile(sentinel, "keep");
    fs::create_directories(Received());
    fs::create_symlink(sentinel, Received() / "a.txt");
    FakePeer peer({Serve("evil"), Serve("fine")});
    Receive(Entry(0, "a.txt", 4) + Entry(1, "b.txt", 4));

    // The received file takes the link's place; what it led to is untouched.
    EXPECT_EQ(ReadFile(sentinel), "keep");
    EXPECT_FALSE(fs::is_symlink(Received() / "a.txt"));
    EXPECT_EQ(ReadFile(Received() / "a.txt"), "evil");
    EXPECT_EQ(ReadFile(Received() / "b.txt"), "fine");
    EXPECT_EQ(Count(), 2);
}

// Every path under root, except those under skip.
std::vector<fs::path> Tree(const fs::path& root, const fs::path& skip) {
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

TEST_F(FileDownload, OfferedNamesStayInsideTheReceivedFolder) {
    fs::create_directories(Received());
    WriteFile(temp_.path() / "x", "sentinel");
    const std::vector<fs::path> outside = Tree(temp_.path(), Received());
    const std::string longest(259, 'n');
    const std::vector<std::string> names = {"../x",      "a/../../x",     "..",
                                            ".",         "/etc/passwd",   "\\..\\x",
                                            "..\\..\\x", "..\\\\..\\\\x", longest};
    std::string extension;
    for (unsigned i = 0; i < names.size(); ++i) {
        extension += Entry(i, names[i], 4);
    }
    // A colon cuts the name short ("C"), and the rest makes an entry of no kind.
    extension += "9:C:\\x:4:0:1\a";
    FakePeer peer(Serve("evil"));
    Receive(extension);

    EXPECT_EQ(ReadFile(temp_.path() / "x"), "sentinel");
    EXPECT_EQ(Tree(temp_.path(), Received()), outside);
    for (const std::string& stored :
         std::vector<std::string>{".._x", "a_.._.._x", "_etc_passwd", "_.._x", ".._.._x",
                                  "..__..__x", std::string(255, 'n')}) {
        EXPECT_EQ(ReadFile(Received() / stored), "evil") << stored;
    }
    std::size_t stored_count = 0;
    for ([[maybe_unused]] const auto& entry : fs::recursive_directory_iterator(Received())) {
        ++stored_count;
    }
    EXPECT_EQ(stored_count, 7u);
    // "." and ".." were not even requested, but they are named as failed.
    EXPECT_EQ(peer.Connections(), 7u);
    EXPECT_EQ(Count(), 7);
    std::vector<std::string> refused;
    for (const FileDone& done : events_.Of<FileDone>()) {
        if (done.outcome == FileOutcome::kNameRefused) {
            refused.push_back(done.name);
        }
    }
    EXPECT_EQ(refused, (std::vector<std::string>{"..", "."}));
}

}  // namespace
}  // namespace veltra::testing
