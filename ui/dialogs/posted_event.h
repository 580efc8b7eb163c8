#pragma once
// Events on their way from worker threads to a window's UI thread. They wait in one batch; the
// first event of a batch asks the toolkit to wake the UI thread once, and the UI thread then takes
// the whole batch, so a burst of events costs one wake-up, not one per event. A file's progress
// events that pile up collapse into the latest one (EventBatch).

#include <functional>
#include <mutex>
#include <vector>

#include "common/events.h"
#include "ui/presentation/event_batch.h"

namespace veltra {

class PostedEvents {
  public:
    // wake runs on the posting thread, outside the lock, when an event starts a new batch; it
    // must arrange for TakeAll on the UI thread and never wait.
    explicit PostedEvents(std::function<void()> wake) : wake_(std::move(wake)) {}

    // Any thread; never waits for the event to be handled.
    void Add(Event event);
    // The UI thread: every event waiting, oldest first.
    std::vector<Event> TakeAll();

  private:
    const std::function<void()> wake_;
    std::mutex mutex_;
    EventBatch<Event> events_;
};

}  // namespace veltra
