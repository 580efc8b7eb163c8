// Offered files fetched from a stand-in transfer server at 127.0.0.2:2425 by a manager whose
// engine is bound to 127.0.0.1.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/text.h"
#include "receiving/download_manager.h"
#include "tests/receiving/receiving_fixture.h"

namespace veltra::testing {
namespace {

namespace fs = std::filesystem;

class FileDownload : public ReceivingTest {
  protected:
    // Hands one offer to a fresh manager and waits for the end of its batch.
    void Receive(const std::string& extension, DownloadLimits limits = {},
                 std::int32_t packet_number = 100) {
        CDownloadManager manager(window_, engine_, settings_, limits);
        manager.OnAttachments(OfferPacket(extension, packet_number));
        EXPECT_TRUE(window_.WaitFor(WM_FILES_RECEIVED, 1));
    }
    std::vector<unsigned> Ids() {
        std::vector<unsigned> ids;
        for (const Posted& posted : window_.Messages()) {
            ids.push_back(posted.id);
        }
        return ids;
    }
    std::int64_t Count() {
        const std::vector<Posted> done = window_.Of(WM_FILES_RECEIVED);
        return done.empty() ? -1 : done.back().wparam;
    }
};

TEST_F(FileDownload, TwoEntriesAreRequestedAndStoredInOrder) {
    const std::string a = Pattern(31, 1);
    const std::string pic = Pattern(16, 2);
    FakePeer peer({Serve(a), Serve(pic)});
    Receive(Entry(0, "a.txt", 31) + "1:pic::1.jpg:010:5f3a12\a", {}, 100);

    EXPECT_EQ(ReadFile(Received() / "a.txt"), a);
    EXPECT_EQ(ReadFile(Received() / "pic;1.jpg"), pic);
    EXPECT_EQ(Ids(), (std::vector<unsigned>{WM_FILE_STARTED, WM_FILE_PROGRESS, WM_FILE_DONE,
                                            WM_FILE_STARTED, WM_FILE_PROGRESS, WM_FILE_DONE,
                                            WM_FILES_RECEIVED}));
    const std::vector<Posted> messages = window_.Messages();
    EXPECT_EQ(messages[0].name, "a.txt");
    EXPECT_EQ(messages[0].size, 31u);
    EXPECT_EQ(messages[1].lparam, 31);
    EXPECT_EQ(messages[2].name, "a.txt");
    EXPECT_EQ(messages[3].name, "pic;1.jpg");
    EXPECT_EQ(messages[3].size, 16u);
    EXPECT_EQ(messages[4].lparam, 16);
    EXPECT_EQ(messages[6].wparam, 2);
    EXPECT_FALSE(messages[6].has_payload);
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
    std::vector<std::int64_t> progress;
    for (const Posted& posted : window_.Of(WM_FILE_PROGRESS)) {
        progress.push_back(posted.lparam);
    }
    EXPECT_EQ(progress, (std::vector<std::int64_t>{65536, 65536, 65537}));
    EXPECT_EQ(Ids(), (std::vector<unsigned>{WM_FILE_STARTED, WM_FILE_PROGRESS, WM_FILE_DONE,  //
                                            WM_FILE_STARTED, WM_FILE_PROGRESS, WM_FILE_PROGRESS,
                                            WM_FILE_DONE,  //
                                            WM_FILE_STARTED, WM_FILE_DONE, WM_FILES_RECEIVED}));
    EXPECT_EQ(Count(), 3);
}

TEST_F(FileDownload, PeerClosingHalfwayLeavesThePartialFileAndTheBatchGoesOn) {
    const std::string whole = Pattern(200000, 5);
    FakePeer peer({Serve(whole.substr(0, 100000)), Serve("next")});
    Receive(Entry(0, "half.bin", whole.size()) + Entry(1, "next.txt", 4));

    EXPECT_EQ(ReadFile(Received() / "half.bin"), whole.substr(0, 65536));
    EXPECT_EQ(ReadFile(Received() / "next.txt"), "next");
    EXPECT_EQ(window_.Of(WM_FILE_DONE).size(), 2u);
    EXPECT_EQ(window_.Of(WM_FILE_PROGRESS).front().lparam, 65536);
    EXPECT_EQ(Count(), 2);  // a file whose reading was attempted counts
}

TEST_F(FileDownload, SizesOf4GiBAndMoreKeepAll64Bits) {
    // The peer sends a little and closes; the announced size still travels whole.
    FakePeer peer({Serve("short")});
    Receive("0:huge.bin:100000010:0:1\a");
    const std::vector<Posted> started = window_.Of(WM_FILE_STARTED);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].size, 0x100000010ull);
    EXPECT_EQ(window_.Of(WM_FILE_DONE).at(0).size, 0x100000010ull);
}

TEST_F(FileDownload, AnOlderLongerFileIsReplacedWhole) {
    fs::create_directories(Received());
    WriteFile(Received() / "same.txt", std::string(5000, 'o'));
    FakePeer peer({Serve("new")});
    Receive(Entry(0, "same.txt", 3));
    EXPECT_EQ(ReadFile(Received() / "same.txt"), "new");
}

TEST_F(FileDownload, NoPeerListeningGivesNoMessageForTheEntry) {
    Receive(Entry(0, "a.txt", 5) + Entry(1, "b.txt", 5));
    EXPECT_EQ(Ids(), (std::vector<unsigned>{WM_FILES_RECEIVED}));
    EXPECT_EQ(Count(), 0);
    EXPECT_FALSE(fs::exists(Received() / "a.txt"));
}

TEST_F(FileDownload, AListWithoutUsableEntriesPostsNothing) {
    FakePeer peer({Serve("x")});
    {
        CDownloadManager manager(window_, engine_, settings_);
        manager.OnAttachments(OfferPacket("0:a:1\a"));
        manager.OnAttachments(OfferPacket(""));
    }  // joins both batches
    EXPECT_TRUE(window_.Messages().empty());
    EXPECT_EQ(peer.Connections(), 0u);
}

TEST_F(FileDownload, APeerSilentTooLongEndsItsEntryOnly) {
    const std::string whole = Pattern(100000, 6);
    FakePeer peer({ServeThenStall(whole.substr(0, 70000)), Serve("next")});
    Receive(Entry(0, "stalled.bin", whole.size()) + Entry(1, "next.txt", 4), QuickLimits());

    EXPECT_EQ(ReadFile(Received() / "stalled.bin"), whole.substr(0, 65536));
    EXPECT_EQ(ReadFile(Received() / "next.txt"), "next");
    EXPECT_EQ(window_.Of(WM_FILE_DONE).size(), 2u);
    EXPECT_EQ(Count(), 2);
}

TEST_F(FileDownload, APeerThatNeverAcceptsIsGivenUpAfterTheConnectLimit) {
    // A listener whose queue is full drops further connection attempts unanswered.
    platform::Socket full = platform::Socket::Tcp();
    full.SetIntOption(SOL_SOCKET, SO_REUSEADDR, 1);
    ASSERT_TRUE(full.Bind(platform::MakeEndpoint(platform::InetAddr(kPeerAddress), MSG_PORT)));
    ASSERT_TRUE(full.Listen(0));
    std::vector<platform::Socket> queued;
    for (int i = 0; i < 2; ++i) {
        queued.push_back(platform::Socket::Tcp());
        queued.back().Connect(platform::MakeEndpoint(platform::InetAddr(kPeerAddress), MSG_PORT),
                              200);
    }
    Receive(Entry(0, "a.txt", 5), QuickLimits());
    EXPECT_EQ(Ids(), (std::vector<unsigned>{WM_FILES_RECEIVED}));
}

TEST_F(FileDownload, ALinkAtTheDestinationIsNeverWrittenThrough) {
    const fs::path sentinel = temp_.path() / "sentinel";
    WriteFile(sentinel, "keep");
    fs::create_directories(Received());
    fs::create_symlink(sentinel, Received() / "a.txt");
    FakePeer peer({Serve("evil"), Serve("fine")});
    Receive(Entry(0, "a.txt", 4) + Entry(1, "b.txt", 4));

    EXPECT_EQ(ReadFile(sentinel), "keep");
    EXPECT_TRUE(fs::is_symlink(Received() / "a.txt"));
    EXPECT_EQ(ReadFile(Received() / "b.txt"), "fine");
    EXPECT_EQ(window_.Of(WM_FILE_STARTED).size(), 1u);
    EXPECT_EQ(Count(), 1);
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
    for (const char* stored :
         {".._x", "a_.._.._x", "_etc_passwd", "_.._x", ".._.._x", "..__..__x"}) {
        EXPECT_EQ(ReadFile(Received() / stored), "evil") << stored;
    }
    std::size_t stored_count = 0;
    for ([[maybe_unused]] const auto& entry : fs::recursive_directory_iterator(Received())) {
        ++stored_count;
    }
    EXPECT_EQ(stored_count, 6u);  // the 259-byte name is too long for the host's file system
    // "." and ".." were not even requested.
    EXPECT_EQ(peer.Connections(), 7u);
    EXPECT_EQ(Count(), 7);
}

}  // namespace
}  // namespace veltra::testing
