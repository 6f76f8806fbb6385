#include "mail/outbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "mail/mail_queue.h"

namespace orvana {
namespace {

constexpr const char* kMagic = "ORVANA-OUTBOX 1\n";
constexpr const char* kSuffix = ".mail";
// A stored mail larger than this is not one of ours.
constexpr std::uint64_t kMaxFileBytes = 1ull << 30;

std::string errText(int e) {
    return std::strerror(e);
}

std::uint64_t fnv1a(const char* p, std::size_t n) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t i = 0; i < n; ++i) {
        h ^= static_cast<unsigned char>(p[i]);
        h *= 1099511628211ull;
    }
    return h;
}

std::string fileName(std::uint64_t id) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%016" PRIu64 "%s", id, kSuffix);
    return buf;
}

bool parseUnsigned(const std::string& s, std::uint64_t& v) {
    if (s.empty() || s.size() > 20)
        return false;
    std::uint64_t r = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        const std::uint64_t d = static_cast<std::uint64_t>(c - '0');
        if (r > (UINT64_MAX - d) / 10)
            return false;
        r = r * 10 + d;
    }
    v = r;
    return true;
}

bool parseSigned(const std::string& s, std::int64_t& v) {
    const bool neg = !s.empty() && s[0] == '-';
    std::uint64_t u = 0;
    if (!parseUnsigned(neg ? s.substr(1) : s, u) || u > static_cast<std::uint64_t>(INT64_MAX))
        return false;
    v = neg ? -static_cast<std::int64_t>(u) : static_cast<std::int64_t>(u);
    return true;
}

// "0000000000000042.mail" -> 42.
bool parseMailName(const std::string& name, std::uint64_t& id) {
    const std::size_t n = std::strlen(kSuffix);
    if (name.size() <= n || name.compare(name.size() - n, n, kSuffix) != 0)
        return false;
    return parseUnsigned(name.substr(0, name.size() - n), id) && id > 0;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void syncFolder(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool writeAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// mkdir -p with 0700 for every folder it makes.
bool makeFolders(const std::string& path, int& err) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        err = ENOTDIR;
        return false;
    }
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash), err))
        return false;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        err = errno;
        return false;
    }
    return true;
}

std::vector<std::string> listFolder(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return names;
    while (dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    ::closedir(d);
    return names;
}

// Removes a folder tree without following links; returns the bytes of the
// regular files in it.
std::uint64_t removeTree(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return 0;
    std::uint64_t bytes = 0;
    if (S_ISDIR(st.st_mode)) {
        for (const std::string& n : listFolder(path))
            bytes += removeTree(path + "/" + n);
        ::rmdir(path.c_str());
    } else {
        if (S_ISREG(st.st_mode))
            bytes = static_cast<std::uint64_t>(st.st_size);
        ::unlink(path.c_str());
    }
    return bytes;
}

std::uint64_t treeBytes(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return 0;
    if (!S_ISDIR(st.st_mode))
        return S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    std::uint64_t bytes = 0;
    for (const std::string& n : listFolder(path))
        bytes += treeBytes(path + "/" + n);
    return bytes;
}

std::uint64_t fileBytes(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)
               ? static_cast<std::uint64_t>(st.st_size)
               : 0;
}

// A hard link where the file system allows one (instant, no second copy of
// the data), else a copy flushed to the disk.
bool linkOrCopy(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0)
        return true;
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    std::string buf(1 << 16, '\0');
    for (;;) {
        const ssize_t r = ::read(in, buf.data(), buf.size());
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            ok = r == 0;
            break;
        }
        if (!writeAll(out, buf.data(), static_cast<std::size_t>(r))) {
            ok = false;
            break;
        }
    }
    ok = ok && ::fdatasync(out) == 0;
    ::close(in);
    ok = ::close(out) == 0 && ok;
    if (!ok)
        ::unlink(to.c_str());
    return ok;
}

// Reads a whole regular file without blocking on odd ones (FIFOs, devices).
bool readMailFile(const std::string& path, std::string& text, std::string& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = "読めません: " + errText(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        reason = "通常のファイルではありません";
        return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes) {
        ::close(fd);
        reason = "大きすぎます";
        return false;
    }
    text.clear();
    text.reserve(static_cast<std::size_t>(st.st_size));
    std::string buf(1 << 16, '\0');
    for (;;) {
        const ssize_t r = ::read(fd, buf.data(), buf.size());
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            reason = "読めません: " + errText(errno);
            ::close(fd);
            return false;
        }
        if (r == 0)
            break;
        text.append(buf.data(), static_cast<std::size_t>(r));
        if (text.size() > kMaxFileBytes) {
            reason = "大きすぎます";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

// Counters never go below zero, whichever thread gets there first.
template <typename T>
void takeAway(std::atomic<T>& counter, T n) {
    T cur = counter.load();
    while (!counter.compare_exchange_weak(cur, cur > n ? cur - n : T{0})) {
    }
}

}  // namespace

std::string outboxFolder(const std::string& override, const char* xdgStateHome, const char* home) {
    if (!override.empty())
        return override;
    std::string base;
    // Relative paths in these variables are invalid and ignored.
    if (xdgStateHome && xdgStateHome[0] == '/')
        base = xdgStateHome;
    else if (home && home[0] == '/')
        base = std::string(home) + "/.local/state";
    else
        return {};
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/Quellor/orvana/outbox";
}

std::string encodeOutboxMail(const CMail& m) {
    std::string s = kMagic;
    auto num = [&s](const char* key, const std::string& v) {
        s += key;
        s += ' ';
        s += v;
        s += '\n';
    };
    auto str = [&s](const char* key, const std::string& v) {
        s += key;
        s += ' ';
        s += std::to_string(v.size());
        s += '\n';
        s += v;
        s += '\n';
    };
    num("id", std::to_string(m.m_outboxId));
    num("order", std::to_string(m.m_outboxOrder));
    num("time", std::to_string(m.m_time));
    str("to", m.m_to);
    str("cc", m.m_cc);
    str("replyto", m.m_replyTo);
    str("subject", m.m_subject);
    str("body", m.m_body);
    for (const std::string& a : m.m_attachments)
        str("attach", a);
    // Written only when set, so files of unmarked mails are as they were
    // before the key existed, and older files load as unmarked.
    if (m.m_convert3gp)
        num("convert3gp", "1");
    for (std::uint64_t p : m.m_outboxParts)
        num("part", std::to_string(p));
    char sum[32];
    std::snprintf(sum, sizeof sum, "%016" PRIx64, fnv1a(s.data(), s.size()));
    num("sum", sum);
    return s;
}

bool decodeOutboxMail(const std::string& text, CMail& m, std::string& reason) {
    const std::string magic = kMagic;
    if (text.size() < magic.size()) {
        reason = text.compare(0, text.size(), magic, 0, text.size()) == 0 ? "途中で切れています"
                                                                          : "形式が違います";
        return false;
    }
    if (text.compare(0, magic.size(), magic) != 0) {
        reason = "形式が違います";
        return false;
    }
    const char* const truncated = "途中で切れています";
    const char* const garbage = "形式が違います";
    std::set<std::string> seen;
    std::size_t pos = magic.size();
    for (;;) {
        const std::size_t lineStart = pos;
        const std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            reason = truncated;
            return false;
        }
        const std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        const std::size_t sp = line.find(' ');
        if (sp == std::string::npos) {
            reason = garbage;
            return false;
        }
        const std::string key = line.substr(0, sp), value = line.substr(sp + 1);
        if (key == "sum") {
            char expect[32];
            std::snprintf(expect, sizeof expect, "%016" PRIx64, fnv1a(text.data(), lineStart));
            if (pos != text.size() || value.size() != 16) {
                reason = garbage;
                return false;
            }
            if (value != expect) {
                reason = "内容が壊れています";
                return false;
            }
            break;
        }
        const bool repeatable = key == "attach" || key == "part";
        if (!repeatable && !seen.insert(key).second) {
            reason = garbage;
            return false;
        }
        if (key == "id" || key == "order" || key == "part") {
            std::uint64_t v = 0;
            if (!parseUnsigned(value, v)) {
                reason = garbage;
                return false;
            }
            if (key == "id")
                m.m_outboxId = v;
            else if (key == "order")
                m.m_outboxOrder = v;
            else
                m.m_outboxParts.push_back(v);
        } else if (key == "convert3gp") {
            if (value != "0" && value != "1") {
                reason = garbage;
                return false;
            }
            m.m_convert3gp = value == "1";
        } else if (key == "time") {
            if (!parseSigned(value, m.m_time)) {
                reason = garbage;
                return false;
            }
        } else if (key == "to" || key == "cc" || key == "replyto" || key == "subject" ||
                   key == "body" || key == "attach") {
            std::uint64_t len = 0;
            if (!parseUnsigned(value, len)) {
                reason = garbage;
                return false;
            }
            if (len >= text.size() - pos) {
                reason = truncated;
                return false;
            }
            std::string v = text.substr(pos, static_cast<std::size_t>(len));
            pos += static_cast<std::size_t>(len);
            if (text[pos] != '\n') {
                reason = garbage;
                return false;
            }
            ++pos;
            if (key == "to")
                m.m_to = std::move(v);
            else if (key == "cc")
                m.m_cc = std::move(v);
            else if (key == "replyto")
                m.m_replyTo = std::move(v);
            else if (key == "subject")
                m.m_subject = std::move(v);
            else if (key == "body")
                m.m_body = std::move(v);
            else
                m.m_attachments.push_back(std::move(v));
        } else {
            reason = garbage;
            return false;
        }
    }
    for (const char* required : {"id", "order", "time", "to", "subject", "body"})
        if (!seen.count(required)) {
            reason = garbage;
            return false;
        }
    return true;
}

Outbox::Outbox(std::string folder, ReportFn report, OutboxLimits limits)
    : folder_(std::move(folder)), report_(std::move(report)), limits_(limits) {}

void Outbox::note(const std::string& text) const {
    if (report_)
        report_(text);
}

bool Outbox::overLimits() const {
    return count_.load() > limits_.maxMails || bytes_.load() > limits_.maxBytes;
}

std::string Outbox::mailPath(std::uint64_t id) const {
    return folder_ + "/" + fileName(id);
}

std::string Outbox::attDir(std::uint64_t id) const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%016" PRIu64, id);
    return folder_ + "/att/" + buf;
}

bool Outbox::ensureFolder() {
    std::lock_guard lock(setupMutex_);
    if (ready_)
        return true;
    int err = 0;
    bool ok = !folder_.empty() && makeFolders(folder_, err) && makeFolders(folder_ + "/att", err);
    if (folder_.empty())
        err = ENOENT;
    // Ours alone, whatever made it; a shared folder (sticky, like /tmp)
    // given by mistake is left as it is.
    struct stat st;
    if (ok && ::stat(folder_.c_str(), &st) == 0 && st.st_uid == ::geteuid() &&
        !(st.st_mode & S_ISVTX) && (st.st_mode & 077) != 0 && ::chmod(folder_.c_str(), 0700) != 0) {
        err = errno;
        ok = false;
    }
    if (!ok) {
        if (!failedReported_)
            note("送信待ちメールのフォルダ" + folder_ + "を使えません(" + errText(err) +
                 ")。送信前にプログラムが終了すると、メールは失われます。");
        failedReported_ = true;
        return false;
    }
    // Ids go on after the highest one present, so no file is overwritten
    // even before the outbox was loaded.
    std::uint64_t maxId = 0;
    for (const std::string& n : listFolder(folder_)) {
        std::uint64_t id = 0;
        if (parseMailName(n, id))
            maxId = std::max(maxId, id);
    }
    if (nextId_.load() <= maxId)
        nextId_ = maxId + 1;
    ready_ = true;
    return true;
}

std::vector<std::unique_ptr<CMail>> Outbox::load() {
    std::vector<std::unique_ptr<CMail>> out;
    if (!ensureFolder())
        return out;

    std::map<std::uint64_t, std::unique_ptr<CMail>> valid;
    std::map<std::uint64_t, std::pair<std::string, std::string>> damaged;  // id -> name, reason
    std::uint64_t maxId = 0;
    // A temporary file that is whole was flushed, or the process ended
    // between writing and renaming it: it is the newest state of its mail
    // and takes its place. A torn one never happened.
    std::vector<std::string> names = listFolder(folder_);
    for (const std::string& name : names) {
        if (!endsWith(name, ".tmp"))
            continue;
        const std::string final = name.substr(0, name.size() - 4);
        std::uint64_t id = 0;
        std::string text, reason;
        CMail probe;
        const bool whole = parseMailName(final, id) &&
                           readMailFile(folder_ + "/" + name, text, reason) &&
                           decodeOutboxMail(text, probe, reason) && probe.m_outboxId == id;
        if (!whole ||
            ::rename((folder_ + "/" + name).c_str(), (folder_ + "/" + final).c_str()) != 0)
            removeTree(folder_ + "/" + name);
    }
    for (const std::string& name : listFolder(folder_)) {
        if (endsWith(name, ".tmp"))
            continue;
        std::uint64_t id = 0;
        if (!parseMailName(name, id))
            continue;
        maxId = std::max(maxId, id);
        std::string text, reason;
        auto mail = std::make_unique<CMail>();
        if (readMailFile(folder_ + "/" + name, text, reason) &&
            decodeOutboxMail(text, *mail, reason)) {
            if (mail->m_outboxId == id) {
                valid[id] = std::move(mail);
                continue;
            }
            reason = "形式が違います";
        }
        damaged[id] = {name, reason};
    }

    // A digest on the disk stands for its parts: a crash between its rename
    // and the removal of the parts left both.
    std::set<std::uint64_t> replaced;
    for (const auto& [id, m] : valid)
        replaced.insert(m->m_outboxParts.begin(), m->m_outboxParts.end());
    bool removedAny = false;
    for (std::uint64_t id : replaced) {
        if (valid.erase(id) + damaged.erase(id) > 0) {
            removeFiles(id, false);
            removedAny = true;
        }
    }
    for (auto& [id, m] : valid)
        m->m_outboxParts.clear();
    if (removedAny)
        syncFolder(folder_);

    // Damaged files go aside, so they neither block the others nor come
    // back at every start.
    if (!damaged.empty()) {
        const std::string aside = folder_ + "/damaged";
        int err = 0;
        const bool haveAside = makeFolders(aside, err);
        for (const auto& [id, entry] : damaged) {
            const auto& [name, reason] = entry;
            std::string target = aside + "/" + name;
            for (int n = 1; ::access(target.c_str(), F_OK) == 0; ++n)
                target = aside + "/" + name + "." + std::to_string(n);
            if (haveAside && ::rename((folder_ + "/" + name).c_str(), target.c_str()) == 0) {
                note("送信待ちメールのファイル" + name + "を読めません(" + reason + ")。" + aside +
                     "へ移しました。");
            } else {
                note("送信待ちメールのファイル" + name + "を読めません(" + reason +
                     ")。移すこともできないため、そのまま残します。");
            }
        }
        syncFolder(folder_);
    }

    // Attachment copies that no stored mail names any more.
    for (const std::string& n : listFolder(folder_ + "/att")) {
        std::uint64_t id = 0;
        if (!parseUnsigned(n, id) || !valid.count(id))
            removeTree(folder_ + "/att/" + n);
    }

    std::uint64_t bytes = 0;
    for (auto& [id, m] : valid) {
        bytes += fileBytes(mailPath(id)) + treeBytes(attDir(id));
        out.push_back(std::move(m));
    }
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        return a->m_outboxOrder != b->m_outboxOrder ? a->m_outboxOrder < b->m_outboxOrder
                                                    : a->m_outboxId < b->m_outboxId;
    });
    count_ = out.size();
    bytes_ = bytes;
    if (nextId_.load() <= maxId)
        nextId_ = maxId + 1;
    return out;
}

bool Outbox::linkAttachments(CMail& mail) {
    if (mail.m_attachments.empty())
        return true;
    const std::string dir = attDir(mail.m_outboxId);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    std::set<std::string> used;
    for (std::size_t i = 0; i < mail.m_attachments.size(); ++i) {
        std::string& path = mail.m_attachments[i];
        struct stat st;
        // A file that is gone keeps its path: skipped at send time as ever.
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const std::size_t slash = path.find_last_of('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        // The attachment keeps its name; a second file of the same name
        // gets a sub-folder of its own.
        std::string target = dir + "/" + name;
        if (!used.insert(name).second) {
            const std::string sub = dir + "/" + std::to_string(i);
            ::mkdir(sub.c_str(), 0700);
            target = sub + "/" + name;
        }
        ::unlink(target.c_str());  // left by an earlier attempt with this id
        if (linkOrCopy(path, target))
            path = target;
    }
    // No flush of their own: the links' folder entries go to the disk with
    // the journal commit that the mail's own flush forces (ext4, xfs).
    return true;
}

bool Outbox::writeDurably(const std::string& path, const std::string& data,
                          const char* stepPrefix) {
    const std::string prefix = stepPrefix;
    const std::string tmp = path + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        note("送信待ちメールを保存できません(" + errText(errno) +
             ")。送信前にプログラムが終了すると、このメールは失われます。");
        return false;
    }
    const std::size_t half = data.size() / 2;
    bool ok = writeAll(fd, data.data(), half);
    step((prefix + "-temp-partial").c_str());
    ok = ok && writeAll(fd, data.data() + half, data.size() - half);
    step((prefix + "-temp-written").c_str());
    ok = ok && ::fdatasync(fd) == 0;
    int err = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
        err = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        note("送信待ちメールを保存できません(" + errText(err) +
             ")。送信前にプログラムが終了すると、このメールは失われます。");
        return false;
    }
    // The rename needs no flush of the folder: a whole temporary file
    // left by a power cut is taken as the mail at the next load.
    step((prefix + "-committed").c_str());
    return true;
}

bool Outbox::add(CMail& mail) {
    if (!ensureFolder())
        return false;
    const bool digest = !mail.m_outboxParts.empty();
    const char* prefix = digest ? "digest" : "mail";
    mail.m_outboxId = nextId_++;
    if (mail.m_outboxOrder == 0)
        mail.m_outboxOrder = mail.m_outboxId;
    const std::vector<std::string> originals = mail.m_attachments;
    linkAttachments(mail);
    step(digest ? "digest-attachments-linked" : "mail-attachments-linked");
    const std::string data = encodeOutboxMail(mail);
    if (!writeDurably(mailPath(mail.m_outboxId), data, prefix)) {
        // In memory only from here on, with the files it named at first.
        removeTree(attDir(mail.m_outboxId));
        mail.m_attachments = originals;
        mail.m_outboxId = 0;
        return false;
    }
    ++count_;
    bytes_ += data.size() + treeBytes(attDir(mail.m_outboxId));
    // The digest is on the disk: the mails it folds go now.
    if (digest) {
        for (std::uint64_t p : mail.m_outboxParts) {
            removeFiles(p, false);
            step("digest-part-removed");
        }
        syncFolder(folder_);
        mail.m_outboxParts.clear();
    }
    return true;
}

bool Outbox::update(CMail& mail) {
    if (mail.m_outboxId == 0)
        return add(mail);
    const std::string path = mailPath(mail.m_outboxId);
    const std::uint64_t before = fileBytes(path);
    const std::string data = encodeOutboxMail(mail);
    if (!writeDurably(path, data, "update"))
        return false;
    bytes_ += data.size();
    takeAway<std::uint64_t>(bytes_, before);
    return true;
}

void Outbox::remove(const CMail& mail) {
    if (mail.m_outboxId == 0 && mail.m_outboxParts.empty())
        return;
    if (mail.m_outboxId != 0)
        removeFiles(mail.m_outboxId, false);
    for (std::uint64_t p : mail.m_outboxParts)
        removeFiles(p, false);
    syncFolder(folder_);
}

std::uint64_t Outbox::removeFiles(std::uint64_t id, bool syncAfter) {
    const std::string path = mailPath(id);
    std::uint64_t freed = fileBytes(path);
    if (::unlink(path.c_str()) == 0)
        takeAway<std::size_t>(count_, 1);
    else
        freed = 0;
    step("mail-file-removed");
    freed += removeTree(attDir(id));
    takeAway<std::uint64_t>(bytes_, freed);
    if (syncAfter)
        syncFolder(folder_);
    return freed;
}

}  // namespace orvana
