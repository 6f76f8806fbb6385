#include "mail/mail_queue.h"

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

void CMail::CombineAndRemoveAllMail(std::unique_ptr<CMail>& head, const std::string& label,
                                    TimeT now) {
    m_subject = "集合メール通知:" + label;
    m_time = now;
    m_to.clear();
    m_cc.clear();
    m_replyTo.clear();
    m_body.clear();
    m_attachments.clear();
    for (CMail* p = head.get(); p; p = p->m_pNext.get()) {
        m_to += "," + p->m_to;
        m_body += "Date:" + formatLocal(p->m_time, "%Y/%m/%d %H:%M:%S") + "\r\n" +
                  "Subject:" + p->m_subject + "\r\n" + "Text:" + p->m_body + "\r\n";
        if (!p->m_pNext)
            m_attachments = p->m_attachments;
    }
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
    return s;
}

void MailQueue::append(const std::string& to, const std::string& cc, const std::string& subject,
                       const std::string& body, const std::string& replyTo,
                       const std::vector<std::string>& attachments, TimeT now) {
    std::lock_guard lock(CS_SendMailThread);
    m_pMailHead =
        CMail::RegistMail(std::move(m_pMailHead), to, cc, subject, body, replyTo, attachments, now);
}

void MailQueue::pushFront(std::unique_ptr<CMail> mail) {
    if (!mail)
        return;
    std::lock_guard lock(CS_SendMailThread);
    mail->m_pPrev = nullptr;
    mail->m_pNext = std::move(m_pMailHead);
    if (mail->m_pNext)
        mail->m_pNext->m_pPrev = mail.get();
    m_pMailHead = std::move(mail);
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
    std::lock_guard lock(CS_SendMailThread);
    if (!m_pMailHead || m_pMailHead.get() != identity)
        return false;
    gone = m_pMailHead->Remove(m_pMailHead);
    return gone != nullptr;
}

bool MailQueue::setHeadRecipients(const CMail* identity, const std::string& to,
                                  const std::string& cc) {
    std::lock_guard lock(CS_SendMailThread);
    if (!m_pMailHead || m_pMailHead.get() != identity)
        return false;
    m_pMailHead->m_to = to;
    m_pMailHead->m_cc = cc;
    return true;
}

std::unique_ptr<CMail> MailQueue::takeDigest(const std::string& label, TimeT now) {
    auto digest = std::make_unique<CMail>();
    std::lock_guard lock(CS_SendMailThread);
    if (!m_pMailHead)
        return nullptr;
    digest->CombineAndRemoveAllMail(m_pMailHead, label, now);
    return digest;
}

}  // namespace orvana
