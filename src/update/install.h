// Placing downloaded update files: which names may be written, the digest a list may give with a file,
// the move from the update folder into the program's folder, and the batch text the Windows edition runs
// for that move.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The folder beside the program that holds downloaded files until they are installed, and the suffix of
// a file still being downloaded.
inline constexpr const char* kUpdateFolderName = "_update";
inline constexpr const char* kPartSuffix = ".part";
inline constexpr const char* kUpdaterBatchName = "_updater.bat";

// A name the list may place in the program's folder: a plain file name. Refused: empty, "." and "..",
// any folder part ('/' or '\\'), a drive or stream (':'), control characters, a download's own ".part"
// name, and the program's data files, which an update must never replace.
bool IsSafeUpdateName(std::string_view name);

// A file's URL as the list gives it. A fragment "#sha256=" with 64 hex digits names the digest the
// file must have; no fragment is ever sent to the server, so lists keep working with older copies.
struct TFileSource
{
    std::string FetchUrl;
    std::optional<std::string> Sha256; // lower-case hex
    bool DigestMalformed = false;      // a sha256 fragment that is not 64 hex digits: the file is refused
};
TFileSource ParseFileSource(std::string_view url);

struct TUpdateFile;

// More files than a program of this kind ever ships: a list that names more is not taken.
inline constexpr std::size_t kMaxUpdateFiles = 1000;

// The whole list is checked before anything is fetched: every name safe and named once (in any letter
// case, as the Windows edition's folder would take them), every digest well formed, and, when required,
// one given for every file. A single file that fails refuses the whole list.
bool UpdateFilesAcceptable(const std::vector<TUpdateFile>& files, bool digestRequired);

// The twelve lines of _updater.bat, each ended by CR LF, that start `programFileName` when done.
std::string UpdaterBatchText(std::string_view programFileName);

// The mode an update file gets before it takes the place of `target` in the program's folder: the
// permissions of the file it replaces, or, for a new file, the folder's default plus execute permission
// when it is the program itself. Applied to `file`; false when that failed.
bool TakeOverPermissions(const std::string& file, const std::string& target, bool isProgram);

struct TInstallResult
{
    bool FolderFound = false;       // there was something to install
    std::vector<std::string> Moved; // names now in the program's folder
    std::vector<std::string> Left;  // names that stay in the update folder
    bool FolderRemoved = false;
};

// Moves every file of `programDir`/_update/ into `programDir` (which ends with a separator), over the
// files there, then removes the update folder. Half-downloaded ".part" files are dropped; anything that is
// not a plain file with a safe name, or cannot be moved, stays and is listed in Left.
TInstallResult InstallPendingUpdate(const std::string& programDir, const std::string& programFileName);

// Removes the update folder of `programDir` (ending with a separator) and all it holds, so that nothing of
// an update that was given up is installed later. A link in the folder's place is removed, not followed.
void RemovePendingUpdate(const std::string& programDir);
