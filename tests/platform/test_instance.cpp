// The single-instance lock: one holder, and a holder that dies frees it whatever way it dies.
#include "platform/instance.h"

#include <QtTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kName = "korvan-test-" + std::to_string(::getpid());

} // namespace

class TestInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondHolderIsRefused();
    void killedHolderFreesTheLock();
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

QTEST_GUILESS_MAIN(TestInstance)
#include "test_instance.moc"
