// The real program among files a user does not expect: a linked, read-only or piped tavix.ini, save files
// of a killed save, a very long list. What it leaves on disk, and that it ends.
#include "support/korvanproc.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Room for a machine under load; a window that does not come within it is not coming.
constexpr int kWindowMs = 40000;
const QByteArray kList = "[Main]\nTimeout=1000\n[Alpha]\nAddress=127.0.0.1:1\n[Beta]\nAddress=127.0.0.1:2\n";

// The list without its section header, Alpha listening at `alpha`.
QByteArray AnsweringList(const QTcpServer& alpha)
{
    return kList.mid(6).replace("127.0.0.1:1", "127.0.0.1:" + QByteArray::number(alpha.serverPort()));
}
constexpr int kLongList = 100000;

struct stat LStat(const QString& path)
{
    struct stat st = {};
    ::lstat(path.toLocal8Bit().constData(), &st);
    return st;
}

// Why the main window did not come up, for the failure message.
QByteArray NoWindow(TKorvanProcess& korvan)
{
    return "running: " + QByteArray::number(korvan.IsRunning()) +
           ", windows: " + korvan.WindowTitles().join(QLatin1Char('|')).toUtf8() + ", stderr: " + korvan.StdErr();
}

// The newest visible window of the program with this exact title: a message box comes up as more than
// one window of its title, of which the last made takes the keys.
QString Newest(TKorvanProcess& korvan, const QString& title)
{
    if (korvan.WaitForWindow(QLatin1Char('^') + title + QLatin1Char('$')).isEmpty())
        return {};
    const QList<QByteArray> ids = korvan
                                      .Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                QStringLiteral("--pid"), QString::number(korvan.Pid()),
                                                QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')})
                                      .trimmed()
                                      .split('\n');
    return QString::fromLatin1(ids.last());
}

// Closes the main window with Escape and answers the one error box a failed save shows.
bool CloseAndAnswerSaveError(TKorvanProcess& korvan)
{
    if (!korvan.Key(QStringLiteral("Escape")))
        return false;
    const QString box = Newest(korvan, QStringLiteral("Error"));
    if (box.isEmpty())
        return false;
    return korvan.Key(QStringLiteral("Return"), box) && korvan.WaitForExit();
}

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT

private slots:
    void linkedIniStaysALink()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QVERIFY(korvan.WriteFile(QStringLiteral("synced/tavix.ini"), kList));
        const QString ini = korvan.IniPath();
        QVERIFY(::symlink("synced/tavix.ini", ini.toLocal8Bit().constData()) == 0);

        for (int run = 0; run < 2; ++run) {
            QVERIFY(korvan.Start());
            QVERIFY2(!korvan.MainWindow(kWindowMs).isEmpty(), NoWindow(korvan).constData());
            QVERIFY(korvan.Key(QStringLiteral("Escape")));
            QVERIFY(korvan.WaitForExit());
            QCOMPARE(korvan.ExitCode(), 0);
            QVERIFY(S_ISLNK(LStat(ini).st_mode));
            const QByteArray saved = korvan.ReadFile(QStringLiteral("synced/tavix.ini"));
            QVERIFY2(saved.contains("LastRun=") && saved.contains("[Beta]"), saved.constData());
        }
    }

    void readOnlyIniIsKeptAndTheUserTold()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), kList));
        QVERIFY(::chmod(korvan.IniPath().toLocal8Bit().constData(), 0444) == 0);
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow(kWindowMs).isEmpty(), NoWindow(korvan).constData());
        QVERIFY2(CloseAndAnswerSaveError(korvan), qPrintable(korvan.WindowTitles().join(QLatin1Char('|'))));
        QCOMPARE(korvan.ExitCode(), 0);
        QCOMPARE(korvan.ReadFile(QStringLiteral("tavix.ini")), kList);
        QCOMPARE(LStat(korvan.IniPath()).st_mode & 07777, mode_t(0444));
        QCOMPARE(QDir(korvan.Folder()).entryList({QStringLiteral("tavix.*")}, QDir::AllEntries | QDir::System),
                 QStringList({QStringLiteral("tavix.ini")}));
    }

    void pipedIniFreezesNothing()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QVERIFY(::mkfifo(korvan.IniPath().toLocal8Bit().constData(), 0666) == 0);
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow(kWindowMs).isEmpty(), NoWindow(korvan).constData());
        QVERIFY2(CloseAndAnswerSaveError(korvan), qPrintable(korvan.WindowTitles().join(QLatin1Char('|'))));
        QCOMPARE(korvan.ExitCode(), 0);
        QVERIFY(S_ISFIFO(LStat(korvan.IniPath()).st_mode));
    }

    void pipeOrForeignLinkAsRealmlistIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("pipe") << "fifo";
        QTest::newRow("link to a file of the user's") << "link";
    }

    void pipeOrForeignLinkAsRealmlistIsRefused()
    {
        QFETCH(QString, kind);
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QVERIFY(korvan.WriteFile(QStringLiteral("game/WoW.exe"), "not started: the realm list fails first"));
        QVERIFY(korvan.WriteFile(QStringLiteral("notes.txt"), "the user's notes"));
        const QString realmlist = korvan.Folder() + QStringLiteral("/game/realmlist.wtf");
        if (kind == "fifo")
            QVERIFY(::mkfifo(realmlist.toLocal8Bit().constData(), 0666) == 0);
        else
            QVERIFY(::symlink("../notes.txt", realmlist.toLocal8Bit().constData()) == 0);
        // The server answers, so Play goes ahead at once instead of offering to wait for it.
        QTcpServer alpha;
        QVERIFY(alpha.listen(QHostAddress::LocalHost));
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), "[Main]\nWoWPath=" + korvan.Folder().toLocal8Bit() +
                                                                  "/game/WoW.exe\nServerIndex=0\n" +
                                                                  AnsweringList(alpha)));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow(kWindowMs).isEmpty(), NoWindow(korvan).constData());
        QVERIFY(korvan.Key(QStringLiteral("Return")));
        // Message 1017, and the window still takes keys afterwards.
        const QString box = Newest(korvan, QStringLiteral("Error"));
        QVERIFY2(!box.isEmpty(), qPrintable(korvan.WindowTitles().join(QLatin1Char('|'))));
        QVERIFY(korvan.Key(QStringLiteral("Return"), box));
        QTRY_VERIFY2_WITH_TIMEOUT(!korvan.WindowTitles().contains(QStringLiteral("Error")),
                                  NoWindow(korvan).constData(), 5000);
        QVERIFY(korvan.Key(QStringLiteral("Escape")));
        QVERIFY2(korvan.WaitForExit(), NoWindow(korvan).constData());
        QCOMPARE(korvan.ExitCode(), 0);
        QCOMPARE(korvan.ReadFile(QStringLiteral("notes.txt")), QByteArray("the user's notes"));
        QVERIFY(kind == "fifo" ? S_ISFIFO(LStat(realmlist).st_mode) : S_ISLNK(LStat(realmlist).st_mode));
    }

    void hardLinkedRealmlistIsNotWrittenThrough()
    {
        // Two game installations sharing their files through hard links, as a copy made with `cp -l` does.
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QVERIFY(korvan.WriteFile(QStringLiteral("game/wow.sh"), "#!/bin/sh\n"));
        QVERIFY(QFile::setPermissions(korvan.Folder() + QStringLiteral("/game/wow.sh"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(korvan.WriteFile(QStringLiteral("other/realmlist.wtf"), "set realmlist other.example"));
        QVERIFY(::link((korvan.Folder() + QStringLiteral("/other/realmlist.wtf")).toLocal8Bit().constData(),
                       (korvan.Folder() + QStringLiteral("/game/realmlist.wtf")).toLocal8Bit().constData()) == 0);
        QTcpServer alpha;
        QVERIFY(alpha.listen(QHostAddress::LocalHost));
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), "[Main]\nWoWPath=" + korvan.Folder().toLocal8Bit() +
                                                                  "/game/wow.sh\nServerIndex=0\n" +
                                                                  AnsweringList(alpha)));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow(kWindowMs).isEmpty(), NoWindow(korvan).constData());
        QVERIFY(korvan.Key(QStringLiteral("Return")));
        QVERIFY2(korvan.WaitForExit(), NoWindow(korvan).constData());
        QCOMPARE(korvan.ExitCode(), 0);
        QCOMPARE(korvan.ReadFile(QStringLiteral("game/realmlist.wtf")),
                 "set realmlist 127.0.0.1:" + QByteArray::number(alpha.serverPort()));
        QCOMPARE(korvan.ReadFile(QStringLiteral("other/realmlist.wtf")), QByteArray("set realmlist other.example"));
    }

    void leftoversOfAKilledSaveGoAtStart()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), kList));
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini.k1L2m3.saving"), "[Main]\nWoWPath=half"));
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini.backup"), "the user's own"));
        QVERIFY(::symlink("tavix.ini", (korvan.Folder() + "/tavix.lck").toLocal8Bit().constData()) == 0);
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow(kWindowMs).isEmpty(), NoWindow(korvan).constData());
        QVERIFY(!korvan.Exists(QStringLiteral("tavix.ini.k1L2m3.saving")));
        QVERIFY(korvan.Key(QStringLiteral("Escape")));
        QVERIFY(korvan.WaitForExit());
        QCOMPARE(korvan.ReadFile(QStringLiteral("tavix.ini.backup")), QByteArray("the user's own"));
        // The lock went through no link: the list it pointed at is whole.
        const QByteArray saved = korvan.ReadFile(QStringLiteral("tavix.ini"));
        QVERIFY2(saved.contains("[Alpha]") && saved.contains("[Beta]"), saved.constData());
    }

    void longListStartsAndEnds()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QByteArray ini = "[Main]\nTimeout=1000\n";
        for (int i = 0; i < kLongList; ++i)
            ini += "[S" + QByteArray::number(i) + "]\nAddress=127." + QByteArray::number(2 + i / 60000) + "." +
                   QByteArray::number(i / 250 % 240) + "." + QByteArray::number(i % 250 + 1) + ":1\n";
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), ini));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow(60000).isEmpty(), NoWindow(korvan).constData());
        // Responsive while the round runs: a key is taken and acted on.
        QVERIFY(korvan.Key(QStringLiteral("Escape")));
        QVERIFY2(korvan.WaitForExit(30000), "a long list held the end up");
        QCOMPARE(korvan.ExitCode(), 0);
        const QByteArray saved = korvan.ReadFile(QStringLiteral("tavix.ini"));
        QCOMPARE(saved.count("Address="), kLongList);
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "test_hostile.moc"
