// Reads the buttons of the question box a modal call is about to show, then
// answers it: for tests that run the real QtPrompt. UI thread, header-only,
// needs a QApplication.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace orvana::testing {

// Call just before the call that shows the box. The texts (without '&'
// accelerators, sorted) land in *texts once the box is up; the box is then
// answered with `answer`. Nothing happens when no box is visible by then.
inline void readNextQuestionBox(std::vector<std::string>* texts,
                                QMessageBox::StandardButton answer = QMessageBox::Cancel) {
    QTimer::singleShot(0, [texts, answer] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible())
                continue;
            for (const QAbstractButton* b : box->buttons())
                texts->push_back(b->text().remove(QLatin1Char('&')).toStdString());
            std::sort(texts->begin(), texts->end());
            if (QAbstractButton* b = box->button(answer))
                b->click();
        }
    });
}

}  // namespace orvana::testing
