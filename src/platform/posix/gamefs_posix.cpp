#include "platform/gamefs.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;

TEntryKind KindOfMode(mode_t mode)
{
    if (S_ISLNK(mode))
        return TEntryKind::Link;
    if (S_ISDIR(mode))
        return TEntryKind::Folder;
    if (S_ISREG(mode))
        return TEntryKind::File;
    return TEntryKind::Other;
}

TEntryKind KindOf(int dirFd, const dirent* entry)
{
    switch (entry->d_type) {
    case DT_LNK:
        return TEntryKind::Link;
    case DT_DIR:
        return TEntryKind::Folder;
    case DT_REG:
        return TEntryKind::File;
    case DT_UNKNOWN: {
        // Some file systems do not fill the type in; ask for it without following a link.
        struct stat st;
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            return KindOfMode(st.st_mode);
        return TEntryKind::Other;
    }
    default:
        return TEntryKind::Other;
    }
}

bool IsDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool OutOfHandles()
{
    return errno == EMFILE || errno == ENFILE;
}

bool ListFd(int fd, std::vector<TDirEntry>& entries, bool* outOfHandles = nullptr)
{
    // fdopendir takes the descriptor over, so it gets a copy of its own.
    int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        if (outOfHandles)
            *outOfHandles = OutOfHandles();
        return false;
    }
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return false;
    }
    ::rewinddir(dir);
    bool ok = true;
    for (;;) {
        errno = 0;
        dirent* entry = ::readdir(dir);
        if (!entry) {
            ok = (errno == 0);
            break;
        }
        if (IsDotOrDotDot(entry->d_name))
            continue;
        entries.push_back({entry->d_name, KindOf(fd, entry)});
    }
    ::closedir(dir);
    return ok;
}

} // namespace

TFolder& TFolder::operator=(TFolder&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

TFolder::~TFolder()
{
    if (fd_ >= 0)
        ::close(fd_);
}

TFolder TFolder::Open(const std::string& path)
{
    // A trailing separator would make the system follow a final link; the name alone is opened.
    std::string name = path;
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    if (name.empty())
        return TFolder();
    return TFolder(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

TFolder TFolder::OpenChild(const std::string& name, bool* outOfHandles) const
{
    if (outOfHandles)
        *outOfHandles = false;
    if (fd_ < 0)
        return TFolder();
    TFolder child(::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!child.Valid() && outOfHandles)
        *outOfHandles = OutOfHandles();
    return child;
}

TFolder TFolder::OpenParent() const
{
    if (fd_ < 0)
        return TFolder();
    return TFolder(::openat(fd_, "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

TFolderId TFolder::Id() const
{
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool TFolder::List(std::vector<TDirEntry>& entries, bool* outOfHandles) const
{
    if (outOfHandles)
        *outOfHandles = false;
    return fd_ >= 0 && ListFd(fd_, entries, outOfHandles);
}

bool TFolder::RemoveFile(const std::string& name) const
{
    if (fd_ < 0)
        return false;
    struct stat st;
    if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (S_ISDIR(st.st_mode))
        return false;
    // A link has no permission bits of its own that mean anything; only real files can be read-only.
    if (!S_ISLNK(st.st_mode) && (st.st_mode & kAnyWriteBit) == 0)
        return false;
    return ::unlinkat(fd_, name.c_str(), 0) == 0;
}

bool TFolder::RemoveFolder(const std::string& name) const
{
    return fd_ >= 0 && ::unlinkat(fd_, name.c_str(), AT_REMOVEDIR) == 0;
}

std::vector<TDirEntry> ListFolder(const std::string& path)
{
    std::vector<TDirEntry> entries;
    int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return entries;
    if (!ListFd(fd, entries))
        entries.clear();
    ::close(fd);
    return entries;
}

bool FolderExists(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolder(const std::string& path)
{
    constexpr mode_t kNewFolderMode = 0777; // narrowed by the user's mask, as any program's new folder
    return !path.empty() && ::mkdir(path.c_str(), kNewFolderMode) == 0;
}

std::string CurrentFolder()
{
    char buf[PATH_MAX];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

TReadOnlyFile::~TReadOnlyFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool TReadOnlyFile::Open(const std::string& path, bool* missing)
{
    if (missing)
        *missing = false;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    // Non-blocking, so that a pipe or device named by the path cannot hold the open up; it is then refused.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (missing)
            *missing = errno == ENOENT;
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool TReadOnlyFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const
{
    if (fd_ < 0 || offset > size_ || length > size_ - offset)
        return false;
    auto* out = static_cast<char*>(buffer);
    while (length > 0) {
        ssize_t n = ::pread(fd_, out, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // the file shrank under us
        out += n;
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace platform
