// The program as a citizen of the desktop: announcements through the desktop's notification service
// where no notification area exists, and later starts of the program (from the desktop entry with
// --activate, or plain) meeting the copy that runs.
#include "support/korvanproc.h"
#include "support/notificationservice.h"

#include <QDeadlineTimer>
#include <QScopeGuard>
#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A busy machine (or a sanitizer build) can take many seconds to bring up a toolkit program; these waits
// only bound a failure, a passing run does not wait them out.
constexpr int kPatientMs = 60000;
// The window's minimize button (skinstyle.h's kMinimizeRect), its middle.
constexpr int kMinimizeX = 220;
constexpr int kMinimizeY = 24;
const QByteArray kNotInstanceText = "Only one program instance is allowed.";

// A TCP listener on 127.0.0.1 that stands for a game server that is up until it is closed.
class TLoopbackServer
{
public:
    TLoopbackServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0 && ::listen(fd_, 64) == 0)
            port_ = ntohs(addr.sin_port);
    }
    ~TLoopbackServer() { Close(); }
    TLoopbackServer(const TLoopbackServer&) = delete;
    TLoopbackServer& operator=(const TLoopbackServer&) = delete;
    quint16 Port() const { return port_; }
    // Waits until somebody (a probe) has connected.
    bool WaitForConnection(int timeoutMs)
    {
        pollfd watched{fd_, POLLIN, 0};
        return ::poll(&watched, 1, timeoutMs) > 0;
    }
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    quint16 port_ = 0;
};

// A window manager on the test's X server, for what only one can do: minimizing, and handing the focus
// to the window that asks for it.
class TWindowManager
{
public:
    explicit TWindowManager(const QString& display) : display_(display)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        process_.setProcessEnvironment(env);
        process_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        process_.waitForStarted();
    }
    ~TWindowManager()
    {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    // True once the manager has taken the screen.
    bool WaitReady(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
            if (Property(QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")).contains("window id"))
                return true;
            QThread::msleep(100);
        }
        return false;
    }
    // xprop's line for a property of a window (an id, or "-root").
    QByteArray Property(const QString& window, const QString& name) const
    {
        QProcess xprop;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display_);
        xprop.setProcessEnvironment(env);
        const QStringList target =
            window == QLatin1String("-root") ? QStringList{window} : QStringList{QStringLiteral("-id"), window};
        xprop.start(QStringLiteral("xprop"), target + QStringList{name});
        xprop.waitForFinished(5000);
        return xprop.readAllStandardOutput();
    }

private:
    QString display_;
    QProcess process_;
};

QByteArray OneServer(quint16 port)
{
    return "[Main]\nTimeout=1000\n[Alpha]\nAddress=127.0.0.1:" + QByteArray::number(port) + "\n";
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void withoutANotificationAreaTheServiceAnnounces();
    void plainSecondStartIsToldAsBefore();
    void activateBringsUpTheRunningWindow();
    void activateWithNoneRunningStarts();
};

void TestDesktop::withoutANotificationAreaTheServiceAnnounces()
{
    TPrivateBus bus;
    QVERIFY2(!bus.Address().isEmpty(), "dbus-daemon did not start");
    TNotificationService service(bus.Connect(QStringLiteral("service")));
    QVERIFY(service.Registered());
    TLoopbackServer server;
    QVERIFY(server.Port() != 0);

    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    korvan.Environment().insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.Address());
    QVERIFY(korvan.WriteFile("tavix.ini", OneServer(server.Port())));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow(kPatientMs).isEmpty(), korvan.StdErr().constData());
    // The first probe found the server up; its result lands a moment after the connection.
    QVERIFY(server.WaitForConnection(kPatientMs));
    QTest::qWait(1000);
    // Xvfb has no notification area: the button minimizes, and a change is announced from there on.
    QVERIFY(korvan.Click(kMinimizeX, kMinimizeY));
    QTest::qWait(500);
    QCOMPARE(service.Calls().size(), std::size_t(0));
    server.Close();
    // The next probe of the refresh cycle finds it down.
    QTRY_COMPARE_WITH_TIMEOUT(service.Calls().size(), std::size_t(1), kPatientMs);
    const TNotifyCall call = service.Calls().front();
    QCOMPARE(call.Summary, QString("Alpha"));
    QCOMPARE(call.Body, QString("Server is now OFFLINE."));
    QCOMPARE(call.AppIcon, QString("korvan"));
    QVERIFY(korvan.IsRunning());

    // One announcement for one change: later probes that find it down again say nothing.
    QTest::qWait(12000);
    QCOMPARE(service.Calls().size(), std::size_t(1));
    korvan.Terminate();
    QVERIFY(korvan.WaitForExit(kPatientMs));
    QCOMPARE(korvan.ExitCode(), 0);
    QVERIFY(korvan.ReadFile("tavix.ini").contains("[Alpha]"));
}

void TestDesktop::plainSecondStartIsToldAsBefore()
{
    TKorvanProcess first;
    QVERIFY2(first.IsReady(), qPrintable(first.Error()));
    QVERIFY(first.WriteFile("tavix.ini", OneServer(1)));
    QVERIFY(first.Start());
    QVERIFY(!first.MainWindow(kPatientMs).isEmpty());

    TKorvanProcess second(TKorvanProcess::Display::None);
    QVERIFY2(second.IsReady(), qPrintable(second.Error()));
    second.UseDisplay(first.DisplayName());
    QVERIFY(second.Start());
    const QString notice = second.WaitForWindow("^Information", kPatientMs);
    QVERIFY2(!notice.isEmpty(), second.StdErr().constData());
    QVERIFY(second.Key("Return", notice));
    QVERIFY(second.WaitForExit(kPatientMs));
    QCOMPARE(second.ExitCode(), 0);
    QVERIFY(!second.Exists("tavix.ini"));
    QVERIFY(first.IsRunning());

    QVERIFY(first.Key("Escape"));
    QVERIFY(first.WaitForExit(kPatientMs));
    QCOMPARE(first.ExitCode(), 0);
}

void TestDesktop::activateBringsUpTheRunningWindow()
{
    TKorvanProcess first;
    QVERIFY2(first.IsReady(), qPrintable(first.Error()));
    TWindowManager manager(first.DisplayName());
    QVERIFY2(manager.WaitReady(kPatientMs), "openbox did not start");
    QVERIFY(first.WriteFile("tavix.ini", OneServer(1)));
    QVERIFY(first.Start());
    const QString window = first.MainWindow(kPatientMs);
    QVERIFY(!window.isEmpty());
    QVERIFY(first.Click(kMinimizeX, kMinimizeY));
    QTRY_VERIFY_WITH_TIMEOUT(manager.Property(window, "WM_STATE").contains("Iconic"), kPatientMs);

    TKorvanProcess second(TKorvanProcess::Display::None);
    QVERIFY2(second.IsReady(), qPrintable(second.Error()));
    second.UseDisplay(first.DisplayName());
    QVERIFY(second.Run({"--activate"}, kPatientMs));
    QCOMPARE(second.ExitCode(), 0);
    QVERIFY2(second.StdErr().isEmpty(), second.StdErr().constData());
    QVERIFY(!second.Exists("tavix.ini"));

    QTRY_VERIFY_WITH_TIMEOUT(manager.Property(window, "WM_STATE").contains("Normal"), kPatientMs);
    QTRY_COMPARE_WITH_TIMEOUT(first.Xdotool({"getactivewindow"}).trimmed(), window.toLatin1(), kPatientMs);
    QCOMPARE(first.Xdotool({"getwindowname", window}).trimmed().left(6), QByteArray("Korvan"));
    QVERIFY(first.IsRunning());

    QVERIFY(first.Key("Escape"));
    QVERIFY(first.WaitForExit(kPatientMs));
    QCOMPARE(first.ExitCode(), 0);
}

void TestDesktop::activateWithNoneRunningStarts()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile("tavix.ini", OneServer(1)));
    QVERIFY(korvan.Start({"--activate"}));
    QVERIFY2(!korvan.MainWindow(kPatientMs).isEmpty(), korvan.StdErr().constData());
    QVERIFY(korvan.Key("Escape"));
    QVERIFY(korvan.WaitForExit(kPatientMs));
    QCOMPARE(korvan.ExitCode(), 0);
    QVERIFY(korvan.ReadFile("tavix.ini").contains("LastRun="));
}

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
