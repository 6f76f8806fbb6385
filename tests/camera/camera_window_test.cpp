// The camera window on the offscreen platform with GStreamer test cameras:
// opening (format list, stored choices, rectangle, placement), layout at two
// sizes, a large frame shown reduced, the picture with its rectangle pen,
// the meter, drawing the rectangle with the mouse, a format change, the
// camera's own settings, the saved section, a stream that stops and comes
// back, and a camera that starts late or never (it opens in the background).
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <atomic>
#include <chrono>
#include <regex>
#include <thread>

#include "camera/camera_source.h"
#include "camera/ui/camera_dlg.h"
#include "tests/camera/camera_test_host.h"
#include "tests/camera/camera_test_support.h"
#include "tests/support/temp_dir.h"

namespace orvana::camera {
namespace {

using namespace std::chrono_literals;
using testing::CameraTestHost;

class CameraWindow : public ::testing::Test {
  protected:
    void SetUp() override { host.store_.writeString("Setting", "DATA_DIR", dir.path()); }

    // Opens window `num` on a layer over `cameras`. The camera starts in
    // the background; with `running` this waits until its frames arrive.
    CCameraDlg& open(const std::string& cameras, int num = 0, CaptureOptions options = {},
                     bool running = true) {
        if (!layer) {
            source = makeListedCameraSource(cameras);
            layer = std::make_unique<CaptureLayer>(*source, options);
            pages = std::make_unique<CameraPropertyPages>(*layer);
        }
        auto w = std::make_unique<CCameraDlg>(host, *layer, *pages, num);
        w->OnInitDialog();
        w->show();
        windows.push_back(std::move(w));
        if (running) {
            const bool started = orvana::testing::waitUntil(
                [&] { return layer->ewc_GetStatus(num).state == StreamState::Running; });
            EXPECT_TRUE(started) << "camera " << num << " starts";
        }
        return *windows.back();
    }
    // Runs display ticks until `done` or about `limit` of real time.
    template <class Pred>
    bool tickUntil(CCameraDlg& w, Pred done, std::chrono::milliseconds limit = 20s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            w.timer().stop();
            w.OnTimer();
            QApplication::processEvents();
            if (done())
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    // One detection's worth of ticks.
    void detection(CCameraDlg& w) {
        for (int i = 0; i < kTicksPerDetection; ++i) {
            w.timer().stop();
            w.OnTimer();
        }
    }
    void mouse(CCameraDlg& w, QEvent::Type type, QPoint at) {
        QMouseEvent e(type, QPointF(at), w.mapToGlobal(QPointF(at)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(&w, &e);
    }
    DetectRect drag(CCameraDlg& w, QPoint from, QPoint to) {
        mouse(w, QEvent::MouseButtonPress, from);
        mouse(w, QEvent::MouseMove, (from + to) / 2);
        EXPECT_TRUE(w.dragging());
        mouse(w, QEvent::MouseMove, to);
        mouse(w, QEvent::MouseButtonRelease, to);
        EXPECT_FALSE(w.dragging());
        return w.motion().m_detectRect;
    }
    int indexOf(const CCameraDlg& w, FrameSize size) {
        const auto& list = w.resolutions();
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i] == size)
                return static_cast<int>(i);
        return -1;
    }

    orvana::testing::TempDir dir;
    CameraTestHost host;
    std::unique_ptr<CameraSource> source;
    std::unique_ptr<CaptureLayer> layer;
    std::unique_ptr<CameraPropertyPages> pages;
    std::vector<std::unique_ptr<CCameraDlg>> windows;  // closed before the layer
    void TearDown() override {
        windows.clear();
        pages.reset();
        layer.reset();
    }
};

TEST_F(CameraWindow, OpensWithTheFormatListTheStoredChoicesAndThePlacement) {
    host.store_.writeInt("Camera1", "Resolution", 999);  // beyond the list: the last entry
    host.store_.writeInt("Camera1", "SliderPos", 33);
    host.store_.writeInt("Camera1", "Nofity", 1);
    host.store_.writeInt("Camera1", "DetectLeft", 5);
    host.store_.writeInt("Camera1", "DetectTop", 10);
    CCameraDlg& w0 = open("videotestsrc is-live=true; videotestsrc is-live=true pattern=snow", 0);
    CCameraDlg& w1 = open("", 1);
    EXPECT_EQ(w0.openResult(), 0);
    EXPECT_EQ(w1.openResult(), 0);
    // Two cameras opened with -1 take the first and the second source.
    EXPECT_EQ(layer->ewc_GetStatus(0).deviceNumber, 0);
    EXPECT_EQ(layer->ewc_GetStatus(1).deviceNumber, 1);

    const QComboBox* combo = w1.formatCombo();
    ASSERT_GT(combo->count(), 1);
    ASSERT_EQ(static_cast<int>(w1.resolutions().size()), combo->count());
    const std::regex line("([0-9]+):([0-9]+)x([0-9]+)\\(([A-Za-z0-9]+)\\)");
    for (int i = 0; i < combo->count(); ++i) {
        std::smatch m;
        const std::string text = combo->itemText(i).toStdString();
        ASSERT_TRUE(std::regex_match(text, m, line)) << text;
        EXPECT_EQ(std::stoi(m[1]), i);
        EXPECT_EQ(std::stoi(m[2]), w1.resolutions()[static_cast<std::size_t>(i)].width);
        EXPECT_EQ(std::stoi(m[3]), w1.resolutions()[static_cast<std::size_t>(i)].height);
    }
    EXPECT_EQ(combo->currentIndex(), combo->count() - 1);
    EXPECT_EQ(w1.motion().m_frameSize, w1.resolutions().back());
    EXPECT_EQ(layer->EWC_GetBufferSize(1), w1.motion().m_frameBytes);
    EXPECT_EQ(w1.slider()->value(), 33);
    EXPECT_EQ(w1.slider()->maximum(), 80);
    EXPECT_TRUE(w1.notifyBox()->isChecked());
    EXPECT_FALSE(w1.saveMotionBox()->isChecked());
    EXPECT_EQ(w1.notifyBox()->text(), QStringLiteral("異常を通知"));
    EXPECT_EQ(w1.saveMotionBox()->text(), QStringLiteral("異常動体画像記録"));
    EXPECT_EQ(w1.settingsButton()->text(), QStringLiteral("設定..."));
    // The stored rectangle, clamped to the frame.
    const FrameSize f = w1.motion().m_frameSize;
    EXPECT_EQ(w1.motion().m_detectRect, (DetectRect{5, 10, f.width, f.height}));
    // Never placed: the fallback, shifted 8 pixels per camera number.
    EXPECT_EQ(w1.pos() - w0.pos(), QPoint(8, 8) + QPoint(w0.width() - w1.width(), 0));
    EXPECT_GE(w1.width(), kMinClientWidth);
    EXPECT_GE(w1.height(), kMinClientHeight);
}

TEST_F(CameraWindow, LayoutAtTwoSizesAndALargeFrameReduced) {
    CCameraDlg& w = open("videotestsrc is-live=true");
    const int hd = indexOf(w, {1280, 720});
    ASSERT_GE(hd, 0) << "the test source offers 1280x720";
    w.OnCbnSelchangeCombo1(hd);
    ASSERT_EQ(w.openResult(), 0);

    w.resize(640 + 132, 420);
    QApplication::processEvents();
    EXPECT_EQ(w.dispSize(), (FrameSize{640, 360}));
    const CameraLayout a = LayoutFor(w.width(), w.height(), {1280, 720});
    EXPECT_EQ(w.picture()->geometry(), QRect(8, 44, 640, 360));
    EXPECT_EQ(w.meter()->geometry(), QRect(a.meter.x, a.meter.y, a.meter.width, a.meter.height));
    EXPECT_EQ(w.slider()->geometry(),
              QRect(a.slider.x, a.slider.y, a.slider.width, a.slider.height));
    EXPECT_EQ(w.formatCombo()->geometry(),
              QRect(a.formatCombo.x, a.formatCombo.y, a.formatCombo.width, a.formatCombo.height));
    detection(w);
    EXPECT_TRUE(w.windowTitle().startsWith(QStringLiteral("Camera #0 (1280x720: 50.0%縮小表示) ")))
        << w.windowTitle().toStdString();
    EXPECT_TRUE(w.windowTitle().endsWith(QStringLiteral("(10.00[%])")));

    // A smaller window: still the aspect ratio, never below 320 x 240.
    w.resize(100, 100);
    QApplication::processEvents();
    EXPECT_EQ(w.size(), QSize(kMinClientWidth, kMinClientHeight));
    EXPECT_EQ(w.dispSize(), DisplaySize(kMinClientWidth, kMinClientHeight, {1280, 720}));
    EXPECT_EQ(w.picture()->size(), QSize(w.dispSize().width, w.dispSize().height));
}

TEST_F(CameraWindow, PictureShowsTheFrameAndTheRectanglePen) {
    CCameraDlg& w = open("videotestsrc is-live=true pattern=blue");
    ASSERT_EQ(w.openResult(), 0);
    w.motion().m_detectRect = {w.motion().m_frameSize.width / 4, w.motion().m_frameSize.height / 4,
                               w.motion().m_frameSize.width / 2, w.motion().m_frameSize.height / 2};
    ASSERT_TRUE(tickUntil(w, [&] {
        const QImage& img = w.picture()->image();
        return !img.isNull() && qBlue(img.pixel(2, 2)) > 200;
    })) << "a blue frame reaches the picture";
    const QImage& img = w.picture()->image();
    EXPECT_EQ(img.size(), QSize(w.dispSize().width, w.dispSize().height));
    const ViewRect r = DisplayedRect(w.motion().m_detectRect, w.motion().m_frameSize, w.dispSize());
    EXPECT_EQ(img.pixel(r.x, r.y + r.height / 2), qRgb(255, 128, 128));
    EXPECT_EQ(img.pixel(r.x + r.width / 2, r.y + r.height), qRgb(255, 128, 128));
    EXPECT_EQ(qRed(img.pixel(r.x + r.width / 2, r.y + r.height / 2)), 0);  // unfilled
}

TEST_F(CameraWindow, HeadlessWindowDetectsWithoutDrawing) {
    host.headlessMode = true;
    CCameraDlg& w = open("videotestsrc is-live=true pattern=ball");
    ASSERT_EQ(w.openResult(), 0);
    // The ball moves: once three frames are stored, motion is measured.
    ASSERT_TRUE(tickUntil(
        w, [&] { return w.motion().m_motionRatio > 0.001; }, 30s));
    EXPECT_TRUE(w.picture()->image().isNull());
}

TEST_F(CameraWindow, MeterBarsAndThreshold) {
    CCameraDlg& w = open("videotestsrc is-live=true");
    std::array<double, kHistoryLength> his;
    his.fill(kMotionFloor);
    his[0] = 0.5;
    his[1] = 0.001;
    w.meter()->setValues(his, 0.01);
    const QImage img = w.meter()->render(76, 240);
    // Bar 0 spans x 74..76, bar 1 71..74; 0.001 rises to 60 of 240.
    EXPECT_EQ(img.pixel(75, 230), qRgb(255, 0, 0));      // newest: above, red fill
    EXPECT_EQ(img.pixel(74, 100), qRgb(255, 128, 128));  // its outline
    EXPECT_EQ(img.pixel(72, 230), qRgb(0, 0, 255));      // below: blue fill
    EXPECT_EQ(img.pixel(72, 150), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(5, 230), qRgb(255, 255, 255));  // the floor: empty
    const int y = ThresholdLineY(0.01, 240);
    int dotted = 0;
    for (int x = 0; x < 60; ++x)
        dotted += img.pixel(x, y) == qRgb(255, 128, 128) ? 1 : 0;
    EXPECT_GT(dotted, 10);
    EXPECT_LT(dotted, 60);
}

TEST_F(CameraWindow, RectangleDrawnWithTheMouse) {
    CCameraDlg& w = open("videotestsrc is-live=true");
    w.resize(452, 300);
    QApplication::processEvents();
    const FrameSize f = w.motion().m_frameSize, d = w.dispSize();
    const QPoint origin(kPictureX, kPictureY);
    const DetectRect inside = drag(w, origin + QPoint(10, 20), origin + QPoint(110, 70));
    EXPECT_EQ(inside, (DetectRect{10 * f.width / d.width, 20 * f.height / d.height,
                                  110 * f.width / d.width, 70 * f.height / d.height}));
    // Right to left and bottom to top: the mirror drag's rectangle.
    EXPECT_EQ(drag(w, origin + QPoint(110, 70), origin + QPoint(10, 20)), inside);
    // Starting left of and above the picture: clamped to its corner.
    const DetectRect corner = drag(w, QPoint(2, 4), origin + QPoint(50, 50));
    EXPECT_EQ(corner.left, 0);
    EXPECT_EQ(corner.top, 0);
    EXPECT_EQ(corner.right, 50 * f.width / d.width);
    // Beyond the picture: clamped to the frame.
    const DetectRect far = drag(w, origin + QPoint(50, 50), QPoint(4000, 4000));
    EXPECT_EQ(far.right, f.width);
    EXPECT_EQ(far.bottom, f.height);
    // A click without a drag: an empty rectangle, which never raises an event.
    const DetectRect none = drag(w, origin + QPoint(30, 30), origin + QPoint(30, 30));
    EXPECT_EQ(none.left, none.right);
    detection(w);
    detection(w);
    detection(w);
    detection(w);
    EXPECT_TRUE(std::isnan(w.motion().m_motionRatio));
    EXPECT_NE(w.windowTitle().indexOf(QStringLiteral("---[%]")), -1);
}

TEST_F(CameraWindow, FormatChangeReopensAndStartsAfresh) {
    CCameraDlg& w = open("videotestsrc is-live=true pattern=ball");
    w.motion().m_detectRect = {5, 6, 50, 60};
    for (int i = 0; i < 5; ++i)
        detection(w);
    ASSERT_EQ(w.motion().m_ringFilled, 1);
    const int other = indexOf(w, {320, 240});
    ASSERT_GE(other, 0);
    w.formatCombo()->setCurrentIndex(other);
    w.OnCbnSelchangeCombo1(other);
    EXPECT_EQ(w.openResult(), 0);
    EXPECT_EQ(w.motion().m_frameSize, (FrameSize{320, 240}));
    EXPECT_EQ(w.motion().m_detectRect, (DetectRect{0, 0, 320, 240}));
    EXPECT_EQ(w.motion().m_frameBytes, 320 * 240 * 4);
    EXPECT_EQ(layer->EWC_GetBufferSize(0), 320 * 240 * 4);
    EXPECT_EQ(w.motion().m_ringFilled, 0);
    EXPECT_EQ(w.motion().m_motionRatio, kMotionFloor);
    EXPECT_EQ(w.motion().m_resolution, other);
    EXPECT_TRUE(w.timer().isActive());
    // Frames of the new size arrive.
    EXPECT_TRUE(tickUntil(w, [&] { return layer->ewc_GetStatus(0).framesFetched > 0; }));

    // Saved with the new size, in the window's section.
    w.SaveSettingBeforeClose();
    EXPECT_EQ(host.store_.getInt("Camera0", "Resolution", -1), other);
    EXPECT_EQ(host.store_.getInt("Camera0", "SizeX", 0), 320);
    EXPECT_EQ(host.store_.getInt("Camera0", "DetectRight", 0), 320);
}

TEST_F(CameraWindow, CameraSettingsDialogActsAtOnceOncePerCamera) {
    // videobalance offers colour-balance channels; a white picture darkens
    // when its brightness goes down.
    CCameraDlg& w = open(
        "videotestsrc is-live=true pattern=white ! videobalance;"
        "videotestsrc is-live=true pattern=white",
        0);
    CCameraDlg& plain = open("", 1);
    EXPECT_EQ(w.OnBnClickedButton1(), 0);
    EXPECT_EQ(w.OnBnClickedButton1(), 2);  // still showing
    CDlgCameraProperty* dlg = pages->dialog(0);
    ASSERT_NE(dlg, nullptr);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_FALSE(dlg->isModal());
    ASSERT_GE(dlg->sliders().size(), 1u);
    EXPECT_EQ(dlg->emptyNote(), nullptr);
    // Brightness all the way down.
    QSlider* brightness = nullptr;
    for (QSlider* s : dlg->sliders())
        if (s->objectName().contains(QStringLiteral("bright"), Qt::CaseInsensitive))
            brightness = s;
    ASSERT_NE(brightness, nullptr);
    brightness->setValue(brightness->minimum());
    ASSERT_TRUE(tickUntil(w, [&] { return w.motion().frame()[0] < 60; }))
        << "the picture darkens at once";

    // A source without channels says so.
    EXPECT_EQ(plain.OnBnClickedButton1(), 0);
    ASSERT_NE(pages->dialog(1), nullptr);
    ASSERT_NE(pages->dialog(1)->emptyNote(), nullptr);
    EXPECT_EQ(pages->dialog(1)->emptyNote()->text(), CDlgCameraProperty::noChannelsText());

    // Closed: it may be opened again.
    dlg->close();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(pages->dialog(0), nullptr);
    EXPECT_EQ(w.OnBnClickedButton1(), 0);
    // A camera that is not open has none.
    EXPECT_EQ(pages->EWC_PropertyPage(5, nullptr), 1);
}

// Closes the gate of the first `closed` pipelines the layer starts: a
// camera that sends nothing to its first attempts.
CaptureOptions gatedStart(std::atomic<int>& pipelines, int closed) {
    CaptureOptions o;
    o.firstFrameTimeoutMs = 300;
    o.reconnectIntervalMs = 300;
    o.onPipeline = [&pipelines, closed](int, _GstElement* p) {
        if (++pipelines > closed)
            return;
        if (GstElement* gate = gst_bin_get_by_name(GST_BIN(p), "gate")) {
            g_object_set(gate, "drop", TRUE, nullptr);
            gst_object_unref(gate);
        }
    };
    return o;
}

TEST_F(CameraWindow, CameraThatDoesNotStartIsReportedLostOnceAndItsComingToo) {
    // The first attempt and the first retry get no frame; the next does.
    std::atomic<int> pipelines{0};
    CCameraDlg& w =
        open("videotestsrc is-live=true ! valve name=gate", 0, gatedStart(pipelines, 2), false);
    EXPECT_EQ(w.openResult(), 0);
    ASSERT_TRUE(tickUntil(w, [&] { return w.motion().streamLost(); }));
    EXPECT_TRUE(w.windowTitle().endsWith(QStringLiteral(" 再接続中...")));
    // The failed retry is no second loss.
    ASSERT_TRUE(tickUntil(w, [&] { return !w.motion().streamLost(); }));
    EXPECT_GE(pipelines.load(), 3);
    detection(w);
    const auto lines = host.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("[2]>>>カメラ映像途絶<<< Camera#0 (videotestsrc ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("[2]<<<カメラ映像復帰>>> Camera#0 (videotestsrc ", 0), 0u) << lines[1];
    ASSERT_EQ(host.mails().size(), 2u);
    EXPECT_EQ(host.mails()[0].title, "カメラ映像途絶");
    EXPECT_FALSE(w.windowTitle().endsWith(QStringLiteral(" 再接続中...")));
}

TEST_F(CameraWindow, StartingCameraIsNeitherLostNorRunningAndHoldsNothing) {
    // No frame ever, and a first-frame bound of an hour: a window that
    // waited for it at its opening, its format change or its closing
    // would not come back.
    CaptureOptions silent;
    silent.firstFrameTimeoutMs = 3600 * 1000;
    CCameraDlg& w = open("videotestsrc is-live=true ! valve drop=true", 0, silent, false);
    EXPECT_EQ(w.openResult(), 0);
    for (int i = 0; i < 4; ++i)
        detection(w);
    EXPECT_EQ(layer->ewc_GetStatus(0).state, StreamState::Starting);
    EXPECT_FALSE(w.motion().streamLost());
    EXPECT_TRUE(host.lines().empty());
    EXPECT_FALSE(w.windowTitle().endsWith(QStringLiteral(" 再接続中...")));
    // Black frames are not measured: the ring waits for the camera's own.
    EXPECT_EQ(w.motion().m_ringFilled, 0);
    EXPECT_EQ(w.motion().m_ringIndex, 0);

    const int other = indexOf(w, {320, 240});
    ASSERT_GE(other, 0);
    w.OnCbnSelchangeCombo1(other);
    EXPECT_EQ(w.openResult(), 0);
    EXPECT_EQ(layer->EWC_GetBufferSize(0), 320 * 240 * 4);
    EXPECT_EQ(layer->ewc_GetStatus(0).state, StreamState::Starting);

    windows.clear();
    EXPECT_EQ(layer->ewc_GetStatus(0).state, StreamState::Closed);
    EXPECT_EQ(layer->ewc_used[0], 0);
    EXPECT_TRUE(host.lines().empty());
}

TEST_F(CameraWindow, LostCameraReopenedAtAnotherFormatIsNotLostTwice) {
    // Never any frame: lost at the first attempt, and again after the
    // reopen, which is still the same loss.
    std::atomic<int> pipelines{0};
    CCameraDlg& w = open("videotestsrc is-live=true ! valve name=gate", 0,
                         gatedStart(pipelines, 1 << 30), false);
    ASSERT_TRUE(tickUntil(w, [&] { return w.motion().streamLost(); }));
    const int other = indexOf(w, {320, 240});
    ASSERT_GE(other, 0);
    w.OnCbnSelchangeCombo1(other);
    ASSERT_TRUE(tickUntil(w, [&] { return layer->ewc_GetStatus(0).losses == 1; }));
    detection(w);
    EXPECT_TRUE(w.motion().streamLost());
    EXPECT_EQ(host.lines().size(), 1u);
    EXPECT_EQ(host.mails().size(), 1u);
}

TEST_F(CameraWindow, StreamThatStopsIsReportedShownAndItsReturnToo) {
    CaptureOptions fast;
    fast.stallTimeoutMs = 600;
    fast.reconnectIntervalMs = 600;
    // Sixty frames, then the stream ends; each reopening delivers sixty more.
    CCameraDlg& w = open("videotestsrc is-live=true num-buffers=60", 0, fast);
    ASSERT_EQ(w.openResult(), 0);
    ASSERT_TRUE(tickUntil(
        w, [&] { return w.motion().streamLost(); }, 30s));
    EXPECT_TRUE(w.windowTitle().endsWith(QStringLiteral(" 再接続中...")));
    ASSERT_TRUE(tickUntil(
        w, [&] { return !w.motion().streamLost(); }, 30s));
    const auto lines = host.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("[2]>>>カメラ映像途絶<<< Camera#0 (", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("[2]<<<カメラ映像復帰>>> Camera#0 (", 0), 0u) << lines[1];
    const auto mails = host.mails();
    ASSERT_GE(mails.size(), 2u);
    EXPECT_EQ(mails[0].kind, ALERT_KANRI);
    EXPECT_EQ(mails[0].title, "カメラ映像途絶");
    EXPECT_EQ(mails[1].title, "カメラ映像復帰");
}

}  // namespace
}  // namespace orvana::camera

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
