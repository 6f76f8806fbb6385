// The 3GP conversion with the real ffmpeg, its failure messages, and the
// process runner's working folder, argument vector and kill time-out.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "sound/converter.h"
#include "sound/process_runner.h"
#include "sound/volume_monitor.h"
#include "sound/wave_file.h"
#include "tests/sound/fake_wave_input.h"
#include "tests/sound/temp_folder.h"
#include "tests/sound/test_host.h"

namespace orvana::sound {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::FakeWaveInputFactory;
using testing::TestHost;

const char* kStamp = "2016年03月05日14時05分09秒";

class ConverterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testing::freshFolder(
            "orvana_conv_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        host.store_.writeString("Setting", "DATA_DIR", dir.string());
        host.app.working = 1;
        host.app.conv3gp = 1;
        host.app.ffmpegPath = "ffmpeg";
        host.clock_.setNow(fromLocal(2016, 3, 5, 14, 5, 9));
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string saveWave(std::chrono::milliseconds timeout = kConverterTimeout) {
        VolumeMonitor m(host, inputs, *runner, {timeout, false});
        m.LoadSettings();
        EXPECT_TRUE(m.Open());
        // One second of a loud 441 Hz square.
        std::vector<std::uint8_t> s;
        for (int i = 0; i < 11025; ++i)
            s.push_back((i / 12) % 2 ? 60 : 196);
        inputs.device->Feed(s);
        return m.SaveWave();
    }
    std::string wavPath() const { return (dir / (std::string(kStamp) + ".wav")).string(); }
    std::string commandText(const std::string& exe) const {
        return exe + " -i " + kStamp + ".wav " + host.app.ffmpegOption + " " + kStamp + ".3gp";
    }

    fs::path dir;
    TestHost host;
    FakeWaveInputFactory inputs;
    std::unique_ptr<ProcessRunner> runner = makeProcessRunner();
};

TEST_F(ConverterTest, RealFfmpegMakesThe3gpFileBesideTheWav) {
    const std::string path = saveWave();
    EXPECT_EQ(path, (dir / (std::string(kStamp) + ".3gp")).string());
    ASSERT_TRUE(fs::exists(path));
    EXPECT_GT(fs::file_size(path), 100u);
    EXPECT_TRUE(fs::exists(wavPath()));  // the WAV stays
    EXPECT_TRUE(host.prompt_.notices.empty());
}

TEST_F(ConverterTest, WrongConverterPathGivesTheStartMessageAndTheWav) {
    host.app.ffmpegPath = (dir / "no-such-ffmpeg").string();
    EXPECT_EQ(saveWave(), wavPath());
    ASSERT_EQ(host.prompt_.notices.size(), 1u);
    EXPECT_EQ(host.prompt_.notices[0], "外部プログラムを起動中にエラーが発生しました\n\n" +
                                           commandText(host.app.ffmpegPath));
}

TEST_F(ConverterTest, WrongOptionGivesTheConversionMessageAndTheWav) {
    host.app.ffmpegOption = "-no-such-option -f 3gp";
    EXPECT_EQ(saveWave(), wavPath());
    ASSERT_EQ(host.prompt_.notices.size(), 1u);
    EXPECT_EQ(
        host.prompt_.notices[0],
        "3GPへの変換に失敗しました。FFmpeg.exeの場所や、実行オプションを確認してください。\n\n" +
            commandText("ffmpeg"));
    EXPECT_FALSE(fs::exists(dir / (std::string(kStamp) + ".3gp")));
}

TEST_F(ConverterTest, ConvOnWithMailOffConvertsNothing) {
    host.app.working = 0;
    host.app.ffmpegPath = (dir / "no-such-ffmpeg").string();
    EXPECT_EQ(saveWave(), wavPath());
    EXPECT_TRUE(host.prompt_.notices.empty());
}

TEST_F(ConverterTest, HangingConverterIsKilledAndCountsAsFailure) {
    const fs::path script = dir / "hang.sh";
    {
        std::ofstream out(script);
        out << "#!/bin/sh\nfor a; do last=$a; done\necho partial > \"$last\"\nexec sleep 30\n";
    }
    ::chmod(script.c_str(), 0755);
    host.app.ffmpegPath = script.string();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(saveWave(300ms), wavPath());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 10s);
    ASSERT_EQ(host.prompt_.notices.size(), 1u);
    EXPECT_EQ(host.prompt_.notices[0].rfind("3GPへの変換に失敗しました。", 0), 0u);
    // The half-written output is not left to be mailed later.
    EXPECT_FALSE(fs::exists(dir / (std::string(kStamp) + ".3gp")));
}

TEST_F(ConverterTest, OutputLeftFromAnEarlierRunIsNotThisRunsResult) {
    const fs::path out = dir / "old.3gp";
    { std::ofstream(out) << "earlier conversion"; }
    fs::last_write_time(out, fs::last_write_time(out) - 1h);
    // Starts, makes nothing: the old file must not read as a success.
    ConvertResult r = Convert3gp(*runner, "false", "", dir.string(), "old.wav", "old.3gp", 10s);
    EXPECT_EQ(r.kind, ConvertResult::kNoOutput);
    EXPECT_TRUE(fs::exists(out));  // and it is not the converter's to delete
    // A converter that rewrites it (ffmpeg -y) converts.
    const fs::path script = dir / "rewrite.sh";
    { std::ofstream(script) << "#!/bin/sh\nfor a; do last=$a; done\necho new > \"$last\"\n"; }
    ::chmod(script.c_str(), 0755);
    r = Convert3gp(*runner, script.string(), "", dir.string(), "old.wav", "old.3gp", 10s);
    EXPECT_EQ(r.kind, ConvertResult::kConverted);
    EXPECT_EQ(r.outputPath, out.string());
}

TEST(ProcessRunner, RunsInTheWorkingFolderWithItsArguments) {
    const fs::path dir = testing::freshFolder("orvana_runner folder");
    auto runner = makeProcessRunner();
    const RunResult r = runner->Run(
        "sh", {"-c", "pwd > out.txt; printf '%s|' \"$@\" >> out.txt; exit 3", "x", "a b", "c\"d"},
        dir.string(), 10s);
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 3);
    std::ifstream in(dir / "out.txt");
    std::string pwd, args;
    std::getline(in, pwd);
    std::getline(in, args);
    EXPECT_EQ(fs::canonical(pwd), fs::canonical(dir));
    EXPECT_EQ(args, "a b|c\"d|");
    fs::remove_all(dir);

    const RunResult missing = runner->Run("/no/such/program", {}, "", 1s);
    EXPECT_FALSE(missing.started);
    const RunResult badDir = runner->Run("true", {}, "/no/such/folder", 1s);
    EXPECT_FALSE(badDir.started);
    EXPECT_FALSE(badDir.error.empty());
}

TEST(ProcessRunner, TimeOutKillsTheProgram) {
    auto runner = makeProcessRunner();
    const auto t0 = std::chrono::steady_clock::now();
    const RunResult r = runner->Run("sleep", {"30"}, "", 200ms);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.timedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
}

}  // namespace
}  // namespace orvana::sound
