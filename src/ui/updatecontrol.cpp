#include "ui/updatecontrol.h"

#include "core/globaltypes_u.h"
#include "core/inipath.h"
#include "core/localization_u.h"
#include "core/settings.h"
#include "platform/process.h"
#include "ui/msgbox.h"
#include "update/backgroundcheck.h"
#include "update/schedule.h"
#include "update/updatelist.h"

#include <QAction>
#include <QWidget>

namespace {

// A build made without the publisher's key could not tell a true update from a forged one.

} // namespace

TUpdateControl::TUpdateControl(QWidget* window, const TSettings& settings, QAction* item, TProbeService* probes,
                               std::function<bool()> saveData)
    : QObject(window), window_(window), settings_(settings), item_(item), probes_(probes),
      saveData_(std::move(saveData)), check_(new TBackgroundUpdateCheck(this))
{
    connect(check_, &TBackgroundUpdateCheck::updateChecked, this, &TUpdateControl::BackgroundCheckDone);
}

void TUpdateControl::CheckUpdateSchedule()
{
    const TMainSettings& settings = settings_.Values();
    if (settings.CheckUpdates == cuNever || scheduleLooked_ || !SelfUpdateEnabled())
        return;
    scheduleLooked_ = true;
    if (ScheduledCheckDue(settings.CheckUpdates, DatePartsOf(settings.LastRun), DatePartsOf(NowAsDateTime())))
        BackgroundCheckUpdate();
}

void TUpdateControl::SetItemUpdateEnabled(bool enabled)
{
    // A copy that does not update itself keeps the item, which then tells where its updates come from.
    if (item_)
        item_->setEnabled(enabled);
}

void TUpdateControl::BackgroundCheckUpdate()
{
    // One check at a time: the user's own, in the update window, is one too.
    if (updateForm_ || !check_->Start())
        return;
    SetItemUpdateEnabled(false);
}

void TUpdateControl::BackgroundCheckDone(bool updateAvailable)
{
    SetItemUpdateEnabled(true);
    if (updateAvailable && !AppClosing)
        OpenUpdateWindow(TUpdateStart::ByBackgroundCheck);
}

void TUpdateControl::ItemUpdateClick()
{
    switch (UpdateOffer()) {
    case TUpdateOffer::ByPackageManager:
        ShowInformation(window_, LoadText(TTextId::UpdatesByPackageManager));
        return;
    case TUpdateOffer::NoKey:
        ShowInformation(window_, LoadText(TTextId::UpdatesWithoutKey));
        return;
    case TUpdateOffer::Offered:
        break;
    }
    OpenUpdateWindow(TUpdateStart::ByUser);
}

void TUpdateControl::OpenUpdateWindow(TUpdateStart start)
{
    if (check_->Running() || updateForm_ || !SelfUpdateEnabled())
        return;

    TUpdateHost host;
    host.StopRefresh = [this] { emit downloadStarted(); };
    host.ResumeRefresh = [this] { emit updateAbandoned(); };
    host.Probes = probes_;
    host.SaveData = [this] { return saveData_ && saveData_(); };
    host.StartProgram = [](const std::vector<std::string>& argv) { return platform::StartProgram(argv); };

    updateForm_ = new TUpdateForm(window_, std::move(host), start);
    LocalizeUpdateForm(*updateForm_);
    updateForm_->StartOnShow = true;
    updateForm_->setWindowModality(Qt::ApplicationModal);
    connect(updateForm_, &QDialog::finished, this, [this](int result) {
        updateForm_->deleteLater();
        updateForm_ = nullptr;
        // Settings and servers were saved by the hand-over; closing writes nothing more.
        if (result == QDialog::Accepted) {
            handedOver_ = true;
            emit handedOver();
        }
    });
    updateForm_->show();
}
