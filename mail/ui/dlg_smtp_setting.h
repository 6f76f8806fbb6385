// "メール送信サーバーの設定": the user's own SMTP server. Modal; opened by the
// global settings dialog's "設定..." beside "独自アドレス：".
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <string>

namespace orvana {

// The six own-server values ("SMTP", "PORTNUM", "ENABLESSL", "USERNAME",
// "PASSWORD", "FROM").
struct SmtpServerValues {
    std::string smtp;
    int portNum = 1;  // 0 = 25, 1 = 587 with authentication
    int enableSsl = 0;
    std::string userName;
    std::string password;
    std::string from;
};

class DlgSmtpSetting : public QDialog {
    Q_OBJECT

  public:
    // The controls start with initial. UI thread.
    explicit DlgSmtpSetting(const SmtpServerValues& initial, QWidget* parent = nullptr);

    // "25番ポート" disables the login name and password edits, "587番ポート
    // （認証付）" enables them again.
    void OnBnClickedPort25();
    void OnBnClickedPort587();
    // OK: the controls into m_values, then accepted. No checks: the test
    // mail and the sender say what is missing.
    void OnOK();

    SmtpServerValues m_values;

    QLineEdit* serverEdit() const { return server_; }
    QRadioButton* port25Radio() const { return port25_; }
    QRadioButton* port587Radio() const { return port587_; }
    QCheckBox* sslBox() const { return ssl_; }
    QLineEdit* userEdit() const { return user_; }
    QLineEdit* passwordEdit() const { return password_; }
    QLineEdit* fromEdit() const { return from_; }

  private:
    void enableLogin();
    QLineEdit* server_ = nullptr;
    QRadioButton* port25_ = nullptr;
    QRadioButton* port587_ = nullptr;
    QCheckBox* ssl_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* from_ = nullptr;
};

}  // namespace orvana
