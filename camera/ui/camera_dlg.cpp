#include "camera/ui/camera_dlg.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

#include "widgets/window_placement.h"

namespace orvana::camera {
namespace {

// The rubber band of a drag, drawn over every other control of the window
// with an exclusive-or pen, as a drag over the picture must stay visible.
class DragOverlay final : public QWidget {
  public:
    explicit DragOverlay(const QRect& rect, const bool& active, QWidget* parent)
        : QWidget(parent), rect_(rect), active_(active) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        if (!active_)
            return;
        QPainter p(this);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.setPen(QColor(128, 255, 128));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect_.normalized());
    }

  private:
    const QRect& rect_;
    const bool& active_;
};

}  // namespace

CCameraDlg::CCameraDlg(MonitorHost& host, CaptureLayer& layer, CameraPropertyPages& pages,
                       int cameraNo, QWidget* parent)
    : QDialog(parent), host_(host), layer_(layer), pages_(pages), motion_(host, cameraNo) {
    setWindowTitle(QStringLiteral("Camera #%1").arg(cameraNo));
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    setMinimumSize(kMinClientWidth, kMinClientHeight);

    notify_ = new QCheckBox(QStringLiteral("異常を通知"), this);
    saveMotion_ = new QCheckBox(QStringLiteral("異常動体画像記録"), this);
    formatCombo_ = new QComboBox(this);
    settings_ = new QPushButton(QStringLiteral("設定..."), this);
    settings_->setAutoDefault(false);
    picture_ = new CCameraPicture(this);
    meter_ = new CCameraMeter(this);
    slider_ = new QSlider(Qt::Vertical, this);
    slider_->setRange(0, kSliderMax);
    slider_->setPageStep(10);
    auto* overlay = new DragOverlay(m_dragRect, m_dragging, this);
    overlay->setObjectName(QStringLiteral("dragOverlay"));

    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &CCameraDlg::OnTimer);
    connect(formatCombo_, qOverload<int>(&QComboBox::activated), this,
            &CCameraDlg::OnCbnSelchangeCombo1);
    connect(settings_, &QPushButton::clicked, this, [this] { OnBnClickedButton1(); });
}

CCameraDlg::~CCameraDlg() {
    timer_.stop();
    if (opened_) {
        SaveSettingBeforeClose();
        layer_.EWC_Close(cameraNo());
    }
}

void CCameraDlg::OnInitDialog() {
    const CameraSettings stored = motion_.LoadSettings();
    slider_->setValue(motion_.m_sliderPos);
    notify_->setChecked(motion_.m_notify != 0);
    saveMotion_->setChecked(motion_.m_saveMotion != 0);

    readFormats();
    FrameSize size;  // 640 x 480 when the camera lists no format
    if (!RESOLUTION.empty()) {
        motion_.m_resolution =
            std::clamp(motion_.m_resolution, 0, static_cast<int>(RESOLUTION.size()) - 1);
        size = RESOLUTION[static_cast<std::size_t>(motion_.m_resolution)];
        formatCombo_->setCurrentIndex(motion_.m_resolution);
    }
    motion_.Reset(size);
    motion_.ClampDetectRect();
    m_dispSize = InitialDisplaySize(size);
    fitWindowToPicture();
    placeWindow(*this, stored.placement, 8 * cameraNo());

    openCamera();
    opened_ = true;
    layoutControls(width(), height());
    updateTitle();
    updateMeter();
    timer_.start(kTimerMs);
}

void CCameraDlg::readFormats() {
    std::vector<ewc_format> formats;
    int count = kMaxFormats;
    formatCombo_->clear();
    RESOLUTION.clear();
    if (layer_.ewc_GetFormat(cameraNo(), std::string(), &formats, &count) != 0)
        return;
    for (int i = 0; i < count && i < static_cast<int>(formats.size()); ++i) {
        const ewc_format& f = formats[static_cast<std::size_t>(i)];
        formatCombo_->addItem(QString::fromStdString(FormatLine(i, f.width, f.height, f.name)));
        RESOLUTION.push_back({f.width, f.height});
    }
}

void CCameraDlg::openCamera() {
    const FrameSize size = motion_.m_frameSize;
    // The camera starts on its own thread: a camera that sends nothing
    // never holds this one. One that does not start stays reserved and is
    // retried like a lost stream, so the window reports it (checkStream)
    // and picks it up when it comes.
    openResult_ = layer_.EWC_Open(cameraNo(), size.width, size.height, frameRate(), -1,
                                  layer_.ewc_type, layer_.ewc_device_type, OpenMode::InBackground);
    // Counts start again with every open.
    seenLosses_ = 0;
    seenReturns_ = 0;
    const ewc_status st = layer_.ewc_GetStatus(cameraNo());
    if (!st.friendlyName.empty())
        cameraName_ = st.friendlyName;
}

void CCameraDlg::fitWindowToPicture() {
    resize(std::max(m_dispSize.width + 132, kMinClientWidth),
           std::max(m_dispSize.height + 60, kMinClientHeight));
}

void CCameraDlg::UpdateData() {
    motion_.m_sliderPos = slider_->value();
    motion_.m_notify = notify_->isChecked() ? 1 : 0;
    motion_.m_saveMotion = saveMotion_->isChecked() ? 1 : 0;
    if (formatCombo_->currentIndex() >= 0)
        motion_.m_resolution = formatCombo_->currentIndex();
}

void CCameraDlg::OnTimer() {
    timer_.stop();
    UpdateData();
    const bool detect = motion_.OnDisplayTick();
    // The state before the frame: a stream seen running has its first frame
    // in the buffer, so no black frame before it enters the measurement.
    const bool measure = detect && checkStream();
    // Nobody sees the picture of a headless program or a minimised window:
    // the frame is then fetched for the detection only.
    const bool shown = pictureShown();
    if (shown || detect)
        fetchFrame();
    if (shown)
        picture_->compose(motion_.frame(), motion_.m_frameSize, m_dispSize, motion_.m_detectRect,
                          motion_.streamLost());
    if (detect) {
        if (measure)
            motion_.Detect();
        updateTitle();
        updateMeter();
    }
    timer_.start(kTimerMs);
}

double CCameraDlg::frameRate() const {
    return host_.headless() ? kHeadlessFps : kFps;
}

bool CCameraDlg::pictureShown() const {
    return !host_.headless() && isVisible() && !isMinimized();
}

void CCameraDlg::fetchFrame() {
    const int num = cameraNo();
    if (layer_.EWC_GetBufferSize(num) == motion_.m_frameBytes)
        layer_.EWC_GetImage(num, motion_.frame());
}

std::string CCameraDlg::SaveImage(std::string& path, int stored) {
    // A mail's picture is the newest frame, also between two detections.
    if (!stored)
        fetchFrame();
    return motion_.SaveImage(path, stored);
}

bool CCameraDlg::checkStream() {
    const ewc_status st = layer_.ewc_GetStatus(cameraNo());
    if (!st.friendlyName.empty())
        cameraName_ = st.friendlyName;
    // Still starting: nothing to report yet (a reopen after a loss keeps
    // the loss until the stream runs), and only black frames to measure.
    if (st.state == StreamState::Starting)
        return false;
    const bool wasLost = motion_.streamLost();
    const bool lostNow = st.state == StreamState::Lost;
    const bool newLoss = st.losses > seenLosses_;
    const bool newReturn = st.returns > seenReturns_;
    seenLosses_ = st.losses;
    seenReturns_ = st.returns;
    if (!wasLost && lostNow) {
        motion_.OnStreamState(true, cameraName_);
    } else if (wasLost && st.state == StreamState::Running) {
        motion_.OnStreamState(false, cameraName_);
    } else if (!wasLost && !lostNow && newLoss && newReturn) {
        // Lost and back between two looks: still told, in that order.
        motion_.OnStreamState(true, cameraName_);
        motion_.OnStreamState(false, cameraName_);
    }
    return true;
}

void CCameraDlg::updateTitle() {
    std::string title = TitleText(cameraNo(), motion_.m_frameSize, m_dispSize,
                                  motion_.m_motionRatio, motion_.threshold());
    if (motion_.streamLost())
        title += " 再接続中...";
    setWindowTitle(QString::fromStdString(title));
}

void CCameraDlg::updateMeter() {
    meter_->setValues(motion_.m_motionHis, motion_.threshold());
}

void CCameraDlg::OnCbnSelchangeCombo1(int index) {
    if (index < 0 || index >= static_cast<int>(RESOLUTION.size()))
        return;
    timer_.stop();
    UpdateData();
    layer_.EWC_Close(cameraNo());
    motion_.m_resolution = index;
    const FrameSize size = RESOLUTION[static_cast<std::size_t>(index)];
    // Ratio, history and motion state start afresh with frames of the new
    // size.
    motion_.Reset(size);
    openCamera();
    m_dispSize = InitialDisplaySize(size);
    motion_.ResetDetectRect();
    layoutControls(width(), height());
    updateTitle();
    updateMeter();
    timer_.start(kTimerMs);
}

int CCameraDlg::OnBnClickedButton1() {
    return pages_.EWC_PropertyPage(cameraNo(), this);
}

void CCameraDlg::SaveSettingBeforeClose() {
    UpdateData();
    motion_.SaveSettings(placementOf(*this));
}

void CCameraDlg::layoutControls(int w, int h) {
    const CameraLayout l = LayoutFor(w, h, motion_.m_frameSize);
    m_dispSize = l.display;
    auto place = [](QWidget* c, const ViewRect& r) { c->setGeometry(r.x, r.y, r.width, r.height); };
    place(notify_, l.notifyBox);
    place(saveMotion_, l.saveMotionBox);
    place(formatCombo_, l.formatCombo);
    place(settings_, l.settingsButton);
    place(picture_, l.picture);
    place(meter_, l.meter);
    place(slider_, l.slider);
    if (auto* overlay = findChild<QWidget*>(QStringLiteral("dragOverlay"))) {
        overlay->setGeometry(0, 0, w, h);
        overlay->raise();
    }
    update();
}

void CCameraDlg::OnLButtonDown(QPoint p) {
    m_dragRect = QRect(p, p);
    m_dragging = true;
    update();
}

void CCameraDlg::OnMouseMove(QPoint p) {
    if (!m_dragging)
        return;
    m_dragRect.setBottomRight(p);
    update();
}

void CCameraDlg::OnLButtonUp(QPoint p) {
    if (!m_dragging)
        return;
    m_dragging = false;
    const QPoint start = m_dragRect.topLeft();
    motion_.m_detectRect =
        DragToDetectRect(start.x(), start.y(), p.x(), p.y(), motion_.m_frameSize, m_dispSize);
    update();
}

void CCameraDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    layoutControls(e->size().width(), e->size().height());
}

void CCameraDlg::closeEvent(QCloseEvent* e) {
    // The main window's "動体" box ends the monitor; the close box only hides.
    e->ignore();
    showMinimized();
}

void CCameraDlg::paintEvent(QPaintEvent* e) {
    // All drawing is done by the timer and the controls.
    QDialog::paintEvent(e);
}

void CCameraDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        OnLButtonDown(e->position().toPoint());
}

void CCameraDlg::mouseMoveEvent(QMouseEvent* e) {
    OnMouseMove(e->position().toPoint());
}

void CCameraDlg::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        OnLButtonUp(e->position().toPoint());
}

}  // namespace orvana::camera
