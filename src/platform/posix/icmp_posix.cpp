#include "platform/icmp.h"

#include <cerrno>
#include <cstring>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

// Shared with netprobe_posix.cpp.
bool FromSockaddr(const sockaddr* raw, TNetAddress& out);
socklen_t ToSockaddrForIcmp(const TNetAddress& address, sockaddr_storage& out);

namespace {

constexpr std::size_t kEchoHeaderSize = 8;
constexpr std::size_t kEchoPayloadSize = 24;
constexpr std::size_t kReceiveBufferSize = 2048;
// Replies of a whole server list can arrive in one burst; a small buffer would drop most of them.
constexpr int kSocketReceiveBuffer = 1 << 20;
constexpr std::uint8_t kIcmp4EchoRequest = 8;
constexpr std::uint8_t kIcmp4EchoReply = 0;
constexpr std::uint8_t kIcmp6EchoRequest = 128;
constexpr std::uint8_t kIcmp6EchoReply = 129;
constexpr std::uint8_t kIpHeaderWordsMask = 0x0F;
constexpr int kIpHeaderWordSize = 4;

std::uint16_t InternetChecksum(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (size % 2)
        sum += static_cast<std::uint32_t>(data[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

int OpenSocket(int domain, int type, int protocol)
{
    return ::socket(domain, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
}

} // namespace

TIcmpChannel::TIcmpChannel(TAddressFamily family, TIcmpMode mode) : family_(family)
{
    if (mode == TIcmpMode::Disabled)
        return;
    const bool v4 = family == TAddressFamily::IPv4;
    const int domain = v4 ? AF_INET : AF_INET6;
    const int protocol = v4 ? static_cast<int>(IPPROTO_ICMP) : static_cast<int>(IPPROTO_ICMPV6);
    int fd = -1;
    // The datagram kind needs no privilege where net.ipv4.ping_group_range admits our group.
    if (mode != TIcmpMode::RawOnly)
        fd = OpenSocket(domain, SOCK_DGRAM, protocol);
    if (fd < 0 && mode != TIcmpMode::DatagramOnly) {
        fd = OpenSocket(domain, SOCK_RAW, protocol);
        raw_ = fd >= 0;
    }
    if (fd < 0)
        return;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kSocketReceiveBuffer, sizeof kSocketReceiveBuffer);
    if (raw_ && !v4) {
        icmp6_filter filter;
        ICMP6_FILTER_SETBLOCKALL(&filter);
        ICMP6_FILTER_SETPASS(kIcmp6EchoReply, &filter);
        setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
    }
    // A raw socket sees the replies to every program's pings; ours carry an identifier of their own.
    // The datagram socket's identifier is replaced by the kernel, which delivers only our replies.
    std::random_device random;
    identifier_ = static_cast<std::uint16_t>(random());
    handle_ = fd;
}

TIcmpChannel::~TIcmpChannel()
{
    CloseSocket(handle_);
}

bool TIcmpChannel::SendEcho(const TNetAddress& to, std::uint16_t sequence)
{
    if (!IsOpen() || to.Family != family_)
        return false;
    std::uint8_t packet[kEchoHeaderSize + kEchoPayloadSize] = {};
    packet[0] = family_ == TAddressFamily::IPv4 ? kIcmp4EchoRequest : kIcmp6EchoRequest;
    packet[4] = static_cast<std::uint8_t>(identifier_ >> 8);
    packet[5] = static_cast<std::uint8_t>(identifier_);
    packet[6] = static_cast<std::uint8_t>(sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(sequence);
    for (std::size_t i = 0; i < kEchoPayloadSize; ++i)
        packet[kEchoHeaderSize + i] = static_cast<std::uint8_t>('a' + i);
    // IPv6 checksums cover a pseudo-header and are always filled in by the kernel.
    if (family_ == TAddressFamily::IPv4) {
        std::uint16_t sum = InternetChecksum(packet, sizeof packet);
        packet[2] = static_cast<std::uint8_t>(sum >> 8);
        packet[3] = static_cast<std::uint8_t>(sum);
    }
    sockaddr_storage target;
    socklen_t length = ToSockaddrForIcmp(to, target);
    return ::sendto(static_cast<int>(handle_), packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&target),
                    length) == static_cast<ssize_t>(sizeof packet);
}

std::vector<TEchoReply> TIcmpChannel::ReadReplies()
{
    std::vector<TEchoReply> replies;
    if (!IsOpen())
        return replies;
    std::uint8_t buffer[kReceiveBufferSize];
    for (;;) {
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        ssize_t size = ::recvfrom(static_cast<int>(handle_), buffer, sizeof buffer, 0,
                                  reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (size < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        const std::uint8_t* icmp = buffer;
        std::size_t icmpSize = static_cast<std::size_t>(size);
        // Raw IPv4 sockets hand over the IP header as well.
        if (raw_ && family_ == TAddressFamily::IPv4) {
            if (icmpSize == 0)
                continue;
            std::size_t ipHeader = static_cast<std::size_t>(buffer[0] & kIpHeaderWordsMask) * kIpHeaderWordSize;
            if (icmpSize < ipHeader)
                continue;
            icmp += ipHeader;
            icmpSize -= ipHeader;
        }
        if (icmpSize < kEchoHeaderSize)
            continue;
        const std::uint8_t replyType = family_ == TAddressFamily::IPv4 ? kIcmp4EchoReply : kIcmp6EchoReply;
        if (icmp[0] != replyType)
            continue;
        const auto identifier = static_cast<std::uint16_t>(icmp[4] << 8 | icmp[5]);
        if (raw_ && identifier != identifier_)
            continue;
        TEchoReply reply;
        reply.Sequence = static_cast<std::uint16_t>(icmp[6] << 8 | icmp[7]);
        if (!FromSockaddr(reinterpret_cast<sockaddr*>(&from), reply.From))
            continue;
        replies.push_back(reply);
    }
    return replies;
}

} // namespace platform
