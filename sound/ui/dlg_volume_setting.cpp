#include "sound/ui/dlg_volume_setting.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <limits>

#include "core/status_text.h"

namespace orvana::sound {

CDlgVolumeSetting::CDlgVolumeSetting(Prompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt) {
    setWindowTitle(QStringLiteral("音量モニタ設定"));
    setModal(true);
    auto* grid = new QGridLayout(this);
    integ_ = new QLineEdit(this);
    recSec_ = new QLineEdit(this);
    dynamic_ = new QLineEdit(this);
    integ_->setObjectName("edit1006");
    recSec_->setObjectName("edit1005");
    dynamic_->setObjectName("edit1007");
    // Top to bottom: integration time, recording length, dynamic threshold.
    const struct {
        const char* label;
        QLineEdit* edit;
        const char* unit;
    } rows[] = {
        {"モニタ音量の累積時間:", integ_, "[秒間]"},
        {"音声ファイルの録音時間:", recSec_, "[秒間]"},
        {"動的しきい値：平均値 +", dynamic_, "[dB]"},
    };
    int r = 0;
    for (const auto& row : rows) {
        grid->addWidget(new QLabel(QString::fromUtf8(row.label), this), r, 0);
        grid->addWidget(row.edit, r, 1);
        grid->addWidget(new QLabel(QString::fromUtf8(row.unit), this), r, 2);
        ++r;
    }
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgVolumeSetting::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    grid->addWidget(buttons, r, 0, 1, 3);
}

void CDlgVolumeSetting::showEvent(QShowEvent* e) {
    UpdateControls();
    QDialog::showEvent(e);
}

void CDlgVolumeSetting::UpdateControls() {
    recSec_->setText(QString::number(m_recSec));
    integ_->setText(QString::number(m_volIntegTime));
    dynamic_->setText(QString::number(m_dynamicThreshold));
}

bool CDlgVolumeSetting::readInt(QLineEdit* edit, int min, int max, bool ranged, int* out) {
    bool ok = false;
    const int v = edit->text().trimmed().toInt(&ok);
    if (!ok) {
        prompt_.message("整数を入力してください。");
    } else if (ranged && (v < min || v > max)) {
        prompt_.message(strprintf("%d から %d までの整数を入力してください。", min, max));
        ok = false;
    }
    if (!ok) {
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    *out = v;
    return true;
}

void CDlgVolumeSetting::OnOK() {
    int rec = 0, integ = 0, dyn = 0;
    constexpr int kAny = std::numeric_limits<int>::max();
    if (!readInt(recSec_, -kAny, kAny, false, &rec))
        return;
    if (!readInt(integ_, 1, 10, true, &integ))
        return;
    if (!readInt(dynamic_, 1, 24, true, &dyn))
        return;
    m_recSec = rec;
    m_volIntegTime = integ;
    m_dynamicThreshold = dyn;
    accept();
}

}  // namespace orvana::sound
