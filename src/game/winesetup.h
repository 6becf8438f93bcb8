// How Play starts a server's game under Wine: the Wine command, prefix, variables and arguments its section
// names, the prefix found from where the game lies, and the checks made before anything starts.
#pragma once

#include "core/globaltypes_u.h"
#include "game/procinfo.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kWinePrefixVariable = "WINEPREFIX";
inline constexpr const char* kDriveCFolderName = "drive_c";
inline constexpr const char* kSystemRegFileName = "system.reg";
inline constexpr char kEnvironmentSeparator = ';';

// A name a shell would take as a variable's: [A-Za-z_][A-Za-z0-9_]*.
bool IsVariableName(std::string_view name);
// "NAME=value;NAME=value": blanks before a name are skipped, the value runs to the next ";" as it stands,
// and empty pieces are ignored. Nothing when a piece has no "=" or a name IsVariableName refuses; then
// `badPiece` (when given) receives that piece.
std::optional<TEnvironment> ParseEnvironment(std::string_view text, std::string* badPiece = nullptr);

// The prefix a game installed inside one holds: the folder that holds the innermost folder named drive_c
// (in any letter case) on the game's absolute path. Empty when the path passes through none.
std::string PrefixFromGamePath(const std::string& gamePath);

// A server that names any Wine key of its own; such a server's set-up is checked before Play.
bool HasOwnWineSetup(const TServer& server);

// The checks in their order; the first failing one ends Play before anything is written or started.
enum class TWineCheck
{
    Ok,
    WineMissing,       // the Wine program does not exist or may not be executed
    PrefixNotAbsolute, // the prefix names no absolute folder
    PrefixNotAPrefix,  // the prefix folder exists but holds no drive_c and no system.reg
    EnvironmentMalformed,
};

struct TWinePlan
{
    TWineCheck check = TWineCheck::Ok;
    // What the failing check is about: the Wine program, the prefix or the bad piece of the variables.
    std::string detail;
    // The command line that starts Windows programs for this server.
    std::string wineCommand;
    // WINEPREFIX for the started programs; empty when Wine keeps its own default.
    std::string prefix;
    bool prefixFound = false; // found from the game's drive_c rather than named by the server
    // WINEPREFIX first when there is a prefix, then the server's own variables in their order.
    TEnvironment environment;
    std::vector<std::string> gameArguments;
};

// The set-up Play uses for `server` whose game is `gamePath`: the server's Wine command, else
// `settingsWineCommand`, else "wine"; its prefix ("~/" stands for the home folder), else the one found from
// the game's drive_c. `usesWine`: a Windows program is started, so the Wine program must be there. The
// checks run only for a server with a set-up of its own; one without is started as it always was.
TWinePlan PlanWine(const TServer& server, const std::string& settingsWineCommand, const std::string& gamePath,
                   bool usesWine);
// The same set-up without the checks, which look at the disk: what a view shows for a server.
TWinePlan DescribeWine(const TServer& server, const std::string& settingsWineCommand, const std::string& gamePath);
