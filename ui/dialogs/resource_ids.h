#pragma once
// Numeric identities of the dialog resources. The templates in resources/dialogs.xrc name their
// dialogs and controls with these symbols; RegisterResourceIds() binds each symbol to its number
// before the first template is loaded, so a live control's id is the number below.

namespace veltra {

inline constexpr int IDD_MAIN_PORTRAIT = 102;
inline constexpr int IDD_MAIN_LANDSCAPE = 103;
inline constexpr int IDD_COMPOSE_PORTRAIT = 130;
inline constexpr int IDD_ABOUT = 131;
inline constexpr int IDD_COMPOSE_LANDSCAPE = 132;

inline constexpr int IDI_APP_ICON = 128;
inline constexpr int IDS_SOCKET_INIT_FAILED = 103;

// Main dialog.
inline constexpr int IDC_LOG = 1001;
inline constexpr int IDC_ONLINE_COUNT = 1004;
inline constexpr int IDC_USER_LIST = 1008;
inline constexpr int IDC_PROGRESS = 1011;
inline constexpr int IDC_ABOUT = 1012;

// Compose dialog. The numbers repeat those of the main dialog: ids are unique per dialog only.
inline constexpr int IDC_MESSAGE_TEXT = 1001;
inline constexpr int IDC_SEND_FILE = 1012;
inline constexpr int IDC_RECIPIENT = 1013;
inline constexpr int IDC_SEND_FOLDER = 1014;

// Commands of the main window that no template names: its keys, the list's context menu and the
// tray icon's menu.
inline constexpr int IDM_REFRESH = 32001;
inline constexpr int IDM_OPEN_RECEIVED_FOLDER = 32002;
inline constexpr int IDM_QUIT = 32003;
inline constexpr int IDM_CANCEL_RECEIVING = 32006;
// The tray icon's menu; it opens the received folder and quits with the commands above.
inline constexpr int IDM_SHOW_HIDE_WINDOW = 32004;
inline constexpr int IDM_AUTOSTART = 32005;
// The list's context menu and the tray icon's menu: the settings dialog.
inline constexpr int IDM_SETTINGS = 32007;
// The list's context menu and the tray icon's menu: the history window.
inline constexpr int IDM_HISTORY = 32020;

}  // namespace veltra
