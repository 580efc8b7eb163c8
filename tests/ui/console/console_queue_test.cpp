#include "ui/console/console_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/window_messages.h"

namespace veltra {
namespace {

using namespace std::chrono_literals;

platform::WindowMessage Message(unsigned id, std::int64_t wparam = 0) {
    return platform::WindowMessage{id, wparam, 0, nullptr};
}

// Every queued event in order: the message id and wparam ("1127:2"), "notice" or "input".
std::vector<std::string> Drain(ConsoleQueue& queue) {
    std::vector<std::string> events;
    while (auto event = queue.TakeWithin(0ms)) {
        if (const auto* message = std::get_if<platform::WindowMessage>(&*event)) {
            events.push_back(message->id == WM_LOG_NOTICE
                                 ? "notice"
                                 : std::to_string(message->id - WM_PEERS_CHANGED) + ":" +
                                       std::to_string(message->wparam));
        } else {
            events.emplace_back("input");
        }
    }
    return events;
}

// Ids relative to WM_PEERS_CHANGED: 0 peers, 1 message, 2 files received, 3 started, 4
// progress, 5 done, 7 offer served.
TEST(ConsoleQueue, BeyondTheBoundProgressGoesFirstThenTheOldestAndTheConsoleSaysSoOnce) {
    ConsoleQueue queue(4);
    queue.PostMessage(Message(WM_PEERS_CHANGED));
    queue.PostMessage(Message(WM_FILE_STARTED));
    queue.PostMessage(Message(WM_FILE_PROGRESS, 1));
    queue.PostInput(ConsoleInput{{}, false});
    queue.PostMessage(Message(WM_FILE_PROGRESS, 2));
    queue.PostMessage(Message(WM_FILE_DONE));            // drops progress 1
    queue.PostMessage(Message(WM_MESSAGE_RECEIVED, 1));  // drops progress 2
    queue.PostMessage(Message(WM_MESSAGE_RECEIVED, 2));  // drops the oldest but the peer notice
    queue.PostMessage(Message(WM_FILE_PROGRESS, 3));     // none older: this one goes
    queue.PostInput(ConsoleInput{{}, true});
    EXPECT_EQ(Drain(queue),
              (std::vector<std::string>{"notice", "0:0", "input", "5:0", "1:1", "1:2", "input"}));

    // Once caught up, a new overflow is told again.
    for (int i = 0; i < 6; ++i) {
        queue.PostMessage(Message(WM_MESSAGE_RECEIVED, i));
    }
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"notice", "1:2", "1:3", "1:4", "1:5"}));
}

// The end of input waits for each served offer's report: none may be dropped, whatever else is.
TEST(ConsoleQueue, ReportsOfServedOffersAreNeverDropped) {
    ConsoleQueue queue(2);
    queue.PostMessage(Message(WM_OFFER_SERVED, 1));
    queue.PostMessage(Message(WM_OFFER_SERVED, 2));
    queue.PostMessage(Message(WM_MESSAGE_RECEIVED, 1));
    queue.PostMessage(Message(WM_OFFER_SERVED, 3));
    queue.PostMessage(Message(WM_FILE_PROGRESS, 1));
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"notice", "7:1", "7:2", "7:3"}));
}

TEST(ConsoleQueue, UnreadLongMessagesStayWithinTheBound) {
    ConsoleQueue queue;
    for (int i = 0; i < 20000; ++i) {
        auto payload = std::make_unique<MessageReceivedPayload>();
        payload->text.assign(16000, 'x');
        queue.PostMessage(platform::WindowMessage{WM_MESSAGE_RECEIVED, i, 0, std::move(payload)});
    }
    const std::vector<std::string> events = Drain(queue);
    ASSERT_EQ(events.size(), kConsoleMessageLimit + 1);
    EXPECT_EQ(events[0], "notice");
    EXPECT_EQ(events[1], "1:" + std::to_string(20000 - kConsoleMessageLimit));
}

}  // namespace
}  // namespace veltra
