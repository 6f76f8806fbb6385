#include "mail/mail_queue.h"

#include <algorithm>

namespace orvana {

CMail::~CMail() {
    std::unique_ptr<CMail> next = std::move(m_pNext);
    while (next)
        next = std::move(next->m_pNext);
}

std::unique_ptr<CMail> CMail::RegistMail(std::unique_ptr<CMail> head, const std::string& to,
                                         const std::string& cc, const std::string& subject,
                                         const std::string& body, const std::string& replyTo,
                                         const std::vector<std::string>& attachments, TimeT now) {
    auto mail = std::make_unique<CMail>();
    mail->m_to = to;
    mail->m_cc = cc;
    mail->m_subject = subject;
    mail->m_body = body;
    mail->m_replyTo = replyTo;
    mail->m_attachments = attachments;
    mail->m_time = now;
    if (!head)
        return mail;
    CMail* tail = head.get();
    while (tail->m_pNext)
        tail = tail->m_pNext.get();
    mail->m_pPrev = tail;
    tail->m_pNext = std::move(mail);
    return head;
}

std::unique_ptr<CMail> CMail::Remove(std::unique_ptr<CMail>& head) {
    if (!head)
        return nullptr;
    std::unique_ptr<CMail> self;
    if (head.get() == this) {
        self = std::move(head);
        head = std::move(self->m_pNext);
        if (head)
            head->m_pPrev = nullptr;
    } else {
        // Make sure this mail really is in the list before touching links.
        CMail* p = head.get();
        while (p && p->m_pNext.get() != this)
            p = p->m_pNext.get();
        if (!p)
            return nullptr;
        self = std::move(p->m_pNext);
        p->m_pNext = std::move(self->m_pNext);
        if (p->m_pNext)
            p->m_pNext->m_pPrev = p;
    }
    self->m_pPrev = nullptr;
    return self;
}

namespace {
std::string trim(const std::string& s) {
    const char* ws = " \t\r\n\v\f";
    std::size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos)
        return {};
    std::size_t e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}
}  // namespace

void CMail::GetAddressToArray(std::string list, std::vector<std::string>& out) {
    out.clear();
    std::size_t pos = 0;
    for (;;) {
        std::size_t comma = list.find(',', pos);
        std::string piece =
            trim(list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        if (!piece.empty()) {
            bool dup = false;
            for (const auto& a : out)
                dup = dup || a == piece;
            if (!dup)
                out.push_back(std::move(piece));
        }
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
}

std::size_t CMail::CombineMails(const CMail* first, std::size_t count, const std::string& label,
                                TimeT now) {
    m_subject = "集合メール通知:" + label;
    m_time = now;
    m_to.clear();
    m_cc.clear();
    m_replyTo.clear();
    m_body.clear();
    m_attachments.clear();
    m_convert3gp = false;
    m_outboxParts.clear();
    m_outboxOrder = first ? first->m_outboxOrder : 0;
    std::size_t n = 0;
    for (const CMail* p = first; p && n < count; p = p->m_pNext.get(), ++n) {
        m_to += "," + p->m_to;
        m_body += "Date:" + formatLocal(p->m_time, "%Y/%m/%d %H:%M:%S") + "\r\n" +
                  "Subject:" + p->m_subject + "\r\n" + "Text:" + p->m_body + "\r\n";
        m_attachments = p->m_attachments;
        m_convert3gp = p->m_convert3gp;
        // The files this digest replaces: the mail's own, and those a digest
        // that never reached the disk still stood for.
        if (p->m_outboxId)
            m_outboxParts.push_back(p->m_outboxId);
        m_outboxParts.insert(m_outboxParts.end(), p->m_outboxParts.begin(), p->m_outboxParts.end());
    }
    return n;
}

void CMail::CombineAndRemoveAllMail(std::unique_ptr<CMail>& head, const std::string& label,
                                    TimeT now) {
    CombineMails(head.get(), static_cast<std::size_t>(-1), label, now);
    head.reset();
}

MailSnapshot snapshotOf(const CMail& m) {
    MailSnapshot s;
    s.identity = &m;
    s.to = m.m_to;
    s.cc = m.m_cc;
    s.replyTo = m.m_replyTo;
    s.subject = m.m_subject;
    s.body = m.m_body;
    s.time = m.m_time;
    s.attachments = m.m_attachments;
    s.convert3gp = m.m_convert3gp;
    return s;
}

void MailQueue::attachOutbox(std::unique_ptr<Outbox> outbox) {
    outbox_ = std::move(outbox);
}

namespace {
std::string sizeText(std::uint64_t bytes) {
    if (bytes >= 1024 * 1024)
        return std::to_string(bytes / (1024 * 1024)) + "MB";
    if (bytes >= 1024)
        return std::to_string(bytes / 1024) + "KB";
    return std::to_string(bytes) + "B";
}
}  // namespace

std::size_t MailQueue::loadOutbox(const std::string& label, TimeT now) {
    if (!outbox_)
        return 0;
    std::vector<std::unique_ptr<CMail>> stored = outbox_->load();
    std::size_t found = 0;
    {
        std::lock_guard lock(CS_SendMailThread);
        // Stored mails go first, in their order; one queued before the load
        // (already in the outbox, so also among the stored) is not doubled.
        std::unique_ptr<CMail> rest = std::move(m_pMailHead);
        auto queued = [&rest](std::uint64_t id) {
            for (const CMail* p = rest.get(); p; p = p->m_pNext.get())
                if (p->m_outboxId == id)
                    return true;
            return false;
        };
        CMail* tail = nullptr;
        for (auto& m : stored) {
            if (queued(m->m_outboxId))
                continue;
            ++found;
            CMail* raw = m.get();
            if (!tail) {
                m_pMailHead = std::move(m);
            } else {
                raw->m_pPrev = tail;
                tail->m_pNext = std::move(m);
            }
            tail = raw;
        }
        if (rest)
            rest->m_pPrev = tail;
        (tail ? tail->m_pNext : m_pMailHead) = std::move(rest);
    }
    if (found > 0)
        outbox_->note("未送信のメールが" + std::to_string(found) +
                      "通見つかりました。送信を再開します。");
    while (foldIfOverLimits(label, now)) {
    }
    return found;
}

bool MailQueue::foldIfOverLimits(const std::string& label, TimeT now) {
    if (!outbox_ || !outbox_->overLimits())
        return false;
    const std::size_t n = size();
    if (n < 2 || n == foldRefusedAt_)
        return false;
    const std::size_t k = std::max<std::size_t>(2, (n + 1) / 2);
    if (!foldOldest(k, label, now)) {
        // Tried again once the queue has changed, not at every step.
        foldRefusedAt_ = n;
        return false;
    }
    foldRefusedAt_ = 0;
    const OutboxLimits& l = outbox_->limits();
    outbox_->note("送信待ちメールが上限(" + std::to_string(l.maxMails) + "通/" +
                  sizeText(l.maxBytes) + ")を超えたため、古い" + std::to_string(k) +
                  "通を1通のまとめメールにしました。");
    return true;
}

bool MailQueue::foldOldest(std::size_t count, const std::string& label, TimeT now) {
    auto digest = std::make_unique<CMail>();
    const CMail* lastFolded = nullptr;
    {
        std::lock_guard lock(CS_SendMailThread);
        if (digest->CombineMails(m_pMailHead.get(), count, label, now) != count)
            return false;
        lastFolded = m_pMailHead.get();
        for (std::size_t i = 1; i < count; ++i)
            lastFolded = lastFolded->m_pNext.get();
    }
    // The folded mails stay queued (and readable) while the digest is
    // written: only this thread removes mails, so they are still the first.
    if (!outbox_->add(*digest))
        return false;
    std::unique_ptr<CMail> gone;
    std::lock_guard lock(CS_SendMailThread);
    CMail* last = m_pMailHead.get();
    for (std::size_t i = 1; last && i < count; ++i)
        last = last->m_pNext.get();
    if (last != lastFolded)
        return false;  // cannot happen while only this thread removes mails
    std::unique_ptr<CMail> rest = std::move(last->m_pNext);
    gone = std::move(m_pMailHead);
    if (rest)
        rest->m_pPrev = digest.get();
    digest->m_pNext = std::move(rest);
    m_pMailHead = std::move(digest);
    return true;
}

void MailQueue::append(const std::string& to, const std::string& cc, const std::string& subject,
                       const std::string& body, const std::string& replyTo,
                       const std::vector<std::string>& attachments, TimeT now, bool convert3gp) {
    std::unique_ptr<CMail> mail =
        CMail::RegistMail(nullptr, to, cc, subject, body, replyTo, attachments, now);
    mail->m_convert3gp = convert3gp;
    // On the disk before anyone can see it; the lock is not held meanwhile.
    if (outbox_)
        outbox_->add(*mail);
    std::lock_guard lock(CS_SendMailThread);
    if (!m_pMailHead) {
        m_pMailHead = std::move(mail);
        return;
    }
    CMail* tail = m_pMailHead.get();
    while (tail->m_pNext)
        tail = tail->m_pNext.get();
    mail->m_pPrev = tail;
    tail->m_pNext = std::move(mail);
}

void MailQueue::pushFront(std::unique_ptr<CMail> mail) {
    if (!mail)
        return;
    if (outbox_)
        outbox_->update(*mail);
    std::lock_guard lock(CS_SendMailThread);
    mail->m_pPrev = nullptr;
    mail->m_pNext = std::move(m_pMailHead);
    if (mail->m_pNext)
        mail->m_pNext->m_pPrev = mail.get();
    m_pMailHead = std::move(mail);
}

void MailQueue::settleDigest(CMail& digest) {
    if (!outbox_)
        return;
    outbox_->remove(digest);
    digest.m_outboxId = 0;
    digest.m_outboxParts.clear();
}

void MailQueue::finishDigest(std::unique_ptr<CMail> digest) {
    if (digest && outbox_)
        outbox_->remove(*digest);
}

bool MailQueue::empty() const {
    std::lock_guard lock(CS_SendMailThread);
    return !m_pMailHead;
}

std::size_t MailQueue::size() const {
    std::lock_guard lock(CS_SendMailThread);
    std::size_t n = 0;
    for (const CMail* p = m_pMailHead.get(); p; p = p->m_pNext.get())
        ++n;
    return n;
}

std::optional<MailSnapshot> MailQueue::head() const {
    std::lock_guard lock(CS_SendMailThread);
    if (!m_pMailHead)
        return std::nullopt;
    return snapshotOf(*m_pMailHead);
}

std::vector<MailSnapshot> MailQueue::all() const {
    std::lock_guard lock(CS_SendMailThread);
    std::vector<MailSnapshot> v;
    for (const CMail* p = m_pMailHead.get(); p; p = p->m_pNext.get())
        v.push_back(snapshotOf(*p));
    return v;
}

bool MailQueue::removeHead(const CMail* identity) {
    std::unique_ptr<CMail> gone;
    {
        std::lock_guard lock(CS_SendMailThread);
        if (!m_pMailHead || m_pMailHead.get() != identity)
            return false;
        gone = m_pMailHead->Remove(m_pMailHead);
    }
    if (gone && outbox_)
        outbox_->remove(*gone);
    return gone != nullptr;
}

void MailQueue::settleHead(const CMail* identity) {
    if (!outbox_)
        return;
    CMail done;
    {
        std::lock_guard lock(CS_SendMailThread);
        if (!m_pMailHead || m_pMailHead.get() != identity)
            return;
        done.m_outboxId = m_pMailHead->m_outboxId;
        done.m_outboxParts = std::move(m_pMailHead->m_outboxParts);
        m_pMailHead->m_outboxId = 0;
        m_pMailHead->m_outboxParts.clear();
    }
    outbox_->remove(done);
}

bool MailQueue::setHeadRecipients(const CMail* identity, const std::string& to,
                                  const std::string& cc) {
    CMail* head = nullptr;
    {
        std::lock_guard lock(CS_SendMailThread);
        if (!m_pMailHead || m_pMailHead.get() != identity)
            return false;
        m_pMailHead->m_to = to;
        m_pMailHead->m_cc = cc;
        head = m_pMailHead.get();
    }
    // The head stays while this thread (the only one that removes) writes.
    if (outbox_)
        outbox_->update(*head);
    return true;
}

bool MailQueue::setHeadConverted(const CMail* identity,
                                 const std::vector<std::string>& attachments) {
    std::lock_guard lock(CS_SendMailThread);
    if (!m_pMailHead || m_pMailHead.get() != identity)
        return false;
    m_pMailHead->m_attachments = attachments;
    m_pMailHead->m_convert3gp = false;
    return true;
}

std::unique_ptr<CMail> MailQueue::takeDigest(const std::string& label, TimeT now) {
    std::unique_ptr<CMail> all;
    {
        std::lock_guard lock(CS_SendMailThread);
        all = std::move(m_pMailHead);
    }
    if (!all)
        return nullptr;
    auto digest = std::make_unique<CMail>();
    digest->CombineAndRemoveAllMail(all, label, now);
    // The digest replaces the folded mails' files once it is stored.
    if (outbox_)
        outbox_->add(*digest);
    return digest;
}

}  // namespace orvana
