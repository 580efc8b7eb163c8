// The receiving process is killed (kill -9) in the middle of a file that is to replace an older
// one: no file is left under any name but the older one, which keeps its content. Where files
// cannot be made without a name, the hidden temporary the crash leaves is removed at the next
// start, and nothing else.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/staged_file.h"
#include "platform/temporary_record.h"
#include "tests/faults/fault_fixture.h"

namespace veltra::faults {
namespace {

// The receiving side in a process of its own, which says 'r' on ready_fd once it listens and then
// waits to be killed. home is its HOME; unnamed_refused forces the hidden temporaries.
[[noreturn]] void RunReceivingChild(const fs::path& home, bool unnamed_refused, int ready_fd) {
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    platform::RefuseUnnamedFiles(unnamed_refused);
    {
        Settings settings;
        RecordingSink events;
        CMessengerEngine engine(settings, platform::InetAddr(kReceiverAddress));
        DownloadManager downloads(events, engine, settings, QuickLimits(20000));
        CReceiveListener listener(events, engine, &downloads);
        engine.SetListener(&listener);
        (void)!write(ready_fd, "r", 1);
        for (;;) {
            pause();
        }
    }
}

// The size of the file that process pid has open under folder (unnamed or not), or -1.
long long OpenFileSize(pid_t pid, const fs::path& folder) {
    const fs::path descriptors = "/proc/" + std::to_string(pid) + "/fd";
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(descriptors, error)) {
        const fs::path target = fs::read_symlink(entry.path(), error);
        if (!error && target.parent_path() == folder) {
            struct stat st {};
            if (stat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                return st.st_size;
            }
        }
    }
    return -1;
}

class ReceiverCrash : public ::testing::TestWithParam<bool> {};

INSTANTIATE_TEST_SUITE_P(Both, ReceiverCrash, ::testing::Values(false, true),
                         [](const auto& mode) { return mode.param ? "Named" : "Unnamed"; });

TEST_P(ReceiverCrash, AReceiverKilledMidFileLeavesNothingUnderAnyName) {
    testing::TempFolder home;
    const fs::path received = home.path() / "Received";
    fs::create_directories(received);
    std::ofstream(received / "big.iso") << "the old big.iso";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        RunReceivingChild(home.path(), GetParam(), ready[1]);
    }
    close(ready[1]);
    char byte = 0;
    const bool child_ready = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    const auto kill_child = [child] {
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    };
    if (!child_ready) {
        kill_child();
        FAIL() << "the receiving process did not start";
    }

    // Whole chunks: a chunk is written once it is in, or once the connection ends.
    constexpr std::size_t kSent = 5 * 65536;
    MisbehavingPeer peer({[&](const platform::Socket& connection, const std::atomic<bool>& stop) {
        SendBytes(connection, Pattern(kSent, 'i'));
        SleepUnlessStopped(stop, 20s);  // the rest never comes: the process dies first
    }});
    peer.Offer({"0:big.iso:a00000:0:1"});
    // Killed once everything sent so far is in the file.
    const auto deadline = Clock::now() + 10s;
    while (OpenFileSize(child, received) != static_cast<long long>(kSent) &&
           Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    const bool mid_file = OpenFileSize(child, received) == static_cast<long long>(kSent);

    ASSERT_TRUE(kill_child());
    ASSERT_TRUE(mid_file) << "the receiving process never had the file open with what was sent";

    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(received)) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    testing::ScopedHome next_start(home.path().string());
    if (GetParam()) {
        // The crash leaves its hidden temporary, which the next start removes.
        ASSERT_EQ(left.size(), 2u);
        EXPECT_TRUE(platform::IsTemporaryName(left[0])) << left[0];
        EXPECT_EQ(platform::RemoveLeftoverTemporaries(), 1u);
        left.erase(left.begin());
    } else {
        EXPECT_EQ(platform::RemoveLeftoverTemporaries(), 0u);
    }
    EXPECT_EQ(left, std::vector<std::string>{"big.iso"});
    std::vector<std::string> after;
    for (const auto& entry : fs::directory_iterator(received)) {
        after.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(after, std::vector<std::string>{"big.iso"}) << "something is left under a name";
    std::ifstream in(received / "big.iso");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the old big.iso");
}

}  // namespace
}  // namespace veltra::faults
