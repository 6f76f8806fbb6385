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
        host_.WaitAllMailSend();
        lock_.release();
        return;
    }
    if (!asleep_)
        return;
    asleep_ = false;
    sup_.OnResume();
    if (!ended_)
        lock_.acquire();
}

void SessionGuard::onSessionEnding() {
    endSession();
    lock_.release();
}

}  // namespace orvana
