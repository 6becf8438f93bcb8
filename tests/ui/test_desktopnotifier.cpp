// Announcements through the desktop's notification service, against a stand-in on a private bus: what a
// notification carries, that the next one replaces it, that a click brings the window back, and that a
// missing service or bus costs nothing.
#include "support/notificationservice.h"
#include "ui/desktopnotifier.h"

#include <QApplication>
#include <QDBusArgument>
#include <QElapsedTimer>
#include <QIcon>
#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int kWaitMs = 10000;
// Sending must never wait on the service; this is far above what a call without waiting takes.
constexpr qint64 kNoWaitMs = 500;

} // namespace

class TestDesktopNotifier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void notificationCarriesTextsIconAndReplacesTheLastOne();
    void clickOnTheNotificationWantsTheWindowBack();
    void missingServiceOrBusCostsNothing();
};

void TestDesktopNotifier::initTestCase()
{
    Q_INIT_RESOURCE(korvan);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/artwork/korvan.svg")));
}

void TestDesktopNotifier::notificationCarriesTextsIconAndReplacesTheLastOne()
{
    TPrivateBus bus;
    if (bus.Address().isEmpty())
        QSKIP("dbus-daemon could not be started");
    TNotificationService service(bus.Connect(QStringLiteral("service")));
    QVERIFY(service.Registered());
    TDesktopNotifier notifier(bus.Connect(QStringLiteral("program")));

    notifier.Notify(QStringLiteral("Alpha"), QStringLiteral("Server is now OFFLINE."), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(service.Calls().size(), std::size_t(1), kWaitMs);
    const TNotifyCall first = service.Calls().front();
    QCOMPARE(first.Summary, QString("Alpha"));
    QCOMPARE(first.Body, QString("Server is now OFFLINE."));
    QCOMPARE(first.ReplacesId, 0u);
    QCOMPARE(first.AppIcon, QString("korvan"));
    QCOMPARE(first.AppName, QString("Korvan II"));
    QCOMPARE(first.Timeout, 15000);
    QCOMPARE(first.Hints.value("desktop-entry").toString(), QString("korvan"));
    QVERIFY(first.Actions.contains("default"));
    // The program's own picture goes along: width, height, stride, alpha, 8 bits, 4 channels, RGBA bytes.
    QVERIFY(first.Hints.contains("image-data"));
    const QDBusArgument image = first.Hints.value("image-data").value<QDBusArgument>();
    int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
    bool alpha = false;
    QByteArray bytes;
    image.beginStructure();
    image >> width >> height >> stride >> alpha >> bits >> channels >> bytes;
    image.endStructure();
    QVERIFY(width > 0 && height > 0);
    QCOMPARE(bits, 8);
    QCOMPARE(channels, 4);
    QVERIFY(alpha);
    QCOMPARE(bytes.size(), qsizetype(stride) * height);

    // The answer's id is what the next announcement replaces, so they do not pile up.
    notifier.Notify(QStringLiteral("Alpha"), QStringLiteral("Server is now ONLINE."), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(service.Calls().size(), std::size_t(2), kWaitMs);
    QCOMPARE(service.Calls().back().ReplacesId, 1u);
    QCOMPARE(service.Calls().back().Body, QString("Server is now ONLINE."));
}

void TestDesktopNotifier::clickOnTheNotificationWantsTheWindowBack()
{
    TPrivateBus bus;
    if (bus.Address().isEmpty())
        QSKIP("dbus-daemon could not be started");
    TNotificationService service(bus.Connect(QStringLiteral("service")));
    QVERIFY(service.Registered());
    TDesktopNotifier notifier(bus.Connect(QStringLiteral("program")));
    QSignalSpy clicked(&notifier, &TDesktopNotifier::clicked);
    notifier.Notify(QStringLiteral("Alpha"), QStringLiteral("Server is now ONLINE."), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(service.Calls().size(), std::size_t(1), kWaitMs);
    // Let the answer with the id arrive.
    QTest::qWait(200);
    // Another program's notification, or another action, is not ours.
    service.Click(7, QStringLiteral("default"));
    service.Click(1, QStringLiteral("other"));
    service.Click(1, QStringLiteral("default"));
    QTRY_COMPARE_WITH_TIMEOUT(clicked.size(), 1, kWaitMs);
    QTest::qWait(200);
    QCOMPARE(clicked.size(), 1);
}

void TestDesktopNotifier::missingServiceOrBusCostsNothing()
{
    TPrivateBus bus;
    if (bus.Address().isEmpty())
        QSKIP("dbus-daemon could not be started");
    {
        TDesktopNotifier notifier(bus.Connect(QStringLiteral("alone")));
        QElapsedTimer took;
        took.start();
        for (int i = 0; i < 5; ++i)
            notifier.Notify(QStringLiteral("Alpha"), QStringLiteral("Server is now ONLINE."), 15000);
        QVERIFY(took.elapsed() < kNoWaitMs);
        QTest::qWait(200);
    }
    // No bus at all.
    TDesktopNotifier nowhere(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere")));
    QElapsedTimer took;
    took.start();
    nowhere.Notify(QStringLiteral("Alpha"), QStringLiteral("Server is now ONLINE."), 15000);
    QVERIFY(took.elapsed() < kNoWaitMs);
}

QTEST_MAIN(TestDesktopNotifier)
#include "test_desktopnotifier.moc"
