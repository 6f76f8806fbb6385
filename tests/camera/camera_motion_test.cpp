// One camera's motion watch in virtual time: the state table with its notice
// at the peak, the growing picture intervals, the ring of stored frames, the
// pictures and their names, the section "Camera%d", and the reports of a
// lost and a returned stream.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <filesystem>
#include <regex>

#include "camera/motion/camera_motion.h"
#include "core/snapshot_name.h"
#include "tests/camera/camera_test_host.h"
#include "tests/support/temp_dir.h"

namespace orvana::camera {
namespace {

namespace fs = std::filesystem;
using testing::CameraTestHost;

// The colour of a JPEG's centre (blue, green, red).
struct Colour {
    int b, g, r;
};
Colour centreOf(const std::string& path) {
    QImage img(QString::fromStdString(path));
    if (img.isNull())
        return {-1, -1, -1};
    const QRgb c = img.pixel(img.width() / 2, img.height() / 2);
    return {qBlue(c), qGreen(c), qRed(c)};
}
bool near(Colour c, int b, int g, int r) {
    return std::abs(c.b - b) < 12 && std::abs(c.g - g) < 12 && std::abs(c.r - r) < 12;
}

class CameraMotionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host.store_.writeString("Setting", "DATA_DIR", dir.path());
        motion.Reset({32, 24});
        motion.m_notify = 1;
        motion.m_saveMotion = 1;
        motion.m_sliderPos = 20;  // 10 %
    }
    void fill(int b, int g, int r) {
        for (int i = 0; i < motion.m_frameBytes; i += 4) {
            motion.frame()[i] = static_cast<std::uint8_t>(b);
            motion.frame()[i + 1] = static_cast<std::uint8_t>(g);
            motion.frame()[i + 2] = static_cast<std::uint8_t>(r);
        }
    }
    // One second: 15 display ticks (the last runs the detection) with the
    // frame in `grey`.
    Detection second(double ratio, int grey = 0) {
        host.clock_.advanceSeconds(1);
        fill(grey, grey, grey);
        for (int i = 1; i < kTicksPerDetection; ++i)
            EXPECT_FALSE(motion.OnDisplayTick());
        EXPECT_TRUE(motion.OnDisplayTick());
        return motion.Evaluate(ratio);
    }
    // Real frames: the detection measures the ratio itself.
    Detection secondOf(int grey) {
        host.clock_.advanceSeconds(1);
        fill(grey, grey, grey);
        for (int i = 0; i < kTicksPerDetection; ++i)
            motion.OnDisplayTick();
        return motion.Detect();
    }
    std::vector<std::string> pictures() {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir.path()))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    orvana::testing::TempDir dir;
    CameraTestHost host;
    CameraMotion motion{host, 1};
};

TEST_F(CameraMotionTest, RiseForThreeSecondsThenFallGivesOneNoticeAtThePeak) {
    EXPECT_TRUE(second(0.2, 40).savedPicture);  // start: a picture now
    second(0.3, 80);
    second(0.4, 120);  // the peak
    EXPECT_TRUE(host.mails().empty());
    const Detection peak = second(0.35, 200);  // first falling second
    EXPECT_TRUE(peak.notice);
    EXPECT_TRUE(peak.savedPicture);
    second(0.05, 10);  // over
    second(0.02, 10);

    ASSERT_EQ(host.mails().size(), 1u);
    const auto mail = host.mails()[0];
    EXPECT_EQ(mail.kind, ALERT_CAM);
    EXPECT_EQ(mail.title, "動体検知");
    EXPECT_EQ(mail.text, "\r\n動体を検出しました。\r\nCamera#1");
    EXPECT_EQ(host.lines(),
              (std::vector<std::string>{kSeparator, "[2]>>>動体検知<<< Camera#1", kSeparator}));
    // The notice's picture is the previous second's frame, named by the
    // time of the notice.
    EXPECT_EQ(peak.picture, snapshotFileName(dir.path(), host.clock_.now() - 2, "#Cam1.jpg"));
    EXPECT_TRUE(near(centreOf(peak.picture), 120, 120, 120));
    EXPECT_EQ(motion.m_motion, 0);
    EXPECT_EQ(motion.m_noticePending, 0);
}

TEST_F(CameraMotionTest, EventEndingWithoutAFallIsNotifiedAtItsEndWithoutAPicture) {
    second(0.2);
    second(0.3);
    second(0.3);  // equal is not falling
    EXPECT_TRUE(host.mails().empty());
    const Detection end = second(0.1);  // exactly the threshold is not above
    EXPECT_TRUE(end.notice);
    EXPECT_FALSE(end.savedPicture);
    EXPECT_EQ(host.mails().size(), 1u);
    // A new event is a new notice.
    second(0.5);
    second(0.4);
    EXPECT_EQ(host.mails().size(), 2u);
}

TEST_F(CameraMotionTest, PicturesWhileMotionLastsComeAtDoublingGapsUpToSixty) {
    std::vector<int> taken;
    for (int k = 1; k <= 200; ++k) {
        host.clock_.advanceSeconds(1);
        for (int i = 0; i < kTicksPerDetection; ++i)
            motion.OnDisplayTick();
        if (motion.Evaluate(0.5).savedPicture)
            taken.push_back(k);
        EXPECT_LE(motion.m_saveInterval, kMaxSaveInterval);
    }
    std::vector<int> gaps;
    for (std::size_t i = 1; i < taken.size(); ++i)
        gaps.push_back(taken[i] - taken[i - 1]);
    // Due at tick counts that are multiples of 15 x 2, 4, 8, 16, 32, then 60.
    EXPECT_EQ(taken.front(), 1);
    EXPECT_EQ(gaps, (std::vector<int>{1, 2, 4, 8, 16, 28, 60, 60}));
    EXPECT_EQ(pictures().size(), taken.size());
    EXPECT_EQ(motion.m_saveInterval, kMaxSaveInterval);
    // The ratio never fell, so no notice yet; the end reports it.
    EXPECT_TRUE(host.mails().empty());
    second(0.0);
    EXPECT_EQ(host.mails().size(), 1u);
    EXPECT_EQ(motion.m_saveInterval, 1);
}

TEST_F(CameraMotionTest, SwitchesKeepNoticesAndPicturesApart) {
    motion.m_notify = 0;
    second(0.5);
    second(0.3);
    EXPECT_TRUE(host.lines().empty());
    EXPECT_TRUE(host.mails().empty());
    EXPECT_EQ(pictures().size(), 2u);  // start and peak

    second(0.0);
    motion.m_notify = 1;
    motion.m_saveMotion = 0;
    second(0.5);
    const Detection peak = second(0.3);
    EXPECT_TRUE(peak.notice);
    EXPECT_FALSE(peak.savedPicture);
    EXPECT_EQ(host.mails().size(), 1u);
    EXPECT_EQ(pictures().size(), 2u);
}

TEST_F(CameraMotionTest, RatioComparesWithTheFrameStoredThreeDetectionsBefore) {
    motion.m_detectRect = {0, 0, 32, 24};
    // The first three detections have no full ring: the floor.
    EXPECT_EQ(secondOf(0).ratio, kMotionFloor);
    EXPECT_EQ(secondOf(255).ratio, kMotionFloor);
    EXPECT_EQ(secondOf(255).ratio, kMotionFloor);
    // The fourth (black) against the first (black).
    EXPECT_EQ(secondOf(0).ratio, kMotionFloor);
    EXPECT_EQ(motion.m_motionHis[0], kMotionFloor);
    // The fifth against the second (white): top half white, bottom half
    // black. The means differ by 127.5, so the bottom corrects to 127 and
    // the top wraps to 126: every pixel is far from the white reference.
    host.clock_.advanceSeconds(1);
    fill(0, 0, 0);
    for (int i = 0; i < 12 * 32 * 4; i += 4)
        motion.frame()[i] = motion.frame()[i + 1] = motion.frame()[i + 2] = 255;
    for (int i = 0; i < kTicksPerDetection; ++i)
        motion.OnDisplayTick();
    const Detection d = motion.Detect();
    EXPECT_EQ(d.ratio, motion.m_motionRatio);
    EXPECT_EQ(d.ratio, 1.0);
    EXPECT_EQ(motion.m_motionHis[0], d.ratio);
    EXPECT_EQ(motion.m_motionHis[1], kMotionFloor);

    // An empty rectangle: no ratio, an empty bar, no event.
    motion.m_detectRect = {5, 5, 5, 20};
    const Detection none = second(std::nan(""));
    EXPECT_TRUE(std::isnan(none.ratio));
    EXPECT_EQ(motion.m_motionHis[0], kMotionFloor);
    EXPECT_TRUE(std::isnan(motion.MotionDetect()));
}

TEST_F(CameraMotionTest, ResetForANewFormatStartsAfresh) {
    second(0.5);
    second(0.6);
    second(0.7);
    second(0.8);
    ASSERT_EQ(motion.m_ringFilled, 1);
    ASSERT_EQ(motion.m_motion, 1);
    motion.m_detectRect = {3, 4, 20, 20};
    motion.Reset({64, 48});
    EXPECT_EQ(motion.m_frameBytes, 64 * 48 * 4);
    EXPECT_EQ(motion.m_pFrame.size(), 64u * 48 * 4);
    EXPECT_EQ(motion.m_ringFilled, 0);
    EXPECT_EQ(motion.m_ringIndex, 0);
    EXPECT_EQ(motion.m_motion, 0);
    EXPECT_EQ(motion.m_noticePending, 0);
    EXPECT_EQ(motion.m_motionRatio, kMotionFloor);
    for (double h : motion.m_motionHis)
        EXPECT_EQ(h, kMotionFloor);
    EXPECT_EQ(motion.m_detectRect, (DetectRect{3, 4, 20, 20}));
    motion.ResetDetectRect();
    EXPECT_EQ(motion.m_detectRect, (DetectRect{0, 0, 64, 48}));
    // The pending notice went with the old format: nothing more is reported.
    second(0.0);
    EXPECT_TRUE(host.mails().empty());
}

TEST_F(CameraMotionTest, PicturesCarryTheStampNameAndTheRightFrame) {
    host.clock_.setNow(1700000000);
    fill(0, 0, 255);  // bytes blue, green, red: red
    std::string path;
    EXPECT_EQ(motion.SaveImage(path, 0), path);
    EXPECT_EQ(path, snapshotFileName(dir.path(), 1700000000, "#Cam1.jpg"));
    EXPECT_TRUE(std::regex_match(
        fs::path(path).filename().string(),
        std::regex("[0-9]{4}年[0-9]{2}月[0-9]{2}日[0-9]{2}時[0-9]{2}分[0-9]{2}秒#Cam1\\.jpg")));
    EXPECT_TRUE(near(centreOf(path), 0, 0, 255));
    const QImage img(QString::fromStdString(path));
    EXPECT_EQ(img.size(), QSize(32, 24));

    // The stored frame: the one kept at the last detection.
    second(0.0, 0);
    fill(255, 0, 0);  // blue now, black stored
    host.clock_.advanceSeconds(1);
    motion.SaveImage(path, 1);
    EXPECT_TRUE(near(centreOf(path), 0, 0, 0));
    motion.SaveImage(path, 0);  // the same second: replaced
    EXPECT_TRUE(near(centreOf(path), 255, 0, 0));

    // A folder that cannot be written: nothing written, the path all the same.
    host.store_.writeString("Setting", "DATA_DIR", dir.path() + "/missing/deeper");
    EXPECT_EQ(motion.SaveImage(0, dir.path() + "/missing/deeper/x"), 0);
    EXPECT_EQ(motion.SaveImage(path, 0),
              snapshotFileName(dir.path() + "/missing/deeper", host.clock_.now(), "#Cam1.jpg"));
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(CameraMotionTest, SettingsLoadDefaultsAndAreWrittenInOrder) {
    orvana::testing::OrderedSettingsStore store;
    const CameraSettings d = LoadCameraSettings(store, 2);
    EXPECT_EQ(d.resolution, 0);
    EXPECT_EQ(d.notify, 0);
    EXPECT_EQ(d.saveMotion, 0);
    EXPECT_EQ(d.sliderPos, 20);
    EXPECT_EQ(d.placement.left, -10000);
    EXPECT_EQ(d.placement.bottom, -10000);
    EXPECT_EQ(d.detect, (DetectRect{0, 0, 10000, 10000}));

    CameraSettings s;
    s.resolution = 3;
    s.notify = 1;
    s.saveMotion = 1;
    s.sliderPos = 55;
    s.placement = {10, 20, 330, 280};
    s.detect = {4, 5, 600, 400};
    SaveCameraSettings(store, 2, s, {1280, 720});
    EXPECT_EQ(store.written,
              (std::vector<std::string>{
                  "Camera2/Resolution", "Camera2/SizeX", "Camera2/SizeY", "Camera2/left",
                  "Camera2/top", "Camera2/right", "Camera2/bottom", "Camera2/DetectLeft",
                  "Camera2/DetectTop", "Camera2/DetectRight", "Camera2/DetectBottom",
                  "Camera2/Nofity", "Camera2/SaveMotion", "Camera2/SliderPos"}));
    EXPECT_EQ(store.getInt("Camera2", "SizeX", 0), 1280);
    EXPECT_EQ(store.getInt("Camera2", "SizeY", 0), 720);
    const CameraSettings back = LoadCameraSettings(store, 2);
    EXPECT_EQ(back.resolution, 3);
    EXPECT_EQ(back.notify, 1);
    EXPECT_EQ(back.saveMotion, 1);
    EXPECT_EQ(back.sliderPos, 55);
    EXPECT_EQ(back.placement.right, 330);
    EXPECT_EQ(back.detect, (DetectRect{4, 5, 600, 400}));
    // Another camera's section is its own.
    EXPECT_EQ(LoadCameraSettings(store, 0).sliderPos, 20);

    // The members go through the same keys; a slider position written by
    // hand beyond the scale takes the default, and the list says so once.
    host.store_.writeInt("Camera1", "SliderPos", 95);
    host.store_.writeInt("Camera1", "DetectRight", 9000);
    host.clear();
    motion.LoadSettings();
    EXPECT_EQ(motion.m_sliderPos, 20);
    EXPECT_EQ(host.lines(), std::vector<std::string>{
                                "[2]設定値が不正なため既定値に戻しました: Camera1/SliderPos"});
    motion.ClampDetectRect();
    EXPECT_EQ(motion.m_detectRect, (DetectRect{0, 0, 32, 24}));
    motion.SaveSettings({1, 2, 3, 4});
    EXPECT_EQ(host.store_.getInt("Camera1", "DetectRight", 0), 32);
    EXPECT_EQ(host.store_.getInt("Camera1", "SizeX", 0), 32);
    EXPECT_EQ(host.store_.getInt("Camera1", "bottom", 0), 4);
}

TEST_F(CameraMotionTest, ValuesOutsideTheirMeaningTakeTheirDefaultsAndAreNamedOnce) {
    auto load = [](SettingsStore& store, std::vector<std::string>* reset) {
        return LoadCameraSettings(store, 3, reset);
    };
    orvana::testing::MemorySettingsStore store;
    store.writeInt("Camera3", "Resolution", -1);
    store.writeInt("Camera3", "Nofity", 2);
    store.writeString("Camera3", "SaveMotion", "yes");
    store.writeString("Camera3", "SliderPos", "99999999999");
    store.writeInt("Camera3", "left", -2000000000);  // the window checks placements
    store.writeInt("Camera3", "DetectLeft", 500);    // reversed: right of the right edge
    store.writeInt("Camera3", "DetectTop", 0);
    store.writeInt("Camera3", "DetectRight", 100);
    std::vector<std::string> reset;
    CameraSettings s = load(store, &reset);
    EXPECT_EQ(s.resolution, 0);
    EXPECT_EQ(s.notify, 0);
    EXPECT_EQ(s.saveMotion, 0);
    EXPECT_EQ(s.sliderPos, 20);
    EXPECT_EQ(s.placement.left, -2000000000);
    EXPECT_EQ(s.detect, (DetectRect{0, 0, 10000, 10000}));
    // DetectTop held the default's own value: nothing of it was reset.
    EXPECT_EQ(reset, (std::vector<std::string>{"Camera3/Resolution", "Camera3/Nofity",
                                               "Camera3/SaveMotion", "Camera3/SliderPos",
                                               "Camera3/DetectLeft", "Camera3/DetectRight"}));

    // One corner beyond the frame's range, or no number, spoils the whole
    // rectangle.
    for (const char* bottom : {"10001", "-1", "abc", "4e3"}) {
        orvana::testing::MemorySettingsStore st;
        st.writeInt("Camera3", "DetectLeft", 10);
        st.writeInt("Camera3", "DetectTop", 20);
        st.writeInt("Camera3", "DetectRight", 300);
        st.writeString("Camera3", "DetectBottom", bottom);
        s = load(st, &reset);
        EXPECT_EQ(s.detect, (DetectRect{0, 0, 10000, 10000})) << bottom;
        EXPECT_EQ(reset, (std::vector<std::string>{"Camera3/DetectLeft", "Camera3/DetectTop",
                                                   "Camera3/DetectRight", "Camera3/DetectBottom"}))
            << bottom;
    }

    // Good values stay, the bounds included; an empty rectangle is one.
    for (const int slider : {0, 80}) {
        orvana::testing::MemorySettingsStore st;
        st.writeInt("Camera3", "Resolution", 7);
        st.writeInt("Camera3", "Nofity", 1);
        st.writeInt("Camera3", "SaveMotion", 1);
        st.writeInt("Camera3", "SliderPos", slider);
        st.writeInt("Camera3", "DetectLeft", 10000);
        st.writeInt("Camera3", "DetectTop", 0);
        st.writeInt("Camera3", "DetectRight", 10000);
        st.writeInt("Camera3", "DetectBottom", 0);
        s = load(st, &reset);
        EXPECT_TRUE(reset.empty()) << slider;
        EXPECT_EQ(s.resolution, 7);
        EXPECT_EQ(s.notify, 1);
        EXPECT_EQ(s.saveMotion, 1);
        EXPECT_EQ(s.sliderPos, slider);
        EXPECT_EQ(s.detect, (DetectRect{10000, 0, 10000, 0}));
    }

    // Through the monitor: one line, and the defaults saved back read clean.
    host.store_.writeInt("Camera1", "Nofity", -1);
    host.store_.writeInt("Camera1", "DetectTop", 900);
    host.store_.writeInt("Camera1", "DetectBottom", 800);
    host.clear();
    motion.LoadSettings();
    EXPECT_EQ(motion.m_notify, 0);
    EXPECT_EQ(motion.m_detectRect, (DetectRect{0, 0, 10000, 10000}));
    EXPECT_EQ(host.lines(),
              std::vector<std::string>{"[2]設定値が不正なため既定値に戻しました: Camera1/Nofity, "
                                       "Camera1/DetectTop, Camera1/DetectBottom"});
    host.clear();
    motion.SaveSettings({});
    motion.LoadSettings();
    EXPECT_TRUE(host.lines().empty());
}

TEST_F(CameraMotionTest, LostAndReturnedStreamAreReportedOnceEach) {
    second(0.0);
    second(0.0);
    second(0.0);
    ASSERT_EQ(motion.m_ringFilled, 1);
    motion.OnStreamState(true, "Front door");
    motion.OnStreamState(true, "Front door");
    EXPECT_TRUE(motion.streamLost());
    EXPECT_EQ(motion.m_ringFilled, 0);
    motion.OnStreamState(false, "Front door");
    motion.OnStreamState(false, "Front door");
    EXPECT_EQ(host.lines(),
              (std::vector<std::string>{"[2]>>>カメラ映像途絶<<< Camera#1 (Front door)",
                                        "[2]<<<カメラ映像復帰>>> Camera#1 (Front door)"}));
    const auto mails = host.mails();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].kind, ALERT_KANRI);
    EXPECT_EQ(mails[0].title, "カメラ映像途絶");
    EXPECT_NE(mails[0].text.find("Camera#1 (Front door)"), std::string::npos);
    EXPECT_EQ(mails[1].kind, ALERT_KANRI);
    EXPECT_EQ(mails[1].title, "カメラ映像復帰");
    // Three detections after the return before a ratio is measured again.
    EXPECT_EQ(motion.m_ringFilled, 0);
}

}  // namespace
}  // namespace orvana::camera
