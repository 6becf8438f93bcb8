#include "platform/userdirs.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kGroupAndOthers = 077;
constexpr const char* kRuntimeVariable = "XDG_RUNTIME_DIR";
constexpr const char* kStateVariable = "XDG_STATE_HOME";
constexpr const char* kDefaultStateHome = "/.local/state";

bool IsFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A folder of this user's alone: really a folder (a link to one would let whoever owns the link's place
// swap it), owned by the effective user, which the files in it get as their owner.
bool IsOwnFolder(const std::string& folder, struct stat& st)
{
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

std::string OwnPrivateFolder(const std::string& parent, bool make, const char* name = kUserFolderName)
{
    if (parent.empty() || parent.front() != '/')
        return {};
    std::string folder = parent;
    if (folder.back() != '/')
        folder += '/';
    folder += name;
    if (make && !MakePrivateFolders(folder))
        return {};
    struct stat st;
    if (!IsOwnFolder(folder, st))
        return {};
    if ((st.st_mode & kGroupAndOthers) != 0 && ::chmod(folder.c_str(), kPrivateFolderMode) != 0)
        return {};
    return folder + "/";
}

} // namespace

std::string EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string HomeFolder()
{
    std::string home = EnvironmentValue("HOME");
    if (!home.empty())
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

bool IsFolderWritable(const std::string& folder)
{
    // The effective ids decide, as they do when the file is made; a read-only mount answers EROFS.
    return !folder.empty() && IsFolder(folder) && ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool MakePrivateFolders(const std::string& folder)
{
    if (folder.empty())
        return false;
    // Each level in turn, from the top, so every folder this makes gets the private mode.
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        std::string level = folder.substr(0, pos);
        if (level.empty() || IsFolder(level))
            continue;
        if (::mkdir(level.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST)
            return false;
    }
    return IsFolder(folder);
}

std::string PrivateRuntimeFolder()
{
    // The desktop rule asks the runtime folder to be the user's alone; one that is not may be anyone's.
    const std::string runtime = EnvironmentValue(kRuntimeVariable);
    struct stat st;
    if (runtime.empty() || runtime.front() != '/' || !IsOwnFolder(runtime, st) || (st.st_mode & kGroupAndOthers) != 0)
        return {};
    return OwnPrivateFolder(runtime, true);
}

std::string PrivateStateFolder(bool make)
{
    const std::string state = EnvironmentValue(kStateVariable);
    if (!state.empty() && state.front() == '/')
        return OwnPrivateFolder(state, make);
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : OwnPrivateFolder(home + kDefaultStateHome, make);
}

std::string PrivateStateSubfolder(const char* name, bool make)
{
    const std::string state = PrivateStateFolder(make);
    return state.empty() ? std::string() : OwnPrivateFolder(state, make, name);
}

} // namespace platform
