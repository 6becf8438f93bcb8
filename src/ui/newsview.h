// The news page of the information panel: the selected server's news one item at a time, or a
// centred status message, with paging buttons and a page label. The view never loads or opens
// anything by itself; a link opens in the user's browser only through a click.
#pragma once

#include "core/globaltypes_u.h"

#include <QObject>
#include <QPointer>
#include <QTextBrowser>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QWidget;
class TImgBtn;

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
    void HotSpotClicked(const QString& target);
    void Entered();

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

class TNewsView : public QObject
{
    Q_OBJECT

public:
    // The view lies in `page` (the news page), the paging controls in `panel` (the information panel).
    TNewsView(QWidget* page, QWidget* panel, std::function<int()> selectedIndex, QObject* parent = nullptr);

    void UpdateRSSBrowser();
    void BtnNextClick();
    void BtnPrevClick();
    void RSSBrowserHotSpotClick(const QString& src);
    void RSSBrowserEnter();
    void Clear();
    // The paging hints from the text table.
    void Localize();

    int Page() const { return NewsPage; }
    TRSSBrowser* Browser() const { return RSSBrowser; }
    QWidget* BrowserPanel() const { return RSSBrowserPanel; }

signals:
    // The view took the keyboard focus; the window gives it back to the server list.
    void FocusReturned();
    // A link of the news was handed to the desktop.
    void LinkOpened(const QString& url);

private:
    void ShowStatus(std::uint8_t state);
    void SetPagingVisible(const TNewsPaging& paging);
    void FitWidth();
    // The page belongs to one server: showing another one starts at its first item.
    void FollowServer(const TServer& server);

    std::function<int()> selectedIndex_;
    int NewsPage = 0;
    // Identity of the server NewsPage belongs to; rows move and vanish, identities do not.
    std::uint64_t pageServerId_ = 0;
    QWidget* RSSBrowserPanel = nullptr;
    TRSSBrowser* RSSBrowser = nullptr;
    TImgBtn* BtnPrev = nullptr;
    TImgBtn* BtnNext = nullptr;
    QLabel* ImagePrev = nullptr;
    QLabel* ImageNext = nullptr;
    QLabel* LabPage = nullptr;
};
