// A clock whose time moves only when a test says so, or, in auto-advance
// mode, whenever somebody sleeps. Sleeping threads wake when the time passes
// their deadline, so threaded code is driven in virtual time.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "core/clock.h"

namespace orvana::testing {

class VirtualClock final : public Clock {
  public:
    // start: the initial time in seconds since 1970.
    explicit VirtualClock(TimeT start = 1700000000, bool autoAdvance = false);

    TimeT now() const override;
    std::int64_t nowMs() const override;

    // Auto-advance: moves the time to the deadline and returns. Otherwise
    // blocks until advance() passes the deadline; as a guard against a test
    // that forgets to advance, it also returns after `realLimit` of real time.
    void sleepFor(std::chrono::milliseconds d) override;

    void setAutoAdvance(bool on);
    void setNow(TimeT t);
    void setNowMs(std::int64_t ms);
    void advance(std::chrono::milliseconds d);
    void advanceSeconds(std::int64_t s) { advance(std::chrono::seconds(s)); }

    // Number of threads blocked in sleepFor whose deadline is still ahead.
    // A thread whose deadline an advance() has passed no longer counts, even
    // before it has been scheduled to wake: otherwise a test that steps while
    // "everyone sleeps" could step again past a starved thread.
    int sleepers() const;
    // Waits (in real time, at most `timeout`) until at least n threads sleep.
    bool waitForSleepers(int n, std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    // Total number of sleepFor calls so far.
    long sleepCalls() const { return sleepCalls_.load(); }
    // Sum of all requested sleep durations in ms.
    long long sleptMs() const { return sleptMs_.load(); }

    std::chrono::milliseconds realLimit{std::chrono::seconds(20)};

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::int64_t nowMs_;
    bool auto_;
    int asleepLocked() const;
    std::multiset<std::int64_t> deadlines_;  // of the threads in sleepFor
    std::atomic<long> sleepCalls_{0};
    std::atomic<long long> sleptMs_{0};
};

}  // namespace orvana::testing
