#include "ui/presentation/arrival_notice.h"

#include <algorithm>

#include "common/text.h"
#include "ui/presentation/log_entries.h"

namespace veltra {
namespace {

// The entities of body markup; everything else stays as it is.
std::wstring EscapeMarkup(std::wstring_view text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (const wchar_t c : text) {
        switch (c) {
            case L'&':
                escaped += L"&amp;";
                break;
            case L'<':
                escaped += L"&lt;";
                break;
            case L'>':
                escaped += L"&gt;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

ArrivalNotice Notice(std::wstring_view sender, std::wstring_view body) {
    return ArrivalNotice{std::wstring(sender), EscapeMarkup(body)};
}

}  // namespace

std::optional<ArrivalNotice> NoticeForMessage(const MessageReceived& message, bool window_active) {
    if (window_active) {
        return std::nullopt;
    }
    std::wstring text = AnsiToWide(message.text);
    text.erase(std::min(text.find_first_of(L"\r\n"), text.size()));
    return Notice(AnsiToWide(message.user_name), text);
}

std::optional<ArrivalNotice> NoticeForFiles(std::wstring_view sender, int count,
                                            bool window_active) {
    if (window_active || count <= 0) {
        return std::nullopt;
    }
    return Notice(sender, L"收到" + std::to_wstring(count) + L"个文件");
}

std::optional<ArrivalNotice> NoticeForFailure(std::wstring_view sender, const FileDone& entry,
                                              bool window_active) {
    if (window_active || entry.outcome == FileOutcome::kStored) {
        return std::nullopt;
    }
    std::wstring body = L"接收失败：" + AnsiToWide(entry.name);
    if (const wchar_t* reason = FailureReason(entry.outcome)) {
        body.append(L"（").append(reason).append(L"）");
    }
    return Notice(sender, body);
}

}  // namespace veltra
