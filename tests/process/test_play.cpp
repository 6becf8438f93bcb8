// Play as a user meets it: the real program plays a server through a stand-in game, ends, leaves its
// files behind and starts again; the titles of its windows are its own.
#include "buildconfig.h"
#include "support/korvanproc.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

constexpr int kFileWaitMs = 10000;
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
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"),
                                 "[Main]\r\nWoWPath=" + folder.toUtf8() +
                                     "game/wow.sh\r\nProgramToRunOnWoWLaunch=" + folder.toUtf8() +
                                     "My Tools/voice.sh --minimized \"two words\"\r\n"
                                     "[Alpha]\r\nAddress=127.0.0.1:1\r\n[Beta]\r\nAddress=127.0.0.1:2\r\n"));
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

        QCOMPARE(korvan.ReadFile(QStringLiteral("game/realmlist.wtf")), QByteArray("set realmlist 127.0.0.1:2"));
        QVERIFY(WaitForFile(korvan, QStringLiteral("game.out")));
        QVERIFY(WaitForFile(korvan, QStringLiteral("voice.out")));
        QCOMPARE(korvan.ReadFile(QStringLiteral("voice.out")), QByteArray("--minimized\ntwo words\n"));
        const QByteArray ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
        QVERIFY2(ini.contains("LastRun="), ini.constData());
        QVERIFY2(ini.contains("ServerIndex=1"), ini.constData());
        QVERIFY(ini.contains("[Beta]\r\nAddress=127.0.0.1:2"));

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
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"),
                                 "[Main]\nWoWPath=" + folder.toUtf8() +
                                     "game/wow.sh\nProgramToRunOnWoWLaunch=" + folder.toUtf8() +
                                     "tools/voice.sh\n[Alpha]\nAddress=127.0.0.1:1\nAutoCacheClear=1\n"));
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
