#include "news/rss_u.h"

#include "core/servers_u.h"
#include "monitor/download_u.h"

#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>
#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent/QtConcurrentRun>
#include <unordered_map>

namespace {

constexpr const char* kHttpPrefix = "http://";
constexpr const char* kHttpsPrefix = "https://";
constexpr const char* kPageLineBreak = "\n";

TNewsDisplay Display;
int RunningFetches = 0;
// The newest fetch of each server: an older one that ends later must not put back superseded news.
std::unordered_map<std::uint64_t, std::uint64_t> LatestFetch;
std::uint64_t NextFetchTicket = 1;

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    const std::string_view wanted(prefix);
    if (text.size() < wanted.size())
        return false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const char c = text[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != wanted[i])
            return false;
    }
    return true;
}

std::string Utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// Atom gives the address as an attribute; the alternate link (or one without a rel) is the item's page.
bool IsPageLink(const QDomElement& link)
{
    const QString rel = link.attribute(QStringLiteral("rel"));
    return rel.isEmpty() || rel == QLatin1String("alternate");
}

TRSSItem ReadRSSItem(const QDomElement& element)
{
    TRSSItem item;
    for (QDomNode child = element.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (!child.isElement())
            continue;
        const QString name = child.nodeName();
        if (name == QLatin1String("title"))
            item.Title = Utf8(child.toElement().text());
        else if (name == QLatin1String("description"))
            item.Description = Utf8(child.toElement().text());
        else if (name == QLatin1String("link"))
            item.Link = Utf8(child.toElement().text());
    }
    return item;
}

TRSSItem ReadAtomEntry(const QDomElement& element)
{
    TRSSItem item;
    std::string summary;
    std::string content;
    bool havePageLink = false;
    for (QDomNode child = element.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (!child.isElement())
            continue;
        const QDomElement e = child.toElement();
        const QString name = e.nodeName();
        if (name == QLatin1String("title")) {
            item.Title = Utf8(e.text());
        } else if (name == QLatin1String("summary")) {
            summary = Utf8(e.text());
        } else if (name == QLatin1String("content")) {
            content = Utf8(e.text());
        } else if (name == QLatin1String("link")) {
            // The first page link counts; another kind of link only while there is none.
            if (havePageLink)
                continue;
            const bool pageLink = IsPageLink(e);
            QString href = e.attribute(QStringLiteral("href"));
            if (href.isEmpty())
                href = e.text();
            item.Link = Utf8(href);
            havePageLink = pageLink;
        }
    }
    item.Description = summary.empty() ? content : summary;
    return item;
}

// Runs on a worker: it touches nothing but its own text.
TRSSParseResult ParseOnWorker(QByteArray document)
{
    return ParseRSS(document);
}

// One fetch of one server's channel, from its start to its hand-over on the main thread.
class TRSSFetch : public QObject
{
public:
    TRSSFetch(std::uint64_t serverId, std::uint64_t ticket, QObject* parent)
        : QObject(parent), serverId_(serverId), ticket_(ticket)
    {
        ++RunningFetches;
    }
    ~TRSSFetch() override { --RunningFetches; }

    void Start(const std::string& url)
    {
        DownloadToStrings(QString::fromStdString(url), this, [this](bool ok, const QList<QByteArray>& lines) {
            if (!ok) {
                HandOver(rssFailed, {});
                return;
            }
            // The parser is given the channel's own bytes, so it reads the encoding the document declares.
            QByteArray document;
            qsizetype size = 0;
            for (const QByteArray& line : lines)
                size += line.size() + 2;
            document.reserve(size);
            for (const QByteArray& line : lines) {
                document += line;
                document += "\r\n";
            }
            auto* watcher = new QFutureWatcher<TRSSParseResult>(this);
            connect(watcher, &QFutureWatcher<TRSSParseResult>::finished, this, [this, watcher] {
                TRSSParseResult result = watcher->result();
                HandOver(result.Ok ? rssLoaded : rssFailed, std::move(result.Pages));
            });
            watcher->setFuture(QtConcurrent::run(ParseOnWorker, std::move(document)));
        });
    }

private:
    void HandOver(TRSSState state, TRSSDataList pages)
    {
        deleteLater();
        if (AppClosing)
            return;
        const auto latest = LatestFetch.find(serverId_);
        if (latest == LatestFetch.end() || latest->second != ticket_)
            return;
        LatestFetch.erase(latest);
        const int index = IndexOfServerId(serverId_);
        if (index < 0)
            return;
        TServer& server = Servers[static_cast<std::size_t>(index)];
        server.RSSData = std::move(pages);
        server.RSSState = state;
        if (Display.Context && Display.SelectedIndex && Display.SelectedIndex() == index && Display.UpdateRSSBrowser)
            Display.UpdateRSSBrowser();
    }

    const std::uint64_t serverId_;
    const std::uint64_t ticket_;
};

} // namespace

std::string AddHttpPrefix(const std::string& address)
{
    if (StartsWithNoCase(address, kHttpPrefix) || StartsWithNoCase(address, kHttpsPrefix))
        return address;
    return kHttpPrefix + address;
}

std::vector<std::string> RSSPageLines(const TRSSItem& item)
{
    std::vector<std::string> lines;
    lines.reserve(5);
    lines.emplace_back("<html><body>");
    if (!item.Link.empty()) {
        lines.push_back("<a href=\"" + item.Link + "\">");
        lines.push_back(item.Title.empty() ? item.Link : "<b>" + item.Title + "</b>");
        lines.emplace_back("</a><br />");
    } else {
        lines.push_back("<b>" + item.Title + "</b><br />");
    }
    lines.push_back(item.Description);
    lines.emplace_back("</body></html>");
    return lines;
}

std::string RSSPage(const TRSSItem& item)
{
    std::string page;
    for (const std::string& line : RSSPageLines(item)) {
        page += line;
        page += kPageLineBreak;
    }
    return page;
}

TRSSParseResult ParseRSS(const QByteArray& document)
{
    TRSSParseResult result;
    QDomDocument dom;
    if (!dom.setContent(document))
        return result;
    const QDomElement root = dom.documentElement();
    if (root.isNull())
        return result;
    result.Ok = true;
    const bool atom = root.nodeName() == QLatin1String("feed");
    const QDomNodeList items = root.elementsByTagName(atom ? QStringLiteral("entry") : QStringLiteral("item"));
    result.Pages.reserve(static_cast<std::size_t>(items.size()));
    for (int i = 0; i < items.size(); ++i) {
        const QDomElement element = items.at(i).toElement();
        const TRSSItem item = atom ? ReadAtomEntry(element) : ReadRSSItem(element);
        if (item.Title.empty() && item.Description.empty() && item.Link.empty())
            continue;
        result.Pages.push_back(RSSPage(item));
    }
    return result;
}

void SetNewsDisplay(TNewsDisplay display)
{
    Display = std::move(display);
}

void StartRSSLoad(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= Servers.size())
        return;
    TServer& server = Servers[static_cast<std::size_t>(index)];
    FreeRSSDataList(server.RSSData);
    if (!server.RSSUrl.empty()) {
        server.RSSState = rssLoading;
        const std::uint64_t ticket = NextFetchTicket++;
        LatestFetch[server.Id] = ticket;
        auto* fetch = new TRSSFetch(server.Id, ticket, Display.Context.data());
        fetch->Start(AddHttpPrefix(server.RSSUrl));
    } else {
        server.RSSState = rssNotSet;
        LatestFetch.erase(server.Id);
    }
    if (!AppClosing && Display.Context && Display.SelectedIndex && Display.SelectedIndex() == index &&
        Display.UpdateRSSBrowser)
        Display.UpdateRSSBrowser();
}

int RunningRSSFetches()
{
    return RunningFetches;
}
