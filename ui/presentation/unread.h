#pragma once
// Whether something waits that the user has not seen: a message, or a batch of files that ended,
// while the window was hidden or not the one in use. The tray's icon shows it until the window
// is shown again.

#include "common/events.h"

namespace veltra {

class UnreadState {
  public:
    // window_seen: the window is shown and the one in use. Each call says whether the state
    // changed, so that the icon is redrawn only then.
    bool MessageArrived(bool window_seen);
    // A batch counts when it brought files or ended with failed entries: either has a line in the
    // log to read.
    bool BatchEnded(const FilesReceived& batch, bool window_seen);
    // The window was shown, or came into use: what waited has been seen.
    bool WindowSeen();

    bool Unread() const { return unread_; }

  private:
    bool Arrived(bool window_seen);

    bool unread_ = false;
};

}  // namespace veltra
