// The durable outbox on a real folder: its file format against damage, a
// stored mail through a restart to the real SMTP server (aiosmtpd), damaged
// files set aside, folds into a digest cut short by kill -9 at every step,
// the bounds, and a batch digest that waits on the disk until it is sent.
// Every wait of the sender runs on a virtual clock.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "mail/mail_composer.h"
#include "mail/mail_queue.h"
#include "mail/mail_sender.h"
#include "mail/outbox.h"
#include "tests/mail/mail_test_support.h"
#include "tests/mail/outbox_test_support.h"

namespace orvana {
namespace {

using namespace orvana::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

const char* const kFound3 = "未送信のメールが3通見つかりました。送信を再開します。";

SmtpTestServer& server() {
    static SmtpTestServer s;
    return s;
}

int modeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

std::vector<std::string> filesUnder(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(dir, ec))
        if (e.is_regular_file())
            out.push_back(e.path().string());
    return out;
}

TEST(OutboxFolder, OverrideThenStateHomeThenHome) {
    EXPECT_EQ(outboxFolder("/srv/box", "/state", "/home/u"), "/srv/box");
    EXPECT_EQ(outboxFolder("", "/state/", "/home/u"), "/state/Quellor/orvana/outbox");
    // A relative state folder is not valid and is ignored.
    EXPECT_EQ(outboxFolder("", "state", "/home/u"), "/home/u/.local/state/Quellor/orvana/outbox");
    EXPECT_EQ(outboxFolder("", nullptr, "/home/u"), "/home/u/.local/state/Quellor/orvana/outbox");
    EXPECT_EQ(outboxFolder("", "", ""), "");
    EXPECT_EQ(outboxFolder("", nullptr, nullptr), "");
}

TEST(OutboxFile, EveryCutAndEveryFlippedByteIsRefused) {
    CMail m;
    m.m_outboxId = 42;
    m.m_outboxOrder = 7;
    m.m_time = 1765170000;
    m.m_to = "a@x.example,b@x.example";
    m.m_replyTo = "r@x.example";
    // Texts that look like the file's own lines must not confuse it.
    m.m_subject = "警報発生：orvana\nsum 0000000000000000";
    m.m_body = "2026/12/08 10:00:00\r\n\r\nbody 5\nto 3\n\r\n";
    m.m_attachments = {"/data/2026年12月08日10時00分00秒#Cam0.jpg", ""};
    m.m_outboxParts = {3, 5};
    const std::string text = encodeOutboxMail(m);

    CMail back;
    std::string reason;
    ASSERT_TRUE(decodeOutboxMail(text, back, reason)) << reason;
    EXPECT_EQ(back.m_outboxId, 42u);
    EXPECT_EQ(back.m_outboxOrder, 7u);
    EXPECT_EQ(back.m_time, 1765170000);
    EXPECT_EQ(back.m_to, m.m_to);
    EXPECT_EQ(back.m_cc, "");
    EXPECT_EQ(back.m_replyTo, m.m_replyTo);
    EXPECT_EQ(back.m_subject, m.m_subject);
    EXPECT_EQ(back.m_body, m.m_body);
    EXPECT_EQ(back.m_attachments, m.m_attachments);
    EXPECT_EQ(back.m_outboxParts, m.m_outboxParts);

    for (std::size_t cut = 0; cut < text.size(); ++cut) {
        CMail part;
        ASSERT_FALSE(decodeOutboxMail(text.substr(0, cut), part, reason)) << cut;
        EXPECT_EQ(reason, "途中で切れています") << cut;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string bad = text;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        CMail damaged;
        EXPECT_FALSE(decodeOutboxMail(bad, damaged, reason)) << "byte " << i;
    }
    CMail more;
    EXPECT_FALSE(decodeOutboxMail(text + "x", more, reason));
    EXPECT_EQ(reason, "形式が違います");
}

std::string withSum(std::string text) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char sum[32];
    std::snprintf(sum, sizeof sum, "sum %016llx\n", static_cast<unsigned long long>(h));
    return text + sum;
}

TEST(OutboxFile, ConversionMarkIsAnOptionalKeyAndOlderFilesLoadUnmarked) {
    // A file as written before the mark existed.
    const std::string older =
        "ORVANA-OUTBOX 1\nid 9\norder 9\ntime 1765170000\nto 11\na@x.example\ncc 0\n\n"
        "replyto 0\n\nsubject 21\n警報発生：orvana\nbody 8\n本文\r\n\nattach 13\n/data/rec.wav\n"
        "sum f06d7d61ec544200\n";
    CMail back;
    std::string reason;
    ASSERT_TRUE(decodeOutboxMail(older, back, reason)) << reason;
    EXPECT_FALSE(back.m_convert3gp);
    EXPECT_EQ(back.m_attachments, std::vector<std::string>{"/data/rec.wav"});
    // An unmarked mail is still written exactly so.
    EXPECT_EQ(encodeOutboxMail(back), older);

    back.m_convert3gp = true;
    const std::string marked = encodeOutboxMail(back);
    EXPECT_NE(marked.find("\nconvert3gp 1\n"), std::string::npos);
    CMail again;
    ASSERT_TRUE(decodeOutboxMail(marked, again, reason)) << reason;
    EXPECT_TRUE(again.m_convert3gp);
    EXPECT_EQ(again.m_attachments, back.m_attachments);

    // Whole files (their checksum holds) with a mark that is not 0 or 1, or
    // given twice, are not ours.
    const std::string body = marked.substr(0, marked.find("sum "));
    const std::string zero =
        withSum(body.substr(0, body.find("convert3gp 1\n")) + "convert3gp 0\n");
    ASSERT_TRUE(decodeOutboxMail(zero, again, reason)) << reason;
    EXPECT_FALSE(again.m_convert3gp);
    for (const std::string& bad :
         {withSum(body.substr(0, body.find("convert3gp 1\n")) + "convert3gp 2\n"),
          withSum(body.substr(0, body.find("convert3gp 1\n")) + "convert3gp yes\n"),
          withSum(body + "convert3gp 1\n")}) {
        CMail m;
        EXPECT_FALSE(decodeOutboxMail(bad, m, reason)) << bad;
        EXPECT_EQ(reason, "形式が違います");
    }
}

// A queue with an outbox in a scratch folder, and a sender to the real
// server, driven in virtual time.
class OutboxSend : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server().ok()) << "aiosmtpd test server did not start";
        base_ = server().messages().size();
        s.useQuellorSmtp = 1;
        s.smtp = server().hostPort();
        s.portNum = 0;  // plain SMTP, no AUTH
        s.enableSsl = 0;
        s.from = "watch@pc.example";
        s.working = 1;
        fs::create_directories(dir.file("data"));
    }
    void TearDown() override {
        clock.setAutoAdvance(true);  // lets a sleeping sender run to its end
        sender.reset();
    }

    std::string box() const { return dir.file("outbox"); }
    std::unique_ptr<MailQueue> durableQueue(OutboxLimits limits = {}) {
        auto q = std::make_unique<MailQueue>();
        q->attachOutbox(std::make_unique<Outbox>(
            box(), [this](const std::string& line) { reports.add(line, 2); }, limits));
        return q;
    }
    std::string picture(const std::string& name, std::size_t size) {
        const std::string p = dir.file("data/" + name);
        writeFile(p, std::string(size, 'p'));
        return p;
    }

    void startSender(MailQueue& q, bool networkUp = true,
                     AttachmentConverter* converter = nullptr) {
        MailSender::Options o;
        o.maker = MakerAccount::fromBuild(server().hostPort());
        o.connectTimeout = 5s;
        o.totalTimeout = 10s;
        auto n = std::make_unique<FakeNetworkState>();
        n->up = networkUp;
        net = n.get();
        sender = std::make_unique<MailSender>(
            q, clock, makeCurlSmtpClient(), std::move(n),
            [this](const std::string& t, int mode) { reports.add(t, mode); }, o);
        sender->updateSettings(s);
        sender->setAttachmentConverter(converter,
                                       [this](const std::string& t) { reports.add(t, 0); });
        ASSERT_TRUE(sender->start());
        ASSERT_TRUE(clock.waitForSleepers(1));
    }
    // Moves the virtual clock in steps while the sender sleeps, until pred.
    bool stepUntil(const std::function<bool()>& pred, int maxSteps = 3000,
                   std::chrono::milliseconds step = 100ms) {
        for (int i = 0; i < maxSteps; ++i) {
            if (pred())
                return true;
            const long calls = clock.sleepCalls();
            clock.advance(step);
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            while (std::chrono::steady_clock::now() < deadline) {
                if (pred())
                    return true;
                if (clock.sleepCalls() > calls && clock.sleepers() >= 1)
                    break;
                std::this_thread::sleep_for(200us);
            }
        }
        return pred();
    }
    bool stepUntilDelivered(MailQueue& q, std::size_t n) {
        return stepUntil([&] { return received().size() >= n && q.empty(); });
    }
    std::vector<ReceivedMail> received() {
        auto all = server().messages();
        return std::vector<ReceivedMail>(all.begin() + static_cast<long>(base_), all.end());
    }
    // Ends the sender as the program's end does, leaving the queue as it is.
    void endSender() {
        clock.setAutoAdvance(true);
        sender.reset();
        clock.setAutoAdvance(false);
    }

    TempDir dir;
    VirtualClock clock{1765170000};
    ReportLog reports;
    AppSettings s;
    FakeNetworkState* net = nullptr;
    std::unique_ptr<MailQueue> queue;  // the one a sender works on; outlives it
    std::unique_ptr<MailSender> sender;
    std::size_t base_ = 0;
};

TEST_F(OutboxSend, StoredMailSurvivesRestartAndGoesOnlyOnceTheServerAcceptedIt) {
    {
        auto q = durableQueue();
        FakeMailHost host(dir.file("data"));
        host.s = s;
        host.s.addresses = {recipient("ij@x.example", 1)};
        host.addCameras(2);
        host.clk.setNow(clock.now());
        ASSERT_EQ(RegistMail(host, *q, ALERT_CAM, "動体検知", "動体を検知しました。", 2), 1);
        // On the disk, private, when RegistMail returns.
        ASSERT_EQ(storedMailFiles(box()).size(), 1u);
        EXPECT_EQ(modeOf(box()), 0700);
        EXPECT_EQ(modeOf(box() + "/" + storedMailFiles(box())[0]), 0600);
        q->append("ij@x.example", "", "停電発生：orvana", "停電\r\n", "", {}, clock.now());
        q->append("ij@x.example", "", "電力回復：orvana", "回復\r\n", "", {}, clock.now());
        // Housekeeping takes the pictures from the data folder meanwhile.
        for (const auto& f : filesUnder(dir.file("data")))
            fs::remove(f);
        // The program ends with nothing sent: the queue is gone.
    }
    queue = durableQueue();
    MailQueue* q = queue.get();
    EXPECT_EQ(q->loadOutbox("orvana", clock.now()), 3u);
    EXPECT_EQ(reports.texts(), std::vector<std::string>{kFound3});
    q->append("ij@x.example", "", "再起動完了：orvana", "起動\r\n", "", {}, clock.now());
    ASSERT_EQ(storedMailFiles(box()).size(), 4u);

    // No network yet: nothing is accepted, nothing leaves the outbox.
    startSender(*q, false);
    ASSERT_TRUE(stepUntil([&] { return reports.count("NetWorkが無効です") == 1; }));
    EXPECT_EQ(storedMailFiles(box()).size(), 4u);
    net->up = true;
    ASSERT_TRUE(stepUntilDelivered(*q, 4));
    const auto mails = received();
    ASSERT_EQ(mails.size(), 4u);
    EXPECT_EQ(mails[0].subject, "動体検知：orvana");
    EXPECT_EQ(mails[1].subject, "停電発生：orvana");
    EXPECT_EQ(mails[2].subject, "電力回復：orvana");
    EXPECT_EQ(mails[3].subject, "再起動完了：orvana");
    // The pictures went out from the outbox's own copies, under their names.
    ASSERT_EQ(mails[0].attachments.size(), 2u);
    for (const auto& a : mails[0].attachments) {
        EXPECT_NE(a.filename.find("#Cam"), std::string::npos) << a.filename;
        EXPECT_GT(a.size, 0);
    }
    EXPECT_TRUE(storedMailFiles(box()).empty());
    EXPECT_TRUE(filesUnder(box()).empty());
}

TEST_F(OutboxSend, MarkedMailIsConvertedAfterARestartFromItsOwnCopy) {
    const std::string wav = dir.file("data/2026年12月08日10時04分30秒.wav");
    writeFile(wav, std::string(5000, 'w'));
    {
        auto q = durableQueue();
        q->append("a@x.example", "", "警報発生：orvana", "本文\r\n", "", {wav}, clock.now(), true);
    }
    // The program ended before it was sent, and housekeeping took the
    // recording from the data folder meanwhile.
    fs::remove(wav);
    queue = durableQueue();
    ASSERT_EQ(queue->loadOutbox("orvana", clock.now()), 1u);
    const auto stored = queue->head();
    ASSERT_TRUE(stored);
    EXPECT_TRUE(stored->convert3gp);
    ASSERT_EQ(stored->attachments.size(), 1u);
    EXPECT_EQ(stored->attachments[0].rfind(box() + "/att/", 0), 0u) << stored->attachments[0];

    FakeAttachmentConverter conv;
    startSender(*queue, true, &conv);
    ASSERT_TRUE(stepUntilDelivered(*queue, 1));
    const auto mails = received();
    ASSERT_EQ(mails.size(), 1u);
    ASSERT_EQ(mails[0].attachments.size(), 1u);
    EXPECT_EQ(mails[0].attachments[0].filename, "2026年12月08日10時04分30秒.3gp");
    EXPECT_EQ(mails[0].attachments[0].size, 5007);
    ASSERT_EQ(conv.calls().size(), 1u);
    EXPECT_EQ(conv.calls()[0].path, stored->attachments[0]);
    // The 3GP went with the mail's own copies.
    EXPECT_TRUE(filesUnder(box() + "/att").empty());
    EXPECT_EQ(reports.count("メール送信が完了しました(添付ファイル:1個)"), 1);
}

TEST_F(OutboxSend, DamagedFilesAreSetAsideAndReportedTheRestIsSent) {
    const std::string found4 = "未送信のメールが4通見つかりました。送信を再開します。";
    {
        auto q = durableQueue();
        for (int i = 0; i < 3; ++i)
            q->append("a@x.example", "", "通知" + std::to_string(i), "本文", "", {}, clock.now());
    }
    const auto good = storedMailFiles(box());
    ASSERT_EQ(good.size(), 3u);
    const std::string text = readFile(box() + "/" + good[1]);
    writeFile(box() + "/0000000000000010.mail", text.substr(0, text.size() / 2));  // truncated
    writeFile(box() + "/0000000000000011.mail", std::string("\x89PNG\r\n\x1a\n\0\0garbage", 17));
    fs::create_directory(box() + "/0000000000000012.mail");                    // not a file
    ASSERT_EQ(::mkfifo((box() + "/0000000000000013.mail").c_str(), 0600), 0);  // would block
    writeFile(box() + "/0000000000000014.mail", text);  // another mail's file under this name
    writeFile(box() + "/0000000000000015.mail.tmp", "a write that never finished");
    // A whole one was written and flushed; the power went before its rename.
    {
        CMail late;
        late.m_outboxId = late.m_outboxOrder = 17;
        late.m_time = clock.now();
        late.m_to = "a@x.example";
        late.m_subject = "通知3";
        late.m_body = "本文";
        writeFile(box() + "/0000000000000017.mail.tmp", encodeOutboxMail(late));
    }
    fs::create_directories(box() + "/att/0000000000000099");
    writeFile(box() + "/att/0000000000000099/left.jpg", "orphan");
    writeFile(box() + "/notes.txt", "not ours");
    const bool root = ::geteuid() == 0;
    if (!root) {
        writeFile(box() + "/0000000000000016.mail", text);
        fs::permissions(box() + "/0000000000000016.mail", fs::perms::none);
    }

    queue = durableQueue();
    MailQueue* q = queue.get();
    EXPECT_EQ(q->loadOutbox("orvana", clock.now()), 4u);
    const std::string aside = box() + "/damaged";
    auto line = [&](const std::string& name, const std::string& reason) {
        return "送信待ちメールのファイル" + name + "を読めません(" + reason + ")。" + aside +
               "へ移しました。";
    };
    std::vector<std::string> expected = {
        line("0000000000000010.mail", "途中で切れています"),
        line("0000000000000011.mail", "形式が違います"),
        line("0000000000000012.mail", "通常のファイルではありません"),
        line("0000000000000013.mail", "通常のファイルではありません"),
        line("0000000000000014.mail", "形式が違います"),
    };
    if (!root)
        expected.push_back(line("0000000000000016.mail", "読めません: Permission denied"));
    expected.push_back(found4);
    EXPECT_EQ(reports.texts(), expected);
    auto kept = good;
    kept.push_back("0000000000000017.mail");
    EXPECT_EQ(storedMailFiles(box()), kept);
    EXPECT_EQ(storedMailFiles(aside).size(), expected.size() - 1);
    EXPECT_FALSE(fs::exists(box() + "/0000000000000015.mail.tmp"));
    EXPECT_FALSE(fs::exists(box() + "/0000000000000015.mail"));
    EXPECT_FALSE(fs::exists(box() + "/att/0000000000000099"));
    EXPECT_TRUE(fs::exists(box() + "/notes.txt"));

    startSender(*q);
    ASSERT_TRUE(stepUntilDelivered(*q, 4));
    ASSERT_EQ(received().size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(received()[static_cast<std::size_t>(i)].subject, "通知" + std::to_string(i));
    EXPECT_TRUE(storedMailFiles(box()).empty());
    // Set aside once: the next start finds nothing to report.
    endSender();
    std::vector<std::string> again;
    EXPECT_TRUE(loadStored(box(), &again).empty());
    EXPECT_TRUE(again.empty());
}

TEST_F(OutboxSend, WhenTheDiskRefusesTheMailIsReportedAndStillSent) {
    // The first write meets a folder where its temporary file should go.
    fs::create_directories(box() + "/0000000000000001.mail.tmp");
    queue = durableQueue();
    MailQueue* q = queue.get();
    const std::string pic = picture("2026年12月08日10時00分00秒#Cam0.jpg", 3000);
    q->append("a@x.example", "", "通知0", "本文", "", {pic}, clock.now());
    q->append("a@x.example", "", "通知1", "本文", "", {}, clock.now());
    EXPECT_EQ(reports.texts(),
              std::vector<std::string>{"送信待ちメールを保存できません(Is a directory)。送信前に"
                                       "プログラムが終了すると、このメールは失われます。"});
    ASSERT_EQ(q->size(), 2u);
    EXPECT_EQ(q->all()[0].attachments, std::vector<std::string>{pic});
    EXPECT_EQ(storedMailFiles(box()).size(), 1u);
    // A folder that cannot be made is reported once, however many mails.
    writeFile(dir.file("plain-file"), "x");
    MailQueue elsewhere;
    elsewhere.attachOutbox(std::make_unique<Outbox>(
        dir.file("plain-file/outbox"), [this](const std::string& line) { reports.add(line, 2); }));
    elsewhere.append("a@x.example", "", "通知2", "本文", "", {}, clock.now());
    elsewhere.append("a@x.example", "", "通知3", "本文", "", {}, clock.now());
    EXPECT_EQ(reports.count("送信待ちメールのフォルダ" + dir.file("plain-file/outbox") +
                            "を使えません(Not a directory)。送信前にプログラムが終了すると、"
                            "メールは失われます。"),
              1);
    EXPECT_EQ(elsewhere.size(), 2u);

    startSender(*q);
    ASSERT_TRUE(stepUntilDelivered(*q, 2));
    ASSERT_EQ(received().size(), 2u);
    ASSERT_EQ(received()[0].attachments.size(), 1u);
    EXPECT_EQ(received()[0].attachments[0].size, 3000);
    EXPECT_TRUE(storedMailFiles(box()).empty());
}

// Four notices, the newest with a picture, folded by `fold`.
struct FoldSetup {
    std::unique_ptr<MailQueue> queue;
    Outbox* box = nullptr;
};

class OutboxFold : public OutboxSend {
  protected:
    FoldSetup setUpFour(const std::string& folder, OutboxLimits limits) {
        FoldSetup f;
        f.queue = std::make_unique<MailQueue>();
        auto box = std::make_unique<Outbox>(folder, nullptr, limits);
        f.box = box.get();
        f.queue->attachOutbox(std::move(box));
        for (int i = 0; i < 4; ++i) {
            std::vector<std::string> files;
            if (i == 3)
                files.push_back(picture("2026年12月08日10時00分00秒#Cam0.jpg", 5000));
            f.queue->append("a@x.example", "", token(i), "本文" + std::to_string(i) + "\r\n", "",
                            files, clock.now() + i);
        }
        return f;
    }
    static std::string token(int i) { return "notice-" + std::to_string(i); }

    // Every notice in exactly one queued mail (its own, or a digest's
    // block), the newest picture still there; then all of it delivered.
    void expectEveryNoticeOnceAndDeliverable(const std::string& folder, const std::string& step) {
        queue = std::make_unique<MailQueue>();
        MailQueue* q = queue.get();
        q->attachOutbox(std::make_unique<Outbox>(folder, nullptr));
        q->loadOutbox("orvana", clock.now());
        const auto mails = q->all();
        for (int i = 0; i < 4; ++i) {
            int seen = 0;
            for (const auto& m : mails)
                seen += m.subject == token(i) ||
                        m.body.find("Subject:" + token(i) + "\r\n") != std::string::npos;
            EXPECT_EQ(seen, 1) << token(i) << " after " << step;
        }
        ASSERT_FALSE(mails.empty());
        ASSERT_EQ(mails.back().attachments.size(), 1u) << step;
        EXPECT_TRUE(fs::exists(mails.back().attachments[0])) << step;
        base_ = server().messages().size();
        startSender(*q);
        ASSERT_TRUE(stepUntilDelivered(*q, mails.size())) << step;
        std::string all;
        for (const auto& m : received())
            all += m.subject + "\n" + m.body;
        for (int i = 0; i < 4; ++i)
            EXPECT_NE(all.find(token(i)), std::string::npos) << token(i) << " after " << step;
        EXPECT_TRUE(storedMailFiles(folder).empty()) << step;
        endSender();
    }

    // Kills the process at each step of `fold` in turn and checks what it
    // left behind.
    void killAtEveryStep(OutboxLimits limits, const std::function<void(MailQueue&)>& fold) {
        std::vector<std::string> steps;
        {
            TempDir scratch;
            FoldSetup f = setUpFour(scratch.file("box"), limits);
            f.box->setStepHook([&steps](const char* step) { steps.push_back(step); });
            fold(*f.queue);
        }
        ASSERT_GE(std::count(steps.begin(), steps.end(), std::string("digest-committed")), 1);
        for (std::size_t i = 0; i < steps.size(); ++i) {
            TempDir run;
            const std::string folder = run.file("box");
            FoldSetup f = setUpFour(folder, limits);
            EXPECT_EXIT(
                {
                    std::size_t seen = 0;
                    f.box->setStepHook([&](const char*) {
                        if (seen++ == i)
                            ::raise(SIGKILL);
                    });
                    fold(*f.queue);
                    std::_Exit(0);
                },
                ::testing::KilledBySignal(SIGKILL), "")
                << steps[i];
            expectEveryNoticeOnceAndDeliverable(folder, std::to_string(i) + " " + steps[i]);
        }
    }
};

TEST_F(OutboxFold, BatchDigestKilledAtEveryStepLeavesEveryNoticeOnce) {
    killAtEveryStep({}, [this](MailQueue& q) { q.takeDigest("orvana", clock.now()); });
}

TEST_F(OutboxFold, BoundFoldKilledAtEveryStepLeavesEveryNoticeOnce) {
    OutboxLimits three;
    three.maxMails = 3;
    killAtEveryStep(three, [this](MailQueue& q) { q.foldIfOverLimits("orvana", clock.now()); });
}

TEST_F(OutboxSend, BeyondTheMailBoundTheOldestBecomeOneDigestNotDropped) {
    OutboxLimits four;
    four.maxMails = 4;
    queue = durableQueue(four);
    MailQueue* q = queue.get();
    for (int i = 0; i < 6; ++i)
        q->append("a@x.example", "", "通知" + std::to_string(i), "本文" + std::to_string(i), "", {},
                  clock.now());
    ASSERT_EQ(storedMailFiles(box()).size(), 6u);
    startSender(*q, false);  // the fold does not wait for the network
    const std::string folded =
        "送信待ちメールが上限(4通/200MB)を超えたため、古い3通を1通のまとめメールにしました。";
    ASSERT_TRUE(stepUntil([&] { return reports.count(folded) == 1; }));
    ASSERT_TRUE(stepUntil([&] { return reports.count("NetWorkが無効です") == 1; }));
    EXPECT_EQ(storedMailFiles(box()).size(), 4u);
    EXPECT_EQ(q->size(), 4u);
    net->up = true;
    ASSERT_TRUE(stepUntilDelivered(*q, 4));
    const auto mails = received();
    ASSERT_EQ(mails.size(), 4u);
    EXPECT_EQ(mails[0].subject, "集合メール通知:orvana");
    const std::string body = crlfToLf(mails[0].body);
    const auto p0 = body.find("Subject:通知0\nText:本文0\n"), p1 = body.find("Subject:通知1\n"),
               p2 = body.find("Subject:通知2\n");
    ASSERT_NE(p0, std::string::npos) << body;
    EXPECT_LT(p0, p1);
    EXPECT_LT(p1, p2);
    EXPECT_NE(p2, std::string::npos);
    for (int i = 3; i < 6; ++i)
        EXPECT_EQ(mails[static_cast<std::size_t>(i - 2)].subject, "通知" + std::to_string(i));
    EXPECT_EQ(reports.count(folded), 1);
    EXPECT_TRUE(storedMailFiles(box()).empty());
}

TEST_F(OutboxSend, BeyondTheByteBoundAtStartTheOldestPicturesGo) {
    std::vector<std::string> copies;
    {
        auto q = durableQueue();
        for (int i = 0; i < 3; ++i)
            q->append("a@x.example", "", "通知" + std::to_string(i), "本文", "",
                      {picture("p" + std::to_string(i) + "#Cam0.jpg", 8000)}, clock.now());
        for (const auto& m : q->all())
            copies.push_back(m.attachments.at(0));
    }
    for (const auto& c : copies)
        ASSERT_TRUE(fs::exists(c)) << c;
    OutboxLimits small;
    small.maxBytes = 20 * 1024;
    auto q = durableQueue(small);
    EXPECT_EQ(q->loadOutbox("orvana", clock.now()), 3u);
    EXPECT_EQ(reports.texts(), (std::vector<std::string>{
                                   kFound3,
                                   "送信待ちメールが上限(500通/"
                                   "20KB)を超えたため、古い2通を1通のまとめメールにしました。"}));
    const auto mails = q->all();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].subject, "集合メール通知:orvana");
    EXPECT_NE(mails[0].body.find("Subject:通知0\r\n"), std::string::npos);
    EXPECT_NE(mails[0].body.find("Subject:通知1\r\n"), std::string::npos);
    EXPECT_EQ(mails[1].subject, "通知2");
    // A digest keeps its newest part's picture; the oldest one's copy went.
    ASSERT_EQ(mails[0].attachments.size(), 1u);
    EXPECT_EQ(fs::path(mails[0].attachments[0]).filename(), "p1#Cam0.jpg");
    EXPECT_FALSE(fs::exists(copies[0]));
    EXPECT_EQ(filesUnder(box() + "/att").size(), 2u);
    EXPECT_LE(q->outbox()->bytes(), small.maxBytes);
}

TEST_F(OutboxSend, BatchDigestWaitsOnTheDiskUntilSent) {
    queue = durableQueue();
    MailQueue* q = queue.get();
    // Ten mails just went out: the next one switches to batch mode.
    q->append("a@x.example", "", "通知0", "本文", "", {}, clock.now());
    startSender(*q);
    for (int i = 0; i < 10; ++i)
        sender->addSentTime(clock.now());
    ASSERT_TRUE(stepUntil([&] { return sender->batchMode(); }));
    for (int i = 1; i <= 3; ++i)
        q->append("a@x.example", "", "通知" + std::to_string(i), "本文", "", {}, clock.now());
    ASSERT_EQ(storedMailFiles(box()).size(), 3u);
    server().stop();
    // Ten minutes on: the digest fails and stays, in place of its parts.
    ASSERT_TRUE(stepUntil(
        [&] {
            return reports.count(
                       "メール送信に失敗しました。インターネットに接続されてい"
                       "ないか、設定に誤りがあります") == 1;
        },
        50, 60s));
    const auto left = storedMailFiles(box());
    ASSERT_EQ(left.size(), 1u);
    CMail stored;
    std::string reason;
    ASSERT_TRUE(decodeOutboxMail(readFile(box() + "/" + left[0]), stored, reason)) << reason;
    EXPECT_EQ(stored.m_subject, "集合メール通知:orvana");
    for (int i = 1; i <= 3; ++i)
        EXPECT_NE(stored.m_body.find("Subject:通知" + std::to_string(i)), std::string::npos);
    ASSERT_TRUE(server().restart());
    ASSERT_TRUE(stepUntil([&] { return received().size() >= 2; }, 50, 60s));
    EXPECT_EQ(received()[1].subject, "集合メール通知:orvana");
    ASSERT_TRUE(stepUntil([&] { return storedMailFiles(box()).empty(); }, 50, 60s));
}

}  // namespace
}  // namespace orvana
