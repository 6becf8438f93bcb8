// A stand-in for the desktop's notification service on a private session bus the test starts itself:
// it records every Notify call and answers as a notification daemon would.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <vector>

// A dbus-daemon of the test's own; it ends with the object.
class TPrivateBus
{
public:
    TPrivateBus();
    ~TPrivateBus();
    TPrivateBus(const TPrivateBus&) = delete;
    TPrivateBus& operator=(const TPrivateBus&) = delete;
    // Empty when the daemon could not be started.
    QString Address() const { return address_; }
    // A new connection of this process to the bus, under its own name.
    QDBusConnection Connect(const QString& name);

private:
    QProcess daemon_;
    QStringList names_;
    QString address_;
};

struct TNotifyCall
{
    QString AppName;
    uint ReplacesId = 0;
    QString AppIcon;
    QString Summary;
    QString Body;
    QStringList Actions;
    QVariantMap Hints;
    int Timeout = 0;
};

class TNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    // Takes the service's name on `bus`; Registered() says whether it got it.
    explicit TNotificationService(const QDBusConnection& bus);
    ~TNotificationService() override;
    bool Registered() const { return registered_; }
    const std::vector<TNotifyCall>& Calls() const { return calls_; }
    // Tells the bus that the user clicked notification `id`.
    void Click(uint id, const QString& action);

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);
    QStringList GetCapabilities();

private:
    QDBusConnection bus_;
    bool registered_ = false;
    std::vector<TNotifyCall> calls_;
    uint nextId_ = 1;
};
