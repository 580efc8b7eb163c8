#include "ui/presentation/log_entries.h"

#include "common/text.h"
#include "platform/socket.h"

namespace veltra {
namespace {

constexpr std::uint64_t kGigabyte = std::uint64_t{1} << 30;
constexpr std::uint64_t kMegabyte = std::uint64_t{1} << 20;

struct Rate {
    double value;
    const wchar_t* unit;
};

// Whole bytes per millisecond, times 1000: the rate is always a multiple of 1000 bytes per
// second, so below one byte per millisecond it reads 0.00B/S and the smallest other is 0.98K/S.
Rate RateOf(std::uint64_t received, std::uint32_t elapsed_ms) {
    const std::uint64_t per_ms = received / (elapsed_ms == 0 ? 1 : elapsed_ms);
    const std::uint64_t per_second = per_ms * 1000;
    if (per_second >= kGigabyte) {
        return {static_cast<double>(per_second >> 20) / 1024, L"G/S"};
    }
    if (per_second >= kMegabyte) {
        return {static_cast<double>(per_second >> 10) / 1024, L"M/S"};
    }
    if (per_second == 0) {
        return {0.0, L"B/S"};
    }
    return {static_cast<double>(per_second) / 1024, L"K/S"};
}

}  // namespace

std::wstring MessageEntry(const MessageReceivedPayload& message) {
    // Built without a fixed buffer: a message of full length plus the header would not fit one.
    const std::string entry = FormatAnsi("%s (%s|%s):\r\n %s", message.user_name.c_str(),
                                         platform::InetNtoa(message.source_address).c_str(),
                                         message.host_name.c_str(), message.text.c_str());
    return AnsiToWide(entry) + L"\r\n";
}

std::wstring FileStartedEntry(const std::string& name) {
    return L"开始接收文件" + AnsiToWide(name) + L"\r\n";
}

std::wstring FileDoneEntry() {
    return L"文件传输完毕\r\n";
}

std::wstring FilesReceivedEntry(int count) {
    if (count <= 0) {
        return {};
    }
    return L"==收到" + std::to_wstring(count) + L"个文件!==\r\n";
}

void TransferProgress::Start(std::uint64_t size, std::uint32_t now_ms) {
    size_ = size;
    start_ms_ = now_ms;
}

TransferProgress::Step TransferProgress::Progress(std::uint64_t received,
                                                  std::uint32_t now_ms) const {
    // Unsigned subtraction: right across a wrap of the 32-bit tick count.
    const Rate rate = RateOf(received, now_ms - start_ms_);
    // An empty file has no progress lines of its own; should one come, it is complete.
    const double percent =
        size_ == 0 ? 100.0 : static_cast<double>(received) / static_cast<double>(size_) * 100;
    int position = 100;
    if (percent < 100.0) {
        position = percent > 0.0 ? static_cast<int>(percent) : 0;
    }
    return Step{FormatWide(L"%.2f%ls %.2f%%\r\n", rate.value, rate.unit, percent), position};
}

}  // namespace veltra
