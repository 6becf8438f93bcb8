// The log file that a started program's standard output and error go to. The file is filled by a small
// copier process of its own, which outlives this program as the game does, and keeps the file within its cap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

inline constexpr std::uint64_t kProgramLogCap = 5 * 1024 * 1024;
// The previous run's log is kept under the log's name with this added.
inline constexpr const char* kPreviousLogSuffix = ".1";

// Where the part of a log that is kept starts when `incoming` more bytes (at most `cap`) come to a log of
// `size` bytes: 0 while they fit under `cap`; else the oldest part goes, so much that a quarter of the cap
// is free after the new bytes (the file is not cut for every line), and never the end.
std::uint64_t LogCutPoint(std::uint64_t size, std::uint64_t incoming, std::uint64_t cap);

class TProgramLog
{
public:
    // Keeps the log at `path` as the previous run's (replacing an older one), makes a new file there that
    // only the user may read, and starts its copier. A link at `path` is moved aside with the old log, never
    // followed; the new file is made afresh. Null when any of that failed.
    static std::unique_ptr<TProgramLog> Open(const std::string& path, std::uint64_t cap = kProgramLogCap);
    TProgramLog(const TProgramLog&) = delete;
    TProgramLog& operator=(const TProgramLog&) = delete;
    // Closes this program's end of the pipe; the copier ends when every program started into the log has
    // closed its end too, whether this program still runs or not.
    ~TProgramLog();

    // The handle that programs started into the log get as their standard output and error.
    int OutputHandle() const { return output_; }

private:
    explicit TProgramLog(int output) : output_(output) {}
    int output_ = -1;
};

} // namespace platform
