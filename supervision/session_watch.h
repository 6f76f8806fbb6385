// logind over D-Bus: the "delay" inhibitor for shutdown and sleep, and the
// PrepareForShutdown / PrepareForSleep signals, handed to a SessionGuard.
// Also the desktop session's end (the session manager's commit request).
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>

#include "supervision/session_guard.h"

namespace orvana {

// The inhibitor from org.freedesktop.login1 Manager.Inhibit("shutdown:sleep",
// "orvana", why, "delay"): a file descriptor that holds the lock while open.
// With no bus connection, or when the call fails or takes longer than its
// time-out, acquire() returns false quietly and the program runs without it.
class LogindInhibitor final : public InhibitorLock {
  public:
    explicit LogindInhibitor(QDBusConnection bus,
                             QString why = QStringLiteral("監視の終了・スリープを通知するため"));
    ~LogindInhibitor() override;
    bool acquire() override;
    void release() override;
    bool held() const override { return fd_ >= 0; }

    // Time-out of the Inhibit call.
    static constexpr int kCallTimeoutMs = 2000;

  private:
    QDBusConnection bus_;
    QString why_;
    int fd_ = -1;
};

// Forwards logind's signals and the desktop session's end to a guard. All
// on the UI thread (the bus delivers signals through the event loop).
class SessionWatch final : public QObject {
    Q_OBJECT
  public:
    // Keeps a reference to guard. Connects to bus when it is connected;
    // otherwise watches nothing but the desktop session.
    SessionWatch(SessionGuard& guard, QDBusConnection bus, QObject* parent = nullptr);

    // True when the logind signals are connected.
    bool watchingLogind() const { return logind_; }

  private slots:
    void onPrepareForShutdown(bool active);
    void onPrepareForSleep(bool active);

  private:
    SessionGuard& guard_;
    bool logind_ = false;
};

}  // namespace orvana

namespace orvana {
// The system bus when this machine has one; otherwise a connection that is
// not connected (no attempt, so no warnings). UI thread.
QDBusConnection systemBusIfPresent();
}  // namespace orvana
