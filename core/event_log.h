// The event report: one line in the event list and in the daily log file.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/clock.h"

namespace orvana {

class EventLog {
  public:
    // Receives every reported line (stamp included). Called on the reporting
    // thread; a sink that touches widgets must hand the line over to the UI
    // thread itself (queued call).
    using Sink = std::function<void(const std::string& line)>;

    explicit EventLog(Clock& clock) : clock_(clock) {}

    // The data folder the daily files go to. Any thread.
    void setDataDir(const std::string& dir);
    std::string dataDir() const;

    // Reporting is enabled from construction until the program ends; once
    // disabled nothing reaches the list or the log. Any thread.
    void setEnabled(bool on);
    bool enabled() const;

    // stampMode 1 prefixes "%H:%M:%S ", 2 "%Y/%m/%d %H:%M:%S ", anything else
    // nothing; `extra` has no effect. Writes the log line at once and hands
    // the line to every sink. Any thread.
    void Report(const std::string& text, int stampMode, int extra = 0);

    // Appends line + CR LF to the data folder's file of the current local
    // day (opened, appended, closed). Newlines inside the line become CR LF.
    // An empty line writes nothing. When the data folder's file cannot be
    // written, the line goes to the same day's file in the fallback folder
    // (created when needed). Returns false when neither could be written.
    // Any thread.
    bool WriteToLogFile(const std::string& line);

    // Path of the daily log file for time t: data folder + "/" +
    // "%Y年%m月%d日.log" (no folder part when the data folder is empty).
    std::string logFilePathFor(TimeT t) const;

    // Where the daily file goes while the data folder cannot be written;
    // empty = nowhere. Any thread.
    void setFallbackDir(const std::string& dir);
    std::string fallbackDir() const;

    void addSink(Sink sink);
    void clearSinks();

  private:
    Clock& clock_;
    mutable std::mutex mutex_;
    std::string dataDir_;
    std::string fallbackDir_;
    bool enabled_ = true;
    std::vector<Sink> sinks_;
    std::mutex fileMutex_;
};

// True when a file can be created in dir (made with its parents when
// missing). Leaves nothing behind. Any thread.
bool canWriteFolder(const std::string& dir);

// Data folder + "/" + name, or name alone when the folder is empty.
std::string joinDataPath(const std::string& dataDir, const std::string& name);

}  // namespace orvana
