// Fills the probe history of 1,000 servers with a full hour (360 probes each, more than the ring holds)
// and feeds the watch the same rounds, then prints the heap each costs per server, as the C library
// counts it, and how long recording a probe takes.
#include "monitor/probehistory.h"
#include "monitor/serverwatch.h"

#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <vector>

namespace {

constexpr int kServerCount = 1000;
// More than a ring holds: the memory must not grow past the first hour.
constexpr int kRounds = static_cast<int>(kHistoryLength) * 2;
constexpr std::int64_t kStartTime = 1'700'000'000;
constexpr std::int64_t kPeriodSeconds = 10;

std::size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

} // namespace

int main()
{
    std::vector<std::uint64_t> ids;
    for (int i = 1; i <= kServerCount; ++i)
        ids.push_back(static_cast<std::uint64_t>(i));

    const std::size_t before = HeapInUse();
    auto history = std::make_unique<TProbeHistory>();
    std::size_t afterFirstHour = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < kRounds; ++round) {
        for (std::uint64_t id : ids)
            history->Record(id, kStartTime + round * kPeriodSeconds, (id + round) % 7 != 0,
                            static_cast<std::int32_t>(20 + (id * 13 + round) % 200));
        if (round + 1 == static_cast<int>(kHistoryLength))
            afterFirstHour = HeapInUse();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::size_t afterHistory = HeapInUse();

    auto watch = std::make_unique<TServerWatch>(2);
    const auto now = TServerWatch::TClock::now();
    for (int round = 0; round < 10; ++round) {
        watch->BeginRound(ids, now);
        for (std::uint64_t id : ids)
            (void)watch->Probed(id, (id + round) % 3 != 0, now);
    }
    const std::size_t afterWatch = HeapInUse();

    std::printf("servers: %d, probes recorded per server: %d (ring of %zu)\n", kServerCount, kRounds, kHistoryLength);
    std::printf("history: %zu bytes per server after one hour, %zu after two (sample %zu bytes)\n",
                (afterFirstHour - before) / kServerCount, (afterHistory - before) / kServerCount, sizeof(TProbeSample));
    std::printf("watch state: %zu bytes per server\n", (afterWatch - afterHistory) / kServerCount);
    std::printf("recording: %.1f ns per probe\n", seconds * 1e9 / (static_cast<double>(kRounds) * kServerCount));
    return 0;
}
