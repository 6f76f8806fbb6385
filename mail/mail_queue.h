// The mail queue: queued notices (CMail) in a doubly linked FIFO list, and
// the lock that guards it. The main window owns one MailQueue; the composer
// appends on the UI thread, the sender takes mails off the head.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "mail/outbox.h"

namespace orvana {

// One queued mail. A mail in a list owns the mail after it (m_pNext); the
// head is owned by whoever holds the list (MailQueue::m_pMailHead).
class CMail {
  public:
    CMail() = default;
    CMail(const CMail&) = delete;
    CMail& operator=(const CMail&) = delete;
    // Frees the rest of the chain iteratively, so a long queue cannot
    // overflow the stack.
    ~CMail();

    std::string m_to;       // comma-separated
    std::string m_cc;       // comma-separated; empty for every composed notice
    std::string m_replyTo;  // comma-separated; only KeepAlive mails carry any
    std::string m_subject;
    std::string m_body;
    TimeT m_time = 0;                        // when queued (a digest: when built)
    std::vector<std::string> m_attachments;  // full paths, in collection order
    // Its recordings (".wav") are to be converted to 3GP before it is sent
    // ("CONV_3GP" was on when it was composed). Cleared once the sender has
    // tried, so a retry never runs the converter again.
    bool m_convert3gp = false;

    // Durability (see mail/outbox.h): the mail's file in the outbox (0: none),
    // its place in the outbox's order (a digest takes its first part's), and
    // for a digest the mails whose files it replaces once it is stored.
    std::uint64_t m_outboxId = 0;
    std::uint64_t m_outboxOrder = 0;
    std::vector<std::uint64_t> m_outboxParts;

    CMail* m_pPrev = nullptr;        // not owning
    std::unique_ptr<CMail> m_pNext;  // owning

    // Allocates a mail with these fields and m_time = now, appends it at the
    // tail of the list that starts at head and returns the (possibly new)
    // head. The caller holds CS_SendMailThread.
    static std::unique_ptr<CMail> RegistMail(std::unique_ptr<CMail> head, const std::string& to,
                                             const std::string& cc, const std::string& subject,
                                             const std::string& body, const std::string& replyTo,
                                             const std::vector<std::string>& attachments,
                                             TimeT now);

    // Unlinks this mail from the list that starts at head; head is updated
    // to the new head (null when the list is now empty). Returns the
    // ownership of this mail, or null when head is null or this mail is not
    // in that list. The caller holds CS_SendMailThread.
    std::unique_ptr<CMail> Remove(std::unique_ptr<CMail>& head);

    // Clears out, splits list at every ",", trims white space from each
    // piece, drops empty pieces and pieces already in out (exact,
    // case-sensitive) and appends the rest in order.
    static void GetAddressToArray(std::string list, std::vector<std::string>& out);

    // Turns this fresh mail into the digest of the whole list at head and
    // frees every queued mail (head becomes null). Subject "集合メール通知:" +
    // label, m_time = now, To = "," + each mail's To, one Date/Subject/Text
    // block per mail oldest first, the newest mail's attachments (and its
    // conversion mark); the folded mails' outbox files become its parts. The caller holds
    // CS_SendMailThread (or owns a list that left the queue).
    void CombineAndRemoveAllMail(std::unique_ptr<CMail>& head, const std::string& label, TimeT now);
    // The same for the first `count` mails from `first` on, which stay
    // where they are. Returns the number folded.
    std::size_t CombineMails(const CMail* first, std::size_t count, const std::string& label,
                             TimeT now);
};

// The fields of a mail the sender works with, copied out of the queue.
struct MailSnapshot {
    const CMail* identity = nullptr;  // only for comparison, never dereferenced
    std::string to, cc, replyTo, subject, body;
    TimeT time = 0;
    std::vector<std::string> attachments;
    bool convert3gp = false;
};

// The queue of the main window. All member functions may be called from any
// thread; each takes CS_SendMailThread for its list operation only, never
// while it writes or removes an outbox file.
//
// With an outbox attached the queue is durable: a mail is written before
// append returns, rewritten when its recipients change, removed once it is
// done, and a digest replaces the files of the mails it folds. Only one
// thread at a time (the sender) removes, folds or changes mails; others
// only append.
class MailQueue {
  public:
    MailQueue() = default;
    MailQueue(const MailQueue&) = delete;
    MailQueue& operator=(const MailQueue&) = delete;

    // Makes the queue durable. Call once, before anything is queued.
    void attachOutbox(std::unique_ptr<Outbox> outbox);
    // Null when the queue lives in memory only.
    Outbox* outbox() const { return outbox_.get(); }
    // Puts the outbox's stored mails in front of the queue, in their order,
    // reports how many were found ("未送信のメールが%d通見つかりました。送信を
    // 再開します。"), and folds beyond the outbox's bounds (label as in
    // takeDigest). Returns the number found. Before the sender starts.
    std::size_t loadOutbox(const std::string& label, TimeT now);
    // When the outbox is beyond a bound: folds the oldest half of the queue
    // (at least two mails) into one digest at its head and reports it.
    // True when it folded. The sender thread (or before it starts).
    bool foldIfOverLimits(const std::string& label, TimeT now);

    // Appends one mail (see CMail::RegistMail), marked for the conversion
    // of its recordings when convert3gp is set; with an outbox, it is on
    // the disk when this returns (a write failure is reported and the mail
    // is queued in memory all the same).
    void append(const std::string& to, const std::string& cc, const std::string& subject,
                const std::string& body, const std::string& replyTo,
                const std::vector<std::string>& attachments, TimeT now, bool convert3gp = false);
    // Puts an owned mail back at the head (a digest that could not be sent,
    // its recipients as they are now).
    void pushFront(std::unique_ptr<CMail> mail);
    // A digest that is done (sent, or nobody left to try): its file goes.
    void finishDigest(std::unique_ptr<CMail> digest);

    bool empty() const;
    std::size_t size() const;
    // A copy of the head mail, or nullopt when the queue is empty.
    std::optional<MailSnapshot> head() const;
    // Copies of every queued mail, head first (for tests and diagnostics).
    std::vector<MailSnapshot> all() const;

    // Removes a digest's outbox file (and its parts') once the server has
    // taken it; the digest stays with the caller. Sender thread.
    void settleDigest(CMail& digest);
    // Unlinks and frees the head mail if it still is `identity` (and
    // removes its outbox file). Returns false when the head is another mail
    // or the queue is empty.
    bool removeHead(const CMail* identity);
    // The head mail (if it still is `identity`) is done with: its outbox
    // file goes now, while the mail stays queued until removeHead, so the
    // sender can make a delivery durable before it reports it.
    void settleHead(const CMail* identity);
    // Replaces To and Cc of the head mail if it still is `identity`; its
    // outbox file records the change, so recipients that accepted are not
    // mailed again after a restart.
    bool setHeadRecipients(const CMail* identity, const std::string& to, const std::string& cc);
    // The sender has converted the head mail's recordings (if it still is
    // `identity`): it takes these attachments and loses its conversion
    // mark, in memory only. Its outbox file keeps the mark, so after a
    // restart the recordings are converted again from its own copies.
    bool setHeadConverted(const CMail* identity, const std::vector<std::string>& attachments);
    // Builds a digest of the whole queue (see CombineAndRemoveAllMail) and
    // returns it; the queue is empty afterwards. With an outbox the digest
    // is stored in place of the folded mails. Null when it was empty.
    std::unique_ptr<CMail> takeDigest(const std::string& label, TimeT now);

    // Guards m_pMailHead and every mail's links. Held only for list work.
    mutable std::mutex CS_SendMailThread;
    std::unique_ptr<CMail> m_pMailHead;  // oldest mail, null when empty

  private:
    bool foldOldest(std::size_t count, const std::string& label, TimeT now);

    std::unique_ptr<Outbox> outbox_;
    std::size_t foldRefusedAt_ = 0;  // queue length at which the disk refused a fold
};

MailSnapshot snapshotOf(const CMail& m);

}  // namespace orvana
