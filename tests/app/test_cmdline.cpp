// The command line: option reading, the list's lines, finding a server by the name typed, and --play's
// exit status with what it leaves on disk and tells standard error.
#include "app/cmdline.h"
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "news/newsservice.h"
#include "platform/files.h"
#include "support/testsupport.h"
#include "ui/mainfm.h"
#include "ui/msgbox.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QtTest>
#include <cstdio>
#include <memory>
#include <sys/stat.h>

namespace {

// A stand-in game: a shell script that leaves a mark when it runs.
std::string WriteGame(const std::string& folder, const std::string& mark, bool executable)
{
    const std::string path = folder + "game.sh";
    const std::string script = "#!/bin/sh\necho started > '" + mark + "'\n";
    if (!platform::ReplaceFileAtomically(path, script))
        return {};
    ::chmod(path.c_str(), executable ? 0755 : 0644);
    return path;
}

std::string ReadStream(std::FILE* stream)
{
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, stream))
        text.append(buf, n);
    return text;
}

struct TStreams
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out{std::tmpfile(), &std::fclose};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> err{std::tmpfile(), &std::fclose};
};

// Stands in for the user before a dialog that a failed launch opens (settings, server editor): cancels it.
class TDialogCanceller : public QObject
{
public:
    TDialogCanceller()
    {
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                titles_ << dialog->objectName();
                dialog->reject();
            }
        });
        timer_.start(kLookMs);
    }
    const QStringList& Cancelled() const { return titles_; }

private:
    static constexpr int kLookMs = 20;
    QTimer timer_;
    QStringList titles_;
};

} // namespace

class TestCmdline : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void parsing_data();
    void parsing();
    void helpNamesEveryOption();
    void lines_data();
    void lines();
    void findsByShownName_data();
    void findsByShownName();
    void listReadsOnly();
    void unreadableListFails();
    void play_data();
    void play();
    void closedWhileAFailureIsShownIsNoSuccess();

private:
    TSettings settings_;
};

void TestCmdline::initTestCase()
{
    Q_INIT_RESOURCE(korvan);
    InitLocalization();
}

void TestCmdline::cleanup()
{
    SetMessageHook({});
    SetMessageEcho({});
    AppClosing = false;
    ResetServers();
}

void TestCmdline::parsing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("strict");
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("probe");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("errorNames");

    auto row = [](const char* tag, QStringList args, bool strict, TCommandAction action, bool probe = false,
                  QString name = {}, QString error = {}) {
        QTest::newRow(tag) << (QStringList{"korvan"} + args) << strict << int(action) << probe << name << error;
    };
    row("no options", {}, true, TCommandAction::Start);
    row("update word", {"update"}, true, TCommandAction::Start);
    row("update word in capitals", {"UPDATE"}, true, TCommandAction::Start);
    row("other words are ignored", {"whatever"}, true, TCommandAction::Start);
    row("help", {"--help"}, true, TCommandAction::Help);
    row("short help", {"-h"}, true, TCommandAction::Help);
    row("help wins", {"--list", "--play", "x", "--help"}, true, TCommandAction::Help);
    row("version", {"--version"}, true, TCommandAction::Version);
    row("short version", {"-v"}, true, TCommandAction::Version);
    row("list", {"--list"}, true, TCommandAction::List);
    row("list and probe", {"--list", "--probe"}, true, TCommandAction::List, true);
    row("probe first", {"--probe", "--list"}, true, TCommandAction::List, true);
    row("play", {"--play", "Alpha"}, true, TCommandAction::Play, false, "Alpha");
    row("play with equals and a blank", {"--play=Alpha Beta"}, true, TCommandAction::Play, false, "Alpha Beta");
    row("play a name that looks like a word", {"--play", "update"}, true, TCommandAction::Play, false, "update");
    row("play without a name", {"--play"}, true, TCommandAction::Invalid, false, {}, "--play");
    // The first look only tells a window start from one without; the second one refuses this.
    row("play without a name, first look", {"--play"}, false, TCommandAction::Play);
    row("unknown option", {"--bogus"}, true, TCommandAction::Invalid, false, {}, "--bogus");
    row("unknown short option", {"-x"}, true, TCommandAction::Invalid, false, {}, "-x");
    row("unknown option, first look", {"--bogus"}, false, TCommandAction::Start);
    row("toolkit options go by on the first look", {"-platform", "offscreen", "--list"}, false, TCommandAction::List);
    row("list and play", {"--list", "--play", "x"}, true, TCommandAction::Invalid, false, {}, "--list");
    row("probe alone", {"--probe"}, true, TCommandAction::Invalid, true, {}, "--probe");
    row("probe with play", {"--probe", "--play", "x"}, true, TCommandAction::Invalid, true, {}, "--probe");
    row("activate", {"--activate"}, true, TCommandAction::Start);
    row("activate and play", {"--activate", "--play", "x"}, true, TCommandAction::Play, false, "x");
    row("list and activate", {"--list", "--activate"}, true, TCommandAction::Invalid, false, {}, "--activate");
}

void TestCmdline::parsing()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, strict);
    QFETCH(int, action);
    QFETCH(bool, probe);
    QFETCH(QString, name);
    QFETCH(QString, errorNames);
    const TProgramOptions command = ParseCommandLine(arguments, strict);
    QCOMPARE(int(command.Action), action);
    QCOMPARE(command.Probe, probe);
    QCOMPARE(command.ServerName, name);
    QCOMPARE(command.Activate, arguments.contains("--activate"));
    if (errorNames.isEmpty()) {
        QVERIFY(command.Error.isEmpty());
    } else {
        QVERIFY2(command.Error.contains(errorNames), qPrintable(command.Error));
        TStreams streams;
        QCOMPARE(RunConsoleAction(command, settings_, "korvan", streams.out.get(), streams.err.get()), kExitUsage);
        QVERIFY(ReadStream(streams.out.get()).empty());
        const std::string told = ReadStream(streams.err.get());
        QVERIFY(told.find(command.Error.toStdString()) != std::string::npos);
        QVERIFY(told.find("korvan --help") != std::string::npos);
    }
}

void TestCmdline::helpNamesEveryOption()
{
    TStreams streams;
    QCOMPARE(
        RunConsoleAction({.Action = TCommandAction::Help}, settings_, "korvan", streams.out.get(), streams.err.get()),
        kExitOk);
    const QString help = QString::fromLocal8Bit(ReadStream(streams.out.get()));
    for (const char* option : {"--help", "--version", "--list", "--probe", "--play", "--activate", "korvan", "update"})
        QVERIFY2(help.contains(option), option);
    QVERIFY(ReadStream(streams.err.get()).empty());

    TStreams version;
    QCOMPARE(RunConsoleAction({.Action = TCommandAction::Version}, settings_, "korvan", version.out.get(),
                              version.err.get()),
             kExitOk);
    QVERIFY(QString::fromStdString(ReadStream(version.out.get())).startsWith(kApplicationTitle));
}

void TestCmdline::lines_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("ping");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("withState");

    QTest::newRow("online with ping") << QByteArray("Alpha") << QByteArray("a.example:8085") << int(ssOnline) << 23
                                      << QByteArray("Alpha\ta.example:8085")
                                      << QByteArray("Alpha\ta.example:8085\tonline\t23");
    QTest::newRow("online without echo") << QByteArray("B") << QByteArray("b") << int(ssOnline) << -1
                                         << QByteArray("B\tb") << QByteArray("B\tb\tonline\t-");
    QTest::newRow("offline keeps no ping") << QByteArray("C") << QByteArray("c") << int(ssOffline) << 40
                                           << QByteArray("C\tc") << QByteArray("C\tc\toffline\t-");
    QTest::newRow("probe not ended") << QByteArray("D") << QByteArray("") << int(ssChecking) << 0 << QByteArray("D\t")
                                     << QByteArray("D\t\tchecking\t-");
    QTest::newRow("tab in a name keeps the columns")
        << QByteArray("E\tF") << QByteArray("g") << int(ssOffline) << -1 << QByteArray("E\\x09F\tg")
        << QByteArray("E\\x09F\tg\toffline\t-");
    QTest::newRow("line breaks keep the line")
        << QByteArray("A\rB\nC") << QByteArray("x\r\n") << int(ssOffline) << -1
        << QByteArray("A\\x0DB\\x0AC\tx\\x0D\\x0A") << QByteArray("A\\x0DB\\x0AC\tx\\x0D\\x0A\toffline\t-");
    // Nothing a terminal acts on reaches it: escape sequences, DEL, the C1 controls (CSI among them).
    QTest::newRow("terminal controls are escaped") << QByteArray("\x1b]0;owned\x07\x1b[2J\x7f\xc2\x9b"
                                                                 "31m")
                                                   << QByteArray("\x1b[1A") << int(ssOffline) << -1
                                                   << QByteArray("\\x1B]0;owned\\x07\\x1B[2J\\x7F\\x9B"
                                                                 "31m\t\\x1B[1A")
                                                   << QByteArray("\\x1B]0;owned\\x07\\x1B[2J\\x7F\\x9B"
                                                                 "31m\t\\x1B[1A\toffline\t-");
    QTest::newRow("a backslash is doubled, so escapes read back")
        << QByteArray("C:\\x1B") << QByteArray("h") << int(ssOffline) << -1 << QByteArray("C:\\\\x1B\th")
        << QByteArray("C:\\\\x1B\th\toffline\t-");
    QTest::newRow("other characters stay") << QByteArray("\xc2\xa0"
                                                         "Caf\xc3\xa9 \xe2\x80\x94 \xf0\x9f\x90\x89")
                                           << QByteArray("h") << int(ssOffline) << -1
                                           << QByteArray("\xc2\xa0"
                                                         "Caf\xc3\xa9 \xe2\x80\x94 \xf0\x9f\x90\x89\th")
                                           << QByteArray("\xc2\xa0"
                                                         "Caf\xc3\xa9 \xe2\x80\x94 \xf0\x9f\x90\x89\th\toffline\t-");
    QTest::newRow("legacy code page shown as UTF-8")
        << QByteArray("Caf\xe9") << QByteArray("h") << int(ssOffline) << -1 << QByteArray("Caf\xc3\xa9\th")
        << QByteArray("Caf\xc3\xa9\th\toffline\t-");
}

void TestCmdline::lines()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, address);
    QFETCH(int, status);
    QFETCH(int, ping);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, withState);
    TServer server;
    server.Name = name.toStdString();
    server.Address = address.toStdString();
    server.Status = static_cast<std::uint8_t>(status);
    server.Ping = ping;
    QCOMPARE(QByteArray::fromStdString(ServerLine(server, false)), plain);
    QCOMPARE(QByteArray::fromStdString(ServerLine(server, true)), withState);
}

void TestCmdline::findsByShownName_data()
{
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<int>("index");
    QTest::newRow("as stored") << QByteArray("Alpha") << 0;
    QTest::newRow("other letter case") << QByteArray("aLPHA") << 0;
    QTest::newRow("legacy name typed as shown") << QByteArray("Caf\xc3\xa9") << 1;
    QTest::newRow("legacy name in capitals") << QByteArray("CAF\xc3\xa9") << 1;
    QTest::newRow("only a-z fold") << QByteArray("Caf\xc3\x89") << -1;
    QTest::newRow("removed server") << QByteArray("Gone") << -1;
    QTest::newRow("part of a name") << QByteArray("Alp") << -1;
    QTest::newRow("empty") << QByteArray("") << -1;
}

void TestCmdline::findsByShownName()
{
    QFETCH(QByteArray, typed);
    QFETCH(int, index);
    ResetServers();
    QVERIFY(AddServer({.Name = "Alpha", .Address = "a"}));
    QVERIFY(AddServer({.Name = "Caf\xe9", .Address = "b"}));
    QVERIFY(AddServer({.Name = "Gone", .Address = "c"}));
    QVERIFY(RemoveServer("Gone"));
    QCOMPARE(FindServerByShownName(typed.toStdString()), index);
}

void TestCmdline::listReadsOnly()
{
    TScratchIni ini;
    const std::string bytes = "[Main]\r\nTimeout=1000\r\n[Zeta]\r\nAddress=z:1\r\n[Alpha]\r\nAddress=a\r\n[main]\r\n"
                              "[Alpha]\r\nAddress=duplicate\r\n";
    ini.Write(bytes);
    struct stat before;
    QCOMPARE(::stat(ini.Path().c_str(), &before), 0);
    TStreams streams;
    QCOMPARE(
        RunConsoleAction({.Action = TCommandAction::List}, settings_, "korvan", streams.out.get(), streams.err.get()),
        kExitOk);
    QCOMPARE(QByteArray::fromStdString(ReadStream(streams.out.get())), QByteArray("Zeta\tz:1\nAlpha\ta\n"));
    QVERIFY(ReadStream(streams.err.get()).empty());
    QCOMPARE(ini.Read(), bytes);
    struct stat after;
    QCOMPARE(::stat(ini.Path().c_str(), &after), 0);
    QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    QCOMPARE(QDir(QString::fromStdString(ini.Folder())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{kIniFileName});
}

void TestCmdline::unreadableListFails()
{
    TScratchIni ini;
    // A folder where the file should be: it exists and cannot be read.
    QVERIFY(QDir().mkpath(QString::fromStdString(ini.Path())));
    TStreams streams;
    QCOMPARE(
        RunConsoleAction({.Action = TCommandAction::List}, settings_, "korvan", streams.out.get(), streams.err.get()),
        kExitFailed);
    QVERIFY(ReadStream(streams.out.get()).empty());
    QVERIFY(ReadStream(streams.err.get()).find(ini.Path()) != std::string::npos);
}

void TestCmdline::play_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("gameSetting"); // "ok", "missing", "not executable", "empty"
    QTest::addColumn<QString>("companion");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("started");
    QTest::addColumn<bool>("realmlist");
    QTest::addColumn<int>("messageId"); // 0: none; -1: the not-listed text
    QTest::addColumn<bool>("dialog");   // a dialog opens to mend the setting

    QTest::newRow("plays") << "Alpha"
                           << "ok"
                           << "" << kExitOk << true << true << 0 << false;
    QTest::newRow("plays in other letter case") << "ALPHA"
                                                << "ok"
                                                << "" << kExitOk << true << true << 0 << false;
    QTest::newRow("not in the list") << "Omega"
                                     << "ok"
                                     << "" << kExitFailed << false << false << -1 << false;
    QTest::newRow("game path not set") << "Alpha"
                                       << "empty"
                                       << "" << kExitFailed << false << false << int(TTextId::GamePathNotSet) << true;
    QTest::newRow("game file missing") << "Alpha"
                                       << "missing"
                                       << "" << kExitFailed << false << false << int(TTextId::GamePathInvalid) << true;
    QTest::newRow("game does not start") << "Alpha"
                                         << "not executable"
                                         << "" << kExitFailed << false << true << int(TTextId::GameNotStarted) << false;
    QTest::newRow("companion does not start")
        << "Alpha"
        << "ok"
        << "/nonexistent/tool" << kExitOk << true << true << int(TTextId::ProgramNotStarted) << false;
}

void TestCmdline::play()
{
    QFETCH(QString, typed);
    QFETCH(QString, gameSetting);
    QFETCH(QString, companion);
    QFETCH(int, status);
    QFETCH(bool, started);
    QFETCH(bool, realmlist);
    QFETCH(int, messageId);
    QFETCH(bool, dialog);

    TScratchIni ini;
    const std::string mark = ini.Folder() + "started.txt";
    std::string game = WriteGame(ini.Folder(), mark, gameSetting != "not executable");
    if (gameSetting == "missing")
        game = ini.Folder() + "nothing.sh";
    else if (gameSetting == "empty")
        game.clear();
    ini.Write("[Main]\nWoWPath=" + game + "\nProgramToRunOnWoWLaunch=" + companion.toStdString() +
              "\n[Alpha]\nAddress=127.0.0.1:3725\n");

    QStringList shown;
    SetMessageHook([&](const TMessageRequest& r) {
        shown << r.text;
        return IDOK;
    });
    TStreams streams;
    EchoMessagesTo(streams.err.get());
    int result = -1;
    TDialogCanceller user;
    {
        TSettings settings;
        TProbeService probes([&settings] { return settings.Values().Timeout; });
        TNewsService news;
        TMainForm form(settings, probes, news);
        result = PlayServer(form, typed, streams.err.get());
        // Only a game or program that did not start brings the window back, as Play does.
        QCOMPARE(form.isVisible(), messageId == 1018 || messageId == 1041);
    }
    QCOMPARE(result, status);
    QCOMPARE(user.Cancelled().size(), dialog ? 1 : 0);
    if (started)
        QTRY_VERIFY(platform::FileExists(mark));
    else
        QVERIFY(!platform::FileExists(mark));
    std::string written;
    QCOMPARE(platform::ReadWholeFile(ini.Folder() + "realmlist.wtf", written), realmlist);
    if (realmlist)
        QCOMPARE(written, std::string("set realmlist 127.0.0.1:3725"));

    const std::string told = ReadStream(streams.err.get());
    if (messageId == 0) {
        QVERIFY(shown.isEmpty());
        QVERIFY(told.empty());
    } else {
        QCOMPARE(shown.size(), 1);
        const std::string expected = messageId > 0 ? Msg(static_cast<TTextId>(messageId)) : shown.first().toStdString();
        if (messageId < 0)
            QVERIFY(shown.first().contains(typed));
        QCOMPARE(told, expected + "\n");
    }
    // The settings and the list stay in the file as the window would leave them.
    QVERIFY(ini.Read().find("[Alpha]") != std::string::npos);
}

void TestCmdline::closedWhileAFailureIsShownIsNoSuccess()
{
    TScratchIni ini;
    ini.Write("[Main]\nWoWPath=" + ini.Folder() + "missing.sh\n[Alpha]\nAddress=a\n");
    TStreams streams;
    EchoMessagesTo(streams.err.get());
    TDialogCanceller user;
    TSettings settings;
    TProbeService probes([&settings] { return settings.Values().Timeout; });
    TNewsService news;
    TMainForm form(settings, probes, news);
    // Logout or Ctrl+C while the message is up closes the window as the game's start would.
    SetMessageHook([&form](const TMessageRequest&) {
        form.close();
        return IDOK;
    });
    QCOMPARE(PlayServer(form, "Alpha", streams.err.get()), kExitFailed);
    QVERIFY(AppClosing);
    QCOMPARE(ReadStream(streams.err.get()), Msg(TTextId::GamePathInvalid) + "\n");
}

QTEST_MAIN(TestCmdline)
#include "test_cmdline.moc"
