// Starts the real program the way a user does, without a display.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

using orvana::testing::TempDir;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// One running orvana with its standard output captured.
class Program {
  public:
    Program(const TempDir& home, std::vector<std::string> args = {}) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
        std::vector<std::string> env = {
            "HOME=" + home.path(),
            "XDG_RUNTIME_DIR=" + home.path() + "/run",
            "XDG_CONFIG_HOME=" + home.path() + "/config",
            "ORVANA_CONFIG=" + home.path() + "/orvana.ini",
            "TZ=Asia/Tokyo",
            "LANG=C.UTF-8",
            "PATH=/usr/bin:/bin",
        };
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> argv = {ORVANA_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> av;
        for (auto& a : argv)
            av.push_back(a.data());
        av.push_back(nullptr);
        if (posix_spawn(&pid_, ORVANA_BINARY, &fa, nullptr, av.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            ::close(out_);
    }

    // Reads standard output until `text` has appeared or `timeout` passed.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (output_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buf[4096];
            ssize_t n = ::read(out_, buf, sizeof buf);
            if (n <= 0)
                return output_.find(text) != std::string::npos;
            output_.append(buf, static_cast<std::size_t>(n));
        }
        return true;
    }

    // Exit status, or -1 when it did not end within `timeout`.
    int waitExit(std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                drain();
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::poll(nullptr, 0, 20);
        }
        return -1;
    }

    void signal(int sig) { ::kill(pid_, sig); }
    const std::string& output() const { return output_; }
    bool started() const { return pid_ > 0; }

  private:
    void drain() {
        char buf[4096];
        ssize_t n;
        ::fcntl(out_, F_SETFL, O_NONBLOCK);
        while ((n = ::read(out_, buf, sizeof buf)) > 0)
            output_.append(buf, static_cast<std::size_t>(n));
    }

    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    std::string output_;
};

class ProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(home.path() + "/run");
        std::filesystem::permissions(home.path() + "/run", std::filesystem::perms::owner_all);
        std::ofstream(home.path() + "/orvana.ini")
            << "[Setting]\nDATA_DIR=" << home.path() << "/data\nUSE_VOLUME=0\nUSE_CAMERA=0\n";
    }
    std::string todaysLog() const {
        for (auto& e : std::filesystem::directory_iterator(home.path() + "/data"))
            if (e.path().extension() == ".log")
                return readFile(e.path().string());
        return {};
    }
    TempDir home;
};

const auto kStartTimeout = std::chrono::seconds(20);

TEST_F(ProcessTest, HeadlessStartShowsBannerAndGuideAndCtrlCSavesSettings) {
    Program p(home);
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(p.waitForOutput(
        "　また、独立したモバイルネットワークとフリーメールアドレスの利用してください\n",
        kStartTimeout))
        << p.output();
    EXPECT_EQ(p.output().rfind("*--------------------------------------------*\n", 0), 0u);
    EXPECT_NE(p.output().find("利用方法：\n"), std::string::npos);

    const std::string log = todaysLog();
    EXPECT_NE(log.find("*--------------------------------------------*\r\n"), std::string::npos);
    EXPECT_NE(log.find("利用方法：\r\n"), std::string::npos);

    p.signal(SIGINT);
    EXPECT_EQ(p.waitExit(std::chrono::seconds(20)), 0);
    const std::string ini = readFile(home.path() + "/orvana.ini");
    EXPECT_NE(ini.find("[Placement]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("SUBJECT=orvana"), std::string::npos) << ini;
    // Nothing reached the log after the end was asked for.
    EXPECT_EQ(todaysLog(), log);
}

TEST_F(ProcessTest, SecondInstanceEndsAtOnceWithoutTouchingTheFirstOnesFiles) {
    Program first(home);
    ASSERT_TRUE(first.waitForOutput("利用方法：", kStartTimeout)) << first.output();
    ASSERT_TRUE(first.waitForOutput("利用してください\n", kStartTimeout));
    const std::string logBefore = todaysLog();
    const std::string iniBefore = readFile(home.path() + "/orvana.ini");

    Program second(home);
    EXPECT_EQ(second.waitExit(std::chrono::seconds(20)), 0);
    EXPECT_EQ(second.output(), "");
    EXPECT_EQ(todaysLog(), logBefore);
    EXPECT_EQ(readFile(home.path() + "/orvana.ini"), iniBefore);

    first.signal(SIGTERM);
    EXPECT_EQ(first.waitExit(std::chrono::seconds(20)), 0);
}

TEST_F(ProcessTest, HelpAndVersion) {
    Program help(home, {"--help"});
    EXPECT_EQ(help.waitExit(std::chrono::seconds(10)), 0);
    EXPECT_NE(help.output().find("--headless"), std::string::npos);
    EXPECT_NE(help.output().find("ORVANA_CONFIG"), std::string::npos);
    EXPECT_NE(help.output().find("ORVANA_SMTP_CAFILE"), std::string::npos);
    Program version(home, {"--version"});
    EXPECT_EQ(version.waitExit(std::chrono::seconds(10)), 0);
    EXPECT_EQ(version.output().rfind("orvana ", 0), 0u);
    // Neither touched the settings.
    EXPECT_EQ(readFile(home.path() + "/orvana.ini").find("Placement"), std::string::npos);
}

}  // namespace
