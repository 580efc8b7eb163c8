// The receiving disk is full: the received folder is a 256 KiB tmpfs, mounted in a mount
// namespace of this test's own, so nothing of it shows outside the test.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <fstream>
#include <string>

#include "tests/faults/fault_fixture.h"

namespace veltra::faults {
namespace {

class DiskFull : public ::testing::Test {
  protected:
    // Before any thread exists: a process with threads cannot take a mount namespace of its own.
    static void SetUpTestSuite() {
        ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "no mount namespace of our own";
        ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    }
};

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

  private:
    fs::path at_;
    bool mounted_ = false;
};

TEST_F(DiskFull, AFileThatDoesNotFitFailsAndTheFileItWasToReplaceSurvives) {
    const std::string big = Pattern(1 << 20, 'b');
    const std::string small = Pattern(10000, 's');
    const std::string later = Pattern(20000, 'l');
    MisbehavingPeer peer({
        [&](const platform::Socket& connection, const std::atomic<bool>&) {
            SendBytes(connection, big);
        },
        [&](const platform::Socket& connection, const std::atomic<bool>&) {
            SendBytes(connection, small);
        },
        [&](const platform::Socket& connection, const std::atomic<bool>&) {
            SendBytes(connection, later);
        },
    });
    Receiver receiver(QuickLimits(5000));
    SmallDisk disk(receiver.Received());
    ASSERT_TRUE(disk.Mounted());
    std::ofstream(receiver.Received() / "small.bin") << "the old small.bin";

    peer.Offer({"0:big.bin:100000:0:1", "1:small.bin:2710:0:1"});
    ASSERT_TRUE(receiver.Events().WaitFor<FilesReceived>(1, 10s))
        << "the batch did not end on a full disk";
    EXPECT_EQ(receiver.Events().Of<FilesReceived>()[0].count, 0) << "a file that failed counted";
    const auto done = receiver.Events().Of<FileDone>();
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].outcome, FileOutcome::kDiskFull);
    EXPECT_EQ(done[1].outcome, FileOutcome::kDiskFull);
    EXPECT_FALSE(fs::exists(receiver.Received() / "big.bin")) << "a partial file kept its name";
    const auto big_size = fs::file_size(receiver.Received() / "big.bin.part");
    EXPECT_LT(big_size, big.size()) << "a 1 MiB file cannot fit a 256 KiB disk";
    EXPECT_EQ(receiver.Read("big.bin.part"), big.substr(0, big_size));
    EXPECT_EQ(receiver.Read("small.bin"), "the old small.bin")
        << "a failed replacement destroyed the file it was to replace";
    EXPECT_EQ(peer.Connections(), 2u) << "the second entry was still fetched, in step";

    // The user makes room; the next offer's file arrives whole.
    fs::remove(receiver.Received() / "big.bin.part");
    peer.Offer({"2:later.bin:4e20:0:1"});
    ASSERT_TRUE(receiver.Events().WaitFor<FilesReceived>(2, 10s))
        << "the program did not keep running after the disk was full";
    EXPECT_EQ(receiver.Read("later.bin"), later)
        << "after a full disk the program kept running and, once there was room, the next "
           "file arrived whole";
    EXPECT_EQ(receiver.Events().Of<FilesReceived>()[1].count, 1);
}

}  // namespace
}  // namespace veltra::faults
