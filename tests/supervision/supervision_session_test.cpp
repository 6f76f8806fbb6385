// End of session, sleep and resume: the notices, the "REBOOT" marker, the
// event report switched off, the settings saved and the inhibitor lock.
#include <gtest/gtest.h>

#include "supervision/session_guard.h"
#include "tests/supervision/supervision_fixtures.h"

namespace orvana::testing {
namespace {

// Records each write of "REBOOT" into the host's event list.
class JournalStore final : public SettingsStore {
  public:
    JournalStore(SettingsStore& inner, std::vector<std::string>& events)
        : inner_(inner), events_(events) {}
    int getInt(const std::string& s, const std::string& k, int d) const override {
        return inner_.getInt(s, k, d);
    }
    std::string getString(const std::string& s, const std::string& k,
                          const std::string& d) const override {
        return inner_.getString(s, k, d);
    }
    void writeInt(const std::string& s, const std::string& k, int v) override {
        if (k == "REBOOT")
            events_.push_back("marker:" + std::to_string(v));
        inner_.writeInt(s, k, v);
    }
    void writeString(const std::string& s, const std::string& k, const std::string& v) override {
        inner_.writeString(s, k, v);
    }
    bool contains(const std::string& s, const std::string& k) const override {
        return inner_.contains(s, k);
    }
    bool sync() override { return inner_.sync(); }

  private:
    SettingsStore& inner_;
    std::vector<std::string>& events_;
};

class Session : public ::testing::Test {
  protected:
    Session()
        : clock(fromLocal(2026, 1, 14, 12, 0, 0)),
          host(clock),
          journal(host.st, host.events),
          shutdown(host.st),
          sup(host, clock, power, shutdown),
          lock(&host.events),
          guard(sup, host, lock) {
        host.otherStore = &journal;
        host.s.hourKA = 8;  // KeepAlive every hour
        host.log.setDataDir(logDir.path());
        guard.start();
        host.events.clear();
    }
    ScratchDir logDir;
    VirtualClock clock;
    TestHost host;
    JournalStore journal;
    FixedPower power;
    RecordingShutdown shutdown;
    Supervisor sup;
    RecordingLock lock;
    SessionGuard guard;
};

const std::vector<std::string> kEndSteps = {
    "marker:2",
    "report:>シャットダウン要請",
    "report:KeepAlive通知",
    "reporting:off",
    "mail:9:",
    "mail:7:終了要求",
    "wait",
    "marker:2",
    "save",
    "lock:release",
};

TEST_F(Session, ShutdownAnnouncedRunsTheNoticesThenReleasesTheLock) {
    ASSERT_TRUE(lock.held());
    guard.onPrepareForShutdown(true);
    EXPECT_EQ(host.events, kEndSteps);
    ASSERT_EQ(host.mails.size(), 2u);
    EXPECT_EQ(host.mails[0].kind, ALERT_KA);
    EXPECT_EQ(host.mails[0].title, "");
    EXPECT_EQ(host.mails[0].text, "");
    EXPECT_EQ(host.mails[1].kind, ALERT_KANRI);
    EXPECT_EQ(host.mails[1].text, "OSまたは他のソフトによりシャットダウン／再起動されます。");
    EXPECT_EQ(host.reports[0].stampMode, 2);
    EXPECT_EQ(host.reports[1].stampMode, 2);
    EXPECT_EQ(host.st.getInt("Setting", "REBOOT", 0), 2);
    EXPECT_FALSE(lock.held());
    EXPECT_TRUE(guard.sessionEnded());

    // Reporting is off: monitors shutting down leave no trace in the log.
    host.Report("closing camera", 2);
    const std::string logText = readFile(host.log.logFilePathFor(clock.now()));
    EXPECT_NE(logText.find(">シャットダウン要請"), std::string::npos);
    EXPECT_EQ(logText.find("closing camera"), std::string::npos);

    // SIGTERM follows the announced shutdown: nothing is sent twice.
    guard.onSessionEnding();
    EXPECT_EQ(host.mails.size(), 2u);
    EXPECT_EQ(host.saves, 1);
}

TEST_F(Session, SigtermAloneRunsTheSameSteps) {
    guard.onSessionEnding();
    EXPECT_EQ(host.events, kEndSteps);
}

TEST_F(Session, KeepAliveOffMailsNothingToTheWatchdogService) {
    host.s.hourKA = 0;
    guard.onSessionEnding();
    EXPECT_EQ(host.events, (std::vector<std::string>{"marker:2", "report:>シャットダウン要請",
                                                     "reporting:off", "mail:7:終了要求", "wait",
                                                     "marker:2", "save", "lock:release"}));
    for (const auto& m : host.mails)
        EXPECT_NE(m.kind, ALERT_KA);
}

TEST_F(Session, OwnRebootAgreesAtOnceAndOnlySaves) {
    host.st.writeInt("Setting", "REBOOT", 1);
    guard.onPrepareForShutdown(true);
    EXPECT_EQ(host.events, (std::vector<std::string>{"save", "lock:release"}));
    EXPECT_TRUE(host.mails.empty());
    EXPECT_EQ(host.st.getInt("Setting", "REBOOT", 0), 1);
    EXPECT_TRUE(host.log.enabled());
}

TEST_F(Session, CancelledShutdownBringsReportingAndTheLockBack) {
    guard.onPrepareForShutdown(true);
    host.events.clear();
    guard.onPrepareForShutdown(false);
    EXPECT_TRUE(host.log.enabled());
    EXPECT_EQ(host.st.getInt("Setting", "REBOOT", -1), 0) << "the marker before the request";
    EXPECT_TRUE(lock.held());
    EXPECT_FALSE(guard.sessionEnded());
    // A later real shutdown runs the steps again.
    host.events.clear();
    guard.onPrepareForShutdown(true);
    EXPECT_EQ(host.events, kEndSteps);
}

TEST_F(Session, SleepNoticeBeforeTheLockGoesAndResumeNoticeAfter) {
    guard.onPrepareForSleep(true);
    EXPECT_EQ(host.events, (std::vector<std::string>{"mail:7:OS状態変動", "wait", "lock:release"}));
    EXPECT_EQ(host.mails[0].text, "OSがスリープ／サスペンド状態になりました");
    EXPECT_EQ(host.mails[0].timeFormat, 2);
    guard.onPrepareForSleep(true);  // repeated signal: one notice
    EXPECT_EQ(host.mails.size(), 1u);

    host.events.clear();
    guard.onPrepareForSleep(false);
    EXPECT_EQ(host.events, (std::vector<std::string>{"mail:7:OS状態復帰", "lock:acquire"}));
    EXPECT_EQ(host.mails[1].text, "OSがスリープ／サスペンド状態から復帰しました");
    EXPECT_TRUE(lock.held());
    EXPECT_TRUE(host.reports.empty()) << "sleep and resume are mailed, not listed";
    EXPECT_EQ(host.st.getInt("Setting", "REBOOT", 0), 0);
}

TEST_F(Session, WakingBeforeTheQueueDrainedKeepsTheLock) {
    host.holdMailSent = true;
    guard.onPrepareForSleep(true);
    EXPECT_TRUE(lock.held()) << "released only once the queue had its chance";
    guard.onPrepareForSleep(false);
    EXPECT_TRUE(lock.held());
    // The late release of that sleep must not take the lock of the waking.
    ASSERT_EQ(host.held.size(), 1u);
    host.held[0]();
    EXPECT_TRUE(lock.held());
    EXPECT_EQ(lock.acquires, 1) << "taken once at start, never dropped";
}

TEST_F(Session, WithoutALockEverythingStillRuns) {
    lock.available = false;
    guard.onPrepareForShutdown(false);  // re-acquire attempt fails quietly
    EXPECT_FALSE(lock.held());
    guard.onPrepareForSleep(true);
    guard.onPrepareForSleep(false);
    guard.onSessionEnding();
    EXPECT_EQ(host.mails.size(), 4u);
    EXPECT_EQ(host.saves, 1);
}

}  // namespace
}  // namespace orvana::testing
