#include "tests/support/child_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace orvana::testing {

ChildProgram::ChildProgram(const std::string& binary, const std::vector<std::string>& args,
                           const std::vector<std::string>& env) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    std::vector<std::string> argStore = {binary};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<std::string> envStore = env;
    std::vector<char*> argv, envp;
    for (auto& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, binary.c_str(), &fa, nullptr, argv.data(), envp.data()) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    out_ = fds[0];
}

ChildProgram::~ChildProgram() {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0)
        ::close(out_);
}

bool ChildProgram::waitForOutput(const std::string& text, std::chrono::milliseconds timeout,
                                 std::size_t from) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (output_.find(text, from) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || out_ < 0)
            return false;
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        std::string chunk(4096, '\0');
        const ssize_t n = ::read(out_, chunk.data(), chunk.size());
        if (n <= 0)
            return output_.find(text) != std::string::npos;
        output_.append(chunk.data(), static_cast<std::size_t>(n));
    }
    return true;
}

int ChildProgram::waitExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0)
        return -1;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            drain();
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        ::poll(nullptr, 0, 20);
    }
    return -1;
}

void ChildProgram::signal(int sig) {
    if (pid_ > 0 && !exited_)
        ::kill(pid_, sig);
}

int ChildProgram::stop(std::chrono::milliseconds timeout) {
    signal(SIGINT);
    return waitExit(timeout);
}

void ChildProgram::drain() {
    if (out_ < 0)
        return;
    ::fcntl(out_, F_SETFL, O_NONBLOCK);
    std::string chunk(4096, '\0');
    ssize_t n;
    while ((n = ::read(out_, chunk.data(), chunk.size())) > 0)
        output_.append(chunk.data(), static_cast<std::size_t>(n));
}

namespace {

// The number after `key` in the stall log; -1 when there is none.
long stallLogFigure(const std::string& stallLogFile, const std::string& key) {
    std::ifstream in(stallLogFile);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto at = text.find(key);
    if (at == std::string::npos)
        return -1;
    try {
        return std::stol(text.substr(at + key.size()));
    } catch (const std::exception&) {
        return -1;
    }
}

}  // namespace

long longestUiStallMs(const std::string& stallLogFile) {
    return stallLogFigure(stallLogFile, "longest UI stall: ");
}

long startUpMs(const std::string& stallLogFile) {
    return stallLogFigure(stallLogFile, "start-up: ");
}

}  // namespace orvana::testing
