// The three sensor settings dialogs: their controls and lists, the
// field-enabling step, the range checks and the OK checks in their order,
// and cancel leaving the values alone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <charconv>
#include <cmath>
#include <functional>
#include <memory>

#include "sensors/geiger_monitor.h"
#include "sensors/temperature_monitor.h"
#include "sensors/ui/dlg_geiger_setting.h"
#include "sensors/ui/dlg_owl_setting.h"
#include "sensors/ui/dlg_temp_setting.h"
#include "tests/sensors/sensor_test_host.h"
#include "tests/support/recording_prompt.h"

namespace orvana::sensors {
namespace {

using orvana::testing::RecordingPrompt;

QLineEdit* edit(QDialog& d, int id) {
    auto* e = d.findChild<QLineEdit*>(QStringLiteral("edit%1").arg(id));
    EXPECT_NE(e, nullptr) << id;
    return e;
}
QCheckBox* check(QDialog& d, int id) {
    auto* c = d.findChild<QCheckBox*>(QStringLiteral("check%1").arg(id));
    EXPECT_NE(c, nullptr) << id;
    return c;
}
QComboBox* combo(QDialog& d, int id) {
    auto* c = d.findChild<QComboBox*>(QStringLiteral("combo%1").arg(id));
    EXPECT_NE(c, nullptr) << id;
    return c;
}
QStringList items(QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}
// Every text of the dialog's labels, check boxes and group titles.
QStringList texts(QDialog& d) {
    QStringList out;
    for (auto* g : d.findChildren<QGroupBox*>())
        out << g->title();
    for (auto* l : d.findChildren<QLabel*>())
        out << l->text();
    for (auto* c : d.findChildren<QCheckBox*>())
        out << c->text();
    return out;
}

// Runs OK; true when the dialog accepted.
template <class Dlg>
bool ok(Dlg& dlg) {
    dlg.setResult(0);
    dlg.OnOK();
    return dlg.result() == QDialog::Accepted;
}

const QStringList kLongSpans = {"1日", "2日", "3日", "7日", "14日", "30日"};
const QStringList kShortSpans = {"1H", "3H", "6H", "12H", "24H"};

// ---- temperature/humidity ----

class TempDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        dlg.TempWarnLo = 10;
        dlg.TempWarnHi = 30;
        dlg.PeriodL = 3;
        dlg.PeriodS = 4;
        dlg.show();
        before = dlg.values();
    }
    RecordingPrompt prompt;
    CDlgTempSetting dlg{prompt};
    TempSettingValues before;
};

TEST_F(TempDialog, ShowsEveryControlFilledFromTheMembers) {
    EXPECT_EQ(dlg.windowTitle(), "温度・湿度モニタ設定");
    EXPECT_EQ(edit(dlg, 1005)->text(), "-10");
    EXPECT_EQ(edit(dlg, 1006)->text(), "10");
    EXPECT_EQ(edit(dlg, 1009)->text(), "10");
    EXPECT_EQ(edit(dlg, 1010)->text(), "30");
    EXPECT_EQ(edit(dlg, 1013)->text(), "1");
    EXPECT_EQ(edit(dlg, 1007)->text(), "0");
    EXPECT_EQ(edit(dlg, 1008)->text(), "20");
    EXPECT_EQ(edit(dlg, 1011)->text(), "20");
    EXPECT_EQ(edit(dlg, 1012)->text(), "80");
    EXPECT_EQ(edit(dlg, 1014)->text(), "5");
    EXPECT_TRUE(check(dlg, 1026)->isChecked());
    EXPECT_TRUE(check(dlg, 1027)->isChecked());
    for (int id : {1022, 1023, 1024, 1025})
        EXPECT_FALSE(check(dlg, id)->isChecked()) << id;
    EXPECT_EQ(items(combo(dlg, 1021)), kLongSpans);
    EXPECT_EQ(items(combo(dlg, 1030)), kShortSpans);
    EXPECT_EQ(combo(dlg, 1021)->currentText(), "7日");
    EXPECT_EQ(combo(dlg, 1030)->currentText(), "24H");
    const QStringList t = texts(dlg);
    for (const char* s :
         {"度から", "度/DIV", "%から", "%/DIV", "長期間グラフ：左", "短期間グラフ：右"})
        EXPECT_EQ(t.count(QString::fromUtf8(s)), 1) << s;
    EXPECT_EQ(t.count("自動"), 2);
    EXPECT_EQ(t.count("警告上限："), 2);
    EXPECT_EQ(t.count("警告下限："), 2);
    EXPECT_EQ(t.count("ヒステリシス："), 2);
    EXPECT_EQ(t.count("時間幅："), 2);
    EXPECT_EQ(check(dlg, 1023)->text(), "警告上限：");
    EXPECT_EQ(check(dlg, 1022)->text(), "警告下限：");

    // Unchanged, OK gives back what came in.
    EXPECT_TRUE(ok(dlg));
    EXPECT_EQ(dlg.values(), before);
}

TEST_F(TempDialog, ChecksEnableTheirFieldsAndAutoGreysTheScaleAtOnce) {
    // Alarms off, automatic scales: only nothing of the alarms and scales.
    for (int id : {1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014})
        EXPECT_FALSE(edit(dlg, id)->isEnabled()) << id;

    check(dlg, 1023)->click();  // high temperature on
    EXPECT_TRUE(edit(dlg, 1010)->isEnabled());
    EXPECT_FALSE(edit(dlg, 1009)->isEnabled());
    EXPECT_TRUE(edit(dlg, 1013)->isEnabled());
    EXPECT_FALSE(edit(dlg, 1014)->isEnabled());
    check(dlg, 1023)->click();
    check(dlg, 1022)->click();  // low temperature alone also enables the hysteresis
    EXPECT_TRUE(edit(dlg, 1009)->isEnabled());
    EXPECT_TRUE(edit(dlg, 1013)->isEnabled());
    check(dlg, 1024)->click();  // low humidity
    EXPECT_TRUE(edit(dlg, 1011)->isEnabled());
    EXPECT_FALSE(edit(dlg, 1012)->isEnabled());
    EXPECT_TRUE(edit(dlg, 1014)->isEnabled());

    check(dlg, 1026)->click();  // temperature scale manual
    EXPECT_TRUE(edit(dlg, 1005)->isEnabled());
    EXPECT_TRUE(edit(dlg, 1006)->isEnabled());
    EXPECT_FALSE(edit(dlg, 1007)->isEnabled());
    edit(dlg, 1005)->setText("5");
    edit(dlg, 1006)->setText("2.5");
    // Back to automatic: both grey at once, the typed values stay and are saved.
    check(dlg, 1026)->click();
    EXPECT_FALSE(edit(dlg, 1005)->isEnabled());
    EXPECT_FALSE(edit(dlg, 1006)->isEnabled());
    EXPECT_EQ(edit(dlg, 1005)->text(), "5");
    EXPECT_EQ(edit(dlg, 1006)->text(), "2.5");
    EXPECT_TRUE(ok(dlg));
    EXPECT_EQ(dlg.TempAutoYScale, 1);
    EXPECT_EQ(dlg.TempMin, 5);
    EXPECT_EQ(dlg.TempDiv, 2.5);
    EXPECT_EQ(dlg.bTempWarnLo, 1);
    EXPECT_EQ(dlg.bTempWarnHi, 0);
    EXPECT_EQ(dlg.bHumidWarnLo, 1);
    check(dlg, 1027)->click();
    EXPECT_TRUE(edit(dlg, 1007)->isEnabled());
    EXPECT_TRUE(edit(dlg, 1008)->isEnabled());
}

TEST_F(TempDialog, RangesAreCheckedFieldByFieldWithTheFocusOnTheField) {
    edit(dlg, 1013)->setText("0.05");  // hysteresis below 0.1
    EXPECT_FALSE(ok(dlg));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "0.1 から 100 までの数値を入力してください。");
    EXPECT_EQ(dlg.focusWidget(), edit(dlg, 1013));
    EXPECT_EQ(dlg.values(), before);  // nothing taken

    // The first bad field in the dialog's order is the one reported.
    edit(dlg, 1005)->setText("-274");
    EXPECT_FALSE(ok(dlg));
    EXPECT_EQ(prompt.messages.back(), "-273 から 1000 までの数値を入力してください。");
    EXPECT_EQ(dlg.focusWidget(), edit(dlg, 1005));
    edit(dlg, 1005)->setText("abc");
    EXPECT_FALSE(ok(dlg));
    EXPECT_EQ(prompt.messages.back(), "数値を入力してください。");
    edit(dlg, 1005)->setText("");
    EXPECT_FALSE(ok(dlg));
    EXPECT_EQ(prompt.messages.back(), "数値を入力してください。");
    edit(dlg, 1005)->setText("-273");
    edit(dlg, 1013)->setText("0.1");
    edit(dlg, 1008)->setText("0.009");
    EXPECT_FALSE(ok(dlg));
    EXPECT_EQ(prompt.messages.back(), "0.01 から 100 までの数値を入力してください。");
    edit(dlg, 1008)->setText(" 0.01 ");
    edit(dlg, 1012)->setText("100.5");
    EXPECT_FALSE(ok(dlg));
    EXPECT_EQ(prompt.messages.back(), "0 から 100 までの数値を入力してください。");
    EXPECT_EQ(dlg.focusWidget(), edit(dlg, 1012));
    edit(dlg, 1012)->setText("100");
    edit(dlg, 1010)->setText("200.01");
    EXPECT_FALSE(ok(dlg));
    EXPECT_EQ(prompt.messages.back(), "-273 から 200 までの数値を入力してください。");
    edit(dlg, 1010)->setText("200");
    const std::size_t shown = prompt.messages.size();
    EXPECT_TRUE(ok(dlg));
    EXPECT_EQ(prompt.messages.size(), shown);
    EXPECT_EQ(dlg.TempMin, -273);
    EXPECT_EQ(dlg.HumidDiv, 0.01);
    EXPECT_EQ(dlg.TempWarnHi, 200);
}

TEST_F(TempDialog, CrossedLimitsAreRefusedOnlyWithBothAlarmsOn) {
    edit(dlg, 1009)->setText("30");
    edit(dlg, 1010)->setText("30");
    check(dlg, 1023)->click();
    EXPECT_TRUE(ok(dlg));  // one alarm: any pair
    check(dlg, 1022)->click();
    EXPECT_FALSE(ok(dlg));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0], "温度上限・下限値の設定が不正です");

    // Humidity crossed too: the temperature message comes first.
    edit(dlg, 1011)->setText("70");
    edit(dlg, 1012)->setText("60");
    check(dlg, 1024)->click();
    check(dlg, 1025)->click();
    EXPECT_FALSE(ok(dlg));
    EXPECT_EQ(prompt.messages.back(), "温度上限・下限値の設定が不正です");
    edit(dlg, 1009)->setText("29.9");
    EXPECT_FALSE(ok(dlg));
    EXPECT_EQ(prompt.messages.back(), "湿度上限・下限値の設定が不正です");
    edit(dlg, 1011)->setText("59.9");
    EXPECT_TRUE(ok(dlg));
    EXPECT_EQ(dlg.TempWarnLo, 29.9);
    EXPECT_EQ(dlg.HumidWarnLo, 59.9);
    EXPECT_EQ(dlg.bHumidWarnHi, 1);
}

TEST_F(TempDialog, CancelChangesNothing) {
    edit(dlg, 1005)->setText("3");
    edit(dlg, 1013)->setText("0.05");
    check(dlg, 1026)->click();
    check(dlg, 1023)->click();
    combo(dlg, 1021)->setCurrentIndex(0);
    EXPECT_FALSE(ok(dlg));  // a refused OK first
    dlg.reject();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.values(), before);
}

// ---- radiation ----

TEST(GeigerDialog, ControlsListsAndEnabling) {
    RecordingPrompt prompt;
    CDlgGeigerSetting dlg(prompt);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "放射線測定設定");
    const QStringList nine = {"1分計",     "5分平均",   "15分平均",   "30分平均",  "1時間平均",
                              "2時間平均", "6時間平均", "12時間平均", "24時間平均"};
    const QStringList five = {"1分計", "5分平均", "15分平均", "30分平均", "60分平均"};
    for (int id : {1034, 1031, 1036})
        EXPECT_EQ(items(combo(dlg, id)), nine) << id;
    for (int id : {1029, 1042})
        EXPECT_EQ(items(combo(dlg, id)), five) << id;
    EXPECT_EQ(items(combo(dlg, 1021)), kLongSpans);
    EXPECT_EQ(items(combo(dlg, 1030)), kShortSpans);
    // Defaults: L1 1 hour, L2 24 hours, S2 30 minutes, alarm 1 hour.
    EXPECT_EQ(combo(dlg, 1031)->currentText(), "1時間平均");
    EXPECT_EQ(combo(dlg, 1036)->currentText(), "24時間平均");
    EXPECT_EQ(combo(dlg, 1042)->currentText(), "30分平均");
    EXPECT_EQ(combo(dlg, 1034)->currentText(), "1時間平均");
    const QStringList t = texts(dlg);
    for (const char* s :
         {"CPMから", "CPM/DIV", "自動", "警告レベル：", "CPM以上", "ヒステリシス：", "値："})
        EXPECT_TRUE(t.contains(QString::fromUtf8(s))) << s;
    EXPECT_EQ(t.count("値（灰）："), 2);
    EXPECT_EQ(t.count("値（赤）："), 2);

    // bCpmWarnHi = 100 (the default) is on.
    EXPECT_TRUE(check(dlg, 1023)->isChecked());
    EXPECT_TRUE(edit(dlg, 1010)->isEnabled());
    EXPECT_TRUE(edit(dlg, 1013)->isEnabled());
    EXPECT_FALSE(edit(dlg, 1005)->isEnabled());
    EXPECT_FALSE(edit(dlg, 1006)->isEnabled());
    check(dlg, 1023)->click();
    EXPECT_FALSE(edit(dlg, 1010)->isEnabled());
    EXPECT_FALSE(edit(dlg, 1013)->isEnabled());
    check(dlg, 1026)->click();
    EXPECT_TRUE(edit(dlg, 1005)->isEnabled());
    EXPECT_TRUE(edit(dlg, 1006)->isEnabled());
    check(dlg, 1023)->click();
    // Unchanged, the stored "on" stays as it was.
    EXPECT_TRUE(ok(dlg));
    EXPECT_EQ(dlg.bCpmWarnHi, 100);
    EXPECT_EQ(dlg.AutoYScale, 0);
}

TEST(GeigerDialog, RangesOnlyAndCancel) {
    RecordingPrompt prompt;
    CDlgGeigerSetting dlg(prompt);
    dlg.show();
    const GeigerSettingValues before = dlg.values();
    struct Case {
        int id;
        const char* bad;
        const char* good;
        const char* message;
    } cases[] = {
        {1005, "-0.5", "0", "0 から 1000 までの数値を入力してください。"},
        {1006, "0.09", "0.1", "0.1 から 1000 までの数値を入力してください。"},
        {1010, "1000.5", "1000", "0 から 1000 までの数値を入力してください。"},
        {1013, "200.1", "200", "0.1 から 200 までの数値を入力してください。"},
    };
    for (const Case& c : cases) {
        edit(dlg, c.id)->setText(c.bad);
        EXPECT_FALSE(ok(dlg)) << c.id;
        EXPECT_EQ(prompt.messages.back(), c.message);
        EXPECT_EQ(dlg.focusWidget(), edit(dlg, c.id));
        edit(dlg, c.id)->setText(c.good);
    }
    EXPECT_EQ(dlg.values(), before);
    // No check beyond the ranges: a warning level below the axis is fine.
    combo(dlg, 1034)->setCurrentIndex(8);
    combo(dlg, 1029)->setCurrentIndex(4);
    const std::size_t shown = prompt.messages.size();
    EXPECT_TRUE(ok(dlg));
    EXPECT_EQ(prompt.messages.size(), shown);
    EXPECT_EQ(dlg.CpmMin, 0);
    EXPECT_EQ(dlg.CpmHist, 200);
    EXPECT_EQ(dlg.MaTypeWarn, 8);
    EXPECT_EQ(dlg.MaTypeS1, 4);

    CDlgGeigerSetting other(prompt);
    other.show();
    edit(other, 1005)->setText("7");
    check(other, 1023)->click();
    combo(other, 1021)->setCurrentIndex(5);
    other.reject();
    EXPECT_EQ(other.values(), GeigerSettingValues{});
}

// ---- power ----

class OwlDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        dlg.show();
        before = dlg.values();
    }
    // Manual axis with the given texts; true when OK accepted.
    bool axis(const char* ymin, const char* ymax, const char* ystep) {
        edit(dlg, 1006)->setText(ymin);
        edit(dlg, 1007)->setText(ymax);
        edit(dlg, 1008)->setText(ystep);
        return ok(dlg);
    }
    RecordingPrompt prompt;
    CDlgOwlSetting dlg{prompt};
    OwlSettingValues before;
};

TEST_F(OwlDialog, ControlsListsHintAndEnabling) {
    EXPECT_EQ(dlg.windowTitle(), "電力モニタ設定");
    const QStringList t = texts(dlg);
    EXPECT_TRUE(
        t.contains("1キロワット時あたりの概算の電力単価(22～30円程度）を入力してください。"));
    for (const char* s : {"電力単価：", "[円/kWh]", "自動", "区間：", "～", "ステップ：",
                          "警告上限：", "警告下限：", "ヒステリシス：", "値："})
        EXPECT_TRUE(t.contains(QString::fromUtf8(s))) << s;
    const QStringList nine = {"瞬時電力(1分計)", "5分平均電力",    "15分平均電力",
                              "30分平均電力",    "1時間平均電力",  "2時間平均電力",
                              "6時間平均電力",   "12時間平均電力", "24時間平均電力"};
    const QStringList five = {"瞬時電力(1分計)", "5分平均電力", "15分平均電力", "30分平均電力",
                              "60分平均電力"};
    for (int id : {1034, 1030, 1031})
        EXPECT_EQ(items(combo(dlg, id)), nine) << id;
    for (int id : {1028, 1029})
        EXPECT_EQ(items(combo(dlg, id)), five) << id;
    EXPECT_EQ(items(combo(dlg, 1021)), kLongSpans);
    EXPECT_EQ(items(combo(dlg, 1024)), kShortSpans);
    EXPECT_EQ(combo(dlg, 1034)->currentText(), "15分平均電力");
    EXPECT_EQ(edit(dlg, 1005)->text(), "25");
    EXPECT_EQ(edit(dlg, 1014)->text(), "0.2");
    EXPECT_EQ(edit(dlg, 1019)->text(), "3");

    auto labelOf = [&](const char* text) {
        for (auto* l : dlg.findChildren<QLabel*>())
            if (l->text() == QString::fromUtf8(text))
                return l;
        return static_cast<QLabel*>(nullptr);
    };
    // "自動" on: the axis fields and their labels are grey; the alarm
    // fields stay enabled with their checks off.
    for (int id : {1006, 1007, 1008})
        EXPECT_FALSE(edit(dlg, id)->isEnabled()) << id;
    for (const char* s : {"区間：", "～", "ステップ："}) {
        ASSERT_NE(labelOf(s), nullptr) << s;
        EXPECT_FALSE(labelOf(s)->isEnabled()) << s;
    }
    for (int id : {1014, 1019, 1010})
        EXPECT_TRUE(edit(dlg, id)->isEnabled()) << id;
    check(dlg, 1022)->click();
    for (int id : {1006, 1007, 1008})
        EXPECT_TRUE(edit(dlg, id)->isEnabled()) << id;
    EXPECT_TRUE(labelOf("区間：")->isEnabled());
    check(dlg, 1023)->click();
    check(dlg, 1023)->click();
    EXPECT_TRUE(edit(dlg, 1014)->isEnabled());
}

TEST_F(OwlDialog, AxisChecksInTheirOrder) {
    EXPECT_FALSE(axis("0", "4", "0.001"));  // 4000 steps
    EXPECT_EQ(prompt.messages.back(), "Y軸ステップ値の設定が小さすぎます");
    EXPECT_EQ(dlg.focusWidget(), edit(dlg, 1008));
    EXPECT_TRUE(axis("0", "4", "0.004"));  // 1000 steps
    EXPECT_EQ(dlg.Ystep, 0.004);
    EXPECT_TRUE(axis("2", "2", "1"));  // Ymin = Ymax
    EXPECT_EQ(dlg.Ymin, 2);
    EXPECT_EQ(dlg.Ymax, 2);

    // Each check in turn: the range before the step's sign before its size.
    EXPECT_FALSE(axis("3", "2", "0"));
    EXPECT_EQ(prompt.messages.back(), "Y軸区間の設定が不正です");
    EXPECT_EQ(dlg.focusWidget(), edit(dlg, 1006));
    EXPECT_FALSE(axis("0", "2", "0"));
    EXPECT_EQ(prompt.messages.back(), "Y軸ステップ値のは正値です");
    EXPECT_FALSE(axis("0", "2", "-1"));
    EXPECT_EQ(prompt.messages.back(), "Y軸ステップ値のは正値です");
    EXPECT_FALSE(axis("0", "2", "x"));
    EXPECT_EQ(prompt.messages.back(), "数値を入力してください。");
    EXPECT_FALSE(axis("0", "2", "inf"));
    EXPECT_EQ(prompt.messages.back(), "数値を入力してください。");
    // A step check failing with the axis set to automatic still counts;
    // the refused values never reached the members.
    EXPECT_FALSE(axis("0", "4", "0.001"));
    EXPECT_EQ(dlg.Ystep, 1);
    EXPECT_EQ(dlg.AutoYScale, 1);
}

TEST_F(OwlDialog, HysteresisAndCrossedAlarmLimits) {
    edit(dlg, 1010)->setText("-0.1");
    EXPECT_FALSE(ok(dlg));
    EXPECT_EQ(prompt.messages.back(), "ヒステリシスは正の値を設定してください");
    EXPECT_EQ(dlg.focusWidget(), edit(dlg, 1010));
    edit(dlg, 1010)->setText("0");
    EXPECT_TRUE(ok(dlg));
    EXPECT_EQ(dlg.WarnHiste, 0);

    // Both alarms on with the default limits (high 0.2, low 3.0).
    check(dlg, 1023)->click();
    EXPECT_TRUE(ok(dlg));
    check(dlg, 1032)->click();
    const std::size_t shown = prompt.messages.size();
    EXPECT_FALSE(ok(dlg));
    ASSERT_EQ(prompt.messages.size(), shown + 1);
    EXPECT_EQ(prompt.messages.back(), "警告上限・下限値の設定が不正です");
    EXPECT_EQ(dlg.WarnLoEnable, 0);
    edit(dlg, 1019)->setText("0.2");  // equal: still crossed
    EXPECT_FALSE(ok(dlg));
    edit(dlg, 1014)->setText("4");
    edit(dlg, 1019)->setText("0.1");
    EXPECT_TRUE(ok(dlg));
    EXPECT_EQ(dlg.WarnHiEnable, 1);
    EXPECT_EQ(dlg.WarnLoEnable, 1);
    EXPECT_EQ(dlg.WarnHiTh, 4);
    EXPECT_EQ(dlg.WarnLoTh, 0.1);
    // Any price, negative included.
    edit(dlg, 1005)->setText("-3.5");
    EXPECT_TRUE(ok(dlg));
    EXPECT_EQ(dlg.CostPerKW, -3.5);
}

TEST_F(OwlDialog, CancelChangesNothing) {
    edit(dlg, 1005)->setText("30");
    check(dlg, 1022)->click();
    check(dlg, 1023)->click();
    combo(dlg, 1024)->setCurrentIndex(4);
    dlg.reject();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.values(), before);
}

TEST(SettingDialogs, IndexesOutsideTheListsSelectTheNearestItem) {
    RecordingPrompt prompt;
    CDlgOwlSetting dlg(prompt);
    dlg.PeriodL = 9;
    dlg.MaTypeR1 = -2;
    dlg.show();
    EXPECT_EQ(combo(dlg, 1021)->currentText(), "30日");
    EXPECT_EQ(combo(dlg, 1028)->currentText(), "瞬時電力(1分計)");
    EXPECT_TRUE(ok(dlg));
    EXPECT_EQ(dlg.PeriodL, 5);
    EXPECT_EQ(dlg.MaTypeR1, 0);
}

// The documented range of each real field: the dialog takes both bounds and
// refuses a little beyond either, and loading the section keeps and resets
// exactly the same values, so a value the dialog would refuse never comes
// in through the store either.
struct RangedField {
    int id;
    const char* key;
    double min, max;
};

std::string shortest(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

template <class Dlg, class Monitor>
void expectSharedRanges(const char* section, std::initializer_list<RangedField> fields,
                        const std::function<std::unique_ptr<Monitor>(MonitorHost&)>& make) {
    for (const RangedField& f : fields) {
        const double step = 0.001 * std::max(1.0, std::max(std::fabs(f.min), std::fabs(f.max)));
        const std::pair<double, bool> values[] = {
            {f.min, true}, {f.max, true}, {f.min - step, false}, {f.max + step, false}};
        for (const auto& [v, good] : values) {
            const std::string text = shortest(v);
            RecordingPrompt prompt;
            Dlg dlg(prompt);
            dlg.show();
            edit(dlg, f.id)->setText(QString::fromStdString(text));
            EXPECT_EQ(ok(dlg), good) << f.key << " " << text;

            testing::SensorTestHost host(0);
            host.store_.mem.writeString(section, f.key, text);
            const std::unique_ptr<Monitor> m = make(host);
            m->LoadSettings();
            const std::vector<std::string> lines = host.takeLines();
            EXPECT_EQ(lines.empty(), good) << f.key << " " << text;
            if (!good && !lines.empty()) {
                EXPECT_NE(lines[0].find(std::string(section) + "/" + f.key), std::string::npos)
                    << lines[0];
            }
        }
    }
}

TEST(SettingDialogs, WhatADialogRefusesTheLoadingRefusesToo) {
    expectSharedRanges<CDlgTempSetting, TemperatureMonitor>(
        "Temperature",
        {{1005, "TempMin", -273, 1000},
         {1006, "TempDiv", 0.1, 100},
         {1010, "TempWarnHi", -273, 200},
         {1009, "TempWarnLo", -273, 200},
         {1013, "TempHist", 0.1, 100},
         {1007, "HumidMin", 0, 100},
         {1008, "HumidDiv", 0.01, 100},
         {1012, "HumidWarnHi", 0, 100},
         {1011, "HumidWarnLo", 0, 100},
         {1014, "HumidHist", 0.1, 100}},
        [](MonitorHost& h) { return std::make_unique<TemperatureMonitor>(h, nullptr); });
    expectSharedRanges<CDlgGeigerSetting, GeigerMonitor>(
        "Geiger",
        {{1005, "CpmMin", 0, 1000},
         {1006, "CpmDiv", 0.1, 1000},
         {1010, "CpmWarnHi", 0, 1000},
         {1013, "CpmHist", 0.1, 200}},
        [](MonitorHost& h) { return std::make_unique<GeigerMonitor>(h, nullptr); });
}

}  // namespace
}  // namespace orvana::sensors
