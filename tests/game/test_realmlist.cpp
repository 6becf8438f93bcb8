// The launch decisions: the realm list file's bytes, the run and game paths, and the folder that
// receives the file, on game folders laid out the way Windows installations are.
#include "core/localization_u.h"
#include "game/folders.h"
#include "game/gametree.h"
#include "game/realmlist.h"
#include "platform/files.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

namespace {

const std::string kFixtures = KORVAN_PE_FIXTURES;

// A game installation with the executable of a given fixture copied in as WoW.exe.
class TGameTree : public TScratchTree
{
public:
    std::string Game(const char* fixture) const { return Copy(kFixtures + fixture, "WoW.exe"); }
};

TServer ServerWith(const std::string& address, const std::string& patchlist = {})
{
    TServer s;
    s.Name = "Test";
    s.Address = address;
    s.Patchlist = patchlist;
    return s;
}

} // namespace

class TestRealmlist : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void contentBytes();
    void pathChecksInOrder();
    void runAndGamePaths();
    void localeFolderForVersion3();
    void localeFolderRules();
    void gameFolderForOlderOrUnknownVersions();
    void existingFileInAnotherCaseIsRewritten();
    void writeTruncatesAndRefusesReadOnly();
    void hardLinkedFileIsReplacedNotWrittenThrough();
    void linkedRealmlist_data();
    void linkedRealmlist();
    void pipeOrDeviceNeverBlocks_data();
    void pipeOrDeviceNeverBlocks();
    void unwritableFileIsRefused();
};

void TestRealmlist::initTestCase()
{
    InitLocalization();
}

void TestRealmlist::contentBytes()
{
    QCOMPARE(RealmlistContent("logon.example.org", ""), std::string("set realmlist logon.example.org"));
    QCOMPARE(RealmlistContent("10.0.0.1:3725", "patch.example.org"),
             std::string("set realmlist 10.0.0.1:3725\r\nset patchlist patch.example.org"));
    // The bytes of the address go out as they are, whatever code page they are in.
    QCOMPARE(RealmlistContent("n\xE1zev", ""), std::string("set realmlist n\xE1zev"));
}

void TestRealmlist::pathChecksInOrder()
{
    TGameTree tree;
    std::string wow = tree.File("WoW.exe");
    TServer s = ServerWith("a");
    QCOMPARE(PlanLaunch(s, "").check, TLaunchCheck::WoWPathEmpty);
    QCOMPARE(PlanLaunch(s, tree.Path("missing.exe")).check, TLaunchCheck::WoWPathMissing);
    // A folder is not a file.
    QCOMPARE(PlanLaunch(s, tree.Root()).check, TLaunchCheck::WoWPathMissing);
    // The settings path is checked also for a server with its own game.
    s.AltPath = tree.File("alt/WoW.exe");
    QCOMPARE(PlanLaunch(s, "").check, TLaunchCheck::WoWPathEmpty);
    QCOMPARE(PlanLaunch(s, tree.Path("missing.exe")).check, TLaunchCheck::WoWPathMissing);
    s.Preloader = tree.Path("missing_preloader.exe");
    s.AltPath = tree.Path("missing_alt.exe");
    QCOMPARE(PlanLaunch(s, wow).check, TLaunchCheck::PreloaderMissing);
    s.Preloader = tree.File("loader.exe");
    QCOMPARE(PlanLaunch(s, wow).check, TLaunchCheck::AltPathMissing);
    s.Preloader.clear();
    QCOMPARE(PlanLaunch(s, wow).check, TLaunchCheck::AltPathMissing);
}

void TestRealmlist::runAndGamePaths()
{
    TGameTree tree;
    std::string wow = tree.File("WoW.exe");
    std::string alt = tree.File("alt/WoW.exe");
    std::string loader = tree.File("loader.exe");
    TServer s = ServerWith("a");
    TLaunchPlan plan = PlanLaunch(s, wow);
    QCOMPARE(plan.check, TLaunchCheck::Ok);
    QCOMPARE(plan.runPath, wow);
    QCOMPARE(plan.gamePath, wow);
    s.AltPath = alt;
    plan = PlanLaunch(s, wow);
    QCOMPARE(plan.runPath, alt);
    QCOMPARE(plan.gamePath, alt);
    s.Preloader = loader;
    plan = PlanLaunch(s, wow);
    QCOMPARE(plan.runPath, loader);
    QCOMPARE(plan.gamePath, alt);
    // A preloader without an alternative game writes next to the settings' game.
    s.AltPath.clear();
    plan = PlanLaunch(s, wow);
    QCOMPARE(plan.runPath, loader);
    QCOMPARE(plan.gamePath, wow);
}

void TestRealmlist::localeFolderForVersion3()
{
    if (kFixtures.empty())
        QSKIP("no PE fixtures");
    TGameTree tree;
    std::string game = tree.Game("wow309_x64.exe");
    tree.File("realmlist.wtf", "old");
    tree.Folder("Data/enUS");
    QCOMPARE(RealmlistFolder(game), tree.Path("Data/enUS/"));
    QVERIFY(WriteRealmlist(RealmlistFolder(game), ServerWith("eu.logon", "eu.patch")));
    QCOMPARE(ReadBytes(tree.Path("Data/enUS/realmlist.wtf")),
             std::string("set realmlist eu.logon\r\nset patchlist eu.patch"));
    // The game folder's own file is left alone.
    QCOMPARE(ReadBytes(tree.Path("realmlist.wtf")), std::string("old"));
}

void TestRealmlist::localeFolderRules()
{
    TGameTree tree;
    // Names without regard to case, and the first in Windows' order when there are several.
    tree.Folder("data/ENGB");
    tree.Folder("data/enUS");
    tree.Folder("data/deDE");
    QCOMPARE(FindLocaleFolder(tree.Root()), tree.Path("data/ENGB/"));
    TGameTree other;
    other.Folder("Data/deDE");
    other.Folder("Data/en");
    other.Folder("Data/enUSA");
    other.Folder("Data/xenUS");
    QCOMPARE(FindLocaleFolder(other.Root()), std::string());
    // A file matches as well; writing into it then fails.
    TGameTree withFile;
    withFile.File("Data/enUS", "not a folder");
    QCOMPARE(FindLocaleFolder(withFile.Root()), withFile.Path("Data/enUS/"));
    QVERIFY(!WriteRealmlist(FindLocaleFolder(withFile.Root()), ServerWith("a")));
    TGameTree noData;
    QCOMPARE(FindLocaleFolder(noData.Root()), std::string());
}

void TestRealmlist::gameFolderForOlderOrUnknownVersions()
{
    TGameTree tree;
    tree.Folder("Data/enUS");
    // No version can be read from a file that is not the game: the game folder.
    std::string script = tree.File("WoW.exe", "#!/bin/sh\n");
    QCOMPARE(RealmlistFolder(script), tree.Root());
    if (kFixtures.empty())
        QSKIP("no PE fixtures");
    QCOMPARE(RealmlistFolder(tree.Game("two_tables_x86.exe")), tree.Root()); // 2.0.12
    QCOMPARE(RealmlistFolder(tree.Game("wow112_x86.exe")), tree.Root());
    QCOMPARE(RealmlistFolder(tree.Game("wow_lower_x86.exe")), tree.Path("Data/enUS/")); // 4.3.4
    TGameTree german;
    german.Folder("Data/deDE");
    QCOMPARE(RealmlistFolder(german.Game("wow309_x64.exe")), german.Root());
}

void TestRealmlist::existingFileInAnotherCaseIsRewritten()
{
    TGameTree tree;
    tree.File("Realmlist.WTF", "set realmlist old");
    QCOMPARE(GameFilePathIn(tree.Root(), kRealmlistFileName), tree.Path("Realmlist.WTF"));
    QVERIFY(WriteRealmlist(tree.Root(), ServerWith("new")));
    QCOMPARE(ReadBytes(tree.Path("Realmlist.WTF")), std::string("set realmlist new"));
    QVERIFY(!QFile::exists(QString::fromStdString(tree.Path("realmlist.wtf"))));
    // The exact spelling wins over another case.
    tree.File("realmlist.wtf", "x");
    QCOMPARE(GameFilePathIn(tree.Root(), kRealmlistFileName), tree.Path("realmlist.wtf"));
    TGameTree empty;
    QCOMPARE(GameFilePathIn(empty.Root(), kRealmlistFileName), empty.Path("realmlist.wtf"));
}

void TestRealmlist::writeTruncatesAndRefusesReadOnly()
{
    TGameTree tree;
    std::string file = tree.File("realmlist.wtf", std::string(500, 'z'));
    QVERIFY(WriteRealmlist(tree.Root(), ServerWith("short")));
    QCOMPARE(ReadBytes(file), std::string("set realmlist short"));
    QCOMPARE(::chmod(file.c_str(), 0444), 0);
    QVERIFY(!WriteRealmlist(tree.Root(), ServerWith("other")));
    QCOMPARE(ReadBytes(file), std::string("set realmlist short"));
    QVERIFY(!WriteRealmlist(tree.Path("no/such/folder/"), ServerWith("a")));
}

void TestRealmlist::hardLinkedFileIsReplacedNotWrittenThrough()
{
    TGameTree tree;
    const std::string file = tree.File("realmlist.wtf", "set realmlist before");
    QCOMPARE(::chmod(file.c_str(), 0640), 0);
    // What a write killed part-way leaves, taken away by the next one.
    tree.File("realmlist.wtf.Ab12Cd.saving", "set realmlist half");
    // Another name of the same file, such as a second installation made with hard links.
    tree.Folder("copy");
    QCOMPARE(::link(file.c_str(), tree.Path("copy/realmlist.wtf").c_str()), 0);
    QVERIFY(WriteRealmlist(tree.Root(), ServerWith("new")));
    QCOMPARE(ReadBytes(file), std::string("set realmlist new"));
    QCOMPARE(ReadBytes(tree.Path("copy/realmlist.wtf")), std::string("set realmlist before"));
    struct stat st;
    QVERIFY(::stat(file.c_str(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
    QCOMPARE(tree.Names(""), (QStringList{"copy", "realmlist.wtf"}));

    // Any game file the same way, found in any letter case.
    tree.File("WTF/CONFIG.wtf", "SET realmList \"old\"\n");
    QCOMPARE(::link(tree.Path("WTF/CONFIG.wtf").c_str(), tree.Path("copy/Config.wtf").c_str()), 0);
    QVERIFY(ReplaceGameFile(tree.Path("WTF/"), "Config.wtf", "SET gxWindow \"1\"\n"));
    QCOMPARE(tree.Names("WTF"), QStringList{"CONFIG.wtf"});
    QCOMPARE(ReadBytes(tree.Path("WTF/CONFIG.wtf")), std::string("SET gxWindow \"1\"\n"));
    QCOMPARE(ReadBytes(tree.Path("copy/Config.wtf")), std::string("SET realmList \"old\"\n"));
}

void TestRealmlist::linkedRealmlist_data()
{
    QTest::addColumn<QString>("target"); // what the link in the game folder points at
    QTest::addColumn<bool>("written");
    QTest::newRow("realm list elsewhere") << "other/realmlist.wtf" << true;
    QTest::newRow("realm list in another case") << "other/REALMLIST.Wtf" << true;
    QTest::newRow("through a second link") << "hop" << true;
    QTest::newRow("a file of the user's") << "other/notes.txt" << false;
    QTest::newRow("dangling") << "other/missing/realmlist.wtf" << false;
    QTest::newRow("a folder named so") << "other/sub/realmlist.wtf" << false;
    QTest::newRow("itself") << "realmlist.wtf" << false;
}

void TestRealmlist::linkedRealmlist()
{
    QFETCH(QString, target);
    QFETCH(bool, written);
    TGameTree tree;
    const std::string before = "set realmlist before";
    tree.File("other/realmlist.wtf", before);
    tree.File("other/REALMLIST.Wtf", before);
    tree.File("other/notes.txt", before);
    tree.Folder("other/sub/realmlist.wtf");
    tree.Link("other/realmlist.wtf", "hop");
    tree.Link(target.toStdString(), "realmlist.wtf");
    const QStringList names = tree.Names("other");

    QCOMPARE(WriteRealmlist(tree.Root(), ServerWith("new")), written);
    struct stat st;
    QVERIFY(::lstat(tree.Path("realmlist.wtf").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    QCOMPARE(tree.Names("other"), names);
    const std::string real = target == "hop" ? "other/realmlist.wtf" : target.toStdString();
    for (const char* file : {"other/realmlist.wtf", "other/REALMLIST.Wtf", "other/notes.txt"})
        QCOMPARE(ReadBytes(tree.Path(file)), written && real == file ? std::string("set realmlist new") : before);
}

void TestRealmlist::pipeOrDeviceNeverBlocks_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("pipe") << "fifo";
    QTest::newRow("link to a pipe named realmlist.wtf") << "link-fifo";
    QTest::newRow("link to a device") << "device";
}

void TestRealmlist::pipeOrDeviceNeverBlocks()
{
    QFETCH(QString, kind);
    constexpr int kBoundMs = 3000;
    TGameTree tree;
    if (kind == "fifo") {
        QCOMPARE(::mkfifo(tree.Path("realmlist.wtf").c_str(), 0666), 0);
    } else if (kind == "link-fifo") {
        tree.Folder("other");
        QCOMPARE(::mkfifo(tree.Path("other/realmlist.wtf").c_str(), 0666), 0);
        tree.Link("other/realmlist.wtf", "realmlist.wtf");
    } else {
        tree.Link("/dev/null", "realmlist.wtf");
    }
    // In a child: a write that blocks would hang the test instead of failing it.
    QCOMPARE(RunInChild([&] { return WriteRealmlist(tree.Root(), ServerWith("new")) ? 1 : 0; }, false, kBoundMs), 0);
    QVERIFY(tree.Exists("realmlist.wtf"));
}

void TestRealmlist::unwritableFileIsRefused()
{
    TGameTree tree;
    const std::string file = tree.File("realmlist.wtf", "set realmlist before");
    ::chmod(file.c_str(), 0644);
    ::chmod(tree.Root().c_str(), 0777);
    QCOMPARE(RunInChild([&] { return WriteRealmlist(tree.Root(), ServerWith("new")) ? 1 : 0; }, true), 0);
    QCOMPARE(ReadBytes(file), std::string("set realmlist before"));
}

QTEST_GUILESS_MAIN(TestRealmlist)
#include "test_realmlist.moc"
