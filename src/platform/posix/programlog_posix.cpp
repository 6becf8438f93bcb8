#include "platform/programlog.h"

#include "platform/posix/fd_posix.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Why a copier process, and why this one: the game outlives this program, so a pipe read by this program
// would break (and a game writing into it would get SIGPIPE) the moment it ends; a file written directly by
// the game could not be capped while the game runs. The copier reads the pipe as fast as output comes, so
// the game never waits on a full pipe, and cuts the file itself. It is this program's own executable run
// again (the call is recognised before main, below), so it needs no file of its own beside the program, and
// a fresh start keeps none of this program's memory: it may run for hours beside the game.

namespace platform {

namespace {

constexpr const char* kCopierArgument = "--korvan-log-copier";
constexpr const char* kSelfExecutable = "/proc/self/exe";
// The name the process list shows for a copier.
constexpr const char* kCopierProcessName = "korvan-log";
constexpr mode_t kLogFileMode = 0600;
constexpr std::size_t kCopyChunk = 64 * 1024;
// The pipe holds this much while the copier is busy cutting the file, so a burst does not stop the game.
constexpr int kPipeSize = 1024 * 1024;
// How far past the cut a line end is looked for, so the kept part starts with a whole line.
constexpr std::size_t kLineSearch = 4096;
// Descriptors made close-on-exec by hand where the system cannot do them all at once.
constexpr rlim_t kMostDescriptorsSwept = 65536;

bool WriteAllAt(int fd, const char* data, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

ssize_t ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset)
{
    ssize_t n;
    do {
        n = ::pread(fd, data, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

// Drops the log's bytes before `cut` (moved on to the next line start nearby) by moving the rest to the
// front; the new size. A file that cannot be moved is emptied rather than let grow.
std::uint64_t DropOldest(int fd, std::uint64_t size, std::uint64_t cut, std::vector<char>& buffer)
{
    ssize_t n = ReadAt(fd, buffer.data(), std::min<std::uint64_t>(kLineSearch, size - cut), cut);
    if (n > 0)
        if (const void* feed = std::memchr(buffer.data(), '\n', static_cast<std::size_t>(n)))
            cut += static_cast<std::uint64_t>(static_cast<const char*>(feed) - buffer.data()) + 1;
    std::uint64_t from = cut;
    while (from < size) {
        n = ReadAt(fd, buffer.data(), std::min<std::uint64_t>(buffer.size(), size - from), from);
        if (n <= 0 || !WriteAllAt(fd, buffer.data(), static_cast<std::size_t>(n), from - cut))
            break;
        from += static_cast<std::uint64_t>(n);
    }
    const std::uint64_t kept = from >= size ? size - cut : 0;
    while (::ftruncate(fd, static_cast<off_t>(kept)) != 0 && errno == EINTR) {
    }
    return kept;
}

// Writes at the log's end; the new size. A full disk loses these bytes, not the ones after them: the size
// is taken from the file again, so a part written before the failure is not left as a gap.
std::uint64_t Append(const char* data, std::size_t length, std::uint64_t size)
{
    if (WriteAllAt(STDOUT_FILENO, data, length, size))
        return size + length;
    struct stat st;
    return ::fstat(STDOUT_FILENO, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : size;
}

// The copier: standard input into the log on standard output until every writer has closed the pipe.
[[noreturn]] void CopyIntoLog(std::uint64_t cap)
{
    std::vector<char> buffer(kCopyChunk);
    struct stat st;
    // Anything but a regular file is not a log to cut; the input is still read, so no writer waits.
    const bool toFile = ::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode) && cap > 0;
    std::uint64_t size = toFile ? static_cast<std::uint64_t>(st.st_size) : 0;
    for (;;) {
        ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (!toFile)
            continue;
        const char* data = buffer.data();
        std::size_t length = static_cast<std::size_t>(n);
        if (length > cap) {
            data += length - cap;
            length = static_cast<std::size_t>(cap);
        }
        if (const std::uint64_t cut = LogCutPoint(size, length, cap); cut > 0) {
            // The bytes just read are kept aside: the cut uses the buffer.
            std::vector<char> incoming(data, data + length);
            size = Append(incoming.data(), length, DropOldest(STDOUT_FILENO, size, cut, buffer));
            continue;
        }
        size = Append(data, length, size);
    }
    ::_exit(0);
}

// Runs before main in every program that links this unit: the copier is the program itself, started with
// the copier's argument (glibc hands the arguments to functions run at load time).
__attribute__((constructor, used)) void RunAsCopierWhenAsked(int argc, char** argv, char**)
{
    if (argc != 3 || argv == nullptr || std::strcmp(argv[1], kCopierArgument) != 0)
        return;
    (void)::prctl(PR_SET_NAME, kCopierProcessName, 0, 0, 0);
    char* end = nullptr;
    errno = 0;
    const unsigned long long cap = std::strtoull(argv[2], &end, 10);
    if (errno != 0 || end == argv[2] || *end != '\0')
        ::_exit(2);
    CopyIntoLog(cap);
}

// Every descriptor from 3 on closes when the copier starts; the three it needs were put in place first.
void CloseOthersOnExec()
{
#ifdef SYS_close_range
    constexpr unsigned kCloseOnExec = 1U << 2; // CLOSE_RANGE_CLOEXEC
    if (::syscall(SYS_close_range, 3U, ~0U, kCloseOnExec) == 0)
        return;
#endif
    struct rlimit limit;
    rlim_t last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? std::min(limit.rlim_cur, kMostDescriptorsSwept)
                                                          : kMostDescriptorsSwept;
    for (rlim_t fd = 3; fd < last; ++fd)
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
}

// Starts the copier, detached as started programs are, with `input` as its standard input and `log` as its
// standard output and error. True once it runs.
bool StartCopier(int input, int log, std::uint64_t cap)
{
    // Prepared before the fork: between fork and exec only calls that are safe in a child of threads.
    const std::string capText = std::to_string(cap);
    // Started through the system's own name for this executable, which holds even when an update has
    // replaced the file since; the process list shows the program's path.
    char self[PATH_MAX];
    ssize_t selfLength = ::readlink(kSelfExecutable, self, sizeof self - 1);
    self[selfLength > 0 ? selfLength : 0] = '\0';
    const char* argv[] = {selfLength > 0 ? self : kSelfExecutable, kCopierArgument, capText.c_str(), nullptr};
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild == 0) {
            // Above the standard three first, so that putting one in place never closes another.
            const int in = ::fcntl(input, F_DUPFD_CLOEXEC, 3);
            const int out = ::fcntl(log, F_DUPFD_CLOEXEC, 3);
            sigset_t none;
            sigemptyset(&none);
            if (in >= 0 && out >= 0 && ::dup2(in, STDIN_FILENO) >= 0 && ::dup2(out, STDOUT_FILENO) >= 0 &&
                ::dup2(out, STDERR_FILENO) >= 0 && ::sigprocmask(SIG_SETMASK, &none, nullptr) == 0) {
                CloseOthersOnExec();
                ::execv(kSelfExecutable, const_cast<char* const*>(argv));
            }
            int err = errno;
            (void)::write(report[1], &err, sizeof err);
            ::_exit(127);
        }
        if (grandchild < 0) {
            int err = errno;
            (void)::write(report[1], &err, sizeof err);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    return n == 0;
}

} // namespace

std::uint64_t LogCutPoint(std::uint64_t size, std::uint64_t incoming, std::uint64_t cap)
{
    if (incoming > cap || size + incoming <= cap)
        return incoming > cap ? size : 0;
    const std::uint64_t room = cap - incoming;
    const std::uint64_t keep = room > cap / 4 ? room - cap / 4 : 0;
    return size - std::min(keep, size);
}

std::unique_ptr<TProgramLog> TProgramLog::Open(const std::string& path, std::uint64_t cap)
{
    if (path.empty())
        return nullptr;
    // The name moves, whatever it is: a link goes aside as a link and is never written through.
    if (::rename(path.c_str(), (path + kPreviousLogSuffix).c_str()) != 0 && errno != ENOENT)
        return nullptr;
    posix::TFd log(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, kLogFileMode));
    if (log.Get() < 0 || ::fchmod(log.Get(), kLogFileMode) != 0)
        return nullptr;
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return nullptr;
    posix::TFd readEnd(pipeEnds[0]);
    posix::TFd writeEnd(pipeEnds[1]);
    // Best effort: a system that allows less still works, with a smaller cushion.
    (void)::fcntl(writeEnd.Get(), F_SETPIPE_SZ, kPipeSize);
    if (!StartCopier(readEnd.Get(), log.Get(), cap))
        return nullptr;
    return std::unique_ptr<TProgramLog>(new TProgramLog(writeEnd.Release()));
}

TProgramLog::~TProgramLog()
{
    if (output_ >= 0)
        ::close(output_);
}

} // namespace platform
