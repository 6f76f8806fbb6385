#include "sensors/ui/dlg_geiger_setting.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "sensors/sensor_settings.h"
#include "sensors/ui/dlg_sensor_setting.h"

namespace orvana::sensors {

using namespace dlg;

namespace {

// "時間幅：", "値（灰）：", "値（赤）：" of one graph.
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

CDlgGeigerSetting::CDlgGeigerSetting(Prompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt) {
    setWindowTitle(QStringLiteral("放射線測定設定"));
    setModal(true);
    auto* top = new QVBoxLayout(this);

    auto* axis = new QGroupBox(QStringLiteral("Y軸"), this);
    auto* axisGrid = new QGridLayout(axis);
    min_ = numberEdit(axis, 1005);
    div_ = numberEdit(axis, 1006);
    auto_ = checkBox(axis, 1026, "自動");
    axisGrid->addWidget(min_, 0, 0);
    axisGrid->addWidget(label(axis, "CPMから"), 0, 1);
    axisGrid->addWidget(div_, 0, 2);
    axisGrid->addWidget(label(axis, "CPM/DIV"), 0, 3);
    axisGrid->addWidget(auto_, 0, 4);
    top->addWidget(axis);

    auto* alarm = new QGroupBox(QStringLiteral("警告"), this);
    auto* alarmGrid = new QGridLayout(alarm);
    warnOn_ = checkBox(alarm, 1023, "警告レベル：");
    warnHi_ = numberEdit(alarm, 1010);
    hist_ = numberEdit(alarm, 1013);
    maWarn_ = comboBox(alarm, 1034, averageItems());
    alarmGrid->addWidget(warnOn_, 0, 0);
    alarmGrid->addWidget(warnHi_, 0, 1);
    alarmGrid->addWidget(label(alarm, "CPM以上"), 0, 2);
    alarmGrid->addWidget(label(alarm, "ヒステリシス："), 1, 0);
    alarmGrid->addWidget(hist_, 1, 1);
    alarmGrid->addWidget(label(alarm, "値："), 2, 0);
    alarmGrid->addWidget(maWarn_, 2, 1, 1, 2);
    alarmGrid->setColumnStretch(3, 1);
    top->addWidget(alarm);

    periodL_ = comboBox(this, 1021, longSpanItems());
    maL1_ = comboBox(this, 1031, averageItems());
    maL2_ = comboBox(this, 1036, averageItems());
    periodS_ = comboBox(this, 1030, shortSpanItems());
    maS1_ = comboBox(this, 1029, shortAverageItems());
    maS2_ = comboBox(this, 1042, shortAverageItems());
    auto* graphs = new QGridLayout;
    graphs->addWidget(graphGroup(this, "長期間グラフ：左", periodL_, maL1_, maL2_), 0, 0);
    graphs->addWidget(graphGroup(this, "短期間グラフ：右", periodS_, maS1_, maS2_), 0, 1);
    top->addLayout(graphs);
    top->addWidget(okCancelButtons(this, [this] { OnOK(); }));

    connect(auto_, &QCheckBox::toggled, this, &CDlgGeigerSetting::EnableFields);
    connect(warnOn_, &QCheckBox::toggled, this, &CDlgGeigerSetting::EnableFields);
}

void CDlgGeigerSetting::showEvent(QShowEvent* e) {
    UpdateControls();
    QDialog::showEvent(e);
}

void CDlgGeigerSetting::UpdateControls() {
    putDouble(min_, CpmMin);
    putDouble(div_, CpmDiv);
    putCheck(auto_, AutoYScale);
    putCheck(warnOn_, bCpmWarnHi);
    putDouble(warnHi_, CpmWarnHi);
    putDouble(hist_, CpmHist);
    putIndex(maWarn_, MaTypeWarn);
    putIndex(periodL_, PeriodL);
    putIndex(maL1_, MaTypeL1);
    putIndex(maL2_, MaTypeL2);
    putIndex(periodS_, PeriodS);
    putIndex(maS1_, MaTypeS1);
    putIndex(maS2_, MaTypeS2);
    EnableFields();
}

void CDlgGeigerSetting::EnableFields() {
    warnHi_->setEnabled(warnOn_->isChecked());
    hist_->setEnabled(warnOn_->isChecked());
    min_->setEnabled(!auto_->isChecked());
    div_->setEnabled(!auto_->isChecked());
}

void CDlgGeigerSetting::OnOK() {
    GeigerSettingValues v = values();
    const GeigerRanges& r = kGeigerRanges;
    if (!getDouble(prompt_, min_, r.CpmMin, &v.CpmMin) ||
        !getDouble(prompt_, div_, r.CpmDiv, &v.CpmDiv) ||
        !getDouble(prompt_, warnHi_, r.CpmWarnHi, &v.CpmWarnHi) ||
        !getDouble(prompt_, hist_, r.CpmHist, &v.CpmHist))
        return;
    v.AutoYScale = auto_->isChecked() ? 1 : 0;
    // An unchanged check keeps the stored "on" value (100 by default).
    if (warnOn_->isChecked() != (v.bCpmWarnHi != 0))
        v.bCpmWarnHi = warnOn_->isChecked() ? 1 : 0;
    v.MaTypeWarn = maWarn_->currentIndex();
    v.PeriodL = periodL_->currentIndex();
    v.MaTypeL1 = maL1_->currentIndex();
    v.MaTypeL2 = maL2_->currentIndex();
    v.PeriodS = periodS_->currentIndex();
    v.MaTypeS1 = maS1_->currentIndex();
    v.MaTypeS2 = maS2_->currentIndex();
    setValues(v);
    accept();
}

}  // namespace orvana::sensors
