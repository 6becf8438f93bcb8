#include "core/inipath.h"

#include "buildconfig.h"
#include "core/globaltypes_u.h"
#include "platform/files.h"
#include "platform/gamefs.h"
#include "platform/userdirs.h"

namespace {

constexpr std::string_view kSystemPrefix = "/usr/";
constexpr const char* kConfigHomeVariable = "XDG_CONFIG_HOME";
constexpr const char* kDefaultConfigHome = ".config/";

bool Installed = false;

std::string WithSeparator(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

// A first start of an installed copy finds the list a portable copy of this folder kept.
void TakeOverBesideProgram(const std::string& programFolder, const std::string& iniPath)
{
    if (platform::FileExists(iniPath))
        return;
    std::string data;
    if (platform::FileExists(programFolder + kIniFileName) &&
        platform::ReadWholeFile(programFolder + kIniFileName, data))
        (void)platform::ReplaceFileAtomically(iniPath, data);
}

} // namespace

bool IsSystemProgramFolder(const std::string& programFolder)
{
    const std::string folder = WithSeparator(programFolder);
    return folder.starts_with(kSystemPrefix) || folder == WithSeparator(KORVAN_INSTALL_BINDIR);
}

std::string ConfigHome(const std::string& xdgConfigHome, const std::string& home)
{
    // A relative value is to be ignored, as the desktop rule says.
    if (!xdgConfigHome.empty() && xdgConfigHome.front() == '/')
        return WithSeparator(xdgConfigHome);
    if (home.empty())
        return {};
    return WithSeparator(home) + kDefaultConfigHome;
}

TIniLocation ChooseIniLocation(const std::string& programFolder, bool programFolderWritable,
                               const std::string& configHome)
{
    TIniLocation location;
    const bool usersOwn = programFolderWritable && !IsSystemProgramFolder(programFolder);
    // Without a home there is no other place to go; the program's folder then stays the place.
    if (usersOwn || configHome.empty()) {
        location.Folder = WithSeparator(programFolder);
        location.Installed = !usersOwn;
        return location;
    }
    location.Folder = WithSeparator(configHome) + kConfigFolderName + "/";
    location.Installed = true;
    return location;
}

bool InitIniPath(bool makeFolder)
{
    const std::string programFolder = platform::ExecutableDir();
    const TIniLocation location =
        ChooseIniLocation(programFolder, platform::IsFolderWritable(programFolder),
                          ConfigHome(platform::EnvironmentValue(kConfigHomeVariable), platform::HomeFolder()));
    Installed = location.Installed;
    IniPath = location.Folder + kIniFileName;
    if (location.Folder == WithSeparator(programFolder))
        return true;
    // The first start is the one that makes the configuration folder. From then on the list there is the
    // user's, also when it is missing: a list beside the program is no longer theirs to read or take.
    const bool firstStart = !platform::FolderExists(location.Folder);
    if (!makeFolder) {
        // A look that only reads sees the list the first start would take over.
        if (firstStart && platform::FileExists(programFolder + kIniFileName))
            IniPath = programFolder + kIniFileName;
        return true;
    }
    if (!platform::MakePrivateFolders(location.Folder))
        return false;
    if (firstStart)
        TakeOverBesideProgram(programFolder, IniPath);
    return true;
}

bool UpdatesAllowed()
{
    return !Installed;
}
