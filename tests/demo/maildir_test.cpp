// The demo's Maildir delivery: each message becomes one complete file in
// new/, readable by mail programs (LF line ends, the delivery headers first),
// under a name no other delivery of the process takes; what cannot be
// delivered is reported as the SMTP client would, and leaves nothing behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "demo/maildir_smtp_client.h"
#include "tests/support/temp_dir.h"

namespace orvana::demo {
namespace {

namespace fs = std::filesystem;
using orvana::testing::TempDir;

std::vector<fs::path> filesIn(const std::string& dir) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path());
    return out;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

const std::string kMessage =
    "From: orvana@quellor.example\r\nTo: owner@example.com\r\nSubject: test\r\n\r\nline 1\r\n"
    "line 2\r\n";

TEST(MaildirDelivery, AMessageBecomesOneCompleteFileInNew) {
    TempDir dir;
    const std::string maildir = dir / "Maildir";
    auto client = makeMaildirSmtpClient(maildir);  // creates the folders itself
    const SmtpResult r =
        client->send(SmtpParams{}, "orvana@quellor.example",
                     {"owner@example.com", "guard@example.com"}, kMessage, nullptr);
    EXPECT_EQ(r.status, SmtpResult::Sent) << r.error;
    EXPECT_TRUE(r.refused.empty());
    const auto delivered = filesIn(maildir + "/new");
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_TRUE(filesIn(maildir + "/tmp").empty());
    EXPECT_TRUE(fs::is_directory(maildir + "/cur"));
    EXPECT_EQ(slurp(delivered[0]),
              "Return-Path: <orvana@quellor.example>\nDelivered-To: owner@example.com\n"
              "Delivered-To: guard@example.com\nFrom: orvana@quellor.example\n"
              "To: owner@example.com\nSubject: test\n\nline 1\nline 2\n");
    // Private to the user, like the mails in a real mailbox.
    struct stat st {};
    ASSERT_EQ(::stat(delivered[0].c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Maildir names: no "/" and no ":" (the flags separator).
    EXPECT_EQ(delivered[0].filename().string().find(':'), std::string::npos);
}

TEST(MaildirDelivery, DeliveriesFromSeveralClientsAtOnceNeverShareAName) {
    TempDir dir;
    const std::string maildir = dir / "Maildir";
    ASSERT_TRUE(createMaildir(maildir));
    auto deliver = [&] {
        auto client = makeMaildirSmtpClient(maildir);
        for (int i = 0; i < 150; ++i)
            ASSERT_EQ(
                client->send(SmtpParams{}, "a@example.com", {"b@example.com"}, kMessage, nullptr)
                    .status,
                SmtpResult::Sent);
    };
    std::thread a(deliver), b(deliver);
    a.join();
    b.join();
    EXPECT_EQ(filesIn(maildir + "/new").size(), 300u);
}

TEST(MaildirDelivery, RefusesMalformedRecipientsAndFailsWithoutLeavingFiles) {
    TempDir dir;
    const std::string maildir = dir / "Maildir";
    auto client = makeMaildirSmtpClient(maildir);

    // Some recipients malformed: delivered to the others, the rest refused.
    SmtpResult r = client->send(SmtpParams{}, "a@example.com",
                                {"ok@example.com", "bad address@example.com", "<x@example.com>"},
                                kMessage, nullptr);
    EXPECT_EQ(r.status, SmtpResult::Sent);
    ASSERT_EQ(r.refused.size(), 2u);
    EXPECT_EQ(r.refused[0].address, "bad address@example.com");
    EXPECT_EQ(filesIn(maildir + "/new").size(), 1u);
    EXPECT_EQ(slurp(filesIn(maildir + "/new")[0]).find("bad address"), std::string::npos);

    // None usable: refused, nothing delivered.
    r = client->send(SmtpParams{}, "a@example.com", {"", "x\r\ny@example.com"}, kMessage, nullptr);
    EXPECT_EQ(r.status, SmtpResult::Refused);
    EXPECT_EQ(filesIn(maildir + "/new").size(), 1u);

    // A disk that fills up while the file is written: failed (the sender
    // tries again), and the half-written file is gone.
    {
        struct rlimit old {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit small = old;
        small.rlim_cur = 64;
        const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        r = client->send(SmtpParams{}, "a@example.com", {"ok@example.com"}, kMessage, nullptr);
        ::setrlimit(RLIMIT_FSIZE, &old);
        ::signal(SIGXFSZ, oldHandler);
        EXPECT_EQ(r.status, SmtpResult::Failed);
        EXPECT_FALSE(r.error.empty());
        EXPECT_TRUE(filesIn(maildir + "/tmp").empty());
        EXPECT_EQ(filesIn(maildir + "/new").size(), 1u);
    }
    // A Maildir path that is a file: failed.
    const std::string file = dir / "plain-file";
    std::ofstream(file) << "x";
    r = makeMaildirSmtpClient(file)->send(SmtpParams{}, "a@example.com", {"ok@example.com"},
                                          kMessage, nullptr);
    EXPECT_EQ(r.status, SmtpResult::Failed);
    EXPECT_TRUE(filesIn(maildir + "/tmp").empty());
    EXPECT_EQ(filesIn(maildir + "/new").size(), 1u);
}

}  // namespace
}  // namespace orvana::demo
