// Server probes as a service: a TCP connect to a server's realm port and one ICMP echo, run in the
// background; each outcome is written into the server's entry, found by identity, and published as a
// signal. Whoever shows servers subscribes; the service knows nothing of who does.
#pragma once

#include "monitor/probeengine.h"
#include "platform/icmp.h"

#include <QObject>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QSocketNotifier;
struct TServer;

inline constexpr std::uint16_t DefaultServerPort = 3724;

struct TServerAddress
{
    std::string Host;
    std::uint16_t Port = DefaultServerPort;
};

// Splits at the last colon; a port that is missing or not a decimal number is DefaultServerPort, and
// a number too large for a port keeps its low 16 bits.
TServerAddress SplitServerAddress(const std::string& address);

// Where a probe's time-out comes from, read as each probe starts, so a changed setting applies to the
// next probe. The settings are read here on the main thread only.
using TProbeTimeoutSource = std::function<std::int32_t()>;

// One probe of one server, from its start to its completion on the main thread. The network work is
// done by the engine's thread, shared by every probe; this record never leaves the main thread.
class TProbeRun
{
public:
    TProbeRun(std::uint64_t ticket, std::uint64_t serverId, const std::string& address, std::int32_t timeoutMs);
    TProbeRun(const TProbeRun&) = delete;
    TProbeRun& operator=(const TProbeRun&) = delete;

    const std::uint64_t Ticket;
    // The server the probe belongs to, wherever the list moves it meanwhile.
    const std::uint64_t ServerId;

    TConnectOrder ConnectOrder() const;
    TEchoOrder EchoOrder(const platform::TNetAddress& peer) const;

private:
    TServerAddress address_;
    std::int32_t timeoutMs_;
};

class TProbeService : public QObject
{
    Q_OBJECT

public:
    explicit TProbeService(TProbeTimeoutSource timeoutMs, QObject* parent = nullptr);
    // Probes still running are given up unfinished; their entries are left as they stand.
    ~TProbeService() override;

    // Main thread only. An id with no entry is ignored.
    void StartProbe(std::uint64_t serverId);
    void ProbeAllServers();
    // For the program's end: probes whose connect has not started, and every echo, are given up, so the
    // wait for RunningCount() lasts at most one time-out. Later probes start a fresh round.
    void DropWaitingProbes();
    // Probes started and not yet completed; the program's end waits until there are none.
    int RunningCount() const;
    // Which kind of ICMP socket the probes use; takes effect for probes started when none is running.
    void SetIcmpMode(platform::TIcmpMode mode);

signals:
    // The entry's Status or Ping was written: at a probe's start (checking), after its connect, after its
    // echo. Outcomes that arrive together give one signal per server; a removed entry gives none.
    void serverProbed(std::uint64_t serverId);
    // One probe of a server still in the list has completed, after the last serverProbed it caused.
    void probeFinished(std::uint64_t serverId);

private:
    TProbeEngine& Engine();
    // A new kind of ICMP socket, or a run after the end's drop, needs a new engine, which only an idle
    // one may make way for.
    void RenewIdleEngine();
    // The entry with that identity, or null. Results find their entry without a search: the map is made
    // again only when an entry looked up no longer matches (the list was moved or grew).
    TServer* EntryOf(std::uint64_t serverId);
    // Marks the entry checking and makes its probe's record.
    TProbeRun& NewRun(TServer& entry);
    void Deliver();
    void Apply(const TProbeOutcome& outcome);
    // The connect step is over: records the state, then pings or completes.
    void Connected(TProbeRun& run, const TProbeOutcome& outcome);
    void Echoed(TProbeRun& run, std::int32_t pingMs);
    void Complete(TProbeRun& run);
    void Forget(std::uint64_t ticket);
    void Probed(std::uint64_t serverId);
    void Publish();

    TProbeTimeoutSource timeoutMs_;
    platform::TIcmpMode icmpMode_ = platform::TIcmpMode::Auto;
    platform::TIcmpMode engineMode_ = platform::TIcmpMode::Auto;
    std::unique_ptr<TProbeEngine> engine_;
    std::unique_ptr<QSocketNotifier> outcomeNotifier_;
    std::unordered_map<std::uint64_t, std::size_t> indexById_;
    std::uint64_t lastTicket_ = 0;
    std::unordered_map<std::uint64_t, std::unique_ptr<TProbeRun>> runs_;
    // Set once the program's end has given up the probes that had not started.
    bool dropped_ = false;
    std::deque<TProbeOutcome> pending_;
    // What the batch being applied has to publish, each server once, in the order they came.
    std::vector<std::uint64_t> probed_;
    std::unordered_set<std::uint64_t> probedSet_;
    std::vector<std::uint64_t> finished_;
};
