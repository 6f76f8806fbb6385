#include "sound/ui/volume_dlg.h"

#include <QCloseEvent>
#include <QResizeEvent>

#include "sound/ui/dlg_volume_setting.h"
#include "widgets/snapshot.h"
#include "widgets/window_placement.h"

namespace orvana::sound {

CVolumeDlg::CVolumeDlg(MonitorHost& host, WaveInputFactory& inputs, QWidget* parent,
                       VolumeMonitor::Options options)
    : QDialog(parent),
      host_(host),
      monitor_(std::make_unique<VolumeMonitor>(host, inputs, options)) {
    setWindowTitle(QStringLiteral("音量モニタ"));
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    setMinimumSize(kMinWidth, kMinHeight);
    resize(400, 300);

    notify_ = new QCheckBox(QStringLiteral("異常を通知"), this);
    dynamic_ = new QCheckBox(QStringLiteral("動的しきい値"), this);
    settings_ = new QPushButton(QStringLiteral("設定..."), this);
    settings_->setAutoDefault(false);
    level_ = new QLabel(this);
    threshold_ = new QLabel(this);
    threshold_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    graph_ = new CPictureStatic(monitor_->graph(), this);
    slider_ = new QSlider(Qt::Vertical, this);
    // 0 at the top (+6 dB), as the threshold scale runs.
    slider_->setRange(0, 1000);
    slider_->setInvertedAppearance(true);
    slider_->setInvertedControls(true);
    slider_->setPageStep(200);

    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &CVolumeDlg::OnTimer);
    connect(settings_, &QPushButton::clicked, this, &CVolumeDlg::OnBnClickedButton1);
    connect(dynamic_, &QCheckBox::clicked, this, &CVolumeDlg::OnBnClickedCheck2);
}

CVolumeDlg::~CVolumeDlg() {
    timer_.stop();
    SaveSettingBeforeClose();
    monitor_->Close();  // joins the capture thread before the device closes
}

void CVolumeDlg::OnInitDialog() {
    placeWindow(*this, LoadPlacement(host_.store(), kVolumeSection));
    monitor_->LoadSettings();
    monitor_->Open();
    slider_->setValue(monitor_->m_thresholdPos);
    threshold_->setText(QString::fromStdString(monitor_->m_thresholdText));
    notify_->setChecked(monitor_->m_enableNotify != 0);
    dynamic_->setChecked(monitor_->m_useDynamic != 0);
    // Connected only now, so the first text keeps its own form.
    connect(slider_, &QSlider::valueChanged, this, &CVolumeDlg::OnSliderScroll);
    layoutControls(width(), height());
    timer_.start(kTimerMs);
}

void CVolumeDlg::UpdateData() {
    monitor_->m_thresholdPos = slider_->value();
    monitor_->m_enableNotify = notify_->isChecked() ? 1 : 0;
    monitor_->m_useDynamic = dynamic_->isChecked() ? 1 : 0;
}

void CVolumeDlg::OnTimer() {
    timer_.stop();
    UpdateData();
    if (monitor_->OnTimer()) {
        level_->setText(QString::fromStdString(monitor_->m_levelText));
        graph_->update();
    }
    timer_.start(kTimerMs);
}

void CVolumeDlg::OnSliderScroll(int position) {
    monitor_->OnSliderScroll(position);
    threshold_->setText(QString::fromStdString(monitor_->m_thresholdText));
}

void CVolumeDlg::OnBnClickedButton1() {
    UpdateData();
    int rec = monitor_->recSec();
    int integ = monitor_->levels().m_volIntegTime;
    int dyn = monitor_->m_dynamicThreshold;
    bool ok = false;
    if (runSettingsDialog) {
        ok = runSettingsDialog(rec, integ, dyn);
    } else {
        CDlgVolumeSetting dlg(host_.prompt(), this);
        dlg.m_recSec = rec;
        dlg.m_volIntegTime = integ;
        dlg.m_dynamicThreshold = dyn;
        ok = dlg.exec() == QDialog::Accepted;
        rec = dlg.m_recSec;
        integ = dlg.m_volIntegTime;
        dyn = dlg.m_dynamicThreshold;
    }
    if (ok)
        monitor_->ApplyDialogValues(rec, integ, dyn);
    slider_->setValue(monitor_->m_thresholdPos);
    notify_->setChecked(monitor_->m_enableNotify != 0);
    dynamic_->setChecked(monitor_->m_useDynamic != 0);
}

void CVolumeDlg::SaveSettingBeforeClose() {
    UpdateData();
    monitor_->SaveSettings(placementOf(*this));
}

std::string CVolumeDlg::SaveClientBitmap() {
    return orvana::SaveClientBitmap(*this, host_.store(), host_.clock().now(), "#Vol.jpg", false);
}

std::string CVolumeDlg::SaveWave() {
    return monitor_->SaveWave();
}

void CVolumeDlg::layoutControls(int w, int h) {
    const int third = (w - 48) / 3, half = (w - 48) / 2;
    notify_->setGeometry(8, 8, third, 28);
    dynamic_->setGeometry(third + 24, 8, third, 28);
    settings_->setGeometry(2 * (w - 48) / 3 + 40, 8, third, 28);
    level_->setGeometry(8, 44, half, 28);
    threshold_->setGeometry(w - half - 8, 44, half, 28);
    graph_->setGeometry(8, 72, w - 48, h - 80);
    slider_->setGeometry(w - 32, 64, 24, h - 64);
    update();
}

void CVolumeDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    layoutControls(e->size().width(), e->size().height());
}

void CVolumeDlg::closeEvent(QCloseEvent* e) {
    // The main window's "音量" box ends the monitor; the close box only hides.
    e->ignore();
    showMinimized();
}

int StartVolumeWindow(int start, MonitorHost& host, WaveInputFactory& inputs,
                      std::unique_ptr<CVolumeDlg>& window, QWidget* parent) {
    window.reset();
    const int ok = ProbeVolumeInput(inputs, host);
    if (!ok || !start)
        return ok;
    window = std::make_unique<CVolumeDlg>(host, inputs, parent);
    window->OnInitDialog();
    window->show();
    window->raise();
    return 1;
}

}  // namespace orvana::sound
