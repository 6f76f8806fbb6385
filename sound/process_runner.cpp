#include "sound/process_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace orvana::sound {
namespace {

bool executable(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// Resolved before forking, so the child only calls async-signal-safe
// functions, and a relative path still means the folder we were started in.
std::string resolve(const std::string& program) {
    if (program.empty())
        return {};
    if (program.find('/') != std::string::npos) {
        std::error_code ec;
        const std::string p = std::filesystem::absolute(program, ec).string();
        return !ec && executable(p) ? p : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty())
            dir = ".";
        const std::string candidate = dir + "/" + program;
        if (executable(candidate))
            return candidate;
        start = end + 1;
    }
    return {};
}

class PosixProcessRunner final : public ProcessRunner {
  public:
    RunResult Run(const std::string& program, const std::vector<std::string>& args,
                  const std::string& workDir, std::chrono::milliseconds timeout) override {
        return RunCancellable(program, args, workDir, timeout, nullptr);
    }

    RunResult RunCancellable(const std::string& program, const std::vector<std::string>& args,
                             const std::string& workDir, std::chrono::milliseconds timeout,
                             const std::atomic<bool>* cancel) override {
        RunResult r;
        const std::string exe = resolve(program);
        if (exe.empty()) {
            r.error = "program not found: " + program;
            return r;
        }
        std::vector<std::string> argvText;
        argvText.push_back(program);
        argvText.insert(argvText.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : argvText)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        int errPipe[2];
        if (::pipe2(errPipe, O_CLOEXEC) != 0) {
            r.error = std::strerror(errno);
            return r;
        }
        const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        const pid_t pid = ::fork();
        if (pid < 0) {
            r.error = std::strerror(errno);
            ::close(errPipe[0]);
            ::close(errPipe[1]);
            if (devNull >= 0)
                ::close(devNull);
            return r;
        }
        if (pid == 0) {
            ::setpgid(0, 0);
            if (devNull >= 0) {
                ::dup2(devNull, 0);
                ::dup2(devNull, 1);
                ::dup2(devNull, 2);
            }
            int err = 0;
            if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) {
                err = errno;
            } else {
                ::execv(exe.c_str(), argv.data());
                err = errno;
            }
            ssize_t ignored = ::write(errPipe[1], &err, sizeof err);
            (void)ignored;
            ::_exit(127);
        }
        ::close(errPipe[1]);
        if (devNull >= 0)
            ::close(devNull);
        ::setpgid(pid, pid);  // also from here, so the kill below never misses

        // exec closes the pipe; a written errno means the child never ran.
        int childErr = 0;
        ssize_t n;
        do {
            n = ::read(errPipe[0], &childErr, sizeof childErr);
        } while (n < 0 && errno == EINTR);
        ::close(errPipe[0]);
        if (n == static_cast<ssize_t>(sizeof childErr)) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            r.error = (workDir.empty() ? std::string() : "folder " + workDir + ": ") +
                      std::strerror(childErr);
            return r;
        }
        r.started = true;

        const auto deadline = std::chrono::steady_clock::now() + timeout;
        auto pause = std::chrono::milliseconds(2);
        for (;;) {
            int status = 0;
            const pid_t w = ::waitpid(pid, &status, WNOHANG);
            if (w == pid) {
                if (WIFEXITED(status)) {
                    r.exitCode = WEXITSTATUS(status);
                } else {
                    r.error = "ended by signal " + std::to_string(WTERMSIG(status));
                }
                return r;
            }
            if (w < 0 && errno != EINTR) {
                r.error = std::strerror(errno);
                return r;
            }
            if (std::chrono::steady_clock::now() >= deadline)
                break;
            if (cancel && cancel->load()) {
                r.cancelled = true;
                break;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(50));
        }
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (r.cancelled) {
            r.error = "cancelled";
        } else {
            r.timedOut = true;
            r.error = "killed after " + std::to_string(timeout.count()) + " ms";
        }
        return r;
    }
};

}  // namespace

std::unique_ptr<ProcessRunner> makeProcessRunner() {
    return std::make_unique<PosixProcessRunner>();
}

}  // namespace orvana::sound
