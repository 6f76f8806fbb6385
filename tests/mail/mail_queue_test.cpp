#include <gtest/gtest.h>

#include "mail/mail_composer.h"
#include "mail/mail_queue.h"
#include "tests/mail/mail_test_support.h"

namespace orvana {
namespace {

using testing::recipient;

TEST(MailQueue, AppendsAtTailAndRemovesAnywhere) {
    std::unique_ptr<CMail> head;
    head = CMail::RegistMail(std::move(head), "a", "", "s1", "b1", "", {}, 100);
    head = CMail::RegistMail(std::move(head), "b", "", "s2", "b2", "", {"x"}, 101);
    head = CMail::RegistMail(std::move(head), "c", "", "s3", "b3", "", {}, 102);
    ASSERT_EQ(head->m_subject, "s1");
    CMail* second = head->m_pNext.get();
    CMail* third = second->m_pNext.get();
    EXPECT_EQ(second->m_pPrev, head.get());
    EXPECT_EQ(third->m_pPrev, second);
    EXPECT_EQ(second->m_attachments, std::vector<std::string>{"x"});
    EXPECT_EQ(second->m_time, 101);

    // Middle mail: links close up, the mail comes back owned and unlinked.
    auto gone = second->Remove(head);
    ASSERT_EQ(gone.get(), second);
    EXPECT_EQ(gone->m_pPrev, nullptr);
    EXPECT_EQ(gone->m_pNext, nullptr);
    EXPECT_EQ(head->m_pNext.get(), third);
    EXPECT_EQ(third->m_pPrev, head.get());

    // A mail not in the list is refused without touching it.
    EXPECT_EQ(gone->Remove(head), nullptr);
    EXPECT_EQ(head->m_pNext.get(), third);

    auto first = head->Remove(head);
    EXPECT_EQ(head.get(), third);
    EXPECT_EQ(third->m_pPrev, nullptr);
    auto last = third->Remove(head);
    EXPECT_EQ(head, nullptr);
    std::unique_ptr<CMail> none;
    EXPECT_EQ(last->Remove(none), nullptr);
}

TEST(MailQueue, LongQueueFreesWithoutDeepRecursion) {
    MailQueue q;
    for (int i = 0; i < 200000; ++i) {
        // Append straight to the list head to keep the test fast.
        auto m = std::make_unique<CMail>();
        m->m_pNext = std::move(q.m_pMailHead);
        q.m_pMailHead = std::move(m);
    }
    q.m_pMailHead.reset();
    SUCCEED();
}

TEST(MailQueue, GetAddressToArraySplitsTrimsAndDropsDuplicates) {
    std::vector<std::string> out = {"stale"};
    CMail::GetAddressToArray(",a@x, b@x ,,a@x,\tc@x\t, A@x,", out);
    EXPECT_EQ(out, (std::vector<std::string>{"a@x", "b@x", "c@x", "A@x"}));
    CMail::GetAddressToArray("", out);
    EXPECT_TRUE(out.empty());
    CMail::GetAddressToArray(" , ,", out);
    EXPECT_TRUE(out.empty());
}

TEST(MailQueue, DigestFoldsWholeQueueOldestFirstWithNewestAttachments) {
    MailQueue q;
    const TimeT t0 = fromLocal(2026, 12, 8, 9, 0, 0);
    q.append("a@x", "cc@x", "警報発生：orvana", "body1", "", {"/f1"}, t0);
    q.append("b@x,a@x", "", "動体検知：orvana", "body2", "", {"/f2a", "/f2b"}, t0 + 60);
    q.append("keep@x", "", "orvana#KeepAlive/1H", "body3", "r@x", {"/f3"}, t0 + 125);
    auto d = q.takeDigest("orvana", t0 + 600);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(d->m_subject, "集合メール通知:orvana");
    EXPECT_EQ(d->m_time, t0 + 600);
    EXPECT_EQ(d->m_to, ",a@x,b@x,a@x,keep@x");
    EXPECT_EQ(d->m_cc, "");
    EXPECT_EQ(d->m_replyTo, "");
    EXPECT_EQ(d->m_body,
              "Date:2026/12/08 09:00:00\r\nSubject:警報発生：orvana\r\nText:body1\r\n"
              "Date:2026/12/08 09:01:00\r\nSubject:動体検知：orvana\r\nText:body2\r\n"
              "Date:2026/12/08 09:02:05\r\nSubject:orvana#KeepAlive/1H\r\nText:body3\r\n");
    EXPECT_EQ(d->m_attachments, std::vector<std::string>{"/f3"});
    std::vector<std::string> to;
    CMail::GetAddressToArray(d->m_to, to);
    EXPECT_EQ(to, (std::vector<std::string>{"a@x", "b@x", "keep@x"}));
    EXPECT_EQ(q.takeDigest("orvana", t0), nullptr);
}

TEST(MailQueue, ConversionMarkGoesWithTheNewestAttachmentsAndIsClearedOnceConverted) {
    MailQueue q;
    // The digest takes the newest mail's files, so its mark too: an older
    // marked recording is not among them.
    q.append("a@x", "", "s1", "b", "", {"/r1.wav"}, 1, true);
    q.append("b@x", "", "s2", "b", "", {"/p2.jpg"}, 2, false);
    auto d = q.takeDigest("orvana", 3);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->m_attachments, std::vector<std::string>{"/p2.jpg"});
    EXPECT_FALSE(d->m_convert3gp);
    q.append("a@x", "", "s1", "b", "", {"/p1.jpg"}, 1, false);
    q.append("b@x", "", "s2", "b", "", {"/p2.jpg", "/r2.wav"}, 2, true);
    d = q.takeDigest("orvana", 3);
    EXPECT_TRUE(d->m_convert3gp);

    q.append("a@x", "", "s1", "b", "", {"/p.jpg", "/r.wav"}, 1, true);
    q.append("b@x", "", "s2", "b", "", {"/q.wav"}, 2, true);
    auto h = q.head();
    ASSERT_TRUE(h && h->convert3gp);
    // Another mail is at the head by now: nothing changes.
    EXPECT_FALSE(q.setHeadConverted(q.all()[1].identity, {"/x.3gp"}));
    EXPECT_TRUE(q.head()->convert3gp);
    EXPECT_TRUE(q.setHeadConverted(h->identity, {"/p.jpg", "/r.3gp"}));
    EXPECT_EQ(q.head()->attachments, (std::vector<std::string>{"/p.jpg", "/r.3gp"}));
    EXPECT_FALSE(q.head()->convert3gp);
    EXPECT_TRUE(q.all()[1].convert3gp);  // the next one keeps its own
}

TEST(MailQueue, HeadOperationsCheckIdentity) {
    MailQueue q;
    q.append("a@x", "", "s1", "b", "", {}, 1);
    q.append("b@x", "", "s2", "b", "", {}, 2);
    auto h = q.head();
    ASSERT_TRUE(h);
    EXPECT_FALSE(q.removeHead(nullptr));
    EXPECT_TRUE(q.setHeadRecipients(h->identity, "z@x", ""));
    EXPECT_EQ(q.head()->to, "z@x");
    EXPECT_TRUE(q.removeHead(h->identity));
    EXPECT_FALSE(q.removeHead(h->identity));
    EXPECT_EQ(q.head()->subject, "s2");
    auto back = std::make_unique<CMail>();
    back->m_subject = "again";
    q.pushFront(std::move(back));
    EXPECT_EQ(q.size(), 2u);
    EXPECT_EQ(q.all().front().subject, "again");
}

TEST(Recipients, GetStringAndGetTo) {
    EXPECT_EQ(recipient("a@x", 1, 1).GetString(), "a@x;  異常通知,定期通知");
    EXPECT_EQ(recipient("a@x", 0, 0, 1).GetString(), "a@x;  その他管理情報通知");
    EXPECT_EQ(recipient("a@x", 0).GetString(), "a@x;  ");
    EXPECT_FALSE(recipient("", 1).IsValid());

    const std::vector<CUserAddress> list = {recipient("ij@x", 1), recipient("te@x", 0, 1),
                                            recipient("ka@x", 0, 0, 1),
                                            recipient("rq@x", 0, 0, 0, 1), recipient("ij@x", 1)};
    for (ALERT_MODE k : {ALERT_VOL, ALERT_CAM, ALERT_TEMP, ALERT_GEIGER, ALERT_OWL, ALERT_POW})
        EXPECT_EQ(GetTo(list, k), "ij@x,ij@x") << k;
    EXPECT_EQ(GetTo(list, ALERT_TK), "te@x");
    EXPECT_EQ(GetTo(list, ALERT_KANRI), "ka@x");
    EXPECT_EQ(GetTo(list, ALERT_RQ), "rq@x");
    EXPECT_EQ(GetTo(list, ALERT_KA), "te@x,ka@x");
    EXPECT_EQ(GetTo(list, static_cast<ALERT_MODE>(10)), "");
    EXPECT_EQ(GetTo({}, ALERT_VOL), "");
}

TEST(Recipients, KeepAliveCodes) {
    EXPECT_EQ(keepAliveCode(0), "");
    EXPECT_EQ(keepAliveCode(1), "24H");
    EXPECT_EQ(keepAliveCode(8), "1H");
    EXPECT_EQ(keepAliveCode(12), "5M");
    EXPECT_EQ(keepAliveCode(13), "");
    EXPECT_EQ(keepAliveCode(-1), "");
}

}  // namespace
}  // namespace orvana
