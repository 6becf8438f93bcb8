// Play through Wine as a player with several clients meets it: two servers in two prefixes with two Wine
// builds, a prefix found from the game's drive_c, variables and arguments seen by the game, the refusals of a
// set-up that cannot work, and the keys of a newer copy kept by this one's saves. A stand-in Wine (a script)
// plays the game's part; the MinGW-built stand-in game runs under the real Wine when one is installed.
#include "support/korvanproc.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

namespace {

constexpr int kFileWaitMs = 10000;
// A real Wine makes its prefix on the first start, which takes a while.
constexpr int kRealWineWaitMs = 180000;

// A stand-in for a Wine build: records where it was started, its arguments and the variables a server's
// set-up gives, in the stand-in game's format, into `out`.
QByteArray StandInWine(const QString& out)
{
    const QByteArray o = out.toUtf8();
    return "#!/bin/sh\n{ echo \"cwd=$(pwd -P)\"; for a in \"$@\"; do echo \"arg=$a\"; done;"
           " echo \"WINEPREFIX=$WINEPREFIX\"; echo \"KORVAN_CLIENT=$KORVAN_CLIENT\"; } > '" +
           o + ".tmp'\nmv '" + o + ".tmp' '" + o + "'\n";
}

bool MakeExecutable(TKorvanProcess& korvan, const QString& relative, const QByteArray& script)
{
    return korvan.WriteFile(relative, script) &&
           QFile::setPermissions(QDir(korvan.Folder()).filePath(relative),
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The stand-in game, or a placeholder where MinGW was missing: the stand-in Wine never runs it.
bool PlaceGame(TKorvanProcess& korvan, const QString& relative)
{
    const QString standIn = QStringLiteral(KORVAN_STANDIN_GAME);
    if (standIn.isEmpty())
        return korvan.WriteFile(relative, "MZ");
    if (!korvan.WriteFile(relative, {}))
        return false;
    const QString path = QDir(korvan.Folder()).filePath(relative);
    QFile::remove(path);
    return QFile::copy(standIn, path);
}

bool WaitForFile(const TKorvanProcess& korvan, const QString& relative, int timeoutMs = kFileWaitMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!korvan.Exists(relative) && !deadline.hasExpired())
        QThread::msleep(20);
    return korvan.Exists(relative);
}

QString WaitForTitle(TKorvanProcess& korvan, const QString& title)
{
    return korvan.WaitForWindow(QStringLiteral("^") + QRegularExpression::escape(title) + QStringLiteral("$"));
}

bool WindowGone(TKorvanProcess& korvan, const QString& title)
{
    QDeadlineTimer deadline(kFileWaitMs);
    while (korvan.WindowTitles().contains(title) && !deadline.hasExpired())
        QThread::msleep(50);
    return !korvan.WindowTitles().contains(title);
}

} // namespace

class TestWinePlay : public QObject
{
    Q_OBJECT

private slots:
    void twoClientsInTwoPrefixesWithTheirOwnWine()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        const QString folder = korvan.Folder() + QLatin1Char('/');
        const QByteArray f = folder.toUtf8();
        QVERIFY(MakeExecutable(korvan, QStringLiteral("wine-staging/bin/wine"), StandInWine(folder + "alpha.out")));
        QVERIFY(MakeExecutable(korvan, QStringLiteral("wine 9/bin/wine64"), StandInWine(folder + "beta.out")));
        QVERIFY(PlaceGame(korvan, QStringLiteral("clients/alpha/drive_c/Games/WoW/WoW.exe")));
        QVERIFY(PlaceGame(korvan, QStringLiteral("clients/beta/WoW.exe")));
        QVERIFY(korvan.WriteFile(QStringLiteral("prefixes/beta/system.reg"), "WINE REGISTRY Version 2\n"));
        // Alpha finds its prefix from the drive_c its game lies in; Beta names one, and a Wine whose path has a
        // blank. Beta's section carries a key of a newer copy.
        QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"),
                                 "[Main]\nWoWPath=" + f +
                                     "clients/beta/WoW.exe\n"
                                     "[Alpha]\nAddress=127.0.0.1:1\nAltPath=" +
                                     f +
                                     "clients/alpha/drive_c/Games/WoW/WoW.exe\n"
                                     "WineCommand=" +
                                     f +
                                     "wine-staging/bin/wine --quiet\n"
                                     "Environment=KORVAN_CLIENT=alpha $HOME;WINEDEBUG=-all\n"
                                     "GameArguments=-console \"-two words\"\n"
                                     "[Beta]\nAddress=127.0.0.1:2\nFromANewerCopy=keep me\nWineCommand=" +
                                     f +
                                     "wine 9/bin/wine64\n"
                                     "WinePrefix=" +
                                     f + "prefixes/beta/\n"));

        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        QVERIFY(korvan.Key(QStringLiteral("Return")));
        QVERIFY2(korvan.WaitForExit(), "the program kept running after a successful Play");
        QCOMPARE(korvan.ExitCode(), 0);
        const QString real = QDir(korvan.Folder()).canonicalPath() + QLatin1Char('/');
        QVERIFY(WaitForFile(korvan, QStringLiteral("alpha.out")));
        QCOMPARE(QString::fromUtf8(korvan.ReadFile(QStringLiteral("alpha.out"))),
                 "cwd=" + real + "clients/alpha/drive_c/Games/WoW\narg=--quiet\narg=" + folder +
                     "clients/alpha/drive_c/Games/WoW/WoW.exe\narg=-console\narg=-two words\nWINEPREFIX=" + folder +
                     "clients/alpha\nKORVAN_CLIENT=alpha $HOME\n");
        QCOMPARE(korvan.ReadFile(QStringLiteral("clients/alpha/drive_c/Games/WoW/realmlist.wtf")),
                 QByteArray("set realmlist 127.0.0.1:1"));

        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.FindMainWindowAgain().isEmpty(), korvan.StdErr().constData());
        QVERIFY(korvan.Key(QStringLiteral("Down Return")));
        QVERIFY2(korvan.WaitForExit(), "the program kept running after a successful Play");
        QVERIFY(WaitForFile(korvan, QStringLiteral("beta.out")));
        QCOMPARE(QString::fromUtf8(korvan.ReadFile(QStringLiteral("beta.out"))),
                 "cwd=" + real + "clients/beta\narg=" + folder + "clients/beta/WoW.exe\nWINEPREFIX=" + folder +
                     "prefixes/beta\nKORVAN_CLIENT=\n");
        // Both saves at the ends kept the key this copy does not know, in its section.
        const QByteArray ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
        QVERIFY2(ini.contains("[Beta]\nAddress=127.0.0.1:2\nWineCommand=" + f + "wine 9/bin/wine64\nWinePrefix=" + f +
                              "prefixes/beta/\nFromANewerCopy=keep me\n"),
                 ini.constData());
    }

    void refusedSetUpsOpenTheLinuxPageAndStartNothing()
    {
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        const QString folder = korvan.Folder() + QLatin1Char('/');
        const QByteArray f = folder.toUtf8();
        QVERIFY(MakeExecutable(korvan, QStringLiteral("bin/wine"), StandInWine(folder + "played.out")));
        QVERIFY(korvan.WriteFile(QStringLiteral("bin/wine-not-executable"), "#!/bin/sh\n"));
        QVERIFY(PlaceGame(korvan, QStringLiteral("game/WoW.exe")));
        QVERIFY(korvan.WriteFile(QStringLiteral("photos/cat.png"), "png"));
        QVERIFY(
            korvan.WriteFile(QStringLiteral("tavix.ini"), "[Main]\nWoWPath=" + f +
                                                              "game/WoW.exe\n"
                                                              "[No Wine]\nAddress=127.0.0.1:1\nWineCommand=" +
                                                              f +
                                                              "wine-9/bin/wine\nFutureKey=1\n"
                                                              "[Not executable]\nAddress=127.0.0.1:2\nWineCommand=" +
                                                              f +
                                                              "bin/wine-not-executable\n"
                                                              "[Not a prefix]\nAddress=127.0.0.1:3\nWineCommand=" +
                                                              f + "bin/wine\nWinePrefix=" + f +
                                                              "photos\n"
                                                              "[Bad variables]\nAddress=127.0.0.1:4\nWineCommand=" +
                                                              f + "bin/wine\nEnvironment=GOOD=1;$(id)=2\n"));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());

        // Each refusal: the message, then the server's editor on its Linux page; nothing written or started.
        for (int server = 0; server < 4; ++server) {
            QVERIFY(korvan.Key(server == 0 ? QStringLiteral("Return") : QStringLiteral("Down Return")));
            const QString error = WaitForTitle(korvan, QStringLiteral("Error"));
            QVERIFY2(!error.isEmpty(), qPrintable(korvan.WindowTitles().join(QLatin1Char('|'))));
            QVERIFY(korvan.Key(QStringLiteral("Return"), error));
            const QString editor = WaitForTitle(korvan, QStringLiteral("Edit server"));
            QVERIFY2(!editor.isEmpty(), qPrintable(korvan.WindowTitles().join(QLatin1Char('|'))));
            if (server < 3) {
                QVERIFY(korvan.Key(QStringLiteral("Escape"), editor));
                QVERIFY(WindowGone(korvan, QStringLiteral("Edit server")));
            }
        }
        QVERIFY(korvan.IsRunning());
        QVERIFY(!korvan.Exists(QStringLiteral("game/realmlist.wtf")));
        QVERIFY(!korvan.Exists(QStringLiteral("played.out")));

        // The last editor opened with the Wine command in focus; Tab leads on to the prefix and the
        // variables, which are put right here and saved.
        const QString editor = WaitForTitle(korvan, QStringLiteral("Edit server"));
        QVERIFY(korvan.Key(QStringLiteral("Tab Tab Tab Tab ctrl+a BackSpace"), editor));
        QVERIFY(korvan.Type(QStringLiteral("KORVAN_CLIENT=fixed"), editor));
        QVERIFY(korvan.Key(QStringLiteral("Return"), editor));
        QVERIFY(WindowGone(korvan, QStringLiteral("Edit server")));
        QVERIFY(korvan.Key(QStringLiteral("Return")));
        QVERIFY2(korvan.WaitForExit(), "the program kept running after a successful Play");
        QVERIFY(WaitForFile(korvan, QStringLiteral("played.out")));
        QVERIFY2(korvan.ReadFile(QStringLiteral("played.out")).endsWith("KORVAN_CLIENT=fixed\n"),
                 korvan.ReadFile(QStringLiteral("played.out")).constData());
        const QByteArray ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
        QVERIFY2(ini.contains("Environment=KORVAN_CLIENT=fixed\n"), ini.constData());
        QVERIFY2(ini.contains("WineCommand=" + f + "wine-9/bin/wine\nFutureKey=1\n"), ini.constData());
    }

    void theGameRunsUnderARealWine()
    {
        const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
        if (wine.isEmpty())
            QSKIP("Wine is not installed");
        if (QStringLiteral(KORVAN_STANDIN_GAME).isEmpty())
            QSKIP("the stand-in game was not built (no MinGW-w64)");
        TKorvanProcess korvan;
        QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
        const QString folder = korvan.Folder() + QLatin1Char('/');
        const QByteArray f = folder.toUtf8();
        // A prefix Wine makes itself, with the game put into its drive_c beforehand: the prefix is found from it.
        QVERIFY(PlaceGame(korvan, QStringLiteral("prefix/drive_c/Games/WoW/WoW.exe")));
        QVERIFY(korvan.WriteFile(
            QStringLiteral("tavix.ini"),
            "[Main]\nWoWPath=" + f +
                "prefix/drive_c/Games/WoW/WoW.exe\n"
                "[Alpha]\nAddress=127.0.0.1:1\nEnvironment=KORVAN_CLIENT=real;WINEDLLOVERRIDES=mscoree,mshtml=;"
                "WINEDEBUG=-all\nGameArguments=-console \"-two words\"\n"));
        QVERIFY(korvan.Start());
        QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
        QVERIFY(korvan.Key(QStringLiteral("Return")));
        QVERIFY2(korvan.WaitForExit(), "the program kept running after a successful Play");
        QVERIFY(WaitForFile(korvan, QStringLiteral("prefix/drive_c/Games/WoW/game.out"), kRealWineWaitMs));
        const QString out = QString::fromUtf8(korvan.ReadFile(QStringLiteral("prefix/drive_c/Games/WoW/game.out")));
        QVERIFY2(out.startsWith(QStringLiteral("cwd=C:\\Games\\WoW\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("arg=-console\narg=-two words\n")), qPrintable(out));
        QVERIFY2(out.contains("WINEPREFIX=" + folder + "prefix\n"), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("KORVAN_CLIENT=real\n")), qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestWinePlay)
#include "test_wineplay.moc"
