#include "supervision/session_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QGuiApplication>
#include <QSessionManager>

namespace orvana {
namespace {
const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
}  // namespace

LogindInhibitor::LogindInhibitor(QDBusConnection bus, QString why)
    : bus_(std::move(bus)), why_(std::move(why)) {}

LogindInhibitor::~LogindInhibitor() {
    release();
}

bool LogindInhibitor::acquire() {
    if (fd_ >= 0)
        return true;
    if (!bus_.isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("Inhibit"));
    call << QStringLiteral("shutdown:sleep") << QStringLiteral("orvana") << why_
         << QStringLiteral("delay");
    const QDBusMessage reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    const auto ufd = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    if (!ufd.isValid())
        return false;
    // The descriptor object closes its copy; keep one of our own.
    fd_ = ::fcntl(ufd.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    return fd_ >= 0;
}

void LogindInhibitor::release() {
    if (fd_ < 0)
        return;
    ::close(fd_);
    fd_ = -1;
}

SessionWatch::SessionWatch(SessionGuard& guard, QDBusConnection bus, QObject* parent)
    : QObject(parent), guard_(guard) {
    if (bus.isConnected()) {
        const bool a = bus.connect(kService, kPath, kManager, QStringLiteral("PrepareForShutdown"),
                                   this, SLOT(onPrepareForShutdown(bool)));
        const bool b = bus.connect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"),
                                   this, SLOT(onPrepareForSleep(bool)));
        logind_ = a && b;
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { guard_.onSessionEnding(); });
    }
}

void SessionWatch::onPrepareForShutdown(bool active) {
    guard_.onPrepareForShutdown(active);
}

void SessionWatch::onPrepareForSleep(bool active) {
    guard_.onPrepareForSleep(active);
}

}  // namespace orvana

namespace orvana {
QDBusConnection systemBusIfPresent() {
    const bool addressSet = qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS");
    if (addressSet || ::access("/run/dbus/system_bus_socket", F_OK) == 0 ||
        ::access("/var/run/dbus/system_bus_socket", F_OK) == 0) {
        return QDBusConnection::systemBus();
    }
    return QDBusConnection(QStringLiteral("orvana-no-system-bus"));
}
}  // namespace orvana
