// The command line as a desktop shortcut, a script or another launcher uses it: --list and --probe without
// a display, --play against a stand-in game, and the settings of a copy whose folder is not writable.
#include "support/korvanproc.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTcpServer>
#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A stand-in game: a shell script that leaves a mark in its folder when it runs.
const QByteArray kGame = "#!/bin/sh\necho started > \"$(dirname \"$0\")/started.txt\"\n";
const QByteArray kNotInstanceText = "Only one program instance is allowed.";
// A busy machine (or a sanitizer build) can take many seconds to bring up a toolkit program; these waits
// only bound a failure, a passing run does not wait them out.
constexpr int kPatientMs = 60000;

QByteArray ServersFor(const QString& gamePath)
{
    return "[Main]\nTimeout=1000\nWoWPath=" + gamePath.toUtf8() +
           "\n[Alpha]\nAddress=127.0.0.1:3725\nPatchlist=patch.example\n[Beta]\nAddress=127.0.0.1:3726\n";
}

bool PlaceGame(TKorvanProcess& korvan, const QString& relative)
{
    if (!korvan.WriteFile(relative, kGame))
        return false;
    return QFile::setPermissions(QDir(korvan.Folder()).filePath(relative),
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList FolderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// Makes `folder` read-only for everyone, root included, in a mount namespace of this test process's own;
// the program started afterwards inherits it. False where the system allows no such namespace.
bool MakeReadOnlyForEveryone(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) == 0 &&
           ::mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

// A TCP port on 127.0.0.1: listening (a server that is up), or bound and closed again, so that nothing
// listens there and a connect is refused (a server that is down).
class TLoopbackPort
{
public:
    explicit TLoopbackPort(bool listening)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || (listening && ::listen(fd_, 8) != 0))
            return;
        port_ = ntohs(addr.sin_port);
        if (!listening) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~TLoopbackPort()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TLoopbackPort(const TLoopbackPort&) = delete;
    TLoopbackPort& operator=(const TLoopbackPort&) = delete;
    quint16 Port() const { return port_; }

private:
    int fd_ = -1;
    quint16 port_ = 0;
};

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void helpAndVersionWithoutDisplay();
    void listWithoutDisplayOnlyReads();
    void listProbesLoopbackServers();
    void wrongCommandLineIsExplained();
    void playStartsTheGameWithoutAWindow();
    void playFailureIsShownAndTold();
    void playWhileAnotherCopyRunsIsHandedToIt();
    void installedCopyKeepsSettingsInConfigFolder();
    void listPrintsControlCharactersEscaped();
};

void TestCommandLine::helpAndVersionWithoutDisplay()
{
    TKorvanProcess korvan(TKorvanProcess::Display::None);
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.Run({"--help"}, kPatientMs));
    QCOMPARE(korvan.ExitCode(), 0);
    const QByteArray help = korvan.StdOut();
    for (const char* option : {"--play", "--list", "--probe", "--version"})
        QVERIFY2(help.contains(option), help.constData());
    QVERIFY(korvan.Run({"--version"}, kPatientMs));
    QCOMPARE(korvan.ExitCode(), 0);
    QVERIFY(korvan.StdOut().startsWith("Korvan II "));
    QCOMPARE(FolderEntries(korvan.Folder()), QStringList{"korvan"});
}

void TestCommandLine::listWithoutDisplayOnlyReads()
{
    TKorvanProcess korvan(TKorvanProcess::Display::None);
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    const QByteArray ini = ServersFor("/nowhere/game.exe");
    QVERIFY(korvan.WriteFile("tavix.ini", ini));
    QVERIFY(korvan.Run({"--list"}, kPatientMs));
    QVERIFY(korvan.ExitedNormally());
    QCOMPARE(korvan.ExitCode(), 0);
    QCOMPARE(korvan.StdOut(), QByteArray("Alpha\t127.0.0.1:3725\nBeta\t127.0.0.1:3726\n"));
    QCOMPARE(korvan.StdErr(), QByteArray());
    QCOMPARE(korvan.ReadFile("tavix.ini"), ini);
    QCOMPARE(FolderEntries(korvan.Folder()), (QStringList{"korvan", "tavix.ini"}));

    // No file yet: an empty list, and still nothing written.
    QVERIFY(QFile::remove(korvan.IniPath()));
    QVERIFY(korvan.Run({"--list"}, kPatientMs));
    QCOMPARE(korvan.ExitCode(), 0);
    QCOMPARE(korvan.StdOut(), QByteArray());
    QCOMPARE(FolderEntries(korvan.Folder()), QStringList{"korvan"});
}

void TestCommandLine::listProbesLoopbackServers()
{
    TLoopbackPort listening(true);
    TLoopbackPort closed(false);
    QVERIFY(listening.Port() != 0 && closed.Port() != 0);
    const quint16 refused = closed.Port();
    TKorvanProcess korvan(TKorvanProcess::Display::None);
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    const QByteArray ini = "[Main]\nTimeout=1000\n[Up]\nAddress=127.0.0.1:" + QByteArray::number(listening.Port()) +
                           "\n[Down]\nAddress=127.0.0.1:" + QByteArray::number(refused) + "\n[Nameless]\nAddress=\n";
    QVERIFY(korvan.WriteFile("tavix.ini", ini));
    QVERIFY(korvan.Run({"--list", "--probe"}, kPatientMs));
    QVERIFY(korvan.ExitedNormally());
    QCOMPARE(korvan.ExitCode(), 0);
    const QList<QByteArray> lines = korvan.StdOut().split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[3], QByteArray());
    const QList<QByteArray> up = lines[0].split('\t');
    QCOMPARE(up.size(), 4);
    QCOMPARE(up[0], QByteArray("Up"));
    QCOMPARE(up[2], QByteArray("online"));
    // The echo may be answered (a number of milliseconds) or not, where the system allows no ping socket.
    QVERIFY2(up[3] == "-" || up[3].toInt() >= 1, lines[0].constData());
    QCOMPARE(lines[1], "Down\t127.0.0.1:" + QByteArray::number(refused) + "\toffline\t-");
    QCOMPARE(lines[2], QByteArray("Nameless\t\toffline\t-"));
    QCOMPARE(korvan.ReadFile("tavix.ini"), ini);
}

void TestCommandLine::wrongCommandLineIsExplained()
{
    TKorvanProcess korvan(TKorvanProcess::Display::None);
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    for (const QStringList& arguments :
         {QStringList{"--list", "--play", "Alpha"}, QStringList{"--probe"}, QStringList{"--list", "--bogus"}}) {
        QVERIFY(korvan.Run(arguments, kPatientMs));
        QCOMPARE(korvan.ExitCode(), 2);
        QVERIFY2(korvan.StdErr().contains("--help"), korvan.StdErr().constData());
        QCOMPARE(korvan.StdOut(), QByteArray());
    }
    QCOMPARE(FolderEntries(korvan.Folder()), QStringList{"korvan"});
}

void TestCommandLine::playStartsTheGameWithoutAWindow()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(PlaceGame(korvan, "game/run.sh"));
    QVERIFY(korvan.WriteFile("tavix.ini", ServersFor(korvan.Folder() + "/game/run.sh")));
    QVERIFY(korvan.Start({"--play", "alpha"}));
    // Watches for a window of its own the whole time it runs (nameless helper windows of the toolkit aside).
    constexpr int kLookMs = 50;
    QStringList seen;
    QDeadlineTimer deadline(kPatientMs);
    bool ended = false;
    while (!(ended = korvan.WaitForExit(kLookMs)) && !deadline.hasExpired())
        for (const QString& title : korvan.WindowTitles())
            if (!title.isEmpty())
                seen << title;
    QVERIFY(ended);
    QVERIFY2(korvan.ExitedNormally(), korvan.StdErr().constData());
    QCOMPARE(korvan.ExitCode(), 0);
    QVERIFY2(seen.isEmpty(), qPrintable(seen.join('|')));
    QCOMPARE(korvan.StdErr().contains("Error"), false);
    QCOMPARE(korvan.ReadFile("game/realmlist.wtf"),
             QByteArray("set realmlist 127.0.0.1:3725\r\nset patchlist patch.example"));
    QTRY_VERIFY(korvan.Exists("game/started.txt"));
    // It ended as a launch from the window ends: settings and servers written, the played server selected.
    const QByteArray ini = korvan.ReadFile("tavix.ini");
    QVERIFY2(ini.contains("LastRun=") && ini.contains("ServerIndex=0"), ini.constData());
    QVERIFY(ini.indexOf("[Alpha]") < ini.indexOf("[Beta]"));
    QVERIFY(!korvan.Exists("tavix.lck"));
}

void TestCommandLine::playFailureIsShownAndTold()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile("tavix.ini", ServersFor(korvan.Folder() + "/game/missing.sh")));

    // A server that is not in the list.
    QVERIFY(korvan.Start({"--play", "Omega"}));
    QString box = korvan.WaitForWindow("^Error", kPatientMs);
    QVERIFY2(!box.isEmpty(), korvan.StdErr().constData());
    QVERIFY(korvan.Key("Return", box));
    QVERIFY(korvan.WaitForExit(kPatientMs));
    QCOMPARE(korvan.ExitCode(), 1);
    QVERIFY2(korvan.StdErr().contains("Omega"), korvan.StdErr().constData());

    // A game that is not there: the message, on screen and on standard error, then the settings dialog to
    // mend the path, as Play opens it; nothing is started.
    QVERIFY(korvan.Start({"--play", "Beta"}));
    box = korvan.WaitForWindow("^Error", kPatientMs);
    QVERIFY2(!box.isEmpty(), korvan.StdErr().constData());
    QVERIFY(korvan.Key("Return", box));
    const QString settings = korvan.WaitForWindow("^Settings", kPatientMs);
    QVERIFY2(!settings.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key("Escape", settings));
    QVERIFY(korvan.WaitForExit(kPatientMs));
    QCOMPARE(korvan.ExitCode(), 1);
    QVERIFY2(korvan.StdErr().contains("Path to WoW execution file is not valid. Set it again please."),
             korvan.StdErr().constData());
    QVERIFY(!korvan.Exists("game/realmlist.wtf"));
    QVERIFY(korvan.ReadFile("tavix.ini").contains("[Beta]"));
}

void TestCommandLine::playWhileAnotherCopyRunsIsHandedToIt()
{
    TKorvanProcess first;
    QVERIFY2(first.IsReady(), qPrintable(first.Error()));
    QVERIFY(PlaceGame(first, "game/run.sh"));
    QVERIFY(first.WriteFile("tavix.ini", ServersFor(first.Folder() + "/game/run.sh")));
    QVERIFY(first.Start());
    QVERIFY(!first.MainWindow(kPatientMs).isEmpty());

    // Another copy of the program, in a folder of its own whose game would not start: what it hands over
    // is played by the running copy, from that copy's list.
    TKorvanProcess second(TKorvanProcess::Display::None);
    QVERIFY2(second.IsReady(), qPrintable(second.Error()));
    second.UseDisplay(first.DisplayName());
    const QByteArray ini = ServersFor("/nowhere/game.sh");
    QVERIFY(second.WriteFile("tavix.ini", ini));

    // Listing only reads, so it works beside the running copy.
    QVERIFY(second.Run({"--list"}, kPatientMs));
    QCOMPARE(second.ExitCode(), 0);
    QVERIFY(second.StdOut().startsWith("Alpha\t"));

    // A name the running copy does not know: it says so in its window, and the caller hears it too.
    QVERIFY(second.Start({"--play", "Gamma"}));
    const QString error = first.WaitForWindow("^Error", kPatientMs);
    QVERIFY2(!error.isEmpty(), second.StdErr().constData());
    QVERIFY(second.IsRunning());
    QVERIFY(first.Key("Return", error));
    QVERIFY(second.WaitForExit(kPatientMs));
    QCOMPARE(second.ExitCode(), 1);
    QVERIFY2(second.StdErr().contains("Gamma"), second.StdErr().constData());
    QVERIFY(first.IsRunning());

    // A server it knows, and that answers: its game starts, and the running copy ends as after its own Play.
    QTcpServer alpha;
    QVERIFY(alpha.listen(QHostAddress::LocalHost, 3725));
    // The running copy probes its server on show again within a refresh period.
    QTest::qWait(11000);
    QVERIFY(second.Run({"--play", "alpha"}, kPatientMs));
    QCOMPARE(second.ExitCode(), 0);
    QVERIFY2(!second.StdErr().contains(kNotInstanceText), second.StdErr().constData());
    QVERIFY(first.WaitForExit(kPatientMs));
    QCOMPARE(first.ExitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(first.Exists("game/started.txt"), kPatientMs);
    QVERIFY(first.ReadFile("game/realmlist.wtf").contains("127.0.0.1:3725"));
    QVERIFY(first.ReadFile("tavix.ini").contains("LastRun="));
    // The caller's own folder is left alone: one writer of each tavix.ini.
    QCOMPARE(second.ReadFile("tavix.ini"), ini);
    QVERIFY(!second.Exists("game"));
}

void TestCommandLine::installedCopyKeepsSettingsInConfigFolder()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    const QByteArray beside = "[Main]\nTimeout=1000\n[Kept]\nAddress=127.0.0.1:3725\n";
    QVERIFY(korvan.WriteFile("tavix.ini", beside));
    if (!MakeReadOnlyForEveryone(korvan.Folder()))
        QSKIP("no mount namespace here to make a folder read-only for everyone");
    // Lets the scratch folder be removed again at the end.
    const QByteArray mounted = QFile::encodeName(korvan.Folder());
    auto unmount = qScopeGuard([&mounted] { ::umount2(mounted.constData(), MNT_DETACH); });
    const QString config = korvan.Root() + "/config/korvan";

    // Before the first start a listing reads the list beside the program and makes nothing.
    QVERIFY(korvan.Run({"--list"}, kPatientMs));
    QCOMPARE(korvan.ExitCode(), 0);
    QCOMPARE(korvan.StdOut(), QByteArray("Kept\t127.0.0.1:3725\n"));
    QVERIFY(!QFileInfo::exists(config));

    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow(kPatientMs).isEmpty(), korvan.StdErr().constData());
    // The menu's update item (its fifth) only says that the package manager brings updates.
    QVERIFY(korvan.Key("m Down Down Down Down Down Return"));
    const QString notice = korvan.WaitForWindow("^Information", kPatientMs);
    QVERIFY2(!notice.isEmpty(), qPrintable(korvan.WindowTitles().join('|')));
    QVERIFY(korvan.Key("Return", notice));
    QVERIFY(korvan.Key("Escape"));
    QVERIFY(korvan.WaitForExit(kPatientMs));
    QCOMPARE(korvan.ExitCode(), 0);

    QCOMPARE(QFileInfo(config).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther),
             QFile::Permissions());
    QFile saved(config + "/tavix.ini");
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray ini = saved.readAll();
    QVERIFY2(ini.contains("[Kept]") && ini.contains("LastRun="), ini.constData());
    QCOMPARE(FolderEntries(config), QStringList{"tavix.ini"});
    QCOMPARE(korvan.ReadFile("tavix.ini"), beside);

    // From now on the list is the one in the configuration folder.
    saved.close();
    QVERIFY(saved.open(QIODevice::Append));
    saved.write("[Added]\nAddress=127.0.0.1:3726\n");
    saved.close();
    QVERIFY(korvan.Run({"--list"}, kPatientMs));
    QCOMPARE(korvan.StdOut(), QByteArray("Kept\t127.0.0.1:3725\nAdded\t127.0.0.1:3726\n"));

    // The user's list is the user's also when it is gone: the old one beside the program is stale now, and
    // neither a listing nor a start goes back to it.
    QVERIFY(saved.remove());
    QVERIFY(korvan.Run({"--list"}, kPatientMs));
    QCOMPARE(korvan.ExitCode(), 0);
    QCOMPARE(korvan.StdOut(), QByteArray());
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow(kPatientMs).isEmpty(), korvan.StdErr().constData());
    QVERIFY(korvan.Key("Escape"));
    QVERIFY(korvan.WaitForExit(kPatientMs));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray fresh = saved.readAll();
    QVERIFY2(!fresh.contains("[Kept]") && fresh.contains("LastRun="), fresh.constData());
}

void TestCommandLine::listPrintsControlCharactersEscaped()
{
    TKorvanProcess korvan(TKorvanProcess::Display::None);
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    // Names that would retitle the terminal, clear it, or move its cursor; a lone carriage return ends a
    // line of the file, as it does for the Windows edition, so it cannot split a listed line either.
    const QByteArray ini = "[Main]\nTimeout=1000\n[Evil\x1b]0;owned\x07]\nAddress=127.0.0.1:1\x1b[2J\n"
                           "[C1 \xc2\x9b"
                           "2J and \\x41]\nAddress=h\r[Next]\rAddress=127.0.0.1:2\r\n"
                           "[Tab\there]\nAddress=127.0.0.1:3\n";
    QVERIFY(korvan.WriteFile("tavix.ini", ini));
    QVERIFY(korvan.Run({"--list"}, kPatientMs));
    QCOMPARE(korvan.ExitCode(), 0);
    QCOMPARE(korvan.StdOut(), QByteArray("Evil\\x1B]0;owned\\x07\t127.0.0.1:1\\x1B[2J\n"
                                         "C1 \\x9B"
                                         "2J and \\\\x41\th\n"
                                         "Next\t127.0.0.1:2\n"
                                         "Tab\\x09here\t127.0.0.1:3\n"));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
