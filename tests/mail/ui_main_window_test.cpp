// The main window's "設定..." and "メール連絡..." with the dialogs answered
// by script: what OK applies, what Cancel leaves alone, the broadcast
// notice; and one test mail through the real SMTP server.
#include <gtest/gtest.h>

#include <QApplication>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/tarnwick_dlg.h"
#include "mail/mail_composer.h"
#include "mail/mail_queue.h"
#include "mail/mail_sender.h"
#include "mail/ui/dlg_setting.h"
#include "mail/ui/dlg_smtp_setting.h"
#include "mail/ui/dlg_test_mail.h"
#include "mail/ui/dlg_test_mail_send.h"
#include "mail/ui/dlg_user_address.h"
#include "supervision/power_status.h"
#include "supervision/shutdown_control.h"
#include "tests/mail/ui_dialog_support.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/window_doubles.h"

namespace orvana {
namespace {

using testing::FakeNetworkState;
using testing::FakeSmtpClient;
using testing::ForwardingStore;
using testing::MemorySettingsStore;
using testing::NoHttp;
using testing::NoShutdown;
using testing::OnMains;
using testing::RecordingPrompt;
using testing::ScriptedRunner;
using testing::SmtpTestServer;
using testing::TempDir;
using testing::VirtualClock;

class MainWindowDialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "Asia/Tokyo", 1);
        tzset();
        mem.writeString("Setting", "DATA_DIR", dir.file("data"));
        for (const char* k :
             {"USE_VOLUME", "USE_CAMERA", "USE_TEMPERATURE", "USE_GEIGER", "USE_OWL"})
            mem.writeInt("Setting", k, 0);
        mem.writeInt("Setting", "WORKING", 1);
        mem.writeInt("Setting", "USER_ADDRESS", 2);
        mem.writeString("UserAddress0", "Address", "a@example.org");
        mem.writeInt("UserAddress0", "IJYOU", 1);
        mem.writeInt("UserAddress0", "TEST", 1);
        mem.writeString("UserAddress1", "Address", "b@example.org");
        mem.writeInt("UserAddress1", "KANRI", 1);
    }
    void TearDown() override {
        if (clock)
            clock->setAutoAdvance(true);  // lets the sender's last slice pass
        dlg.reset();
    }

    CTarnwickDlg& open() {
        Services s;
        auto c = std::make_unique<VirtualClock>(fromLocal(2026, 3, 5, 14, 5, 9));
        clock = c.get();
        clock->realLimit = std::chrono::milliseconds(5);
        s.clock = std::move(c);
        s.store = std::make_unique<ForwardingStore>(mem);
        auto p = std::make_unique<RecordingPrompt>();
        prompt = p.get();
        s.prompt = std::move(p);
        s.headless = true;
        s.desktopDir = dir.file("Desktop");
        auto smtp = std::make_unique<FakeSmtpClient>();
        fakeSmtp = smtp.get();
        s.smtp = std::move(smtp);
        s.http = std::make_unique<NoHttp>();
        // The network never comes up: queued notices stay for the test to read.
        auto net = std::make_unique<FakeNetworkState>();
        net->up = false;
        network = net.get();
        s.network = std::move(net);
        s.power = std::make_unique<OnMains>();
        s.shutdown = std::make_unique<NoShutdown>();
        testing::fillWindowDoubles(s);
        dlg = std::make_unique<CTarnwickDlg>(std::move(s));
        dlg->OnInitDialog();
        dlg->runDialog = [this](QDialog& d) { return runner(d); };
        return *dlg;
    }

    std::vector<std::string> listLines() const {
        std::vector<std::string> out;
        for (int i = 0; i < dlg->eventList()->count(); ++i)
            out.push_back(dlg->eventList()->item(i)->text().toStdString());
        return out;
    }
    int countLines(const std::string& part) const {
        int n = 0;
        for (const auto& l : listLines())
            n += l.find(part) != std::string::npos;
        return n;
    }

    TempDir dir;
    MemorySettingsStore mem;
    VirtualClock* clock = nullptr;
    RecordingPrompt* prompt = nullptr;
    FakeSmtpClient* fakeSmtp = nullptr;
    FakeNetworkState* network = nullptr;
    ScriptedRunner runner;
    std::unique_ptr<CTarnwickDlg> dlg;
};

TEST_F(MainWindowDialogs, SettingsOkSavesRewritesTheSummaryAndMovesKeepAlive) {
    CTarnwickDlg& d = open();
    EXPECT_EQ(countLines("　・宛先１："), 2);
    d.Report("an old event line", 0);
    clock->advanceSeconds(3600);  // the KeepAlive reference moves to now + 60 s
    const TimeT okTime = clock->now();
    runner.then([](QDialog& dd) {
        auto& s = dynamic_cast<CDlgSetting&>(dd);
        EXPECT_EQ(s.windowTitle(), "全体設定");
        // Nothing monitors here, and the fake mains has a battery.
        EXPECT_FALSE(s.attachBox(ROW_VOL, COL_VOL)->isEnabled());
        EXPECT_TRUE(s.attachBox(ROW_POW, COL_DESK)->isEnabled());
        s.runDialog = [](QDialog& a) {
            auto& u = dynamic_cast<CDlgUserAddress&>(a);
            u.addressEdit()->setText("c@example.org");
            u.teikiBox()->setChecked(true);
            u.OnOK();
            return u.result();
        };
        s.OnBnClickedAdd();
        s.subjectEdit()->setText("office");
        s.hourKACombo()->setCurrentIndex(8);
        s.OnCbnSelchangeKeepAlive();
        s.OnOK();
        return s.result();
    });
    d.OnBnClickedSetting();

    // Saved.
    EXPECT_EQ(mem.getString("Setting", "SUBJECT", ""), "office");
    EXPECT_EQ(mem.getInt("Setting", "HOUR_KA", -1), 8);
    EXPECT_EQ(mem.getInt("Setting", "USER_ADDRESS", 0), 3);
    EXPECT_EQ(mem.getString("UserAddress2", "Address", ""), "c@example.org");
    EXPECT_EQ(mem.getInt("UserAddress2", "TEST", 0), 1);
    EXPECT_EQ(d.settings().subject, "office");
    // The list was cleared and holds the new summary only.
    const auto lines = listLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "*--------------------------------------------*");
    EXPECT_EQ(countLines("an old event line"), 0);
    EXPECT_EQ(countLines("　・宛先１："), 3);
    EXPECT_EQ(countLines("　・宛先１：c@example.org;  定期通知"), 1);
    // KeepAlive starts over 60 s after OK, and the summary says so.
    EXPECT_EQ(d.supervisor()->state().keepAliveRef, okTime + 60);
    EXPECT_EQ(countLines("　・KeepAliveメール監視サービス ： 利用する　15:06 より1時間毎に"
                         "KeepAlive通知する"),
              1);
    // Timer and sender run again; the broadcast button follows the rule.
    ASSERT_NE(d.timer1(), nullptr);
    EXPECT_TRUE(d.timer1()->isActive());
    EXPECT_TRUE(d.mailSender().running());
    EXPECT_TRUE(d.broadcastButton()->isEnabled());
}

// Waits (real time) until the window's sender has ended on a stop request.
bool senderEnded(CTarnwickDlg& d) {
    d.mailSender().requestStop();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (d.mailSender().running() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return !d.mailSender().running();
}

TEST_F(MainWindowDialogs, SettingsOkStartsASenderThatHasEnded) {
    CTarnwickDlg& d = open();
    ASSERT_TRUE(senderEnded(d));
    runner.then([](QDialog& dd) {
        auto& s = dynamic_cast<CDlgSetting&>(dd);
        s.OnOK();
        return s.result();
    });
    d.OnBnClickedSetting();
    EXPECT_TRUE(d.mailSender().running());
    // The new sender delivers what is queued from now on.
    network->up = true;
    d.RegistMail(ALERT_VOL, "警報発生", "text", 2);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (fakeSmtp->calls().empty() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(fakeSmtp->calls().size(), 1u);
    EXPECT_EQ(fakeSmtp->calls()[0].recipients, std::vector<std::string>{"a@example.org"});
}

TEST_F(MainWindowDialogs, DataFolderChangeMovesTheLog) {
    CTarnwickDlg& d = open();
    const std::string folder = dir.file("new/data");
    runner.then([&](QDialog& dd) {
        auto& s = dynamic_cast<CDlgSetting&>(dd);
        s.dataDirEdit()->setText(QString::fromStdString(folder));
        s.OnOK();
        return s.result();
    });
    d.OnBnClickedSetting();
    EXPECT_EQ(mem.getString("Setting", "DATA_DIR", ""), folder);
    const std::string log = testing::readFile(folder + "/2026年03月05日.log");
    EXPECT_NE(log.find("設定情報:"), std::string::npos);
}

TEST_F(MainWindowDialogs, UnwritableFolderChosenInTheSettingsIsSaidOncePerChange) {
    CTarnwickDlg& d = open();
    ASSERT_TRUE(prompt->notices.empty());
    const std::string bad = "/proc/orvana-cannot-be-here";
    const std::string said = "データフォルダ " + bad + " に書き込めません。";
    auto choose = [&](const std::string& folder) {
        runner.then([folder](QDialog& dd) {
            auto& s = dynamic_cast<CDlgSetting&>(dd);
            s.dataDirEdit()->setText(QString::fromStdString(folder));
            s.OnOK();
            return s.result();
        });
        d.OnBnClickedSetting();
    };
    choose(bad);
    EXPECT_EQ(countLines(said), 1);
    ASSERT_EQ(prompt->notices.size(), 1u);
    EXPECT_NE(prompt->notices[0].find(said), std::string::npos);
    // OK again on the same folder: said already.
    choose(bad);
    EXPECT_EQ(countLines(said), 0);
    EXPECT_EQ(prompt->notices.size(), 1u);
    // A writable folder, then the bad one again: a new change, said again.
    choose(dir.file("data"));
    EXPECT_EQ(countLines(said), 0);
    choose(bad);
    EXPECT_EQ(countLines(said), 1);
    EXPECT_EQ(prompt->notices.size(), 2u);
}

TEST_F(MainWindowDialogs, SettingsOkWithIncompleteOwnServerDisablesBroadcast) {
    CTarnwickDlg& d = open();
    EXPECT_TRUE(d.broadcastButton()->isEnabled());
    ASSERT_TRUE(senderEnded(d));
    runner.then([](QDialog& dd) {
        auto& s = dynamic_cast<CDlgSetting&>(dd);
        s.OnBnClickedOwnAccount();  // no server filled in
        s.OnOK();
        return s.result();
    });
    d.OnBnClickedSetting();
    EXPECT_EQ(mem.getInt("Setting", "USE_QUELLOR_SMTP", -1), 1);
    EXPECT_FALSE(d.broadcastButton()->isEnabled());
    // No sender for an account that cannot send.
    EXPECT_FALSE(d.mailSender().running());
    EXPECT_TRUE(d.timer1()->isActive());
}

TEST_F(MainWindowDialogs, SettingsCancelChangesNothing) {
    CTarnwickDlg& d = open();
    d.Report("an old event line", 0);
    const auto before = listLines();
    const int writes = mem.writes();
    const TimeT ref = d.supervisor()->state().keepAliveRef;
    clock->advanceSeconds(600);
    runner.then([](QDialog& dd) {
        auto& s = dynamic_cast<CDlgSetting&>(dd);
        s.addressList()->setCurrentRow(0);
        s.OnBnClickedDelete();
        s.subjectEdit()->setText("changed");
        return static_cast<int>(QDialog::Rejected);
    });
    d.OnBnClickedSetting();
    EXPECT_EQ(mem.writes(), writes);
    EXPECT_EQ(listLines(), before);
    EXPECT_EQ(d.settings().addresses.size(), 2u);
    EXPECT_EQ(d.settings().subject, "orvana");
    EXPECT_EQ(d.supervisor()->state().keepAliveRef, ref);
}

TEST_F(MainWindowDialogs, BroadcastQueuesOneNoticeToTheTickedRecipients) {
    CTarnwickDlg& d = open();
    // Nobody ticked first: the dialog stays, the cleared ticks are kept.
    runner.then([this](QDialog& dd) {
        auto& b = dynamic_cast<CDlgTestMail&>(dd);
        EXPECT_EQ(b.subjectEdit()->text(), "テスト");
        EXPECT_EQ(b.m_strBody, "\r\nこれは警報通知システム(Orvana)からの一斉通知メールです。\r\n" +
                                   mailFooter());
        EXPECT_EQ(b.recipientList()->item(0)->checkState(), Qt::Checked);
        EXPECT_EQ(b.recipientList()->item(1)->checkState(), Qt::Unchecked);
        b.recipientList()->item(0)->setCheckState(Qt::Unchecked);
        b.OnBnClickedSend();
        EXPECT_EQ(prompt->messages.back(), "宛先が指定されていません。");
        EXPECT_NE(b.result(), QDialog::Accepted);
        b.recipientList()->item(1)->setCheckState(Qt::Checked);
        b.OnBnClickedSend();
        return b.result();
    });
    d.OnBnClickedTestmail();
    EXPECT_EQ(d.settings().addresses[0].m_bTest, 0);
    EXPECT_EQ(d.settings().addresses[1].m_bTest, 1);
    // The report carries date and time.
    EXPECT_EQ(listLines().back(), "2026/03/05 14:05:09 ----一斉メール通知----");
    const auto queued = d.mailQueue().all();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].to, "b@example.org");
    EXPECT_EQ(queued[0].subject, "テスト：orvana");
    // The footer comes once from the dialog's text and once from the notice.
    const std::string& body = queued[0].body;
    const std::string footer = "This mail was generated by orvana.";
    EXPECT_NE(body.find(footer), body.rfind(footer));
    EXPECT_EQ(body.rfind("2026/03/05 14:05:09\r\n\r\n", 0), 0u);

    // Cancel queues nothing; the ticks stay as the last "送信" wrote them.
    d.OnBnClickedTestmail();
    EXPECT_EQ(d.mailQueue().size(), 1u);
    // ...and they reach the store with the next save.
    d.SaveSetting();
    EXPECT_EQ(mem.getInt("UserAddress0", "TEST", -1), 0);
    EXPECT_EQ(mem.getInt("UserAddress1", "TEST", -1), 1);
}

TEST_F(MainWindowDialogs, ButtonsOpenTheDialogs) {
    CTarnwickDlg& d = open();
    d.settingsButton()->click();
    d.broadcastButton()->click();
    EXPECT_EQ(runner.titles, (std::vector<std::string>{"全体設定", "一斉メール連絡"}));
}

// A test mail from the settings dialog to the real SMTP server, over
// STARTTLS with AUTH, with the WAN address in its body.
TEST_F(MainWindowDialogs, WaitAllMailSendLetsTheSenderFinishAndLog) {
    // The shutdown paths queue their last notice and wait on the UI thread:
    // the sender still delivers it and its report reaches the log file.
    CTarnwickDlg& d = open();
    network->up = true;
    ASSERT_EQ(d.RegistMail(ALERT_KANRI, "緊急シャットダウン", "停電が続いています。", 2), 1);
    d.WaitAllMailSend();
    EXPECT_TRUE(d.mailQueue().empty());
    const auto calls = fakeSmtp->calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().recipients, std::vector<std::string>{"b@example.org"});
    std::ifstream f(d.eventLog().logFilePathFor(clock->now()), std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("メール送信が完了しました(添付ファイル:0個)\r\n"), std::string::npos);
}

TEST(TestMailOverSmtp, ArrivesAndFailsWithAWrongPassword) {
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
    SmtpTestServer server;
    ASSERT_TRUE(server.ok()) << "aiosmtpd test server did not start";
    AppSettings s;
    s.useQuellorSmtp = 1;
    s.smtp = server.hostPort();
    s.portNum = 1;
    s.enableSsl = 1;
    s.userName = SmtpTestServer::kUser;
    s.password = SmtpTestServer::kPassword;
    s.from = "watch@pc.example";
    s.subject = "office";
    RecordingPrompt prompt;
    const std::unique_ptr<SmtpClient> smtp = makeCurlSmtpClient();
    VirtualClock clock(fromLocal(2026, 3, 5, 14, 5, 9));
    TestMailAccount account;
    account.caFile = server.certPath();
    account.connectTimeout = std::chrono::seconds(5);
    account.totalTimeout = std::chrono::seconds(10);
    CDlgSetting d(s, {}, SettingDialogServices{prompt, *smtp, clock, nullptr, account, [] {
                                                   return std::string("203.0.113.5");
                                               }});
    ScriptedRunner runner;
    d.runDialog = [&](QDialog& dd) { return runner(dd); };
    auto destination = [](QDialog& dd) {
        auto& t = dynamic_cast<CDlgTestMailSend&>(dd);
        t.addressEdit()->setText("owner@example.org");
        t.OnOK();
        return t.result();
    };
    d.gipBox()->setChecked(true);
    runner.then(destination);
    d.OnBnClickedTestMail();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "TESTメールの送信に成功しました。受信を確認してください。");
    ASSERT_TRUE(server.waitForMessages(1));
    const auto m = server.messages()[0];
    EXPECT_EQ(m.subject, "テストメール送信：office");
    EXPECT_NE(m.rawSubject.find("ISO-2022-JP"), std::string::npos);
    EXPECT_EQ(m.rcptTos, std::vector<std::string>{"owner@example.org"});
    EXPECT_EQ(m.mailFrom, "watch@pc.example");
    EXPECT_TRUE(m.tls);
    EXPECT_TRUE(m.authenticated);
    EXPECT_EQ(m.cc, "");
    EXPECT_EQ(m.replyTo, "");
    EXPECT_TRUE(m.attachments.empty());
    EXPECT_NE(m.body.find("This is Test Mail from orvana.(203.0.113.5)"), std::string::npos);

    // The unsaved password edit is what counts; the server refuses it.
    runner.then([](QDialog& dd) {
        dynamic_cast<DlgSmtpSetting&>(dd).passwordEdit()->setText("wrong");
        dynamic_cast<DlgSmtpSetting&>(dd).OnOK();
        return dd.result();
    });
    d.OnBnClickedSmtpSetting();
    runner.then(destination);
    d.OnBnClickedTestMail();
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_EQ(prompt.messages[1].rfind("TESTメールの送信に失敗しました。", 0), 0u);
    EXPECT_EQ(server.messages().size(), 1u);
}

}  // namespace
}  // namespace orvana
