// orvana: start-up of the watch-keeping program.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/platform.h"
#include "app/tarnwick_dlg.h"
#include "core/overrides.h"
#include "demo/demo_options.h"
#include "demo/demo_session.h"
#include "orvana/build_config.h"
#include "widgets/japanese_ui.h"

namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the UI thread does the rest.
void onSignal(int signo) {
    const unsigned char b = static_cast<unsigned char>(signo);
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &b, 1);
}

void printHelp() {
    std::printf(
        "Usage: orvana [options]\n\n"
        "Watches sound, mains power, cameras and USB sensors of this PC and reports\n"
        "every abnormal and recovered condition to its event log and by e-mail.\n\n"
        "Options:\n"
        "  --headless   run without a window (Qt's offscreen platform) and write\n"
        "               every event-list line to standard output; this is also the\n"
        "               mode when neither DISPLAY nor WAYLAND_DISPLAY is set\n"
        "  --help       show this text and exit\n"
        "  --version    show the version and exit\n"
        "%s\n"
        "Environment overrides (read once at start-up):\n",
        orvana::demo::demoHelpText());
    for (const auto& info : orvana::kOverrideInfo)
        std::printf("  %-24s %s\n", info.name, info.meaning);
    std::printf(
        "\nCtrl-C (SIGINT) ends the program like the \"終了\" button.\n"
        "Mail not yet sent stays in the outbox folder and goes out after the next start.\n");
}

// Qt's offscreen platform says so every time a window is raised; without a
// display that is the normal case, not news for the person at the console.
QtMessageHandler defaultHandler = nullptr;
void quietHeadlessMessages(QtMsgType type, const QMessageLogContext& context, const QString& msg) {
    if (type == QtWarningMsg && msg.startsWith(QStringLiteral("This plugin does not support")))
        return;
    if (defaultHandler)
        defaultHandler(type, context, msg);
}

// Qt wants a private runtime folder; a session without one (a service, a
// console login as root) would get a warning at every start. One of our own,
// owner-only, is what Qt would fall back to anyway.
void ensureRuntimeFolder() {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (dir && *dir)
        return;
    const std::string own = "/tmp/runtime-" + std::to_string(::getuid());
    ::mkdir(own.c_str(), 0700);
    struct stat st {};
    if (::stat(own.c_str(), &st) == 0 && st.st_uid == ::getuid()) {
        ::chmod(own.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", own.c_str(), 1);
    }
}

bool hasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

}  // namespace

int main(int argc, char** argv) {
    bool headless = false;
    orvana::demo::DemoOptions demoOptions;
    std::string optionError;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            printHelp();
            return 0;
        }
        if (a == "--version") {
            std::printf("orvana %s\n", orvana::build::kVersion);
            return 0;
        }
        if (const int used = demoOptions.take(argc, argv, i, optionError); used != 0) {
            if (used < 0) {
                std::fprintf(stderr, "orvana: %s\n", optionError.c_str());
                return 2;
            }
            i += used - 1;
        } else if (a == "--headless") {
            headless = true;
        } else if (a.rfind("-platform", 0) != 0 && a.rfind("--", 0) == 0) {
            std::fprintf(stderr, "orvana: unknown option %s (see --help)\n", a.c_str());
            return 2;
        }
    }
    if (!demoOptions.complete(optionError)) {
        std::fprintf(stderr, "orvana: %s\n", optionError.c_str());
        return 2;
    }
    // The demo's folder, devices and settings, while this is the only thread.
    std::unique_ptr<orvana::demo::DemoSession> demo;
    if (demoOptions.enabled) {
        demo = orvana::demo::DemoSession::create(demoOptions, optionError);
        if (!demo) {
            std::fprintf(stderr, "orvana: demo: %s\n", optionError.c_str());
            return 1;
        }
    }
    if (!hasDisplay())
        headless = true;
    if (headless) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        defaultHandler = qInstallMessageHandler(quietHeadlessMessages);
    }
    ensureRuntimeFolder();

    // The user's locale for every category.
    std::setlocale(LC_ALL, "");

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quellor"));
    QApplication::setApplicationName(QStringLiteral("orvana"));
    QApplication::setApplicationVersion(QString::fromUtf8(orvana::build::kVersion));
    // Monitor windows are top-level windows of their own; the program ends
    // with the main window, not with the last window.
    QApplication::setQuitOnLastWindowClosed(false);
    orvana::useJapaneseUi(app);

    // One instance per user: a second start ends at once, before it has
    // touched any file of the first one.
    QString runtimeDir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtimeDir.isEmpty())
        runtimeDir = QDir::tempPath();
    // The demo has a lock of its own: it shares nothing with the real
    // program and may run beside it.
    QLockFile instanceLock(demo ? QString::fromStdString(demo->paths().lockFile)
                                : runtimeDir + QStringLiteral("/orvana.lock"));
    instanceLock.setStaleLockTime(0);
    if (!instanceLock.tryLock(0))
        return 0;

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        std::perror("orvana: socketpair");
        return 1;
    }
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    const orvana::Overrides overrides = orvana::readOverrides();
    if (demo)
        for (const std::string& line : demo->introLines())
            std::printf("%s\n", line.c_str());
    orvana::CTarnwickDlg dlg(demo ? orvana::makeDemoServices(*demo, overrides, headless)
                                  : orvana::makeSystemServices(overrides, headless));

    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &dlg, [&dlg] {
        unsigned char signo = 0;
        if (::read(signalPipe[0], &signo, 1) != 1)
            return;
        if (signo == SIGTERM)
            dlg.OnSystemTerminate();
        else
            dlg.OnBnClickedOk();
    });
    QObject::connect(&dlg, &QDialog::finished, &app, &QCoreApplication::quit);

    dlg.OnInitDialog();
    dlg.show();
    if (demo)
        demo->start();
    // Headless, the console is all a person sees: what runs and where mail
    // goes, once; and that it ended.
    if (headless)
        for (const std::string& line : dlg.Overview())
            std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    app.exec();
    if (headless)
        std::printf("監視を終了しました。\n");
    if (demo)
        std::printf("%s\n", demo->farewellLine().c_str());
    return 0;
}
