#include "ui/localizedialogs_u.h"

#include "core/localization_u.h"
#include "ui/aboutfm.h"
#include "ui/addfm.h"
#include "ui/msgbox_u.h"
#include "ui/settingsfm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

namespace {

QString Text(int id)
{
    return ToQString(LoadText(id, kTextBufferLength));
}

constexpr int kAddCaption = 3000;
constexpr int kEditCaption = 3001;
constexpr int kAddButton = 3009;
constexpr int kSaveButton = 3010;
constexpr int kGetVersionButton = 3012;
constexpr int kFirstCheckUpdatesText = 4013;

} // namespace

void LocalizeAddForm(TAddForm& f, bool editMode)
{
    f.setWindowTitle(Text(editMode ? kEditCaption : kAddCaption));
    f.LabServerName->setText(Text(3002));
    f.LabServerAddress->setText(Text(3003));
    f.LabServerInfo->setText(Text(3004));
    f.ChPreloader->setText(Text(3005));
    f.BtnSetPreloader->setText(Text(3006));
    f.ChAltPath->setText(Text(3007));
    f.BtnSetAltPath->setText(Text(3008));
    f.BtnAdd->setText(Text(editMode ? kSaveButton : kAddButton));
    f.BtnCancel->setText(Text(3011));
    f.BtnGetVer->setText(Text(kGetVersionButton));
    f.LabServerType->setText(Text(3013));
    f.LabServerSite->setText(Text(3014));
    f.BtnVisit->setText(Text(3015));
    f.ChOwnPatchlist->setText(Text(3016));
    f.PageControl->setTabText(f.PageControl->indexOf(f.TabSheet1), Text(3017));
    f.PageControl->setTabText(f.PageControl->indexOf(f.TabSheet2), Text(3018));
    f.ChAutoCacheClear->setText(Text(3019));
    f.GBServerSettings->setTitle(Text(3020));
    f.GBServerInfo->setTitle(Text(3021));
    f.LabRSSChannel->setText(Text(3022));
}

void LocalizeSettingsForm(TSettingsForm& f)
{
    f.setWindowTitle(Text(4000));
    f.LabWoWPath->setText(Text(4001));
    f.BtnWoWPath->setText(Text(4002));
    f.LabNote->setText(Text(4003));
    f.LabTimeout->setText(Text(4004));
    f.btnSave->setText(Text(4005));
    f.BtnCancel->setText(Text(4006));
    f.ChSaveWinPos->setText(Text(4007));
    f.ChAutoPopup->setText(Text(4008));
    f.BtnGetVer->setText(Text(kGetVersionButton));
    f.ChRunProgram->setText(Text(4009));
    f.ChOneInstance->setText(Text(4010));
    f.BtnRunProgram->setText(Text(4011));
    f.LabCheckUpdates->setText(Text(4012));
    // In place: the list keeps its entries, and the stored period is selected afterwards.
    for (int i = 0; i < f.cbCheckUpdates->count(); ++i)
        f.cbCheckUpdates->setItemText(i, Text(kFirstCheckUpdatesText + i));
}

void LocalizeAboutForm(TAboutForm& f)
{
    f.setWindowTitle(Text(5000));
    f.LabSupport->setText(Text(5001));
    f.LabWeb->setText(Text(5002));
}
