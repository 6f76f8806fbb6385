#include "widgets/qt_prompt.h"

#include <QMessageBox>
#include <QTimer>

namespace orvana {
namespace {
const QString kTitle = QStringLiteral("orvana");
}

void QtPrompt::notify(const std::string& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, kTitle, QString::fromStdString(text),
                                QMessageBox::Ok, parent_.data());
    box->setAttribute(Qt::WA_DeleteOnClose);  // owned by Qt from here on
    box->setModal(false);
    box->setWindowModality(Qt::NonModal);
    box->show();
    QPointer<QMessageBox> guard(box);
    QTimer::singleShot(autoCloseMs_, box, [guard] {
        if (guard)
            guard->close();
    });
}

void QtPrompt::message(const std::string& text) {
    QMessageBox box(QMessageBox::Information, kTitle, QString::fromStdString(text), QMessageBox::Ok,
                    parent_.data());
    box.exec();
}

bool QtPrompt::askOkCancel(const std::string& text) {
    QMessageBox box(QMessageBox::Question, kTitle, QString::fromStdString(text),
                    QMessageBox::Ok | QMessageBox::Cancel, parent_.data());
    return box.exec() == QMessageBox::Ok;
}

}  // namespace orvana
