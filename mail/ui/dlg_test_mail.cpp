#include "mail/ui/dlg_test_mail.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace orvana {

CDlgTestMail::CDlgTestMail(std::vector<CUserAddress>& recipients, Prompt& prompt,
                           const std::string& subject, const std::string& body, QWidget* parent)
    : QDialog(parent),
      m_strSubject(subject),
      m_strBody(body),
      recipients_(recipients),
      prompt_(prompt) {
    setWindowTitle(QStringLiteral("一斉メール連絡"));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("送信先："), this);
    auto* gl = new QVBoxLayout(group);
    list_ = new QListWidget(group);
    for (const CUserAddress& a : recipients_) {
        auto* item = new QListWidgetItem(QString::fromStdString(a.m_strAddress), list_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(a.m_bTest ? Qt::Checked : Qt::Unchecked);
    }
    gl->addWidget(list_);
    top->addWidget(group);

    auto* form = new QGridLayout;
    subject_ = new QLineEdit(QString::fromStdString(subject), this);
    form->addWidget(new QLabel(QStringLiteral("件名："), this), 0, 0);
    form->addWidget(subject_, 0, 1);
    // The edit works with LF; the mail keeps CR LF.
    body_ = new QPlainTextEdit(QString::fromStdString(body).replace(QStringLiteral("\r\n"), "\n"),
                               this);
    body_->setMinimumSize(360, 160);
    form->addWidget(new QLabel(QStringLiteral("本文："), this), 1, 0, Qt::AlignTop);
    form->addWidget(body_, 1, 1);
    top->addLayout(form);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    send_ = new QPushButton(QStringLiteral("送信"), this);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    send_->setAutoDefault(false);
    cancel->setAutoDefault(false);
    buttons->addWidget(send_);
    buttons->addWidget(cancel);
    top->addLayout(buttons);
    connect(send_, &QPushButton::clicked, this, &CDlgTestMail::OnBnClickedSend);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CDlgTestMail::OnBnClickedSend() {
    bool any = false;
    const int n = std::min(list_->count(), static_cast<int>(recipients_.size()));
    for (int i = 0; i < n; ++i) {
        const bool ticked = list_->item(i)->checkState() == Qt::Checked;
        recipients_[static_cast<std::size_t>(i)].m_bTest = ticked ? 1 : 0;
        any = any || ticked;
    }
    if (!any) {
        prompt_.message("宛先が指定されていません。");
        return;
    }
    m_strSubject = subject_->text().toStdString();
    QString body = body_->toPlainText();
    body.replace(QStringLiteral("\r\n"), "\n");
    body.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    m_strBody = body.toStdString();
    accept();
}

}  // namespace orvana
