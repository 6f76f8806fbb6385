// The three sensor windows on the offscreen platform, over the stand-in
// device libraries, a vendor database file and a virtual clock: the layout
// table, the minimum size, the placement rule, the check box bound to the
// monitor, the title, the timers, the picture for mails and the saving at
// closing.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <filesystem>

#include "core/snapshot_name.h"
#include "sensors/ui/sensor_dlg.h"
#include "tests/sensors/sensor_test_host.h"
#include "tests/sensors/standin_devices.h"
#include "tests/sensors/test_dirs.h"

namespace orvana::sensors {
namespace {

using testing::SensorTestHost;
using testing::StandinDevices;

QRect rectOf(const ControlRect& r) {
    return QRect(r.x, r.y, r.w, r.h);
}

QRect workArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

class SensorWindows : public ::testing::Test {
  protected:
    SensorWindows() : tz_("Asia/Tokyo"), host_(fromLocal(2026, 5, 3, 12, 0, 5)) {
        host_.store_.writeString("Setting", "DATA_DIR", data_.path());
        devices_.meter("meter0", 24.5, 55.0);
        devices_.counter("counter0", 1000);
        sqlite3* db = nullptr;
        sqlite3_open((data_.file("be.db")).c_str(), &db);
        sqlite3_exec(db,
                     "CREATE TABLE energy_history (y, mo, d, h, mi, u, e);"
                     "INSERT INTO energy_history VALUES (2026, 5, 3, 12, 0, 0, 20);",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        vendor_ = makeSqliteVendorDatabase(data_.file("be.db"));
    }

    std::unique_ptr<CTemperatureDlg> temperature() {
        auto w = std::make_unique<CTemperatureDlg>(
            host_, std::make_unique<TemperatureMonitor>(host_, loader_.get(), 0));
        w->OnInitDialog();
        return w;
    }
    std::unique_ptr<CGeigerDlg> geiger() {
        auto w = std::make_unique<CGeigerDlg>(
            host_, std::make_unique<GeigerMonitor>(host_, loader_.get(), 0));
        w->OnInitDialog();
        return w;
    }
    std::unique_ptr<COwlDlg> owl() {
        auto m = std::make_unique<OwlMonitor>(host_, vendor_.get());
        EXPECT_EQ(m->CheckDevice(), 1);
        auto w = std::make_unique<COwlDlg>(host_, std::move(m));
        w->OnInitDialog();
        return w;
    }

    // Every control of the layout table sits where the table puts it.
    void expectLayout(CSensorDlg& w, SensorLayoutKind kind, int cx, int cy) {
        w.show();
        w.resize(cx, cy);
        QApplication::processEvents();
        ASSERT_EQ(w.size(), QSize(cx, cy));
        for (const ControlRect& r : SensorLayout(kind, cx, cy)) {
            QWidget* c = nullptr;
            if (r.id == IDC_NOTIFY)
                c = w.notifyBox();
            else if (r.id == IDC_SETTINGS)
                c = w.settingsButton();
            else if (r.id == IDC_GRAPH_LONG)
                c = w.graphLong();
            else if (r.id == IDC_GRAPH_SHORT)
                c = w.graphShort();
            else
                c = w.label(r.id);
            ASSERT_NE(c, nullptr) << r.id;
            EXPECT_EQ(c->geometry(), rectOf(r)) << r.id;
        }
    }

    orvana::testing::ScopedTz tz_;
    orvana::testing::TempDir data_;
    StandinDevices devices_;
    std::unique_ptr<DeviceLibraryLoader> loader_ = StandinDevices::loader();
    SensorTestHost host_;
    std::unique_ptr<VendorDatabase> vendor_;
};

TEST(SensorLayoutTable, TemperatureRadiationAndPowerRectangles) {
    // cx 600, cy 400: t = 176, g = 252 (temperature), 270 (radiation),
    // 268 (power).
    auto find = [](const std::vector<ControlRect>& v, int id) {
        for (const ControlRect& r : v)
            if (r.id == id)
                return rectOf(r);
        return QRect();
    };
    const auto t = SensorLayout(SensorLayoutKind::Temperature, 600, 400);
    EXPECT_EQ(find(t, IDC_NOTIFY), QRect(12, 12, 352, 28));
    EXPECT_EQ(find(t, IDC_SETTINGS), QRect(412, 12, 176, 28));
    EXPECT_EQ(find(t, IDC_GRAPH_LONG), QRect(48, 52, 252, 328));
    EXPECT_EQ(find(t, IDC_GRAPH_SHORT), QRect(300, 52, 252, 328));
    EXPECT_EQ(find(t, IDC_SPAN_LONG), QRect(48, 380, 252, 20));
    EXPECT_EQ(find(t, IDC_SPAN_SHORT), QRect(300, 380, 252, 20));
    EXPECT_EQ(find(t, 1061), QRect(6, 46, 36, 20));        // top value
    EXPECT_EQ(find(t, 1060), QRect(6, 46 + 65, 36, 20));   // 328 / 5 = 65.6
    EXPECT_EQ(find(t, 1048), QRect(6, 46 + 262, 36, 20));  // 4 * 328 / 5 = 262.4
    EXPECT_EQ(find(t, 1047), QRect(6, 46 + 328, 36, 20));  // bottom value
    EXPECT_EQ(find(t, IDC_UNIT_LEFT), QRect(6, 46 + 164, 36, 20));
    EXPECT_EQ(find(t, 1057), QRect(558, 46, 36, 20));
    EXPECT_EQ(find(t, 1049), QRect(558, 374, 36, 20));
    EXPECT_EQ(find(t, IDC_UNIT_RIGHT), QRect(558, 210, 36, 20));

    const auto g = SensorLayout(SensorLayoutKind::Geiger, 600, 400);
    EXPECT_EQ(find(g, IDC_GRAPH_LONG), QRect(48, 52, 270, 328));
    EXPECT_EQ(find(g, IDC_GRAPH_SHORT), QRect(318, 52, 270, 328));
    EXPECT_EQ(find(g, IDC_SPAN_SHORT), QRect(318, 380, 270, 20));
    EXPECT_EQ(find(g, 1061), QRect(6, 46, 36, 20));
    EXPECT_TRUE(find(g, 1057).isNull());  // no right-hand labels

    const auto o = SensorLayout(SensorLayoutKind::Owl, 600, 400);
    EXPECT_EQ(find(o, IDC_GRAPH_LONG), QRect(52, 52, 268, 318));
    EXPECT_EQ(find(o, IDC_GRAPH_SHORT), QRect(320, 52, 268, 318));
    EXPECT_EQ(o.size(), 4u);  // its axis texts are drawn, not controls
}

TEST_F(SensorWindows, EachWindowLaysOutItsControlsByTheTableAndKeepsItsMinimumSize) {
    auto t = temperature();
    EXPECT_EQ(t->windowTitle(), "温度：24.50[度] 湿度：55.00[%RH]");
    EXPECT_EQ(t->label(IDC_UNIT_LEFT)->text(), "湿度");
    EXPECT_EQ(t->label(IDC_UNIT_RIGHT)->text(), "温度");
    expectLayout(*t, SensorLayoutKind::Temperature, 640, 420);
    expectLayout(*t, SensorLayoutKind::Temperature, 321, 241);
    t->resize(100, 80);
    QApplication::processEvents();
    EXPECT_GE(t->width(), 320);
    EXPECT_GE(t->height(), 240);
    EXPECT_EQ(t->minimumSize(), QSize(320, 240));

    auto g = geiger();
    EXPECT_EQ(g->windowTitle(), "放射線数：1000 (   0.00[CPM]:1時間平均)");
    EXPECT_EQ(g->label(IDC_UNIT_LEFT)->text(), "CPM");
    EXPECT_EQ(g->label(IDC_UNIT_RIGHT), nullptr);
    expectLayout(*g, SensorLayoutKind::Geiger, 700, 500);

    auto o = owl();
    EXPECT_EQ(o->windowTitle(), "電力監視値： 1.200[kW] (15分間電力)");
    EXPECT_EQ(o->label(IDC_SPAN_LONG), nullptr);
    expectLayout(*o, SensorLayoutKind::Owl, 500, 300);
    EXPECT_EQ(o->minimumSize(), QSize(320, 240));
}

TEST_F(SensorWindows, WithoutAStoredPlaceTheWindowOpensAtTheTopRightOfTheWorkArea) {
    auto t = temperature();
    const QRect work = workArea();
    EXPECT_EQ(t->pos(), QPoint(work.x() + work.width() - t->width() - 10, 10));

    // A stored rectangle on the screen is used; one off every screen is not.
    host_.store_.writeInt("Geiger", "left", work.x() + 20);
    host_.store_.writeInt("Geiger", "top", work.y() + 30);
    host_.store_.writeInt("Geiger", "right", work.x() + 420);
    host_.store_.writeInt("Geiger", "bottom", work.y() + 330);
    auto g = geiger();
    EXPECT_EQ(g->geometry(), QRect(work.x() + 20, work.y() + 30, 400, 300));
    host_.store_.writeInt("Owl", "left", -5000);
    host_.store_.writeInt("Owl", "top", 10);
    host_.store_.writeInt("Owl", "right", -4000);
    host_.store_.writeInt("Owl", "bottom", 300);
    auto o = owl();
    EXPECT_EQ(o->pos(), QPoint(work.x() + work.width() - o->width() - 10, 10));
}

TEST_F(SensorWindows, TheBoxDrivesTheAlarmsAndTheTimersRunOnTheClock) {
    host_.store_.writeInt("Temperature", "mNotify", 1);
    host_.store_.writeInt("Temperature", "bTempWarnHi", 1);
    auto t = temperature();
    EXPECT_TRUE(t->notifyBox()->isChecked());

    devices_.meter("meter0", 36.0, 55.0);
    host_.clock_.advanceSeconds(10);
    t->OnTimer();
    EXPECT_EQ(t->windowTitle(), "温度：36.00[度] 湿度：55.00[%RH]");
    ASSERT_EQ(host_.takeMails().size(), 1u);

    // The box is read at the next tick: cleared, the recovery is not sent.
    t->notifyBox()->setChecked(false);
    devices_.meter("meter0", 20.0, 55.0);
    host_.clock_.advanceSeconds(10);
    t->OnTimer();
    EXPECT_TRUE(host_.takeMails().empty());
    EXPECT_EQ(t->temperature().mNotify, 0);

    // A tick before the timer is due does nothing.
    host_.clock_.advanceSeconds(5);
    const std::string title = t->temperature().title();
    devices_.meter("meter0", 21.0, 55.0);
    t->OnTimer();
    EXPECT_EQ(t->temperature().title(), title);

    // The five-minute timer writes the section with the window's place and
    // the data file.
    EXPECT_FALSE(host_.store_.mem.contains("Temperature", "TempWarnHi"));
    for (int i = 0; i < 30; ++i) {
        host_.clock_.advanceSeconds(10);
        t->OnTimer();
    }
    EXPECT_EQ(host_.store_.mem.getString("Temperature", "TempWarnHi", ""), "35");
    EXPECT_EQ(host_.store_.mem.getInt("Temperature", "mNotify", -1), 0);
    EXPECT_EQ(host_.store_.mem.getInt("Temperature", "left", 0), t->pos().x());
    EXPECT_TRUE(std::filesystem::exists(data_.file("TemperatureData.csv")));
}

TEST_F(SensorWindows, AFailedFirstReadingKeepsTheCaption) {
    devices_.failing("meter0");
    auto t = temperature();
    EXPECT_EQ(t->windowTitle(), "温度・湿度モニタ");
    std::filesystem::remove(data_.file("be.db"));
    auto m = std::make_unique<OwlMonitor>(host_, vendor_.get());
    m->bDB = true;  // it was there when probed
    COwlDlg o(host_, std::move(m));
    o.OnInitDialog();
    EXPECT_EQ(o.windowTitle(), "OWL電力モニタ");
}

TEST_F(SensorWindows, ThePictureForMailsIsAJpegNamedByTimeAndKind) {
    auto t = temperature();
    auto g = geiger();
    auto o = owl();
    const TimeT now = host_.clock_.now();
    const std::string pt = t->SaveClientBitmap();
    EXPECT_EQ(pt, snapshotFileName(data_.path(), now, "#temp.jpg"));
    EXPECT_NE(pt.find("2026年05月03日12時00分05秒#temp.jpg"), std::string::npos);
    EXPECT_EQ(g->SaveClientBitmap(), snapshotFileName(data_.path(), now, "#geiger.jpg"));
    EXPECT_EQ(o->SaveClientBitmap(), snapshotFileName(data_.path(), now, "#Power.jpg"));
    QImage img(QString::fromStdString(pt), "JPG");
    EXPECT_EQ(img.size(), t->size());
    EXPECT_TRUE(t->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(SensorWindows, ClosingStopsTheTimersAndSavesTheSectionAndTheDataFile) {
    auto g = geiger();
    g->notifyBox()->setChecked(true);
    g->geiger().CpmWarnHi = 150.0;
    const Placement before = LoadPlacement(host_.store_, "Geiger");
    EXPECT_EQ(before.left, -10000);
    const QPoint pos = g->pos();
    g.reset();
    EXPECT_EQ(host_.store_.mem.getInt("Geiger", "mNotify", -1), 1);
    EXPECT_EQ(host_.store_.mem.getString("Geiger", "CpmWarnHi", ""), "150");
    EXPECT_EQ(host_.store_.mem.getInt("Geiger", "left", 0), pos.x());
    EXPECT_TRUE(std::filesystem::exists(data_.file("GeigerData.csv")));

    // A window that was never initialised (a probe) writes nothing.
    const auto writes = host_.store_.written.size();
    { CTemperatureDlg probe(host_, std::make_unique<TemperatureMonitor>(host_, loader_.get(), 0)); }
    EXPECT_EQ(host_.store_.written.size(), writes);
}

}  // namespace
}  // namespace orvana::sensors
