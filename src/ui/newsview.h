// The news page of the information panel: one server's news one item at a time, or a centred status
// message, with paging buttons and a page label. The view never loads or opens anything a page names;
// a link opens in the user's browser only through a click.
#pragma once

#include "core/globaltypes_u.h"

#include <QTextBrowser>
#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QWidget;
class TImgBtn;
class TNewsService;

// The lines of the page that stands for a news state; empty for rssLoaded (the news itself is shown).
std::vector<std::string> RSSStatusPageLines(std::uint8_t state);

// Which paging controls show for page `newsPage` of `count` pages.
struct TNewsPaging
{
    bool Prev = false;
    bool Next = false;
    bool Label = false;
    bool Images = false;
};
TNewsPaging NewsPagingFor(int newsPage, int count);
// "2 of 7": the page label's text.
QString NewsPageCaption(int newsPage, int count);
// The view is wider than its panel by the scroll bar when the document fits, so the panel hides the bar.
int FitBrowserWidth(int panelWidth, int scrollRange, int scrollBarWidth);
// The height of as many whole lines of `lineSpacing` as fit in `available`, so the view never ends
// through a line's letters; all of `available` when not even one fits.
int WholeLinesHeight(int available, int lineSpacing);
// The top margin that puts a document of `documentHeight` in the middle of a view `viewHeight` high.
int CentringMargin(int viewHeight, int documentHeight);

// The HTML view: shows what it is given and nothing more. Resources (images, style sheets, frames)
// are never fetched, links are never followed, and a click on a link is reported with its target
// exactly as the page wrote it.
class TRSSBrowser : public QTextBrowser
{
    Q_OBJECT

public:
    explicit TRSSBrowser(QWidget* parent = nullptr);

    QVariant loadResource(int type, const QUrl& name) override;
    // Shows the lines as one HTML document; `centred` puts it in the middle of the view's height.
    void LoadLines(const std::vector<std::string>& lines, bool centred);
    void LoadPage(const std::string& page);
    void Clear();
    // The height of the laid-out document minus the visible height, 0 when it fits.
    int ScrollRange() const;
    // One arrow-key step; the mouse wheel moves the view by these.
    void StepDown();
    void StepUp();

signals:
    void hotSpotClicked(const QString& target);
    void entered();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void SetHoveredAnchor(const QString& anchor);
    void Centre();

    QString pressedAnchor_;
    QString hoveredAnchor_;
    bool centred_ = false;
    int wheelRemainder_ = 0;
};

// The news of one server, tracked by identity: the view asks the news service for a fetch when the server's
// news was never loaded, and shows what the service wrote once it says so. It writes no server data itself.
// The view is the panel the HTML view lies in, inside the news page; its paging controls lie in the
// information panel below the pages, where the panel's own mask covers them on the other pages.
class TNewsView : public QWidget
{
    Q_OBJECT

public:
    TNewsView(QWidget* page, QWidget* panel, TNewsService& news);

    void BtnNextClick();
    void BtnPrevClick();
    void RSSBrowserHotSpotClick(const QString& src);
    void RSSBrowserEnter();
    // The paging hints from the text table.
    void Localize();

    int Page() const { return NewsPage; }
    TRSSBrowser* Browser() const { return RSSBrowser; }

signals:
    // The view took the keyboard focus; the window gives it back to the server list.
    void focusReturned();
    // A link of the news was handed to the desktop.
    void linkOpened(const QString& url);

public slots:
    // Shows the news of the server with that identity, asking for a fetch when they were never loaded; the
    // same server again keeps its page. An identity that names no server empties the view.
    void ShowServer(std::uint64_t serverId);

private slots:
    // The service wrote a server's news: shown again when it is this view's server.
    void ShowChangedNews(std::uint64_t serverId);

private:
    // Draws the shown server's news as the store holds it; asks nothing of the service.
    void Render();
    void Clear();
    void ShowStatus(std::uint8_t state);
    void SetPagingVisible(const TNewsPaging& paging);
    // Sizes the view in its panel for what it shows: whole lines high, its scroll bar out of sight
    // when the text fits.
    void FitToPanel();

    TNewsService& news_;
    int NewsPage = 0;
    // Identity of the server shown, which NewsPage belongs to; rows move and vanish, identities do not.
    std::uint64_t serverId_ = 0;
    TRSSBrowser* RSSBrowser = nullptr;
    TImgBtn* BtnPrev = nullptr;
    TImgBtn* BtnNext = nullptr;
    QLabel* ImagePrev = nullptr;
    QLabel* ImageNext = nullptr;
    QLabel* LabPage = nullptr;
};
