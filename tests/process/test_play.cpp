// Play as a user meets it: the real program plays a server through a stand-in game, ends, leaves its
// files behind and starts again; the titles of its windows are its own.
#include "buildconfig.h"
#include "support/korvanproc.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QtTest>

namespace {

constexpr int kFileWaitMs = 10000;
// The server of the wait starts listening this long after the program started.
constexpr int kServerLateMs = 25000;
constexpr int kWaitPeriodMs = 10000;
// Closing while a probe of the wait may run: the program ends within its time-out and a little.
constexpr int kPromptEndMs = 4000;
// Long enough for the first probes to find a refused server offline.
constexpr int kFirstProbesMs = 2500;
// The middle of the window's close button.
constexpr int kCloseButtonX = 240;
constexpr int kCloseButtonY = 24;
// A point on the status line's text.
constexpr int kStatusLineX = 70;
constexpr int kStatusLineY = 219;
// The window's title carries the same version as the about box and --version.
const QString kMainTitle = QStringLiteral("Korvan " KORVAN_VERSION_TEXT);

// A shell script standing in for a program: it writes its arguments, one per line, into `out`.
QByteArray Recorder(const QString& out)
{
    return "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + out.toUtf8() + ".tmp'\nmv '" + out.toUtf8() +
           ".tmp' '" + out.toUtf8() + "'\n";
}

bool MakeExecutable(TKorvanProcess& korvan, const QString& relative, const QByteArray& script)
{
    return korvan.WriteFile(relative, script) &&
           QFile::setPermissions(QDir(korvan.Folder()).filePath(relative),
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool WaitForFile(const TKorvanProcess& korvan, const QString& relative)
{
    QDeadlineTimer deadline(kFileWaitMs);
    while (!korvan.Exists(relative) && !deadline.hasExpired())
        QThread::msleep(20);
    return korvan.Exists(relative);
}

// The visible window of the program with exactly this title; a search by pattern can also report
// another window of the program.
QString WindowTitled(TKorvanProcess& korvan, const QString& title)
{
    QDeadlineTimer deadline(kFileWaitMs);
    while (korvan.IsRunning() && !deadline.hasExpired()) {
        const QByteArray ids =
            korvan.Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                            QString::number(korvan.Pid()), QStringLiteral("--name"), QStringLiteral(".*")});
        for (const QByteArray& id : ids.trimmed().split('\n'))
            if (!id.isEmpty() &&
                korvan.Xdotool({QStringLiteral("getwindowname"), QString::fromLatin1(id)}).trimmed() == title.toUtf8())
                return QString::fromLatin1(id);
        QThread::msleep(50);
    }
    return {};
}

// A loopback port nobody listens on now.
quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

// Play on the offline server on show asks whether to wait for it; Yes, the default, starts the wait.
bool AskToWait(TKorvanProcess& korvan)
{
    QTest::qWait(kFirstProbesMs);
    if (!korvan.Key(QStringLiteral("Return")))
        return false;
    const QString question = WindowTitled(korvan, QStringLiteral("Question"));
    if (question.isEmpty())
        return false;
    if (!korvan.Key(QStringLiteral("Return"), question))
        return false;
    QDeadlineTimer deadline(kFileWaitMs);
    while (korvan.WindowTitles().contains(QStringLiteral("Question")) && !deadline.hasExpired())
        QThread::msleep(50);
    return !deadline.hasExpired();
}

} // namespace

class TestPlay : public QObject
{
    Q_OBJECT

private slots:
    void playEndsTheProgramAndSaves()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        const QString folder = korvan.Folder() + QLatin1Char('/');
        QVERIFY(MakeExecutable(korvan, QStringLiteral("game/wow.sh"), Recorder(folder + "game.out")));
        // The second program is stored with arguments, and lives in a folder with a blank in its name.
        QVERIFY(MakeExecutable(korvan, QStringLiteral("My Tools/voice.sh"), Recorder(folder + "voice.out")));
        // Beta answers, so Play starts the game at once instead of offering to wait for it.
        QTcpServer beta;
        QVERIFY(beta.listen(QHostAddress::LocalHost));
        const QByteArray betaAddress = "127.0.0.1:" + QByteArray::number(beta.serverPort());
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"),
                                 "[Main]\r\nWoWPath=" + folder.toUtf8() +
                                     "game/wow.sh\r\nProgramToRunOnWoWLaunch=" + folder.toUtf8() +
                                     "My Tools/voice.sh --minimized \"two words\"\r\n"
                                     "[Alpha]\r\nAddress=127.0.0.1:1\r\n[Beta]\r\nAddress=" +
                                     betaAddress + "\r\n"));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        // The taskbar shows the window's own title and nothing appended to it.
        QStringList titles = korvan.WindowTitles();
        titles.removeAll(QString()); // the toolkit's own unnamed helper window
        QCOMPARE(titles, QStringList{kMainTitle});

        QVERIFY(korvan.Key(QStringLiteral("Down Return")));
        QVERIFY2(korvan.WaitForExit(), "the program kept running after a successful Play");
        QVERIFY(korvan.ExitedNormally());
        QCOMPARE(korvan.ExitCode(), 0);

        QCOMPARE(korvan.ReadFile(QStringLiteral("game/realmlist.wtf")), "set realmlist " + betaAddress);
        QVERIFY(WaitForFile(korvan, QStringLiteral("game.out")));
        QVERIFY(WaitForFile(korvan, QStringLiteral("voice.out")));
        QCOMPARE(korvan.ReadFile(QStringLiteral("voice.out")), QByteArray("--minimized\ntwo words\n"));
        const QByteArray ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
        QVERIFY2(ini.contains("LastRun="), ini.constData());
        QVERIFY2(ini.contains("ServerIndex=1"), ini.constData());
        QVERIFY(ini.contains("[Beta]\r\nAddress=" + betaAddress));

        // The next start is a normal one, not refused as a second copy.
        QVERIFY(korvan.Start());
        const QString again = WindowTitled(korvan, kMainTitle);
        QVERIFY2(!again.isEmpty(), qPrintable(korvan.WindowTitles().join(QLatin1Char('|'))));
        QVERIFY(!korvan.WindowTitles().contains(QStringLiteral("Information")));
        QVERIFY(korvan.Key(QStringLiteral("Escape"), again));
        QVERIFY(korvan.WaitForExit());
        QCOMPARE(korvan.ExitCode(), 0);
    }

    void programsStartInTheirOwnFoldersAfterAClearing()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        const QString folder = korvan.Folder() + QLatin1Char('/');
        // Stand-ins that write the folder they were started in.
        const auto whereAmI = [](const QString& out) {
            return "#!/bin/sh\npwd -P > '" + out.toUtf8() + ".tmp'\nmv '" + out.toUtf8() + ".tmp' '" + out.toUtf8() +
                   "'\n";
        };
        QVERIFY(MakeExecutable(korvan, QStringLiteral("game/wow.sh"), whereAmI(folder + "game.out")));
        QVERIFY(MakeExecutable(korvan, QStringLiteral("tools/voice.sh"), whereAmI(folder + "voice.out")));
        QVERIFY(korvan.WriteFile(QStringLiteral("game/Cache/WDB/itemcache.wdb"), "x"));
        QTcpServer alpha;
        QVERIFY(alpha.listen(QHostAddress::LocalHost));
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"),
                                 "[Main]\nWoWPath=" + folder.toUtf8() + "game/wow.sh\nProgramToRunOnWoWLaunch=" +
                                     folder.toUtf8() + "tools/voice.sh\n[Alpha]\nAddress=127.0.0.1:" +
                                     QByteArray::number(alpha.serverPort()) + "\nAutoCacheClear=1\n"));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        QVERIFY(korvan.Key(QStringLiteral("Return")));
        QVERIFY2(korvan.WaitForExit(), "the program kept running after a successful Play");
        QCOMPARE(korvan.ExitCode(), 0);
        QVERIFY(!korvan.Exists(QStringLiteral("game/Cache/WDB/itemcache.wdb")));

        // The game in its own folder, not in the cache folder just cleared; the second program in its own.
        const QString real = QDir(korvan.Folder()).canonicalPath() + QLatin1Char('/');
        QVERIFY(WaitForFile(korvan, QStringLiteral("game.out")));
        QCOMPARE(korvan.ReadFile(QStringLiteral("game.out")), (real + "game\n").toUtf8());
        QVERIFY(WaitForFile(korvan, QStringLiteral("voice.out")));
        QCOMPARE(korvan.ReadFile(QStringLiteral("voice.out")), (real + "tools\n").toUtf8());
    }

    void playWaitsForAServerThatComesBack()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        const QString folder = korvan.Folder() + QLatin1Char('/');
        QVERIFY(MakeExecutable(korvan, QStringLiteral("game/wow.sh"), Recorder(folder + "game.out")));
        const quint16 port = FreePort();
        QVERIFY(port != 0);
        const QByteArray address = "127.0.0.1:" + QByteArray::number(port);
        // The usual period of ten seconds between the probes of the wait.
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), "[Main]\nTimeout=1000\nWoWPath=" + folder.toUtf8() +
                                                                  "game/wow.sh\n[Late]\nAddress=" + address + "\n"));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        QVERIFY(AskToWait(korvan));
        // Nothing listens for 25 seconds: the program waits, the game not started.
        QTest::qWait(static_cast<int>(std::max<qint64>(0, kServerLateMs - clock.elapsed())));
        QVERIFY(korvan.IsRunning());
        QVERIFY(!korvan.Exists(QStringLiteral("game.out")));
        QTcpServer late;
        QVERIFY(late.listen(QHostAddress::LocalHost, port));
        // The next probe of the wait finds it and plays as Play does: realm list, game, the end.
        QVERIFY2(korvan.WaitForExit(kWaitPeriodMs + kFileWaitMs), "the program did not play when the server came");
        QCOMPARE(korvan.ExitCode(), 0);
        QCOMPARE(korvan.ReadFile(QStringLiteral("game/realmlist.wtf")), "set realmlist " + address);
        QVERIFY(WaitForFile(korvan, QStringLiteral("game.out")));
    }

    void aWaitEndsByEscapeByAClickAndWithTheProgram()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        const QString folder = korvan.Folder() + QLatin1Char('/');
        QVERIFY(MakeExecutable(korvan, QStringLiteral("game/wow.sh"), Recorder(folder + "game.out")));
        const quint16 port = FreePort();
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"),
                                 "[Main]\nTimeout=1000\nRefreshPeriod=1\nWoWPath=" + folder.toUtf8() +
                                     "game/wow.sh\n[Late]\nAddress=127.0.0.1:" + QByteArray::number(port) + "\n"));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        // Escape ends the wait and leaves the window open; a second one closes it.
        QVERIFY(AskToWait(korvan));
        QVERIFY(korvan.Key(QStringLiteral("Escape")));
        QTest::qWait(500);
        QVERIFY(korvan.IsRunning());
        // A click on the status line ends the next wait.
        QVERIFY(AskToWait(korvan));
        QVERIFY(korvan.Click(kStatusLineX, kStatusLineY));
        // The server answers now, but nobody waits for it any more.
        QTcpServer late;
        QVERIFY(late.listen(QHostAddress::LocalHost, port));
        QTest::qWait(2500);
        QVERIFY(korvan.IsRunning());
        QVERIFY(!korvan.Exists(QStringLiteral("game.out")));
        late.close();
        // Closed while waiting: the program ends at once, and no game starts.
        QTest::qWait(2500);
        QVERIFY(AskToWait(korvan));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(korvan.Click(kCloseButtonX, kCloseButtonY));
        QVERIFY(korvan.WaitForExit(kPromptEndMs));
        QVERIFY2(clock.elapsed() < kPromptEndMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(korvan.ExitCode(), 0);
        QVERIFY(!korvan.Exists(QStringLiteral("game.out")));
    }

    void messageBoxTitlesAreTheirOwn()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), "[Alpha]\r\nAddress=127.0.0.1:1\r\n"));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        // No game set: Play warns, in a box titled just so.
        QVERIFY(korvan.Key(QStringLiteral("Return")));
        const QString warning = WindowTitled(korvan, QStringLiteral("Warning"));
        QVERIFY2(!warning.isEmpty(), qPrintable(korvan.WindowTitles().join(QLatin1Char('|'))));
        QVERIFY(korvan.Key(QStringLiteral("Return"), warning));
        // Then the settings, where the game is set; Esc leaves them as they were.
        const QString settings = WindowTitled(korvan, QStringLiteral("Settings"));
        QVERIFY2(!settings.isEmpty(), qPrintable(korvan.WindowTitles().join(QLatin1Char('|'))));
        QVERIFY(korvan.Key(QStringLiteral("Escape"), settings));
        QTRY_VERIFY(!korvan.WindowTitles().contains(QStringLiteral("Settings")));
        QVERIFY(korvan.Key(QStringLiteral("Escape")));
        QVERIFY(korvan.WaitForExit());
        QCOMPARE(korvan.ExitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPlay)
#include "test_play.moc"
