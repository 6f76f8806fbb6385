#include "supervision/session_guard.h"

namespace orvana {
namespace {

class NoInhibitor final : public InhibitorLock {
  public:
    bool acquire() override { return false; }
    void release() override {}
    bool held() const override { return false; }
};

}  // namespace

std::unique_ptr<InhibitorLock> makeNoInhibitor() {
    return std::make_unique<NoInhibitor>();
}

SessionGuard::SessionGuard(Supervisor& supervisor, SupervisorHost& host, InhibitorLock& lock)
    : sup_(supervisor), host_(host), lock_(lock) {}

void SessionGuard::start() {
    lock_.acquire();
}

void SessionGuard::endSession() {
    if (ended_)
        return;
    ended_ = true;
    markerBefore_ = host_.store().getInt(kSection, "REBOOT", 0);
    sup_.OnQueryEndSession();
    sup_.OnEndSession(true);
}

void SessionGuard::onPrepareForShutdown(bool active) {
    if (active) {
        endSession();
        lock_.release();
        return;
    }
    if (ended_) {
        ended_ = false;
        host_.setReportingEnabled(true);
        if (host_.store().getInt(kSection, "REBOOT", 0) != markerBefore_) {
            host_.store().writeInt(kSection, "REBOOT", markerBefore_);
            host_.store().sync();
        }
    }
    lock_.acquire();
}

void SessionGuard::onPrepareForSleep(bool active) {
    if (active) {
        if (asleep_)
            return;
        asleep_ = true;
        sup_.OnSuspend();
        // The notice gets its chance to leave before the machine sleeps,
        // while the UI thread goes on running the monitors.
        const int sleep = ++sleeps_;
        releasePending_ = true;
        host_.WhenMailSent([this, sleep] {
            if (sleep != sleeps_ || !releasePending_)
                return;  // woken up meanwhile: the lock stays
            releasePending_ = false;
            lock_.release();
        });
        return;
    }
    if (!asleep_)
        return;
    asleep_ = false;
    sup_.OnResume();
    if (releasePending_) {
        // Woken before the lock was let go: it is still held.
        releasePending_ = false;
        return;
    }
    if (!ended_)
        lock_.acquire();
}

void SessionGuard::onSessionEnding() {
    endSession();
    lock_.release();
}

}  // namespace orvana
