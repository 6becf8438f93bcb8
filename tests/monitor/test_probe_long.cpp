// Long server lists: results are published in batches, connects beyond the open-file limit wait
// their turn instead of failing, and the program's end gives up the probes that have not started.
#include "monitor/probeservice.h"
#include "probe_fixtures.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <QtTest>
#include <memory>
#include <sys/resource.h>

using namespace probetest;

namespace {

// Low enough that a few hundred servers fill the connects allowed at once.
constexpr rlim_t kOpenFileLimit = 320;
constexpr int kTestTimeoutMs = 1000;
constexpr int kRefusedCount = 3000;
constexpr int kSilentCount = 1500;
// The round of a list ends by itself within this, a drop within one time-out and some room.
constexpr int kRoundBoundMs = 60000;
constexpr int kDropBoundMs = kTestTimeoutMs + 1000;

} // namespace

class TestProbeLong : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void resultsAreShownInBatches();
    void connectsBeyondTheLimitWaitTheirTurn();
    void endDropsWhatHasNotStarted();

private:
    std::unique_ptr<TScratchIni> scratch_;
    std::unique_ptr<TProbeService> probes_;
    std::unique_ptr<TProbeRecorder> recorder_;
};

void TestProbeLong::initTestCase()
{
    rlimit limit = {kOpenFileLimit, kOpenFileLimit};
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
}

void TestProbeLong::init()
{
    scratch_ = std::make_unique<TScratchIni>();
    probes_ = std::make_unique<TProbeService>([] { return kTestTimeoutMs; });
    recorder_ = std::make_unique<TProbeRecorder>(*probes_);
    probes_->SetIcmpMode(platform::TIcmpMode::Disabled);
}

void TestProbeLong::cleanup()
{
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kRoundBoundMs);
    recorder_.reset();
    probes_.reset();
    scratch_.reset();
}

void TestProbeLong::resultsAreShownInBatches()
{
    const std::string refused = "127.0.0.1:" + std::to_string(ClosedPort());
    for (int i = 0; i < kRefusedCount; ++i)
        AddTestServer("s" + std::to_string(i), refused);
    const std::uint64_t watched = Servers[kRefusedCount / 2].Id;
    probes_->ProbeAllServers();
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kRoundBoundMs);
    for (const TServer& s : Servers)
        QCOMPARE(int(s.Status), int(ssOffline));
    // Not one repaint per result: one per batch that arrived together.
    QVERIFY2(recorder_->Repaints < kRefusedCount / 10, qPrintable(QString::number(recorder_->Repaints)));
    // One server hears of its start, then of its connect and completion that came together.
    QCOMPARE(recorder_->States(watched).size(), std::size_t(2));
    QCOMPARE(recorder_->States(watched).back().first, int(ssOffline));
    QCOMPARE(recorder_->Finished(watched), 1);
}

void TestProbeLong::connectsBeyondTheLimitWaitTheirTurn()
{
    // Far more servers than handles: none may come out offline for want of a socket. Each listener
    // takes fewer connections than its backlog holds, as nobody accepts them.
    constexpr int kListeners = 4;
    constexpr int kPerListener = static_cast<int>(kOpenFileLimit);
    std::vector<std::unique_ptr<TLoopbackListener>> servers;
    for (int l = 0; l < kListeners; ++l) {
        servers.push_back(std::make_unique<TLoopbackListener>());
        QVERIFY(servers.back()->IsValid());
        for (int i = 0; i < kPerListener; ++i)
            AddTestServer("s" + std::to_string(l) + "." + std::to_string(i), servers.back()->Address());
    }
    probes_->ProbeAllServers();
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kRoundBoundMs);
    int online = 0;
    for (const TServer& s : Servers)
        online += s.Status == ssOnline;
    QCOMPARE(online, static_cast<int>(Servers.size()));
}

void TestProbeLong::endDropsWhatHasNotStarted()
{
    // Servers that never answer: each connect holds its handle for the whole time-out, so most of the
    // list waits. At the end only the connects under way are waited for.
    TLoopbackListener silent("127.0.0.1", 0);
    QVERIFY(silent.IsValid());
    silent.FillBacklog(3);
    QTest::qWait(100);
    for (int i = 0; i < kSilentCount; ++i)
        AddTestServer("s" + std::to_string(i), silent.Address());
    probes_->ProbeAllServers();
    QVERIFY(probes_->RunningCount() > 0);
    QElapsedTimer clock;
    clock.start();
    probes_->DropWaitingProbes();
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kDropBoundMs);
    QVERIFY(clock.elapsed() <= kDropBoundMs);

    // A later round starts afresh.
    Servers.resize(1);
    AddTestServer("refused", "127.0.0.1:" + std::to_string(ClosedPort()));
    probes_->StartProbe(Servers[1].Id);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kDropBoundMs);
    QCOMPARE(int(Servers[1].Status), int(ssOffline));
}

QTEST_GUILESS_MAIN(TestProbeLong)
#include "test_probe_long.moc"
