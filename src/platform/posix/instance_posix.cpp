#include "platform/instance.h"

#include "platform/posix/fd_posix.h"
#include "platform/userdirs.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace platform {

namespace {

constexpr mode_t kLockFileMode = 0600;
constexpr const char* kLockSuffix = ".lock";
constexpr const char* kChannelSuffix = ".socket";
constexpr int kChannelBacklog = 8;

// The session's runtime folder lives in memory and goes with the session; without one, the state folder
// in the user's home serves, which every session of the user sees.
std::string LockFolder()
{
    std::string folder = PrivateRuntimeFolder();
    return folder.empty() ? PrivateStateFolder(true) : folder;
}

// A socket bound to a path, listening. The path is free to take: only the holder of the lock binds it,
// so whatever stands there is a socket a killed holder left.
bool ChannelAddress(const std::string& path, sockaddr_un& addr)
{
    if (path.size() + 1 > sizeof addr.sun_path)
        return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

int OpenChannel(const std::string& path)
{
    sockaddr_un addr{};
    if (!ChannelAddress(path, addr))
        return -1;
    posix::TFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.Get() < 0)
        return -1;
    (void)::unlink(path.c_str());
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd.Get(), kChannelBacklog) != 0)
        return -1;
    return fd.Release();
}

} // namespace

// The lock is flock on a file in the private folder: the kernel drops it the moment the holder exits,
// however it exits, so a crash never leaves a stale lock behind, and the folder keeps other users out.
InstanceLock::Result InstanceLock::Acquire(const std::string& name)
{
    Release();
    const std::string folder = LockFolder();
    if (folder.empty() || name.empty() || name.find('/') != std::string::npos)
        return Result::Unavailable;
    const std::string path = folder + name + kLockSuffix;
    posix::TFd fd(
        ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, kLockFileMode));
    struct stat st;
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return Result::Unavailable;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? Result::HeldElsewhere : Result::Unavailable;
    handle_ = fd.Release();
    channelPath_ = folder + name + kChannelSuffix;
    channel_ = OpenChannel(channelPath_);
    return Result::Acquired;
}

void InstanceLock::Release()
{
    if (channel_ >= 0) {
        // Still under the lock, so the name removed is ours and not a new holder's.
        (void)::unlink(channelPath_.c_str());
        ::close(channel_);
        channel_ = -1;
    }
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = -1;
    }
}

InstanceLock::~InstanceLock()
{
    Release();
}

int ConnectToHolder(const std::string& name)
{
    const std::string folder = LockFolder();
    sockaddr_un addr{};
    if (folder.empty() || name.empty() || name.find('/') != std::string::npos ||
        !ChannelAddress(folder + name + kChannelSuffix, addr))
        return -1;
    posix::TFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    // A listening socket takes the connection into its backlog at once, so this does not wait on the holder.
    if (fd.Get() < 0 || ::connect(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        !PeerIsSameUser(fd.Get()))
        return -1;
    return fd.Release();
}

bool PeerIsSameUser(int socket)
{
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && length == sizeof peer &&
           peer.uid == ::geteuid();
}

TChannelPeer AcceptChannelPeer(int channel)
{
    TChannelPeer peer;
    posix::TFd fd(::accept4(channel, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (fd.Get() < 0)
        return peer;
    if (!PeerIsSameUser(fd.Get())) {
        peer.Refused = true;
        return peer;
    }
    peer.Fd = fd.Release();
    return peer;
}

std::optional<std::string> ReceiveNow(int socket, std::size_t max)
{
    std::string bytes(max, '\0');
    const ssize_t got = ::recv(socket, bytes.data(), max, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return std::nullopt;
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

bool WaitReadable(int socket, int timeoutMs)
{
    pollfd watched{socket, POLLIN, 0};
    int ready;
    do
        ready = ::poll(&watched, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

bool SendAll(int socket, std::string_view bytes, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!bytes.empty()) {
        const ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd watched{socket, POLLOUT, 0};
        if (left.count() <= 0 || ::poll(&watched, 1, static_cast<int>(left.count())) <= 0)
            return false;
    }
    return true;
}

void CloseChannelSocket(int socket)
{
    if (socket >= 0)
        ::close(socket);
}

bool HasDisplay()
{
    // Qt's platform plugin decides where windows go; without one of these it has nowhere to draw.
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* v = std::getenv(var);
        if (v && *v)
            return true;
    }
    return false;
}

} // namespace platform
