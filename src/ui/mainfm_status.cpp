// The main window's monitoring: status labels, refresh cycle and notification-area icon.
#include "ui/mainfm.h"

void TMainForm::SetupStatusControls() {}

void TMainForm::RefreshServerVisibleStatus() {}

void TMainForm::RefreshTimerTimer() {}

void TMainForm::BtnRefreshAllClick() {}

void TMainForm::ListMouseDown() {}
