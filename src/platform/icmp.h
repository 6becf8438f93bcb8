// ICMP echo: one socket sends echo requests to many hosts and reads the replies as they come, so a
// long server list needs no thread or socket per ping.
#pragma once

#include "platform/netprobe.h"

#include <cstdint>
#include <vector>

namespace platform {

enum class TIcmpMode : std::uint8_t
{
    // The unprivileged datagram socket where the system allows it, else the raw one.
    Auto,
    DatagramOnly,
    RawOnly,
    // No echo at all: every ping goes unanswered.
    Disabled,
};

struct TEchoReply
{
    TNetAddress From;
    std::uint16_t Sequence = 0;
};

class TIcmpChannel
{
public:
    TIcmpChannel(TAddressFamily family, TIcmpMode mode);
    TIcmpChannel(const TIcmpChannel&) = delete;
    TIcmpChannel& operator=(const TIcmpChannel&) = delete;
    ~TIcmpChannel();

    bool IsOpen() const { return handle_ != kNoSocket; }
    // A raw socket sees every echo reply of the host; the datagram one only its own.
    bool IsRaw() const { return raw_; }
    TSocketHandle Handle() const { return handle_; }

    bool SendEcho(const TNetAddress& to, std::uint16_t sequence);
    // Every echo reply waiting on the socket that answers one of ours; never blocks.
    std::vector<TEchoReply> ReadReplies();

private:
    TAddressFamily family_;
    TSocketHandle handle_ = kNoSocket;
    bool raw_ = false;
    std::uint16_t identifier_ = 0;
};

} // namespace platform
