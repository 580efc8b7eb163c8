#include "ui/control/control_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "tests/platform/temp_folder.h"

namespace veltra {
namespace {

using namespace std::chrono_literals;

// The calls a server handed over, as a front end's queue would take them.
class TakenCalls {
  public:
    ControlCallHandler Handler() {
        return [this](std::shared_ptr<ControlCall> call) {
            std::lock_guard lock(mutex_);
            calls_.push_back(std::move(call));
            arrived_.notify_all();
        };
    }
    std::shared_ptr<ControlCall> Wait() {
        std::unique_lock lock(mutex_);
        arrived_.wait(lock, [this] { return !calls_.empty(); });
        std::shared_ptr<ControlCall> call = calls_.front();
        calls_.erase(calls_.begin());
        return call;
    }
    std::size_t Count() {
        std::lock_guard lock(mutex_);
        return calls_.size();
    }

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::shared_ptr<ControlCall>> calls_;
};

class ControlServerTest : public ::testing::Test {
  protected:
    std::string Folder() const { return folder_.path().string(); }
    std::string SocketPath() const { return platform::ControlSocketPath(Folder()); }

    // Sends line and returns the first line of the answer.
    std::string Ask(const std::string& line) {
        std::optional<platform::ControlConnection> client = platform::ConnectControl(SocketPath());
        EXPECT_TRUE(client);
        if (!client) {
            return {};
        }
        EXPECT_TRUE(client->WriteLine(line));
        return client->ReadLine(1 << 16, 10s).value_or("(nothing)");
    }

    testing::TempFolder folder_;
    TakenCalls taken_;
};

TEST_F(ControlServerTest, WhatIsNotARequestGetsAnErrorReplyAndReachesNoFrontEnd) {
    const std::unique_ptr<ControlServer> server = ControlServer::Start(taken_.Handler(), Folder());
    ASSERT_TRUE(server);
    EXPECT_EQ(Ask("hello"), R"({"event":"done","status":2,"error":"not JSON"})");
    EXPECT_EQ(Ask(R"({"command":"reboot"})"),
              R"({"event":"done","status":2,"error":"unknown command: reboot"})");
    EXPECT_EQ(Ask(std::string("{\"command\":\"list\"\0}", 19)),
              R"({"event":"done","status":2,"error":"not JSON"})");
    EXPECT_EQ(taken_.Count(), 0u);
    // And the server goes on taking requests after them.
    std::optional<platform::ControlConnection> client = platform::ConnectControl(SocketPath());
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->WriteLine(R"({"command":"list"})"));
    const std::shared_ptr<ControlCall> call = taken_.Wait();
    EXPECT_EQ(call->Request().command, ControlCommand::kList);
    EXPECT_TRUE(call->Reply(DoneReply(0)));
    EXPECT_EQ(client->ReadLine(1 << 16, 10s), R"({"event":"done","status":0})");
}

TEST_F(ControlServerTest, OneInstanceAtATimeAndTheNextTakesOver) {
    std::unique_ptr<ControlServer> first = ControlServer::Start(taken_.Handler(), Folder());
    ASSERT_TRUE(first);
    EXPECT_FALSE(ControlServer::Start(taken_.Handler(), Folder()));
    first.reset();
    EXPECT_FALSE(platform::ConnectControl(SocketPath())) << "the socket went with its instance";
    const std::unique_ptr<ControlServer> second = ControlServer::Start(taken_.Handler(), Folder());
    ASSERT_TRUE(second);
    EXPECT_EQ(Ask("x"), R"({"event":"done","status":2,"error":"not JSON"})");
}

TEST_F(ControlServerTest, ACrashedInstancesSocketIsReplaced) {
    // What a killed instance leaves: the socket file, nobody listening, the lock free.
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, SocketPath().c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    close(fd);
    EXPECT_FALSE(platform::ConnectControl(SocketPath()));

    const std::unique_ptr<ControlServer> server = ControlServer::Start(taken_.Handler(), Folder());
    ASSERT_TRUE(server);
    EXPECT_EQ(Ask("{"), R"({"event":"done","status":2,"error":"not JSON"})");
}

TEST_F(ControlServerTest, AnAskerThatLeftIsNoticedOnTheNextReply) {
    const std::unique_ptr<ControlServer> server = ControlServer::Start(taken_.Handler(), Folder());
    ASSERT_TRUE(server);
    {
        std::optional<platform::ControlConnection> client = platform::ConnectControl(SocketPath());
        ASSERT_TRUE(client);
        ASSERT_TRUE(client->WriteLine(R"({"command":"show"})"));
    }
    const std::shared_ptr<ControlCall> call = taken_.Wait();
    // The first write may still land in the socket's buffer; the one after it cannot.
    call->Reply(DoneReply(0));
    EXPECT_FALSE(call->Reply(DoneReply(0)));
    EXPECT_TRUE(call->AskerGone());
}

}  // namespace
}  // namespace veltra
