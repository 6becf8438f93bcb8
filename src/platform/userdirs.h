// The user's own folders, and whether a folder is the user's to write in.
#pragma once

#include <string>

namespace platform {

// The name of the program's own folder inside each of the user's folders.
inline constexpr const char* kUserFolderName = "korvan";

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

// The program's folder for this session's private files (locks, sockets): "$XDG_RUNTIME_DIR/korvan/",
// made when missing. Only a runtime folder that is the user's alone (owned by them, mode 0700, not a link)
// is used; empty otherwise.
std::string PrivateRuntimeFolder();

// The program's folder for state kept across runs: "$XDG_STATE_HOME/korvan/" (an absolute value only),
// else "~/.local/state/korvan/". With `make` it is made when missing. Empty unless it is a real folder
// (not a link) owned by this user; group and others lose any access they had to it.
std::string PrivateStateFolder(bool make);

// The folder `name` inside the state folder, by the same rules: made (with the state folder) only with
// `make`, the user's alone, never a link; empty otherwise.
std::string PrivateStateSubfolder(const char* name, bool make);

} // namespace platform
