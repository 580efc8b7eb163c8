#pragma once
// Driving the UI thread from a test: handle what is queued as the main loop would, and act on
// dialogs as a user would.

#include <wx/dialog.h>

#include <functional>

namespace veltra::testing {

// Handles queued events (posted messages, CallAfter calls, toolkit events) until done() holds
// or timeout_ms has passed; whether done() held.
bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 5000);
// Handles everything queued now, and what that queues in turn, for a short while.
void PumpPending(int duration_ms = 50);

// Runs action once dialog's modal run has begun (for driving ShowModal from the test).
void WhenModal(wxDialog& dialog, std::function<void()> action);
// A click on the button with id, delivered as the button delivers it.
void ClickButton(wxWindow& dialog, int id);
// A key pressed while window has the focus, delivered as the toolkit delivers it: first as the
// char hook that goes up from window to its top-level window, then, as long as nothing took it,
// as a key down and a char to window itself. modifiers: wxMOD_CONTROL, wxMOD_SHIFT or wxMOD_NONE.
void PressKeyIn(wxWindow& window, int key, int modifiers = wxMOD_NONE);
// The size event the window system sends after a resize.
void SendSizeEvent(wxWindow& window);

}  // namespace veltra::testing
