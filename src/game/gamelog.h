// Where the output of a server's game and second program goes: a log per server in the user's state folder,
// the previous run kept beside it.
#pragma once

#include "game/procinfo.h"

#include <cstddef>
#include <memory>
#include <string>

namespace platform {
class TProgramLog;
}

inline constexpr const char* kLogFolderName = "logs";
inline constexpr const char* kLogSuffix = ".log";
// Room for the suffixes within the 255 bytes a file name may have.
inline constexpr std::size_t kMaxLogNameBytes = 200;

// The log's file name for a server: its name as shown (UTF-8) with '/', '\' and control characters
// replaced by '_', cut whole characters at a time, '_' in front of a leading dot (the file stays visible),
// then ".log".
// It never names another folder.
std::string LogFileName(const std::string& serverName);

// The server's log in the state folder's "logs" folder; empty when there is no such folder. Makes nothing.
std::string GameLogPath(const std::string& serverName);

// A new run's log for the server, the folder made private when missing; null when it cannot be had.
std::unique_ptr<platform::TProgramLog> OpenGameLog(const std::string& serverName);

// Starts programs with their output going into `log` (null: where this program's own output goes).
TProgramStarter StarterInto(const platform::TProgramLog* log);
