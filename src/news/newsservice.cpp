#include "news/newsservice.h"

#include "core/localization_u.h"
#include "core/servers_u.h"
#include "monitor/download_u.h"
#include "news/rss_u.h"
#include "news/rssparse_u.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <memory>

namespace {

constexpr int kRSSFetchDeadlineMs = 60000;

// Runs on a worker: it touches nothing but its own text and the flag its fetch may set.
TRSSParseResult ParseOnWorker(QByteArray document, std::string cutMark, std::shared_ptr<std::atomic<bool>> cancel)
{
    TRSSParseOptions options;
    options.CutMark = std::move(cutMark);
    options.Cancel = cancel.get();
    return ParseRSS(document, options);
}

} // namespace

// One fetch of one server's channel, from its start to its hand-over on the main thread. Destroying it
// abandons the download and tells the parse to stop; the worker then ends within a few tokens.
class TNewsService::TFetch : public QObject
{
public:
    TFetch(TNewsService& service, std::uint64_t serverId) : QObject(&service), service_(service), serverId_(serverId)
    {
        ++service_.running_;
        service_.Abandon(serverId_);
        service_.latest_[serverId_] = this;
    }
    ~TFetch() override
    {
        cancel_->store(true, std::memory_order_relaxed);
        const auto latest = service_.latest_.find(serverId_);
        if (latest != service_.latest_.end() && latest->second == this)
            service_.latest_.erase(latest);
        --service_.running_;
    }

    void Abandon()
    {
        cancel_->store(true, std::memory_order_relaxed);
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
        service_.latest_.erase(serverId_);
        // The entry is looked up now: the list may have been reordered or cut while the channel came in.
        TServer* server = ServerById(serverId_);
        if (!server)
            return;
        server->RSSData = std::move(pages);
        server->RSSState = state;
        emit service_.newsChanged(serverId_);
    }

    TNewsService& service_;
    const std::uint64_t serverId_;
    // "The rest of this item was left out": closes a page cut at its bound.
    const std::string cutMark_ = LoadText(TTextId::NewsItemCut);
    const std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
    bool abandoned_ = false;
};

TNewsService::TNewsService(QObject* parent) : QObject(parent) {}

TNewsService::~TNewsService()
{
    // The fetches reach back into the members as they end, so they go while those still stand.
    const QObjectList fetches = children();
    qDeleteAll(fetches);
}

void TNewsService::Abandon(std::uint64_t serverId)
{
    const auto latest = latest_.find(serverId);
    if (latest == latest_.end())
        return;
    TFetch* fetch = latest->second;
    latest_.erase(latest);
    fetch->Abandon();
}

void TNewsService::StartRSSLoad(std::uint64_t serverId)
{
    TServer* server = ServerById(serverId);
    if (!server)
        return;
    FreeRSSDataList(server->RSSData);
    if (!server->RSSUrl.empty()) {
        server->RSSState = rssLoading;
        const std::string url = AddHttpPrefix(server->RSSUrl);
        (new TFetch(*this, serverId))->Start(url);
    } else {
        server->RSSState = rssNotSet;
        Abandon(serverId);
    }
    // Once the window has closed, nobody is shown anything any more.
    if (!AppClosing)
        emit newsChanged(serverId);
}
