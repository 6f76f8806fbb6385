// A private pulseaudio for tests: a null sink "orvana_null" as the default
// sink and its monitor as the default source, on a socket in a temporary
// folder. PULSE_SERVER points this process (and the children it starts) at
// it while it lives.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sound/process_runner.h"

namespace orvana::sound::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A pulseaudio of this test alone: runtime folder, socket and HOME in a
// temporary folder, stopped (and reaped) when the fixture goes.
class PulseServer {
  public:
    PulseServer() {
        dir_ = fs::temp_directory_path() / ("orvana_pulse_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "runtime");
        socket_ = (dir_ / "native").string();
        pid_ = ::fork();
        if (pid_ == 0) {
            const std::string runtime = (dir_ / "runtime").string();
            ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            ::setenv("PULSE_RUNTIME_PATH", runtime.c_str(), 1);
            ::setenv("HOME", dir_.c_str(), 1);
            const std::string proto =
                "module-native-protocol-unix auth-anonymous=1 socket=" + socket_;
            ::execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                     "--system=false", "--disallow-exit", "--log-target=stderr",
                     "--log-level=error", "-L", "module-null-sink sink_name=orvana_null", "-L",
                     proto.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
        for (int i = 0; i < 1000 && !ready_; ++i) {
            std::this_thread::sleep_for(10ms);
            ready_ = fs::exists(socket_) && pactl({"info"});
        }
        ready_ = ready_ && pactl({"set-default-sink", "orvana_null"}) &&
                 pactl({"set-default-source", "orvana_null.monitor"});
    }
    ~PulseServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            for (int i = 0; i < 300 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(10ms);
            if (::waitpid(pid_, &status, WNOHANG) == 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
        }
        ::unsetenv("PULSE_SERVER");
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    bool ready() const { return ready_; }
    // "unix:<socket>", the value of PULSE_SERVER for clients.
    std::string server() const { return "unix:" + socket_; }
    const fs::path& dir() const { return dir_; }

    bool pactl(const std::vector<std::string>& args) {
        return runner_->Run("pactl", args, "", 10s).exitCode == 0;
    }

  private:
    fs::path dir_;
    std::string socket_;
    pid_t pid_ = -1;
    bool ready_ = false;
    std::unique_ptr<ProcessRunner> runner_ = makeProcessRunner();
};

}  // namespace orvana::sound::testing
