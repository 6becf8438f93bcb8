#include "monitor/serverwatch.h"

#include <algorithm>

namespace {

constexpr int kMinHold = 1;
constexpr int kMaxHold = 5;
constexpr std::uint8_t kOffline = 1;
constexpr std::uint8_t kOnline = 2;

} // namespace

TServerWatch::TServerWatch(int holdProbes)
{
    SetHoldProbes(holdProbes);
}

void TServerWatch::SetHoldProbes(int probes)
{
    hold_ = std::clamp(probes, kMinHold, kMaxHold);
}

void TServerWatch::BeginRound(const std::vector<std::uint64_t>& serverIds, TClock::time_point now)
{
    TRound round;
    round.Started = now;
    round.Waiting.insert(serverIds.begin(), serverIds.end());
    if (!round.Waiting.empty())
        rounds_.push_back(std::move(round));
}

std::vector<TWatchNews> TServerWatch::Probed(std::uint64_t serverId, bool online, TClock::time_point now)
{
    std::vector<TWatchNews> news;
    CloseStaleRounds(now, news);
    // The oldest round still waiting for the server takes the outcome: rounds end in the order they began.
    auto round = std::find_if(rounds_.begin(), rounds_.end(),
                              [serverId](const TRound& r) { return r.Waiting.contains(serverId); });
    if (round == rounds_.end()) {
        TRound single;
        single.Outcomes.emplace_back(serverId, online);
        Weigh(single, news);
        return news;
    }
    round->Waiting.erase(serverId);
    round->Outcomes.emplace_back(serverId, online);
    if (round->Waiting.empty()) {
        const TRound done = std::move(*round);
        rounds_.erase(round);
        Weigh(done, news);
    }
    return news;
}

void TServerWatch::CloseStaleRounds(TClock::time_point now, std::vector<TWatchNews>& news)
{
    while (!rounds_.empty() && now - rounds_.front().Started >= kRoundLimit) {
        const TRound stale = std::move(rounds_.front());
        rounds_.pop_front();
        Weigh(stale, news);
    }
}

void TServerWatch::Weigh(const TRound& round, std::vector<TWatchNews>& news)
{
    const bool anyOnline =
        std::any_of(round.Outcomes.begin(), round.Outcomes.end(), [](const auto& outcome) { return outcome.second; });
    if (!anyOnline && round.Outcomes.size() >= kNetworkRoundMin) {
        if (!networkDown_)
            news.push_back({TWatchNews::TKind::NetworkDown, 0});
        networkDown_ = true;
    }
    if (networkDown_ && anyOnline) {
        networkDown_ = false;
        news.push_back({TWatchNews::TKind::NetworkBack, 0});
    }
    // While the network is gone a failure says nothing of the server: what held before it went still holds.
    for (const auto& [serverId, online] : round.Outcomes) {
        if (networkDown_) {
            states_[serverId].Count = 0;
            continue;
        }
        Count(serverId, online, news);
    }
}

void TServerWatch::Count(std::uint64_t serverId, bool online, std::vector<TWatchNews>& news)
{
    TServerState& state = states_[serverId];
    const std::uint8_t seen = online ? kOnline : kOffline;
    // The first state is where the server stands, not a change.
    if (state.Held == 0) {
        state.Held = seen;
        return;
    }
    if (seen == state.Held) {
        state.Count = 0;
        return;
    }
    if (state.Candidate != seen || state.Count == 0) {
        state.Candidate = seen;
        state.Count = 0;
    }
    if (++state.Count < hold_)
        return;
    state.Held = seen;
    state.Count = 0;
    news.push_back({online ? TWatchNews::TKind::ServerOnline : TWatchNews::TKind::ServerOffline, serverId});
}

bool TServerWatch::HeldOnline(std::uint64_t serverId) const
{
    auto it = states_.find(serverId);
    return it != states_.end() && it->second.Held == kOnline;
}

bool TServerWatch::HasHeldState(std::uint64_t serverId) const
{
    auto it = states_.find(serverId);
    return it != states_.end() && it->second.Held != 0;
}

void TServerWatch::Forget(std::uint64_t serverId)
{
    states_.erase(serverId);
    for (TRound& round : rounds_)
        round.Waiting.erase(serverId);
}
