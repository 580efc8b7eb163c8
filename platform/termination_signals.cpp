#include "platform/termination_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

namespace veltra::platform {
namespace {

sigset_t EndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGINT);
    return set;
}

[[noreturn]] void ThrowCannotTake(int error, const char* step) {
    throw std::system_error(error, std::generic_category(),
                            std::string("cannot take the termination signals: ") + step);
}

}  // namespace

TerminationSignals::TerminationSignals() {
    const sigset_t ending = EndingSignals();
    sigset_t previous;
    if (const int error = pthread_sigmask(SIG_BLOCK, &ending, &previous); error != 0) {
        ThrowCannotTake(error, "pthread_sigmask");
    }
    signals_.Reset(signalfd(-1, &ending, SFD_CLOEXEC | SFD_NONBLOCK));
    wake_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!signals_.Valid() || !wake_.Valid()) {
        const int error = errno;
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);  // nobody would take them
        ThrowCannotTake(error, signals_.Valid() ? "eventfd" : "signalfd");
    }
}

bool TerminationSignals::Wait() const {
    for (;;) {
        pollfd waiting[2] = {{wake_.Get(), POLLIN, 0}, {signals_.Get(), POLLIN, 0}};
        if (poll(waiting, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (waiting[0].revents != 0) {
            return false;
        }
        signalfd_siginfo taken{};
        if (read(signals_.Get(), &taken, sizeof taken) == static_cast<ssize_t>(sizeof taken)) {
            return true;
        }
    }
}

void TerminationSignals::Interrupt() const {
    const std::uint64_t one = 1;
    // A wake already pending serves as well: a failed write changes nothing.
    [[maybe_unused]] const ssize_t written = write(wake_.Get(), &one, sizeof one);
}

}  // namespace veltra::platform
