// A save killed at any moment leaves tavix.ini whole: the old list or the new one, never a mix. Also when
// the folder takes no new file and the file is rewritten in place: the next start completes the rewrite.
#include "core/ini.h"
#include "core/servers_u.h"
#include "platform/files.h"
#include "support/testsupport.h"

#include <QtTest>
#include <csignal>
#include <grp.h>
#include <random>
#include <sys/stat.h>
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

// The step of an in-place save at which the child ends itself.
platform::TSaveStep killAt = platform::TSaveStep::JournalWritten;

void KillAtChosenStep(platform::TSaveStep step)
{
    if (step == killAt)
        ::raise(SIGKILL);
}

constexpr int kInPlaceKills = 20;
constexpr int kMaxInPlaceKillDelayUs = 40000;
// Big enough for a write to take a while, so that random kills also land inside one.
constexpr std::size_t kLongContent = 4 << 20;
constexpr std::size_t kShortContent = 1 << 20;

// A folder that takes no new file, with a tavix.ini that can be written; and a state folder for the
// journal. Root passes through permission bits, so then the saves run as another user.
class TInPlaceFixture
{
public:
    TInPlaceFixture()
    {
        QVERIFY(folder_.isValid() && state_.isValid());
        Ini = folder_.path().toStdString() + "/" + kIniFileName;
        QVERIFY(::chmod(state_.path().toStdString().c_str(), 0777) == 0);
    }
    ~TInPlaceFixture() { ::chmod(folder_.path().toStdString().c_str(), 0755); }
    void Seal() { QVERIFY(::chmod(folder_.path().toStdString().c_str(), 0555) == 0); }
    // Runs `body` as the user the saves belong to, with the state folder in its environment.
    int AsUser(const std::function<int()>& body, int timeoutMs = 10000) const
    {
        const std::string state = StateHome();
        return RunInChild(
            [&] {
                ::setenv("XDG_STATE_HOME", state.c_str(), 1);
                return body();
            },
            ::geteuid() == 0, timeoutMs);
    }
    std::string Read() const
    {
        std::string data;
        platform::ReadWholeFile(Ini, data);
        return data;
    }
    std::string StateHome() const { return state_.path().toStdString(); }
    std::string Ini;

private:
    QTemporaryDir folder_, state_;
};

} // namespace

class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void killDuringSaveNeverDamagesTheFile();
    void killAtEveryStepOfAnInPlaceSave_data();
    void killAtEveryStepOfAnInPlaceSave();
    void killAtRandomDuringInPlaceSaves();
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

void TestCrashSafety::killAtEveryStepOfAnInPlaceSave_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("longer"); // the new content is longer than the old
    for (auto [name, step] : {std::pair{"journal written", platform::TSaveStep::JournalWritten},
                              std::pair{"content written", platform::TSaveStep::ContentWritten},
                              std::pair{"truncated", platform::TSaveStep::Truncated},
                              std::pair{"journal removed", platform::TSaveStep::JournalRemoved}}) {
        QTest::addRow("%s, shorter", name) << int(step) << false;
        QTest::addRow("%s, longer", name) << int(step) << true;
    }
}

void TestCrashSafety::killAtEveryStepOfAnInPlaceSave()
{
    QFETCH(int, step);
    QFETCH(bool, longer);
    const std::string shortList = "[Main]\nWoWPath=short\n";
    const std::string longList = "[Main]\nWoWPath=a much longer path than the other one\n[A]\nAddress=a\n";
    const std::string& before = longer ? shortList : longList;
    const std::string& after = longer ? longList : shortList;
    TInPlaceFixture f;
    QVERIFY(platform::ReplaceFileAtomically(f.Ini, before));
    QVERIFY(::chmod(f.Ini.c_str(), 0666) == 0);
    f.Seal();

    killAt = static_cast<platform::TSaveStep>(step);
    QCOMPARE(f.AsUser([&] {
        platform::WatchSaveSteps(KillAtChosenStep);
        return platform::ReplaceFileAtomically(f.Ini, after) ? 0 : 1;
    }),
             -1);
    // Until the journal is written the file is untouched; from then on the next start completes it.
    QCOMPARE(f.AsUser([&] {
        platform::FinishInterruptedSave(f.Ini);
        return 0;
    }),
             0);
    QCOMPARE(f.Read(), after);
}

void TestCrashSafety::killAtRandomDuringInPlaceSaves()
{
    TInPlaceFixture f;
    const std::string generations[] = {std::string(kLongContent, 'L'), std::string(kShortContent, 's')};
    QVERIFY(platform::ReplaceFileAtomically(f.Ini, generations[0]));
    QVERIFY(::chmod(f.Ini.c_str(), 0666) == 0);
    f.Seal();

    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delayUs(0, kMaxInPlaceKillDelayUs);
    for (int round = 0; round < kInPlaceKills; ++round) {
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::setenv("XDG_STATE_HOME", f.StateHome().c_str(), 1);
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setresgid(kUnprivilegedId, kUnprivilegedId, kUnprivilegedId) != 0 ||
                 ::setresuid(kUnprivilegedId, kUnprivilegedId, kUnprivilegedId) != 0))
                ::_exit(1);
            (void)!::write(ready[1], "s", 1);
            for (int i = 0;; ++i)
                (void)platform::ReplaceFileAtomically(f.Ini, generations[i % 2]);
        }
        char started;
        QCOMPARE(::read(ready[0], &started, 1), ssize_t(1));
        ::close(ready[0]);
        ::close(ready[1]);
        ::usleep(static_cast<useconds_t>(delayUs(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        QCOMPARE(f.AsUser([&] {
            platform::FinishInterruptedSave(f.Ini);
            return 0;
        }),
                 0);
        const std::string now = f.Read();
        QVERIFY2(now == generations[0] || now == generations[1],
                 qPrintable(QString("damaged after kill %1").arg(round)));
    }
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "test_crashsafety.moc"
