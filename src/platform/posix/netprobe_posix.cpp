#include "platform/netprobe.h"

#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

// The system resolver may hang for as long as its own retries last; a few helpers keep a burst of
// names moving without a thread per server.
constexpr std::size_t kMaxLookupHelpers = 8;
constexpr int kMaxPollEvents = 256;

int Fd(TSocketHandle socket)
{
    return static_cast<int>(socket);
}

socklen_t ToSockaddr(const TNetAddress& address, std::uint16_t port, sockaddr_storage& out)
{
    std::memset(&out, 0, sizeof out);
    if (address.Family == TAddressFamily::IPv4) {
        auto* in = reinterpret_cast<sockaddr_in*>(&out);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        std::memcpy(&in->sin_addr, address.Bytes.data(), sizeof in->sin_addr);
        return sizeof(sockaddr_in);
    }
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&out);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    in6->sin6_scope_id = address.ScopeId;
    std::memcpy(&in6->sin6_addr, address.Bytes.data(), sizeof in6->sin6_addr);
    return sizeof(sockaddr_in6);
}

} // namespace

bool FromSockaddr(const sockaddr* raw, TNetAddress& out)
{
    out = TNetAddress{};
    if (raw->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(raw);
        out.Family = TAddressFamily::IPv4;
        std::memcpy(out.Bytes.data(), &in->sin_addr, sizeof in->sin_addr);
        return true;
    }
    if (raw->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(raw);
        out.Family = TAddressFamily::IPv6;
        out.ScopeId = in6->sin6_scope_id;
        std::memcpy(out.Bytes.data(), &in6->sin6_addr, sizeof in6->sin6_addr);
        return true;
    }
    return false;
}

socklen_t ToSockaddrForIcmp(const TNetAddress& address, sockaddr_storage& out)
{
    return ToSockaddr(address, 0, out);
}

std::string TNetAddress::ToString() const
{
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(Family == TAddressFamily::IPv4 ? AF_INET : AF_INET6, Bytes.data(), text, sizeof text);
    return text;
}

std::optional<TNetAddress> ParseNumericAddress(std::string_view host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty())
        return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    // Numeric only, so this never waits on the network; it also reads scoped IPv6 forms like fe80::1%lo.
    if (getaddrinfo(std::string(host).c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    TNetAddress address;
    bool ok = FromSockaddr(found->ai_addr, address);
    freeaddrinfo(found);
    if (!ok)
        return std::nullopt;
    return address;
}

// -- name lookup --

struct TNameLookup::TShared
{
    std::string Host;
    mutable std::mutex Lock;
    TState State = TState::Pending;
    bool Abandoned = false;
    std::vector<TNetAddress> Addresses;
};

namespace {

// Lookups waiting for a helper, and the helpers that run them. Helpers are detached, but each holds
// this state and its lookup by shared pointer, so nothing they touch goes away while they run; the
// program's end need not wait for a resolver that hangs.
struct TLookupHelpers
{
    std::mutex Lock;
    std::deque<std::shared_ptr<TNameLookup::TShared>> Queue;
    std::size_t Running = 0;
};

std::shared_ptr<TLookupHelpers> LookupHelpers()
{
    static auto helpers = std::make_shared<TLookupHelpers>();
    return helpers;
}

void Resolve(TNameLookup::TShared& lookup)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::vector<TNetAddress> addresses;
    if (getaddrinfo(lookup.Host.c_str(), nullptr, &hints, &found) == 0) {
        for (addrinfo* it = found; it; it = it->ai_next) {
            TNetAddress address;
            if (FromSockaddr(it->ai_addr, address))
                addresses.push_back(address);
        }
        freeaddrinfo(found);
    }
    std::lock_guard guard(lookup.Lock);
    lookup.Addresses = std::move(addresses);
    lookup.State = lookup.Addresses.empty() ? TNameLookup::TState::Failed : TNameLookup::TState::Resolved;
}

void RunLookupHelper(std::shared_ptr<TLookupHelpers> helpers)
{
    for (;;) {
        std::shared_ptr<TNameLookup::TShared> next;
        {
            std::lock_guard guard(helpers->Lock);
            if (helpers->Queue.empty()) {
                --helpers->Running;
                return;
            }
            next = std::move(helpers->Queue.front());
            helpers->Queue.pop_front();
        }
        bool abandoned;
        {
            std::lock_guard guard(next->Lock);
            abandoned = next->Abandoned;
        }
        if (!abandoned)
            Resolve(*next);
    }
}

} // namespace

TNameLookup::TNameLookup(const std::string& host) : shared_(std::make_shared<TShared>())
{
    shared_->Host = host;
    auto helpers = LookupHelpers();
    std::lock_guard guard(helpers->Lock);
    helpers->Queue.push_back(shared_);
    if (helpers->Running < kMaxLookupHelpers) {
        ++helpers->Running;
        std::thread(RunLookupHelper, helpers).detach();
    }
}

TNameLookup::~TNameLookup()
{
    std::lock_guard guard(shared_->Lock);
    shared_->Abandoned = true;
}

TNameLookup::TState TNameLookup::Poll() const
{
    std::lock_guard guard(shared_->Lock);
    return shared_->State;
}

std::vector<TNetAddress> TNameLookup::Addresses() const
{
    std::lock_guard guard(shared_->Lock);
    return shared_->Addresses;
}

// -- TCP connect --

TConnectState StartTcpConnect(const TNetAddress& address, std::uint16_t port, TSocketHandle& socket)
{
    socket = kNoSocket;
    if (port == 0)
        return TConnectState::Failed;
    sockaddr_storage target;
    socklen_t length = ToSockaddr(address, port, target);
    int fd = ::socket(target.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return TConnectState::Failed;
    // Nothing is ever sent: the close that follows the connect should not linger in TIME_WAIT.
    linger noLinger{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
    socket = fd;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&target), length) == 0)
        return TConnectState::Connected;
    return errno == EINPROGRESS ? TConnectState::InProgress : TConnectState::Failed;
}

TConnectState FinishTcpConnect(TSocketHandle socket)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return TConnectState::Failed;
    if (error == EINPROGRESS || error == EALREADY)
        return TConnectState::InProgress;
    return error == 0 ? TConnectState::Connected : TConnectState::Failed;
}

void CloseSocket(TSocketHandle socket)
{
    if (socket != kNoSocket)
        ::close(Fd(socket));
}

std::size_t RaiseOpenFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = raised.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? SIZE_MAX : static_cast<std::size_t>(limit.rlim_cur);
}

// -- wake signal --

TWakeSignal::TWakeSignal()
{
    int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd >= 0)
        handle_ = fd;
}

TWakeSignal::~TWakeSignal()
{
    CloseSocket(handle_);
}

void TWakeSignal::Set()
{
    std::uint64_t one = 1;
    // A full counter is still set, which is all a wake-up needs.
    (void)!::write(Fd(handle_), &one, sizeof one);
}

void TWakeSignal::Clear()
{
    std::uint64_t count = 0;
    (void)!::read(Fd(handle_), &count, sizeof count);
}

// -- poller --

TPoller::TPoller()
{
    int fd = epoll_create1(EPOLL_CLOEXEC);
    if (fd >= 0)
        handle_ = fd;
}

TPoller::~TPoller()
{
    CloseSocket(handle_);
}

bool TPoller::Watch(TSocketHandle socket, bool forRead, bool forWrite, std::uint64_t key)
{
    epoll_event event{};
    event.events = (forRead ? EPOLLIN : 0u) | (forWrite ? EPOLLOUT : 0u);
    event.data.u64 = key;
    return epoll_ctl(Fd(handle_), EPOLL_CTL_ADD, Fd(socket), &event) == 0;
}

void TPoller::Unwatch(TSocketHandle socket)
{
    epoll_ctl(Fd(handle_), EPOLL_CTL_DEL, Fd(socket), nullptr);
}

std::size_t TPoller::Wait(int timeoutMs, std::vector<TPollEvent>& events)
{
    epoll_event raw[kMaxPollEvents];
    int count = epoll_wait(Fd(handle_), raw, kMaxPollEvents, timeoutMs);
    events.clear();
    for (int i = 0; i < count; ++i) {
        TPollEvent event;
        event.Key = raw[i].data.u64;
        event.Readable = raw[i].events & EPOLLIN;
        event.Writable = raw[i].events & EPOLLOUT;
        event.Error = raw[i].events & (EPOLLERR | EPOLLHUP);
        events.push_back(event);
    }
    return events.size();
}

} // namespace platform
