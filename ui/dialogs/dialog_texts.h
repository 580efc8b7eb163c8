#pragma once
// The texts the dialogs show outside their templates.

#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/offer_result.h"
#include "common/settings_file.h"

namespace veltra {

inline constexpr wchar_t kMainCaption[] = L"Veltra（riZ5）";
inline constexpr wchar_t kAboutCaption[] = L"关于";

// The about and help text: nine lines joined by CR LF, the first naming the program and its
// version, none after the last; the last names
// received_folder, the folder on this computer that received files go to.
std::wstring AboutText(std::wstring_view received_folder);
// When the file manager cannot show that folder.
inline constexpr wchar_t kCannotOpenReceivedFolderText[] = L"无法打开接收文件夹";
// The list's context menu: ends the batch of files being received.
inline constexpr wchar_t kCancelReceivingCaption[] = L"取消接收";

// The tray icon's menu. The first item shows or hides the window, whichever it is not.
inline constexpr wchar_t kShowWindowCaption[] = L"显示窗口";
inline constexpr wchar_t kHideWindowCaption[] = L"隐藏窗口";
inline constexpr wchar_t kAutostartCaption[] = L"开机时启动";
inline constexpr wchar_t kQuitCaption[] = L"退出";
// The tray icon's tooltip, which says when something waits unread.
std::wstring TrayTooltip(bool unread);
// When the autostart entry cannot be written or removed: before the step and its cause.
inline constexpr wchar_t kCannotSwitchAutostartText[] = L"无法设置开机时启动：";

// The settings dialog and its context menu item.
inline constexpr wchar_t kSettingsCaption[] = L"设置";
inline constexpr wchar_t kSettingsNameLabel[] = L"名字（留空则用账户名）：";
inline constexpr wchar_t kSettingsBroadcastLabel[] = L"另外广播到（地址用“;”分隔）：";
inline constexpr wchar_t kSettingsSaveCaption[] = L"保存";
inline constexpr wchar_t kSettingsCancelCaption[] = L"取消";
// A question's no button.
inline constexpr wchar_t kCancelCaption[] = L"取消";
// When the file cannot be written: before the step and its cause.
inline constexpr wchar_t kCannotSaveSettingsText[] = L"无法保存设置：";
// A settings file that was read at start with a problem: before the file, its line and what.
inline constexpr wchar_t kSettingsFileProblemText[] = L"设置文件有误：";
// The compose dialog that files handed over by the file manager (or a second veltra) open.
inline constexpr wchar_t kComposeFilesCaption[] = L"发送文件";
inline constexpr wchar_t kComposeFilesLabel[] = L"要发送的文件：";
inline constexpr wchar_t kComposeRecipientsLabel[] = L"选择接收者（可多选）：";
inline constexpr wchar_t kComposeSendCaption[] = L"发送";
// veltra FILE... found the console running, which has no window to compose in.
inline constexpr wchar_t kConsoleRunsText[] = L"Veltra 正在控制台中运行，无法打开窗口";

// Why a name cannot go on the wire; empty for NameFault::kNone.
std::wstring NameRefusalText(NameFault fault);

// The history window, and its item in the list's context menu and the tray menu.
inline constexpr wchar_t kHistoryCaption[] = L"历史记录";
inline constexpr wchar_t kHistoryTextLabel[] = L"搜索：";
inline constexpr wchar_t kHistoryTextHint[] = L"消息、文件名或位置";
inline constexpr wchar_t kHistoryPeerLabel[] = L"用户：";
inline constexpr wchar_t kHistoryPeerHint[] = L"名字、主机或地址";
inline constexpr wchar_t kHistoryTimeColumn[] = L"时间";
inline constexpr wchar_t kHistoryTextColumn[] = L"内容";
inline constexpr wchar_t kHistoryPathColumn[] = L"保存位置";
inline constexpr wchar_t kOpenContainingFolderCaption[] = L"打开所在文件夹";
inline constexpr wchar_t kClearHistoryCaption[] = L"清除历史记录";
inline constexpr wchar_t kHistoryCloseCaption[] = L"关闭";
inline constexpr wchar_t kClearHistoryQuestion[] = L"清除全部历史记录？清除后无法恢复。";
inline constexpr wchar_t kHistoryClearedText[] = L"历史记录已清除";
inline constexpr wchar_t kCannotClearHistoryText[] = L"无法清除历史记录";
inline constexpr wchar_t kCannotOpenContainingFolderText[] = L"无法打开所在文件夹";
inline constexpr wchar_t kNoHistoryText[] = L"没有历史记录";
inline constexpr wchar_t kNothingFoundText[] = L"没有找到记录";
// "N条记录", or "最新的N条记录" when the list holds as many as it may.
std::wstring HistoryCountText(std::size_t rows, bool bounded);

// What the user reads when the messenger cannot start: the step that failed and its cause, as the
// console gives them, after a word of advice when port 2425 is taken.
std::wstring EngineStartFailedText(const std::system_error& error);

// The paths that offers left out, for one message box: "无法发送：" and the name of each with its
// reason ("a.txt（文件不存在）"), joined by "、". Listed results are passed over.
std::wstring NotOfferedText(const std::vector<OfferResult>& results);

// CR LF line breaks as the toolkit's message boxes and labels want them: LF alone.
std::wstring ForDisplay(std::wstring text);

}  // namespace veltra
