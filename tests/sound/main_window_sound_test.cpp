// The sound monitor inside the main window: the start-up probe and the
// "音量" box, the window handed to mail composition and to the periodic
// notice, and its settings saved with the main window.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/tarnwick_dlg.h"
#include "core/status_text.h"
#include "mail/http_client.h"
#include "mail/network_state.h"
#include "mail/smtp_client.h"
#include "sound/ui/sound_monitor.h"
#include "sound/ui/volume_dlg.h"
#include "supervision/power_status.h"
#include "supervision/shutdown_control.h"
#include "tests/sound/fake_wave_input.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_prompt.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/window_doubles.h"

namespace orvana::sound {
namespace {

// Doubles for what would reach the machine or the network.
class NoSmtp final : public SmtpClient {
  public:
    SmtpResult send(const SmtpParams&, const std::string&, const std::vector<std::string>&,
                    const std::string&, const std::atomic<bool>*) override {
        SmtpResult r;
        r.status = SmtpResult::Sent;
        return r;
    }
};
using orvana::testing::ForwardingStore;
using orvana::testing::NoHttp;
using orvana::testing::NoShutdown;
using orvana::testing::OnMains;
using orvana::testing::UpNetwork;

// The sound monitor's window inside the main window; null when not running.
CVolumeDlg* volumeWindow(CTarnwickDlg& d) {
    auto* m = dynamic_cast<SoundMonitor*>(d.monitors().find(MonitorSwitch::Sound));
    return m ? m->window() : nullptr;
}
// What the mail composer and the periodic notice see of it.
bool mailHasTheSoundColumn(CTarnwickDlg& d) {
    return d.monitors().runningFor(COL_VOL);
}
bool noticeHasTheSoundBlock(CTarnwickDlg& d) {
    return BuildStatusText(d.monitors()).find("平均音量レベル：") != std::string::npos;
}

class MainWindowSound : public ::testing::Test {
  protected:
    void SetUp() override {
        mem.writeString("Setting", "DATA_DIR", dir / "data");
        for (const char* k : {"USE_CAMERA", "USE_TEMPERATURE", "USE_GEIGER", "USE_OWL"})
            mem.writeInt("Setting", k, 0);
    }
    CTarnwickDlg& open() {
        Services s;
        auto c = std::make_unique<orvana::testing::VirtualClock>(1700000000);
        // The worker threads' 100-ms slices pass in a few real milliseconds.
        c->realLimit = std::chrono::milliseconds(5);
        s.clock = std::move(c);
        s.store = std::make_unique<ForwardingStore>(mem);
        s.prompt = std::make_unique<orvana::testing::RecordingPrompt>();
        s.headless = true;
        s.desktopDir = dir / "Desktop";
        s.smtp = std::make_unique<NoSmtp>();
        s.http = std::make_unique<NoHttp>();
        s.network = std::make_unique<UpNetwork>();
        s.power = std::make_unique<OnMains>();
        s.shutdown = std::make_unique<NoShutdown>();
        auto inputs = std::make_unique<testing::FakeWaveInputFactory>();
        device = inputs->device;
        device->devices = devices;
        device->failOpen = failOpen;
        s.backends.put<WaveInputFactory>(std::move(inputs));
        s.backends.put<ProcessRunner>(makeProcessRunner());
        orvana::testing::fillWindowDoubles(s);
        dlg = std::make_unique<CTarnwickDlg>(std::move(s));
        dlg->OnInitDialog();
        return *dlg;
    }
    bool listHas(const std::string& text) const {
        for (int i = 0; i < dlg->eventList()->count(); ++i)
            if (dlg->eventList()->item(i)->text().toStdString() == text)
                return true;
        return false;
    }

    orvana::testing::TempDir dir;
    orvana::testing::MemorySettingsStore mem;
    std::shared_ptr<testing::FakeDevice> device;
    int devices = 1;
    bool failOpen = false;
    std::unique_ptr<CTarnwickDlg> dlg;
};

TEST_F(MainWindowSound, NoInputDisablesTheBoxQuietly) {
    devices = 0;
    CTarnwickDlg& d = open();
    EXPECT_FALSE(d.monitorBox(0)->isEnabled());
    EXPECT_EQ(volumeWindow(d), nullptr);
    EXPECT_FALSE(mailHasTheSoundColumn(d));
    EXPECT_FALSE(noticeHasTheSoundBlock(d));
    EXPECT_FALSE(listHas("Error : WAVE INデバイスのオープンに失敗しました。"));
}

TEST_F(MainWindowSound, InputThatDoesNotOpenIsReportedAndDisabled) {
    failOpen = true;
    CTarnwickDlg& d = open();
    EXPECT_FALSE(d.monitorBox(0)->isEnabled());
    EXPECT_TRUE(listHas("Error : WAVE INデバイスのオープンに失敗しました。"));
    EXPECT_TRUE(listHas("---- 音量検知機能は使用できません。----"));
    EXPECT_EQ(volumeWindow(d), nullptr);
}

TEST_F(MainWindowSound, BoxEndsAndStartsTheWindowWhichMailAndNoticeUse) {
    CTarnwickDlg& d = open();  // "USE_VOLUME" defaults to 1
    ASSERT_TRUE(d.monitorBox(0)->isEnabled());
    ASSERT_NE(volumeWindow(d), nullptr);
    EXPECT_TRUE(volumeWindow(d)->isVisible());
    EXPECT_TRUE(mailHasTheSoundColumn(d));
    EXPECT_TRUE(noticeHasTheSoundBlock(d));

    volumeWindow(d)->slider()->setValue(333);
    d.monitorBox(0)->click();  // running: ended, its settings saved
    EXPECT_EQ(volumeWindow(d), nullptr);
    EXPECT_EQ(mem.getInt("Volume", "THRESHOLD", 0), 333);
    EXPECT_EQ(device->closes, 3);  // two probes (probe, then start) and the window
    EXPECT_FALSE(mailHasTheSoundColumn(d));

    d.monitorBox(0)->click();  // started again, with the saved threshold
    ASSERT_NE(volumeWindow(d), nullptr);
    EXPECT_EQ(volumeWindow(d)->slider()->value(), 333);
    volumeWindow(d)->slider()->setValue(444);
    dlg.reset();
    EXPECT_EQ(mem.getInt("Volume", "THRESHOLD", 0), 444);
    EXPECT_FALSE(device->open);
}

}  // namespace
}  // namespace orvana::sound

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
