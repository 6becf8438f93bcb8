// The user's folders: making the configuration folder private, and telling a folder the user may write
// in from one they may not, also where root would be let through.
#include "platform/userdirs.h"

#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

mode_t ModeOf(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Asks in a child process that runs as an unprivileged user, where root's pass does not hide the answer.
int WritableAsNobody(const std::string& folder)
{
    pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(2);
        ::_exit(platform::IsFolderWritable(folder) ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

class TestUserDirs : public QObject
{
    Q_OBJECT

private slots:
    void makesPrivateFolders();
    void keepsExistingFolders();
    void refusesWhereAFileStands();
    void writableFolders();
    void unwritableForAnUnprivilegedUser();
};

void TestUserDirs::makesPrivateFolders()
{
    QTemporaryDir root;
    const std::string top = root.path().toStdString() + "/home/.config";
    const std::string folder = top + "/korvan/";
    QVERIFY(platform::MakePrivateFolders(folder));
    QCOMPARE(ModeOf(folder), mode_t(0700));
    QCOMPARE(ModeOf(top), mode_t(0700));
    QVERIFY(platform::MakePrivateFolders(folder));
}

void TestUserDirs::keepsExistingFolders()
{
    QTemporaryDir root;
    const std::string folder = root.path().toStdString() + "/shared";
    QCOMPARE(::mkdir(folder.c_str(), 0755), 0);
    QVERIFY(platform::MakePrivateFolders(folder + "/korvan"));
    QCOMPARE(ModeOf(folder), mode_t(0755));
    QCOMPARE(ModeOf(folder + "/korvan"), mode_t(0700));
}

void TestUserDirs::refusesWhereAFileStands()
{
    QTemporaryDir root;
    QFile file(root.path() + "/korvan");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(!platform::MakePrivateFolders(root.path().toStdString() + "/korvan/"));
    QVERIFY(!platform::MakePrivateFolders(root.path().toStdString() + "/korvan/deeper"));
    QVERIFY(!platform::MakePrivateFolders(""));
}

void TestUserDirs::writableFolders()
{
    QTemporaryDir root;
    const std::string folder = root.path().toStdString() + "/";
    QVERIFY(platform::IsFolderWritable(folder));
    QVERIFY(!platform::IsFolderWritable(folder + "missing/"));
    QFile file(root.path() + "/plain");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(!platform::IsFolderWritable(folder + "plain"));
    QVERIFY(!platform::IsFolderWritable(""));
    // Nothing was made to find out.
    QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{"plain"});
}

void TestUserDirs::unwritableForAnUnprivilegedUser()
{
    QTemporaryDir root;
    const std::string folder = root.path().toStdString();
    QCOMPARE(::chmod(folder.c_str(), 0555), 0);
    if (::getuid() != 0) {
        QVERIFY(!platform::IsFolderWritable(folder));
    } else {
        // The folder is root's: for anybody else it is not writable, whatever the mode.
        QCOMPARE(::chmod(folder.c_str(), 0755), 0);
        QCOMPARE(WritableAsNobody(folder), 0);
        QCOMPARE(::chmod(folder.c_str(), 0777), 0);
        QCOMPARE(WritableAsNobody(folder), 1);
    }
    QCOMPARE(::chmod(folder.c_str(), 0700), 0);
}

QTEST_GUILESS_MAIN(TestUserDirs)
#include "test_userdirs.moc"
