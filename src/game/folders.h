// Emptying the game's folders (WDB cache, WTF settings, Screenshots) and finding names in the game
// folder the way the game sees them under Windows: without regard to letter case, hidden entries apart.
#pragma once

#include "core/globaltypes_u.h"
#include "core/textid.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kAllFilesPattern = "*.*";

// A clearing command: the folders it tries in order (each a path of names under the game folder) and
// its question.
struct TClearTarget
{
    std::vector<std::vector<std::string>> candidates;
    TTextId question;
    bool noIsDefault;
};
const TClearTarget& WDBTarget();
const TClearTarget& WTFTarget();
const TClearTarget& ScreenshotsTarget();

// Windows wildcard matching: '*' any run, '?' one character, letters a-z without regard to case;
// "*.*" matches every name, with or without a dot.
bool MatchesWildcard(std::string_view name, std::string_view pattern);
// The hidden attribute of this system: a name that starts with a dot.
bool IsHiddenName(std::string_view name);

// The first of `names` in the order Windows lists a folder (by upper-cased name), so that a choice among
// several matches does not depend on this system's listing order.
std::optional<std::string> FirstInListingOrder(const std::vector<std::string>& names);
// The one of `names` that is `name` without regard to case (a-z): the exact spelling when present, else
// the first match in listing order. Hidden entries count too.
std::optional<std::string> PickNameNoCase(const std::vector<std::string>& names, std::string_view name);

// The folder `parts` names under `base`, each name matched without regard to case. Only real folders
// are entered, never a symbolic link, so what is found lies inside `base`. Ends with a separator.
std::optional<std::string> ResolveFolderNoCase(const std::string& base, const std::vector<std::string>& parts);

// The file `fileName` of `folder` as the game finds it: an existing entry of that name in any letter case
// (not a folder), else a new one of that spelling.
std::string GameFilePathIn(const std::string& folder, std::string_view fileName);

// Writes `content` as the file `fileName` of `folder` (found as GameFilePathIn finds it). The name is
// replaced atomically, as tavix.ini is saved: another hard link to the old file keeps the old content, a
// crash leaves the old or the new content, and the file keeps its permissions. A symbolic link is followed
// only when it leads to a regular file of the same name (in any letter case), which is then replaced while
// the link stays: a link that came with an archive must not destroy some other file of the user's.
// Refused without a change: a read-only file (also for root), and anything that is not a regular file,
// which is never opened, so nothing can block.
bool ReplaceGameFile(const std::string& folder, std::string_view fileName, std::string_view content);

enum class TGameFileRead
{
    Read,
    Missing,
    Refused, // larger than asked for, not a regular file, a link ReplaceGameFile would not follow, unreadable
};
// Reads the file `fileName` of `folder`, found and followed as ReplaceGameFile finds and replaces it, when it
// holds at most `maxSize` bytes; nothing larger is read.
TGameFileRead ReadGameFile(const std::string& folder, std::string_view fileName, std::uint64_t maxSize,
                           std::string& content);

// The game folder of a server: the folder of its AltPath when it has one, else of `wowPath`, ending
// with a separator; empty when that path names no folder.
std::string GameFolderOf(const TServer& server, const std::string& wowPath);

// The first existing candidate folder of `target` under `gameFolder`. The process's current folder is left
// alone: the clearing opens the folder by handle, and nothing started later lands in it.
std::optional<std::string> FindTargetFolder(const std::string& gameFolder, const TClearTarget& target);

// Called now and then during a long clearing, so that the window keeps repainting.
using TProgressStep = std::function<void()>;
inline constexpr int kProgressIntervalMs = 25;

// Empties the folder of `mask` (a folder path, a separator and a file pattern): sub-folders that are not
// hidden are emptied depth first and removed, then every entry matching the pattern is deleted as a file.
// Links are removed as links. The folder itself stays. True when every deletion succeeded.
bool EmptyFolder(const std::string& mask, const TProgressStep& step = {});
