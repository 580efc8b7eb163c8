#pragma once
// The tray icon as a StatusNotifierItem (through libayatana-appindicator): the convention of
// current desktops, whose tray hosts show the icon and its menu.

#include <wx/menu.h>

#include <memory>

#include "ui/dialogs/tray_icon.h"

namespace veltra {

// Whether the session bus has a StatusNotifierWatcher, which hosts of such icons run. Without a
// session bus there is none; a bus is never started for the question.
bool StatusNotifierWatcherRuns();

// The icon with menu (see CreateDesktopTrayIcon); nothing when its pictures cannot be written
// where the tray host reads them.
std::unique_ptr<TrayIcon> CreateIndicatorTrayIcon(wxMenu& menu, int click_command);

}  // namespace veltra
