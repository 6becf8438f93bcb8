// What the probes say is worth announcing. A server's state counts once it has held for a number of
// probes in a row, so a server that flaps is not announced at every flap; and a round in which every
// server fails says the network is gone, not every server, so it is announced once. Fed with the
// outcome of each probe; the status display decides whom to tell.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// A piece of news the watch found, in the order it was found.
struct TWatchNews
{
    enum class TKind
    {
        ServerOnline,
        ServerOffline,
        NetworkDown,
        NetworkBack,
    };
    TKind Kind = TKind::ServerOnline;
    // The server, for the first two kinds.
    std::uint64_t ServerId = 0;

    bool operator==(const TWatchNews&) const = default;
};

class TServerWatch
{
public:
    using TClock = std::chrono::steady_clock;

    // A round waits this long for its outcomes at most: a probe ends within twice the longest time-out
    // (connect, then echo), and one of a server removed meanwhile never reports.
    static constexpr std::chrono::seconds kRoundLimit{40};
    // Fewer servers than this failing together may simply be down.
    static constexpr std::size_t kNetworkRoundMin = 2;

    // `holdProbes`: how many probes in a row a new state must hold before it counts (clamped to 1..5).
    explicit TServerWatch(int holdProbes = 1);

    void SetHoldProbes(int probes);
    int HoldProbes() const { return hold_; }

    // Probes of these servers were started together: their outcomes are weighed together when the last
    // one is in. A server named twice counts once.
    void BeginRound(const std::vector<std::uint64_t>& serverIds, TClock::time_point now);
    // One probe's outcome. A server in no open round is a round of its own.
    std::vector<TWatchNews> Probed(std::uint64_t serverId, bool online, TClock::time_point now);

    bool NetworkDown() const { return networkDown_; }
    // The state that last counted: true online, false offline; a server with none yet is neither.
    bool HeldOnline(std::uint64_t serverId) const;
    bool HasHeldState(std::uint64_t serverId) const;
    // The server left the list.
    void Forget(std::uint64_t serverId);

private:
    struct TServerState
    {
        // 0 none yet, 1 offline, 2 online.
        std::uint8_t Held = 0;
        std::uint8_t Candidate = 0;
        std::uint8_t Count = 0;
    };
    struct TRound
    {
        TClock::time_point Started;
        std::unordered_set<std::uint64_t> Waiting;
        // The outcomes in, in the order they came.
        std::vector<std::pair<std::uint64_t, bool>> Outcomes;
    };

    // Rounds past their limit are weighed with the outcomes they have.
    void CloseStaleRounds(TClock::time_point now, std::vector<TWatchNews>& news);
    void Weigh(const TRound& round, std::vector<TWatchNews>& news);
    void Count(std::uint64_t serverId, bool online, std::vector<TWatchNews>& news);

    int hold_ = 1;
    bool networkDown_ = false;
    std::deque<TRound> rounds_;
    std::unordered_map<std::uint64_t, TServerState> states_;
};
