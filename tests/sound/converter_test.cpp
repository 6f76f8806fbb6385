// The conversion of recordings for mails (RecordingConverter) with the real
// ffmpeg, its failure texts, a converter that hangs or is cancelled, and the
// process runner's working folder, argument vector and kill time-out.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/app_settings.h"
#include "sound/process_runner.h"
#include "sound/recording_converter.h"
#include "sound/wave_file.h"
#include "tests/sound/temp_folder.h"

namespace orvana::sound {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kStamp = "2016年03月05日14時05分09秒";

void writeScript(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
    ::chmod(path.c_str(), 0755);
}

class ConverterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testing::freshFolder(
            "orvana_conv_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        // One second of a loud 441 Hz square, as the recording of an alarm.
        std::vector<std::uint8_t> s;
        for (int i = 0; i < 11025; ++i)
            s.push_back((i / 12) % 2 ? 60 : 196);
        ASSERT_EQ(WriteWaveFile(wavPath(), WaveFormat(), s.data(), s.size()), 1);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string wavPath() const { return (dir / (kStamp + ".wav")).string(); }
    fs::path gpPath() const { return dir / (kStamp + ".3gp"); }
    std::string commandText(const std::string& exe) const {
        return exe + " -i " + kStamp + ".wav " + option + " " + kStamp + ".3gp";
    }
    std::string convert(const std::string& exe, std::chrono::milliseconds timeout = 60s,
                        const std::atomic<bool>* cancel = nullptr) {
        RecordingConverter c(*runner, timeout);
        notice = "left from before";
        return c.convert(wavPath(), exe, option, &notice, cancel);
    }

    fs::path dir;
    std::string option = AppSettings().ffmpegOption;
    std::string notice;
    std::unique_ptr<ProcessRunner> runner = makeProcessRunner();
};

TEST_F(ConverterTest, RealFfmpegMakesThe3gpFileBesideTheWav) {
    const std::string path = convert("ffmpeg");
    EXPECT_EQ(path, gpPath().string());
    ASSERT_TRUE(fs::exists(path));
    EXPECT_GT(fs::file_size(path), 100u);
    EXPECT_TRUE(fs::exists(wavPath()));  // the WAV stays
    EXPECT_EQ(notice, "");
}

TEST_F(ConverterTest, WrongConverterPathGivesTheStartMessageAndTheWav) {
    const std::string exe = (dir / "no-such-ffmpeg").string();
    EXPECT_EQ(convert(exe), wavPath());
    EXPECT_EQ(notice, "外部プログラムを起動中にエラーが発生しました\n\n" + commandText(exe));
}

TEST_F(ConverterTest, WrongOptionGivesTheConversionMessageAndTheWav) {
    option = "-no-such-option -f 3gp";
    EXPECT_EQ(convert("ffmpeg"), wavPath());
    EXPECT_EQ(
        notice,
        "3GPへの変換に失敗しました。FFmpeg.exeの場所や、実行オプションを確認してください。\n\n" +
            commandText("ffmpeg"));
    EXPECT_FALSE(fs::exists(gpPath()));
}

TEST_F(ConverterTest, OtherFilesAndMissingRecordingsPassUnchangedWithoutRunningIt) {
    // A converter that cannot start would give the start message if it ran.
    RecordingConverter c(*runner);
    const std::string missing = (dir / "gone.wav").string();
    const std::string picture = (dir / "x#Vol.jpg").string();
    { std::ofstream(picture) << "jpeg"; }
    for (const std::string& path : {missing, picture}) {
        notice = "left from before";
        EXPECT_EQ(c.convert(path, "/no/such/ffmpeg", option, &notice), path);
        EXPECT_EQ(notice, "");
    }
    // Case does not matter for a recording; it is converted.
    const fs::path upper = dir / "REC.WAV";
    fs::copy_file(wavPath(), upper);
    const fs::path script = dir / "ok.sh";
    writeScript(script, "#!/bin/sh\nfor a; do last=$a; done\necho 3gp > \"$last\"\n");
    EXPECT_EQ(c.convert(upper.string(), script.string(), option, &notice),
              (dir / "REC.3gp").string());
    EXPECT_EQ(notice, "");
}

TEST_F(ConverterTest, HangingConverterIsKilledAndCountsAsFailure) {
    const fs::path script = dir / "hang.sh";
    writeScript(script,
                "#!/bin/sh\nfor a; do last=$a; done\necho partial > \"$last\"\nexec sleep 30\n");
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(convert(script.string(), 300ms), wavPath());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 10s);
    EXPECT_EQ(notice.rfind("3GPへの変換に失敗しました。", 0), 0u);
    // The half-written output is not left to be mailed later.
    EXPECT_FALSE(fs::exists(gpPath()));
}

TEST_F(ConverterTest, CancelEndsARunningConversionWithoutANotice) {
    // The sender is told to end while the converter runs: it must not wait
    // for the converter's own time-out, nor blame the user's converter.
    const fs::path script = dir / "hang.sh";
    writeScript(script,
                "#!/bin/sh\nfor a; do last=$a; done\necho partial > \"$last\"\n"
                "touch started\nexec sleep 30\n");
    std::atomic<bool> cancel{false};
    std::thread stopper([&] {
        for (int i = 0; i < 1000 && !fs::exists(dir / "started"); ++i)
            std::this_thread::sleep_for(10ms);
        cancel = true;
    });
    const auto t0 = std::chrono::steady_clock::now();
    const std::string path = convert(script.string(), 60s, &cancel);
    const auto took = std::chrono::steady_clock::now() - t0;
    stopper.join();
    EXPECT_EQ(path, wavPath());
    EXPECT_LT(took, 20s);
    EXPECT_EQ(notice, "");
    EXPECT_FALSE(fs::exists(gpPath()));
    // Already cancelled: nothing is started at all.
    fs::remove(dir / "started");
    EXPECT_EQ(convert(script.string(), 60s, &cancel), wavPath());
    EXPECT_FALSE(fs::exists(dir / "started"));
}

TEST_F(ConverterTest, OutputLeftFromAnEarlierRunIsNotThisRunsResult) {
    { std::ofstream(gpPath()) << "earlier conversion"; }
    fs::last_write_time(gpPath(), fs::last_write_time(gpPath()) - 1h);
    // Starts, makes nothing: the old file must not read as a success.
    EXPECT_EQ(convert("false"), wavPath());
    EXPECT_EQ(notice,
              "3GPへの変換に失敗しました。FFmpeg.exeの場所や、実行オプションを確認して"
              "ください。\n\n" +
                  commandText("false"));
    EXPECT_TRUE(fs::exists(gpPath()));  // and it is not the converter's to delete
    // A converter that rewrites it (ffmpeg -y) converts.
    const fs::path script = dir / "rewrite.sh";
    writeScript(script, "#!/bin/sh\nfor a; do last=$a; done\necho new > \"$last\"\n");
    EXPECT_EQ(convert(script.string()), gpPath().string());
    EXPECT_EQ(notice, "");
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
    EXPECT_FALSE(r.cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
}

}  // namespace
}  // namespace orvana::sound
