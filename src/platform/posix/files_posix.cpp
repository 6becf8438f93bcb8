#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kNewFileMode = 0666;
// As many links in a row as the system itself follows before it calls it a loop.
constexpr int kMaxLinkHops = 40;
// A save file is "<name>.XXXXXX.saving": the random part mkstemp fills in, then this ending, so no other
// file of the user's can be taken for one.
constexpr const char* kSaveFileRandom = "XXXXXX";
constexpr const char* kSaveFileSuffix = ".saving";
// Another process may take a save file away between its creation and our lock; then a new one is made.
constexpr int kSaveFileAttempts = 8;

class TFd
{
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() { Reset(); }
    int Get() const { return fd_; }
    void Reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

bool WriteAllAt(int fd, std::string_view data)
{
    off_t offset = 0;
    while (!data.empty()) {
        ssize_t n = ::pwrite(fd, data.data(), data.size(), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
        offset += n;
    }
    return true;
}

std::string NameOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path finally names, following a chain of symbolic links in its last part; the result may
// not exist yet. Empty for a loop or a link that cannot be read.
std::optional<std::string> ResolveLinks(const std::string& path)
{
    std::string current = path;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        char buf[PATH_MAX];
        ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
        if (n <= 0)
            return std::nullopt;
        std::string target(buf, static_cast<size_t>(n));
        current = target.front() == '/' ? target : FolderOf(current) + target;
    }
    return std::nullopt;
}

// A write lock on the open file itself (not on the process), so that a cleaner in any process, this
// one included, can tell a save file that is still being written from one left behind.
enum class TLockResult
{
    Held,
    Busy,
    Unsupported,
};

TLockResult LockWholeFile(int fd)
{
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0)
        return TLockResult::Held;
    return (errno == EAGAIN || errno == EACCES) ? TLockResult::Busy : TLockResult::Unsupported;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsSaveFileName(const std::string& name, const std::string& base)
{
    const std::size_t random = std::strlen(kSaveFileRandom);
    const std::size_t suffix = std::strlen(kSaveFileSuffix);
    if (name.size() != base.size() + 1 + random + suffix || name.compare(0, base.size(), base) != 0 ||
        name[base.size()] != '.' || name.compare(name.size() - suffix, suffix, kSaveFileSuffix) != 0)
        return false;
    for (std::size_t i = base.size() + 1; i < base.size() + 1 + random; ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// The last resort of a folder that takes no new file: the file's own bytes are replaced. Room for a
// longer content is taken first, so a full disk refuses the save before anything is overwritten.
bool RewriteInPlace(int fd, std::string_view data, off_t oldSize)
{
    const auto newSize = static_cast<off_t>(data.size());
    if (newSize > oldSize) {
        int rc = ::posix_fallocate(fd, 0, newSize);
        if (rc != 0 && rc != EOPNOTSUPP && rc != EINVAL)
            return false;
    }
    return WriteAllAt(fd, data) && ::ftruncate(fd, newSize) == 0 && ::fsync(fd) == 0;
}

// Gives a new save file the permissions (and, where we may, the owner) of the file it replaces.
void CopyAccess(int fd, const struct stat* old)
{
    if (old) {
        if (::geteuid() == 0 && (old->st_uid != ::geteuid() || old->st_gid != ::getegid()))
            (void)::fchown(fd, old->st_uid, old->st_gid);
        (void)::fchmod(fd, old->st_mode & 07777);
        return;
    }
    mode_t mask = ::umask(0);
    ::umask(mask);
    (void)::fchmod(fd, kNewFileMode & ~mask);
}

} // namespace

std::string ExecutableDir()
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "./";
    return FolderOf(std::string(buf, static_cast<size_t>(n)));
}

std::string_view NativeLineEnd()
{
    return "\n";
}

std::string FolderOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool LockFileExists(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ReadWholeFile(const std::string& path, std::string& data, bool* missing)
{
    data.clear();
    if (missing)
        *missing = false;
    // Non-blocking: opening a pipe with no writer would otherwise wait for one for good.
    TFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.Get() < 0) {
        if (missing)
            *missing = (errno == ENOENT);
        return false;
    }
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (st.st_size > 0)
        data.reserve(static_cast<size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            data.clear();
            return false;
        }
        if (n == 0)
            return true;
        data.append(buf, static_cast<size_t>(n));
    }
}

namespace {

// The save itself, of `target` as named: a link there is not a regular file and is refused.
bool ReplaceTarget(const std::optional<std::string>& target, std::string_view data)
{
    if (!target || target->empty() || target->back() == '/')
        return false;

    // Whatever stands there is looked at before it is opened: a device or pipe is never opened at all.
    struct stat old;
    bool exists = false;
    TFd existing;
    if (::lstat(target->c_str(), &old) == 0) {
        if (!S_ISREG(old.st_mode) || (old.st_mode & kAnyWriteBit) == 0)
            return false;
        // Opening for writing is the test the system makes of our right to change the file.
        existing.Reset(::open(target->c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
        struct stat now;
        if (existing.Get() < 0 || ::fstat(existing.Get(), &now) != 0 || !S_ISREG(now.st_mode) || !SameFile(old, now))
            return false;
        exists = true;
    } else if (errno != ENOENT) {
        return false;
    }

    const std::string suffix = kSaveFileSuffix;
    for (int attempt = 0; attempt < kSaveFileAttempts; ++attempt) {
        std::string temp = *target + "." + kSaveFileRandom + suffix;
        TFd fd(::mkostemps(temp.data(), static_cast<int>(suffix.size()), O_CLOEXEC));
        if (fd.Get() < 0) {
            // A folder that takes no new file: Windows would still rewrite the file itself.
            if (exists && (errno == EACCES || errno == EPERM))
                return RewriteInPlace(existing.Get(), data, old.st_size);
            return false;
        }
        // Between its creation and the lock, a starting copy may have taken the file for one left
        // behind and removed it; the name must still be ours.
        const TLockResult lock = LockWholeFile(fd.Get());
        struct stat mine, named;
        if (lock == TLockResult::Busy || ::fstat(fd.Get(), &mine) != 0 || ::lstat(temp.c_str(), &named) != 0 ||
            !SameFile(mine, named))
            continue;
        CopyAccess(fd.Get(), exists ? &old : nullptr);
        if (WriteAllAt(fd.Get(), data) && ::fsync(fd.Get()) == 0 && ::rename(temp.c_str(), target->c_str()) == 0) {
            const std::string folder = FolderOf(*target);
            TFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (dir.Get() >= 0)
                (void)::fsync(dir.Get());
            return true;
        }
        ::unlink(temp.c_str());
        return false;
    }
    return false;
}

} // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view data)
{
    return ReplaceTarget(ResolveLinks(path), data);
}

bool ReplaceFileAtomicallyNoFollow(const std::string& path, std::string_view data)
{
    return ReplaceTarget(path, data);
}

std::string FinalPathOf(const std::string& path)
{
    return ResolveLinks(path).value_or(std::string());
}

void RemoveAbandonedSaveFiles(const std::string& path)
{
    const std::optional<std::string> target = ResolveLinks(path);
    if (!target)
        return;
    const std::string folder = FolderOf(*target);
    const std::string base = NameOf(*target);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir);
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!IsSaveFileName(name, base))
            continue;
        TFd fd(::openat(dirFd, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        struct stat opened, named;
        if (fd.Get() < 0 || ::fstat(fd.Get(), &opened) != 0 || !S_ISREG(opened.st_mode))
            continue;
        // Only a file nobody holds is one whose writer is gone; without locks nothing can be told.
        if (LockWholeFile(fd.Get()) != TLockResult::Held)
            continue;
        if (::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(opened, named))
            (void)::unlinkat(dirFd, name.c_str(), 0);
    }
    ::closedir(dir);
}

bool CreateEmptyFile(const std::string& path)
{
    // Two rounds: the first may find a link or pipe of that name, which is removed (never opened).
    for (int round = 0; round < 2; ++round) {
        TFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY,
                      kNewFileMode));
        if (fd.Get() >= 0)
            return true;
        if (errno != EEXIST)
            return false;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0)
            continue;
        if (S_ISREG(st.st_mode))
            return true;
        if (S_ISDIR(st.st_mode) || ::unlink(path.c_str()) != 0)
            return false;
    }
    return false;
}

bool RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

} // namespace platform
