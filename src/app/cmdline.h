// The command line: starting one server's game directly, listing the servers (with their state), help
// and version. The word "update" the program gives itself is read by the start-up, not here.
#pragma once

#include "core/globaltypes_u.h"

#include <QString>
#include <QStringList>
#include <cstdio>
#include <string>

class TMainForm;
class TSettings;

enum class TCommandAction
{
    Start, // the window, as without options
    Help,
    Version,
    List,
    Play,
    Invalid,
};

struct TProgramOptions
{
    TCommandAction Action = TCommandAction::Start;
    bool Probe = false;
    // --activate: where a copy runs already, its window comes up instead of a new one.
    bool Activate = false;
    QString ServerName{};
    // For Invalid: what standard error is told.
    QString Error{};
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The arguments with the program's name first. Before the application exists its own options (-style,
// -platform) are not yet taken out, so a first look passes `strict` false and unknown options go by.
TProgramOptions ParseCommandLine(const QStringList& arguments, bool strict);
// The same for the raw arguments of main.
TProgramOptions ParseCommandLine(int argc, char** argv, bool strict);

QString CommandLineHelp(const QString& programName);
QString VersionText();

// Actions that need no window and no display: help, version, a wrong command line, and the list, which
// only reads tavix.ini (into `settings`, for the probes' time-out) and needs a QCoreApplication.
// `program` is the name the help shows. Returns the exit status.
int RunConsoleAction(const TProgramOptions& command, TSettings& settings, const QString& program, std::FILE* out,
                     std::FILE* err);

// One line of the list: name and address, and with `withState` the state and the ping, tab-separated.
std::string ServerLine(const TServer& server, bool withState);

// The live entry whose name, as stored or as shown, equals `name` with the store's letter-case rule.
int FindServerByShownName(const std::string& name);

// --play: Play for the named server through the hidden main window, which appears only when a message
// or a dialog needs the user; every message also goes to `err`. kExitOk when the game was started.
int PlayServer(TMainForm& form, const QString& name, std::FILE* err);

// The same for a --play handed over by a later start: the running window plays it, and `told` gets the
// texts of the messages shown meanwhile, for that start to write out.
int PlayHandedOver(TMainForm& form, const QString& name, QStringList& told);

// Writes every message box's text to `err` as well, for the caller of a command-line start.
void EchoMessagesTo(std::FILE* err);
