#include "widgets/japanese_ui.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace orvana {

JapaneseUi useJapaneseUi(QApplication& app) {
    JapaneseUi result;
    // A child of the application: it lives as long as the texts it gives.
    auto* qt = new QTranslator(&app);
    if (qt->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                 QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QApplication::installTranslator(qt))
        result.translations = true;
    else
        delete qt;

    const QStringList families = QFontDatabase::families();
    for (const char* wanted : {"Noto Sans CJK JP", "IPAPGothic", "IPAGothic"}) {
        const QString family = QString::fromUtf8(wanted);
        if (families.contains(family)) {
            QFont font = QApplication::font();
            font.setFamily(family);
            QApplication::setFont(font);
            result.font = wanted;
            break;
        }
    }
    return result;
}

std::string startFolderFor(const std::string& field) {
    QString path = QString::fromStdString(field).trimmed();
    while (!path.isEmpty()) {
        const QFileInfo info(path);
        if (info.isDir())
            return QDir::cleanPath(info.absoluteFilePath()).toStdString();
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            break;
        path = parent;
    }
    return QDir::homePath().toStdString();
}

}  // namespace orvana
