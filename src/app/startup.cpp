#include "app/startup.h"

#include "app/cmdline.h"
#include "app/instancechannel.h"
#include "app/updatestart.h"
#include "core/globaltypes_u.h"
#include "core/ini.h"
#include "core/inipath.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "news/newsservice.h"
#include "platform/erroroutput.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/termination.h"
#include "ui/mainfm.h"
#include "ui/msgbox.h"
#include "update/updatelist.h"

#include <QApplication>
#include <QByteArray>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QProxyStyle>
#include <QSocketNotifier>
#include <QTimer>
#include <QTranslator>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

constexpr int kToolTipDelayMs = 200;
constexpr int kExitNoDisplay = 1;
constexpr int kShutdownWaitSliceMs = 20;
constexpr const char* kIconResource = ":/artwork/korvan.svg";
// A copy that holds the lock but cannot be reached is ending; it is asked again a few times before the new
// start takes the lock itself or gives up.
constexpr int kHandOverAttempts = 20;
constexpr std::chrono::milliseconds kHandOverPause{100};
// What the desktop gives a start to pass the focus on with: Wayland's token and the X11 startup id.
constexpr const char* kActivationTokenVariable = "XDG_ACTIVATION_TOKEN";
constexpr const char* kStartupIdVariable = "DESKTOP_STARTUP_ID";

// Errors escaping an event handler are dropped: no dialog, no log, and the program goes on.
class TApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            return false;
        }
    }
};

class TToolTipStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay)
            return kToolTipDelayMs;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

void ReportNoDisplay()
{
    std::fprintf(stderr, "%s\n", LoadText(TTextId::NoDisplay).c_str());
}

// A display that is named but does not answer is fatal inside the toolkit, which then aborts. While the
// application object connects, that end is turned into our own message and exit status. What the toolkit
// and the libraries under it (a display protocol's own client library writes to standard error directly)
// say meanwhile is held back: dropped when we explain the failure ourselves, passed on once the
// application stands.
platform::TErrorOutputHold* connectingOutput = nullptr;

void ConnectingMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtFatalMsg) {
        if (connectingOutput)
            connectingOutput->Drop();
        ReportNoDisplay();
        std::_Exit(kExitNoDisplay);
    }
    std::fprintf(stderr, "%s\n", qUtf8Printable(text));
}

class TDisplayConnection
{
public:
    TDisplayConnection() : previous_(qInstallMessageHandler(ConnectingMessageHandler)) { connectingOutput = &held_; }
    ~TDisplayConnection() { Done(); }

    void Done()
    {
        if (done_)
            return;
        done_ = true;
        qInstallMessageHandler(previous_);
        connectingOutput = nullptr;
        held_.Pass();
    }

private:
    platform::TErrorOutputHold held_;
    QtMessageHandler previous_;
    bool done_ = false;
};

std::string EnvironmentText(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// With a copy running, the request goes to it and its answer is the exit status; nothing when this start
// holds the lock now and goes on by itself.
std::optional<int> HandOverIfRunning(platform::InstanceLock& lock, const TInstanceRequest& request)
{
    for (int attempt = 0; attempt < kHandOverAttempts; ++attempt) {
        if (lock.Held() || lock.Acquire(kSingleInstanceName) != platform::InstanceLock::Result::HeldElsewhere)
            return std::nullopt;
        const THandOverOutcome outcome = HandOverToRunningCopy(request, stderr);
        if (outcome.Status || outcome.Silent)
            return outcome.Status;
        std::this_thread::sleep_for(kHandOverPause);
    }
    return std::nullopt;
}

// A later start's request, carried out by the running window as its own commands would be.
void AnswerRequest(TMainForm& form, TInstanceChannel& channel, std::uint64_t peer, const TInstanceRequest& request)
{
    // The toolkit passes the focus on with what it finds here when the window asks for it: Wayland's
    // compositor wants the new start's token, an X11 window manager looks at the request itself.
    if (!request.ActivationToken.empty())
        qputenv(kActivationTokenVariable, QByteArray::fromStdString(request.ActivationToken));
    if (!request.StartupId.empty())
        qputenv(kStartupIdVariable, QByteArray::fromStdString(request.StartupId));
    if (request.Kind == TInstanceRequest::TKind::Activate) {
        form.TrayIconClick();
        channel.Reply(peer, {TInstanceReply::TKind::Done, kExitOk, {}});
        return;
    }
    channel.Reply(peer, {TInstanceReply::TKind::Accepted, kExitOk, {}});
    QStringList told;
    TInstanceReply done{
        TInstanceReply::TKind::Done, PlayHandedOver(form, QString::fromStdString(request.ServerName), told), {}};
    for (const QString& text : told)
        done.Messages.push_back(text.toStdString());
    channel.Reply(peer, done);
}

} // namespace

bool IsUpdateParameter(const std::string& parameter)
{
    return UpperAscii(parameter) == "UPDATE";
}

bool EnsureSingleInstance(platform::InstanceLock& lock)
{
    if (lock.Held())
        return true;
    // A lock the system cannot make at all does not keep the program from starting.
    if (lock.Acquire(kSingleInstanceName) != platform::InstanceLock::Result::HeldElsewhere)
        return true;
    ShowInformation(nullptr, Msg(TTextId::OneInstanceOnly));
    return false;
}

int RunKorvan(int argc, char** argv, std::string_view updatePublicKey)
{
    // Unit initialisation, before any window: the texts first (the options are described with them),
    // then where tavix.ini lives.
    InitLocalization();
    TProgramOptions command = ParseCommandLine(argc, argv, false);
    // Read before the toolkit starts, which takes them out of the environment.
    TInstanceRequest handOver;
    handOver.ActivationToken = EnvironmentText(kActivationTokenVariable);
    handOver.StartupId = EnvironmentText(kStartupIdVariable);
    // Help, version and the list need no window, so they work without a display too; they only read.
    const bool console = command.Action != TCommandAction::Start && command.Action != TCommandAction::Play;
    const bool iniFolderReady = InitIniPath(!console);
    // An installed copy is updated by the package manager: it replaces no files of its own.
    SetSelfUpdateEnabled(UpdatesAllowed());
    SetUpdatePublicKey(std::string(updatePublicKey));
    const QString program = argc > 0 ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName() : QString();
    // Section Main of tavix.ini, for everything that reads or changes a setting from here on.
    TSettings settings;
    if (console) {
        QCoreApplication app(argc, argv);
        return RunConsoleAction(ParseCommandLine(argc, argv, true), settings, program, stdout, stderr);
    }
    if (!platform::HasDisplay()) {
        ReportNoDisplay();
        return kExitNoDisplay;
    }
    TDisplayConnection connecting;
    TApplication app(argc, argv);
    connecting.Done();
    // The artwork lives in a static library, whose resources the linker would otherwise leave out.
    Q_INIT_RESOURCE(korvan);

    // The buttons of message boxes speak the edition's language, as they did by the interface language id.
    QTranslator buttons;
    if (InterfaceLanguage == kLangCzech &&
        buttons.load(QStringLiteral("qtbase_cs"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&buttons);

    // Now that the application has taken its own options out, anything else unknown is a mistake.
    command = ParseCommandLine(QCoreApplication::arguments(), true);
    if (command.Action == TCommandAction::Invalid)
        return RunConsoleAction(command, settings, program, stdout, stderr);
    const bool play = command.Action == TCommandAction::Play;
    if (play)
        EchoMessagesTo(stderr);

    auto lock = std::make_unique<platform::InstanceLock>();
    // Completing a pending update comes first: it waits for the old copy and takes the lock from it.
    if (argc > 1 && IsUpdateParameter(argv[1]))
        CompleteUpdate(*lock);
    // A start that asks for the window or a game hands that to a copy that runs already, which owns
    // tavix.ini and writes it at its end; a plain second start only says that one runs.
    if (play || command.Activate) {
        handOver.Kind = play ? TInstanceRequest::TKind::Play : TInstanceRequest::TKind::Activate;
        handOver.ServerName = command.ServerName.toStdString();
        if (std::optional<int> status = HandOverIfRunning(*lock, handOver))
            return *status;
    }
    if (!EnsureSingleInstance(*lock))
        return play ? kExitFailed : 0;
    // What saves killed part-way left behind: an in-place rewrite is completed from its journal, passing
    // files go. A file that a running copy still writes is left to it.
    platform::FinishInterruptedSave(IniPath);
    platform::RemoveAbandonedSaveFiles(LockPath());
    if (!iniFolderReady) {
        ShowError(nullptr, FillText(TTextId::ConfigFolderFailed, {platform::FolderOf(IniPath)}));
    }

    // Only the name: a display name would be appended to every window title by the toolkit.
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
    QApplication::setWindowIcon(QIcon(kIconResource));
    // Ties the window to the installed desktop entry, whose icon the desktop then shows for it.
    QGuiApplication::setDesktopFileName(QStringLiteral("korvan"));
    QApplication::setStyle(new TToolTipStyle);
    QApplication::setQuitOnLastWindowClosed(true);

    // Outlives the window: probes under way at its close still hand their results in.
    TProbeService probes([&settings] { return settings.Values().Timeout; });
    // The window holds on to the news service: the service comes first and goes after it.
    auto news = std::make_unique<TNewsService>();
    auto form = std::make_unique<TMainForm>(settings, probes, *news);
    // Logout, shutdown or Ctrl+C close the window as its close button does, so nothing is lost.
    std::unique_ptr<QSocketNotifier> termination;
    if (int fd = platform::WatchTerminationRequests(); fd >= 0) {
        termination = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(termination.get(), &QSocketNotifier::activated, form.get(), [fd, &form] {
            platform::AcknowledgeTerminationRequest(fd);
            form->close();
            // Also ends the loop of a dialog that may be open, which would otherwise keep the program up.
            QCoreApplication::exit(0);
        });
    }
    // The program ends with its main window, also when the window was hidden before it closed (a game
    // launch hides it first), which the toolkit's own rule for the last window does not count.
    QObject::connect(form.get(), &TMainForm::Closed, [] { QCoreApplication::exit(0); });
    int status = 0;
    if (play) {
        status = PlayServer(*form, command.ServerName, stderr);
    } else {
        // Later starts reach the window through the lock's channel.
        std::unique_ptr<TInstanceChannel> channel;
        if (lock->Channel() >= 0) {
            channel = std::make_unique<TInstanceChannel>(lock->Channel());
            TInstanceChannel* answering = channel.get();
            QObject::connect(answering, &TInstanceChannel::requestReceived, form.get(),
                             [&form, answering](std::uint64_t peer, const TInstanceRequest& request) {
                                 AnswerRequest(*form, *answering, peer, request);
                             });
        }
        form->show();
        QApplication::exec();
    }
    // Probes that have not started are of no use any more; only those under way are waited for below.
    probes.DropWaitingProbes();

    form->hide();
    // Destroying the window writes settings and servers; only then may another copy start and read them.
    form.reset();
    // Fetches still running are abandoned; a parse under way stops within a few tokens.
    news.reset();
    lock->Release();
    // A probe hands its last results to the main thread, so the loop keeps turning until each is done.
    QTimer tick;
    tick.start(kShutdownWaitSliceMs);
    while (probes.RunningCount() > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return status;
}
