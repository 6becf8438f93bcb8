#include "platform/files.h"

#include "platform/posix/fd_posix.h"
#include "platform/userdirs.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace platform {

namespace {

using posix::LockWholeFile;
using posix::TFd;
using posix::TLockResult;

constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kNewFileMode = 0666;
// As many links in a row as the system itself follows before it calls it a loop.
constexpr int kMaxLinkHops = 40;
// A save file is "<name>.XXXXXX.saving": six random letters or digits, then this ending, so no other
// file of the user's can be taken for one.
constexpr const char* kSaveFileRandom = "XXXXXX";
constexpr const char* kSaveFileSuffix = ".saving";
constexpr std::string_view kSaveFileLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// Where a save file must be made under its name and only then locked, another process may take it away in
// between; then a new one is made.
constexpr int kSaveFileAttempts = 8;
// Names for an unnamed save file are drawn until one is free; only a folder crowded with save files, or
// someone taking each name just before us, runs out of them.
constexpr int kSaveFileNameDraws = 100;
constexpr std::uint64_t kNanosecondsPerSecond = 1000000000;
// A journal is "<name>.<hash of the full path>.journal" in the user's state folder: a text head line, then
// the path and the new content, each as long as the head says.
constexpr const char* kJournalSuffix = ".journal";
constexpr std::string_view kJournalMagic = "korvan-journal-1";
constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;
constexpr int kHashHexDigits = 16;
// A lock file names its writer's process: a decimal number and a line end.
constexpr std::size_t kMaxPidText = 32;

std::atomic<TSaveStepWatcher> saveStepWatcher{nullptr};

void NoteSaveStep(TSaveStep step)
{
    if (TSaveStepWatcher watcher = saveStepWatcher.load())
        watcher(step);
}

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

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when `path` still names the open file `fd`, so removing the name removes that file and no other.
bool NamesOpenFile(const std::string& path, int fd)
{
    struct stat opened, named;
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && SameFile(opened, named);
}

bool ReadRegularFile(int fd, std::string& data)
{
    data.clear();
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (st.st_size > 0)
        data.reserve(static_cast<size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
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

void SyncFolderOf(const std::string& path)
{
    const std::string folder = FolderOf(path);
    TFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        (void)::fsync(dir.Get());
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

enum class TInPlace
{
    Done,
    Untouched, // refused before a byte of the file changed
    Failed,    // the file may hold a mix now
};

// The last resort of a folder that takes no new file: the file's own bytes are replaced. Room for a
// longer content is taken first, so a full disk refuses the save before anything is overwritten.
TInPlace RewriteInPlace(int fd, std::string_view data, off_t oldSize)
{
    const auto newSize = static_cast<off_t>(data.size());
    if (newSize > oldSize) {
        int rc = ::posix_fallocate(fd, 0, newSize);
        if (rc != 0 && rc != EOPNOTSUPP && rc != EINVAL)
            return TInPlace::Untouched;
    }
    if (!WriteAllAt(fd, data))
        return TInPlace::Failed;
    NoteSaveStep(TSaveStep::ContentWritten);
    if (::ftruncate(fd, newSize) != 0)
        return TInPlace::Failed;
    NoteSaveStep(TSaveStep::Truncated);
    return ::fsync(fd) == 0 ? TInPlace::Done : TInPlace::Failed;
}

std::string HashHex(std::string_view text)
{
    std::uint64_t hash = kFnvOffset;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= kFnvPrime;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex(kHashHexDigits, '0');
    for (int i = kHashHexDigits - 1; i >= 0; --i, hash >>= 4)
        hex[static_cast<std::size_t>(i)] = kDigits[hash & 0xF];
    return hex;
}

// Where the journal of an in-place save of `target` goes; empty without a state folder of the user's own.
std::string JournalPath(const std::string& target, bool make)
{
    const std::string folder = PrivateStateFolder(make);
    return folder.empty() ? std::string() : folder + NameOf(target) + "." + HashHex(target) + kJournalSuffix;
}

// The file it was made for is recorded with the content: a journal only ever completes that file.
std::string JournalText(const std::string& target, const struct stat& file, std::string_view data)
{
    std::string text(kJournalMagic);
    for (auto number : {static_cast<std::uint64_t>(file.st_dev), static_cast<std::uint64_t>(file.st_ino),
                        static_cast<std::uint64_t>(target.size()), static_cast<std::uint64_t>(data.size())}) {
        text += ' ';
        text += std::to_string(number);
    }
    text += "\n";
    text += target;
    text += data;
    return text;
}

struct TJournal
{
    std::uint64_t device = 0, inode = 0;
    std::string target;
    std::string_view data;
};

std::optional<TJournal> ParseJournal(std::string_view text)
{
    const auto end = text.find('\n');
    if (end == std::string_view::npos || text.substr(0, kJournalMagic.size()) != kJournalMagic)
        return std::nullopt;
    std::uint64_t numbers[4] = {};
    const char* at = text.data() + kJournalMagic.size();
    const char* const headEnd = text.data() + end;
    for (std::uint64_t& number : numbers) {
        if (at == headEnd || *at != ' ')
            return std::nullopt;
        auto [next, ec] = std::from_chars(at + 1, headEnd, number);
        if (ec != std::errc())
            return std::nullopt;
        at = next;
    }
    std::string_view rest = text.substr(end + 1);
    if (at != headEnd || numbers[2] > rest.size() || rest.size() - numbers[2] != numbers[3])
        return std::nullopt;
    TJournal journal{numbers[0], numbers[1], std::string(rest.substr(0, numbers[2])), rest.substr(numbers[2])};
    return journal;
}

void RemoveJournal(const std::string& journal, int fd)
{
    if (NamesOpenFile(journal, fd))
        (void)::unlink(journal.c_str());
    SyncFolderOf(journal);
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

enum class TNewFile
{
    Written,
    FolderRefused, // the folder takes no new file
    Failed,
};

// A fresh save file name for `target`. Its letters need not be unguessable: a name someone else holds is
// never written through, only passed over.
std::string DrawSaveFileName(const std::string& target)
{
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
        // Before the system has gathered randomness: the clock and the process will do.
        struct timespec now = {};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        bits = static_cast<std::uint64_t>(now.tv_sec) * kNanosecondsPerSecond + static_cast<std::uint64_t>(now.tv_nsec);
        bits ^= static_cast<std::uint64_t>(::getpid());
    }
    std::string name = target + ".";
    for (std::size_t i = 0; i < std::strlen(kSaveFileRandom); ++i, bits /= kSaveFileLetters.size())
        name += kSaveFileLetters[bits % kSaveFileLetters.size()];
    return name + kSaveFileSuffix;
}

// Gives the unnamed open file `fd` the name `path`: 0, or the error. Through /proc, which any user may do
// with a file of their own, else by the descriptor itself where the system lets us.
int LinkUnnamedFile(int fd, const std::string& path)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno == EEXIST)
        return EEXIST;
    return ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// The save file gets its name only once it is locked, written and flushed: a starting copy that cleans up
// what killed saves left can never see it unlocked and take it for one of those, and a kill before the
// name leaves nothing behind at all. None where the system makes or names no unnamed file here; nothing
// is left behind then either.
std::optional<TNewFile> WriteUnnamedAndRename(const std::string& target, std::string_view data, const struct stat* old,
                                              TFd* keep)
{
    const std::string folder = FolderOf(target);
    TFd fd(::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (fd.Get() < 0 || LockWholeFile(fd.Get()) == TLockResult::Busy)
        return std::nullopt;
    CopyAccess(fd.Get(), old);
    if (!WriteAllAt(fd.Get(), data) || ::fsync(fd.Get()) != 0)
        return TNewFile::Failed;
    for (int draw = 0; draw < kSaveFileNameDraws; ++draw) {
        const std::string temp = DrawSaveFileName(target);
        const int error = LinkUnnamedFile(fd.Get(), temp);
        if (error == EEXIST)
            continue;
        if (error != 0)
            return std::nullopt;
        NoteSaveStep(TSaveStep::SaveFileNamed);
        if (::rename(temp.c_str(), target.c_str()) == 0) {
            SyncFolderOf(target);
            if (keep)
                keep->Reset(fd.Release());
            return TNewFile::Written;
        }
        if (NamesOpenFile(temp, fd.Get()))
            ::unlink(temp.c_str());
        return TNewFile::Failed;
    }
    return TNewFile::Failed;
}

// Where no unnamed file can be made: the save file is made under its name and locked right after, and a
// starting copy cleaning up in that moment may take it; then another is made.
TNewFile WriteNamedAndRename(const std::string& target, std::string_view data, const struct stat* old, TFd* keep)
{
    const std::string suffix = kSaveFileSuffix;
    for (int attempt = 0; attempt < kSaveFileAttempts; ++attempt) {
        std::string temp = target + "." + kSaveFileRandom + suffix;
        TFd fd(::mkostemps(temp.data(), static_cast<int>(suffix.size()), O_CLOEXEC));
        if (fd.Get() < 0)
            return (errno == EACCES || errno == EPERM) ? TNewFile::FolderRefused : TNewFile::Failed;
        NoteSaveStep(TSaveStep::SaveFileNamed);
        // The name must still be ours once the lock is.
        if (LockWholeFile(fd.Get()) == TLockResult::Busy || !NamesOpenFile(temp, fd.Get()))
            continue;
        CopyAccess(fd.Get(), old);
        if (WriteAllAt(fd.Get(), data) && ::fsync(fd.Get()) == 0 && ::rename(temp.c_str(), target.c_str()) == 0) {
            SyncFolderOf(target);
            if (keep)
                keep->Reset(fd.Release());
            return TNewFile::Written;
        }
        ::unlink(temp.c_str());
        return TNewFile::Failed;
    }
    return TNewFile::Failed;
}

// Writes `data` into a new file beside `target` (never through a link), flushes it and renames it over
// `target`, so the name holds the old or the new content whatever happens. With `keep`, the new file
// stays open and write-locked there.
TNewFile WriteAndRename(const std::string& target, std::string_view data, const struct stat* old, TFd* keep)
{
    if (const std::optional<TNewFile> unnamed = WriteUnnamedAndRename(target, data, old, keep))
        return *unnamed;
    return WriteNamedAndRename(target, data, old, keep);
}

// A kill between the write and the truncation of an in-place save would leave the new text followed by
// the old file's tail. The new content goes to a journal in the user's state folder first, flushed; the
// next start completes the rewrite from it when this one did not finish. Without a journal the file is
// left as it is.
bool RewriteInPlaceWithJournal(const std::string& target, int fd, const struct stat& old, std::string_view data)
{
    const std::string journal = JournalPath(target, true);
    TFd held;
    if (journal.empty() || WriteAndRename(journal, JournalText(target, old, data), nullptr, &held) != TNewFile::Written)
        return false;
    NoteSaveStep(TSaveStep::JournalWritten);
    switch (RewriteInPlace(fd, data, old.st_size)) {
    case TInPlace::Done:
        RemoveJournal(journal, held.Get());
        NoteSaveStep(TSaveStep::JournalRemoved);
        return true;
    case TInPlace::Untouched:
        RemoveJournal(journal, held.Get());
        return false;
    case TInPlace::Failed:
        break;
    }
    return false;
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
    return ReadRegularFile(fd.Get(), data);
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

    switch (WriteAndRename(*target, data, exists ? &old : nullptr, nullptr)) {
    case TNewFile::Written:
        return true;
    case TNewFile::FolderRefused:
        // A folder that takes no new file: Windows would still rewrite the file itself.
        return exists && RewriteInPlaceWithJournal(*target, existing.Get(), old, data);
    case TNewFile::Failed:
        break;
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

void FinishInterruptedSave(const std::string& path)
{
    RemoveAbandonedSaveFiles(path);
    const std::optional<std::string> target = ResolveLinks(path);
    const std::string journal = target ? JournalPath(*target, false) : std::string();
    if (journal.empty())
        return;
    RemoveAbandonedSaveFiles(journal);
    TFd fd(::open(journal.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    std::string text;
    // A journal whose writer still runs is that save's own business.
    if (fd.Get() < 0 || LockWholeFile(fd.Get()) == TLockResult::Busy || !ReadRegularFile(fd.Get(), text))
        return;
    const std::optional<TJournal> entry = ParseJournal(text);
    struct stat named, opened;
    // Only the very file the journal was made for is completed; one replaced since keeps what it holds.
    if (entry && entry->target == *target && ::lstat(target->c_str(), &named) == 0 && S_ISREG(named.st_mode) &&
        named.st_dev == entry->device && named.st_ino == entry->inode) {
        TFd file(::open(target->c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (file.Get() < 0 || ::fstat(file.Get(), &opened) != 0 || !SameFile(named, opened) ||
            RewriteInPlace(file.Get(), entry->data, opened.st_size) != TInPlace::Done)
            return;
    }
    RemoveJournal(journal, fd.Get());
}

TWriterLock::TWriterLock(std::string path) : path_(std::move(path))
{
    TFd fd;
    if (!path_.empty() && WriteAndRename(path_, std::to_string(::getpid()) + "\n", nullptr, &fd) == TNewFile::Written)
        fd_ = fd.Release();
}

TWriterLock::~TWriterLock()
{
    if (fd_ < 0)
        return;
    if (NamesOpenFile(path_, fd_))
        (void)::unlink(path_.c_str());
    ::close(fd_);
}

TLockFileState LockFileState(const std::string& path)
{
    struct stat st;
    // A link or anything else that is no regular file is no lock another copy made.
    if (path.empty() || ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return TLockFileState::None;
    TFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.Get() < 0)
        return errno == ENOENT ? TLockFileState::None : TLockFileState::Live;
    switch (posix::WholeFileLockHolder(fd.Get())) {
    case posix::TLockHolder::Another:
        return TLockFileState::Live;
    case posix::TLockHolder::Nobody:
        return TLockFileState::Abandoned;
    case posix::TLockHolder::Unknown:
        break;
    }
    // A file system without locks: the process the file names tells, if it names one.
    char text[kMaxPidText];
    const ssize_t n = ::read(fd.Get(), text, sizeof text);
    int pid = 0;
    if (n > 0 && std::from_chars(text, text + n, pid).ec == std::errc() && pid > 0 && ::kill(pid, 0) != 0 &&
        errno == ESRCH)
        return TLockFileState::Abandoned;
    return TLockFileState::Live;
}

void WatchSaveSteps(TSaveStepWatcher watcher)
{
    saveStepWatcher.store(watcher);
}

bool RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

} // namespace platform
