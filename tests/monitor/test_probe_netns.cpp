// ICMP echo in a network namespace of the test's own, where the system's ping settings can be changed
// freely: the datagram and raw sockets, reply matching, and a host that drops echo. Needs root (or
// CAP_SYS_ADMIN); skipped elsewhere.
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "platform/icmp.h"
#include "probe_fixtures.h"
#include "support/testsupport.h"

#include <QtTest>
#include <fstream>
#include <memory>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>

using namespace probetest;

namespace {

constexpr int kTestTimeoutMs = 1000;
constexpr int kProbeBoundMs = 2 * kTestTimeoutMs + 1500;
constexpr int kReplyWaitMs = 1000;
// The resolver of this namespace asks a loopback name server that never answers, and keeps asking far
// longer than a probe may take.
constexpr const char* kSilentResolverConf = "nameserver 127.0.0.1\noptions timeout:5 attempts:3\n";
constexpr std::uint16_t kDnsPort = 53;

bool WriteProc(const char* path, const std::string& value)
{
    std::ofstream file(path);
    file << value;
    file.flush();
    return static_cast<bool>(file);
}

bool BringLoopbackUp()
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    ok = ok && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return ok;
}

platform::TNetAddress Address(const char* text)
{
    return *platform::ParseNumericAddress(text);
}

// Replies that come to `channel` within a short wait.
std::vector<platform::TEchoReply> CollectReplies(platform::TIcmpChannel& channel, std::size_t expected)
{
    std::vector<platform::TEchoReply> replies;
    QElapsedTimer clock;
    clock.start();
    while (replies.size() < expected && clock.elapsed() < kReplyWaitMs) {
        for (const platform::TEchoReply& reply : channel.ReadReplies())
            replies.push_back(reply);
        QTest::qWait(5);
    }
    return replies;
}

} // namespace

class TestProbeNetns : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void datagramSocketNeedsTheGroupRange();
    void repliesAreMatchedBySenderSequenceAndIdentifier();
    void ipv6EchoIsAnswered();
    void probesPingWithEitherSocketKind_data();
    void probesPingWithEitherSocketKind();
    void serverThatDropsEchoStaysOnlineWithoutPing();
    void hangingResolverEndsWithinTheBound();

private:
    bool isolated_ = false;
    bool resolverBound_ = false;
    int silentDns_ = -1;
    QTemporaryDir resolverDir_;
    TScratchIni* scratch_ = nullptr;
    std::unique_ptr<TProbeService> probes_;
};

void TestProbeNetns::initTestCase()
{
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0)
        QSKIP("no network and mount namespace of our own can be made here (needs root)");
    isolated_ = true;
    QVERIFY(BringLoopbackUp());
    // The resolver configuration is replaced inside the private mount namespace only.
    QVERIFY(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
    QVERIFY(resolverDir_.isValid());
    const std::string conf = resolverDir_.filePath("resolv.conf").toStdString();
    {
        std::ofstream file(conf);
        file << kSilentResolverConf;
    }
    resolverBound_ = mount(conf.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
    silentDns_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in dns{};
    dns.sin_family = AF_INET;
    dns.sin_port = htons(kDnsPort);
    dns.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QVERIFY(::bind(silentDns_, reinterpret_cast<sockaddr*>(&dns), sizeof dns) == 0);
}

void TestProbeNetns::init()
{
    scratch_ = new TScratchIni;
    probes_ = std::make_unique<TProbeService>([] { return kTestTimeoutMs; });
    // These settings belong to the namespace made above; the machine's own are never touched.
    QVERIFY(isolated_);
    WriteProc("/proc/sys/net/ipv4/icmp_echo_ignore_all", "0");
    WriteProc("/proc/sys/net/ipv4/ping_group_range", "1\t0");
}

void TestProbeNetns::cleanup()
{
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    probes_.reset();
    delete scratch_;
}

void TestProbeNetns::datagramSocketNeedsTheGroupRange()
{
    {
        platform::TIcmpChannel refused(platform::TAddressFamily::IPv4, platform::TIcmpMode::DatagramOnly);
        QVERIFY(!refused.IsOpen());
        platform::TIcmpChannel fallback(platform::TAddressFamily::IPv4, platform::TIcmpMode::Auto);
        QVERIFY(fallback.IsOpen());
        QVERIFY(fallback.IsRaw());
    }
    QVERIFY(WriteProc("/proc/sys/net/ipv4/ping_group_range", "0\t2147483647"));
    platform::TIcmpChannel allowed(platform::TAddressFamily::IPv4, platform::TIcmpMode::Auto);
    QVERIFY(allowed.IsOpen());
    QVERIFY(!allowed.IsRaw());
    platform::TIcmpChannel disabled(platform::TAddressFamily::IPv4, platform::TIcmpMode::Disabled);
    QVERIFY(!disabled.IsOpen());
    QVERIFY(!disabled.SendEcho(Address("127.0.0.1"), 1));
}

void TestProbeNetns::repliesAreMatchedBySenderSequenceAndIdentifier()
{
    // Two raw sockets both see every reply; each must keep only the answers to its own requests.
    platform::TIcmpChannel first(platform::TAddressFamily::IPv4, platform::TIcmpMode::RawOnly);
    platform::TIcmpChannel second(platform::TAddressFamily::IPv4, platform::TIcmpMode::RawOnly);
    QVERIFY(first.IsOpen() && second.IsOpen());
    QVERIFY(first.SendEcho(Address("127.0.0.2"), 7));
    QVERIFY(first.SendEcho(Address("127.0.0.3"), 9));
    QVERIFY(second.SendEcho(Address("127.0.0.4"), 11));
    auto mine = CollectReplies(first, 2);
    QCOMPARE(mine.size(), size_t(2));
    std::sort(mine.begin(), mine.end(), [](auto& a, auto& b) { return a.Sequence < b.Sequence; });
    QCOMPARE(mine[0].Sequence, std::uint16_t(7));
    QCOMPARE(mine[0].From, Address("127.0.0.2"));
    QCOMPARE(mine[1].Sequence, std::uint16_t(9));
    QCOMPARE(mine[1].From, Address("127.0.0.3"));
    auto theirs = CollectReplies(second, 1);
    QCOMPARE(theirs.size(), size_t(1));
    QCOMPARE(theirs[0].Sequence, std::uint16_t(11));
    QCOMPARE(theirs[0].From, Address("127.0.0.4"));
}

void TestProbeNetns::ipv6EchoIsAnswered()
{
    for (platform::TIcmpMode mode : {platform::TIcmpMode::RawOnly, platform::TIcmpMode::DatagramOnly}) {
        WriteProc("/proc/sys/net/ipv4/ping_group_range", "0\t2147483647");
        platform::TIcmpChannel channel(platform::TAddressFamily::IPv6, mode);
        if (!channel.IsOpen())
            QSKIP("no IPv6 ICMP socket here");
        QVERIFY(channel.SendEcho(Address("::1"), 21));
        auto replies = CollectReplies(channel, 1);
        QCOMPARE(replies.size(), size_t(1));
        QCOMPARE(replies[0].Sequence, std::uint16_t(21));
        QCOMPARE(replies[0].From, Address("::1"));
    }
}

void TestProbeNetns::probesPingWithEitherSocketKind_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("host");
    QTest::newRow("raw v4") << int(platform::TIcmpMode::RawOnly) << "127.0.0.5";
    QTest::newRow("datagram v4") << int(platform::TIcmpMode::DatagramOnly) << "127.0.0.6";
    QTest::newRow("raw v6") << int(platform::TIcmpMode::RawOnly) << "::1";
    QTest::newRow("datagram v6") << int(platform::TIcmpMode::DatagramOnly) << "::1";
}

void TestProbeNetns::probesPingWithEitherSocketKind()
{
    QFETCH(int, mode);
    QFETCH(QString, host);
    WriteProc("/proc/sys/net/ipv4/ping_group_range", "0\t2147483647");
    probes_->SetIcmpMode(static_cast<platform::TIcmpMode>(mode));
    TLoopbackListener server(host.toStdString());
    QVERIFY(server.IsValid());
    AddTestServer("pinged", server.Address());
    probes_->StartProbe(Servers[0].Id);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    QVERIFY2(Servers[0].Ping >= 1, qPrintable(QString::number(Servers[0].Ping)));
}

void TestProbeNetns::serverThatDropsEchoStaysOnlineWithoutPing()
{
    QVERIFY(WriteProc("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1"));
    TLoopbackListener server("127.0.0.7");
    AddTestServer("quiet", server.Address());
    probes_->StartProbe(Servers[0].Id);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    QCOMPARE(Servers[0].Ping, kPingNone);
}

void TestProbeNetns::hangingResolverEndsWithinTheBound()
{
    if (!resolverBound_)
        QSKIP("the resolver configuration could not be replaced here");
    AddTestServer("hanging", "korvan-resolver-test.example:3724");
    probes_->StartProbe(Servers[0].Id);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
    QCOMPARE(Servers[0].Ping, kPingNone);
    // The system resolver is indeed still waiting: the probe did not simply get a quick refusal.
    platform::TNameLookup lookup("korvan-resolver-test-2.example");
    QTest::qWait(kTestTimeoutMs);
    QCOMPARE(lookup.Poll(), platform::TNameLookup::TState::Pending);
}

QTEST_GUILESS_MAIN(TestProbeNetns)
#include "test_probe_netns.moc"
