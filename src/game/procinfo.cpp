#include "game/procinfo.h"

#include "core/ini.h"
#include "core/servers_u.h"
#include "platform/files.h"
#include "platform/gamefs.h"
#include "platform/process.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 4> kWindowsExtensions = {".EXE", ".COM", ".BAT", ".CMD"};
constexpr std::string_view kCommandBlanks = " \t";

bool IsCommandBlank(char c)
{
    return kCommandBlanks.find(c) != std::string_view::npos;
}

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

std::string WineCommandOrDefault(const std::string& configured)
{
    return configured.empty() ? std::string(kDefaultWineCommand) : configured;
}

std::vector<std::string> SplitArguments(std::string_view text)
{
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false, quoted = false;
    for (std::size_t i = 0; i < text.size();) {
        char c = text[i];
        if (!quoted && IsCommandBlank(c)) {
            if (inArgument)
                args.push_back(std::move(current));
            current.clear();
            inArgument = false;
            ++i;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            std::size_t run = text.find_first_not_of('\\', i);
            std::size_t count = (run == std::string_view::npos ? text.size() : run) - i;
            if (run != std::string_view::npos && text[run] == '"') {
                current.append(count / 2, '\\');
                if (count % 2 == 1) {
                    current += '"';
                    i = run + 1;
                } else {
                    i = run; // the quote is handled as a quote
                }
            } else {
                current.append(count, '\\');
                i += count;
            }
            continue;
        }
        if (c == '"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                current += '"';
                i += 2;
            } else {
                quoted = !quoted;
                ++i;
            }
            continue;
        }
        current += c;
        ++i;
    }
    if (inArgument)
        args.push_back(std::move(current));
    return args;
}

TCommandLine ResolveCommandLine(const std::string& value, const TNamesFile& namesFile)
{
    TCommandLine line;
    if (value.empty())
        return line;
    if (namesFile(value)) {
        line.program = value;
        return line;
    }
    std::string_view text = value;
    auto start = text.find_first_not_of(kCommandBlanks);
    if (start == std::string_view::npos)
        return line;
    text.remove_prefix(start);
    if (text.front() == '"') {
        // The program's own name takes no escapes: it runs to the next quote.
        auto close = text.find('"', 1);
        line.program = std::string(text.substr(1, close == std::string_view::npos ? close : close - 1));
        if (close != std::string_view::npos)
            line.arguments = SplitArguments(text.substr(close + 1));
        return line;
    }
    for (std::size_t blank = text.find_first_of(kCommandBlanks); blank != std::string_view::npos;
         blank = text.find_first_of(kCommandBlanks, blank + 1)) {
        std::string candidate(text.substr(0, blank));
        if (namesFile(candidate)) {
            line.program = std::move(candidate);
            line.arguments = SplitArguments(text.substr(blank + 1));
            return line;
        }
    }
    // Nothing names a file: the first word is tried as the program, so that the start reports the fault.
    auto firstBlank = text.find_first_of(kCommandBlanks);
    line.program = std::string(text.substr(0, firstBlank));
    if (firstBlank != std::string_view::npos)
        line.arguments = SplitArguments(text.substr(firstBlank + 1));
    return line;
}

bool NamesProgramFile(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return platform::FileExists(name);
    return platform::FileExists(name) || !platform::FindProgram(name).empty();
}

std::vector<std::string> CommandFor(const std::string& path, const std::string& wineCommand)
{
    if (IsWindowsProgram(path)) {
        TCommandLine wine = ResolveCommandLine(wineCommand, NamesProgramFile);
        std::vector<std::string> command{wine.program};
        command.insert(command.end(), wine.arguments.begin(), wine.arguments.end());
        command.push_back(path);
        return command;
    }
    // A bare file name is a file in the current folder, not a command to look up in PATH.
    if (path.find('/') == std::string::npos)
        return {"./" + path};
    return {path};
}

namespace {

// The program a stored command line names (a bare name not in the current folder found in PATH, as Windows
// looks there too) and its arguments.
TCommandLine ResolveStoredCommandLine(const std::string& commandLine)
{
    TCommandLine line = ResolveCommandLine(commandLine, NamesProgramFile);
    if (line.program.find('/') == std::string::npos && !platform::FileExists(line.program))
        if (std::string found = platform::FindProgram(line.program); !found.empty())
            line.program = found;
    return line;
}

std::vector<std::string> CommandWithArguments(const TCommandLine& line, const std::string& wineCommand)
{
    std::vector<std::string> command = CommandFor(line.program, wineCommand);
    command.insert(command.end(), line.arguments.begin(), line.arguments.end());
    return command;
}

bool StartWith(const TProgramStarter& start, const std::vector<std::string>& argv, const std::string& folder,
               const TEnvironment& environment)
{
    return start ? start(argv, folder, environment) : platform::StartProgram(argv, folder, environment);
}

} // namespace

std::string AbsolutePathOf(const std::string& path)
{
    // A Windows path meant for Wine, or a name that names nothing here, is left for the start to judge.
    if (path.empty() || path.front() == '/' || !platform::FileExists(path))
        return path;
    const std::string here = platform::CurrentFolder();
    return here.empty() ? path : here + "/" + path;
}

bool RunProgram(const std::string& path, const std::string& wineCommand, const std::string& workingFolder,
                const TProgramStarter& start, const TStartAdditions& additions)
{
    // The program, and Wine for a Windows program, must find the file from the other folder too.
    std::vector<std::string> command = CommandFor(AbsolutePathOf(path), wineCommand);
    command.insert(command.end(), additions.arguments.begin(), additions.arguments.end());
    return StartWith(start, command, workingFolder, additions.environment);
}

bool RunCommandLine(const std::string& commandLine, const std::string& wineCommand, const TProgramStarter& start,
                    const TEnvironment& environment)
{
    if (commandLine.empty())
        return false;
    TCommandLine line = ResolveStoredCommandLine(commandLine);
    line.program = AbsolutePathOf(line.program);
    return StartWith(start, CommandWithArguments(line, wineCommand), platform::FolderOf(line.program), environment);
}
