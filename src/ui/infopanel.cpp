#include "ui/infopanel.h"

#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "game/getver_u.h"
#include "game/winesetup.h"
#include "news/rss_u.h"
#include "ui/ImgBtn.h"
#include "ui/LnkLabel.h"
#include "ui/msgbox.h"
#include "ui/newsview.h"
#include "ui/skin.h"
#include "ui/skinfont.h"
#include "ui/skinstyle.h"

#include <QFontMetrics>
#include <QLabel>

namespace {

constexpr const char* kEllipsis = "...";
constexpr const char* kUnknownVersion = "?";

constexpr QRect kPageRect{2, 0, 254, 94};
constexpr QRect kSeparatorRect{2, 94, 254, 2};
// Over the news page's label and arrows, and over the separator and frame around them: without the news,
// the page runs down to the panel's edge instead of leaving an empty framed box beside the tabs.
constexpr QRect kRSSPanelMaskRect{2, 94, 140, 22};
constexpr int kTabTop = 96;
constexpr QSize kTabSize{35, 20};
constexpr int kTabEdgeTop = 94;
constexpr QSize kTabEdgeSize{3, 22};
constexpr int kJoinTop = 94;
constexpr int kJoinHeight = 2;
// By page: the tab's left edge, the left edge and width of the label that joins it to its page.
constexpr int kTabLeft[kPanelPageCount] = {221, 145, 183};
constexpr int kJoinLeft[kPanelPageCount] = {220, 144, 182};
constexpr int kJoinWidth[kPanelPageCount] = {36, 37, 37};
constexpr int kTabEdgeLeft[] = {142, 180, 218};

constexpr int kCaptionLeft = 6;
constexpr int kSubCaptionLeft = 14;
constexpr int kRowHeight = 13;
constexpr int kAdditionalInfoHeight = 19;
constexpr int kCaptionGap = 4;
// Where each value stands on its page; its caption is on the same row.
constexpr int kServerAddressTop = 7;
constexpr QRect kRealmlistPlace{80, 21, 165, kRowHeight};
constexpr QRect kPatchlistPlace{80, 35, 165, kRowHeight};
constexpr QRect kAltPathPlace{176, 48, 69, kRowHeight};
constexpr QRect kPreloaderPlace{176, 61, 69, kRowHeight};
constexpr QRect kAutoCacheClearPlace{176, 74, 69, kRowHeight};
constexpr QRect kWoWVersionPlace{160, 8, 85, kRowHeight};
constexpr QRect kServerSitePlace{112, 21, 133, kRowHeight};
constexpr QRect kServerTypePlace{144, 34, 101, kRowHeight};
constexpr QRect kRSSChannelPlace{80, 47, 165, kRowHeight};
constexpr int kAdditionalInfoCaptionTop = 60;
// The Wine row stands in the strip left of the tabs, inside the mask that closes pages 1 and 2.
constexpr QRect kWineRowPlace{4, 5, 134, kRowHeight};
constexpr QRect kAdditionalInfoPlace{kCaptionLeft, 73, 239, kAdditionalInfoHeight};
// Server types drawn in a colour of their own.
constexpr std::uint8_t kTypeRP = 2;
constexpr std::uint8_t kTypePvP = 3;
constexpr std::uint8_t kTypeRPPvP = 4;

void SetColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, int width, bool bold, bool italic,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter, int height = kRowHeight)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(left, top, width, height);
    QFont font = label->font();
    font.setBold(bold);
    font.setItalic(italic);
    label->setFont(font);
    label->setAlignment(alignment);
    label->setTextFormat(Qt::PlainText);
    SetColour(label, kSkinCaptionColor);
    return label;
}

// A caption on the left that is as wide as its text allows before the value label starts.
QLabel* MakeCaption(QWidget* parent, const char* name, int left, int top, bool bold = true)
{
    return MakeLabel(parent, name, left, top, kPageRect.width() - left, bold, false);
}

QLabel* MakeValue(QWidget* parent, const char* name, int left, int top, int width)
{
    QLabel* label = MakeLabel(parent, name, left, top, width, false, true, Qt::AlignRight | Qt::AlignVCenter);
    label->raise();
    return label;
}

// A value starts where the table places it, or after its caption where the caption is wider there
// (the panel's font is not the same everywhere), so that a long value never runs over its caption.
void PlaceValue(QLabel* value, const QLabel* caption, const QRect& place)
{
    const int captionEnd =
        caption->x() + QFontMetrics(caption->font()).horizontalAdvance(caption->text()) + kCaptionGap;
    const int left = std::max(place.left(), std::min(captionEnd, place.right()));
    value->setGeometry(left, place.top(), place.right() + 1 - left, place.height());
}

// The caption and its tooltip; the tooltip always holds the whole text when the caption is shortened.
void ShowValue(QLabel* label, const std::string& value)
{
    const QString text = ToQString(value);
    label->setText(text);
    label->setToolTip(text);
    ShortenLabel(label);
}

QString YesNo(bool yes)
{
    return UiText(yes ? TTextId::Yes : TTextId::No);
}

// Cutting inside a surrogate pair would leave half a character.
qsizetype AvoidSplitPair(const QString& text, qsizetype cut, bool keepEnd)
{
    if (cut <= 0 || cut >= text.size())
        return cut;
    if (text[cut].isLowSurrogate() && text[cut - 1].isHighSurrogate())
        return keepEnd ? cut + 1 : cut - 1;
    return cut;
}

} // namespace

QString ShortenLabel(const QString& caption, int width, bool rightAligned, const TTextWidth& measure)
{
    // No character that shows is narrower than a pixel: a longer text cannot fit, and a long comment in the
    // file is never measured whole.
    const qsizetype mostThatFits = std::max(width, 0) + 1;
    if (caption.size() <= mostThatFits && measure(caption) <= width)
        return caption;
    const QString ellipsis = QString::fromLatin1(kEllipsis);
    // The longest part that fits with "..." beside it. Widths grow with the text, so a binary search
    // finds what dropping one character at a time would, without measuring a long text thousands of times.
    auto fits = [&](qsizetype kept) {
        const QString part = rightAligned ? caption.right(kept) : caption.left(kept);
        return measure(rightAligned ? ellipsis + part : part + ellipsis) <= width;
    };
    qsizetype low = 0;
    qsizetype high = std::min(caption.size() - 1, mostThatFits);
    while (low < high) {
        const qsizetype mid = low + (high - low + 1) / 2;
        if (fits(mid))
            low = mid;
        else
            high = mid - 1;
    }
    if (rightAligned) {
        const qsizetype start = AvoidSplitPair(caption, caption.size() - low, true);
        return ellipsis + caption.mid(start);
    }
    return caption.left(AvoidSplitPair(caption, low, false)) + ellipsis;
}

void ShortenLabel(QLabel* label)
{
    const QFontMetrics metrics(label->font());
    const bool rightAligned = label->alignment() & Qt::AlignRight;
    label->setText(ShortenLabel(label->text(), label->width(), rightAligned,
                                [&metrics](const QString& text) { return metrics.horizontalAdvance(text); }));
}

QString GameVersionCaption(const std::string& gamePath)
{
    if (gamePath.empty())
        return UiText(TTextId::NoValue);
    TGameVersion version;
    if (!GetGameVersion(gamePath, version))
        return QString::fromLatin1(kUnknownVersion);
    return QStringLiteral("%1.%2.%3").arg(version.major).arg(version.minor).arg(version.release);
}

TInfoPanel::TInfoPanel(QWidget* parent, const TSettings& settings, TNewsService& news)
    : QWidget(parent), settings_(settings)
{
    setObjectName("InfoPanel");
    setGeometry(0, 0, kInfoPanelWidth, kInfoPanelHeight);
    setFont(SkinFont(kSkinTextPx));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kSkinPanelColor);
    palette.setColor(QPalette::WindowText, kSkinCaptionColor);
    setPalette(palette);
    setAutoFillBackground(true);

    auto* back = new QLabel(this);
    back->setObjectName("InfoPanelBack");
    back->setGeometry(rect());
    back->setPixmap(SkinPixmap(QStringLiteral("InfoPanel_back"), this));

    auto makePage = [this](const char* name) {
        auto* page = new QWidget(this);
        page->setObjectName(name);
        page->setGeometry(kPageRect);
        page->setAutoFillBackground(true);
        return page;
    };
    Panel0 = makePage("Panel0");
    Panel1 = makePage("Panel1");
    Panel2 = makePage("Panel2");

    news_ = new TNewsView(Panel0, this, news);
    BuildTabs();
    BuildPage1();
    BuildPage2();
    BuildWineRow();
    Localize();
    SelectInfoPanel(currentPage_);
}

void TInfoPanel::BuildTabs()
{
    auto* separator = new QLabel(this);
    separator->setObjectName("Image4");
    separator->setGeometry(kSeparatorRect);
    separator->setPixmap(SkinPixmap(QStringLiteral("InfoSeparator"), this));
    const char* edgeNames[] = {"ImgInfo1", "ImgInfo2", "ImgInfo3"};
    for (int i = 0; i < 3; ++i) {
        auto* edge = new QLabel(this);
        edge->setObjectName(edgeNames[i]);
        edge->setGeometry(QRect(QPoint(kTabEdgeLeft[i], kTabEdgeTop), kTabEdgeSize));
        edge->setPixmap(SkinPixmap(QStringLiteral("InfoTabEdge"), this));
    }

    const char* tabNames[kPanelPageCount] = {"InfoBtn0", "InfoBtn1", "InfoBtn2"};
    const char* joinNames[kPanelPageCount] = {"InfoJustLabel0", "InfoJustLabel1", "InfoJustLabel2"};
    const char* maskNames[kPanelPageCount] = {"InfoJustLabelMask0", "InfoJustLabelMask1", "InfoJustLabelMask2"};
    TImgBtn* tabs[kPanelPageCount] = {};
    for (int page = 0; page < kPanelPageCount; ++page) {
        const QRect tabRect(QPoint(kTabLeft[page], kTabTop), kTabSize);
        auto* tab = new TImgBtn(this);
        tab->setObjectName(tabNames[page]);
        tab->setGeometry(tabRect);
        tab->LoadSkin(QStringLiteral("InfoTab%1").arg(page));
        connect(tab, &TImgBtn::clicked, this, [this, page] { SelectInfoPanel(page); });
        tabs[page] = tab;

        auto* join = new QLabel(this);
        join->setObjectName(joinNames[page]);
        join->setGeometry(kJoinLeft[page], kJoinTop, kJoinWidth[page], kJoinHeight);
        join->setAutoFillBackground(true);
        InfoJustLabel[page] = join;

        // Over the current tab, so that it takes the mouse and the tab neither lights up nor clicks.
        auto* mask = new QLabel(this);
        mask->setObjectName(maskNames[page]);
        mask->setGeometry(tabRect);
        mask->setAttribute(Qt::WA_NoSystemBackground);
        mask->setStyleSheet(QStringLiteral("background: transparent;"));
        InfoJustLabelMask[page] = mask;
    }
    InfoBtn0 = tabs[0];
    InfoBtn1 = tabs[1];
    InfoBtn2 = tabs[2];

    InfoRSSPanelMask = new QLabel(this);
    InfoRSSPanelMask->setObjectName("InfoRSSPanelMask");
    InfoRSSPanelMask->setGeometry(kRSSPanelMaskRect);
    InfoRSSPanelMask->setAutoFillBackground(true);
    InfoRSSPanelMask->raise();
    for (QLabel* mask : InfoJustLabelMask)
        mask->raise();
}

void TInfoPanel::BuildPage1()
{
    LabServerAddress = MakeCaption(Panel1, "LabServerAddress", kCaptionLeft, kServerAddressTop);
    LabRealmlist = MakeCaption(Panel1, "LabRealmlist", kSubCaptionLeft, kRealmlistPlace.top(), false);
    LabPatchlist = MakeCaption(Panel1, "LabPatchlist", kSubCaptionLeft, kPatchlistPlace.top(), false);
    LabAlternativeWoWPath = MakeCaption(Panel1, "LabAlternativeWoWPath", kCaptionLeft, kAltPathPlace.top());
    LabPreloaderCD = MakeCaption(Panel1, "LabPreloaderCD", kCaptionLeft, kPreloaderPlace.top());
    LabAutoCacheClear = MakeCaption(Panel1, "LabAutoCacheClear", kCaptionLeft, kAutoCacheClearPlace.top());
    Realmlist = AddValue(Panel1, "Realmlist", LabRealmlist, kRealmlistPlace);
    Patchlist = AddValue(Panel1, "Patchlist", LabPatchlist, kPatchlistPlace);
    AlternativeWoWPath = AddValue(Panel1, "AlternativeWoWPath", LabAlternativeWoWPath, kAltPathPlace);
    PreloaderCD = AddValue(Panel1, "PreloaderCD", LabPreloaderCD, kPreloaderPlace);
    AutoCacheClear = AddValue(Panel1, "AutoCacheClear", LabAutoCacheClear, kAutoCacheClearPlace);
}

void TInfoPanel::BuildPage2()
{
    LabWoWVersion = MakeCaption(Panel2, "LabWoWVersion", kCaptionLeft, kWoWVersionPlace.top());
    LabServerSite = MakeCaption(Panel2, "LabServerSite", kCaptionLeft, kServerSitePlace.top());
    LabServerType = MakeCaption(Panel2, "LabServerType", kCaptionLeft, kServerTypePlace.top());
    LabRSSChannel = MakeCaption(Panel2, "LabRSSChannel", kCaptionLeft, kRSSChannelPlace.top());
    LabAdditionalInfo = MakeCaption(Panel2, "LabAdditionalInfo", kCaptionLeft, kAdditionalInfoCaptionTop);
    WoWVersion = AddValue(Panel2, "WoWVersion", LabWoWVersion, kWoWVersionPlace);

    ServerSite = new TLnkLabel(Panel2);
    ServerSite->setObjectName("ServerSite");
    valuePlaces_.push_back({ServerSite, LabServerSite, kServerSitePlace});
    ServerSite->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ServerSite->setTextFormat(Qt::PlainText);
    QFont siteFont = ServerSite->font();
    siteFont.setItalic(true);
    ServerSite->setFont(siteFont);
    // Gold again once visited: the label stays in the panel's colours.
    ServerSite->SetLeaveFontColor(kSkinCaptionColor);
    ServerSite->SetVisitedColor(kSkinCaptionColor);
    ServerSite->SetEnterFontColor(kSkinWhite);
    ServerSite->SetFontColor(kSkinCaptionColor);
    ServerSite->raise();

    ServerType = AddValue(Panel2, "ServerType", LabServerType, kServerTypePlace);
    RSSChannel = AddValue(Panel2, "RSSChannel", LabRSSChannel, kRSSChannelPlace);
    AdditionalInfo = MakeLabel(Panel2, "AdditionalInfo", kAdditionalInfoPlace.left(), kAdditionalInfoPlace.top(),
                               kAdditionalInfoPlace.width(), false, false, Qt::AlignLeft | Qt::AlignVCenter,
                               kAdditionalInfoPlace.height());
}

void TInfoPanel::BuildWineRow()
{
    LabWine = MakeLabel(InfoRSSPanelMask, "LabWine", kWineRowPlace.left(), kWineRowPlace.top(), kWineRowPlace.width(),
                        true, false);
    WineSetup =
        MakeValue(InfoRSSPanelMask, "WineSetup", kWineRowPlace.left(), kWineRowPlace.top(), kWineRowPlace.width());
    valuePlaces_.push_back({WineSetup, LabWine, kWineRowPlace});
    LabWine->hide();
#ifdef Q_OS_WIN
    // Windows starts the game itself.
    WineSetup->hide();
#endif
}

void TInfoPanel::ShowWineSetup(const TServer& server)
{
#ifndef Q_OS_WIN
    LabWine->show();
#endif
    const TMainSettings& settings = settings_.Values();
    const std::string gamePath = server.AltPath.empty() ? settings.WoWPath : server.AltPath;
    const TWinePlan plan = DescribeWine(server, settings.WineCommand, gamePath);
    const std::string program = ResolveCommandLine(plan.wineCommand, NamesProgramFile).program;
    const QString prefix = plan.prefix.empty() ? UiText(TTextId::PanelPrefixDefault)
                           : plan.prefixFound  ? ToQString(FillText(TTextId::PanelPrefixFound, {plan.prefix}))
                                               : ToQString(plan.prefix);
    // The row names the program and the prefix's own folder; the tooltip gives both in full.
    const QString prefixName = plan.prefix.empty() ? prefix : ToQString(FileNameOf(plan.prefix));
    WineSetup->setText(ToQString(FileNameOf(program)) + QStringLiteral(", ") + prefixName);
    ShortenLabel(WineSetup);
    WineSetup->setToolTip(LabWine->text() + u' ' + ToQString(plan.wineCommand) + u'\n' +
                          UiText(TTextId::PanelWinePrefix) + u' ' + prefix);
}

void TInfoPanel::Localize()
{
    LabServerAddress->setText(UiText(TTextId::PanelServerAddress));
    LabRealmlist->setText(UiText(TTextId::PanelRealmlist));
    LabPatchlist->setText(UiText(TTextId::PanelPatchlist));
    LabWoWVersion->setText(UiText(TTextId::PanelGameVersion));
    LabPreloaderCD->setText(UiText(TTextId::PanelPreloader));
    LabAlternativeWoWPath->setText(UiText(TTextId::PanelAltPath));
    LabServerSite->setText(UiText(TTextId::PanelServerSite));
    LabServerType->setText(UiText(TTextId::PanelServerType));
    LabAdditionalInfo->setText(UiText(TTextId::PanelAdditionalInfo));
    LabAutoCacheClear->setText(UiText(TTextId::PanelAutoCacheClear));
    news_->Localize();
    LabRSSChannel->setText(UiText(TTextId::PanelRSSChannel));
    LabWine->setText(UiText(TTextId::PanelWine));
    for (const TValuePlace& value : valuePlaces_)
        PlaceValue(value.Value, value.Caption, value.Place);
}

QLabel* TInfoPanel::AddValue(QWidget* page, const char* name, QLabel* caption, const QRect& place)
{
    QLabel* value = MakeValue(page, name, place.left(), place.top(), place.width());
    valuePlaces_.push_back({value, caption, place});
    return value;
}

void TInfoPanel::SelectInfoPanel(int page)
{
    const int p = page >= 0 && page < kPanelPageCount ? page : 1;
    TImgBtn* tabs[kPanelPageCount] = {InfoBtn0, InfoBtn1, InfoBtn2};
    QWidget* pages[kPanelPageCount] = {Panel0, Panel1, Panel2};
    for (int i = 0; i < kPanelPageCount; ++i)
        tabs[i]->setEnabled(i != p);
    for (int i = 0; i < kPanelPageCount; ++i)
        pages[i]->setVisible(i == p);
    for (int i = 0; i < kPanelPageCount; ++i) {
        InfoJustLabel[i]->setVisible(i == p);
        InfoJustLabelMask[i]->setVisible(i == p);
    }
    InfoRSSPanelMask->setVisible(p != 0);
    currentPage_ = p;
    emit pageSelected(p);
}

void TInfoPanel::ClearValues()
{
    for (QLabel* value : {Realmlist, Patchlist, AlternativeWoWPath, PreloaderCD, AutoCacheClear, WoWVersion,
                          static_cast<QLabel*>(ServerSite), ServerType, RSSChannel, AdditionalInfo, WineSetup}) {
        value->clear();
        value->setToolTip({});
    }
    ServerSite->SetLink({});
    ServerSite->SetEnterFontColor(kSkinCaptionColor);
    // Without a server the strip beside the tabs stays empty ground.
    LabWine->hide();
}

void TInfoPanel::ShowServer(std::uint64_t serverId)
{
    news_->ShowServer(serverId);
    const TServer* shown = ServerById(serverId);
    if (!shown) {
        ClearValues();
        return;
    }
    const TServer& server = *shown;
    const QString none = UiText(TTextId::NoValue);

    ShowValue(Realmlist, server.Address);
    ShowValue(Patchlist, server.Patchlist);
    if (Patchlist->text().isEmpty())
        Patchlist->setText(none);

    WoWVersion->setText(GameVersionCaption(server.AltPath.empty() ? settings_.Values().WoWPath : server.AltPath));
    ShowWineSetup(server);

    QFont siteFont = ServerSite->font();
    if (server.Website.empty()) {
        ServerSite->setText(none);
        ServerSite->setToolTip({});
        ServerSite->SetLink({});
        siteFont.setUnderline(false);
        ServerSite->setFont(siteFont);
        ServerSite->setCursor(Qt::ArrowCursor);
        // "---" is no link: it does not light up under the mouse.
        ServerSite->SetEnterFontColor(kSkinCaptionColor);
    } else {
        ServerSite->SetLink(QString::fromStdString(AddHttpPrefix(server.Website)));
        siteFont.setUnderline(true);
        ServerSite->setFont(siteFont);
        ServerSite->setCursor(Qt::PointingHandCursor);
        ServerSite->SetEnterFontColor(kSkinWhite);
        ShowValue(ServerSite, server.Website);
    }
    ServerSite->SetFontColor(ServerSite->Hovered() ? ServerSite->EnterFontColor() : kSkinCaptionColor);

    if (server.ServerType < kServerTypeCount) {
        ServerType->setText(ToQString(ServerTypeNames[server.ServerType]));
        const bool rp = server.ServerType == kTypeRP;
        const bool pvp = server.ServerType == kTypePvP || server.ServerType == kTypeRPPvP;
        SetColour(ServerType, rp ? kSkinLime : pvp ? kSkinRed : LabServerType->palette().color(QPalette::WindowText));
    }

    PreloaderCD->setText(YesNo(!server.Preloader.empty()));
    PreloaderCD->setToolTip(server.Preloader.empty() ? QString() : ToQString(server.Preloader));
    AlternativeWoWPath->setText(YesNo(!server.AltPath.empty()));
    AlternativeWoWPath->setToolTip(server.AltPath.empty() ? QString() : ToQString(server.AltPath));
    AutoCacheClear->setText(YesNo(server.AutoCacheClear));

    if (server.Comments.empty()) {
        AdditionalInfo->setText(none);
        AdditionalInfo->setToolTip({});
    } else {
        ShowValue(AdditionalInfo, server.Comments);
    }
    if (server.RSSUrl.empty()) {
        RSSChannel->setText(none);
        RSSChannel->setToolTip({});
    } else {
        ShowValue(RSSChannel, server.RSSUrl);
    }
}
