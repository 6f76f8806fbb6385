// The demo as a newcomer runs it: `orvana --demo`, headless, on a machine
// with none of the devices, here hurried with --time-scale 10. Every monitor
// of this build raises its alarm on the event list, every notice lands in
// the Maildir folder as a mail a mail program reads (subject decoded,
// attachments present: the window pictures, the sound recording holding the
// burst), the program ends cleanly, and the user's own settings file (named
// by ORVANA_CONFIG) is not touched. With --smtp the notices go to that server
// instead, without login or TLS.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/mail/mail_test_support.h"
#include "tests/support/child_program.h"

namespace orvana::demo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orvana::testing::ChildProgram;
using orvana::testing::runCommand;
using orvana::testing::SmtpTestServer;
using orvana::testing::TempDir;

// The onset line of each monitor box that this build has.
struct Expected {
    const char* box;
    const char* line;
    const char* subject;
};
const std::vector<Expected>& expectations() {
    static const std::vector<Expected> all = [] {
        std::vector<Expected> e = {
            {"音量", ">>>警報発生<<<", "警報発生"},
            {"停電", ">>>停電発生<<<", "停電発生"},
            {"温湿度", ">>>温度異常発生<<<", "温度異常発生"},
            {"放射線", ">>>放射線　カウント値異常発生<<<", "放射線カウント値異常発生"},
            {"電力", ">>>電力異常発生<<<", "電力異常発生"},
        };
#ifdef ORVANA_DEMO_TEST_CAMERAS
        e.push_back({"動体", ">>>動体検知<<< Camera#0", "動体検知"});
#endif
        return e;
    }();
    return all;
}

std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The text after `label` up to the end of its line.
std::string lineValue(const std::string& out, const std::string& label) {
    const auto at = out.find(label);
    if (at == std::string::npos)
        return {};
    const auto start = at + label.size();
    return out.substr(start, out.find('\n', start) - start);
}

struct Home {
    TempDir dir;
    Home() {
        fs::create_directories(dir.file("run"));
        fs::permissions(dir.file("run"), fs::perms::owner_all);
        fs::create_directories(dir.file("tmp"));
    }
    std::vector<std::string> env(const std::vector<std::string>& more = {}) const {
        std::vector<std::string> e = {"HOME=" + dir.path(),
                                      "XDG_RUNTIME_DIR=" + dir.file("run"),
                                      "XDG_CONFIG_HOME=" + dir.file("config"),
                                      "XDG_STATE_HOME=" + dir.file("state"),
                                      "TMPDIR=" + dir.file("tmp"),
                                      "ORVANA_CONFIG=" + dir.file("user.conf"),
                                      "TZ=Asia/Tokyo",
                                      "LANG=C.UTF-8",
                                      "PATH=/usr/bin:/bin"};
        e.insert(e.end(), more.begin(), more.end());
        return e;
    }
};

// One hurried demo run shared by the tests below: it takes a couple of
// minutes (the radiation monitor judges completed minutes).
struct DemoRun {
    Home home;
    std::string userConf;
    struct stat userBefore {};
    std::string output;
    int exitCode = -1;
    std::string maildir;
    QJsonArray mails;
    QJsonArray leftInTmp;
    bool allSeen = false;

    DemoRun() {
        userConf = home.dir.file("user.conf");
        std::ofstream(userConf) << "[Setting]\nWORKING=0\nDATA_DIR=/somewhere/of/mine\n"
                                << "USE_VOLUME=0\n[UserAddress0]\nAddress=me@home.example\n";
        // An old time stamp: a rewrite of the file would show.
        const struct timespec times[2] = {{1600000000, 123456789}, {1600000000, 123456789}};
        ::utimensat(AT_FDCWD, userConf.c_str(), times, 0);
        ::stat(userConf.c_str(), &userBefore);

        ChildProgram p(ORVANA_BINARY, {"--demo", "--time-scale", "10"}, home.env());
        if (!p.started())
            return;
        allSeen = true;
        std::size_t last = 0;
        for (const Expected& e : expectations()) {
            // Generous: the suite runs in parallel on a loaded machine.
            if (!p.waitForOutput(std::string(" ") + e.line + "\n", 300s)) {
                allSeen = false;
                continue;
            }
            last = std::max(last, p.output().find(std::string(" ") + e.line + "\n"));
        }
        // The mail of the last onset has gone out before the program ends
        // (mails still queued at the end are dropped, by design).
        p.waitForOutput("メール送信が完了しました", 60s, last);
        exitCode = p.stop(60s);
        output = p.output();
        maildir = lineValue(output, "  メール：");
        maildir = maildir.substr(0, maildir.find(" に"));
        if (maildir.empty())
            return;
        const std::string json = home.dir.file("mails.json");
        const int rc = runCommand({"/bin/sh", "-c",
                                   "/usr/bin/python3 '" ORVANA_DEMO_TEST_DIR "/read_maildir.py' '" +
                                       maildir + "' > '" + json + "'"});
        if (rc != 0)
            return;
        const QJsonObject root =
            QJsonDocument::fromJson(QByteArray::fromStdString(slurp(json))).object();
        mails = root["mails"].toArray();
        leftInTmp = root["tmp"].toArray();
    }
};

class DemoProcess : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { run_ = new DemoRun(); }
    static void TearDownTestSuite() {
        delete run_;
        run_ = nullptr;
    }
    static DemoRun* run_;
};
DemoRun* DemoProcess::run_ = nullptr;

TEST_F(DemoProcess, EveryMonitorRaisesItsAlarmAndTheProgramEndsCleanly) {
    const std::string& out = run_->output;
    EXPECT_TRUE(run_->allSeen) << out;
    EXPECT_EQ(run_->exitCode, 0) << out;
    // The console says where everything is, what runs, and that it ended.
    EXPECT_NE(out.find("デモモード："), std::string::npos) << out;
    EXPECT_EQ(
        lineValue(out, "  データフォルダ：").rfind(run_->home.dir.file("tmp/orvana-demo-"), 0), 0u)
        << out;
    for (const Expected& e : expectations())
        EXPECT_NE(out.find(std::string(e.box) + "：監視中\n"), std::string::npos) << e.box << out;
    EXPECT_NE(out.find("メール：送信する（宛先 2 件、" + run_->maildir + "）"), std::string::npos)
        << out;
    EXPECT_NE(out.find("監視を終了しました。\n"), std::string::npos) << out;
    EXPECT_NE(out.find("デモのフォルダ "), std::string::npos) << out;
    EXPECT_EQ(out.find("Error"), std::string::npos) << out;

    const std::string sep = "---------------------------------------\n";
    const std::string stamp = R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2} )";
    for (const Expected& e : expectations())
        EXPECT_TRUE(std::regex_search(out, std::regex(sep + stamp + e.line + "\n"))) << e.line;
}

TEST_F(DemoProcess, EveryNoticeIsAMailInTheMaildirWithItsAttachments) {
    const std::string& out = run_->output;
    const QJsonArray& mails = run_->mails;
    ASSERT_FALSE(run_->maildir.empty()) << out;
    EXPECT_TRUE(run_->leftInTmp.isEmpty());
    // One mail for each "sent" line of the log, with as many attachments as
    // it says, in the same order. (The log, not the console: a line the
    // sender writes as the program ends reaches the log only.)
    std::vector<std::string> logs;
    const std::string data = lineValue(out, "  データフォルダ：");
    for (const auto& e : fs::directory_iterator(data))
        if (e.path().extension() == ".log")
            logs.push_back(e.path().string());
    std::sort(logs.begin(), logs.end());
    std::string log;
    for (const std::string& l : logs)
        log += slurp(l);
    std::vector<int> announced;
    const std::regex sent(R"(メール送信が完了しました\(添付ファイル:(\d+)個\))");
    for (std::sregex_iterator it(log.begin(), log.end(), sent), end; it != end; ++it)
        announced.push_back(std::stoi((*it)[1]));
    ASSERT_EQ(static_cast<std::size_t>(mails.size()), announced.size()) << log;
    for (int i = 0; i < mails.size(); ++i) {
        const QJsonObject m = mails[i].toObject();
        const std::string subject = m["subject"].toString().toStdString();
        SCOPED_TRACE(subject);
        EXPECT_EQ(m["attachments"].toArray().size(), announced[static_cast<std::size_t>(i)]);
        // Decoded by the mail reader, in LF lines as Maildir readers expect.
        EXPECT_EQ(subject.find("=?"), std::string::npos);
        EXPECT_FALSE(m["crlf"].toBool());
        for (const QJsonValue& a : m["attachments"].toArray()) {
            const QJsonObject att = a.toObject();
            EXPECT_GT(att["size"].toInt(), 1000);
            const std::string name = att["filename"].toString().toStdString();
            EXPECT_EQ(att["kind"].toString(),
                      name.size() > 4 && name.substr(name.size() - 4) == ".wav"
                          ? QStringLiteral("wav")
                          : QStringLiteral("jpeg"))
                << name;
        }
    }

    // Each monitor's onset mail, with the attachments its kind gets by default.
    const auto find = [&](const std::string& subject) -> QJsonObject {
        for (const QJsonValue& v : mails)
            if (v.toObject()["subject"].toString().toStdString() == subject + "：orvanaデモ")
                return v.toObject();
        return {};
    };
    const auto names = [](const QJsonObject& m) {
        std::string all;
        for (const QJsonValue& a : m["attachments"].toArray())
            all += a.toObject()["filename"].toString().toStdString() + " ";
        return all;
    };
    for (const Expected& e : expectations()) {
        const QJsonObject m = find(e.subject);
        ASSERT_FALSE(m.isEmpty()) << e.subject << out;
        EXPECT_EQ(m["to"].toString(), QStringLiteral("owner@example.com, guard@example.com"));
        EXPECT_FALSE(m["attachments"].toArray().isEmpty()) << e.subject;
    }
    const QJsonObject sound = find("警報発生");
    EXPECT_NE(names(sound).find("#Vol.jpg"), std::string::npos) << names(sound);
    // The recording holds the burst: louder than the demo's threshold
    // (-15 dB), where the soft noise is about -30 dB.
    bool loudRecording = false;
    for (const QJsonValue& a : sound["attachments"].toArray())
        if (a.toObject()["kind"].toString() == QStringLiteral("wav"))
            loudRecording = a.toObject()["level"].toDouble() > -15;
    EXPECT_TRUE(loudRecording) << names(sound);
    EXPECT_NE(names(find("温度異常発生")).find("#temp.jpg"), std::string::npos);
    EXPECT_NE(names(find("放射線カウント値異常発生")).find("#geiger.jpg"), std::string::npos);
    EXPECT_NE(names(find("電力異常発生")).find("#Power.jpg"), std::string::npos);
    EXPECT_NE(
        find("温度異常発生")["body"].toString().indexOf(QStringLiteral("高温状態を検出しました。")),
        -1);
}

TEST_F(DemoProcess, TheUsersOwnSettingsAreNotTouched) {
    struct stat after {};
    ASSERT_EQ(::stat(run_->userConf.c_str(), &after), 0);
    EXPECT_EQ(slurp(run_->userConf),
              "[Setting]\nWORKING=0\nDATA_DIR=/somewhere/of/mine\nUSE_VOLUME=0\n"
              "[UserAddress0]\nAddress=me@home.example\n");
    EXPECT_EQ(after.st_mtim.tv_sec, run_->userBefore.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, run_->userBefore.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_ino, run_->userBefore.st_ino);  // not replaced either
    // No backup of it, nor a per-user file, nor the program's state folder.
    EXPECT_FALSE(fs::exists(run_->userConf + ".bak"));
    EXPECT_FALSE(fs::exists(run_->home.dir.file("config/Quellor")));
    EXPECT_FALSE(fs::exists(run_->home.dir.file("state/Quellor")));
    // The demo's own settings are in its folder.
    const std::string conf = lineValue(run_->output, "  設定ファイル：");
    EXPECT_EQ(conf.rfind(run_->home.dir.file("tmp/orvana-demo-"), 0), 0u) << conf;
    EXPECT_NE(slurp(conf).find("WORKING=1"), std::string::npos);
}

TEST(DemoProcessSmtp, NoticesGoToTheGivenServerWithoutLoginOrTls) {
    SmtpTestServer server;
    ASSERT_TRUE(server.ok());
    Home home;
    ChildProgram p(ORVANA_BINARY, {"--demo", "--smtp", server.hostPort(), "--time-scale", "10"},
                   home.env({"ORVANA_SYSFS=" + home.dir.file("sys")}));
    // The network gate is the real one: a fake tree whose interface is up.
    ASSERT_TRUE(p.started());
    fs::create_directories(home.dir.file("sys/class/net/eth0"));
    orvana::testing::writeFile(home.dir.file("sys/class/net/eth0/operstate"), "up\n");
    orvana::testing::writeFile(home.dir.file("sys/class/net/eth0/flags"), "0x1003\n");
    // The power use is high from the start: its notice comes first.
    ASSERT_TRUE(server.waitForMessages(1, 120s)) << p.output();
    EXPECT_EQ(p.stop(60s), 0);
    const std::string out = p.output();
    EXPECT_NE(out.find("メール：送信する（宛先 2 件、" + server.hostPort() + "）"),
              std::string::npos)
        << out;
    const auto mails = server.messages();
    ASSERT_FALSE(mails.empty());
    EXPECT_EQ(mails[0].subject, "電力異常発生：orvanaデモ");
    EXPECT_FALSE(mails[0].authenticated);
    EXPECT_FALSE(mails[0].tls);
    EXPECT_EQ(mails[0].mailFrom, "orvana-demo@example.com");
    EXPECT_EQ(mails[0].rcptTos,
              (std::vector<std::string>{"owner@example.com", "guard@example.com"}));
    EXPECT_EQ(mails[0].attachments.size(), 2u);
    // Nothing went into the Maildir folder.
    const std::string data = lineValue(out, "  データフォルダ：");
    ASSERT_FALSE(data.empty()) << out;
    EXPECT_TRUE(fs::is_empty(data + "/Maildir/new"));
}

TEST(DemoProcessOptions, DemoOptionsAloneOrWithBadValuesAreRefused) {
    Home home;
    const std::vector<std::vector<std::string>> bad = {
        {"--smtp", "localhost:25"},
        {"--time-scale", "10"},
        {"--demo", "--time-scale", "0"},
        {"--demo", "--smtp", "localhost"},
    };
    for (const auto& args : bad) {
        ChildProgram p(ORVANA_BINARY, args, home.env());
        ASSERT_TRUE(p.started());
        EXPECT_EQ(p.waitExit(30s), 2) << args[0];
    }
    // Nothing was made: no demo folder, no settings.
    EXPECT_TRUE(fs::is_empty(home.dir.file("tmp")));
    EXPECT_FALSE(fs::exists(home.dir.file("user.conf")));

    // A temporary folder that cannot take the demo's: it says so and ends.
    auto env = home.env();
    for (std::string& e : env)
        if (e.rfind("TMPDIR=", 0) == 0)
            e = "TMPDIR=" + home.dir.file("no-such-folder");
    ChildProgram p(ORVANA_BINARY, {"--demo"}, env);
    ASSERT_TRUE(p.started());
    EXPECT_EQ(p.waitExit(30s), 1);
    EXPECT_FALSE(fs::exists(home.dir.file("no-such-folder")));
}

}  // namespace
}  // namespace orvana::demo
