#include "sensors/ui/sensor_dlg.h"

#include <QCloseEvent>
#include <QResizeEvent>
#include <algorithm>

#include "widgets/snapshot.h"
#include "widgets/window_placement.h"

namespace orvana::sensors {

CSensorDlg::CSensorDlg(MonitorHost& host, std::unique_ptr<SensorMonitor> monitor,
                       SensorLayoutKind layout, QWidget* parent)
    : QDialog(parent), host_(host), monitor_(std::move(monitor)), layout_(layout) {
    setWindowTitle(QString::fromUtf8(monitor_->kindData().caption));
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setMinimumSize(kSensorMinWidth, kSensorMinHeight);
    resize(560, 320);

    notify_ = new QCheckBox(QStringLiteral("異常を通知"), this);
    settings_ = new QPushButton(QStringLiteral("設定..."), this);
    settings_->setAutoDefault(false);
    auto frame = [this] {
        auto* f = new QFrame(this);
        f->setFrameShape(QFrame::Box);
        f->setLineWidth(1);
        QPalette pal = f->palette();
        pal.setColor(QPalette::WindowText, Qt::black);
        f->setPalette(pal);
        return f;
    };
    graphLong_ = frame();
    graphShort_ = frame();

    // The label controls this layout has.
    for (const ControlRect& r : SensorLayout(layout_, width(), height())) {
        if (r.id == IDC_NOTIFY || r.id == IDC_SETTINGS || r.id == IDC_GRAPH_LONG ||
            r.id == IDC_GRAPH_SHORT)
            continue;
        auto* l = new QLabel(this);
        const bool span = r.id == IDC_SPAN_LONG || r.id == IDC_SPAN_SHORT;
        l->setAlignment((span ? Qt::AlignHCenter : Qt::AlignRight) | Qt::AlignVCenter);
        labels_[r.id] = l;
    }

    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &CSensorDlg::OnTimer);
    connect(settings_, &QPushButton::clicked, this, &CSensorDlg::OnBnClickedButton1);

    monitor_->hooks().updateData = [this] { UpdateData(); };
    monitor_->hooks().placement = [this] { return placementOf(*this); };
}

CSensorDlg::~CSensorDlg() {
    timer_.stop();
    monitor_->Close();
    if (initialised_)
        SaveSettingBeforeClose();
    monitor_->hooks() = SensorMonitor::Hooks();
}

QLabel* CSensorDlg::label(int id) const {
    const auto it = labels_.find(id);
    return it == labels_.end() ? nullptr : it->second;
}

void CSensorDlg::OnInitDialog() {
    monitor_->LoadSettings();
    placeWindow(*this, LoadPlacement(host_.store(), monitor_->kindData().section));
    notify_->setChecked(monitor_->mNotify != 0);
    layoutControls(width(), height());
    monitor_->Open();
    setWindowTitle(QString::fromStdString(monitor_->title()));
    initialised_ = true;
    armTimer();
}

void CSensorDlg::UpdateData() {
    monitor_->mNotify = notify_->isChecked() ? 1 : 0;
}

void CSensorDlg::OnTimer() {
    timer_.stop();
    if (monitor_->RunDueTimers() > 0) {
        setWindowTitle(QString::fromStdString(monitor_->title()));
        update();  // the graphs are drawn again, without erasing
    }
    armTimer();
}

void CSensorDlg::armTimer() {
    const std::int64_t ms = monitor_->msUntilNextTimer();
    if (ms < 0)
        return;
    // A timer that fires a little early finds nothing due and is set again.
    timer_.start(static_cast<int>(std::clamp<std::int64_t>(ms, 1, kSaveTimerMs)));
}

void CSensorDlg::OnBnClickedButton1() {
    UpdateData();
    if (!EditSettings())
        return;
    ++settingsApplied_;
    OnSettingsApplied();
    setWindowTitle(QString::fromStdString(monitor_->title()));
    update();
}

void CSensorDlg::SaveSettingBeforeClose() {
    monitor_->SaveSettingBeforeClose();
}

std::string CSensorDlg::SaveClientBitmap() {
    return orvana::SaveClientBitmap(*this, host_.store(), host_.clock().now(),
                                    monitor_->kindData().snapshotSuffix, true);
}

void CSensorDlg::layoutControls(int cx, int cy) {
    if (!notify_)
        return;
    for (const ControlRect& r : SensorLayout(layout_, cx, cy)) {
        QWidget* w = nullptr;
        switch (r.id) {
            case IDC_NOTIFY:
                w = notify_;
                break;
            case IDC_SETTINGS:
                w = settings_;
                break;
            case IDC_GRAPH_LONG:
                w = graphLong_;
                break;
            case IDC_GRAPH_SHORT:
                w = graphShort_;
                break;
            default:
                w = label(r.id);
                break;
        }
        if (w)
            w->setGeometry(r.x, r.y, std::max(0, r.w), std::max(0, r.h));
    }
    update();
}

void CSensorDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    layoutControls(e->size().width(), e->size().height());
}

void CSensorDlg::closeEvent(QCloseEvent* e) {
    // The main window's box ends the monitor; the close box only minimises.
    e->ignore();
    showMinimized();
}

CTemperatureDlg::CTemperatureDlg(MonitorHost& host, std::unique_ptr<TemperatureMonitor> monitor,
                                 QWidget* parent)
    : CSensorDlg(host, std::move(monitor), SensorLayoutKind::Temperature, parent) {
    label(IDC_UNIT_LEFT)->setText(QStringLiteral("湿度"));
    label(IDC_UNIT_RIGHT)->setText(QStringLiteral("温度"));
}

CGeigerDlg::CGeigerDlg(MonitorHost& host, std::unique_ptr<GeigerMonitor> monitor, QWidget* parent)
    : CSensorDlg(host, std::move(monitor), SensorLayoutKind::Geiger, parent) {
    label(IDC_UNIT_LEFT)->setText(QStringLiteral("CPM"));
}

COwlDlg::COwlDlg(MonitorHost& host, std::unique_ptr<OwlMonitor> monitor, QWidget* parent)
    : CSensorDlg(host, std::move(monitor), SensorLayoutKind::Owl, parent) {}

}  // namespace orvana::sensors
