// The camera monitor inside the main window, with GStreamer test cameras:
// the start-up probe and the "動体" box, one window per camera with the
// 8-pixel cascade, at most eight, the camera pictures of a motion mail, no
// block in the periodic notice, and the sections saved at close and at the
// end of the session.
#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>

#include "app/tarnwick_dlg.h"
#include "camera/camera_source.h"
#include "camera/ui/camera_monitor.h"
#include "core/status_text.h"
#include "mail/mail_queue.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_prompt.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/window_doubles.h"

namespace orvana::camera {
namespace {

namespace fs = std::filesystem;
using orvana::testing::ForwardingStore;

// Small live test cameras: they start at once and cost little.
std::string testCameras(int n) {
    std::string list;
    for (int i = 0; i < n; ++i)
        list += std::string(i ? ";" : "") +
                "videotestsrc is-live=true pattern=" + (i % 2 ? "smpte75" : "ball");
    return list;
}

class MainWindowCamera : public ::testing::Test {
  protected:
    void SetUp() override {
        mem.writeString("Setting", "DATA_DIR", dir / "data");
        for (const char* k : {"USE_VOLUME", "USE_TEMPERATURE", "USE_GEIGER", "USE_OWL"})
            mem.writeInt("Setting", k, 0);
    }
    CTarnwickDlg& open(const std::string& cameras, bool withSource = true) {
        Services s;
        auto c = std::make_unique<orvana::testing::VirtualClock>(1700000000);
        c->realLimit = std::chrono::milliseconds(5);
        s.clock = std::move(c);
        s.store = std::make_unique<ForwardingStore>(mem);
        auto p = std::make_unique<orvana::testing::RecordingPrompt>();
        prompt = p.get();
        s.prompt = std::move(p);
        s.headless = true;
        s.desktopDir = dir / "Desktop";
        if (withSource)
            s.backends.put<CameraSource>(makeListedCameraSource(cameras));
        orvana::testing::fillWindowDoubles(s);
        dlg = std::make_unique<CTarnwickDlg>(std::move(s));
        dlg->OnInitDialog();
        return *dlg;
    }
    CameraMonitor* monitor() {
        return dynamic_cast<CameraMonitor*>(dlg->monitors().find(MonitorSwitch::Camera));
    }
    QCheckBox* box() { return dlg->monitorBox(MonitorSwitch::Camera); }

    orvana::testing::TempDir dir;
    orvana::testing::MemorySettingsStore mem;
    orvana::testing::RecordingPrompt* prompt = nullptr;
    std::unique_ptr<CTarnwickDlg> dlg;
};

TEST_F(MainWindowCamera, NoCameraDisablesTheBox) {
    open("", false);  // no camera list at all
    EXPECT_FALSE(box()->isEnabled());
    ASSERT_NE(monitor(), nullptr);
    EXPECT_FALSE(monitor()->running());
    dlg.reset();

    open("");  // a list without cameras
    EXPECT_FALSE(box()->isEnabled());
    EXPECT_FALSE(monitor()->running());
    EXPECT_FALSE(dlg->monitors().runningFor(COL_CAM));
}

TEST_F(MainWindowCamera, OneWindowPerCameraWhichMailsUseAndTheBoxEnds) {
    CTarnwickDlg& d = open(testCameras(2));  // "USE_CAMERA" defaults to 1
    ASSERT_TRUE(box()->isEnabled());
    CameraMonitor* m = monitor();
    ASSERT_EQ(m->cameraCount(), 2);
    CCameraDlg* w0 = m->window(0);
    CCameraDlg* w1 = m->window(1);
    ASSERT_NE(w0, nullptr);
    ASSERT_NE(w1, nullptr);
    EXPECT_EQ(m->window(2), nullptr);
    EXPECT_TRUE(w0->isVisible());
    EXPECT_EQ(w0->openResult(), 0);
    EXPECT_EQ(w1->openResult(), 0);
    // Never placed before: the fallback, 8 pixels further per camera.
    EXPECT_EQ(w1->pos() - w0->pos(), QPoint(8, 8));
    EXPECT_TRUE(prompt->notices.empty());

    // The mail composer's camera column: a picture of every camera, in
    // camera order; the periodic notice has no camera block.
    EXPECT_TRUE(d.monitors().runningFor(COL_CAM));
    const auto files = m->attachments();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_NE(files[0].find("#Cam0.jpg"), std::string::npos);
    EXPECT_NE(files[1].find("#Cam1.jpg"), std::string::npos);
    EXPECT_TRUE(fs::exists(files[0]));
    EXPECT_TRUE(fs::exists(files[1]));
    EXPECT_EQ(fs::path(files[0]).parent_path(), fs::path(dir / "data"));
    EXPECT_EQ(m->statusBlock(), "");
    EXPECT_EQ(BuildStatusText(d.monitors()).find("Camera"), std::string::npos);

    // The box ends the monitor: each window saves its section and closes
    // its camera.
    w1->slider()->setValue(47);
    box()->click();
    EXPECT_FALSE(m->running());
    EXPECT_EQ(m->window(0), nullptr);
    EXPECT_EQ(mem.getInt("Camera1", "SliderPos", 0), 47);
    EXPECT_TRUE(mem.contains("Camera0", "SizeX"));
    EXPECT_EQ(m->layer()->ewc_GetStatus(0).state, StreamState::Closed);
    EXPECT_EQ(m->layer()->ewc_GetStatus(1).state, StreamState::Closed);
    EXPECT_TRUE(m->attachments().empty());
    EXPECT_FALSE(d.monitors().runningFor(COL_CAM));

    // Started again, with what was saved.
    box()->click();
    ASSERT_TRUE(m->running());
    EXPECT_EQ(m->window(1)->slider()->value(), 47);
    EXPECT_EQ(m->window(0)->openResult(), 0);
}

TEST_F(MainWindowCamera, MotionMailCarriesEveryCameraPicture) {
    mem.writeInt("Setting", "WORKING", 1);
    mem.writeInt("Setting", "USER_ADDRESS", 1);
    mem.writeString("UserAddress0", "Address", "owner@home.example");
    mem.writeInt("UserAddress0", "IJYOU", 1);
    mem.writeString("Setting", "FROM", "watch@pc.example");
    mem.writeString("Setting", "SMTP", "127.0.0.1:1");
    CTarnwickDlg& d = open(testCameras(2));
    ASSERT_EQ(monitor()->cameraCount(), 2);
    // The window's own notice goes through the composer (the server is
    // unreachable, so the mail stays queued).
    d.RegistMail(ALERT_CAM, "動体検知", "\r\n動体を検出しました。\r\nCamera#0", 2);
    const auto mails = d.mailQueue().all();
    ASSERT_FALSE(mails.empty());
    const auto& a = mails.back().attachments;
    ASSERT_GE(a.size(), 2u);
    EXPECT_NE(a[0].find("#Cam0.jpg"), std::string::npos);
    EXPECT_NE(a[1].find("#Cam1.jpg"), std::string::npos);
    EXPECT_EQ(mails.back().subject, "動体検知：orvana");
}

TEST_F(MainWindowCamera, AtMostEightWindowsAndOnlyStartingSaysSo) {
    mem.writeInt("Setting", "USE_CAMERA", 0);
    open(testCameras(9));
    EXPECT_TRUE(box()->isEnabled());  // probed: cameras exist
    EXPECT_FALSE(monitor()->running());
    EXPECT_TRUE(prompt->notices.empty());

    box()->click();
    ASSERT_TRUE(monitor()->running());
    EXPECT_EQ(monitor()->cameraCount(), 8);
    EXPECT_NE(monitor()->window(7), nullptr);
    ASSERT_EQ(prompt->notices.size(), 1u);
    EXPECT_EQ(prompt->notices[0], "このソフトで利用可能なカメラは８台までです。");
    EXPECT_EQ(monitor()->attachments().size(), 8u);
}

TEST_F(MainWindowCamera, SectionsAreSavedAtCloseAndAtSessionEnd) {
    CTarnwickDlg& d = open(testCameras(1));
    CCameraDlg* w = monitor()->window(0);
    ASSERT_NE(w, nullptr);
    w->notifyBox()->setChecked(true);
    d.OnEndSession();
    EXPECT_EQ(mem.getInt("Camera0", "Nofity", 0), 1);
    w->saveMotionBox()->setChecked(true);
    d.SaveSettingBeforeClose();
    EXPECT_EQ(mem.getInt("Camera0", "SaveMotion", 0), 1);
    w->slider()->setValue(66);
    dlg.reset();  // the registry closes the windows last
    EXPECT_EQ(mem.getInt("Camera0", "SliderPos", 0), 66);
}

}  // namespace
}  // namespace orvana::camera

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
