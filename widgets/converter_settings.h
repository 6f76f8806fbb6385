// The converter's settings ("FFMPEG_PATH", "FFMPEG_OPTION") are global
// settings, but their dialog belongs to the sound monitor, which knows the
// converter. The global settings dialog reaches that dialog through this
// interface, so the mail dialogs never link a monitor's windows.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace orvana {

class ConverterSettingsEditor {
  public:
    virtual ~ConverterSettingsEditor() = default;
    // A modal dialog showing path and option, with parent as its parent.
    // The caller owns it, runs it, and calls take() when it was accepted.
    // Never null. UI thread.
    virtual std::unique_ptr<QDialog> create(QWidget* parent, const std::string& path,
                                            const std::string& option) = 0;
    // The values of an accepted dialog made by create(). UI thread.
    virtual void take(const QDialog& dialog, std::string& path, std::string& option) = 0;
};

}  // namespace orvana
