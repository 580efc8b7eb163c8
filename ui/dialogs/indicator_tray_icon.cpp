#include "ui/dialogs/indicator_tray_icon.h"

#include <gio/gio.h>
#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/data_folder.h"
#include "ui/dialogs/dialog_texts.h"

namespace veltra {
namespace {

constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";
// The icons' names; the tray host finds them as PNG files in the folder the icon names.
constexpr char kIconName[] = "veltra-tray";
constexpr char kUnreadIconName[] = "veltra-tray-unread";
// How long the question to the bus may take before the tray is taken for missing.
constexpr int kBusTimeoutMs = 2000;

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GVariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

// The icons in the user's data folder, written anew at every start so that they follow the
// program's icon; the folder, or nothing when they cannot be written.
std::optional<std::string> WriteIcons() {
    const std::optional<platform::Path> data =
        platform::UserDataFolder(platform::MissingFolder::kMake);
    if (!data) {
        return std::nullopt;
    }
    const std::string folder = data->Host() + "/tray";
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    if (made) {
        return std::nullopt;
    }
    for (const bool unread : {false, true}) {
        const std::string file = folder + "/" + (unread ? kUnreadIconName : kIconName) + ".png";
        if (!TrayImage(unread).SaveFile(wxString::FromUTF8(file), wxBITMAP_TYPE_PNG)) {
            return std::nullopt;
        }
    }
    return folder;
}

class IndicatorTrayIcon final : public TrayIcon {
  public:
    IndicatorTrayIcon(wxMenu& menu, int click_command, const std::string& icon_folder)
        : indicator_(
              app_indicator_new("veltra", kIconName, APP_INDICATOR_CATEGORY_COMMUNICATIONS)) {
        AppIndicator* indicator = indicator_.get();
        app_indicator_set_icon_theme_path(indicator, icon_folder.c_str());
        const std::string title = wxString(TrayTooltip(false)).utf8_string();
        app_indicator_set_icon_full(indicator, kIconName, title.c_str());
        const std::string unread_title = wxString(TrayTooltip(true)).utf8_string();
        app_indicator_set_attention_icon_full(indicator, kUnreadIconName, unread_title.c_str());
        app_indicator_set_title(indicator, title.c_str());
        // The toolkit's menu is a GTK menu: the indicator publishes it to the tray host, whose
        // choices activate its items, and so reach the menu's handlers.
        app_indicator_set_menu(indicator, GTK_MENU(menu.m_menu));
        if (const wxMenuItem* item = menu.FindItem(click_command)) {
            app_indicator_set_secondary_activate_target(indicator, item->GetMenuItem());
        }
        app_indicator_set_status(indicator, APP_INDICATOR_STATUS_ACTIVE);
    }
    IndicatorTrayIcon(const IndicatorTrayIcon&) = delete;
    IndicatorTrayIcon& operator=(const IndicatorTrayIcon&) = delete;
    ~IndicatorTrayIcon() override {
        // The tray host drops the icon now, not when the program's bus connection ends.
        app_indicator_set_status(indicator_.get(), APP_INDICATOR_STATUS_PASSIVE);
    }

    void ShowUnread(bool unread) override {
        app_indicator_set_status(indicator_.get(), unread ? APP_INDICATOR_STATUS_ATTENTION
                                                          : APP_INDICATOR_STATUS_ACTIVE);
    }

  private:
    GObjectPtr<AppIndicator> indicator_;
};

}  // namespace

bool StatusNotifierWatcherRuns() {
    // Without a bus's address GIO would start a bus of its own (autolaunch) to answer.
    const char* runtime = g_getenv("XDG_RUNTIME_DIR");
    const bool bus_known =
        g_getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr ||
        (runtime != nullptr &&
         g_file_test((std::string(runtime) + "/bus").c_str(), G_FILE_TEST_EXISTS));
    if (!bus_known) {
        return false;
    }
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    if (!bus) {
        return false;
    }
    GError* raw_error = nullptr;
    const std::unique_ptr<GVariant, GVariantUnref> reply(g_dbus_connection_call_sync(
        bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", kWatcherName), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, kBusTimeoutMs, nullptr, &raw_error));
    const std::unique_ptr<GError, GErrorFree> error(raw_error);
    if (!reply) {
        return false;
    }
    gboolean owned = FALSE;
    g_variant_get(reply.get(), "(b)", &owned);
    return owned != FALSE;
}

std::unique_ptr<TrayIcon> CreateIndicatorTrayIcon(wxMenu& menu, int click_command) {
    const std::optional<std::string> icon_folder = WriteIcons();
    if (!icon_folder) {
        return nullptr;
    }
    return std::make_unique<IndicatorTrayIcon>(menu, click_command, *icon_folder);
}

}  // namespace veltra
