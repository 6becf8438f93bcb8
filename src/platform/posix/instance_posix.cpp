#include "platform/instance.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

// The lock is a socket bound to a name in the abstract namespace: the kernel frees the name the
// moment the holder exits, however it exits, so a crash never leaves a stale lock behind.
InstanceLock::Result InstanceLock::Acquire(const std::string& name)
{
    Release();
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Result::Unavailable;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string key = "korvan-" + name + "-" + std::to_string(::getuid());
    if (key.size() + 1 > sizeof addr.sun_path) {
        ::close(fd);
        return Result::Unavailable;
    }
    std::memcpy(addr.sun_path + 1, key.data(), key.size());
    auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + key.size());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0) {
        handle_ = fd;
        return Result::Acquired;
    }
    int err = errno;
    ::close(fd);
    return err == EADDRINUSE ? Result::HeldElsewhere : Result::Unavailable;
}

void InstanceLock::Release()
{
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = -1;
    }
}

InstanceLock::~InstanceLock()
{
    Release();
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
