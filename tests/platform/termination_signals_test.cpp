// The requests to end that a program takes as input: each of the three signals is taken, none
// ends the process, and Interrupt ends the wait.
#include "platform/termination_signals.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <csignal>

namespace veltra::platform {
namespace {

TEST(TerminationSignals, EachRequestToEndIsTakenAndInterruptEndsTheWait) {
    const TerminationSignals signals;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        // To this thread, which holds them back: the process goes on, and Wait has it.
        ASSERT_EQ(pthread_kill(pthread_self(), signal), 0);
        EXPECT_EQ(signals.Wait(), signal);
    }
    signals.Interrupt();
    EXPECT_EQ(signals.Wait(), 0);
    EXPECT_EQ(signals.Wait(), 0) << "and at once on every later call";
}

// A request that insists ends the process as the signal itself would, though it is held back.
TEST(TerminationSignalsDeathTest, EndAtOnceEndsAsTheSignalWould) {
    EXPECT_EXIT(
        {
            const TerminationSignals signals;
            TerminationSignals::EndAtOnce(SIGTERM);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
}  // namespace veltra::platform
