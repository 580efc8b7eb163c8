#include "ui/dialogs/dialog_texts.h"

#include <cerrno>

#include "common/version.h"
#include "platform/utf8.h"

namespace veltra {

std::wstring AboutText(std::wstring_view received_folder) {
    // The version is the package's, as the build knows it.
    return L"Veltra 版本" + platform::Utf8ToWide(kVersion) +
           L"\r\n"
           L"基于原作者的Veltra协议开发\r\n"
           L"与原作者Veltra兼容\r\n"
           L"Veltra 开发组\r\n"
           L"2008年1月\r\n"
           L"https://veltra.example\r\n"
           L"\r\n"
           L"点击用户名发送文件或者消息\r\n"
           L"接收文件保存在" +
           std::wstring(received_folder) + L"目录下";
}

std::wstring NameRefusalText(NameFault fault) {
    switch (fault) {
        case NameFault::kNone:
            break;
        case NameFault::kTooLong:
            return L"名字太长：最多 " + std::to_wstring(kMaxUserNameBytes) +
                   L" 个字节（一个汉字占两个）";
        case NameFault::kColon:
            return L"名字不能含有“:”";
        case NameFault::kNotInCodePage:
            return L"名字含有无法发送的字符";
        case NameFault::kLineBreak:
            return L"名字不能含有换行或控制字符";
    }
    return {};
}

std::wstring TrayTooltip(bool unread) {
    return unread ? std::wstring(kMainCaption) + L"：有新消息" : std::wstring(kMainCaption);
}

std::wstring EngineStartFailedText(const std::system_error& error) {
    const std::wstring cause = platform::Utf8ToWide(error.what());
    if (error.code().value() == EADDRINUSE) {
        return L"Veltra 无法启动：端口 2425 已被占用。\n"
               L"可能已有一个 Veltra 在运行，请先关闭它，然后再试。\n" +
               cause;
    }
    return L"Veltra 无法启动：" + cause;
}

namespace {

const wchar_t* NotOfferedReason(OfferOutcome outcome) {
    switch (outcome) {
        case OfferOutcome::kNoSuchFile:
            return L"文件不存在";
        case OfferOutcome::kListFull:
            return L"一次发送的文件过多";
        case OfferOutcome::kCannotRead:
        case OfferOutcome::kListed:
            break;
    }
    return L"无法读取";
}

}  // namespace

std::wstring NotOfferedText(const std::vector<OfferResult>& results) {
    std::wstring text = L"无法发送：";
    bool first = true;
    for (const OfferResult& result : results) {
        if (result.outcome == OfferOutcome::kListed) {
            continue;
        }
        const std::wstring name = result.path.FileName();
        text.append(first ? L"" : L"、").append(name.empty() ? result.path.Text() : name);
        text.append(L"（").append(NotOfferedReason(result.outcome)).append(L"）");
        first = false;
    }
    return text;
}

std::wstring ForDisplay(std::wstring text) {
    std::wstring::size_type at = 0;
    while ((at = text.find(L"\r\n", at)) != std::wstring::npos) {
        text.erase(at, 1);
        ++at;
    }
    return text;
}

std::wstring HistoryCountText(std::size_t rows, bool bounded) {
    std::wstring text = bounded ? L"最新的" : L"";
    text += std::to_wstring(rows);
    return text + L"条记录";
}

}  // namespace veltra
