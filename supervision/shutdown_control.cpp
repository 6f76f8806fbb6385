#include "supervision/shutdown_control.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace orvana {
namespace {

class DetachedLauncher final : public CommandLauncher {
  public:
    bool start(const std::vector<std::string>& argv) override {
        if (argv.empty())
            return false;
        QStringList args;
        for (std::size_t i = 1; i < argv.size(); ++i)
            args << QString::fromStdString(argv[i]);
        return QProcess::startDetached(QString::fromStdString(argv[0]), args);
    }
};

}  // namespace

std::unique_ptr<CommandLauncher> makeDetachedLauncher() {
    return std::make_unique<DetachedLauncher>();
}

std::vector<std::string> splitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string cur;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord)
                words.push_back(std::move(cur));
            cur.clear();
            inWord = false;
        } else if (c == '\'') {
            inWord = true;
            for (++i; i < line.size() && line[i] != '\''; ++i)
                cur += line[i];
        } else if (c == '"') {
            inWord = true;
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size() &&
                    (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    ++i;
                }
                cur += line[i];
            }
        } else if (c == '\\' && i + 1 < line.size()) {
            inWord = true;
            cur += line[++i];
        } else {
            inWord = true;
            cur += c;
        }
    }
    if (inWord)
        words.push_back(std::move(cur));
    return words;
}

std::vector<std::string> ShutdownCommands::argvFor(int reboot, int force) const {
    const std::string& custom = reboot ? rebootCommand : poweroffCommand;
    if (!custom.empty())
        return splitCommandLine(custom);
    std::vector<std::string> argv{"systemctl", reboot ? "reboot" : "poweroff"};
    if (force)
        argv.emplace_back("-i");
    return argv;
}

CommandShutdownControl::CommandShutdownControl(Clock& clock, CommandLauncher& launcher,
                                               ShutdownCommands commands)
    : clock_(clock), launcher_(launcher), commands_(std::move(commands)) {}

CommandShutdownControl::CommandShutdownControl(Clock& clock,
                                               std::unique_ptr<CommandLauncher> launcher,
                                               ShutdownCommands commands)
    : clock_(clock),
      owned_(std::move(launcher)),
      launcher_(*owned_),
      commands_(std::move(commands)) {}

bool CommandShutdownControl::ShutdownWindows(int reboot, int force) {
    const std::int64_t now = clock_.nowMs();
    // The pending reboot asks on every tick; one request per ten seconds is
    // enough and keeps a refusing system from being flooded with processes.
    // Each kind has its own limit: the one-shot battery power-off must not
    // be swallowed because a refused reboot was repeated just before.
    std::optional<std::int64_t>& last = lastStartMs_[reboot ? 1 : 0];
    if (last && now - *last < kMinIntervalMs && now >= *last)
        return false;
    last = now;
    return launcher_.start(commands_.argvFor(reboot, force));
}

}  // namespace orvana
