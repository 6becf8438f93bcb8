// Probes 1,000 servers on loopback addresses 127.1.x.y, each with a listener on the realm port, through
// ProbeAllServers, and times it until no probe runs; nmap's TCP connect scan of the same addresses runs
// in between. Also prints the process's peak memory and the longest gap between ticks of a fast timer
// on the main loop. Every packet stays on this machine.
#include "common/stallmeter.h"
#include "core/servers_u.h"
#include "core/settings_u.h"
#include "monitor/probeservice.h"
#include "platform/netprobe.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kServerCount = 1000;
constexpr int kHostsPerBlock = 250;
constexpr int kRounds = 3;
constexpr int kListenBacklog = 1024;
constexpr int kMaxEvents = 64;

std::string HostOf(int i)
{
    return "127.1." + std::to_string(i / kHostsPerBlock) + "." + std::to_string(i % kHostsPerBlock + 1);
}

// The servers: a child process with one listener per address that accepts and drops every connection,
// until its parent closes the pipe.
pid_t StartListeners(int& stopPipe)
{
    int ready[2];
    int stop[2];
    if (pipe(ready) != 0 || pipe(stop) != 0)
        return -1;
    pid_t child = fork();
    if (child != 0) {
        close(ready[1]);
        close(stop[0]);
        char byte = 0;
        if (read(ready[0], &byte, 1) != 1 || byte != 1)
            return -1;
        close(ready[0]);
        stopPipe = stop[1];
        return child;
    }
    close(ready[0]);
    close(stop[1]);
    int epoll = epoll_create1(0);
    epoll_event stopEvent{};
    stopEvent.events = EPOLLIN;
    stopEvent.data.fd = stop[0];
    epoll_ctl(epoll, EPOLL_CTL_ADD, stop[0], &stopEvent);
    char status = 1;
    for (int i = 0; i < kServerCount; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(DefaultServerPort);
        inet_pton(AF_INET, HostOf(i).c_str(), &address.sin_addr);
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, kListenBacklog) != 0) {
            std::perror("listener");
            status = 0;
            break;
        }
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
    }
    (void)!write(ready[1], &status, 1);
    for (;;) {
        epoll_event events[kMaxEvents];
        int count = epoll_wait(epoll, events, kMaxEvents, -1);
        for (int i = 0; i < count; ++i) {
            if (events[i].data.fd == stop[0])
                _exit(0);
            int client;
            while ((client = accept(events[i].data.fd, nullptr, nullptr)) >= 0)
                close(client);
        }
    }
}

struct TRoundResult
{
    double Seconds = 0;
    double LongestStallMs = 0;
    int Online = 0;
    int Pinged = 0;
};

TRoundResult ProbeRound()
{
    for (TServer& s : Servers) {
        s.Status = ssChecking;
        s.Ping = kPingReset;
    }
    TRoundResult run;
    TStallMeter stalls;

    QElapsedTimer clock;
    clock.start();
    TProbeService probes([] { return kDefaultTimeout; });
    probes.ProbeAllServers();
    while (probes.RunningCount() > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    run.Seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    run.LongestStallMs = stalls.LongestMs();
    for (const TServer& s : Servers) {
        run.Online += s.Status == ssOnline;
        run.Pinged += s.Ping >= 1;
    }
    return run;
}

struct TNmapRun
{
    double Seconds = -1;
    int Open = 0;
};

TNmapRun NmapRound(const std::string& hostList, const std::string& output)
{
    const std::string command = "nmap -n -Pn -sT -p " + std::to_string(DefaultServerPort) + " -iL " + hostList +
                                " -oG " + output + " >/dev/null 2>&1";
    TNmapRun run;
    QElapsedTimer clock;
    clock.start();
    if (std::system(command.c_str()) != 0)
        return run;
    run.Seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::ifstream result(output);
    std::string line;
    while (std::getline(result, line))
        run.Open += line.find(std::to_string(DefaultServerPort) + "/open") != std::string::npos;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    platform::RaiseOpenFileLimit();
    int stopPipe = -1;
    pid_t listeners = StartListeners(stopPipe);
    if (listeners < 0) {
        std::fprintf(stderr, "could not start the loopback listeners\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    const std::string hostList = scratch.filePath("hosts.txt").toStdString();
    const std::string nmapOutput = scratch.filePath("nmap.txt").toStdString();
    {
        std::ofstream hosts(hostList);
        for (int i = 0; i < kServerCount; ++i) {
            hosts << HostOf(i) << "\n";
            // No port: the probe uses the realm port, as nmap is told to.
            AddServer({.Name = "Server " + std::to_string(i), .Address = HostOf(i)});
        }
    }

    std::vector<TRoundResult> probes;
    std::vector<TNmapRun> scans;
    for (int round = 0; round < kRounds; ++round) {
        probes.push_back(ProbeRound());
        scans.push_back(NmapRound(hostList, nmapOutput));
    }
    close(stopPipe);
    waitpid(listeners, nullptr, 0);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("servers: %d on 127.1.0.1-127.1.3.250, port %u\n", kServerCount, DefaultServerPort);
    double bestProbe = 1e9;
    double bestScan = 1e9;
    double worstStall = 0;
    for (int round = 0; round < kRounds; ++round) {
        const TRoundResult& p = probes[static_cast<std::size_t>(round)];
        const TNmapRun& n = scans[static_cast<std::size_t>(round)];
        std::printf("round %d: probe (TCP + echo) %.3f s, %d online, %d with ping, longest main-loop stall %.1f ms; "
                    "nmap -sT %.3f s, %d open\n",
                    round + 1, p.Seconds, p.Online, p.Pinged, p.LongestStallMs, n.Seconds, n.Open);
        bestProbe = std::min(bestProbe, p.Seconds);
        if (n.Seconds > 0)
            bestScan = std::min(bestScan, n.Seconds);
        worstStall = std::max(worstStall, p.LongestStallMs);
    }
    std::printf("best probe %.3f s, best nmap %.3f s, ratio probe/nmap %.2f (target <= 2)\n", bestProbe, bestScan,
                bestProbe / bestScan);
    std::printf("longest main-loop stall over all rounds: %.1f ms (target <= 50)\n", worstStall);
    std::printf("peak memory (maxrss): %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
