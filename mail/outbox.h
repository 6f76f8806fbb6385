// The durable outbox: every queued mail is also a file in one folder, so a
// notice the program accepted survives its end, a crash or a power cut and
// is sent after the next start.
//
// A mail file holds its fields as "key value" lines (texts length-prefixed)
// and ends with a checksum line; "convert3gp 1" marks a mail whose
// recordings the sender converts, absent in files of unmarked mails.
//
// Layout of the folder (0700; files 0600):
//   NNNNNNNNNNNNNNNN.mail   one mail; NNNN is its id, never reused while
//                           any mail that could name it exists
//   att/NNNN/...            the mail's own copies of its attachments (a hard
//                           link where the data folder is on the same file
//                           system, else a copy), so housekeeping of the
//                           data folder cannot take them away
//   damaged/                files that could not be read, set aside
//   *.mail.tmp              a write not yet renamed: taken as the mail when
//                           whole (its checksum holds), else removed
//
// Every write goes to a temporary file beside the target, is flushed to the
// disk and renamed into place before the call returns. A mail's file names
// its own checksum, so a whole file is told from a torn one; the moment a
// whole temporary file exists, the write has happened (a crash before the
// rename leaves it for the next load), which spares a flush of the folder
// on the UI thread. Removals flush the folder. A digest names the mails it
// replaces ("part" lines): a load that finds a digest removes the parts it
// names, and the parts go only once the digest is written, so a crash
// leaves the parts or the digest, never neither and never both.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orvana {

class CMail;

// The outbox folder: `override` (ORVANA_OUTBOX) when not empty, else
// $XDG_STATE_HOME, or $HOME/.local/state when that is unset or not an
// absolute path, followed by "/Quellor/orvana/outbox". Empty when neither
// gives an absolute path. Any thread.
std::string outboxFolder(const std::string& override, const char* xdgStateHome, const char* home);

// Beyond either bound the oldest mails are folded into one digest.
struct OutboxLimits {
    std::size_t maxMails = 500;
    std::uint64_t maxBytes = 200ull * 1024 * 1024;  // mail files and attachment copies
};

class Outbox {
  public:
    // Receives the event-list lines of the outbox (found mails, damaged
    // files, folds, write failures). Called on the thread that did the work.
    using ReportFn = std::function<void(const std::string& text)>;
    // Called with the name of each step of a write, a fold or a removal,
    // after that step; tests end the process there. Null in production.
    using StepHook = std::function<void(const char* step)>;

    // Nothing is touched before the first call. report may be null.
    Outbox(std::string folder, ReportFn report, OutboxLimits limits = {});
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    const std::string& folder() const { return folder_; }
    const OutboxLimits& limits() const { return limits_; }

    // Reads the stored mails, oldest first, as unlinked mails that carry
    // their ids. Completes folds that a crash interrupted, removes
    // unfinished writes and attachment copies no mail names, and moves
    // every file that cannot be read (truncated, garbage, not a regular
    // file, unreadable) to damaged/, reporting each. Never throws; an
    // unusable folder is reported and gives nothing. Call once, before the
    // sender starts.
    std::vector<std::unique_ptr<CMail>> load();

    // Stores a mail that is not shared yet: gives it an id, copies its
    // existing attachments into the outbox (m_attachments then names the
    // copies; a file that is gone keeps its path and is skipped at send
    // time) and writes its file. A mail with m_outboxParts is a digest: its
    // parts' files go once it is stored. False (reported, the mail then
    // lives in memory only) when the disk refuses. Any one thread at a time
    // per mail.
    bool add(CMail& mail);
    // Rewrites the file of a stored mail after its recipients changed (or
    // stores it when it has no file yet). The caller keeps the mail from
    // changing meanwhile.
    bool update(CMail& mail);
    // Removes the file and attachment copies of a mail that is done, and
    // the files of the parts a digest still names.
    void remove(const CMail& mail);

    // Mails and bytes in the folder now, and whether either is beyond its
    // bound. Any thread.
    std::size_t count() const { return count_.load(); }
    std::uint64_t bytes() const { return bytes_.load(); }
    bool overLimits() const;

    // Reports a line through the report function. Any thread.
    void note(const std::string& text) const;

    // Tests only: called after every step (see StepHook). Set before use.
    void setStepHook(StepHook hook) { hook_ = std::move(hook); }

  private:
    bool ensureFolder();
    std::string mailPath(std::uint64_t id) const;
    std::string attDir(std::uint64_t id) const;
    bool linkAttachments(CMail& mail);
    bool writeDurably(const std::string& path, const std::string& data, const char* stepPrefix);
    // Removes a mail file and its attachment copies; returns the bytes freed.
    std::uint64_t removeFiles(std::uint64_t id, bool syncAfter);
    void step(const char* name) const {
        if (hook_)
            hook_(name);
    }

    std::string folder_;
    ReportFn report_;
    OutboxLimits limits_;
    StepHook hook_;
    std::mutex setupMutex_;
    bool ready_ = false;
    bool failedReported_ = false;
    std::atomic<std::uint64_t> nextId_{1};
    std::atomic<std::size_t> count_{0};
    std::atomic<std::uint64_t> bytes_{0};
};

// The text of a stored mail and back; exposed for tests and tools.
std::string encodeOutboxMail(const CMail& mail);
// Fills mail from text; false with a short reason when the text is not a
// whole, intact mail file.
bool decodeOutboxMail(const std::string& text, CMail& mail, std::string& reason);

}  // namespace orvana
