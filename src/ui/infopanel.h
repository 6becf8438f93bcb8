// The information panel under the server list: three pages about the selected server (its news, how
// it is reached and started, further facts) switched by three tabs at the panel's lower edge.
#pragma once

#include "core/globaltypes_u.h"
#include "core/settings.h"

#include <QRect>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

class QLabel;
class TSettings;
class TImgBtn;
class TLnkLabel;
class TNewsService;
class TNewsView;

// Width of a text in the label's font.
using TTextWidth = std::function<int(const QString&)>;
// Fits `caption` into `width` with "...": in front when the label is right-aligned (the end of the text
// stays visible), else at the end. A caption that fits is returned as it is.
QString ShortenLabel(const QString& caption, int width, bool rightAligned, const TTextWidth& measure);
// The same on a label, with its own font, width and alignment.
void ShortenLabel(QLabel* label);
// "2.4.3": the first three numbers of the game's version.
QString GameVersionCaption(const std::string& gamePath);

class TInfoPanel : public QWidget
{
    Q_OBJECT

public:
    // Fills `parent` (the place the window keeps for the panel, 258 x 118), whose visibility is the panel's.
    // The news page shows what `news` fetches; nothing else on the panel changes with the news. `settings`
    // (the game's path) outlives the panel.
    TInfoPanel(QWidget* parent, const TSettings& settings, TNewsService& news);

    // Pages 0 (news), 1 and 2; any other value shows page 1.
    void SelectInfoPanel(int page);
    int CurrentPage() const { return currentPage_; }
    // The captions and hints from the text table.
    void Localize();

    TNewsView* News() const { return news_; }

    void InfoBtn0Click() { SelectInfoPanel(0); }
    void InfoBtn1Click() { SelectInfoPanel(1); }
    void InfoBtn2Click() { SelectInfoPanel(2); }

signals:
    void pageSelected(int page);

public slots:
    // Fills all three pages from the server with that identity; one that names no server empties them.
    void ShowServer(std::uint64_t serverId);

private:
    void BuildTabs();
    void BuildPage1();
    void BuildPage2();
    void BuildWineRow();
    void ShowWineSetup(const TServer& server);
    void ClearValues();
    QLabel* AddValue(QWidget* page, const char* name, QLabel* caption, const QRect& place);

    struct TValuePlace
    {
        QLabel* Value;
        QLabel* Caption;
        QRect Place;
    };
    std::vector<TValuePlace> valuePlaces_;

    const TSettings& settings_;
    int currentPage_ = 1;

    QWidget* Panel0 = nullptr;
    QWidget* Panel1 = nullptr;
    QWidget* Panel2 = nullptr;
    TImgBtn* InfoBtn0 = nullptr;
    TImgBtn* InfoBtn1 = nullptr;
    TImgBtn* InfoBtn2 = nullptr;
    QLabel* InfoJustLabel[kPanelPageCount] = {};
    QLabel* InfoJustLabelMask[kPanelPageCount] = {};
    QLabel* InfoRSSPanelMask = nullptr;
    TNewsView* news_ = nullptr;

    QLabel* LabServerAddress = nullptr;
    QLabel* LabRealmlist = nullptr;
    QLabel* LabPatchlist = nullptr;
    QLabel* LabAlternativeWoWPath = nullptr;
    QLabel* LabPreloaderCD = nullptr;
    QLabel* LabAutoCacheClear = nullptr;
    QLabel* Realmlist = nullptr;
    QLabel* Patchlist = nullptr;
    QLabel* AlternativeWoWPath = nullptr;
    QLabel* PreloaderCD = nullptr;
    QLabel* AutoCacheClear = nullptr;

    QLabel* LabWoWVersion = nullptr;
    QLabel* LabServerSite = nullptr;
    QLabel* LabServerType = nullptr;
    QLabel* LabRSSChannel = nullptr;
    QLabel* LabAdditionalInfo = nullptr;
    QLabel* WoWVersion = nullptr;
    TLnkLabel* ServerSite = nullptr;
    QLabel* ServerType = nullptr;
    QLabel* RSSChannel = nullptr;
    QLabel* AdditionalInfo = nullptr;

    // Under pages 1 and 2, beside the tabs: the Wine program and prefix a Play of the server uses.
    QLabel* LabWine = nullptr;
    QLabel* WineSetup = nullptr;
};
