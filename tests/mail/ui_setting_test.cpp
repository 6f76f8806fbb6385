// The global settings dialog and its small dialogs, driven through their
// handlers with scripted answers: enable rules, greyed attachment boxes,
// recipient editing, KeepAlive and keep-period rules, the 3GP button, the
// SMTP dialog and the test mail's checks.
#include <gtest/gtest.h>

#include "mail/ui/dlg_setting.h"
#include "mail/ui/dlg_smtp_setting.h"
#include "mail/ui/dlg_test_mail.h"
#include "mail/ui/dlg_test_mail_send.h"
#include "mail/ui/dlg_user_address.h"
#include "sound/ui/dlg_3gp.h"
#include "tests/mail/ui_dialog_support.h"

namespace orvana {
namespace {

using testing::FakeSmtpClient;
using testing::NoConverter;
using testing::recipient;
using testing::RecordingPrompt;
using testing::ScriptedRunner;

constexpr const char* kKeepAliveMessage =
    "少なくとも１名の管理情報の通知先アドレスを登録してください。";

QStringList items(const QComboBox* c) {
    QStringList l;
    for (int i = 0; i < c->count(); ++i)
        l << c->itemText(i);
    return l;
}

// Answers CDlgUserAddress with an address and flags.
ScriptedRunner::Step address(const char* text, bool ijyou, bool teiki, bool kanri) {
    return [=](QDialog& d) {
        auto& a = dynamic_cast<CDlgUserAddress&>(d);
        a.addressEdit()->setText(QString::fromUtf8(text));
        a.ijyouBox()->setChecked(ijyou);
        a.teikiBox()->setChecked(teiki);
        a.kanriBox()->setChecked(kanri);
        a.OnOK();
        return a.result();
    };
}

class SettingDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "Asia/Tokyo", 1);
        tzset();
        s.timeTK = fromLocal(2026, 3, 5, 10, 0, 0);
        s.timeRB = fromLocal(2026, 3, 5, 8, 30, 0);
        s.dataDir = "/tmp/orvana-data";
    }

    CDlgSetting& open(MonitorAvailability running = {}) {
        TestMailAccount account;
        account.maker.hostPort = "127.0.0.1:1";
        account.maker.account = "orvana@quellor.example";
        dlg = std::make_unique<CDlgSetting>(
            s, running, SettingDialogServices{prompt, smtp, clock, &converterEditor, account, [] {
                                                  return std::string("203.0.113.5");
                                              }});
        dlg->runDialog = [this](QDialog& d) { return runner(d); };
        return *dlg;
    }

    AppSettings s;
    RecordingPrompt prompt;
    FakeSmtpClient smtp;
    testing::VirtualClock clock{fromLocal(2026, 3, 5, 14, 5, 9)};
    NoConverter converter;
    sound::Dlg3gpEditor converterEditor{prompt, converter};
    ScriptedRunner runner;
    std::unique_ptr<CDlgSetting> dlg;
};

TEST_F(SettingDialogTest, ShowsTheStoredValuesAndHandsBackTheEditedCopy) {
    s.useQuellorSmtp = 1;
    s.hourTK = 7;
    s.weekRB = 17;
    s.dataKeepPeriod = 7;
    s.checkRB = 0;
    s.autoShutdown = 0;
    s.batteryLimit = 15;
    CDlgSetting& d = open();
    EXPECT_EQ(d.windowTitle(), "全体設定");
    EXPECT_EQ(d.makerRadio()->text(), "orvana@quellor.example");
    EXPECT_TRUE(d.ownRadio()->isChecked());
    EXPECT_EQ(items(d.hourTKCombo()).join(","),
              "24時間毎,12時間毎,8時間毎,6時間毎,4時間毎,3時間毎,2時間毎,1時間毎,30分毎,15分毎,"
              "10分毎,5分毎");
    EXPECT_EQ(items(d.weekRBCombo()).join(","),
              "日曜日,月曜日,火曜日,水曜日,木曜日,金曜日,土曜日,月～金,月～土,月水金,火木土,月水,"
              "月木,月金,火木,火金,水金,毎日");
    EXPECT_EQ(items(d.keepPeriodCombo()).join(","),
              "1時間,3時間,8時間,24時間,3日間,8日間,15日間,30日間,90日間,180日間,1年間,2年間");
    EXPECT_EQ(d.hourKACombo()->count(), 13);
    EXPECT_EQ(d.hourKACombo()->itemText(0), "利用しない");
    EXPECT_EQ(d.hourKACombo()->itemText(12), "5分毎");
    EXPECT_EQ(d.keepAliveGroup()->title(),
              "KeepAliveメール監視（Watch-Dogサービス：keepalive@quellor.example利用可)");
    EXPECT_EQ(d.hourTKCombo()->currentText(), "1時間毎");
    EXPECT_EQ(d.weekRBCombo()->currentText(), "毎日");
    EXPECT_EQ(d.keepPeriodCombo()->currentText(), "30日間");
    EXPECT_EQ(d.timeTKEdit()->time(), QTime(10, 0, 0));

    // Enable rules on opening and on the boxes.
    EXPECT_TRUE(d.smtpButton()->isEnabled());
    EXPECT_FALSE(d.batteryEdit()->isEnabled());
    EXPECT_TRUE(d.hourTKCombo()->isEnabled());
    EXPECT_FALSE(d.weekRBCombo()->isEnabled());
    EXPECT_FALSE(d.timeRBEdit()->isEnabled());
    EXPECT_FALSE(d.toKAEdit()->isEnabled());
    EXPECT_FALSE(d.editButton()->isEnabled());
    EXPECT_FALSE(d.deleteButton()->isEnabled());
    d.OnBnClickedMakerAccount();
    EXPECT_FALSE(d.smtpButton()->isEnabled());
    d.autoShutdownBox()->setChecked(true);
    d.OnBnClickedAutoShutdown();
    EXPECT_TRUE(d.batteryEdit()->isEnabled());
    d.checkTKBox()->setChecked(false);
    d.OnBnClickedCheckTK();
    EXPECT_FALSE(d.hourTKCombo()->isEnabled());
    EXPECT_FALSE(d.timeTKEdit()->isEnabled());
    d.checkRBBox()->setChecked(true);
    d.OnBnClickedCheckRB();
    EXPECT_TRUE(d.weekRBCombo()->isEnabled());

    d.subjectEdit()->setText("home");
    d.weekRBCombo()->setCurrentIndex(7);
    d.timeRBEdit()->setTime(QTime(23, 45, 10));
    d.batteryEdit()->setValue(20);
    d.attachBox(ROW_RQ, COL_DESK)->setChecked(true);
    d.OnOK();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    const AppSettings& r = d.settings();
    EXPECT_EQ(r.useQuellorSmtp, 0);
    EXPECT_EQ(r.subject, "home");
    EXPECT_EQ(r.checkRB, 1);
    EXPECT_EQ(r.weekRB, 7);
    EXPECT_EQ(r.checkTK, 0);
    EXPECT_EQ(r.autoShutdown, 1);
    EXPECT_EQ(r.batteryLimit, 20);
    EXPECT_EQ(r.attach[ROW_RQ][COL_DESK], 1);
    // Only the time of day is edited; the reference keeps its date.
    EXPECT_EQ(r.timeRB, fromLocal(2026, 3, 5, 23, 45, 10));
    EXPECT_EQ(r.timeTK, s.timeTK);
    // The caller's values are untouched.
    EXPECT_EQ(s.subject, "orvana");
}

TEST_F(SettingDialogTest, MonitorsThatDoNotRunAreGreyedButKeepTheirTicks) {
    MonitorAvailability running;
    running.sound = false;
    running.battery = false;
    CDlgSetting& d = open(running);
    for (int k = 0; k < 6; ++k) {
        EXPECT_FALSE(d.attachBox(ROW_VOL, k)->isEnabled()) << k;
        EXPECT_FALSE(d.attachBox(ROW_POW, k)->isEnabled()) << k;
    }
    for (int r = 0; r < 8; ++r)
        EXPECT_FALSE(d.attachBox(r, COL_VOL)->isEnabled()) << r;
    EXPECT_FALSE(d.attachRowLabel(ROW_VOL)->isEnabled());
    EXPECT_FALSE(d.attachColLabel(COL_VOL)->isEnabled());
    EXPECT_FALSE(d.attachRowLabel(ROW_POW)->isEnabled());
    EXPECT_EQ(d.attachRowLabel(ROW_VOL)->text(), "音量異常時：");
    EXPECT_EQ(d.attachColLabel(COL_VOL)->text(), "音量データ");
    // Other rows and the desktop column stay usable.
    EXPECT_TRUE(d.attachBox(ROW_TK, COL_DESK)->isEnabled());
    EXPECT_TRUE(d.attachBox(ROW_CAM, COL_CAM)->isEnabled());
    EXPECT_TRUE(d.attachColLabel(COL_DESK)->isEnabled());
    // Greyed boxes show and hand back the stored ticks.
    EXPECT_TRUE(d.attachBox(ROW_VOL, COL_VOL)->isChecked());
    EXPECT_TRUE(d.attachBox(ROW_TK, COL_VOL)->isChecked());
    EXPECT_TRUE(d.attachBox(ROW_POW, COL_CAM)->isChecked());
    d.OnOK();
    EXPECT_EQ(d.settings().attach, defaultAttachMatrix());

    // With everything running, nothing but the dependents is greyed.
    CDlgSetting& all = open();
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 6; ++c)
            EXPECT_TRUE(all.attachBox(r, c)->isEnabled());
}

TEST_F(SettingDialogTest, RecipientsAddEditAndDelete) {
    s.addresses = {recipient("a@example.org", 1, 0, 0, 0)};
    CDlgSetting& d = open();
    ASSERT_EQ(d.addressList()->count(), 1);
    EXPECT_EQ(d.addressList()->item(0)->text(), "a@example.org;  異常通知");

    // An empty address adds nothing; a new one gets the broadcast tick.
    runner.then(address("", true, false, false));
    d.OnBnClickedAdd();
    EXPECT_EQ(d.settings().addresses.size(), 1u);
    runner.then(address(" b@example.org ", false, true, true));
    d.OnBnClickedAdd();
    ASSERT_EQ(d.settings().addresses.size(), 2u);
    EXPECT_EQ(runner.titles.back(), "メールアドレス設定");
    const CUserAddress& b = d.settings().addresses[1];
    EXPECT_EQ(b.m_strAddress, "b@example.org");
    EXPECT_EQ(b.m_bTest, 1);
    EXPECT_EQ(d.addressList()->item(1)->text(), "b@example.org;  定期通知,その他管理情報通知");

    // Editing needs a selected line and keeps the broadcast tick.
    d.addressList()->setCurrentRow(0);
    d.OnLbnSelchangeAddress();
    EXPECT_TRUE(d.editButton()->isEnabled());
    EXPECT_TRUE(d.deleteButton()->isEnabled());
    runner.then([](QDialog& dd) {
        auto& a = dynamic_cast<CDlgUserAddress&>(dd);
        EXPECT_EQ(a.addressEdit()->text(), "a@example.org");
        EXPECT_TRUE(a.ijyouBox()->isChecked());
        a.addressEdit()->setText("c@example.org");
        a.kanriBox()->setChecked(true);
        a.OnOK();
        return a.result();
    });
    d.OnBnClickedEdit();
    EXPECT_EQ(d.settings().addresses[0].m_strAddress, "c@example.org");
    EXPECT_EQ(d.settings().addresses[0].m_bKanri, 1);
    EXPECT_EQ(d.settings().addresses[0].m_bTest, 0);
    d.addressList()->setCurrentRow(1);
    d.OnLbnSelchangeAddress();
    runner.then(address("b2@example.org", true, true, true));
    d.OnBnClickedEdit();
    EXPECT_EQ(d.settings().addresses[1].m_bTest, 1);

    // Cancel changes nothing.
    d.addressList()->setCurrentRow(1);
    d.OnBnClickedEdit();  // no step: cancelled
    EXPECT_EQ(d.settings().addresses[1].m_strAddress, "b2@example.org");

    // Clearing the address deletes the record.
    d.addressList()->setCurrentRow(0);
    d.OnLbnSelchangeAddress();
    runner.then(address("", true, true, true));
    d.OnBnClickedEdit();
    ASSERT_EQ(d.settings().addresses.size(), 1u);
    EXPECT_EQ(d.settings().addresses[0].m_strAddress, "b2@example.org");
    EXPECT_FALSE(d.editButton()->isEnabled());
    EXPECT_FALSE(d.deleteButton()->isEnabled());

    // "削除" removes at once, without asking.
    d.addressList()->setCurrentRow(0);
    d.OnLbnSelchangeAddress();
    d.OnBnClickedDelete();
    EXPECT_TRUE(d.settings().addresses.empty());
    EXPECT_EQ(d.addressList()->count(), 0);
    EXPECT_TRUE(prompt.questions.empty());
    EXPECT_FALSE(d.deleteButton()->isEnabled());
}

TEST_F(SettingDialogTest, KeepAliveNeedsAManagementRecipient) {
    // Stored choice without such a recipient: refused on opening.
    s.hourKA = 8;
    s.addresses = {recipient("a@example.org", 1, 1, 0)};
    CDlgSetting& d = open();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], kKeepAliveMessage);
    EXPECT_EQ(d.hourKACombo()->currentText(), "利用しない");
    EXPECT_FALSE(d.toKAEdit()->isEnabled());

    // Chosen by hand: the same.
    d.hourKACombo()->setCurrentIndex(8);
    d.OnCbnSelchangeKeepAlive();
    EXPECT_EQ(prompt.messages.size(), 2u);
    EXPECT_EQ(d.hourKACombo()->currentIndex(), 0);
    d.OnOK();
    EXPECT_EQ(d.settings().hourKA, 0);

    // With a management recipient the address edit opens.
    s.addresses.push_back(recipient("boss@example.org", 0, 0, 1));
    prompt.messages.clear();
    CDlgSetting& e = open();
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(e.hourKACombo()->currentText(), "1時間毎");
    EXPECT_TRUE(e.toKAEdit()->isEnabled());
    e.hourKACombo()->setCurrentIndex(0);
    e.OnCbnSelchangeKeepAlive();
    EXPECT_FALSE(e.toKAEdit()->isEnabled());
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(SettingDialogTest, ShorterKeepPeriodAsksLongerDoesNot) {
    s.dataKeepPeriod = 7;  // 30日間
    CDlgSetting& d = open();
    d.keepPeriodCombo()->setCurrentIndex(5);  // 8日間
    d.OnCbnSelchangeKeepPeriod();             // no answer scripted: Cancel
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(prompt.questions[0].rfind("注意：\nデータ保存期限を短く設定すると、", 0), 0u);
    EXPECT_NE(prompt.questions[0].find("このまま保存時間を短くしてよろしいですか？"),
              std::string::npos);
    EXPECT_EQ(d.keepPeriodCombo()->currentText(), "30日間");

    d.keepPeriodCombo()->setCurrentIndex(9);  // 180日間: longer, no question
    d.OnCbnSelchangeKeepPeriod();
    EXPECT_EQ(prompt.questions.size(), 1u);

    // Shorter than the last choice, answered OK.
    prompt.answers.push_back(true);
    d.keepPeriodCombo()->setCurrentIndex(8);
    d.OnCbnSelchangeKeepPeriod();
    EXPECT_EQ(prompt.questions.size(), 2u);
    EXPECT_EQ(d.keepPeriodCombo()->currentText(), "90日間");
    // ...and Cancel now falls back to that choice, not to the stored one.
    d.keepPeriodCombo()->setCurrentIndex(0);
    d.OnCbnSelchangeKeepPeriod();
    EXPECT_EQ(d.keepPeriodCombo()->currentText(), "90日間");
    d.OnOK();
    EXPECT_EQ(d.settings().dataKeepPeriod, 8);
}

TEST_F(SettingDialogTest, ConverterDialogDecidesTheConversionBox) {
    s.ffmpegPath = "/usr/bin/ffmpeg";
    s.conv3gp = 0;
    CDlgSetting& d = open();
    EXPECT_TRUE(d.conv3gpBox()->isEnabled());
    auto answer = [](const char* path) {
        return [=](QDialog& dd) {
            auto& g = dynamic_cast<sound::CDlg3gp&>(dd);
            EXPECT_EQ(g.windowTitle(), "WAV->3GP変換");
            g.pathEdit()->setText(QString::fromUtf8(path));
            g.optionEdit()->setText("-y");
            g.UpdateData();
            g.accept();
            return g.result();
        };
    };
    // Cancel keeps everything.
    d.OnBnClicked3gp();
    EXPECT_FALSE(d.conv3gpBox()->isChecked());
    // The dialog starts with the current values.
    runner.then([](QDialog& dd) {
        auto& g = dynamic_cast<sound::CDlg3gp&>(dd);
        EXPECT_EQ(g.pathEdit()->text(), "/usr/bin/ffmpeg");
        return static_cast<int>(QDialog::Rejected);
    });
    d.OnBnClicked3gp();
    runner.then(answer("/opt/ffmpeg"));
    d.OnBnClicked3gp();
    EXPECT_TRUE(d.conv3gpBox()->isChecked());
    EXPECT_TRUE(d.conv3gpBox()->isEnabled());
    runner.then(answer(""));
    d.OnBnClicked3gp();
    EXPECT_FALSE(d.conv3gpBox()->isChecked());
    EXPECT_FALSE(d.conv3gpBox()->isEnabled());
    runner.then(answer("/opt/ffmpeg2"));
    d.OnBnClicked3gp();
    d.OnOK();
    EXPECT_EQ(d.settings().ffmpegPath, "/opt/ffmpeg2");
    EXPECT_EQ(d.settings().ffmpegOption, "-y");
    EXPECT_EQ(d.settings().conv3gp, 1);
}

TEST_F(SettingDialogTest, SmtpDialogPortChoiceAndCopyBack) {
    s.useQuellorSmtp = 1;
    s.smtp = "mail.example.org";
    s.portNum = 0;
    s.userName = "u";
    CDlgSetting& d = open();
    runner.then([](QDialog& dd) {
        auto& m = dynamic_cast<DlgSmtpSetting&>(dd);
        EXPECT_EQ(m.serverEdit()->text(), "mail.example.org");
        EXPECT_TRUE(m.port25Radio()->isChecked());
        EXPECT_FALSE(m.userEdit()->isEnabled());
        EXPECT_FALSE(m.passwordEdit()->isEnabled());
        EXPECT_EQ(m.passwordEdit()->echoMode(), QLineEdit::Password);
        m.OnBnClickedPort587();
        EXPECT_TRUE(m.userEdit()->isEnabled());
        EXPECT_TRUE(m.passwordEdit()->isEnabled());
        m.userEdit()->setText("login");
        m.passwordEdit()->setText("pw");
        m.fromEdit()->setText("me@example.org");
        m.sslBox()->setChecked(true);
        m.OnBnClickedPort25();
        EXPECT_FALSE(m.userEdit()->isEnabled());
        m.OnBnClickedPort587();
        m.OnOK();
        return m.result();
    });
    d.OnBnClickedSmtpSetting();
    EXPECT_EQ(runner.titles.back(), "メール送信サーバーの設定");
    // Cancel of a second round keeps the first round's values.
    runner.then([](QDialog& dd) {
        dynamic_cast<DlgSmtpSetting&>(dd).serverEdit()->setText("other");
        return static_cast<int>(QDialog::Rejected);
    });
    d.OnBnClickedSmtpSetting();
    d.OnOK();
    const AppSettings& r = d.settings();
    EXPECT_EQ(r.smtp, "mail.example.org");
    EXPECT_EQ(r.portNum, 1);
    EXPECT_EQ(r.enableSsl, 1);
    EXPECT_EQ(r.userName, "login");
    EXPECT_EQ(r.password, "pw");
    EXPECT_EQ(r.from, "me@example.org");
}

TEST_F(SettingDialogTest, TestMailWithIncompleteServerSendsNothing) {
    s.useQuellorSmtp = 1;
    s.smtp = "127.0.0.1";
    s.portNum = 0;  // port 25 needs the login fields as well
    s.password = "pw";
    s.from = "me@example.org";
    CDlgSetting& d = open();
    d.OnBnClickedTestMail();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "送信（STMP）サーバーに関する情報設定が、不十分です。");
    EXPECT_TRUE(runner.titles.empty());  // not even asked for a destination
    EXPECT_TRUE(smtp.calls().empty());
}

TEST_F(SettingDialogTest, TestMailDestinationNeedsDotAndAtSign) {
    CDlgSetting& d = open();  // the maker's account: always complete
    runner.then([this](QDialog& dd) {
        auto& t = dynamic_cast<CDlgTestMailSend&>(dd);
        EXPECT_EQ(t.addressEdit()->text(), "");
        for (const char* bad : {"", "user.example.org", "user@example", "   "}) {
            t.addressEdit()->setText(bad);
            t.OnOK();
            EXPECT_NE(t.result(), QDialog::Accepted) << bad;
        }
        EXPECT_EQ(prompt.messages.size(), 4u);
        t.addressEdit()->setText("me@example.org");
        t.OnOK();
        return t.result();
    });
    d.OnBnClickedTestMail();
    EXPECT_EQ(runner.titles, std::vector<std::string>{"テストメール送信"});
    ASSERT_EQ(prompt.messages.size(), 5u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(prompt.messages[i], "メールアドレスを正しく入力してください。");
    EXPECT_EQ(prompt.messages[4], "TESTメールの送信に成功しました。受信を確認してください。");
    ASSERT_EQ(smtp.calls().size(), 1u);
    const auto call = smtp.calls()[0];
    EXPECT_EQ(call.recipients, std::vector<std::string>{"me@example.org"});
    EXPECT_EQ(call.from, "orvana@quellor.example");
    EXPECT_TRUE(call.params.auth);
    EXPECT_EQ(call.params.port, 1);  // the maker's host:port
    EXPECT_FALSE(call.params.startTls);
    EXPECT_LE(call.params.totalTimeout, std::chrono::milliseconds(60000));

    // The next test starts with the address entered last; Cancel sends nothing.
    runner.then([](QDialog& dd) {
        EXPECT_EQ(dynamic_cast<CDlgTestMailSend&>(dd).addressEdit()->text(), "me@example.org");
        return static_cast<int>(QDialog::Rejected);
    });
    d.OnBnClickedTestMail();
    EXPECT_EQ(smtp.calls().size(), 1u);
    EXPECT_EQ(prompt.messages.size(), 5u);
}

TEST_F(SettingDialogTest, TestMailFailureNamesTwoExampleServers) {
    CDlgSetting& d = open();
    SmtpResult refused;
    refused.status = SmtpResult::Failed;
    smtp.script(refused);
    runner.then([](QDialog& dd) {
        auto& t = dynamic_cast<CDlgTestMailSend&>(dd);
        t.addressEdit()->setText("me@example.org");
        t.OnOK();
        return t.result();
    });
    d.OnBnClickedTestMail();
    ASSERT_EQ(prompt.messages.size(), 1u);
    const std::string& m = prompt.messages[0];
    const std::string head =
        "TESTメールの送信に失敗しました。\r\nメールの各設定項目を再確認してください。\r\n例)\r\n";
    ASSERT_EQ(m.rfind(head, 0), 0u);
    // Two lines "・name : host 587", the first with (TLS), each ended by CR LF.
    const std::string rest = m.substr(head.size());
    const std::size_t first = rest.find("\r\n");
    ASSERT_NE(first, std::string::npos);
    const std::string l1 = rest.substr(0, first), l2 = rest.substr(first + 2);
    EXPECT_EQ(l1.rfind("・", 0), 0u);
    EXPECT_NE(l1.find(" : "), std::string::npos);
    EXPECT_EQ(l1.substr(l1.size() - 9), " 587(TLS)");
    EXPECT_EQ(l2.rfind("・", 0), 0u);
    EXPECT_EQ(l2.substr(l2.size() - 6), " 587\r\n");
    EXPECT_EQ(l2.find("\r\n"), l2.size() - 2);
}

TEST(BroadcastDialog, NobodyTickedStaysOpenAndTheTicksAreWritten) {
    RecordingPrompt prompt;
    std::vector<CUserAddress> list = {recipient("a@example.org", 1, 0, 0, 1),
                                      recipient("b@example.org", 0, 1, 0, 0)};
    const std::string body = "\r\nline one\r\n\r\nThis mail was generated by orvana.\r\n";
    CDlgTestMail d(list, prompt, "テスト", body);
    EXPECT_EQ(d.windowTitle(), "一斉メール連絡");
    ASSERT_EQ(d.recipientList()->count(), 2);
    EXPECT_EQ(d.recipientList()->item(0)->text(), "a@example.org");
    EXPECT_EQ(d.recipientList()->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(d.recipientList()->item(1)->checkState(), Qt::Unchecked);
    EXPECT_EQ(d.subjectEdit()->text(), "テスト");

    d.recipientList()->item(0)->setCheckState(Qt::Unchecked);
    d.OnBnClickedSend();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "宛先が指定されていません。");
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_EQ(list[0].m_bTest, 0);  // written although nothing was sent

    d.recipientList()->item(1)->setCheckState(Qt::Checked);
    d.subjectEdit()->setText("お知らせ");
    d.OnBnClickedSend();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(list[0].m_bTest, 0);
    EXPECT_EQ(list[1].m_bTest, 1);
    EXPECT_EQ(d.m_strSubject, "お知らせ");
    // An untouched body comes back with its CR LF line ends.
    EXPECT_EQ(d.m_strBody, body);
}

}  // namespace
}  // namespace orvana
