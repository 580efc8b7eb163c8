#include "event_pump.h"

#include <wx/app.h>
#include <wx/utils.h>

#include <chrono>
#include <thread>
#include <utility>

namespace veltra::testing {
namespace {

void PumpOnce() {
    if (wxTheApp != nullptr) {
        wxTheApp->ProcessPendingEvents();
        wxTheApp->Yield(true);
    }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (true) {
        PumpOnce();
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void PumpPending(int duration_ms) {
    PumpUntil([] { return false; }, duration_ms);
}

}  // namespace veltra::testing

namespace veltra::testing {

void WhenModal(wxDialog& dialog, std::function<void()> action) {
    dialog.CallAfter([&dialog, action = std::move(action)]() mutable {
        if (dialog.IsModal()) {
            action();
        } else {
            WhenModal(dialog, std::move(action));
        }
    });
}

void ClickButton(wxWindow& dialog, int id) {
    wxWindow* button = dialog.FindWindow(id);
    if (button == nullptr) {
        return;
    }
    wxCommandEvent click(wxEVT_BUTTON, id);
    click.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(click);
}

void PressKeyIn(wxWindow& window, int key, int modifiers) {
    for (const wxEventType type : {wxEVT_CHAR_HOOK, wxEVT_KEY_DOWN, wxEVT_CHAR}) {
        wxKeyEvent press(type);
        press.m_keyCode = key;
        press.SetControlDown((modifiers & wxMOD_CONTROL) != 0);
        press.SetShiftDown((modifiers & wxMOD_SHIFT) != 0);
        press.SetEventObject(&window);
        if (window.GetEventHandler()->ProcessEvent(press)) {
            return;
        }
    }
}

void SendSizeEvent(wxWindow& window) {
    wxSizeEvent event(window.GetSize(), window.GetId());
    event.SetEventObject(&window);
    window.GetEventHandler()->ProcessEvent(event);
}

}  // namespace veltra::testing
