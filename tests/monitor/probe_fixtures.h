// Loopback servers for the probe tests: one that accepts, one whose backlog is full so it never
// answers, and a port nobody listens on. Everything stays on this machine.
#pragma once

#include "core/servers_u.h"
#include "monitor/probeservice.h"
#include "platform/icmp.h"

#include <QObject>
#include <QTimer>
#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace probetest {

// Connections the kernel completes on its own before anyone accepts them.
constexpr int kAcceptBacklog = 512;

// A listening socket on `host` (numeric, v4 or v6) and a free port; the kernel answers every SYN.
class TLoopbackListener
{
public:
    explicit TLoopbackListener(const std::string& host = "127.0.0.1", int backlog = kAcceptBacklog,
                               std::uint16_t port = 0)
    {
        bool v6 = host.find(':') != std::string::npos;
        fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_storage address{};
        socklen_t length;
        if (v6) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(port);
            inet_pton(AF_INET6, host.c_str(), &in6->sin6_addr);
            length = sizeof *in6;
        } else {
            auto* in = reinterpret_cast<sockaddr_in*>(&address);
            in->sin_family = AF_INET;
            in->sin_port = htons(port);
            inet_pton(AF_INET, host.c_str(), &in->sin_addr);
            length = sizeof *in;
        }
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, backlog) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                         : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
        host_ = host;
    }
    ~TLoopbackListener()
    {
        for (int fd : clients_)
            ::close(fd);
        if (fd_ >= 0)
            ::close(fd_);
    }
    TLoopbackListener(const TLoopbackListener&) = delete;
    TLoopbackListener& operator=(const TLoopbackListener&) = delete;

    bool IsValid() const { return fd_ >= 0; }
    std::uint16_t Port() const { return port_; }
    std::string Address() const { return host_ + ":" + std::to_string(port_); }

    // Fills the accept queue with connections nobody takes, so further SYNs are dropped unanswered.
    void FillBacklog(int connections)
    {
        for (int i = 0; i < connections; ++i) {
            int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in in{};
            in.sin_family = AF_INET;
            in.sin_port = htons(port_);
            inet_pton(AF_INET, host_.c_str(), &in.sin_addr);
            ::connect(fd, reinterpret_cast<sockaddr*>(&in), sizeof in);
            clients_.push_back(fd);
        }
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::string host_;
    std::vector<int> clients_;
};

// A loopback port that was free a moment ago: a connect to it is refused.
inline std::uint16_t ClosedPort()
{
    TLoopbackListener probe("127.0.0.1");
    return probe.Port();
}

// Where no ICMP socket can be had (no privilege, no ping group) every echo goes unanswered.
inline bool EchoAvailable(platform::TAddressFamily family = platform::TAddressFamily::IPv4)
{
    return platform::TIcmpChannel(family, platform::TIcmpMode::Auto).IsOpen();
}

// The ping an online loopback server should end with: a measured round trip, or none without echo.
inline bool PingAsExpected(std::int32_t ping, platform::TAddressFamily family = platform::TAddressFamily::IPv4)
{
    return EchoAvailable(family) ? ping >= 1 : ping == kPingNone;
}

inline void AddTestServer(const std::string& name, const std::string& address)
{
    AddServer({.Name = name, .Address = address});
}

inline TServer& EntryById(std::uint64_t id)
{
    return Servers[static_cast<std::size_t>(IndexOfServerId(id))];
}

// Stands in for whoever shows the servers: records what the service publishes, with the entry's state
// at each signal, and repaints as a widget would, once per turn of the event loop however many results
// asked for one.
class TProbeRecorder
{
public:
    explicit TProbeRecorder(TProbeService& probes)
    {
        QObject::connect(&probes, &TProbeService::serverProbed, &context_, [this](std::uint64_t id) {
            // An id without an entry is recorded too, as a state no entry has.
            const int index = IndexOfServerId(id);
            const TServer* s = index < 0 ? nullptr : &Servers[static_cast<std::size_t>(index)];
            states_[id].emplace_back(s ? s->Status : -1, s ? s->Ping : -1);
            if (repaintPending_)
                return;
            repaintPending_ = true;
            QTimer::singleShot(0, &context_, [this] {
                repaintPending_ = false;
                ++Repaints;
            });
        });
        QObject::connect(&probes, &TProbeService::probeFinished, &context_,
                         [this](std::uint64_t id) { ++finished_[id]; });
    }

    int Repaints = 0;
    // Status and Ping of the entry at each serverProbed for it.
    std::vector<std::pair<int, int>> States(std::uint64_t id) const
    {
        auto it = states_.find(id);
        return it == states_.end() ? std::vector<std::pair<int, int>>{} : it->second;
    }
    int Finished(std::uint64_t id) const
    {
        auto it = finished_.find(id);
        return it == finished_.end() ? 0 : it->second;
    }
    int Signals() const
    {
        std::size_t count = 0;
        for (const auto& [id, states] : states_)
            count += states.size();
        return static_cast<int>(count);
    }
    void Clear()
    {
        states_.clear();
        finished_.clear();
    }

private:
    QObject context_;
    bool repaintPending_ = false;
    std::map<std::uint64_t, std::vector<std::pair<int, int>>> states_;
    std::map<std::uint64_t, int> finished_;
};

} // namespace probetest
