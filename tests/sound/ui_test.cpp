// The sound window and its dialogs on the offscreen platform: validation,
// the test conversion, layout, ticks, snapshots, settings, and the start-up
// probe of the main window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <filesystem>
#include <fstream>

#include "sound/ui/dlg_3gp.h"
#include "sound/ui/dlg_volume_setting.h"
#include "sound/ui/volume_dlg.h"
#include "sound/wave_file.h"
#include "tests/sound/fake_wave_input.h"
#include "tests/sound/temp_folder.h"
#include "tests/sound/test_host.h"

namespace orvana::sound {
namespace {

namespace fs = std::filesystem;
using testing::FakeWaveInputFactory;
using testing::TestHost;

struct Values {
    int rec, integ, dyn;
};

// Runs the dialog's OK with the given texts; true when it accepted.
bool confirm(CDlgVolumeSetting& dlg, const char* rec, const char* integ, const char* dyn) {
    dlg.setResult(0);
    dlg.recSecEdit()->setText(rec);
    dlg.integTimeEdit()->setText(integ);
    dlg.dynamicEdit()->setText(dyn);
    dlg.OnOK();
    return dlg.result() == QDialog::Accepted;
}

TEST(VolumeSettingDialog, RangesOfIntegrationTimeAndDynamicThreshold) {
    orvana::testing::RecordingPrompt prompt;
    CDlgVolumeSetting dlg(prompt);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("音量モニタ設定"));
    dlg.m_recSec = 4;
    dlg.m_volIntegTime = 3;
    dlg.m_dynamicThreshold = 10;
    dlg.UpdateControls();
    EXPECT_EQ(dlg.integTimeEdit()->text(), "3");

    EXPECT_FALSE(confirm(dlg, "4", "0", "10"));
    EXPECT_FALSE(confirm(dlg, "4", "11", "10"));
    EXPECT_FALSE(confirm(dlg, "4", "3", "0"));
    EXPECT_FALSE(confirm(dlg, "4", "3", "25"));
    EXPECT_FALSE(confirm(dlg, "four", "3", "10"));
    ASSERT_EQ(prompt.messages.size(), 5u);
    EXPECT_EQ(prompt.messages[0], "1 から 10 までの整数を入力してください。");
    EXPECT_EQ(prompt.messages[2], "1 から 24 までの整数を入力してください。");
    EXPECT_EQ(prompt.messages[4], "整数を入力してください。");
    // Refused values leave the members alone.
    EXPECT_EQ(dlg.m_volIntegTime, 3);
    EXPECT_EQ(dlg.m_dynamicThreshold, 10);

    EXPECT_TRUE(confirm(dlg, "1", "10", "24"));
    EXPECT_EQ(dlg.m_volIntegTime, 10);
    EXPECT_EQ(dlg.m_dynamicThreshold, 24);
    for (const char* rec : {"-5", "0", "99999"}) {
        EXPECT_TRUE(confirm(dlg, rec, "1", "1")) << rec;
        EXPECT_EQ(dlg.m_recSec, std::stoi(rec));
    }
}

TEST(VolumeSettingDialog, CancelLeavesTheValues) {
    orvana::testing::RecordingPrompt prompt;
    CDlgVolumeSetting dlg(prompt);
    dlg.m_recSec = 4;
    dlg.m_volIntegTime = 3;
    dlg.m_dynamicThreshold = 10;
    dlg.UpdateControls();
    dlg.recSecEdit()->setText("9");
    dlg.integTimeEdit()->setText("5");
    dlg.dynamicEdit()->setText("20");
    dlg.reject();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.m_recSec, 4);
    EXPECT_EQ(dlg.m_volIntegTime, 3);
    EXPECT_EQ(dlg.m_dynamicThreshold, 10);
    EXPECT_TRUE(prompt.messages.empty());
}

class Dlg3gpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testing::freshFolder("orvana 3gp test");
        std::vector<std::uint8_t> s;
        for (int i = 0; i < 11025; ++i)
            s.push_back((i / 20) % 2 ? 80 : 176);
        wav = (dir / "my test.wav").string();
        WriteWaveFile(wav, WaveFormat(), s.data(), s.size());
        dlg.m_ffmpegPath = "ffmpeg";
        dlg.m_ffmpegOption = "-y -vn -acodec aac -f 3gp -ar 16000";
        dlg.UpdateControls();
        dlg.chooseFile = [this](const FileQuery& q) {
            queries.push_back(q);
            return answer;
        };
        answer = wav;
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
    std::string wav, answer;
    std::vector<FileQuery> queries;
    orvana::testing::RecordingPrompt prompt;
    std::unique_ptr<ProcessRunner> runner = makeProcessRunner();
    CDlg3gp dlg{prompt, *runner};
};

TEST_F(Dlg3gpTest, TestConversionWithTheRealConverterAndANameWithBlanks) {
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("WAV->3GP変換"));
    dlg.OnBnClickedButton6();
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].title, "テスト変換するWAVファイルを指定してください");
    EXPECT_EQ(queries[0].defaultSuffix, "wav");
    const std::string folder = dir.string() + "/";
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0],
              ".WAV->.3GPへの変換に成功しました。" + folder + "my test.3gpが作成されました");
    EXPECT_TRUE(fs::exists(dir / "my test.3gp"));
}

TEST_F(Dlg3gpTest, FailuresAndCancelAndTheBoxValuesBeforeOk) {
    // The boxes count, even before OK.
    dlg.pathEdit()->setText(QString::fromStdString((dir / "nowhere").string()));
    dlg.OnBnClickedButton6();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0],
              "外部プログラムを起動中にエラーが発生しました\n\n" + (dir / "nowhere").string() +
                  " -i my test.wav -y -vn -acodec aac -f 3gp -ar 16000 my test.3gp");
    dlg.pathEdit()->setText("ffmpeg");
    dlg.optionEdit()->setText("-no-such-option");
    dlg.OnBnClickedButton6();
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_EQ(prompt.messages[1],
              "3GPへの変換に失敗しました。実行オプションを変更してください。\n\n"
              "ffmpeg -i my test.wav -no-such-option my test.3gp");
    answer.clear();  // Cancel in the file dialog: nothing happens
    dlg.OnBnClickedButton6();
    EXPECT_EQ(prompt.messages.size(), 2u);

    dlg.reject();  // Cancel keeps the caller's values
    EXPECT_EQ(dlg.m_ffmpegPath, "ffmpeg");
    EXPECT_EQ(dlg.m_ffmpegOption, "-y -vn -acodec aac -f 3gp -ar 16000");

    answer = "/opt/tools/ffmpeg";
    dlg.OnBnClickedButton1();
    EXPECT_EQ(queries.back().defaultSuffix, "exe");
    EXPECT_EQ(queries.back().initial, "ffmpeg");
    EXPECT_EQ(dlg.pathEdit()->text(), "/opt/tools/ffmpeg");
    dlg.UpdateData();  // what OK does
    EXPECT_EQ(dlg.m_ffmpegPath, "/opt/tools/ffmpeg");
}

class VolumeDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testing::freshFolder("orvana_volume_dlg");
        host.store_.writeString("Setting", "DATA_DIR", dir.string());
    }
    void TearDown() override { fs::remove_all(dir); }
    std::unique_ptr<CVolumeDlg> make() {
        auto d = std::make_unique<CVolumeDlg>(host, inputs, nullptr, VolumeMonitor::Options{false});
        d->OnInitDialog();
        return d;
    }
    fs::path dir;
    TestHost host;
    FakeWaveInputFactory inputs;
};

TEST_F(VolumeDlgTest, OpensWithItsControlsAndLayout) {
    auto d = make();
    EXPECT_EQ(d->windowTitle(), QStringLiteral("音量モニタ"));
    EXPECT_EQ(d->thresholdLabel()->text(), QStringLiteral("Threshold =  0.0[dB]"));
    EXPECT_EQ(d->slider()->value(), 142);
    EXPECT_EQ(d->notifyBox()->text(), QStringLiteral("異常を通知"));
    EXPECT_EQ(d->dynamicBox()->text(), QStringLiteral("動的しきい値"));
    EXPECT_EQ(d->settingsButton()->text(), QStringLiteral("設定..."));
    d->layoutControls(400, 300);
    EXPECT_EQ(d->notifyBox()->geometry(), QRect(8, 8, 117, 28));
    EXPECT_EQ(d->dynamicBox()->geometry(), QRect(141, 8, 117, 28));
    EXPECT_EQ(d->settingsButton()->geometry(), QRect(274, 8, 117, 28));
    EXPECT_EQ(d->levelLabel()->geometry(), QRect(8, 44, 176, 28));
    EXPECT_EQ(d->thresholdLabel()->geometry(), QRect(216, 44, 176, 28));
    EXPECT_EQ(d->graphControl()->geometry(), QRect(8, 72, 352, 220));
    EXPECT_EQ(d->slider()->geometry(), QRect(368, 64, 24, 236));

    d->slider()->setValue(500);
    EXPECT_EQ(d->thresholdLabel()->text(), QStringLiteral("Threshold = -15.0[dB]"));
    // Page up raises the threshold (a smaller position), not below 0.
    QKeyEvent up(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
    QApplication::sendEvent(d->slider(), &up);
    EXPECT_EQ(d->slider()->value(), 300);
    for (int i = 0; i < 3; ++i)
        QApplication::sendEvent(d->slider(), &up);
    EXPECT_EQ(d->slider()->value(), 0);
    EXPECT_EQ(d->thresholdLabel()->text(), QStringLiteral("Threshold =   6.0[dB]"));
    QKeyEvent down(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(d->slider(), &down);
    EXPECT_EQ(d->slider()->value(), 200);
    d->OnTimer();  // the tick reads the slider into the member
    EXPECT_EQ(d->monitor().m_thresholdPos, 200);
}

TEST_F(VolumeDlgTest, TicksFollowTheControlsAndReportTheAlarm) {
    auto d = make();
    d->notifyBox()->setChecked(true);
    d->slider()->setValue(500);  // -15 dB
    for (int i = 0; i < 5; ++i) {
        inputs.device->Feed(128 + 64, 2205);
        d->OnTimer();
    }
    EXPECT_EQ(d->levelLabel()->text(), QStringLiteral("Level = -22.0[dB]"));  // 5 loud of 15
    for (int i = 0; i < 5; ++i) {
        inputs.device->Feed(128 + 64, 2205);
        d->OnTimer();
    }
    ASSERT_EQ(host.mails().size(), 1u);
    EXPECT_EQ(host.lines()[1], "[2]>>>警報発生<<<");
    // The graph repaints from the monitor's series.
    const QImage shot = d->graphControl()->grab().toImage();
    EXPECT_FALSE(shot.isNull());
}

TEST_F(VolumeDlgTest, SnapshotRecordingAndSettingsOnClose) {
    auto d = make();
    inputs.device->Feed(150, 1001);
    host.clock_.setNow(fromLocal(2016, 3, 5, 14, 5, 9));
    const std::string pic = d->SaveClientBitmap();
    EXPECT_EQ(pic, (dir / "2016年03月05日14時05分09秒#Vol.jpg").string());
    EXPECT_TRUE(fs::exists(pic));
    const std::string rec = d->SaveWave();
    EXPECT_EQ(fs::file_size(rec), 44u + 1002);

    d->runSettingsDialog = [](int& rec, int& integ, int& dyn) {
        EXPECT_EQ(rec, 4);
        EXPECT_EQ(integ, 3);
        EXPECT_EQ(dyn, 10);
        rec = 6;
        integ = 2;
        dyn = 15;
        return false;  // cancelled: nothing changes
    };
    d->OnBnClickedButton1();
    EXPECT_EQ(d->monitor().recSec(), 4);
    d->runSettingsDialog = [](int& rec, int& integ, int& dyn) {
        rec = 6;
        integ = 2;
        dyn = 15;
        return true;
    };
    d->OnBnClickedButton1();
    EXPECT_EQ(d->monitor().recSec(), 6);
    EXPECT_EQ(d->monitor().levels().m_volHisLen, 10);
    d->dynamicBox()->setChecked(true);
    d.reset();  // closes: the settings reach the store
    EXPECT_EQ(host.store_.getInt("Volume", "REC_SEC", 0), 6);
    EXPECT_EQ(host.store_.getInt("Volume", "VOL_INTEG_TIME", 0), 2);
    EXPECT_EQ(host.store_.getInt("Volume", "DYNAMIC_VOL_THRESHOLD", 0), 15);
    EXPECT_EQ(host.store_.getInt("Volume", "B_DYNAMIC_VOL_THRESHOLD", 0), 1);
    EXPECT_NE(host.store_.getInt("Volume", "left", -10000), -10000);
    EXPECT_EQ(inputs.device->closes, 1);
}

TEST_F(VolumeDlgTest, StartVolumeWindowProbesAndStarts) {
    std::unique_ptr<CVolumeDlg> w;
    inputs.device->devices = 0;  // no input at all: disabled, nothing said
    EXPECT_EQ(StartVolumeWindow(1, host, inputs, w, nullptr), 0);
    EXPECT_EQ(w, nullptr);
    EXPECT_TRUE(host.lines().empty());

    inputs.device->devices = 1;
    inputs.device->failOpen = true;
    EXPECT_EQ(StartVolumeWindow(0, host, inputs, w, nullptr), 0);
    EXPECT_EQ(host.lines(),
              (std::vector<std::string>{"Error : WAVE INデバイスのオープンに失敗しました。",
                                        "---- 音量検知機能は使用できません。----"}));
    inputs.device->failOpen = false;
    host.clear();
    EXPECT_EQ(StartVolumeWindow(0, host, inputs, w, nullptr), 1);
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(inputs.device->closes, 1);  // the probe closes what it opened
    EXPECT_EQ(StartVolumeWindow(1, host, inputs, w, nullptr), 1);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    host.clock_.setAutoAdvance(true);  // lets the capture thread see the stop
    CVolumeDlg* first = w.get();
    EXPECT_EQ(StartVolumeWindow(1, host, inputs, w, nullptr), 1);
    EXPECT_NE(w.get(), nullptr);
    (void)first;
    w.reset();
    EXPECT_TRUE(host.lines().empty());
}

}  // namespace
}  // namespace orvana::sound

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
