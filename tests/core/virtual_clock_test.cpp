// The virtual clock that threaded tests step: a sleeper whose deadline has
// passed stops counting as asleep at once, before it is scheduled to wake,
// so "every thread sleeps" never holds while one of them still has work.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/virtual_clock.h"

namespace orvana::testing {
namespace {

using namespace std::chrono_literals;

TEST(VirtualClock, ASleeperIsAwakeAsSoonAsItsDeadlinePasses) {
    VirtualClock clock(1700000000);
    std::thread shortSleeper([&] { clock.sleepFor(100ms); });
    std::thread longSleeper([&] { clock.sleepFor(1000ms); });
    ASSERT_TRUE(clock.waitForSleepers(2));
    clock.advance(100ms);
    // Whether or not the short sleeper has run yet, only the long one sleeps.
    EXPECT_EQ(clock.sleepers(), 1);
    shortSleeper.join();
    EXPECT_EQ(clock.sleepers(), 1);
    clock.advance(899ms);
    EXPECT_EQ(clock.sleepers(), 1) << "one millisecond before its deadline";
    clock.advance(1ms);
    EXPECT_EQ(clock.sleepers(), 0);
    longSleeper.join();
    EXPECT_EQ(clock.sleepCalls(), 2);
}

}  // namespace
}  // namespace orvana::testing
