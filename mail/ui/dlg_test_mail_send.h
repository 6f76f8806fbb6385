// "テストメール送信": asks for the destination of a test mail. Modal; opened
// by the global settings dialog's "メール送信テスト...".
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <string>

#include "core/prompt.h"

namespace orvana {

class CDlgTestMailSend : public QDialog {
    Q_OBJECT

  public:
    // The edit starts with initialAddress. prompt must outlive the dialog.
    // UI thread.
    CDlgTestMailSend(Prompt& prompt, const std::string& initialAddress, QWidget* parent = nullptr);

    // OK: accepts a non-empty address holding a "." and an "@" (blanks
    // around it dropped) into m_strAddress; anything else gets
    // "メールアドレスを正しく入力してください。" and the dialog stays open.
    void OnOK();

    std::string m_strAddress;
    QLineEdit* addressEdit() const { return address_; }

  private:
    Prompt& prompt_;
    QLineEdit* address_ = nullptr;
};

}  // namespace orvana
