// The main window's game commands: launch and folder clearing.
#include "ui/mainfm.h"

#include "core/localization_u.h"
#include "core/servers_u.h"
#include "game/folders_u.h"
#include "game/procinfo.h"
#include "game/realmlist_u.h"
#include "ui/ImgBtn.h"
#include "ui/msgbox_u.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

namespace {

constexpr int kMsgWoWPathNotSet = 1013;
constexpr int kMsgWoWPathInvalid = 1015;
constexpr int kMsgPreloaderInvalid = 1016;
constexpr int kMsgRealmlistFailed = 1017;
constexpr int kMsgGameNotStarted = 1018;
constexpr int kMsgProgramNotStarted = 1041;

constexpr QRect kPlayRect{89, 239, 86, 27};

} // namespace

// While a folder is being emptied the window only repaints; a close request from the window manager waits
// until the clearing is done, as keys and clicks do, and is then carried out.
class TBusyCloseGuard : public QObject
{
public:
    TBusyCloseGuard(QWidget* window, const bool& busy) : QObject(window), window_(window), busy_(busy) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (busy_ && event->type() == QEvent::Close) {
            closeWaiting_ = true;
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

    // After the command that cleared the folder has finished, not in the middle of it.
    void BusyEnded()
    {
        if (!closeWaiting_)
            return;
        closeWaiting_ = false;
        QTimer::singleShot(0, window_, [window = window_] { window->close(); });
    }

private:
    QWidget* window_;
    const bool& busy_;
    bool closeWaiting_ = false;
};

void TMainForm::SetupGameControls()
{
    // Its pictures are the edition's; the window's texts bring them.
    BtnPlay = MakeImageButton("BtnPlay", kPlayRect, &TMainForm::BtnPlayClick);
    closeGuard_ = new TBusyCloseGuard(this, gameBusy_);
    installEventFilter(closeGuard_);
}

void TMainForm::BtnPlayClick()
{
    int index = SelectedIndex();
    if (index < 0 || index >= static_cast<int>(Servers.size()) || gameBusy_)
        return;
    // A copy: the dialogs opened on failure may change the array.
    const TServer server = Servers[static_cast<std::size_t>(index)];
    const TMainSettings& settings = settings_.Values();
    TLaunchPlan plan = PlanLaunch(server, settings.WoWPath);
    switch (plan.check) {
    case TLaunchCheck::WoWPathEmpty:
        ShowWarning(this, Msg(kMsgWoWPathNotSet));
        ItemSettingsClick();
        return;
    case TLaunchCheck::WoWPathMissing:
        ShowError(this, Msg(kMsgWoWPathInvalid));
        ItemSettingsClick();
        return;
    case TLaunchCheck::PreloaderMissing:
        ShowError(this, Msg(kMsgPreloaderInvalid));
        BtnEditClick();
        return;
    case TLaunchCheck::AltPathMissing:
        ShowError(this, Msg(kMsgWoWPathInvalid));
        BtnEditClick();
        return;
    case TLaunchCheck::Ok:
        break;
    }

    if (!WriteRealmlist(RealmlistFolder(plan.gamePath), server)) {
        ShowError(this, Msg(kMsgRealmlistFailed));
        return;
    }
    if (server.AutoCacheClear) {
        SilentCacheClear = true;
        ItemClearWDBClick();
    }

    hide();
    const std::string wine = WineCommandOrDefault(settings.WineCommand);
    // The game, or its preloader, starts in the game's folder, as a shortcut to the game would start it.
    if (!RunProgram(plan.runPath, wine, GameFolderOf(server, settings.WoWPath))) {
        show();
        ShowError(this, Msg(kMsgGameNotStarted));
        return;
    }
    // The setting may carry arguments; only the program's own file name tells whether it already runs.
    const std::string& second = settings.ProgramToRunOnWoWLaunch;
    if (!second.empty() && !(settings.OneInstanceOnly &&
                             IsProcessRunning(FileNameOf(ResolveCommandLine(second, NamesProgramFile).program)))) {
        if (!RunCommandLine(second, wine)) {
            show();
            ShowError(this, Msg(kMsgProgramNotStarted));
            return;
        }
    }
    close();
}

void TMainForm::ItemClearWDBClick()
{
    ClearGameFolder(WDBTarget(), SilentCacheClear);
    SilentCacheClear = false;
}

void TMainForm::ItemClearWTFClick()
{
    ClearGameFolder(WTFTarget(), false);
}

void TMainForm::ItemClearScreenshotsClick()
{
    ClearGameFolder(ScreenshotsTarget(), false);
}

void TMainForm::ClearGameFolder(const TClearTarget& target, bool silent)
{
    int index = SelectedIndex();
    if (index < 0 || index >= static_cast<int>(Servers.size()) || gameBusy_)
        return;
    if (!silent && !AskYesNo(this, Msg(target.questionId), target.noIsDefault))
        return;
    auto folder =
        FindTargetFolder(GameFolderOf(Servers[static_cast<std::size_t>(index)], settings_.Values().WoWPath), target);
    if (!folder) {
        if (!silent)
            ShowError(this, Msg(kMsgFolderNotFound));
        return;
    }
    bool cleared = Vyprazdnit(*folder + kAllFilesPattern);
    if (silent)
        return;
    if (cleared)
        ShowInformation(this, Msg(kMsgFolderCleared));
    else
        ShowError(this, Msg(kMsgClearFailed));
}

bool TMainForm::Vyprazdnit(const std::string& mask)
{
    gameBusy_ = true;
    // Repaints only: a key or click meant for the list waits until the folder is empty.
    bool cleared = EmptyFolder(mask, [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    gameBusy_ = false;
    closeGuard_->BusyEnded();
    return cleared;
}
