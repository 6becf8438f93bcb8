// Server probes against loopback servers: states, pings, what the service publishes, and that every
// probe ends within its bound whatever the server or the resolver does.
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "probe_fixtures.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <QtTest>
#include <memory>

using namespace probetest;

namespace {

constexpr int kTestTimeoutMs = 1000;
// Connect and echo each get the time-out; the rest is room for a busy machine.
constexpr int kProbeBoundMs = 2 * kTestTimeoutMs + 1500;

} // namespace

class TestProbe : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void splitsAddresses_data();
    void splitsAddresses();
    void acceptingServerIsOnlineWithPing();
    void publishesEachStepOfAProbe();
    void ipv6ServerIsOnline();
    void refusedServerIsOffline();
    void unreachableAddressesAreOfflineWithoutEcho_data();
    void unreachableAddressesAreOfflineWithoutEcho();
    void silentServerEndsWithinTheBound();
    void unresolvableNameEndsWithinTheBound();
    void missingEchoLeavesServerOnlineWithoutPing();
    void resultFollowsAMovedServer();
    void removedEntryIsNotPublishedNorPinged();
    void twoProbesOfOneServerBothComplete();
    void timeOutComesFromItsSourceAtEachStart();
    void serviceGoneWhileProbesRunLeavesTheEntries();
    void unknownServerIsIgnored();

private:
    std::unique_ptr<TScratchIni> scratch_;
    std::unique_ptr<TProbeService> probes_;
    std::unique_ptr<TProbeRecorder> recorder_;
};

void TestProbe::init()
{
    scratch_ = std::make_unique<TScratchIni>();
    probes_ = std::make_unique<TProbeService>([] { return kTestTimeoutMs; });
    recorder_ = std::make_unique<TProbeRecorder>(*probes_);
}

void TestProbe::cleanup()
{
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    recorder_.reset();
    probes_.reset();
    scratch_.reset();
}

void TestProbe::splitsAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("no colon") << "realm.example"
                              << "realm.example" << 3724;
    QTest::newRow("host and port") << "10.0.0.5:8085"
                                   << "10.0.0.5" << 8085;
    QTest::newRow("last colon splits") << "a:b:8085"
                                       << "a:b" << 8085;
    QTest::newRow("port not a number") << "host:abc"
                                       << "host" << 3724;
    QTest::newRow("empty port") << "host:"
                                << "host" << 3724;
    QTest::newRow("port zero") << "host:0"
                               << "host" << 0;
    QTest::newRow("port wraps at 16 bits") << "host:70000"
                                           << "host" << 4464;
    QTest::newRow("trailing garbage") << "host:80x"
                                      << "host" << 3724;
    QTest::newRow("space in port") << "host: 80"
                                   << "host" << 3724;
    QTest::newRow("negative keeps low bits") << "host:-1"
                                             << "host" << 65535;
    QTest::newRow("beyond 32 bits") << "host:99999999999"
                                    << "host" << 3724;
    QTest::newRow("empty address") << ""
                                   << "" << 3724;
    QTest::newRow("only a colon") << ":"
                                  << "" << 3724;
    QTest::newRow("ipv6 literal with port") << "::1:4000"
                                            << "::1" << 4000;
    QTest::newRow("bracketed ipv6") << "[::1]:4000"
                                    << "[::1]" << 4000;
}

void TestProbe::splitsAddresses()
{
    QFETCH(QString, address);
    QFETCH(QString, host);
    QFETCH(int, port);
    TServerAddress split = SplitServerAddress(address.toStdString());
    QCOMPARE(QString::fromStdString(split.Host), host);
    QCOMPARE(int(split.Port), port);
}

void TestProbe::acceptingServerIsOnlineWithPing()
{
    TLoopbackListener server;
    QVERIFY(server.IsValid());
    AddTestServer("up", server.Address());
    probes_->StartProbe(Servers[0].Id);
    QCOMPARE(probes_->RunningCount(), 1);
    QCOMPARE(int(Servers[0].Status), int(ssChecking));
    QCOMPARE(Servers[0].Ping, kPingNone);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    // Loopback answers echo by itself, and a measured 0 ms is stored as 1.
    QVERIFY2(PingAsExpected(Servers[0].Ping), qPrintable(QString::number(Servers[0].Ping)));
}

void TestProbe::publishesEachStepOfAProbe()
{
    TLoopbackListener server;
    AddTestServer("refused", "127.0.0.1:" + std::to_string(ClosedPort()));
    AddTestServer("up", server.Address());
    const std::uint64_t refused = Servers[0].Id;
    const std::uint64_t up = Servers[1].Id;
    probes_->StartProbe(up);
    // The start is published at once, the entry already checking.
    QCOMPARE(recorder_->States(up).size(), size_t(1));
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    // At the start (checking), after the connect (online, ping not known), after the echo.
    const auto states = recorder_->States(up);
    QCOMPARE(states.size(), size_t(3));
    QCOMPARE(states[0], std::make_pair(int(ssChecking), int(kPingNone)));
    QCOMPARE(states[1], std::make_pair(int(ssOnline), int(kPingNone)));
    QCOMPARE(states[2].first, int(ssOnline));
    QVERIFY(PingAsExpected(states[2].second));
    QCOMPARE(recorder_->Finished(up), 1);
    QCOMPARE(recorder_->States(refused).size(), size_t(0));

    // A refused connect and its completion arrive together and are published together, once.
    recorder_->Clear();
    probes_->StartProbe(refused);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
    QCOMPARE(recorder_->States(refused).size(), size_t(2));
    QCOMPARE(recorder_->States(refused).back(), std::make_pair(int(ssOffline), int(kPingNone)));
    QCOMPARE(recorder_->Finished(refused), 1);
    QCOMPARE(recorder_->States(up).size(), size_t(0));
    QCOMPARE(recorder_->Finished(up), 0);
}

void TestProbe::ipv6ServerIsOnline()
{
    TLoopbackListener server("::1");
    if (!server.IsValid())
        QSKIP("IPv6 loopback is not available here");
    AddTestServer("v6", server.Address());
    probes_->StartProbe(Servers[0].Id);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    QVERIFY(PingAsExpected(Servers[0].Ping, platform::TAddressFamily::IPv6));
}

void TestProbe::refusedServerIsOffline()
{
    AddTestServer("down", "127.0.0.1:" + std::to_string(ClosedPort()));
    probes_->StartProbe(Servers[0].Id);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
    QCOMPARE(Servers[0].Ping, kPingNone);
}

void TestProbe::unreachableAddressesAreOfflineWithoutEcho_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty address") << "";
    QTest::newRow("port zero") << "127.0.0.1:0";
    QTest::newRow("empty host") << ":3724";
}

void TestProbe::unreachableAddressesAreOfflineWithoutEcho()
{
    QFETCH(QString, address);
    AddTestServer("bad", address.toStdString());
    probes_->StartProbe(Servers[0].Id);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
    QCOMPARE(Servers[0].Ping, kPingNone);
}

void TestProbe::silentServerEndsWithinTheBound()
{
    TLoopbackListener server("127.0.0.1", 0);
    QVERIFY(server.IsValid());
    server.FillBacklog(3);
    QTest::qWait(100);
    AddTestServer("silent", server.Address());
    probes_->StartProbe(Servers[0].Id);
    QTest::qWait(kTestTimeoutMs / 2);
    QCOMPARE(int(Servers[0].Status), int(ssChecking));
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
    QCOMPARE(Servers[0].Ping, kPingNone);
}

void TestProbe::unresolvableNameEndsWithinTheBound()
{
    AddTestServer("nowhere", "korvan-probe-test.invalid:3724");
    probes_->StartProbe(Servers[0].Id);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
    QCOMPARE(Servers[0].Ping, kPingNone);
}

void TestProbe::missingEchoLeavesServerOnlineWithoutPing()
{
    probes_->SetIcmpMode(platform::TIcmpMode::Disabled);
    TLoopbackListener server;
    AddTestServer("no echo", server.Address());
    probes_->StartProbe(Servers[0].Id);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    QCOMPARE(Servers[0].Ping, kPingNone);
    QCOMPARE(recorder_->States(Servers[0].Id).back(), std::make_pair(int(ssOnline), int(kPingNone)));
    QCOMPARE(recorder_->Finished(Servers[0].Id), 1);
}

void TestProbe::resultFollowsAMovedServer()
{
    TLoopbackListener server;
    AddTestServer("up", server.Address());
    AddTestServer("down", "127.0.0.1:" + std::to_string(ClosedPort()));
    const std::uint64_t up = Servers[0].Id;
    const std::uint64_t down = Servers[1].Id;
    probes_->StartProbe(Servers[0].Id);
    probes_->StartProbe(Servers[1].Id);
    QVERIFY(SwapServers(0, 1));
    // Growing the array moves every entry in memory while the probes run.
    for (int i = 0; i < 100; ++i)
        AddTestServer("filler " + std::to_string(i), "filler.invalid");
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(EntryById(up).Status), int(ssOnline));
    QVERIFY(PingAsExpected(EntryById(up).Ping));
    QCOMPARE(int(EntryById(down).Status), int(ssOffline));
    QCOMPARE(int(Servers[2].Status), int(ssChecking));
}

void TestProbe::removedEntryIsNotPublishedNorPinged()
{
    TLoopbackListener server;
    AddTestServer("kept", "127.0.0.1:" + std::to_string(ClosedPort()));
    AddTestServer("removed", server.Address());
    const std::uint64_t removed = Servers[1].Id;
    probes_->StartProbe(Servers[1].Id);
    recorder_->Clear();
    QVERIFY(RemoveServer("removed"));
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(recorder_->Signals(), 0);
    QCOMPARE(recorder_->Finished(removed), 0);
    QCOMPARE(int(EntryById(removed).Status), int(ssOnline));
    QCOMPARE(EntryById(removed).Ping, kPingNone);
}

void TestProbe::twoProbesOfOneServerBothComplete()
{
    TLoopbackListener server;
    AddTestServer("twice", server.Address());
    probes_->StartProbe(Servers[0].Id);
    probes_->StartProbe(Servers[0].Id);
    QCOMPARE(probes_->RunningCount(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    QVERIFY(PingAsExpected(Servers[0].Ping));
    QCOMPARE(recorder_->Finished(Servers[0].Id), 2);
}

void TestProbe::timeOutComesFromItsSourceAtEachStart()
{
    // A silent server holds its probe for the whole time-out: the one read when that probe started.
    TLoopbackListener silent("127.0.0.1", 0);
    QVERIFY(silent.IsValid());
    silent.FillBacklog(3);
    QTest::qWait(100);
    AddTestServer("silent", silent.Address());
    std::int32_t timeout = 2 * kTestTimeoutMs;
    TProbeService probes([&timeout] { return timeout; });
    QElapsedTimer clock;
    clock.start();
    probes.StartProbe(Servers[0].Id);
    // Changed while the probe runs: the probe keeps its own.
    timeout = kTestTimeoutMs;
    QTest::qWait(kTestTimeoutMs + kTestTimeoutMs / 2);
    QCOMPARE(probes.RunningCount(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(probes.RunningCount(), 0, kProbeBoundMs);
    QVERIFY(clock.elapsed() >= 2 * kTestTimeoutMs);

    // A value beyond the settings' bounds is held to them.
    timeout = 1;
    probes.StartProbe(Servers[0].Id);
    QTest::qWait(kMinTimeout / 2);
    QCOMPARE(probes.RunningCount(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(probes.RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
}

void TestProbe::serviceGoneWhileProbesRunLeavesTheEntries()
{
    TLoopbackListener silent("127.0.0.1", 0);
    QVERIFY(silent.IsValid());
    silent.FillBacklog(3);
    QTest::qWait(100);
    TLoopbackListener up;
    AddTestServer("silent", silent.Address());
    AddTestServer("up", up.Address());
    {
        TProbeService probes([] { return kTestTimeoutMs; });
        TProbeRecorder recorder(probes);
        probes.ProbeAllServers();
        QVERIFY(probes.RunningCount() > 0);
    }
    // Nothing arrives for a service that is gone: the entries stay as the start left them.
    QTest::qWait(kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssChecking));
    QCOMPARE(Servers[0].Ping, kPingNone);
}

void TestProbe::unknownServerIsIgnored()
{
    AddTestServer("only", "127.0.0.1:1");
    probes_->StartProbe(0);
    probes_->StartProbe(Servers[0].Id + 1);
    QCOMPARE(probes_->RunningCount(), 0);
    QCOMPARE(recorder_->Signals(), 0);
    QCOMPARE(Servers[0].Ping, kPingReset);
}

QTEST_GUILESS_MAIN(TestProbe)
#include "test_probe.moc"
