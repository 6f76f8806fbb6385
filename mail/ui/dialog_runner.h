// How a modal dialog is run. The program runs it with exec(); tests put a
// function here that sets the controls, calls the dialog's handlers and
// returns the result, so no test ever waits in a modal loop.
#pragma once

#include <QDialog>
#include <functional>

namespace orvana {

// Runs dlg modally and returns its result (QDialog::Accepted or Rejected).
// The dialog stays owned by the caller. UI thread.
using DialogRunner = std::function<int(QDialog& dlg)>;

// The production runner: dlg.exec().
inline int execDialog(QDialog& dlg) {
    return dlg.exec();
}

}  // namespace orvana
