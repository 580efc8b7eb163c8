#pragma once
// The entries of the notification log, exactly as the log shows them (CR LF line ends), for
// every front end. Each function returns the text to append; nothing here keeps the log.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/events.h"
#include "ui/presentation/progress_throttle.h"

namespace veltra {

// "user (address|host):\r\n text\r\n"
std::wstring MessageEntry(const MessageReceived& message);
// The same from wide parts, for a front end that must treat the peer's text first.
std::wstring MessageEntry(std::wstring_view user, std::wstring_view address, std::wstring_view host,
                          std::wstring_view text);
// "来自 <user>（<address>）:\r\n", before the first file of a batch.
// A message this user sent: "发给 USER（ADDRESS）:" and the text below it, indented as a
// received message's.
std::wstring SentMessageEntry(std::wstring_view user, std::wstring_view address,
                              std::wstring_view text);
std::wstring BatchSenderEntry(const BatchStarted& batch);
// The same from wide parts.
std::wstring BatchSenderEntry(std::wstring_view user, std::wstring_view address);
// What the line of a file's start says before the file's name.
inline constexpr std::wstring_view kFileStartedText = L"开始接收文件";
// "开始接收文件<name>\r\n"; name is code page 936 text.
std::wstring FileStartedEntry(const std::string& name);
// The same from wide text.
std::wstring FileStartedEntry(std::wstring_view name);
// "文件传输完毕\r\n" for a file stored whole, else "文件接收失败：<reason>\r\n".
std::wstring FileDoneEntry(FileOutcome outcome);
// The short reason a failure gives ("磁盘已满"), or null when there is none.
const wchar_t* FailureReason(FileOutcome outcome);
// "==收到<count>个文件!==\r\n", or empty text when count is 0 or less (nothing is logged).
std::wstring FilesReceivedEntry(int count);
// "==<failed>个文件接收失败!==\r\n", or empty text when failed is 0 or less.
std::wstring FilesFailedEntry(int failed);
// The end of a batch: the line of the files stored, then the line of the failures, each only
// when it counts any.
std::wstring BatchEndEntry(const FilesReceived& batch);

// The state of the file being received, for the rate and percentage lines. A line is written as
// often as ProgressThrottle tells; the position moves with every chunk.
class TransferProgress {
  public:
    void Start(std::uint64_t size, std::uint32_t now_ms);
    struct Step {
        std::wstring entry;  // "<rate><unit> <percent>%\r\n", e.g. "1.19M/S 25.00%\r\n", or
                             // empty when this chunk writes no line
        int position;        // the percentage truncated, held within 0..100
    };
    // received: bytes of this file so far. An elapsed time of 0 ms counts as 1 ms.
    Step Progress(std::uint64_t received, std::uint32_t now_ms);
    // The console's form of the same step: appends the entry's line in UTF-8 with a bare LF to
    // line, when this chunk writes one (digit for digit the entry's), and tells whether it did.
    bool AppendLine(std::uint64_t received, std::uint32_t now_ms, std::string& line);

  private:
    struct Reading {
        double rate;
        const char* unit;  // "K/S", ...
        double percent;
        int position;
        bool due;  // whether this chunk writes a line
    };
    Reading Read(std::uint64_t received, std::uint32_t now_ms);

    std::uint64_t size_ = 0;
    std::uint32_t start_ms_ = 0;
    ProgressThrottle throttle_;
};

}  // namespace veltra
