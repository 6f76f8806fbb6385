// A camera's own settings: a non-modal dialog with one slider per
// colour-balance channel of its source (brightness, contrast, saturation,
// hue, ...), each acting on the camera at once. One dialog per camera
// number at a time. UI thread.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <array>
#include <vector>

#include "camera/capture_layer.h"

namespace orvana::camera {

class CDlgCameraProperty : public QDialog {
    Q_OBJECT

  public:
    // Lists the channels of camera `num` of `layer` (outlives the dialog).
    CDlgCameraProperty(CaptureLayer& layer, int num, QWidget* parent = nullptr);

    // One slider per channel, in the source's order, each named by its
    // channel's label; empty when the source has none.
    const std::vector<QSlider*>& sliders() const { return sliders_; }
    // The note shown when the source has no channel; null otherwise.
    QLabel* emptyNote() const { return empty_; }

    static QString noChannelsText();

  private:
    CaptureLayer& layer_;
    int num_;
    std::vector<QSlider*> sliders_;
    QLabel* empty_ = nullptr;
};

// EWC_PropertyPage for every camera number of one capture layer.
class CameraPropertyPages {
  public:
    explicit CameraPropertyPages(CaptureLayer& layer) : layer_(layer) {}
    // Closes the dialogs still showing.
    ~CameraPropertyPages();

    // Shows camera `num`'s settings dialog, non-modal, with `parent`:
    // 1 when the number is out of range or the camera is not open, 2 while
    // a dialog for it is still showing (nothing else happens), 0 shown.
    int EWC_PropertyPage(int num, QWidget* parent);
    // The dialog showing for `num`, or null.
    CDlgCameraProperty* dialog(int num) const;

  private:
    CaptureLayer& layer_;
    std::array<QPointer<CDlgCameraProperty>, CaptureLayer::kCameras> dialogs_;
};

}  // namespace orvana::camera
