// How the skinned window looks on a real X server: its cut-out corners with and without a compositing
// manager (and when one comes or goes while it runs), where its menu opens, and the pixels of its list.
#include "support/korvanproc.h"

#include <QDir>
#include <QtTest>

namespace {

constexpr int kWindowWaitMs = 30000;
constexpr int kCompositorWaitMs = 10000;
constexpr int kOpaqueDepth = 24;
constexpr int kSeeThroughDepth = 32;
// Pixels of the skin that are cut out of the window: its outer corners and the shoulders beside the crest.
const QPoint kCutOut[] = {{0, 0}, {260, 0}, {0, 267}, {260, 267}, {40, 0}, {220, 0}};
// Far enough beside the window to be plain desktop.
constexpr int kDesktopOffset = 20;
constexpr int kMenuButtonX = 74;
constexpr int kMenuButtonY = 252;
// The list's panel in the window, its rows, and the scroll bar at its right when the rows do not fit.
constexpr QRect kList{21, 56, 222, 144};
constexpr int kScrollBarWidth = 12;
constexpr int kRowHeight = 20;
constexpr QRgb kListColour = 0x191919;

QByteArray Servers(int count)
{
    QByteArray ini = "[Main]\r\nTimeout=500\r\nServerIndex=0\r\n";
    for (int i = 0; i < count; ++i)
        ini += "[Realm " + QByteArray::number(i) + "]\r\nAddress=127.0.0.1:1\r\n";
    return ini;
}

} // namespace

class TestWindowLook : public QObject
{
    Q_OBJECT

private slots:
    void cutOutCornersShowTheDesktopWithoutACompositor();
    void compositorStartingAndStoppingIsFollowed();
    void menuOpensWithinTheWindow();
    void listShowsWholeRowsOnly();

private:
    bool Open(TKorvanProcess& korvan, const QByteArray& ini);
    // Every cut-out pixel of the window shows the desktop beside it; the reason when not.
    static QString CornersShowDesktop(TKorvanProcess& korvan);
    static QStringList VisibleWindows(TKorvanProcess& korvan);
    // A visible window of the program that is not among `before`; empty when there is none.
    static QString NewWindow(TKorvanProcess& korvan, const QStringList& before);
    // Starts xcompmgr on the program's display; null when it is not installed.
    static std::unique_ptr<QProcess> StartCompositor(TKorvanProcess& korvan);
};

bool TestWindowLook::Open(TKorvanProcess& korvan, const QByteArray& ini)
{
    if (!korvan.IsReady() || !korvan.WriteFile(QStringLiteral("tavix.ini"), ini) || !korvan.Start())
        return false;
    return !korvan.MainWindow(kWindowWaitMs).isEmpty();
}

QString TestWindowLook::CornersShowDesktop(TKorvanProcess& korvan)
{
    const TKorvanProcess::TGeometry window = korvan.Geometry();
    const QImage screen = korvan.Screenshot();
    if (screen.isNull() || window.width < 0)
        return QStringLiteral("no screen or no window");
    const QRgb desktop = screen.pixel(window.x + window.width + kDesktopOffset, window.y);
    for (QPoint at : kCutOut) {
        const QRgb shown = screen.pixel(window.x + at.x(), window.y + at.y());
        if (qRed(shown) != qRed(desktop) || qGreen(shown) != qGreen(desktop) || qBlue(shown) != qBlue(desktop))
            return QStringLiteral("cut-out pixel %1,%2 is #%3, the desktop #%4")
                .arg(at.x())
                .arg(at.y())
                .arg(shown & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                .arg(desktop & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    }
    return {};
}

QStringList TestWindowLook::VisibleWindows(TKorvanProcess& korvan)
{
    const QByteArray ids =
        korvan.Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                        QString::number(korvan.Pid()), QStringLiteral("--name"), QStringLiteral(".*")});
    return QString::fromLatin1(ids).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString TestWindowLook::NewWindow(TKorvanProcess& korvan, const QStringList& before)
{
    for (const QString& id : VisibleWindows(korvan))
        if (!before.contains(id))
            return id;
    return {};
}

std::unique_ptr<QProcess> TestWindowLook::StartCompositor(TKorvanProcess& korvan)
{
    auto compositor = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), korvan.DisplayName());
    compositor->setProcessEnvironment(env);
    compositor->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    compositor->start(QStringLiteral("xcompmgr"), QStringList());
    if (!compositor->waitForStarted())
        return nullptr;
    return compositor;
}

void TestWindowLook::cutOutCornersShowTheDesktopWithoutACompositor()
{
    TKorvanProcess korvan;
    QVERIFY2(Open(korvan, Servers(3)), qPrintable(korvan.Error() + korvan.StdErr()));
    // Without a compositing manager a see-through window's clear pixels come out black.
    QCOMPARE(korvan.Depth(), kOpaqueDepth);
    QTRY_COMPARE(CornersShowDesktop(korvan), QString());
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
}

void TestWindowLook::compositorStartingAndStoppingIsFollowed()
{
    TKorvanProcess korvan;
    QVERIFY2(Open(korvan, Servers(3)), qPrintable(korvan.Error() + korvan.StdErr()));
    QCOMPARE(korvan.Depth(), kOpaqueDepth);
    std::unique_ptr<QProcess> compositor = StartCompositor(korvan);
    if (!compositor)
        QSKIP("xcompmgr is not installed");
    // The window is made again with a see-through visual: look it up anew.
    QTRY_COMPARE_WITH_TIMEOUT((korvan.FindMainWindowAgain(), korvan.Depth()), kSeeThroughDepth, kCompositorWaitMs);
    QTRY_COMPARE(CornersShowDesktop(korvan), QString());
    QVERIFY(korvan.Key(QStringLiteral("Down")));

    compositor->terminate();
    QVERIFY(compositor->waitForFinished());
    QTRY_COMPARE_WITH_TIMEOUT((korvan.FindMainWindowAgain(), korvan.Depth()), kOpaqueDepth, kCompositorWaitMs);
    QTRY_COMPARE(CornersShowDesktop(korvan), QString());
    // Still the same program with its state: the key moved the selection to the second server.
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QVERIFY(korvan.ReadFile(QStringLiteral("tavix.ini")).contains("ServerIndex=1"));
}

void TestWindowLook::menuOpensWithinTheWindow()
{
    TKorvanProcess korvan;
    QVERIFY2(Open(korvan, Servers(1)), qPrintable(korvan.Error() + korvan.StdErr()));
    const TKorvanProcess::TGeometry window = korvan.Geometry();
    const QStringList before = VisibleWindows(korvan);
    QVERIFY(korvan.Click(kMenuButtonX, kMenuButtonY));
    QString menu;
    QTRY_VERIFY(!(menu = NewWindow(korvan, before)).isEmpty());
    const TKorvanProcess::TGeometry opened = korvan.Geometry(menu);
    QVERIFY2(opened.x >= window.x && opened.x + opened.width <= window.x + window.width,
             qPrintable(QStringLiteral("menu %1..%2, window %3..%4")
                            .arg(opened.x)
                            .arg(opened.x + opened.width)
                            .arg(window.x)
                            .arg(window.x + window.width)));
    QVERIFY(opened.y > window.y + kMenuButtonY);
    QVERIFY(korvan.Key(QStringLiteral("Escape"), menu));
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
}

void TestWindowLook::listShowsWholeRowsOnly()
{
    TKorvanProcess korvan;
    // More servers than fit, so a row below the last whole one exists to peek out.
    QVERIFY2(Open(korvan, Servers(9)), qPrintable(korvan.Error() + korvan.StdErr()));
    QVERIFY(korvan.Key(QStringLiteral("Home")));
    QTest::qWait(500);
    const TKorvanProcess::TGeometry window = korvan.Geometry();
    const QImage screen = korvan.Screenshot();
    QVERIFY(!screen.isNull());
    const QImage list = screen.copy(window.x + kList.x(), window.y + kList.y(), kList.width(), kList.height());
    // Below the last whole row the list is empty panel, all across.
    const int wholeRows = kList.height() / kRowHeight;
    for (int y = wholeRows * kRowHeight; y < kList.height(); ++y)
        for (int x = 0; x < kList.width() - kScrollBarWidth; ++x)
            QVERIFY2((list.pixel(x, y) & 0xFFFFFF) == kListColour,
                     qPrintable(QStringLiteral("pixel %1,%2 of the list").arg(x).arg(y)));
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
}

QTEST_GUILESS_MAIN(TestWindowLook)
#include "test_windowlook.moc"
