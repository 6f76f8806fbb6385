#include "app/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "orvana/build_config.h"

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

}  // namespace

Services makeSystemServices(const Overrides& overrides, bool headless) {
    Services s;
    s.clock = makeSystemClock();
    s.store = makeQtSettingsStore(overrides.config);
    s.overrides = overrides;
    s.headless = headless;
    s.echoToStdout = headless;
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty())
        desktop = QDir::homePath() + QStringLiteral("/Desktop");
    s.desktopDir = desktop.toStdString();
    s.manualPath = findManual();
    return s;
}

}  // namespace orvana
