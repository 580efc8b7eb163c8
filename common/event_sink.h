#pragma once
// Where the worker threads post their events. Worker threads never touch the screen: they post an
// event and go on; the front end that owns the sink handles it later on its own thread.

#include "common/events.h"

namespace veltra {

// Implemented by each front end (and by the tests' recorder).
class EventSink {
  public:
    virtual ~EventSink() = default;
    // Any thread; never waits for the event to be handled.
    virtual void Post(Event event) = 0;
};

}  // namespace veltra
