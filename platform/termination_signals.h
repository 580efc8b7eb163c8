#pragma once
// The signals that ask a program to end (SIGTERM from the system or a logout, SIGHUP from a
// terminal that closed, SIGINT from Ctrl+C), taken as a request rather than as the end itself:
// the program then ends the way it ends normally.

#include <signal.h>

#include "platform/owned_descriptor.h"

namespace veltra::platform {

class TerminationSignals {
  public:
    // Holds those signals back in the calling thread, and so in every thread it starts from now
    // on, to be taken by Wait. Call it before any other thread starts: a thread that is already
    // running would still be ended by them. They stay held back once this object has gone: a
    // second request that comes while the program ends is part of that end, not a kill in the
    // middle of it, unless its owner says otherwise (EndAtOnce). Throws std::system_error with the
    // errno when it cannot ("cannot take the termination signals: ...").
    TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Blocks until one of the signals comes (its number) or until Interrupt (0, then at once on
    // every later call).
    int Wait() const;
    // Ends the wait of Wait; any thread.
    void Interrupt() const;
    // Ends the process at once as signal would have ended it had nobody taken it: for a request
    // that insists (a second Ctrl+C while the first one's end is still under way).
    [[noreturn]] static void EndAtOnce(int signal);

  private:
    OwnedDescriptor signals_;
    OwnedDescriptor wake_;
};

}  // namespace veltra::platform
