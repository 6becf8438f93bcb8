// Probes lists of up to 100,000 servers on loopback addresses 127.2.x.y at a port nobody listens on, so
// every connect is refused at once and the figures are the program's own cost: the round's time, its
// time per server, and the longest gap between ticks of a fast timer on the main loop while the round
// runs (starting included). Every packet stays on this machine.
#include "common/stallmeter.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "platform/files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/resource.h>

namespace {

constexpr int kListSizes[] = {10000, 50000, 100000};
constexpr int kHostsPerBlock = 250;
constexpr int kBlocksPerNet = 250;
// A port nobody listens on, so loopback refuses at once.
constexpr int kRefusedPort = 1;

std::string HostOf(int i)
{
    const int block = i / kHostsPerBlock;
    return "127." + std::to_string(2 + block / kBlocksPerNet) + "." + std::to_string(block % kBlocksPerNet) + "." +
           std::to_string(i % kHostsPerBlock + 1);
}

struct TRound
{
    double Seconds = 0;
    double LongestStallMs = 0;
    int Offline = 0;
};

TRound ProbeRound()
{
    TRound round;
    TStallMeter stalls;

    QElapsedTimer clock;
    clock.start();
    TProbeService probes([] { return kDefaultTimeout; });
    probes.ProbeAllServers();
    // The stall of the start itself counts too: the window cannot paint while it runs.
    stalls.Note();
    while (probes.RunningCount() > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    round.Seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    round.LongestStallMs = stalls.LongestMs();
    for (const TServer& s : Servers)
        round.Offline += s.Status == ssOffline;
    return round;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    IniPath = scratch.filePath(QString::fromLatin1(kIniFileName)).toStdString();
    std::printf("servers on 127.2.0.1 onwards, port %d (refused); time-out %d ms\n", kRefusedPort, kDefaultTimeout);
    for (int size : kListSizes) {
        // Loaded from a tavix.ini, as a shared list reaches the program.
        std::string ini;
        for (int i = 0; i < size; ++i)
            ini +=
                "[Server " + std::to_string(i) + "]\nAddress=" + HostOf(i) + ":" + std::to_string(kRefusedPort) + "\n";
        if (!platform::ReplaceFileAtomically(IniPath, ini))
            return 1;
        Servers.clear();
        if (!LoadServers() || Servers.size() != static_cast<std::size_t>(size))
            return 1;
        const TRound round = ProbeRound();
        std::printf("%6d servers: round %.3f s (%.2f us per server), %d offline, longest main-loop stall %.1f ms\n",
                    size, round.Seconds, round.Seconds * 1e6 / size, round.Offline, round.LongestStallMs);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory (maxrss): %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
