#pragma once
// An event on its way from a worker thread to a window's event handler. The toolkit event owns
// the posted event until the handler takes it on the UI thread.

#include <wx/event.h>

#include "common/events.h"

namespace veltra {

class PostedEvent : public wxThreadEvent {
  public:
    explicit PostedEvent(Event event);

    // The event, moved out: a handler takes it once.
    Event Take() { return std::move(event_); }

    // The toolkit clones an event only to queue the copy in place of the original, which it then
    // discards; so the event moves to the copy instead of being duplicated.
    wxEvent* Clone() const override;

  private:
    mutable Event event_;
};

wxDECLARE_EVENT(EVT_POSTED, PostedEvent);

// Queues event for target's UI thread. Safe from any thread; never waits.
void QueuePostedEvent(wxEvtHandler& target, Event event);

}  // namespace veltra
