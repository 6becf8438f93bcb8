// The realm list line of WTF/Config.wtf: which lines are the client's realm list, how the file's bytes
// come out of a rewrite, and when Play writes the file, on game folders laid out as installations are.
#include "game/configwtf.h"
#include "game/gametree.h"
#include "support/testsupport.h"

#include <QtTest>
#include <sys/stat.h>

namespace {

const std::string kFixtures = KORVAN_PE_FIXTURES;

std::optional<std::string> Rewrite(std::string_view content, std::string_view address = "new.logon")
{
    return WithRealmList(content, address);
}

// A game installation whose WoW.exe is a copy of a fixture (or a script when no fixture is named).
class TGame : public TScratchTree
{
public:
    std::string Exe(const char* fixture = nullptr) const
    {
        return fixture ? Copy(kFixtures + fixture, "WoW.exe") : File("WoW.exe", "#!/bin/sh\n");
    }
};

constexpr const char* kVersion4 = "wow_lower_x86.exe"; // 4.3.4
constexpr const char* kVersion3 = "wow309_x64.exe";

ino_t InodeOf(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class TestConfigWtf : public QObject
{
    Q_OBJECT

private slots:
    void realmListLines_data();
    void realmListLines();
    void rewriteKeepsEveryOtherByte();
    void everyRealmListLineIsRewritten();
    void missingLineGoesInFront();
    void valuesThatCannotBeWritten();
    void newerClientGetsFolderAndFile();
    void olderClientIsLeftAloneWithoutALine();
    void refusedFilesAndFolders();
    void linkedConfig();
};

void TestConfigWtf::realmListLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("realmList");
    QTest::newRow("as the client writes it") << "SET realmList \"eu.logon\"" << true;
    QTest::newRow("any letter case") << "set REALMLIST eu.logon" << true;
    QTest::newRow("blanks and tabs") << " \tSET \t realmList\t\"eu\"" << true;
    QTest::newRow("quote right after the name") << "SET realmList\"eu\"" << true;
    QTest::newRow("no value") << "SET realmList" << true;
    QTest::newRow("another setting that starts so") << "SET realmListbn \"\"" << false;
    QTest::newRow("another setting") << "SET portal \"eu\"" << false;
    QTest::newRow("no blank after SET") << "SETrealmList \"eu\"" << false;
    QTest::newRow("something in front") << "# SET realmList \"eu\"" << false;
    QTest::newRow("the name alone") << "realmList \"eu\"" << false;
}

void TestConfigWtf::realmListLines()
{
    QFETCH(QString, line);
    QFETCH(bool, realmList);
    QCOMPARE(IsRealmListLine(line.toStdString()), realmList);
    QCOMPARE(HasRealmListLine("SET gxWindow \"1\"\r\n" + line.toStdString() + "\r\n"), realmList);
}

void TestConfigWtf::rewriteKeepsEveryOtherByte()
{
    // CR LF kept, other settings kept, the line's own spelling and blanks kept, the value replaced whole.
    QCOMPARE(
        Rewrite("SET gxWindow \"1\"\r\nset REALMLIST  \"old\" x\"y\r\nSET realmListbn \"\"\r\nSET accountName \"Z\""),
        std::string("SET gxWindow \"1\"\r\nset REALMLIST  \"new.logon\"\r\nSET realmListbn \"\"\r\n"
                    "SET accountName \"Z\""));
    // Line ends as found, mixed ones too, and the last line's missing one.
    QCOMPARE(Rewrite("A\nSET realmList old\r\nB\n"), std::string("A\nSET realmList \"new.logon\"\r\nB\n"));
    QCOMPARE(Rewrite("SET realmList\"old\""), std::string("SET realmList \"new.logon\""));
    // Bytes that are not ASCII go through as they are, the byte order mark included.
    QCOMPARE(Rewrite("\xEF\xBB\xBFSET realmList \"old\"\nSET name \"P\xC5\x99\xC3\xADli\xC5\xA1\"\n"),
             std::string("\xEF\xBB\xBFSET realmList \"new.logon\"\nSET name \"P\xC5\x99\xC3\xADli\xC5\xA1\"\n"));
    // A lone CR is no line end; nothing is split or joined there.
    QCOMPARE(Rewrite("SET a \"1\"\rSET realmList \"x\"\n"),
             std::string("SET realmList \"new.logon\"\nSET a \"1\"\rSET realmList \"x\"\n"));
}

void TestConfigWtf::everyRealmListLineIsRewritten()
{
    // The client runs the lines in turn and the last one wins: a stale line below must not stay.
    QCOMPARE(Rewrite("SET realmList \"a\"\r\nSET x \"1\"\r\n SET realmlist \"b\"\r\nSET realmList \"c\""),
             std::string("SET realmList \"new.logon\"\r\nSET x \"1\"\r\n SET realmlist \"new.logon\"\r\n"
                         "SET realmList \"new.logon\""));
    // Already pointing there: the same bytes.
    QCOMPARE(Rewrite("SET realmList \"new.logon\"\n"), std::string("SET realmList \"new.logon\"\n"));
}

void TestConfigWtf::missingLineGoesInFront()
{
    // In front, with the line end the file uses, so a last line without one stays so.
    QCOMPARE(Rewrite("SET a \"1\"\nSET b \"2\""), std::string("SET realmList \"new.logon\"\nSET a \"1\"\nSET b \"2\""));
    QCOMPARE(Rewrite("SET a \"1\"\r\n"), std::string("SET realmList \"new.logon\"\r\nSET a \"1\"\r\n"));
    QCOMPARE(Rewrite("SET a \"1\""), std::string("SET realmList \"new.logon\"\r\nSET a \"1\""));
    QCOMPARE(Rewrite(""), std::string("SET realmList \"new.logon\"\r\n"));
    QCOMPARE(Rewrite("\xEF\xBB\xBF"), std::string("\xEF\xBB\xBFSET realmList \"new.logon\"\r\n"));
    QCOMPARE(Rewrite("\xEF\xBB\xBFSET a \"1\"\n"),
             std::string("\xEF\xBB\xBFSET realmList \"new.logon\"\nSET a \"1\"\n"));
    QCOMPARE(Rewrite("SET realmListbn \"\"\n", "10.0.0.1:3725"),
             std::string("SET realmList \"10.0.0.1:3725\"\nSET realmListbn \"\"\n"));
}

void TestConfigWtf::valuesThatCannotBeWritten()
{
    // A quote or a line break in the address would end the value or start a line of its own.
    QCOMPARE(Rewrite("SET realmList \"a\"\n", "evil\"\nSET x"), std::nullopt);
    QCOMPARE(Rewrite("", "a\rb"), std::nullopt);
    QCOMPARE(Rewrite("", std::string("a\0b", 3)), std::nullopt);
    QCOMPARE(Rewrite("", "a\x7F"), std::nullopt);
    // A file in UTF-16 cannot take a line of single bytes.
    QCOMPARE(Rewrite(std::string("\xFF\xFES\0E\0T\0", 8)), std::nullopt);
    QCOMPARE(Rewrite(std::string("\xFE\xFF\0S\0E\0T", 8)), std::nullopt);
}

void TestConfigWtf::newerClientGetsFolderAndFile()
{
    if (kFixtures.empty())
        QSKIP("no PE fixtures");
    // No WTF folder yet: the client would ask the default realm list on its first start.
    TGame fresh;
    QVERIFY(UpdateConfigRealmList(fresh.Exe(kVersion4), "eu.logon"));
    QCOMPARE(ReadBytes(fresh.Path("WTF/Config.wtf")), std::string("SET realmList \"eu.logon\"\r\n"));

    // An existing file, found in any letter case, rewritten in place of its name with its permissions.
    TGame game;
    const std::string exe = game.Exe(kVersion4);
    const std::string file = game.File("wtf/CONFIG.WTF", "SET gxWindow \"1\"\r\nSET realmList \"old\"\r\n");
    QCOMPARE(::chmod(file.c_str(), 0640), 0);
    QVERIFY(UpdateConfigRealmList(exe, "eu.logon"));
    QCOMPARE(ReadBytes(file), std::string("SET gxWindow \"1\"\r\nSET realmList \"eu.logon\"\r\n"));
    QCOMPARE(game.Names(""), (QStringList{"WoW.exe", "wtf"}));
    QCOMPARE(game.Names("wtf"), QStringList{"CONFIG.WTF"});
    struct stat st;
    QVERIFY(::stat(file.c_str(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));

    // Nothing to change: the file is not touched, so even a read-only one lets the game start.
    QCOMPARE(::chmod(file.c_str(), 0444), 0);
    const ino_t inode = InodeOf(file);
    QVERIFY(UpdateConfigRealmList(exe, "eu.logon"));
    QCOMPARE(InodeOf(file), inode);
    // With another address it has to be written, and cannot be.
    QVERIFY(!UpdateConfigRealmList(exe, "other.logon"));
    QCOMPARE(ReadBytes(file), std::string("SET gxWindow \"1\"\r\nSET realmList \"eu.logon\"\r\n"));
    // An empty file gets the line; an address that cannot be written is refused.
    TGame empty;
    const std::string emptyExe = empty.Exe(kVersion4);
    empty.File("WTF/Config.wtf", "");
    QVERIFY(!UpdateConfigRealmList(emptyExe, "a\"b"));
    QCOMPARE(ReadBytes(empty.Path("WTF/Config.wtf")), std::string());
    QVERIFY(UpdateConfigRealmList(emptyExe, "eu.logon"));
    QCOMPARE(ReadBytes(empty.Path("WTF/Config.wtf")), std::string("SET realmList \"eu.logon\"\r\n"));
}

void TestConfigWtf::olderClientIsLeftAloneWithoutALine()
{
    for (const char* fixture : {kVersion3, static_cast<const char*>(nullptr)}) {
        if (fixture && kFixtures.empty())
            continue;
        TGame game;
        const std::string exe = game.Exe(fixture);
        // No folder: none is made.
        QVERIFY(UpdateConfigRealmList(exe, "eu.logon"));
        QVERIFY(!game.Exists("WTF"));
        // No realm list line: the file is not touched.
        const std::string file = game.File("WTF/Config.wtf", "SET gxWindow \"1\"\r\n");
        const ino_t inode = InodeOf(file);
        QVERIFY(UpdateConfigRealmList(exe, "eu.logon"));
        QCOMPARE(InodeOf(file), inode);
        QCOMPARE(ReadBytes(file), std::string("SET gxWindow \"1\"\r\n"));
        // A stale line is put right, as a newer client would read it.
        game.File("WTF/Config.wtf", "SET gxWindow \"1\"\r\nSET realmList \"old\"");
        QVERIFY(UpdateConfigRealmList(exe, "eu.logon"));
        QCOMPARE(ReadBytes(file), std::string("SET gxWindow \"1\"\r\nSET realmList \"eu.logon\""));
        // A file that cannot be read is not what this client takes its realm list from.
        game.File("WTF/Config.wtf", std::string(kMaxConfigFileSize + 1, 'x'));
        QVERIFY(UpdateConfigRealmList(exe, "eu.logon"));
        QCOMPARE(ReadBytes(file).size(), std::size_t(kMaxConfigFileSize + 1));
    }
}

void TestConfigWtf::refusedFilesAndFolders()
{
    if (kFixtures.empty())
        QSKIP("no PE fixtures");
    // Too large to be the client's: refused unread and unchanged.
    TGame huge;
    const std::string big(kMaxConfigFileSize + 1, 'x');
    huge.File("WTF/Config.wtf", "SET realmList \"old\"\n" + big);
    QVERIFY(!UpdateConfigRealmList(huge.Exe(kVersion4), "eu.logon"));
    QCOMPARE(ReadBytes(huge.Path("WTF/Config.wtf")).size(), big.size() + 20);

    // A pipe is never opened, so nothing blocks.
    TGame pipe;
    const std::string pipeExe = pipe.Exe(kVersion4);
    pipe.Folder("WTF");
    QCOMPARE(::mkfifo(pipe.Path("WTF/Config.wtf").c_str(), 0666), 0);
    QCOMPARE(RunInChild([&] { return UpdateConfigRealmList(pipeExe, "eu.logon") ? 1 : 0; }, false, 3000), 0);

    // A file named WTF where the folder should be.
    TGame blocked;
    const std::string blockedExe = blocked.Exe(kVersion4);
    blocked.File("WTF", "not a folder");
    QVERIFY(!UpdateConfigRealmList(blockedExe, "eu.logon"));

    // A game folder the user may not write in, with no WTF folder: refused, nothing made.
    TGame locked;
    const std::string lockedExe = locked.Exe(kVersion4);
    QCOMPARE(::chmod(locked.Root().c_str(), 0555), 0);
    QCOMPARE(RunInChild([&] { return UpdateConfigRealmList(lockedExe, "eu.logon") ? 1 : 0; }, true), 0);
    QVERIFY(!locked.Exists("WTF"));
    // The same with the folder there but read-only and no file in it.
    QCOMPARE(::chmod(locked.Root().c_str(), 0755), 0);
    locked.Folder("WTF");
    QCOMPARE(::chmod(locked.Path("WTF").c_str(), 0555), 0);
    QCOMPARE(RunInChild([&] { return UpdateConfigRealmList(lockedExe, "eu.logon") ? 1 : 0; }, true), 0);
    QCOMPARE(locked.Names("WTF"), QStringList());
    QCOMPARE(::chmod(locked.Path("WTF").c_str(), 0755), 0);
}

void TestConfigWtf::linkedConfig()
{
    if (kFixtures.empty())
        QSKIP("no PE fixtures");
    // A link to a file of the same name elsewhere (settings shared between installations): that file is
    // replaced and the link stays.
    TGame shared;
    const std::string exe = shared.Exe(kVersion4);
    shared.File("shared/Config.wtf", "SET a \"1\"\nSET realmList \"old\"\n");
    shared.Folder("WTF");
    shared.Link("../shared/Config.wtf", "WTF/Config.wtf");
    QVERIFY(UpdateConfigRealmList(exe, "eu.logon"));
    QCOMPARE(ReadBytes(shared.Path("shared/Config.wtf")), std::string("SET a \"1\"\nSET realmList \"eu.logon\"\n"));
    struct stat st;
    QVERIFY(::lstat(shared.Path("WTF/Config.wtf").c_str(), &st) == 0 && S_ISLNK(st.st_mode));

    // A link to some other file of the user's is neither read nor written through.
    TGame other;
    const std::string otherExe = other.Exe(kVersion4);
    other.File("notes.txt", "SET realmList \"old\"\n");
    other.Folder("WTF");
    other.Link("../notes.txt", "WTF/Config.wtf");
    QVERIFY(!UpdateConfigRealmList(otherExe, "eu.logon"));
    QCOMPARE(ReadBytes(other.Path("notes.txt")), std::string("SET realmList \"old\"\n"));

    // A hard link (a second installation made with links) keeps the old content under its other name.
    TGame hard;
    const std::string hardExe = hard.Exe(kVersion4);
    const std::string file = hard.File("WTF/Config.wtf", "SET realmList \"old\"\r\n");
    hard.Folder("copy");
    QCOMPARE(::link(file.c_str(), hard.Path("copy/Config.wtf").c_str()), 0);
    QVERIFY(UpdateConfigRealmList(hardExe, "eu.logon"));
    QCOMPARE(ReadBytes(file), std::string("SET realmList \"eu.logon\"\r\n"));
    QCOMPARE(ReadBytes(hard.Path("copy/Config.wtf")), std::string("SET realmList \"old\"\r\n"));

    // A WTF folder that is a link to a folder is used like the folder.
    TGame linkedFolder;
    const std::string linkedExe = linkedFolder.Exe(kVersion4);
    linkedFolder.File("settings/Config.wtf", "SET x \"1\"\n");
    linkedFolder.Link("settings", "WTF");
    QVERIFY(UpdateConfigRealmList(linkedExe, "eu.logon"));
    QCOMPARE(ReadBytes(linkedFolder.Path("settings/Config.wtf")),
             std::string("SET realmList \"eu.logon\"\nSET x \"1\"\n"));
}

QTEST_GUILESS_MAIN(TestConfigWtf)
#include "test_configwtf.moc"
