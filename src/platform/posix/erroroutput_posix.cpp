#include "platform/erroroutput.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kErrorFd = STDERR_FILENO;
constexpr std::size_t kCopyChunk = 4096;

void WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

} // namespace

TErrorOutputHold::TErrorOutputHold()
{
    std::fflush(stderr);
    // A file in memory, not a pipe: a library that writes much while nobody reads must not block.
    held_ = ::memfd_create("korvan-held-errors", MFD_CLOEXEC);
    saved_ = held_ < 0 ? -1 : ::fcntl(kErrorFd, F_DUPFD_CLOEXEC, 0);
    if (saved_ < 0 || ::dup2(held_, kErrorFd) < 0) {
        if (saved_ >= 0)
            ::close(saved_);
        if (held_ >= 0)
            ::close(held_);
        saved_ = held_ = -1;
    }
}

TErrorOutputHold::~TErrorOutputHold()
{
    Pass();
}

void TErrorOutputHold::Restore()
{
    std::fflush(stderr);
    ::dup2(saved_, kErrorFd);
    ::close(saved_);
    saved_ = -1;
}

void TErrorOutputHold::Pass()
{
    if (held_ < 0)
        return;
    Restore();
    char chunk[kCopyChunk];
    off_t offset = 0;
    for (;;) {
        ssize_t n = ::pread(held_, chunk, sizeof chunk, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        WriteAll(kErrorFd, chunk, static_cast<std::size_t>(n));
        offset += n;
    }
    ::close(held_);
    held_ = -1;
}

void TErrorOutputHold::Drop()
{
    if (held_ < 0)
        return;
    Restore();
    ::close(held_);
    held_ = -1;
}

} // namespace platform
