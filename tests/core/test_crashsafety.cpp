// A save killed at any moment leaves tavix.ini whole: the old list or the new one, never a mix.
#include "core/ini_u.h"
#include "core/servers_u.h"
#include "support/testsupport.h"

#include <QtTest>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kServerCount = 10000;
constexpr int kKills = 25;
// Saves run back to back from the moment the child is ready; this spreads the kills over several of them.
constexpr int kMaxKillDelayUs = 150000;

void FillServers(const std::string& tag)
{
    ResetServers();
    Servers.reserve(kServerCount);
    for (int i = 0; i < kServerCount; ++i) {
        TServer s;
        s.Name = "Server " + std::to_string(i);
        s.Address = tag + std::to_string(i) + ".example:3724";
        s.ServerType = 1;
        Servers.push_back(std::move(s));
    }
}

// Which of the two generations the file holds, or an empty text when it is neither.
std::string Generation(const std::string& path)
{
    TIniFile ini(path);
    if (!ini.Load())
        return {};
    auto names = ini.SectionNames();
    if (names.size() != static_cast<size_t>(kServerCount))
        return {};
    std::string tag;
    for (int i = 0; i < kServerCount; ++i) {
        const std::string name = "Server " + std::to_string(i);
        if (names[static_cast<size_t>(i)] != name)
            return {};
        std::string address = ini.ReadString(name, "Address", "");
        std::string expectedTail = std::to_string(i) + ".example:3724";
        if (address.size() <= expectedTail.size() ||
            address.compare(address.size() - expectedTail.size(), expectedTail.size(), expectedTail) != 0)
            return {};
        std::string t = address.substr(0, address.size() - expectedTail.size());
        if (i == 0)
            tag = t;
        else if (t != tag)
            return {};
    }
    return tag;
}

} // namespace

class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void killDuringSaveNeverDamagesTheFile();
};

void TestCrashSafety::killDuringSaveNeverDamagesTheFile()
{
    TScratchIni scratch;
    FillServers("old");
    QVERIFY(SaveServers());
    QCOMPARE(Generation(scratch.Path()), std::string("old"));

    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> delayUs(0, kMaxKillDelayUs);
    int sawNew = 0;
    for (int round = 0; round < kKills; ++round) {
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            FillServers(round % 2 ? "odd" : "even");
            (void)!::write(ready[1], "s", 1);
            for (;;)
                SaveServers();
        }
        char started;
        QCOMPARE(::read(ready[0], &started, 1), ssize_t(1));
        ::close(ready[0]);
        ::close(ready[1]);
        ::usleep(static_cast<useconds_t>(delayUs(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        std::string gen = Generation(scratch.Path());
        QVERIFY2(!gen.empty(), qPrintable(QString("damaged after kill %1").arg(round)));
        sawNew += gen != "old";
    }
    qInfo("kills that found a finished save of the new list: %d of %d", sawNew, kKills);
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "test_crashsafety.moc"
