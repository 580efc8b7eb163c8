// Instance to instance in one process: engine A (127.0.0.1) offers and serves, engine B
// (127.0.0.2) receives the offer through its listener and fetches it with the download manager.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/receive_listener.h"
#include "receiving/download_manager.h"
#include "serving/attachment_offer.h"
#include "serving/transfer_server.h"
#include "tests/platform/temp_folder.h"
#include "tests/support/content.h"
#include "tests/support/recording_sink.h"

namespace veltra::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Files are compared a mebibyte at a time, so that a difference shows where it is.
void ExpectSameFile(const fs::path& expected, const fs::path& actual) {
    ASSERT_TRUE(fs::is_regular_file(actual)) << actual;
    ASSERT_EQ(fs::file_size(actual), fs::file_size(expected)) << actual;
    std::ifstream left(expected, std::ios::binary);
    std::ifstream right(actual, std::ios::binary);
    std::vector<char> a(1 << 20);
    std::vector<char> b(1 << 20);
    for (std::uint64_t offset = 0;; offset += a.size()) {
        left.read(a.data(), static_cast<std::streamsize>(a.size()));
        right.read(b.data(), static_cast<std::streamsize>(b.size()));
        ASSERT_EQ(left.gcount(), right.gcount());
        if (left.gcount() == 0) {
            return;
        }
        ASSERT_TRUE(std::equal(a.begin(), a.begin() + left.gcount(), b.begin()))
            << actual << " differs in the mebibyte at " << offset;
    }
}

// The same relative paths, kinds and contents below both folders.
void ExpectSameTree(const fs::path& expected, const fs::path& actual) {
    std::vector<fs::path> left;
    std::vector<fs::path> right;
    for (const auto& entry : fs::recursive_directory_iterator(expected)) {
        left.push_back(fs::relative(entry.path(), expected));
    }
    for (const auto& entry : fs::recursive_directory_iterator(actual)) {
        right.push_back(fs::relative(entry.path(), actual));
    }
    std::sort(left.begin(), left.end());
    std::sort(right.begin(), right.end());
    ASSERT_EQ(left, right);
    for (const fs::path& relative : left) {
        if (fs::is_directory(expected / relative)) {
            EXPECT_TRUE(fs::is_directory(actual / relative)) << relative;
        } else {
            ExpectSameFile(expected / relative, actual / relative);
        }
    }
}

class EndToEnd : public ::testing::Test {
  protected:
    EndToEnd()
        : home_(temp_.path().string()),
          sender_(settings_, platform::InetAddr("127.0.0.1")),
          server_(sender_, TransferLimits{}, &served_),
          receiver_(settings_, platform::InetAddr("127.0.0.2")),
          manager_(events_, receiver_, settings_),
          listener_(events_, receiver_, &manager_) {
        receiver_.SetListener(&listener_);
        fs::create_directories(Source());
    }
    ~EndToEnd() override {
        receiver_.SetListener(nullptr);
        manager_.Shutdown();
        receiver_.Shutdown();
        // The server's table must outlive the connection threads that the engine joins.
        sender_.Shutdown();
    }

    fs::path Source() const { return temp_.path() / "offered"; }
    fs::path Received() const { return temp_.path() / "Received"; }

    // Offers the paths from A to B and waits for B's batch to end; the batch's file count.
    int Transfer(const std::vector<fs::path>& paths) {
        std::vector<platform::Path> offered;
        for (const fs::path& path : paths) {
            offered.push_back(testing::PathOf(path));
        }
        const std::size_t batches = events_.Of<FilesReceived>().size();
        SendWithAttachments(sender_, server_.Offers(), platform::InetAddr("127.0.0.2"), offered);
        EXPECT_TRUE(events_.WaitFor<FilesReceived>(batches + 1, 60s));
        const std::vector<FilesReceived> ended = events_.Of<FilesReceived>();
        return ended.empty() ? -1 : ended.back().count;
    }

    TempFolder temp_;
    ScopedHome home_;
    Settings settings_;
    RecordingSink events_;
    RecordingSink served_;  // what the sending side tells of its entries
    CMessengerEngine sender_;
    TransferServer server_;
    CMessengerEngine receiver_;
    DownloadManager manager_;
    CReceiveListener listener_;
};

TEST_F(EndToEnd, OneFile) {
    WriteFile(Source() / "one.txt", Pattern(1000, 1));
    EXPECT_EQ(Transfer({Source() / "one.txt"}), 1);
    ExpectSameFile(Source() / "one.txt", Received() / "one.txt");
    EXPECT_EQ(server_.Offers().Size(), 0u);  // each entry is served once
}

TEST_F(EndToEnd, SeveralFilesAndAnEmptyOne) {
    WriteFile(Source() / "a.bin", Pattern(65536, 2));
    WriteFile(Source() / "b.bin", Pattern(65537, 3));
    WriteFile(Source() / "empty", "");
    WriteFile(Source() / "c.txt", "c");
    EXPECT_EQ(
        Transfer({Source() / "a.bin", Source() / "b.bin", Source() / "empty", Source() / "c.txt"}),
        4);
    for (const char* name : {"a.bin", "b.bin", "empty", "c.txt"}) {
        ExpectSameFile(Source() / name, Received() / name);
    }
    EXPECT_EQ(events_.Of<FileProgress>().size(), 1u + 2u + 0u + 1u);
}

TEST_F(EndToEnd, AHundredMebibyteFile) {
    constexpr std::uint64_t kSize = 100ull << 20;
    const fs::path big = Source() / "big.bin";
    {
        // Mostly a hole, with patterned stretches across chunk boundaries and at the end, so that
        // a lost, doubled or shifted chunk shows.
        std::ofstream out(big, std::ios::binary);
        for (const std::uint64_t offset :
             std::vector<std::uint64_t>{0, 65536 * 7 - 100, 50 << 20, kSize - 4096}) {
            out.seekp(static_cast<std::streamoff>(offset));
            const std::string bytes = Pattern(4096, static_cast<unsigned>(offset));
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
    }
    ASSERT_EQ(fs::file_size(big), kSize);
    EXPECT_EQ(Transfer({big}), 1);
    ExpectSameFile(big, Received() / "big.bin");
    const std::vector<FileProgress> progress = events_.Of<FileProgress>();
    EXPECT_EQ(progress.size(), kSize / 65536);
    EXPECT_EQ(progress.back().received, kSize);
}

TEST_F(EndToEnd, ACancelledBatchIsASendFailureForTheEntryCutOff) {
    const fs::path big = Source() / "big.bin";
    {
        std::ofstream out(big, std::ios::binary);
        out.seekp((100 << 20) - 1);  // a hole: far more than the connection holds in flight
        out.put('x');
    }
    WriteFile(Source() / "c.txt", "c");
    events_.SetOnPost([this](const Event& event) {
        if (std::holds_alternative<FileProgress>(event)) {
            manager_.CancelBatch();
        }
    });
    EXPECT_EQ(Transfer({big, Source() / "c.txt"}), 0);
    EXPECT_EQ(events_.Of<FilesReceived>().back().failed, 2);
    // The server hears of the cut only when its next send fails, which under a sanitizer on a
    // loaded machine took longer than the usual wait.
    ASSERT_TRUE(served_.WaitFor<OfferServed>(1, std::chrono::seconds(30)));
    const OfferServed served = served_.Of<OfferServed>().front();
    EXPECT_EQ(served.name, "big.bin");
    EXPECT_FALSE(served.whole);
    EXPECT_EQ(server_.Offers().Size(), 1u) << "c.txt was asked for";
    EXPECT_TRUE(fs::is_empty(Received()));
}

TEST_F(EndToEnd, ANestedDirectoryTree) {
    const fs::path tree = Source() / "tree";
    fs::create_directories(tree / "sub1" / "sub2" / "empty");
    fs::create_directories(tree / "other");
    WriteFile(tree / "a.txt", "top");
    WriteFile(tree / "zero", "");
    WriteFile(tree / "sub1" / "b.bin", Pattern(150000, 4));
    WriteFile(tree / "sub1" / "sub2" / "c.txt", Pattern(77, 5));
    WriteFile(tree / "other" / "d.txt", "d");
    WriteFile(Source() / "beside.txt", "beside");

    EXPECT_EQ(Transfer({tree, Source() / "beside.txt"}), 5 + 1);
    ExpectSameTree(tree, Received() / "tree");
    ExpectSameFile(Source() / "beside.txt", Received() / "beside.txt");
}

TEST_F(EndToEnd, TwoOffersInARow) {
    WriteFile(Source() / "first.txt", "first");
    WriteFile(Source() / "second.txt", "second");
    EXPECT_EQ(Transfer({Source() / "first.txt"}), 1);
    EXPECT_EQ(Transfer({Source() / "second.txt"}), 1);
    ExpectSameFile(Source() / "first.txt", Received() / "first.txt");
    ExpectSameFile(Source() / "second.txt", Received() / "second.txt");
}

}  // namespace
}  // namespace veltra::testing
