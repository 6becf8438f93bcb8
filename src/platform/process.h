// Starting programs and looking at the running ones.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform {

// Variables a started program gets on top of this process's environment, in order: a later one replaces
// an earlier one and any inherited variable of its name.
using TEnvironment = std::vector<std::pair<std::string, std::string>>;

// Starts argv[0] with the given arguments, no shell involved; argv[0] without a separator is looked up in
// PATH. The program starts in `workingFolder`, or in this process's current folder when that is empty (a
// relative argv[0] and folder are taken from this process's current folder either way); this process's own
// current folder never changes. The program outlives this process. True when it was started: the folder
// could be entered and the file executed.
bool StartProgram(const std::vector<std::string>& argv, const std::string& workingFolder = {},
                  const TEnvironment& environment = {});

// Runs the program at `argv[0]` in place of this one: the same process, environment and folder. Returns
// only when that failed.
void ReplaceProgram(const std::vector<std::string>& argv);

// From now on a write to a pipe nobody reads fails instead of ending the program. For a copy started by
// another one, which outlives the output pipes it inherited from it.
void IgnoreClosedPipes();

// True when `path` is a regular file this process may execute (through links).
bool IsExecutableFile(const std::string& path);

// The full path of `name` as PATH finds it, `name` itself when it holds a separator, empty when nothing found.
std::string FindProgram(const std::string& name);

// One entry per running process: the names it goes by as a file. The executable's file name, and also the
// name it was started as and its command name, which is where a program run by an interpreter (Wine, a
// script's shell) shows its own file name.
struct TProcessNames
{
    std::vector<std::string> names;
};

// False when the process list cannot be read at all.
bool ListProcesses(std::vector<TProcessNames>& processes);

} // namespace platform
