// Every message box and question of the program goes through this
// interface, so tests can answer them and headless runs never wait on one.
#pragma once

#include <string>

namespace orvana {

class Prompt {
  public:
    virtual ~Prompt() = default;

    // A message raised by a monitor, the mail composer or a timer. Never
    // blocks the calling thread: the box is shown without a modal loop and
    // closes itself after 60 s; headless it becomes an event-list line.
    // UI thread.
    virtual void notify(const std::string& text) = 0;

    // A message inside a dialog the user opened: modal, returns when the
    // user closed it (headless: at once). UI thread.
    virtual void message(const std::string& text) = 0;

    // An OK/Cancel question inside a dialog the user opened; true for OK.
    // Headless it answers Cancel, which always keeps the current state.
    // UI thread.
    virtual bool askOkCancel(const std::string& text) = 0;
};

}  // namespace orvana
