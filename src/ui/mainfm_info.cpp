// The main window's information panel and news view: the handlers the window keeps, each a thin call
// into the panel. The panel fills the place the frame keeps for it below the skin.
#include "ui/mainfm.h"

#include "ui/ListBoxEx.h"
#include "ui/infopanel.h"
#include "ui/newsview.h"

void TMainForm::SetupInfoPanel()
{
    InfoPanel = new TInfoPanel(frame_->InfoPanel(), settings_, news_);
    TNewsView* news = InfoPanel->News();
    // Queued: the focus moves back once the view has finished taking it.
    connect(
        news, &TNewsView::focusReturned, this, [this] { List->setFocus(); }, Qt::QueuedConnection);
    SetNewsView(news->Browser());
    connect(InfoPanel, &TInfoPanel::pageSelected, this, [this](int page) { infoPanelPage_ = page; });
    infoPanelPage_ = InfoPanel->CurrentPage();
}

void TMainForm::UpdateInfoPanel()
{
    InfoPanel->ShowServer(SelectedServerId());
}

void TMainForm::SelectInfoPanel(int page)
{
    InfoPanel->SelectInfoPanel(page);
}

void TMainForm::InfoBtn0Click()
{
    InfoPanel->InfoBtn0Click();
}

void TMainForm::InfoBtn1Click()
{
    InfoPanel->InfoBtn1Click();
}

void TMainForm::InfoBtn2Click()
{
    InfoPanel->InfoBtn2Click();
}

void TMainForm::UpdateRSSBrowser()
{
    InfoPanel->News()->ShowServer(SelectedServerId());
}

void TMainForm::BtnNextClick()
{
    InfoPanel->News()->BtnNextClick();
}

void TMainForm::BtnPrevClick()
{
    InfoPanel->News()->BtnPrevClick();
}

void TMainForm::RSSBrowserHotSpotClick(const QString& src)
{
    InfoPanel->News()->RSSBrowserHotSpotClick(src);
}

void TMainForm::RSSBrowserEnter()
{
    InfoPanel->News()->RSSBrowserEnter();
}
