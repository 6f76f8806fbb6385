// A monitor kind that the main window has never heard of joins through
// Services::registerMonitors alone, and the window, the mail composer and the
// periodic notice treat it like any other kind: probed and started in start
// order, its box enabled, its files in mails of its column, its block in the
// periodic notice, its settings saved at close and at the session's end.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "app/tarnwick_dlg.h"
#include "core/monitor.h"
#include "mail/mail_queue.h"
#include "supervision/session_guard.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_prompt.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/window_doubles.h"

namespace orvana {
namespace {

using testing::ForwardingStore;
using testing::MemorySettingsStore;
using testing::TempDir;
using testing::VirtualClock;

// What happened to the fake kind; outlives the window.
struct FakeLog {
    std::vector<std::string> calls;
    int running = 0;
    int count(const std::string& call) const {
        int n = 0;
        for (const auto& c : calls)
            n += c == call;
        return n;
    }
};

// A humidity meter nobody has built yet, on the "温湿度" box.
class FakeMeter final : public Monitor {
  public:
    FakeMeter(FakeLog& log, std::string dir, bool present)
        : log_(log), dir_(std::move(dir)), present_(present) {}
    ~FakeMeter() override { log_.calls.push_back("destroyed"); }
    const MonitorKind& kind() const override { return kind_; }
    int probe() override {
        log_.calls.push_back("probe");
        stop();
        return present_ ? 1 : 0;
    }
    int start() override {
        log_.calls.push_back("start");
        stop();
        if (!present_)
            return 0;
        log_.running = 1;
        return 1;
    }
    void stop() override {
        if (log_.running) {
            log_.calls.push_back("stop");
            log_.running = 0;
        }
    }
    bool running() const override { return log_.running == 1; }
    std::vector<std::string> attachments() override {
        log_.calls.push_back("attachments");
        const std::string path = dir_ + "/fake-meter.jpg";
        writeFile(path, "picture");
        return {path};
    }
    std::string statusBlock() override { return "偽メーター：42[%]\r\n\r\n"; }
    void SaveSettingBeforeClose() override { log_.calls.push_back("save"); }
    void OnEndSession() override { log_.calls.push_back("end-session"); }

  private:
    static void writeFile(const std::string& path, const std::string& text) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
    }
    FakeLog& log_;
    std::string dir_;
    bool present_;
    MonitorKind kind_{"fake-meter", ALERT_TEMP, MonitorSwitch::Temperature, COL_TEMP, 30};
};

class MonitorRegistryInWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "Asia/Tokyo", 1);
        tzset();
        mem.writeString("Setting", "DATA_DIR", dir / "data");
        for (const char* k : {"USE_VOLUME", "USE_CAMERA", "USE_GEIGER", "USE_OWL"})
            mem.writeInt("Setting", k, 0);
        mem.writeInt("Setting", "USE_TEMPERATURE", 1);
        mem.writeInt("Setting", "WORKING", 1);
        mem.writeInt("Setting", "USER_ADDRESS", 1);
        mem.writeString("UserAddress0", "Address", "owner@example.org");
        mem.writeInt("UserAddress0", "IJYOU", 1);
        mem.writeInt("UserAddress0", "TEIKI", 1);
        // The periodic notice every five minutes.
        mem.writeInt("Setting", "CHECK_TK", 1);
        mem.writeInt("Setting", "HOUR_TK", 11);
    }
    void TearDown() override {
        if (clock)
            clock->setAutoAdvance(true);  // lets the sender's last slice pass
        dlg.reset();
    }

    CTarnwickDlg& open(bool meterPresent = true) {
        Services s;
        auto c = std::make_unique<VirtualClock>(fromLocal(2026, 3, 5, 14, 5, 9));
        clock = c.get();
        clock->realLimit = std::chrono::milliseconds(5);
        s.clock = std::move(c);
        s.store = std::make_unique<ForwardingStore>(mem);
        s.prompt = std::make_unique<testing::RecordingPrompt>();
        s.headless = true;
        s.desktopDir = dir / "Desktop";
        // The network stays down, so queued notices wait for the test to read.
        class Down final : public NetworkState {
          public:
            bool isConnected() override { return false; }
        };
        s.network = std::make_unique<Down>();
        const std::string files = dir.path();
        s.registerMonitors = [this, files, meterPresent](MonitorRegistry& r, MonitorContext&) {
            r.add(std::make_unique<FakeMeter>(log, files, meterPresent));
        };
        testing::fillWindowDoubles(s);
        dlg = std::make_unique<CTarnwickDlg>(std::move(s));
        dlg->OnInitDialog();
        return *dlg;
    }

    // Runs the supervision timer five ticks (one schedule check) at time t.
    void ticksAt(TimeT t) {
        clock->setNow(t);
        for (int i = 0; i < 5; ++i)
            dlg->OnTimer();
    }

    TempDir dir;
    MemorySettingsStore mem;
    FakeLog log;
    VirtualClock* clock = nullptr;
    std::unique_ptr<CTarnwickDlg> dlg;
};

TEST_F(MonitorRegistryInWindow, NewKindIsProbedStartedMailedNoticedAndSaved) {
    CTarnwickDlg& d = open();
    EXPECT_EQ(log.calls, (std::vector<std::string>{"probe", "start"}));
    EXPECT_TRUE(d.monitorBox(MonitorSwitch::Temperature)->isEnabled());
    EXPECT_EQ(d.StartTemperatureWindow(0), 1) << "the documented name reaches the kind";
    EXPECT_EQ(log.running, 0) << "a probe ends a running monitor";
    d.monitorBox(MonitorSwitch::Temperature)->click();  // not running: started
    EXPECT_EQ(log.running, 1);
    // Kinds this build does not have leave their boxes disabled.
    EXPECT_FALSE(d.monitorBox(MonitorSwitch::Geiger)->isEnabled());
    EXPECT_FALSE(d.monitorBox(MonitorSwitch::Owl)->isEnabled());

    // Its column of the attachment matrix (TEMP row: CAM, TEMP, OWL).
    d.RegistMail(ALERT_TEMP, "温度異常発生", "test", 2);
    ASSERT_EQ(d.mailQueue().all().size(), 1u);
    EXPECT_EQ(d.mailQueue().all().back().attachments,
              std::vector<std::string>{dir / "fake-meter.jpg"});
    // Not in a row that does not ask for it (POW row: CAM, TEMP, OWL ... off).
    mem.writeInt("Setting", "POW_ATTACH_TEMP", 0);
    d.mutableSettings().attach[ROW_POW][COL_TEMP] = 0;
    d.RegistMail(ALERT_POW, "停電発生", "test", 2);
    EXPECT_TRUE(d.mailQueue().all().back().attachments.empty());

    // Its block in the periodic notice.
    ticksAt(fromLocal(2026, 3, 5, 14, 5, 10));  // the schedule's first look
    ticksAt(fromLocal(2026, 3, 5, 14, 10, 0));
    const auto queued = d.mailQueue().all();
    ASSERT_EQ(queued.size(), 3u);
    EXPECT_NE(queued.back().subject.find("定期通知"), std::string::npos);
    EXPECT_NE(queued.back().body.find("定期通知です。\r\n偽メーター：42[%]\r\n"),
              std::string::npos);

    // The session ends: its end-of-session step; then the window closes:
    // its settings, then it is stopped and destroyed last.
    d.sessionGuard()->onSessionEnding();
    EXPECT_EQ(log.count("end-session"), 1);
    log.calls.clear();
    dlg.reset();
    EXPECT_EQ(log.calls, (std::vector<std::string>{"save", "stop", "destroyed"}));
}

TEST_F(MonitorRegistryInWindow, KindThatCannotRunDisablesItsBoxAndStaysOutOfMails) {
    CTarnwickDlg& d = open(false);
    EXPECT_FALSE(d.monitorBox(MonitorSwitch::Temperature)->isEnabled());
    EXPECT_TRUE(d.monitorBox(MonitorSwitch::Temperature)->isChecked()) << "stored state kept";
    d.RegistMail(ALERT_TEMP, "温度異常発生", "test", 2);
    EXPECT_TRUE(d.mailQueue().all().back().attachments.empty());
    EXPECT_EQ(log.count("attachments"), 0);
    log.calls.clear();
    dlg.reset();
    EXPECT_EQ(log.calls, (std::vector<std::string>{"destroyed"})) << "nothing to save";
}

}  // namespace
}  // namespace orvana
