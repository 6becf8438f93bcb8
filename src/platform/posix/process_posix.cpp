#include "platform/process.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

constexpr std::size_t kMaxNameLength = 260;
constexpr const char* kDefaultSearchPath = "/usr/local/bin:/usr/bin:/bin";

bool ReadSmallFile(const std::string& path, std::string& data)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buf[4096];
    ssize_t n;
    data.clear();
    while ((n = ::read(fd, buf, sizeof buf)) > 0 && data.size() < sizeof buf * 4)
        data.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return n >= 0;
}

// File name after the last separator of either system; Wine shows Windows paths in a command line.
std::string FileNameOf(const std::string& path)
{
    auto cut = path.find_last_of("/\\");
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    if (name.size() > kMaxNameLength)
        name.resize(kMaxNameLength);
    return name;
}

bool WriteAllFd(int fd, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// This process's environment with `extra` laid over it, as the strings execve takes.
std::vector<std::string> MergedEnvironment(const TEnvironment& extra)
{
    std::vector<std::string> merged;
    for (char** e = environ; e && *e; ++e) {
        std::string_view entry(*e);
        std::string_view name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& [extraName, value] : extra)
            replaced = replaced || name == extraName;
        if (!replaced)
            merged.emplace_back(entry);
    }
    for (std::size_t i = 0; i < extra.size(); ++i) {
        bool laterSameName = false;
        for (std::size_t j = i + 1; j < extra.size(); ++j)
            laterSameName = laterSameName || extra[j].first == extra[i].first;
        if (!laterSameName)
            merged.push_back(extra[i].first + "=" + extra[i].second);
    }
    return merged;
}

} // namespace

bool IsExecutableFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

void ReplaceProgram(const std::vector<std::string>& argv)
{
    if (argv.empty())
        return;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
}

void IgnoreClosedPipes()
{
    // Stays in force across exec, so the program this one turns into is covered as well.
    ::signal(SIGPIPE, SIG_IGN);
}

std::string FindProgram(const std::string& name)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return name;
    const char* env = std::getenv("PATH");
    std::string path = env && *env ? env : kDefaultSearchPath;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = path.find(':', start);
        std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (IsExecutableFile(candidate))
            return candidate;
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

bool StartProgram(const std::vector<std::string>& argv, const std::string& workingFolder,
                  const TEnvironment& environment)
{
    if (argv.empty() || argv[0].empty())
        return false;
    std::string file = FindProgram(argv[0]);
    if (file.empty())
        return false;
    // The child changes its folder before it runs the file, so a relative name must not depend on that.
    if (!workingFolder.empty() && file.front() != '/') {
        char here[PATH_MAX];
        if (!::getcwd(here, sizeof here))
            return false;
        file = std::string(here) + "/" + file;
    }
    // Everything the child needs is prepared here: between fork and exec only async-signal-safe calls.
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const char* folder = workingFolder.empty() ? nullptr : workingFolder.c_str();
    std::vector<std::string> merged;
    std::vector<char*> envp;
    if (!environment.empty()) {
        merged = MergedEnvironment(environment);
        envp.reserve(merged.size() + 1);
        for (std::string& e : merged)
            envp.push_back(e.data());
        envp.push_back(nullptr);
    }
    char** childEnvironment = environment.empty() ? environ : envp.data();

    // The exec result comes back through a pipe that closes on a successful exec.
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
        // The middle process starts a new session and leaves at once: the program is then nobody's child
        // here, is reaped by the system and is not ended with this program's terminal.
        ::close(report[0]);
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild == 0) {
            if (folder == nullptr || ::chdir(folder) == 0)
                ::execve(file.c_str(), args.data(), childEnvironment);
            int err = errno;
            (void)WriteAllFd(report[1], &err, sizeof err);
            ::_exit(127);
        }
        if (grandchild < 0) {
            int err = errno;
            (void)WriteAllFd(report[1], &err, sizeof err);
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

bool ListProcesses(std::vector<TProcessNames>& processes)
{
    processes.clear();
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return false;
    while (dirent* entry = ::readdir(proc)) {
        const char* pid = entry->d_name;
        if (*pid < '1' || *pid > '9')
            continue;
        std::string base = std::string("/proc/") + pid + "/";
        TProcessNames names;
        char target[PATH_MAX];
        ssize_t n = ::readlink((base + "exe").c_str(), target, sizeof target - 1);
        if (n > 0) {
            std::string exe(target, static_cast<std::size_t>(n));
            // A replaced or removed executable is shown with this suffix.
            constexpr std::string_view kDeleted = " (deleted)";
            if (exe.size() > kDeleted.size() && exe.ends_with(kDeleted))
                exe.resize(exe.size() - kDeleted.size());
            names.names.push_back(FileNameOf(exe));
        }
        std::string data;
        if (ReadSmallFile(base + "cmdline", data) && !data.empty())
            names.names.push_back(FileNameOf(std::string(data.c_str())));
        if (ReadSmallFile(base + "comm", data)) {
            while (!data.empty() && data.back() == '\n')
                data.pop_back();
            if (!data.empty())
                names.names.push_back(data);
        }
        if (!names.names.empty())
            processes.push_back(std::move(names));
    }
    ::closedir(proc);
    return true;
}

} // namespace platform
