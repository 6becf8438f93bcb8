// The game commands on their own: what Play hands the program starter and what it tells the window, in
// which order; and the busy guard's hold on a close request while a folder is emptied.
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "game/folders.h"
#include "game/gametree.h"
#include "ui/gamelaunch.h"
#include "ui/msgbox.h"

#include <QApplication>
#include <QtTest>
#include <memory>

namespace {

constexpr std::uint64_t kServerId = 11;

struct TStart
{
    std::vector<std::string> argv;
    std::string folder;
    TEnvironment environment{};
    bool operator==(const TStart&) const = default;
};

} // namespace

class TestGameLaunch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void playHandsTheStarterGameThenSecondProgram();
    void unknownOrRemovedServerStartsNothing();
    void refusalsNameWhatPutsThemRight_data();
    void refusalsNameWhatPutsThemRight();
    void wineSetupGoesWithTheGameAndTheSecondProgram();
    void wineRefusalsOpenTheLinuxPageBeforeAnythingIsWritten_data();
    void wineRefusalsOpenTheLinuxPageBeforeAnythingIsWritten();
    void startFailuresBringTheWindowBackBeforeTheMessage_data();
    void startFailuresBringTheWindowBackBeforeTheMessage();
    void clearingTellsItsBusyTime();
    void closeRequestWaitsForTheEndOfBusyTime();

private:
    // A launch whose every signal and message is noted in `events_`; the starter notes its starts and
    // answers with `starts_` in turn (true once those run out).
    std::unique_ptr<TGameLaunch> MakeLaunch();
    TServer& AddTestServer();
    // The settings as a saved settings dialog leaves them.
    void SetGame(const std::string& wowPath);
    void SetSecondProgram(const std::string& commandLine);

    std::unique_ptr<TScratchTree> tree_;
    TSettings settings_;
    std::unique_ptr<QWidget> window_;
    QStringList events_;
    std::vector<TStart> started_;
    std::vector<bool> starts_;
};

void TestGameLaunch::initTestCase()
{
    InitLocalization();
    QApplication::setQuitOnLastWindowClosed(false);
    SetMessageHook([this](const TMessageRequest& r) {
        events_ << "message " + r.text;
        return r.yesNo ? IDYES : IDOK;
    });
}

void TestGameLaunch::init()
{
    tree_ = std::make_unique<TScratchTree>();
    window_ = std::make_unique<QWidget>();
    events_.clear();
    started_.clear();
    starts_.clear();
    Servers.clear();
    settings_.Apply({.WoWPath = tree_->File("game/WoW")});
}

void TestGameLaunch::cleanup()
{
    Servers.clear();
    window_.reset();
    tree_.reset();
}

std::unique_ptr<TGameLaunch> TestGameLaunch::MakeLaunch()
{
    auto launch = std::make_unique<TGameLaunch>(window_.get(), settings_,
                                                [this](const auto& argv, const auto& folder, const auto& environment) {
                                                    started_.push_back({argv, folder, environment});
                                                    events_ << "start";
                                                    if (starts_.empty())
                                                        return true;
                                                    const bool ok = starts_.front();
                                                    starts_.erase(starts_.begin());
                                                    return ok;
                                                });
    // Owned here, not by the window, so each test ends with it.
    launch->setParent(nullptr);
    connect(launch.get(), &TGameLaunch::gamePathRefused, this, [this] { events_ << "game path refused"; });
    connect(launch.get(), &TGameLaunch::serverPathRefused, this, [this] { events_ << "server path refused"; });
    connect(launch.get(), &TGameLaunch::wineSetupRefused, this,
            [this](std::uint64_t id) { events_ << QString("wine set-up refused %1").arg(id); });
    connect(launch.get(), &TGameLaunch::launchBegan, this, [this] { events_ << "began"; });
    connect(launch.get(), &TGameLaunch::launchFailed, this, [this] { events_ << "failed"; });
    connect(launch.get(), &TGameLaunch::gameStarted, this, [this] { events_ << "started"; });
    connect(launch.get(), &TGameLaunch::busyChanged, this,
            [this](bool busy) { events_ << (busy ? "busy" : "not busy"); });
    return launch;
}

void TestGameLaunch::SetGame(const std::string& wowPath)
{
    TMainSettings values = settings_.Values();
    values.WoWPath = wowPath;
    settings_.Apply(values);
}

void TestGameLaunch::SetSecondProgram(const std::string& commandLine)
{
    TMainSettings values = settings_.Values();
    values.ProgramToRunOnWoWLaunch = commandLine;
    settings_.Apply(values);
}

TServer& TestGameLaunch::AddTestServer()
{
    TServer s;
    s.Name = "Alpha";
    s.Address = "logon.example.net";
    s.Id = kServerId;
    Servers.push_back(s);
    return Servers.back();
}

void TestGameLaunch::playHandsTheStarterGameThenSecondProgram()
{
    AddTestServer();
    const std::string second = tree_->File("voice/chat");
    SetSecondProgram(second + " --quiet");
    auto launch = MakeLaunch();
    launch->Play(kServerId);
    QCOMPARE(events_, (QStringList{"began", "start", "start", "started"}));
    QCOMPARE(ReadBytes(tree_->Path("game/realmlist.wtf")), std::string("set realmlist logon.example.net"));
    QCOMPARE(started_.size(), std::size_t(2));
    // The game in its own folder; the second program with its arguments, in its own.
    QCOMPARE(started_[0], (TStart{{settings_.Values().WoWPath}, tree_->Path("game/"), {}}));
    QCOMPARE(started_[1].argv, (std::vector<std::string>{second, "--quiet"}));
    QCOMPARE(started_[1].folder, tree_->Path("voice/"));
}

void TestGameLaunch::unknownOrRemovedServerStartsNothing()
{
    AddTestServer();
    auto launch = MakeLaunch();
    launch->Play(0);
    launch->Play(kServerId + 1);
    launch->ClearWDB(kServerId + 1);
    // Removed entries wait at the end of the array until the save; they are no longer anyone's to play.
    Servers[0].Deleted = true;
    launch->Play(kServerId);
    launch->ClearWTF(kServerId);
    QCOMPARE(events_, QStringList{});
    QVERIFY(!tree_->Exists("game/realmlist.wtf"));
}

void TestGameLaunch::refusalsNameWhatPutsThemRight_data()
{
    QTest::addColumn<QString>("broken");
    QTest::addColumn<TTextId>("message");
    QTest::addColumn<QString>("signal");
    QTest::newRow("no game path") << "wow empty" << TTextId::GamePathNotSet << "game path refused";
    QTest::newRow("game path missing") << "wow missing" << TTextId::GamePathInvalid << "game path refused";
    QTest::newRow("preloader missing") << "preloader" << TTextId::PreloaderPathInvalid << "server path refused";
    QTest::newRow("own game missing") << "alt" << TTextId::GamePathInvalid << "server path refused";
}

void TestGameLaunch::refusalsNameWhatPutsThemRight()
{
    QFETCH(QString, broken);
    QFETCH(TTextId, message);
    QFETCH(QString, signal);
    TServer& s = AddTestServer();
    if (broken == "wow empty")
        SetGame({});
    else if (broken == "wow missing")
        SetGame(tree_->Path("nothing/WoW"));
    else if (broken == "preloader")
        s.Preloader = tree_->Path("nothing/loader");
    else
        s.AltPath = tree_->Path("nothing/WoW");
    auto launch = MakeLaunch();
    launch->Play(kServerId);
    // The message first: the dialog that puts it right comes after it.
    QCOMPARE(events_, (QStringList{"message " + ToQString(Msg(message)), signal}));
    QVERIFY(started_.empty());
}

void TestGameLaunch::wineSetupGoesWithTheGameAndTheSecondProgram()
{
    TServer& s = AddTestServer();
    const std::string wine = tree_->File("wine-9/bin/wine");
    ::chmod(wine.c_str(), 0755);
    const std::string game = tree_->File("pfx/drive_c/Games/WoW/WoW.exe");
    tree_->Folder("other-prefix/drive_c");
    s.AltPath = game;
    s.WineCommand = wine + " --quiet";
    s.WinePrefix = tree_->Path("other-prefix/");
    s.Environment = "WINEDEBUG=-all; DXVK_HUD=fps;;";
    s.GameArguments = "-console \"-two words\"";
    const std::string second = tree_->File("tools/addons.exe");
    SetSecondProgram(second + " -min");
    auto launch = MakeLaunch();
    launch->Play(kServerId);
    QCOMPARE(events_, (QStringList{"began", "start", "start", "started"}));
    const TEnvironment environment{
        {"WINEPREFIX", tree_->Path("other-prefix")}, {"WINEDEBUG", "-all"}, {"DXVK_HUD", "fps"}};
    // The arguments go to the game only; the Wine set-up to both.
    QCOMPARE(started_[0], (TStart{{wine, "--quiet", game, "-console", "-two words"},
                                  tree_->Path("pfx/drive_c/Games/WoW/"),
                                  environment}));
    QCOMPARE(started_[1], (TStart{{wine, "--quiet", second, "-min"}, tree_->Path("tools/"), environment}));

    // Without a prefix of its own, the prefix that holds the game's drive_c is used.
    s.WinePrefix.clear();
    s.Environment.clear();
    SetSecondProgram({});
    events_.clear();
    started_.clear();
    launch->Play(kServerId);
    QCOMPARE(started_.size(), std::size_t(1));
    QCOMPARE(started_[0].environment, (TEnvironment{{"WINEPREFIX", tree_->Path("pfx")}}));

    // A server with nothing of its own starts as it always did: the settings' Wine, no variables.
    Servers.clear();
    AddTestServer();
    SetGame(tree_->File("plain/WoW.exe"));
    TMainSettings values = settings_.Values();
    values.WineCommand = "korvan-test-wine";
    settings_.Apply(values);
    started_.clear();
    launch->Play(kServerId);
    QCOMPARE(started_.size(), std::size_t(1));
    QCOMPARE(started_[0], (TStart{{"korvan-test-wine", settings_.Values().WoWPath}, tree_->Path("plain/")}));
}

void TestGameLaunch::wineRefusalsOpenTheLinuxPageBeforeAnythingIsWritten_data()
{
    QTest::addColumn<QString>("broken");
    QTest::addColumn<QString>("message");
    QTest::newRow("no such Wine") << "wine missing"
                                  << "The Wine program %1/no-wine/wine does not exist or cannot be run.";
    QTest::newRow("Wine not executable") << "wine not executable"
                                         << "The Wine program %1/wine-text does not exist or cannot be run.";
    QTest::newRow("relative prefix") << "relative prefix"
                                     << "The Wine prefix prefixes/alpha is not a full path";
    QTest::newRow("not a prefix") << "not a prefix"
                                  << "The folder %1/photos is not a Wine prefix: it holds neither drive_c nor "
                                     "system.reg.";
    QTest::newRow("a file as prefix") << "file prefix"
                                      << "The folder %1/notes.txt is not a Wine prefix";
    QTest::newRow("bad variable name") << "bad name"
                                       << "\"1ST=x\" is not NAME=value";
    QTest::newRow("variable without value") << "no equals"
                                            << "\"WINEDEBUG\" is not NAME=value";
}

void TestGameLaunch::wineRefusalsOpenTheLinuxPageBeforeAnythingIsWritten()
{
    QFETCH(QString, broken);
    QFETCH(QString, message);
    TServer& s = AddTestServer();
    SetGame(tree_->File("game/WoW.exe"));
    const std::string root = tree_->Path("");
    const std::string base = root.substr(0, root.size() - 1);
    if (broken == "wine missing") {
        s.WineCommand = base + "/no-wine/wine";
    } else if (broken == "wine not executable") {
        s.WineCommand = tree_->File("wine-text");
    } else if (broken == "relative prefix") {
        s.WinePrefix = "prefixes/alpha";
    } else if (broken == "not a prefix") {
        tree_->File("photos/cat.png");
        s.WinePrefix = tree_->Path("photos");
    } else if (broken == "file prefix") {
        s.WinePrefix = tree_->File("notes.txt");
    } else if (broken == "bad name") {
        s.Environment = "A=1;1ST=x";
    } else {
        s.Environment = "WINEDEBUG";
    }
    // The Wine program is looked at only when one is named; the others need one that runs.
    if (s.WineCommand.empty()) {
        s.WineCommand = tree_->File("bin/wine");
        ::chmod(s.WineCommand.c_str(), 0755);
    }
    auto launch = MakeLaunch();
    launch->Play(kServerId);
    QCOMPARE(events_.size(), 2);
    QVERIFY2(events_[0].startsWith("message ") && events_[0].contains(QString(message).replace("%1", ToQString(base))),
             qPrintable(events_[0]));
    QCOMPARE(events_[1], QString("wine set-up refused %1").arg(kServerId));
    QVERIFY(started_.empty());
    QVERIFY(!tree_->Exists("game/realmlist.wtf"));
}

void TestGameLaunch::startFailuresBringTheWindowBackBeforeTheMessage_data()
{
    QTest::addColumn<bool>("gameStarts");
    QTest::addColumn<TTextId>("message");
    QTest::newRow("game") << false << TTextId::GameNotStarted;
    QTest::newRow("second program") << true << TTextId::ProgramNotStarted;
}

void TestGameLaunch::startFailuresBringTheWindowBackBeforeTheMessage()
{
    QFETCH(bool, gameStarts);
    QFETCH(TTextId, message);
    AddTestServer();
    SetSecondProgram(tree_->File("voice/chat"));
    starts_ = {gameStarts, false};
    auto launch = MakeLaunch();
    launch->Play(kServerId);
    QStringList expected{"began", "start"};
    if (gameStarts)
        expected << "start";
    expected << "failed"
             << "message " + ToQString(Msg(message));
    QCOMPARE(events_, expected);
}

void TestGameLaunch::clearingTellsItsBusyTime()
{
    TServer& s = AddTestServer();
    s.AutoCacheClear = true;
    tree_->File("game/Cache/WDB/enUS/creaturecache.wdb");
    auto launch = MakeLaunch();
    launch->Play(kServerId);
    // Silent within Play: no question, no outcome, and busy only while the folder is emptied.
    QCOMPARE(events_, (QStringList{"busy", "not busy", "began", "start", "started"}));
    QVERIFY(!launch->Busy());
    QCOMPARE(tree_->Names("game/Cache/WDB"), QStringList{});

    // The menu's clearing asks and says how it went.
    events_.clear();
    tree_->File("game/Cache/WDB/itemcache.wdb");
    launch->ClearWDB(kServerId);
    QCOMPARE(events_, (QStringList{"message " + ToQString(Msg(TTextId::ClearWDBQuestion)), "busy", "not busy",
                                   "message " + ToQString(Msg(TTextId::FolderCleared))}));
}

void TestGameLaunch::closeRequestWaitsForTheEndOfBusyTime()
{
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    TBusyCloseGuard guard(window_.get());
    guard.SetBusy(true);
    window_->close();
    QVERIFY(window_->isVisible());
    guard.SetBusy(false);
    // Carried out, but after the command that ended the busy time has returned.
    QVERIFY(window_->isVisible());
    QTRY_VERIFY(!window_->isVisible());

    // Without a waiting request, the end of busy time closes nothing.
    window_->show();
    guard.SetBusy(true);
    guard.SetBusy(false);
    QTest::qWait(50);
    QVERIFY(window_->isVisible());
}

QTEST_MAIN(TestGameLaunch)
#include "test_gamelaunch.moc"
