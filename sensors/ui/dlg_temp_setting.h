// "温度・湿度モニタ設定": the graph scales, the four alarms with their
// hystereses and the graph spans of the temperature/humidity monitor.
// Modal; the monitor fills the members, runs the dialog and takes the
// members back only when it returns Accepted. The dialog edits values only.
//
// Threads: UI thread.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>

#include "core/prompt.h"

namespace orvana::sensors {

// The settings the dialog edits, named as in the "Temperature" section;
// flags 0/1, spans as indexes into TimeSpanS / TimeSpanL.
struct TempSettingValues {
    int TempAutoYScale = 1;
    double TempMin = -10.0;
    double TempDiv = 10.0;
    double TempWarnLo = 0.0;
    double TempWarnHi = 35.0;
    int bTempWarnLo = 0;
    int bTempWarnHi = 0;
    double TempHist = 1.0;
    int HumidAutoYScale = 1;
    double HumidMin = 0.0;
    double HumidDiv = 20.0;
    double HumidWarnLo = 20.0;
    double HumidWarnHi = 80.0;
    int bHumidWarnLo = 0;
    int bHumidWarnHi = 0;
    double HumidHist = 5.0;
    int PeriodS = 0;
    int PeriodL = 2;

    bool operator==(const TempSettingValues&) const = default;
};

// The members are the inherited TempSettingValues fields.
class CDlgTempSetting : public QDialog, public TempSettingValues {
    Q_OBJECT

  public:
    // prompt shows the refusals (modal, inside this dialog); it must
    // outlive the dialog.
    explicit CDlgTempSetting(Prompt& prompt, QWidget* parent = nullptr);

    // Members into the controls, then the field-enabling step. Done when
    // the dialog is shown.
    void UpdateControls();
    // Enables each field by the check boxes that govern it (the alarm
    // edits by their alarm, a hysteresis by either alarm of its quantity,
    // the scale edits while "自動" is off). Runs at every click on the
    // checks 1022-1027. Texts are left as typed: a greyed field keeps its
    // value, and OK still reads and saves it.
    void EnableFields();
    // OK: every field must hold a number within its range (else the
    // message, the focus on the field); with both alarms of a quantity on,
    // the low limit must lie below the high one. Accepts and copies all
    // values into the members only when everything passed.
    void OnOK();

    TempSettingValues values() const { return *this; }
    void setValues(const TempSettingValues& v) { static_cast<TempSettingValues&>(*this) = v; }

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    Prompt& prompt_;
    QLineEdit *tempMin_, *tempDiv_, *tempHi_, *tempLo_, *tempHist_;
    QLineEdit *humidMin_, *humidDiv_, *humidHi_, *humidLo_, *humidHist_;
    QCheckBox *tempAuto_, *tempHiOn_, *tempLoOn_;
    QCheckBox *humidAuto_, *humidHiOn_, *humidLoOn_;
    QComboBox *periodL_, *periodS_;
};

}  // namespace orvana::sensors
