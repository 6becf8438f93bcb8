// The program updating itself from an update server on loopback: the check, the question, the download,
// the restart that installs the files, and the new program running with the user's servers.
#include "support/httpserver.h"
#include "support/korvanproc.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QtTest>

namespace {

const QByteArray kServers = "[Alpha]\r\nAddress=127.0.0.1:1\r\nComments=first\r\n"
                            "[Beta]\r\nAddress=127.0.0.1:2\r\n";
constexpr int kStepMs = 30000;
constexpr int kPollMs = 100;

QString Sha256Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// A check on this start: the first start ever is day 1 of January 1900 to the schedule.
QByteArray ScheduleThatChecksToday()
{
    const QDate today = QDate::currentDate();
    if (today.day() > 1)
        return "CheckUpdates=1\r\n";
    if (today.month() > 1)
        return "CheckUpdates=3\r\n";
    return {};
}

bool ProcessGone(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    // An ended process nobody has collected yet still has an entry, marked Z.
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close > 0 && text.mid(close + 2, 1) == "Z";
}

QStringList AllFiles(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT

private slots:
    void updateFromTheServer_data();
    void updateFromTheServer();
    void menuAsksTheServer();
    void updateStartInstallsWhatItCan();
};

void TestUpdate::updateFromTheServer_data()
{
    QTest::addColumn<bool>("fromMenu");
    QTest::newRow("asked from the menu") << true;
    QTest::newRow("found by the schedule") << false;
}

void TestUpdate::updateFromTheServer()
{
    QFETCH(bool, fromMenu);
    const QByteArray schedule = fromMenu ? QByteArray("CheckUpdates=0\r\n") : ScheduleThatChecksToday();
    if (schedule.isEmpty())
        QSKIP("no schedule checks on the first of January");

    TLoopbackHttpServer server;
    QVERIFY(server.Listen());
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));

    // The new program: this very build with a mark at its end, which changes nothing when it runs.
    QFile built(korvan.Program());
    QVERIFY(built.open(QIODevice::ReadOnly));
    const QByteArray newProgram = built.readAll() + "\nkorvan-update-test-mark\n";
    built.close();
    const QByteArray readme = "What is new.\n";
    server.Serve("/f/korvan", newProgram, "application/octet-stream");
    server.Serve("/f/readme.txt", readme, "text/plain");
    server.Serve("/f/tampered.dat", "not what was published", "application/octet-stream");
    server.Serve("/f/evil.txt", "evil", "text/plain");
    const QString list = QStringLiteral("; published for the test\r\n99\r\n0\r\n\r\n0\r\n0\r\n"
                                        "korvan\r\n%1#sha256=%2\r\n"
                                        "readme.txt\r\n%3\r\n"
                                        "missing.dat\r\n%4\r\n"
                                        "tampered.dat\r\n%5#sha256=%6\r\n"
                                        "sub/evil.txt\r\n%7\r\n"
                                        "../evil.txt\r\n%7\r\n")
                             .arg(server.Url("/f/korvan"), Sha256Hex(newProgram), server.Url("/f/readme.txt"),
                                  server.Url("/f/missing.dat"), server.Url("/f/tampered.dat"), Sha256Hex(readme),
                                  server.Url("/f/evil.txt"));
    server.Serve("/download/update/en/update.txt", list.toUtf8(), "text/plain");

    QVERIFY(korvan.WriteFile("tavix.ini", "[Main]\r\nTimeout=500\r\n" + schedule + kServers));
    korvan.Environment().insert(QStringLiteral("KORVAN_UPDATE_URL"), server.Url(QString()));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());

    // The menu's update item is its fourth line. The check finds version 99.00.0 and asks.
    if (fromMenu)
        QVERIFY(korvan.Key(QStringLiteral("m Down Down Down Down Return")));
    const QString question = korvan.WaitForWindow(QStringLiteral("^Question"), kStepMs);
    QVERIFY2(!question.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), question));
    // The names with folder parts were refused; the user hears of it and the update goes on.
    const QString refused = korvan.WaitForWindow(QStringLiteral("^Error"), kStepMs);
    QVERIFY2(!refused.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), refused));

    // The old copy hands over and ends.
    QVERIFY2(korvan.WaitForExit(kStepMs), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.ExitedNormally());
    QCOMPARE(korvan.ExitCode(), 0);

    // The new copy installs the files and comes up with its main window.
    QString window;
    QDeadlineTimer deadline(kStepMs);
    while (window.isEmpty() && !deadline.hasExpired()) {
        window = QString::fromLatin1(korvan
                                         .Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                   QStringLiteral("--name"), QStringLiteral("^Korvan [0-9]")})
                                         .trimmed()
                                         .split('\n')
                                         .value(0));
        if (window.isEmpty())
            QThread::msleep(kPollMs);
    }
    QVERIFY2(!window.isEmpty(), "the updated program did not come up");
    const qint64 pid = korvan.Xdotool({QStringLiteral("getwindowpid"), window}).trimmed().toLongLong();
    QVERIFY(pid > 0);
    // It runs the new file, not the one it replaced.
    QCOMPARE(QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget(), korvan.Program());

    QCOMPARE(korvan.ReadFile("korvan"), newProgram);
    QVERIFY(QFileInfo(korvan.Program()).isExecutable());
    QCOMPARE(korvan.ReadFile("readme.txt"), readme);
    QVERIFY(!korvan.Exists("missing.dat"));
    QVERIFY(!korvan.Exists("tampered.dat"));
    QVERIFY(!korvan.Exists("_update"));
    QVERIFY(!AllFiles(korvan.Root()).join('|').contains("evil"));
    QCOMPARE(server.Hits("/f/evil.txt"), 0);

    // The user closes it; the servers are all there.
    QThread::msleep(500);
    QVERIFY(korvan.Key(QStringLiteral("Escape"), window));
    deadline.setRemainingTime(kStepMs);
    while (!ProcessGone(pid) && !deadline.hasExpired())
        QThread::msleep(kPollMs);
    QVERIFY2(ProcessGone(pid), "the updated program did not end");
    const QByteArray ini = korvan.ReadFile("tavix.ini");
    QVERIFY2(ini.contains("[Alpha]") && ini.contains("Address=127.0.0.1:1") && ini.contains("Comments=first"),
             ini.constData());
    QVERIFY2(ini.indexOf("[Alpha]") < ini.indexOf("[Beta]") && ini.contains("Address=127.0.0.1:2"), ini.constData());
    QVERIFY(ini.contains("LastRun="));
    QVERIFY(!korvan.Exists("tavix.lck"));
}

void TestUpdate::menuAsksTheServer()
{
    TLoopbackHttpServer server;
    QVERIFY(server.Listen());
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile("tavix.ini", "[Main]\r\nTimeout=500\r\nCheckUpdates=0\r\n" + kServers));
    korvan.Environment().insert(QStringLiteral("KORVAN_UPDATE_URL"), server.Url(QString()));
    server.Serve("/download/update/en/update.txt", "1\n0\n0\n0\n", "text/plain");
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
    QCOMPARE(server.Hits("/download/update/en/update.txt"), 0);

    // The menu's update item is its fourth line: an older version is no update.
    const QString openUpdateItem = QStringLiteral("m Down Down Down Down Return");
    QVERIFY(korvan.Key(openUpdateItem));
    QString box = korvan.WaitForWindow(QStringLiteral("^Information"), kStepMs);
    QVERIFY2(!box.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), box));

    // No list on the server: the check failed.
    THttpRoute gone;
    gone.Status = 404;
    server.Route("/download/update/en/update.txt", gone);
    QVERIFY(korvan.Key(openUpdateItem));
    box = korvan.WaitForWindow(QStringLiteral("^Error"), kStepMs);
    QVERIFY2(!box.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), box));

    // A newer version the user does not want: nothing is fetched.
    server.Serve("/download/update/en/update.txt",
                 "3\n0\n0\n0\nreadme.txt\n" + server.Url("/f/readme.txt").toUtf8() + "\n", "text/plain");
    server.Serve("/f/readme.txt", "new", "text/plain");
    QVERIFY(korvan.Key(openUpdateItem));
    box = korvan.WaitForWindow(QStringLiteral("^Question"), kStepMs);
    QVERIFY2(!box.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Escape"), box));
    QTRY_COMPARE_WITH_TIMEOUT(korvan.WindowTitles().filter(QRegularExpression("^(Question|Program update)")),
                              QStringList{}, kStepMs);
    QCOMPARE(server.Hits("/download/update/en/update.txt"), 3);
    QCOMPARE(server.Hits("/f/readme.txt"), 0);
    QVERIFY(!korvan.Exists("_update"));
    QVERIFY(korvan.IsRunning());

    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
    const QByteArray ini = korvan.ReadFile("tavix.ini");
    QVERIFY2(ini.contains("[Alpha]") && ini.contains("[Beta]"), ini.constData());
}

void TestUpdate::updateStartInstallsWhatItCan()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile("tavix.ini", "[Main]\r\nCheckUpdates=0\r\n" + kServers));

    // Nothing to install: a normal start, and no batch file.
    QVERIFY(korvan.Start({QStringLiteral("UPDATE")}));
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QVERIFY(!korvan.Exists("_updater.bat"));

    // A file, a folder that is no file of the list's, and a download cut off half way.
    QVERIFY(korvan.WriteFile("readme.txt", "old"));
    QVERIFY(korvan.WriteFile("_update/readme.txt", "new"));
    QVERIFY(korvan.WriteFile("_update/Data/inner.txt", "nested"));
    QVERIFY(korvan.WriteFile("_update/big.bin.part", "half"));
    QVERIFY(korvan.Start({QStringLiteral("Update")}));
    const QString box = korvan.WaitForWindow(QStringLiteral("^Error"), kStepMs);
    QVERIFY2(!box.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), box));
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
    QCOMPARE(korvan.ReadFile("readme.txt"), QByteArray("new"));
    QCOMPARE(korvan.ReadFile("_update/Data/inner.txt"), QByteArray("nested"));
    QVERIFY(!korvan.Exists("_update/readme.txt"));
    QVERIFY(!korvan.Exists("_update/big.bin.part"));
    QVERIFY(!korvan.Exists("big.bin"));
    QVERIFY(!korvan.Exists("Data"));

    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
    const QByteArray ini = korvan.ReadFile("tavix.ini");
    QVERIFY2(ini.contains("[Alpha]") && ini.contains("[Beta]"), ini.constData());
}

QTEST_GUILESS_MAIN(TestUpdate)
#include "test_update.moc"
