// Shared by the tests: a scratch folder with tavix.ini in it, and a clean slate for the global state.
#pragma once

#include <QTemporaryDir>
#include <string>

class TScratchIni
{
public:
    // Points IniPath at tavix.ini in a new empty folder and empties the server list.
    TScratchIni();
    std::string Folder() const;
    std::string Path() const;
    void Write(const std::string& bytes) const;
    std::string Read() const;

private:
    QTemporaryDir dir_;
};

void ResetServers();

#include <atomic>
#include <functional>
#include <thread>

// The user tests switch to for cases that root would pass through: permission bits stop it.
inline constexpr unsigned kUnprivilegedId = 65534;

// Runs `body` in a child process and gives its exit code, or -1 when it crashed or did not end within
// `timeoutMs` (it is then killed, so a call that would block for good fails the test instead of
// hanging it). With `unprivileged`, a root test process runs the body as user and group 65534.
int RunInChild(const std::function<int()>& body, bool unprivileged = false, int timeoutMs = 10000);

// A FIFO that notes whether anybody opened it for reading. Such an open would block until a writer comes;
// a thread of the watch keeps offering itself as that writer (and hangs up at once), so the reader gets an
// empty file instead of hanging, and the test learns of the open instead of waiting for good.
class TFifoWatch
{
public:
    // Makes the FIFO at `path` (which must not exist yet) and starts watching; false when mkfifo fails.
    bool Start(const QString& path);
    ~TFifoWatch();
    bool Opened() const { return opened_; }

private:
    QString path_;
    std::thread thread_;
    std::atomic<bool> stopping_ = false;
    std::atomic<bool> opened_ = false;
};

// Another user (65534) of the machine, acting while the test goes on: `hold` runs as that user in a child
// process, which keeps whatever it made until the object goes away. Needs root; without it Ready() is
// false.
class TOtherUser
{
public:
    explicit TOtherUser(const std::function<bool()>& hold);
    ~TOtherUser();
    TOtherUser(const TOtherUser&) = delete;
    TOtherUser& operator=(const TOtherUser&) = delete;
    // True once `hold` has returned true.
    bool Ready() const { return ready_; }

private:
    int release_ = -1;
    int pid_ = -1;
    bool ready_ = false;
};

// Binds `name` in the abstract socket namespace, where any local user may take any free name; the
// socket, or -1.
int BindAbstractSocket(const std::string& name);
