// The main window as the supervision timer and the session guard see it.
// UI thread, like the window.
#pragma once

#include "supervision/supervisor.h"

namespace orvana {

class CTarnwickDlg;

// Keeps a reference to the window, which must outlive it.
std::unique_ptr<SupervisorHost> makeWindowSupervisorHost(CTarnwickDlg& dlg);

}  // namespace orvana
