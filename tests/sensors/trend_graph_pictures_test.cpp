// Pictures for a person: the three sensor windows with a day of generated
// data, written as PNG files into the build folder so someone can look at
// them. Runs on a real X server (Xvfb) when one is given, else offscreen;
// the output names the platform and the files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <cmath>
#include <cstdio>
#include <string>

#include "sensors/ui/sensor_dlg.h"
#include "tests/sensors/sensor_test_host.h"

#ifndef ORVANA_PICTURE_DIR
#define ORVANA_PICTURE_DIR "."
#endif

namespace orvana::sensors {
namespace {

using testing::SensorTestHost;

// Tuesday 2026-05-05 18:00 JST.
constexpr TimeT kNow = 1'777'971'600;
constexpr int kDay = 1440;

// A reproducible pseudo-random number in [0, 1).
double noise(int i, unsigned salt) {
    const unsigned h = (static_cast<unsigned>(i) + salt * 7919u) * 2654435761u;
    return ((h >> 8) % 10000) / 10000.0;
}

// The local time of day of a record `age` minutes old, in hours.
double hourOf(int age) {
    const LocalTime t = toLocal(kNow - TimeT{age} * 60);
    return t.hour + t.minute / 60.0;
}

std::string save(QWidget& w, const char* name) {
    const std::string path = std::string(ORVANA_PICTURE_DIR) + "/" + name;
    const QImage img = w.grab().toImage();
    EXPECT_TRUE(img.save(QString::fromStdString(path), "PNG")) << path;
    std::printf("picture: %s (%dx%d)\n", path.c_str(), img.width(), img.height());
    return path;
}

class Pictures : public ::testing::Test {
  protected:
    void SetUp() override {
        std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));
        QDir().mkpath(ORVANA_PICTURE_DIR);
    }
    SensorTestHost host{kNow};
};

TEST_F(Pictures, TheThreeWindowsWithADayOfData) {
    // Temperature: cool nights, warm afternoons, humidity the other way;
    // the high-temperature alarm on at 28 degrees.
    auto tm = std::make_unique<TemperatureMonitor>(host, nullptr, 0);
    tm->LoadSettings();
    CTemperatureDlg temp(host, std::move(tm));
    TemperatureMonitor& t = temp.temperature();
    t.PeriodL = 0;  // 1 day
    t.bTempWarnHi = 1;
    t.TempWarnHi = 28;
    for (int a = kDay; a >= 0; --a) {
        const double day = std::sin((hourOf(a) - 9) / 24 * 2 * M_PI);
        t.series().AddKeyedRecord(kNow - 30 - TimeT{a} * 60, 22 + 4 * day + noise(a, 1) * 0.3,
                                  55 - 12 * day + noise(a, 2) * 2);
    }

    // Radiation: background counts around 25 CPM.
    auto gm = std::make_unique<GeigerMonitor>(host, nullptr, 0);
    gm->LoadSettings();
    CGeigerDlg geiger(host, std::move(gm));
    GeigerMonitor& g = geiger.geiger();
    g.PeriodL = 0;
    for (int a = kDay; a >= 0; --a)
        g.series().AddRecord(kNow - TimeT{a} * 60, std::round(18 + 14 * noise(a, 3)));

    // Power: a base load, a morning and an evening peak, short kettle
    // spikes; the high-power alarm on at 2 kW.
    auto om = std::make_unique<OwlMonitor>(host, nullptr);
    om->LoadSettings();
    COwlDlg owl(host, std::move(om));
    OwlMonitor& o = owl.owl();
    o.PeriodL = 0;
    o.WarnHiEnable = 1;
    o.WarnHiTh = 2.0;
    for (int a = kDay; a >= 0; --a) {
        const double h = hourOf(a);
        double kw = 0.25 + 0.1 * noise(a, 4);
        kw += 0.9 * std::exp(-std::pow((h - 7.5) / 1.0, 2));
        kw += 1.3 * std::exp(-std::pow((h - 19.5) / 1.5, 2));
        if (noise(a, 5) > 0.985)
            kw += 1.2;  // the kettle
        o.series().AddRecord(kNow - TimeT{a} * 60, kw);
    }

    int n = 0;
    for (CSensorDlg* w : {static_cast<CSensorDlg*>(&temp), static_cast<CSensorDlg*>(&geiger),
                          static_cast<CSensorDlg*>(&owl)}) {
        w->resize(720, 420);
        w->show();
        w->layoutControls(w->width(), w->height());
        ++n;
    }
    QApplication::processEvents();
    EXPECT_EQ(n, 3);
    save(temp, "sensor-temperature.png");
    save(geiger, "sensor-radiation.png");
    save(owl, "sensor-power.png");
}

}  // namespace
}  // namespace orvana::sensors

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    // Local time of the pictures: Japan, where the program is used.
    qputenv("TZ", "Asia/Tokyo");
    tzset();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
