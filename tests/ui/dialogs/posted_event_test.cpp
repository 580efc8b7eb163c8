// Events posted to the dialogs: one wake-up of the UI thread per batch, and a file's progress that
// piled up shown at its latest count.

#include "ui/dialogs/posted_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "event_pump.h"
#include "main_dialog_fixture.h"
#include "tests/support/recording_sink.h"

namespace veltra {
namespace {

using testing::MainDialogTest;
using testing::PumpUntil;

std::vector<std::string> Kinds(const std::vector<Event>& events) {
    std::vector<std::string> kinds;
    for (const Event& event : events) {
        kinds.push_back(testing::KindOf(event));
    }
    return kinds;
}

TEST(PostedEvents, TheUiThreadIsWokenOncePerBatch) {
    std::atomic<int> wakes = 0;
    PostedEvents posted([&wakes] { ++wakes; });
    std::thread worker([&posted] {
        posted.Add(FileStarted{"f", 9});
        for (std::uint64_t received = 1; received <= 3; ++received) {
            posted.Add(FileProgress{received});
        }
        posted.Add(FileDone{"f", 9, 9, FileOutcome::kStored});
    });
    worker.join();
    EXPECT_EQ(wakes, 1);
    const std::vector<Event> batch = posted.TakeAll();
    EXPECT_EQ(Kinds(batch), (std::vector<std::string>{"started", "progress", "done"}));
    EXPECT_EQ(std::get<FileProgress>(batch[1]).received, 3u);

    posted.Add(PeersChanged{});
    EXPECT_EQ(wakes, 2) << "the first event after the batch was taken";
}

TEST_F(MainDialogTest, ProgressThatPiledUpIsShownAtItsLatestCount) {
    std::unique_ptr<CMainDialog> dialog = StartedDialog();
    now_ms_ = 5000;
    std::vector<Event> events;
    events.push_back(FileStarted{"f", 2000000});
    events.push_back(FileProgress{500000});
    events.push_back(FileProgress{1000000});
    events.push_back(FileProgress{1500000});
    PostFromWorker(*dialog, std::move(events));
    ASSERT_TRUE(PumpUntil([&] { return dialog->Progress()->GetValue() == 75; }));
    testing::PumpPending();
    // One line for the three, at the latest count (the first progress of a file is always
    // written, the next only a quarter second later).
    const std::wstring log = dialog->Log()->GetValue().ToStdWstring();
    EXPECT_EQ(log.rfind(L"开始接收文件f\r\n", 0), 0u) << log;
    EXPECT_EQ(log.find(L"%"), log.size() - 3) << log;
    EXPECT_EQ(log.substr(log.size() - 9), L" 75.00%\r\n") << log;
}

}  // namespace
}  // namespace veltra
