// Open descriptors and whole-file locks, shared by the POSIX implementations of the platform layer.
#pragma once

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform::posix {

class TFd
{
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() { Reset(); }
    int Get() const { return fd_; }
    int Release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// A write lock on the open file itself (not on the process), so that any process, this one included, can
// tell a file that is still being written from one whose writer is gone: the kernel drops the lock when
// the last descriptor of that open file closes, however the writer ends.
enum class TLockResult
{
    Held,
    Busy,
    Unsupported,
};

inline TLockResult LockWholeFile(int fd)
{
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0)
        return TLockResult::Held;
    return (errno == EAGAIN || errno == EACCES) ? TLockResult::Busy : TLockResult::Unsupported;
}

enum class TLockHolder
{
    Nobody,
    Another,
    Unknown, // the file system keeps no locks
};

// Asks without taking anything, so a descriptor opened only for reading will do.
inline TLockHolder WholeFileLockHolder(int fd)
{
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_GETLK, &lock) != 0)
        return TLockHolder::Unknown;
    return lock.l_type == F_UNLCK ? TLockHolder::Nobody : TLockHolder::Another;
}

} // namespace platform::posix
