// Emptying the game's folders (WDB cache, WTF settings, Screenshots) and finding names in the game
// folder the way the game sees them under Windows: without regard to letter case, hidden entries apart.
#pragma once

#include "core/globaltypes_u.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Set by the game launch right before its WDB clearing: that clearing then asks and shows nothing.
// The WDB clearing resets it when it finishes, whatever the outcome.
extern bool SilentCacheClear;

inline constexpr const char* kAllFilesPattern = "*.*";

// A clearing command: the folders it tries in order (each a path of names under the game folder) and
// its question.
struct TClearTarget
{
    std::vector<std::vector<std::string>> candidates;
    int questionId;
    bool noIsDefault;
};
const TClearTarget& WDBTarget();
const TClearTarget& WTFTarget();
const TClearTarget& ScreenshotsTarget();

inline constexpr int kMsgFolderNotFound = 1023;
inline constexpr int kMsgClearFailed = 1024;
inline constexpr int kMsgFolderCleared = 1025;

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

// The game folder of a server: the folder of its AltPath when it has one, else of `wowPath`, ending
// with a separator; empty when that path names no folder.
std::string GameFolderOf(const TServer& server, const std::string& wowPath);

// Finds the first existing candidate folder of `target` under `gameFolder` and makes it the current
// folder, which programs started later inherit. Nothing changes when none exists.
std::optional<std::string> EnterTargetFolder(const std::string& gameFolder, const TClearTarget& target);

// Called now and then during a long clearing, so that the window keeps repainting.
using TProgressStep = std::function<void()>;
inline constexpr int kProgressIntervalMs = 25;

// Empties the folder of `mask` (a folder path, a separator and a file pattern): sub-folders that are not
// hidden are emptied depth first and removed, then every entry matching the pattern is deleted as a file.
// Links are removed as links. The folder itself stays. True when every deletion succeeded.
bool EmptyFolder(const std::string& mask, const TProgressStep& step = {});
