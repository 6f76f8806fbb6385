// The real program and its outbox: notices queued while the mail server is
// down survive Ctrl-C, the session's end (SIGTERM) and kill -9; kill -9
// while mail is going out loses nothing; a partly refused mail does not
// reach its accepting recipient twice across a restart.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "mail/mail_queue.h"
#include "mail/outbox.h"
#include "tests/mail/mail_test_support.h"
#include "tests/mail/outbox_test_support.h"
#include "tests/support/child_program.h"

namespace orvana {
namespace {

using namespace orvana::testing;
using namespace std::chrono_literals;

const char* const kGeneral =
    "メール送信に失敗しました。インターネットに接続されていないか、設定に誤りがあります";
const char* const kRetry = "メール送信に失敗しました。再トライします";
const char* const kDone = "メール送信が完了しました";

// Counts the opens of one file: the program reads the mains state on every
// tick, so this tells when it has seen the current value.
class OpenCounter {
  public:
    explicit OpenCounter(const std::string& path) {
        fd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (fd_ >= 0)
            ::inotify_add_watch(fd_, path.c_str(), IN_OPEN);
    }
    ~OpenCounter() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;
    // Waits (bounded) until the file was opened n times in all.
    bool waitOpens(int n) {
        const auto end = std::chrono::steady_clock::now() + 60s;
        while (count_ < n && std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            alignas(inotify_event) char buf[4096];
            const ssize_t len = ::read(fd_, buf, sizeof buf);
            for (ssize_t off = 0; off < len;) {
                auto* ev = reinterpret_cast<inotify_event*>(buf + off);
                if (ev->mask & IN_OPEN)
                    ++count_;
                off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            }
        }
        return count_ >= n;
    }

  private:
    int fd_ = -1;
    int count_ = 0;
};

// A home folder with a fake sysfs (network up, a laptop on mains), a
// settings file for an own server on the local aiosmtpd (plain SMTP) and
// the outbox at ORVANA_OUTBOX.
class OutboxProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok()) << "aiosmtpd test server did not start";
        namespace fs = std::filesystem;
        fs::create_directories(home.file("run"));
        fs::permissions(home.file("run"), fs::perms::owner_all);
        fs::create_directories(home.file("data"));
        fs::create_directories(home.file("sys/class/net/eth0"));
        writeFile(home.file("sys/class/net/eth0/operstate"), "up\n");
        writeFile(home.file("sys/class/net/eth0/flags"), "0x1003\n");
        power("AC", "type", "Mains");
        power("BAT0", "type", "Battery");
        power("BAT0", "status", "Charging");
        power("BAT0", "capacity", "100");
        plug(1);
    }

    void power(const std::string& supply, const std::string& attr, const std::string& value) {
        const std::string dir = home.file("sys/class/power_supply/" + supply);
        std::filesystem::create_directories(dir);
        writeFile(dir + "/" + attr, value + "\n");
    }
    void plug(int online) { power("AC", "online", std::to_string(online)); }

    // Recipients get every kind of notice.
    void writeSettings(int rebootMarker, const std::vector<std::string>& recipients) {
        std::ofstream ini(home.file("orvana.ini"));
        ini << "[Setting]\nDATA_DIR=" << home.file("data")
            << "\nUSE_VOLUME=0\nUSE_CAMERA=0\nUSE_TEMPERATURE=0\nUSE_GEIGER=0\nUSE_OWL=0\n"
            << "USE_POWER_DOWN=1\nAUTOSHUTDOWN=0\nCHECK_TK=0\nHOUR_KA=0\nWORKING=1\n"
            << "USE_QUELLOR_SMTP=1\nSMTP=" << server.hostPort() << "\nPORTNUM=0\nENABLESSL=0\n"
            << "FROM=watch@pc.example\nTO_KA=watchdog@quellor.example\nREBOOT=" << rebootMarker
            << "\nUSER_ADDRESS=" << recipients.size() << "\n";
        for (std::size_t i = 0; i < recipients.size(); ++i)
            ini << "[UserAddress" << i << "]\nAddress=" << recipients[i]
                << "\nIJYOU=1\nTEIKI=1\nKANRI=1\n";
    }

    // Watches the mains state file from before a start on.
    std::unique_ptr<OpenCounter> watchMains() {
        return std::make_unique<OpenCounter>(home.file("sys/class/power_supply/AC/online"));
    }

    std::unique_ptr<ChildProgram> start() {
        auto p = std::make_unique<ChildProgram>(
            ORVANA_BINARY, std::vector<std::string>{"--headless"},
            std::vector<std::string>{
                "HOME=" + home.path(), "XDG_RUNTIME_DIR=" + home.file("run"),
                "XDG_CONFIG_HOME=" + home.file("config"),
                "ORVANA_CONFIG=" + home.file("orvana.ini"), "ORVANA_SYSFS=" + home.file("sys"),
                "ORVANA_OUTBOX=" + outbox(), "ORVANA_POWEROFF_COMMAND=/bin/false",
                "ORVANA_REBOOT_COMMAND=/bin/false", "TZ=Asia/Tokyo", "LANG=C.UTF-8",
                "PATH=/usr/bin:/bin"});
        return p;
    }

    // Waits for the next occurrence of text after `from`, which moves past it.
    static bool next(ChildProgram& p, const std::string& text, std::size_t& from,
                     std::chrono::milliseconds timeout = 60s) {
        if (!p.waitForOutput(text, timeout, from))
            return false;
        from = p.output().find(text, from) + text.size();
        return true;
    }

    bool waitOutboxEmpty(std::chrono::milliseconds timeout = 60s) {
        return waitUntil([&] { return storedMailFiles(outbox()).empty(); }, timeout);
    }

    std::string outbox() const { return home.file("outbox"); }

    SmtpTestServer server;
    TempDir home;
};

// How the first run ends.
enum class Ending { CtrlC, SessionEnd, Kill };

class OutboxProgramEnding : public OutboxProgram, public ::testing::WithParamInterface<Ending> {};

TEST_P(OutboxProgramEnding, NoticesQueuedWhileServerIsDownArriveOnceAfterRestart) {
    writeSettings(2, {"owner@home.example"});
    server.stop();
    {
        const auto mainsReads = watchMains();
        auto p = start();
        ASSERT_TRUE(p->started());
        std::size_t at = 0;
        ASSERT_TRUE(next(*p, ">再起動\n", at)) << p->output();
        ASSERT_TRUE(next(*p, kGeneral, at)) << p->output();
        // The start-up check, the first tick and the start of the second:
        // the mains were seen on before the plug is pulled.
        ASSERT_TRUE(mainsReads->waitOpens(3));
        // Two power failures and recoveries behind the restart notice.
        for (int i = 0; i < 2; ++i) {
            plug(0);
            ASSERT_TRUE(next(*p, ">>>停電発生<<<\n", at)) << p->output();
            plug(1);
            ASSERT_TRUE(next(*p, "<<<停電から復帰>>>\n", at)) << p->output();
        }
        ASSERT_TRUE(waitUntil([&] { return storedMailFiles(outbox()).size() == 5; }, 30s))
            << p->output();
        switch (GetParam()) {
            case Ending::CtrlC:
                EXPECT_EQ(p->stop(30s), 0);
                break;
            case Ending::SessionEnd:
                // The end-of-session notices wait their ten seconds for a
                // server that is not there, then the program ends.
                p->signal(SIGTERM);
                EXPECT_EQ(p->waitExit(60s), 0);
                break;
            case Ending::Kill:
                p->signal(SIGKILL);
                EXPECT_EQ(p->waitExit(30s), 128 + SIGKILL);
                break;
        }
    }
    const std::vector<std::unique_ptr<CMail>> stored = loadStored(outbox());
    // The session's end adds its "終了要求" notice (KeepAlive is off).
    const std::size_t n = GetParam() == Ending::SessionEnd ? 6 : 5;
    ASSERT_EQ(stored.size(), n);
    EXPECT_EQ(stored[0]->m_subject, "再起動完了：orvana");
    if (GetParam() == Ending::SessionEnd) {
        EXPECT_EQ(stored.back()->m_subject, "終了要求：orvana");
    }
    std::map<NoticeKey, int> expected;
    for (const auto& m : stored)
        ++expected[keyOf(*m)];

    ASSERT_TRUE(server.restart());
    {
        auto p = start();
        std::size_t at = 0;
        ASSERT_TRUE(next(
            *p, "未送信のメールが" + std::to_string(n) + "通見つかりました。送信を再開します。\n",
            at))
            << p->output();
        // After a session's end this start sends its own restart notice too.
        const std::size_t total = n + (GetParam() == Ending::SessionEnd ? 1 : 0);
        ASSERT_TRUE(server.waitForMessages(total, 60s)) << p->output();
        ASSERT_TRUE(waitOutboxEmpty()) << p->output();
        EXPECT_EQ(p->stop(30s), 0);
    }
    std::map<NoticeKey, int> got, extra;
    for (const ReceivedMail& m : server.messages())
        ++(expected.count(keyOf(m)) ? got : extra)[keyOf(m)];
    EXPECT_EQ(got, expected);  // every stored notice exactly as often as stored
    if (GetParam() == Ending::SessionEnd) {
        ASSERT_EQ(extra.size(), 1u);
        EXPECT_EQ(extra.begin()->first.first, "再起動完了：orvana");
    } else {
        EXPECT_TRUE(extra.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, OutboxProgramEnding,
                         ::testing::Values(Ending::CtrlC, Ending::SessionEnd, Ending::Kill),
                         [](const ::testing::TestParamInfo<Ending>& info) {
                             switch (info.param) {
                                 case Ending::CtrlC:
                                     return std::string("CtrlC");
                                 case Ending::SessionEnd:
                                     return std::string("SessionEnd");
                                 default:
                                     return std::string("Kill9");
                             }
                         });

TEST_F(OutboxProgram, PartialRefusalSurvivesKillWithoutMailingTheAcceptingRecipientAgain) {
    // The server refuses the busy mailbox twice (450), then accepts it.
    const std::string ok = "ok@home.example", busy = "rc450n2.busy@home.example";
    writeSettings(0, {ok, busy});
    {
        const auto mainsReads = watchMains();
        auto p = start();
        std::size_t at = 0;
        ASSERT_TRUE(mainsReads->waitOpens(3)) << p->output();
        plug(0);
        ASSERT_TRUE(next(*p, ">>>停電発生<<<\n", at)) << p->output();
        // The second refusal comes after the first was recorded.
        ASSERT_TRUE(next(*p, kRetry, at)) << p->output();
        ASSERT_TRUE(next(*p, kRetry, at)) << p->output();
        p->signal(SIGKILL);
        EXPECT_EQ(p->waitExit(30s), 128 + SIGKILL);
    }
    // Unless its third attempt got through before the kill, the mail waits
    // for the busy mailbox alone.
    const auto stored = loadStored(outbox());
    ASSERT_LE(stored.size(), 1u);
    if (!stored.empty()) {
        EXPECT_EQ(stored[0]->m_to, busy);
        EXPECT_EQ(stored[0]->m_subject, "停電発生：orvana");
    }
    plug(1);
    {
        auto p = start();
        // Started up (Ctrl-C is its own from here on), then the outbox empty.
        ASSERT_TRUE(p->waitForOutput("設定情報:", 60s)) << p->output();
        ASSERT_TRUE(waitOutboxEmpty()) << p->output();
        EXPECT_EQ(p->stop(30s), 0);
    }
    int toOk = 0, toBusy = 0;
    for (const ReceivedMail& m : server.messages()) {
        EXPECT_EQ(m.subject, "停電発生：orvana");
        for (const std::string& r : m.rcptTos) {
            toOk += r == ok;
            toBusy += r == busy;
        }
    }
    EXPECT_EQ(toOk, 1);
    EXPECT_GE(toBusy, 1);
    EXPECT_LE(toBusy, 2);  // twice only if the kill met its transfer in flight
}

// Adds n notices with unique subjects to the outbox, as an earlier run
// would have left them. They were queued two hours ago, so the rate limit
// does not count them and sending goes on one by one.
std::vector<std::string> storeNotices(const std::string& folder, const std::string& dataDir,
                                      int first, int n, TimeT queuedAt) {
    MailQueue q;
    q.attachOutbox(std::make_unique<Outbox>(folder, nullptr));
    std::vector<std::string> subjects;
    for (int i = first; i < first + n; ++i) {
        std::vector<std::string> files;
        if (i % 7 == 0) {
            files.push_back(dataDir + "/notice" + std::to_string(i) + "#Cam0.jpg");
            writeFile(files.back(), std::string(4096, static_cast<char>(i)));
        }
        subjects.push_back("通知" + std::to_string(i) + "：orvana");
        q.append("owner@home.example", "", subjects.back(), "本文 " + std::to_string(i) + "\r\n",
                 "", files, queuedAt);
    }
    return subjects;
}

TEST_F(OutboxProgram, FiftyKillsWhileSendingLoseNothing) {
    writeSettings(0, {"owner@home.example"});
    const TimeT queuedAt = static_cast<TimeT>(std::time(nullptr)) - 7200;
    std::vector<std::string> subjects;
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> delayMs(0, 200);
    int kills = 0;
    for (int k = 0; k < 50; ++k) {
        // Mail is always waiting, so every kill meets the sender at work.
        if (storedMailFiles(outbox()).size() < 20) {
            const auto added = storeNotices(outbox(), home.file("data"),
                                            static_cast<int>(subjects.size()), 40, queuedAt);
            subjects.insert(subjects.end(), added.begin(), added.end());
        }
        auto p = start();
        ASSERT_TRUE(p->waitForOutput(kDone, 60s)) << "run " << k << ":\n" << p->output();
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(rng)));
        p->signal(SIGKILL);
        ASSERT_EQ(p->waitExit(30s), 128 + SIGKILL);
        ++kills;
    }
    {
        auto p = start();
        ASSERT_TRUE(p->waitForOutput("設定情報:", 60s)) << p->output();
        ASSERT_TRUE(waitOutboxEmpty(120s)) << p->output();
        EXPECT_EQ(p->stop(30s), 0);
    }
    std::map<std::string, int> count;
    std::map<std::string, std::vector<std::size_t>> at;  // places in the server's order
    const auto received = server.messages();
    for (std::size_t i = 0; i < received.size(); ++i) {
        ++count[received[i].subject];
        at[received[i].subject].push_back(i);
    }
    int lost = 0, duplicates = 0, tooMany = 0;
    for (const std::string& s : subjects) {
        lost += count[s] == 0;
        duplicates += count[s] > 1 ? count[s] - 1 : 0;
        tooMany += count[s] > 2;
    }
    EXPECT_EQ(lost, 0);
    // At most the one mail in flight at each kill comes twice.
    EXPECT_LE(duplicates, kills);
    EXPECT_EQ(tooMany, 0);
    // A mail comes twice only as the killed run's last transfer and the next
    // run's first: nothing else was sent in between.
    for (const auto& [subject, places] : at) {
        if (places.size() == 2) {
            EXPECT_EQ(places[1], places[0] + 1) << subject;
        }
    }
    EXPECT_EQ(count.size(), subjects.size());  // nothing that was never queued
    RecordProperty("mails", static_cast<int>(subjects.size()));
    RecordProperty("kills", kills);
    RecordProperty("duplicates", duplicates);
    std::printf("[ outbox   ] %d kills while sending %zu mails: %d lost, %d duplicates (seed %u)\n",
                kills, subjects.size(), lost, duplicates, seed);
    // The attachment copies went with their mails.
    EXPECT_TRUE(std::filesystem::is_empty(outbox() + "/att"));
}

}  // namespace
}  // namespace orvana
