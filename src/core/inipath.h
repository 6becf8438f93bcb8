// Where tavix.ini and its lock file live: beside the program when that folder is the user's, as with a
// copy unpacked into a folder of one's own; in the user's configuration folder when the program was
// installed into the system, whose folders belong to the package manager.
#pragma once

#include <string>

inline constexpr const char* kConfigFolderName = "korvan";

struct TIniLocation
{
    // The folder of tavix.ini and tavix.lck, ending with a separator.
    std::string Folder;
    // True for an installed copy: the program's folder is not the user's, so nothing is written there.
    bool Installed = false;
};

// A program folder belongs to the system when it lies under /usr or is the folder the build installs to.
bool IsSystemProgramFolder(const std::string& programFolder);

// The user's configuration folder by the desktop rule: $XDG_CONFIG_HOME when it is an absolute path,
// else ~/.config; ends with a separator; empty when there is no home either.
std::string ConfigHome(const std::string& xdgConfigHome, const std::string& home);

// The decision itself, from what the system said about the program's folder.
TIniLocation ChooseIniLocation(const std::string& programFolder, bool programFolderWritable,
                               const std::string& configHome);

// Sets IniPath for the running program. With `makeFolder`, for an installed copy, it also makes the
// configuration folder (private to the user) and, on its first start, takes over a tavix.ini found
// beside the program; a look that only reads passes false, leaves the disk alone and, before that first
// start, reads the file beside the program. False when the configuration folder could not be made.
bool InitIniPath(bool makeFolder);

// False when the running copy was installed into the system: it then downloads and replaces no files of
// its own, because the package manager brings its updates. Valid after InitIniPath.
bool UpdatesAllowed();
