// Play of a newer client as a user meets it: the real program points the game's own settings at the server
// and sends what the game writes into the server's log, which keeps filling after the program has ended;
// the next Play keeps the previous run's log.
#include "support/korvanproc.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QThread>
#include <QtTest>
#include <sys/stat.h>

namespace {

const QString kFixtures = QStringLiteral(KORVAN_PE_FIXTURES);
constexpr int kLogWaitMs = 15000;
// A settings file as the client leaves it: CR LF, other settings around a stale realm list.
const QByteArray kConfig = "SET gxWindow \"1\"\r\nSET realmList \"old.logon\"\r\nSET accountName \"PLAYER\"\r\n";

QByteArray ReadPath(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray WaitForEnd(const QString& path, const QByteArray& last)
{
    QDeadlineTimer deadline(kLogWaitMs);
    QByteArray content = ReadPath(path);
    while (!content.endsWith(last) && !deadline.hasExpired()) {
        QThread::msleep(20);
        content = ReadPath(path);
    }
    return content;
}

mode_t ModeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

class TestPlayLog : public QObject
{
    Q_OBJECT

private slots:
    void newerClientIsPointedAndItsOutputLogged()
    {
        if (kFixtures.isEmpty())
            QSKIP("no PE fixtures");
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        const QString folder = korvan.Folder() + QLatin1Char('/');
        const QString state = korvan.Root() + QStringLiteral("/state");
        korvan.Environment().insert(QStringLiteral("XDG_STATE_HOME"), state);
        const QString go = korvan.Root() + QStringLiteral("/go");

        // A 4.3 client, started through a stand-in Wine that talks on both outputs and, once told to,
        // after the program has ended.
        QVERIFY(korvan.WriteFile(QStringLiteral("game/WoW.exe"), ReadPath(kFixtures + "wow_lower_x86.exe")));
        QVERIFY(korvan.WriteFile(QStringLiteral("game/WTF/Config.wtf"), kConfig));
        const QByteArray wine = "#!/bin/sh\necho \"starting ${1##*/}\"\necho 'a warning' >&2\n"
                                "i=0\nwhile [ ! -e '" +
                                go.toUtf8() +
                                "' ] && [ $i -lt 300 ]; do sleep 0.05; i=$((i+1)); done\n"
                                "echo 'still running'\n";
        QVERIFY(korvan.WriteFile(QStringLiteral("stand-in/wine"), wine));
        QVERIFY(QFile::setPermissions(folder + QStringLiteral("stand-in/wine"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        // The server answers, so Play starts at once instead of offering to wait for it.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QByteArray address = "127.0.0.1:" + QByteArray::number(server.serverPort());
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"),
                                 "[Main]\r\nWoWPath=" + folder.toUtf8() + "game/WoW.exe\r\nWineCommand=" +
                                     folder.toUtf8() + "stand-in/wine\r\n[Alpha/One]\r\nAddress=" + address + "\r\n"));

        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        QVERIFY(korvan.Key(QStringLiteral("Return")));
        QVERIFY2(korvan.WaitForExit(), "the program kept running after a successful Play");
        QCOMPARE(korvan.ExitCode(), 0);

        // Only the realm list line changed; the line ends and the other settings are as they were.
        QCOMPARE(korvan.ReadFile(QStringLiteral("game/WTF/Config.wtf")),
                 "SET gxWindow \"1\"\r\nSET realmList \"" + address + "\"\r\nSET accountName \"PLAYER\"\r\n");

        // The log is named after the server, safely, in a folder of the user's alone.
        const QString logs = state + QStringLiteral("/korvan/logs/");
        const QString log = logs + QStringLiteral("Alpha_One.log");
        QCOMPARE(QDir(logs).entryList(QDir::Files), QStringList{QStringLiteral("Alpha_One.log")});
        QCOMPARE(ModeOf(logs), mode_t(0700));
        QCOMPARE(ModeOf(log), mode_t(0600));
        // What the game says after the program has ended still lands.
        QVERIFY(!ReadPath(log).contains("still running"));
        QFile(go).open(QIODevice::WriteOnly);
        QCOMPARE(WaitForEnd(log, "still running\n"), QByteArray("starting WoW.exe\na warning\nstill running\n"));

        // The next Play keeps this run's log as the previous one.
        QVERIFY(korvan.WriteFile(QStringLiteral("stand-in/wine"), "#!/bin/sh\necho 'second run'\n"));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        QVERIFY(korvan.Key(QStringLiteral("Return")));
        QVERIFY2(korvan.WaitForExit(), "the program kept running after a successful Play");
        QCOMPARE(korvan.ExitCode(), 0);
        QCOMPARE(WaitForEnd(log, "second run\n"), QByteArray("second run\n"));
        QCOMPARE(ReadPath(log + QStringLiteral(".1")), QByteArray("starting WoW.exe\na warning\nstill running\n"));
        QCOMPARE(ModeOf(log + QStringLiteral(".1")), mode_t(0600));
    }
};

QTEST_GUILESS_MAIN(TestPlayLog)
#include "test_playlog.moc"
