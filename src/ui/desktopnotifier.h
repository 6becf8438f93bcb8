// Announcements through the desktop's notification service (org.freedesktop.Notifications on the session
// bus), for desktops without a notification area. Each call is sent without waiting for the answer, so a
// missing or silent service costs nothing; the program's next announcement replaces its last one.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusMessage;

class TDesktopNotifier : public QObject
{
    Q_OBJECT

public:
    // `bus`: where the service is looked for (the session bus, or a private one in a test).
    explicit TDesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    // Shows `title` and `text` with the program's icon for about `durationMs`.
    void Notify(const QString& title, const QString& text, int durationMs);

signals:
    // The user clicked the announcement: the window is wanted back.
    void clicked();

private slots:
    void NotifyAnswered(const QDBusMessage& reply);
    void ActionInvoked(uint id, const QString& action);

private:
    QDBusConnection bus_;
    // The service's id of the last announcement shown, which the next one replaces; 0 before the first.
    uint lastId_ = 0;
    bool subscribed_ = false;
};
