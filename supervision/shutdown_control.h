// Powering the machine off or restarting it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"

namespace orvana {

// Starts a program without a shell and without waiting for it to end.
class CommandLauncher {
  public:
    virtual ~CommandLauncher() = default;
    // argv[0] is looked up on PATH. Returns true when the program was
    // started, false when argv is empty or it could not be started. Returns
    // within a moment (only the start itself is waited for). Any thread.
    virtual bool start(const std::vector<std::string>& argv) = 0;
};

// The production launcher (detached process). Never null.
std::unique_ptr<CommandLauncher> makeDetachedLauncher();

// Splits a command line into words the way a POSIX shell does for plain
// words: blanks separate, '...' and "..." quote (\" and \\ inside double
// quotes), a backslash outside quotes escapes the next character. No
// expansion of any kind. An unterminated quote ends at the end of the text.
std::vector<std::string> splitCommandLine(const std::string& line);

class ShutdownControl {
  public:
    virtual ~ShutdownControl() = default;
    // Asks the system to restart (reboot != 0) or power off (reboot == 0);
    // force != 0 ignores other programs' objections. Returns true when a
    // command was started now; false when it could not be started or when
    // the same request (restart or power off) was started less than ten
    // seconds ago (the caller simply asks again, as the pending reboot does
    // on every tick). UI thread.
    virtual bool ShutdownWindows(int reboot, int force) = 0;
};

// The commands used: "systemctl reboot" / "systemctl poweroff", with "-i"
// when forced. A non-empty rebootCommand / poweroffCommand (from
// ORVANA_REBOOT_COMMAND / ORVANA_POWEROFF_COMMAND) replaces the whole
// command, force or not; one that splits into no words runs nothing.
struct ShutdownCommands {
    std::string rebootCommand;
    std::string poweroffCommand;
    std::vector<std::string> argvFor(int reboot, int force) const;
};

// ShutdownControl on a launcher, starting each of restart and power off at
// most once per ten seconds of `clock`. Keeps a reference to clock (and to a launcher it was
// not given to own).
class CommandShutdownControl final : public ShutdownControl {
  public:
    CommandShutdownControl(Clock& clock, CommandLauncher& launcher, ShutdownCommands commands);
    // The same, owning its launcher.
    CommandShutdownControl(Clock& clock, std::unique_ptr<CommandLauncher> launcher,
                           ShutdownCommands commands);
    bool ShutdownWindows(int reboot, int force) override;

    static constexpr std::int64_t kMinIntervalMs = 10000;

  private:
    Clock& clock_;
    std::unique_ptr<CommandLauncher> owned_;
    CommandLauncher& launcher_;
    ShutdownCommands commands_;
    // Indexed by reboot != 0.
    std::optional<std::int64_t> lastStartMs_[2];
};

}  // namespace orvana
