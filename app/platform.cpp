#include "app/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <cstdlib>

#include "core/headless_prompt.h"
#include "demo/demo_power.h"
#include "demo/demo_session.h"
#include "demo/demo_settings.h"
#include "demo/maildir_smtp_client.h"
#include "mail/http_client.h"
#include "mail/network_state.h"
#include "mail/outbox.h"
#include "mail/smtp_client.h"
#include "orvana/build_config.h"
#include "supervision/cleanup_thread.h"
#include "supervision/power_status.h"
#include "supervision/session_guard.h"
#include "supervision/session_watch.h"
#include "supervision/shutdown_control.h"
#include "widgets/qt_prompt.h"
#if ORVANA_WITH_SOUND
#include "demo/demo_sound.h"
#include "sound/gst_wave_input.h"
#include "sound/process_runner.h"
#endif
#if ORVANA_WITH_CAMERA
#include "camera/camera_source.h"
#endif
#if ORVANA_WITH_SENSORS
#include "devlib/device_library_loader.h"
#include "sensors/owl_database.h"
#endif

namespace orvana {
namespace {

// The manual ships in docs/: installed beside the program, or in the
// source tree of a build that was never installed.
std::string findManual() {
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        exeDir + QStringLiteral("/../share/doc/orvana/manual.html"),
        exeDir + QStringLiteral("/../docs/manual.html"),
        QString::fromUtf8(build::kSourceDir) + QStringLiteral("/docs/manual.html"),
    };
    for (const QString& c : candidates)
        if (QFileInfo::exists(c))
            return QFileInfo(c).absoluteFilePath().toStdString();
    return candidates.back().toStdString();
}

// The user's state folder of the program: $XDG_STATE_HOME (default
// ~/.local/state) + "/Quellor/orvana".
std::string stateFolder() {
    const QByteArray xdg = qgetenv("XDG_STATE_HOME");
    const QString base = !xdg.isEmpty() && QDir::isAbsolutePath(QString::fromLocal8Bit(xdg))
                             ? QString::fromLocal8Bit(xdg)
                             : QDir::homePath() + QStringLiteral("/.local/state");
    return (base + QStringLiteral("/Quellor/orvana")).toStdString();
}

// What the real program and the demo share: the prompt, the desktop folder,
// the manual.
void commonServices(Services& s, bool headless) {
    s.makePrompt = [headless](EventLog& log, QWidget* window) -> std::unique_ptr<Prompt> {
        if (headless)
            return std::make_unique<HeadlessPrompt>(log);
        return std::make_unique<QtPrompt>(window);
    };
    s.headless = headless;
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty())
        desktop = QDir::homePath() + QStringLiteral("/Desktop");
    s.desktopDir = desktop.toStdString();
    s.manualPath = findManual();
}

}  // namespace

Services makeSystemServices(const Overrides& overrides, bool headless) {
    Services s;
    s.clock = makeSystemClock();
    SettingsFileCheck check;
    s.store = makeQtSettingsStore(overrides.config, &check);
    if (std::string line = SettingsFileCheckLine(check); !line.empty())
        s.startupWarnings.push_back(line);
    s.fallbackLogDir = stateFolder() + "/log";
    commonServices(s, headless);

    // Supervision: power supply, power-off and reboot, logind, housekeeping.
    s.power = makeSysfsPowerSource(overrides.sysfsRoot());
    s.shutdown = std::make_unique<CommandShutdownControl>(
        *s.clock, makeDetachedLauncher(),
        ShutdownCommands{overrides.rebootCommand, overrides.poweroffCommand});
    s.inhibitor = std::make_unique<LogindInhibitor>(systemBusIfPresent());
    s.systemBus = [] { return systemBusIfPresent(); };
    s.fileTimes = makeStatxFileTimes();

    // Mail: SMTP and HTTP over libcurl, the network gate on sysfs.
    s.smtp = makeCurlSmtpClient();
    s.newSmtpClient = [] { return makeCurlSmtpClient(); };
    s.http = makeCurlHttpClient();
    s.network = makeSysfsNetworkState(overrides.sysfsRoot());
    s.outboxDir =
        outboxFolder(overrides.outbox, std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));

    // What the monitor kinds use.
#if ORVANA_WITH_SOUND
    sound::GstWaveInputOptions audio;
    audio.source = overrides.audioSource;
    s.backends.put<sound::WaveInputFactory>(sound::makeGstWaveInputFactory(audio));
    s.backends.put<sound::ProcessRunner>(sound::makeProcessRunner());
#endif
#if ORVANA_WITH_CAMERA
    // The camera list: ORVANA_CAMERAS, else the settings file's list
    // ("Cameras"/"Sources", network cameras too), else the device monitor.
    s.backends.put<camera::CameraSource>(camera::makeSystemCameraSource(
        overrides.cameras, s.store->getString("Cameras", "Sources", "")));
#endif
#if ORVANA_WITH_SENSORS
    // The meter and counter libraries: beside the program's libraries, then
    // the system's search path.
    s.backends.put<DeviceLibraryLoader>(makeProgramLibraryLoader());
    // The OWL vendor's database, read-only (ORVANA_OWL_DB or the vendor's
    // folder under the Wine prefix).
    s.backends.put<VendorDatabase>(makeSqliteVendorDatabase(owlDatabasePath(overrides.owlDb)));
#endif

    s.overrides = overrides;
    s.echoToStdout = headless;
    return s;
}

Services makeDemoServices(demo::DemoSession& demo, const Overrides& overrides, bool headless) {
    const demo::DemoPaths& paths = demo.paths();
    Services s;
    s.clock = makeSystemClock();
    // The demo's own settings file; the user's (ORVANA_CONFIG or the
    // per-user file) is never opened.
    SettingsFileCheck check;
    s.store = makeQtSettingsStore(paths.settings, &check);
    if (std::string line = SettingsFileCheckLine(check); !line.empty())
        s.startupWarnings.push_back(line);
    s.fallbackLogDir = paths.log;
    commonServices(s, headless);
    s.desktopDir = paths.root;
    // With a display, the windows side by side rather than in one pile.
    if (QScreen* screen = QGuiApplication::primaryScreen(); screen && !headless) {
        const QRect work = screen->availableGeometry();
        demo::writeDemoWindowPlaces(*s.store, work.left(), work.top(), work.width(), work.height());
    }

    // A battery-powered machine whose mains come and go on the demo's
    // schedule. The demo never powers the machine off or restarts it (the
    // commands are blank), holds up no shutdown and follows no logind
    // signal: it is not watching this machine.
    s.power = demo::makeDemoPowerSource(demo.schedule(), demo.elapsedFunction());
    s.shutdown = std::make_unique<CommandShutdownControl>(*s.clock, makeDetachedLauncher(),
                                                          ShutdownCommands{" ", " "});
    s.inhibitor = makeNoInhibitor();
    s.fileTimes = makeStatxFileTimes();

    // Mail: into the Maildir folder, which needs no network; or to the
    // SMTP server given with --smtp (the own-server account the demo's
    // settings name), behind the real network gate.
    const std::string maildir = paths.maildir;
    if (demo.options().smtp.empty()) {
        s.smtp = demo::makeMaildirSmtpClient(maildir);
        s.newSmtpClient = [maildir] { return demo::makeMaildirSmtpClient(maildir); };
        s.network = demo::makeLocalDeliveryNetworkState();
    } else {
        s.smtp = makeCurlSmtpClient();
        s.newSmtpClient = [] { return makeCurlSmtpClient(); };
        s.network = makeSysfsNetworkState(overrides.sysfsRoot());
    }
    s.http = makeCurlHttpClient();
    // The demo's own outbox: its mails never join the real program's.
    s.outboxDir = paths.outbox;

    // The monitors' devices.
#if ORVANA_WITH_SOUND
    // A test source that bursts loud on the schedule.
    sound::GstWaveInputOptions audio;
    auto burst = std::make_shared<demo::DemoSound>();
    audio.source = demo::DemoSound::description();
    audio.onPipeline = burst->hook();
    demo.onSound([burst](bool loud) { burst->setLoud(loud); });
    s.backends.put<sound::WaveInputFactory>(sound::makeGstWaveInputFactory(audio));
    s.backends.put<sound::ProcessRunner>(sound::makeProcessRunner());
#endif
#if ORVANA_WITH_CAMERA
    s.backends.put<camera::CameraSource>(camera::makeListedCameraSource(demo::kDemoCameras));
#endif
#if ORVANA_WITH_SENSORS
    // The demo's meter and counter libraries only, through the loader the
    // real ones go through; never the system's.
    s.backends.put<DeviceLibraryLoader>(
        std::make_unique<FolderLibraryLoader>(demo::DemoSession::libraryFolders(), false));
    s.backends.put<VendorDatabase>(makeSqliteVendorDatabase(paths.vendorDb));
#endif

    s.overrides = overrides;
    s.overrides.config = paths.settings;
    // The Maildir delivery stands in for the maker's account: the start-up
    // overview names the folder where the mails go.
    if (demo.options().smtp.empty())
        s.overrides.makerSmtp = maildir;
    // The console shows the event list also with a window: the person who
    // started the demo from a terminal sees it there too.
    s.echoToStdout = true;
    return s;
}

}  // namespace orvana
