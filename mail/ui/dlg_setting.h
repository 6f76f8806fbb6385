// "全体設定": every global setting that is not a monitor's own, the
// recipient list, and the test mail. Modal; the main window's "設定..."
// opens it on a copy of its settings and takes the copy back on OK.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "core/app_settings.h"
#include "core/clock.h"
#include "core/prompt.h"
#include "mail/smtp_client.h"
#include "mail/ui/dialog_runner.h"
#include "mail/ui/test_mail.h"
#include "widgets/converter_settings.h"

namespace orvana {

// Which monitors run now, and whether this machine has a battery (power
// failures can be watched). Attachment boxes of what is missing are greyed.
struct MonitorAvailability {
    bool sound = true;
    bool camera = true;
    bool temperature = true;
    bool geiger = true;
    bool owl = true;
    bool battery = true;
};

// What the dialog uses while it is open. Every reference must outlive it.
struct SettingDialogServices {
    Prompt& prompt;    // every message and question (modal)
    SmtpClient& smtp;  // the test mail; one call at a time
    Clock& clock;      // the test mail's Date header
    // The converter dialog behind "3GP変換設定..."; null disables the button
    // (no sound monitor in this build).
    ConverterSettingsEditor* converter;
    TestMailAccount account;
    // The WAN address for the test mail; null gives an empty address.
    std::function<std::string()> ipAddress;
};

class CDlgSetting : public QDialog {
    Q_OBJECT

  public:
    // Works on a copy of current; what runs decides the greyed attachment
    // boxes. Runs the KeepAlive rule once, so a stored KeepAlive without a
    // management recipient is refused at once. UI thread.
    CDlgSetting(const AppSettings& current, const MonitorAvailability& running,
                SettingDialogServices services, QWidget* parent = nullptr);

    // The edited copy; complete after OK. The recipient list in it changes
    // at once with "追加...", "編集...", "削除".
    const AppSettings& settings() const { return m_settings; }

    // Control handlers (also what tests call).
    void OnBnClickedMakerAccount();   // maker's radio: server "設定..." off
    void OnBnClickedOwnAccount();     // "独自アドレス：": server "設定..." on
    void OnBnClickedSmtpSetting();    // server "設定...": DlgSmtpSetting
    void OnBnClickedTestMail();       // "メール送信テスト..."
    void OnLbnSelchangeAddress();     // a recipient line selected
    void OnBnClickedAdd();            // "追加..."
    void OnBnClickedEdit();           // "編集..."
    void OnBnClickedDelete();         // "削除"
    void OnBnClickedGip();            // the WAN address box
    void OnBnClicked3gp();            // "3GP変換設定..."
    void OnBnClickedCheckTK();        // "通知する"
    void OnBnClickedCheckRB();        // "実施する" (reboot)
    void OnBnClickedAutoShutdown();   // "実施する" (shutdown)
    void OnBnClickedBrowse();         // "参照..."
    void OnCbnSelchangeKeepPeriod();  // "保存期間："
    void OnCbnSelchangeKeepAlive();   // the KeepAlive interval: the KeepAlive rule
    // OK: every control into the copy, then accepted.
    void OnOK();
    // Copies the controls into the copy (the recipient list is already there).
    void UpdateData();

    // Runs the small dialogs; tests replace it.
    DialogRunner runDialog = execDialog;
    // The folder picker: the chosen folder, or nullopt on Cancel. The
    // default is CFolderDialog.
    std::function<std::optional<std::string>(const std::string& title, const std::string& initial)>
        chooseFolder;

    // Controls, for the tests.
    QRadioButton* makerRadio() const { return maker_; }
    QRadioButton* ownRadio() const { return own_; }
    QPushButton* smtpButton() const { return smtpButton_; }
    QLineEdit* subjectEdit() const { return subject_; }
    QPushButton* testMailButton() const { return testMail_; }
    QListWidget* addressList() const { return list_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* editButton() const { return edit_; }
    QPushButton* deleteButton() const { return delete_; }
    QCheckBox* attachBox(int row, int col) const {
        return attach_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
    }
    QLabel* attachRowLabel(int row) const { return rowLabels_[static_cast<std::size_t>(row)]; }
    QLabel* attachColLabel(int col) const { return colLabels_[static_cast<std::size_t>(col)]; }
    QCheckBox* gipBox() const { return gip_; }
    QCheckBox* conv3gpBox() const { return conv3gp_; }
    QPushButton* button3gp() const { return button3gp_; }
    QCheckBox* checkTKBox() const { return checkTK_; }
    QComboBox* hourTKCombo() const { return hourTK_; }
    QTimeEdit* timeTKEdit() const { return timeTK_; }
    QCheckBox* checkRBBox() const { return checkRB_; }
    QComboBox* weekRBCombo() const { return weekRB_; }
    QTimeEdit* timeRBEdit() const { return timeRB_; }
    QCheckBox* autoShutdownBox() const { return autoShutdown_; }
    QSpinBox* batteryEdit() const { return battery_; }
    QLineEdit* dataDirEdit() const { return dataDir_; }
    QPushButton* browseButton() const { return browse_; }
    QComboBox* keepPeriodCombo() const { return keepPeriod_; }
    QGroupBox* keepAliveGroup() const { return keepAliveGroup_; }
    QComboBox* hourKACombo() const { return hourKA_; }
    QLineEdit* toKAEdit() const { return toKA_; }
    // The destination the test mail asks with next (the last one entered).
    const std::string& lastTestAddress() const { return lastTestAddress_; }

  private:
    void buildControls();
    void UpdateControls();
    void fillAddressList();
    void greyAttachments(const MonitorAvailability& running);
    void enableDependents();

    AppSettings m_settings;
    SettingDialogServices services_;
    int previousKeepPeriod_ = 0;
    std::string lastTestAddress_;

    // Children of the dialog; Qt owns them.
    QRadioButton* maker_ = nullptr;
    QRadioButton* own_ = nullptr;
    QPushButton* smtpButton_ = nullptr;
    QLineEdit* subject_ = nullptr;
    QPushButton* testMail_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
    std::array<std::array<QCheckBox*, 6>, 8> attach_{};
    std::array<QLabel*, 8> rowLabels_{};
    std::array<QLabel*, 6> colLabels_{};
    QCheckBox* gip_ = nullptr;
    QCheckBox* conv3gp_ = nullptr;
    QPushButton* button3gp_ = nullptr;
    QCheckBox* checkTK_ = nullptr;
    QComboBox* hourTK_ = nullptr;
    QTimeEdit* timeTK_ = nullptr;
    QCheckBox* checkRB_ = nullptr;
    QComboBox* weekRB_ = nullptr;
    QTimeEdit* timeRB_ = nullptr;
    QCheckBox* autoShutdown_ = nullptr;
    QSpinBox* battery_ = nullptr;
    QLineEdit* dataDir_ = nullptr;
    QPushButton* browse_ = nullptr;
    QComboBox* keepPeriod_ = nullptr;
    QGroupBox* keepAliveGroup_ = nullptr;
    QComboBox* hourKA_ = nullptr;
    QLineEdit* toKA_ = nullptr;
};

}  // namespace orvana
