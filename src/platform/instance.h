// The single-instance lock: at most one holder per user and name, released when the holder dies.
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
    int handle_ = -1;
};

// True when a graphical session is reachable for windows to appear on.
bool HasDisplay();

} // namespace platform
