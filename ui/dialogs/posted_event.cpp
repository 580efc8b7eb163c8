#include "ui/dialogs/posted_event.h"

#include <memory>
#include <utility>

namespace veltra {

wxDEFINE_EVENT(EVT_POSTED, PostedEvent);

PostedEvent::PostedEvent(Event event) : wxThreadEvent(EVT_POSTED), event_(std::move(event)) {}

wxEvent* PostedEvent::Clone() const {
    auto copy = std::make_unique<PostedEvent>(std::move(event_));
    copy->SetId(GetId());
    copy->SetEventObject(GetEventObject());
    // Ownership passes to the toolkit, like that of any event it clones.
    return copy.release();
}

void QueuePostedEvent(wxEvtHandler& target, Event event) {
    // wxQueueEvent takes ownership of the heap event; it is deleted after it has been handled.
    wxQueueEvent(&target, std::make_unique<PostedEvent>(std::move(event)).release());
}

}  // namespace veltra
