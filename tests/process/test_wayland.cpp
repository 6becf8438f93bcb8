// Korvan as a native Wayland client, under Weston with no X server for the program at all: on a headless
// Weston it shows its skinned window with its shape and saves when asked to end; on a Weston whose seat
// is fed by a private X server, Space, a drag by the skin and Escape reach it through the compositor.
// The headless backend of Weston 10 has no seat, so nothing can type into a program there; the second
// Weston runs windowed on the test's Xvfb, which xdotool drives, and the program itself still sees only
// the Wayland socket.
#include "support/korvanproc.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

constexpr int kWindowWaitMs = 30000;
constexpr int kStartMs = 15000;
constexpr int kPollMs = 250;
constexpr int kToolMs = 10000;
constexpr int kLogTail = 1500;
constexpr int kOutputWidth = 1024;
constexpr int kOutputHeight = 640;
const char* const kSocket = "korvan-test-wayland";
// The desktop Weston paints where no window is; the test finds the window against it.
const QRgb kDesktop = qRgb(0x20, 0x40, 0x60);
// The list's frame in the skin, one pixel around the list at 21, 56 (222 × 144).
const QRgb kListFrame = qRgb(0x11, 0x11, 0x11);
constexpr QRect kList{21, 56, 222, 144};
// Pixels of the skin cut out of the window, and pixels of its crest and bottom edge that are not.
const QPoint kCutOut[] = {{0, 0}, {260, 0}, {0, 267}, {260, 267}, {40, 0}, {220, 0}};
const QPoint kSolid[] = {{130, 0}, {130, 267}, {3, 150}, {257, 150}};
// A column through the middle of the window, solid from top to bottom, to measure its height.
constexpr int kMiddleX = 130;
constexpr int kHeight = 268;
constexpr int kHeightWithPanel = 386;
// The skin's dark band left of the title, away from every control; and where the test drags the window.
constexpr QPoint kGrip{70, 30};
constexpr QPoint kDragTo{40, 30};
constexpr QPoint kFirstStep{8, 8};
constexpr int kOutside = 10;
// Points of the first and second rows clear of their names and balls: the selection bar or the list colour.
constexpr QPoint kFirstRow{171, 66};
constexpr QPoint kSecondRow{171, 86};
const QRgb kListColour = qRgb(0x19, 0x19, 0x19);
constexpr int kSettleMs = 100;

// One Weston of the test's own: its runtime folder (private, as the protocol asks), its socket, a plain
// desktop without panel or animations, and screenshots through its screenshooter (allowed by --debug).
class TWeston
{
public:
    enum class Backend
    {
        Headless,
        X11 // a window on `display`, taking keys and pointer from there
    };

    TWeston(const QString& root, Backend backend, const QString& display = {})
        : runtime_(QDir(root).filePath(QStringLiteral("wayland-runtime")))
    {
        if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("weston-screenshooter")).isEmpty()) {
            error_ = QStringLiteral("weston is not installed");
            return;
        }
        if (!QDir().mkpath(runtime_) ||
            !QFile::setPermissions(runtime_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
            error_ = QStringLiteral("no runtime folder");
            return;
        }
        const QString config = QDir(root).filePath(QStringLiteral("weston.ini"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(QStringLiteral("[core]\nidle-time=0\nrequire-input=false\n"
                                      "[shell]\nbackground-color=0xff%1\npanel-position=none\nlocking=false\n"
                                      "animation=none\nclose-animation=none\nstartup-animation=none\n"
                                      "focus-animation=none\n")
                           .arg(kDesktop & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                           .toLatin1()) < 0) {
            error_ = QStringLiteral("cannot write ") + config;
            return;
        }
        file.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_);
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_SOCKET"));
        env.remove(QStringLiteral("DISPLAY"));
        if (backend == Backend::X11)
            env.insert(QStringLiteral("DISPLAY"), display);
        weston_.setProcessEnvironment(env);
        weston_.setProcessChannelMode(QProcess::MergedChannels);
        weston_.setStandardOutputFile(QDir(root).filePath(QStringLiteral("weston.log")));
        weston_.start(QStringLiteral("weston"),
                      {backend == Backend::Headless ? QStringLiteral("--backend=headless-backend.so")
                                                    : QStringLiteral("--backend=x11-backend.so"),
                       QStringLiteral("--socket=") + QLatin1String(kSocket), QStringLiteral("--use-pixman"),
                       QStringLiteral("--debug"), QStringLiteral("--config=") + config,
                       QStringLiteral("--width=%1").arg(kOutputWidth),
                       QStringLiteral("--height=%1").arg(kOutputHeight)});
        weston_.waitForStarted(kStartMs);
        QDeadlineTimer deadline(kStartMs);
        while (!deadline.hasExpired() && weston_.state() == QProcess::Running &&
               !QFile::exists(QDir(runtime_).filePath(QLatin1String(kSocket))))
            QThread::msleep(kPollMs);
        // The socket exists before the shell's own client has drawn the desktop: wait for its colour.
        while (!deadline.hasExpired() && weston_.state() == QProcess::Running) {
            const QImage shot = Screenshot();
            if (!shot.isNull() &&
                (shot.pixel(kOutputWidth / 2, kOutputHeight / 2) & 0xFFFFFF) == (kDesktop & 0xFFFFFF)) {
                ready_ = true;
                return;
            }
            QThread::msleep(kPollMs);
        }
        QFile log(QDir(root).filePath(QStringLiteral("weston.log")));
        log.open(QIODevice::ReadOnly);
        error_ = QStringLiteral("weston did not start: ") + QString::fromLocal8Bit(log.readAll().right(kLogTail));
    }

    ~TWeston()
    {
        if (weston_.state() == QProcess::NotRunning)
            return;
        weston_.terminate();
        if (!weston_.waitForFinished(kStartMs)) {
            weston_.kill();
            weston_.waitForFinished();
        }
    }

    bool IsReady() const { return ready_; }
    QString Error() const { return error_; }

    // What the compositor shows on its output; null when the screenshooter failed.
    QImage Screenshot() const
    {
        QTemporaryDir folder(QDir(runtime_).filePath(QStringLiteral("shot-XXXXXX")));
        QProcess tool;
        tool.setProcessEnvironment(ClientEnvironment(QProcessEnvironment::systemEnvironment()));
        tool.setWorkingDirectory(folder.path());
        tool.start(QStringLiteral("weston-screenshooter"), QStringList());
        if (!tool.waitForFinished(kToolMs) || tool.exitCode() != 0) {
            tool.kill();
            tool.waitForFinished();
            return {};
        }
        const QStringList pictures = QDir(folder.path()).entryList({QStringLiteral("*.png")}, QDir::Files);
        return pictures.isEmpty() ? QImage() : QImage(QDir(folder.path()).filePath(pictures.first()));
    }

    // A Wayland client of this compositor, and of no X server.
    QProcessEnvironment ClientEnvironment(QProcessEnvironment env) const
    {
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_SOCKET"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_);
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QLatin1String(kSocket));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        // The Wayland client stack keeps blocks until exit, some in a plugin already unloaded by then, which
        // no suppression can name; in a sanitizer build the leak check would fail every clean end here.
        if (env.contains(QStringLiteral("ASAN_OPTIONS")))
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                       env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        return env;
    }

private:
    QString runtime_;
    QProcess weston_;
    bool ready_ = false;
    QString error_;
};

bool Same(QRgb a, QRgb b)
{
    return (a & 0xFFFFFF) == (b & 0xFFFFFF);
}

// The window's top-left corner on the output, found by the frame around its list; (-1, -1) when the
// output does not show it.
QPoint FindWindow(const QImage& shot)
{
    if (shot.isNull())
        return {-1, -1};
    for (int y = 1; y + kList.height() <= shot.height(); ++y)
        for (int x = 1; x + kList.width() <= shot.width(); ++x) {
            bool frame = true;
            for (int i = 0; frame && i < kList.height(); ++i)
                frame = Same(shot.pixel(x - 1, y + i), kListFrame);
            for (int i = 0; frame && i < kList.width(); ++i)
                frame = Same(shot.pixel(x + i, y - 1), kListFrame);
            if (frame)
                return {x - kList.left(), y - kList.top()};
        }
    return {-1, -1};
}

// How far down the window reaches from `origin`, through its solid middle column.
int HeightAt(const QImage& shot, QPoint origin)
{
    int y = origin.y() + kList.bottom();
    while (y < shot.height() && !Same(shot.pixel(origin.x() + kMiddleX, y), kDesktop))
        ++y;
    return y - origin.y();
}

// Every cut-out pixel shows the desktop and every solid one the window; the reason when not.
QString ShapeProblem(const QImage& shot, QPoint origin)
{
    for (QPoint at : kCutOut)
        if (!Same(shot.pixel(origin + at), kDesktop))
            return QStringLiteral("cut-out pixel %1,%2 is #%3")
                .arg(at.x())
                .arg(at.y())
                .arg(shot.pixel(origin + at) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    for (QPoint at : kSolid)
        if (Same(shot.pixel(origin + at), kDesktop))
            return QStringLiteral("window pixel %1,%2 shows the desktop").arg(at.x()).arg(at.y());
    return {};
}

QByteArray Servers(quint16 openPort)
{
    // One server that answers, one that refuses: both states are drawn, without any network.
    return "[Main]\r\nTimeout=500\r\nServerIndex=0\r\n[Up]\r\nAddress=127.0.0.1:" + QByteArray::number(openPort) +
           "\r\n[Down]\r\nAddress=127.0.0.1:1\r\n";
}

} // namespace

class TestWayland : public QObject
{
    Q_OBJECT

private slots:
    void showsItsShapeOnAHeadlessCompositorAndSavesWhenEnded();
    void keysAndADragReachItThroughTheCompositor();

private:
    // Starts the program as a client of `weston` only; waits until the output shows its window.
    static QPoint Open(TKorvanProcess& korvan, const TWeston& weston, const QByteArray& ini);
    // The window's place once the output shows it `height` high; (-1, -1) when it never does.
    static QPoint WaitForHeight(TKorvanProcess& korvan, const TWeston& weston, int height);
    // Whether the output comes to show the window at `place`.
    static bool WaitForPlace(TKorvanProcess& korvan, const TWeston& weston, QPoint place);
    // Whether the output comes to show the selection bar at `selected` and the list's colour at `other`.
    static bool WaitForSelection(TKorvanProcess& korvan, const TWeston& weston, QPoint selected, QPoint other,
                                 int timeoutMs);
};

QPoint TestWayland::Open(TKorvanProcess& korvan, const TWeston& weston, const QByteArray& ini)
{
    korvan.Environment() = weston.ClientEnvironment(korvan.Environment());
    if (!korvan.WriteFile(QStringLiteral("tavix.ini"), ini) || !korvan.Start())
        return {-1, -1};
    QDeadlineTimer deadline(kWindowWaitMs);
    while (korvan.IsRunning() && !deadline.hasExpired()) {
        const QPoint origin = FindWindow(weston.Screenshot());
        if (origin.x() >= 0) {
            QThread::msleep(kSettleMs);
            return origin;
        }
        QThread::msleep(kPollMs);
    }
    return {-1, -1};
}

QPoint TestWayland::WaitForHeight(TKorvanProcess& korvan, const TWeston& weston, int height)
{
    QDeadlineTimer deadline(kStartMs);
    while (korvan.IsRunning() && !deadline.hasExpired()) {
        const QImage shot = weston.Screenshot();
        const QPoint origin = FindWindow(shot);
        if (origin.x() >= 0 && HeightAt(shot, origin) == height)
            return origin;
        QThread::msleep(kPollMs);
    }
    return {-1, -1};
}

bool TestWayland::WaitForPlace(TKorvanProcess& korvan, const TWeston& weston, QPoint place)
{
    QDeadlineTimer deadline(kStartMs);
    while (korvan.IsRunning() && !deadline.hasExpired()) {
        if (FindWindow(weston.Screenshot()) == place)
            return true;
        QThread::msleep(kPollMs);
    }
    return false;
}

bool TestWayland::WaitForSelection(TKorvanProcess& korvan, const TWeston& weston, QPoint selected, QPoint other,
                                   int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (korvan.IsRunning() && !deadline.hasExpired()) {
        const QImage shot = weston.Screenshot();
        if (!shot.isNull() && !Same(shot.pixel(selected), kListColour) && Same(shot.pixel(other), kListColour))
            return true;
        QThread::msleep(kPollMs);
    }
    return false;
}

void TestWayland::showsItsShapeOnAHeadlessCompositorAndSavesWhenEnded()
{
    TKorvanProcess korvan(TKorvanProcess::Display::None);
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    TWeston weston(korvan.Root(), TWeston::Backend::Headless);
    if (weston.Error() == QLatin1String("weston is not installed"))
        QSKIP("weston is not installed");
    QVERIFY2(weston.IsReady(), qPrintable(weston.Error()));
    QTcpServer up;
    QVERIFY(up.listen(QHostAddress::LocalHost));

    // No X server exists for the program: a window on Weston's output is a Wayland window.
    const QPoint origin = Open(korvan, weston, Servers(up.serverPort()));
    QVERIFY2(origin.x() >= 0, korvan.StdErr().constData());
    const QImage shot = weston.Screenshot();
    QCOMPARE(FindWindow(shot), origin);
    QVERIFY2(ShapeProblem(shot, origin).isEmpty(), qPrintable(ShapeProblem(shot, origin)));
    QCOMPARE(HeightAt(shot, origin), kHeight);

    // As at logout: the window closes and the list is saved.
    korvan.Terminate();
    QVERIFY2(korvan.WaitForExit(), "the program did not end on SIGTERM");
    QVERIFY(korvan.ExitedNormally());
    QCOMPARE(korvan.ExitCode(), 0);
    const QByteArray ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    QVERIFY2(ini.contains("LastRun="), ini.constData());
    QVERIFY(ini.indexOf("[Up]") < ini.indexOf("[Down]"));
    QVERIFY2(!korvan.StdErr().contains("xcb"), korvan.StdErr().constData());
}

void TestWayland::keysAndADragReachItThroughTheCompositor()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    TWeston weston(korvan.Root(), TWeston::Backend::X11, korvan.DisplayName());
    if (weston.Error() == QLatin1String("weston is not installed"))
        QSKIP("weston is not installed");
    QVERIFY2(weston.IsReady(), qPrintable(weston.Error()));
    // Weston's window on the X server: what it receives, it hands to its focused Wayland client.
    const QByteArray westonWindow =
        korvan.Xdotool({QStringLiteral("search"), QStringLiteral("--class"), QStringLiteral("^Weston Compositor$")})
            .trimmed()
            .split('\n')
            .value(0);
    QVERIFY(!westonWindow.isEmpty());
    // The pointer starts inside Weston's window without ever having entered it, and then Weston's X11
    // backend sometimes dropped every click; it is taken out and brought in, as a user's pointer comes.
    korvan.Xdotool({QStringLiteral("mousemove"), QString::number(kOutputWidth + kOutside), QString::number(kOutside)});
    korvan.Xdotool({QStringLiteral("mousemove"), QString::number(kOutside), QString::number(kOutside)});
    QTcpServer up;
    QVERIFY(up.listen(QHostAddress::LocalHost));

    QPoint origin = Open(korvan, weston, Servers(up.serverPort()));
    QVERIFY2(origin.x() >= 0, korvan.StdErr().constData());
    QVERIFY(
        !korvan.Xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromLatin1(westonWindow)})
             .isEmpty());
    // A click on the second row selects it: the program takes pointer input through the compositor (and
    // has the keyboard focus from now on) before the drag starts.
    const QPoint second = origin + kSecondRow;
    QVERIFY(!korvan
                 .Xdotool({QStringLiteral("mousemove"), QString::number(second.x()), QString::number(second.y()),
                           QStringLiteral("click"), QStringLiteral("1")})
                 .isEmpty());
    QVERIFY2(WaitForSelection(korvan, weston, second, origin + kFirstRow, kStartMs),
             "a click on the second row did not select it");

    // A frameless window cannot place itself on Wayland: it moves only when the compositor moves it. The
    // shell placed it anywhere; the drag brings it to the top left, where the panel has room below it.
    const QPoint grip = origin + kGrip;
    const auto moveTo = [&korvan](QPoint at) {
        korvan.Xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
    };
    // The compositor's move begins when the program's request arrives, which a busy machine may delay:
    // the pointer goes a first step and waits until the window follows, then the rest of the way. Where
    // the move ends does not depend on when it began (the compositor keeps the offset from the press).
    moveTo(grip);
    korvan.Xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    moveTo(grip + kFirstStep);
    QDeadlineTimer began(kStartMs);
    for (int wiggle = 1; !began.hasExpired() && FindWindow(weston.Screenshot()) == origin; wiggle ^= 1) {
        // Weston moves the window on pointer motion only.
        moveTo(grip + kFirstStep + QPoint(wiggle, 0));
        QThread::msleep(kPollMs);
    }
    moveTo(grip + (kDragTo - origin));
    QThread::msleep(kSettleMs);
    korvan.Xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    QVERIFY2(WaitForPlace(korvan, weston, kDragTo), "the window did not follow the drag");

    QVERIFY(!korvan.Xdotool({QStringLiteral("key"), QStringLiteral("space")}).isEmpty());
    QVERIFY2(WaitForHeight(korvan, weston, kHeightWithPanel) == kDragTo, "Space did not show the information panel");
    QVERIFY(!korvan.Xdotool({QStringLiteral("key"), QStringLiteral("space")}).isEmpty());
    QVERIFY2(WaitForHeight(korvan, weston, kHeight) == kDragTo, "Space did not hide the information panel");

    QVERIFY(!korvan.Xdotool({QStringLiteral("key"), QStringLiteral("Escape")}).isEmpty());
    QVERIFY2(korvan.WaitForExit(), "the program did not end after Escape");
    QVERIFY(korvan.ExitedNormally());
    QCOMPARE(korvan.ExitCode(), 0);
    const QByteArray ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    QVERIFY2(ini.contains("LastRun="), ini.constData());
    QVERIFY(ini.indexOf("[Up]") < ini.indexOf("[Down]"));
    QVERIFY2(ini.contains("ServerIndex=1"), ini.constData());
}

QTEST_MAIN(TestWayland)
#include "test_wayland.moc"
