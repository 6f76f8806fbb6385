// "放射線測定設定": the graph scale, the warning level with its hysteresis
// and averaging window, and the spans and curves of both graphs of the
// radiation monitor. Modal; the monitor fills the members, runs the dialog
// and takes the members back only when it returns Accepted.
//
// Threads: UI thread.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>

#include "core/prompt.h"

namespace orvana::sensors {

// The settings the dialog edits, named as in the "Geiger" section; the
// averaging windows are indexes into TimeMaS (short graph) or TimeMaL /
// TimeMaM (long graph, alarm).
struct GeigerSettingValues {
    double CpmMin = 0.0;
    double CpmDiv = 40.0;
    double CpmWarnHi = 120.0;
    int bCpmWarnHi = 100;  // any non-zero value is on
    double CpmHist = 20.0;
    int AutoYScale = 1;
    int PeriodS = 0;
    int PeriodL = 2;
    int MaTypeS1 = 0;
    int MaTypeL1 = 4;
    int MaTypeS2 = 3;
    int MaTypeL2 = 8;
    int MaTypeWarn = 4;

    bool operator==(const GeigerSettingValues&) const = default;
};

class CDlgGeigerSetting : public QDialog, public GeigerSettingValues {
    Q_OBJECT

  public:
    explicit CDlgGeigerSetting(Prompt& prompt, QWidget* parent = nullptr);

    // Members into the controls, then the field-enabling step.
    void UpdateControls();
    // The warning level and hysteresis while the warning is on; the scale
    // edits while "自動" is off. Runs at every click on 1023 and 1026.
    void EnableFields();
    // OK: every field must hold a number within its range; there is no
    // other check.
    void OnOK();

    GeigerSettingValues values() const { return *this; }
    void setValues(const GeigerSettingValues& v) { static_cast<GeigerSettingValues&>(*this) = v; }

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    Prompt& prompt_;
    QLineEdit *min_, *div_, *warnHi_, *hist_;
    QCheckBox *auto_, *warnOn_;
    QComboBox *maWarn_, *periodL_, *maL1_, *maL2_, *periodS_, *maS1_, *maS2_;
};

}  // namespace orvana::sensors
