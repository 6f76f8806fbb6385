#include "sensors/ui/dlg_owl_setting.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "sensors/sensor_settings.h"
#include "sensors/ui/dlg_sensor_setting.h"

namespace orvana::sensors {

using namespace dlg;

namespace {

QGroupBox* graphGroup(QWidget* parent, const char* title, QComboBox* span, QComboBox* grey,
                      QComboBox* red) {
    auto* box = new QGroupBox(QString::fromUtf8(title), parent);
    auto* grid = new QGridLayout(box);
    const std::pair<const char*, QComboBox*> rows[] = {
        {"時間幅：", span}, {"値（灰）：", grey}, {"値（赤）：", red}};
    int r = 0;
    for (const auto& [text, combo] : rows) {
        combo->setParent(box);
        grid->addWidget(label(box, text), r, 0);
        grid->addWidget(combo, r, 1);
        ++r;
    }
    return box;
}

}  // namespace

CDlgOwlSetting::CDlgOwlSetting(Prompt& prompt, QWidget* parent) : QDialog(parent), prompt_(prompt) {
    setWindowTitle(QStringLiteral("電力モニタ設定"));
    setModal(true);
    auto* top = new QVBoxLayout(this);

    auto* price = new QGridLayout;
    cost_ = numberEdit(this, 1005);
    price->addWidget(label(this, "電力単価："), 0, 0);
    price->addWidget(cost_, 0, 1);
    price->addWidget(label(this, "[円/kWh]"), 0, 2);
    auto* hint = label(this, kOwlPriceHint);
    hint->setObjectName(QStringLiteral("priceHint"));
    price->addWidget(hint, 1, 0, 1, 4);
    price->setColumnStretch(3, 1);
    top->addLayout(price);

    auto* axis = new QGroupBox(QStringLiteral("Y軸"), this);
    auto* axisGrid = new QGridLayout(axis);
    auto_ = checkBox(axis, 1022, "自動");
    rangeLabel_ = label(axis, "区間：");
    tildeLabel_ = label(axis, "～");
    stepLabel_ = label(axis, "ステップ：");
    ymin_ = numberEdit(axis, 1006);
    ymax_ = numberEdit(axis, 1007);
    ystep_ = numberEdit(axis, 1008);
    axisGrid->addWidget(auto_, 0, 0);
    axisGrid->addWidget(rangeLabel_, 1, 0);
    axisGrid->addWidget(ymin_, 1, 1);
    axisGrid->addWidget(tildeLabel_, 1, 2);
    axisGrid->addWidget(ymax_, 1, 3);
    axisGrid->addWidget(stepLabel_, 2, 0);
    axisGrid->addWidget(ystep_, 2, 1);
    axisGrid->setColumnStretch(4, 1);
    top->addWidget(axis);

    auto* alarm = new QGroupBox(QStringLiteral("警告"), this);
    auto* alarmGrid = new QGridLayout(alarm);
    hiOn_ = checkBox(alarm, 1023, "警告上限：");
    hiTh_ = numberEdit(alarm, 1014);
    loOn_ = checkBox(alarm, 1032, "警告下限：");
    loTh_ = numberEdit(alarm, 1019);
    hist_ = numberEdit(alarm, 1010);
    maWarn_ = comboBox(alarm, 1034, powerAverageItems());
    alarmGrid->addWidget(hiOn_, 0, 0);
    alarmGrid->addWidget(hiTh_, 0, 1);
    alarmGrid->addWidget(loOn_, 1, 0);
    alarmGrid->addWidget(loTh_, 1, 1);
    alarmGrid->addWidget(label(alarm, "ヒステリシス："), 2, 0);
    alarmGrid->addWidget(hist_, 2, 1);
    alarmGrid->addWidget(label(alarm, "値："), 3, 0);
    alarmGrid->addWidget(maWarn_, 3, 1, 1, 2);
    alarmGrid->setColumnStretch(3, 1);
    top->addWidget(alarm);

    periodL_ = comboBox(this, 1021, longSpanItems());
    maL1_ = comboBox(this, 1030, powerAverageItems());
    maL2_ = comboBox(this, 1031, powerAverageItems());
    periodR_ = comboBox(this, 1024, shortSpanItems());
    maR1_ = comboBox(this, 1028, powerShortAverageItems());
    maR2_ = comboBox(this, 1029, powerShortAverageItems());
    auto* graphs = new QGridLayout;
    graphs->addWidget(graphGroup(this, "長期間グラフ：左", periodL_, maL1_, maL2_), 0, 0);
    graphs->addWidget(graphGroup(this, "短期間グラフ：右", periodR_, maR1_, maR2_), 0, 1);
    top->addLayout(graphs);
    top->addWidget(okCancelButtons(this, [this] { OnOK(); }));

    connect(auto_, &QCheckBox::toggled, this, &CDlgOwlSetting::EnableFields);
}

void CDlgOwlSetting::showEvent(QShowEvent* e) {
    UpdateControls();
    QDialog::showEvent(e);
}

void CDlgOwlSetting::UpdateControls() {
    putDouble(cost_, CostPerKW);
    putCheck(auto_, AutoYScale);
    putDouble(ymin_, Ymin);
    putDouble(ymax_, Ymax);
    putDouble(ystep_, Ystep);
    putCheck(hiOn_, WarnHiEnable);
    putDouble(hiTh_, WarnHiTh);
    putCheck(loOn_, WarnLoEnable);
    putDouble(loTh_, WarnLoTh);
    putDouble(hist_, WarnHiste);
    putIndex(maWarn_, WarnMaType);
    putIndex(periodL_, PeriodL);
    putIndex(maL1_, MaTypeL1);
    putIndex(maL2_, MaTypeL2);
    putIndex(periodR_, PeriodR);
    putIndex(maR1_, MaTypeR1);
    putIndex(maR2_, MaTypeR2);
    EnableFields();
}

void CDlgOwlSetting::EnableFields() {
    const bool manual = !auto_->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(ymin_), static_cast<QWidget*>(ymax_),
                       static_cast<QWidget*>(ystep_), static_cast<QWidget*>(rangeLabel_),
                       static_cast<QWidget*>(tildeLabel_), static_cast<QWidget*>(stepLabel_)})
        w->setEnabled(manual);
}

void CDlgOwlSetting::OnOK() {
    OwlSettingValues v = values();
    for (const auto& [edit, out] :
         {std::pair{cost_, &v.CostPerKW}, std::pair{ymin_, &v.Ymin}, std::pair{ymax_, &v.Ymax},
          std::pair{ystep_, &v.Ystep}, std::pair{hiTh_, &v.WarnHiTh}, std::pair{loTh_, &v.WarnLoTh},
          std::pair{hist_, &v.WarnHiste}})
        if (!getDouble(prompt_, edit, out))
            return;
    v.AutoYScale = auto_->isChecked() ? 1 : 0;
    v.WarnHiEnable = hiOn_->isChecked() ? 1 : 0;
    v.WarnLoEnable = loOn_->isChecked() ? 1 : 0;
    v.WarnMaType = maWarn_->currentIndex();
    v.PeriodL = periodL_->currentIndex();
    v.MaTypeL1 = maL1_->currentIndex();
    v.MaTypeL2 = maL2_->currentIndex();
    v.PeriodR = periodR_->currentIndex();
    v.MaTypeR1 = maR1_->currentIndex();
    v.MaTypeR2 = maR2_->currentIndex();

    switch (OwlAxisCheck(v.Ymin, v.Ymax, v.Ystep)) {
        case OwlAxisFault::Range:
            refuse(prompt_, ymin_, "Y軸区間の設定が不正です");
            return;
        case OwlAxisFault::StepNotPositive:
            refuse(prompt_, ystep_, "Y軸ステップ値のは正値です");
            return;
        case OwlAxisFault::TooManySteps:
            refuse(prompt_, ystep_, "Y軸ステップ値の設定が小さすぎます");
            return;
        case OwlAxisFault::None:
            break;
    }
    if (!kOwlRanges.WarnHiste.contains(v.WarnHiste)) {
        refuse(prompt_, hist_, "ヒステリシスは正の値を設定してください");
        return;
    }
    if (v.WarnHiEnable && v.WarnLoEnable && !(v.WarnLoTh < v.WarnHiTh)) {
        refuse(prompt_, loTh_, "警告上限・下限値の設定が不正です");
        return;
    }
    setValues(v);
    accept();
}

}  // namespace orvana::sensors
