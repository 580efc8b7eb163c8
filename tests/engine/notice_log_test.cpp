#include "engine/notice_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <variant>
#include <vector>

#include "tests/support/recording_sink.h"

namespace veltra {
namespace {

using namespace std::chrono_literals;

class NoticeLogTest : public ::testing::Test {
  protected:
    bool Report(std::uint64_t key) {
        return log_.Report(key, [key](std::uint64_t count) {
            return std::to_wstring(key) + L"x" + std::to_wstring(count);
        });
    }
    // The lines posted since the last call.
    std::vector<std::wstring> Lines() {
        std::vector<std::wstring> lines;
        for (const Event& event : events_.Take()) {
            lines.push_back(std::get<LogNotice>(event).text);
        }
        return lines;
    }

    std::chrono::steady_clock::time_point now_ = std::chrono::steady_clock::now();
    testing::RecordingSink events_;
    NoticeLog log_{&events_, [this] { return now_; }};
};

TEST_F(NoticeLogTest, OneLinePerKeyAndMinuteCountingWhatWasHeldBack) {
    EXPECT_TRUE(Report(1));
    EXPECT_FALSE(Report(1));
    EXPECT_TRUE(Report(2));
    now_ += 59s;
    EXPECT_FALSE(Report(1));
    now_ += 1s;
    EXPECT_TRUE(Report(1));
    EXPECT_TRUE(Report(2));
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"1x1", L"2x1", L"1x3", L"2x1"}));
}

TEST_F(NoticeLogTest, ForgettingOldKeysKeepsTheCountsHeldBack) {
    EXPECT_TRUE(Report(7));
    EXPECT_FALSE(Report(7));
    now_ += 2min;
    // Many other keys, enough to make the log forget the ones whose minute is over.
    for (std::uint64_t key = 100; key < 400; ++key) {
        Report(key);
    }
    Lines();
    EXPECT_TRUE(Report(7));
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"7x2"});
}

}  // namespace
}  // namespace veltra
