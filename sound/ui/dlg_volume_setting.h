// "音量モニタ設定": recording length, integration time and dynamic threshold
// of the sound monitor. Modal; the caller fills the members, runs exec()
// and takes them back only when it returns Accepted.
#pragma once

#include <QDialog>
#include <QLineEdit>

#include "core/prompt.h"

namespace orvana::sound {

class CDlgVolumeSetting : public QDialog {
    Q_OBJECT

  public:
    // prompt: shows the range messages (modal, inside this dialog). Must
    // outlive the dialog. UI thread.
    explicit CDlgVolumeSetting(Prompt& prompt, QWidget* parent = nullptr);

    // Copies the members into the edit boxes (done when shown).
    void UpdateControls();
    // OK: every box must hold an integer, the integration time 1..10 and
    // the dynamic threshold 1..24; otherwise the message is shown, the box
    // gets the focus and the dialog stays open with the members unchanged.
    void OnOK();

    int m_recSec = 0;
    int m_volIntegTime = 0;
    int m_dynamicThreshold = 0;

    QLineEdit* recSecEdit() const { return recSec_; }
    QLineEdit* integTimeEdit() const { return integ_; }
    QLineEdit* dynamicEdit() const { return dynamic_; }

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    bool readInt(QLineEdit* edit, int min, int max, bool ranged, int* out);

    Prompt& prompt_;
    QLineEdit* recSec_ = nullptr;
    QLineEdit* integ_ = nullptr;
    QLineEdit* dynamic_ = nullptr;
};

}  // namespace orvana::sound
