// What a monitor kind is given when it joins the main window: the host it
// reports to, the platform backends, the parent of its windows, and the
// hooks through which it adds to the main window's own dialogs.
#pragma once

#include <functional>

#include "core/attachment_converter.h"
#include "core/backends.h"
#include "core/monitor_host.h"
#include "core/monitor_registry.h"
#include "widgets/converter_settings.h"

class QWidget;

namespace orvana {

// Pieces of other windows that a monitor kind provides. Pointers are owned
// by the kind's monitor and stay valid as long as the registry holds it;
// null means no kind provides that piece.
struct WindowHooks {
    // The converter settings dialog behind the settings dialog's
    // "3GP変換設定..." (the sound monitor's).
    ConverterSettingsEditor* converterEditor = nullptr;
    // Converts recordings for mails on the sender's thread (the sound
    // monitor's): see core/attachment_converter.h.
    AttachmentConverter* attachmentConverter = nullptr;
};

// Every reference outlives the registry the kind is added to.
struct MonitorContext {
    MonitorHost& host;   // Report, RegistMail, settings, store, clock, prompt
    Backends& backends;  // the production backends or the tests' doubles
    QWidget* parent;     // parent of the monitor windows (the main window)
    WindowHooks& hooks;  // filled by the kinds that provide a piece
};

// Adds one or more monitor kinds to a registry. Each kind's folder declares
// one (see docs/ARCHITECTURE.md, "Adding a monitor"). UI thread.
using MonitorRegistration = std::function<void(MonitorRegistry&, MonitorContext&)>;

}  // namespace orvana
