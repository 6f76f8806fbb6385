// The real program, as a new user would try it: an own server on a local
// aiosmtpd, mail on, one recipient, a start after the machine went down.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/mail/mail_test_support.h"

extern char** environ;

namespace orvana {
namespace {

using namespace orvana::testing;
using namespace std::chrono_literals;

class Program {
  public:
    explicit Program(const std::vector<std::string>& envIn) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
        std::vector<std::string> env = envIn;
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string bin = ORVANA_BINARY, headless = "--headless";
        char* argv[] = {bin.data(), headless.data(), nullptr};
        if (posix_spawn(&pid_, ORVANA_BINARY, &fa, nullptr, argv, envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        close(fds[1]);
        out_ = fds[0];
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            close(out_);
    }
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (output_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buf[4096];
            const ssize_t n = read(out_, buf, sizeof buf);
            if (n <= 0)
                return output_.find(text) != std::string::npos;
            output_.append(buf, static_cast<std::size_t>(n));
        }
        return true;
    }
    int stop(std::chrono::milliseconds timeout) {
        kill(pid_, SIGINT);  // like "終了": no end-of-session notices
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            poll(nullptr, 0, 20);
        }
        return -1;
    }
    bool started() const { return pid_ > 0; }
    const std::string& output() const { return output_; }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    std::string output_;
};

TEST(MailProcess, RestartNoticeArrivesOnceAfterTheServerComesBack) {
    SmtpTestServer server;
    ASSERT_TRUE(server.ok());
    TempDir home;
    std::filesystem::create_directories(home.file("run"));
    std::filesystem::permissions(home.file("run"), std::filesystem::perms::owner_all);
    std::filesystem::create_directories(home.file("sys/class/net/eth0"));
    std::filesystem::create_directories(home.file("sys/class/power_supply"));
    writeFile(home.file("sys/class/net/eth0/operstate"), "up\n");
    writeFile(home.file("sys/class/net/eth0/flags"), "0x1003\n");
    std::ofstream(home.file("orvana.ini"))
        << "[Setting]\nDATA_DIR=" << home.file("data") << "\nUSE_VOLUME=0\nUSE_CAMERA=0\n"
        << "USE_TEMPERATURE=0\nUSE_GEIGER=0\nUSE_OWL=0\nWORKING=1\nUSE_QUELLOR_SMTP=1\n"
        << "SMTP=" << server.hostPort()
        << "\nPORTNUM=1\nENABLESSL=1\nUSERNAME=" << SmtpTestServer::kUser
        << "\nPASSWORD=" << SmtpTestServer::kPassword
        << "\nFROM=watch@pc.example\nREBOOT=2\nUSER_ADDRESS=1\n"
        << "[UserAddress0]\nAddress=owner@home.example\nKANRI=1\nIJYOU=1\n";
    // The server is down when the program starts.
    server.stop();
    Program p({"HOME=" + home.path(), "XDG_RUNTIME_DIR=" + home.file("run"),
               "XDG_CONFIG_HOME=" + home.file("config"), "ORVANA_CONFIG=" + home.file("orvana.ini"),
               "ORVANA_SYSFS=" + home.file("sys"), "ORVANA_SMTP_CAFILE=" + server.certPath(),
               "TZ=Asia/Tokyo", "LANG=C.UTF-8", "PATH=/usr/bin:/bin"});
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(p.waitForOutput(
        " メール送信に失敗しました。インターネットに接続されていないか、設定に誤りがあります\n",
        30s))
        << p.output();
    EXPECT_NE(p.output().find(">再起動\n"), std::string::npos);
    ASSERT_TRUE(server.restart());
    ASSERT_TRUE(p.waitForOutput("Network接続が有効になりました\n", 30s)) << p.output();
    ASSERT_TRUE(p.waitForOutput("メール送信が完了しました(添付ファイル:0個)\n", 30s)) << p.output();
    EXPECT_EQ(p.stop(20s), 0);

    const auto mails = server.messages();
    ASSERT_EQ(mails.size(), 1u) << p.output();
    EXPECT_EQ(mails[0].subject, "再起動完了：orvana");
    EXPECT_EQ(mails[0].rcptTos, std::vector<std::string>{"owner@home.example"});
    EXPECT_TRUE(mails[0].tls);
    // The body starts with the date-time line: "YYYY/MM/DD hh:mm:ss".
    const std::string& body = mails[0].body;
    ASSERT_GE(body.size(), 19u);
    EXPECT_EQ(body[4], '/');
    EXPECT_EQ(body[7], '/');
    EXPECT_EQ(body[13], ':');
    EXPECT_NE(body.find("監視をスタートしました。"), std::string::npos);
    EXPECT_NE(body.find("This mail was generated by orvana."), std::string::npos);
}

}  // namespace
}  // namespace orvana
