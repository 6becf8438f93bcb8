#include "ui/localizedialogs.h"

#include "core/localization_u.h"
#include "ui/aboutfm.h"
#include "ui/addfm.h"
#include "ui/msgbox.h"
#include "ui/settingsfm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

namespace {

} // namespace

void LocalizeAddForm(TAddForm& f, bool editMode)
{
    f.setWindowTitle(UiText(editMode ? TTextId::EditServerCaption : TTextId::AddServerCaption));
    f.LabServerName->setText(UiText(TTextId::ServerNameLabel));
    f.LabServerAddress->setText(UiText(TTextId::ServerAddressLabel));
    f.LabServerInfo->setText(UiText(TTextId::ServerInfoLabel));
    f.ChPreloader->setText(UiText(TTextId::UsesPreloader));
    f.BtnSetPreloader->setText(UiText(TTextId::FindPreloader));
    f.ChAltPath->setText(UiText(TTextId::UsesAltPath));
    f.BtnSetAltPath->setText(UiText(TTextId::FindAltPath));
    f.BtnAdd->setText(UiText(editMode ? TTextId::SaveButton : TTextId::AddButton));
    f.BtnCancel->setText(UiText(TTextId::CancelButton));
    f.BtnGetVer->setText(UiText(TTextId::ObtainVersion));
    f.LabServerType->setText(UiText(TTextId::ServerTypeLabel));
    f.LabServerSite->setText(UiText(TTextId::ServerSiteLabel));
    f.BtnVisit->setText(UiText(TTextId::VisitSite));
    f.ChOwnPatchlist->setText(UiText(TTextId::OwnPatchlist));
    f.PageControl->setTabText(f.PageControl->indexOf(f.TabSheet1), UiText(TTextId::BasicTab));
    f.PageControl->setTabText(f.PageControl->indexOf(f.TabSheet2), UiText(TTextId::AdditionalTab));
    f.ChAutoCacheClear->setText(UiText(TTextId::AutoCacheClear));
    f.GBServerSettings->setTitle(UiText(TTextId::ServerSettingsGroup));
    f.GBServerInfo->setTitle(UiText(TTextId::ServerInfoGroup));
    f.LabRSSChannel->setText(UiText(TTextId::RSSChannelLabel));
    f.PageControl->setTabText(f.PageControl->indexOf(f.TabSheet3), UiText(TTextId::LinuxTab));
    f.LabWineCommand->setText(UiText(TTextId::WineCommandLabel));
    f.BtnSetWine->setText(UiText(TTextId::FindWine));
    f.LabWinePrefix->setText(UiText(TTextId::WinePrefixLabel));
    f.BtnSetWinePrefix->setText(UiText(TTextId::FindPrefix));
    f.LabEnvironment->setText(UiText(TTextId::EnvironmentLabel));
    f.LabGameArguments->setText(UiText(TTextId::GameArgumentsLabel));
}

void LocalizeSettingsForm(TSettingsForm& f)
{
    f.setWindowTitle(UiText(TTextId::SettingsCaption));
    f.LabWoWPath->setText(UiText(TTextId::GamePathLabel));
    f.BtnWoWPath->setText(UiText(TTextId::FindGame));
    f.LabNote->setText(UiText(TTextId::GamePathNote));
    f.LabTimeout->setText(UiText(TTextId::TimeoutLabel));
    f.btnSave->setText(UiText(TTextId::SettingsSave));
    f.BtnCancel->setText(UiText(TTextId::SettingsCancel));
    f.ChSaveWinPos->setText(UiText(TTextId::SaveWindowPosition));
    f.ChAutoPopup->setText(UiText(TTextId::MenuOnHover));
    f.BtnGetVer->setText(UiText(TTextId::ObtainVersion));
    f.ChRunProgram->setText(UiText(TTextId::RunOtherProgram));
    f.ChOneInstance->setText(UiText(TTextId::OtherProgramOnce));
    f.BtnRunProgram->setText(UiText(TTextId::FindOtherProgram));
    f.LabWineCommand->setText(UiText(TTextId::SettingsWineLabel));
    f.BtnWineCommand->setText(UiText(TTextId::FindWine));
    f.LabCheckUpdates->setText(UiText(TTextId::CheckUpdatesLabel));
    // In place: the list keeps its entries, and the stored period is selected afterwards.
    for (int i = 0; i < f.cbCheckUpdates->count(); ++i)
        f.cbCheckUpdates->setItemText(i, UiText(TextIdAfter(TTextId::UpdatesNever, i)));
}

void LocalizeAboutForm(TAboutForm& f)
{
    f.setWindowTitle(UiText(TTextId::AboutCaption));
    f.LabSupport->setText(UiText(TTextId::AboutSupport));
    f.LabWeb->setText(UiText(TTextId::AboutWebsite));
}
