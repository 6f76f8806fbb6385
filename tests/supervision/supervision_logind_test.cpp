// The logind watch against a private D-Bus daemon with a stand-in for
// org.freedesktop.login1: the delay inhibitor's descriptor, and the
// PrepareForShutdown / PrepareForSleep signals reaching the session guard.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <atomic>
#include <mutex>

#include "supervision/session_watch.h"
#include "tests/supervision/supervision_fixtures.h"

namespace orvana::testing {

// Answers Inhibit with the write end of a pipe; the test watches the read
// end to see when every copy of the lock is closed.
class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
  public:
    ~FakeLogind() override {
        for (int fd : readEnds)
            ::close(fd);
    }
  public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        int p[2];
        if (::pipe2(p, O_CLOEXEC) != 0)
            return {};
        QDBusUnixFileDescriptor fd(p[1]);  // takes a copy
        ::close(p[1]);
        std::lock_guard lock(mutex);
        readEnds.push_back(p[0]);
        calls.push_back((what + "|" + who + "|" + why + "|" + mode).toStdString());
        return fd;
    }

  public:
    std::mutex mutex;
    std::vector<int> readEnds;
    std::vector<std::string> calls;
};

namespace {

// True when every write end of the pipe behind readFd is closed.
bool closedEnd(int readFd) {
    pollfd p{readFd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0)
        return false;
    char c;
    return ::read(readFd, &c, 1) == 0;
}

// Runs the event loop until pred holds or about five seconds passed.
template <class Pred>
bool spinUntil(Pred pred) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return pred();
}

class Logind : public ::testing::Test {
  protected:
    void SetUp() override {
        daemon.setProgram("dbus-daemon");
        daemon.setArguments({"--session", "--nofork", "--print-address=1",
                             "--address=unix:path=" + QString::fromStdString(dir / "bus")});
        daemon.start();
        if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000))
            GTEST_SKIP() << "no dbus-daemon to run a private bus";
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        static int n = 0;
        const QString tag = QString::number(++n);
        service = QDBusConnection::connectToBus(address, "fake-logind-" + tag);
        client = QDBusConnection::connectToBus(address, "orvana-" + tag);
        ASSERT_TRUE(service.isConnected());
        ASSERT_TRUE(client.isConnected());
        // The stand-in answers from its own thread while the client blocks.
        fake = new FakeLogind;
        fake->moveToThread(&worker);
        worker.start();
        ASSERT_TRUE(service.registerObject("/org/freedesktop/login1", fake,
                                           QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.registerService("org.freedesktop.login1"));
    }
    void TearDown() override {
        if (fake) {
            service.unregisterObject("/org/freedesktop/login1");
            worker.quit();
            worker.wait();
            delete fake;
        }
        QDBusConnection::disconnectFromBus(client.name());
        QDBusConnection::disconnectFromBus(service.name());
        if (daemon.state() != QProcess::NotRunning) {
            daemon.terminate();
            daemon.waitForFinished(5000);
        }
    }
    void emitSignal(const char* name, bool active) {
        QDBusMessage m = QDBusMessage::createSignal("/org/freedesktop/login1",
                                                    "org.freedesktop.login1.Manager", name);
        m << active;
        ASSERT_TRUE(service.send(m));
    }
    int lastReadEnd() {
        std::lock_guard lock(fake->mutex);
        return fake->readEnds.empty() ? -1 : fake->readEnds.back();
    }

    ScratchDir dir;
    QProcess daemon;
    QString address;
    QDBusConnection service{QStringLiteral("unset")};
    QDBusConnection client{QStringLiteral("unset")};
    QThread worker;
    FakeLogind* fake = nullptr;
};

TEST_F(Logind, DelayInhibitorIsHeldUntilReleased) {
    LogindInhibitor lock(client, QStringLiteral("why"));
    ASSERT_TRUE(lock.acquire());
    EXPECT_TRUE(lock.held());
    {
        std::lock_guard l(fake->mutex);
        ASSERT_EQ(fake->calls.size(), 1u);
        EXPECT_EQ(fake->calls[0], "shutdown:sleep|orvana|why|delay");
    }
    const int end = lastReadEnd();
    EXPECT_FALSE(closedEnd(end)) << "the lock is held while our descriptor is open";
    EXPECT_TRUE(lock.acquire()) << "taking it again keeps the one lock";
    EXPECT_EQ(fake->calls.size(), 1u);
    lock.release();
    EXPECT_FALSE(lock.held());
    // D-Bus hands descriptors over as duplicates; the bus thread may drop its
    // copy of the message a moment after ours is closed.
    EXPECT_TRUE(spinUntil([&] { return closedEnd(end); }));
}

TEST_F(Logind, SignalsDriveTheGuard) {
    VirtualClock clock(fromLocal(2026, 1, 14, 12, 0, 0));
    TestHost host(clock);
    FixedPower power;
    RecordingShutdown shutdown(host.st);
    Supervisor sup(host, clock, power, shutdown);
    LogindInhibitor lock(client);
    SessionGuard guard(sup, host, lock);
    SessionWatch watch(guard, client);
    ASSERT_TRUE(watch.watchingLogind());
    guard.start();
    ASSERT_TRUE(lock.held());

    emitSignal("PrepareForSleep", true);
    ASSERT_TRUE(spinUntil([&] { return !lock.held(); }));
    ASSERT_EQ(host.mails.size(), 1u);
    EXPECT_EQ(host.mails[0].title, "OS状態変動");
    EXPECT_EQ(host.waits, 1);

    emitSignal("PrepareForSleep", false);
    ASSERT_TRUE(spinUntil([&] { return lock.held(); }));
    EXPECT_EQ(host.mails.back().title, "OS状態復帰");

    emitSignal("PrepareForShutdown", true);
    ASSERT_TRUE(spinUntil([&] { return !lock.held(); }));
    EXPECT_EQ(host.mails.back().title, "終了要求");
    EXPECT_EQ(host.saves, 1);
    EXPECT_EQ(host.st.getInt("Setting", "REBOOT", 0), 2);
    // As above: the bus thread's duplicate may close a moment after ours.
    const int end = lastReadEnd();
    EXPECT_TRUE(spinUntil([&] { return closedEnd(end); }));
}

TEST_F(Logind, NoLogindOnTheBusMeansNoLock) {
    service.unregisterService("org.freedesktop.login1");
    LogindInhibitor lock(client);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(lock.acquire());
    EXPECT_LT(t.elapsed(), LogindInhibitor::kCallTimeoutMs + 1000);
}

TEST(LogindWithoutBus, QuietlyNothing) {
    QDBusConnection none(QStringLiteral("orvana-test-no-bus"));
    LogindInhibitor lock(none);
    EXPECT_FALSE(lock.acquire());
    VirtualClock clock;
    TestHost host(clock);
    FixedPower power;
    RecordingShutdown shutdown(host.st);
    Supervisor sup(host, clock, power, shutdown);
    SessionGuard guard(sup, host, lock);
    SessionWatch watch(guard, none);
    EXPECT_FALSE(watch.watchingLogind());
}

}  // namespace
}  // namespace orvana::testing

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "supervision_logind_test.moc"
