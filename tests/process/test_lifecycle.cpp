// The program as a user meets it: started, used a little, closed; what it leaves on disk.
#include "support/korvanproc.h"
#include "support/testsupport.h"

#include <QtTest>
#include <string>
#include <unistd.h>

namespace {

const QByteArray kTwoServers = "[Main]\r\nTimeout=500\r\n[Alpha]\r\nAddress=127.0.0.1:1\r\n"
                               "[Beta]\r\nAddress=127.0.0.1:2\r\n";

} // namespace

class TestLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void escapeClosesAndSaves()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), kTwoServers));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        QVERIFY(korvan.Key(QStringLiteral("Escape")));
        QVERIFY2(korvan.WaitForExit(), "the program did not end after Escape");
        QVERIFY(korvan.ExitedNormally());
        QCOMPARE(korvan.ExitCode(), 0);

        const QByteArray ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
        QVERIFY2(ini.contains("LastRun="), ini.constData());
        QVERIFY(ini.indexOf("[Alpha]") < ini.indexOf("[Beta]"));
        QVERIFY(ini.contains("Address=127.0.0.1:2"));

        // The lock is gone with the process: the next start shows the window again.
        QVERIFY(korvan.Start());
        QVERIFY(!korvan.MainWindow().isEmpty());
        QVERIFY(korvan.Key(QStringLiteral("Escape")));
        QVERIFY(korvan.WaitForExit());
        QCOMPARE(korvan.ExitCode(), 0);
    }

    void secondCopyIsRefused()
    {
        TKorvanProcess first;
        QVERIFY2(first.IsReady(), qPrintable(first.Error()));
        QVERIFY(first.Start());
        QVERIFY(!first.MainWindow().isEmpty());

        // The same user in the same desktop session starts another copy: it says so and ends.
        TKorvanProcess second(TKorvanProcess::Display::None);
        second.UseDisplay(first.DisplayName());
        QVERIFY(second.Start());
        const QString notice = second.WaitForWindow(QStringLiteral("^Information"));
        QVERIFY2(!notice.isEmpty(), qPrintable(second.WindowTitles().join(QLatin1Char('|'))));
        QVERIFY(second.Key(QStringLiteral("Return"), notice));
        QVERIFY(second.WaitForExit());
        QCOMPARE(second.ExitCode(), 0);
        QVERIFY2(!second.Exists(QStringLiteral("tavix.ini")), "a refused copy writes nothing");
        first.Key(QStringLiteral("Escape"));
        QVERIFY(first.WaitForExit());
        QCOMPARE(first.ExitCode(), 0);
    }

    void anotherUserCannotKeepItFromStarting()
    {
        // Another user of the machine takes what a lock of ours could be: the name of an abstract socket
        // (anyone's to take), and whatever its own copy takes.
        const std::string ours = "korvan-tavix2-" + std::to_string(::getuid());
        TOtherUser other([&ours] { return BindAbstractSocket(ours) >= 0; });
        if (!other.Ready())
            QSKIP("only root can run a process as another user");
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), kTwoServers));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(),
                 qPrintable(korvan.WindowTitles().join(QLatin1Char('|')) + QString::fromLocal8Bit(korvan.StdErr())));
        QVERIFY(!korvan.WindowTitles().contains(QStringLiteral("Information")));
        QVERIFY(korvan.Key(QStringLiteral("Escape")));
        QVERIFY(korvan.WaitForExit());
        QCOMPARE(korvan.ExitCode(), 0);
    }

    void noDisplayIsExplained()
    {
        TKorvanProcess korvan(TKorvanProcess::Display::None);
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        QVERIFY(korvan.Run({}));
        QVERIFY(korvan.ExitedNormally());
        QCOMPARE(korvan.ExitCode(), 1);
        QVERIFY(!korvan.StdErr().isEmpty());
        QVERIFY2(!korvan.Exists(QStringLiteral("tavix.ini")), "nothing is written without a display");
    }
};

QTEST_GUILESS_MAIN(TestLifecycle)
#include "test_lifecycle.moc"
