#include "ui/dialogs/tray_icon.h"

#include <wx/bitmap.h>
#include <wx/taskbar.h>

#include <algorithm>
#include <cmath>

#include "ui/dialogs/dialog_resources.h"
#include "ui/dialogs/dialog_texts.h"
#include "ui/dialogs/indicator_tray_icon.h"

namespace veltra {
namespace {

struct Colour {
    double red;
    double green;
    double blue;
};

constexpr Colour kMarkColour{229, 57, 53};
constexpr Colour kRingColour{255, 255, 255};

// Lays colour over one pixel of image, covering the share coverage (0 to 1) of it.
void Blend(wxImage& image, int x, int y, const Colour& colour, double coverage) {
    const double under = image.GetAlpha(x, y) / 255.0;
    const double alpha = coverage + under * (1 - coverage);
    if (alpha <= 0) {
        return;
    }
    const auto mix = [&](double over, unsigned char below) {
        return static_cast<unsigned char>(
            std::lround((over * coverage + below * under * (1 - coverage)) / alpha));
    };
    image.SetRGB(x, y, mix(colour.red, image.GetRed(x, y)), mix(colour.green, image.GetGreen(x, y)),
                 mix(colour.blue, image.GetBlue(x, y)));
    image.SetAlpha(x, y, static_cast<unsigned char>(std::lround(alpha * 255)));
}

// A red dot with a white ring in the lower right corner, its edges smoothed: it must stay a dot at
// the 16 to 24 pixels that trays draw icons at.
void DrawUnreadMark(wxImage& image) {
    const int size = std::min(image.GetWidth(), image.GetHeight());
    const double ring = std::max(1.0, size / 24.0);
    const double radius = size * 0.22;
    const double centre_x = image.GetWidth() - radius - ring;
    const double centre_y = image.GetHeight() - radius - ring;
    for (int y = 0; y < image.GetHeight(); ++y) {
        for (int x = 0; x < image.GetWidth(); ++x) {
            const double distance = std::hypot(x + 0.5 - centre_x, y + 0.5 - centre_y);
            const double outer = std::clamp(radius + ring - distance + 0.5, 0.0, 1.0);
            if (outer <= 0) {
                continue;
            }
            const double inner = std::clamp(radius - distance + 0.5, 0.0, 1.0);
            const Colour colour{kRingColour.red + (kMarkColour.red - kRingColour.red) * inner,
                                kRingColour.green + (kMarkColour.green - kRingColour.green) * inner,
                                kRingColour.blue + (kMarkColour.blue - kRingColour.blue) * inner};
            Blend(image, x, y, colour, outer);
        }
    }
}

// The toolkit's tray icon (an XEmbed tray): the menu on the right button, the window on the left.
class ToolkitTrayIcon final : public TrayIcon {
  public:
    ToolkitTrayIcon(wxMenu& menu, int click_command)
        : icon_(std::make_unique<Icon>(menu).release()) {
        icon_->Bind(wxEVT_TASKBAR_LEFT_DOWN,
                    [&menu, click_command](wxTaskBarIconEvent&) { menu.SendEvent(click_command); });
        ShowUnread(false);
    }

    void ShowUnread(bool unread) override {
        icon_->SetIcon(wxBitmapBundle(wxBitmap(TrayImage(unread))), TrayTooltip(unread));
    }

  private:
    class Icon : public wxTaskBarIcon {
      public:
        explicit Icon(wxMenu& menu) : menu_(menu) {}

      protected:
        // Shown, not deleted, by the toolkit: the main window keeps the one menu.
        wxMenu* GetPopupMenu() override { return &menu_; }

      private:
        wxMenu& menu_;
    };

    struct Removal {
        void operator()(Icon* icon) const {
            icon->RemoveIcon();
            // Deleted later, when the toolkit is idle: the icon may be inside its own menu's
            // handler now (the menu's quit).
            icon->Destroy();
        }
    };

    std::unique_ptr<Icon, Removal> icon_;
};

}  // namespace

wxImage TrayImage(bool unread) {
    wxBitmap bitmap;
    bitmap.CopyFromIcon(AppIcon());
    wxImage image = bitmap.ConvertToImage();
    if (!image.HasAlpha()) {
        image.InitAlpha();
    }
    if (unread) {
        DrawUnreadMark(image);
    }
    return image;
}

std::unique_ptr<TrayIcon> CreateDesktopTrayIcon(wxMenu& menu, int click_command) {
    if (StatusNotifierWatcherRuns()) {
        if (std::unique_ptr<TrayIcon> indicator = CreateIndicatorTrayIcon(menu, click_command)) {
            return indicator;
        }
    }
    if (wxTaskBarIcon::IsAvailable()) {
        return std::make_unique<ToolkitTrayIcon>(menu, click_command);
    }
    return nullptr;
}

}  // namespace veltra
