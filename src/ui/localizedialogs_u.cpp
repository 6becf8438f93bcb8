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

QString Text(TTextId id)
{
    return ToQString(LoadText(id, kTextBufferLength));
}

} // namespace

void LocalizeAddForm(TAddForm& f, bool editMode)
{
    f.setWindowTitle(Text(editMode ? TTextId::EditServerCaption : TTextId::AddServerCaption));
    f.LabServerName->setText(Text(TTextId::ServerNameLabel));
    f.LabServerAddress->setText(Text(TTextId::ServerAddressLabel));
    f.LabServerInfo->setText(Text(TTextId::ServerInfoLabel));
    f.ChPreloader->setText(Text(TTextId::UsesPreloader));
    f.BtnSetPreloader->setText(Text(TTextId::FindPreloader));
    f.ChAltPath->setText(Text(TTextId::UsesAltPath));
    f.BtnSetAltPath->setText(Text(TTextId::FindAltPath));
    f.BtnAdd->setText(Text(editMode ? TTextId::SaveButton : TTextId::AddButton));
    f.BtnCancel->setText(Text(TTextId::CancelButton));
    f.BtnGetVer->setText(Text(TTextId::ObtainVersion));
    f.LabServerType->setText(Text(TTextId::ServerTypeLabel));
    f.LabServerSite->setText(Text(TTextId::ServerSiteLabel));
    f.BtnVisit->setText(Text(TTextId::VisitSite));
    f.ChOwnPatchlist->setText(Text(TTextId::OwnPatchlist));
    f.PageControl->setTabText(f.PageControl->indexOf(f.TabSheet1), Text(TTextId::BasicTab));
    f.PageControl->setTabText(f.PageControl->indexOf(f.TabSheet2), Text(TTextId::AdditionalTab));
    f.ChAutoCacheClear->setText(Text(TTextId::AutoCacheClear));
    f.GBServerSettings->setTitle(Text(TTextId::ServerSettingsGroup));
    f.GBServerInfo->setTitle(Text(TTextId::ServerInfoGroup));
    f.LabRSSChannel->setText(Text(TTextId::RSSChannelLabel));
}

void LocalizeSettingsForm(TSettingsForm& f)
{
    f.setWindowTitle(Text(TTextId::SettingsCaption));
    f.LabWoWPath->setText(Text(TTextId::GamePathLabel));
    f.BtnWoWPath->setText(Text(TTextId::FindGame));
    f.LabNote->setText(Text(TTextId::GamePathNote));
    f.LabTimeout->setText(Text(TTextId::TimeoutLabel));
    f.btnSave->setText(Text(TTextId::SettingsSave));
    f.BtnCancel->setText(Text(TTextId::SettingsCancel));
    f.ChSaveWinPos->setText(Text(TTextId::SaveWindowPosition));
    f.ChAutoPopup->setText(Text(TTextId::MenuOnHover));
    f.BtnGetVer->setText(Text(TTextId::ObtainVersion));
    f.ChRunProgram->setText(Text(TTextId::RunOtherProgram));
    f.ChOneInstance->setText(Text(TTextId::OtherProgramOnce));
    f.BtnRunProgram->setText(Text(TTextId::FindOtherProgram));
    f.LabCheckUpdates->setText(Text(TTextId::CheckUpdatesLabel));
    // In place: the list keeps its entries, and the stored period is selected afterwards.
    for (int i = 0; i < f.cbCheckUpdates->count(); ++i)
        f.cbCheckUpdates->setItemText(i, Text(TextIdAfter(TTextId::UpdatesNever, i)));
}

void LocalizeAboutForm(TAboutForm& f)
{
    f.setWindowTitle(Text(TTextId::AboutCaption));
    f.LabSupport->setText(Text(TTextId::AboutSupport));
    f.LabWeb->setText(Text(TTextId::AboutWebsite));
}
