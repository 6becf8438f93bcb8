// The main window driven as a user drives it: keys of the server list, moving servers and starting
// again, the scroll bar, the menu by click and by M, the information panel; and what it leaves on disk.
#include "support/korvanproc.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

namespace {

// Places in the window, as the skin has them.
constexpr int kRowX = 60;
constexpr int kFirstRowY = 66;
constexpr int kRowHeight = 20;
constexpr int kBarX = 236;
constexpr int kBarTop = 56;
constexpr int kDownArrowY = kBarTop + 138;
constexpr int kThumbY = kBarTop + 15;
constexpr int kMenuButtonX = 74;
constexpr int kMenuButtonY = 252;
constexpr int kUpButtonX = 46;
constexpr int kButtonsY = 252;
constexpr int kHeight = 268;
constexpr int kHeightWithPanel = 386;
constexpr int kWindowWaitMs = 30000;

// The status line's state word, the first row's ball and the information panel, in the window.
constexpr QRect kStatusWord{61, 210, 54, 18};
constexpr QRect kFirstBall{220, 56, 23, 20};
constexpr QRect kPanel{0, 268, 258, 118};
// Far less than the 10 s of the refresh cycle, which would show the new server on its own.
constexpr int kAtOnceMs = 2500;

enum class TInk
{
    Green,
    Red
};

// Whether some pixels of `area` are drawn in the status colour (lime for online, red for offline).
bool Holds(const QImage& shot, const QRect& area, TInk ink)
{
    constexpr int kStrong = 180;
    constexpr int kWeak = 100;
    constexpr int kEnoughPixels = 4;
    int count = 0;
    for (int y = area.top(); y <= area.bottom() && y < shot.height(); ++y)
        for (int x = area.left(); x <= area.right() && x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            const bool green = c.green() > kStrong && c.red() < kWeak && c.blue() < kWeak;
            const bool red = c.red() > kStrong && c.green() < kWeak && c.blue() < kWeak;
            if (ink == TInk::Green ? green : red)
                ++count;
        }
    return count >= kEnoughPixels;
}

// The status line shows online (lime) and not offline, or the other way round.
bool StatusShows(TKorvanProcess& korvan, TInk ink)
{
    const QImage shot = korvan.Grab();
    const TInk other = ink == TInk::Green ? TInk::Red : TInk::Green;
    return !shot.isNull() && Holds(shot, kStatusWord, ink) && !Holds(shot, kStatusWord, other);
}

QByteArray Servers(int count)
{
    QByteArray ini = "[Main]\r\nTimeout=500\r\nServerIndex=0\r\n";
    for (int i = 0; i < count; ++i)
        ini += "[S" + QByteArray::number(i) + "]\r\nAddress=127.0.0.1:1\r\n";
    return ini;
}

QStringList SectionOrder(const QByteArray& ini)
{
    QStringList sections;
    static const QRegularExpression header(QStringLiteral("^\\[(.*)\\]\\s*$"), QRegularExpression::MultilineOption);
    for (auto match = header.globalMatch(QString::fromUtf8(ini)); match.hasNext();)
        sections << match.next().captured(1);
    return sections;
}

int Key(const QByteArray& ini, const char* name)
{
    const QRegularExpression line(QStringLiteral("^%1=(-?\\d+)").arg(QLatin1String(name)),
                                  QRegularExpression::MultilineOption);
    const auto match = line.match(QString::fromUtf8(ini));
    return match.hasMatch() ? match.captured(1).toInt() : -1000;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void movedServersKeepTheirOrderAfterARestart();
    void spaceAndTheMenuShowThePanel();
    void scrollBarArrowsAndThumb();
    void hoverOpensTheMenuOnlyWhenAsked();
    void draggingTheSkinMovesTheWindow();
    void statusAndPanelFollowEveryMoveOfTheSelection();

private:
    // Visible windows of the program: the main window, and the menu while it is open.
    static int VisibleWindows(TKorvanProcess& korvan);
    // Starts the program on `ini` and waits for its main window.
    bool Open(TKorvanProcess& korvan, const QByteArray& ini);
    // Escape, then the program ends normally; the file it left.
    QByteArray CloseWithEscape(TKorvanProcess& korvan);
};

bool TestMainWindow::Open(TKorvanProcess& korvan, const QByteArray& ini)
{
    if (!korvan.IsReady()) {
        qWarning("not ready: %s", qPrintable(korvan.Error()));
        return false;
    }
    if ((!ini.isEmpty() && !korvan.WriteFile(QStringLiteral("tavix.ini"), ini)) || !korvan.Start()) {
        qWarning("could not start");
        return false;
    }
    // A loaded machine can take a while to show a window of 800 servers.
    if (korvan.MainWindow(kWindowWaitMs).isEmpty()) {
        qWarning("no main window; running %d, windows [%s], stderr: %s", korvan.IsRunning(),
                 qPrintable(korvan.WindowTitles().join(QLatin1Char('|'))), korvan.StdErr().constData());
        return false;
    }
    return true;
}

QByteArray TestMainWindow::CloseWithEscape(TKorvanProcess& korvan)
{
    if (!korvan.Key(QStringLiteral("Escape")) || !korvan.WaitForExit() || !korvan.ExitedNormally() ||
        korvan.ExitCode() != 0)
        return {};
    return korvan.ReadFile(QStringLiteral("tavix.ini"));
}

void TestMainWindow::movedServersKeepTheirOrderAfterARestart()
{
    TKorvanProcess korvan;
    QVERIFY2(Open(korvan, Servers(4)), qPrintable(korvan.Error() + korvan.StdErr()));
    // S2 up twice (Alt+Up, then the Up button), S0 down once by Alt+Down.
    QVERIFY(korvan.Key(QStringLiteral("Down Down alt+Up")));
    QVERIFY(korvan.Click(kUpButtonX, kButtonsY));
    QVERIFY(korvan.Key(QStringLiteral("Down alt+Down")));
    // At the edges nothing moves.
    QVERIFY(korvan.Key(QStringLiteral("End alt+Down Home alt+Up")));
    QByteArray ini = CloseWithEscape(korvan);
    QCOMPARE(SectionOrder(ini), (QStringList{"Main", "S2", "S1", "S0", "S3"}));
    QCOMPARE(Key(ini, "ServerIndex"), 0);

    QVERIFY(Open(korvan, {}));
    QVERIFY(korvan.Key(QStringLiteral("Down")));
    ini = CloseWithEscape(korvan);
    QCOMPARE(SectionOrder(ini), (QStringList{"Main", "S2", "S1", "S0", "S3"}));
    QCOMPARE(Key(ini, "ServerIndex"), 1);
}

void TestMainWindow::spaceAndTheMenuShowThePanel()
{
    TKorvanProcess korvan;
    QVERIFY2(Open(korvan, Servers(2)), qPrintable(korvan.Error() + korvan.StdErr()));
    QCOMPARE(korvan.Geometry().height, kHeight);
    QVERIFY(korvan.Key(QStringLiteral("space")));
    QTRY_COMPARE(korvan.Geometry().height, kHeightWithPanel);
    // M opens the menu; its third item (after Add server and Settings) is the panel's.
    QVERIFY(korvan.Key(QStringLiteral("m")));
    QVERIFY(korvan.Key(QStringLiteral("Down Down Down Return")));
    QTRY_COMPARE(korvan.Geometry().height, kHeight);
    // A click on the menu button opens it too.
    QVERIFY(korvan.Click(kMenuButtonX, kMenuButtonY));
    QVERIFY(korvan.Key(QStringLiteral("Down Down Down Return")));
    QTRY_COMPARE(korvan.Geometry().height, kHeightWithPanel);
    // The panel's page and news keys, and the Escape that closes an open menu, leave the program running.
    QVERIFY(korvan.Key(QStringLiteral("alt+1 ctrl+Tab alt+Left alt+Right")));
    QVERIFY(korvan.Key(QStringLiteral("m Escape")));
    QVERIFY(korvan.IsRunning());
    const QByteArray ini = CloseWithEscape(korvan);
    QCOMPARE(Key(ini, "FullInfo"), 1);
}

void TestMainWindow::scrollBarArrowsAndThumb()
{
    TKorvanProcess korvan;
    QVERIFY2(Open(korvan, Servers(800)), qPrintable(korvan.Error() + korvan.StdErr()));
    // Three lines down, then the first visible row is server 3.
    for (int i = 0; i < 3; ++i)
        QVERIFY(korvan.Click(kBarX, kDownArrowY));
    QVERIFY(korvan.Click(kRowX, kFirstRowY));
    QByteArray ini = CloseWithEscape(korvan);
    QCOMPARE(Key(ini, "ServerIndex"), 3);

    // The thumb dragged half its travel down shows the middle of the list.
    QVERIFY(Open(korvan, Servers(800)));
    const QString window = korvan.MainWindow();
    QVERIFY(!korvan
                 .Xdotool({"mousemove", "--window", window, QString::number(kBarX), QString::number(kThumbY),
                           "mousedown", "1"})
                 .isEmpty());
    for (int step = 1; step <= 8; ++step)
        korvan.Xdotool({"mousemove", "--window", window, QString::number(kBarX), QString::number(kThumbY + 7 * step)});
    // Far to the side the drag lets go of the list; back on the bar it follows again.
    korvan.Xdotool({"mousemove", "--window", window, QString::number(kBarX + 60), QString::number(kThumbY + 100)});
    korvan.Xdotool({"mousemove", "--window", window, QString::number(kBarX), QString::number(kThumbY + 56)});
    korvan.Xdotool({"mouseup", "1"});
    QVERIFY(korvan.Click(kRowX, kFirstRowY + kRowHeight));
    ini = CloseWithEscape(korvan);
    QCOMPARE(Key(ini, "ServerIndex"), 396 + 1);
}

int TestMainWindow::VisibleWindows(TKorvanProcess& korvan)
{
    const QByteArray ids =
        korvan.Xdotool({"search", "--onlyvisible", "--pid", QString::number(korvan.Pid()), "--name", ".*"});
    return static_cast<int>(QString::fromLatin1(ids).split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
}

void TestMainWindow::hoverOpensTheMenuOnlyWhenAsked()
{
    TKorvanProcess korvan;
    QVERIFY2(Open(korvan, "[Main]\r\nMenuAutoPopup=0\r\n[S0]\r\nAddress=127.0.0.1:1\r\n"),
             qPrintable(korvan.Error() + korvan.StdErr()));
    // What xdotool counts besides the main window differs between X servers: count from here.
    const int closed = VisibleWindows(korvan);
    QVERIFY(closed >= 1);
    QVERIFY(korvan.MoveMouse(kMenuButtonX, kMenuButtonY));
    QTest::qWait(1500);
    QCOMPARE(VisibleWindows(korvan), closed);
    // The right button opens it at the pointer, whatever the setting.
    QVERIFY(korvan.Click(kMenuButtonX, kMenuButtonY, {}, 3));
    QTRY_COMPARE(VisibleWindows(korvan), closed + 1);
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QTRY_COMPARE(VisibleWindows(korvan), closed);
    QVERIFY(korvan.MoveMouse(kRowX, kFirstRowY));
    QVERIFY(!CloseWithEscape(korvan).isEmpty());

    QVERIFY(Open(korvan, "[Main]\r\nMenuAutoPopup=1\r\n[S0]\r\nAddress=127.0.0.1:1\r\n"));
    QVERIFY(korvan.MoveMouse(kMenuButtonX, kMenuButtonY));
    QTRY_COMPARE_WITH_TIMEOUT(VisibleWindows(korvan), closed + 1, 3000);
    QVERIFY(korvan.Key(QStringLiteral("Down Down Down Return")));
    QTRY_COMPARE(korvan.Geometry().height, kHeightWithPanel);
    QVERIFY(korvan.MoveMouse(kRowX, kFirstRowY));
    const QByteArray ini = CloseWithEscape(korvan);
    QCOMPARE(Key(ini, "FullInfo"), 1);
}

void TestMainWindow::draggingTheSkinMovesTheWindow()
{
    TKorvanProcess korvan;
    QVERIFY2(Open(korvan, "[Main]\r\nSaveWindowPos=1\r\nWindowPosX=40\r\nWindowPosY=30\r\n"),
             qPrintable(korvan.Error() + korvan.StdErr()));
    const TKorvanProcess::TGeometry before = korvan.Geometry();
    QCOMPARE(before.x, 40);
    QCOMPARE(before.y, 30);
    // The skin's dark band left of the title, away from every control.
    const QString window = korvan.MainWindow();
    korvan.Xdotool({"mousemove", "--window", window, "70", "30", "mousedown", "1"});
    for (int step = 1; step <= 5; ++step)
        korvan.Xdotool({"mousemove", QString::number(40 + 70 + 12 * step), QString::number(30 + 30 + 8 * step)});
    korvan.Xdotool({"mouseup", "1"});
    QTRY_COMPARE(korvan.Geometry().x, 40 + 60);
    QCOMPARE(korvan.Geometry().y, 30 + 40);
    const QByteArray ini = CloseWithEscape(korvan);
    QCOMPARE(Key(ini, "WindowPosX"), 100);
    QCOMPARE(Key(ini, "WindowPosY"), 70);
}

void TestMainWindow::statusAndPanelFollowEveryMoveOfTheSelection()
{
    QTcpServer up;
    QVERIFY(up.listen(QHostAddress::LocalHost));
    const QByteArray ini =
        "[Main]\r\nTimeout=500\r\nServerIndex=1\r\nFullInfo=1\r\nPanel=1\r\n[Up]\r\nAddress=127.0.0.1:" +
        QByteArray::number(up.serverPort()) + "\r\n[Down]\r\nAddress=127.0.0.1:1\r\n";
    TKorvanProcess korvan;
    QVERIFY2(Open(korvan, ini), qPrintable(korvan.Error() + korvan.StdErr()));
    // Both servers probed: the first row's ball is green, the status line shows the selected one offline.
    QTRY_VERIFY_WITH_TIMEOUT(Holds(korvan.Grab(), kFirstBall, TInk::Green) && StatusShows(korvan, TInk::Red),
                             kWindowWaitMs);
    const QImage downPanel = korvan.Grab().copy(kPanel);

    // Home selects the first server without a probe of its own: what is known of it shows at once.
    QVERIFY(korvan.Key(QStringLiteral("Home")));
    QTRY_VERIFY_WITH_TIMEOUT(StatusShows(korvan, TInk::Green), kAtOnceMs);
    QVERIFY(korvan.Grab().copy(kPanel) != downPanel);
    QVERIFY(korvan.Key(QStringLiteral("End")));
    QTRY_VERIFY_WITH_TIMEOUT(StatusShows(korvan, TInk::Red), kAtOnceMs);
    QTRY_VERIFY_WITH_TIMEOUT(korvan.Grab().copy(kPanel) == downPanel, kAtOnceMs);
    QVERIFY(korvan.Key(QStringLiteral("Prior")));
    QTRY_VERIFY_WITH_TIMEOUT(StatusShows(korvan, TInk::Green), kAtOnceMs);
    QVERIFY(korvan.Key(QStringLiteral("Next")));
    QTRY_VERIFY_WITH_TIMEOUT(StatusShows(korvan, TInk::Red), kAtOnceMs);
    QVERIFY(!CloseWithEscape(korvan).isEmpty());
}

QTEST_GUILESS_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
