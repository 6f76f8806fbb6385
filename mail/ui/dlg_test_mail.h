// "一斉メール連絡": a free text mailed by hand to the recipients ticked in
// its list. Modal; opened by the main window's "メール連絡...".
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <string>
#include <vector>

#include "core/prompt.h"
#include "core/user_address.h"

namespace orvana {

class CDlgTestMail : public QDialog {
    Q_OBJECT

  public:
    // recipients: the main window's list; "送信" writes the ticks into its
    // m_bTest, so it and prompt must outlive the dialog. The list shows
    // every address ticked as its m_bTest. UI thread.
    CDlgTestMail(std::vector<CUserAddress>& recipients, Prompt& prompt, const std::string& subject,
                 const std::string& body, QWidget* parent = nullptr);

    // "送信": every line's tick into its recipient's m_bTest; with no line
    // ticked "宛先が指定されていません。" and the dialog stays open, else the
    // subject and body are taken into the members and the dialog accepted.
    void OnBnClickedSend();

    std::string m_strSubject;
    std::string m_strBody;  // CR LF line ends

    QListWidget* recipientList() const { return list_; }
    QLineEdit* subjectEdit() const { return subject_; }
    QPlainTextEdit* bodyEdit() const { return body_; }
    QPushButton* sendButton() const { return send_; }

  private:
    std::vector<CUserAddress>& recipients_;
    Prompt& prompt_;
    QListWidget* list_ = nullptr;
    QLineEdit* subject_ = nullptr;
    QPlainTextEdit* body_ = nullptr;
    QPushButton* send_ = nullptr;
};

}  // namespace orvana
