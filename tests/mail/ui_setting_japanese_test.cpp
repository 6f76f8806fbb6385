// The settings dialog in Japanese on a real display: its own buttons, and
// Qt's standard buttons of the question it asks when the keep period gets
// shorter, with Qt's Japanese translations loaded as the program loads them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "mail/ui/dlg_setting.h"
#include "sound/ui/dlg_3gp.h"
#include "tests/mail/ui_dialog_support.h"
#include "tests/support/question_box_reader.h"
#include "widgets/japanese_ui.h"
#include "widgets/qt_prompt.h"

namespace orvana {
namespace {

std::string plain(const QAbstractButton* b) {
    return b->text().remove(QLatin1Char('&')).toStdString();
}

TEST(SettingDialogJapanese, ItsButtonsAndTheQuestionItAsksSpeakJapanese) {
    const JapaneseUi ui = useJapaneseUi(*qApp);
    ASSERT_TRUE(ui.translations) << "qt6-translations-l10n is installed by scripts/install-deps";

    AppSettings s;
    s.dataKeepPeriod = 7;  // 30日間
    s.dataDir = "/tmp/orvana-data";
    QtPrompt prompt;
    testing::FakeSmtpClient smtp;
    testing::VirtualClock clock;
    testing::NoConverter converter;
    sound::Dlg3gpEditor converterEditor{prompt, converter};
    CDlgSetting d(s, MonitorAvailability{},
                  SettingDialogServices{prompt, smtp, clock, &converterEditor, TestMailAccount{},
                                        [] { return std::string(); }});
    d.show();

    std::vector<std::string> own;
    for (const QDialogButtonBox* box : d.findChildren<QDialogButtonBox*>())
        for (const QAbstractButton* b : box->buttons())
            own.push_back(plain(b));
    std::sort(own.begin(), own.end());
    EXPECT_EQ(own, (std::vector<std::string>{"OK", "キャンセル"}));

    // A shorter keep period asks first: read the question's buttons while
    // it is up, then cancel it.
    std::vector<std::string> asked;
    testing::readNextQuestionBox(&asked);
    d.keepPeriodCombo()->setCurrentIndex(0);
    d.OnCbnSelchangeKeepPeriod();  // what choosing it in the list runs
    EXPECT_EQ(asked, (std::vector<std::string>{"OK", "キャンセル"}));
    EXPECT_EQ(d.keepPeriodCombo()->currentIndex(), 7) << "cancelled: the period stays";
}

}  // namespace
}  // namespace orvana
