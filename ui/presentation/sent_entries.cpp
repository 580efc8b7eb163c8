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

}  // namespace veltra
