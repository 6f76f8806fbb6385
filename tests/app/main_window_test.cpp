#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/tarnwick_dlg.h"
#include "mail/http_client.h"
#include "mail/network_state.h"
#include "mail/smtp_client.h"
#include "supervision/power_status.h"
#include "supervision/session_watch.h"
#include "supervision/shutdown_control.h"
#include "tests/sound/fake_wave_input.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_prompt.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/window_doubles.h"
#include "widgets/window_placement.h"

namespace orvana {
namespace {

using testing::ForwardingStore;
using testing::MemorySettingsStore;
using testing::NoHttp;
using testing::NoShutdown;
using testing::OnMains;
using testing::RecordingPrompt;
using testing::TempDir;
using testing::UpNetwork;
using testing::VirtualClock;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Doubles for every facility that would reach the real machine or network.
struct SentMail {
    std::vector<std::string> recipients;
    std::string message;
};
class FakeSmtp final : public SmtpClient {
  public:
    explicit FakeSmtp(std::shared_ptr<std::vector<SentMail>> sent) : sent_(std::move(sent)) {}
    SmtpResult send(const SmtpParams&, const std::string&, const std::vector<std::string>& to,
                    const std::string& message, const std::atomic<bool>*) override {
        std::lock_guard lock(mutex());
        sent_->push_back({to, message});
        SmtpResult r;
        r.status = SmtpResult::Sent;
        return r;
    }
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }

  private:
    std::shared_ptr<std::vector<SentMail>> sent_;
};

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "Asia/Tokyo", 1);
        tzset();
        store().writeString("Setting", "DATA_DIR", dir / "data");
        // Keep the probes of monitors that need devices out of the way.
        for (const char* k :
             {"USE_VOLUME", "USE_CAMERA", "USE_TEMPERATURE", "USE_GEIGER", "USE_OWL"})
            store().writeInt("Setting", k, 0);
    }

    // Builds the window; the doubles stay reachable through the pointers.
    CTarnwickDlg& open(bool init = true) {
        Services s;
        auto c = std::make_unique<VirtualClock>(fromLocal(2026, 3, 5, 14, 5, 9));
        clock = c.get();
        // Worker threads of the window sleep on this clock; let their
        // slices pass in a few real milliseconds while its time stands.
        clock->realLimit = std::chrono::milliseconds(5);
        s.clock = std::move(c);
        s.store = std::make_unique<ForwardingStore>(mem);
        auto p = std::make_unique<RecordingPrompt>();
        prompt = p.get();
        s.prompt = std::move(p);
        s.headless = true;
        s.desktopDir = dir / "Desktop";
        s.manualPath = dir / "manual.html";
        s.openDocument = [this](const std::string& path) {
            opened = path;
            return openResult;
        };
        s.smtp = std::make_unique<FakeSmtp>(sent);
        s.http = std::make_unique<NoHttp>();
        s.network = std::make_unique<UpNetwork>();
        s.power = std::make_unique<OnMains>();
        s.shutdown = std::make_unique<NoShutdown>();
        // No sound input: the probe must not open this machine's microphone.
        auto inputs = std::make_unique<sound::testing::FakeWaveInputFactory>();
        inputs->device->devices = 0;
        s.backends.put<sound::WaveInputFactory>(std::move(inputs));
        s.fallbackLogDir = fallback;
        s.startupWarnings = startupWarnings;
        testing::fillWindowDoubles(s);
        dlg = std::make_unique<CTarnwickDlg>(std::move(s));
        if (init)
            dlg->OnInitDialog();
        return *dlg;
    }

    MemorySettingsStore& store() { return mem; }

    std::vector<std::string> listLines() const {
        std::vector<std::string> out;
        for (int i = 0; i < dlg->eventList()->count(); ++i)
            out.push_back(dlg->eventList()->item(i)->text().toStdString());
        return out;
    }
    bool listHas(const std::string& s) const {
        for (const auto& l : listLines())
            if (l.find(s) != std::string::npos)
                return true;
        return false;
    }
    std::string todaysLog() const { return readFile(dir / "data/2026年03月05日.log"); }

    TempDir dir;
    MemorySettingsStore mem;
    std::shared_ptr<std::vector<SentMail>> sent = std::make_shared<std::vector<SentMail>>();
    std::size_t sentCount() const {
        std::lock_guard lock(FakeSmtp::mutex());
        return sent->size();
    }
    VirtualClock* clock = nullptr;
    RecordingPrompt* prompt = nullptr;
    std::unique_ptr<CTarnwickDlg> dlg;
    std::string opened;
    bool openResult = false;
    std::string fallback;  // where the log goes while the data folder is unwritable
    std::vector<std::string> startupWarnings;  // what reading the settings file found
};

TEST_F(MainWindowTest, TitleSizesAndNoMaximiseButton) {
    CTarnwickDlg& d = open();
    EXPECT_EQ(d.windowTitle().toStdString(), "安全監視システム(orvana)");
    EXPECT_EQ(d.minimumSize(), QSize(320, 480));
    EXPECT_EQ(d.maximumSize(), QSize(2560, 1920));
    EXPECT_FALSE(d.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(d.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(d.workingBox()->text().toStdString(), "メール送信を行う");
    EXPECT_EQ(d.broadcastButton()->text().toStdString(), "メール連絡...");
    EXPECT_EQ(d.monitorGroup()->title().toStdString(), "監視項目");
    const char* labels[6] = {"音量", "動体", "停電", "温湿度", "放射線", "電力"};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(d.monitorBox(k)->text().toStdString(), labels[k]);
    EXPECT_EQ(d.settingsButton()->text().toStdString(), "設定...");
    EXPECT_EQ(d.manualButton()->text().toStdString(), "マニュアル表示");
    EXPECT_EQ(d.exitButton()->text().toStdString(), "終了");
}

TEST_F(MainWindowTest, LayoutAtTwoSizes) {
    CTarnwickDlg& d = open();
    struct Case {
        int cx, cy;
    };
    for (Case c : {Case{400, 600}, Case{1001, 777}}) {
        d.layoutControls(c.cx, c.cy);
        const int w3 = (c.cx - 32) / 3, w6 = (c.cx - 64) / 6, listH = c.cy - 164;
        EXPECT_EQ(d.workingBox()->geometry(), QRect(8, 8, 2 * w3 + 8, 32));
        EXPECT_EQ(d.broadcastButton()->geometry(), QRect(2 * (w3 + 8) + 8, 8, w3, 32));
        EXPECT_EQ(d.monitorGroup()->geometry(), QRect(8, 48, c.cx - 16, 60));
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(d.monitorBox(k)->geometry(), QRect(16 + k * (w6 + 8), 67, w6, 32)) << k;
        EXPECT_EQ(d.eventList()->geometry(), QRect(8, 116, c.cx - 16, listH));
        EXPECT_EQ(d.settingsButton()->geometry(), QRect(8, c.cy - 40, w3, 32));
        EXPECT_EQ(d.manualButton()->geometry(), QRect(w3 + 16, c.cy - 40, w3, 32));
        EXPECT_EQ(d.exitButton()->geometry(), QRect(2 * (w3 + 8) + 8, c.cy - 40, w3, 32));
    }
    // 400 wide: w3 = 122, w6 = 56.
    d.layoutControls(400, 600);
    EXPECT_EQ(d.exitButton()->geometry(), QRect(268, 560, 122, 32));
    EXPECT_EQ(d.monitorBox(5)->geometry(), QRect(336, 67, 56, 32));
}

TEST(WindowPlacement, StoredRectangleOnAScreenIsUsed) {
    const std::vector<QRect> screens = {QRect(0, 0, 1920, 1080)};
    const QRect work(0, 0, 1920, 1040);
    Placement p{100, 50, 500, 650};
    EXPECT_EQ(placeWindowRect(p, QSize(400, 600), screens, work), QRect(100, 50, 400, 600));
}

TEST(WindowPlacement, RectangleOnNoScreenFallsBackToTopRight) {
    const std::vector<QRect> screens = {QRect(0, 0, 1920, 1080)};
    const QRect work(0, 0, 1920, 1040);
    // A second monitor that is gone: the rectangle lay right of the first.
    Placement gone{2000, 100, 2400, 700};
    EXPECT_EQ(placeWindowRect(gone, QSize(400, 600), screens, work), QRect(1510, 10, 400, 590));
    // Never stored.
    EXPECT_EQ(placeWindowRect(Placement{}, QSize(400, 600), screens, work),
              QRect(1510, 10, 400, 590));
    // Only the top-left corner on a screen is not enough.
    Placement half{1800, 100, 2200, 700};
    EXPECT_EQ(placeWindowRect(half, QSize(400, 600), screens, work).left(), 1510);
    // A window taller than the work area is cut to it, less the top margin.
    EXPECT_EQ(placeWindowRect(Placement{}, QSize(400, 2000), screens, work),
              QRect(1510, 10, 400, 1030));
    // Camera windows step 8 pixels per camera.
    EXPECT_EQ(placeWindowRect(Placement{}, QSize(400, 600), screens, work, 16).topLeft(),
              QPoint(1526, 26));
}

TEST_F(MainWindowTest, UnconfiguredStartShowsBannerAndUsageGuide) {
    store().writeInt("Setting", "REBOOT", 1);
    open();
    std::vector<std::string> l = listLines();
    ASSERT_GE(l.size(), 22u);
    EXPECT_EQ(l[0], "*--------------------------------------------*");
    EXPECT_EQ(l[1], "　    異常検知　→　メール通知システム");
    EXPECT_EQ(l[3], "*--------------------------------------------*");
    EXPECT_EQ(l[4], "利用方法：");
    EXPECT_EQ(l[12], "");
    EXPECT_EQ(l[19], "　停電通知のためには、本システムはノートPC上で動作させてください");
    EXPECT_EQ(l[21], "");
    // No mail set up: the marker is left alone and nothing is reported.
    EXPECT_FALSE(listHas(">定期再起動"));
    EXPECT_EQ(store().getInt("Setting", "REBOOT", -1), 1);
    EXPECT_FALSE(dlg->broadcastButton()->isEnabled());
    const std::string log = todaysLog();
    EXPECT_EQ(log.rfind("*--------------------------------------------*\r\n", 0), 0u);
    EXPECT_NE(log.find("利用方法：\r\n"), std::string::npos);
}

TEST_F(MainWindowTest, RestartMarkerWithMailConfigured) {
    store().writeString("Setting", "SMTP", "smtp.example.org");
    store().writeInt("Setting", "REBOOT", 2);
    open();
    EXPECT_TRUE(listHas("2026/03/05 14:05:09 >再起動"));
    EXPECT_EQ(store().getInt("Setting", "REBOOT", -1), 0);
}

TEST_F(MainWindowTest, RestartNoticeIsMailedToManagementRecipients) {
    store().writeInt("Setting", "WORKING", 1);
    store().writeInt("Setting", "USER_ADDRESS", 2);
    store().writeString("UserAddress0", "Address", "boss@example.org");
    store().writeInt("UserAddress0", "KANRI", 1);
    store().writeString("UserAddress1", "Address", "other@example.org");
    store().writeInt("UserAddress1", "IJYOU", 1);
    store().writeInt("Setting", "REBOOT", 2);
    open();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (sentCount() == 0 && std::chrono::steady_clock::now() < end)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(sentCount(), 1u);
    std::lock_guard lock(FakeSmtp::mutex());
    EXPECT_EQ((*sent)[0].recipients, std::vector<std::string>{"boss@example.org"});
    // The body starts with the date-time line of the notice.
    EXPECT_NE((*sent)[0].message.find("Content-Type: text/plain"), std::string::npos);
}

TEST_F(MainWindowTest, PeriodicRebootMarkerWithMailConfigured) {
    store().writeString("Setting", "FROM", "me@example.org");
    store().writeInt("Setting", "REBOOT", 1);
    open();
    EXPECT_TRUE(listHas("2026/03/05 14:05:09 >定期再起動"));
    EXPECT_FALSE(listHas(">再起動"));
    EXPECT_EQ(store().getInt("Setting", "REBOOT", -1), 0);
}

TEST_F(MainWindowTest, SettingsSummaryOfAConfiguredProgram) {
    MemorySettingsStore& s = store();
    s.writeInt("Setting", "USE_QUELLOR_SMTP", 1);
    s.writeString("Setting", "SMTP", "smtp.example.org");
    s.writeInt("Setting", "PORTNUM", 1);
    s.writeInt("Setting", "ENABLESSL", 1);
    s.writeString("Setting", "USERNAME", "user");
    s.writeString("Setting", "PASSWORD", "secret");
    s.writeString("Setting", "FROM", "me@example.org");
    s.writeInt("Setting", "USER_ADDRESS", 2);
    s.writeString("UserAddress0", "Address", "a@example.org");
    s.writeInt("UserAddress0", "IJYOU", 1);
    s.writeString("UserAddress1", "Address", "b@example.org");
    s.writeInt("UserAddress1", "KANRI", 1);
    s.writeInt("Setting", "HOUR_TK", 8);
    s.writeInt("Setting", "CHECK_RB", 1);
    s.writeInt("Setting", "WEEK_RB", 7);
    s.writeInt("Setting", "BATTERYLIMIT", 15);
    s.writeInt("Setting", "HOUR_KA", 8);
    s.writeString("Setting", "TO_KA", "dog@example.org");
    open();
    std::vector<std::string> l = listLines();
    const std::vector<std::string> expected = {
        "",
        "2026/03/05 14:05:09 設定情報:",
        "　・SMTPサーバ： smtp.example.org (port=587)(SSL/TLS)",
        "　・アカウント: user(me@example.org)",
        "　・宛先１：a@example.org;  異常通知",
        "　・宛先１：b@example.org;  その他管理情報通知",
        "　・定期通知 ： 10:00 30分毎に実施する",
        "　・定期マシン再起動 ： 08:30 毎週　月～金に実施する",
        "　・停電時の自動シャットダウン ： 電池残量が15%以下になったとき実施",
        "　・KeepAliveメール監視サービス ： 利用する　14:06 より1時間毎にKeepAlive通知する",
        "　　(To:dog@example.org)",
        " ",
    };
    ASSERT_GE(l.size(), 4 + expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(l[4 + i], expected[i]) << i;
    for (const auto& line : l)
        EXPECT_EQ(line.find("secret"), std::string::npos);
    EXPECT_FALSE(dlg->broadcastButton()->isEnabled());  // WORKING is 0
}

TEST_F(MainWindowTest, SummaryWithEverythingOff) {
    MemorySettingsStore& s = store();
    s.writeString("Setting", "FROM", "me@example.org");
    s.writeInt("Setting", "CHECK_TK", 0);
    s.writeInt("Setting", "AUTOSHUTDOWN", 0);
    s.writeInt("Setting", "CHECK_RB", 1);
    s.writeInt("Setting", "WEEK_RB", 17);
    s.writeInt("Setting", "PORTNUM", 0);
    open();
    std::vector<std::string> l = listLines();
    // The maker's account: no server lines.
    EXPECT_EQ(l[6], "　・定期通知 ： 実施しない");
    EXPECT_EQ(l[7], "　・定期マシン再起動 ： 08:30 毎週　毎日実施する");
    EXPECT_EQ(l[8], "　・停電時の自動シャットダウン ： 実施しない");
    EXPECT_EQ(l[9], "　・KeepAliveメール監視サービス ： 利用しない");
    EXPECT_EQ(l[10], " ");
}

TEST_F(MainWindowTest, AfterExitNothingReachesListOrLog) {
    CTarnwickDlg& d = open();
    const int before = d.eventList()->count();
    const std::string logBefore = todaysLog();
    d.OnBnClickedOk();
    d.Report("a monitor shutting down", 2);
    EXPECT_EQ(d.eventList()->count(), before);
    EXPECT_EQ(todaysLog(), logBefore);
}

TEST_F(MainWindowTest, EnterEndsLikeExitEscKeepsReporting) {
    {
        CTarnwickDlg& d = open();
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&d, &esc);
        d.Report("still here", 0);
        EXPECT_TRUE(listHas("still here"));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(&d, &enter);
        d.Report("gone", 0);
        EXPECT_FALSE(listHas("gone"));
    }
}

TEST_F(MainWindowTest, DestructionSavesSettingsAndPlacement) {
    open().mutableSettings().subject = "saved";
    dlg.reset();
    MemorySettingsStore& s = mem;
    EXPECT_EQ(s.getString("Setting", "SUBJECT", ""), "saved");
    EXPECT_NE(s.getInt("Placement", "left", -10000), -10000);
    EXPECT_NE(s.getInt("Placement", "bottom", -10000), -10000);
}

TEST_F(MainWindowTest, MissingMonitorsHaveTheirBoxesDisabledButKeepTheirState) {
    store().writeInt("Setting", "USE_CAMERA", 1);
    CTarnwickDlg& d = open();
    EXPECT_FALSE(d.monitorBox(0)->isEnabled());  // no sound input at all
    EXPECT_FALSE(d.monitorBox(1)->isEnabled());
    EXPECT_TRUE(d.monitorBox(1)->isChecked());
    EXPECT_FALSE(d.monitorBox(3)->isEnabled());
}

TEST_F(MainWindowTest, WorkingBoxSavesAndUpdatesTheBroadcastButton) {
    store().writeInt("Setting", "USER_ADDRESS", 1);
    store().writeString("UserAddress0", "Address", "a@example.org");
    CTarnwickDlg& d = open();
    EXPECT_FALSE(d.broadcastButton()->isEnabled());
    d.workingBox()->click();
    EXPECT_TRUE(d.broadcastButton()->isEnabled());
    EXPECT_EQ(store().getInt("Setting", "WORKING", 0), 1);
}

TEST_F(MainWindowTest, ManualThatCannotBeOpenedSaysSo) {
    CTarnwickDlg& d = open();
    d.manualButton()->click();
    EXPECT_EQ(opened, dir / "manual.html");
    ASSERT_EQ(prompt->messages.size(), 1u);
    EXPECT_EQ(prompt->messages[0], "PDFファイルのビューワーが設定されていません。\n\n");
    openResult = true;
    d.manualButton()->click();
    EXPECT_EQ(prompt->messages.size(), 1u);
}

TEST_F(MainWindowTest, ReportFromAnotherThreadReachesTheListThroughTheEventLoop) {
    CTarnwickDlg& d = open();
    std::thread t([&] { d.Report("from the sender", 1); });
    t.join();
    // The log line is written at once, on the reporting thread.
    EXPECT_NE(todaysLog().find("14:05:09 from the sender\r\n"), std::string::npos);
    EXPECT_FALSE(listHas("from the sender"));
    QApplication::processEvents();
    EXPECT_TRUE(listHas("14:05:09 from the sender"));
}

TEST_F(MainWindowTest, OverlongLineIsShownShortenedAndLoggedWhole) {
    CTarnwickDlg& d = open();
    const std::string longLine(20000, 'x');
    d.Report(longLine, 0);
    const std::string shown = listLines().back();
    EXPECT_LT(shown.size(), 1100u);
    EXPECT_NE(shown.find("…(以下省略)"), std::string::npos);
    EXPECT_NE(todaysLog().find(longLine + "\r\n"), std::string::npos);
}

TEST_F(MainWindowTest, UnwritableDataFolderIsSaidOnceAndTheLogGoesElsewhere) {
    store().writeString("Setting", "DATA_DIR", "/proc/orvana-cannot-be-here");
    fallback = dir / "state/log";
    CTarnwickDlg& d = open();
    const std::string said =
        "データフォルダ /proc/orvana-cannot-be-here に書き込めません。記録ファイルは " + fallback +
        " に保存します。";
    int times = 0;
    for (const auto& l : listLines())
        times += l.find(said) != std::string::npos;
    EXPECT_EQ(times, 1);
    ASSERT_EQ(prompt->notices.size(), 1u);
    EXPECT_NE(prompt->notices[0].find(said), std::string::npos);
    // Not one line is lost meanwhile.
    d.Report("while the folder is unwritable", 2);
    const std::string log = readFile(fallback + "/2026年03月05日.log");
    EXPECT_NE(log.find("利用方法：\r\n"), std::string::npos);
    EXPECT_NE(log.find("2026/03/05 14:05:09 while the folder is unwritable\r\n"),
              std::string::npos);
}

TEST_F(MainWindowTest, WhatStartUpFoundWrongIsSaidOnceAndTheDamageAlsoInABox) {
    const std::string damaged =
        "設定ファイル /home/u/.config/Quellor/orvana.conf に読み取れない行があります(5行目)。";
    startupWarnings = {damaged};
    store().writeInt("Setting", "BATTERYLIMIT", 500);
    store().writeInt("Setting", "HOUR_TK", 99);
    CTarnwickDlg& d = open();
    int damage = 0, reset = 0;
    for (const auto& l : listLines()) {
        damage += l.find(damaged) != std::string::npos;
        if (l.find("設定値が不正なため既定値に戻しました: ") != std::string::npos) {
            ++reset;
            EXPECT_NE(l.find("BATTERYLIMIT"), std::string::npos) << l;
            EXPECT_NE(l.find("HOUR_TK"), std::string::npos) << l;
        }
    }
    EXPECT_EQ(damage, 1);
    EXPECT_EQ(reset, 1);
    // The damaged file also gets a box; reset keys are only listed.
    ASSERT_EQ(prompt->notices.size(), 1u);
    EXPECT_NE(prompt->notices[0].find(damaged), std::string::npos);
    EXPECT_EQ(d.mutableSettings().batteryLimit, 10);
    EXPECT_NE(todaysLog().find(damaged), std::string::npos);
}

}  // namespace
}  // namespace orvana
