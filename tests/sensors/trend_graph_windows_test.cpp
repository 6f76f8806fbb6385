// The three sensor windows with their graphs and "設定..." buttons: the
// dialog is filled from the monitor, its values come back on OK only, the
// graphs follow, and the power window measures at once after OK.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>

#include "sensors/ui/sensor_dlg.h"
#include "sensors/ui/trend_graph_binding.h"
#include "tests/sensors/sensor_test_host.h"

namespace orvana::sensors {
namespace {

using testing::SensorTestHost;

constexpr TimeT kStart = 1'800'000'000;

template <class W>
QLineEdit* edit(W& d, int id) {
    auto* e = d.template findChild<QLineEdit*>(QStringLiteral("edit%1").arg(id));
    EXPECT_NE(e, nullptr) << id;
    return e;
}
template <class W>
QCheckBox* check(W& d, int id) {
    auto* c = d.template findChild<QCheckBox*>(QStringLiteral("check%1").arg(id));
    EXPECT_NE(c, nullptr) << id;
    return c;
}
template <class W>
QComboBox* combo(W& d, int id) {
    auto* c = d.template findChild<QComboBox*>(QStringLiteral("combo%1").arg(id));
    EXPECT_NE(c, nullptr) << id;
    return c;
}

QRect clientOf(const QFrame* f) {
    return f->contentsRect().translated(f->pos());
}

QImage shot(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool near(const QImage& img, int x, int y, const QColor& c) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (img.rect().contains(x + dx, y + dy) && QColor(img.pixel(x + dx, y + dy)) == c)
                return true;
    return false;
}

int yAt(double v, double bottom, double top, int H) {
    return static_cast<int>(H - (v - bottom) * H / (top - bottom));
}

// A vendor database that adds one record of 1 kW at the clock's time per
// cycle and counts the cycles.
class CountingDatabase final : public VendorDatabase {
  public:
    explicit CountingDatabase(Clock& clock) : clock_(clock) {}
    bool canOpen() override { return true; }
    OwlCycleResult readCycle(COwlRecordArray& series, TimeT) override {
        ++cycles;
        series.AddRecord(clock_.now(), 1.0);
        OwlCycleResult r;
        r.status = OwlCycleResult::Status::Read;
        r.added = 1;
        return r;
    }
    int cycles = 0;

  private:
    Clock& clock_;
};

class TemperatureWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        auto m = std::make_unique<TemperatureMonitor>(host, nullptr, 0);
        m->LoadSettings();
        dlg = std::make_unique<CTemperatureDlg>(host, std::move(m));
        dlg->resize(640, 400);
        dlg->show();
        TemperatureMonitor& t = dlg->temperature();
        // Manual scales: 0 .. 50 degrees, 0 .. 100 %.
        t.TempAutoYScale = 0;
        t.TempMin = 0;
        t.TempDiv = 10;
        t.HumidAutoYScale = 0;
        for (int a = 120; a >= 0; --a)
            t.series().AddKeyedRecord(kStart - 30 - a * 60, 20, 60);
    }
    SensorTestHost host{kStart};
    std::unique_ptr<CTemperatureDlg> dlg;
};

TEST_F(TemperatureWindow, PaintsBothGraphsAndSetsTheAxisAndSpanLabels) {
    const QImage img = shot(*dlg);
    EXPECT_EQ(dlg->label(IDC_SPAN_SHORT)->text(), "-- 1 [Hour] --");
    EXPECT_EQ(dlg->label(IDC_SPAN_LONG)->text(), "-- 3 [Day] --");
    const char* temps[] = {"0", "10", "20", "30", "40", "50"};
    const char* humids[] = {"0", "20", "40", "60", "80", "100"};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(dlg->label(kRightAxisLabels[k])->text(), temps[k]);
        EXPECT_EQ(dlg->label(kLeftAxisLabels[k])->text(), humids[k]);
    }
    // The curves inside each frame at their values' heights (the long
    // graph's two hours of data lie at its right edge).
    for (const QFrame* f : {dlg->graphShort(), dlg->graphLong()}) {
        const QRect r = clientOf(f);
        const int x = r.right() - 4;
        EXPECT_TRUE(near(img, x, r.y() + yAt(20, 0, 50, r.height()), QColor(255, 0, 0)));
        EXPECT_TRUE(near(img, x, r.y() + yAt(60, 0, 100, r.height()), QColor(0, 0, 255)));
    }
    // The long graph spans 3 days: its left part has no data.
    const QRect l = clientOf(dlg->graphLong());
    EXPECT_FALSE(near(img, l.x() + 10, l.y() + yAt(20, 0, 50, l.height()), QColor(255, 0, 0)));
}

TEST_F(TemperatureWindow, SettingsAreFilledAndCopiedBackOnOkOnly) {
    TemperatureMonitor& t = dlg->temperature();
    t.TempWarnHi = 30;
    t.HumidHist = 7;
    int runs = 0;
    dlg->runDialog = [&](QDialog& d) {
        ++runs;
        auto& s = dynamic_cast<CDlgTempSetting&>(d);
        EXPECT_EQ(s.values(), settingValuesOf(t));
        s.UpdateControls();
        EXPECT_EQ(edit(s, 1010)->text(), "30");
        EXPECT_EQ(edit(s, 1014)->text(), "7");
        // Cancel after changing everything in sight.
        edit(s, 1010)->setText("33");
        check(s, 1023)->click();
        combo(s, 1030)->setCurrentIndex(4);
        s.reject();
        return s.result();
    };
    const TempSettingValues before = settingValuesOf(t);
    dlg->OnBnClickedButton1();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(settingValuesOf(t), before);
    EXPECT_EQ(dlg->settingsApplied(), 0);

    dlg->runDialog = [&](QDialog& d) {
        auto& s = dynamic_cast<CDlgTempSetting&>(d);
        s.UpdateControls();
        edit(s, 1010)->setText("33");
        check(s, 1023)->click();
        combo(s, 1030)->setCurrentIndex(4);  // 24H
        s.OnOK();
        return s.result();
    };
    dlg->OnBnClickedButton1();
    EXPECT_EQ(t.TempWarnHi, 33);
    EXPECT_EQ(t.bTempWarnHi, 1);
    EXPECT_EQ(t.PeriodS, 4);
    EXPECT_EQ(t.HumidHist, 7);
    EXPECT_EQ(dlg->settingsApplied(), 1);
    // The next paint follows: a 24-hour short graph, with the limit line.
    const QImage img = shot(*dlg);
    EXPECT_EQ(dlg->label(IDC_SPAN_SHORT)->text(), "-- 24 [Hour] --");
    const QRect s = clientOf(dlg->graphShort());
    int red = 0;
    const int y = s.y() + yAt(33, 0, 50, s.height());
    for (int x = s.left(); x <= s.right(); ++x)
        red += QColor(img.pixel(x, y)) == QColor(255, 0, 0);
    EXPECT_NEAR(red / double(s.width()), 0.5, 0.1);  // dotted
}

TEST(GeigerWindow, ARefusedDialogChangesNothing) {
    SensorTestHost host(kStart);
    auto m = std::make_unique<GeigerMonitor>(host, nullptr, 0);
    m->LoadSettings();
    CGeigerDlg dlg(host, std::move(m));
    const GeigerSettingValues before = settingValuesOf(dlg.geiger());
    dlg.runDialog = [&](QDialog& d) {
        auto& s = dynamic_cast<CDlgGeigerSetting&>(d);
        s.UpdateControls();
        edit(s, 1013)->setText("0.05");
        s.OnOK();  // refused: the user then cancels
        s.reject();
        return s.result();
    };
    dlg.OnBnClickedButton1();
    EXPECT_EQ(settingValuesOf(dlg.geiger()), before);
    ASSERT_EQ(host.prompt_.messages.size(), 1u);
    EXPECT_EQ(host.prompt_.messages[0], "0.1 から 200 までの数値を入力してください。");

    dlg.runDialog = [&](QDialog& d) {
        auto& s = dynamic_cast<CDlgGeigerSetting&>(d);
        s.UpdateControls();
        combo(s, 1031)->setCurrentIndex(2);
        check(s, 1026)->click();
        s.OnOK();
        return s.result();
    };
    dlg.OnBnClickedButton1();
    EXPECT_EQ(dlg.geiger().MaTypeL1, 2);
    EXPECT_EQ(dlg.geiger().AutoYScale, 0);
    EXPECT_EQ(dlg.geiger().bCpmWarnHi, 100);
    EXPECT_EQ(dlg.settingsApplied(), 1);

    // The graph's labels follow the manual scale 0 .. 200 by 40.
    dlg.resize(560, 320);
    dlg.show();
    shot(dlg);
    EXPECT_EQ(dlg.label(kLeftAxisLabels[5])->text(), "200");
    EXPECT_EQ(dlg.label(kLeftAxisLabels[1])->text(), "40");
}

TEST(OwlWindow, MeasuresAtOnceAfterOkAndDrawsItsAxisTexts) {
    SensorTestHost host(kStart);
    CountingDatabase db(host.clock_);
    auto m = std::make_unique<OwlMonitor>(host, &db);
    m->LoadSettings();
    ASSERT_EQ(m->CheckDevice(), 1);
    COwlDlg dlg(host, std::move(m));
    dlg.resize(640, 400);
    dlg.show();

    dlg.runDialog = [&](QDialog& d) {
        auto& s = dynamic_cast<CDlgOwlSetting&>(d);
        s.UpdateControls();
        combo(s, 1034)->setCurrentIndex(0);
        s.reject();
        return s.result();
    };
    dlg.OnBnClickedButton1();
    EXPECT_EQ(db.cycles, 0);

    dlg.runDialog = [&](QDialog& d) {
        auto& s = dynamic_cast<CDlgOwlSetting&>(d);
        s.UpdateControls();
        combo(s, 1034)->setCurrentIndex(0);  // the title's window: 1 minute
        check(s, 1022)->click();             // manual axis 0 .. 4
        s.OnOK();
        return s.result();
    };
    dlg.OnBnClickedButton1();
    EXPECT_EQ(dlg.owl().WarnMaType, 0);
    EXPECT_EQ(db.cycles, 1);
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("電力監視値： 1.000[kW] (瞬時電力(1分計))"));

    // Axis texts left of the long frame, span texts under both frames.
    const QImage img = shot(dlg);
    const QRect l = clientOf(dlg.graphLong()), s = clientOf(dlg.graphShort());
    auto dark = [&](const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += qGray(img.pixel(x, y)) < 100;
        return n;
    };
    const int cb = dlg.notifyBox()->height();
    for (double v : {0.0, 1.0, 2.0, 3.0, 4.0}) {
        const int y = l.y() + yAt(v, 0, 4, l.height()) + cb / 4;
        EXPECT_GT(dark(QRect(0, y - 14, l.x() - 4, 14)), 5) << v;
    }
    EXPECT_EQ(dark(QRect(l.x() - 4, l.y() - 10, 3, l.height())), 0);
    EXPECT_GT(dark(QRect(l.x(), l.bottom() + 3, l.width(), 16)), 20);
    EXPECT_GT(dark(QRect(s.x(), s.bottom() + 3, s.width(), 16)), 20);
}

}  // namespace
}  // namespace orvana::sensors
