// Starting the game and its companion program, and telling whether a program already runs.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* kWineCommandKey = "WineCommand";
inline constexpr const char* kDefaultWineCommand = "wine";

// True when a running process's file name, upper-cased, contains `fileName` upper-cased (a-z).
bool IsProcessRunning(const std::string& fileName);
// The containment test itself.
bool NameContainsNoCase(const std::string& processName, const std::string& fileName);

// The part of a path after its last separator ('/' or '\').
std::string FileNameOf(const std::string& path);

// A Windows program: .exe, .com, .bat or .cmd in any letter case; it is started through Wine here.
bool IsWindowsProgram(const std::string& path);

// The Wine command of section Main of the INI file, or "wine" when it names none.
std::string ReadWineCommand(const std::string& iniPath);

// The argument list that starts `path`: the file alone, or the Wine command with the file. A Wine command
// that is not a program of its own is split at blanks into a program and its arguments.
std::vector<std::string> CommandFor(const std::string& path, const std::string& wineCommand);

// Starts `path` (through Wine when it is a Windows program) with no arguments and no shell; the program
// inherits the current folder. True when it was started.
bool RunProgram(const std::string& path, const std::string& wineCommand);
