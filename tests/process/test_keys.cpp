// The window's own keys in the real program: Ctrl+N adds a server, typed letters pick one by its name,
// Delete removes it after the question, Tab and Space press a button, Ctrl+Q closes; and what is on disk.
#include "support/korvanproc.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QtTest>

namespace {

const QByteArray kServers = "[Main]\r\nTimeout=500\r\nServerIndex=0\r\n"
                            "[Alpha]\r\nAddress=127.0.0.1:1\r\n"
                            "[Mira]\r\nAddress=127.0.0.1:2\r\n"
                            "[Emberfall]\r\nAddress=127.0.0.1:3\r\n"
                            "[Emerald]\r\nAddress=127.0.0.1:4\r\n";
constexpr int kFileWaitMs = 5000;
constexpr int kPollMs = 50;
// Longer than the search by name waits for the next letter.
constexpr int kSearchResetMs = 1200;

QByteArray WaitForIni(TKorvanProcess& korvan, const std::function<bool(const QByteArray&)>& done)
{
    QDeadlineTimer deadline(kFileWaitMs);
    QByteArray ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    while (!done(ini) && !deadline.hasExpired()) {
        QThread::msleep(kPollMs);
        ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    }
    return ini;
}

} // namespace

class TestKeyboardProcess : public QObject
{
    Q_OBJECT

private slots:
    void addPickRemoveAndCloseByKeys();
};

void TestKeyboardProcess::addPickRemoveAndCloseByKeys()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), kServers));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());

    // Ctrl+N: the server editor, whose new server lands at the end of the list.
    QVERIFY(korvan.Key(QStringLiteral("ctrl+n")));
    QString dialog = korvan.WaitForWindow(QStringLiteral("^Add server"));
    QVERIFY2(!dialog.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Type(QStringLiteral("Rook"), dialog));
    QVERIFY(korvan.Key(QStringLiteral("Tab"), dialog));
    QVERIFY(korvan.Type(QStringLiteral("127.0.0.1:5"), dialog));
    QVERIFY(korvan.Key(QStringLiteral("Return"), dialog));
    QByteArray ini = WaitForIni(korvan, [](const QByteArray& bytes) { return bytes.contains("[Rook]"); });
    QVERIFY2(ini.contains("[Rook]\r\nAddress=127.0.0.1:5\r\n"), ini.constData());
    QVERIFY(korvan.IsRunning());

    // Letters pick by name: "eme" is Emerald, not Emberfall; within the name M opens no menu.
    QThread::msleep(kSearchResetMs);
    QVERIFY(korvan.Type(QStringLiteral("eme")));
    QVERIFY2(korvan.WaitForWindow(QStringLiteral("^Question"), 300).isEmpty(), "nothing asked yet");
    QVERIFY(korvan.Key(QStringLiteral("Delete")));
    const QString question = korvan.WaitForWindow(QStringLiteral("^Question"));
    QVERIFY2(!question.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key(QStringLiteral("Return"), question));
    ini = WaitForIni(korvan, [](const QByteArray& bytes) { return !bytes.contains("[Emerald]"); });
    QVERIFY2(!ini.contains("[Emerald]") && ini.contains("[Emberfall]"), ini.constData());

    // Tab to the button below the list (the round one for the panel, then the refresh button, then
    // "move down"), Space presses it: the selected server goes one down.
    QThread::msleep(kSearchResetMs);
    QVERIFY(korvan.Type(QStringLiteral("a")));
    QVERIFY(korvan.Key(QStringLiteral("Tab Tab Tab space")));
    ini =
        WaitForIni(korvan, [](const QByteArray& bytes) { return bytes.indexOf("[Mira]") < bytes.indexOf("[Alpha]"); });
    QVERIFY2(ini.indexOf("[Mira]") < ini.indexOf("[Alpha]"), ini.constData());

    // Ctrl+Q from the focused button closes; the list on disk is what the keys made of it.
    QVERIFY(korvan.Key(QStringLiteral("ctrl+q")));
    QVERIFY(korvan.WaitForExit());
    QVERIFY(korvan.ExitedNormally());
    QCOMPARE(korvan.ExitCode(), 0);
    ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    QStringList sections;
    for (const QByteArray& line : ini.split('\n'))
        if (line.startsWith('[') && !line.startsWith("[Main]"))
            sections << QString::fromUtf8(line.trimmed());
    QCOMPARE(sections, (QStringList{"[Mira]", "[Alpha]", "[Emberfall]", "[Rook]"}));
}

QTEST_GUILESS_MAIN(TestKeyboardProcess)
#include "test_keys.moc"
