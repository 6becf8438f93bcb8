// The single-instance lock: at most one holder per user and name, released when the holder dies. It lives
// in a folder of the user's alone (the session's runtime folder, else the user's state folder), so another
// user can neither take it first nor reach it.
#pragma once

#include <string>

namespace platform {

class InstanceLock
{
public:
    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    enum class Result
    {
        Acquired,
        HeldElsewhere,
        Unavailable, // the system refused to make the lock at all
    };
    Result Acquire(const std::string& name);
    void Release();
    bool Held() const { return handle_ >= 0; }

private:
    int handle_ = -1;  // the locked file
    int channel_ = -1; // a socket the holder listens on beside the lock, for copies started later to reach it
    std::string channelPath_;
};

// True when a graphical session is reachable for windows to appear on.
bool HasDisplay();

} // namespace platform
