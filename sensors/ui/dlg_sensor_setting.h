// What the three sensor settings dialogs share: controls named after their
// ids ("edit1005", "check1026", "combo1021"), number fields that refuse
// what is no number or lies outside its range, and the combo lists whose
// item index is the stored setting.
//
// Threads: UI thread.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <functional>

#include "core/prompt.h"
#include "sensors/sensor_settings.h"

namespace orvana::sensors {

// How a window runs its settings dialog: the program runs it with exec();
// tests put a function in its place that works the dialog's controls and
// returns the result, so no test waits in a modal loop. The dialog stays
// owned by the caller.
using SettingsDialogRunner = std::function<int(QDialog& dlg)>;
inline int execSettingsDialog(QDialog& dlg) {
    return dlg.exec();
}

}  // namespace orvana::sensors

namespace orvana::sensors::dlg {

// Controls carrying their id in their object name, owned by `parent`.
QLineEdit* numberEdit(QWidget* parent, int id);
QCheckBox* checkBox(QWidget* parent, int id, const char* text);
QComboBox* comboBox(QWidget* parent, int id, const QStringList& items);
QLabel* label(QWidget* parent, const char* text);

// Shows a number as short decimal text (up to 15 significant digits, no
// exponent for ordinary sizes, "." as the decimal point).
void putDouble(QLineEdit* edit, double v);
// Selects item `index`; an index outside the list (a hand-edited store)
// selects the nearest end of the list.
void putIndex(QComboBox* combo, int index);
void putCheck(QCheckBox* check, int flag);

// The number in `edit` (blanks around it allowed). Text that is no finite
// number is refused with "数値を入力してください。"; with a range, a value
// outside min..max is refused with "<min> から <max> までの数値を入力して
// ください。". A refusal shows the message through `prompt`, puts the focus
// on the field (see refuse) with its text selected and returns false; *out
// is then unchanged.
bool getDouble(Prompt& prompt, QLineEdit* edit, double* out);
bool getDouble(Prompt& prompt, QLineEdit* edit, double min, double max, double* out);
// The same with a range of the shared table (sensors/sensor_settings.h).
inline bool getDouble(Prompt& prompt, QLineEdit* edit, RealRange range, double* out) {
    return getDouble(prompt, edit, range.min, range.max, out);
}

// Shows `message` and puts the focus on `field` (may be null), enabling
// it first when it was greyed, so the refused value can be corrected.
void refuse(Prompt& prompt, QWidget* field, const char* message);

// The combo lists, in the order of TimeSpanL, TimeSpanS, TimeMaL / TimeMaM
// and TimeMaS; their lengths are the index counts of the shared table
// (kLongSpanCount, kShortSpanCount, kLongAverageCount, kShortAverageCount).
QStringList longSpanItems();           // "1日" .. "30日"
QStringList shortSpanItems();          // "1H" .. "24H"
QStringList averageItems();            // "1分計" .. "24時間平均"
QStringList shortAverageItems();       // "1分計" .. "60分平均"
QStringList powerAverageItems();       // "瞬時電力(1分計)" .. "24時間平均電力"
QStringList powerShortAverageItems();  // "瞬時電力(1分計)" .. "60分平均電力"

// "OK" and "キャンセル" at the bottom of `dlg`: OK calls onOk, Cancel rejects.
QWidget* okCancelButtons(QDialog* dlg, std::function<void()> onOk);

}  // namespace orvana::sensors::dlg
