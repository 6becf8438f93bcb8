// Starting the game and its companion program, and telling whether a program already runs.
#pragma once

#include "platform/process.h"

#include <functional>
#include <string>
#include <string_view>
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

// The Wine command the settings name, or "wine" when they name none.
std::string WineCommandOrDefault(const std::string& configured);

// A command line split into the program it names and that program's arguments.
struct TCommandLine
{
    std::string program;
    std::vector<std::string> arguments;
    bool operator==(const TCommandLine&) const = default;
};

// True when `name` names an existing program file.
using TNamesFile = std::function<bool(const std::string& name)>;

// Resolves a stored command line as Windows resolves an unquoted one: the whole value when it names an
// existing file (blanks and all); otherwise the shortest part before a blank that names one, the rest being
// its arguments. A value in quotes names the quoted program. When no part names a file, the first word is
// the program. Nothing is handed to a shell.
TCommandLine ResolveCommandLine(const std::string& value, const TNamesFile& namesFile);
// Arguments split as Windows programs split their command line: at blanks outside double quotes; 2n
// backslashes before a quote give n and the quote opens or closes, 2n+1 give n and a literal quote; "" in
// quotes is a literal quote.
std::vector<std::string> SplitArguments(std::string_view text);
// The test the program starts use: a path with a separator is an existing file; a bare name is a file in the
// current folder or a program found in PATH.
bool NamesProgramFile(const std::string& name);

// The argument list that starts `path`: the file alone, or the Wine command with the file. The Wine command
// is a command line of its own ("/opt/wine staging/bin/wine", "env WINEDEBUG=-all wine64").
std::vector<std::string> CommandFor(const std::string& path, const std::string& wineCommand);

// `path` as an absolute path when it names a file of this system relative to the current folder; anything
// else (already absolute, a Windows path for Wine, a name that names nothing) as it is.
std::string AbsolutePathOf(const std::string& path);

using TEnvironment = platform::TEnvironment;

// What finally starts a program: its argument list (the program first), the folder it starts in and the
// variables it gets on top of this process's environment; true when it was started. Empty:
// platform::StartProgram, which starts it for real.
using TProgramStarter = std::function<bool(const std::vector<std::string>& argv, const std::string& workingFolder,
                                           const TEnvironment& environment)>;

// What a server's Wine set-up adds to a start: arguments after the program's own, and variables.
struct TStartAdditions
{
    std::vector<std::string> arguments{};
    TEnvironment environment{};
};

// Starts `path` (through Wine when it is a Windows program) with no shell, in `workingFolder` (the current
// folder when empty), with the arguments and variables of `additions`. True when it was started.
bool RunProgram(const std::string& path, const std::string& wineCommand, const std::string& workingFolder = {},
                const TProgramStarter& start = {}, const TStartAdditions& additions = {});
// Starts a stored command line, resolved as above, with its arguments and no shell, in the folder of the
// program it names, as a shortcut to that program would, with `environment` on top of this process's own.
bool RunCommandLine(const std::string& commandLine, const std::string& wineCommand, const TProgramStarter& start = {},
                    const TEnvironment& environment = {});
