#include "monitor/probehistory.h"

#include <algorithm>
#include <limits>

namespace {

std::uint32_t SampleTime(std::int64_t time)
{
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(time, 0, std::numeric_limits<std::uint32_t>::max()));
}

std::uint16_t SamplePing(bool ok, std::int32_t pingMs)
{
    if (!ok || pingMs < 0)
        return kSampleNoPing;
    return static_cast<std::uint16_t>(std::min<std::int32_t>(pingMs, kSampleNoPing - 1));
}

} // namespace

std::vector<THistoryColumn> HistoryColumns(const std::vector<TProbeSample>& samples, int columns)
{
    const std::size_t count = static_cast<std::size_t>(std::max(columns, 1));
    std::vector<THistoryColumn> result(count);
    const std::size_t n = samples.size();
    for (std::size_t i = 0; i < n; ++i) {
        // Many samples share a column; few stand one to a column, pushed to the right.
        const std::size_t column = n >= count ? i * count / n : count - n + i;
        THistoryColumn& c = result[column];
        c.Any = true;
        if (!samples[i].Ok)
            c.Failed = true;
        else if (samples[i].PingMs != kSampleNoPing)
            c.WorstPingMs = std::max<std::int32_t>(c.WorstPingMs, samples[i].PingMs);
    }
    return result;
}

void TProbeHistory::Record(std::uint64_t serverId, std::int64_t time, bool ok, std::int32_t pingMs)
{
    std::unique_ptr<TRing>& ring = rings_[serverId];
    if (!ring)
        ring = std::make_unique<TRing>();
    ring->Samples[ring->Next] = {SampleTime(time), SamplePing(ok, pingMs), ok};
    ring->Next = static_cast<std::uint16_t>((ring->Next + 1) % kHistoryLength);
    if (ring->Count < kHistoryLength)
        ++ring->Count;
}

std::vector<TProbeSample> TProbeHistory::Samples(std::uint64_t serverId) const
{
    std::vector<TProbeSample> samples;
    auto it = rings_.find(serverId);
    if (it == rings_.end())
        return samples;
    const TRing& ring = *it->second;
    samples.reserve(ring.Count);
    const std::size_t first = (ring.Next + kHistoryLength - ring.Count) % kHistoryLength;
    for (std::size_t i = 0; i < ring.Count; ++i)
        samples.push_back(ring.Samples[(first + i) % kHistoryLength]);
    return samples;
}

THistorySummary TProbeHistory::Summary(std::uint64_t serverId, std::int64_t now) const
{
    THistorySummary summary;
    std::vector<std::uint16_t> pings;
    for (const TProbeSample& sample : Samples(serverId)) {
        if (static_cast<std::int64_t>(sample.Time) < now - kHistorySpanSeconds)
            continue;
        ++summary.Probes;
        if (!sample.Ok)
            continue;
        ++summary.Answered;
        if (sample.PingMs != kSampleNoPing)
            pings.push_back(sample.PingMs);
    }
    if (!pings.empty()) {
        // The lower middle of an even count: a figure that was measured, not an average of two.
        const auto middle = pings.begin() + static_cast<std::ptrdiff_t>((pings.size() - 1) / 2);
        std::nth_element(pings.begin(), middle, pings.end());
        summary.MedianPingMs = *middle;
    }
    return summary;
}

void TProbeHistory::Forget(std::uint64_t serverId)
{
    rings_.erase(serverId);
}
