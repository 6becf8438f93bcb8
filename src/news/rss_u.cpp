#include "news/rss_u.h"

#include "core/servers_u.h"
#include "monitor/download_u.h"

#include <QFutureWatcher>
#include <QObject>
#include <QXmlStreamReader>
#include <QtConcurrent/QtConcurrentRun>
#include <optional>
#include <unordered_map>

namespace {

constexpr const char* kHttpPrefix = "http://";
constexpr const char* kHttpsPrefix = "https://";
constexpr const char* kPageLineBreak = "\n";
constexpr int kRSSFetchDeadlineMs = 60000;

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

enum class TField : std::uint8_t
{
    None,
    Title,
    Description,
    Link,
    Summary,
    Content,
};

// An item (or Atom entry) whose end tag has not come yet; items may nest, so there may be several.
struct TOpenItem
{
    int Depth = 0;
    std::size_t Slot = 0; // its place in document order
    TRSSItem Item;
    std::string Summary;
    std::string Content;
    bool HavePageLink = false;
    // The child element whose text is being collected, at any depth below it.
    TField Field = TField::None;
    int FieldDepth = -1;
    QString Text;
};

TField FieldOf(QStringView name, bool atom)
{
    if (name == QLatin1String("title"))
        return TField::Title;
    if (name == QLatin1String("link"))
        return TField::Link;
    if (!atom)
        return name == QLatin1String("description") ? TField::Description : TField::None;
    if (name == QLatin1String("summary"))
        return TField::Summary;
    if (name == QLatin1String("content"))
        return TField::Content;
    return TField::None;
}

void Store(TOpenItem& open)
{
    std::string text = Utf8(open.Text);
    switch (open.Field) {
    case TField::Title:
        open.Item.Title = std::move(text);
        break;
    case TField::Description:
        open.Item.Description = std::move(text);
        break;
    case TField::Link:
        open.Item.Link = std::move(text);
        break;
    case TField::Summary:
        open.Summary = std::move(text);
        break;
    case TField::Content:
        open.Content = std::move(text);
        break;
    case TField::None:
        break;
    }
    open.Field = TField::None;
    open.FieldDepth = -1;
    open.Text.clear();
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
        TDownloadLimits limits;
        limits.MaxBytes = kMaxDownloadToStringsBytes;
        // A channel that trickles in forever would show "Loading..." forever, with no retry link.
        limits.DeadlineMs = kRSSFetchDeadlineMs;
        // The body goes to the parser as it came. Splitting it into lines and joining them again with CR LF
        // gives an XML reader nothing new (it reads every line end as LF), but it would tear apart a
        // channel written in UTF-16, whose line ends are two bytes wide.
        DownloadToBytes(
            QString::fromStdString(url), this,
            [this](bool ok, const QByteArray& document) {
                if (!ok) {
                    HandOver(rssFailed, {});
                    return;
                }
                auto* watcher = new QFutureWatcher<TRSSParseResult>(this);
                connect(watcher, &QFutureWatcher<TRSSParseResult>::finished, this, [this, watcher] {
                    TRSSParseResult result = watcher->result();
                    HandOver(result.Ok ? rssLoaded : rssFailed, std::move(result.Pages));
                });
                watcher->setFuture(QtConcurrent::run(ParseOnWorker, document));
            },
            limits);
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
    // One pass over the document instead of a tree of it: the same reader a DOM would be built with (it
    // takes the encoding from the document's own declaration), at a fraction of the time and memory.
    // Whitespace-only text between tags is left out and CDATA kept, as a DOM's text content has it.
    TRSSParseResult result;
    QXmlStreamReader reader(document);
    reader.setNamespaceProcessing(false);
    std::vector<std::optional<std::string>> pagesInOrder;
    std::vector<TOpenItem> open;
    bool atom = false;
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            const QStringView name = reader.qualifiedName();
            if (depth == 0)
                atom = name == QLatin1String("feed");
            // A child of the innermost open item: one of the texts that make its page?
            if (!open.empty() && open.back().Depth == depth - 1) {
                TOpenItem& item = open.back();
                const TField field = FieldOf(name, atom);
                if (field == TField::Link && atom) {
                    // Atom gives the address as an attribute; the alternate link (or one without a rel) is
                    // the item's page, another kind of link counts only while there is none.
                    if (!item.HavePageLink) {
                        const QStringView rel = reader.attributes().value(QLatin1String("rel"));
                        const QStringView href = reader.attributes().value(QLatin1String("href"));
                        item.HavePageLink = rel.isEmpty() || rel == QLatin1String("alternate");
                        if (!href.isEmpty()) {
                            item.Item.Link = Utf8(href.toString());
                        } else {
                            item.Field = field;
                            item.FieldDepth = depth;
                        }
                    }
                } else if (field != TField::None) {
                    item.Field = field;
                    item.FieldDepth = depth;
                    item.Text.clear();
                }
            }
            if (depth > 0 && name == (atom ? QLatin1String("entry") : QLatin1String("item"))) {
                TOpenItem item;
                item.Depth = depth;
                item.Slot = pagesInOrder.size();
                pagesInOrder.emplace_back();
                open.push_back(std::move(item));
            }
            ++depth;
            break;
        }
        case QXmlStreamReader::Characters:
            if (reader.isWhitespace() && !reader.isCDATA())
                break;
            for (TOpenItem& item : open)
                if (item.FieldDepth >= 0)
                    item.Text += reader.text();
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            for (TOpenItem& item : open)
                if (item.FieldDepth == depth)
                    Store(item);
            if (!open.empty() && open.back().Depth == depth) {
                TOpenItem& item = open.back();
                if (atom)
                    item.Item.Description = item.Summary.empty() ? item.Content : item.Summary;
                if (!item.Item.Title.empty() || !item.Item.Description.empty() || !item.Item.Link.empty())
                    pagesInOrder[item.Slot] = RSSPage(item.Item);
                open.pop_back();
            }
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return result;
    result.Ok = true;
    result.Pages.reserve(pagesInOrder.size());
    for (std::optional<std::string>& page : pagesInOrder)
        if (page)
            result.Pages.push_back(std::move(*page));
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
