// The server store: list operations and its round trip through tavix.ini.
#include "core/ini.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "platform/files.h"
#include "support/testsupport.h"

#include <QtTest>
#include <chrono>
#include <csignal>
#include <memory>
#include <thread>

namespace {

bool Add(const std::string& name, const std::string& address = "host")
{
    return AddServer({.Name = name, .Address = address});
}

QStringList LiveNames()
{
    QStringList names;
    for (const TServer& s : Servers)
        if (!s.Deleted)
            names << QString::fromLatin1(s.Name); // byte for byte
    return names;
}

} // namespace

class TestServers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { InitLocalization(); }
    void init() { ResetServers(); }
    void addFindChangeRemove();
    void removalsKeepLiveEntriesFirst();
    void swapRefusesBadIndices();
    void lookupsByIdentityAndRow();
    void addTakesOnlyWhatAUserEdits();
    void handWrittenFileRoundTrips();
    void saveWritesOnlyWhatIsSet();
    void orderAndRemovalsSurviveRestart();
    void mainSectionIsNeverAServer();
    void typeKeepsLowEightBits();
    void loadWaitsForALiveWriter();
    void lockOfAKilledWriterCostsNoWait();
    void saveIntoUnwritableFolderKeepsOldFile();
    void namesThatCannotComeBackAreRefused();
    void bracketsInNamesSurviveRestart();
    void sectionWithoutKeysKeepsItsLines();
    void sectionWithoutKeysKeepsItsPlaceInTheList();
    void wineKeysRoundTrip();
    void keysOfNewerCopiesSurviveASave();
};

void TestServers::addFindChangeRemove()
{
    QVERIFY(Add("Alpha"));
    QVERIFY(!Add("ALPHA"));
    QCOMPARE(FindServer("alpha"), 0);
    QVERIFY(ChangeServer({.Name = "alpha",
                          .Address = "new.example",
                          .Comments = "c",
                          .Preloader = "p",
                          .AltPath = "a",
                          .Patchlist = "pl",
                          .Website = "w",
                          .ServerType = 3,
                          .AutoCacheClear = true,
                          .RSSUrl = "r"}));
    const TServer& s = Servers[0];
    QCOMPARE(s.Name, std::string("alpha"));
    QCOMPARE(s.Address, std::string("new.example"));
    QCOMPARE(int(s.ServerType), 3);
    QVERIFY(s.AutoCacheClear);
    QVERIFY(!ChangeServer({.Name = "Beta"}));
    QVERIFY(RemoveServer("ALPHA"));
    QVERIFY(!RemoveServer("Alpha"));
    QCOMPARE(FindServer("Alpha"), -1);
    // The name of a removed server is free again, while the removed entry stays behind.
    QVERIFY(Add("Alpha", "again"));
    QCOMPARE(Servers.size(), size_t(2));
    QCOMPARE(Servers[0].Address, std::string("again"));
    QVERIFY(Servers[1].Deleted);
    QVERIFY(Servers[0].Id != Servers[1].Id);
}

void TestServers::removalsKeepLiveEntriesFirst()
{
    for (auto n : {"A", "B", "C", "D"})
        QVERIFY(Add(n));
    QVERIFY(RemoveServer("B"));
    QVERIFY(RemoveServer("C"));
    QVERIFY(Add("E"));
    QCOMPARE(LiveNames(), (QStringList{"A", "D", "E"}));
    // The removed entries keep the order they stood in: C had been moved in front of B.
    QCOMPARE(QString::fromStdString(Servers[3].Name), QString("C"));
    QCOMPARE(QString::fromStdString(Servers[4].Name), QString("B"));
    QVERIFY(Servers[3].Deleted && Servers[4].Deleted);
    QCOMPARE(GetServerNames().size(), size_t(5));
}

void TestServers::swapRefusesBadIndices()
{
    QVERIFY(Add("A"));
    QVERIFY(Add("B"));
    const auto idA = Servers[0].Id;
    QVERIFY(!SwapServers(0, 0));
    QVERIFY(!SwapServers(0, 2));
    QVERIFY(!SwapServers(-1, 0));
    QVERIFY(SwapServers(1, 0));
    QCOMPARE(IndexOfServerId(idA), 1);
    QCOMPARE(IndexOfServerId(0), -1);
}

void TestServers::lookupsByIdentityAndRow()
{
    QVERIFY(Add("A"));
    QVERIFY(Add("B"));
    const std::uint64_t idA = Servers[0].Id;
    const std::uint64_t idB = Servers[1].Id;
    QVERIFY(SwapServers(0, 1));
    // The identity follows the entry; the row is wherever it now stands.
    QCOMPARE(ServerById(idA), &Servers[1]);
    QCOMPARE(ServerAt(0), &Servers[0]);
    QCOMPARE(ServerAt(0)->Id, idB);
    QVERIFY(!ServerById(kNoServerId));
    QVERIFY(!ServerById(idA + idB + 1));
    QVERIFY(!ServerAt(-1));
    QVERIFY(!ServerAt(2));
    const std::vector<TServer>& list = Servers;
    QVERIFY(ServerById(list, idB) == &Servers[0]);

    // A removed entry waits for the save: still found by identity, but no longer live.
    QVERIFY(RemoveServer("A"));
    QVERIFY(ServerById(idA) && ServerById(idA)->Deleted);
    QVERIFY(!LiveServerById(idA));
    QVERIFY(LiveServerById(idB) == ServerById(idB));
}

void TestServers::addTakesOnlyWhatAUserEdits()
{
    TServer values{.Name = "Alpha", .Address = "a.example", .RSSUrl = "a.example/rss"};
    values.Status = ssOnline;
    values.Ping = 42;
    values.Deleted = true;
    values.RSSState = rssLoaded;
    values.RSSData = {"<p>old</p>"};
    values.Id = 99;
    QVERIFY(AddServer(values));
    const TServer& added = Servers.back();
    QCOMPARE(added.RSSUrl, values.RSSUrl);
    QCOMPARE(int(added.Status), int(ssChecking));
    QCOMPARE(added.Ping, kPingReset);
    QVERIFY(!added.Deleted);
    QCOMPARE(int(added.RSSState), int(rssNotLoaded));
    QVERIFY(added.RSSData.empty());
    QVERIFY(added.Id != values.Id && added.Id != kNoServerId);

    // A change keeps the entry's probe and news state and its identity.
    Servers.back().Status = ssOnline;
    Servers.back().RSSState = rssLoaded;
    const std::uint64_t id = added.Id;
    QVERIFY(ChangeServer({.Name = "ALPHA", .Address = "b.example", .Id = 5}));
    QCOMPARE(Servers.back().Address, std::string("b.example"));
    QCOMPARE(Servers.back().Name, std::string("ALPHA"));
    QCOMPARE(int(Servers.back().Status), int(ssOnline));
    QCOMPARE(int(Servers.back().RSSState), int(rssLoaded));
    QCOMPARE(Servers.back().Id, id);
}

void TestServers::handWrittenFileRoundTrips()
{
    TScratchIni scratch;
    // Written by hand on Windows: CRLF, a settings section in capitals with keys we never write, two
    // sections equal but for case, a hex type, a quoted value and a Windows-1250 name.
    const std::string file = "[MAIN]\r\nWoWPath=C:\\WoW\\WoW.exe\r\nCustomKey=keep me\r\nTimeout=$1388\r\n\r\n"
                             "[Alpha]\r\nAddress=alpha.example\r\nServerType=0x3\r\nComments=\"  quoted  \"\r\n\r\n"
                             "[\x8A"
                             "koln\xED server]\r\nAddress=skola.example:8085\r\nAutoCacheClear=1\r\n\r\n"
                             "[ALPHA]\r\nAddress=shadow.example\r\nComments=never loaded\r\n\r\n"
                             "[Beta]\r\nAddress=beta.example\r\nRSSUrl=beta.example/rss\r\n";
    scratch.Write(file);
    QVERIFY(LoadServers());
    QCOMPARE(LiveNames(), (QStringList{"Alpha", QString::fromLatin1("\x8Akoln\xED server"), "Beta"}));
    QCOMPARE(int(Servers[0].ServerType), 3);
    QCOMPARE(Servers[0].Comments, std::string("  quoted  "));
    QVERIFY(Servers[1].AutoCacheClear);
    QCOMPARE(Servers[1].Address, std::string("skola.example:8085"));
    QCOMPARE(Servers[2].RSSUrl, std::string("beta.example/rss"));
    QCOMPARE(int(Servers[0].Status), int(ssChecking));
    QCOMPARE(Servers[0].Ping, kPingReset);

    // A run without changes: settings, then servers, written back.
    TSettings settings;
    TWindowSettings window;
    QVERIFY(settings.Load(scratch.Path(), window));
    QVERIFY(settings.Save(scratch.Path(), window));
    QVERIFY(SaveServers());
    const std::string saved = scratch.Read();
    QVERIFY(saved.find("CustomKey=keep me\r\n") != std::string::npos);
    QVERIFY(saved.find("[\x8A"
                       "koln\xED server]\r\n") != std::string::npos);
    QVERIFY(saved.find("\r\n\n") == std::string::npos);
    QVERIFY(!platform::FileExists(LockPath()));

    ResetServers();
    QVERIFY(LoadServers());
    QCOMPARE(LiveNames(), (QStringList{"Alpha", QString::fromLatin1("\x8Akoln\xED server"), "Beta"}));
    QCOMPARE(Servers[0].Comments, std::string("  quoted  "));
    QCOMPARE(Servers[0].Address, std::string("alpha.example"));
    QCOMPARE(int(Servers[0].ServerType), 3);
    QCOMPARE(Servers[2].RSSUrl, std::string("beta.example/rss"));
    // The shadowed duplicate is still in the file, unchanged, behind the server it shares a name with.
    TIniFile ini(scratch.Path());
    QVERIFY(ini.Load());
    auto names = ini.SectionNames();
    QCOMPARE(names.back(), std::string("ALPHA"));
    QVERIFY(saved.find("[ALPHA]\r\nAddress=shadow.example\r\nComments=never loaded\r\n") != std::string::npos);
}

void TestServers::saveWritesOnlyWhatIsSet()
{
    TScratchIni scratch;
    QVERIFY(Add("Bare", ""));
    QVERIFY(AddServer({.Name = "Full",
                       .Address = "f.example",
                       .Comments = "c",
                       .Preloader = "/p",
                       .AltPath = "/a",
                       .Patchlist = "pl.example",
                       .Website = "w.example",
                       .ServerType = 5,
                       .AutoCacheClear = true,
                       .RSSUrl = "r.example"}));
    QVERIFY(SaveServers());
    QCOMPARE(scratch.Read(), std::string("[Bare]\nAddress=\n[Full]\nAddress=f.example\nComments=c\nPreloader=/p\n"
                                         "AltPath=/a\nPatchlist=pl.example\nWebsite=w.example\nServerType=5\n"
                                         "AutoCacheClear=1\nRSSUrl=r.example\n"));
}

void TestServers::orderAndRemovalsSurviveRestart()
{
    TScratchIni scratch;
    scratch.Write("[A]\nAddress=a\n[Manual]\nAddress=m\n[B]\nAddress=b\n[C]\nAddress=c\n");
    QVERIFY(LoadServers());
    QVERIFY(SwapServers(2, 3)); // C up
    QVERIFY(RemoveServer("A"));
    QVERIFY(SaveServers());
    ResetServers();
    QVERIFY(LoadServers());
    QCOMPARE(LiveNames(), (QStringList{"Manual", "C", "B"}));

    // Removing every server erases every section it had and writes none.
    for (auto n : {"Manual", "C", "B"})
        QVERIFY(RemoveServer(n));
    QVERIFY(SaveServers());
    QCOMPARE(scratch.Read(), std::string());
}

void TestServers::mainSectionIsNeverAServer()
{
    TScratchIni scratch;
    scratch.Write("[Main]\nTimeout=3000\n[S1]\nAddress=x\n[mAiN]\nAddress=y\n[main]\n");
    QVERIFY(LoadServers());
    QCOMPARE(LiveNames(), QStringList{"S1"});
}

void TestServers::typeKeepsLowEightBits()
{
    TScratchIni scratch;
    scratch.Write("[A]\nServerType=7\n[B]\nServerType=258\n[C]\nServerType=x\nAutoCacheClear=yes\n");
    QVERIFY(LoadServers());
    QCOMPARE(int(Servers[0].ServerType), 7);
    QCOMPARE(int(Servers[1].ServerType), 2);
    QCOMPARE(int(Servers[2].ServerType), 0);
    QVERIFY(!Servers[2].AutoCacheClear);
    QCOMPARE(ServerTypeNames[0], Msg(TTextId::NoValue));
}

void TestServers::loadWaitsForALiveWriter()
{
    TScratchIni scratch;
    scratch.Write("[A]\nAddress=old\n");
    auto writing = std::make_unique<platform::TWriterLock>(LockPath());
    QVERIFY(writing->Held());
    // Another copy finishes its save while we wait: we read what it wrote.
    int steps = 0;
    QVERIFY(LoadServers([&] {
        if (++steps == 3) {
            scratch.Write("[A]\nAddress=new\n");
            writing.reset();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }));
    QCOMPARE(steps, 3);
    QCOMPARE(Servers[0].Address, std::string("new"));
    QVERIFY(!platform::FileExists(LockPath()));
}

void TestServers::lockOfAKilledWriterCostsNoWait()
{
    TScratchIni scratch;
    scratch.Write("[A]\nAddress=old\n");
    // The writer dies holding its lock, as a save killed part-way does.
    QCOMPARE(RunInChild([] {
                 platform::TWriterLock writing(LockPath());
                 if (writing.Held())
                     ::raise(SIGKILL);
                 return 1;
             }),
             -1);
    QVERIFY(platform::FileExists(LockPath()));
    QCOMPARE(platform::LockFileState(LockPath()), platform::TLockFileState::Abandoned);
    int steps = 0;
    QVERIFY(LoadServers([&] { ++steps; }));
    QCOMPARE(steps, 0);
    QCOMPARE(Servers[0].Address, std::string("old"));
    // The next save replaces it and leaves none behind.
    QVERIFY(SaveServers());
    QVERIFY(!platform::FileExists(LockPath()));
}

void TestServers::saveIntoUnwritableFolderKeepsOldFile()
{
    if (geteuid() == 0)
        QSKIP("permission bits do not stop root");
    TScratchIni scratch;
    scratch.Write("[A]\nAddress=a\n");
    QVERIFY(LoadServers());
    QVERIFY(Add("B"));
    QFile::setPermissions(QString::fromStdString(scratch.Folder()), QFile::ReadOwner | QFile::ExeOwner);
    QVERIFY(!SaveServers());
    QFile::setPermissions(QString::fromStdString(scratch.Folder()),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(scratch.Read(), std::string("[A]\nAddress=a\n"));
}

void TestServers::namesThatCannotComeBackAreRefused()
{
    for (const char* bad :
         {"", " Alpha", "Alpha ", "\tAlpha", "Alpha\x1A", "Al\rpha", "Al\npha", "main", "MAIN", "mAiN"}) {
        QVERIFY2(!IsStorableServerName(bad), bad);
        QVERIFY2(!Add(bad), bad);
    }
    QVERIFY(Servers.empty());
    QVERIFY(Add("Main server"));
    QVERIFY(Add("x main"));
}

void TestServers::bracketsInNamesSurviveRestart()
{
    TScratchIni scratch;
    for (auto n : {"[PvP] Frost", "[PvP] Blood", "My [EU] server", "a]b"})
        QVERIFY(Add(n));
    QVERIFY(SaveServers());
    ResetServers();
    QVERIFY(LoadServers());
    QCOMPARE(LiveNames(), (QStringList{"[PvP] Frost", "[PvP] Blood", "My [EU] server", "a]b"}));
}

void TestServers::sectionWithoutKeysKeepsItsLines()
{
    TScratchIni scratch;
    scratch.Write("[Alpha]\r\n; my notes on Alpha\r\n\r\n[Beta]\r\nAddress=b\r\n");
    QVERIFY(LoadServers());
    QCOMPARE(LiveNames(), (QStringList{"Alpha", "Beta"}));
    QVERIFY(ChangeServer({.Name = "Alpha", .Address = "a.example"}));
    QVERIFY(SaveServers());
    QCOMPARE(scratch.Read(), std::string("[Alpha]\r\n; my notes on Alpha\r\nAddress=a.example\r\n\r\n"
                                         "[Beta]\r\nAddress=b\r\n"));
}

void TestServers::sectionWithoutKeysKeepsItsPlaceInTheList()
{
    TScratchIni scratch;
    scratch.Write("[Main]\nTimeout=3000\n[A]\nAddress=a\n[Empty]\n; a note\n[B]\nAddress=b\n[Bare]\n[C]\nAddress=c\n");
    QVERIFY(LoadServers());
    QCOMPARE(LiveNames(), (QStringList{"A", "Empty", "B", "Bare", "C"}));
    QVERIFY(SaveServers());
    QCOMPARE(scratch.Read(), std::string("[Main]\nTimeout=3000\n[A]\nAddress=a\n[Empty]\n; a note\nAddress=\n"
                                         "[B]\nAddress=b\n[Bare]\nAddress=\n[C]\nAddress=c\n"));

    // Moved, and removed: the file follows the list, and a removed server does not come back.
    scratch.Write("[A]\nAddress=a\n[Empty]\n; a note\n[B]\nAddress=b\n[Bare]\n[C]\nAddress=c\n");
    ResetServers();
    QVERIFY(LoadServers());
    QVERIFY(SwapServers(1, 2)); // Empty below B
    QVERIFY(RemoveServer("Bare"));
    QVERIFY(SaveServers());
    ResetServers();
    QVERIFY(LoadServers());
    QCOMPARE(LiveNames(), (QStringList{"A", "B", "Empty", "C"}));
    QCOMPARE(scratch.Read(), std::string("[A]\nAddress=a\n[B]\nAddress=b\n[Empty]\n; a note\nAddress=\n"
                                         "[C]\nAddress=c\n"));
}

void TestServers::wineKeysRoundTrip()
{
    TScratchIni scratch;
    QVERIFY(AddServer({.Name = "Two",
                       .Address = "two.example",
                       .WineCommand = "/opt/wine staging/bin/wine",
                       .WinePrefix = "~/prefixes/two",
                       .Environment = "WINEDEBUG=-all;DXVK_HUD=fps",
                       .GameArguments = " -console \"x y\""}));
    QVERIFY(Add("Plain"));
    QVERIFY(SaveServers());
    QCOMPARE(scratch.Read(), std::string("[Two]\nAddress=two.example\nWineCommand=/opt/wine staging/bin/wine\n"
                                         "WinePrefix=~/prefixes/two\nEnvironment=WINEDEBUG=-all;DXVK_HUD=fps\n"
                                         "GameArguments=\" -console \"x y\"\"\n[Plain]\nAddress=host\n"));
    ResetServers();
    QVERIFY(LoadServers());
    QCOMPARE(Servers[0].WineCommand, std::string("/opt/wine staging/bin/wine"));
    QCOMPARE(Servers[0].WinePrefix, std::string("~/prefixes/two"));
    QCOMPARE(Servers[0].Environment, std::string("WINEDEBUG=-all;DXVK_HUD=fps"));
    QCOMPARE(Servers[0].GameArguments, std::string(" -console \"x y\""));
    // Cleared in the editor: the keys go.
    TServer changed = Servers[0];
    changed.WinePrefix.clear();
    changed.Environment.clear();
    QVERIFY(ChangeServer(changed));
    QVERIFY(SaveServers());
    QVERIFY(scratch.Read().find("WinePrefix") == std::string::npos);
    QVERIFY(scratch.Read().find("Environment") == std::string::npos);
    QVERIFY(scratch.Read().find("WineCommand=") != std::string::npos);
}

void TestServers::keysOfNewerCopiesSurviveASave()
{
    TScratchIni scratch;
    // Keys this copy does not know, in any letter case and place, some quoted, one given twice; comments stay
    // comments and are not taken for keys.
    scratch.Write("[Alpha]\r\nFutureKey=\"  spaced  \"\r\nAddress=a\r\ncolour=blue\r\n;Comments=a note\r\n"
                  "Comments=old\r\nZeta=z=1\r\nFutureKey=second\r\n\r\n[Beta]\r\nAddress=b\r\n");
    QVERIFY(LoadServers());
    QVERIFY(ChangeServer({.Name = "Alpha", .Address = "a2", .Comments = "new"}));
    QVERIFY(SwapServers(0, 1));
    QVERIFY(SaveServers());
    // The known keys are written afresh; the others follow them in their own order, byte for byte.
    QCOMPARE(scratch.Read(), std::string("[Beta]\r\nAddress=b\r\n[Alpha]\r\nAddress=a2\r\nComments=new\r\n"
                                         "FutureKey=\"  spaced  \"\r\ncolour=blue\r\nZeta=z=1\r\n"
                                         "FutureKey=second\r\n"));
    // Another save changes nothing, and the kept keys still read as they did.
    const std::string once = scratch.Read();
    ResetServers();
    QVERIFY(LoadServers());
    QVERIFY(SaveServers());
    QCOMPARE(scratch.Read(), once);
    TIniFile ini(scratch.Path());
    QVERIFY(ini.Load());
    QCOMPARE(ini.ReadString("Alpha", "FutureKey", ""), std::string("  spaced  "));

    // A removed server takes its keys with it.
    QVERIFY(RemoveServer("Alpha"));
    QVERIFY(SaveServers());
    QCOMPARE(scratch.Read(), std::string("[Beta]\r\nAddress=b\r\n"));
}

QTEST_GUILESS_MAIN(TestServers)
#include "test_servers.moc"
