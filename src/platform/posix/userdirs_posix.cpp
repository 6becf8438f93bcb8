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

bool IsFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

} // namespace platform
