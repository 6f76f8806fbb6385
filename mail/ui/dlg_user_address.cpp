#include "mail/ui/dlg_user_address.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace orvana {

CDlgUserAddress::CDlgUserAddress(const CUserAddress& initial, QWidget* parent)
    : QDialog(parent),
      m_strAddress(initial.m_strAddress),
      m_bIjyou(initial.m_bIjyou),
      m_bTeiki(initial.m_bTeiki),
      m_bKanri(initial.m_bKanri) {
    setWindowTitle(QStringLiteral("メールアドレス設定"));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    top->addWidget(new QLabel(QStringLiteral("メールアドレス:"), this));
    address_ = new QLineEdit(QString::fromStdString(m_strAddress), this);
    address_->setMinimumWidth(320);
    top->addWidget(address_);

    auto* group = new QGroupBox(QStringLiteral("メール通知内容"), this);
    auto* flags = new QVBoxLayout(group);
    ijyou_ = new QCheckBox(QStringLiteral("異常発生時"), group);
    teiki_ = new QCheckBox(QStringLiteral("定期通知"), group);
    kanri_ = new QCheckBox(QStringLiteral("その他管理情報"), group);
    ijyou_->setChecked(m_bIjyou != 0);
    teiki_->setChecked(m_bTeiki != 0);
    kanri_->setChecked(m_bKanri != 0);
    for (QCheckBox* b : {ijyou_, teiki_, kanri_})
        flags->addWidget(b);
    top->addWidget(group);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    top->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgUserAddress::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CDlgUserAddress::OnOK() {
    // A blank-only address would become a recipient no server accepts.
    m_strAddress = address_->text().trimmed().toStdString();
    m_bIjyou = ijyou_->isChecked() ? 1 : 0;
    m_bTeiki = teiki_->isChecked() ? 1 : 0;
    m_bKanri = kanri_->isChecked() ? 1 : 0;
    accept();
}

}  // namespace orvana
