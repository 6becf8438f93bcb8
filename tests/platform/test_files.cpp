// Saves and reads of files a user does not expect: links, pipes, read-only files and folders, save files
// left by a kill. Cases that root would pass through run as an unprivileged user in a child process.
#include "platform/files.h"
#include "support/testsupport.h"

#include <QtTest>
#include <algorithm>
#include <csignal>
#include <cstddef>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kOld = "[Main]\nWoWPath=old\n";
const std::string kNew = "[Main]\nWoWPath=new, and a little longer than before\n";
constexpr int kPipeTimeoutMs = 3000;

// A scratch folder that the unprivileged user may enter and, when `writable`, create files in.
class TFolderFixture
{
public:
    explicit TFolderFixture(bool writable = true)
    {
        QVERIFY(dir_.isValid());
        ::chmod(dir_.path().toUtf8().constData(), writable ? 0777 : 0755);
    }
    std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const QString& n :
             QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            names.push_back(n.toStdString());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    QTemporaryDir dir_;
};

void Put(const std::string& path, const std::string& bytes, mode_t mode = 0644)
{
    ::unlink(path.c_str());
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ::close(fd);
    ::chmod(path.c_str(), mode);
}

std::string Get(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll().toStdString();
}

// True when files can be made unnamed in `folder` (and named later), so a save file is never seen unlocked.
bool MakesUnnamedFiles(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// From here on this process meets file systems as one that makes no unnamed files: asking for one fails as
// it fails there. False where the system filters no calls (or the test knows no filter for it).
bool RefuseUnnamedFiles()
{
#if defined(__x86_64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
    return false;
#endif
    constexpr std::uint32_t kUnnamedBit = O_TMPFILE & ~O_DIRECTORY;
    // The flags are the third argument of openat; their low half is the first word of it.
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 0, 4),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 2),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kUnnamedBit, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
    };
    sock_fprog filter = {static_cast<unsigned short>(std::size(program)), program};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

// A starting copy cleaning up at the very moment a save file first shows its name, in the saving process
// itself: the file's lock is on the open file, so this cleanup is as much another party as another process.
// The save runs in the folder of a tavix.ini, so no path needs to be kept for the cleanup.
void CleanUpWhenASaveFileIsNamed(platform::TSaveStep step)
{
    if (step == platform::TSaveStep::SaveFileNamed)
        platform::RemoveAbandonedSaveFiles("tavix.ini");
}

struct stat LStat(const std::string& path)
{
    struct stat st = {};
    ::lstat(path.c_str(), &st);
    return st;
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void linkIsWrittenThroughAndStaysALink_data();
    void linkIsWrittenThroughAndStaysALink();
    void filesThatFailForEveryone_data();
    void filesThatFailForEveryone();
    void readOnlyFileIsRefusedAlsoForRoot();
    void unwritableFileIsRefusedAndKept();
    void unreadableFileReadsAsFailure();
    void readOnlyFolderRewritesInPlace();
    void readOnlyFolderWithoutFileFails();
    void modeAndOwnerAreKept();
    void hardLinkKeepsTheOldContent();
    void pipesAndSocketsNeverBlock();
    void lockFileNeverFollowsALink();
    void abandonedSaveFilesAreRemoved();
    void saveFileOfARunningSaveIsKept();
    void killedSaveLeavesNothingAfterCleanup();
    void cleanupNeverTakesTheFileOfARunningSave();
    void savesWhereNoUnnamedFileCanBeMade();
};

void TestFiles::linkIsWrittenThroughAndStaysALink_data()
{
    QTest::addColumn<QString>("linkTarget"); // as the link holds it
    QTest::addColumn<QString>("realFile");   // where the data must land, relative to the folder
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("relative, existing") << "real.ini"
                                        << "real.ini" << true;
    QTest::newRow("relative, not yet there") << "real.ini"
                                             << "real.ini" << false;
    QTest::newRow("into a sub-folder") << "sub/real.ini"
                                       << "sub/real.ini" << true;
    QTest::newRow("chain of two links") << "hop.ini"
                                        << "real.ini" << true;
}

void TestFiles::linkIsWrittenThroughAndStaysALink()
{
    QFETCH(QString, linkTarget);
    QFETCH(QString, realFile);
    QFETCH(bool, targetExists);
    TFolderFixture f;
    ::mkdir(f.Path("sub").c_str(), 0755);
    if (linkTarget == "hop.ini")
        QVERIFY(::symlink("real.ini", f.Path("hop.ini").c_str()) == 0);
    if (targetExists)
        Put(f.Path(realFile.toStdString()), kOld);
    const std::string ini = f.Path("tavix.ini");
    QVERIFY(::symlink(linkTarget.toStdString().c_str(), ini.c_str()) == 0);

    QVERIFY(platform::ReplaceFileAtomically(ini, kNew));
    QVERIFY(S_ISLNK(LStat(ini).st_mode));
    QCOMPARE(Get(f.Path(realFile.toStdString())), kNew);
    // And again: the second save must find the same file, not a plain file that replaced the link.
    QVERIFY(platform::ReplaceFileAtomically(ini, kOld));
    QVERIFY(S_ISLNK(LStat(ini).st_mode));
    QCOMPARE(Get(f.Path(realFile.toStdString())), kOld);
    std::string read;
    QVERIFY(platform::ReadWholeFile(ini, read));
    QCOMPARE(read, kOld);
}

void TestFiles::filesThatFailForEveryone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("link to itself") << "loop";
    QTest::newRow("path through a regular file") << "through-file";
    QTest::newRow("a folder") << "folder";
}

void TestFiles::filesThatFailForEveryone()
{
    QFETCH(QString, kind);
    TFolderFixture f;
    std::string path = f.Path("tavix.ini");
    if (kind == "loop") {
        QVERIFY(::symlink("tavix.ini", path.c_str()) == 0);
    } else if (kind == "through-file") {
        Put(f.Path("plain"), kOld);
        path = f.Path("plain/tavix.ini");
    } else {
        QVERIFY(::mkdir(path.c_str(), 0755) == 0);
    }
    const auto before = f.Names();
    std::string read;
    bool missing = true;
    QVERIFY(!platform::ReadWholeFile(path, read, &missing));
    QVERIFY(!missing);
    QVERIFY(!platform::ReplaceFileAtomically(path, kNew));
    QCOMPARE(f.Names(), before);
    if (kind == "through-file")
        QCOMPARE(Get(f.Path("plain")), kOld);
}

void TestFiles::readOnlyFileIsRefusedAlsoForRoot()
{
    TFolderFixture f;
    const std::string ini = f.Path("tavix.ini");
    Put(ini, kOld, 0444);
    const ino_t inode = LStat(ini).st_ino;
    QVERIFY(!platform::ReplaceFileAtomically(ini, kNew));
    QCOMPARE(Get(ini), kOld);
    QCOMPARE(LStat(ini).st_mode & 07777, mode_t(0444));
    QCOMPARE(LStat(ini).st_ino, inode);
    QCOMPARE(f.Names(), std::vector<std::string>{"tavix.ini"});
}

void TestFiles::unwritableFileIsRefusedAndKept()
{
    // Writable by its owner only, and the user saving is someone else: the folder would let a rename
    // through, the file must not.
    TFolderFixture f;
    const std::string ini = f.Path("tavix.ini");
    Put(ini, kOld, 0644);
    const int rc = RunInChild([&] { return platform::ReplaceFileAtomically(ini, kNew) ? 1 : 0; }, true);
    QCOMPARE(rc, 0);
    QCOMPARE(Get(ini), kOld);
    QCOMPARE(LStat(ini).st_mode & 07777, mode_t(0644));
    QCOMPARE(LStat(ini).st_uid, uid_t(::geteuid()));
    QCOMPARE(f.Names(), std::vector<std::string>{"tavix.ini"});
}

void TestFiles::unreadableFileReadsAsFailure()
{
    TFolderFixture f;
    const std::string ini = f.Path("tavix.ini");
    Put(ini, kOld, 0600);
    const int rc = RunInChild(
        [&] {
            std::string data;
            bool missing = true;
            return !platform::ReadWholeFile(ini, data, &missing) && !missing && data.empty() ? 0 : 1;
        },
        true);
    QCOMPARE(rc, 0);
}

void TestFiles::readOnlyFolderRewritesInPlace()
{
    TFolderFixture f(false);
    TFolderFixture state;
    const std::string ini = f.Path("tavix.ini");
    Put(ini, kOld, 0666);
    const ino_t inode = LStat(ini).st_ino;
    auto save = [&](const std::string& data) {
        return RunInChild(
            [&] {
                ::setenv("XDG_STATE_HOME", state.Path("").c_str(), 1);
                return platform::ReplaceFileAtomically(ini, data) ? 0 : 1;
            },
            true);
    };
    QCOMPARE(save(kNew), 0);
    QCOMPARE(Get(ini), kNew);
    QCOMPARE(LStat(ini).st_ino, inode);
    // Shorter content leaves nothing of the longer one behind.
    QCOMPARE(save(kOld), 0);
    QCOMPARE(Get(ini), kOld);
    QCOMPARE(f.Names(), std::vector<std::string>{"tavix.ini"});
    // The journal went once the rewrite was done.
    QVERIFY(QDir(QString::fromStdString(state.Path("korvan")))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                .isEmpty());

    // Without a state folder of the user's own no journal can be kept, and the file is left as it is.
    ::chmod(state.Path("").c_str(), 0755);
    ::rmdir(state.Path("korvan").c_str());
    QCOMPARE(save(kNew), 1);
    QCOMPARE(Get(ini), kOld);
}

void TestFiles::readOnlyFolderWithoutFileFails()
{
    TFolderFixture f(false);
    const std::string ini = f.Path("tavix.ini");
    QCOMPARE(RunInChild([&] { return platform::ReplaceFileAtomically(ini, kNew) ? 1 : 0; }, true), 0);
    QVERIFY(f.Names().empty());
}

void TestFiles::modeAndOwnerAreKept()
{
    TFolderFixture f;
    const std::string ini = f.Path("tavix.ini");
    Put(ini, kOld, 0664);
    QVERIFY(::chown(ini.c_str(), kUnprivilegedId, kUnprivilegedId) == 0 || ::geteuid() != 0);
    const struct stat before = LStat(ini);
    QVERIFY(platform::ReplaceFileAtomically(ini, kNew));
    const struct stat after = LStat(ini);
    QCOMPARE(after.st_mode & 07777, mode_t(0664));
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(Get(ini), kNew);
}

void TestFiles::hardLinkKeepsTheOldContent()
{
    TFolderFixture f;
    const std::string ini = f.Path("tavix.ini");
    Put(ini, kOld);
    QVERIFY(::link(ini.c_str(), f.Path("copy.ini").c_str()) == 0);
    QVERIFY(platform::ReplaceFileAtomically(ini, kNew));
    QCOMPARE(Get(ini), kNew);
    QCOMPARE(Get(f.Path("copy.ini")), kOld);
    QCOMPARE(LStat(ini).st_nlink, nlink_t(1));
}

void TestFiles::pipesAndSocketsNeverBlock()
{
    TFolderFixture f;
    const std::string fifo = f.Path("tavix.ini");
    QVERIFY(::mkfifo(fifo.c_str(), 0666) == 0);
    const std::string sock = f.Path("sock.ini");
    int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", sock.c_str());
    QVERIFY(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    QVERIFY(::symlink("/dev/zero", f.Path("device.ini").c_str()) == 0);
    QVERIFY(::symlink("tavix.ini", f.Path("link-to-pipe.ini").c_str()) == 0);

    for (const std::string& path : {fifo, sock, f.Path("device.ini"), f.Path("link-to-pipe.ini")}) {
        const int rc = RunInChild(
            [&] {
                std::string data;
                if (platform::ReadWholeFile(path, data))
                    return 1;
                if (platform::ReplaceFileAtomically(path, kNew))
                    return 2;
                return 0;
            },
            false, kPipeTimeoutMs);
        QVERIFY2(rc == 0, path.c_str());
    }
    QVERIFY(S_ISFIFO(LStat(fifo).st_mode));
    QVERIFY(S_ISSOCK(LStat(sock).st_mode));
    ::close(s);
}

void TestFiles::lockFileNeverFollowsALink()
{
    TFolderFixture f;
    const std::string victim = f.Path("victim.txt");
    Put(victim, kOld);
    const std::string lock = f.Path("tavix.lck");
    QVERIFY(::symlink("victim.txt", lock.c_str()) == 0);
    // A link is no lock another copy made: a start does not wait for it to go.
    QCOMPARE(platform::LockFileState(lock), platform::TLockFileState::None);
    {
        platform::TWriterLock writing(lock);
        QVERIFY(writing.Held());
        QCOMPARE(Get(victim), kOld);
        QVERIFY(S_ISREG(LStat(lock).st_mode));
        // It names its writer and is held while the writer lives.
        QCOMPARE(Get(lock), std::to_string(::getpid()) + "\n");
        QCOMPARE(platform::LockFileState(lock), platform::TLockFileState::Live);
    }
    QVERIFY(!QFile::exists(QString::fromStdString(lock)));

    // A dangling link is not made into a file at its target either, and a pipe is not opened.
    QVERIFY(::symlink("elsewhere.txt", lock.c_str()) == 0);
    QVERIFY(platform::TWriterLock(lock).Held());
    QVERIFY(!QFile::exists(QString::fromStdString(f.Path("elsewhere.txt"))));
    QVERIFY(::mkfifo(lock.c_str(), 0666) == 0);
    QCOMPARE(platform::LockFileState(lock), platform::TLockFileState::None);
    QCOMPARE(RunInChild([&] { return platform::TWriterLock(lock).Held() ? 0 : 1; }, false, kPipeTimeoutMs), 0);
    QCOMPARE(f.Names(), std::vector<std::string>{"victim.txt"});

    // A file nobody holds is one whose writer is gone, whatever it says.
    Put(lock, kOld);
    QCOMPARE(platform::LockFileState(lock), platform::TLockFileState::Abandoned);
}

void TestFiles::abandonedSaveFilesAreRemoved()
{
    TFolderFixture f;
    const std::string ini = f.Path("tavix.ini");
    Put(ini, kOld);
    Put(f.Path("tavix.ini.aB3xY9.saving"), "partial");
    // Names a user may give files of their own are never taken for save files.
    for (const char* name : {"tavix.ini.backup", "tavix.ini.aB3xY9", "tavix.ini.ab.saving", "other.ini.aB3xY9.saving",
                             "tavix.ini.a-3xY9.saving"})
        Put(f.Path(name), "mine");
    QVERIFY(::symlink("victim", f.Path("tavix.ini.zzzzzz.saving").c_str()) == 0);
    platform::RemoveAbandonedSaveFiles(ini);
    const std::vector<std::string> expected = {
        "other.ini.aB3xY9.saving", "tavix.ini",        "tavix.ini.a-3xY9.saving", "tavix.ini.aB3xY9",
        "tavix.ini.ab.saving",     "tavix.ini.backup", "tavix.ini.zzzzzz.saving"};
    QCOMPARE(f.Names(), expected);
    QCOMPARE(Get(ini), kOld);

    // Through a link, the save files lie beside the link's target.
    TFolderFixture other;
    Put(other.Path("real.ini"), kOld);
    Put(other.Path("real.ini.Q1w2E3.saving"), "partial");
    QVERIFY(::symlink(other.Path("real.ini").c_str(), f.Path("linked.ini").c_str()) == 0);
    platform::RemoveAbandonedSaveFiles(f.Path("linked.ini"));
    QCOMPARE(other.Names(), std::vector<std::string>{"real.ini"});
}

void TestFiles::saveFileOfARunningSaveIsKept()
{
    TFolderFixture f;
    const std::string ini = f.Path("tavix.ini");
    const std::string saving = f.Path("tavix.ini.R7t8U9.saving");
    Put(saving, "being written");
    // A writer in another process holds the file as a save does while it writes.
    int ready[2];
    QVERIFY(::pipe(ready) == 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        int fd = ::open(saving.c_str(), O_RDWR);
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const bool held = fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
        (void)!::write(ready[1], held ? "y" : "n", 1);
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    QCOMPARE(::read(ready[0], &held, 1), ssize_t(1));
    QCOMPARE(held, 'y');
    platform::RemoveAbandonedSaveFiles(ini);
    QVERIFY(QFile::exists(QString::fromStdString(saving)));
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    // Its writer is gone now.
    platform::RemoveAbandonedSaveFiles(ini);
    QVERIFY(!QFile::exists(QString::fromStdString(saving)));
    ::close(ready[0]);
    ::close(ready[1]);
}

void TestFiles::killedSaveLeavesNothingAfterCleanup()
{
    constexpr int kSaves = 60;
    constexpr int kCleanPauseUs = 500;
    constexpr int kKillAfterUs = 30000;
    TFolderFixture f;
    const std::string ini = f.Path("tavix.ini");
    Put(ini, kOld);
    // Large enough that cleaning and killing land inside a save now and then.
    const std::string big(1 << 20, 'x');

    // A starting copy cleans up while another copy saves: no save may lose its file to it.
    const pid_t saver = ::fork();
    if (saver == 0) {
        int failed = 0;
        for (int i = 0; i < kSaves; ++i)
            failed += !platform::ReplaceFileAtomically(ini, i % 2 ? big : kOld);
        ::_exit(failed);
    }
    int status = 0;
    while (::waitpid(saver, &status, WNOHANG) == 0) {
        platform::RemoveAbandonedSaveFiles(ini);
        ::usleep(kCleanPauseUs);
    }
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);

    // A save killed part-way: its file goes at the next cleanup, the list stays whole.
    const pid_t killed = ::fork();
    if (killed == 0) {
        for (;;)
            platform::ReplaceFileAtomically(ini, big);
    }
    ::usleep(kKillAfterUs);
    ::kill(killed, SIGKILL);
    ::waitpid(killed, nullptr, 0);
    platform::RemoveAbandonedSaveFiles(ini);
    QCOMPARE(f.Names(), std::vector<std::string>{"tavix.ini"});
    const std::string left = Get(ini);
    QVERIFY(left == kOld || left == big);
}

void TestFiles::cleanupNeverTakesTheFileOfARunningSave()
{
    TFolderFixture f;
    if (!MakesUnnamedFiles(f.Path("")))
        QSKIP("the file system here makes no unnamed files, so a save file is named before it is locked");
    const std::string ini = f.Path("tavix.ini");
    Put(ini, kOld, 0640);

    // The worst moment, every time: a save that lost its file here would make another and lose it again.
    const int rc = RunInChild([&] {
        if (::chdir(f.Path("").c_str()) != 0)
            return 2;
        platform::WatchSaveSteps(CleanUpWhenASaveFileIsNamed);
        return platform::ReplaceFileAtomically(ini, kNew) && platform::ReplaceFileAtomically(ini, kOld) &&
                       platform::ReplaceFileAtomically(ini, kNew)
                   ? 0
                   : 1;
    });
    QCOMPARE(rc, 0);
    QCOMPARE(Get(ini), kNew);
    QCOMPARE(LStat(ini).st_mode & 07777, mode_t(0640));
    QCOMPARE(f.Names(), std::vector<std::string>{"tavix.ini"});

    // And a cleanup running flat out beside many saves, as fast as it can go.
    constexpr int kSaves = 100;
    const std::string big(1 << 16, 'x');
    const pid_t saver = ::fork();
    if (saver == 0) {
        int failed = 0;
        for (int i = 0; i < kSaves; ++i)
            failed += !platform::ReplaceFileAtomically(ini, i % 2 ? big : kOld);
        ::_exit(std::min(failed, 100));
    }
    int status = 0;
    while (::waitpid(saver, &status, WNOHANG) == 0)
        platform::RemoveAbandonedSaveFiles(ini);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(Get(ini), big);
    QCOMPARE(f.Names(), std::vector<std::string>{"tavix.ini"});
}

void TestFiles::savesWhereNoUnnamedFileCanBeMade()
{
    // There the save file is made under its name and locked right after; the guarantees are the same.
    constexpr int kNoFilter = 2;
    TFolderFixture f;
    const std::string real = f.Path("real.ini");
    const std::string ini = f.Path("tavix.ini");
    const std::string lock = f.Path("tavix.lck");
    Put(real, kOld, 0640);
    QVERIFY(::symlink("real.ini", ini.c_str()) == 0);
    const int rc = RunInChild([&] {
        if (!RefuseUnnamedFiles())
            return kNoFilter;
        if (::open(f.Path("").c_str(), O_TMPFILE | O_RDWR, 0600) >= 0 || errno != EOPNOTSUPP)
            return 3;
        if (!platform::ReplaceFileAtomically(ini, kNew))
            return 4;
        const platform::TWriterLock writing(lock);
        return writing.Held() && platform::LockFileState(lock) == platform::TLockFileState::Live ? 0 : 5;
    });
    if (rc == kNoFilter)
        QSKIP("this system filters no calls, so every file system here makes unnamed files");
    QCOMPARE(rc, 0);
    QCOMPARE(Get(real), kNew);
    QCOMPARE(LStat(real).st_mode & 07777, mode_t(0640));
    QVERIFY(S_ISLNK(LStat(ini).st_mode));
    QCOMPARE(f.Names(), (std::vector<std::string>{"real.ini", "tavix.ini"}));
}

QTEST_GUILESS_MAIN(TestFiles)
#include "test_files.moc"
