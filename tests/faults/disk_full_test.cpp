// The receiving disk is full: the received folder is a 256 KiB tmpfs, mounted in a mount
// namespace of this test's own, so nothing of it shows outside the test.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <fstream>
#include <string>

#include "platform/staged_file.h"
#include "tests/faults/fault_fixture.h"

namespace veltra::faults {
namespace {

// Each case runs twice: with files that have no name until they are whole, and as on a file
// system that refuses those (a hidden temporary name instead).
class DiskFull : public ::testing::TestWithParam<bool> {
  protected:
    // Before any thread exists: a process with threads cannot take a mount namespace of its own.
    static void SetUpTestSuite() {
        ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "no mount namespace of our own";
        ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    }
    DiskFull() { platform::RefuseUnnamedFiles(GetParam()); }
    ~DiskFull() override { platform::RefuseUnnamedFiles(false); }
};

INSTANTIATE_TEST_SUITE_P(Both, DiskFull, ::testing::Values(false, true),
                         [](const auto& mode) { return mode.param ? "Named" : "Unnamed"; });

// Unmounts on the way out, before the receiver's folder is removed.
class SmallDisk {
  public:
    explicit SmallDisk(fs::path at) : at_(std::move(at)) {
        fs::create_directories(at_);
        mounted_ = mount("tmpfs", at_.c_str(), "tmpfs", 0, "size=256k") == 0;
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    ~SmallDisk() {
        if (mounted_) {
            umount2(at_.c_str(), MNT_DETACH);
        }
    }
    bool Mounted() const { return mounted_; }
    std::uint64_t FreeBytes() const {
        struct statvfs disk {};
        return statvfs(at_.c_str(), &disk) == 0
                   ? static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize
                   : 0;
    }

  private:
    fs::path at_;
    bool mounted_ = false;
};

// Sends bytes and closes, as the transfer server does.
Behaviour Sends(const std::string& bytes) {
    return [&bytes](const platform::Socket& connection, const std::atomic<bool>&) {
        SendBytes(connection, bytes);
    };
}

TEST_P(DiskFull, AFileThatDoesNotFitLeavesNothingAndItsRoomGoesToTheNextFile) {
    const std::string big = Pattern(1 << 20, 'b');
    const std::string keep = Pattern(1 << 20, 'k');
    const std::string small = Pattern(10000, 's');
    const std::string later = Pattern(20000, 'l');
    MisbehavingPeer peer({Sends(big), Sends(keep), Sends(small), Sends(later)});
    Receiver receiver(QuickLimits(5000));
    SmallDisk disk(receiver.Received());
    ASSERT_TRUE(disk.Mounted());
    std::ofstream(receiver.Received() / "keep.bin") << "the old keep.bin";
    std::ofstream(receiver.Received() / "small.bin") << "the old small.bin";
    const std::uint64_t free_before = disk.FreeBytes();

    peer.Offer({"0:big.bin:100000:0:1", "1:keep.bin:100000:0:1", "2:small.bin:2710:0:1"});
    ASSERT_TRUE(receiver.Events().WaitFor<FilesReceived>(1, 10s))
        << "the batch did not end on a full disk";
    const auto done = receiver.Events().Of<FileDone>();
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[0].outcome, FileOutcome::kDiskFull);
    EXPECT_EQ(done[1].outcome, FileOutcome::kDiskFull);
    EXPECT_EQ(done[2].outcome, FileOutcome::kStored)
        << "the room of a file that did not fit was not given back for the next one";
    EXPECT_EQ(receiver.Events().Of<FilesReceived>()[0].count, 1);
    EXPECT_EQ(receiver.Names(), (std::vector<std::string>{"keep.bin", "small.bin"}))
        << "a file that did not fit left something behind";
    EXPECT_EQ(receiver.Read("keep.bin"), "the old keep.bin")
        << "a failed replacement destroyed the file it was to replace";
    EXPECT_EQ(receiver.Read("small.bin"), small) << "a file that fits replaces the older one";
    EXPECT_EQ(peer.Connections(), 3u) << "every entry was still fetched, in step";
    EXPECT_LE(free_before - disk.FreeBytes(), 16384u)
        << "only the new small.bin may take room beyond what the old files took";

    peer.Offer({"3:later.bin:4e20:0:1"});
    ASSERT_TRUE(receiver.Events().WaitFor<FilesReceived>(2, 10s))
        << "the program did not keep running after the disk was full";
    EXPECT_EQ(receiver.Read("later.bin"), later);
}

TEST_P(DiskFull, ADiskFullInTheLastChunkShowsWhatWasWrittenNeverTheWhole) {
    Receiver receiver(QuickLimits(5000));
    SmallDisk disk(receiver.Received());
    ASSERT_TRUE(disk.Mounted());
    // An older file of an odd size, so that the room left ends inside a chunk.
    std::ofstream(receiver.Received() / "older.bin") << Pattern(10000, 'o');
    const std::uint64_t free = disk.FreeBytes();
    ASSERT_NE(free % 65536, 0u);
    const std::uint64_t last_chunk = free / 65536 * 65536;
    const std::string content = Pattern(last_chunk + 65536, 'c');
    MisbehavingPeer peer({Sends(content)});

    char size[32];
    std::snprintf(size, sizeof size, "%zx", content.size());
    peer.Offer({std::string("0:full.bin:") + size + ":0:1"});
    ASSERT_TRUE(receiver.Events().WaitFor<FilesReceived>(1, 10s));
    const auto done = receiver.Events().Of<FileDone>();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].outcome, FileOutcome::kDiskFull);
    EXPECT_EQ(done[0].received, content.size()) << "the content was read to its end, in step";
    const auto progress = receiver.Events().Of<FileProgress>();
    ASSERT_FALSE(progress.empty());
    for (const FileProgress& step : progress) {
        EXPECT_LT(step.received, content.size()) << "a file that was not stored showed 100 %";
    }
    EXPECT_GT(progress.back().received, last_chunk)
        << "the last progress is to show what of the last chunk was written";
    EXPECT_EQ(receiver.Names(), std::vector<std::string>{"older.bin"});
    EXPECT_EQ(disk.FreeBytes(), free) << "the room of the failed file was not given back";
}

}  // namespace
}  // namespace veltra::faults
