#pragma once
// The program's icon in the desktop's tray, with the main window's menu: a StatusNotifierItem
// where the session runs a watcher for them (current desktops), else the toolkit's own tray icon
// where an X tray is there, else none. It shows whether something waits unread.

#include <wx/image.h>
#include <wx/menu.h>

#include <memory>

namespace veltra {

class TrayIcon {
  public:
    virtual ~TrayIcon() = default;
    // The icon with a mark while something waits unread, plain otherwise.
    virtual void ShowUnread(bool unread) = 0;
};

// menu (which must outlive the icon) opens from the icon; a click on the icon, where the desktop
// hands one to the program (the toolkit's tray icon: the left button; a StatusNotifierItem: the
// middle one), runs menu's command click_command. Nothing where the desktop has no tray.
std::unique_ptr<TrayIcon> CreateDesktopTrayIcon(wxMenu& menu, int click_command);

// The icon's picture: the program's icon, with a mark in its lower right corner while something
// waits unread.
wxImage TrayImage(bool unread);

}  // namespace veltra
