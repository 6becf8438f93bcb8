#include "monitor/probeengine.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <limits>
#include <queue>
#include <unordered_map>
#include <utility>

using namespace platform;

namespace {

using TClock = std::chrono::steady_clock;

constexpr std::uint64_t kOrderKey = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kIcmp4Key = kOrderKey - 1;
constexpr std::uint64_t kIcmp6Key = kOrderKey - 2;
// A name lookup reports nowhere the poller can see, so it is looked at this often while one runs.
constexpr int kLookupPollMs = 5;
// On loopback a reply is queued while the request is still being sent; reading between sends keeps
// a burst of pings from overflowing the socket's buffer.
constexpr int kSendsBetweenReads = 32;
constexpr int kSequenceCount = 1 << 16;
// Handles kept free of connects for everything else the program opens (files, the window, news).
constexpr std::size_t kReservedHandles = 256;
constexpr std::size_t kMinConnectsInFlight = 16;
// More at once gains nothing on any network a player has, and keeps the kernel's tables small.
constexpr std::size_t kMaxConnectsInFlight = 8192;
// Name lookups finish roughly in the order they were asked for; this many still pending in a row
// ends a look through them.
constexpr std::size_t kLookupScanWindow = 256;

std::size_t ConnectsInFlightFor(std::size_t openFileLimit)
{
    const std::size_t room = openFileLimit > kReservedHandles ? openFileLimit - kReservedHandles : 0;
    return std::clamp(room, kMinConnectsInFlight, kMaxConnectsInFlight);
}

// Deadlines in the order they fall due; an entry whose job has ended or changed is skipped when met.
template <typename TKey>
using TDeadlineQueue = std::priority_queue<std::pair<TClock::time_point, TKey>,
                                           std::vector<std::pair<TClock::time_point, TKey>>, std::greater<>>;

struct TConnectJob
{
    TConnectOrder Order;
    TClock::time_point Deadline;
    std::unique_ptr<TNameLookup> Lookup;
    std::vector<TNetAddress> Addresses;
    std::size_t NextAddress = 0;
    TSocketHandle Socket = kNoSocket;
};

struct TEchoJob
{
    std::uint64_t Ticket = 0;
    TNetAddress Peer;
    TClock::time_point Sent;
    TClock::time_point Deadline;
};

} // namespace

// Everything the engine thread owns; no other thread sees it.
struct TProbeEngine::TState
{
    TProbeEngine& Engine;
    TPoller Poller;
    std::unordered_map<std::uint64_t, TConnectJob> Connects;
    std::unordered_map<std::uint16_t, TEchoJob> Echoes;
    std::deque<TConnectOrder> Waiting;
    std::size_t MaxInFlight = kMinConnectsInFlight;
    TDeadlineQueue<std::uint64_t> ConnectDeadlines;
    TDeadlineQueue<std::uint16_t> EchoDeadlines;
    std::deque<std::uint64_t> Lookups; // tickets with a name lookup, in the order they were asked for
    std::unique_ptr<TIcmpChannel> Icmp4;
    std::unique_ptr<TIcmpChannel> Icmp6;
    std::uint16_t NextSequence = 0;
    int SendsSinceRead = 0;

    explicit TState(TProbeEngine& engine) : Engine(engine) {}

    void FinishConnect(std::uint64_t ticket, bool online, TNetAddress peer)
    {
        auto it = Connects.find(ticket);
        if (it == Connects.end())
            return;
        if (it->second.Socket != kNoSocket) {
            Poller.Unwatch(it->second.Socket);
            CloseSocket(it->second.Socket);
        }
        Connects.erase(it);
        TProbeOutcome outcome;
        outcome.Kind = TProbeOutcome::TKind::Connected;
        outcome.Ticket = ticket;
        outcome.Online = online;
        outcome.Peer = peer;
        Engine.Post(outcome);
    }

    // Tries the job's addresses in turn until one connects or one is in progress.
    void TryNextAddress(std::uint64_t ticket)
    {
        TConnectJob& job = Connects.at(ticket);
        if (job.Socket != kNoSocket) {
            Poller.Unwatch(job.Socket);
            CloseSocket(job.Socket);
            job.Socket = kNoSocket;
        }
        while (job.NextAddress < job.Addresses.size()) {
            const TNetAddress address = job.Addresses[job.NextAddress++];
            TSocketHandle socket = kNoSocket;
            TConnectState state = StartTcpConnect(address, job.Order.Port, socket);
            job.Socket = socket;
            if (state == TConnectState::Connected) {
                FinishConnect(ticket, true, address);
                return;
            }
            if (state == TConnectState::InProgress && Poller.Watch(socket, false, true, ticket))
                return;
            CloseSocket(socket);
            job.Socket = kNoSocket;
        }
        FinishConnect(ticket, false, {});
    }

    void StartConnect(TConnectOrder order)
    {
        const std::uint64_t ticket = order.Ticket;
        if (order.Host.empty() || order.Port == 0) {
            Connects[ticket].Order = std::move(order);
            FinishConnect(ticket, false, {});
            return;
        }
        TConnectJob& job = Connects[ticket];
        job.Deadline = TClock::now() + std::chrono::milliseconds(order.TimeoutMs);
        ConnectDeadlines.emplace(job.Deadline, ticket);
        job.Order = std::move(order);
        if (auto numeric = ParseNumericAddress(job.Order.Host)) {
            job.Addresses.push_back(*numeric);
            TryNextAddress(ticket);
        } else {
            job.Lookup = std::make_unique<TNameLookup>(job.Order.Host);
            Lookups.push_back(ticket);
        }
    }

    // Starts waiting connects while there is room; the deadline of each runs from its own start.
    void StartWaiting()
    {
        while (!Waiting.empty() && Connects.size() < MaxInFlight) {
            TConnectOrder order = std::move(Waiting.front());
            Waiting.pop_front();
            StartConnect(std::move(order));
        }
    }

    void Drop(std::uint64_t ticket)
    {
        TProbeOutcome outcome;
        outcome.Kind = TProbeOutcome::TKind::Dropped;
        outcome.Ticket = ticket;
        Engine.Post(outcome);
    }

    void DropWaiting()
    {
        for (const TConnectOrder& order : Waiting)
            Drop(order.Ticket);
        Waiting.clear();
        for (const auto& [sequence, job] : Echoes)
            Drop(job.Ticket);
        Echoes.clear();
    }

    void ConnectProgress(std::uint64_t ticket)
    {
        auto it = Connects.find(ticket);
        if (it == Connects.end() || it->second.Socket == kNoSocket)
            return;
        switch (FinishTcpConnect(it->second.Socket)) {
        case TConnectState::Connected: {
            const TNetAddress peer = it->second.Addresses[it->second.NextAddress - 1];
            FinishConnect(ticket, true, peer);
            break;
        }
        case TConnectState::Failed:
            TryNextAddress(ticket);
            break;
        case TConnectState::InProgress:
            break;
        }
    }

    TIcmpChannel* Channel(TAddressFamily family)
    {
        const bool v4 = family == TAddressFamily::IPv4;
        std::unique_ptr<TIcmpChannel>& channel = v4 ? Icmp4 : Icmp6;
        if (!channel) {
            channel = std::make_unique<TIcmpChannel>(family, Engine.icmpMode_);
            if (channel->IsOpen())
                Poller.Watch(channel->Handle(), true, false, v4 ? kIcmp4Key : kIcmp6Key);
        }
        return channel->IsOpen() ? channel.get() : nullptr;
    }

    void PostEcho(std::uint64_t ticket, std::int32_t pingMs)
    {
        TProbeOutcome outcome;
        outcome.Kind = TProbeOutcome::TKind::Echoed;
        outcome.Ticket = ticket;
        outcome.Online = true;
        outcome.PingMs = pingMs;
        Engine.Post(outcome);
    }

    void StartEcho(const TEchoOrder& order)
    {
        TIcmpChannel* channel = Channel(order.Peer.Family);
        if (!channel || static_cast<int>(Echoes.size()) >= kSequenceCount) {
            PostEcho(order.Ticket, -1);
            return;
        }
        while (Echoes.count(NextSequence))
            ++NextSequence;
        const std::uint16_t sequence = NextSequence++;
        TEchoJob job;
        job.Ticket = order.Ticket;
        job.Peer = order.Peer;
        job.Sent = TClock::now();
        job.Deadline = job.Sent + std::chrono::milliseconds(order.TimeoutMs);
        if (!channel->SendEcho(order.Peer, sequence)) {
            PostEcho(order.Ticket, -1);
            return;
        }
        Echoes.emplace(sequence, job);
        EchoDeadlines.emplace(job.Deadline, sequence);
        if (++SendsSinceRead >= kSendsBetweenReads) {
            SendsSinceRead = 0;
            ReadEchoes(*channel);
        }
    }

    void ReadEchoes(TIcmpChannel& channel)
    {
        for (const TEchoReply& reply : channel.ReadReplies()) {
            const TClock::time_point arrived = TClock::now();
            auto it = Echoes.find(reply.Sequence);
            // A late reply to an echo that timed out may carry a sequence number now reused for
            // another host; the sender's address tells them apart.
            if (it == Echoes.end() || it->second.Peer.Family != reply.From.Family ||
                it->second.Peer.Bytes != reply.From.Bytes)
                continue;
            auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(arrived - it->second.Sent);
            PostEcho(it->second.Ticket, static_cast<std::int32_t>(elapsed.count()));
            Echoes.erase(it);
        }
    }

    void CheckLookups(std::vector<std::uint64_t>& expired, std::vector<std::uint64_t>& resolved)
    {
        std::size_t pendingSeen = 0;
        for (auto it = Lookups.begin(); it != Lookups.end() && pendingSeen < kLookupScanWindow;) {
            auto job = Connects.find(*it);
            if (job == Connects.end() || !job->second.Lookup) {
                it = Lookups.erase(it);
                continue;
            }
            const TNameLookup::TState state = job->second.Lookup->Poll();
            if (state == TNameLookup::TState::Pending) {
                ++pendingSeen;
                ++it;
                continue;
            }
            if (state == TNameLookup::TState::Resolved) {
                job->second.Addresses = job->second.Lookup->Addresses();
                resolved.push_back(*it);
            } else {
                expired.push_back(*it);
            }
            job->second.Lookup.reset();
            it = Lookups.erase(it);
        }
    }

    void CheckLookupsAndDeadlines()
    {
        const TClock::time_point now = TClock::now();
        std::vector<std::uint64_t> expired;
        std::vector<std::uint64_t> resolved;
        CheckLookups(expired, resolved);
        while (!ConnectDeadlines.empty() && ConnectDeadlines.top().first <= now) {
            const auto [deadline, ticket] = ConnectDeadlines.top();
            ConnectDeadlines.pop();
            auto job = Connects.find(ticket);
            if (job != Connects.end() && job->second.Deadline == deadline)
                expired.push_back(ticket);
        }
        for (std::uint64_t ticket : expired)
            FinishConnect(ticket, false, {});
        for (std::uint64_t ticket : resolved)
            if (Connects.count(ticket))
                TryNextAddress(ticket);
        while (!EchoDeadlines.empty() && EchoDeadlines.top().first <= now) {
            const auto [deadline, sequence] = EchoDeadlines.top();
            EchoDeadlines.pop();
            auto echo = Echoes.find(sequence);
            if (echo != Echoes.end() && echo->second.Deadline == deadline) {
                PostEcho(echo->second.Ticket, -1);
                Echoes.erase(echo);
            }
        }
    }

    int NextWaitMs()
    {
        // Entries of jobs that ended early would only wake the thread for nothing.
        while (!ConnectDeadlines.empty()) {
            auto job = Connects.find(ConnectDeadlines.top().second);
            if (job != Connects.end() && job->second.Deadline == ConnectDeadlines.top().first)
                break;
            ConnectDeadlines.pop();
        }
        while (!EchoDeadlines.empty()) {
            auto echo = Echoes.find(EchoDeadlines.top().second);
            if (echo != Echoes.end() && echo->second.Deadline == EchoDeadlines.top().first)
                break;
            EchoDeadlines.pop();
        }
        TClock::time_point nearest = TClock::time_point::max();
        if (!ConnectDeadlines.empty())
            nearest = std::min(nearest, ConnectDeadlines.top().first);
        if (!EchoDeadlines.empty())
            nearest = std::min(nearest, EchoDeadlines.top().first);
        if (nearest == TClock::time_point::max())
            return -1;
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(nearest - TClock::now()).count();
        wait = std::max<decltype(wait)>(wait, 0);
        if (!Lookups.empty())
            wait = std::min<decltype(wait)>(wait, kLookupPollMs);
        return static_cast<int>(std::min<decltype(wait)>(wait, std::numeric_limits<int>::max()));
    }
};

TProbeEngine::TProbeEngine(TIcmpMode icmpMode) : icmpMode_(icmpMode)
{
    thread_ = std::thread(&TProbeEngine::Run, this);
}

TProbeEngine::~TProbeEngine()
{
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    orderSignal_.Set();
    thread_.join();
}

void TProbeEngine::Connect(TConnectOrder order)
{
    {
        std::lock_guard guard(lock_);
        connectOrders_.push_back(std::move(order));
    }
    orderSignal_.Set();
}

void TProbeEngine::Connect(std::vector<TConnectOrder> orders)
{
    {
        std::lock_guard guard(lock_);
        if (connectOrders_.empty())
            connectOrders_ = std::move(orders);
        else
            std::move(orders.begin(), orders.end(), std::back_inserter(connectOrders_));
    }
    orderSignal_.Set();
}

void TProbeEngine::DropWaiting()
{
    {
        std::lock_guard guard(lock_);
        dropping_ = true;
    }
    orderSignal_.Set();
}

void TProbeEngine::Echo(TEchoOrder order)
{
    {
        std::lock_guard guard(lock_);
        echoOrders_.push_back(std::move(order));
    }
    orderSignal_.Set();
}

std::vector<TProbeOutcome> TProbeEngine::TakeOutcomes()
{
    std::lock_guard guard(lock_);
    return std::exchange(outcomes_, {});
}

void TProbeEngine::Post(const TProbeOutcome& outcome)
{
    bool first;
    {
        std::lock_guard guard(lock_);
        first = outcomes_.empty();
        outcomes_.push_back(outcome);
    }
    // The reader clears the signal before it takes the list, so one wake-up per filled list is enough.
    if (first)
        outcomeSignal_.Set();
}

void TProbeEngine::Run()
{
    TState state(*this);
    // A long list keeps one socket per server open during its connect; the usual soft limit of 1024
    // would turn the servers past it into false offlines, and past the hard limit they wait.
    state.MaxInFlight = ConnectsInFlightFor(RaiseOpenFileLimit());
    state.Poller.Watch(orderSignal_.Handle(), true, false, kOrderKey);
    std::vector<TPollEvent> events;
    for (;;) {
        state.Poller.Wait(state.NextWaitMs(), events);
        for (const TPollEvent& event : events) {
            if (event.Key == kOrderKey)
                orderSignal_.Clear();
            else if (event.Key == kIcmp4Key && state.Icmp4)
                state.ReadEchoes(*state.Icmp4);
            else if (event.Key == kIcmp6Key && state.Icmp6)
                state.ReadEchoes(*state.Icmp6);
            else
                state.ConnectProgress(event.Key);
        }
        std::vector<TConnectOrder> connects;
        std::vector<TEchoOrder> echoes;
        bool dropping;
        {
            std::lock_guard guard(lock_);
            if (stopping_)
                break;
            connects.swap(connectOrders_);
            echoes.swap(echoOrders_);
            dropping = dropping_;
        }
        for (TConnectOrder& order : connects)
            state.Waiting.push_back(std::move(order));
        if (dropping) {
            state.DropWaiting();
            for (const TEchoOrder& order : echoes)
                state.Drop(order.Ticket);
        } else {
            for (const TEchoOrder& order : echoes)
                state.StartEcho(order);
        }
        state.CheckLookupsAndDeadlines();
        if (!dropping)
            state.StartWaiting();
    }
    for (auto& [ticket, job] : state.Connects)
        CloseSocket(job.Socket);
}
