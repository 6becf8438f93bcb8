#include "update/install.h"

#include "core/globaltypes_u.h"
#include "core/ini.h"
#include "update/updatelist.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSha256HexLength = 64;
constexpr std::string_view kDigestPrefix = "sha256=";
constexpr std::string_view kLineEnd = "\r\n";
constexpr fs::perms kExecutePerms = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
// A new file gets what a file created by the program gets, less what the user's mask removes; the mask is
// applied by creating the file, so here only the execute bits are added where reading is allowed.
constexpr fs::perms kReadPerms = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && EqualNames(text.substr(text.size() - suffix.size()), suffix);
}

// Read bits turned into execute bits: who may read the program may run it.
fs::perms WithExecute(fs::perms mode)
{
    if ((mode & fs::perms::owner_read) != fs::perms::none)
        mode |= fs::perms::owner_exec;
    if ((mode & fs::perms::group_read) != fs::perms::none)
        mode |= fs::perms::group_exec;
    if ((mode & fs::perms::others_read) != fs::perms::none)
        mode |= fs::perms::others_exec;
    return mode;
}

} // namespace

bool IsSafeUpdateName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name) {
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < ' ')
            return false;
    }
    if (EndsWithNoCase(name, kPartSuffix))
        return false;
    for (std::string_view reserved : {kIniFileName, kLockFileName, kUpdateFolderName, kUpdaterBatchName}) {
        if (EqualNames(name, reserved))
            return false;
    }
    return true;
}

TFileSource ParseFileSource(std::string_view url)
{
    TFileSource source;
    const auto hash = url.find('#');
    source.FetchUrl = std::string(url.substr(0, hash));
    if (hash == std::string_view::npos)
        return source;
    const std::string_view fragment = url.substr(hash + 1);
    if (fragment.size() < kDigestPrefix.size() || !EqualNames(fragment.substr(0, kDigestPrefix.size()), kDigestPrefix))
        return source;
    const std::string_view digest = fragment.substr(kDigestPrefix.size());
    if (digest.size() != kSha256HexLength || !std::all_of(digest.begin(), digest.end(), IsHexDigit)) {
        source.DigestMalformed = true;
        return source;
    }
    std::string lower(digest);
    std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
    source.Sha256 = std::move(lower);
    return source;
}

bool UpdateFilesAcceptable(const std::vector<TUpdateFile>& files, bool digestRequired)
{
    if (files.size() > kMaxUpdateFiles)
        return false;
    std::set<std::string> seen;
    for (const TUpdateFile& file : files) {
        if (!IsSafeUpdateName(file.Name))
            return false;
        const TFileSource source = ParseFileSource(file.URL);
        if (source.DigestMalformed || (digestRequired && !source.Sha256))
            return false;
        if (!seen.insert(UpperAscii(file.Name)).second)
            return false;
    }
    return true;
}

std::string UpdaterBatchText(std::string_view programFileName)
{
    const std::array<std::string, 12> lines = {
        "@echo off",
        "set loop=0",
        ":start",
        "move /Y _update\\*.* .",
        "rmdir _update",
        "set /A loop=%loop%+1",
        "if %loop% GTR 30 goto exit",
        "if exist _update goto start",
        ":exit",
        "set loop=",
        "start " + std::string(programFileName),
        "del _updater.bat",
    };
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += kLineEnd;
    }
    return text;
}

bool TakeOverPermissions(const std::string& file, const std::string& target, bool isProgram)
{
    std::error_code error;
    fs::perms mode = fs::perms::unknown;
    // The mode of what the link points at is what the user set; the link itself has none of its own.
    const fs::file_status existing = fs::status(target, error);
    if (!error && fs::is_regular_file(existing)) {
        mode = existing.permissions() & fs::perms::all;
    } else {
        if (!isProgram)
            return true;
        const fs::file_status fresh = fs::status(file, error);
        if (error)
            return false;
        mode = WithExecute(fresh.permissions() & fs::perms::all);
        if ((mode & kReadPerms) == fs::perms::none)
            mode |= fs::perms::owner_read | fs::perms::owner_exec;
    }
    if (isProgram)
        mode = WithExecute(mode);
    fs::permissions(file, mode, fs::perm_options::replace, error);
    return !error;
}

TInstallResult InstallPendingUpdate(const std::string& programDir, const std::string& programFileName)
{
    TInstallResult result;
    const fs::path folder = fs::path(programDir) / kUpdateFolderName;
    std::error_code error;
    const fs::file_status folderStatus = fs::symlink_status(folder, error);
    if (error || !fs::exists(folderStatus))
        return result;
    result.FolderFound = true;
    // A link in the folder's place could lead anywhere; what it holds is not ours to install.
    if (!fs::is_directory(folderStatus)) {
        result.Left.push_back(kUpdateFolderName);
        return result;
    }

    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    for (const fs::path& source : entries) {
        const std::string name = source.filename().string();
        std::error_code entryError;
        const fs::file_status status = fs::symlink_status(source, entryError);
        if (!entryError && fs::is_regular_file(status) && EndsWithNoCase(name, kPartSuffix)) {
            fs::remove(source, entryError);
            continue;
        }
        if (entryError || !fs::is_regular_file(status) || !IsSafeUpdateName(name)) {
            result.Left.push_back(name);
            continue;
        }
        const std::string target = programDir + name;
        const fs::file_status targetStatus = fs::symlink_status(target, entryError);
        // A folder of that name is not replaced by a file.
        if (!entryError && fs::is_directory(targetStatus)) {
            result.Left.push_back(name);
            continue;
        }
        const bool isProgram = name == programFileName;
        if (!TakeOverPermissions(source.string(), target, isProgram)) {
            result.Left.push_back(name);
            continue;
        }
        fs::rename(source, target, entryError);
        if (entryError)
            result.Left.push_back(name);
        else
            result.Moved.push_back(name);
    }
    result.FolderRemoved = fs::remove(folder, error) && !error;
    return result;
}

void RemovePendingUpdate(const std::string& programDir)
{
    std::error_code error;
    fs::remove_all(fs::path(programDir) / kUpdateFolderName, error);
}
