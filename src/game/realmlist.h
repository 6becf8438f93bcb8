// The launch decisions: which program is started, which game folder receives realmlist.wtf, and its bytes.
#pragma once

#include "core/globaltypes_u.h"

#include <string>

inline constexpr const char* kRealmlistFileName = "realmlist.wtf";
inline constexpr const char* kRealmlistPrefix = "set realmlist ";
inline constexpr const char* kPatchlistPrefix = "set patchlist ";
inline constexpr const char* kRealmlistLineBreak = "\r\n";
inline constexpr const char* kDataFolderName = "Data";
inline constexpr const char* kLocaleFolderPattern = "en??";

// The file's bytes: one or two lines, CR LF between them, none after the last.
std::string RealmlistContent(const std::string& address, const std::string& patchlist);

// The path checks in their order; the first failing one ends the launch.
enum class TLaunchCheck
{
    Ok,
    WoWPathEmpty,
    WoWPathMissing,
    PreloaderMissing,
    AltPathMissing,
};

struct TLaunchPlan
{
    TLaunchCheck check = TLaunchCheck::Ok;
    std::string runPath;  // the program that is started
    std::string gamePath; // the executable whose folder receives realmlist.wtf
};

// Run path: Preloader, else AltPath, else WoWPath. Game path: AltPath, else WoWPath. WoWPath must be set
// and exist for every server, also one with its own AltPath.
TLaunchPlan PlanLaunch(const TServer& server, const std::string& wowPath);

// The locale folder "Data/en??" of a game folder (names without regard to case, hidden entries skipped,
// files matching too), as a folder path ending with a separator; empty when there is none.
std::string FindLocaleFolder(const std::string& gameFolder);

// The folder that receives realmlist.wtf for a game path: the game's folder, or its locale folder for
// game versions 3 and later. When no version can be read, the game's folder.
std::string RealmlistFolder(const std::string& gamePath);

// Writes the server's lines as the realm list file of `folder`, by the rules of ReplaceGameFile.
bool WriteRealmlist(const std::string& folder, const TServer& server);
