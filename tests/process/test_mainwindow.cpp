// The main window driven as a user drives it: keys of the server list, moving servers and starting
// again, the scroll bar, the menu by click and by M, the information panel; and what it leaves on disk.
#include "support/korvanproc.h"

#include <QRegularExpression>
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

private:
    // Starts the program on `ini` and waits for its main window.
    bool Open(TKorvanProcess& korvan, const QByteArray& ini);
    // Escape, then the program ends normally; the file it left.
    QByteArray CloseWithEscape(TKorvanProcess& korvan);
};

bool TestMainWindow::Open(TKorvanProcess& korvan, const QByteArray& ini)
{
    if (!korvan.IsReady() || (!ini.isEmpty() && !korvan.WriteFile(QStringLiteral("tavix.ini"), ini)) || !korvan.Start())
        return false;
    return !korvan.MainWindow().isEmpty();
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
    // M opens the menu; its third line (after Settings and a separator) is the panel's item.
    QVERIFY(korvan.Key(QStringLiteral("m")));
    QVERIFY(korvan.Key(QStringLiteral("Down Down Return")));
    QTRY_COMPARE(korvan.Geometry().height, kHeight);
    // A click on the menu button opens it too.
    QVERIFY(korvan.Click(kMenuButtonX, kMenuButtonY));
    QVERIFY(korvan.Key(QStringLiteral("Down Down Return")));
    QTRY_COMPARE(korvan.Geometry().height, kHeightWithPanel);
    // Keys of later work, and the Escape that closes an open menu, leave the program running.
    QVERIFY(korvan.Key(QStringLiteral("KP_Add KP_Subtract KP_Multiply alt+1 ctrl+Tab alt+Left alt+Right")));
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

QTEST_GUILESS_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
