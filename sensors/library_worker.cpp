#include "sensors/library_worker.h"

namespace orvana::sensors {

LibraryWorker::LibraryWorker(std::chrono::milliseconds wait)
    : wait_(wait), thread_([this] { loop(); }) {}

LibraryWorker::~LibraryWorker() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool LibraryWorker::busy() const {
    std::lock_guard lock(mutex_);
    return running_;
}

bool LibraryWorker::runJob(std::function<void()> job) {
    std::unique_lock lock(mutex_);
    if (running_ || stop_)
        return false;
    running_ = true;
    job_ = std::move(job);
    const std::uint64_t mine = finished_ + 1;
    changed_.notify_all();
    return changed_.wait_for(lock, wait_, [&] { return finished_ >= mine; });
}

void LibraryWorker::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        // The time-out only bounds each wait; a handed-over call or the
        // stop ends it early.
        changed_.wait_for(lock, std::chrono::seconds(1), [&] { return stop_ || job_; });
        if (job_) {
            std::function<void()> job = std::move(job_);
            job_ = nullptr;
            lock.unlock();
            job();
            job = nullptr;  // what it captured goes with it, outside the lock
            lock.lock();
            ++finished_;
            running_ = false;
            changed_.notify_all();
            continue;
        }
        if (stop_)
            return;
    }
}

}  // namespace orvana::sensors
