// The last probes of every server, kept in memory for the information panel's graph: a fixed ring per
// server, so an hour of probes costs the same whatever the list holds and however long Korvan runs.
// Never written to tavix.ini: a history starts empty with each run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

// An hour at the default refresh period of 10 s.
inline constexpr std::size_t kHistoryLength = 360;
// The span the summary weighs.
inline constexpr std::int64_t kHistorySpanSeconds = 3600;
// A round trip too long for a sample, or none: the sample holds this.
inline constexpr std::uint16_t kSampleNoPing = 0xFFFF;

// One probe: eight bytes, so a full ring is under 3 KiB.
struct TProbeSample
{
    // Seconds since 1970; a 32-bit count lasts until 2106.
    std::uint32_t Time = 0;
    // Milliseconds, kSampleNoPing when the probe failed or measured no round trip.
    std::uint16_t PingMs = kSampleNoPing;
    bool Ok = false;
};

// What the samples of the last hour say.
struct THistorySummary
{
    int Probes = 0;
    int Answered = 0;
    // Of the answered probes that measured a round trip; -1 when none did.
    std::int32_t MedianPingMs = -1;
};

// One column of a graph that draws the samples side by side, oldest on the left.
struct THistoryColumn
{
    bool Any = false;
    // A probe in the column failed: an outage is marked whatever the others measured.
    bool Failed = false;
    // The longest round trip in the column; -1 when none was measured.
    std::int32_t WorstPingMs = -1;
};

// The samples spread over `columns` columns (at least one), in order; with fewer samples than columns,
// the samples fill the rightmost columns one each, so the newest probe always stands at the right edge.
std::vector<THistoryColumn> HistoryColumns(const std::vector<TProbeSample>& samples, int columns);

class TProbeHistory
{
public:
    // One probe of the server ended at `time` (seconds since 1970). `pingMs` below 0 is no round trip.
    void Record(std::uint64_t serverId, std::int64_t time, bool ok, std::int32_t pingMs);
    // The server's samples, oldest first; empty for a server never probed.
    std::vector<TProbeSample> Samples(std::uint64_t serverId) const;
    // The samples no older than kHistorySpanSeconds before `now`.
    THistorySummary Summary(std::uint64_t serverId, std::int64_t now) const;
    // The server left the list: its ring is given back.
    void Forget(std::uint64_t serverId);
    std::size_t ServerCount() const { return rings_.size(); }

private:
    struct TRing
    {
        std::array<TProbeSample, kHistoryLength> Samples{};
        std::uint16_t Next = 0;
        std::uint16_t Count = 0;
    };
    std::unordered_map<std::uint64_t, std::unique_ptr<TRing>> rings_;
};
