// The user's own folders, and whether a folder is the user's to write in.
#pragma once

#include <string>

namespace platform {

// The user's home folder: $HOME, else the password database's entry; empty when neither names one.
std::string HomeFolder();

// The value of an environment variable; empty when it is not set.
std::string EnvironmentValue(const char* name);

// True when this process may create and replace files in `folder`. Asks the system about the
// permissions (also a read-only mount), so nothing is created to find out.
bool IsFolderWritable(const std::string& folder);

// Makes `folder` and any missing parents, each new one readable by the user alone (0700); an existing
// folder keeps its permissions. True when `folder` is a folder afterwards.
bool MakePrivateFolders(const std::string& folder);

} // namespace platform
