// The single-instance lock: at most one holder per user and name, released when the holder dies. It lives
// in a folder of the user's alone (the session's runtime folder, else the user's state folder), so another
// user can neither take it first nor reach it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

class InstanceLock
{
public:
    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    enum class Result
    {
        Acquired,
        HeldElsewhere,
        Unavailable, // the system refused to make the lock at all
    };
    Result Acquire(const std::string& name);
    void Release();
    bool Held() const { return handle_ >= 0; }
    // The socket the holder listens on (non-blocking), for copies started later; -1 when there is none.
    // It stays the lock's: the caller watches it but never closes it.
    int Channel() const { return channel_; }

private:
    int handle_ = -1;  // the locked file
    int channel_ = -1; // a socket the holder listens on beside the lock, for copies started later to reach it
    std::string channelPath_;
};

// A copy started later reaches the holder of `name`'s lock: a connected socket, checked to be of a process
// of this user, or -1. The caller closes it.
int ConnectToHolder(const std::string& name);

// A connection waiting on a channel: its socket (non-blocking), or -1 when none waits. One from another
// user is closed at once and counts as `refused`, so a caller loops until neither is set.
struct TChannelPeer
{
    int Fd = -1;
    bool Refused = false;
};
TChannelPeer AcceptChannelPeer(int channel);
// Whether the process at the other end of a local socket is of this user.
bool PeerIsSameUser(int socket);

// What a channel socket holds now, without waiting: bytes (at most `max`), an empty text at the end of
// the stream or on an error, nothing while no byte is there.
std::optional<std::string> ReceiveNow(int socket, std::size_t max);
// Sends all of `bytes`, waiting at most `timeoutMs` in all (a peer that reads nothing cannot hold us).
bool SendAll(int socket, std::string_view bytes, int timeoutMs);
// Waits until the socket has something to read (or its end); false after `timeoutMs`, -1: no bound.
bool WaitReadable(int socket, int timeoutMs);
void CloseChannelSocket(int socket);

// True when a graphical session is reachable for windows to appear on.
bool HasDisplay();

} // namespace platform
