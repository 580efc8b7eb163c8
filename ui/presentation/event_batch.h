#pragma once
// The events waiting for a front end's thread, in the order they came, handed out a whole batch at
// a time. A file's progress only ever needs its latest count: a progress event that comes while
// an earlier one of the same file still waits takes that one's place, so a front end that falls
// behind a fast transfer catches up with one line instead of a backlog. Not locked: the front end
// holds its own lock around it.

#include <algorithm>
#include <cstddef>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "common/events.h"

namespace veltra {

// Item is Event, or a variant holding Event beside the front end's own items (its input lines).
template <typename Item>
class EventBatch {
  public:
    // Appends item; a progress event instead takes the place of its file's progress still
    // waiting. True when it was appended.
    bool Add(Item item) {
        if (Replaces(item)) {
            items_[*progress_at_] = std::move(item);
            return false;
        }
        if (const Event* event = AsEvent(item)) {
            if (std::holds_alternative<FileProgress>(*event)) {
                progress_at_ = items_.size();
            } else if (EndsProgress(*event)) {
                progress_at_.reset();
            }
        }
        items_.push_back(std::move(item));
        return true;
    }

    // Whether Add(item) would take the place of a waiting event rather than append.
    bool Replaces(const Item& item) const {
        const Event* event = AsEvent(item);
        return progress_at_ && event != nullptr && std::holds_alternative<FileProgress>(*event);
    }

    // The waiting items, oldest first.
    const std::vector<Item>& Items() const { return items_; }
    bool Empty() const { return items_.empty(); }

    // Drops the waiting item at index (a front end with a bound makes room).
    void Erase(std::size_t index) {
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
        if (progress_at_ && *progress_at_ == index) {
            progress_at_.reset();
        } else if (progress_at_ && *progress_at_ > index) {
            --*progress_at_;
        }
    }

    // Every waiting item, oldest first; none waits after.
    std::vector<Item> TakeAll() {
        progress_at_.reset();
        std::vector<Item> taken = std::exchange(items_, {});
        // The next batch is likely as large: room for it now spares the steps of growing.
        items_.reserve(std::min(taken.size(), kReservedItems));
        return taken;
    }

    static const Event* AsEvent(const Item& item) {
        if constexpr (std::is_same_v<Item, Event>) {
            return &item;
        } else {
            return std::get_if<Event>(&item);
        }
    }

  private:
    static constexpr std::size_t kReservedItems = 1024;

    // A progress event belongs to the file last started: past the start or the end of a file (or
    // of its batch), a waiting progress event is another file's and stays as it is.
    static bool EndsProgress(const Event& event) {
        return std::holds_alternative<FileStarted>(event) ||
               std::holds_alternative<FileDone>(event) ||
               std::holds_alternative<BatchStarted>(event) ||
               std::holds_alternative<FilesReceived>(event);
    }

    std::vector<Item> items_;
    std::optional<std::size_t> progress_at_;  // the waiting progress a new one would replace
};

}  // namespace veltra
