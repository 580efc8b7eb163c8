#include "ui/dialogs/posted_event.h"

#include <utility>

namespace veltra {

void PostedEvents::Add(Event event) {
    bool first = false;
    {
        std::lock_guard guard(mutex_);
        first = events_.Empty();
        events_.Add(std::move(event));
    }
    if (first) {
        wake_();
    }
}

std::vector<Event> PostedEvents::TakeAll() {
    std::lock_guard guard(mutex_);
    return events_.TakeAll();
}

}  // namespace veltra
