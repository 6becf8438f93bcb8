// The main window's game commands: launch and folder clearing.
#include "ui/mainfm.h"

void TMainForm::SetupGameControls() {}

void TMainForm::BtnPlayClick() {}

void TMainForm::ItemClearWDBClick() {}

void TMainForm::ItemClearWTFClick() {}

void TMainForm::ItemClearScreenshotsClick() {}

void TMainForm::ItemSettingsClick() {}

void TMainForm::BtnEditClick() {}
