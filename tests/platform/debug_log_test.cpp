#include "platform/debug_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veltra::platform {
namespace {

TEST(DebugLog, LinesGoToTheSinkAndOtherwiseToStandardErrorAsUtf8) {
    std::vector<std::wstring> lines;
    const DebugSink before =
        SetDebugSink([&lines](std::wstring_view line) { lines.emplace_back(line); });
    DebugLog(L"已成功创建目录:\\a");
    DebugLog(L"");
    EXPECT_TRUE(SetDebugSink(before));
    EXPECT_EQ(lines, (std::vector<std::wstring>{L"已成功创建目录:\\a", L""}));

    ::testing::internal::CaptureStderr();
    DebugLog(L"目录 b");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "目录 b\n");
    EXPECT_EQ(lines.size(), 2u);
}

}  // namespace
}  // namespace veltra::platform
