#include "core/event_log.h"

#include <unistd.h>

#include <filesystem>

#include <cstdio>
#include <memory>

namespace orvana {

std::string joinDataPath(const std::string& dataDir, const std::string& name) {
    if (dataDir.empty())
        return name;
    if (dataDir.back() == '/')
        return dataDir + name;
    return dataDir + "/" + name;
}

void EventLog::setDataDir(const std::string& dir) {
    std::lock_guard lock(mutex_);
    dataDir_ = dir;
}

std::string EventLog::dataDir() const {
    std::lock_guard lock(mutex_);
    return dataDir_;
}

void EventLog::setEnabled(bool on) {
    std::lock_guard lock(mutex_);
    enabled_ = on;
}

bool EventLog::enabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void EventLog::addSink(Sink sink) {
    std::lock_guard lock(mutex_);
    sinks_.push_back(std::move(sink));
}

void EventLog::clearSinks() {
    std::lock_guard lock(mutex_);
    sinks_.clear();
}

std::string EventLog::logFilePathFor(TimeT t) const {
    return joinDataPath(dataDir(), formatLocal(t, "%Y年%m月%d日.log"));
}

void EventLog::Report(const std::string& text, int stampMode, int /*extra*/) {
    std::vector<Sink> sinks;
    {
        std::lock_guard lock(mutex_);
        if (!enabled_)
            return;
        sinks = sinks_;
    }
    std::string stamp;
    if (stampMode == 1)
        stamp = formatLocal(clock_.now(), "%H:%M:%S ");
    else if (stampMode == 2)
        stamp = formatLocal(clock_.now(), "%Y/%m/%d %H:%M:%S ");
    const std::string line = stamp + text;
    WriteToLogFile(line);
    for (const Sink& s : sinks)
        s(line);
}

bool EventLog::WriteToLogFile(const std::string& line) {
    if (line.empty())
        return true;
    std::string out;
    out.reserve(line.size() + 2);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\n' && (i == 0 || line[i - 1] != '\r'))
            out += '\r';
        out += line[i];
    }
    out += "\r\n";
    const TimeT now = clock_.now();
    const std::string path = logFilePathFor(now);
    auto append = [&out](const std::string& file) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(file.c_str(), "ab"),
                                                          &std::fclose);
        if (!f)
            return false;
        const bool ok = std::fwrite(out.data(), 1, out.size(), f.get()) == out.size();
        return std::fflush(f.get()) == 0 && ok;
    };
    // One open-append-close per line, serialised so lines from the sender
    // thread and the UI thread never interleave.
    std::lock_guard lock(fileMutex_);
    if (append(path))
        return true;
    // The data folder cannot be written: no line is lost while it is so.
    const std::string fallback = fallbackDir();
    if (fallback.empty())
        return false;
    std::error_code ec;
    std::filesystem::create_directories(fallback, ec);
    return append(joinDataPath(fallback, formatLocal(now, "%Y年%m月%d日.log")));
}

void EventLog::setFallbackDir(const std::string& dir) {
    std::lock_guard lock(mutex_);
    fallbackDir_ = dir;
}

std::string EventLog::fallbackDir() const {
    std::lock_guard lock(mutex_);
    return fallbackDir_;
}

bool canWriteFolder(const std::string& dir) {
    if (dir.empty())
        return false;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::string probe = joinDataPath(dir, ".orvana-write-test-XXXXXX");
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, "x", 1) == 1;
    ::close(fd);
    ::unlink(probe.c_str());
    return ok;
}

}  // namespace orvana
