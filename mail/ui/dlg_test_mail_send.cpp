#include "mail/ui/dlg_test_mail_send.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace orvana {

CDlgTestMailSend::CDlgTestMailSend(Prompt& prompt, const std::string& initialAddress,
                                   QWidget* parent)
    : QDialog(parent), m_strAddress(initialAddress), prompt_(prompt) {
    setWindowTitle(QStringLiteral("テストメール送信"));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    top->addWidget(new QLabel(QStringLiteral("メールアドレス:"), this));
    address_ = new QLineEdit(QString::fromStdString(initialAddress), this);
    address_->setMinimumWidth(320);
    top->addWidget(address_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    top->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgTestMailSend::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CDlgTestMailSend::OnOK() {
    const std::string text = address_->text().trimmed().toStdString();
    if (text.empty() || text.find('.') == std::string::npos ||
        text.find('@') == std::string::npos) {
        prompt_.message("メールアドレスを正しく入力してください。");
        return;
    }
    m_strAddress = text;
    accept();
}

}  // namespace orvana
