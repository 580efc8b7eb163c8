#pragma once
// A platform::WindowMessage on its way from a worker thread to a window's event handler. The
// event owns the message and its payload until the handler takes them on the UI thread.

#include <wx/event.h>

#include "platform/window.h"

namespace veltra {

class WindowMessageEvent : public wxThreadEvent {
  public:
    explicit WindowMessageEvent(platform::WindowMessage message);

    // The message, moved out: a handler takes it once.
    platform::WindowMessage TakeMessage() { return std::move(message_); }

    // The toolkit clones an event only to queue the copy in place of the original, which it then
    // discards; so the message moves to the copy instead of being duplicated.
    wxEvent* Clone() const override;

  private:
    mutable platform::WindowMessage message_;
};

wxDECLARE_EVENT(EVT_WINDOW_MESSAGE, WindowMessageEvent);

// Queues message for target's UI thread. Safe from any thread; never waits.
void QueueWindowMessage(wxEvtHandler& target, platform::WindowMessage message);

}  // namespace veltra
