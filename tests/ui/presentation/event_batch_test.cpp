#include "ui/presentation/event_batch.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "tests/support/recording_sink.h"

namespace veltra {
namespace {

// Each event's kind, progress with its bytes ("progress:3"), a front end's own item as "input".
template <typename Item>
std::vector<std::string> Kinds(const std::vector<Item>& items) {
    std::vector<std::string> kinds;
    for (const Item& item : items) {
        const Event* event = EventBatch<Item>::AsEvent(item);
        if (event == nullptr) {
            kinds.emplace_back("input");
        } else if (const auto* progress = std::get_if<FileProgress>(event)) {
            kinds.push_back("progress:" + std::to_string(progress->received));
        } else {
            kinds.push_back(testing::KindOf(*event));
        }
    }
    return kinds;
}

FileDone Done() {
    return FileDone{"f", 9, 9, FileOutcome::kStored};
}

TEST(EventBatch, AFilesWaitingProgressTakesTheLatestCountInItsPlace) {
    EventBatch<Event> batch;
    batch.Add(FileStarted{"f", 9});
    EXPECT_TRUE(batch.Add(FileProgress{1}));
    batch.Add(LogNotice{L"n"});
    EXPECT_FALSE(batch.Add(FileProgress{2}));
    EXPECT_FALSE(batch.Add(FileProgress{3}));
    batch.Add(Done());
    EXPECT_EQ(Kinds(batch.TakeAll()),
              (std::vector<std::string>{"started", "progress:3", "notice", "done"}));

    // Once taken, the next progress starts a batch of its own.
    batch.Add(FileProgress{4});
    batch.Add(FileProgress{5});
    EXPECT_EQ(Kinds(batch.TakeAll()), (std::vector<std::string>{"progress:5"}));
}

TEST(EventBatch, ProgressIsNeverMergedAcrossTheStartOrEndOfAFile) {
    EventBatch<Event> batch;
    batch.Add(FileStarted{"a", 9});
    batch.Add(FileProgress{1});
    batch.Add(Done());
    batch.Add(FileProgress{2});  // late, after its file's end: kept apart
    batch.Add(FileStarted{"b", 9});
    batch.Add(FileProgress{3});
    batch.Add(BatchStarted{"u", 0});
    batch.Add(FileProgress{4});
    batch.Add(FilesReceived{1});
    batch.Add(FileProgress{5});
    EXPECT_EQ(
        Kinds(batch.TakeAll()),
        (std::vector<std::string>{"started", "progress:1", "done", "progress:2", "started",
                                  "progress:3", "batch", "progress:4", "files", "progress:5"}));
}

// A front end with a bound drops waiting items: the progress to replace moves with them.
TEST(EventBatch, DroppingAnItemKeepsTrackOfTheProgressToReplace) {
    using Item = std::variant<Event, int>;
    EventBatch<Item> batch;
    batch.Add(Event{LogNotice{L"n"}});
    batch.Add(Event{FileProgress{1}});
    batch.Add(Item{7});
    batch.Erase(0);
    EXPECT_TRUE(batch.Replaces(Event{FileProgress{2}}));
    EXPECT_FALSE(batch.Replaces(Item{8}));
    batch.Add(Event{FileProgress{2}});
    EXPECT_EQ(Kinds(batch.Items()), (std::vector<std::string>{"progress:2", "input"}));

    batch.Erase(0);  // the progress itself: the next one is appended
    batch.Add(Event{FileProgress{3}});
    EXPECT_EQ(Kinds(batch.TakeAll()), (std::vector<std::string>{"input", "progress:3"}));
}

}  // namespace
}  // namespace veltra
