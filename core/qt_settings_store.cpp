#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <string_view>

#include "core/clock.h"
#include "core/settings_store.h"

namespace orvana {
namespace {

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

std::unique_ptr<QSettings> openSettings(const std::string& iniPath) {
    if (iniPath.empty()) {
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           QStringLiteral("Quellor"), QStringLiteral("orvana"));
    }
    return std::make_unique<QSettings>(qs(iniPath), QSettings::IniFormat);
}

bool validUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80           ? 0
                          : (c >> 5) == 0x6  ? 1
                          : (c >> 4) == 0xE  ? 2
                          : (c >> 3) == 0x1E ? 3
                                             : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size())
            return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) >> 6) != 0x2)
                return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

enum class LineKind { Blank, Section, Value, Bad, BadSection };

constexpr const char* kWhiteSpace = " \t\n\v\f\r";

// The number a key escape's digits give the reader: hexadecimal, with
// blanks around, a '+' and a "0x" allowed.
bool hexValue(std::string_view s, unsigned& value) {
    const std::size_t b = s.find_first_not_of(kWhiteSpace);
    if (b == std::string_view::npos)
        return false;
    s = s.substr(b, s.find_last_not_of(kWhiteSpace) - b + 1);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        s.remove_prefix(2);
    if (s.empty())
        return false;
    value = 0;
    for (char c : s) {
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0)
            return false;
        value = value * 16 + static_cast<unsigned>(d);
    }
    return true;
}

// Whether a key, decoded as the reader decodes it ('\' and '/' separate
// groups, %XX and %UXXXX stand for one character), ends in a separator.
// Such a key has no name of its own, and the next save writes it back as a
// line the reader drops ("A\=1") or refuses ("=1").
bool keyEndsInSeparator(std::string_view key) {
    bool separator = false;
    std::size_t i = 0;
    while (i < key.size()) {
        if (key[i] != '%' || i + 1 == key.size()) {
            separator = key[i] == '/' || key[i] == '\\';
            ++i;
            continue;
        }
        const bool wide = key[i + 1] == 'U';
        const std::size_t first = i + (wide ? 2 : 1), digits = wide ? 4 : 2;
        unsigned value = 0;
        if (first + digits > key.size() || !hexValue(key.substr(first, digits), value)) {
            separator = false;  // a '%' of its own
            ++i;
            continue;
        }
        separator = value == '/';
        i = first + digits;
    }
    return separator;
}

LineKind classify(std::string_view raw) {
    const std::string_view line = trim(raw);
    const LineKind bad =
        !line.empty() && line.front() == '[' ? LineKind::BadSection : LineKind::Bad;
    // A NUL byte is no text; a crash can leave a block of them in a file,
    // and a value holding one would be cut short wherever it is used.
    if (!validUtf8(raw) || raw.find('\0') != std::string_view::npos)
        return bad;
    // The reader ends a line at a lone CR too, so what follows one would be
    // read as a line of its own, unseen here.
    std::string_view body = raw;
    while (!body.empty() && body.back() == '\r')
        body.remove_suffix(1);
    if (body.find('\r') != std::string_view::npos)
        return bad;
    if (line.empty() || line.front() == ';')
        return LineKind::Blank;
    // The reader pairs double quotes everywhere but in a ';' comment: in a
    // key, a section header and a '#' line (no comment to it) as in a value.
    // A backslash escapes the next character, and at the very end the line
    // end: the reader then joins the next line to this one. A key ends at
    // the first '=' neither escaped nor quoted.
    bool quoted = false;
    std::size_t eq = std::string_view::npos;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\\') {
            if (++i == body.size())
                return bad;
        } else if (body[i] == '"') {
            quoted = !quoted;
        } else if (body[i] == '=' && !quoted && eq == std::string_view::npos) {
            eq = i;
        }
    }
    if (quoted)
        return bad;
    if (line.front() == '[')
        return line.back() == ']' ? LineKind::Section : LineKind::BadSection;
    // A '#' line without a key the reader skips; with one it is a key like
    // any other to it.
    if (eq == std::string_view::npos)
        return line.front() == '#' ? LineKind::Blank : LineKind::Bad;
    // The reader trims a key of every kind of white space; a key of nothing
    // else is no key, and saved again it becomes a line "=value".
    std::string_view key = body.substr(0, eq);
    const std::size_t b = key.find_first_not_of(kWhiteSpace);
    if (b == std::string_view::npos)
        return LineKind::Bad;
    key = key.substr(b, key.find_last_not_of(kWhiteSpace) - b + 1);
    return keyEndsInSeparator(key) ? LineKind::Bad : LineKind::Value;
}

// The text without its bad lines. The keys below a damaged section header
// are left out too: kept, they would land in the section above it.
std::string repaired(const std::string& text) {
    std::string out;
    bool skipping = false;
    for (std::string_view raw : splitLines(text)) {
        const LineKind kind = classify(raw);
        if (kind == LineKind::BadSection) {
            skipping = true;
            continue;
        }
        if (kind == LineKind::Section)
            skipping = false;
        if (kind == LineKind::Bad || skipping)
            continue;
        out.append(raw);
        out += '\n';
    }
    return out;
}

bool readWhole(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    out.clear();
    std::vector<char> buf(65536);
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return false;
        }
        out.append(buf.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

// Writes text to path through a file beside it that is flushed to disk and
// then renamed over it, owner-only. exclusive: fail when path exists.
bool writeFileSafely(const std::string& path, const std::string& text, bool exclusive) {
    if (exclusive) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ok = ::fsync(fd) == 0 && ok;
        ::close(fd);
        return ok;
    }
    const std::string tmp = path + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ::fsync(fd) == 0 && ok;
    ::close(fd);
    ::chmod(tmp.c_str(), 0600);
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

std::string damagedCopyName(const std::string& file) {
    return file + ".damaged-" + formatLocal(std::time(nullptr), "%Y%m%d-%H%M%S");
}

// A private file for a store that must not touch the real one.
std::string privateTempFile(const std::string& text) {
    std::string pattern = QDir::tempPath().toStdString() + "/orvana-settings-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return {};
    [[maybe_unused]] ssize_t n = ::write(fd, text.data(), text.size());
    ::close(fd);
    return pattern;
}

// Which file is at a path: writing, QSettings puts a new one there.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    struct timespec modified {};
    off_t size = -1;
    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && size == o.size;
    }
};

FileStamp stampOf(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, st.st_mtim, st.st_size};
}

class QtSettingsStore final : public SettingsStore {
  public:
    explicit QtSettingsStore(const std::string& iniPath) : settings_(openSettings(iniPath)) {
        protectFile();
        parseEverySection();
    }
    // A store over a private copy, deleted when the store goes.
    explicit QtSettingsStore(const std::string& privatePath, bool)
        : settings_(openSettings(privatePath)), privatePath_(privatePath) {
        parseEverySection();
    }
    ~QtSettingsStore() override {
        sync();
        if (!privatePath_.empty())
            ::unlink(privatePath_.c_str());
    }

    int getInt(const std::string& section, const std::string& key, int def) const override {
        std::lock_guard lock(mutex_);
        QVariant v = settings_->value(qs(section + "/" + key));
        if (!v.isValid())
            return def;
        bool ok = false;
        int r = v.toInt(&ok);
        return ok ? r : def;
    }
    std::string getString(const std::string& section, const std::string& key,
                          const std::string& def) const override {
        std::lock_guard lock(mutex_);
        QVariant v = settings_->value(qs(section + "/" + key));
        if (!v.isValid())
            return def;
        // The reader splits a hand-written value at unquoted commas, into a
        // variant list when an item starts with '@'.
        if (v.typeId() == QMetaType::QStringList || v.typeId() == QMetaType::QVariantList)
            return v.toStringList().join(u',').toStdString();
        return v.toString().toStdString();
    }
    void writeInt(const std::string& section, const std::string& key, int value) override {
        std::lock_guard lock(mutex_);
        settings_->setValue(qs(section + "/" + key), value);
        unsaved_ = true;
    }
    void writeString(const std::string& section, const std::string& key,
                     const std::string& value) override {
        std::lock_guard lock(mutex_);
        settings_->setValue(qs(section + "/" + key), qs(value));
        unsaved_ = true;
    }
    bool contains(const std::string& section, const std::string& key) const override {
        std::lock_guard lock(mutex_);
        return settings_->contains(qs(section + "/" + key));
    }
    bool sync() override {
        std::lock_guard lock(mutex_);
        protectFile();
        const FileStamp before = stampOf(settings_->fileName());
        settings_->sync();
        protectFile();
        parseEverySection();
        // QSettings keeps its first error for good, and a line its reader
        // skipped (a '#' line, say) is one; after it, only the file tells
        // whether this write went through: Qt writes a new file in its place.
        const bool ok = settings_->status() == QSettings::NoError || !unsaved_ ||
                        !(stampOf(settings_->fileName()) == before);
        if (ok)
            unsaved_ = false;
        return ok;
    }

  private:
    // Qt 6.4's INI reader parses a section only when a key of it is first
    // looked up, and finds that section by sorted name: a section such as
    // [Setting/CAM] sorts between "Setting/" and "Setting/WORKING" and hid
    // that key, until a key sorting before "CAM" had been looked up. Listing
    // every key parses every section. The reader reads a file changed on
    // disk again at a sync, so this is done after each one too.
    void parseEverySection() { settings_->allKeys(); }

    // Creates the file owner-only before anything is written into it, and
    // keeps it so: the file holds the mail password.
    void protectFile() const {
        const QString path = settings_->fileName();
        if (path.isEmpty())
            return;
        QDir().mkpath(QFileInfo(path).absolutePath());
        const QByteArray native = QFile::encodeName(path);
        int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
        ::chmod(native.constData(), 0600);
    }

    mutable std::mutex mutex_;
    std::unique_ptr<QSettings> settings_;
    std::string privatePath_;
    bool unsaved_ = false;  // values written since the last successful sync
};

}  // namespace

std::vector<int> damagedIniLines(const std::string& text) {
    std::vector<int> bad;
    int n = 0;
    for (std::string_view raw : splitLines(text)) {
        ++n;
        const LineKind kind = classify(raw);
        if (kind == LineKind::Bad || kind == LineKind::BadSection)
            bad.push_back(n);
    }
    return bad;
}

std::unique_ptr<SettingsStore> makeQtSettingsStore(const std::string& iniPath,
                                                   SettingsFileCheck* check) {
    SettingsFileCheck c;
    c.file = settingsFilePath(iniPath);
    std::unique_ptr<SettingsStore> store;
    struct stat st {};
    if (::stat(c.file.c_str(), &st) != 0) {
        c.state = SettingsFileCheck::State::New;
    } else {
        std::string text;
        if (!readWhole(c.file, text)) {
            // Nothing of it can be read, so nothing can be kept but the file
            // itself: moved aside, it is safe from the next save.
            c.state = SettingsFileCheck::State::Unreadable;
            const std::string aside = damagedCopyName(c.file);
            if (::rename(c.file.c_str(), aside.c_str()) == 0)
                c.copy = aside;
            else
                store = std::make_unique<QtSettingsStore>(privateTempFile(""), true);
        } else if (c.badLines = damagedIniLines(text); !c.badLines.empty()) {
            c.state = SettingsFileCheck::State::Damaged;
            const std::string aside = damagedCopyName(c.file);
            if (writeFileSafely(aside, text, true)) {
                c.copy = aside;
                if (!writeFileSafely(c.file, repaired(text), false))
                    store =
                        std::make_unique<QtSettingsStore>(privateTempFile(repaired(text)), true);
            } else {
                // Without a copy the original must stay as it is.
                store = std::make_unique<QtSettingsStore>(privateTempFile(repaired(text)), true);
            }
        } else {
            c.state = SettingsFileCheck::State::Good;
            writeFileSafely(c.file + ".bak", text, false);
        }
    }
    if (!store)
        store = std::make_unique<QtSettingsStore>(iniPath);
    if (check)
        *check = std::move(c);
    return store;
}

std::string SettingsFileCheckLine(const SettingsFileCheck& c) {
    using State = SettingsFileCheck::State;
    if (c.state == State::Damaged) {
        std::string lines;
        for (std::size_t i = 0; i < c.badLines.size() && i < 10; ++i)
            lines += (i ? "," : "") + std::to_string(c.badLines[i]);
        if (c.badLines.size() > 10)
            lines += ",...";
        std::string text =
            "設定ファイル " + c.file + " に読み取れない行があります(" + lines + "行目)。";
        if (!c.copy.empty())
            text += "元のファイルを " + c.copy + " に保存し、その行を除いた設定で監視を続けます。";
        else
            text += "元のファイルを保存できないため、このファイルには書き込まずに監視を続けます。";
        return text;
    }
    if (c.state == State::Unreadable) {
        std::string text = "設定ファイル " + c.file + " を読み込めません。";
        if (!c.copy.empty())
            text += "元のファイルを " + c.copy + " に移し、既定の設定で監視を続けます。";
        else
            text += "このファイルには書き込まず、既定の設定で監視を続けます。";
        return text;
    }
    return {};
}

std::string settingsFilePath(const std::string& iniPath) {
    return openSettings(iniPath)->fileName().toStdString();
}

}  // namespace orvana
