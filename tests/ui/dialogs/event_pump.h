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
// The size event the window system sends after a resize.
void SendSizeEvent(wxWindow& window);

}  // namespace veltra::testing
