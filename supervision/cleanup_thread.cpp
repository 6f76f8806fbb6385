#include "supervision/cleanup_thread.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/app_settings.h"
#include "core/tables.h"

namespace orvana {
namespace {

class StatxFileTimes final : public FileTimes {
  public:
    std::optional<TimeT> creationTime(const std::string& path) const override {
        struct statx sx {};
        if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &sx) !=
            0)
            return std::nullopt;
        if (sx.stx_mask & STATX_BTIME)
            return static_cast<TimeT>(sx.stx_btime.tv_sec);
        if (sx.stx_mask & STATX_MTIME)
            return static_cast<TimeT>(sx.stx_mtime.tv_sec);
        return std::nullopt;
    }
};

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::unique_ptr<FileTimes> makeStatxFileTimes() {
    return std::make_unique<StatxFileTimes>();
}

bool fileHasBirthTime(const std::string& path) {
    struct statx sx {};
    return ::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &sx) == 0 &&
           (sx.stx_mask & STATX_BTIME) != 0;
}

int DeleteOldFiles(const std::string& dataDir, const std::string& pattern, TimeT now, int keepHours,
                   const FileTimes& times) {
    if (dataDir.empty())
        return 0;
    DIR* dir = ::opendir(dataDir.c_str());
    if (!dir)
        return 0;
    // Collect first: unlinking while reading the folder may skip entries.
    std::vector<std::string> matches;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (::fnmatch(pattern.c_str(), name.c_str(), 0) != 0)
            continue;
        matches.push_back(dataDir + "/" + name);
    }
    ::closedir(dir);

    int deleted = 0;
    for (const std::string& path : matches) {
        if (!isRegularFile(path))
            continue;
        const auto created = times.creationTime(path);
        if (!created)
            continue;
        const TimeT age = now - *created;
        if (age < 0)
            continue;  // created "in the future": the clock was set back
        if (age / 3600 >= keepHours && ::unlink(path.c_str()) == 0)
            ++deleted;
    }
    return deleted;
}

CleanUpThread::CleanUpThread(Clock& clock, SettingsStore& store, const FileTimes& times)
    : clock_(clock), store_(store), times_(times) {}

CleanUpThread::~CleanUpThread() {
    stop();
}

void CleanUpThread::setInputs(const std::string& dataDir, int keepPeriodIndex) {
    std::lock_guard lock(mutex_);
    dataDir_ = dataDir;
    keepIndex_ = keepPeriodIndex;
}

void CleanUpThread::start() {
    if (thread_.joinable()) {
        if (running_.load())
            return;
        thread_.join();  // an earlier run that ended
    }
    stop_.store(false);
    running_.store(true);
    thread_ = std::thread([this] { loop(); });
}

void CleanUpThread::requestStop() {
    stop_.store(true);
}

void CleanUpThread::stop() {
    requestStop();
    if (thread_.joinable())
        thread_.join();
}

void CleanUpThread::runPass() {
    std::string dir;
    int index;
    {
        std::lock_guard lock(mutex_);
        dir = dataDir_;
        index = keepIndex_;
    }
    SaveLastAlive(store_, clock_.now());
    // A negative index (hand-edited store) keeps files longest rather than
    // shortest: guessing wrong must not delete a day's pictures.
    const int keepHours = index < 0 ? DelHours.back() : delHoursFor(index);
    for (const char* pattern : kCleanPatterns)
        DeleteOldFiles(dir, pattern, clock_.now(), keepHours, times_);
    ++passes_;
}

void CleanUpThread::loop() {
    for (;;) {
        for (int i = 0; i < kSlices; ++i) {
            if (stop_.load()) {
                running_.store(false);
                return;
            }
            clock_.sleepFor(std::chrono::milliseconds(kSliceMs));
        }
        if (stop_.load())
            break;
        runPass();
    }
    running_.store(false);
}

}  // namespace orvana
