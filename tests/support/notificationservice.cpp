#include "support/notificationservice.h"

#include <QDBusMessage>

namespace {

constexpr int kDaemonStartMs = 10000;
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

TPrivateBus::TPrivateBus()
{
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(kDaemonStartMs))
        return;
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(kDaemonStartMs)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

TPrivateBus::~TPrivateBus()
{
    for (const QString& name : names_)
        QDBusConnection::disconnectFromBus(name);
    daemon_.kill();
    daemon_.waitForFinished();
}

QDBusConnection TPrivateBus::Connect(const QString& name)
{
    // Connections are kept by name for the whole process: one of an earlier bus must not come back.
    names_ << name + QLatin1Char('@') + address_;
    return QDBusConnection::connectToBus(address_, names_.back());
}

TNotificationService::TNotificationService(const QDBusConnection& bus) : bus_(bus)
{
    registered_ = bus_.registerObject(kPath, this, QDBusConnection::ExportAllSlots) && bus_.registerService(kService);
}

TNotificationService::~TNotificationService()
{
    bus_.unregisterService(kService);
    bus_.unregisterObject(kPath);
}

uint TNotificationService::Notify(const QString& appName, uint replacesId, const QString& appIcon,
                                  const QString& summary, const QString& body, const QStringList& actions,
                                  const QVariantMap& hints, int timeout)
{
    calls_.push_back({appName, replacesId, appIcon, summary, body, actions, hints, timeout});
    return replacesId != 0 ? replacesId : nextId_++;
}

QStringList TNotificationService::GetCapabilities()
{
    return {QStringLiteral("body"), QStringLiteral("actions")};
}

void TNotificationService::Click(uint id, const QString& action)
{
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kService, QStringLiteral("ActionInvoked"));
    signal << id << action;
    bus_.send(signal);
}
