// "電力モニタ設定": the price per kWh, the Y axis, the two power alarms with
// their shared hysteresis and averaging window, and the spans and curves of
// both graphs of the power monitor. Modal; the monitor fills the members,
// runs the dialog and takes the members back only when it returns Accepted.
//
// Threads: UI thread.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>

#include "core/prompt.h"

namespace orvana::sensors {

// The settings the dialog edits, named as in the "Owl" section.
struct OwlSettingValues {
    double CostPerKW = 25.0;
    int AutoYScale = 1;
    double Ymin = 0.0;
    double Ymax = 4.0;
    double Ystep = 1.0;
    int PeriodL = 2;
    int MaTypeL1 = 4;
    int MaTypeL2 = 8;
    int PeriodR = 0;
    int MaTypeR1 = 0;
    int MaTypeR2 = 3;
    int WarnMaType = 2;
    int WarnHiEnable = 0;
    int WarnLoEnable = 0;
    double WarnLoTh = 3.0;
    double WarnHiTh = 0.2;
    double WarnHiste = 0.2;

    bool operator==(const OwlSettingValues&) const = default;
};

// The hint shown next to the price.
inline constexpr const char* kOwlPriceHint =
    "1キロワット時あたりの概算の電力単価(22～30円程度）を入力してください。";

class CDlgOwlSetting : public QDialog, public OwlSettingValues {
    Q_OBJECT

  public:
    explicit CDlgOwlSetting(Prompt& prompt, QWidget* parent = nullptr);

    // Members into the controls, then the field-enabling step.
    void UpdateControls();
    // The Y axis fields and their labels while "自動" (1022) is off. The
    // alarm and hysteresis edits stay enabled whatever the checks show.
    void EnableFields();
    // OK: every field must hold a number; then, in this order, Ymin not
    // above Ymax, a positive step, at most 1000 steps, a hysteresis not
    // below 0, and with both alarms on a low limit below the high one.
    // Each failure shows its message and keeps the dialog open.
    void OnOK();

    OwlSettingValues values() const { return *this; }
    void setValues(const OwlSettingValues& v) { static_cast<OwlSettingValues&>(*this) = v; }

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    Prompt& prompt_;
    QLineEdit *cost_, *ymin_, *ymax_, *ystep_, *hiTh_, *loTh_, *hist_;
    QCheckBox *auto_, *hiOn_, *loOn_;
    QLabel *rangeLabel_, *tildeLabel_, *stepLabel_;
    QComboBox *maWarn_, *periodL_, *maL1_, *maL2_, *periodR_, *maR1_, *maR2_;
};

}  // namespace orvana::sensors
