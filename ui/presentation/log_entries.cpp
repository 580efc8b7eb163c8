#include "ui/presentation/log_entries.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "common/text.h"
#include "platform/socket.h"

namespace veltra {
namespace {

constexpr std::uint64_t kGigabyte = std::uint64_t{1} << 30;
constexpr std::uint64_t kMegabyte = std::uint64_t{1} << 20;
// The highest percentage a progress line shows before every byte is in.
constexpr double kLastPercentBelowWhole = 99.99;

struct Rate {
    double value;
    const char* unit;
};

// Whole bytes per millisecond, times 1000: the rate is always a multiple of 1000 bytes per
// second, so below one byte per millisecond it reads 0.00B/S and the smallest other is 0.98K/S.
Rate RateOf(std::uint64_t received, std::uint32_t elapsed_ms) {
    const std::uint64_t per_ms = received / (elapsed_ms == 0 ? 1 : elapsed_ms);
    const std::uint64_t per_second = per_ms * 1000;
    if (per_second >= kGigabyte) {
        return {static_cast<double>(per_second >> 20) / 1024, "G/S"};
    }
    if (per_second >= kMegabyte) {
        return {static_cast<double>(per_second >> 10) / 1024, "M/S"};
    }
    if (per_second == 0) {
        return {0.0, "B/S"};
    }
    return {static_cast<double>(per_second) / 1024, "K/S"};
}

// "%.2f" without printf: the exact value rounded to two places, as printf rounds it.
void AppendTwoDecimals(std::string& out, double value) {
    // Room for any double in fixed notation.
    char digits[std::numeric_limits<double>::max_exponent10 + 8];
    const auto [end, error] =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 2);
    if (error == std::errc{}) {
        out.append(digits, end);
    }
}

}  // namespace

const wchar_t* FailureReason(FileOutcome outcome) {
    switch (outcome) {
        case FileOutcome::kStored:
            return nullptr;
        case FileOutcome::kConnectionLost:
            return L"连接中断";
        case FileOutcome::kUnreachable:
            return L"无法连接";
        case FileOutcome::kDiskFull:
            return L"磁盘已满";
        case FileOutcome::kCannotCreate:
            return L"无法创建文件";
        case FileOutcome::kWriteFailed:
            return L"写入失败";
        case FileOutcome::kNameRefused:
            return L"文件名无效";
        case FileOutcome::kPathTooLong:
            return L"路径过长";
        case FileOutcome::kNotServed:
            return L"对方未提供文件";
        case FileOutcome::kCancelled:
            return L"已取消";
    }
    return nullptr;
}

std::wstring MessageEntry(const MessageReceived& message) {
    return MessageEntry(AnsiToWide(message.user_name),
                        AnsiToWide(platform::InetNtoa(message.source_address)),
                        AnsiToWide(message.host_name), AnsiToWide(message.text));
}

std::wstring MessageEntry(std::wstring_view user, std::wstring_view address, std::wstring_view host,
                          std::wstring_view text) {
    // Built without a fixed buffer: a message of full length plus the header would not fit one.
    std::wstring entry(user);
    entry.append(L" (").append(address).append(L"|").append(host).append(L"):\r\n ");
    entry.append(text).append(L"\r\n");
    return entry;
}

std::wstring SentMessageEntry(std::wstring_view user, std::wstring_view address,
                              std::wstring_view text) {
    std::wstring entry =
        L"发给 " + std::wstring(user) + L"（" + std::wstring(address) + L"）:\r\n ";
    entry.append(text).append(L"\r\n");
    return entry;
}

std::wstring BatchSenderEntry(const BatchStarted& batch) {
    return BatchSenderEntry(AnsiToWide(batch.user_name),
                            AnsiToWide(platform::InetNtoa(batch.source_address)));
}

std::wstring BatchSenderEntry(std::wstring_view user, std::wstring_view address) {
    return L"来自 " + std::wstring(user) + L"（" + std::wstring(address) + L"）:\r\n";
}

std::wstring FileStartedEntry(const std::string& name) {
    return FileStartedEntry(AnsiToWide(name));
}

std::wstring FileStartedEntry(std::wstring_view name) {
    std::wstring entry(kFileStartedText);
    entry.append(name).append(L"\r\n");
    return entry;
}

std::wstring FileDoneEntry(FileOutcome outcome) {
    if (outcome == FileOutcome::kStored) {
        return L"文件传输完毕\r\n";
    }
    const wchar_t* reason = FailureReason(outcome);
    if (reason == nullptr) {
        return L"文件接收失败\r\n";
    }
    return std::wstring(L"文件接收失败：") + reason + L"\r\n";
}

std::wstring FilesReceivedEntry(int count) {
    if (count <= 0) {
        return {};
    }
    return L"==收到" + std::to_wstring(count) + L"个文件!==\r\n";
}

std::wstring FilesFailedEntry(int failed) {
    if (failed <= 0) {
        return {};
    }
    return L"==" + std::to_wstring(failed) + L"个文件接收失败!==\r\n";
}

std::wstring BatchEndEntry(const FilesReceived& batch) {
    return FilesReceivedEntry(batch.count) + FilesFailedEntry(batch.failed);
}

void TransferProgress::Start(std::uint64_t size, std::uint32_t now_ms) {
    size_ = size;
    start_ms_ = now_ms;
    throttle_.Start();
}

TransferProgress::Reading TransferProgress::Read(std::uint64_t received, std::uint32_t now_ms) {
    // Unsigned subtraction: right across a wrap of the 32-bit tick count.
    const Rate rate = RateOf(received, now_ms - start_ms_);
    // An empty file has no progress lines of its own; should one come, it is complete.
    double percent =
        size_ == 0 ? 100.0 : static_cast<double>(received) / static_cast<double>(size_) * 100;
    // Rounded to two places, a file more than 99.995 % through would read 100.00 % before its
    // last bytes are in; that line is kept for the file that is stored.
    if (received < size_) {
        percent = std::min(percent, kLastPercentBelowWhole);
    }
    int position = 100;
    if (percent < 100.0) {
        position = percent > 0.0 ? static_cast<int>(percent) : 0;
    }
    return Reading{rate.value, rate.unit, percent, position,
                   throttle_.Due(received, size_, now_ms)};
}

TransferProgress::Step TransferProgress::Progress(std::uint64_t received, std::uint32_t now_ms) {
    const Reading reading = Read(received, now_ms);
    if (!reading.due) {
        return Step{{}, reading.position};
    }
    // The unit is ASCII, which "%s" in a wide pattern takes as it is.
    return Step{FormatWide(L"%.2f%s %.2f%%\r\n", reading.rate, reading.unit, reading.percent),
                reading.position};
}

bool TransferProgress::AppendLine(std::uint64_t received, std::uint32_t now_ms, std::string& line) {
    const Reading reading = Read(received, now_ms);
    if (!reading.due) {
        return false;
    }
    AppendTwoDecimals(line, reading.rate);
    line.append(reading.unit).append(" ");
    AppendTwoDecimals(line, reading.percent);
    line.append("%\n");
    return true;
}

}  // namespace veltra
