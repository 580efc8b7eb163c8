#include "ui/presentation/arrival_notice.h"

#include <algorithm>

#include "common/text.h"

namespace veltra {

std::optional<ArrivalNotice> NoticeForMessage(const MessageReceived& message, bool window_active) {
    if (window_active) {
        return std::nullopt;
    }
    std::wstring text = AnsiToWide(message.text);
    text.erase(std::min(text.find_first_of(L"\r\n"), text.size()));
    return ArrivalNotice{AnsiToWide(message.user_name), std::move(text)};
}

std::optional<ArrivalNotice> NoticeForFiles(std::wstring_view sender, int count,
                                            bool window_active) {
    if (window_active || count <= 0) {
        return std::nullopt;
    }
    return ArrivalNotice{std::wstring(sender), L"收到" + std::to_wstring(count) + L"个文件"};
}

}  // namespace veltra
