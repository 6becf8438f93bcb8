#include "support/testsupport.h"

#include "core/globaltypes_u.h"
#include "core/servers_u.h"
#include "platform/files.h"

#include <QtTest>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

TScratchIni::TScratchIni()
{
    QVERIFY2(dir_.isValid(), "cannot make a scratch folder");
    IniPath = Path();
    ResetServers();
}

std::string TScratchIni::Folder() const
{
    return dir_.path().toStdString() + "/";
}

std::string TScratchIni::Path() const
{
    return Folder() + kIniFileName;
}

void TScratchIni::Write(const std::string& bytes) const
{
    QVERIFY(platform::ReplaceFileAtomically(Path(), bytes));
}

std::string TScratchIni::Read() const
{
    std::string data;
    platform::ReadWholeFile(Path(), data);
    return data;
}

void ResetServers()
{
    Servers.clear();
}

namespace {

bool BecomeUnprivileged()
{
    return ::setgroups(0, nullptr) == 0 && ::setresgid(kUnprivilegedId, kUnprivilegedId, kUnprivilegedId) == 0 &&
           ::setresuid(kUnprivilegedId, kUnprivilegedId, kUnprivilegedId) == 0;
}

} // namespace

int RunInChild(const std::function<int()>& body, bool unprivileged, int timeoutMs)
{
    constexpr int kPollMs = 5;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (unprivileged && ::geteuid() == 0 && !BecomeUnprivileged())
            ::_exit(126);
        ::_exit(body());
    }
    int status = 0;
    for (int waited = 0;; waited += kPollMs) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0)
            return -1;
        if (waited >= timeoutMs) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        ::usleep(kPollMs * 1000);
    }
}

namespace {
constexpr auto kFifoPollInterval = std::chrono::milliseconds(1);
}

bool TFifoWatch::Start(const QString& path)
{
    path_ = path;
    if (mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
        return false;
    thread_ = std::thread([this, name = QFile::encodeName(path)] {
        while (!stopping_) {
            // Without a reader this fails with ENXIO at once; with one it succeeds and releases that reader.
            const int fd = open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                opened_ = true;
                close(fd);
            }
            std::this_thread::sleep_for(kFifoPollInterval);
        }
    });
    return true;
}

TFifoWatch::~TFifoWatch()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (!path_.isEmpty())
        QFile::remove(path_);
}

TOtherUser::TOtherUser(const std::function<bool()>& hold)
{
    int ready[2], release[2];
    if (::geteuid() != 0 || ::pipe(ready) != 0)
        return;
    if (::pipe(release) != 0) {
        ::close(ready[0]);
        ::close(ready[1]);
        return;
    }
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        const char ok = BecomeUnprivileged() && hold() ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        char done;
        (void)!::read(release[0], &done, 1);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char ok = 0;
    ready_ = pid_ > 0 && ::read(ready[0], &ok, 1) == 1 && ok == '1';
    ::close(ready[0]);
}

TOtherUser::~TOtherUser()
{
    if (release_ >= 0)
        ::close(release_);
    if (pid_ > 0)
        ::waitpid(pid_, nullptr, 0);
}

int BindAbstractSocket(const std::string& name)
{
    sockaddr_un addr{};
    if (name.size() + 1 > sizeof addr.sun_path)
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}
