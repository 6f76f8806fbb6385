// The real program as a new user tries it on a machine with a sound server:
// sound monitoring and notices on, an own SMTP server on loopback; a loud
// sound played for five seconds gives the alarm and release lines and two
// mails, the first carrying a WAV recording of the sound; with "CONV_3GP" on
// and a slow converter the mails carry 3GP files and the window thread is
// never held while they are made.
#include <gtest/gtest.h>
#include <signal.h>

#include <QByteArray>
#include <algorithm>
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

// The decoded bytes of the last attachment of a raw message.
std::string lastAttachment(std::string raw) {
    raw.erase(std::remove(raw.begin(), raw.end(), '\r'), raw.end());
    const auto part = raw.rfind("Content-Disposition: attachment");
    if (part == std::string::npos)
        return {};
    const auto data = raw.find("\n\n", part);
    const auto end = raw.find("\n--", data);
    if (data == std::string::npos || end == std::string::npos)
        return {};
    const QByteArray b64 = QByteArray::fromStdString(raw.substr(data + 2, end - data - 2));
    return QByteArray::fromBase64(b64).toStdString();
}

// A home folder with settings for sound monitoring with notices on and an
// own server on the local aiosmtpd, a private pulseaudio, and the program
// started on them.
class SoundProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pulse.ready());
        ASSERT_TRUE(server.ok());
        fs::create_directories(home.file("run"));
        fs::permissions(home.file("run"), fs::perms::owner_all);
        fs::create_directories(home.file("sys/class/net/eth0"));
        fs::create_directories(home.file("sys/class/power_supply"));
        orvana::testing::writeFile(home.file("sys/class/net/eth0/operstate"), "up\n");
        orvana::testing::writeFile(home.file("sys/class/net/eth0/flags"), "0x1003\n");
        // Five seconds of a loud 550 Hz square.
        std::vector<std::uint8_t> loud;
        for (int i = 0; i < 5 * 11025; ++i)
            loud.push_back((i / 10) % 2 ? 48 : 208);
        ASSERT_EQ(WriteWaveFile(wav(), WaveFormat(), loud.data(), loud.size()), 1);
    }

    std::string wav() const { return home.file("loud.wav"); }
    // The [Setting] lines beyond the common ones.
    void writeSettings(const std::string& extra) {
        std::ofstream(home.file("orvana.ini"))
            << "[Setting]\nDATA_DIR=" << home.file("data") << "\nUSE_VOLUME=1\nUSE_CAMERA=0\n"
            << "USE_TEMPERATURE=0\nUSE_GEIGER=0\nUSE_OWL=0\nWORKING=1\nUSE_QUELLOR_SMTP=1\n"
            << "SMTP=" << server.hostPort() << "\nPORTNUM=0\nENABLESSL=0\n"
            << "FROM=watch@pc.example\nUSER_ADDRESS=1\n"
            << extra << "[UserAddress0]\nAddress=owner@home.example\nIJYOU=1\n"
            << "[Volume]\nENABLE_NOTIFY=1\n";
    }
    std::unique_ptr<Program> start() {
        auto p = std::make_unique<Program>(std::vector<std::string>{
            "HOME=" + home.path(), "XDG_RUNTIME_DIR=" + home.file("run"),
            "XDG_CONFIG_HOME=" + home.file("config"), "ORVANA_CONFIG=" + home.file("orvana.ini"),
            "ORVANA_SYSFS=" + home.file("sys"), "PULSE_SERVER=" + pulse.server(),
            "ORVANA_STALL_LOG=" + home.file("stall.txt"), "TZ=Asia/Tokyo", "LANG=C.UTF-8",
            "PATH=/usr/bin:/bin"});
        return p;
    }
    // Waits until the program listens (the server has a recording stream),
    // then plays the loud sound into the default input.
    void playLoudSound(Program& p) {
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
        const RunResult played = runner->Run("paplay", {wav()}, "", 30s);
        ASSERT_EQ(played.exitCode, 0) << played.error;
    }
    // The longest UI-thread stall the program wrote as it ended (-1: none).
    long longestStall() const { return orvana::testing::longestUiStallMs(home.file("stall.txt")); }

    testing::PulseServer pulse;
    SmtpTestServer server;
    TempDir home;
    std::unique_ptr<ProcessRunner> runner = makeProcessRunner();
};

TEST_F(SoundProcess, LoudSoundGivesAlarmReleaseAndTwoMailsWithTheRecording) {
    writeSettings("");
    const auto p = start();
    ASSERT_TRUE(p->started());
    playLoudSound(*p);
    ASSERT_TRUE(p->waitForOutput("<<<警報解除>>>\n", 60s)) << p->output();
    const std::string out = p->output();
    const auto alarm = out.find(">>>警報発生<<<\n");
    ASSERT_NE(alarm, std::string::npos) << out;
    EXPECT_LT(alarm, out.find("<<<警報解除>>>\n"));
    EXPECT_EQ(out.find("Error : WAVE IN"), std::string::npos) << out;

    ASSERT_TRUE(server.waitForMessages(2, 30s)) << p->output();
    EXPECT_EQ(p->stop(60s), 0);
    // Two alarms with their pictures and recordings never held the window
    // thread, which runs every monitor and the power watch, for long.
    const long stall = longestStall();
    ASSERT_GE(stall, 0);
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

TEST_F(SoundProcess, SlowConversionTo3gpNeverHoldsTheWindowThread) {
    // A converter that takes a few seconds, as ffmpeg on a slow machine.
    const std::string slow = home.file("slow-ffmpeg.sh");
    orvana::testing::writeFile(slow, "#!/bin/sh\nsleep 3\nexec ffmpeg \"$@\"\n");
    fs::permissions(slow, fs::perms::owner_all);
    writeSettings("CONV_3GP=1\nFFMPEG_PATH=" + slow + "\n");
    const auto p = start();
    ASSERT_TRUE(p->started());
    playLoudSound(*p);
    ASSERT_TRUE(p->waitForOutput("<<<警報解除>>>\n", 60s)) << p->output();
    ASSERT_TRUE(server.waitForMessages(2, 60s)) << p->output();
    EXPECT_EQ(p->stop(60s), 0);
    const std::string out = p->output();
    EXPECT_EQ(out.find("3GPへの変換に失敗しました。"), std::string::npos) << out;
    EXPECT_EQ(out.find("外部プログラムを起動中にエラーが発生しました"), std::string::npos) << out;

    // Two conversions of three seconds and more each, and the window thread
    // was never held for half a second.
    const long stall = longestStall();
    ASSERT_GE(stall, 0);
    std::printf("longest UI-thread stall with two slow 3GP conversions: %ld ms\n", stall);
    EXPECT_LT(stall, 500);

    // Each mail carries the window picture and the recording as 3GP, no WAV.
    const auto mails = server.messages();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].subject, "警報発生：orvana");
    for (const auto& m : mails) {
        ASSERT_EQ(m.attachments.size(), 2u) << m.subject;
        EXPECT_NE(m.attachments[0].filename.find("#Vol.jpg"), std::string::npos);
        const std::string& gp = m.attachments[1].filename;
        ASSERT_GT(gp.size(), 4u);
        EXPECT_EQ(gp.substr(gp.size() - 4), ".3gp") << gp;
        EXPECT_GT(m.attachments[1].size, 500);
        // A real 3GP file: its first box is "ftyp" with a 3GP brand.
        const std::string bytes = lastAttachment(m.raw);
        ASSERT_GT(bytes.size(), 11u);
        EXPECT_EQ(bytes.substr(4, 7), "ftyp3gp") << gp;
    }
    // The WAV recordings stay in the data folder as before.
    int wavs = 0;
    for (const auto& e : fs::directory_iterator(home.file("data")))
        wavs += e.path().extension() == ".wav";
    EXPECT_EQ(wavs, 2);
}

}  // namespace
}  // namespace orvana::sound
