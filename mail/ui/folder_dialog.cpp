#include "mail/ui/folder_dialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace orvana {

CFolderDialog::CFolderDialog(std::string title, std::string initialFolder, QWidget* parent,
                             int flags)
    : title_(std::move(title)),
      initial_(std::move(initialFolder)),
      parent_(parent),
      flags_(flags) {}

int CFolderDialog::DoModal() {
    QFileDialog::Options options = QFileDialog::ShowDirsOnly;
    // Qt's own dialog always has the path line and can be resized; the
    // platform dialog may have neither.
    if (flags_ & (kEditBox | kNewStyle))
        options |= QFileDialog::DontUseNativeDialog;
    QString start = QString::fromStdString(initial_);
    for (;;) {
        const QString chosen = QFileDialog::getExistingDirectory(
            parent_, QString::fromStdString(title_), start, options);
        if (chosen.isEmpty())
            return IDCANCEL;
        const QFileInfo info(chosen);
        if (!(flags_ & kFileSystemOnly) || (info.exists() && info.isDir())) {
            path_ = QDir::toNativeSeparators(info.absoluteFilePath()).toStdString();
            return IDOK;
        }
        QApplication::beep();
        start = chosen;
    }
}

}  // namespace orvana
