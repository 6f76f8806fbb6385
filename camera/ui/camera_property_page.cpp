#include "camera/ui/camera_property_page.h"

#include <QGridLayout>
#include <QPushButton>

namespace orvana::camera {

QString CDlgCameraProperty::noChannelsText() {
    return QStringLiteral("このカメラには調整できる項目がありません。");
}

CDlgCameraProperty::CDlgCameraProperty(CaptureLayer& layer, int num, QWidget* parent)
    : QDialog(parent), layer_(layer), num_(num) {
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    const ewc_status st = layer_.ewc_GetStatus(num_);
    setWindowTitle(QStringLiteral("カメラの設定 Camera#%1 (%2)")
                       .arg(num_)
                       .arg(QString::fromStdString(st.friendlyName)));

    auto* grid = new QGridLayout(this);
    std::vector<ColorBalanceChannel> channels;
    layer_.ewc_GetColorBalance(num_, channels);
    int row = 0;
    for (const ColorBalanceChannel& c : channels) {
        auto* name = new QLabel(QString::fromStdString(c.label), this);
        auto* slider = new QSlider(Qt::Horizontal, this);
        auto* value = new QLabel(QString::number(c.value), this);
        slider->setObjectName(QString::fromStdString(c.label));
        slider->setRange(c.minValue, c.maxValue);
        slider->setValue(c.value);
        slider->setMinimumWidth(200);
        value->setMinimumWidth(60);
        const std::string label = c.label;
        // Acts on the camera at once, while the slider moves.
        connect(slider, &QSlider::valueChanged, this, [this, label, value](int v) {
            layer_.ewc_SetColorBalance(num_, label, v);
            value->setText(QString::number(v));
        });
        grid->addWidget(name, row, 0);
        grid->addWidget(slider, row, 1);
        grid->addWidget(value, row, 2);
        sliders_.push_back(slider);
        ++row;
    }
    if (channels.empty()) {
        empty_ = new QLabel(noChannelsText(), this);
        grid->addWidget(empty_, row++, 0, 1, 3);
    }
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    grid->addWidget(close, row, 2);
}

CameraPropertyPages::~CameraPropertyPages() {
    for (auto& d : dialogs_)
        delete d.data();
}

int CameraPropertyPages::EWC_PropertyPage(int num, QWidget* parent) {
    if (num < 0 || num >= CaptureLayer::kCameras)
        return 1;
    if (layer_.ewc_GetStatus(num).state == StreamState::Closed)
        return 1;
    auto& d = dialogs_[static_cast<std::size_t>(num)];
    if (d)
        return 2;
    d = new CDlgCameraProperty(layer_, num, parent);
    d->show();
    d->raise();
    return 0;
}

CDlgCameraProperty* CameraPropertyPages::dialog(int num) const {
    if (num < 0 || num >= CaptureLayer::kCameras)
        return nullptr;
    return dialogs_[static_cast<std::size_t>(num)].data();
}

}  // namespace orvana::camera
