// The sender against a real SMTP server (aiosmtpd with STARTTLS and AUTH),
// with every wait of the sender on a virtual clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "mail/mail_composer.h"
#include "mail/mail_sender.h"
#include "orvana/build_config.h"
#include "tests/mail/mail_test_support.h"

namespace orvana {
namespace {

using namespace orvana::testing;
using namespace std::chrono_literals;

const char* const kDone0 = "メール送信が完了しました(添付ファイル:0個)";
const char* const kRetry = "メール送信に失敗しました。再トライします";
const char* const kGeneral =
    "メール送信に失敗しました。インターネットに接続されていないか、設定に誤りがあります";
const char* const kBack = "Network接続が有効になりました";
const char* const kToBatch =
    "時間当たりのメール数が規定値を超えました。\r\n１０分毎にまとめて送信するモードへ変更します。";
const char* const kToSeq = "メールを逐次送信するモードへ戻します。";

std::string build_maker_account() {
    return build::kMakerAccount;
}
std::string build_maker_host() {
    return build::kMakerSmtpHost;
}

SmtpTestServer& server() {
    static SmtpTestServer s;
    return s;
}

std::string crlfToLf(std::string s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n'))
            out += s[i];
    return out;
}

class Sender : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server().ok()) << "aiosmtpd test server did not start";
        base_ = server().messages().size();
        s.useQuellorSmtp = 1;
        s.smtp = server().hostPort();
        s.portNum = 1;
        s.enableSsl = 1;
        s.userName = SmtpTestServer::kUser;
        s.password = SmtpTestServer::kPassword;
        s.from = "watch@pc.example";
        s.working = 1;
    }
    void TearDown() override {
        clock.setAutoAdvance(true);  // lets a sleeping sender run to its end
        sender.reset();
    }

    void makeSender(std::unique_ptr<SmtpClient> smtp = nullptr,
                    std::unique_ptr<NetworkState> network = nullptr) {
        MailSender::Options o;
        o.maker = MakerAccount::fromBuild(server().hostPort());
        o.caFile = caFile;
        o.connectTimeout = 5s;
        o.totalTimeout = 10s;
        if (!network) {
            auto n = std::make_unique<FakeNetworkState>();
            net = n.get();
            network = std::move(n);
        }
        sender = std::make_unique<MailSender>(
            queue, clock, smtp ? std::move(smtp) : makeCurlSmtpClient(), std::move(network),
            [this](const std::string& t, int mode) { reports.add(t, mode); }, o);
        sender->updateSettings(s);
    }
    void startSender() {
        if (!sender)
            makeSender();
        ASSERT_TRUE(sender->start());
        ASSERT_TRUE(clock.waitForSleepers(1));
    }

    // Moves the virtual clock in steps while the sender sleeps, until pred
    // holds. Each step waits (real time) until the sender is asleep again.
    bool stepUntil(const std::function<bool()>& pred, int maxSteps = 3000,
                   std::chrono::milliseconds step = 100ms, int sleepers = 1) {
        for (int i = 0; i < maxSteps; ++i) {
            if (pred())
                return true;
            const long calls = clock.sleepCalls();
            clock.advance(step);
            const auto deadline = std::chrono::steady_clock::now() + 30s;
            while (std::chrono::steady_clock::now() < deadline) {
                if (pred())
                    return true;
                if (clock.sleepCalls() > calls && clock.sleepers() >= sleepers)
                    break;
                std::this_thread::sleep_for(200us);
            }
        }
        return pred();
    }
    bool stepUntilSent(std::size_t n) {
        return stepUntil([&] { return server().messages().size() >= base_ + n && queue.empty(); });
    }
    bool stepUntilQueueEmpty() {
        return stepUntil([&] { return queue.empty() && clock.sleepers() >= 1; });
    }
    std::vector<ReceivedMail> received() {
        auto all = server().messages();
        return std::vector<ReceivedMail>(all.begin() + static_cast<long>(base_), all.end());
    }
    void queueNotice(const std::string& to, TimeT when,
                     const std::string& subject = "警報発生：orvana",
                     std::vector<std::string> files = {}) {
        queue.append(to, "", subject, "本文\r\n", "", files, when);
    }

    TempDir dir;
    VirtualClock clock{1765170000};
    MailQueue queue;
    ReportLog reports;
    AppSettings s;
    std::string caFile = server().certPath();
    FakeNetworkState* net = nullptr;
    std::unique_ptr<MailSender> sender;
    std::size_t base_ = 0;
};

TEST_F(Sender, DeliversComposedNoticeOverStartTlsWithAuth) {
    FakeMailHost host(dir.path());
    host.s = s;
    host.s.addresses = {recipient("ij@x.example", 1), recipient("other@x.example", 0, 1),
                        recipient("ij@x.example", 1)};
    host.s.attach = defaultAttachMatrix();
    host.addCameras(2);
    host.clk.setNow(clock.now());
    ASSERT_EQ(RegistMail(host, queue, ALERT_CAM, "警報発生", "動体を検知しました。\r\n2行目", 2),
              1);
    // A Japanese file name, and one picture that is gone by sending time.
    const std::string jp = dir.file("2026年12月08日10時04分30秒#Cam0.jpg");
    writeFile(jp, std::string(3000, '\xff'));
    auto head = queue.head();
    std::vector<std::string> files = head->attachments;
    files.push_back(jp);
    std::filesystem::remove(files[1]);
    {
        std::lock_guard lock(queue.CS_SendMailThread);
        queue.m_pMailHead->m_attachments = files;
    }
    startSender();
    ASSERT_TRUE(stepUntilSent(1));
    auto mails = received();
    ASSERT_EQ(mails.size(), 1u);
    const ReceivedMail& m = mails[0];
    EXPECT_TRUE(m.tls);
    EXPECT_TRUE(m.authenticated);
    EXPECT_EQ(m.mailFrom, "watch@pc.example");
    EXPECT_EQ(m.from, "watch@pc.example");
    EXPECT_EQ(m.rcptTos, std::vector<std::string>{"ij@x.example"});  // duplicate removed
    EXPECT_EQ(m.to, "ij@x.example");
    EXPECT_EQ(m.subject, "警報発生：orvana");
    EXPECT_EQ(m.rawSubject.rfind("=?ISO-2022-JP?B?", 0), 0u) << m.rawSubject;
    EXPECT_EQ(m.bodyCharset, "utf-8");
    const std::string body = crlfToLf(m.body);
    EXPECT_EQ(body, crlfToLf(head->body));
    EXPECT_EQ(body.substr(0, 21), formatLocal(clock.now(), "%Y/%m/%d %H:%M:%S") + "\n\n");
    EXPECT_NE(body.find("\nThis mail was generated by orvana.\n"), std::string::npos);
    EXPECT_FALSE(m.date.empty());
    EXPECT_FALSE(m.messageId.empty());
    ASSERT_EQ(m.attachments.size(), 2u);
    EXPECT_EQ(m.attachments[0].filename, std::filesystem::path(files[0]).filename().string());
    EXPECT_EQ(m.attachments[0].contentType, "application/octet-stream");
    EXPECT_EQ(m.attachments[1].filename, "2026年12月08日10時04分30秒#Cam0.jpg");
    EXPECT_EQ(m.attachments[1].size, 3000);
    // Every header line is 7-bit.
    const std::string headers = m.raw.substr(0, m.raw.find("\r\n\r\n"));
    for (unsigned char c : headers)
        ASSERT_LT(c, 0x80);
    // The report counts the files that went out, not the missing one that
    // was only named.
    EXPECT_EQ(reports.all().back(),
              (std::pair<std::string, int>{"メール送信が完了しました(添付ファイル:2個)", 1}));
    EXPECT_EQ(sender->sentTimes().front(), head->time);
}

TEST_F(Sender, KeepAliveGoesToWatchdogWithReplyTo) {
    FakeMailHost host(dir.path());
    host.s = s;
    host.s.hourKA = 8;
    host.s.toKA = "watchdog@quellor.example";
    host.s.addresses = {recipient("te@x.example", 0, 1), recipient("ka@x.example", 0, 0, 1),
                        recipient("ij@x.example", 1)};
    host.clk.setNow(clock.now());
    ASSERT_EQ(RegistMail(host, queue, ALERT_KA, "", "", 2), 1);
    startSender();
    ASSERT_TRUE(stepUntilSent(1));
    const ReceivedMail m = received().at(0);
    EXPECT_EQ(m.rcptTos, std::vector<std::string>{"watchdog@quellor.example"});
    EXPECT_EQ(m.subject, "orvana#KeepAlive/1H");
    EXPECT_EQ(m.replyTo, "te@x.example, ka@x.example");
    EXPECT_EQ(crlfToLf(m.body).rfind("<Orvana-Subject>orvana</Orvana-Subject>\n", 0), 0u);
}

TEST_F(Sender, MakerAccountAuthenticatesWithoutTls) {
    s.useQuellorSmtp = 0;
    s.smtp = "ignored.example";
    s.userName = "nobody";
    queueNotice("a@x.example", clock.now());
    startSender();
    ASSERT_TRUE(stepUntilSent(1));
    const ReceivedMail m = received().at(0);
    EXPECT_TRUE(m.authenticated);
    EXPECT_FALSE(m.tls);
    EXPECT_EQ(m.mailFrom, build_maker_account());
}

TEST_F(Sender, RefusedRecipientsRetriedOrDroppedAcceptedOnesGetItOnce) {
    const std::string busy = "rc550n1.busy@x.example", bad = "rc553.bad@x.example",
                      ok = "fine@x.example";
    queueNotice(busy + "," + ok + "," + bad, clock.now());
    startSender();
    ASSERT_TRUE(stepUntilSent(2));
    auto mails = received();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].rcptTos, std::vector<std::string>{ok});
    EXPECT_EQ(mails[1].rcptTos, std::vector<std::string>{busy});
    EXPECT_EQ(reports.texts(), (std::vector<std::string>{
                                   kRetry, bad + "へのメール送信に失敗しました。", kBack, kDone0}));
    for (const auto& [text, mode] : reports.all())
        EXPECT_EQ(mode, 1) << text;
    // The retry waited at least a second.
    EXPECT_GE(clock.sleptMs(), 1000);
    EXPECT_EQ(sender->sentTimes().size(), 1u);
    EXPECT_TRUE(sender->lastSendOk());
}

TEST_F(Sender, MailWhoseRecipientsAreAllDroppedIsFinished) {
    queueNotice(" , ", clock.now());  // a recipient of blanks only
    queueNotice("rc553.gone@x.example", clock.now());
    queueNotice("next@x.example", clock.now());
    startSender();
    ASSERT_TRUE(stepUntilSent(1));
    EXPECT_EQ(received().at(0).rcptTos, std::vector<std::string>{"next@x.example"});
    EXPECT_EQ(reports.texts(),
              (std::vector<std::string>{
                  "rc553.gone@x.example" + std::string("へのメール送信に失敗しました。"), kBack,
                  kDone0}));
    EXPECT_EQ(sender->sentTimes().size(), 3u);
}

TEST_F(Sender, WrongPasswordPausesAndRetriesUntilFixed) {
    s.password = "wrong";
    queueNotice("a@x.example", clock.now());
    startSender();
    ASSERT_TRUE(stepUntil([&] { return reports.count(kGeneral) >= 2; }));
    EXPECT_TRUE(queue.size() == 1);
    EXPECT_FALSE(sender->lastSendOk());
    s.password = SmtpTestServer::kPassword;
    sender->updateSettings(s);
    ASSERT_TRUE(stepUntilSent(1));
    auto texts = reports.texts();
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts[texts.size() - 2], kBack);
    EXPECT_EQ(texts.back(), kDone0);
    for (std::size_t i = 0; i + 2 < texts.size(); ++i)
        EXPECT_EQ(texts[i], kGeneral);
    // Each failure was followed by a one-second pause: never a tight loop.
    EXPECT_GE(clock.sleptMs(), 1000 * static_cast<long long>(texts.size() - 2));
}

TEST_F(Sender, UntrustedCertificateIsAGeneralFailure) {
    caFile.clear();  // the test certificate is not among the system's CAs
    queueNotice("a@x.example", clock.now());
    startSender();
    ASSERT_TRUE(stepUntil([&] { return reports.count(kGeneral) >= 1; }));
    EXPECT_EQ(received().size(), 0u);
    EXPECT_EQ(queue.size(), 1u);
}

TEST_F(Sender, LineBreaksNeverReachHeadersOrDialogue) {
    queue.append("a@x.example,evil@x.example\r\nRCPT TO:<spy@x.example>", "",
                 "警報\r\nBcc: spy@x.example", "本文", "", {}, clock.now());
    startSender();
    ASSERT_TRUE(stepUntilSent(1));
    const ReceivedMail m = received().at(0);
    EXPECT_EQ(m.rcptTos, std::vector<std::string>{"a@x.example"});
    EXPECT_EQ(m.subject, "警報Bcc: spy@x.example");
    for (const auto& h : m.headerNames)
        EXPECT_NE(h, "Bcc");
    EXPECT_EQ(reports.count("evil@x.exampleRCPT TO:<spy@x.example>へのメール送信に失敗しました。"),
              1);
}

TEST_F(Sender, AddressLongerThanAnSmtpPathNeverReachesTheServer) {
    const std::string tooLong = std::string(245, 'l') + "@x.example";  // 255 bytes
    queueNotice("a@x.example," + tooLong, clock.now());
    startSender();
    ASSERT_TRUE(stepUntilSent(1));
    const ReceivedMail m = received().at(0);
    EXPECT_EQ(m.rcptTos, std::vector<std::string>{"a@x.example"});
    EXPECT_EQ(reports.count(tooLong + "へのメール送信に失敗しました。"), 1);
}

TEST_F(Sender, NoticesQueuedWhileServerIsDownArriveExactlyOnce) {
    startSender();
    server().stop();
    queueNotice("a@x.example", clock.now(), "停電発生：orvana");
    queueNotice("a@x.example", clock.now(), "停電回復：orvana");
    ASSERT_TRUE(stepUntil([&] { return reports.count(kGeneral) >= 2; }));
    ASSERT_TRUE(server().restart());
    ASSERT_TRUE(stepUntilSent(2));
    auto mails = received();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].subject, "停電発生：orvana");
    EXPECT_EQ(mails[1].subject, "停電回復：orvana");
    EXPECT_EQ(reports.count(kBack), 1);
}

TEST_F(Sender, BatchModeAfterEleventhQuickSendNotTenth) {
    for (int i = 0; i < 10; ++i)
        queueNotice("a@x.example", clock.now());
    startSender();
    ASSERT_TRUE(stepUntilSent(10));
    EXPECT_FALSE(sender->batchMode());
    EXPECT_EQ(reports.count(kToBatch), 0);
    queueNotice("a@x.example", clock.now());
    ASSERT_TRUE(stepUntilSent(11));
    ASSERT_TRUE(reports.waitFor(kToBatch));
    EXPECT_TRUE(sender->batchMode());
    EXPECT_EQ(reports.all().back(), (std::pair<std::string, int>{kToBatch, 1}));
}

TEST_F(Sender, BatchModeAfterSixteenthWithinOneMinute) {
    const TimeT t0 = clock.now();
    startSender();
    for (int i = 0; i < 16; ++i) {
        // One notice every 4 s: never more than ten within 20 s.
        ASSERT_TRUE(stepUntil([&] { return clock.now() >= t0 + 4 * i; }));
        queueNotice("a@x.example", clock.now());
        ASSERT_TRUE(stepUntilSent(static_cast<std::size_t>(i + 1)));
        if (i < 15) {
            EXPECT_FALSE(sender->batchMode()) << i;
        }
    }
    ASSERT_TRUE(reports.waitFor(kToBatch));
    EXPECT_TRUE(sender->batchMode());
}

TEST_F(Sender, DigestOfThreeThenBackToSequential) {
    for (int i = 0; i < 11; ++i)
        queueNotice("a@x.example", clock.now());
    startSender();
    ASSERT_TRUE(stepUntil([&] { return sender->batchMode(); }));
    const TimeT t0 = clock.now();
    ASSERT_TRUE(clock.waitForSleepers(1));
    const std::string f1 = dir.file("one.jpg"), f3a = dir.file("three-a.jpg"),
                      f3b = dir.file("three-b.wav");
    for (const auto& f : {f1, f3a, f3b})
        writeFile(f, "x");
    queueNotice("a@x.example,b@x.example", t0 + 60, "警報発生：orvana", {f1});
    queueNotice("b@x.example", t0 + 120, "動体検知：orvana");
    queueNotice("c@x.example", t0 + 180, "温度異常：orvana", {f3a, f3b});
    // Nothing goes out before the ten minutes are over.
    clock.advance(599s);
    ASSERT_TRUE(stepUntil([&] { return clock.now() >= t0 + 599; }));
    EXPECT_EQ(received().size(), 11u);
    ASSERT_TRUE(stepUntilSent(12));
    const ReceivedMail d = received().at(11);
    EXPECT_EQ(d.subject, "集合メール通知:orvana");
    EXPECT_EQ(d.rcptTos, (std::vector<std::string>{"a@x.example", "b@x.example", "c@x.example"}));
    const std::size_t p1 = d.body.find("Subject:警報発生：orvana"),
                      p2 = d.body.find("Subject:動体検知：orvana"),
                      p3 = d.body.find("Subject:温度異常：orvana");
    ASSERT_NE(p1, std::string::npos);
    ASSERT_NE(p2, std::string::npos);
    ASSERT_NE(p3, std::string::npos);
    EXPECT_LT(p1, p2);
    EXPECT_LT(p2, p3);
    EXPECT_EQ(crlfToLf(d.body).rfind(
                  "Date:" + formatLocal(t0 + 60, "%Y/%m/%d %H:%M:%S") + "\nSubject:", 0),
              0u);
    ASSERT_EQ(d.attachments.size(), 2u);
    EXPECT_EQ(d.attachments[0].filename, "three-a.jpg");
    EXPECT_EQ(d.attachments[1].filename, "three-b.wav");
    EXPECT_EQ(reports.count(kToSeq), 0);
    // Ten quiet minutes: back to one by one.
    ASSERT_TRUE(stepUntil([&] { return reports.count(kToSeq) == 1; }, 200, 10s));
    EXPECT_FALSE(sender->batchMode());
    queueNotice("a@x.example", clock.now(), "停電発生：orvana");
    ASSERT_TRUE(stepUntilSent(13));
    EXPECT_EQ(received().at(12).subject, "停電発生：orvana");
}

TEST_F(Sender, FailedDigestIsFoldedIntoTheNextOne) {
    for (int i = 0; i < 11; ++i)
        queueNotice("a@x.example", clock.now());
    startSender();
    ASSERT_TRUE(stepUntil([&] { return sender->batchMode(); }));
    queueNotice("a@x.example", clock.now() + 1, "警報発生：orvana");
    s.password = "wrong";
    sender->updateSettings(s);
    ASSERT_TRUE(stepUntil([&] { return reports.count(kGeneral) == 1; }, 200, 10s));
    EXPECT_EQ(queue.size(), 1u);  // the digest, back in the queue
    s.password = SmtpTestServer::kPassword;
    sender->updateSettings(s);
    queueNotice("a@x.example", clock.now(), "動体検知：orvana");
    ASSERT_TRUE(stepUntil([&] { return received().size() >= 12 && queue.empty(); }, 200, 10s));
    const ReceivedMail d = received().at(11);
    EXPECT_NE(d.body.find("警報発生：orvana"), std::string::npos);
    EXPECT_NE(d.body.find("動体検知：orvana"), std::string::npos);
}

TEST_F(Sender, NetworkGateOnFakeSysfs) {
    const std::string net = dir.file("sys/class/net");
    std::filesystem::create_directories(net + "/lo");
    writeFile(net + "/lo/operstate", "unknown\n");
    writeFile(net + "/lo/flags", "0x9\n");
    makeSender(nullptr, makeSysfsNetworkState(dir.file("sys")));
    queueNotice("a@x.example", clock.now());
    startSender();
    stepUntil([] { return false; }, 300);  // 30 s without network
    EXPECT_EQ(reports.texts(), std::vector<std::string>{"NetWorkが無効です"});
    EXPECT_EQ(received().size(), 0u);
    std::filesystem::create_directories(net + "/eth0");
    writeFile(net + "/eth0/flags", "0x1003\n");
    writeFile(net + "/eth0/operstate", "up\n");
    ASSERT_TRUE(stepUntilSent(1));
    EXPECT_EQ(reports.texts(),
              (std::vector<std::string>{"NetWorkが無効です", "Networkが有効になりました", kDone0}));
    // Once seen, a later outage no longer holds mail back at the gate.
    writeFile(net + "/eth0/operstate", "down\n");
    queueNotice("a@x.example", clock.now());
    ASSERT_TRUE(stepUntilSent(2));
    EXPECT_EQ(reports.count("NetWorkが無効です"), 1);
}

TEST_F(Sender, WaitAllMailSendReturnsAtOnceOrAfter101Slices) {
    makeSender();
    sender->WaitAllMailSend();  // empty queue: no sleep at all
    EXPECT_EQ(clock.sleepCalls(), 0);
    queueNotice("a@x.example", clock.now());  // nobody sends it
    std::atomic<bool> done{false};
    std::thread ui([&] {
        sender->WaitAllMailSend();
        done = true;
    });
    const std::int64_t start = clock.nowMs();
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(clock.waitForSleepers(1));
        const long c = clock.sleepCalls();
        clock.advance(100ms);
        while (!done && !(clock.sleepCalls() > c && clock.sleepers() >= 1))
            std::this_thread::sleep_for(100us);
        ASSERT_FALSE(done) << i;
    }
    clock.advance(100ms);
    ui.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(clock.nowMs() - start, 10100);
    EXPECT_EQ(clock.sleepCalls(), 101);
}

TEST_F(Sender, WaitAllMailSendEndsWhenTheSenderEmptiesTheQueue) {
    startSender();
    queueNotice("a@x.example", clock.now());
    std::atomic<bool> done{false};
    std::thread ui([&] {
        sender->WaitAllMailSend();
        done = true;
    });
    ASSERT_TRUE(stepUntil([&] { return done.load(); }, 101, 100ms, 2));
    ui.join();
    EXPECT_EQ(received().size(), 1u);
}

TEST_F(Sender, StopsWithinOneSliceOnEmptyQueueAlsoInBatchMode) {
    startSender();
    sender->requestStop();
    clock.advance(100ms);
    for (int i = 0; i < 5000 && sender->running(); ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(sender->running());

    // Batch mode: the ten-minute wait is cut at the next slice.
    clock.setAutoAdvance(true);
    sender.reset();
    clock.setAutoAdvance(false);
    base_ = server().messages().size();
    for (int i = 0; i < 11; ++i)
        queueNotice("a@x.example", clock.now());
    startSender();
    ASSERT_TRUE(stepUntil([&] { return sender->batchMode() && clock.sleepers() >= 1; }));
    sender->requestStop();
    clock.advance(100ms);
    for (int i = 0; i < 5000 && sender->running(); ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(sender->running());
    // A stop request does not end a sender with mail queued; start() again
    // after it ended runs a new one, never two.
    EXPECT_TRUE(sender->start());
    EXPECT_FALSE(sender->start());
}

TEST_F(Sender, LiftedStopRequestNeverLeavesTheQueueWithoutSender) {
    // The settings dialog's sequence: stop request, request lifted, and a
    // new sender only when none runs. Here the thread has already read the
    // request (it waits on the queue lock) when the request is lifted.
    startSender();
    sender->requestStop();
    {
        std::unique_lock hold(queue.CS_SendMailThread);
        clock.advance(100ms);
        for (int i = 0; i < 5000 && clock.sleepers() > 0; ++i)
            std::this_thread::sleep_for(100us);
        std::this_thread::sleep_for(5ms);  // lets it reach the lock
        sender->clearStop();
        ASSERT_TRUE(sender->running());  // so the caller starts none
    }
    ASSERT_TRUE(clock.waitForSleepers(1));
    EXPECT_TRUE(sender->running());
    queueNotice("a@x.example", clock.now());
    ASSERT_TRUE(stepUntilSent(1));
}

TEST_F(Sender, DestructionWithQueuedMailEndsAfterCurrentAttempt) {
    // A server that accepts and never answers: the transfer is cancelled.
    TinyHttpServer silent("", false);
    s.smtp = "127.0.0.1:" + std::to_string(silent.port());
    queueNotice("a@x.example", clock.now());
    startSender();
    clock.advance(100ms);
    while (silent.requests() == 0)
        std::this_thread::sleep_for(1ms);
    const auto t = std::chrono::steady_clock::now();
    clock.setAutoAdvance(true);
    sender.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - t, 3s);
    EXPECT_EQ(queue.size(), 1u);
}

// Recordings of a mail composed with "CONV_3GP" on are converted on the
// sender's thread, once: a send that fails goes again with the same 3GP.
TEST_F(Sender, MarkedMailGoesWithItsRecordingConvertedOnceAcrossRetries) {
    const std::string stem = "2026年12月08日10時04分30秒";
    const std::string wav = dir.file(stem + ".wav");
    const std::string jpg = dir.file(stem + "#Vol.jpg");
    writeFile(wav, std::string(4000, 'w'));
    writeFile(jpg, std::string(3000, 'j'));
    queue.append("a@x.example", "", "警報発生：orvana", "本文\r\n", "", {jpg, wav}, clock.now(),
                 true);
    queueNotice("a@x.example", clock.now(), "警報解除：orvana", {wav});  // not marked
    s.ffmpegPath = "/opt/ffmpeg/bin/ffmpeg";
    s.ffmpegOption = "-f 3gp -ar 16000";
    s.password = "wrong";
    FakeAttachmentConverter conv;
    ReportLog told;
    makeSender();
    sender->setAttachmentConverter(&conv, [&](const std::string& t) { told.add(t, 0); });
    startSender();
    ASSERT_TRUE(stepUntil([&] { return reports.count(kGeneral) >= 3; }));
    // The picture and the recording went through the converter once, and
    // the queued mail names the 3GP from now on.
    EXPECT_EQ(conv.calls().size(), 2u);
    ASSERT_TRUE(queue.head());
    EXPECT_FALSE(queue.head()->convert3gp);
    EXPECT_EQ(queue.head()->attachments, (std::vector<std::string>{jpg, dir.file(stem + ".3gp")}));

    s.password = SmtpTestServer::kPassword;
    sender->updateSettings(s);
    ASSERT_TRUE(stepUntilSent(2));
    const auto mails = received();
    ASSERT_EQ(mails.size(), 2u);
    ASSERT_EQ(mails[0].attachments.size(), 2u);
    EXPECT_EQ(mails[0].attachments[0].filename, stem + "#Vol.jpg");
    EXPECT_EQ(mails[0].attachments[1].filename, stem + ".3gp");
    EXPECT_EQ(mails[0].attachments[1].size, 4007);  // "3gp of " and the WAV's bytes
    // The mail that was not marked carries the WAV as it was.
    ASSERT_EQ(mails[1].attachments.size(), 1u);
    EXPECT_EQ(mails[1].attachments[0].filename, stem + ".wav");
    EXPECT_EQ(mails[1].attachments[0].size, 4000);
    const auto calls = conv.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].path, jpg);
    EXPECT_EQ(calls[1].path, wav);
    EXPECT_EQ(calls[1].converter, "/opt/ffmpeg/bin/ffmpeg");
    EXPECT_EQ(calls[1].options, "-f 3gp -ar 16000");
    EXPECT_TRUE(told.texts().empty());
    EXPECT_EQ(reports.count("メール送信が完了しました(添付ファイル:2個)"), 1);
}

TEST_F(Sender, FailedConversionSendsTheWavAndIsToldOnce) {
    const std::string wav = dir.file("rec.wav");
    writeFile(wav, std::string(4000, 'w'));
    queue.append("a@x.example", "", "警報発生：orvana", "本文\r\n", "", {wav}, clock.now(), true);
    s.ffmpegPath = "/opt/ffmpeg";
    s.password = "wrong";
    FakeAttachmentConverter conv;
    conv.fail = true;
    ReportLog told;
    makeSender();
    sender->setAttachmentConverter(&conv, [&](const std::string& t) { told.add(t, 0); });
    startSender();
    ASSERT_TRUE(stepUntil([&] { return reports.count(kGeneral) >= 3; }));
    s.password = SmtpTestServer::kPassword;
    sender->updateSettings(s);
    ASSERT_TRUE(stepUntilSent(1));
    const auto mails = received();
    ASSERT_EQ(mails.size(), 1u);
    ASSERT_EQ(mails[0].attachments.size(), 1u);
    EXPECT_EQ(mails[0].attachments[0].filename, "rec.wav");
    EXPECT_EQ(mails[0].attachments[0].size, 4000);
    EXPECT_EQ(conv.calls().size(), 1u);
    EXPECT_EQ(told.texts(),
              std::vector<std::string>{"3GPへの変換に失敗しました。FFmpeg.exeの場所や、実行オプショ"
                                       "ンを確認してください。\n\n/opt/ffmpeg -i rec.wav"});
}

TEST_F(Sender, DigestTakesTheNewestRecordingConvertedOnceAlsoWhenItMustWait) {
    for (int i = 0; i < 11; ++i)
        queueNotice("a@x.example", clock.now());
    FakeAttachmentConverter conv;
    makeSender();
    sender->setAttachmentConverter(&conv, nullptr);
    startSender();
    ASSERT_TRUE(stepUntil([&] { return sender->batchMode(); }));
    EXPECT_TRUE(conv.calls().empty());  // nothing was marked so far
    const std::string older = dir.file("older.wav"), newest = dir.file("newest.wav");
    writeFile(older, "o");
    writeFile(newest, std::string(300, 'n'));
    queue.append("a@x.example", "", "警報発生：orvana", "1", "", {older}, clock.now() + 1, true);
    queue.append("a@x.example", "", "警報解除：orvana", "2", "", {newest}, clock.now() + 2, true);
    s.password = "wrong";
    sender->updateSettings(s);
    ASSERT_TRUE(stepUntil([&] { return reports.count(kGeneral) == 1; }, 200, 10s));
    // Only the newest mail's recording is the digest's; the digest that
    // failed waits with it converted.
    ASSERT_EQ(conv.calls().size(), 1u);
    EXPECT_EQ(conv.calls()[0].path, newest);
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_FALSE(queue.head()->convert3gp);
    EXPECT_EQ(queue.head()->attachments, std::vector<std::string>{dir.file("newest.3gp")});
    s.password = SmtpTestServer::kPassword;
    sender->updateSettings(s);
    ASSERT_TRUE(stepUntil([&] { return received().size() >= 12 && queue.empty(); }, 200, 10s));
    const ReceivedMail d = received().at(11);
    ASSERT_EQ(d.attachments.size(), 1u);
    EXPECT_EQ(d.attachments[0].filename, "newest.3gp");
    EXPECT_EQ(d.attachments[0].size, 307);
    EXPECT_EQ(conv.calls().size(), 1u);
}

TEST_F(Sender, WithoutAConverterTheMarkedRecordingGoesAsItIs) {
    const std::string wav = dir.file("rec.wav");
    writeFile(wav, std::string(4000, 'w'));
    queue.append("a@x.example", "", "警報発生：orvana", "本文\r\n", "", {wav}, clock.now(), true);
    startSender();
    ASSERT_TRUE(stepUntilSent(1));
    ASSERT_EQ(received().at(0).attachments.size(), 1u);
    EXPECT_EQ(received().at(0).attachments[0].filename, "rec.wav");
}

// A converter that runs until it is cancelled, as one that hangs does.
class HangingConverter final : public AttachmentConverter {
  public:
    std::string convert(const std::string& path, const std::string&, const std::string&,
                        std::string* notice, const std::atomic<bool>* cancel) override {
        entered = true;
        while (!(cancel && cancel->load()))
            std::this_thread::sleep_for(1ms);
        if (notice)
            notice->clear();
        return path;
    }
    std::atomic<bool> entered{false};
};

TEST_F(Sender, EndingWhileAConverterHangsDoesNotWaitForItAndKeepsTheMark) {
    const std::string wav = dir.file("rec.wav");
    writeFile(wav, std::string(100, 'w'));
    queue.append("a@x.example", "", "警報発生：orvana", "本文\r\n", "", {wav}, clock.now(), true);
    HangingConverter conv;
    makeSender();
    sender->setAttachmentConverter(&conv, nullptr);
    startSender();
    ASSERT_TRUE(stepUntil([&] { return conv.entered.load(); }));
    const auto t = std::chrono::steady_clock::now();
    clock.setAutoAdvance(true);
    sender.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - t, 3s);
    // Still queued as it was: the next start converts it.
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_TRUE(queue.head()->convert3gp);
    EXPECT_EQ(queue.head()->attachments, std::vector<std::string>{wav});
    EXPECT_EQ(received().size(), 0u);
}

TEST_F(Sender, RateWindowsCountEveryWindowAndPrune) {
    makeSender();
    const TimeT now = clock.now();
    struct Case {
        std::vector<std::int64_t> ages;  // seconds before now
        int expected;
    };
    auto repeat = [](int n, std::int64_t age) {
        return std::vector<std::int64_t>(static_cast<std::size_t>(n), age);
    };
    auto join = [](std::vector<std::int64_t> a, const std::vector<std::int64_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Case cases[] = {
        {repeat(10, 20), 0},
        {repeat(11, 20), 1},
        {repeat(11, 21), 0},
        {repeat(15, 60), 0},
        {repeat(16, 60), 1},
        {repeat(20, 180), 0},
        {repeat(21, 180), 1},
        {repeat(25, 600), 0},
        {repeat(26, 600), 1},
        {repeat(30, 1800), 0},
        {repeat(31, 1800), 1},
        {repeat(31, 1801), 0},
        {join(repeat(10, 5), repeat(6, 50)), 1},
    };
    for (const auto& c : cases) {
        sender.reset();
        makeSender();
        for (auto a : c.ages)
            sender->addSentTime(now - a);
        EXPECT_EQ(sender->IsEmergencyMode(), c.expected) << c.ages.size() << " x " << c.ages[0];
    }
    sender.reset();
    makeSender();
    sender->addSentTime(now - 1801);
    sender->addSentTime(now - 5);
    sender->addSentTime(now - 4000);
    sender->IsEmergencyMode();
    EXPECT_EQ(sender->sentTimes(), std::deque<TimeT>{now - 5});
}

TEST(SmtpAddress, MalformedIsWhatWouldEndOrChangeACommandOrOverflowAPath) {
    EXPECT_FALSE(isMalformedAddress("a@x.example"));
    EXPECT_FALSE(isMalformedAddress("管理者@例え.jp"));
    for (const char* bad : {"", "a b@x.example", "a\t@x.example", "a\r\n@x.example",
                            "<a@x.example>", "a>@x.example", "a\x7f@x.example", "a\x01@x.example"})
        EXPECT_TRUE(isMalformedAddress(bad)) << bad;
    // A path holds 256 octets with its angle brackets.
    const std::string longest = std::string(244, 'l') + "@x.example";
    ASSERT_EQ(longest.size(), 254u);
    EXPECT_FALSE(isMalformedAddress(longest));
    EXPECT_TRUE(isMalformedAddress("l" + longest));
}

TEST(SmtpParamsTest, AccountChoicePortsTlsAndOverride) {
    SenderSettings own;
    own.useQuellorSmtp = 1;
    own.smtp = "mail.example";
    own.portNum = 0;
    own.userName = "u";
    own.password = "p";
    own.from = "me@example";
    MakerAccount maker = MakerAccount::fromBuild("");
    std::string from;
    SmtpParams p = resolveSmtpParams(own, maker, "/ca.pem", from);
    EXPECT_EQ(p.host, "mail.example");
    EXPECT_EQ(p.port, 25);
    EXPECT_FALSE(p.auth);
    EXPECT_FALSE(p.startTls);
    EXPECT_EQ(p.caFile, "/ca.pem");
    EXPECT_EQ(from, "me@example");
    own.portNum = 1;
    own.enableSsl = 1;
    p = resolveSmtpParams(own, maker, "", from);
    EXPECT_EQ(p.port, 587);
    EXPECT_TRUE(p.auth);
    EXPECT_TRUE(p.startTls);
    EXPECT_EQ(p.user, "u");
    own.smtp = "mail.example:2525";
    EXPECT_EQ(resolveSmtpParams(own, maker, "", from).port, 2525);
    own.smtp = "mail.example:465";
    p = resolveSmtpParams(own, maker, "", from);
    EXPECT_TRUE(p.implicitTls);
    EXPECT_FALSE(p.startTls);
    own.smtp = "[::1]:2525";
    p = resolveSmtpParams(own, maker, "", from);
    EXPECT_EQ(p.host, "::1");
    EXPECT_EQ(p.port, 2525);
    own.smtp = "mail.example:bad";
    EXPECT_EQ(resolveSmtpParams(own, maker, "", from).port, 587);

    // The maker's account ignores the own-server fields.
    SenderSettings mk = own;
    mk.useQuellorSmtp = 0;
    p = resolveSmtpParams(mk, maker, "", from);
    EXPECT_EQ(p.host, build_maker_host());
    EXPECT_EQ(p.port, 587);
    EXPECT_TRUE(p.auth);
    EXPECT_FALSE(p.startTls);
    EXPECT_EQ(p.password, "Rt5Hob82");
    EXPECT_EQ(from, build_maker_account());
    p = resolveSmtpParams(mk, MakerAccount::fromBuild("127.0.0.1:2526"), "", from);
    EXPECT_EQ(p.host, "127.0.0.1");
    EXPECT_EQ(p.port, 2526);
}

// The moment the server has taken a message is known before the session
// closes, so the outbox can let go of it before a crash could repeat it.
TEST(CurlSmtp, AcceptanceIsToldOnceAndOnlyWhenEveryRecipientTookTheMail) {
    ASSERT_TRUE(server().ok());
    auto client = makeCurlSmtpClient();
    SmtpParams p;
    p.host = "127.0.0.1";
    p.port = server().port();
    p.startTls = true;
    p.auth = true;
    p.user = SmtpTestServer::kUser;
    p.password = SmtpTestServer::kPassword;
    p.caFile = server().certPath();
    p.totalTimeout = std::chrono::seconds(30);
    int told = 0;
    std::size_t storedWhenTold = 0;
    const std::size_t before = server().messages().size();
    p.onAccepted = [&] {
        ++told;
        storedWhenTold = server().messages().size();
    };
    const std::string message = "From: a@x.example\r\nSubject: t\r\n\r\nbody\r\n";
    SmtpResult r =
        client->send(p, "a@x.example", {"one@x.example", "two@x.example"}, message, nullptr);
    EXPECT_EQ(r.status, SmtpResult::Sent);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(storedWhenTold, before + 1) << "told after the server had stored it";

    // One recipient refused: the mail is not done, nothing is told.
    told = 0;
    r = client->send(p, "a@x.example", {"rc550.x@x.example", "ok@x.example"}, message, nullptr);
    EXPECT_EQ(r.status, SmtpResult::Sent);
    ASSERT_EQ(r.refused.size(), 1u);
    EXPECT_EQ(told, 0);
    // Everyone refused: nothing was taken.
    r = client->send(p, "a@x.example", {"rc550.y@x.example"}, message, nullptr);
    EXPECT_EQ(r.status, SmtpResult::Refused);
    EXPECT_EQ(told, 0);
}

}  // namespace
}  // namespace orvana
