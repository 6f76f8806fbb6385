// The windows speak Japanese: Qt's own buttons of a question box, and one
// Japanese-capable font for everything; the folder chooser opens where the
// field points.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/question_box_reader.h"
#include "tests/support/temp_dir.h"
#include "widgets/japanese_ui.h"
#include "widgets/qt_prompt.h"

namespace orvana {
namespace {

TEST(JapaneseUi, QuestionBoxesHaveJapaneseStandardButtonsAndOneFont) {
    const JapaneseUi ui = useJapaneseUi(*qApp);
    ASSERT_TRUE(ui.translations) << "qt6-translations-l10n is installed by scripts/install-deps";
    ASSERT_FALSE(ui.font.empty()) << "a Japanese font is installed by scripts/install-deps";
    EXPECT_EQ(QApplication::font().family().toStdString(), ui.font);

    // The question a dialog asks: read its buttons while it is up, then
    // answer it.
    std::vector<std::string> texts;
    testing::readNextQuestionBox(&texts);
    QtPrompt prompt;
    EXPECT_FALSE(prompt.askOkCancel("削除しますか？"));
    EXPECT_EQ(texts, (std::vector<std::string>{"OK", "キャンセル"}));
}

TEST(JapaneseUi, FolderChooserStartsAtTheFieldsFolderOrItsNearestParent) {
    testing::TempDir dir;
    const std::string inner = dir.path() + "/a/b";
    QDir().mkpath(QString::fromStdString(inner));
    EXPECT_EQ(startFolderFor(inner), inner);
    EXPECT_EQ(startFolderFor(inner + "/"), inner);
    EXPECT_EQ(startFolderFor(inner + "/not/yet/made"), inner);
    EXPECT_EQ(startFolderFor(""), QDir::homePath().toStdString());
    EXPECT_EQ(startFolderFor("relative-nowhere"), QDir::currentPath().toStdString());
}

}  // namespace
}  // namespace orvana
