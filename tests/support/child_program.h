// A program started by a test, with its standard output collected. Used by
// the tests that run the real orvana binary as a user would.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace orvana::testing {

class ChildProgram {
  public:
    // Starts binary with args and exactly the environment env (NAME=value).
    ChildProgram(const std::string& binary, const std::vector<std::string>& args,
                 const std::vector<std::string>& env);
    // Kills a program that is still running.
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    bool started() const { return pid_ > 0; }

    // Reads standard output until `text` has appeared at or after offset
    // `from` (true), or `timeout` passed or the output ended (false).
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout,
                       std::size_t from = 0);

    // The exit status (128 + signal when killed by one), or -1 when the
    // program did not end within `timeout`.
    int waitExit(std::chrono::milliseconds timeout);

    void signal(int sig);
    // SIGINT, then waitExit.
    int stop(std::chrono::milliseconds timeout);

    const std::string& output() const { return output_; }

  private:
    void drain();

    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    std::string output_;
};

// The longest time the window thread was held, in ms, from the file the
// program writes at exit when ORVANA_STALL_LOG names it; -1 when the file
// is missing or holds no figure.
long longestUiStallMs(const std::string& stallLogFile);
// How long start-up held the window thread before the stall meter began, in
// ms, from the same file; -1 as above.
long startUpMs(const std::string& stallLogFile);

}  // namespace orvana::testing
