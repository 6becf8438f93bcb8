// The server editor and the settings dialog in the real program, driven by keys: what reaches
// tavix.ini at once, what survives a kill, and what a refused or cancelled dialog leaves alone.
#include "support/korvanproc.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QtTest>

namespace {

const QByteArray kOneServer = "[Main]\r\nTimeout=500\r\nServerIndex=0\r\n[Alpha]\r\nAddress=127.0.0.1:1\r\n";
constexpr int kFileWaitMs = 5000;
constexpr int kPollMs = 50;

// Waits until tavix.ini holds `part`; the file as it is then.
QByteArray WaitForIni(TKorvanProcess& korvan, const QByteArray& part)
{
    QDeadlineTimer deadline(kFileWaitMs);
    QByteArray ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    while (!ini.contains(part) && !deadline.hasExpired()) {
        QThread::msleep(kPollMs);
        ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    }
    return ini;
}

} // namespace

class TestServerDialogs : public QObject
{
    Q_OBJECT

private slots:
    void addedServerIsOnDiskBeforeExitAndSurvivesAKill();
    void refusedNameKeepsTheDialogOpen();
    void nameAlreadyInTheListKeepsWhatWasTyped();
    void settingsFromARefusedLaunchSurviveARestart();
    void removedServerLeavesTheFileAtOnce();
    void aboutFromTheMenuClosesWithEscape();
};

void TestServerDialogs::addedServerIsOnDiskBeforeExitAndSurvivesAKill()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), kOneServer));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());

    QVERIFY(korvan.Key(QStringLiteral("KP_Add")));
    QString dialog = korvan.WaitForWindow(QStringLiteral("^Add server"));
    QVERIFY2(!dialog.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Type(QStringLiteral("Gamma Realm"), dialog));
    QVERIFY(korvan.Key(QStringLiteral("Tab"), dialog));
    QVERIFY(korvan.Type(QStringLiteral("127.0.0.1:3"), dialog));
    QVERIFY(korvan.Key(QStringLiteral("Return"), dialog));

    // On disk while the program still runs, behind the server that was there.
    QByteArray ini = WaitForIni(korvan, "[Gamma Realm]");
    QVERIFY2(ini.contains("[Gamma Realm]\r\nAddress=127.0.0.1:3\r\n"), ini.constData());
    QVERIFY(ini.indexOf("[Alpha]") < ini.indexOf("[Gamma Realm]"));
    QVERIFY(korvan.IsRunning());
    QVERIFY(!korvan.Exists(QStringLiteral("tavix.lck")));

    // A kill loses nothing of it.
    korvan.Kill();
    QVERIFY(korvan.WaitForExit());
    QVERIFY(korvan.ReadFile(QStringLiteral("tavix.ini")).contains("[Gamma Realm]\r\nAddress=127.0.0.1:3\r\n"));

    // Next run: the accelerator of the edit dialog's Save button (Alt+A) after a change.
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(),
             qPrintable(korvan.WindowTitles().join('|') + korvan.StdErr() + QString::number(korvan.IsRunning())));
    QVERIFY(korvan.Key(QStringLiteral("End KP_Multiply")));
    dialog = korvan.WaitForWindow(QStringLiteral("^Edit server"));
    QVERIFY2(!dialog.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("ctrl+a"), dialog));
    QVERIFY(korvan.Type(QStringLiteral("127.0.0.1:4"), dialog));
    QVERIFY(korvan.Key(QStringLiteral("alt+a"), dialog));
    ini = WaitForIni(korvan, "Address=127.0.0.1:4");
    QVERIFY2(ini.contains("[Gamma Realm]\r\nAddress=127.0.0.1:4\r\n"), ini.constData());

    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
    ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    QVERIFY(ini.contains("[Gamma Realm]\r\nAddress=127.0.0.1:4\r\n"));
    QVERIFY(ini.indexOf("[Alpha]") < ini.indexOf("[Gamma Realm]"));
}

void TestServerDialogs::refusedNameKeepsTheDialogOpen()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), kOneServer));
    QVERIFY(korvan.Start());
    QVERIFY(!korvan.MainWindow().isEmpty());
    const QByteArray started = WaitForIni(korvan, "LastRun=");

    QVERIFY(korvan.Key(QStringLiteral("KP_Add")));
    const QString dialog = korvan.WaitForWindow(QStringLiteral("^Add server"));
    QVERIFY(!dialog.isEmpty());
    QVERIFY(korvan.Type(QStringLiteral("MAIN"), dialog));
    QVERIFY(korvan.Key(QStringLiteral("Tab"), dialog));
    QVERIFY(korvan.Type(QStringLiteral("127.0.0.1:5"), dialog));
    // Neither Enter nor the accelerator can confirm it.
    QVERIFY(korvan.Key(QStringLiteral("Return alt+a"), dialog));
    QVERIFY(!korvan.WaitForWindow(QStringLiteral("^Add server"), 1000).isEmpty());
    // Esc cancels; nothing was written.
    QVERIFY(korvan.Key(QStringLiteral("Escape"), dialog));
    QTRY_VERIFY(korvan.WaitForWindow(QStringLiteral("^Add server"), 200).isEmpty());
    QCOMPARE(korvan.ReadFile(QStringLiteral("tavix.ini")), started);

    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
    const QByteArray ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    QVERIFY(!ini.toUpper().contains("[MAIN]\r\nADDRESS"));
}

void TestServerDialogs::nameAlreadyInTheListKeepsWhatWasTyped()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), kOneServer));
    QVERIFY(korvan.Start());
    QVERIFY(!korvan.MainWindow().isEmpty());

    QVERIFY(korvan.Key(QStringLiteral("KP_Add")));
    const QString dialog = korvan.WaitForWindow(QStringLiteral("^Add server"));
    QVERIFY(!dialog.isEmpty());
    QVERIFY(korvan.Type(QStringLiteral("ALPHA"), dialog));
    QVERIFY(korvan.Key(QStringLiteral("Tab"), dialog));
    QVERIFY(korvan.Type(QStringLiteral("127.0.0.1:7"), dialog));
    // Enter is refused in the dialog: no error box, the dialog and what was typed stay.
    QVERIFY(korvan.Key(QStringLiteral("Return"), dialog));
    QTest::qWait(1000);
    QVERIFY2(!korvan.WindowTitles().contains(QStringLiteral("Error")), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(!korvan.WaitForWindow(QStringLiteral("^Add server"), 1000).isEmpty());
    // Another name, and the address typed before goes in with it.
    QVERIFY(korvan.Key(QStringLiteral("shift+Tab ctrl+a"), dialog));
    QVERIFY(korvan.Type(QStringLiteral("Alpha Two"), dialog));
    QVERIFY(korvan.Key(QStringLiteral("Return"), dialog));
    const QByteArray ini = WaitForIni(korvan, "[Alpha Two]");
    QVERIFY2(ini.contains("[Alpha Two]\r\nAddress=127.0.0.1:7\r\n"), ini.constData());
    QVERIFY(ini.contains("[Alpha]\r\nAddress=127.0.0.1:1\r\n"));

    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
}

void TestServerDialogs::settingsFromARefusedLaunchSurviveARestart()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), kOneServer));
    QVERIFY(korvan.Start());
    QVERIFY(!korvan.MainWindow().isEmpty());

    // Play without a game path: the warning, then the settings dialog.
    QVERIFY(korvan.Key(QStringLiteral("Return")));
    const QString warning = korvan.WaitForWindow(QStringLiteral("^Warning"));
    QVERIFY2(!warning.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), warning));
    QString settings = korvan.WaitForWindow(QStringLiteral("^Settings"));
    QVERIFY2(!settings.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    const QString gamePath = korvan.Root() + QStringLiteral("/no such game/WoW.exe");
    QVERIFY(korvan.Type(gamePath, settings));
    QVERIFY(korvan.Key(QStringLiteral("Return"), settings));
    QTRY_VERIFY(korvan.WaitForWindow(QStringLiteral("^Settings"), 200).isEmpty());
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
    QVERIFY(korvan.ReadFile(QStringLiteral("tavix.ini")).contains("WoWPath=" + gamePath.toUtf8()));

    // The path names no file: the next Play says so and opens the settings showing it; Esc cancels.
    QVERIFY(korvan.Start());
    QVERIFY(!korvan.MainWindow().isEmpty());
    QVERIFY(korvan.Key(QStringLiteral("Return")));
    const QString error = korvan.WaitForWindow(QStringLiteral("^Error"));
    QVERIFY(!error.isEmpty());
    QVERIFY(korvan.Key(QStringLiteral("Return"), error));
    settings = korvan.WaitForWindow(QStringLiteral("^Settings"));
    QVERIFY(!settings.isEmpty());
    QVERIFY(korvan.Key(QStringLiteral("ctrl+a BackSpace Escape"), settings));
    QTRY_VERIFY(korvan.WaitForWindow(QStringLiteral("^Settings"), 200).isEmpty());
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
    QVERIFY(korvan.ReadFile(QStringLiteral("tavix.ini")).contains("WoWPath=" + gamePath.toUtf8()));
}

void TestServerDialogs::removedServerLeavesTheFileAtOnce()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"),
                             kOneServer + "[Beta]\r\nAddress=127.0.0.1:2\r\nComments=kept\r\n"));
    QVERIFY(korvan.Start());
    QVERIFY(!korvan.MainWindow().isEmpty());

    // The first row is selected; the question's default answer is Yes.
    QVERIFY(korvan.Key(QStringLiteral("KP_Subtract")));
    const QString question = korvan.WaitForWindow(QStringLiteral("^Question"));
    QVERIFY2(!question.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), question));
    QByteArray ini = WaitForIni(korvan, "[Beta]\r\nAddress=127.0.0.1:2\r\nComments=kept");
    QTRY_VERIFY(!korvan.ReadFile(QStringLiteral("tavix.ini")).contains("[Alpha]"));
    QVERIFY(korvan.IsRunning());

    korvan.Kill();
    QVERIFY(korvan.WaitForExit());
    ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    QVERIFY2(!ini.contains("[Alpha]") && ini.contains("[Beta]"), ini.constData());
}

void TestServerDialogs::aboutFromTheMenuClosesWithEscape()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), kOneServer));
    QVERIFY(korvan.Start());
    QVERIFY(!korvan.MainWindow().isEmpty());

    // M opens the menu; About is the entry above the last one, Close.
    QVERIFY(korvan.Key(QStringLiteral("m")));
    QVERIFY(korvan.Key(QStringLiteral("Up Up Return"), {}));
    const QString about = korvan.WaitForWindow(QStringLiteral("^About"));
    QVERIFY2(!about.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Escape"), about));
    QTRY_VERIFY(korvan.WaitForWindow(QStringLiteral("^About"), 200).isEmpty());
    QVERIFY(korvan.IsRunning());

    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
}

QTEST_GUILESS_MAIN(TestServerDialogs)
#include "test_serverdialogs.moc"
