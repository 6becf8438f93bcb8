// The watch of the servers and their probe history, fed with outcomes as the probes would give them:
// what is announced when a server flaps, when every server fails at once, and what an hour of probes
// keeps.
#include "monitor/probehistory.h"
#include "monitor/serverwatch.h"

#include <QtTest>

namespace {

using TKind = TWatchNews::TKind;
using TTime = TServerWatch::TClock::time_point;

const TTime kStart{};

TWatchNews Online(std::uint64_t id)
{
    return {TKind::ServerOnline, id};
}

TWatchNews Offline(std::uint64_t id)
{
    return {TKind::ServerOffline, id};
}

const TWatchNews kNetworkDown{TKind::NetworkDown, 0};
const TWatchNews kNetworkBack{TKind::NetworkBack, 0};

// A round of probes of `ids` whose outcomes are `online`, one for each; the news of the whole round.
std::vector<TWatchNews> Round(TServerWatch& watch, const std::vector<std::uint64_t>& ids,
                              const std::vector<bool>& online, TTime at = kStart)
{
    watch.BeginRound(ids, at);
    std::vector<TWatchNews> news;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        std::vector<TWatchNews> some = watch.Probed(ids[i], online[i], at);
        news.insert(news.end(), some.begin(), some.end());
    }
    return news;
}

} // namespace

class TestServerWatch : public QObject
{
    Q_OBJECT

private slots:
    void aFlappingServerIsAnnouncedAtEveryFlapWithAHoldOfOne();
    void aHoldOfTwoAnnouncesOnlyChangesThatLast();
    void holdIsClampedAndTakesEffectAtOnce();
    void everyServerFailingTogetherIsTheNetworkOnce();
    void aSingleFailingServerIsNoNetworkVerdict();
    void aRoundIsWeighedOnlyWhenItsLastOutcomeIsIn();
    void aRoundWhoseProbeNeverEndsIsClosedAfterItsLimit();

    void historyKeepsThirtyProbesInOrderWithTheirFigures();
    void historyKeepsOnlyTheLastHourOfProbes();
    void summaryWeighsOnlyTheLastHour();
    void columnsMarkOutagesAndKeepTheNewestAtTheRight();
};

void TestServerWatch::aFlappingServerIsAnnouncedAtEveryFlapWithAHoldOfOne()
{
    TServerWatch watch(1);
    // Its first state is where it stands, not news.
    QVERIFY(watch.Probed(7, true, kStart).empty());
    QVERIFY(watch.HasHeldState(7));
    QVERIFY(watch.HeldOnline(7));
    QCOMPARE(watch.Probed(7, false, kStart), std::vector<TWatchNews>{Offline(7)});
    QCOMPARE(watch.Probed(7, true, kStart), std::vector<TWatchNews>{Online(7)});
    QVERIFY(watch.Probed(7, true, kStart).empty());
    QCOMPARE(watch.Probed(7, false, kStart), std::vector<TWatchNews>{Offline(7)});
    QVERIFY(!watch.HeldOnline(7));
}

void TestServerWatch::aHoldOfTwoAnnouncesOnlyChangesThatLast()
{
    TServerWatch watch(2);
    QVERIFY(watch.Probed(7, true, kStart).empty());
    // Accepts, refuses, accepts...: no flap lasts two probes.
    for (int i = 0; i < 5; ++i) {
        QVERIFY(watch.Probed(7, false, kStart).empty());
        QVERIFY(watch.Probed(7, true, kStart).empty());
    }
    QVERIFY(watch.HeldOnline(7));
    QVERIFY(watch.Probed(7, false, kStart).empty());
    QCOMPARE(watch.Probed(7, false, kStart), std::vector<TWatchNews>{Offline(7)});
    // Once counted, a third failure is no news; the way back needs two answers as well.
    QVERIFY(watch.Probed(7, false, kStart).empty());
    QVERIFY(watch.Probed(7, true, kStart).empty());
    QCOMPARE(watch.Probed(7, true, kStart), std::vector<TWatchNews>{Online(7)});
    // Servers count apart.
    QVERIFY(watch.Probed(8, false, kStart).empty());
    QVERIFY(watch.Probed(8, true, kStart).empty());
    QVERIFY(watch.Probed(7, false, kStart).empty());
    QCOMPARE(watch.Probed(8, true, kStart), std::vector<TWatchNews>{Online(8)});
}

void TestServerWatch::holdIsClampedAndTakesEffectAtOnce()
{
    TServerWatch watch(0);
    QCOMPARE(watch.HoldProbes(), 1);
    watch.SetHoldProbes(9);
    QCOMPARE(watch.HoldProbes(), 5);
    watch.SetHoldProbes(3);
    QVERIFY(watch.Probed(1, true, kStart).empty());
    QVERIFY(watch.Probed(1, false, kStart).empty());
    QVERIFY(watch.Probed(1, false, kStart).empty());
    // Lowered while a change is being counted: the probes already counted count.
    watch.SetHoldProbes(2);
    QCOMPARE(watch.Probed(1, false, kStart), std::vector<TWatchNews>{Offline(1)});
}

void TestServerWatch::everyServerFailingTogetherIsTheNetworkOnce()
{
    TServerWatch watch(1);
    const std::vector<std::uint64_t> ids{1, 2, 3};
    QVERIFY(Round(watch, ids, {true, true, false}).empty());
    // All at once: one piece of news, not one per server, and no server counted as down.
    QCOMPARE(Round(watch, ids, {false, false, false}), std::vector<TWatchNews>{kNetworkDown});
    QVERIFY(watch.NetworkDown());
    QVERIFY(Round(watch, ids, {false, false, false}).empty());
    QVERIFY(watch.Probed(1, false, kStart).empty());
    QVERIFY(watch.HeldOnline(1));
    QVERIFY(watch.HeldOnline(2));
    // Back: said once; the servers that held are no news, one still gone is told in its own right.
    QCOMPARE(Round(watch, ids, {true, false, true}), (std::vector<TWatchNews>{kNetworkBack, Offline(2), Online(3)}));
    QVERIFY(!watch.NetworkDown());

    // With a hold of two, the network's verdict wipes a change half counted.
    TServerWatch held(2);
    QVERIFY(Round(held, ids, {true, true, true}).empty());
    QVERIFY(Round(held, ids, {false, true, true}).empty());
    QCOMPARE(Round(held, ids, {false, false, false}), std::vector<TWatchNews>{kNetworkDown});
    QCOMPARE(Round(held, ids, {false, true, true}), std::vector<TWatchNews>{kNetworkBack});
    QCOMPARE(Round(held, ids, {false, true, true}), std::vector<TWatchNews>{Offline(1)});
}

void TestServerWatch::aSingleFailingServerIsNoNetworkVerdict()
{
    TServerWatch watch(1);
    QVERIFY(Round(watch, {1}, {true}).empty());
    QCOMPARE(Round(watch, {1}, {false}), std::vector<TWatchNews>{Offline(1)});
    QVERIFY(!watch.NetworkDown());
    // A server named twice in a round is one server.
    QVERIFY(Round(watch, {2, 2}, {true, true}).empty());
    QCOMPARE(Round(watch, {2, 2}, {false, false}), std::vector<TWatchNews>{Offline(2)});
    QVERIFY(!watch.NetworkDown());
}

void TestServerWatch::aRoundIsWeighedOnlyWhenItsLastOutcomeIsIn()
{
    TServerWatch watch(1);
    QVERIFY(Round(watch, {1, 2}, {true, true}).empty());
    watch.BeginRound({1, 2}, kStart);
    // The first failure could still be the network's: nothing yet.
    QVERIFY(watch.Probed(1, false, kStart).empty());
    // Another probe of a server outside the round is weighed on its own meanwhile.
    QVERIFY(watch.Probed(3, false, kStart).empty());
    QCOMPARE(watch.Probed(2, true, kStart), std::vector<TWatchNews>{Offline(1)});
}

void TestServerWatch::aRoundWhoseProbeNeverEndsIsClosedAfterItsLimit()
{
    TServerWatch watch(1);
    QVERIFY(Round(watch, {1, 2}, {true, true}).empty());
    // Server 2 is removed during the round: its probe never reports.
    watch.BeginRound({1, 2}, kStart);
    QVERIFY(watch.Probed(1, false, kStart).empty());
    const TTime later = kStart + TServerWatch::kRoundLimit;
    // The old round is weighed with what it has (one failure: the server), before the new outcome.
    QCOMPARE(watch.Probed(1, true, later), (std::vector<TWatchNews>{Offline(1), Online(1)}));
    QVERIFY(!watch.NetworkDown());
}

void TestServerWatch::historyKeepsThirtyProbesInOrderWithTheirFigures()
{
    TProbeHistory history;
    const std::int64_t start = 1'700'000'000;
    // Every fifth probe fails; the pings rise by one.
    for (int i = 0; i < 30; ++i)
        history.Record(4, start + i * 10, i % 5 != 4, 20 + i);
    const std::vector<TProbeSample> samples = history.Samples(4);
    QCOMPARE(samples.size(), std::size_t(30));
    for (int i = 0; i < 30; ++i) {
        const TProbeSample& s = samples[static_cast<std::size_t>(i)];
        QCOMPARE(s.Time, std::uint32_t(start + i * 10));
        QCOMPARE(s.Ok, i % 5 != 4);
        QCOMPARE(s.PingMs, s.Ok ? std::uint16_t(20 + i) : kSampleNoPing);
    }
    const THistorySummary summary = history.Summary(4, start + 300);
    QCOMPARE(summary.Probes, 30);
    QCOMPARE(summary.Answered, 24);
    // The answered pings are 20..49 without 24, 29, 34, 39, 44, 49: the lower middle of 24 is the 12th.
    QCOMPARE(summary.MedianPingMs, 33);
    QVERIFY(history.Samples(5).empty());
    QCOMPARE(history.Summary(5, start).Probes, 0);
    QCOMPARE(history.Summary(5, start).MedianPingMs, -1);
    // A round trip too long for a sample is kept as the longest it can hold; none is none.
    history.Record(6, start, true, 1'000'000);
    history.Record(6, start, true, -1);
    QCOMPARE(history.Samples(6)[0].PingMs, std::uint16_t(kSampleNoPing - 1));
    QCOMPARE(history.Samples(6)[1].PingMs, kSampleNoPing);
    QCOMPARE(history.ServerCount(), std::size_t(2));
    history.Forget(6);
    QCOMPARE(history.ServerCount(), std::size_t(1));
}

void TestServerWatch::historyKeepsOnlyTheLastHourOfProbes()
{
    TProbeHistory history;
    for (std::size_t i = 0; i < kHistoryLength + 25; ++i)
        history.Record(1, static_cast<std::int64_t>(i), true, static_cast<std::int32_t>(i));
    const std::vector<TProbeSample> samples = history.Samples(1);
    QCOMPARE(samples.size(), kHistoryLength);
    QCOMPARE(samples.front().Time, std::uint32_t(25));
    QCOMPARE(samples.back().Time, std::uint32_t(kHistoryLength + 24));
}

void TestServerWatch::summaryWeighsOnlyTheLastHour()
{
    TProbeHistory history;
    const std::int64_t now = 1'700'000'000;
    history.Record(1, now - kHistorySpanSeconds - 1, false, -1);
    history.Record(1, now - 60, true, 30);
    history.Record(1, now - 50, true, 10);
    const THistorySummary summary = history.Summary(1, now);
    QCOMPARE(summary.Probes, 2);
    QCOMPARE(summary.Answered, 2);
    QCOMPARE(summary.MedianPingMs, 10);
}

void TestServerWatch::columnsMarkOutagesAndKeepTheNewestAtTheRight()
{
    std::vector<TProbeSample> samples;
    for (int i = 0; i < 8; ++i)
        samples.push_back({std::uint32_t(i), std::uint16_t(10 * (i + 1)), i != 5});
    samples[5].PingMs = kSampleNoPing;
    // Two samples a column: the worse of each, the failure marked.
    std::vector<THistoryColumn> columns = HistoryColumns(samples, 4);
    QCOMPARE(columns.size(), std::size_t(4));
    QCOMPARE(columns[0].WorstPingMs, 20);
    QCOMPARE(columns[2].Failed, true);
    QCOMPARE(columns[2].WorstPingMs, 50);
    QCOMPARE(columns[3].WorstPingMs, 80);
    // Fewer samples than columns: one a column, against the right edge.
    columns = HistoryColumns(samples, 10);
    QVERIFY(!columns[0].Any && !columns[1].Any);
    QCOMPARE(columns[2].WorstPingMs, 10);
    QCOMPARE(columns[9].WorstPingMs, 80);
    QVERIFY(columns[7].Failed);
    QCOMPARE(HistoryColumns({}, 0).size(), std::size_t(1));
}

QTEST_GUILESS_MAIN(TestServerWatch)
#include "test_serverwatch.moc"
