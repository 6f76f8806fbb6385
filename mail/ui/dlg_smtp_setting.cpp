#include "mail/ui/dlg_smtp_setting.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

namespace orvana {

DlgSmtpSetting::DlgSmtpSetting(const SmtpServerValues& initial, QWidget* parent)
    : QDialog(parent), m_values(initial) {
    setWindowTitle(QStringLiteral("メール送信サーバーの設定"));
    setModal(true);
    auto* grid = new QGridLayout(this);
    int r = 0;
    server_ = new QLineEdit(QString::fromStdString(initial.smtp), this);
    server_->setMinimumWidth(280);
    grid->addWidget(new QLabel(QStringLiteral("SMTPサーバ名："), this), r, 0);
    grid->addWidget(server_, r++, 1);

    port25_ = new QRadioButton(QStringLiteral("25番ポート"), this);
    port587_ = new QRadioButton(QStringLiteral("587番ポート（認証付）"), this);
    auto* ports = new QButtonGroup(this);
    ports->addButton(port25_, 0);
    ports->addButton(port587_, 1);
    (initial.portNum == 0 ? port25_ : port587_)->setChecked(true);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(port25_);
    portRow->addWidget(port587_);
    grid->addWidget(new QLabel(QStringLiteral("SMTPポート番号："), this), r, 0);
    grid->addLayout(portRow, r++, 1);

    ssl_ = new QCheckBox(QStringLiteral("SSL/TLS保護"), this);
    ssl_->setChecked(initial.enableSsl != 0);
    grid->addWidget(ssl_, r++, 1);

    user_ = new QLineEdit(QString::fromStdString(initial.userName), this);
    grid->addWidget(new QLabel(QStringLiteral("ログイン名："), this), r, 0);
    grid->addWidget(user_, r++, 1);
    password_ = new QLineEdit(QString::fromStdString(initial.password), this);
    password_->setEchoMode(QLineEdit::Password);
    grid->addWidget(new QLabel(QStringLiteral("パスワード："), this), r, 0);
    grid->addWidget(password_, r++, 1);
    from_ = new QLineEdit(QString::fromStdString(initial.from), this);
    grid->addWidget(new QLabel(QStringLiteral("差出人のアドレス："), this), r, 0);
    grid->addWidget(from_, r++, 1);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    grid->addWidget(buttons, r, 0, 1, 2);

    connect(port25_, &QRadioButton::clicked, this, &DlgSmtpSetting::OnBnClickedPort25);
    connect(port587_, &QRadioButton::clicked, this, &DlgSmtpSetting::OnBnClickedPort587);
    connect(buttons, &QDialogButtonBox::accepted, this, &DlgSmtpSetting::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    enableLogin();
}

void DlgSmtpSetting::enableLogin() {
    const bool login = !port25_->isChecked();
    user_->setEnabled(login);
    password_->setEnabled(login);
}

void DlgSmtpSetting::OnBnClickedPort25() {
    port25_->setChecked(true);
    enableLogin();
}

void DlgSmtpSetting::OnBnClickedPort587() {
    port587_->setChecked(true);
    enableLogin();
}

void DlgSmtpSetting::OnOK() {
    // Blanks around a host or an address are never part of it.
    m_values.smtp = server_->text().trimmed().toStdString();
    m_values.portNum = port25_->isChecked() ? 0 : 1;
    m_values.enableSsl = ssl_->isChecked() ? 1 : 0;
    m_values.userName = user_->text().toStdString();
    m_values.password = password_->text().toStdString();
    m_values.from = from_->text().trimmed().toStdString();
    accept();
}

}  // namespace orvana
