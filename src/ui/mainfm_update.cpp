// The main window's side of the program update: the schedule, the background check and the update window.
#include "ui/mainfm.h"

#include "core/inipath_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings_u.h"
#include "platform/process.h"
#include "ui/mainframe.h"
#include "ui/msgbox_u.h"
#include "ui/updatefm.h"
#include "update/schedule_u.h"
#include "update/updatecheck_u.h"

#include <QAction>
#include <QTimer>

namespace {

// A build made without the publisher's key could not tell a true update from a forged one.
constexpr int kTextUpdatesWithoutKey = 7351;

} // namespace

void TMainForm::CheckUpdateSchedule()
{
    const TMainSettings& settings = settings_.Values();
    if (settings.CheckUpdates == cuNever || UpdateChecked || !SelfUpdateEnabled())
        return;
    UpdateChecked = true;
    if (ScheduledCheckDue(settings.CheckUpdates, DatePartsOf(settings.LastRun), DatePartsOf(NowAsDateTime())))
        BackgroundCheckUpdate();
}

void TMainForm::SetItemUpdateEnabled(bool enabled)
{
    // A copy that does not update itself keeps the item, which then tells where its updates come from.
    if (QAction* item = frame_->Item("ItemUpdate"))
        item->setEnabled(enabled);
}

void TMainForm::BackgroundCheckUpdate()
{
    // One check at a time: the user's own, in the update window, is one too.
    if (updateCheckRunning_ || updateForm_ || !SelfUpdateEnabled())
        return;
    updateCheckRunning_ = true;
    SetItemUpdateEnabled(false);
    LoadUpdateList(CurrentUpdateListUrl(), UpdatePublicKey(), this, [this](TListResult result) {
        updateCheckRunning_ = false;
        SetItemUpdateEnabled(true);
        BGUpdateThreadTerminate(result.Info && IsNewerVersion(result.Info->Version));
    });
}

void TMainForm::BGUpdateThreadTerminate(bool updateAvailable)
{
    if (updateAvailable && !AppClosing)
        OpenUpdateWindow(true);
}

void TMainForm::ItemUpdateClick()
{
    switch (UpdateOffer()) {
    case TUpdateOffer::ByPackageManager:
        ShowInformation(this, LoadText(kTextUpdatesByPackageManager));
        return;
    case TUpdateOffer::NoKey:
        ShowInformation(this, LoadText(kTextUpdatesWithoutKey));
        return;
    case TUpdateOffer::Offered:
        break;
    }
    OpenUpdateWindow(false);
}

void TMainForm::OpenUpdateWindow(bool fromBackground)
{
    if (updateCheckRunning_ || updateForm_ || !SelfUpdateEnabled())
        return;
    UpdateFromBackground = fromBackground;

    TUpdateHost host;
    host.StopRefresh = [this] {
        // A probe that ends re-arms the timer; with its signal blocked no tick starts another.
        RefreshTimer->stop();
        RefreshTimer->blockSignals(true);
    };
    host.ResumeRefresh = [this] {
        RefreshTimer->blockSignals(false);
        if (!RefreshTimer->isActive())
            RefreshTimer->start();
    };
    host.SaveData = [this] { return SaveSettings() && SaveServers(); };
    host.StartProgram = [](const std::vector<std::string>& argv) { return platform::StartProgram(argv); };

    updateForm_ = new TUpdateForm(this, std::move(host));
    LocalizeUpdateForm(*updateForm_);
    updateForm_->StartOnShow = true;
    updateForm_->setWindowModality(Qt::ApplicationModal);
    connect(updateForm_, &QDialog::finished, this, [this] {
        updateForm_->deleteLater();
        updateForm_ = nullptr;
        // Settings and servers were saved by the hand-over; closing writes nothing more.
        if (HaltAfterUpdate)
            close();
    });
    updateForm_->show();
}
