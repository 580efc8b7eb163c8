#include "ui/presentation/unread.h"

#include <utility>

namespace veltra {

bool UnreadState::MessageArrived(bool window_seen) {
    return Arrived(window_seen);
}

bool UnreadState::BatchEnded(const FilesReceived& batch, bool window_seen) {
    if (batch.count <= 0 && batch.failed <= 0) {
        return false;
    }
    return Arrived(window_seen);
}

bool UnreadState::WindowSeen() {
    return std::exchange(unread_, false);
}

bool UnreadState::Arrived(bool window_seen) {
    if (window_seen || unread_) {
        return false;
    }
    unread_ = true;
    return true;
}

}  // namespace veltra
