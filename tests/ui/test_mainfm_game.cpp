// The main window's game commands end to end: Play with native programs and a stand-in Wine, every
// refusal with its message and dialog, and the three folder clearings with their questions.
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "game/folders.h"
#include "game/gametree.h"
#include "monitor/probeservice.h"
#include "news/newsservice.h"
#include "platform/files.h"
#include "platform/gamefs.h"
#include "support/testsupport.h"
#include "ui/dialogdriver.h"
#include "ui/gamelaunch.h"
#include "ui/mainfm.h"
#include "ui/msgbox.h"
#include "ui/showver.h"

#include "ui/ListBoxEx.h"
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QtTest>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long a program that must not start is given to show up anyway.
constexpr int kNoStartWaitMs = 400;

struct TShown
{
    QString text;
    QString caption;
    TMsgIcon icon;
    bool yesNo;
    bool noIsDefault;
};

// Commands find their server by identity, as the store gives one to each entry it reads or adds.
constexpr std::uint64_t kServerId = 7;

TServer NamedServer(const std::string& address)
{
    TServer s;
    s.Name = "S";
    s.Address = address;
    s.Id = kServerId;
    return s;
}

// Notes whether a close request reached the window while a folder was being emptied.
class TCloseWatch : public QObject
{
public:
    bool clearing = false;
    bool seenWhileClearing = false;

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (clearing && event->type() == QEvent::Close)
            seenWhileClearing = true;
        return false;
    }
};

} // namespace

class TestMainFormGame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void noSelectionDoesNothing();
    void refusals_data();
    void refusals();
    void unwritableRealmlistStartsNothing();
    void playsNativeGameAndCloses();
    void enterKeyAndPlayButtonPlay();
    void preloaderStartsWithRealmlistBesideTheGame();
    void windowsGameStartsThroughWine();
    void gameThatDoesNotStartIsReported();
    void secondProgramRules();
    void secondProgramThatDoesNotStartIsReported();
    void autoCacheClearIsSilentAndSetsTheFolder();
    void autoCacheClearWithoutFolderStillPlays();
    void clearingQuestionsAndAnswers();
    void clearingOutcomes();
    void clearingUsesAltPathFolder();
    void showGameVersionUsesThePlainDialog();
    void closeRequestDuringClearingWaitsForItsEnd();

private:
    void MakeForm(const TServer& server);
    // The settings as a saved settings dialog leaves them.
    void SetGame(const std::string& wowPath);
    void SetSecondProgram(const std::string& commandLine, bool oneInstanceOnly);
    std::string Root() const { return root_; }

    std::unique_ptr<TScratchIni> ini_;
    TSettings settings_;
    // Outlives every window the tests make, as the program's does.
    TProbeService probes_{[this] { return settings_.Values().Timeout; }};
    TNewsService news_;
    std::unique_ptr<TMainForm> form_;
    std::vector<TShown> shown_;
    std::deque<int> answers_;
    std::string root_;
    QString savedFolder_;
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestMainFormGame::initTestCase()
{
    InitLocalization();
    QApplication::setQuitOnLastWindowClosed(false);
    SetMessageHook([this](const TMessageRequest& r) {
        shown_.push_back({r.text, r.caption, r.icon, r.yesNo, r.noIsDefault});
        if (!r.yesNo)
            return IDOK;
        if (answers_.empty())
            return IDYES;
        int a = answers_.front();
        answers_.pop_front();
        return a;
    });
}

void TestMainFormGame::init()
{
    savedFolder_ = QDir::currentPath();
    ini_ = std::make_unique<TScratchIni>();
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    root_ = QDir(dir_->path()).canonicalPath().toStdString() + "/";
    shown_.clear();
    answers_.clear();
    AppClosing = false;
}

void TestMainFormGame::cleanup()
{
    form_.reset();
    QDir::setCurrent(savedFolder_);
    dir_.reset();
    ini_.reset();
}

void TestMainFormGame::MakeForm(const TServer& server)
{
    form_ = std::make_unique<TMainForm>(settings_, probes_, news_);
    Servers.clear();
    Servers.push_back(server);
    form_->ReloadServerList();
    form_->SelectIndex(0);
    // The settings as the click reads them; the form's own load ran on an empty file.
    SetGame({});
    SetSecondProgram({}, false);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void TestMainFormGame::SetGame(const std::string& wowPath)
{
    TMainSettings values = settings_.Values();
    values.WoWPath = wowPath;
    settings_.Apply(values);
}

void TestMainFormGame::SetSecondProgram(const std::string& commandLine, bool oneInstanceOnly)
{
    TMainSettings values = settings_.Values();
    values.ProgramToRunOnWoWLaunch = commandLine;
    values.OneInstanceOnly = oneInstanceOnly;
    settings_.Apply(values);
}

void TestMainFormGame::noSelectionDoesNothing()
{
    TServer s = NamedServer("a");
    MakeForm(s);
    form_->SelectIndex(-1);
    form_->BtnPlayClick();
    form_->ItemClearWDBClick();
    form_->ItemClearWTFClick();
    QVERIFY(shown_.empty());
    QVERIFY(form_->isVisible());
}

void TestMainFormGame::refusals_data()
{
    QTest::addColumn<QString>("wow"); // "set", "missing" or "empty"
    QTest::addColumn<QString>("preloader");
    QTest::addColumn<QString>("alt");
    QTest::addColumn<TTextId>("message");
    QTest::addColumn<TTextId>("caption");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("dialog"); // the dialog in which the path can be put right
    const int W = int(TMsgIcon::Warning), E = int(TMsgIcon::Error);
    auto row = [](const char* name, QString wow, QString preloader, QString alt, TTextId message, TTextId caption,
                  int icon, QString dialog) {
        QTest::newRow(name) << wow << preloader << alt << message << caption << icon << dialog;
    };
    const QString settings = "SettingsForm", editor = "AddForm";
    row("no game path", "empty", "", "", TTextId::GamePathNotSet, TTextId::CaptionWarning, W, settings);
    row("game path missing", "missing", "", "", TTextId::GamePathInvalid, TTextId::CaptionError, E, settings);
    row("no game path, own game", "empty", "", "set", TTextId::GamePathNotSet, TTextId::CaptionWarning, W, settings);
    row("game path missing, own game", "missing", "", "set", TTextId::GamePathInvalid, TTextId::CaptionError, E,
        settings);
    row("preloader missing", "set", "missing", "", TTextId::PreloaderPathInvalid, TTextId::CaptionError, E, editor);
    row("preloader before own game", "set", "missing", "missing", TTextId::PreloaderPathInvalid, TTextId::CaptionError,
        E, editor);
    row("own game missing, preloader", "set", "set", "missing", TTextId::GamePathInvalid, TTextId::CaptionError, E,
        editor);
    row("own game missing", "set", "", "missing", TTextId::GamePathInvalid, TTextId::CaptionError, E, editor);
}

void TestMainFormGame::refusals()
{
    QFETCH(QString, wow);
    QFETCH(QString, preloader);
    QFETCH(QString, alt);
    QFETCH(TTextId, message);
    QFETCH(TTextId, caption);
    QFETCH(int, icon);
    QFETCH(QString, dialog);
    std::string out = Root() + "started.out";
    MakeRecorder(Root() + "game/WoW", out);
    MakeRecorder(Root() + "alt/WoW", out);
    MakeRecorder(Root() + "loader", out);
    TServer s = NamedServer("a");
    auto pick = [&](const QString& kind, const std::string& existing) {
        return kind == "set" ? existing : kind == "missing" ? Root() + "missing" : std::string();
    };
    s.Preloader = pick(preloader, Root() + "loader");
    s.AltPath = pick(alt, Root() + "alt/WoW");
    MakeForm(s);
    SetGame(pick(wow, Root() + "game/WoW"));
    const TServer before = Servers[0];
    const std::string wowBefore = settings_.Values().WoWPath;
    TDialogDriver driver;
    driver.Arm([](QDialog& d) { d.reject(); });
    form_->BtnPlayClick();
    QCOMPARE(driver.Met(), QStringList{dialog});
    // Cancelled: nothing changed.
    QCOMPARE(settings_.Values().WoWPath, wowBefore);
    QCOMPARE(Servers[0].Preloader, before.Preloader);
    QCOMPARE(Servers[0].AltPath, before.AltPath);
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].text, ToQString(Msg(message)));
    QCOMPARE(shown_[0].caption, ToQString(Msg(caption)));
    QCOMPARE(int(shown_[0].icon), icon);
    QVERIFY(form_->isVisible());
    QVERIFY(!AppClosing);
    QVERIFY(!platform::FileExists(Root() + "game/realmlist.wtf"));
    QVERIFY(!platform::FileExists(Root() + "alt/realmlist.wtf"));
    QVERIFY(WaitForFile(out, kNoStartWaitMs).empty());
}

void TestMainFormGame::unwritableRealmlistStartsNothing()
{
    std::string out = Root() + "started.out";
    MakeRecorder(Root() + "game/WoW", out);
    std::string realmlist = Root() + "game/realmlist.wtf";
    platform::ReplaceFileAtomically(realmlist, "set realmlist old");
    ::chmod(realmlist.c_str(), 0444);
    TServer s = NamedServer("new");
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    form_->BtnPlayClick();
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].text, QString("Realmlist updating failed."));
    QCOMPARE(shown_[0].caption, QString("Error"));
    QVERIFY(form_->isVisible());
    QCOMPARE(ReadBytes(realmlist), std::string("set realmlist old"));
    QVERIFY(WaitForFile(out, kNoStartWaitMs).empty());
}

void TestMainFormGame::playsNativeGameAndCloses()
{
    std::string out = Root() + "started.out";
    MakeRecorder(Root() + "My Game/WoW run", out);
    TServer s = NamedServer("logon.example.net");
    s.Patchlist = "patch.example.net";
    MakeForm(s);
    SetGame(Root() + "My Game/WoW run");
    QVERIFY(QDir::setCurrent(QString::fromStdString(Root())));
    form_->BtnPlayClick();
    QVERIFY(shown_.empty());
    QCOMPARE(ReadBytes(Root() + "My Game/realmlist.wtf"),
             std::string("set realmlist logon.example.net\r\nset patchlist patch.example.net"));
    // The game starts in its own folder, whatever folder the launcher runs in.
    QCOMPARE(WaitForFile(out), "arg:" + settings_.Values().WoWPath + "\ncwd:" + Root() + "My Game\n");
    QVERIFY(!form_->isVisible());
    QVERIFY(AppClosing);
}

void TestMainFormGame::enterKeyAndPlayButtonPlay()
{
    std::string out = Root() + "started.out";
    MakeRecorder(Root() + "game/WoW", out);
    TServer s = NamedServer("enter");
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    QTest::keyClick(form_->ServerList(), Qt::Key_Return);
    QVERIFY(!WaitForFile(out).empty());
    QCOMPARE(ReadBytes(Root() + "game/realmlist.wtf"), std::string("set realmlist enter"));
    QVERIFY(!form_->isVisible());

    platform::RemoveFile(out);
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    auto* play = form_->findChild<QAbstractButton*>("BtnPlay");
    QVERIFY(play);
    play->click();
    QVERIFY(!WaitForFile(out).empty());
    QVERIFY(!form_->isVisible());
}

void TestMainFormGame::preloaderStartsWithRealmlistBesideTheGame()
{
    std::string out = Root() + "started.out";
    MakeRecorder(Root() + "game/WoW", Root() + "game.out");
    MakeRecorder(Root() + "tools/loader", out);
    TServer s = NamedServer("pre");
    s.Preloader = Root() + "tools/loader";
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    form_->BtnPlayClick();
    QVERIFY(WaitForFile(out).starts_with("arg:" + s.Preloader + "\n"));
    QCOMPARE(ReadBytes(Root() + "game/realmlist.wtf"), std::string("set realmlist pre"));
    QVERIFY(!platform::FileExists(Root() + "tools/realmlist.wtf"));
    QVERIFY(WaitForFile(Root() + "game.out", kNoStartWaitMs).empty());
}

void TestMainFormGame::windowsGameStartsThroughWine()
{
    std::string out = Root() + "wine.out";
    MakeRecorder(Root() + "stand-in/wine", out);
    ini_->Write("[Main]\nWineCommand=" + Root() + "stand-in/wine\n");
    std::string game = Root() + "World of Warcraft/WoW.exe";
    QDir().mkpath(QString::fromStdString(Root() + "World of Warcraft"));
    platform::ReplaceFileAtomically(game, "MZ not really");
    TServer s = NamedServer("wine");
    MakeForm(s);
    SetGame(game);
    form_->BtnPlayClick();
    QVERIFY(WaitForFile(out).starts_with("arg:" + Root() + "stand-in/wine\narg:" + game + "\n"));
    // Not readable as the game: the file goes into the game folder.
    QCOMPARE(ReadBytes(Root() + "World of Warcraft/realmlist.wtf"), std::string("set realmlist wine"));
    QVERIFY(!form_->isVisible());
}

void TestMainFormGame::gameThatDoesNotStartIsReported()
{
    std::string game = Root() + "game/WoW";
    QDir().mkpath(QString::fromStdString(Root() + "game"));
    platform::ReplaceFileAtomically(game, "not a program");
    TServer s = NamedServer("a");
    MakeForm(s);
    SetGame(game);
    form_->BtnPlayClick();
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].text, QString("A problem occurred while executing the game."));
    QCOMPARE(int(shown_[0].icon), int(TMsgIcon::Error));
    QVERIFY(form_->isVisible());
    QVERIFY(!AppClosing);
    // The realm list was already rewritten.
    QCOMPARE(ReadBytes(Root() + "game/realmlist.wtf"), std::string("set realmlist a"));
}

void TestMainFormGame::secondProgramRules()
{
    std::string second = Root() + "voice/KorvanVoiceChat";
    MakeRecorder(Root() + "game/WoW", Root() + "game.out");
    MakeRecorder(second, Root() + "second.out");
    TServer s = NamedServer("a");

    // Started with the game.
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    SetSecondProgram(second, false);
    form_->BtnPlayClick();
    QVERIFY(!WaitForFile(Root() + "game.out").empty());
    QVERIFY(WaitForFile(Root() + "second.out").starts_with("arg:" + second + "\n"));
    QVERIFY(!form_->isVisible());

    // One instance only, and a process whose name contains the file name runs: not started again.
    platform::RemoveFile(Root() + "game.out");
    platform::RemoveFile(Root() + "second.out");
    std::string runningCopy = Root() + "xKorvanVoiceChat";
    QVERIFY(QFile::copy("/bin/sleep", QString::fromStdString(runningCopy)));
    ::chmod(runningCopy.c_str(), 0755);
    QProcess sleeper;
    sleeper.start(QString::fromStdString(runningCopy), {"30"});
    QVERIFY(sleeper.waitForStarted());
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    SetSecondProgram(second, true);
    form_->BtnPlayClick();
    QVERIFY(!WaitForFile(Root() + "game.out").empty());
    QVERIFY(WaitForFile(Root() + "second.out", kNoStartWaitMs).empty());
    QVERIFY(!form_->isVisible());
    QVERIFY(shown_.empty());

    // Stored with arguments: the program's own file name is what is looked for.
    platform::RemoveFile(Root() + "game.out");
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    SetSecondProgram(second + " --minimized", true);
    form_->BtnPlayClick();
    QVERIFY(!WaitForFile(Root() + "game.out").empty());
    QVERIFY(WaitForFile(Root() + "second.out", kNoStartWaitMs).empty());
    QVERIFY(shown_.empty());

    // The same without the one-instance rule: started although it runs.
    platform::RemoveFile(Root() + "game.out");
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    SetSecondProgram(second + " --minimized", false);
    form_->BtnPlayClick();
    QCOMPARE(WaitForFile(Root() + "second.out").substr(0, ("arg:" + second + "\narg:--minimized\n").size()),
             "arg:" + second + "\narg:--minimized\n");
    sleeper.kill();
    sleeper.waitForFinished();
}

void TestMainFormGame::secondProgramThatDoesNotStartIsReported()
{
    MakeRecorder(Root() + "game/WoW", Root() + "game.out");
    TServer s = NamedServer("a");
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    SetSecondProgram(Root() + "no/such/program", false);
    form_->BtnPlayClick();
    QVERIFY(!WaitForFile(Root() + "game.out").empty());
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].text, QString("A problem occurred while executing the program."));
    QCOMPARE(shown_[0].caption, QString("Error"));
    QVERIFY(form_->isVisible());
    QVERIFY(!AppClosing);
}

void TestMainFormGame::autoCacheClearIsSilentAndSetsTheFolder()
{
    std::string out = Root() + "started.out";
    MakeRecorder(Root() + "game/WoW", out);
    platform::ReplaceFileAtomically(Root() + "game/Cache/WDB/enUS/creaturecache.wdb", "x");
    QDir().mkpath(QString::fromStdString(Root() + "game/Cache/WDB/enUS"));
    platform::ReplaceFileAtomically(Root() + "game/Cache/WDB/enUS/creaturecache.wdb", "x");
    platform::ReplaceFileAtomically(Root() + "game/Cache/WDB/itemcache.wdb", "x");
    QDir().mkpath(QString::fromStdString(Root() + "game/WDB"));
    platform::ReplaceFileAtomically(Root() + "game/WDB/keep.wdb", "x");
    TServer s = NamedServer("a");
    s.AutoCacheClear = true;
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    form_->BtnPlayClick();
    QVERIFY(shown_.empty());
    QCOMPARE(QDir(QString::fromStdString(Root() + "game/Cache/WDB")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
    QVERIFY(platform::FileExists(Root() + "game/WDB/keep.wdb"));
    // The clearing leaves no trace in the folder the game starts in: its own.
    QVERIFY(WaitForFile(out).ends_with("cwd:" + Root() + "game\n"));
}

void TestMainFormGame::autoCacheClearWithoutFolderStillPlays()
{
    std::string out = Root() + "started.out";
    MakeRecorder(Root() + "game/WoW", out);
    TServer s = NamedServer("a");
    s.AutoCacheClear = true;
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    form_->BtnPlayClick();
    QVERIFY(shown_.empty());
    QVERIFY(!WaitForFile(out).empty());
    QVERIFY(!form_->isVisible());
    // The silent mode ended with that clearing: the menu's Clear WDB asks again.
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    answers_ = {IDNO};
    form_->ItemClearWDBClick();
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].text, ToQString(Msg(TTextId::ClearWDBQuestion)));
}

void TestMainFormGame::clearingQuestionsAndAnswers()
{
    MakeRecorder(Root() + "game/WoW", Root() + "unused");
    for (const char* folder : {"Cache/WDB", "WTF", "Screenshots"}) {
        QDir().mkpath(QString::fromStdString(Root() + "game/" + folder));
        platform::ReplaceFileAtomically(Root() + "game/" + folder + "/file", "x");
    }
    TServer s = NamedServer("a");
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    QVERIFY(QDir::setCurrent(QString::fromStdString(Root())));
    answers_ = {IDNO, IDNO, IDNO};
    form_->ItemClearWDBClick();
    form_->ItemClearWTFClick();
    form_->ItemClearScreenshotsClick();
    QCOMPARE(shown_.size(), std::size_t(3));
    const TTextId ids[] = {TTextId::ClearWDBQuestion, TTextId::ClearWTFQuestion, TTextId::ClearScreenshotsQuestion};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(shown_[i].text, ToQString(Msg(ids[i])));
        QCOMPARE(shown_[i].caption, QString("Question"));
        QCOMPARE(int(shown_[i].icon), int(TMsgIcon::Question));
        QVERIFY(shown_[i].yesNo);
        // Yes is the default for the cache, No for settings and screenshots.
        QCOMPARE(shown_[i].noIsDefault, i != 0);
    }
    QVERIFY(shown_[1].text.contains('\n'));
    // No changes nothing, not even the current folder.
    for (const char* folder : {"Cache/WDB", "WTF", "Screenshots"})
        QVERIFY(platform::FileExists(Root() + "game/" + folder + "/file"));
    QCOMPARE(platform::CurrentFolder() + "/", Root());
}

void TestMainFormGame::clearingOutcomes()
{
    MakeRecorder(Root() + "game/WoW", Root() + "unused");
    QDir().mkpath(QString::fromStdString(Root() + "game/wtf/Account"));
    platform::ReplaceFileAtomically(Root() + "game/wtf/Account/cache.md5", "x");
    std::string locked = Root() + "game/wtf/Config.wtf";
    platform::ReplaceFileAtomically(locked, "x");
    ::chmod(locked.c_str(), 0444);
    QDir().mkpath(QString::fromStdString(Root() + "game/screenshots"));
    platform::ReplaceFileAtomically(Root() + "game/screenshots/WoWScrnShot_1.jpg", "x");
    TServer s = NamedServer("a");
    MakeForm(s);
    SetGame(Root() + "game/WoW");

    form_->ItemClearScreenshotsClick();
    QCOMPARE(shown_.size(), std::size_t(2));
    QCOMPARE(shown_[1].text, QString("Folder was cleared."));
    QCOMPARE(shown_[1].caption, QString("Information"));
    QCOMPARE(int(shown_[1].icon), int(TMsgIcon::Information));
    QVERIFY(!platform::FileExists(Root() + "game/screenshots/WoWScrnShot_1.jpg"));
    QCOMPARE(platform::CurrentFolder(), savedFolder_.toStdString());

    shown_.clear();
    form_->ItemClearWTFClick();
    QCOMPARE(shown_.size(), std::size_t(2));
    QCOMPARE(shown_[1].text, QString("An error occurred."));
    QCOMPARE(shown_[1].caption, QString("Error"));
    QVERIFY(platform::FileExists(locked));
    QVERIFY(!platform::FileExists(Root() + "game/wtf/Account/cache.md5"));

    shown_.clear();
    form_->ItemClearWDBClick();
    QCOMPARE(shown_.size(), std::size_t(2));
    QCOMPARE(shown_[1].text, QString("Folder not found."));
    QCOMPARE(int(shown_[1].icon), int(TMsgIcon::Error));
}

void TestMainFormGame::clearingUsesAltPathFolder()
{
    MakeRecorder(Root() + "game/WoW", Root() + "unused");
    MakeRecorder(Root() + "alt/WoW", Root() + "unused");
    for (const char* base : {"game", "alt"}) {
        QDir().mkpath(QString::fromStdString(Root() + base + "/WDB"));
        platform::ReplaceFileAtomically(Root() + base + "/WDB/x.wdb", "x");
    }
    TServer s = NamedServer("a");
    s.AltPath = Root() + "alt/WoW";
    MakeForm(s);
    SetGame(Root() + "game/WoW");
    form_->ItemClearWDBClick();
    QVERIFY(!platform::FileExists(Root() + "alt/WDB/x.wdb"));
    QVERIFY(platform::FileExists(Root() + "game/WDB/x.wdb"));
}

void TestMainFormGame::showGameVersionUsesThePlainDialog()
{
    ShowGameVersion(nullptr, Root() + "nothing.exe");
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].text, QString::fromStdString("File " + Root() + "nothing.exe was not found."));
    QCOMPARE(shown_[0].caption, QString::fromUtf8(kApplicationTitle));
    QCOMPARE(int(shown_[0].icon), int(TMsgIcon::None));
    QVERIFY(!shown_[0].yesNo);
}

void TestMainFormGame::closeRequestDuringClearingWaitsForItsEnd()
{
    MakeForm(NamedServer("a"));
    const std::string folder = Root() + "cache/";
    QVERIFY(QDir().mkpath(QString::fromStdString(folder)));
    TCloseWatch watch;
    form_->installEventFilter(&watch);
    QSignalSpy closed(form_.get(), &TMainForm::Closed);
    // The request must arrive while the clearing runs, which takes a folder big enough for the window to
    // be repainted during it.
    constexpr int kFirstFileCount = 2000, kMostFiles = 128000;
    for (int count = kFirstFileCount; !watch.seenWhileClearing && count <= kMostFiles; count *= 2) {
        for (int i = 0; i < count; ++i) {
            int fd = ::open((folder + "f" + std::to_string(i) + ".wdb").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        // As the window manager's close box does it: through the window, not the widget.
        QTimer::singleShot(0, form_->windowHandle(), [window = form_->windowHandle()] { window->close(); });
        watch.clearing = true;
        QVERIFY(form_->Game()->Vyprazdnit(folder + "*.*"));
        watch.clearing = false;
        if (!watch.seenWhileClearing) {
            QTest::qWait(0);
            form_->show();
            closed.clear();
        }
    }
    QVERIFY(watch.seenWhileClearing);
    // Not in the middle of the clearing, and not dropped: right after it.
    QVERIFY(closed.isEmpty());
    QVERIFY(form_->isVisible());
    QTRY_COMPARE(closed.size(), 1);
    QVERIFY(!form_->isVisible());
}

QTEST_MAIN(TestMainFormGame)
#include "test_mainfm_game.moc"
