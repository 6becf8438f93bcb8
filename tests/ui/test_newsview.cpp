// The news view: status pages and their retry link, paging, the width fit, links that open only
// through a click, a view that follows the news service for its own server only, and a view that never
// fetches what a page names.
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "news/newsservice.h"
#include "support/httpserver.h"
#include "support/testsupport.h"
#include "ui/ImgBtn.h"
#include "ui/newsview.h"

#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QLabel>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextFrame>
#include <QTextLayout>
#include <QtTest>
#include <optional>

namespace {

constexpr int kWaitMs = 10000;

std::string LongPage()
{
    std::string page = "<html><body><b>long</b><br />";
    for (int i = 0; i < 40; ++i)
        page += "line " + std::to_string(i) + "<br />";
    return page + "</body></html>";
}

} // namespace

// Receives what the desktop would be asked to open.
class TUrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> Urls;

public slots:
    void Open(const QUrl& url) { Urls.append(url); }
};

class TestNewsView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void statusPages_data();
    void statusPages();
    void paging_data();
    void paging();

    void statusStatesHidePagingControls_data();
    void statusStatesHidePagingControls();
    void notLoadedStartsTheFetch();
    void retryLinkLoadsAgain();
    void pagesThroughTheNews();
    void pageBelongsToTheServerNotItsRow();
    void oneItemShowsNoPaging();
    void noSelectionClearsOnly();
    void followsTheNewsOfItsOwnServerOnly();
    void statusMessageIsCentred();
    void widthHidesTheScrollBarWhenTheTextFits();
    void textNeverRunsUnderTheScrollBarNorEndsThroughALine();
    void linksOpenOnlyThroughAClick();
    void clickOnALinkInTheView();
    void viewFetchesNothingThePageNames();
    void viewOpensNoFileThePageNames();
    void wheelScrollsTheViewByArrowSteps();
    void linkUnderTheMouseTurnsWhite();

private:
    TServer& Add(const std::string& name, std::uint8_t state, TRSSDataList pages = {}, std::string url = {});
    // Shows the entry in row `index`, as the window does when the selection rests on it; -1 shows none.
    void Show(int index) { view_->ShowServer(index < 0 ? 0 : Servers[static_cast<std::size_t>(index)].Id); }
    TImgBtn* Button(const char* name) const { return panel_->findChild<TImgBtn*>(name); }
    QLabel* Label(const char* name) const { return panel_->findChild<QLabel*>(name); }
    QString ViewText() const { return view_->Browser()->toPlainText(); }

    std::optional<TScratchIni> scratch_;
    std::optional<TLoopbackHttpServer> server_;
    std::optional<TNewsService> news_;
    QWidget* panel_ = nullptr;
    QWidget* page_ = nullptr;
    TNewsView* view_ = nullptr;
    TUrlCatcher catcher_;
};

void TestNewsView::initTestCase()
{
    Q_INIT_RESOURCE(korvan);
    InitLocalization();
    QDesktopServices::setUrlHandler("http", &catcher_, "Open");
    QDesktopServices::setUrlHandler("https", &catcher_, "Open");
    QDesktopServices::setUrlHandler("file", &catcher_, "Open");
}

void TestNewsView::cleanupTestCase()
{
    for (const char* scheme : {"http", "https", "file"})
        QDesktopServices::unsetUrlHandler(scheme);
}

void TestNewsView::init()
{
    scratch_.emplace();
    server_.emplace();
    QVERIFY(server_->Listen());
    catcher_.Urls.clear();
    news_.emplace();
    panel_ = new QWidget;
    panel_->resize(258, 118);
    page_ = new QWidget(panel_);
    page_->setGeometry(2, 0, 254, 94);
    view_ = new TNewsView(page_, panel_, *news_);
    panel_->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel_));
}

void TestNewsView::cleanup()
{
    delete panel_;
    news_.reset();
    server_.reset();
    scratch_.reset();
}

TServer& TestNewsView::Add(const std::string& name, std::uint8_t state, TRSSDataList pages, std::string url)
{
    AddServer({.Name = name, .Address = "127.0.0.1", .RSSUrl = url});
    TServer& server = Servers.back();
    server.RSSState = state;
    server.RSSData = std::move(pages);
    return server;
}

void TestNewsView::statusPages_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("lines");
    const QString head = "<table width=\"100%\" height=\"100%\"><tr><td align=\"center\" valign=\"middle\">";
    const QString retry = "<a href=\"#refresh\">Try again</a>";
    const QStringList tail{"</td></tr></table>", "</body>", "</html>"};
    QTest::newRow("not set") << int(rssNotSet)
                             << (QStringList{"<html>", "<body>", head, "RSS channel not set."} + tail);
    QTest::newRow("not loaded") << int(rssNotLoaded)
                                << (QStringList{"<html>", "<body>", head, "Loading...<br />", retry} + tail);
    QTest::newRow("loading") << int(rssLoading) << (QStringList{"<html>", "<body>", head, "Loading..."} + tail);
    QTest::newRow("failed") << int(rssFailed)
                            << (QStringList{"<html>", "<body>", head, "Failed to load RSS channel.<br />", retry} +
                                tail);
    QTest::newRow("loaded has none") << int(rssLoaded) << QStringList{};
}

void TestNewsView::statusPages()
{
    QFETCH(int, state);
    QFETCH(QStringList, lines);
    QStringList got;
    for (const std::string& line : RSSStatusPageLines(static_cast<std::uint8_t>(state)))
        got << QString::fromStdString(line);
    QCOMPARE(got, lines);
}

void TestNewsView::paging_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("prev");
    QTest::addColumn<bool>("next");
    QTest::addColumn<bool>("label");
    QTest::newRow("no items") << 0 << 0 << false << false << false;
    QTest::newRow("one item") << 0 << 1 << false << false << false;
    QTest::newRow("first of three") << 0 << 3 << false << true << true;
    QTest::newRow("middle of three") << 1 << 3 << true << true << true;
    QTest::newRow("last of three") << 2 << 3 << true << false << true;
}

void TestNewsView::paging()
{
    QFETCH(int, page);
    QFETCH(int, count);
    QFETCH(bool, prev);
    QFETCH(bool, next);
    QFETCH(bool, label);
    const TNewsPaging paging = NewsPagingFor(page, count);
    QCOMPARE(paging.Prev, prev);
    QCOMPARE(paging.Next, next);
    QCOMPARE(paging.Label, label);
    QCOMPARE(paging.Images, label);
    QCOMPARE(NewsPageCaption(1, 7), QString("2 of 7"));
}

void TestNewsView::statusStatesHidePagingControls_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::newRow("not set") << int(rssNotSet) << "RSS channel not set.";
    QTest::newRow("loading") << int(rssLoading) << "Loading...";
    QTest::newRow("failed") << int(rssFailed) << "Failed to load RSS channel.\nTry again";
}

void TestNewsView::statusStatesHidePagingControls()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    Add("A", rssLoaded, {"<b>1</b>", "<b>2</b>", "<b>3</b>"});
    Add("B", static_cast<std::uint8_t>(state));
    Show(0);
    view_->BtnNextClick();
    QCOMPARE(view_->Page(), 1);
    QVERIFY(Button("BtnPrev")->isVisible() && Button("BtnNext")->isVisible() && Label("LabPage")->isVisible());

    Show(1);
    QCOMPARE(ViewText().trimmed(), text);
    QCOMPARE(view_->Page(), 0);
    for (const char* name : {"BtnPrev", "BtnNext"})
        QVERIFY2(!Button(name)->isVisible(), name);
    for (const char* name : {"LabPage", "ImagePrev", "ImageNext"})
        QVERIFY2(!Label(name)->isVisible(), name);
}

void TestNewsView::notLoadedStartsTheFetch()
{
    server_->Serve("/feed", "<rss><item><title>first</title></item><item><title>second</title></item></rss>");
    Add("A", rssNotLoaded, {}, server_->Url("/feed").toStdString());
    Show(0);
    QCOMPARE(int(Servers[0].RSSState), int(rssLoading));
    QCOMPARE(ViewText().trimmed(), QString("Loading..."));
    QTRY_COMPARE_WITH_TIMEOUT(int(Servers[0].RSSState), int(rssLoaded), kWaitMs);
    QCOMPARE(ViewText().trimmed(), QString("first"));
    QCOMPARE(Label("LabPage")->text(), QString("1 of 2"));
}

void TestNewsView::retryLinkLoadsAgain()
{
    server_->Serve("/feed", "<rss><item><title>back again</title></item></rss>");
    Add("A", rssFailed, {}, server_->Url("/feed").toStdString());
    Show(0);
    view_->RSSBrowserHotSpotClick("#refresh");
    QCOMPARE(ViewText().trimmed(), QString("Loading..."));
    QTRY_COMPARE_WITH_TIMEOUT(ViewText().trimmed(), QString("back again"), kWaitMs);
    QCOMPARE(server_->Hits("/feed"), 1);
    QVERIFY(catcher_.Urls.isEmpty());
    // Only the exact target retries.
    view_->RSSBrowserHotSpotClick("#Refresh");
    QCOMPARE(catcher_.Urls.size(), 1);
    QCOMPARE(int(Servers[0].RSSState), int(rssLoaded));
}

void TestNewsView::pagesThroughTheNews()
{
    Add("A", rssLoaded, {"<b>one</b>", "<b>two</b>", "<b>three</b>"});
    Show(0);
    struct TStep
    {
        void (TNewsView::*click)();
        int page;
        const char* text;
        bool prev;
        bool next;
    };
    const TStep steps[] = {
        {nullptr, 0, "one", false, true},
        {&TNewsView::BtnNextClick, 1, "two", true, true},
        {&TNewsView::BtnNextClick, 2, "three", true, false},
        {&TNewsView::BtnNextClick, 2, "three", true, false}, // past the last: stays
        {&TNewsView::BtnPrevClick, 1, "two", true, true},
        {&TNewsView::BtnPrevClick, 0, "one", false, true},
        {&TNewsView::BtnPrevClick, 0, "one", false, true}, // before the first: stays
    };
    for (const TStep& step : steps) {
        if (step.click)
            (view_->*step.click)();
        QCOMPARE(view_->Page(), step.page);
        QCOMPARE(ViewText().trimmed(), QString(step.text));
        QCOMPARE(Button("BtnPrev")->isVisible(), step.prev);
        QCOMPARE(Button("BtnNext")->isVisible(), step.next);
        QVERIFY(Label("LabPage")->isVisible() && Label("ImagePrev")->isVisible() && Label("ImageNext")->isVisible());
        QCOMPARE(Label("LabPage")->text(), QStringLiteral("%1 of 3").arg(step.page + 1));
    }
    // The buttons are the paging controls a user clicks.
    QTest::mouseClick(Button("BtnNext"), Qt::LeftButton);
    QCOMPARE(view_->Page(), 1);
    QTest::mouseClick(Button("BtnPrev"), Qt::LeftButton);
    QCOMPARE(view_->Page(), 0);

    // Paging with no server shown counts no pages.
    Show(-1);
    view_->BtnNextClick();
    QCOMPARE(view_->Page(), 0);
}

void TestNewsView::pageBelongsToTheServerNotItsRow()
{
    Add("A", rssLoaded, {"<b>a1</b>", "<b>a2</b>"});
    Add("B", rssLoaded, {"<b>b1</b>", "<b>b2</b>", "<b>b3</b>", "<b>b4</b>"});
    Show(1);
    for (int i = 0; i < 3; ++i)
        view_->BtnNextClick();
    QCOMPARE(Label("LabPage")->text(), QString("4 of 4"));

    // B moves up a row and stays on its fourth item.
    QVERIFY(SwapServers(0, 1));
    Show(0);
    QCOMPARE(ViewText().trimmed(), QString("b4"));
    QCOMPARE(Label("LabPage")->text(), QString("4 of 4"));

    // A now holds the row B had: it starts at its own first item.
    Show(1);
    QCOMPARE(view_->Page(), 0);
    QCOMPARE(ViewText().trimmed(), QString("a1"));
    QCOMPARE(Label("LabPage")->text(), QString("1 of 2"));
    view_->BtnNextClick();
    QCOMPARE(Label("LabPage")->text(), QString("2 of 2"));

    // Removing the server above moves A up a row; its page does not pass to another server.
    QVERIFY(RemoveServer("B"));
    Show(0);
    QCOMPARE(ViewText().trimmed(), QString("a2"));
    QCOMPARE(Label("LabPage")->text(), QString("2 of 2"));
}

void TestNewsView::oneItemShowsNoPaging()
{
    Add("A", rssLoaded, {"<b>only</b>"});
    Add("B", rssLoaded, {});
    for (int index : {0, 1}) {
        Show(index);
        for (const char* name : {"BtnPrev", "BtnNext"})
            QVERIFY2(!Button(name)->isVisible(), name);
        for (const char* name : {"LabPage", "ImagePrev", "ImageNext"})
            QVERIFY2(!Label(name)->isVisible(), name);
    }
    QCOMPARE(ViewText().trimmed(), QString());
}

void TestNewsView::noSelectionClearsOnly()
{
    Add("A", rssLoaded, {"<b>one</b>", "<b>two</b>"});
    Show(0);
    const int width = view_->Browser()->width();
    Show(-1);
    QCOMPARE(ViewText(), QString());
    // The paging controls and the width stay as they were.
    QVERIFY(Button("BtnNext")->isVisible());
    QCOMPARE(view_->Browser()->width(), width);
}

void TestNewsView::followsTheNewsOfItsOwnServerOnly()
{
    server_->Serve("/a", "<rss><item><title>fresh a</title></item></rss>");
    server_->Serve("/b", "<rss><item><title>b1</title></item><item><title>b2</title></item></rss>");
    Add("A", rssLoaded, {"<b>a1</b>", "<b>a2</b>"}, server_->Url("/a").toStdString());
    Add("B", rssNotSet, {}, server_->Url("/b").toStdString());
    Show(0);
    view_->BtnNextClick();
    // Showing news already there asks for nothing.
    QCOMPARE(news_->RunningRSSFetches(), 0);

    // Another server's news land: the view stays on its own server and page.
    news_->StartRSSLoad(Servers[1].Id);
    QTRY_COMPARE_WITH_TIMEOUT(int(Servers[1].RSSState), int(rssLoaded), kWaitMs);
    QCOMPARE(ViewText().trimmed(), QString("a2"));
    QCOMPARE(Label("LabPage")->text(), QString("2 of 2"));

    // Whoever asks the service for this server's news, the view follows: "Loading...", then the news.
    news_->StartRSSLoad(Servers[0].Id);
    QCOMPARE(ViewText().trimmed(), QString("Loading..."));
    QVERIFY(!Label("LabPage")->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(ViewText().trimmed(), QString("fresh a"), kWaitMs);
    QCOMPARE(server_->Hits("/a"), 1);
    QCOMPARE(server_->Hits("/b"), 1);

    // Shown again while its fetch runs: no second fetch.
    Servers[0].RSSState = rssNotLoaded;
    Show(0);
    Show(1);
    Show(0);
    QTRY_COMPARE_WITH_TIMEOUT(news_->RunningRSSFetches(), 0, kWaitMs);
    QCOMPARE(server_->Hits("/a"), 2);
}

void TestNewsView::statusMessageIsCentred()
{
    Add("A", rssNotSet);
    Show(0);
    TRSSBrowser* browser = view_->Browser();
    const int top = qRound(browser->document()->rootFrame()->frameFormat().topMargin());
    const int height = qCeil(browser->document()->documentLayout()->documentSize().height());
    QVERIFY(top > 0);
    // The text's middle lies within a pixel of the view's middle.
    QVERIFY2(
        qAbs((height + top) - browser->viewport()->height()) <= 2,
        qPrintable(
            QStringLiteral("top %1, document %2, view %3").arg(top).arg(height).arg(browser->viewport()->height())));
    // A news page is shown from the top.
    Servers[0].RSSState = rssLoaded;
    Servers[0].RSSData = {"<b>news</b>"};
    Show(0);
    QCOMPARE(qRound(browser->document()->rootFrame()->frameFormat().topMargin()), 0);
}

void TestNewsView::widthHidesTheScrollBarWhenTheTextFits()
{
    Add("A", rssLoaded, {"<b>short</b>", LongPage()});
    Show(0);
    TRSSBrowser* browser = view_->Browser();
    const int panelWidth = view_->width();
    QCOMPARE(browser->ScrollRange(), 0);
    QVERIFY(browser->width() > panelWidth);
    QCOMPARE(browser->viewport()->width(), panelWidth);
    view_->BtnNextClick();
    QVERIFY(browser->ScrollRange() > 0);
    QCOMPARE(browser->width(), panelWidth);
    QCOMPARE(FitBrowserWidth(238, 0, 17), 255);
    QCOMPARE(FitBrowserWidth(238, 5, 17), 238);
}

void TestNewsView::textNeverRunsUnderTheScrollBarNorEndsThroughALine()
{
    // Loaded while the page is hidden, then shown; then a long item after a short one and back.
    Add("A", rssLoaded, {"<b>short</b>", LongPage(), "<b>short again</b>"});
    page_->hide();
    Show(0);
    page_->show();
    TRSSBrowser* browser = view_->Browser();
    const int panelWidth = view_->width();
    view_->BtnNextClick();
    // The pitch of the lines as the view lays them out, read from a paragraph of the long item.
    QTextLayout* layout = browser->document()->lastBlock().layout();
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next())
        if (block.layout()->lineCount() > 1)
            layout = block.layout();
    QVERIFY(layout->lineCount() > 1);
    const int line = qRound(layout->lineAt(1).y() - layout->lineAt(0).y());
    view_->BtnPrevClick();
    for (void (TNewsView::*step)() : {&TNewsView::BtnNextClick, &TNewsView::BtnNextClick, &TNewsView::BtnPrevClick}) {
        (view_->*step)();
        QCoreApplication::processEvents();
        // What shows of the text: the panel's width, less the bar where the text needs one.
        const int shown =
            browser->ScrollRange() > 0 ? browser->width() - browser->verticalScrollBar()->width() : panelWidth;
        QVERIFY2(browser->document()->textWidth() <= shown,
                 qPrintable(QStringLiteral("text %1 wide, %2 shown").arg(browser->document()->textWidth()).arg(shown)));
        QCOMPARE(browser->viewport()->height() % line, 0);
        QCOMPARE(browser->verticalScrollBar()->singleStep(), line);
    }
    QCOMPARE(WholeLinesHeight(75, 13), 65);
    QCOMPARE(WholeLinesHeight(78, 13), 78);
    QCOMPARE(WholeLinesHeight(10, 13), 10);
    QCOMPARE(WholeLinesHeight(75, 0), 75);
}

void TestNewsView::linksOpenOnlyThroughAClick()
{
    Add("A", rssLoaded, {"<a href=\"x\">x</a>"});
    Show(0);
    QSignalSpy opened(view_, &TNewsView::linkOpened);
    const struct
    {
        const char* src;
        const char* url;
    } rows[] = {
        {"www.example.org/news", "http://www.example.org/news"}, {"https://example.org/a", "https://example.org/a"},
        {"HTTP://EXAMPLE.ORG/", "HTTP://EXAMPLE.ORG/"},          {"file:///etc/passwd", "http://file:///etc/passwd"},
        {"javascript:alert(1)", "http://javascript:alert(1)"},
    };
    for (const auto& row : rows) {
        view_->RSSBrowserHotSpotClick(row.src);
        QCOMPARE(opened.takeLast().at(0).toString(), QString(row.url));
    }
    for (const QUrl& url : catcher_.Urls)
        QVERIFY2(url.scheme() == "http" || url.scheme() == "https", qPrintable(url.toString()));
}

void TestNewsView::clickOnALinkInTheView()
{
    Add("A", rssLoaded, {"<html><body><a href=\"example.org/item?id=1&amp;x=2\"><b>Title</b></a></body></html>"});
    Show(0);
    TRSSBrowser* browser = view_->Browser();
    QPoint onLink;
    for (int y = 0; y < 20 && onLink.isNull(); ++y)
        for (int x = 0; x < 60 && onLink.isNull(); ++x)
            if (!browser->anchorAt({x, y}).isEmpty())
                onLink = {x, y};
    QVERIFY(!onLink.isNull());
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, onLink);
    QCOMPARE(catcher_.Urls.size(), 1);
    QCOMPARE(catcher_.Urls[0].toString(), QString("http://example.org/item?id=1&x=2"));
    // The view stays where it was: it never follows a link itself.
    QCOMPARE(browser->source(), QUrl());
    QVERIFY(browser->toPlainText().contains("Title"));
}

void TestNewsView::viewFetchesNothingThePageNames()
{
    server_->Serve("/image.png", "not really");
    server_->Serve("/style.css", "b { color: red; }");
    const std::string page = "<html><head><link rel=\"stylesheet\" href=\"" + server_->Url("/style.css").toStdString() +
                             "\"></head><body><img src=\"" + server_->Url("/image.png").toStdString() +
                             "\"><img src=\"file:///etc/hostname\"><img src=\"/etc/hostname\"></body></html>";
    Add("A", rssLoaded, {page});
    Show(0);
    view_->Browser()->grab();
    QTest::qWait(300);
    QCOMPARE(server_->Requests(), QStringList());
    QVERIFY(catcher_.Urls.isEmpty());
}

void TestNewsView::viewOpensNoFileThePageNames()
{
    // A FIFO: whoever opens it waits for a writer, as the window would wait on a terminal device.
    QTemporaryDir dir;
    TFifoWatch watch;
    QVERIFY(watch.Start(dir.filePath("fifo")));
    const std::string path = dir.filePath("fifo").toStdString();
    const std::string url = QUrl::fromLocalFile(dir.filePath("fifo")).toString().toStdString();
    const std::string page = "<html><head><link rel=\"stylesheet\" href=\"" + path + "\"><style>@import url(" + url +
                             "); p { background-image: url(" + path + "); }</style></head><body background=\"" + path +
                             "\"><img src=\"" + path + "\"><img src=\"" + url +
                             "\"><img src=\"fifo\"><img src=\"fifo\" width=\"10\" height=\"10\">"
                             "<table background=\"" +
                             path + "\"><tr><td background=\"" + url +
                             "\">cell</td></tr></table>"
                             "<p style=\"background-image: url(" +
                             url + ")\">text</p></body></html>";
    // A name without a folder is looked for in the working folder.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    Add("A", rssLoaded, {page});
    Show(0);
    view_->Browser()->grab();
    QTest::qWait(100);
    QDir::setCurrent(previous);
    QVERIFY2(!watch.Opened(), "the view opened a file the page names");
    QVERIFY(view_->Browser()->toPlainText().contains("cell"));
}

void TestNewsView::wheelScrollsTheViewByArrowSteps()
{
    Add("A", rssLoaded, {LongPage()});
    Show(0);
    TRSSBrowser* browser = view_->Browser();
    QScrollBar* bar = browser->verticalScrollBar();
    QCOMPARE(bar->value(), 0);
    const QPoint inside = browser->viewport()->mapToGlobal(QPoint(10, 10));
    // The wheel turned over the view moves it by arrow steps, one per notch.
    QWheelEvent wheel(QPointF(10, 10), QPointF(inside), QPoint(), QPoint(0, -240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(browser->viewport(), &wheel);
    QCOMPARE(bar->value(), 2 * bar->singleStep());
    QWheelEvent back(QPointF(10, 10), QPointF(inside), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(browser->viewport(), &back);
    QCOMPARE(bar->value(), bar->singleStep());
    // Half a notch (a fine-grained wheel) waits for the other half.
    QWheelEvent half(QPointF(10, 10), QPointF(inside), QPoint(), QPoint(0, 60), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(browser->viewport(), &half);
    QCOMPARE(bar->value(), bar->singleStep());
    QCoreApplication::sendEvent(browser->viewport(), &half);
    QCOMPARE(bar->value(), 0);
}

void TestNewsView::linkUnderTheMouseTurnsWhite()
{
    Add("A", rssLoaded, {"<html><body><a href=\"x\"><b>Title</b></a><br />text</body></html>"});
    Show(0);
    TRSSBrowser* browser = view_->Browser();
    auto linkColour = [browser] {
        for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().isAnchor())
                    return it.fragment().charFormat().foreground().color();
        return QColor();
    };
    QCOMPARE(linkColour(), QColor(247, 205, 40));
    QPoint onLink;
    for (int x = 0; x < 60 && onLink.isNull(); ++x)
        if (!browser->anchorAt({x, 6}).isEmpty())
            onLink = {x, 6};
    QVERIFY(!onLink.isNull());
    QTest::mouseMove(browser->viewport(), onLink);
    QTRY_COMPARE(linkColour(), QColor(Qt::white));
    QTest::mouseMove(browser->viewport(), QPoint(200, 60));
    QTRY_COMPARE(linkColour(), QColor(247, 205, 40));

    // The arrow keys the window sends for a wheel turn over the view move it by one step.
    Servers[0].RSSData = {LongPage()};
    Show(0);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(browser, &down);
    QCOMPARE(browser->verticalScrollBar()->value(), browser->verticalScrollBar()->singleStep());
}

QTEST_MAIN(TestNewsView)
#include "test_newsview.moc"
