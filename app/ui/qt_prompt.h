// Message boxes on the display.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/core/prompt.h"

namespace orvana {

class QtPrompt final : public Prompt {
  public:
    // parent: the window the boxes belong to; may be null or go away first.
    explicit QtPrompt(QWidget* parent = nullptr) : parent_(parent) {}

    // Shown without a modal loop, so the monitors and the power watch keep
    // running behind it; it closes itself after 60 seconds. UI thread.
    void notify(const std::string& text) override;
    void message(const std::string& text) override;
    bool askOkCancel(const std::string& text) override;

    static constexpr int kAutoCloseMs = 60000;

  private:
    QPointer<QWidget> parent_;
};

}  // namespace orvana
