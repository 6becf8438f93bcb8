#include "ui/gamelaunch.h"

#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "game/folders.h"
#include "game/realmlist.h"
#include "game/winesetup.h"
#include "ui/msgbox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

std::string WineCheckMessage(const TWinePlan& plan)
{
    switch (plan.check) {
    case TWineCheck::WineMissing:
        return FillText(TTextId::WineProgramMissing, {plan.detail});
    case TWineCheck::PrefixNotAbsolute:
        return FillText(TTextId::WinePrefixNotAbsolute, {plan.detail});
    case TWineCheck::PrefixNotAPrefix:
        return FillText(TTextId::WinePrefixNotAPrefix, {plan.detail});
    case TWineCheck::EnvironmentMalformed:
        return FillText(TTextId::WineEnvironmentMalformed, {plan.detail});
    case TWineCheck::Ok:
        break;
    }
    return {};
}

} // namespace

TGameLaunch::TGameLaunch(QWidget* window, const TSettings& settings, TProgramStarter start)
    : QObject(window), window_(window), settings_(settings), start_(std::move(start))
{
}

void TGameLaunch::Play(std::uint64_t serverId)
{
    const TServer* entry = LiveServerById(serverId);
    if (!entry || busy_)
        return;
    // A copy: the dialogs opened on failure may change the array.
    const TServer server = *entry;
    const TMainSettings& settings = settings_.Values();
    TLaunchPlan plan = PlanLaunch(server, settings.WoWPath);
    switch (plan.check) {
    case TLaunchCheck::WoWPathEmpty:
        ShowWarning(window_, Msg(TTextId::GamePathNotSet));
        emit gamePathRefused();
        return;
    case TLaunchCheck::WoWPathMissing:
        ShowError(window_, Msg(TTextId::GamePathInvalid));
        emit gamePathRefused();
        return;
    case TLaunchCheck::PreloaderMissing:
        ShowError(window_, Msg(TTextId::PreloaderPathInvalid));
        emit serverPathRefused();
        return;
    case TLaunchCheck::AltPathMissing:
        ShowError(window_, Msg(TTextId::GamePathInvalid));
        emit serverPathRefused();
        return;
    case TLaunchCheck::Ok:
        break;
    }
    const TWinePlan wine = PlanWine(server, settings.WineCommand, plan.gamePath, IsWindowsProgram(plan.runPath));
    if (wine.check != TWineCheck::Ok) {
        ShowError(window_, WineCheckMessage(wine));
        emit wineSetupRefused(serverId);
        return;
    }

    if (!WriteRealmlist(RealmlistFolder(plan.gamePath), server)) {
        ShowError(window_, Msg(TTextId::RealmlistFailed));
        return;
    }
    if (server.AutoCacheClear)
        ClearGameFolder(serverId, WDBTarget(), true);

    emit launchBegan();
    // The game, or its preloader, starts in the game's folder, as a shortcut to the game would start it.
    if (!RunProgram(plan.runPath, wine.wineCommand, GameFolderOf(server, settings.WoWPath), start_,
                    {.arguments = wine.gameArguments, .environment = wine.environment})) {
        emit launchFailed();
        ShowError(window_, Msg(TTextId::GameNotStarted));
        return;
    }
    // The setting may carry arguments; only the program's own file name tells whether it already runs.
    const std::string& second = settings.ProgramToRunOnWoWLaunch;
    if (!second.empty() && !(settings.OneInstanceOnly &&
                             IsProcessRunning(FileNameOf(ResolveCommandLine(second, NamesProgramFile).program)))) {
        // It runs beside the game in the same Wine set-up, so a Windows helper sees the game's prefix.
        if (!RunCommandLine(second, wine.wineCommand, start_, wine.environment)) {
            emit launchFailed();
            ShowError(window_, Msg(TTextId::ProgramNotStarted));
            return;
        }
    }
    emit gameStarted();
}

void TGameLaunch::ClearWDB(std::uint64_t serverId)
{
    ClearGameFolder(serverId, WDBTarget(), false);
}

void TGameLaunch::ClearWTF(std::uint64_t serverId)
{
    ClearGameFolder(serverId, WTFTarget(), false);
}

void TGameLaunch::ClearScreenshots(std::uint64_t serverId)
{
    ClearGameFolder(serverId, ScreenshotsTarget(), false);
}

void TGameLaunch::ClearGameFolder(std::uint64_t serverId, const TClearTarget& target, bool silent)
{
    if (!LiveServerById(serverId) || busy_)
        return;
    if (!silent && !AskYesNo(window_, Msg(target.question), target.noIsDefault))
        return;
    // Looked up again: the question's own event loop may have changed the array.
    const TServer* server = LiveServerById(serverId);
    if (!server)
        return;
    auto folder = FindTargetFolder(GameFolderOf(*server, settings_.Values().WoWPath), target);
    if (!folder) {
        if (!silent)
            ShowError(window_, Msg(TTextId::FolderNotFound));
        return;
    }
    bool cleared = Vyprazdnit(*folder + kAllFilesPattern);
    if (silent)
        return;
    if (cleared)
        ShowInformation(window_, Msg(TTextId::FolderCleared));
    else
        ShowError(window_, Msg(TTextId::ClearFailed));
}

bool TGameLaunch::Vyprazdnit(const std::string& mask)
{
    busy_ = true;
    emit busyChanged(true);
    // Repaints only: a key or click meant for the list waits until the folder is empty.
    bool cleared = EmptyFolder(mask, [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    busy_ = false;
    emit busyChanged(false);
    return cleared;
}

TBusyCloseGuard::TBusyCloseGuard(QWidget* window) : QObject(window), window_(window)
{
    window->installEventFilter(this);
}

bool TBusyCloseGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (busy_ && event->type() == QEvent::Close) {
        closeWaiting_ = true;
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TBusyCloseGuard::SetBusy(bool busy)
{
    busy_ = busy;
    if (busy || !closeWaiting_)
        return;
    closeWaiting_ = false;
    QTimer::singleShot(0, window_, [window = window_] { window->close(); });
}
