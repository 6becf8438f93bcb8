// The probes' network work: one background thread that connects to many servers and pings them at
// once over non-blocking sockets, so a long server list costs neither a thread nor a blocked call each.
// It knows nothing of the server list: orders come in by ticket, outcomes go out by ticket.
#pragma once

#include "platform/icmp.h"
#include "platform/netprobe.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TConnectOrder
{
    std::uint64_t Ticket = 0;
    std::string Host;
    std::uint16_t Port = 0;
    // Bounds the name lookup and the connect together.
    std::int32_t TimeoutMs = 0;
};

struct TEchoOrder
{
    std::uint64_t Ticket = 0;
    platform::TNetAddress Peer;
    std::int32_t TimeoutMs = 0;
};

struct TProbeOutcome
{
    enum class TKind : std::uint8_t
    {
        Connected, // the connect step is over; Online tells how it went
        Echoed,    // the echo step is over; PingMs is the round trip, -1 without a reply
        Dropped,   // given up unfinished at the program's end: a connect not started, or an echo
    };
    TKind Kind = TKind::Connected;
    std::uint64_t Ticket = 0;
    bool Online = false;
    platform::TNetAddress Peer;
    std::int32_t PingMs = -1;
};

class TProbeEngine
{
public:
    explicit TProbeEngine(platform::TIcmpMode icmpMode);
    TProbeEngine(const TProbeEngine&) = delete;
    TProbeEngine& operator=(const TProbeEngine&) = delete;
    // Stops the thread and waits for it; orders still open are dropped.
    ~TProbeEngine();

    // All may be called from any thread. Connects start in the order given; no more run at once than
    // the open-file limit allows, the others wait their turn.
    void Connect(TConnectOrder order);
    void Connect(std::vector<TConnectOrder> orders);
    void Echo(TEchoOrder order);
    // For the program's end: connects that have not started and every echo are given up, each reported
    // as Dropped, and none starts any more; connects under way run to their end.
    void DropWaiting();

    // Outcomes that came in since the last call. The signal's handle is readable while some wait;
    // clear it before taking them.
    std::vector<TProbeOutcome> TakeOutcomes();
    platform::TWakeSignal& OutcomeSignal() { return outcomeSignal_; }

    struct TState;

private:
    void Run();
    void Post(const TProbeOutcome& outcome);

    std::mutex lock_;
    std::vector<TConnectOrder> connectOrders_;
    std::vector<TEchoOrder> echoOrders_;
    std::vector<TProbeOutcome> outcomes_;
    bool stopping_ = false;
    bool dropping_ = false;

    platform::TWakeSignal orderSignal_;
    platform::TWakeSignal outcomeSignal_;
    platform::TIcmpMode icmpMode_;
    std::thread thread_;
};
