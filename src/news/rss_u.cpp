#include "news/rss_u.h"

#include "core/localization_u.h"
#include "core/servers_u.h"
#include "monitor/download_u.h"

#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <memory>
#include <unordered_map>

namespace {

constexpr const char* kHttpPrefix = "http://";
constexpr const char* kHttpsPrefix = "https://";
constexpr int kRSSFetchDeadlineMs = 60000;
// "The rest of this item was left out": closes a page cut at its bound.

class TRSSFetch;

TNewsDisplay Display;
int RunningFetches = 0;
// The running fetch of each server; one that is superseded is abandoned, so it can never put back old news.
std::unordered_map<std::uint64_t, TRSSFetch*> LatestFetch;

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

// Runs on a worker: it touches nothing but its own text and the flag its fetch may set.
TRSSParseResult ParseOnWorker(QByteArray document, std::string cutMark, std::shared_ptr<std::atomic<bool>> cancel)
{
    TRSSParseOptions options;
    options.CutMark = std::move(cutMark);
    options.Cancel = cancel.get();
    return ParseRSS(document, options);
}

// One fetch of one server's channel, from its start to its hand-over on the main thread. Destroying it
// abandons the download and tells the parse to stop; the worker then ends within a few tokens.
class TRSSFetch : public QObject
{
public:
    TRSSFetch(std::uint64_t serverId, QObject* parent) : QObject(parent), serverId_(serverId)
    {
        ++RunningFetches;
        if (const auto latest = LatestFetch.find(serverId_); latest != LatestFetch.end())
            latest->second->Abandon();
        LatestFetch[serverId_] = this;
    }
    ~TRSSFetch() override
    {
        cancel_->store(true, std::memory_order_relaxed);
        const auto latest = LatestFetch.find(serverId_);
        if (latest != LatestFetch.end() && latest->second == this)
            LatestFetch.erase(latest);
        --RunningFetches;
    }

    // Superseded: nothing of it reaches the server any more.
    void Abandon()
    {
        cancel_->store(true, std::memory_order_relaxed);
        LatestFetch.erase(serverId_);
        abandoned_ = true;
        deleteLater();
    }

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
                if (abandoned_)
                    return;
                if (!ok) {
                    HandOver(rssFailed, {});
                    return;
                }
                auto* watcher = new QFutureWatcher<TRSSParseResult>(this);
                connect(watcher, &QFutureWatcher<TRSSParseResult>::finished, this, [this, watcher] {
                    TRSSParseResult result = watcher->result();
                    HandOver(result.Ok ? rssLoaded : rssFailed, std::move(result.Pages));
                });
                watcher->setFuture(QtConcurrent::run(ParseOnWorker, document, cutMark_, cancel_));
            },
            limits);
    }

private:
    void HandOver(TRSSState state, TRSSDataList pages)
    {
        deleteLater();
        if (AppClosing || abandoned_)
            return;
        LatestFetch.erase(serverId_);
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
    const std::string cutMark_ = LoadText(TTextId::NewsItemCut);
    const std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
    bool abandoned_ = false;
};

} // namespace

std::string AddHttpPrefix(const std::string& address)
{
    if (StartsWithNoCase(address, kHttpPrefix) || StartsWithNoCase(address, kHttpsPrefix))
        return address;
    return kHttpPrefix + address;
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
        auto* fetch = new TRSSFetch(server.Id, Display.Context.data());
        fetch->Start(AddHttpPrefix(server.RSSUrl));
    } else {
        server.RSSState = rssNotSet;
        if (const auto latest = LatestFetch.find(server.Id); latest != LatestFetch.end())
            latest->second->Abandon();
    }
    if (!AppClosing && Display.Context && Display.SelectedIndex && Display.SelectedIndex() == index &&
        Display.UpdateRSSBrowser)
        Display.UpdateRSSBrowser();
}

int RunningRSSFetches()
{
    return RunningFetches;
}
