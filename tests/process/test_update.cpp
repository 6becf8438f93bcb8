// The program updating itself from an update server on loopback: the check of the signed list, the
// question, the download, the restart that installs the files, and the new program running with the
// user's servers; and every way an update can go wrong, each told once and installing nothing. The program
// under test is a build that trusts a key made for the tests (KORVAN_SIGNED_EXE).
#include "support/httpserver.h"
#include "support/korvanproc.h"
#include "support/minisign.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDeadlineTimer>
#include <QtTest>

namespace {

const QByteArray kServers = "[Alpha]\r\nAddress=127.0.0.1:1\r\nComments=first\r\n"
                            "[Beta]\r\nAddress=127.0.0.1:2\r\n";
constexpr int kStepMs = 30000;
constexpr int kPollMs = 100;
const QString kListPath = QStringLiteral("/download/update/en/update.txt");
// The menu's update item is its fifth.
const QString kOpenUpdateItem = QStringLiteral("m Down Down Down Down Down Return");

QString SignedBuild()
{
    return QStringLiteral(KORVAN_SIGNED_EXE);
}

// The list and, unless told otherwise, its signature by the tests' key beside it.
bool PublishList(TLoopbackHttpServer& server, const QByteArray& list, const QString& scratch, bool sign = true)
{
    server.Serve(kListPath, list, "text/plain");
    if (!sign)
        return true;
    const QByteArray signature = minisign::Sign(QStringLiteral(KORVAN_TEST_SECRET_KEY), list, scratch);
    server.Serve(kListPath + ".minisig", signature, "text/plain");
    return !signature.isEmpty();
}

// A stand-in for the new program: it answers --version as `version` and otherwise runs the real program
// that lies beside it, so the updated copy is a working one.
QByteArray ProgramAnswering(const QString& version)
{
    return "#!/bin/sh\nif [ \"$1\" = --version ]; then echo 'Korvan II " + version.toUtf8() +
           "'; exit 0; fi\nexec \"$(dirname \"$0\")/korvan-real\" \"$@\"\n";
}

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

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void updateFromTheServer_data();
    void updateFromTheServer();
    void menuAsksTheServer();
    void failedUpdateInstallsNothing_data();
    void failedUpdateInstallsNothing();
    void cancelStopsATrickle();
    void buildWithoutKeyOffersNoUpdates();
    void updateStartInstallsWhatItCan();
    void updateStartWaitsForTheOldCopy();

private:
    QTemporaryDir scratch_;
};

void TestUpdate::initTestCase()
{
    if (SignedBuild().isEmpty() || !minisign::Available())
        QSKIP("minisign is not installed, so there is no build with a test key");
    QVERIFY(scratch_.isValid());
}

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
    TKorvanProcess korvan(TKorvanProcess::Display::Xvfb, SignedBuild());
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));

    // The real program lies beside the one the update replaces; the new "korvan" says it is 99.00.0 and
    // runs it.
    QFile built(korvan.Program());
    QVERIFY(built.open(QIODevice::ReadOnly));
    QVERIFY(korvan.WriteFile("korvan-real", built.readAll()));
    built.close();
    QVERIFY(QFile::setPermissions(korvan.Folder() + "/korvan-real",
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray newProgram = ProgramAnswering(QStringLiteral("99.00.0"));
    const QByteArray readme = "What is new.\n";
    server.Serve("/f/korvan", newProgram, "application/octet-stream");
    server.Serve("/f/readme.txt", readme, "text/plain");
    const QString list =
        QStringLiteral("; published for the test\r\n99\r\n0\r\n\r\n0\r\n0\r\n"
                       "korvan\r\n%1#sha256=%2\r\n"
                       "readme.txt\r\n%3#sha256=%4\r\n")
            .arg(server.Url("/f/korvan"), Sha256Hex(newProgram), server.Url("/f/readme.txt"), Sha256Hex(readme));
    QVERIFY(PublishList(server, list.toUtf8(), scratch_.path()));

    QVERIFY(korvan.WriteFile("tavix.ini", "[Main]\r\nTimeout=500\r\n" + schedule + kServers));
    korvan.Environment().insert(QStringLiteral("KORVAN_UPDATE_URL"), server.Url(QString()));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());

    // The check finds version 99.00.0 and asks.
    if (fromMenu)
        QVERIFY(korvan.Key(kOpenUpdateItem));
    const QString question = korvan.WaitForWindow(QStringLiteral("^Question"), kStepMs);
    QVERIFY2(!question.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), question));

    // The old copy hands over and ends, without a word.
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
    // It runs through the new file.
    QCOMPARE(QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget(), korvan.Folder() + "/korvan-real");
    QCOMPARE(korvan.ReadFile("korvan"), newProgram);
    QVERIFY(QFileInfo(korvan.Program()).isExecutable());
    QCOMPARE(korvan.ReadFile("readme.txt"), readme);
    QVERIFY(!korvan.Exists("_update"));
    QVERIFY(korvan.Exists("tavix.ini"));

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
    TKorvanProcess korvan(TKorvanProcess::Display::Xvfb, SignedBuild());
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile("tavix.ini", "[Main]\r\nTimeout=500\r\nCheckUpdates=0\r\n" + kServers));
    korvan.Environment().insert(QStringLiteral("KORVAN_UPDATE_URL"), server.Url(QString()));
    QVERIFY(PublishList(server, "1\n0\n0\n0\n", scratch_.path()));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
    QCOMPARE(server.Hits(kListPath), 0);

    // An older version is no update.
    QVERIFY(korvan.Key(kOpenUpdateItem));
    QString box = korvan.WaitForWindow(QStringLiteral("^Information"), kStepMs);
    QVERIFY2(!box.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), box));

    // No list on the server: the check failed.
    THttpRoute gone;
    gone.Status = 404;
    server.Route(kListPath, gone);
    QVERIFY(korvan.Key(kOpenUpdateItem));
    box = korvan.WaitForWindow(QStringLiteral("^Error"), kStepMs);
    QVERIFY2(!box.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), box));

    // A newer version the user does not want: nothing is fetched.
    server.Serve("/f/readme.txt", "new", "text/plain");
    QVERIFY(PublishList(server,
                        "3\n0\n0\n0\nreadme.txt\n" + server.Url("/f/readme.txt").toUtf8() +
                            "#sha256=" + Sha256Hex("new").toUtf8() + "\n",
                        scratch_.path()));
    QVERIFY(korvan.Key(kOpenUpdateItem));
    box = korvan.WaitForWindow(QStringLiteral("^Question"), kStepMs);
    QVERIFY2(!box.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Escape"), box));
    QTRY_COMPARE_WITH_TIMEOUT(korvan.WindowTitles().filter(QRegularExpression("^(Question|Program update)")),
                              QStringList{}, kStepMs);
    QCOMPARE(server.Hits(kListPath), 3);
    QCOMPARE(server.Hits("/f/readme.txt"), 0);
    QVERIFY(!korvan.Exists("_update"));
    QVERIFY(korvan.IsRunning());

    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
    const QByteArray ini = korvan.ReadFile("tavix.ini");
    QVERIFY2(ini.contains("[Alpha]") && ini.contains("[Beta]"), ini.constData());
}

void TestUpdate::failedUpdateInstallsNothing_data()
{
    // The list the server publishes, with %1 for the server's address; how it goes wrong; whether the
    // user is asked first.
    QTest::addColumn<QString>("list");
    QTest::addColumn<bool>("isSigned");
    QTest::addColumn<bool>("asked");
    const QString readme = "readme.txt\n%1/f/readme.txt#sha256=" + Sha256Hex("new") + "\n";
    const QString head = "9\n0\n0\n0\n";
    QTest::newRow("a name with a folder part")
        << head + readme + "sub/evil.txt\n%1/f/evil#sha256=" + Sha256Hex("evil") + "\n"
        << true << true;
    QTest::newRow("a file without a digest") << head + readme + "evil.txt\n%1/f/evil\n" << true << true;
    QTest::newRow("a file not found") << head + readme + "missing.dat\n%1/f/missing#sha256=" + Sha256Hex("x") + "\n"
                                      << true << true;
    QTest::newRow("a wrong digest") << head + readme + "evil.txt\n%1/f/readme.txt#sha256=" + Sha256Hex("published") +
                                           "\n"
                                    << true << true;
    QTest::newRow("an empty program") << head + readme + "korvan\n%1/f/empty#sha256=" + Sha256Hex("") + "\n"
                                      << true << true;
    QTest::newRow("a program of another version")
        << head + readme + "korvan\n%1/f/older#sha256=" + Sha256Hex(ProgramAnswering("2.06.2")) + "\n"
        << true << true;
    QTest::newRow("no signature") << head + readme << false << false;
    QTest::newRow("a version part that would wrap") << "3\n256\n0\n0\n" + readme << true << false;
}

void TestUpdate::failedUpdateInstallsNothing()
{
    QFETCH(QString, list);
    QFETCH(bool, isSigned);
    QFETCH(bool, asked);
    TLoopbackHttpServer server;
    QVERIFY(server.Listen());
    server.Serve("/f/readme.txt", "new", "text/plain");
    server.Serve("/f/evil", "evil", "text/plain");
    server.Serve("/f/empty", "", "application/octet-stream");
    server.Serve("/f/older", ProgramAnswering("2.06.2"), "application/octet-stream");
    QVERIFY(PublishList(server, list.arg(server.Url(QString())).toUtf8(), scratch_.path(), isSigned));

    TKorvanProcess korvan(TKorvanProcess::Display::Xvfb, SignedBuild());
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile("tavix.ini", "[Main]\r\nTimeout=500\r\nCheckUpdates=0\r\n" + kServers));
    QVERIFY(korvan.WriteFile("readme.txt", "old"));
    const QByteArray program = korvan.ReadFile("korvan");
    korvan.Environment().insert(QStringLiteral("KORVAN_UPDATE_URL"), server.Url(QString()));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());

    QVERIFY(korvan.Key(kOpenUpdateItem));
    if (asked) {
        const QString question = korvan.WaitForWindow(QStringLiteral("^Question"), kStepMs);
        QVERIFY2(!question.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
        QVERIFY(korvan.Key(QStringLiteral("Return"), question));
    }
    // Told once.
    const QString error = korvan.WaitForWindow(QStringLiteral("^Error"), kStepMs);
    QVERIFY2(!error.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), error));
    QTest::qWait(1000);
    QCOMPARE(korvan.WindowTitles().filter(QRegularExpression("^(Error|Question|Program update)")), QStringList{});
    if (asked)
        QCOMPARE(server.Hits("/f/evil"), 0);

    // This copy goes on; nothing was installed or left to install.
    QVERIFY(korvan.IsRunning());
    QVERIFY(!korvan.Exists("_update"));
    QCOMPARE(korvan.ReadFile("readme.txt"), QByteArray("old"));
    QCOMPARE(korvan.ReadFile("korvan"), program);
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
    QVERIFY(!korvan.Exists("_update"));
    QCOMPARE(korvan.ReadFile("readme.txt"), QByteArray("old"));
}

void TestUpdate::cancelStopsATrickle()
{
    TLoopbackHttpServer server;
    QVERIFY(server.Listen());
    THttpRoute trickle;
    trickle.Body = QByteArray(1024 * 1024, 'x');
    trickle.ChunkBytes = 16;
    trickle.ChunkIntervalMs = 200;
    server.Route("/f/big.bin", trickle);
    QVERIFY(PublishList(server,
                        "9\n0\n0\n0\nbig.bin\n" + server.Url("/f/big.bin").toUtf8() +
                            "#sha256=" + Sha256Hex(trickle.Body).toUtf8() + "\n",
                        scratch_.path()));
    TKorvanProcess korvan(TKorvanProcess::Display::Xvfb, SignedBuild());
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile("tavix.ini", "[Main]\r\nTimeout=500\r\nCheckUpdates=0\r\n" + kServers));
    korvan.Environment().insert(QStringLiteral("KORVAN_UPDATE_URL"), server.Url(QString()));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());

    QVERIFY(korvan.Key(kOpenUpdateItem));
    const QString question = korvan.WaitForWindow(QStringLiteral("^Question"), kStepMs);
    QVERIFY2(!question.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), question));
    const QString window = korvan.WaitForWindow(QStringLiteral("^Program update"), kStepMs);
    QVERIFY2(!window.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QTRY_VERIFY_WITH_TIMEOUT(korvan.Exists("_update/big.bin.part"), kStepMs);

    // The user gives up: the window goes, and the download with it.
    QVERIFY(korvan.Key(QStringLiteral("Escape"), window));
    QTRY_COMPARE_WITH_TIMEOUT(korvan.WindowTitles().filter(QRegularExpression("^(Program update|Error)")),
                              QStringList{}, kStepMs);
    QVERIFY(!korvan.Exists("_update"));
    QVERIFY(korvan.IsRunning());
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
}

void TestUpdate::buildWithoutKeyOffersNoUpdates()
{
    TLoopbackHttpServer server;
    QVERIFY(server.Listen());
    QVERIFY(PublishList(server, "9\n0\n0\n0\n", scratch_.path()));
    // The program as built for everyone here: no key.
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    const QByteArray schedule = ScheduleThatChecksToday();
    QVERIFY(korvan.WriteFile("tavix.ini", "[Main]\r\nTimeout=500\r\n" + schedule + kServers));
    korvan.Environment().insert(QStringLiteral("KORVAN_UPDATE_URL"), server.Url(QString()));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());

    // The menu's item says why, and nobody is asked.
    QVERIFY(korvan.Key(kOpenUpdateItem));
    const QString box = korvan.WaitForWindow(QStringLiteral("^Information"), kStepMs);
    QVERIFY2(!box.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), box));
    // The schedule's first tick has come and gone.
    QTest::qWait(2000);
    QCOMPARE(server.Hits(kListPath), 0);
    QVERIFY(korvan.WindowTitles().filter(QRegularExpression("^(Question|Program update)")).isEmpty());
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
}

void TestUpdate::updateStartInstallsWhatItCan()
{
    TKorvanProcess korvan(TKorvanProcess::Display::Xvfb, SignedBuild());
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

    // A new program that is not newer than this one is not installed, nor is anything beside it.
    QVERIFY(korvan.WriteFile("_update/readme.txt", "newer"));
    QVERIFY(korvan.WriteFile("_update/korvan", ProgramAnswering(QStringLiteral("2.06.2"))));
    QVERIFY(QFile::setPermissions(korvan.Folder() + "/_update/korvan",
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray program = korvan.ReadFile("korvan");
    QVERIFY(korvan.Start({QStringLiteral("update")}));
    const QString refused = korvan.WaitForWindow(QStringLiteral("^Error"), kStepMs);
    QVERIFY2(!refused.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), refused));
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
    QCOMPARE(korvan.ReadFile("korvan"), program);
    QCOMPARE(korvan.ReadFile("readme.txt"), QByteArray("new"));
    QVERIFY(!korvan.Exists("_update"));
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
}

void TestUpdate::updateStartWaitsForTheOldCopy()
{
    // The old copy, still running; the copy that completes the update shares the user's session with it.
    TKorvanProcess old(TKorvanProcess::Display::Xvfb, SignedBuild());
    QVERIFY2(old.IsReady(), qPrintable(old.Error()));
    QVERIFY(old.WriteFile("tavix.ini", "[Main]\r\nCheckUpdates=0\r\n" + kServers));
    QVERIFY(old.Start());
    QVERIFY2(!old.MainWindow().isEmpty(), old.StdErr().constData());

    TKorvanProcess updating(TKorvanProcess::Display::Xvfb, SignedBuild());
    QVERIFY2(updating.IsReady(), qPrintable(updating.Error()));
    updating.UseDisplay(old.DisplayName());
    updating.Environment() = old.Environment();
    QVERIFY(updating.WriteFile("tavix.ini", "[Main]\r\nCheckUpdates=0\r\n" + kServers));
    QVERIFY(updating.WriteFile("readme.txt", "old"));
    QVERIFY(updating.WriteFile("_update/readme.txt", "new"));
    QVERIFY(updating.Start({QStringLiteral("update")}));

    // It waits as long as the old copy runs, and says so; nothing is replaced meanwhile.
    const QString waiting = updating.WaitForWindow(QStringLiteral("^Information"), kStepMs);
    QVERIFY2(!waiting.isEmpty(), qPrintable(updating.WindowTitles().join('|')));
    QTest::qWait(1000);
    QCOMPARE(updating.ReadFile("readme.txt"), QByteArray("old"));
    QVERIFY(updating.IsRunning());

    // Once the old copy has ended, the update is installed and the program comes up.
    QVERIFY(old.Key(QStringLiteral("Escape")));
    QVERIFY(old.WaitForExit());
    QVERIFY2(!updating.MainWindow(kStepMs).isEmpty(), qPrintable(updating.WindowTitles().join('|')));
    QCOMPARE(updating.ReadFile("readme.txt"), QByteArray("new"));
    QVERIFY(!updating.Exists("_update"));
    QVERIFY(updating.Key(QStringLiteral("Escape")));
    QVERIFY(updating.WaitForExit());
}

QTEST_GUILESS_MAIN(TestUpdate)
#include "test_update.moc"
