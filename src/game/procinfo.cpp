#include "game/procinfo.h"

#include "core/ini_u.h"
#include "core/servers_u.h"
#include "platform/files.h"
#include "platform/process.h"

#include <array>
#include <sstream>

namespace {

constexpr std::array<std::string_view, 4> kWindowsExtensions = {".EXE", ".COM", ".BAT", ".CMD"};

} // namespace

bool NameContainsNoCase(const std::string& processName, const std::string& fileName)
{
    return UpperAscii(processName).find(UpperAscii(fileName)) != std::string::npos;
}

bool IsProcessRunning(const std::string& fileName)
{
    // An empty name would be found in every process, and the program would never be started; its
    // start is tried instead, so that a faulty setting is reported.
    if (fileName.empty())
        return false;
    std::vector<platform::TProcessNames> processes;
    if (!platform::ListProcesses(processes))
        return false;
    for (const platform::TProcessNames& process : processes)
        for (const std::string& name : process.names)
            if (NameContainsNoCase(name, fileName))
                return true;
    return false;
}

std::string FileNameOf(const std::string& path)
{
    auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool IsWindowsProgram(const std::string& path)
{
    std::string upper = UpperAscii(FileNameOf(path));
    for (std::string_view ext : kWindowsExtensions)
        if (upper.size() > ext.size() && upper.ends_with(ext))
            return true;
    return false;
}

std::string ReadWineCommand(const std::string& iniPath)
{
    TIniFile ini(iniPath);
    if (!ini.Load())
        return kDefaultWineCommand;
    std::string command = ini.ReadString(kSettingsSection, kWineCommandKey, "");
    return command.empty() ? std::string(kDefaultWineCommand) : command;
}

std::vector<std::string> CommandFor(const std::string& path, const std::string& wineCommand)
{
    if (IsWindowsProgram(path)) {
        // A Wine command that names a program is that program, blanks and all; anything else is a program
        // followed by its arguments, split at blanks ("wine64", "/opt/wine/bin/wine", "env WINEDEBUG=-all wine").
        std::vector<std::string> command;
        bool namesProgram = wineCommand.find('/') != std::string::npos ? platform::FileExists(wineCommand)
                                                                       : !platform::FindProgram(wineCommand).empty();
        if (namesProgram) {
            command.push_back(wineCommand);
        } else {
            std::istringstream words(wineCommand);
            for (std::string word; words >> word;)
                command.push_back(word);
        }
        command.push_back(path);
        return command;
    }
    // A bare file name is a file in the current folder, not a command to look up in PATH.
    if (path.find('/') == std::string::npos)
        return {"./" + path};
    return {path};
}

bool RunProgram(const std::string& path, const std::string& wineCommand)
{
    return platform::StartProgram(CommandFor(path, wineCommand));
}
