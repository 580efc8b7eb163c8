#include "ui/presentation/log_entries.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/protocol.h"
#include "platform/socket.h"
#include "ui/presentation/utf8_lines.h"

namespace veltra {
namespace {

MessageReceived Message(const char* user, const char* address, const char* host,
                        const std::string& text) {
    MessageReceived message;
    message.user_name = user;
    message.host_name = host;
    message.source_address = platform::InetAddr(address);
    message.text = text;
    return message;
}

TEST(MessageEntry, HeaderLineThenIndentedText) {
    EXPECT_EQ(MessageEntry(Message("bob", "192.168.1.20", "pc2", "hi")),
              L"bob (192.168.1.20|pc2):\r\n hi\r\n");
    // Received line breaks are already CR LF; only the first line is indented.
    EXPECT_EQ(MessageEntry(Message("bob", "10.0.0.2", "pc2", "a\r\nb")),
              L"bob (10.0.0.2|pc2):\r\n a\r\nb\r\n");
    EXPECT_EQ(MessageEntry(Message("bob", "10.0.0.2", "pc2", "")), L"bob (10.0.0.2|pc2):\r\n \r\n");
}

TEST(MessageEntry, CodePage936TextIsShownAsWideText) {
    // 张三 says 你好
    EXPECT_EQ(MessageEntry(Message("\xd5\xc5\xc8\xfd", "10.0.0.2", "pda", "\xc4\xe3\xba\xc3")),
              L"张三 (10.0.0.2|pda):\r\n 你好\r\n");
}

TEST(MessageEntry, LongestMessageIsNotCut) {
    const std::string text(MAX_PACKET - 1, 'x');
    const std::wstring entry =
        MessageEntry(Message("uuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuu", "255.255.255.255",
                             "hhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhh", text));
    EXPECT_EQ(entry.size(), 49 + 2 + 15 + 1 + 49 + 5 + text.size() + 2);
    EXPECT_EQ(entry.substr(entry.size() - 3), L"x\r\n");
}

TEST(FileEntries, ExactTexts) {
    EXPECT_EQ(FileStartedEntry("report.pdf"), L"开始接收文件report.pdf\r\n");
    EXPECT_EQ(FileStartedEntry("\xce\xc4\xbc\xfe.txt"), L"开始接收文件文件.txt\r\n");
    EXPECT_EQ(FileDoneEntry(FileOutcome::kStored), L"文件传输完毕\r\n");
    EXPECT_EQ(FileDoneEntry(FileOutcome::kConnectionLost), L"文件接收失败：连接中断\r\n");
    EXPECT_EQ(FileDoneEntry(FileOutcome::kDiskFull), L"文件接收失败：磁盘已满\r\n");
    EXPECT_EQ(FileDoneEntry(FileOutcome::kCannotCreate), L"文件接收失败：无法创建文件\r\n");
    EXPECT_EQ(FileDoneEntry(FileOutcome::kNotServed), L"文件接收失败：对方未提供文件\r\n");
    EXPECT_EQ(FileDoneEntry(FileOutcome::kCancelled), L"文件接收失败：已取消\r\n");
    EXPECT_EQ(FileDoneEntry(static_cast<FileOutcome>(200)), L"文件接收失败\r\n");
    EXPECT_EQ(FilesReceivedEntry(3), L"==收到3个文件!==\r\n");
    EXPECT_EQ(FilesReceivedEntry(12), L"==收到12个文件!==\r\n");
    EXPECT_EQ(FilesReceivedEntry(0), L"");
    EXPECT_EQ(FilesReceivedEntry(-1), L"");
}

TEST(FileEntries, FailuresAreCountedAfterTheFilesStoredOrAlone) {
    EXPECT_EQ(FilesFailedEntry(2), L"==2个文件接收失败!==\r\n");
    EXPECT_EQ(FilesFailedEntry(0), L"");
    EXPECT_EQ(BatchEndEntry({3, 1}), L"==收到3个文件!==\r\n==1个文件接收失败!==\r\n");
    EXPECT_EQ(BatchEndEntry({0, 12}), L"==12个文件接收失败!==\r\n");
    EXPECT_EQ(BatchEndEntry({3, 0}), L"==收到3个文件!==\r\n");
    EXPECT_EQ(BatchEndEntry({0, 0}), L"");
}

TransferProgress::Step StepOf(std::uint64_t size, std::uint64_t received, std::uint32_t elapsed,
                              std::uint32_t start = 1000) {
    TransferProgress progress;
    progress.Start(size, start);
    return progress.Progress(received, start + elapsed);
}

TEST(TransferProgress, RateIsWholeBytesPerMillisecondTimesAThousand) {
    // 500,000 of 2,000,000 bytes after 400 ms: 1250 bytes/ms.
    TransferProgress::Step step = StepOf(2000000, 500000, 400);
    EXPECT_EQ(step.entry, L"1.19M/S 25.00%\r\n");
    EXPECT_EQ(step.position, 25);
    // Less than a byte per millisecond rounds down to nothing.
    step = StepOf(10000, 999, 1000);
    EXPECT_EQ(step.entry, L"0.00B/S 9.99%\r\n");
    EXPECT_EQ(step.position, 9);
    // One byte per millisecond is the smallest rate that is not 0.
    EXPECT_EQ(StepOf(4000, 1000, 1000).entry, L"0.98K/S 25.00%\r\n");
}

TEST(TransferProgress, UnitSwitchesAtTwoToTheTwentiethAndThirtieth) {
    // 1048 bytes/ms = 1,048,000 B/s, just below 2^20.
    EXPECT_EQ(StepOf(1048, 1048, 1).entry, L"1023.44K/S 100.00%\r\n");
    // 1049 bytes/ms = 1,049,000 B/s: floor(R / 1024) / 1024.
    EXPECT_EQ(StepOf(1049, 1049, 1).entry, L"1.00M/S 100.00%\r\n");
    // 1,073,741,000 B/s is below 2^30 and prints as M/S.
    EXPECT_EQ(StepOf(1073741, 1073741, 1).entry, L"1024.00M/S 100.00%\r\n");
    EXPECT_EQ(StepOf(1073742, 1073742, 1).entry, L"1.00G/S 100.00%\r\n");
}

TEST(TransferProgress, SizesAndRatesBeyondThirtyTwoBits) {
    const std::uint64_t five_gib = std::uint64_t{5} << 30;
    const TransferProgress::Step step = StepOf(five_gib * 2, five_gib, 1000);
    // 5,368,709 bytes/ms: R = 5,368,709,000, which a 32-bit rate would have wrapped.
    EXPECT_EQ(step.entry, L"5.00G/S 50.00%\r\n");
    EXPECT_EQ(step.position, 50);
}

TEST(TransferProgress, OnlyAFileWhoseEveryByteIsInReads100Percent) {
    // The chunk before the last of 5 GiB is 99.9988 % through, which two places would round up.
    const std::uint64_t five_gib = std::uint64_t{5} << 30;
    EXPECT_EQ(StepOf(five_gib, five_gib - 65536, 1000).entry, L"5.00G/S 99.99%\r\n");
    EXPECT_EQ(StepOf(five_gib, five_gib - 65536, 1000).position, 99);
    EXPECT_EQ(StepOf(five_gib, five_gib, 1000).entry, L"5.00G/S 100.00%\r\n");
    EXPECT_EQ(StepOf(100000, 99996, 1000).entry, L"96.68K/S 99.99%\r\n");
}

TEST(TransferProgress, ZeroElapsedCountsAsOneMillisecondAndTheTickMayWrap) {
    TransferProgress::Step step = StepOf(1000, 1000, 0);
    EXPECT_EQ(step.entry, L"976.56K/S 100.00%\r\n");
    EXPECT_EQ(step.position, 100);
    // Started 256 ms before the 32-bit tick count wrapped, now 256 ms after: 512 ms.
    step = StepOf(1 << 20, 512000, 512, 0xFFFFFF00u);
    EXPECT_EQ(step.entry, L"976.56K/S 48.83%\r\n");
}

// A fast transfer posts hundreds of chunks a second: the log gets at most four lines a second of
// each file, and the line of its last chunk, while the bar follows every chunk.
TEST(TransferProgress, LinesAreThrottledPerFileButThePositionAndTheLastLineAreNot) {
    TransferProgress progress;
    progress.Start(1000, 0);
    std::vector<std::uint32_t> written_at;
    int last_position = -1;
    for (std::uint32_t ms = 10; ms <= 990; ms += 10) {
        const TransferProgress::Step step = progress.Progress(ms, ms);
        EXPECT_GE(step.position, last_position);
        last_position = step.position;
        if (!step.entry.empty()) {
            written_at.push_back(ms);
        }
    }
    EXPECT_EQ(written_at, (std::vector<std::uint32_t>{10, 260, 510, 760}));
    EXPECT_EQ(last_position, 99);
    EXPECT_EQ(progress.Progress(1000, 1000).entry, L"0.98K/S 100.00%\r\n");  // only 240 ms on

    // The next file starts its own count, even within the interval of the last line.
    progress.Start(100, 1001);
    EXPECT_FALSE(progress.Progress(10, 1002).entry.empty());
    EXPECT_TRUE(progress.Progress(20, 1003).entry.empty());
    // Across a wrap of the tick count the interval is still measured.
    progress.Start(100, 0xFFFFFF00u);
    EXPECT_FALSE(progress.Progress(10, 0xFFFFFF00u).entry.empty());
    EXPECT_TRUE(progress.Progress(20, 0xFFFFFFF0u).entry.empty());
    EXPECT_FALSE(progress.Progress(30, 0x10u).entry.empty());
}

// The console writes the same line without wide printf: every digit, the rounding of a tie
// included, must be the entry's.
TEST(TransferProgress, TheConsolesLineIsTheEntryInUtf8DigitForDigit) {
    const auto line_of = [](std::uint64_t size, std::uint64_t received, std::uint32_t elapsed) {
        TransferProgress progress;
        progress.Start(size, 1000);
        std::string line = "kept ";
        EXPECT_TRUE(progress.AppendLine(received, 1000 + elapsed, line));
        return line;
    };
    EXPECT_EQ(line_of(2000000, 500000, 400), "kept 1.19M/S 25.00%\n");
    EXPECT_EQ(line_of(10000, 999, 1000), "kept 0.00B/S 9.99%\n");
    EXPECT_EQ(line_of(800, 1, 1), "kept 0.98K/S 0.12%\n");  // 0.125 exactly: to even
    EXPECT_EQ(line_of(800, 3, 1), "kept 2.93K/S 0.38%\n");  // 0.375 exactly: to even
    EXPECT_EQ(line_of(1048, 1048, 1), "kept 1023.44K/S 100.00%\n");
    EXPECT_EQ(line_of(100, 150, 10), "kept 14.65K/S 150.00%\n");
    const std::uint64_t five_gib = std::uint64_t{5} << 30;
    EXPECT_EQ(line_of(five_gib, five_gib - 65536, 1000), "kept 5.00G/S 99.99%\n");
    for (std::uint64_t size : {std::uint64_t{1}, std::uint64_t{7}, std::uint64_t{800},
                               std::uint64_t{99999}, five_gib * 3}) {
        for (std::uint64_t received = 0; received <= 4000; received += 7) {
            for (std::uint32_t elapsed : {0u, 1u, 3u, 250u, 977u}) {
                std::string line = "kept ";
                ASSERT_EQ(line_of(size, received, elapsed),
                          line + Utf8Lines(StepOf(size, received, elapsed).entry))
                    << size << " " << received << " " << elapsed;
            }
        }
    }
    // A chunk that writes no line appends nothing.
    TransferProgress progress;
    progress.Start(1000, 0);
    std::string line;
    EXPECT_TRUE(progress.AppendLine(10, 10, line));
    line.clear();
    EXPECT_FALSE(progress.AppendLine(20, 20, line));
    EXPECT_EQ(line, "");
}

TEST(TransferProgress, PositionIsTheTruncatedPercentageWithinTheBar) {
    EXPECT_EQ(StepOf(3, 2, 10).position, 66);
    EXPECT_EQ(StepOf(3, 2, 10).entry, L"0.00B/S 66.67%\r\n");
    EXPECT_EQ(StepOf(100, 0, 10).position, 0);
    const TransferProgress::Step beyond = StepOf(100, 150, 10);
    EXPECT_EQ(beyond.entry, L"14.65K/S 150.00%\r\n");
    EXPECT_EQ(beyond.position, 100);
}

TEST(Utf8Lines, EachCrLfBecomesABareLineFeedAndNothingElseChanges) {
    EXPECT_EQ(Utf8Lines(L"文件传输完毕\r\n"), "文件传输完毕\n");
    // A CR that does not end a line, and a LF on its own, are text as it came.
    EXPECT_EQ(Utf8Lines(L"a\rb\nc\n\r\r\r\n"), "a\rb\nc\n\r\r\n");
    EXPECT_EQ(Utf8Lines(L"\r"), "\r");
    EXPECT_EQ(Utf8Lines(L""), "");
}

}  // namespace
}  // namespace veltra
