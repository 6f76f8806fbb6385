#include "mail/ui/folder_dialog.h"

#include "widgets/japanese_ui.h"

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
    // Opens inside the folder of the field (or its nearest existing parent),
    // not beside it.
    QString start = QString::fromStdString(startFolderFor(initial_));
    for (;;) {
        QFileDialog dlg(parent_, QString::fromStdString(title_), start);
        dlg.setFileMode(QFileDialog::Directory);
        dlg.setOptions(options);
        dlg.setDirectory(start);
        const QString chosen = dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()
                                   ? dlg.selectedFiles().front()
                                   : QString();
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
