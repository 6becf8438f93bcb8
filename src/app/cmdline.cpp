#include "app/cmdline.h"

#include "buildconfig.h"
#include "core/ini.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "core/textcodec.h"
#include "monitor/probeservice.h"
#include "ui/mainfm.h"
#include "ui/msgbox.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace {

constexpr const char* kUpdateArgument = "update";
constexpr const char* kStateOnline = "online";
constexpr const char* kStateOffline = "offline";
constexpr const char* kStateChecking = "checking";
constexpr const char* kNoPing = "-";
constexpr char kFieldSeparator = '\t';
// A probe's connect and echo are each bounded by the time-out; this covers the rest (start-up, lookups).
constexpr int kProbeRoundSlackMs = 2000;
constexpr int kProbeWaitSliceMs = 20;

std::string LastEchoed;

QString Fill(TTextId id, std::string_view value)
{
    return QString::fromStdString(FillText(id, {value}));
}

// One parser with the program's options; the texts come from the edition's table.
class TOptionParser
{
public:
    TOptionParser()
        : help_({"h", "help"}, UiText(TTextId::OptionHelp)), version_({"v", "version"}, UiText(TTextId::OptionVersion)),
          list_("list", UiText(TTextId::OptionList)), probe_("probe", UiText(TTextId::OptionProbe)),
          play_("play", UiText(TTextId::OptionPlay), UiText(TTextId::OptionServerName)),
          activate_("activate", UiText(TTextId::OptionActivate))
    {
        parser_.setApplicationDescription(UiText(TTextId::CommandLineDescription));
        parser_.addOptions({help_, version_, list_, probe_, play_, activate_});
        parser_.addPositionalArgument(kUpdateArgument, UiText(TTextId::OptionUpdate), QStringLiteral("[update]"));
    }

    TProgramOptions Parse(const QStringList& arguments, bool strict)
    {
        TProgramOptions command;
        const bool parsed = parser_.parse(arguments);
        if (parser_.isSet(help_)) {
            command.Action = TCommandAction::Help;
            return command;
        }
        if (parser_.isSet(version_)) {
            command.Action = TCommandAction::Version;
            return command;
        }
        if (!parsed && strict) {
            command.Action = TCommandAction::Invalid;
            const QStringList unknown = parser_.unknownOptionNames();
            command.Error = unknown.isEmpty() ? Fill(TTextId::InvalidCommandLine, parser_.errorText().toStdString())
                                              : Fill(TTextId::UnknownOption, OptionForm(unknown.first()).toStdString());
            return command;
        }
        const bool list = parser_.isSet(list_);
        const bool play = parser_.isSet(play_);
        command.Probe = parser_.isSet(probe_);
        command.Activate = parser_.isSet(activate_);
        if (list && (play || command.Activate)) {
            command.Action = TCommandAction::Invalid;
            command.Error = Fill(TTextId::OptionsClash, play ? "--list, --play" : "--list, --activate");
        } else if (command.Probe && !list) {
            command.Action = TCommandAction::Invalid;
            command.Error = Fill(TTextId::OnlyWithList, "--probe");
        } else if (list) {
            command.Action = TCommandAction::List;
        } else if (play) {
            command.Action = TCommandAction::Play;
            command.ServerName = parser_.value(play_);
        }
        return command;
    }

    QString Help() { return parser_.helpText(); }

private:
    static QString OptionForm(const QString& name)
    {
        return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    }

    QCommandLineParser parser_;
    QCommandLineOption help_;
    QCommandLineOption version_;
    QCommandLineOption list_;
    QCommandLineOption probe_;
    QCommandLineOption play_;
    QCommandLineOption activate_;
};

void Write(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// A control character of a name or address, raw in a terminal, could move its cursor, change its state or
// break the line's columns. Each one (C0, DEL, C1) is printed as "\x" and its two hex digits, and a
// backslash as "\\", so what is printed reads back as exactly one text.
std::string Field(std::string_view bytes)
{
    constexpr char kEscape = '\\';
    constexpr std::string_view kHexDigits = "0123456789ABCDEF";
    constexpr unsigned char kLastC0 = 0x1F, kDelete = 0x7F, kC1Lead = 0xC2, kFirstC1 = 0x80, kLastC1 = 0x9F;
    constexpr unsigned kNibbleBits = 4, kNibbleMask = 0xF;
    const std::string text = DisplayText(bytes);
    std::string out;
    out.reserve(text.size());
    auto escape = [&](unsigned char code) {
        out += kEscape;
        out += 'x';
        out += kHexDigits[code >> kNibbleBits];
        out += kHexDigits[code & kNibbleMask];
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == kEscape) {
            out += {kEscape, kEscape};
        } else if (c <= kLastC0 || c == kDelete) {
            escape(c);
        } else if (c == kC1Lead && next >= kFirstC1 && next <= kLastC1) {
            // Text shown is UTF-8, where U+0080..U+009F are these two bytes; the code point is the second.
            escape(next);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

const char* StateWord(std::uint8_t status)
{
    switch (status) {
    case ssOnline:
        return kStateOnline;
    case ssOffline:
        return kStateOffline;
    default:
        return kStateChecking;
    }
}

// One probe of every server, waited for as long as the time-out allows.
void RunProbeRound(const TSettings& settings)
{
    TProbeService probes([&settings] { return settings.Values().Timeout; });
    probes.ProbeAllServers();
    QTimer tick;
    tick.start(kProbeWaitSliceMs);
    QElapsedTimer waited;
    waited.start();
    const qint64 bound = 2LL * std::clamp(settings.Values().Timeout, kMinTimeout, kMaxTimeout) + kProbeRoundSlackMs;
    while (probes.RunningCount() > 0 && waited.elapsed() < bound)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

int ListServers(bool probe, TSettings& settings, std::FILE* out, std::FILE* err)
{
    if (!LoadServers()) {
        Write(err, Fill(TTextId::ListUnreadable, IniPath) + QLatin1Char('\n'));
        return kExitFailed;
    }
    TWindowSettings window;
    (void)settings.Read(IniPath, window);
    if (probe)
        RunProbeRound(settings);
    for (const TServer& server : Servers) {
        if (server.Deleted)
            continue;
        const std::string line = ServerLine(server, probe) + '\n';
        std::fwrite(line.data(), 1, line.size(), out);
    }
    std::fflush(out);
    return kExitOk;
}

} // namespace

TProgramOptions ParseCommandLine(const QStringList& arguments, bool strict)
{
    return TOptionParser().Parse(arguments, strict);
}

TProgramOptions ParseCommandLine(int argc, char** argv, bool strict)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return ParseCommandLine(arguments, strict);
}

QString CommandLineHelp(const QString& programName)
{
    QString help = TOptionParser().Help();
    // The parser's own first line names the program by the path it was started with, in English.
    const qsizetype usageEnd = help.indexOf(QLatin1Char('\n'));
    help.replace(0, usageEnd < 0 ? 0 : usageEnd, Fill(TTextId::Usage, programName.toStdString()));
    return help;
}

QString VersionText()
{
    return QStringLiteral("%1 %2\n").arg(QString::fromUtf8(kApplicationTitle), QStringLiteral(KORVAN_VERSION_TEXT));
}

std::string ServerLine(const TServer& server, bool withState)
{
    std::string line = Field(server.Name) + kFieldSeparator + Field(server.Address);
    if (withState) {
        line += kFieldSeparator;
        line += StateWord(server.Status);
        line += kFieldSeparator;
        line += server.Status == ssOnline && server.Ping > 0 ? std::to_string(server.Ping) : std::string(kNoPing);
    }
    return line;
}

int RunConsoleAction(const TProgramOptions& command, TSettings& settings, const QString& program, std::FILE* out,
                     std::FILE* err)
{
    switch (command.Action) {
    case TCommandAction::Help:
        Write(out, CommandLineHelp(program));
        return kExitOk;
    case TCommandAction::Version:
        Write(out, VersionText());
        return kExitOk;
    case TCommandAction::List:
        return ListServers(command.Probe, settings, out, err);
    case TCommandAction::Invalid:
        Write(err,
              command.Error + QLatin1Char('\n') + Fill(TTextId::SeeHelp, program.toStdString()) + QLatin1Char('\n'));
        return kExitUsage;
    case TCommandAction::Start:
    case TCommandAction::Play:
        break;
    }
    return kExitUsage;
}

int FindServerByShownName(const std::string& name)
{
    if (int index = FindServer(name); index >= 0)
        return index;
    // A name the Windows edition stored in its code page is typed as the window shows it.
    for (std::size_t i = 0; i < Servers.size(); ++i)
        if (!Servers[i].Deleted && EqualNames(DisplayText(Servers[i].Name), name))
            return static_cast<int>(i);
    return -1;
}

void EchoMessagesTo(std::FILE* err)
{
    SetMessageEcho([err](const TMessageRequest& request) {
        LastEchoed = FromQString(request.text);
        Write(err, request.text + QLatin1Char('\n'));
    });
}

namespace {

// What a play ends with: the game started (the window closed without a word, or only the second program
// failed) or not; a failure that told nothing is told here.
int PlayOutcome(const std::function<void(const QString&)>& tell)
{
    // A launch that went through ends by closing the window without a word; a close with a message up
    // came from outside (logout, Ctrl+C) while a failure was being shown.
    if (AppClosing && LastEchoed.empty())
        return kExitOk;
    // The game runs; only its companion program did not start, which the message told.
    if (LastEchoed == Msg(TTextId::ProgramNotStarted))
        return kExitOk;
    if (LastEchoed.empty())
        tell(QString::fromStdString(Msg(TTextId::GameNotStarted)));
    return kExitFailed;
}

} // namespace

int PlayHandedOver(TMainForm& form, const QString& name, QStringList& told)
{
    SetMessageEcho([&told](const TMessageRequest& request) {
        LastEchoed = FromQString(request.text);
        told << request.text;
    });
    LastEchoed.clear();
    const int index = FindServerByShownName(name.toStdString());
    int status = kExitFailed;
    if (index < 0) {
        ShowError(&form, FillText(TTextId::ServerNotListed, {name.toStdString()}));
    } else {
        form.SelectIndex(index);
        form.BtnPlayClick();
        status = PlayOutcome([&told](const QString& text) { told << text; });
    }
    SetMessageEcho({});
    return status;
}

int PlayServer(TMainForm& form, const QString& name, std::FILE* err)
{
    const int index = FindServerByShownName(name.toStdString());
    if (index < 0) {
        ShowError(nullptr, FillText(TTextId::ServerNotListed, {name.toStdString()}));
        return kExitFailed;
    }
    LastEchoed.clear();
    form.SelectIndex(index);
    form.BtnPlayClick();
    return PlayOutcome([err](const QString& text) { Write(err, text + QLatin1Char('\n')); });
}
