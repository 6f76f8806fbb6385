// Housekeeping: once a minute the last-alive time goes to the store and old
// pictures and recordings are deleted from the data folder.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/clock.h"
#include "core/settings_store.h"

namespace orvana {

// Where a file's age is measured from.
class FileTimes {
  public:
    virtual ~FileTimes() = default;
    // The creation (birth) time of the file at path, or its modification
    // time where the file system records no birth time; nothing when the
    // file cannot be examined. Any thread.
    virtual std::optional<TimeT> creationTime(const std::string& path) const = 0;
};

// statx birth time, falling back to the modification time. Never null.
std::unique_ptr<FileTimes> makeStatxFileTimes();

// True when statx reports a birth time for path (its file system records one).
bool fileHasBirthTime(const std::string& path);

// Deletes every regular file directly in dataDir (no sub-folders, no
// symbolic links) whose name matches the shell pattern and whose age
// now - creation time, in whole hours, is at least keepHours. A missing
// folder matches nothing; files that cannot be deleted stay for the next
// pass. Returns the number of files deleted. Any thread.
int DeleteOldFiles(const std::string& dataDir, const std::string& pattern, TimeT now, int keepHours,
                   const FileTimes& times);

// The patterns cleaned, in order: every snapshot carries a "#" suffix,
// then the recordings and their conversions.
inline constexpr const char* kCleanPatterns[3] = {"*#*.jpg", "*.wav", "*.3gp"};

// Owns the housekeeping thread `CleanUpThread`. The thread sleeps 600 times
// 100 ms on the clock, looking at the stop request after each slice, then
// writes the "Time" section and deletes old files, and repeats.
class CleanUpThread {
  public:
    // Keeps references to clock, store and times; they must outlive this.
    CleanUpThread(Clock& clock, SettingsStore& store, const FileTimes& times);
    // Stops and joins the thread.
    ~CleanUpThread();
    CleanUpThread(const CleanUpThread&) = delete;
    CleanUpThread& operator=(const CleanUpThread&) = delete;

    // The data folder and "DATA_KEEP_PERIOD" index the passes use; the main
    // window sets them at start-up and when settings are confirmed. An index
    // outside the table, above or below, is taken as its last row (the
    // longest retention). Any thread.
    void setInputs(const std::string& dataDir, int keepPeriodIndex);

    // Starts the thread; no effect when it runs. UI thread.
    void start();
    // Asks the thread to stop; it ends within one 100 ms slice. Any thread.
    void requestStop();
    // requestStop, then joins. UI thread.
    void stop();
    // The thread is running (started and not yet ended).
    bool running() const { return running_.load(); }

    // One pass: "Time" section, then the three patterns. Any thread.
    void runPass();

    // Number of passes done so far.
    long passes() const { return passes_.load(); }

    static constexpr int kSlices = 600;
    static constexpr int kSliceMs = 100;

  private:
    void loop();

    Clock& clock_;
    SettingsStore& store_;
    const FileTimes& times_;
    mutable std::mutex mutex_;
    std::string dataDir_;
    int keepIndex_ = 6;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::atomic<long> passes_{0};
    std::thread thread_;
};

}  // namespace orvana
