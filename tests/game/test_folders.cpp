// Emptying game folders: what goes, what stays, links never followed out of the folder, and the
// search for the target folder without regard to letter case.
#include "game/folders.h"
#include "game/gametree.h"
#include "platform/files.h"
#include "platform/gamefs.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using TTree = TScratchTree;

// Restores the current folder a test moves into.
class TKeepCurrentFolder
{
public:
    TKeepCurrentFolder() : saved_(QDir::currentPath()) {}
    ~TKeepCurrentFolder() { QDir::setCurrent(saved_); }

private:
    QString saved_;
};

// A chain of `depth` folders named "d" under `root`, with a file at the bottom; made by handle, since
// its path is far longer than the system takes in one piece.
bool MakeChain(const std::string& root, int depth, mode_t bottomFileMode)
{
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        if (::mkdirat(fd, "d", 0755) != 0) {
            ::close(fd);
            return false;
        }
        int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        return false;
    int file = ::openat(fd, "bottom.wdb", O_WRONLY | O_CREAT, bottomFileMode);
    ::close(fd);
    if (file < 0)
        return false;
    ::close(file);
    return true;
}

struct TClearRun
{
    std::string mask;
    bool result = false;
};

void* ClearOnThread(void* arg)
{
    auto* run = static_cast<TClearRun*>(arg);
    run->result = EmptyFolder(run->mask);
    return nullptr;
}

// Clears on a thread with a small stack and under a small open-file limit; in a child process, so a crash
// fails the test instead of ending it. 0: cleared, 1: reported as not cleared, -1: crashed or hung.
int ClearConfined(const std::string& mask, std::size_t stackBytes, rlim_t openFiles)
{
    constexpr int kBoundMs = 120000;
    return RunInChild(
        [&] {
            rlimit limit = {openFiles, openFiles};
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
                return 3;
            TClearRun run{mask, false};
            pthread_attr_t attr;
            pthread_attr_init(&attr);
            pthread_attr_setstacksize(&attr, stackBytes);
            pthread_t thread;
            if (pthread_create(&thread, &attr, &ClearOnThread, &run) != 0)
                return 4;
            pthread_join(thread, nullptr);
            return run.result ? 0 : 1;
        },
        false, kBoundMs);
}

} // namespace

class TestFolders : public QObject
{
    Q_OBJECT

private slots:
    void wildcard_data();
    void wildcard();
    void emptiesNestedFoldersDepthFirst();
    void emptyFolderCountsAsCleared();
    void readOnlyFileStaysAndFails();
    void hiddenFolderStaysHiddenFilesGo();
    void linksAreRemovedNeverFollowed();
    void patternLimitsTheFilesOnly();
    void unopenableFolderFails();
    void progressStepIsThrottled();
    void deepTreeWithSmallStackAndFewHandles_data();
    void deepTreeWithSmallStackAndFewHandles();
    void wideAndDeepTreeKeepsItsRules();
    void targetSearchOrderAndCase();
    void targetThatIsALinkIsNotEntered();
    void noGameFolderFindsNothing();
    void gameFolderOfServer();
};

void TestFolders::wildcard_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    auto row = [](const char* tag, QString a, QString b, bool expected) { QTest::newRow(tag) << a << b << expected; };
    row("all with dot", "a.txt", "*.*", true);
    row("all without dot", "README", "*.*", true);
    row("hidden", ".hidden", "*.*", true);
    row("locale", "enUS", "en??", true);
    row("locale case", "ENgb", "en??", true);
    row("locale other", "deDE", "en??", false);
    row("too long", "enUSA", "en??", false);
    row("extension", "cache.wdb", "*.WDB", true);
    row("extension other", "cache.wdbx", "*.wdb", false);
    row("star in middle", "creaturecache.wdb", "c*e.wdb", true);
    row("name.* without extension", "WDB", "WDB.*", true);
}

void TestFolders::wildcard()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(MatchesWildcard(name.toStdString(), pattern.toStdString()), matches);
}

void TestFolders::emptiesNestedFoldersDepthFirst()
{
    TTree t;
    t.File("WDB/enUS/creaturecache.wdb");
    t.File("WDB/enUS/deep/er/still/item.wdb");
    t.File("WDB/top.wdb");
    t.Folder("WDB/empty");
    QVERIFY(EmptyFolder(t.Path("WDB/*.*")));
    QVERIFY(t.Exists("WDB"));
    QCOMPARE(t.Names("WDB"), QStringList());
}

void TestFolders::emptyFolderCountsAsCleared()
{
    TTree t;
    t.Folder("Screenshots");
    QVERIFY(EmptyFolder(t.Path("Screenshots/*.*")));
    QVERIFY(t.Exists("Screenshots"));
}

void TestFolders::readOnlyFileStaysAndFails()
{
    TTree t;
    std::string locked = t.File("WTF/Config.wtf");
    t.File("WTF/Account/NAME/bindings-cache.wtf");
    std::string deepLocked = t.File("WTF/Account/NAME/SavedVariables/locked.lua");
    t.File("WTF/other.wtf");
    QCOMPARE(::chmod(locked.c_str(), 0444), 0);
    QCOMPARE(::chmod(deepLocked.c_str(), 0400), 0);
    // Read-only holds also for root, as the Windows attribute does.
    QVERIFY(!EmptyFolder(t.Path("WTF/*.*")));
    QCOMPARE(t.Names("WTF"), QStringList({"Account", "Config.wtf"}));
    QCOMPARE(t.Names("WTF/Account/NAME"), QStringList({"SavedVariables"}));
    QCOMPARE(t.Names("WTF/Account/NAME/SavedVariables"), QStringList({"locked.lua"}));
}

void TestFolders::hiddenFolderStaysHiddenFilesGo()
{
    TTree t;
    t.File("Screenshots/.git/config");
    t.File("Screenshots/.thumbs");
    t.File("Screenshots/shot1.jpg");
    t.File("Screenshots/sub/.hidden.jpg");
    QVERIFY(!EmptyFolder(t.Path("Screenshots/*.*")));
    QCOMPARE(t.Names("Screenshots"), QStringList({".git"}));
    QCOMPARE(t.Names("Screenshots/.git"), QStringList({"config"}));
}

void TestFolders::linksAreRemovedNeverFollowed()
{
    TTree outside;
    outside.File("keep/precious.txt", "data");
    outside.File("single.txt", "data");
    TTree t;
    t.File("WDB/a.wdb");
    t.Folder("WDB/sub");
    t.Link(outside.Path("keep"), "WDB/folderlink");
    t.Link(outside.Path("single.txt"), "WDB/sub/filelink");
    t.Link(outside.Path("nowhere"), "WDB/dangling");
    t.Link(outside.Root(), "WDB/.hiddenlink");
    QVERIFY(EmptyFolder(t.Path("WDB/*.*")));
    QCOMPARE(t.Names("WDB"), QStringList());
    QCOMPARE(outside.Names("keep"), QStringList({"precious.txt"}));
    QVERIFY(outside.Exists("single.txt"));
}

void TestFolders::patternLimitsTheFilesOnly()
{
    TTree t;
    t.File("F/a.wdb");
    t.File("F/b.txt");
    t.File("F/sub/c.txt");
    t.File("F/sub/d.wdb");
    QVERIFY(!EmptyFolder(t.Path("F/*.wdb")));
    // Sub-folders are entered whatever their names; only matching files go.
    QCOMPARE(t.Names("F"), QStringList({"b.txt", "sub"}));
    QCOMPARE(t.Names("F/sub"), QStringList({"c.txt"}));
}

void TestFolders::unopenableFolderFails()
{
    TTree t;
    QVERIFY(!EmptyFolder(t.Path("missing/*.*")));
    t.File("file");
    QVERIFY(!EmptyFolder(t.Path("file/*.*")));
}

void TestFolders::progressStepIsThrottled()
{
    TTree t;
    for (int i = 0; i < 600; ++i)
        t.File("F/" + std::to_string(i % 20) + "/" + std::to_string(i));
    int steps = 0;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(EmptyFolder(t.Path("F/*.*"), [&] { ++steps; }));
    // At most one step per interval, however many entries.
    QVERIFY(steps <= timer.elapsed() / kProgressIntervalMs + 1);
}

void TestFolders::deepTreeWithSmallStackAndFewHandles_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("readOnlyAtBottom");
    QTest::addColumn<int>("openFiles");
    QTest::newRow("100,000 levels") << 100000 << false << 32;
    QTest::newRow("100,000 levels, a read-only file at the bottom") << 100000 << true << 32;
    QTest::newRow("2,000 levels, hardly a handle to spare") << 2000 << false << 8;
}

void TestFolders::deepTreeWithSmallStackAndFewHandles()
{
    QFETCH(int, depth);
    QFETCH(bool, readOnlyAtBottom);
    QFETCH(int, openFiles);
    constexpr std::size_t kSmallStack = 64 * 1024;
    // The walk is under test, not the disk: the tree goes into memory where the system offers it.
    const QString memory = QStringLiteral("/dev/shm");
    QTemporaryDir dir((QFileInfo(memory).isDir() && QFileInfo(memory).isWritable() ? memory : QDir::tempPath()) +
                      QStringLiteral("/korvan-deep-XXXXXX"));
    QVERIFY(dir.isValid());
    const std::string wdb = dir.path().toStdString() + "/WDB";
    const std::string mask = wdb + "/" + kAllFilesPattern;
    const auto names = [&] {
        return QDir(QString::fromStdString(wdb))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    };
    QCOMPARE(::mkdir(wdb.c_str(), 0755), 0);
    QVERIFY(MakeChain(wdb, depth, readOnlyAtBottom ? 0444 : 0644));
    const int rc = ClearConfined(mask, kSmallStack, static_cast<rlim_t>(openFiles));
    if (readOnlyAtBottom) {
        // Not cleared, and said so: the read-only file stays, and the folders it lies in.
        QCOMPARE(rc, 1);
        QCOMPARE(names(), QStringList({"d"}));
        QCOMPARE(RunInChild([&] {
                     int fd = ::open(wdb.c_str(), O_RDONLY | O_DIRECTORY);
                     for (int i = 0; i < depth && fd >= 0; ++i) {
                         int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
                         ::close(fd);
                         fd = next;
                     }
                     const bool kept = fd >= 0 && ::fchmodat(fd, "bottom.wdb", 0644, 0) == 0;
                     return kept ? 0 : 1;
                 }),
                 0);
        // Writable again, it goes like the rest, and the scratch folder can be removed.
        QCOMPARE(ClearConfined(mask, kSmallStack, static_cast<rlim_t>(openFiles)), 0);
    } else {
        QCOMPARE(rc, 0);
    }
    QCOMPARE(names(), QStringList());
}

void TestFolders::wideAndDeepTreeKeepsItsRules()
{
    // The walk that replaced the recursion keeps every rule of it on a tree of some shape: depth first,
    // hidden folders kept, links removed as links, read-only files kept.
    TTree outside;
    outside.File("keep/precious.txt", "data");
    TTree t;
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            for (int c = 0; c < 25; ++c)
                t.File("W/" + std::to_string(a) + "/" + std::to_string(b) + "/" + std::to_string(c % 5) + "/deep/" +
                       std::to_string(c));
    t.File("W/1/.hidden/inside");
    t.Link(outside.Path("keep"), "W/2/1/link");
    std::string ro = t.File("W/2/2/0/ro.txt");
    QCOMPARE(::chmod(ro.c_str(), 0444), 0);
    QVERIFY(!EmptyFolder(t.Path("W/*.*")));
    QCOMPARE(t.Names("W"), QStringList({"1", "2"}));
    QCOMPARE(t.Names("W/1"), QStringList({".hidden"}));
    QCOMPARE(t.Names("W/1/.hidden"), QStringList({"inside"}));
    QCOMPARE(t.Names("W/2"), QStringList({"2"}));
    QCOMPARE(t.Names("W/2/2"), QStringList({"0"}));
    QCOMPARE(t.Names("W/2/2/0"), QStringList({"ro.txt"}));
    QCOMPARE(outside.Names("keep"), QStringList({"precious.txt"}));
}

void TestFolders::targetSearchOrderAndCase()
{
    // Finding (and emptying) a folder never moves the current folder, which started programs would inherit.
    const std::string before = platform::CurrentFolder();
    TTree both;
    both.Folder("Cache/WDB");
    both.Folder("WDB");
    both.File("Cache/WDB/creature.wdb");
    auto found = FindTargetFolder(both.Root(), WDBTarget());
    QCOMPARE(found.value_or(""), both.Path("Cache/WDB/"));
    QVERIFY(EmptyFolder(*found + kAllFilesPattern));
    QCOMPARE(both.Names("Cache/WDB"), QStringList());

    TTree onlyWdb;
    onlyWdb.Folder("wdb");
    QCOMPARE(FindTargetFolder(onlyWdb.Root(), WDBTarget()).value_or(""), onlyWdb.Path("wdb/"));

    TTree lower;
    lower.Folder("cache/wdb");
    lower.Folder("wtf");
    lower.Folder("SCREENSHOTS");
    QCOMPARE(FindTargetFolder(lower.Root(), WDBTarget()).value_or(""), lower.Path("cache/wdb/"));
    QCOMPARE(FindTargetFolder(lower.Root(), WTFTarget()).value_or(""), lower.Path("wtf/"));
    QCOMPARE(FindTargetFolder(lower.Root(), ScreenshotsTarget()).value_or(""), lower.Path("SCREENSHOTS/"));

    // A file of the name is not a folder.
    TTree none;
    none.File("WTF");
    QVERIFY(!FindTargetFolder(none.Root(), WTFTarget()));
    QVERIFY(!FindTargetFolder(none.Root(), WDBTarget()));
    QCOMPARE(platform::CurrentFolder(), before);
}

void TestFolders::targetThatIsALinkIsNotEntered()
{
    TTree outside;
    outside.File("cache/file");
    TTree t;
    t.Folder("Cache");
    t.Link(outside.Path("cache"), "Cache/WDB");
    QVERIFY(!FindTargetFolder(t.Root(), WDBTarget()));
    t.Folder("WDB");
    QCOMPARE(FindTargetFolder(t.Root(), WDBTarget()).value_or(""), t.Path("WDB/"));
    QCOMPARE(outside.Names("cache"), QStringList({"file"}));
}

void TestFolders::noGameFolderFindsNothing()
{
    TKeepCurrentFolder keep;
    TTree t;
    t.Folder("WTF");
    QVERIFY(QDir::setCurrent(QString::fromStdString(t.Root())));
    // No game path set: the current folder is not searched in its place.
    QVERIFY(!FindTargetFolder("", WTFTarget()));
}

void TestFolders::gameFolderOfServer()
{
    TServer s;
    QCOMPARE(GameFolderOf(s, "/games/wow/WoW.exe"), std::string("/games/wow/"));
    s.AltPath = "/games/alt/WoW.exe";
    QCOMPARE(GameFolderOf(s, "/games/wow/WoW.exe"), std::string("/games/alt/"));
    s.AltPath.clear();
    QCOMPARE(GameFolderOf(s, ""), std::string());
}

QTEST_GUILESS_MAIN(TestFolders)
#include "test_folders.moc"
