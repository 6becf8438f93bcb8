// The main window's monitoring handlers: each a call into the status display (statusdisplay.cpp), which
// owns the status line, the notification-area icon and the refresh cycle.
#include "ui/mainfm.h"

#include "ui/ImgBtn.h"
#include "ui/skinstyle.h"
#include "ui/statusdisplay.h"

void TMainForm::SetupStatusControls()
{
    MakeImageButton("BtnMinimize", kMinimizeRect, &TMainForm::BtnMinimizeClick);
    MakeImageButton("BtnRefreshAll", kRefreshAllRect, &TMainForm::BtnRefreshAllClick);
    status_ = new TStatusDisplay(this, probes_);
    connect(status_, &TStatusDisplay::refreshTicked, this, &TMainForm::CheckUpdateSchedule);
    connect(status_, &TStatusDisplay::trayIconClicked, this, &TMainForm::TrayIconClick);
}

void TMainForm::RefreshServerVisibleStatus()
{
    status_->RefreshServerVisibleStatus();
}

void TMainForm::RefreshTimerTimer()
{
    status_->RefreshTimerTimer();
}

void TMainForm::BtnRefreshAllClick()
{
    status_->RefreshAll();
}

void TMainForm::ListMouseDown()
{
    // The panel and the status line already follow the selection (SelectedServerChanged); this step
    // adds a fresh probe and starts the refresh period anew.
    status_->RestartRefreshCycle();
}

void TMainForm::BtnMinimizeClick()
{
    status_->MinimizeToTray();
}

void TMainForm::TrayIconClick()
{
    status_->RestoreWindow();
}
