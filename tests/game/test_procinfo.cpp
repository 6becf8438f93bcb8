// Starting programs (natively and through a stand-in Wine) and finding running ones by file name.
#include "core/settings.h"
#include "game/gametree.h"
#include "game/procinfo.h"
#include "platform/files.h"
#include "platform/gamefs.h"
#include "platform/process.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

class TestProcInfo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void containment_data();
    void containment();
    void fileNamesAndKinds();
    void wineCommandFromSettings();
    void startsNativeProgramWithoutShell();
    void startsInTheFolderItIsGiven();
    void startsWindowsProgramThroughWine();
    void startsWithVariablesAndArguments();
    void failedStartsAreReported();
    void findsRunningProcesses();
    void commandLinesResolveAsOnWindows_data();
    void commandLinesResolveAsOnWindows();
    void argumentsSplitAsOnWindows_data();
    void argumentsSplitAsOnWindows();
    void commandLineStartsProgramWithItsArguments();
    void cleanupTestCase();

private:
    TScratchTree tree_;
    std::string root_;
    QList<QProcess*> running_;
};

void TestProcInfo::initTestCase()
{
    root_ = tree_.Root();
}

void TestProcInfo::containment_data()
{
    QTest::addColumn<QString>("process");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("contains");
    auto row = [](const char* tag, QString a, QString b, bool expected) { QTest::newRow(tag) << a << b << expected; };
    row("same", "Ventrilo.exe", "Ventrilo.exe", true);
    row("case", "VENTRILO.EXE", "ventrilo.exe", true);
    row("one letter more in front", "xventrilo.exe", "Ventrilo.exe", true);
    row("part of the name", "teamspeak3", "speak", true);
    row("other", "mumble", "ventrilo.exe", false);
    row("longer name", "vent", "ventrilo", false);
}

void TestProcInfo::containment()
{
    QFETCH(QString, process);
    QFETCH(QString, name);
    QFETCH(bool, contains);
    QCOMPARE(NameContainsNoCase(process.toStdString(), name.toStdString()), contains);
}

void TestProcInfo::fileNamesAndKinds()
{
    QCOMPARE(FileNameOf("/opt/voice/Vent.exe"), std::string("Vent.exe"));
    QCOMPARE(FileNameOf("C:\\Program Files\\Vent\\Vent.exe"), std::string("Vent.exe"));
    QCOMPARE(FileNameOf("plain"), std::string("plain"));
    QVERIFY(IsWindowsProgram("/g/WoW.exe"));
    QVERIFY(IsWindowsProgram("/g/WOW.EXE"));
    QVERIFY(IsWindowsProgram("/g/Launcher.Com"));
    QVERIFY(IsWindowsProgram("/g/start.bat"));
    QVERIFY(IsWindowsProgram("/g/start.CMD"));
    QVERIFY(!IsWindowsProgram("/g/wow.sh"));
    QVERIFY(!IsWindowsProgram("/g/exe"));
    QVERIFY(!IsWindowsProgram("/g.exe/wow"));
    QVERIFY(!IsWindowsProgram("/g/.exe"));
    QCOMPARE(CommandFor("/g/WoW.exe", "wine"), (std::vector<std::string>{"wine", "/g/WoW.exe"}));
    QCOMPARE(CommandFor("/g/wow", "wine"), (std::vector<std::string>{"/g/wow"}));
    QCOMPARE(CommandFor("wow", "wine"), (std::vector<std::string>{"./wow"}));
    QCOMPARE(CommandFor("/g/WoW.exe", "env WINEDEBUG=-all  wine64"),
             (std::vector<std::string>{"env", "WINEDEBUG=-all", "wine64", "/g/WoW.exe"}));
}

void TestProcInfo::wineCommandFromSettings()
{
    // The key reaches the launch through the settings store, the file's one reader.
    std::string ini = root_ + "tavix.ini";
    const auto wineOf = [&ini](const std::string& bytes) {
        platform::ReplaceFileAtomically(ini, bytes);
        TSettings settings;
        TWindowSettings window;
        settings.Read(ini, window);
        return WineCommandOrDefault(settings.Values().WineCommand);
    };
    QCOMPARE(wineOf("[Main]\r\nWoWPath=/g/WoW.exe\r\n"), std::string("wine"));
    QCOMPARE(wineOf("[main]\r\nwinecommand=/opt/wine-staging/bin/wine\r\n"), std::string("/opt/wine-staging/bin/wine"));
    QCOMPARE(wineOf("[Main]\r\nWineCommand=\r\n"), std::string("wine"));
}

void TestProcInfo::startsNativeProgramWithoutShell()
{
    // Blanks, quotes and a semicolon in the path start that file and nothing else.
    QDir().mkpath(QString::fromStdString(root_ + "My Games/it's \"here\"; touch pwned"));
    std::string out = root_ + "native.out";
    std::string program = MakeRecorder(root_ + "My Games/it's \"here\"; touch pwned/game run", out);
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QString::fromStdString(root_ + "My Games")));
    QVERIFY(RunProgram(program, "wine-is-not-used"));
    QDir::setCurrent(saved);
    std::string got = WaitForFile(out);
    QCOMPARE(got, "arg:" + program + "\ncwd:" + root_ + "My Games\n");
    QVERIFY(!QFile::exists(QString::fromStdString(root_ + "My Games/pwned")));
    QVERIFY(!QFile::exists("pwned"));
}

void TestProcInfo::startsInTheFolderItIsGiven()
{
    // A game named relative to the current folder starts in its own folder and is still found there.
    const QString saved = QDir::currentPath();
    const std::string out = root_ + "folder.out";
    MakeRecorder(root_ + "Games/wow/run game", out);
    QDir().mkpath(QString::fromStdString(root_ + "Games/wow/Cache"));
    QVERIFY(QDir::setCurrent(QString::fromStdString(root_ + "Games")));
    const bool started = RunProgram("wow/run game", "wine-is-not-used", "wow/Cache");
    QCOMPARE(platform::CurrentFolder(), root_ + "Games");
    QDir::setCurrent(saved);
    QVERIFY(started);
    QCOMPARE(WaitForFile(out), "arg:" + root_ + "Games/wow/run game\ncwd:" + root_ + "Games/wow/Cache\n");

    // Wine gets the Windows program by a path that holds from the game's folder.
    const std::string wineOut = root_ + "folderwine.out";
    const std::string wine = MakeRecorder(root_ + "folder wine", wineOut);
    platform::ReplaceFileAtomically(root_ + "Games/wow/WoW.exe", "MZ");
    QVERIFY(QDir::setCurrent(QString::fromStdString(root_ + "Games")));
    const bool wineStarted = RunProgram("wow/WoW.exe", wine, root_ + "Games/wow");
    QDir::setCurrent(saved);
    QVERIFY(wineStarted);
    QCOMPARE(WaitForFile(wineOut),
             "arg:" + wine + "\narg:" + root_ + "Games/wow/WoW.exe\ncwd:" + root_ + "Games/wow\n");

    // A folder that cannot be entered is a start that failed.
    QVERIFY(!RunProgram(root_ + "Games/wow/run game", "wine", root_ + "Games/no such folder"));
}

void TestProcInfo::startsWithVariablesAndArguments()
{
    // The variables lie over this process's own: an inherited one is replaced, the last of a name wins, and
    // values reach the program as they are, with no shell to expand them.
    const std::string out = root_ + "variables.out";
    const std::string wine = root_ + "variables wine";
    platform::ReplaceFileAtomically(
        wine, "#!/bin/sh\n{ for a in \"$@\"; do echo \"arg:$a\"; done; echo \"prefix:$WINEPREFIX\";"
              " echo \"mode:$KORVAN_MODE\"; echo \"kept:$KORVAN_KEPT\"; } > '" +
                  out + ".tmp'\nmv '" + out + ".tmp' '" + out + "'\n");
    ::chmod(wine.c_str(), 0755);
    const std::string game = root_ + "variables/WoW.exe";
    QDir().mkpath(QString::fromStdString(root_ + "variables"));
    platform::ReplaceFileAtomically(game, "MZ");
    qputenv("WINEPREFIX", "/inherited");
    qputenv("KORVAN_KEPT", "inherited");
    const TStartAdditions additions{
        .arguments = {"-console", "two words"},
        .environment = {{"WINEPREFIX", "/first"}, {"KORVAN_MODE", "$HOME `id`"}, {"WINEPREFIX", "/pfx"}}};
    const bool started = RunProgram(game, wine, {}, {}, additions);
    qunsetenv("WINEPREFIX");
    qunsetenv("KORVAN_KEPT");
    QVERIFY(started);
    QCOMPARE(WaitForFile(out), "arg:" + game +
                                   "\narg:-console\narg:two words\nprefix:/pfx\nmode:$HOME `id`\n"
                                   "kept:inherited\n");
}

void TestProcInfo::startsWindowsProgramThroughWine()
{
    std::string out = root_ + "wine.out";
    std::string wine = MakeRecorder(root_ + "stand-in wine", out);
    std::string game = root_ + "Wo W.EXE";
    platform::ReplaceFileAtomically(game, "MZ");
    QVERIFY(RunProgram(game, wine));
    QCOMPARE(WaitForFile(out).substr(0, ("arg:" + wine + "\narg:" + game + "\n").size()),
             "arg:" + wine + "\narg:" + game + "\n");
    // A command with arguments of its own.
    std::string out3 = root_ + "split.out";
    std::string wrapper = MakeRecorder(root_ + "wrapper", out3);
    QVERIFY(RunProgram(game, wrapper + " --prefix=" + root_ + "prefix"));
    QCOMPARE(WaitForFile(out3).substr(
                 0, ("arg:" + wrapper + "\narg:--prefix=" + root_ + "prefix\narg:" + game + "\n").size()),
             "arg:" + wrapper + "\narg:--prefix=" + root_ + "prefix\narg:" + game + "\n");
    // "wine" from PATH when no command is named.
    std::string bin = root_ + "bin/";
    QDir().mkpath(QString::fromStdString(bin));
    std::string out2 = root_ + "pathwine.out";
    MakeRecorder(bin + "wine", out2);
    QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin) + ":" + oldPath);
    bool started = RunProgram(root_ + "launcher.bat", kDefaultWineCommand);
    qputenv("PATH", oldPath);
    QVERIFY(started);
    QStringList lines = QString::fromStdString(WaitForFile(out2)).split('\n');
    QVERIFY(lines.size() >= 2);
    QCOMPARE(QDir::cleanPath(lines[0]), QString::fromStdString("arg:" + bin + "wine"));
    QCOMPARE(lines[1], QString::fromStdString("arg:" + root_ + "launcher.bat"));
}

void TestProcInfo::failedStartsAreReported()
{
    QVERIFY(!RunProgram(root_ + "missing-program", "wine"));
    std::string notExecutable = root_ + "data.txt";
    platform::ReplaceFileAtomically(notExecutable, "text");
    QVERIFY(!RunProgram(notExecutable, "wine"));
    // No Wine to be found: a Windows program does not start.
    QVERIFY(!RunProgram(root_ + "WoW.exe", root_ + "no-wine-here"));
    QVERIFY(!RunProgram(root_ + "WoW.exe", "korvan-no-such-wine-command"));
    QVERIFY(!platform::StartProgram({}));
}

void TestProcInfo::findsRunningProcesses()
{
    std::string copy = root_ + "KorvanProbeSleeper";
    QVERIFY(QFile::copy("/bin/sleep", QString::fromStdString(copy)));
    ::chmod(copy.c_str(), 0755);
    auto* sleeper = new QProcess(this);
    sleeper->start(QString::fromStdString(copy), {"30"});
    QVERIFY(sleeper->waitForStarted());
    running_ << sleeper;
    // A program under Wine shows the Windows file name as the name it was started as.
    auto* wineLike = new QProcess(this);
    wineLike->start("/bin/bash", {"-c", "exec -a 'C:\\Games\\KorvanWineGame.exe' sleep 30"});
    QVERIFY(wineLike->waitForStarted());
    running_ << wineLike;
    QTRY_VERIFY(IsProcessRunning("korvanwinegame.exe"));
    QVERIFY(IsProcessRunning("KorvanProbeSleeper"));
    QVERIFY(IsProcessRunning("korvanprobesleeper"));
    QVERIFY(IsProcessRunning("ProbeSleep"));
    QVERIFY(!IsProcessRunning("KorvanProbeSleeperX"));
    QVERIFY(!IsProcessRunning("KorvanNothingRunsByThisName"));
    // An empty name would match everything; it counts as not running.
    QVERIFY(!IsProcessRunning(""));
}

void TestProcInfo::commandLinesResolveAsOnWindows_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("whole value") << "/opt/My Voice/voice"
                                 << "/opt/My Voice/voice" << QStringList{};
    QTest::newRow("program and arguments") << "/home/me/bin/voice.sh --minimized -x"
                                           << "/home/me/bin/voice.sh" << QStringList{"--minimized", "-x"};
    QTest::newRow("blank in the path") << "/opt/My Voice/voice --min"
                                       << "/opt/My Voice/voice" << QStringList{"--min"};
    QTest::newRow("shortest prefix wins") << "/opt/a b c"
                                          << "/opt/a" << QStringList{"b", "c"};
    QTest::newRow("Windows path") << "C:\\Program Files\\Voice\\voice.exe -min"
                                  << "C:\\Program Files\\Voice\\voice.exe" << QStringList{"-min"};
    QTest::newRow("quoted arguments") << "/home/me/bin/voice.sh \"two words\" a\\\"b  c\\\\\"d e\""
                                      << "/home/me/bin/voice.sh" << QStringList{"two words", "a\"b", "c\\d e"};
    QTest::newRow("quoted program") << "\"/opt/My Voice/voice\" -a"
                                    << "/opt/My Voice/voice" << QStringList{"-a"};
    QTest::newRow("no file: first word") << "env WINEPREFIX=/p wine"
                                         << "env" << QStringList{"WINEPREFIX=/p", "wine"};
    QTest::newRow("leading blanks") << "  /home/me/bin/voice.sh  -a "
                                    << "/home/me/bin/voice.sh" << QStringList{"-a"};
    QTest::newRow("shell characters are plain text")
        << "/home/me/bin/voice.sh ; rm -rf x | y"
        << "/home/me/bin/voice.sh" << QStringList{";", "rm", "-rf", "x", "|", "y"};
}

void TestProcInfo::commandLinesResolveAsOnWindows()
{
    QFETCH(QString, value);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    const QStringList files{"/opt/My Voice/voice", "/home/me/bin/voice.sh", "/opt/a", "/opt/a b",
                            "C:\\Program Files\\Voice\\voice.exe"};
    TCommandLine line = ResolveCommandLine(
        value.toStdString(), [&](const std::string& name) { return files.contains(QString::fromStdString(name)); });
    QCOMPARE(QString::fromStdString(line.program), program);
    QStringList got;
    for (const std::string& a : line.arguments)
        got << QString::fromStdString(a);
    QCOMPARE(got, arguments);
}

void TestProcInfo::argumentsSplitAsOnWindows_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("blanks") << " a\tb   c " << QStringList{"a", "b", "c"};
    QTest::newRow("quotes join") << "\"a b\"c d" << QStringList{"a bc", "d"};
    QTest::newRow("empty quoted") << "\"\" x" << QStringList{"", "x"};
    QTest::newRow("backslashes alone") << "a\\\\b c\\" << QStringList{"a\\\\b", "c\\"};
    QTest::newRow("even backslashes and quote") << "a\\\\\"b c\"" << QStringList{"a\\b c"};
    QTest::newRow("odd backslashes and quote") << "a\\\\\\\"b c" << QStringList{"a\\\"b", "c"};
    QTest::newRow("doubled quote in quotes") << "\"a\"\"b\" c" << QStringList{"a\"b", "c"};
    QTest::newRow("unclosed quote") << "\"a b" << QStringList{"a b"};
}

void TestProcInfo::argumentsSplitAsOnWindows()
{
    QFETCH(QString, text);
    QFETCH(QStringList, arguments);
    QStringList got;
    for (const std::string& a : SplitArguments(text.toStdString()))
        got << QString::fromStdString(a);
    QCOMPARE(got, arguments);
}

void TestProcInfo::commandLineStartsProgramWithItsArguments()
{
    // A native program in a folder with a blank in its name, with arguments.
    std::string out = root_ + "voice.out";
    std::string voice = MakeRecorder(root_ + "My Voice/voice.sh", out);
    QVERIFY(RunCommandLine(voice + " --minimized \"two words\"", "wine-is-not-used"));
    // It starts in its own folder, as a shortcut to it would.
    QCOMPARE(WaitForFile(out), "arg:" + voice + "\narg:--minimized\narg:two words\ncwd:" + root_ + "My Voice\n");
    // A Windows program with arguments, through a Wine command that has a blank in its own path.
    std::string wineOut = root_ + "voicewine.out";
    std::string wine = MakeRecorder(root_ + "wine staging/bin/wine", wineOut);
    std::string exe = root_ + "Voice Chat/vent.exe";
    QDir().mkpath(QString::fromStdString(root_ + "Voice Chat"));
    QVERIFY(platform::ReplaceFileAtomically(exe, "MZ"));
    QVERIFY(RunCommandLine(exe + " -min", wine));
    QCOMPARE(WaitForFile(wineOut).substr(0, ("arg:" + wine + "\narg:" + exe + "\narg:-min\n").size()),
             "arg:" + wine + "\narg:" + exe + "\narg:-min\n");
    // The whole value is one file although it has blanks: no arguments are made up.
    std::string out2 = root_ + "whole.out";
    std::string whole = MakeRecorder(root_ + "tool --not-an-argument", out2);
    QVERIFY(RunCommandLine(whole, "wine"));
    QCOMPARE(WaitForFile(out2).substr(0, ("arg:" + whole + "\ncwd:").size()), "arg:" + whole + "\ncwd:");
    QVERIFY(!RunCommandLine(root_ + "no such tool -x", "wine"));
    QVERIFY(!RunCommandLine("", "wine"));
}

void TestProcInfo::cleanupTestCase()
{
    for (QProcess* p : running_) {
        p->kill();
        p->waitForFinished();
    }
}

QTEST_GUILESS_MAIN(TestProcInfo)
#include "test_procinfo.moc"
