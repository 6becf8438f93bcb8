#include "game/winesetup.h"

#include "core/ini.h"
#include "game/folders.h"
#include "platform/files.h"
#include "platform/gamefs.h"
#include "platform/process.h"

#include <cstdlib>

namespace {

constexpr std::string_view kNameBlanks = " \t";
constexpr std::string_view kHomeMark = "~";

bool IsNameStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNamePart(char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

bool CanRun(const std::string& program)
{
    // As the start itself finds it: a path is used as it is, a bare name only through PATH.
    if (program.find('/') != std::string::npos)
        return platform::IsExecutableFile(program);
    return !platform::FindProgram(program).empty();
}

bool EntryExists(const std::string& path)
{
    return platform::FileExists(path) || platform::FolderExists(path);
}

// A folder holding drive_c or system.reg (in any letter case): what Wine leaves in every prefix it made.
bool LooksLikePrefix(const std::string& folder)
{
    if (!platform::FolderExists(folder))
        return false;
    // The names as Wine writes them first; a listing only for other letter cases.
    if (platform::FolderExists(folder + "/" + kDriveCFolderName) ||
        platform::FileExists(folder + "/" + kSystemRegFileName))
        return true;
    std::vector<std::string> names;
    for (const platform::TDirEntry& e : platform::ListFolder(folder))
        names.push_back(e.name);
    return PickNameNoCase(names, kDriveCFolderName) || PickNameNoCase(names, kSystemRegFileName);
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    return home ? home : "";
}

// "~" and "~/..." in the user's home folder; anything else as written.
std::string ExpandHome(const std::string& path, const std::string& home)
{
    if (home.empty() || !path.starts_with(kHomeMark))
        return path;
    if (path.size() == kHomeMark.size())
        return home;
    if (path[kHomeMark.size()] == '/')
        return home + path.substr(kHomeMark.size());
    return path;
}

std::string WithoutTrailingSeparators(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

bool IsVariableName(std::string_view name)
{
    if (name.empty() || !IsNameStart(name.front()))
        return false;
    for (char c : name)
        if (!IsNamePart(c))
            return false;
    return true;
}

std::optional<TEnvironment> ParseEnvironment(std::string_view text, std::string* badPiece)
{
    TEnvironment variables;
    while (!text.empty()) {
        const auto cut = text.find(kEnvironmentSeparator);
        std::string_view piece = text.substr(0, cut);
        text = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 1);
        const auto start = piece.find_first_not_of(kNameBlanks);
        if (start == std::string_view::npos)
            continue;
        std::string_view pair = piece.substr(start);
        const auto eq = pair.find('=');
        if (eq == std::string_view::npos || !IsVariableName(pair.substr(0, eq))) {
            if (badPiece)
                *badPiece = std::string(pair);
            return std::nullopt;
        }
        variables.emplace_back(std::string(pair.substr(0, eq)), std::string(pair.substr(eq + 1)));
    }
    return variables;
}

std::string PrefixFromGamePath(const std::string& gamePath)
{
    const std::string path = AbsolutePathOf(gamePath);
    if (path.empty() || path.front() != '/')
        return {};
    // The game itself is the last part of the path; only the folders above it count.
    std::string found;
    std::size_t begin = 1;
    for (std::size_t end = path.find('/', begin); end != std::string::npos; end = path.find('/', begin)) {
        if (EqualNames(std::string_view(path).substr(begin, end - begin), kDriveCFolderName))
            found = begin > 1 ? path.substr(0, begin - 1) : std::string("/");
        begin = end + 1;
    }
    return found;
}

bool HasOwnWineSetup(const TServer& server)
{
    return !server.WineCommand.empty() || !server.WinePrefix.empty() || !server.Environment.empty() ||
           !server.GameArguments.empty();
}

TWinePlan DescribeWine(const TServer& server, const std::string& settingsWineCommand, const std::string& gamePath)
{
    TWinePlan plan;
    plan.wineCommand = WineCommandOrDefault(server.WineCommand.empty() ? settingsWineCommand : server.WineCommand);
    if (!server.WinePrefix.empty()) {
        plan.prefix = WithoutTrailingSeparators(ExpandHome(server.WinePrefix, HomeFolder()));
    } else {
        plan.prefix = PrefixFromGamePath(gamePath);
        plan.prefixFound = !plan.prefix.empty();
    }
    plan.gameArguments = SplitArguments(server.GameArguments);
    if (!plan.prefix.empty())
        plan.environment.emplace_back(kWinePrefixVariable, plan.prefix);
    // Variables that cannot be read add nothing here; the checks refuse them before a start.
    if (std::optional<TEnvironment> own = ParseEnvironment(server.Environment))
        plan.environment.insert(plan.environment.end(), own->begin(), own->end());
    return plan;
}

TWinePlan PlanWine(const TServer& server, const std::string& settingsWineCommand, const std::string& gamePath,
                   bool usesWine)
{
    TWinePlan plan = DescribeWine(server, settingsWineCommand, gamePath);
    if (!HasOwnWineSetup(server))
        return plan;
    if (usesWine) {
        const std::string program = ResolveCommandLine(plan.wineCommand, NamesProgramFile).program;
        if (!CanRun(program)) {
            plan.check = TWineCheck::WineMissing;
            plan.detail = program;
            return plan;
        }
    }
    if (!plan.prefix.empty() && plan.prefix.front() != '/') {
        plan.check = TWineCheck::PrefixNotAbsolute;
        plan.detail = server.WinePrefix;
        return plan;
    }
    // A prefix that is not there yet is made by Wine; one that is there must look like one.
    if (!plan.prefix.empty() && EntryExists(plan.prefix) && !LooksLikePrefix(plan.prefix)) {
        plan.check = TWineCheck::PrefixNotAPrefix;
        plan.detail = plan.prefix;
        return plan;
    }
    std::string badPiece;
    if (!ParseEnvironment(server.Environment, &badPiece)) {
        plan.check = TWineCheck::EnvironmentMalformed;
        plan.detail = badPiece;
    }
    return plan;
}
