// Message boxes on the display.
#pragma once

#include <QPointer>
#include <QWidget>

#include "core/prompt.h"

namespace orvana {

class QtPrompt final : public Prompt {
  public:
    // parent: the window the boxes belong to; may be null or go away first.
    // autoCloseMs: how long a notice stays up (tests shorten it).
    explicit QtPrompt(QWidget* parent = nullptr, int autoCloseMs = kAutoCloseMs)
        : parent_(parent), autoCloseMs_(autoCloseMs) {}

    // Shown without a modal loop, so the monitors and the power watch keep
    // running behind it; it closes itself after 60 seconds. UI thread.
    void notify(const std::string& text) override;
    void message(const std::string& text) override;
    bool askOkCancel(const std::string& text) override;

    static constexpr int kAutoCloseMs = 60000;

  private:
    QPointer<QWidget> parent_;
    int autoCloseMs_;
};

}  // namespace orvana
