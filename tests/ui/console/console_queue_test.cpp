#include "ui/console/console_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/recording_sink.h"

namespace veltra {
namespace {

using namespace std::chrono_literals;

Event Message(int number, std::size_t length = 1) {
    return MessageReceived{"u", "h", 0, std::to_string(number) + std::string(length - 1, 'x')};
}

// Every queued event in order: its kind ("peers", "notice", ...), a message with the number it
// carries ("message:2"), progress with its bytes ("progress:1"), a served offer with its file id
// ("served:3"), or "input".
std::vector<std::string> Drain(ConsoleQueue& queue) {
    std::vector<std::string> events;
    for (const ConsoleEvent& item : queue.TakeAllWithin(0ms)) {
        const auto* event = std::get_if<Event>(&item);
        if (event == nullptr) {
            events.emplace_back("input");
        } else if (const auto* message = std::get_if<MessageReceived>(event)) {
            events.push_back("message:" + std::to_string(std::stoi(message->text)));
        } else if (const auto* progress = std::get_if<FileProgress>(event)) {
            events.push_back("progress:" + std::to_string(progress->received));
        } else if (const auto* served = std::get_if<OfferServed>(event)) {
            events.push_back("served:" + std::to_string(served->file_id));
        } else {
            events.push_back(testing::KindOf(*event));
        }
    }
    return events;
}

TEST(ConsoleQueue, BeyondTheBoundProgressGoesFirstThenTheOldestAndTheConsoleSaysSoOnce) {
    ConsoleQueue queue(4);
    queue.Post(PeersChanged{});
    queue.Post(FileProgress{1});  // the file before's
    queue.PostInput(ConsoleInput{{}, false});
    queue.Post(FileStarted{"f", 3});
    queue.Post(FileProgress{2});
    queue.Post(Message(1));  // drops progress 1
    queue.Post(Message(2));  // drops progress 2
    queue.Post(Message(3));  // drops the oldest that may go: message 1
    queue.PostInput(ConsoleInput{{}, true});
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"notice", "peers", "input", "started",
                                                      "message:2", "message:3", "input"}));

    // Once caught up, a new overflow is told again.
    for (int i = 0; i < 6; ++i) {
        queue.Post(Message(i));
    }
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"notice", "message:2", "message:3",
                                                      "message:4", "message:5"}));
}

// The end of input waits for each served offer's report: none may be dropped, whatever else is.
TEST(ConsoleQueue, ReportsOfServedOffersAreNeverDropped) {
    ConsoleQueue queue(2);
    queue.Post(OfferServed{1, 0, "a", false, true});
    queue.Post(OfferServed{2, 0, "b", false, true});
    queue.Post(Message(1));
    queue.Post(OfferServed{3, 0, "c", true, false});
    queue.Post(Message(2));  // drops message 1, the only one that may go
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"notice", "served:1", "served:2", "served:3",
                                                      "message:2"}));
}

// A file's progress that piles up collapses into the latest count, in the place of the first; it
// takes no room of its own, so nothing is dropped for it.
TEST(ConsoleQueue, AFilesWaitingProgressTakesTheLatestCount) {
    ConsoleQueue queue(2);
    queue.Post(FileStarted{"f", 100});
    queue.Post(FileProgress{1});
    queue.PostInput(ConsoleInput{{}, false});
    for (int received = 2; received <= 100; ++received) {
        queue.Post(FileProgress{static_cast<std::uint64_t>(received)});
    }
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"started", "progress:100", "input"}));
}

// A received file's lines are never dropped: the download waits for room until the console takes
// the queue, or until it closes (then it goes on, and the line is kept beyond the bound).
TEST(ConsoleQueue, AReceivedFilesLinesWaitForRoomUntilTheQueueCloses) {
    ConsoleQueue queue(2);
    const auto wait_for_waiting_post = [&queue] {
        const auto give_up = std::chrono::steady_clock::now() + 10s;  // a hang guard only
        while (queue.PostsWaitingForRoom() == 0 && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::yield();
        }
        return queue.PostsWaitingForRoom() == 1;
    };
    queue.Post(BatchStarted{"u", 1});
    queue.Post(FileStarted{"f", 3});
    std::thread worker([&queue] {
        queue.Post(FileProgress{3});
        queue.Post(FileDone{"f", 3, 3, FileOutcome::kStored});
    });
    ASSERT_TRUE(wait_for_waiting_post());
    queue.Post(Message(1));  // other events never wait
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"batch", "started", "message:1"}));
    worker.join();
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"progress:3", "done"}));

    queue.Post(FileStarted{"g", 1});
    queue.Post(FileDone{"g", 1, 1, FileOutcome::kStored});
    std::thread late([&queue] { queue.Post(FileStarted{"h", 1}); });
    ASSERT_TRUE(wait_for_waiting_post());
    queue.Close();
    late.join();
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"started", "done", "started"}));
}

TEST(ConsoleQueue, UnreadLongMessagesStayWithinTheBound) {
    ConsoleQueue queue;
    for (int i = 0; i < 20000; ++i) {
        queue.Post(Message(i, 16000));
    }
    const std::vector<std::string> events = Drain(queue);
    ASSERT_EQ(events.size(), kConsoleMessageLimit + 1);
    EXPECT_EQ(events[0], "notice");
    EXPECT_EQ(events[1], "message:" + std::to_string(20000 - kConsoleMessageLimit));
}

}  // namespace
}  // namespace veltra
