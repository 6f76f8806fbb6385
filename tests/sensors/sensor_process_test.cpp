// The real program as a new user tries it with a temperature meter and the
// OWL vendor's database: the stand-in meter library (found through the
// system's search path), a vendor database file (ORVANA_OWL_DB), notices to
// an SMTP server on loopback. The power is above its limit from the start;
// the meter's temperature rises past its limit and falls back. The event
// lines and the mails carry the exact texts, and both data files are
// written when the program ends.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <cstdio>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

#include "core/clock.h"
#include "core/status_text.h"
#include "tests/mail/mail_test_support.h"
#include "tests/support/child_program.h"

namespace orvana::sensors {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orvana::testing::ReceivedMail;
using orvana::testing::SmtpTestServer;
using orvana::testing::TempDir;

class Program : public orvana::testing::ChildProgram {
  public:
    explicit Program(const std::vector<std::string>& env)
        : ChildProgram(ORVANA_BINARY, {"--headless"}, env) {}
};

void setMeter(const TempDir& home, const std::string& reading) {
    const std::string tmp = home.file("devices/.meter0");
    orvana::testing::writeFile(tmp, reading + "\n");
    fs::rename(tmp, home.file("devices/meter0"));
}

// An hour of minute rows up to the current minute, 20 each: 1.2 kW.
void writeVendorDatabase(const std::string& path) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE energy_history (y, mo, d, h, mi, u, e, x); BEGIN", nullptr,
                 nullptr, nullptr);
    const TimeT now = std::time(nullptr);
    for (int i = 60; i >= 0; --i) {
        const LocalTime l = toLocal(now - 60 * i);
        const std::string sql =
            strprintf("INSERT INTO energy_history VALUES (%d,%d,%d,%d,%d,0,20,0)", l.year, l.month,
                      l.day, l.hour, l.minute);
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

const ReceivedMail* bySubject(const std::vector<ReceivedMail>& mails, const std::string& s) {
    for (const auto& m : mails)
        if (m.subject == s)
            return &m;
    return nullptr;
}

TEST(SensorProcess, TemperatureAndPowerAlarmsGiveTheirLinesMailsAndDataFiles) {
    SmtpTestServer server;
    ASSERT_TRUE(server.ok());
    TempDir home;
    fs::create_directories(home.file("run"));
    fs::permissions(home.file("run"), fs::perms::owner_all);
    fs::create_directories(home.file("sys/class/net/eth0"));
    fs::create_directories(home.file("sys/class/power_supply"));
    fs::create_directories(home.file("devices"));
    orvana::testing::writeFile(home.file("sys/class/net/eth0/operstate"), "up\n");
    orvana::testing::writeFile(home.file("sys/class/net/eth0/flags"), "0x1003\n");
    setMeter(home, "24.0 50.0");
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    writeVendorDatabase(home.file("be.db"));
    std::ofstream(home.file("orvana.ini"))
        << "[Setting]\nDATA_DIR=" << home.file("data") << "\nUSE_VOLUME=0\nUSE_CAMERA=0\n"
        << "USE_TEMPERATURE=1\nUSE_GEIGER=0\nUSE_OWL=1\nWORKING=1\nUSE_QUELLOR_SMTP=1\n"
        << "SMTP=" << server.hostPort() << "\nPORTNUM=0\nENABLESSL=0\n"
        << "FROM=watch@pc.example\nUSER_ADDRESS=1\n"
        << "[UserAddress0]\nAddress=owner@home.example\nIJYOU=1\n"
        << "[Temperature]\nmNotify=1\nbTempWarnHi=1\nTempWarnHi=30\nTempHist=1\n"
        << "[Owl]\nmNotify=1\nWarnHiEnable=1\nWarnHiTh=1\nWarnMaType=0\n";

    Program p({"HOME=" + home.path(), "XDG_RUNTIME_DIR=" + home.file("run"),
               "XDG_CONFIG_HOME=" + home.file("config"), "ORVANA_CONFIG=" + home.file("orvana.ini"),
               "ORVANA_SYSFS=" + home.file("sys"), "ORVANA_OWL_DB=" + home.file("be.db"),
               "ORVANA_STANDIN_DIR=" + home.file("devices"),
               "ORVANA_STALL_LOG=" + home.file("stall.txt"),
               "LD_LIBRARY_PATH=" ORVANA_STANDIN_LIB_DIR, "TZ=Asia/Tokyo", "LANG=C.UTF-8",
               "PATH=/usr/bin:/bin"});
    ASSERT_TRUE(p.started());

    // The power monitor measures as it opens, after the temperature monitor.
    ASSERT_TRUE(p.waitForOutput(" >>>電力異常発生<<<\n", 60s)) << p.output();
    setMeter(home, "31.0 45.0");
    ASSERT_TRUE(p.waitForOutput(" >>>温度異常発生<<<\n", 60s)) << p.output();
    setMeter(home, "28.0 47.5");
    ASSERT_TRUE(p.waitForOutput(" >>>温度回復<<<\n", 60s)) << p.output();
    ASSERT_TRUE(server.waitForMessages(3, 60s)) << p.output();
    EXPECT_EQ(p.stop(30s), 0);
    // Devices are read, the vendor's database queried and the graphs drawn
    // on the window thread: none of it may hold the thread long.
    const long stall = orvana::testing::longestUiStallMs(home.file("stall.txt"));
    std::printf("longest UI-thread stall with two sensor monitors: %ld ms (start-up %ld ms)\n",
                stall, orvana::testing::startUpMs(home.file("stall.txt")));
    EXPECT_GE(stall, 0);
    EXPECT_LT(stall, 500);

    const std::string out = p.output();
    const std::string stamp = R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2} )";
    const std::string sep = "---------------------------------------\n";
    EXPECT_TRUE(std::regex_search(out, std::regex(sep + stamp + ">>>温度異常発生<<<\n"))) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex(stamp + ">>>温度回復<<<\n" + sep))) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex(sep + stamp + ">>>電力異常発生<<<\n"))) << out;
    EXPECT_EQ(out.find("Error"), std::string::npos) << out;

    const auto mails = server.messages();
    ASSERT_EQ(mails.size(), 3u);
    const ReceivedMail* power = bySubject(mails, "電力異常発生：orvana");
    const ReceivedMail* onset = bySubject(mails, "温度異常発生：orvana");
    const ReceivedMail* recovery = bySubject(mails, "温度回復：orvana");
    ASSERT_TRUE(power && onset && recovery);
    const auto inOrder = [](const std::string& body, const std::string& a, const std::string& b) {
        const auto pa = body.find(a);
        return pa != std::string::npos && body.find(b, pa + a.size()) != std::string::npos;
    };
    EXPECT_TRUE(inOrder(power->body, "過電力状態を検出しました。",
                        "電力監視値： 1.200[kW] (瞬時電力(1分計))"))
        << power->body;
    EXPECT_TRUE(
        inOrder(onset->body, "高温状態を検出しました。", "温度：31.00[度] 湿度：45.00[%RH]"))
        << onset->body;
    EXPECT_TRUE(
        inOrder(recovery->body, "高温状態から復帰しました。", "温度：28.00[度] 湿度：47.50[%RH]"))
        << recovery->body;
    // The default attachment rows of both kinds: the temperature and power
    // windows.
    for (const ReceivedMail* m : std::vector<const ReceivedMail*>{power, onset, recovery}) {
        ASSERT_EQ(m->attachments.size(), 2u) << m->subject;
        EXPECT_NE(m->attachments[0].filename.find("#temp.jpg"), std::string::npos);
        EXPECT_NE(m->attachments[1].filename.find("#Power.jpg"), std::string::npos);
    }

    const std::string temp = orvana::testing::readFile(home.file("data/TemperatureData.csv"));
    EXPECT_NE(temp.find(",28,47.5\r\n"), std::string::npos) << temp;
    const std::string owl = orvana::testing::readFile(home.file("data/OwlData.csv"));
    EXPECT_EQ(std::count(owl.begin(), owl.end(), '\n'), 61) << owl;
    EXPECT_NE(owl.find(",0,1.2\r\n"), std::string::npos) << owl;
}

}  // namespace
}  // namespace orvana::sensors
