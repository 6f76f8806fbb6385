#include "sensors/ui/dlg_sensor_setting.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <cmath>

#include "core/status_text.h"
#include "sensors/graph/trend_graph.h"

namespace orvana::sensors::dlg {

// The loading takes an index as good when its list has that item.
static_assert(kLongSpanCount == static_cast<int>(TimeSpanL.size()) &&
              kShortSpanCount == static_cast<int>(TimeSpanS.size()));

QLineEdit* numberEdit(QWidget* parent, int id) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QStringLiteral("edit%1").arg(id));
    e->setMaximumWidth(90);
    return e;
}

QCheckBox* checkBox(QWidget* parent, int id, const char* text) {
    auto* c = new QCheckBox(QString::fromUtf8(text), parent);
    c->setObjectName(QStringLiteral("check%1").arg(id));
    return c;
}

QComboBox* comboBox(QWidget* parent, int id, const QStringList& items) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QStringLiteral("combo%1").arg(id));
    c->addItems(items);
    return c;
}

QLabel* label(QWidget* parent, const char* text) {
    return new QLabel(QString::fromUtf8(text), parent);
}

void putDouble(QLineEdit* edit, double v) {
    edit->setText(QString::number(v, 'g', 15));
}

void putIndex(QComboBox* combo, int index) {
    if (combo->count() == 0)
        return;
    combo->setCurrentIndex(std::clamp(index, 0, combo->count() - 1));
}

void putCheck(QCheckBox* check, int flag) {
    check->setChecked(flag != 0);
}

void refuse(Prompt& prompt, QWidget* field, const char* message) {
    prompt.message(message);
    if (!field)
        return;
    // A greyed field still holds a value that OK saves; it must be
    // reachable to be corrected.
    field->setEnabled(true);
    field->setFocus(Qt::OtherFocusReason);
    if (auto* e = qobject_cast<QLineEdit*>(field))
        e->selectAll();
}

namespace {

bool parse(QLineEdit* edit, double* v) {
    bool ok = false;
    *v = edit->text().trimmed().toDouble(&ok);
    return ok && std::isfinite(*v);
}

}  // namespace

bool getDouble(Prompt& prompt, QLineEdit* edit, double* out) {
    double v = 0;
    if (!parse(edit, &v)) {
        refuse(prompt, edit, "数値を入力してください。");
        return false;
    }
    *out = v;
    return true;
}

bool getDouble(Prompt& prompt, QLineEdit* edit, double min, double max, double* out) {
    double v = 0;
    if (!parse(edit, &v)) {
        refuse(prompt, edit, "数値を入力してください。");
        return false;
    }
    if (v < min || v > max) {
        refuse(prompt, edit,
               strprintf("%g から %g までの数値を入力してください。", min, max).c_str());
        return false;
    }
    *out = v;
    return true;
}

QStringList longSpanItems() {
    return {"1日", "2日", "3日", "7日", "14日", "30日"};
}

QStringList shortSpanItems() {
    return {"1H", "3H", "6H", "12H", "24H"};
}

QStringList averageItems() {
    return {"1分計",     "5分平均",   "15分平均",   "30分平均",  "1時間平均",
            "2時間平均", "6時間平均", "12時間平均", "24時間平均"};
}

QStringList shortAverageItems() {
    return {"1分計", "5分平均", "15分平均", "30分平均", "60分平均"};
}

QStringList powerAverageItems() {
    return {"瞬時電力(1分計)", "5分平均電力",   "15分平均電力",   "30分平均電力",  "1時間平均電力",
            "2時間平均電力",   "6時間平均電力", "12時間平均電力", "24時間平均電力"};
}

QStringList powerShortAverageItems() {
    return {"瞬時電力(1分計)", "5分平均電力", "15分平均電力", "30分平均電力", "60分平均電力"};
}

QWidget* okCancelButtons(QDialog* dlg, std::function<void()> onOk) {
    auto* box = new QDialogButtonBox(dlg);
    box->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    box->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    QObject::connect(box, &QDialogButtonBox::accepted, dlg, std::move(onOk));
    QObject::connect(box, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    return box;
}

}  // namespace orvana::sensors::dlg
