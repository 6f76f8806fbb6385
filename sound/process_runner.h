// Runs an outside program with an argument vector (no shell) in a given
// working folder and waits for it, with a time-out after which it is killed.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace orvana::sound {

struct RunResult {
    bool started = false;    // the program was found and began to run
    bool timedOut = false;   // it was still running at the time-out and was killed
    bool cancelled = false;  // it was killed because the caller cancelled the run
    int exitCode = -1;       // its exit status when it ended by itself; -1 otherwise
    std::string error;       // why it did not start or end normally
};

class ProcessRunner {
  public:
    virtual ~ProcessRunner() = default;
    // program: a path, or a bare name looked up on PATH. args: the
    // arguments after the program name, each passed as it is. workDir: the
    // child's working folder (empty: the current one). Blocks the calling
    // thread until the program ended or `timeout` passed (real time; then
    // the program and its process group are killed and reaped). Any thread.
    virtual RunResult Run(const std::string& program, const std::vector<std::string>& args,
                          const std::string& workDir, std::chrono::milliseconds timeout) = 0;
    // As Run; besides, once `cancel` (may be null) is set the program is
    // killed the same way within about 50 ms (cancelled in the result). A
    // runner that cannot be cancelled runs as Run does. Any thread.
    virtual RunResult RunCancellable(const std::string& program,
                                     const std::vector<std::string>& args,
                                     const std::string& workDir, std::chrono::milliseconds timeout,
                                     const std::atomic<bool>* cancel) {
        (void)cancel;
        return Run(program, args, workDir, timeout);
    }
};

// fork/exec on POSIX; the child's standard streams go to /dev/null. Never null.
std::unique_ptr<ProcessRunner> makeProcessRunner();

}  // namespace orvana::sound
