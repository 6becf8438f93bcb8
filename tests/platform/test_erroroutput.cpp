// Holding back standard error: what is written meanwhile, also straight to the descriptor as a library
// does, comes out after the hold when passed, and never when dropped.
#include "platform/erroroutput.h"

#include <QTemporaryFile>
#include <QtTest>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Standard error goes into a file of the test's own while one case runs.
class TCapturedErrors
{
public:
    TCapturedErrors()
    {
        QVERIFY(file_.open());
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        QVERIFY(saved_ >= 0 && ::dup2(file_.handle(), STDERR_FILENO) >= 0);
    }
    ~TCapturedErrors() { Restore(); }

    // What has reached the file so far, the hold still standing.
    QByteArray SoFar() const
    {
        QFile file(file_.fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QByteArray Text()
    {
        Restore();
        file_.seek(0);
        return file_.readAll();
    }

private:
    void Restore()
    {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }

    QTemporaryFile file_;
    int saved_ = -1;
};

void WriteBothWays(const char* first, const char* second)
{
    std::fputs(first, stderr);
    std::fflush(stderr);
    (void)!::write(STDERR_FILENO, second, std::strlen(second));
}

} // namespace

class TestErrorOutput : public QObject
{
    Q_OBJECT

private slots:
    void passedOutputComesAfterTheHold()
    {
        TCapturedErrors captured;
        std::fputs("before\n", stderr);
        std::fflush(stderr);
        {
            platform::TErrorOutputHold hold;
            WriteBothWays("held one\n", "held two\n");
            QCOMPARE(captured.SoFar(), QByteArray("before\n"));
            hold.Pass();
            std::fputs("after\n", stderr);
        }
        QCOMPARE(captured.Text(), QByteArray("before\nheld one\nheld two\nafter\n"));
    }

    void droppedOutputIsGone()
    {
        TCapturedErrors captured;
        {
            platform::TErrorOutputHold hold;
            WriteBothWays("noise\n", "more noise\n");
            hold.Drop();
            std::fputs("ours\n", stderr);
            // Ending a hold twice, or by the destructor after Drop, changes nothing.
            hold.Pass();
        }
        std::fputs("later\n", stderr);
        QCOMPARE(captured.Text(), QByteArray("ours\nlater\n"));
    }
};

QTEST_GUILESS_MAIN(TestErrorOutput)
#include "test_erroroutput.moc"
