#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <memory>
#include <mutex>

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

class QtSettingsStore final : public SettingsStore {
  public:
    explicit QtSettingsStore(const std::string& iniPath) : settings_(openSettings(iniPath)) {
        protectFile();
    }
    ~QtSettingsStore() override { sync(); }

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
        return v.toString().toStdString();
    }
    void writeInt(const std::string& section, const std::string& key, int value) override {
        std::lock_guard lock(mutex_);
        settings_->setValue(qs(section + "/" + key), value);
    }
    void writeString(const std::string& section, const std::string& key,
                     const std::string& value) override {
        std::lock_guard lock(mutex_);
        settings_->setValue(qs(section + "/" + key), qs(value));
    }
    bool contains(const std::string& section, const std::string& key) const override {
        std::lock_guard lock(mutex_);
        return settings_->contains(qs(section + "/" + key));
    }
    bool sync() override {
        std::lock_guard lock(mutex_);
        protectFile();
        settings_->sync();
        protectFile();
        return settings_->status() == QSettings::NoError;
    }

  private:
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
};

}  // namespace

std::unique_ptr<SettingsStore> makeQtSettingsStore(const std::string& iniPath) {
    return std::make_unique<QtSettingsStore>(iniPath);
}

std::string settingsFilePath(const std::string& iniPath) {
    return openSettings(iniPath)->fileName().toStdString();
}

}  // namespace orvana
