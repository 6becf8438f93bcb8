// News channels: address completion, the page of an item, parsing of RSS and Atom in their encodings,
// and the news service's fetches from the loopback server, which land on the server they were started for
// and are announced for that server only.
#include "core/servers_u.h"
#include "monitor/download_u.h"
#include "news/newsservice.h"
#include "news/rss_u.h"
#include "news/rssparse_u.h"
#include "support/httpserver.h"
#include "support/testsupport.h"

#include <QDomDocument>
#include <QtTest>
#include <optional>

namespace {

constexpr int kWaitMs = 10000;

QString Pages(const TRSSDataList& pages)
{
    QStringList out;
    for (const std::string& page : pages)
        out << QString::fromStdString(page);
    return out.join(QStringLiteral("|"));
}

QString Page(const std::string& title, const std::string& description, const std::string& link)
{
    return QString::fromStdString(RSSPage({title, description, link}));
}

void AddTestServer(const std::string& name, const std::string& rssUrl)
{
    QVERIFY(AddServer({.Name = name, .Address = "127.0.0.1", .RSSUrl = rssUrl}));
}

std::string Utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// The pages as a DOM gives them, item by item as the rules read: the reference the one-pass reader
// must agree with.
TRSSParseResult ParseWithDom(const QByteArray& document)
{
    TRSSParseResult result;
    QDomDocument dom;
    if (!dom.setContent(document))
        return result;
    const QDomElement root = dom.documentElement();
    result.Ok = true;
    const bool atom = root.nodeName() == "feed";
    const QDomNodeList items = root.elementsByTagName(atom ? "entry" : "item");
    for (int i = 0; i < items.size(); ++i) {
        TRSSItem item;
        std::string summary;
        std::string content;
        bool pageLink = false;
        for (QDomNode child = items.at(i).firstChild(); !child.isNull(); child = child.nextSibling()) {
            const QDomElement e = child.toElement();
            if (e.isNull())
                continue;
            const QString name = e.nodeName();
            if (name == "title")
                item.Title = Utf8(e.text());
            else if (!atom && name == "description")
                item.Description = Utf8(e.text());
            else if (!atom && name == "link")
                item.Link = Utf8(e.text());
            else if (atom && name == "summary")
                summary = Utf8(e.text());
            else if (atom && name == "content")
                content = Utf8(e.text());
            else if (atom && name == "link" && !pageLink) {
                const QString rel = e.attribute("rel");
                pageLink = rel.isEmpty() || rel == "alternate";
                item.Link =
                    Utf8(e.hasAttribute("href") && !e.attribute("href").isEmpty() ? e.attribute("href") : e.text());
            }
        }
        if (atom)
            item.Description = summary.empty() ? content : summary;
        if (!item.Title.empty() || !item.Description.empty() || !item.Link.empty())
            result.Pages.push_back(RSSPage(item));
    }
    return result;
}

} // namespace

class TestRss : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addsHttpPrefix_data();
    void addsHttpPrefix();
    void buildsPages_data();
    void buildsPages();
    void parses_data();
    void parses();
    void readsEncodings_data();
    void readsEncodings();
    void agreesWithTheDom_data();
    void agreesWithTheDom();
    void boundsTheChannel_data();
    void boundsTheChannel();
    void abandonedParseEndsEmpty();
    void boundsThePage_data();
    void boundsThePage();

    void loadsIntoTheEntry_data();
    void loadsIntoTheEntry();
    void channelsArriveInTheirEncodings();
    void entryWithoutAddressIsNotSet();
    void resultFollowsAMovedServer();
    void removedServerGetsNothing();
    void addingServersMeanwhileKeepsTheTarget();
    void supersededFetchIsDropped();
    void supersededFetchLosesToALaterAnswer();
    void changesAreAnnouncedForTheServerWritten();
    void endingServiceAbandonsItsFetches();

private:
    void WaitForState(int index, TRSSState state);
    // Starts the fetch of the entry in row `index`, as the news view asks for it: by identity.
    void Start(int index) { news_->StartRSSLoad(Servers[static_cast<std::size_t>(index)].Id); }
    int Running() const { return news_->RunningRSSFetches(); }
    // The identities newsChanged named since the last look, in order.
    QList<std::uint64_t> TakeChanges();

    std::optional<TScratchIni> scratch_;
    std::optional<TLoopbackHttpServer> server_;
    std::optional<TNewsService> news_;
    QList<std::uint64_t> changes_;
};

void TestRss::init()
{
    scratch_.emplace();
    server_.emplace();
    QVERIFY(server_->Listen());
    news_.emplace();
    changes_.clear();
    connect(&*news_, &TNewsService::newsChanged, this, [this](std::uint64_t id) { changes_.append(id); });
}

void TestRss::cleanup()
{
    news_.reset(); // ends the fetches still running
    server_.reset();
    scratch_.reset();
}

QList<std::uint64_t> TestRss::TakeChanges()
{
    QList<std::uint64_t> changes;
    changes.swap(changes_);
    return changes;
}

void TestRss::WaitForState(int index, TRSSState state)
{
    QTRY_COMPARE_WITH_TIMEOUT(int(Servers[index].RSSState), int(state), kWaitMs);
}

void TestRss::addsHttpPrefix_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("completed");
    QTest::newRow("bare host") << "example.org/news"
                               << "http://example.org/news";
    QTest::newRow("http") << "http://example.org"
                          << "http://example.org";
    QTest::newRow("HTTP in capitals") << "HTTP://EXAMPLE.ORG"
                                      << "HTTP://EXAMPLE.ORG";
    QTest::newRow("https") << "https://example.org"
                           << "https://example.org";
    QTest::newRow("HTTPS mixed case") << "HtTpS://example.org"
                                      << "HtTpS://example.org";
    QTest::newRow("file") << "file:///etc/passwd"
                          << "http://file:///etc/passwd";
    QTest::newRow("javascript") << "javascript:alert(1)"
                                << "http://javascript:alert(1)";
    QTest::newRow("mailto") << "mailto:a@b.c"
                            << "http://mailto:a@b.c";
    QTest::newRow("ftp") << "ftp://example.org"
                         << "http://ftp://example.org";
    QTest::newRow("http without slashes") << "http:example.org"
                                          << "http://http:example.org";
    QTest::newRow("https cut short") << "https:/x"
                                     << "http://https:/x";
    QTest::newRow("shorter than the prefix") << "http"
                                             << "http://http";
    QTest::newRow("empty") << ""
                           << "http://";
    QTest::newRow("leading blank") << " http://x"
                                   << "http:// http://x";
}

void TestRss::addsHttpPrefix()
{
    QFETCH(QString, address);
    QFETCH(QString, completed);
    QCOMPARE(QString::fromStdString(AddHttpPrefix(address.toStdString())), completed);
}

void TestRss::buildsPages_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("all three") << "T"
                               << "D"
                               << "http://x/1"
                               << QStringList{"<html><body>",  "<a href=\"http://x/1\">", "<b>T</b>", "</a><br />", "D",
                                              "</body></html>"};
    QTest::newRow("link without title shows the link")
        << ""
        << "D"
        << "x/2" << QStringList{"<html><body>", "<a href=\"x/2\">", "x/2", "</a><br />", "D", "</body></html>"};
    QTest::newRow("description only") << ""
                                      << "D"
                                      << "" << QStringList{"<html><body>", "<b></b><br />", "D", "</body></html>"};
    QTest::newRow("title only") << "T"
                                << ""
                                << "" << QStringList{"<html><body>", "<b>T</b><br />", "", "</body></html>"};
    QTest::newRow("markup taken over unchanged")
        << "a < b & \"c\""
        << "<p>line<br>two</p>\nthree"
        << "http://x/?a=1&b=\"2\""
        << QStringList{"<html><body>", "<a href=\"http://x/?a=1&b=\"2\"\">", "<b>a < b & \"c\"</b>",
                       "</a><br />",   "<p>line<br>two</p>\nthree",          "</body></html>"};
}

void TestRss::buildsPages()
{
    QFETCH(QString, title);
    QFETCH(QString, description);
    QFETCH(QString, link);
    QFETCH(QStringList, lines);
    const TRSSItem item{title.toStdString(), description.toStdString(), link.toStdString()};
    QStringList got;
    for (const std::string& line : RSSPageLines(item))
        got << QString::fromStdString(line);
    QCOMPARE(got, lines);
    QCOMPARE(QString::fromStdString(RSSPage(item)), lines.join('\n') + '\n');
}

void TestRss::parses_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("pages");

    QTest::newRow("channel items in order")
        << QByteArray("<rss><channel><title>C</title><item><title>A</title><link>l1</link><description>d1</description>"
                      "</item><item><title>B</title></item></channel></rss>")
        << true << Page("A", "d1", "l1") + "|" + Page("B", "", "");
    QTest::newRow("items right below the root")
        << QByteArray("<rdf><item><description>x</description></item></rdf>") << true << Page("", "x", "");
    QTest::newRow("items at any depth")
        << QByteArray("<a><b><c><item><title>deep</title></item></c></b><item><title>up</title></item></a>") << true
        << Page("deep", "", "") + "|" + Page("up", "", "");
    QTest::newRow("empty item skipped")
        << QByteArray("<rss><item/><item><other>x</other></item><item><title>T</title></item></rss>") << true
        << Page("T", "", "");
    QTest::newRow("later child wins") << QByteArray("<rss><item><title>first</title><title>second</title></item></rss>")
                                      << true << Page("second", "", "");
    QTest::newRow("prefixed and differently cased names do not count")
        << QByteArray("<rss xmlns:dc=\"urn:dc\"><item><dc:title>no</dc:title><Title>no</Title><title>yes</title>"
                      "</item></rss>")
        << true << Page("yes", "", "");
    QTest::newRow("CDATA and entities become text")
        << QByteArray("<rss><item><title>a &amp; b</title><description><![CDATA[<p>html</p>]]></description></item>"
                      "</rss>")
        << true << Page("a & b", "<p>html</p>", "");
    QTest::newRow("text of nested markup")
        << QByteArray("<rss><item><title>a<i>b</i>c</title></item></rss>") << true << Page("abc", "", "");
    QTest::newRow("document element itself is not an item")
        << QByteArray("<item><title>root</title></item>") << true << QString();
    QTest::newRow("no items") << QByteArray("<html><body>not a feed</body></html>") << true << QString();
    QTest::newRow("not well-formed") << QByteArray("<rss><item><title>x</item></rss>") << false << QString();
    QTest::newRow("not XML") << QByteArray("Service unavailable") << false << QString();
    QTest::newRow("empty") << QByteArray() << false << QString();
    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY l0 \"ha\">";
    for (int i = 1; i <= 9; ++i)
        laughs += QStringLiteral("<!ENTITY l%1 \"&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;\">")
                      .arg(i)
                      .arg(i - 1)
                      .toLatin1();
    QTest::newRow("entity expansion bomb")
        << laughs + "]><rss><item><title>&l9;</title></item></rss>" << false << QString();
    QTest::newRow("lines joined with CR LF")
        << QByteArray("<?xml version=\"1.0\"?>\r\n<rss>\r\n<item>\r\n<title>T</title>\r\n</item>\r\n</rss>\r\n") << true
        << Page("T", "", "");

    QTest::newRow("atom entries")
        << QByteArray("<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>F</title>"
                      "<entry><title>A</title><link href=\"http://x/a\"/><summary>s</summary></entry>"
                      "<entry><title>B</title><content type=\"html\">&lt;b&gt;c&lt;/b&gt;</content></entry></feed>")
        << true << Page("A", "s", "http://x/a") + "|" + Page("B", "<b>c</b>", "");
    QTest::newRow("atom summary before content")
        << QByteArray("<feed><entry><content>c</content><summary>s</summary></entry></feed>") << true
        << Page("", "s", "");
    QTest::newRow("atom alternate link over others")
        << QByteArray("<feed><entry><title>T</title><link rel=\"self\" href=\"http://x/self\"/>"
                      "<link rel=\"alternate\" href=\"http://x/page\"/><link href=\"http://x/later\"/></entry></feed>")
        << true << Page("T", "", "http://x/page");
    QTest::newRow("atom first link without rel over a later reply link")
        << QByteArray("<feed><entry><title>T</title><link href=\"http://x/page\"/>"
                      "<link rel=\"replies\" href=\"http://x/comments\"/></entry></feed>")
        << true << Page("T", "", "http://x/page");
    QTest::newRow("atom other link when alone")
        << QByteArray("<feed><entry><link rel=\"related\" href=\"http://x/r\"/></entry></feed>") << true
        << Page("", "", "http://x/r");
    QTest::newRow("atom empty entry skipped")
        << QByteArray("<feed><entry><id>1</id></entry><entry><title>T</title></entry></feed>") << true
        << Page("T", "", "");
}

void TestRss::parses()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, ok);
    QFETCH(QString, pages);
    const TRSSParseResult result = ParseRSS(document);
    QCOMPARE(result.Ok, ok);
    QCOMPARE(Pages(result.Pages), pages);
}

void TestRss::readsEncodings_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("title");
    const QByteArray tail = "</title></item></rss>";
    QTest::newRow("windows-1251") << "<?xml version=\"1.0\" encoding=\"windows-1251\"?><rss><item><title>"
                                     "\xcd\xee\xe2\xee\xf1\xf2\xe8" +
                                         tail
                                  << QString::fromUtf8("Новости");
    QTest::newRow("ISO-8859-2") << "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?><rss><item><title>"
                                   "\xbe\xb9\xe8\xf8\xfd" +
                                       tail
                                << QString::fromUtf8("žščřý");
    QTest::newRow("windows-1250") << "<?xml version=\"1.0\" encoding=\"windows-1250\"?><rss><item><title>"
                                     "\x9e\x9a\xe8" +
                                         tail
                                  << QString::fromUtf8("žšč");
    QTest::newRow("UTF-8 declared") << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss><item><title>"
                                       "\xc5\xbe\xe2\x82\xac" +
                                           tail
                                    << QString::fromUtf8("ž€");
    QTest::newRow("UTF-8 undeclared") << "<rss><item><title>\xc5\xbe" + tail << QString::fromUtf8("ž");
    QTest::newRow("ISO-8859-1 lower case") << "<?xml version='1.0' encoding='iso-8859-1'?><rss><item><title>"
                                              "caf\xe9" +
                                                  tail
                                           << QString::fromUtf8("café");
    QString utf16Text =
        QStringLiteral("<rss><item><title>") + QString::fromUtf8("Ωmega") + QStringLiteral("</title></item></rss>");
    QByteArray utf16("\xff\xfe", 2);
    for (QChar c : utf16Text) {
        utf16 += char(c.unicode() & 0xff);
        utf16 += char(c.unicode() >> 8);
    }
    QTest::newRow("UTF-16 with BOM") << utf16 << QString::fromUtf8("Ωmega");
}

void TestRss::readsEncodings()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, title);
    const TRSSParseResult result = ParseRSS(document);
    QVERIFY(result.Ok);
    QCOMPARE(Pages(result.Pages), Page(title.toStdString(), "", ""));
}

void TestRss::agreesWithTheDom_data()
{
    // Every shape above, and some that only a DOM settles; the last two columns are not used here.
    parses_data();
    const QByteArray tricky[] = {
        "<rss><item><title> <b>x</b> y </title><description>   </description></item></rss>",
        "<rss><item><title><![CDATA[ ]]></title></item></rss>",
        "<rss><item><title>a<!--c-->b<?pi x?>c</title></item></rss>",
        "<!DOCTYPE rss [<!ENTITY e \"EE\">]><rss><item><title>a&e;b</title></item></rss>",
        "<rss><item><title>&#65;&amp;&lt;b&gt;</title></item></rss>",
        "<rss><item><title>outer<item><title>inner</title></item></title><link>l</link></item></rss>",
        "<rss><item><item><title>nested</title></item><description>d</description></item></rss>",
        "<rss><channel><item><title>1</title></item></channel><channel><item><link>2</link></item></channel></rss>",
        "<rss><item><title/><description></description><link>only</link></item></rss>",
        "<rss><item><description>a</description><description/></item></rss>",
        "<rss><item title=\"attribute\"><title>element</title></item></rss>",
        "<rss>\r\n<item>\r\n<title>\r\nline one\r\nline two\r\n</title>\r\n</item>\r\n</rss>\r\n",
        "<feed><entry><link href=\"\">text link</link></entry></feed>",
        "<feed><entry><link rel=\"self\" href=\"s\"/><link rel=\"related\" href=\"r\"/></entry></feed>",
        "<feed><entry><entry><title>inner</title></entry><title>outer</title></entry></feed>",
        "<feed><item><title>rss item in a feed</title></item></feed>",
        "<rss><entry><title>atom entry in rss</title></entry></rss>",
        "<rss><item><title>x</title></item></rss><extra/>",
        "<rss><item><title>a\xff\xfe</title></item></rss>",
    };
    int n = 0;
    for (const QByteArray& document : tricky)
        QTest::newRow(qPrintable(QStringLiteral("tricky %1").arg(++n))) << document << true << QString();
}

void TestRss::agreesWithTheDom()
{
    QFETCH(QByteArray, document);
    const TRSSParseResult expected = ParseWithDom(document);
    const TRSSParseResult got = ParseRSS(document);
    QCOMPARE(got.Ok, expected.Ok);
    QCOMPARE(Pages(got.Pages), Pages(expected.Pages));
}

void TestRss::boundsTheChannel_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("pageCount");

    // One entity of 4,000 characters named 6,000 times: 22 KB that would be 24 million characters.
    QTest::newRow("entity named thousands of times")
        << "<!DOCTYPE rss [<!ENTITY e \"" + QByteArray(4000, 'a') + "\">]><rss><item><title>" +
               QByteArray("&e;").repeated(6000) + "</title></item></rss>"
        << false << 0;
    QTest::newRow("small entity named a few times")
        << QByteArray("<!DOCTYPE rss [<!ENTITY e \"EE\">]><rss><item><title>&e;&e;</title></item></rss>") << true << 1;
    QTest::newRow("entities naming entities")
        << "<!DOCTYPE rss [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;\">]><rss><item><title>" +
               QByteArray("&b;").repeated(3000) + "</title></item></rss>"
        << false << 0;
    // Items nested 300,000 deep are read down to the nesting bound; nothing there is finished.
    QTest::newRow("items nested without end")
        << "<rss><item><title>top</title></item>" + QByteArray("<item><title>n</title>").repeated(300000) +
               QByteArray("</item>").repeated(300000) + "</rss>"
        << true << 1;
    QTest::newRow("more items than a channel keeps")
        << "<rss>" + QByteArray("<item><title>n</title></item>").repeated(kMaxRSSItems + 5) + "</rss>" << true
        << kMaxRSSItems;
    // 300 items of 32 KB each hold more text than a channel keeps.
    QTest::newRow("more text than a channel keeps")
        << "<rss>" + ("<item><description>" + QByteArray(32 * 1024, 'w') + "</description></item>").repeated(300) +
               "</rss>"
        << true << -1;
}

void TestRss::boundsTheChannel()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, ok);
    QFETCH(int, pageCount);
    const TRSSParseResult result = ParseRSS(document, {"CUT", nullptr});
    QCOMPARE(result.Ok, ok);
    if (pageCount >= 0)
        QCOMPARE(int(result.Pages.size()), pageCount);
    else
        QVERIFY(!result.Pages.empty() && result.Pages.size() < 300);
    QCOMPARE(result.Cut, !ok || pageCount != 1 || document.contains("<item><title>n"));
    std::size_t kept = 0;
    for (const std::string& page : result.Pages) {
        QVERIFY(page.size() <= kMaxRSSPageBytes + 32);
        kept += page.size();
    }
    QVERIFY(kept <= 2 * kMaxRSSChannelChars);
}

void TestRss::abandonedParseEndsEmpty()
{
    const std::atomic<bool> cancel{true};
    const QByteArray document = "<rss>" + QByteArray("<item><title>n</title></item>").repeated(1000) + "</rss>";
    const TRSSParseResult result = ParseRSS(document, {{}, &cancel});
    QVERIFY(!result.Ok);
    QVERIFY(result.Pages.empty());
    QCOMPARE(int(ParseRSS(document).Pages.size()), 1000);
}

void TestRss::boundsThePage_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray mark = "\n<p>CUT</p>\n";
    const QByteArray zwsp = "\xE2\x80\x8B";
    const QByteArray fits = "<html><body><a href=\"x\"><b>T &amp; U</b></a><br />\n<p>Some text</p>\n</body></html>\n";
    QTest::newRow("a page within the bounds stays as it is") << fits << fits;
    QTest::newRow("a long word gets places to break")
        << "<p>" + QByteArray(450, 'w') + "</p>"
        << "<p>" + QByteArray(200, 'w') + zwsp + QByteArray(200, 'w') + zwsp + QByteArray(50, 'w') + "</p>";
    QTest::newRow("a reference counts as one character and stays whole")
        << "<p>" + QByteArray(199, 'w') + "&amp;x</p>"
        << "<p>" + QByteArray(199, 'w') + "&amp;" + zwsp + "x</p>";
    QTest::newRow("tags and their addresses are never broken")
        << "<a href=\"" + QByteArray(300, 'u') + "\">" + QByteArray(10, 't') + "</a>"
        << "<a href=\"" + QByteArray(300, 'u') + "\">" + QByteArray(10, 't') + "</a>";
    const QByteArray words = QByteArray("word ").repeated(int(kMaxRSSPageBytes / 5));
    QTest::newRow("a long page is cut where its text ends, with the mark")
        << words + "<a href=\"http://x/\">link</a>" + words << words + mark;
    QTest::newRow("a cut in a comment goes back before it")
        << "<p>a</p><!--" + QByteArray(int(kMaxRSSPageBytes), 'c') + "-->"
        << "<p>a</p>" + mark;
    QTest::newRow("tables nest only so deep") << QByteArray("<table><tr><td>").repeated(kMaxRSSTableDepth + 3)
                                              << QByteArray("<table><tr><td>").repeated(kMaxRSSTableDepth) + mark;
    QTest::newRow("so many tags and no more")
        << QByteArray("<i>x</i> ").repeated(300) << QByteArray("<i>x</i> ").repeated(256) + mark;
}

void TestRss::boundsThePage()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, expected);
    const std::string bound = BoundRSSPage(page.toStdString(), "CUT");
    QCOMPARE(QByteArray::fromStdString(bound), expected);
    QVERIFY(bound.size() <= kMaxRSSPageBytes + 16);
    // Found by fuzzing: the breaks of one pass counted as letters in the next, which added more. (A cut page
    // is full to the brim: its mark would not fit again.)
    if (!expected.contains("CUT"))
        QCOMPARE(QByteArray::fromStdString(BoundRSSPage(bound, "CUT")), expected);
}

void TestRss::loadsIntoTheEntry_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("pageCount");
    QTest::newRow("two items") << "/feed" << int(rssLoaded) << 2;
    QTest::newRow("no items") << "/none" << int(rssLoaded) << 0;
    QTest::newRow("404") << "/missing" << int(rssFailed) << 0;
    QTest::newRow("broken XML") << "/broken" << int(rssFailed) << 0;
    QTest::newRow("redirected") << "/moved" << int(rssLoaded) << 2;
    QTest::newRow("dropped") << "/drop" << int(rssFailed) << 0;
    QTest::newRow("larger than the cap") << "/huge" << int(rssFailed) << 0;
}

void TestRss::loadsIntoTheEntry()
{
    QFETCH(QString, path);
    QFETCH(int, state);
    QFETCH(int, pageCount);
    server_->Serve("/feed", "<rss><channel><item><title>1</title></item><item><title>2</title></item></channel></rss>");
    server_->Serve("/none", "<rss><channel/></rss>");
    server_->Serve("/broken", "<rss><item>");
    server_->Redirect("/moved", "/feed");
    THttpRoute drop;
    drop.Drop = true;
    server_->Route("/drop", drop);
    THttpRoute huge;
    huge.Body = "<rss>" + QByteArray(kMaxDownloadToStringsBytes, ' ') + "</rss>";
    server_->Route("/huge", huge);

    // The address as a user types it: without a scheme.
    AddTestServer("A", server_->Url(path).mid(7).toStdString());
    Servers[0].RSSData = {"old page"};
    Start(0);
    QCOMPARE(int(Servers[0].RSSState), int(rssLoading));
    QVERIFY(Servers[0].RSSData.empty());
    QTRY_VERIFY_WITH_TIMEOUT(Servers[0].RSSState != rssLoading, kWaitMs);
    QCOMPARE(int(Servers[0].RSSState), state);
    QCOMPARE(int(Servers[0].RSSData.size()), pageCount);
    QTRY_COMPARE_WITH_TIMEOUT(Running(), 0, kWaitMs);
}

void TestRss::channelsArriveInTheirEncodings()
{
    // Line breaks of every kind, in a one-byte code page and in UTF-16 (two bytes to a line break).
    const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\r\n<rss>\n<item>\r<title>") +
                         QString::fromUtf8("Новости") + QStringLiteral("</title>\r\n</item>\n</rss>\r\n");
    QByteArray utf16("\xff\xfe", 2);
    for (QChar c : text.arg("UTF-16")) {
        utf16 += char(c.unicode() & 0xff);
        utf16 += char(c.unicode() >> 8);
    }
    QStringDecoder check("windows-1251");
    QVERIFY(check.isValid());
    QStringEncoder cp1251("windows-1251");
    const QByteArray windows1251 = cp1251(text.arg("windows-1251"));
    server_->Serve("/utf16", utf16);
    server_->Serve("/cp1251", windows1251);
    AddTestServer("U", server_->Url("/utf16").toStdString());
    AddTestServer("W", server_->Url("/cp1251").toStdString());
    Start(0);
    Start(1);
    QTRY_COMPARE_WITH_TIMEOUT(Running(), 0, kWaitMs);
    for (int i : {0, 1}) {
        QCOMPARE(int(Servers[i].RSSState), int(rssLoaded));
        QCOMPARE(Pages(Servers[i].RSSData), Page("Новости", "", ""));
    }
}

void TestRss::entryWithoutAddressIsNotSet()
{
    AddTestServer("A", "");
    Servers[0].RSSData = {"old page"};
    Start(0);
    QCOMPARE(int(Servers[0].RSSState), int(rssNotSet));
    QVERIFY(Servers[0].RSSData.empty());
    QCOMPARE(TakeChanges(), QList<std::uint64_t>{Servers[0].Id});
    QCOMPARE(Running(), 0);
    // Identities that name no server: ignored.
    news_->StartRSSLoad(0);
    news_->StartRSSLoad(Servers[0].Id + 1);
    QVERIFY(TakeChanges().isEmpty());
    QCOMPARE(int(Servers[0].RSSState), int(rssNotSet));
}

void TestRss::resultFollowsAMovedServer()
{
    THttpRoute late;
    late.DelayMs = 300;
    late.Body = "<rss><item><title>A news</title></item></rss>";
    server_->Route("/a", late);
    AddTestServer("A", server_->Url("/a").toStdString());
    AddTestServer("B", "");
    Start(0);
    QVERIFY(SwapServers(0, 1));
    WaitForState(1, rssLoaded);
    QCOMPARE(Servers[1].Name, std::string("A"));
    QCOMPARE(Servers[1].RSSData.size(), std::size_t(1));
    QCOMPARE(int(Servers[0].RSSState), int(rssNotLoaded));
    QVERIFY(Servers[0].RSSData.empty());
}

void TestRss::removedServerGetsNothing()
{
    THttpRoute late;
    late.DelayMs = 300;
    late.Body = "<rss><item><title>A news</title></item></rss>";
    server_->Route("/a", late);
    AddTestServer("A", server_->Url("/a").toStdString());
    AddTestServer("B", "");
    Start(0);
    Servers.erase(Servers.begin());
    QTRY_COMPARE_WITH_TIMEOUT(Running(), 0, kWaitMs);
    QCOMPARE(int(Servers[0].RSSState), int(rssNotLoaded));
    QVERIFY(Servers[0].RSSData.empty());
}

void TestRss::addingServersMeanwhileKeepsTheTarget()
{
    THttpRoute late;
    late.DelayMs = 300;
    late.Body = "<rss><item><title>B news</title></item></rss>";
    server_->Route("/b", late);
    AddTestServer("A", "");
    AddTestServer("B", server_->Url("/b").toStdString());
    Start(1);
    // Enough entries to move the array in memory, one of them placed before B.
    for (int i = 0; i < 100; ++i)
        AddTestServer("S" + std::to_string(i), "");
    std::rotate(Servers.begin(), Servers.end() - 1, Servers.end());
    QTRY_COMPARE_WITH_TIMEOUT(Running(), 0, kWaitMs);
    const int b = IndexOfServerId(Servers[2].Id);
    QCOMPARE(Servers[b].Name, std::string("B"));
    QCOMPARE(int(Servers[b].RSSState), int(rssLoaded));
    for (const TServer& s : Servers)
        QVERIFY(s.Name == "B" || s.RSSData.empty());
}

void TestRss::supersededFetchIsDropped()
{
    // The address changed while the old channel was still loading: the old one ends last but loses.
    THttpRoute slow;
    slow.DelayMs = 600;
    slow.Body = "<rss><item><title>old</title></item></rss>";
    server_->Route("/old", slow);
    server_->Serve("/new", "<rss><item><title>new</title></item></rss>");
    AddTestServer("A", server_->Url("/old").toStdString());
    Start(0);
    Servers[0].RSSUrl = server_->Url("/new").toStdString();
    Start(0);
    QTRY_COMPARE_WITH_TIMEOUT(Running(), 0, kWaitMs);
    QCOMPARE(int(Servers[0].RSSState), int(rssLoaded));
    QCOMPARE(Pages(Servers[0].RSSData), Page("new", "", ""));
}

void TestRss::supersededFetchLosesToALaterAnswer()
{
    // The old channel answers first, the new one later: the new one's news stay, the old never show.
    THttpRoute old;
    old.DelayMs = 100;
    old.Body = "<rss><item><title>old</title></item></rss>";
    server_->Route("/old", old);
    THttpRoute late;
    late.DelayMs = 800;
    late.Body = "<rss><item><title>new</title></item></rss>";
    server_->Route("/new", late);
    AddTestServer("A", server_->Url("/old").toStdString());
    Start(0);
    Servers[0].RSSUrl = server_->Url("/new").toStdString();
    Start(0);
    TakeChanges();
    QTest::qWait(400);
    QCOMPARE(int(Servers[0].RSSState), int(rssLoading));
    QVERIFY(Servers[0].RSSData.empty());
    QVERIFY(TakeChanges().isEmpty());
    WaitForState(0, rssLoaded);
    QCOMPARE(Pages(Servers[0].RSSData), Page("new", "", ""));
    QTRY_COMPARE_WITH_TIMEOUT(Running(), 0, kWaitMs);
}

void TestRss::changesAreAnnouncedForTheServerWritten()
{
    server_->Serve("/feed", "<rss><item><title>x</title></item></rss>");
    AddTestServer("A", server_->Url("/feed").toStdString());
    AddTestServer("B", server_->Url("/feed").toStdString());
    const std::uint64_t a = Servers[0].Id;
    // Once when the entry is emptied and marked loading ("Loading..."), once when the pages have landed.
    Start(0);
    QCOMPARE(TakeChanges(), QList<std::uint64_t>{a});
    QTRY_COMPARE_WITH_TIMEOUT(Running(), 0, kWaitMs);
    QCOMPARE(TakeChanges(), QList<std::uint64_t>{a});
    QCOMPARE(int(Servers[0].RSSState), int(rssLoaded));
    QCOMPARE(int(Servers[1].RSSState), int(rssNotLoaded));

    // After the window has closed, fetches that end leave everything alone.
    Start(1);
    TakeChanges();
    AppClosing = true;
    QTRY_COMPARE_WITH_TIMEOUT(Running(), 0, kWaitMs);
    AppClosing = false;
    QVERIFY(TakeChanges().isEmpty());
    QCOMPARE(int(Servers[1].RSSState), int(rssLoading));
}

void TestRss::endingServiceAbandonsItsFetches()
{
    THttpRoute late;
    late.DelayMs = 300;
    late.Body = "<rss><item><title>late</title></item></rss>";
    server_->Route("/late", late);
    AddTestServer("A", server_->Url("/late").toStdString());
    Start(0);
    QCOMPARE(Running(), 1);
    news_.reset();
    QTest::qWait(600);
    QCOMPARE(int(Servers[0].RSSState), int(rssLoading));
    QVERIFY(Servers[0].RSSData.empty());
}

QTEST_GUILESS_MAIN(TestRss)
#include "test_rss.moc"
