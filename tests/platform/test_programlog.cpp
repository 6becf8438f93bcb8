// The log of a started program: where its output lands, the previous run kept, the cap that drops the
// oldest part while the program runs, and a log name that is a link.
#include "platform/process.h"
#include "platform/programlog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 15000;

QByteArray Read(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The log once it ends with `last`, or what it holds when that did not come in time.
QByteArray WaitForEnd(const std::string& path, const QByteArray& last)
{
    QElapsedTimer timer;
    timer.start();
    QByteArray content = Read(path);
    while (!content.endsWith(last) && timer.elapsed() < kWaitMs) {
        QThread::msleep(20);
        content = Read(path);
    }
    return content;
}

bool StartShell(const std::string& script, const platform::TProgramLog* log)
{
    return platform::StartProgram({"/bin/sh", "-c", script}, {}, {}, log);
}

mode_t ModeOf(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

class TestProgramLog : public QObject
{
    Q_OBJECT

private slots:
    void cutPoint()
    {
        using platform::LogCutPoint;
        constexpr std::uint64_t cap = 1000;
        QCOMPARE(LogCutPoint(0, 1000, cap), std::uint64_t(0));
        QCOMPARE(LogCutPoint(900, 100, cap), std::uint64_t(0));
        // One byte too many: the oldest part goes, so that a quarter of the cap is free after the new bytes.
        QCOMPARE(LogCutPoint(900, 101, cap), std::uint64_t(900 - (1000 - 101 - 250)));
        QCOMPARE(LogCutPoint(1000, 10, cap), std::uint64_t(1000 - 740));
        // New bytes near the cap leave little or nothing of the old ones.
        QCOMPARE(LogCutPoint(500, 800, cap), std::uint64_t(500));
        QCOMPARE(LogCutPoint(500, 1000, cap), std::uint64_t(500));
        QCOMPARE(LogCutPoint(500, 2000, cap), std::uint64_t(500));
        // Whatever comes, the kept part and the new bytes fit.
        for (std::uint64_t size : {0, 1, 700, 999, 1000})
            for (std::uint64_t incoming : {1, 10, 250, 999, 1000})
                QVERIFY(size - LogCutPoint(size, incoming, cap) + incoming <= cap);
    }

    void outputLandsAndKeepsComingAfterTheLogIsLetGo()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("alpha.log")).toStdString();
        {
            auto log = platform::TProgramLog::Open(path);
            QVERIFY(log);
            QVERIFY(StartShell("echo out; echo err >&2; sleep 0.5; echo later", log.get()));
        }
        // This side of the pipe is closed: what the program writes later still lands.
        QCOMPARE(WaitForEnd(path, "later\n"), QByteArray("out\nerr\nlater\n"));
        QCOMPARE(ModeOf(path), mode_t(0600));
        // A program started without a log is not affected by one.
        QVERIFY(platform::StartProgram({"/bin/true"}));
    }

    void previousRunIsKept()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("alpha.log")).toStdString();
        const std::string previous = path + platform::kPreviousLogSuffix;
        for (const char* run : {"first", "second", "third"}) {
            auto log = platform::TProgramLog::Open(path);
            QVERIFY(log);
            QVERIFY(StartShell(std::string("echo ") + run, log.get()));
            log.reset();
            QCOMPARE(WaitForEnd(path, QByteArray(run) + "\n"), QByteArray(run) + "\n");
        }
        QCOMPARE(Read(previous), QByteArray("second\n"));
        QCOMPARE(ModeOf(previous), mode_t(0600));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"alpha.log", "alpha.log.1"}));
    }

    void linkAtTheLogsNameIsNotFollowed()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("alpha.log")).toStdString();
        const std::string target = dir.filePath(QStringLiteral("precious.txt")).toStdString();
        QFile precious(QString::fromStdString(target));
        QVERIFY(precious.open(QIODevice::WriteOnly) && precious.write("mine\n") == 5);
        precious.close();
        QCOMPARE(::symlink(target.c_str(), path.c_str()), 0);
        auto log = platform::TProgramLog::Open(path);
        QVERIFY(log);
        QVERIFY(StartShell("echo game", log.get()));
        log.reset();
        QCOMPARE(WaitForEnd(path, "game\n"), QByteArray("game\n"));
        QCOMPARE(Read(target), QByteArray("mine\n"));
        struct stat st;
        QVERIFY(::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode));
        // The link went aside with the old log, as a link.
        QVERIFY(::lstat((path + platform::kPreviousLogSuffix).c_str(), &st) == 0 && S_ISLNK(st.st_mode));
        // A log name where nothing can be made: no log, and nothing written anywhere else.
        QVERIFY(!platform::TProgramLog::Open(dir.filePath(QStringLiteral("missing/alpha.log")).toStdString()));
    }

    void capKeepsTheEndWhileTheProgramRuns()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("loud.log")).toStdString();
        // Several times the largest piece the copier reads at once, as the real cap is.
        constexpr std::uint64_t cap = 256 * 1024;
        auto log = platform::TProgramLog::Open(path, cap);
        QVERIFY(log);
        // About 1.3 MB of numbered lines, then twenty more megabytes: the program is never held up by the log.
        QElapsedTimer timer;
        timer.start();
        QVERIFY(StartShell("seq 1 200000; head -c 20000000 /dev/zero | tr '\\0' 'z' | fold -w 99; seq 300000 300100",
                           log.get()));
        log.reset();
        const QByteArray content = WaitForEnd(path, "300100\n");
        QVERIFY2(content.endsWith("300099\n300100\n"), content.right(200).constData());
        QVERIFY(timer.elapsed() < kWaitMs);
        QVERIFY(std::uint64_t(content.size()) <= cap);
        QVERIFY2(std::uint64_t(content.size()) >= cap / 2, QByteArray::number(content.size()).constData());
        // The kept part starts at a whole line.
        const QList<QByteArray> lines = content.split('\n');
        QVERIFY2(lines.first() == QByteArray(99, 'z') || lines.first() == QByteArray(20000000 % 99, 'z') ||
                     lines.first().startsWith("300"),
                 lines.first().left(200).constData());
    }
};

QTEST_GUILESS_MAIN(TestProgramLog)
#include "test_programlog.moc"
