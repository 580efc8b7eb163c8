#include "platform/control_socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "tests/platform/temp_folder.h"

namespace veltra::platform {
namespace {

using namespace std::chrono_literals;
using testing::ScopedVariable;
using testing::TempFolder;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// A socket file with nobody listening: what a crashed instance leaves.
void LeaveStaleSocket(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(fd, 1), 0);
    close(fd);
}

TEST(ControlFolderTest, MadeInTheRuntimeFolderForTheUserAlone) {
    TempFolder runtime;
    ScopedVariable variable("XDG_RUNTIME_DIR", runtime.path().string() + "/");
    const std::string folder = ControlFolder();
    EXPECT_EQ(folder, runtime.path().string() + "/veltra");
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_EQ(ControlFolder(), folder) << "found again as it was made";
}

TEST(ControlFolderTest, WithoutARuntimeFolderOneOfTheUsersOwnUnderTmp) {
    ScopedVariable variable("XDG_RUNTIME_DIR", std::nullopt);
    const std::string folder = ControlFolder();
    EXPECT_EQ(folder, "/tmp/veltra-" + std::to_string(geteuid()));
    EXPECT_EQ(ModeOf(folder), 0700u);
}

TEST(ControlFolderTest, AFolderOthersMayEnterIsRefused) {
    TempFolder base;
    const std::string folder = base.path().string() + "/open";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    EXPECT_THROW(MakePrivateFolder(folder), std::system_error);
}

TEST(ControlFolderTest, ALinkInItsPlaceIsRefused) {
    TempFolder base;
    const std::string target = base.path().string() + "/elsewhere";
    const std::string folder = base.path().string() + "/link";
    ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
    ASSERT_EQ(symlink(target.c_str(), folder.c_str()), 0);
    EXPECT_THROW(MakePrivateFolder(folder), std::system_error);
}

TEST(InstanceLockTest, HeldByOneAtATime) {
    TempFolder folder;
    const std::string path = InstanceLockPath(folder.path().string());
    std::optional<InstanceLock> first = InstanceLock::TryTake(path);
    ASSERT_TRUE(first);
    EXPECT_FALSE(InstanceLock::TryTake(path)) << "a second instance while the first runs";
    first.reset();
    EXPECT_TRUE(InstanceLock::TryTake(path)) << "free again once the first has ended";
}

TEST(ControlListenerTest, AStaleSocketIsNotReachedAndIsReplaced) {
    TempFolder folder;
    const std::string path = ControlSocketPath(folder.path().string());
    LeaveStaleSocket(path);
    EXPECT_FALSE(ConnectControl(path)) << "nobody listens on a crashed instance's socket";

    ControlListener listener(path);
    EXPECT_EQ(ModeOf(path) & 0777, 0600u);
    std::optional<ControlConnection> client = ConnectControl(path);
    ASSERT_TRUE(client);
    std::optional<ControlConnection> server = listener.Accept();
    ASSERT_TRUE(server);
    EXPECT_EQ(server->PeerUser(), geteuid());

    ASSERT_TRUE(client->WriteLine("{\"command\":\"list\"}"));
    EXPECT_EQ(server->ReadLine(1024, 5s), "{\"command\":\"list\"}");
    ASSERT_TRUE(server->WriteLine("one"));
    ASSERT_TRUE(server->WriteLine("two"));
    EXPECT_EQ(client->ReadLine(1024, 5s), "one");
    EXPECT_EQ(client->ReadLine(1024, 5s), "two");
    ASSERT_TRUE(server->WriteLine("three"));
    // What has come is taken even with no time to wait (a front end polls so between events).
    std::optional<std::string> third;
    for (int tries = 0; tries < 100000 && !third; ++tries) {
        third = client->ReadLine(1024, 0ms);
    }
    EXPECT_EQ(third, "three");
    server->Shutdown();
    EXPECT_FALSE(client->ReadLine(1024, 5s)) << "the end of the stream";
}

TEST(ControlListenerTest, ALineBeyondTheLimitIsRefused) {
    TempFolder folder;
    const std::string path = ControlSocketPath(folder.path().string());
    ControlListener listener(path);
    std::optional<ControlConnection> client = ConnectControl(path);
    ASSERT_TRUE(client);
    std::optional<ControlConnection> server = listener.Accept();
    ASSERT_TRUE(server);
    ASSERT_TRUE(client->WriteLine(std::string(5000, 'x')));
    EXPECT_FALSE(server->ReadLine(100, 5s));
}

TEST(ControlListenerTest, TheSocketGoesWithTheListenerAndAnAcceptEndsWhenInterrupted) {
    TempFolder folder;
    const std::string path = ControlSocketPath(folder.path().string());
    {
        ControlListener listener(path);
        std::thread interrupt([&listener] { listener.Interrupt(); });
        EXPECT_FALSE(listener.Accept());
        interrupt.join();
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace veltra::platform
