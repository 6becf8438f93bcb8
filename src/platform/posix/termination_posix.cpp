#include "platform/termination.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace platform {

namespace {

int gWriteEnd = -1;

// Only async-signal-safe work here: one byte into the pipe.
void OnTerminationSignal(int)
{
    int saved = errno;
    char byte = 1;
    (void)!::write(gWriteEnd, &byte, 1);
    errno = saved;
}

} // namespace

int WatchTerminationRequests()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    gWriteEnd = fds[1];
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
    return fds[0];
}

void AcknowledgeTerminationRequest(int fd)
{
    char buf[16];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
}

} // namespace platform
