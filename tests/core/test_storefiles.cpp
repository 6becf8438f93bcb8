// The stores on files that cannot be read or written: nothing is lost, nothing is written, the file
// keeps its mode. Cases root would pass through run as an unprivileged user in a child process.
#include "core/servers_u.h"
#include "core/settings_u.h"
#include "support/testsupport.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kList = "[Main]\nTimeout=2000\nWoWPath=/games/wow/WoW.exe\n[Alpha]\nAddress=a.example\n"
                          "[Beta]\nAddress=b.example:8085\n";

mode_t ModeOf(const std::string& path)
{
    struct stat st = {};
    ::lstat(path.c_str(), &st);
    return st.st_mode;
}

QStringList Names(const std::string& folder)
{
    return QDir(QString::fromStdString(folder))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestStoreFiles : public QObject
{
    Q_OBJECT

private slots:
    void unreadableFileIsNeverWritten();
    void savesKeepTheMode_data();
    void savesKeepTheMode();
    void linkedFileThroughTheStores();
};

void TestStoreFiles::unreadableFileIsNeverWritten()
{
    TScratchIni scratch;
    scratch.Write(kList);
    ::chmod(scratch.Folder().c_str(), 0777);
    ::chmod(scratch.Path().c_str(), 0600);
    // Another user's file: it can be neither read nor written, though the folder takes new files.
    const int rc = RunInChild(
        [&] {
            TSettings settings;
            TWindowSettings window;
            if (settings.Load(IniPath, window))
                return 1;
            if (LoadServers() || !Servers.empty())
                return 2;
            AddServer({.Name = "Gamma", .Address = "c.example"});
            if (settings.Save(IniPath, window) || SaveServers())
                return 3;
            return 0;
        },
        true);
    QCOMPARE(rc, 0);
    QCOMPARE(scratch.Read(), kList);
    QCOMPARE(ModeOf(scratch.Path()) & 07777, mode_t(0600));
    QCOMPARE(Names(scratch.Folder()), QStringList({"tavix.ini"}));
}

void TestStoreFiles::savesKeepTheMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("shared with the group") << 0660;
    QTest::newRow("readable by all") << 0644;
    QTest::newRow("private") << 0600;
}

void TestStoreFiles::savesKeepTheMode()
{
    QFETCH(int, mode);
    TScratchIni scratch;
    scratch.Write(kList);
    ::chmod(scratch.Path().c_str(), static_cast<mode_t>(mode));
    TSettings settings;
    TWindowSettings window;
    QVERIFY(settings.Load(IniPath, window));
    QVERIFY(LoadServers());
    QVERIFY(AddServer({.Name = "Gamma", .Address = "c.example"}));
    QVERIFY(settings.Save(IniPath, window));
    QVERIFY(SaveServers());
    QCOMPARE(int(ModeOf(scratch.Path()) & 07777), mode);
    QVERIFY(scratch.Read().find("[Gamma]") != std::string::npos);
}

void TestStoreFiles::linkedFileThroughTheStores()
{
    TScratchIni scratch;
    QVERIFY(QDir().mkdir(QString::fromStdString(scratch.Folder() + "synced")));
    const std::string real = scratch.Folder() + "synced/tavix.ini";
    QVERIFY(::symlink("synced/tavix.ini", scratch.Path().c_str()) == 0);
    // The first start finds the link's target missing: the save makes it there.
    TSettings settings;
    TWindowSettings window;
    QVERIFY(settings.Load(IniPath, window));
    QVERIFY(AddServer({.Name = "Alpha", .Address = "a.example"}));
    QVERIFY(settings.Save(IniPath, window));
    QVERIFY(SaveServers());
    QVERIFY(S_ISLNK(ModeOf(scratch.Path())));
    ResetServers();
    QVERIFY(LoadServers());
    QCOMPARE(Servers.size(), std::size_t(1));
    QCOMPARE(Names(scratch.Folder()), QStringList({"synced", "tavix.ini"}));
    QCOMPARE(Names(scratch.Folder() + "synced"), QStringList({"tavix.ini"}));
    QVERIFY(QFile::exists(QString::fromStdString(real)));
}

QTEST_GUILESS_MAIN(TestStoreFiles)
#include "test_storefiles.moc"
