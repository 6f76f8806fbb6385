// orvana: start-up of the watch-keeping program.
#include <signal.h>
#include <sys/socket.h>
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
#include "orvana/build_config.h"

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
        "  --version    show the version and exit\n\n"
        "Environment overrides (read once at start-up):\n");
    for (const auto& info : orvana::kOverrideInfo)
        std::printf("  %-24s %s\n", info.name, info.meaning);
    std::printf("\nCtrl-C (SIGINT) ends the program like the \"終了\" button.\n");
}

bool hasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

}  // namespace

int main(int argc, char** argv) {
    bool headless = false;
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
        if (a == "--headless") {
            headless = true;
        } else if (a.rfind("-platform", 0) != 0 && a.rfind("--", 0) == 0) {
            std::fprintf(stderr, "orvana: unknown option %s (see --help)\n", a.c_str());
            return 2;
        }
    }
    if (!hasDisplay())
        headless = true;
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // The user's locale for every category.
    std::setlocale(LC_ALL, "");

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quellor"));
    QApplication::setApplicationName(QStringLiteral("orvana"));
    QApplication::setApplicationVersion(QString::fromUtf8(orvana::build::kVersion));
    // Monitor windows are top-level windows of their own; the program ends
    // with the main window, not with the last window.
    QApplication::setQuitOnLastWindowClosed(false);

    // One instance per user: a second start ends at once, before it has
    // touched any file of the first one.
    QString runtimeDir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtimeDir.isEmpty())
        runtimeDir = QDir::tempPath();
    QLockFile instanceLock(runtimeDir + QStringLiteral("/orvana.lock"));
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
    orvana::CTarnwickDlg dlg(orvana::makeSystemServices(overrides, headless));

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
    app.exec();
    return 0;
}
