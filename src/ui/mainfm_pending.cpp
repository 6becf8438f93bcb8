// Commands of the window whose work lands later (dialogs, information panel, news, update). Each is
// wired to its menu item, button or key already; whoever builds one deletes its line here.
#include "ui/mainfm.h"

void TMainForm::ItemSettingsClick() {}
void TMainForm::BtnAddClick() {}
void TMainForm::BtnEditClick() {}
void TMainForm::BtnRemoveClick() {}
void TMainForm::ItemAboutClick() {}
void TMainForm::SelectInfoPanel(int page)
{
    infoPanelPage_ = page;
}
void TMainForm::UpdateInfoPanel() {}
void TMainForm::UpdateRSSBrowser() {}
void TMainForm::BtnPrevClick() {}
void TMainForm::BtnNextClick() {}
