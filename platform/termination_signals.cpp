#include "platform/termination_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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

int TerminationSignals::Wait() const {
    for (;;) {
        pollfd waiting[2] = {{wake_.Get(), POLLIN, 0}, {signals_.Get(), POLLIN, 0}};
        if (poll(waiting, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return 0;
        }
        if (waiting[0].revents != 0) {
            return 0;
        }
        signalfd_siginfo taken{};
        if (read(signals_.Get(), &taken, sizeof taken) == static_cast<ssize_t>(sizeof taken)) {
            return static_cast<int>(taken.ssi_signo);
        }
    }
}

void TerminationSignals::EndAtOnce(int signal) {
    std::signal(signal, SIG_DFL);
    sigset_t just_it;
    sigemptyset(&just_it);
    sigaddset(&just_it, signal);
    pthread_sigmask(SIG_UNBLOCK, &just_it, nullptr);
    raise(signal);
    _exit(128 + signal);  // the signal's default is to go on: end all the same, as a shell says
}

void TerminationSignals::Interrupt() const {
    const std::uint64_t one = 1;
    // A wake already pending serves as well: a failed write changes nothing.
    [[maybe_unused]] const ssize_t written = write(wake_.Get(), &one, sizeof one);
}

}  // namespace veltra::platform
