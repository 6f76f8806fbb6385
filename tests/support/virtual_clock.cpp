#include "tests/support/virtual_clock.h"

#include <iterator>

namespace orvana::testing {

VirtualClock::VirtualClock(TimeT start, bool autoAdvance)
    : nowMs_(start * 1000), auto_(autoAdvance) {}

TimeT VirtualClock::now() const {
    std::lock_guard lock(mutex_);
    return nowMs_ / 1000;
}

std::int64_t VirtualClock::nowMs() const {
    std::lock_guard lock(mutex_);
    return nowMs_;
}

void VirtualClock::sleepFor(std::chrono::milliseconds d) {
    ++sleepCalls_;
    sleptMs_ += d.count();
    std::unique_lock lock(mutex_);
    const std::int64_t deadline = nowMs_ + d.count();
    if (auto_) {
        if (nowMs_ < deadline)
            nowMs_ = deadline;
        changed_.notify_all();
        return;
    }
    const auto mine = deadlines_.insert(deadline);
    changed_.notify_all();
    const auto realDeadline = std::chrono::steady_clock::now() + realLimit;
    while (nowMs_ < deadline && !auto_) {
        if (changed_.wait_until(lock, realDeadline) == std::cv_status::timeout)
            break;
    }
    if (auto_ && nowMs_ < deadline)
        nowMs_ = deadline;
    deadlines_.erase(mine);
    changed_.notify_all();
}

void VirtualClock::setAutoAdvance(bool on) {
    std::lock_guard lock(mutex_);
    auto_ = on;
    changed_.notify_all();
}

void VirtualClock::setNow(TimeT t) {
    setNowMs(t * 1000);
}

void VirtualClock::setNowMs(std::int64_t ms) {
    std::lock_guard lock(mutex_);
    nowMs_ = ms;
    changed_.notify_all();
}

void VirtualClock::advance(std::chrono::milliseconds d) {
    std::lock_guard lock(mutex_);
    nowMs_ += d.count();
    changed_.notify_all();
}

int VirtualClock::asleepLocked() const {
    return static_cast<int>(std::distance(deadlines_.upper_bound(nowMs_), deadlines_.end()));
}

int VirtualClock::sleepers() const {
    std::lock_guard lock(mutex_);
    return asleepLocked();
}

bool VirtualClock::waitForSleepers(int n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return asleepLocked() >= n; });
}

}  // namespace orvana::testing
