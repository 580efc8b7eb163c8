#include "ui/presentation/sent_entries.h"

namespace veltra {

std::wstring SentEntry(std::wstring_view name, bool directory) {
    return (directory ? L"已发送文件夹" : L"已发送文件") + std::wstring(name) + L"\r\n";
}

std::wstring SendFailedEntry(std::wstring_view name) {
    return L"发送失败" + std::wstring(name) + L"\r\n";
}

std::wstring NotFetchedEntry(std::wstring_view name) {
    return L"对方未接收" + std::wstring(name) + L"\r\n";
}

std::wstring OfferedName(std::wstring_view path) {
    while (path.size() > 1 && (path.back() == L'/' || path.back() == L'\\')) {
        path.remove_suffix(1);
    }
    const std::size_t separator = path.find_last_of(L"/\\");
    return std::wstring(separator == std::wstring_view::npos ? path : path.substr(separator + 1));
}

}  // namespace veltra
