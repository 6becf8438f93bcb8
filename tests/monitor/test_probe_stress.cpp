// Many probes at once while the main thread grows, reorders and removes entries of the server list:
// every result lands on its own server. Run under ThreadSanitizer this is the race check as well.
#include "monitor/probeservice.h"
#include "probe_fixtures.h"
#include "support/testsupport.h"

#include <QTimer>
#include <QtTest>
#include <map>
#include <memory>
#include <random>

using namespace probetest;

namespace {

constexpr int kTestTimeoutMs = 1000;
constexpr int kProbeBoundMs = 2 * kTestTimeoutMs + 3000;
constexpr int kListeners = 8;
constexpr int kServers = 400;
constexpr int kMutationIntervalMs = 1;

enum class TKind
{
    Up,
    Refused,
    Unresolvable,
};

} // namespace

class TestProbeStress : public QObject
{
    Q_OBJECT

private slots:
    void resultsLandOnTheirServersWhileTheListChanges();
};

void TestProbeStress::resultsLandOnTheirServersWhileTheListChanges()
{
    TScratchIni scratch;
    TProbeService probes([] { return kTestTimeoutMs; });
    TProbeRecorder recorder(probes);

    std::vector<std::unique_ptr<TLoopbackListener>> listeners;
    for (int i = 0; i < kListeners; ++i) {
        listeners.push_back(std::make_unique<TLoopbackListener>("127.0.0." + std::to_string(i + 1)));
        QVERIFY(listeners.back()->IsValid());
    }
    const std::string refused = "127.0.0.1:" + std::to_string(ClosedPort());

    std::map<std::uint64_t, TKind> kinds;
    std::mt19937 random(12345);
    int added = 0;
    auto addServer = [&] {
        const int n = added++;
        TKind kind = n % 5 == 4 ? TKind::Refused : n % 17 == 3 ? TKind::Unresolvable : TKind::Up;
        std::string address = kind == TKind::Up        ? listeners[n % kListeners]->Address()
                              : kind == TKind::Refused ? refused
                                                       : "stress-" + std::to_string(n) + ".invalid";
        const std::string name = "server " + std::to_string(n);
        AddTestServer(name, address);
        // The new entry goes in front of the removed ones, so it is not always the last.
        kinds[Servers[static_cast<std::size_t>(FindServer(name))].Id] = kind;
    };
    for (int i = 0; i < kServers; ++i)
        addServer();

    // Adds (which may move the whole array), swaps, removals and extra probes, between the starts.
    QTimer mutator;
    int mutations = 0;
    connect(&mutator, &QTimer::timeout, [&] {
        ++mutations;
        const int live = static_cast<int>(Servers.size());
        switch (random() % 4) {
        case 0:
            addServer();
            break;
        case 1:
            SwapServers(static_cast<int>(random() % live), static_cast<int>(random() % live));
            break;
        case 2: {
            const TServer& victim = Servers[random() % Servers.size()];
            if (!victim.Deleted)
                RemoveServer(victim.Name);
            break;
        }
        default: {
            const int index = static_cast<int>(random() % live);
            if (!Servers[static_cast<std::size_t>(index)].Deleted)
                probes.StartProbe(Servers[static_cast<std::size_t>(index)].Id);
            break;
        }
        }
    });
    mutator.start(kMutationIntervalMs);
    probes.ProbeAllServers();
    QTRY_COMPARE_WITH_TIMEOUT(probes.RunningCount(), 0, kProbeBoundMs);
    mutator.stop();
    QVERIFY(mutations > 0);

    int checked = 0;
    for (const auto& [id, kind] : kinds) {
        const int index = IndexOfServerId(id);
        QVERIFY(index >= 0);
        const TServer& s = Servers[static_cast<std::size_t>(index)];
        // Removed entries are not shown; and a swap can carry an entry behind the probe-all loop, or one
        // is added after it, so it was never probed: a probe always replaces the reset ping at once.
        if (s.Deleted || (s.Status == ssChecking && s.Ping == kPingReset))
            continue;
        ++checked;
        switch (kind) {
        case TKind::Up:
            QCOMPARE(int(s.Status), int(ssOnline));
            QVERIFY2(PingAsExpected(s.Ping), s.Name.c_str());
            break;
        case TKind::Refused:
        case TKind::Unresolvable:
            QCOMPARE(int(s.Status), int(ssOffline));
            QCOMPARE(s.Ping, kPingNone);
            break;
        }
    }
    QVERIFY(checked > kServers / 2);
}

QTEST_GUILESS_MAIN(TestProbeStress)
#include "test_probe_stress.moc"
