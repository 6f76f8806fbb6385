// Power-off and reboot commands: the command lines, their replacement by
// ORVANA_*_COMMAND, the ten-second rate limit, and real commands that
// record their call.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "supervision/power_status.h"
#include "supervision/shutdown_control.h"
#include "supervision/supervisor.h"
#include "tests/supervision/supervision_fixtures.h"

namespace orvana::testing {
namespace {

using Argv = std::vector<std::string>;

class RecordingLauncher final : public CommandLauncher {
  public:
    bool start(const Argv& argv) override {
        started.push_back(argv);
        return !argv.empty();
    }
    std::vector<Argv> started;
};

TEST(ShutdownCommandLine, OverridesReplaceTheWholeCommandWithoutAShell) {
    ShutdownCommands c{"/opt/my\\ tools/reboot.sh --now",
                       "'/tmp/a b/off' \"x \\\"y\\\"\" $HOME;rm"};
    EXPECT_EQ(c.argvFor(1, 1), (Argv{"/opt/my tools/reboot.sh", "--now"}));
    EXPECT_EQ(c.argvFor(0, 1), (Argv{"/tmp/a b/off", "x \"y\"", "$HOME;rm"}));
    // Blank overrides run nothing: never the real power-off by accident.
    ShutdownCommands blank{"   ", "\t"};
    EXPECT_TRUE(blank.argvFor(1, 1).empty());
    EXPECT_TRUE(blank.argvFor(0, 0).empty());
    EXPECT_EQ(splitCommandLine("a  ''  'b"), (Argv{"a", "", "b"}));
}

TEST(ShutdownRateLimit, AtMostOneCommandPerTenSeconds) {
    VirtualClock clock(1700000000);
    RecordingLauncher launcher;
    CommandShutdownControl ctl(clock, launcher, {});
    EXPECT_TRUE(ctl.ShutdownWindows(1, 1));
    int started = 1;
    // The pending reboot asks every 200 ms for 30 s.
    for (int i = 1; i <= 150; ++i) {
        clock.advance(std::chrono::milliseconds(200));
        if (ctl.ShutdownWindows(1, 1))
            ++started;
    }
    EXPECT_EQ(started, 4);  // at 0, 10, 20 and 30 s
    EXPECT_EQ(launcher.started.size(), 4u);
    EXPECT_EQ(launcher.started[0], (Argv{"systemctl", "reboot", "-i"}));
    // A power-off right after a repeated reboot still starts: it is asked
    // for once only and must not be lost to the reboot's limit.
    EXPECT_TRUE(ctl.ShutdownWindows(0, 1));
    EXPECT_EQ(launcher.started.back(), (Argv{"systemctl", "poweroff", "-i"}));
    clock.advance(std::chrono::milliseconds(9999));
    EXPECT_FALSE(ctl.ShutdownWindows(0, 1));
    EXPECT_FALSE(ctl.ShutdownWindows(1, 1));
    clock.advance(std::chrono::milliseconds(1));
    EXPECT_TRUE(ctl.ShutdownWindows(0, 1));
    EXPECT_EQ(launcher.started.size(), 6u);
    EXPECT_EQ(ShutdownCommands{}.argvFor(0, 0), (Argv{"systemctl", "poweroff"}));
}

// A command that appends its arguments (and the stored marker) to a file.
class RecordingScript {
  public:
    RecordingScript() {
        script = dir / "record.sh";
        marker = dir / "marker";
        writeFile(script,
                  "#!/bin/sh\n"
                  "# $1 = what, $2 = settings file to look into (optional)\n"
                  "line=\"$1\"\n"
                  "if [ -n \"$2\" ]; then line=\"$line $(grep '^REBOOT=' \"$2\")\"; fi\n"
                  "echo \"$line\" >> '" +
                      marker + "'\n");
        ::chmod(script.c_str(), 0755);
    }
    // Waits (real time, bounded) until the marker holds n lines.
    std::vector<std::string> waitLines(std::size_t n) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::vector<std::string> lines;
        do {
            lines.clear();
            std::string text = readFile(marker), cur;
            for (char ch : text) {
                if (ch == '\n') {
                    lines.push_back(cur);
                    cur.clear();
                } else {
                    cur += ch;
                }
            }
            if (lines.size() >= n)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (std::chrono::steady_clock::now() < deadline);
        return lines;
    }
    ScratchDir dir;
    std::string script, marker;
};

TEST(ShutdownRealCommand, DetachedCommandRunsOncePerTenSeconds) {
    RecordingScript rec;
    VirtualClock clock(1700000000);
    auto launcher = makeDetachedLauncher();
    CommandShutdownControl ctl(clock, *launcher, {rec.script + " reboot", rec.script + " off"});
    int started = 0;
    for (int i = 0; i < 125; ++i) {  // 25 s of pending-reboot ticks
        if (ctl.ShutdownWindows(1, 1))
            ++started;
        clock.advance(std::chrono::milliseconds(200));
    }
    EXPECT_EQ(started, 3);
    EXPECT_EQ(rec.waitLines(3), (std::vector<std::string>{"reboot", "reboot", "reboot"}));
    EXPECT_FALSE(launcher->start({rec.dir / "no-such-program"}));
}

TEST(ShutdownRealCommand, BatteryShutdownRunsThePowerOffCommandOnceAfterTheMarker) {
    RecordingScript rec;
    const std::string ini = rec.dir / "orvana.conf";
    auto store = makeQtSettingsStore(ini);
    FakeSysfs sysfs;
    sysfs.laptop(1, 50);
    VirtualClock clock(fromLocal(2026, 1, 14, 12, 0, 0));
    TestHost host(clock);
    host.otherStore = store.get();
    host.s.checkTK = 0;
    host.s.batteryLimit = 10;
    auto launcher = makeDetachedLauncher();
    CommandShutdownControl ctl(clock, *launcher,
                               {rec.script + " reboot", rec.script + " off " + ini});
    auto power = makeSysfsPowerSource(sysfs.root());
    Supervisor sup(host, clock, *power, ctl);
    auto tick = [&](int n) {
        for (int i = 0; i < n; ++i) {
            sup.OnTimer();
            clock.advance(std::chrono::milliseconds(200));
        }
    };
    tick(2);
    sysfs.plug(0);
    tick(2);
    sysfs.capacity(9);
    tick(100);  // 20 s: the power-off is not repeated
    sysfs.capacity(2);
    tick(100);
    EXPECT_EQ(rec.waitLines(1), (std::vector<std::string>{"off REBOOT=2"}));
    EXPECT_EQ(host.waits, 1);
}

}  // namespace
}  // namespace orvana::testing
