#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>

#include "widgets/qt_prompt.h"

namespace orvana {
namespace {

QList<QMessageBox*> openBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible())
            boxes.push_back(b);
    return boxes;
}

TEST(QtPrompt, NoticeNeverBlocksAndClosesItself) {
    QWidget owner;
    owner.show();
    QtPrompt prompt(&owner, 50);
    prompt.notify("データファイルが保存できません。");
    // Returned at once: the box is up, without a modal loop behind it.
    QList<QMessageBox*> boxes = openBoxes();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0]->text().toStdString(), "データファイルが保存できません。");
    EXPECT_FALSE(boxes[0]->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // A second notice stacks beside the first instead of waiting for it.
    prompt.notify("second");
    EXPECT_EQ(openBoxes().size(), 2);

    QElapsedTimer t;
    t.start();
    while (!openBoxes().isEmpty() && t.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(openBoxes().isEmpty());
}

TEST(QtPrompt, NoticeOutlivesAClosedOwnerSafely) {
    auto owner = std::make_unique<QWidget>();
    QtPrompt prompt(owner.get(), 30);
    prompt.notify("x");
    owner.reset();  // the box went with its parent
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 100)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    prompt.notify("after");  // no parent any more: a box of its own
    EXPECT_EQ(openBoxes().size(), 1);
    for (QMessageBox* b : openBoxes())
        b->close();
}

}  // namespace
}  // namespace orvana
