// The single-instance lock: one holder, a holder that dies frees it whatever way it dies, and another
// user of the machine can neither take it first nor make us use a folder of theirs.
#include "platform/instance.h"
#include "platform/userdirs.h"
#include "support/testsupport.h"

#include <QtTest>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kName = "korvan-test-" + std::to_string(::getpid());

class TEnvironment
{
public:
    TEnvironment(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~TEnvironment()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

class TestInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondHolderIsRefused();
    void killedHolderFreesTheLock();
    void anotherUserCannotTakeItFirst();
    void runtimeFolderOfAnotherUserIsNotUsed();
};

void TestInstance::secondHolderIsRefused()
{
    platform::InstanceLock first, second;
    QCOMPARE(first.Acquire(kName), platform::InstanceLock::Result::Acquired);
    QCOMPARE(second.Acquire(kName), platform::InstanceLock::Result::HeldElsewhere);
    QVERIFY(!second.Held());
    // Released by the holder (as the update hand-over does): the next start gets it at once.
    first.Release();
    QCOMPARE(second.Acquire(kName), platform::InstanceLock::Result::Acquired);
}

void TestInstance::killedHolderFreesTheLock()
{
    int ready[2];
    QVERIFY(::pipe(ready) == 0);
    pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        platform::InstanceLock lock;
        char ok = lock.Acquire(kName) == platform::InstanceLock::Result::Acquired ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    QCOMPARE(::read(ready[0], &ok, 1), ssize_t(1));
    QCOMPARE(ok, '1');
    platform::InstanceLock mine;
    QCOMPARE(mine.Acquire(kName), platform::InstanceLock::Result::HeldElsewhere);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    QCOMPARE(mine.Acquire(kName), platform::InstanceLock::Result::Acquired);
    ::close(ready[0]);
    ::close(ready[1]);
}

void TestInstance::anotherUserCannotTakeItFirst()
{
    if (::geteuid() != 0)
        QSKIP("only root can run a case as another user");
    // The name a lock in the abstract socket namespace used, and the lock as its own environment finds it.
    TOtherUser other([] {
        platform::InstanceLock theirs;
        (void)theirs.Acquire(kName);
        return BindAbstractSocket("korvan-" + kName + "-0") >= 0;
    });
    QVERIFY(other.Ready());
    platform::InstanceLock mine;
    QCOMPARE(mine.Acquire(kName), platform::InstanceLock::Result::Acquired);
    // Where it lives is the user's alone.
    struct stat st;
    const std::string folder = platform::PrivateRuntimeFolder();
    QVERIFY(!folder.empty());
    QVERIFY(::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
    QCOMPARE(st.st_mode & 0777, mode_t(0700));
    QCOMPARE(st.st_uid, ::geteuid());
}

void TestInstance::runtimeFolderOfAnotherUserIsNotUsed()
{
    if (::geteuid() != 0)
        QSKIP("only root can give a folder to another user");
    QTemporaryDir theirs, state;
    const std::string runtime = theirs.path().toStdString();
    QVERIFY(::chown(runtime.c_str(), kUnprivilegedId, kUnprivilegedId) == 0);
    QVERIFY(::chmod(runtime.c_str(), 0700) == 0);
    TEnvironment runtimeDir("XDG_RUNTIME_DIR", runtime);
    TEnvironment stateHome("XDG_STATE_HOME", state.path().toStdString());
    QVERIFY(platform::PrivateRuntimeFolder().empty());

    // The other user's copy holds the lock in its runtime folder; ours goes to our own state folder.
    QCOMPARE(RunInChild(
                 [&] {
                     platform::InstanceLock lock;
                     return lock.Acquire(kName) == platform::InstanceLock::Result::Acquired ? 0 : 1;
                 },
                 true),
             0);
    QVERIFY(QFileInfo::exists(theirs.path() + "/korvan/" + QString::fromStdString(kName) + ".lock"));
    platform::InstanceLock mine;
    QCOMPARE(mine.Acquire(kName), platform::InstanceLock::Result::Acquired);
    QVERIFY(QFileInfo::exists(state.path() + "/korvan/" + QString::fromStdString(kName) + ".lock"));
}

QTEST_GUILESS_MAIN(TestInstance)
#include "test_instance.moc"
