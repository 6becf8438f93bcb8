#include "ui/newsview.h"

#include "core/localization_u.h"
#include "core/servers_u.h"
#include "news/newsservice.h"
#include "news/rss_u.h"
#include "ui/ImgBtn.h"
#include "ui/msgbox_u.h"
#include "ui/skin.h"
#include "ui/skinfont.h"
#include "ui/skinstyle.h"

#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QWheelEvent>

namespace {

constexpr const char* kHintKeySeparator = "\n\rAlt + ";
constexpr const char* kRefreshTarget = "#refresh";

// Places: the view inside the news page, the paging controls inside the information panel.
constexpr QRect kBrowserPanelRect{8, 10, 238, 75};
constexpr QRect kPrevRect{103, 97, 19, 19};
constexpr QRect kNextRect{122, 97, 19, 19};
constexpr QPoint kLabPagePos{6, 99};
constexpr QSize kLabPageSize{95, 15};

constexpr const char* kFixedFontFamily = "Courier New";
constexpr int kScrollBarWidth = 9;
constexpr int kScrollThumbMinHeight = 12;
constexpr int kWheelNotch = QWheelEvent::DefaultDeltasPerStep;

// How far apart the view's lines of text are: the height of a line as the text layout makes it, which
// rounds the font's ascent and descent each on its own and may differ from the font metrics' height.
int LinePitch(const QFont& font)
{
    QTextLayout layout(QStringLiteral("X"), font);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    return qCeil(line.height());
}

// What the view gets for every image, style sheet or other resource a page names. Not an empty value: for
// that the document would look in the file system itself, and for an image that did not decode it would
// load the named file directly (a FIFO or a terminal device would then hold the window forever).
QVariant BlankResource()
{
    static const QImage blank = [] {
        QImage image(1, 1, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        return image;
    }();
    return blank;
}

QString Joined(const std::vector<std::string>& lines)
{
    QString html;
    for (const std::string& line : lines) {
        html += QString::fromStdString(line);
        html += QLatin1Char('\n');
    }
    return html;
}

} // namespace

std::vector<std::string> RSSStatusPageLines(std::uint8_t state)
{
    std::string message;
    bool retry = false;
    switch (state) {
    case rssNotSet:
        message = Msg(TTextId::RSSNotSet);
        break;
    case rssNotLoaded:
        message = Msg(TTextId::RSSLoading) + "<br />";
        retry = true;
        break;
    case rssLoading:
        message = Msg(TTextId::RSSLoading);
        break;
    case rssFailed:
        message = Msg(TTextId::RSSLoadFailed) + "<br />";
        retry = true;
        break;
    default:
        return {};
    }
    std::vector<std::string> lines = {
        "<html>", "<body>", "<table width=\"100%\" height=\"100%\"><tr><td align=\"center\" valign=\"middle\">",
        message};
    if (retry)
        lines.push_back(std::string("<a href=\"") + kRefreshTarget + "\">" + Msg(TTextId::RSSTryAgain) + "</a>");
    lines.insert(lines.end(), {"</td></tr></table>", "</body>", "</html>"});
    return lines;
}

TNewsPaging NewsPagingFor(int newsPage, int count)
{
    TNewsPaging paging;
    paging.Prev = newsPage > 0;
    paging.Label = count > 1;
    paging.Next = newsPage < count - 1;
    paging.Images = paging.Label;
    return paging;
}

QString NewsPageCaption(int newsPage, int count)
{
    return QStringLiteral("%1 %2 %3").arg(newsPage + 1).arg(UiText(TTextId::NewsPageOf)).arg(count);
}

int FitBrowserWidth(int panelWidth, int scrollRange, int scrollBarWidth)
{
    return scrollRange > 0 ? panelWidth : panelWidth + scrollBarWidth;
}

int WholeLinesHeight(int available, int lineSpacing)
{
    if (lineSpacing <= 0 || available < lineSpacing)
        return available;
    return available / lineSpacing * lineSpacing;
}

int CentringMargin(int viewHeight, int documentHeight)
{
    return documentHeight < viewHeight ? (viewHeight - documentHeight) / 2 : 0;
}

// --- TRSSBrowser ---

TRSSBrowser::TRSSBrowser(QWidget* parent) : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    setUndoRedoEnabled(false);
    setMouseTracking(true);

    const QFont font = SkinFont(kSkinTextPx);
    setFont(font);
    document()->setDefaultFont(font);
    // A step is a line: a view of whole lines scrolled by steps keeps showing whole lines.
    verticalScrollBar()->setSingleStep(LinePitch(font));
    document()->setDocumentMargin(0);
    // Asked before anything else for every resource: nothing the page names is ever opened or fetched.
    document()->setResourceProvider([](const QUrl&) { return BlankResource(); });
    document()->setDefaultStyleSheet(QStringLiteral("a { color: %1; } tt, pre, code { font-family: \"%2\"; }")
                                         .arg(kSkinCaptionColor.name(), QString::fromLatin1(kFixedFontFamily)));
    QPalette colours = palette();
    colours.setColor(QPalette::Base, kSkinPanelColor);
    colours.setColor(QPalette::Window, kSkinPanelColor);
    colours.setColor(QPalette::Text, kSkinCaptionColor);
    colours.setColor(QPalette::Link, kSkinCaptionColor);
    colours.setColor(QPalette::LinkVisited, kSkinCaptionColor);
    setPalette(colours);
    viewport()->setAutoFillBackground(true);
    // A thin gold bar on the panel's dark ground; the arrow keys and the wheel do what its arrows would.
    verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { background: %1; width: %2px; margin: 0; border: none; }"
                       "QScrollBar::handle:vertical { background: %3; border: 1px solid %4; border-radius: 2px;"
                       " min-height: %5px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; border: none; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: %1; }")
            .arg(kSkinPanelColor.name())
            .arg(kScrollBarWidth)
            .arg(kSkinScrollThumbColor.name(), kSkinScrollThumbEdgeColor.name())
            .arg(kScrollThumbMinHeight));
}

QVariant TRSSBrowser::loadResource(int, const QUrl&)
{
    // Whatever the news names (images, style sheets, local files), nothing is read or fetched.
    return BlankResource();
}

void TRSSBrowser::LoadLines(const std::vector<std::string>& lines, bool centred)
{
    hoveredAnchor_.clear();
    pressedAnchor_.clear();
    centred_ = centred;
    setHtml(Joined(lines));
    Centre();
}

void TRSSBrowser::LoadPage(const std::string& page)
{
    hoveredAnchor_.clear();
    pressedAnchor_.clear();
    centred_ = false;
    setHtml(QString::fromStdString(page));
}

void TRSSBrowser::Clear()
{
    hoveredAnchor_.clear();
    pressedAnchor_.clear();
    centred_ = false;
    clear();
}

int TRSSBrowser::ScrollRange() const
{
    return verticalScrollBar()->maximum() - verticalScrollBar()->minimum();
}

void TRSSBrowser::StepDown()
{
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

void TRSSBrowser::StepUp()
{
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
}

void TRSSBrowser::Centre()
{
    // The view does not honour a table of full height, so the room above is given as a margin.
    QTextFrame* root = document()->rootFrame();
    QTextFrameFormat format = root->frameFormat();
    format.setTopMargin(0);
    root->setFrameFormat(format);
    if (!centred_)
        return;
    document()->setTextWidth(viewport()->width());
    const int height = qCeil(document()->documentLayout()->documentSize().height());
    format.setTopMargin(CentringMargin(viewport()->height(), height));
    root->setFrameFormat(format);
}

void TRSSBrowser::resizeEvent(QResizeEvent* event)
{
    QTextBrowser::resizeEvent(event);
    if (centred_)
        Centre();
}

void TRSSBrowser::focusInEvent(QFocusEvent* event)
{
    QTextBrowser::focusInEvent(event);
    emit entered();
}

void TRSSBrowser::mousePressEvent(QMouseEvent* event)
{
    pressedAnchor_ = event->button() == Qt::LeftButton ? anchorAt(event->position().toPoint()) : QString();
    QTextBrowser::mousePressEvent(event);
}

void TRSSBrowser::mouseReleaseEvent(QMouseEvent* event)
{
    const QString anchor = event->button() == Qt::LeftButton ? anchorAt(event->position().toPoint()) : QString();
    const QString pressed = pressedAnchor_;
    pressedAnchor_.clear();
    if (!anchor.isEmpty() && anchor == pressed) {
        // Handled here: the view itself never follows a link.
        event->accept();
        emit hotSpotClicked(anchor);
        return;
    }
    QTextBrowser::mouseReleaseEvent(event);
}

void TRSSBrowser::mouseMoveEvent(QMouseEvent* event)
{
    QTextBrowser::mouseMoveEvent(event);
    SetHoveredAnchor(anchorAt(event->position().toPoint()));
}

void TRSSBrowser::leaveEvent(QEvent* event)
{
    QTextBrowser::leaveEvent(event);
    SetHoveredAnchor({});
}

void TRSSBrowser::SetHoveredAnchor(const QString& anchor)
{
    if (anchor == hoveredAnchor_)
        return;
    // The link under the mouse turns white; every other link keeps the news colour.
    auto paintLinks = [this](const QString& which, const QColor& colour) {
        if (which.isEmpty())
            return;
        for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                if (!fragment.charFormat().isAnchor() || fragment.charFormat().anchorHref() != which)
                    continue;
                QTextCursor cursor(document());
                cursor.setPosition(fragment.position());
                cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
                QTextCharFormat format;
                format.setForeground(colour);
                cursor.mergeCharFormat(format);
            }
        }
    };
    paintLinks(hoveredAnchor_, kSkinCaptionColor);
    hoveredAnchor_ = anchor;
    paintLinks(hoveredAnchor_, kSkinWhite);
    viewport()->setCursor(anchor.isEmpty() ? Qt::IBeamCursor : Qt::PointingHandCursor);
}

void TRSSBrowser::wheelEvent(QWheelEvent* event)
{
    // One arrow-key step per notch of the wheel, as the keys would move it.
    wheelRemainder_ += event->angleDelta().y();
    while (wheelRemainder_ >= kWheelNotch) {
        StepUp();
        wheelRemainder_ -= kWheelNotch;
    }
    while (wheelRemainder_ <= -kWheelNotch) {
        StepDown();
        wheelRemainder_ += kWheelNotch;
    }
    event->accept();
}

// --- TNewsView ---

TNewsView::TNewsView(QWidget* page, QWidget* panel, TNewsService& news) : QWidget(page), news_(news)
{
    setObjectName("RSSBrowserPanel");
    setGeometry(kBrowserPanelRect);
    RSSBrowser = new TRSSBrowser(this);
    RSSBrowser->setObjectName("RSSBrowser");
    RSSBrowser->setGeometry(0, 0, kBrowserPanelRect.width(), kBrowserPanelRect.height());
    connect(RSSBrowser, &TRSSBrowser::hotSpotClicked, this, &TNewsView::RSSBrowserHotSpotClick);
    connect(RSSBrowser, &TRSSBrowser::entered, this, &TNewsView::RSSBrowserEnter);

    auto makeImage = [panel](const char* name, const QRect& rect, const char* picture) {
        auto* image = new QLabel(panel);
        image->setObjectName(name);
        image->setGeometry(rect);
        image->setPixmap(SkinPixmap(QString::fromLatin1(picture), panel));
        image->hide();
        return image;
    };
    ImagePrev = makeImage("ImagePrev", kPrevRect, "Prev_off");
    ImageNext = makeImage("ImageNext", kNextRect, "Next_off");

    auto makeButton = [panel](const char* name, const QRect& rect, const char* skin) {
        auto* button = new TImgBtn(panel);
        button->setObjectName(name);
        button->setGeometry(rect);
        button->LoadSkin(QString::fromLatin1(skin));
        button->hide();
        return button;
    };
    BtnPrev = makeButton("BtnPrev", kPrevRect, "Prev");
    BtnNext = makeButton("BtnNext", kNextRect, "Next");
    connect(BtnPrev, &TImgBtn::clicked, this, &TNewsView::BtnPrevClick);
    connect(BtnNext, &TImgBtn::clicked, this, &TNewsView::BtnNextClick);

    LabPage = new QLabel(panel);
    LabPage->setObjectName("LabPage");
    LabPage->setGeometry(QRect(kLabPagePos, kLabPageSize));
    LabPage->setFont(SkinFont(kSkinStatusPx, true));
    LabPage->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(kSkinCaptionColor.name()));
    LabPage->setAttribute(Qt::WA_TranslucentBackground);
    LabPage->hide();
    Localize();

    connect(&news_, &TNewsService::newsChanged, this, &TNewsView::ShowChangedNews);
}

void TNewsView::Localize()
{
    BtnNext->setToolTip(UiText(TTextId::HintOlderNews) + QLatin1String(kHintKeySeparator) +
                        UiText(TTextId::RightArrow));
    BtnPrev->setToolTip(UiText(TTextId::HintNewerNews) + QLatin1String(kHintKeySeparator) + UiText(TTextId::LeftArrow));
}

void TNewsView::ShowServer(std::uint64_t serverId)
{
    const TServer* shown = ServerById(serverId);
    if (!shown) {
        Clear();
        return;
    }
    // The page belongs to one server: showing another one starts at its first item.
    if (serverId != serverId_) {
        serverId_ = serverId;
        NewsPage = 0;
    }
    // What the fetch brings arrives later, through newsChanged.
    if (shown->RSSState == rssNotLoaded)
        news_.StartRSSLoad(serverId);
    Render();
}

void TNewsView::ShowChangedNews(std::uint64_t serverId)
{
    if (serverId != 0 && serverId == serverId_)
        Render();
}

void TNewsView::Render()
{
    const TServer* shown = ServerById(serverId_);
    if (!shown) {
        RSSBrowser->Clear();
        return;
    }
    const TServer& server = *shown;
    if (server.RSSState == rssLoaded) {
        const int count = static_cast<int>(server.RSSData.size());
        NewsPage = std::clamp(NewsPage, 0, std::max(count - 1, 0));
        if (count < 1)
            RSSBrowser->Clear();
        else
            RSSBrowser->LoadPage(server.RSSData[static_cast<std::size_t>(NewsPage)]);
        LabPage->setText(NewsPageCaption(NewsPage, count));
        SetPagingVisible(NewsPagingFor(NewsPage, count));
        FitToPanel();
        return;
    }
    NewsPage = 0;
    ShowStatus(server.RSSState);
    SetPagingVisible({});
    FitToPanel();
}

void TNewsView::ShowStatus(std::uint8_t state)
{
    RSSBrowser->LoadLines(RSSStatusPageLines(state), true);
}

void TNewsView::SetPagingVisible(const TNewsPaging& paging)
{
    BtnPrev->setVisible(paging.Prev);
    BtnNext->setVisible(paging.Next);
    LabPage->setVisible(paging.Label);
    ImagePrev->setVisible(paging.Images);
    ImageNext->setVisible(paging.Images);
}

void TNewsView::FitToPanel()
{
    const int panelWidth = width();
    const int height = WholeLinesHeight(this->height(), LinePitch(RSSBrowser->font()));
    // Whether the text fits is measured here, at the width it has while no bar shows: the scroll bar's
    // range may still be that of the layout before (another item, a page that was hidden), which left the
    // text laid out for a width the bar then covered.
    QTextDocument* document = RSSBrowser->document();
    document->setTextWidth(panelWidth);
    const int range = std::max(0, qCeil(document->size().height()) - height);
    const int scrollBarWidth = RSSBrowser->verticalScrollBar()->sizeHint().width();
    RSSBrowser->resize(FitBrowserWidth(panelWidth, range, scrollBarWidth), height);
    document->setTextWidth(RSSBrowser->viewport()->width());
}

void TNewsView::Clear()
{
    // No server shown: whichever comes next starts at its first item.
    serverId_ = 0;
    NewsPage = 0;
    RSSBrowser->Clear();
}

void TNewsView::BtnNextClick()
{
    const TServer* shown = ServerById(serverId_);
    const int count = shown ? static_cast<int>(shown->RSSData.size()) : 0;
    if (NewsPage < count - 1)
        ++NewsPage;
    ShowServer(serverId_);
}

void TNewsView::BtnPrevClick()
{
    if (NewsPage > 0)
        --NewsPage;
    ShowServer(serverId_);
}

void TNewsView::RSSBrowserHotSpotClick(const QString& src)
{
    if (src == QLatin1String(kRefreshTarget)) {
        // The service empties the news, marks them loading and says so; the view follows its signal.
        news_.StartRSSLoad(serverId_);
        return;
    }
    const QString url = QString::fromStdString(AddHttpPrefix(src.toStdString()));
    QDesktopServices::openUrl(QUrl(url));
    emit linkOpened(url);
}

void TNewsView::RSSBrowserEnter()
{
    emit focusReturned();
}
