// Runs a device library's calls one at a time on a thread of its own, and
// lets the caller wait for each only a bounded time. A device that stops
// answering makes its library wait up to a second per reply, twice in a
// cycle with the retry; on the UI thread that froze every window. Here the
// worker is the one held: the caller sees a call that overran its bound as
// failed, and while the worker is still busy with it, the next calls fail at
// once without starting. A healthy device answers in a few milliseconds.
//
// Threads: run() from one thread at a time (the monitor's, the UI thread);
// the calls themselves run on the worker, one at a time, which is what the
// libraries allow per process.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace orvana::sensors {

// How long a caller waits for one library call: well below the UI thread's
// half-second limit, far above a healthy device's reply time.
inline constexpr std::chrono::milliseconds kLibraryCallWait{300};

class LibraryWorker {
  public:
    explicit LibraryWorker(std::chrono::milliseconds wait = kLibraryCallWait);
    // Waits for a call in progress to end (the library bounds each of its
    // waits), then joins the thread.
    ~LibraryWorker();
    LibraryWorker(const LibraryWorker&) = delete;
    LibraryWorker& operator=(const LibraryWorker&) = delete;

    // Runs `call` on the worker and waits for it at most the bound. Returns
    // its result when it ended in time; nullopt when it did not (it then
    // finishes on the worker and its result is dropped) or when an earlier
    // call is still running (then `call` is not run at all). `call` must
    // not refer to anything of the caller's that may be gone when it ends
    // late: capture by value.
    template <class R>
    std::optional<R> run(std::function<R()> call) {
        auto result = std::make_shared<std::optional<R>>();
        const bool done = runJob([call = std::move(call), result] { *result = call(); });
        // The job wrote the result before it was marked done, under the lock.
        if (!done)
            return std::nullopt;
        return std::move(*result);
    }

    // Whether a call is still running (one that overran its bound).
    bool busy() const;

  private:
    // Queues `job` unless one is running; true when it ended within the
    // bound.
    bool runJob(std::function<void()> job);
    void loop();

    const std::chrono::milliseconds wait_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;   // the call to start; empty when none
    bool running_ = false;        // a call has been handed over and not ended
    std::uint64_t finished_ = 0;  // calls ended so far
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace orvana::sensors
