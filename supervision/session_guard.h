// End of session, sleep and resume: runs the supervisor's steps when the
// system ends the session, goes to sleep or wakes up, and holds the system's
// "delay" lock meanwhile so the notices get a chance to go out.
#pragma once

#include <memory>

#include "supervision/supervisor.h"

namespace orvana {

// A lock that makes the system wait a little before it shuts down or
// sleeps (on Linux a logind "delay" inhibitor for "shutdown:sleep").
class InhibitorLock {
  public:
    virtual ~InhibitorLock() = default;
    // Takes the lock unless held. Returns true when it is held afterwards,
    // false when the system offers no such lock (no bus, no logind); the
    // program then runs without it. UI thread.
    virtual bool acquire() = 0;
    // Lets the system go on. No effect when not held. UI thread.
    virtual void release() = 0;
    virtual bool held() const = 0;
};

// A lock that is never available (systems without one, tests). Never null.
std::unique_ptr<InhibitorLock> makeNoInhibitor();

class SessionGuard {
  public:
    // Keeps references; all must outlive the guard.
    SessionGuard(Supervisor& supervisor, SupervisorHost& host, InhibitorLock& lock);

    // Takes the lock at start-up.
    void start();

    // The system is about to shut down (true) or cancelled that (false).
    // true: the end-of-session steps (once), then the lock is released.
    // false after true: reporting comes back, the "REBOOT" marker gets its
    // previous value again and the lock is taken again, so a cancelled
    // shutdown does not leave the program running silently.
    void onPrepareForShutdown(bool active);

    // The machine goes to sleep (true): the notice is queued, and once the
    // queue has had its chance to drain (SupervisorHost::WhenMailSent, which
    // does not hold the UI thread) the lock is released. Woken up (false):
    // the notice is queued and the lock taken again; woken before the lock
    // was released, it simply stays held.
    void onPrepareForSleep(bool active);

    // SIGTERM or the desktop session's end: the end-of-session steps once
    // (nothing more when they already ran), then the lock is released. The
    // caller ends the program afterwards when it should.
    void onSessionEnding();

    // The end-of-session steps have run (and were not cancelled).
    bool sessionEnded() const { return ended_; }

  private:
    void endSession();

    Supervisor& sup_;
    SupervisorHost& host_;
    InhibitorLock& lock_;
    bool ended_ = false;
    bool asleep_ = false;
    bool releasePending_ = false;  // a sleep's lock release is still to come
    int sleeps_ = 0;               // tells a late release from the current one
    int markerBefore_ = 0;
};

}  // namespace orvana
