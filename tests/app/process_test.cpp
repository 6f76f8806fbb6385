// Starts the real program the way a user does, without a display.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_program.h"
#include "tests/support/temp_dir.h"

namespace {

using orvana::testing::TempDir;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// One running orvana with its standard output captured, in its own home.
class Program : public orvana::testing::ChildProgram {
  public:
    explicit Program(const TempDir& home, std::vector<std::string> args = {})
        : ChildProgram(ORVANA_BINARY, args,
                       {
                           "HOME=" + home.path(),
                           "XDG_RUNTIME_DIR=" + home.path() + "/run",
                           "XDG_CONFIG_HOME=" + home.path() + "/config",
                           "ORVANA_CONFIG=" + home.path() + "/orvana.ini",
                           "ORVANA_STALL_LOG=" + home.path() + "/stall.txt",
                           "TZ=Asia/Tokyo",
                           "LANG=C.UTF-8",
                           "PATH=/usr/bin:/bin",
                       }) {}
};

class ProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(home.path() + "/run");
        std::filesystem::permissions(home.path() + "/run", std::filesystem::perms::owner_all);
        std::ofstream(home.path() + "/orvana.ini")
            << "[Setting]\nDATA_DIR=" << home.path() << "/data\nUSE_VOLUME=0\nUSE_CAMERA=0\n";
    }
    std::string todaysLog() const {
        for (auto& e : std::filesystem::directory_iterator(home.path() + "/data"))
            if (e.path().extension() == ".log")
                return readFile(e.path().string());
        return {};
    }
    TempDir home;
};

const auto kStartTimeout = std::chrono::seconds(60);

TEST_F(ProcessTest, HeadlessStartShowsBannerAndGuideAndCtrlCSavesSettings) {
    Program p(home);
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(p.waitForOutput(
        "　また、独立したモバイルネットワークとフリーメールアドレスの利用してください\n",
        kStartTimeout))
        << p.output();
    EXPECT_EQ(p.output().rfind("*--------------------------------------------*\n", 0), 0u);
    EXPECT_NE(p.output().find("利用方法：\n"), std::string::npos);

    const std::string log = todaysLog();
    EXPECT_NE(log.find("*--------------------------------------------*\r\n"), std::string::npos);
    EXPECT_NE(log.find("利用方法：\r\n"), std::string::npos);

    p.signal(SIGINT);
    EXPECT_EQ(p.waitExit(std::chrono::seconds(60)), 0);
    const std::string ini = readFile(home.path() + "/orvana.ini");
    EXPECT_NE(ini.find("[Placement]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("SUBJECT=orvana"), std::string::npos) << ini;
    // Nothing reached the log after the end was asked for.
    EXPECT_EQ(todaysLog(), log);
    // Once started, and at the end, the window thread was never held long.
    const long stall = orvana::testing::longestUiStallMs(home.path() + "/stall.txt");
    std::printf("longest UI-thread stall: %ld ms (start-up %ld ms)\n", stall,
                orvana::testing::startUpMs(home.path() + "/stall.txt"));
    EXPECT_GE(stall, 0);
    EXPECT_LT(stall, 500);
}

TEST_F(ProcessTest, DamagedSettingsFileIsKeptAsideReportedAndNotWipedOnExit) {
    std::ofstream(home.path() + "/orvana.ini")
        << "[Setting]\nDATA_DIR=" << home.path()
        << "/data\nUSE_VOLUME=0\nUSE_CAMERA=0\nNOTE=say \"hi\nSMTP=mail.example.org\n"
           "USERNAME=watch\nPASSWORD=secret\nFROM=watch@example.org\nUSER_ADDRESS=1\n"
           "[UserAddress0]\nAddress=owner@example.org\nIJYOU=1\n";
    Program p(home);
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(p.waitForOutput("に読み取れない行があります(5行目)。", kStartTimeout))
        << p.output();
    // It started with what it could read: the account and the recipient.
    ASSERT_TRUE(p.waitForOutput("・宛先１：owner@example.org", kStartTimeout)) << p.output();
    p.signal(SIGINT);
    EXPECT_EQ(p.waitExit(std::chrono::seconds(60)), 0);
    std::string copy;
    for (auto& e : std::filesystem::directory_iterator(home.path()))
        if (e.path().filename().string().rfind("orvana.ini.damaged-", 0) == 0)
            copy = e.path().string();
    ASSERT_FALSE(copy.empty());
    EXPECT_NE(p.output().find(copy), std::string::npos) << "the user is told where it is";
    EXPECT_NE(readFile(copy).find("NOTE=say \"hi\nSMTP="), std::string::npos);
    const std::string ini = readFile(home.path() + "/orvana.ini");
    EXPECT_NE(ini.find("PASSWORD=secret"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Address=owner@example.org"), std::string::npos) << ini;
}

TEST_F(ProcessTest, HeadlessConsoleSaysWhatRunsWhereMailGoesAndWhenItEndsAndNothingElse) {
    // Started the way a service or a console login starts it: no runtime
    // folder set. Standard error goes to a file the test reads.
    const std::string err = home.path() + "/stderr.txt";
    orvana::testing::ChildProgram p(
        "/bin/sh", {"-c", "exec \"$0\" --headless 2>\"$1\"", ORVANA_BINARY, err},
        {"HOME=" + home.path(), "XDG_CONFIG_HOME=" + home.path() + "/config",
         "ORVANA_CONFIG=" + home.path() + "/orvana.ini",
         "ORVANA_AUDIO_SOURCE=audiotestsrc is-live=true wave=silence", "TZ=Asia/Tokyo",
         "LANG=C.UTF-8", "PATH=/usr/bin:/bin"});
    ASSERT_TRUE(p.waitForOutput("メール：送信しない\n", kStartTimeout)) << p.output();
    const std::string out = p.output();
    const auto overview = out.find("音量：");
    ASSERT_NE(overview, std::string::npos);
    EXPECT_NE(out.find("音量：オフ\n動体：", overview), std::string::npos) << out;
    EXPECT_NE(out.find("停電：", overview), std::string::npos);
    EXPECT_NE(out.find("電力：", overview), std::string::npos);
    p.signal(SIGINT);
    EXPECT_EQ(p.waitExit(std::chrono::seconds(30)), 0);
    EXPECT_NE(p.output().find("\n監視を終了しました。\n"), std::string::npos) << p.output();
    EXPECT_EQ(readFile(err), "");
}

TEST_F(ProcessTest, SecondInstanceEndsAtOnceWithoutTouchingTheFirstOnesFiles) {
    Program first(home);
    ASSERT_TRUE(first.waitForOutput("利用方法：", kStartTimeout)) << first.output();
    ASSERT_TRUE(first.waitForOutput("利用してください\n", kStartTimeout));
    const std::string logBefore = todaysLog();
    const std::string iniBefore = readFile(home.path() + "/orvana.ini");

    Program second(home);
    EXPECT_EQ(second.waitExit(std::chrono::seconds(60)), 0);
    EXPECT_EQ(second.output(), "");
    EXPECT_EQ(todaysLog(), logBefore);
    EXPECT_EQ(readFile(home.path() + "/orvana.ini"), iniBefore);

    first.signal(SIGTERM);
    EXPECT_EQ(first.waitExit(std::chrono::seconds(60)), 0);
}

TEST_F(ProcessTest, HelpAndVersion) {
    Program help(home, {"--help"});
    EXPECT_EQ(help.waitExit(std::chrono::seconds(30)), 0);
    EXPECT_NE(help.output().find("--headless"), std::string::npos);
    EXPECT_NE(help.output().find("ORVANA_CONFIG"), std::string::npos);
    EXPECT_NE(help.output().find("ORVANA_SMTP_CAFILE"), std::string::npos);
    Program version(home, {"--version"});
    EXPECT_EQ(version.waitExit(std::chrono::seconds(30)), 0);
    EXPECT_EQ(version.output().rfind("orvana ", 0), 0u);
    // Neither touched the settings.
    EXPECT_EQ(readFile(home.path() + "/orvana.ini").find("Placement"), std::string::npos);
}

}  // namespace
