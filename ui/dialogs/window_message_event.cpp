#include "ui/dialogs/window_message_event.h"

#include <memory>
#include <utility>

namespace veltra {

wxDEFINE_EVENT(EVT_WINDOW_MESSAGE, WindowMessageEvent);

WindowMessageEvent::WindowMessageEvent(platform::WindowMessage message)
    : wxThreadEvent(EVT_WINDOW_MESSAGE), message_(std::move(message)) {}

wxEvent* WindowMessageEvent::Clone() const {
    auto copy = std::make_unique<WindowMessageEvent>(std::move(message_));
    copy->SetId(GetId());
    copy->SetEventObject(GetEventObject());
    // Ownership passes to the toolkit, like that of any event it clones.
    return copy.release();
}

void QueueWindowMessage(wxEvtHandler& target, platform::WindowMessage message) {
    // wxQueueEvent takes ownership of the heap event; it is deleted after it has been handled.
    wxQueueEvent(&target, std::make_unique<WindowMessageEvent>(std::move(message)).release());
}

}  // namespace veltra
