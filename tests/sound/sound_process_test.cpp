// The real program as a new user tries it on a machine with a sound server:
// sound monitoring and notices on, an own SMTP server on loopback; a loud
// sound played for five seconds gives the alarm and release lines and two
// mails, the first carrying a WAV recording of the sound.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "sound/level_meter.h"
#include "sound/wave_file.h"
#include "tests/mail/mail_test_support.h"
#include "tests/sound/pulse_server.h"
#include "tests/support/child_program.h"

namespace orvana::sound {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orvana::testing::SmtpTestServer;
using orvana::testing::TempDir;

// The program with --headless and exactly the given environment.
class Program : public orvana::testing::ChildProgram {
  public:
    explicit Program(const std::vector<std::string>& env)
        : ChildProgram(ORVANA_BINARY, {"--headless"}, env) {}
};

TEST(SoundProcess, LoudSoundGivesAlarmReleaseAndTwoMailsWithTheRecording) {
    testing::PulseServer pulse;
    ASSERT_TRUE(pulse.ready());
    SmtpTestServer server;
    ASSERT_TRUE(server.ok());
    TempDir home;
    fs::create_directories(home.file("run"));
    fs::permissions(home.file("run"), fs::perms::owner_all);
    fs::create_directories(home.file("sys/class/net/eth0"));
    fs::create_directories(home.file("sys/class/power_supply"));
    orvana::testing::writeFile(home.file("sys/class/net/eth0/operstate"), "up\n");
    orvana::testing::writeFile(home.file("sys/class/net/eth0/flags"), "0x1003\n");
    std::ofstream(home.file("orvana.ini"))
        << "[Setting]\nDATA_DIR=" << home.file("data") << "\nUSE_VOLUME=1\nUSE_CAMERA=0\n"
        << "USE_TEMPERATURE=0\nUSE_GEIGER=0\nUSE_OWL=0\nWORKING=1\nUSE_QUELLOR_SMTP=1\n"
        << "SMTP=" << server.hostPort() << "\nPORTNUM=0\nENABLESSL=0\n"
        << "FROM=watch@pc.example\nUSER_ADDRESS=1\n"
        << "[UserAddress0]\nAddress=owner@home.example\nIJYOU=1\n"
        << "[Volume]\nENABLE_NOTIFY=1\n";

    // Five seconds of a loud 550 Hz square.
    std::vector<std::uint8_t> loud;
    for (int i = 0; i < 5 * 11025; ++i)
        loud.push_back((i / 10) % 2 ? 48 : 208);
    const std::string wav = home.file("loud.wav");
    ASSERT_EQ(WriteWaveFile(wav, WaveFormat(), loud.data(), loud.size()), 1);

    Program p({"HOME=" + home.path(), "XDG_RUNTIME_DIR=" + home.file("run"),
               "XDG_CONFIG_HOME=" + home.file("config"), "ORVANA_CONFIG=" + home.file("orvana.ini"),
               "ORVANA_SYSFS=" + home.file("sys"), "PULSE_SERVER=" + pulse.server(),
               "ORVANA_STALL_LOG=" + home.file("stall.txt"), "TZ=Asia/Tokyo", "LANG=C.UTF-8",
               "PATH=/usr/bin:/bin"});
    ASSERT_TRUE(p.started());

    // The monitor is listening once the server has a recording stream.
    auto runner = makeProcessRunner();
    bool listening = false;
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (!listening && std::chrono::steady_clock::now() < end) {
        const std::string out = home.file("outputs.txt");
        runner->Run("sh", {"-c", "pactl list short source-outputs > '" + out + "'"}, "", 10s);
        listening = fs::exists(out) && fs::file_size(out) > 0;
        if (!listening)
            std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(listening) << p.output();

    const RunResult played = runner->Run("paplay", {wav}, "", 30s);
    ASSERT_EQ(played.exitCode, 0) << played.error;
    ASSERT_TRUE(p.waitForOutput("<<<警報解除>>>\n", 20s)) << p.output();
    const std::string out = p.output();
    const auto start = out.find(">>>警報発生<<<\n");
    ASSERT_NE(start, std::string::npos) << out;
    EXPECT_LT(start, out.find("<<<警報解除>>>\n"));
    EXPECT_EQ(out.find("Error : WAVE IN"), std::string::npos) << out;

    ASSERT_TRUE(server.waitForMessages(2, 30s)) << p.output();
    EXPECT_EQ(p.stop(20s), 0);
    // Two alarms with their pictures and recordings never held the window
    // thread, which runs every monitor and the power watch, for long.
    std::ifstream stallFile(home.file("stall.txt"));
    std::string stallText((std::istreambuf_iterator<char>(stallFile)),
                          std::istreambuf_iterator<char>());
    const auto at = stallText.find("longest UI stall: ");
    ASSERT_NE(at, std::string::npos);
    const long stall = std::stol(stallText.substr(at + 18));
    std::printf("longest UI-thread stall with two alarms: %ld ms\n", stall);
    EXPECT_LT(stall, 500);
    const auto mails = server.messages();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].subject, "警報発生：orvana");
    EXPECT_EQ(mails[1].subject, "警報解除：orvana");
    EXPECT_NE(mails[0].body.find("警報音を検出しました。"), std::string::npos);
    EXPECT_NE(mails[1].body.find("継続時間："), std::string::npos);
    // The sound data of the default attachment matrix: the recording and the
    // window picture.
    std::string name, picture;
    long size = 0;
    for (const auto& a : mails[0].attachments) {
        if (a.filename.size() > 4 && a.filename.substr(a.filename.size() - 4) == ".wav") {
            name = a.filename;
            size = a.size;
        } else {
            picture = a.filename;
        }
    }
    ASSERT_EQ(mails[0].attachments.size(), 2u);
    ASSERT_FALSE(name.empty());
    EXPECT_NE(picture.find("#Vol.jpg"), std::string::npos);

    // The attachment's file in the data folder plays the loud sound back.
    const fs::path file = fs::path(home.file("data")) / name;
    ASSERT_TRUE(fs::exists(file)) << file;
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
    ASSERT_GT(bytes.size(), 44u + 11025);
    EXPECT_EQ(size, static_cast<long>(bytes.size()));
    int readPos = static_cast<int>(bytes.size()) - 11025;
    double level = 0;
    CheckPeakVolume(bytes.data(), static_cast<int>(bytes.size()), readPos, &level);
    EXPECT_GT(level, 5.0);
}

}  // namespace
}  // namespace orvana::sound
