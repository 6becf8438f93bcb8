// Server probes against loopback servers: states, pings, the hand-offs to the window, and that every
// probe ends within its bound whatever the server or the resolver does.
#include "core/settings_u.h"
#include "monitor/connection_u.h"
#include "probe_fixtures.h"
#include "support/testsupport.h"

#include <QtTest>

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
    void handsOffTwiceForTheSelectedServer();
    void ipv6ServerIsOnline();
    void refusedServerIsOffline();
    void unreachableAddressesAreOfflineWithoutEcho_data();
    void unreachableAddressesAreOfflineWithoutEcho();
    void silentServerEndsWithinTheBound();
    void unresolvableNameEndsWithinTheBound();
    void missingEchoLeavesServerOnlineWithoutPing();
    void resultFollowsAMovedServer();
    void removedEntryGetsNoHandOffsAndNoEcho();
    void twoProbesOfOneServerBothComplete();
    void goneWindowIsNotTouched();
    void outOfRangeIndexIsIgnored();

private:
    TScratchIni* scratch_ = nullptr;
    TDisplayRecorder* recorder_ = nullptr;
};

void TestProbe::init()
{
    scratch_ = new TScratchIni;
    recorder_ = new TDisplayRecorder;
    recorder_->Install();
    SetProbeIcmpMode(platform::TIcmpMode::Auto);
}

void TestProbe::cleanup()
{
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    SetProbeDisplay({});
    delete recorder_;
    delete scratch_;
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

    AddTestServer("s", address.toStdString());
    TServerAddress byIndex = SplitServerAddress(0);
    QCOMPARE(QString::fromStdString(byIndex.Host), host);
    QCOMPARE(int(byIndex.Port), port);
}

void TestProbe::acceptingServerIsOnlineWithPing()
{
    TLoopbackListener server;
    QVERIFY(server.IsValid());
    AddTestServer("up", server.Address());
    StartProbe(0, kTestTimeoutMs);
    QCOMPARE(RunningProbes.size(), 1);
    QCOMPARE(int(Servers[0].Status), int(ssChecking));
    QCOMPARE(Servers[0].Ping, kPingNone);
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    // Loopback answers echo by itself, and a measured 0 ms is stored as 1.
    QVERIFY2(PingAsExpected(Servers[0].Ping), qPrintable(QString::number(Servers[0].Ping)));
}

void TestProbe::handsOffTwiceForTheSelectedServer()
{
    TLoopbackListener server;
    AddTestServer("other", "127.0.0.1:" + std::to_string(ClosedPort()));
    AddTestServer("selected", server.Address());
    recorder_->Selected = 1;
    StartProbe(1, kTestTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    // At the start (checking), after the connect (online, ping not known), after the echo.
    QCOMPARE(recorder_->Refreshes.size(), size_t(3));
    QCOMPARE(recorder_->Refreshes[0], std::make_pair(int(ssChecking), int(kPingReset)));
    QCOMPARE(recorder_->Refreshes[1], std::make_pair(int(ssOnline), int(kPingNone)));
    QCOMPARE(recorder_->Refreshes[2].first, int(ssOnline));
    QVERIFY(PingAsExpected(recorder_->Refreshes[2].second));
    QCOMPARE(recorder_->Repaints, 3);
    QCOMPARE(recorder_->TimerEnables, 1);

    // A server that is not selected repaints the list and refreshes the display only after its
    // connect; its completion leaves the display and the timer alone. A refused connect and its
    // completion arrive together and are shown together.
    recorder_->Refreshes.clear();
    recorder_->Repaints = 0;
    StartProbe(0, kTestTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
    QCOMPARE(recorder_->Refreshes.size(), size_t(1));
    QCOMPARE(recorder_->Repaints, 2);
    QCOMPARE(recorder_->TimerEnables, 1);
}

void TestProbe::ipv6ServerIsOnline()
{
    TLoopbackListener server("::1");
    if (!server.IsValid())
        QSKIP("IPv6 loopback is not available here");
    AddTestServer("v6", server.Address());
    StartProbe(0, kTestTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    QVERIFY(PingAsExpected(Servers[0].Ping, platform::TAddressFamily::IPv6));
}

void TestProbe::refusedServerIsOffline()
{
    AddTestServer("down", "127.0.0.1:" + std::to_string(ClosedPort()));
    recorder_->Selected = 0;
    StartProbe(0, kTestTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
    QCOMPARE(Servers[0].Ping, kPingNone);
    // At the start, then once for the connect and the completion that come together: no echo step.
    QCOMPARE(recorder_->Refreshes.size(), size_t(2));
    QCOMPARE(recorder_->Refreshes[1].first, int(ssOffline));
    QCOMPARE(recorder_->TimerEnables, 1);
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
    StartProbe(0, kTestTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
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
    StartProbe(0, kTestTimeoutMs);
    QTest::qWait(kTestTimeoutMs / 2);
    QCOMPARE(int(Servers[0].Status), int(ssChecking));
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
    QCOMPARE(Servers[0].Ping, kPingNone);
}

void TestProbe::unresolvableNameEndsWithinTheBound()
{
    AddTestServer("nowhere", "korvan-probe-test.invalid:3724");
    StartProbe(0, kTestTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
    QCOMPARE(Servers[0].Ping, kPingNone);
}

void TestProbe::missingEchoLeavesServerOnlineWithoutPing()
{
    SetProbeIcmpMode(platform::TIcmpMode::Disabled);
    TLoopbackListener server;
    AddTestServer("no echo", server.Address());
    recorder_->Selected = 0;
    StartProbe(0, kTestTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    QCOMPARE(Servers[0].Ping, kPingNone);
    QCOMPARE(recorder_->Refreshes.back(), std::make_pair(int(ssOnline), int(kPingNone)));
}

void TestProbe::resultFollowsAMovedServer()
{
    TLoopbackListener server;
    AddTestServer("up", server.Address());
    AddTestServer("down", "127.0.0.1:" + std::to_string(ClosedPort()));
    const std::uint64_t up = Servers[0].Id;
    const std::uint64_t down = Servers[1].Id;
    StartProbe(0, kTestTimeoutMs);
    StartProbe(1, kTestTimeoutMs);
    QVERIFY(SwapServers(0, 1));
    // Growing the array moves every entry in memory while the probes run.
    for (int i = 0; i < 100; ++i)
        AddTestServer("filler " + std::to_string(i), "filler.invalid");
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    QCOMPARE(int(ServerById(up).Status), int(ssOnline));
    QVERIFY(PingAsExpected(ServerById(up).Ping));
    QCOMPARE(int(ServerById(down).Status), int(ssOffline));
    QCOMPARE(int(Servers[2].Status), int(ssChecking));
}

void TestProbe::removedEntryGetsNoHandOffsAndNoEcho()
{
    TLoopbackListener server;
    AddTestServer("kept", "127.0.0.1:" + std::to_string(ClosedPort()));
    AddTestServer("removed", server.Address());
    const std::uint64_t removed = Servers[1].Id;
    StartProbe(1, kTestTimeoutMs);
    recorder_->Repaints = 0;
    QVERIFY(RemoveServer("removed"));
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    QCOMPARE(recorder_->Repaints, 0);
    QCOMPARE(recorder_->TimerEnables, 0);
    QCOMPARE(int(ServerById(removed).Status), int(ssOnline));
    QCOMPARE(ServerById(removed).Ping, kPingNone);
}

void TestProbe::twoProbesOfOneServerBothComplete()
{
    TLoopbackListener server;
    AddTestServer("twice", server.Address());
    StartProbe(0, kTestTimeoutMs);
    StartProbe(0, kTestTimeoutMs);
    QCOMPARE(RunningProbes.size(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    QVERIFY(PingAsExpected(Servers[0].Ping));
}

void TestProbe::goneWindowIsNotTouched()
{
    TLoopbackListener server;
    AddTestServer("late", server.Address());
    int calls = 0;
    {
        auto* context = new QObject;
        TProbeDisplay display;
        display.Context = context;
        display.InvalidateList = [&calls] { ++calls; };
        display.SelectedIndex = [&calls] { return ++calls, 0; };
        display.RefreshStatus = [&calls] { ++calls; };
        display.EnableRefreshTimer = [&calls] { ++calls; };
        SetProbeDisplay(display);
        StartProbe(0, kTestTimeoutMs);
        calls = 0;
        delete context;
    }
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kProbeBoundMs);
    QCOMPARE(calls, 0);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
}

void TestProbe::outOfRangeIndexIsIgnored()
{
    AddTestServer("only", "127.0.0.1:1");
    StartProbe(-1, kTestTimeoutMs);
    StartProbe(1, kTestTimeoutMs);
    QVERIFY(RunningProbes.isEmpty());
    QCOMPARE(Servers[0].Ping, kPingReset);
}

QTEST_GUILESS_MAIN(TestProbe)
#include "test_probe.moc"
