// "メールアドレス設定": one recipient's address and notice flags. Modal;
// opened by the global settings dialog for "追加..." and "編集...".
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <string>

#include "core/user_address.h"

namespace orvana {

class CDlgUserAddress : public QDialog {
    Q_OBJECT

  public:
    // The controls start with initial's address and flags (m_bTest is not
    // shown and not touched). UI thread.
    explicit CDlgUserAddress(const CUserAddress& initial, QWidget* parent = nullptr);

    // OK: copies the controls into the members (the address without
    // surrounding blanks) and accepts. Any address, empty included, is
    // accepted; the caller decides what an empty one means.
    void OnOK();

    std::string m_strAddress;
    int m_bIjyou = 0;
    int m_bTeiki = 0;
    int m_bKanri = 0;

    QLineEdit* addressEdit() const { return address_; }
    QCheckBox* ijyouBox() const { return ijyou_; }
    QCheckBox* teikiBox() const { return teiki_; }
    QCheckBox* kanriBox() const { return kanri_; }

  private:
    QLineEdit* address_ = nullptr;
    QCheckBox* ijyou_ = nullptr;
    QCheckBox* teiki_ = nullptr;
    QCheckBox* kanri_ = nullptr;
};

}  // namespace orvana
