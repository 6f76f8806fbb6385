#include "sensors/ui/dlg_temp_setting.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "sensors/sensor_settings.h"
#include "sensors/ui/dlg_sensor_setting.h"

namespace orvana::sensors {

using namespace dlg;

CDlgTempSetting::CDlgTempSetting(Prompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt) {
    setWindowTitle(QStringLiteral("温度・湿度モニタ設定"));
    setModal(true);
    auto* top = new QVBoxLayout(this);

    // One group per quantity: the axis, then the alarms.
    struct Group {
        const char* title;
        int minId, divId, autoId, hiCheckId, hiId, loCheckId, loId, histId;
        const char *minUnit, *divUnit;
        QLineEdit **min, **div, **hi, **lo, **hist;
        QCheckBox **autoCheck, **hiOn, **loOn;
    };
    const Group groups[] = {
        {"温度", 1005, 1006, 1026, 1023, 1010, 1022, 1009, 1013, "度から", "度/DIV", &tempMin_,
         &tempDiv_, &tempHi_, &tempLo_, &tempHist_, &tempAuto_, &tempHiOn_, &tempLoOn_},
        {"湿度", 1007, 1008, 1027, 1025, 1012, 1024, 1011, 1014, "%から", "%/DIV", &humidMin_,
         &humidDiv_, &humidHi_, &humidLo_, &humidHist_, &humidAuto_, &humidHiOn_, &humidLoOn_},
    };
    for (const Group& g : groups) {
        auto* box = new QGroupBox(QString::fromUtf8(g.title), this);
        auto* grid = new QGridLayout(box);
        *g.min = numberEdit(box, g.minId);
        *g.div = numberEdit(box, g.divId);
        *g.autoCheck = checkBox(box, g.autoId, "自動");
        grid->addWidget(*g.min, 0, 0);
        grid->addWidget(label(box, g.minUnit), 0, 1);
        grid->addWidget(*g.div, 0, 2);
        grid->addWidget(label(box, g.divUnit), 0, 3);
        grid->addWidget(*g.autoCheck, 0, 4);
        *g.hiOn = checkBox(box, g.hiCheckId, "警告上限：");
        *g.hi = numberEdit(box, g.hiId);
        *g.loOn = checkBox(box, g.loCheckId, "警告下限：");
        *g.lo = numberEdit(box, g.loId);
        *g.hist = numberEdit(box, g.histId);
        grid->addWidget(*g.hiOn, 1, 0, 1, 2);
        grid->addWidget(*g.hi, 1, 2);
        grid->addWidget(*g.loOn, 2, 0, 1, 2);
        grid->addWidget(*g.lo, 2, 2);
        grid->addWidget(label(box, "ヒステリシス："), 3, 0, 1, 2);
        grid->addWidget(*g.hist, 3, 2);
        top->addWidget(box);
        for (QCheckBox* c : {*g.autoCheck, *g.hiOn, *g.loOn})
            connect(c, &QCheckBox::toggled, this, &CDlgTempSetting::EnableFields);
    }

    auto* graphs = new QGridLayout;
    auto* longBox = new QGroupBox(QStringLiteral("長期間グラフ：左"), this);
    auto* longGrid = new QGridLayout(longBox);
    periodL_ = comboBox(longBox, 1021, longSpanItems());
    longGrid->addWidget(label(longBox, "時間幅："), 0, 0);
    longGrid->addWidget(periodL_, 0, 1);
    auto* shortBox = new QGroupBox(QStringLiteral("短期間グラフ：右"), this);
    auto* shortGrid = new QGridLayout(shortBox);
    periodS_ = comboBox(shortBox, 1030, shortSpanItems());
    shortGrid->addWidget(label(shortBox, "時間幅："), 0, 0);
    shortGrid->addWidget(periodS_, 0, 1);
    graphs->addWidget(longBox, 0, 0);
    graphs->addWidget(shortBox, 0, 1);
    top->addLayout(graphs);
    top->addWidget(okCancelButtons(this, [this] { OnOK(); }));
}

void CDlgTempSetting::showEvent(QShowEvent* e) {
    UpdateControls();
    QDialog::showEvent(e);
}

void CDlgTempSetting::UpdateControls() {
    putCheck(tempAuto_, TempAutoYScale);
    putDouble(tempMin_, TempMin);
    putDouble(tempDiv_, TempDiv);
    putCheck(tempHiOn_, bTempWarnHi);
    putDouble(tempHi_, TempWarnHi);
    putCheck(tempLoOn_, bTempWarnLo);
    putDouble(tempLo_, TempWarnLo);
    putDouble(tempHist_, TempHist);
    putCheck(humidAuto_, HumidAutoYScale);
    putDouble(humidMin_, HumidMin);
    putDouble(humidDiv_, HumidDiv);
    putCheck(humidHiOn_, bHumidWarnHi);
    putDouble(humidHi_, HumidWarnHi);
    putCheck(humidLoOn_, bHumidWarnLo);
    putDouble(humidLo_, HumidWarnLo);
    putDouble(humidHist_, HumidHist);
    putIndex(periodL_, PeriodL);
    putIndex(periodS_, PeriodS);
    EnableFields();
}

void CDlgTempSetting::EnableFields() {
    tempHi_->setEnabled(tempHiOn_->isChecked());
    tempLo_->setEnabled(tempLoOn_->isChecked());
    tempHist_->setEnabled(tempHiOn_->isChecked() || tempLoOn_->isChecked());
    humidHi_->setEnabled(humidHiOn_->isChecked());
    humidLo_->setEnabled(humidLoOn_->isChecked());
    humidHist_->setEnabled(humidHiOn_->isChecked() || humidLoOn_->isChecked());
    tempMin_->setEnabled(!tempAuto_->isChecked());
    tempDiv_->setEnabled(!tempAuto_->isChecked());
    humidMin_->setEnabled(!humidAuto_->isChecked());
    humidDiv_->setEnabled(!humidAuto_->isChecked());
}

void CDlgTempSetting::OnOK() {
    TempSettingValues v = values();
    const TempRanges& r = kTempRanges;
    const struct {
        QLineEdit* edit;
        RealRange range;
        double* out;
    } fields[] = {
        {tempMin_, r.TempMin, &v.TempMin},         {tempDiv_, r.TempDiv, &v.TempDiv},
        {tempHi_, r.TempWarnHi, &v.TempWarnHi},    {tempLo_, r.TempWarnLo, &v.TempWarnLo},
        {tempHist_, r.TempHist, &v.TempHist},      {humidMin_, r.HumidMin, &v.HumidMin},
        {humidDiv_, r.HumidDiv, &v.HumidDiv},      {humidHi_, r.HumidWarnHi, &v.HumidWarnHi},
        {humidLo_, r.HumidWarnLo, &v.HumidWarnLo}, {humidHist_, r.HumidHist, &v.HumidHist},
    };
    for (const auto& f : fields)
        if (!getDouble(prompt_, f.edit, f.range, f.out))
            return;
    v.TempAutoYScale = tempAuto_->isChecked() ? 1 : 0;
    v.bTempWarnHi = tempHiOn_->isChecked() ? 1 : 0;
    v.bTempWarnLo = tempLoOn_->isChecked() ? 1 : 0;
    v.HumidAutoYScale = humidAuto_->isChecked() ? 1 : 0;
    v.bHumidWarnHi = humidHiOn_->isChecked() ? 1 : 0;
    v.bHumidWarnLo = humidLoOn_->isChecked() ? 1 : 0;
    v.PeriodL = periodL_->currentIndex();
    v.PeriodS = periodS_->currentIndex();

    if (v.bTempWarnHi && v.bTempWarnLo && !(v.TempWarnLo < v.TempWarnHi)) {
        refuse(prompt_, tempLo_, "温度上限・下限値の設定が不正です");
        return;
    }
    if (v.bHumidWarnHi && v.bHumidWarnLo && !(v.HumidWarnLo < v.HumidWarnHi)) {
        refuse(prompt_, humidLo_, "湿度上限・下限値の設定が不正です");
        return;
    }
    setValues(v);
    accept();
}

}  // namespace orvana::sensors
