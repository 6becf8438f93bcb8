// The network operations a server probe is built from: addresses, a name lookup that never blocks its
// caller, a non-blocking TCP connect, a readiness wait over many sockets and a cross-thread wake-up.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using TSocketHandle = std::intptr_t;
inline constexpr TSocketHandle kNoSocket = -1;

enum class TAddressFamily : std::uint8_t
{
    IPv4,
    IPv6,
};

struct TNetAddress
{
    TAddressFamily Family = TAddressFamily::IPv4;
    // Network byte order; IPv4 uses the first four bytes.
    std::array<std::uint8_t, 16> Bytes{};
    std::uint32_t ScopeId = 0;

    bool operator==(const TNetAddress&) const = default;
    std::string ToString() const;
};

// A numeric IPv4 or IPv6 address; an IPv6 one may stand in square brackets. Nothing is looked up.
std::optional<TNetAddress> ParseNumericAddress(std::string_view host);

// A host name lookup on a helper thread. The owner polls it; dropping it while the system resolver
// still works is safe: the helper finishes on its own and nothing it touches is freed under it.
class TNameLookup
{
public:
    explicit TNameLookup(const std::string& host);
    TNameLookup(const TNameLookup&) = delete;
    TNameLookup& operator=(const TNameLookup&) = delete;
    ~TNameLookup();

    enum class TState
    {
        Pending,
        Resolved,
        Failed,
    };
    TState Poll() const;
    // Valid once Poll() said Resolved; in the resolver's order of preference.
    std::vector<TNetAddress> Addresses() const;

    struct TShared;

private:
    std::shared_ptr<TShared> shared_;
};

enum class TConnectState
{
    InProgress,
    Connected,
    Failed,
};

// Starts a TCP connect without waiting; `socket` stays kNoSocket when even that failed. Port 0 fails.
TConnectState StartTcpConnect(const TNetAddress& address, std::uint16_t port, TSocketHandle& socket);
// The outcome of a connect in progress, once the socket is reported writable or in error.
TConnectState FinishTcpConnect(TSocketHandle socket);
void CloseSocket(TSocketHandle socket);

// Raises the soft limit of open files to the hard one; a long server list keeps many sockets open at once.
// Gives the limit in force afterwards.
std::size_t RaiseOpenFileLimit();

struct TPollEvent
{
    std::uint64_t Key = 0;
    bool Readable = false;
    bool Writable = false;
    bool Error = false;
};

// A wake-up another thread can set; its handle reads as readable while it is set.
class TWakeSignal
{
public:
    TWakeSignal();
    TWakeSignal(const TWakeSignal&) = delete;
    TWakeSignal& operator=(const TWakeSignal&) = delete;
    ~TWakeSignal();

    bool IsValid() const { return handle_ != kNoSocket; }
    TSocketHandle Handle() const { return handle_; }
    void Set();
    void Clear();

private:
    TSocketHandle handle_ = kNoSocket;
};

// Waits until one of many sockets is ready, for one thread.
class TPoller
{
public:
    TPoller();
    TPoller(const TPoller&) = delete;
    TPoller& operator=(const TPoller&) = delete;
    ~TPoller();

    bool IsValid() const { return handle_ != kNoSocket; }
    bool Watch(TSocketHandle socket, bool forRead, bool forWrite, std::uint64_t key);
    void Unwatch(TSocketHandle socket);
    // Up to `timeoutMs` (-1: no limit); fills `events` and returns how many there are.
    std::size_t Wait(int timeoutMs, std::vector<TPollEvent>& events);

private:
    TSocketHandle handle_ = kNoSocket;
};

} // namespace platform
