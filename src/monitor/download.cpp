#include "monitor/download.h"

#include <QFileDevice>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace {

constexpr int kHttpOk = 200;
// What the network side may hold for us before it stops reading the socket: without a bound it takes in
// all it can while the main thread is busy, and a cap is only checked once the bytes have piled up.
constexpr qint64 kReadBufferBytes = 256 * 1024;

bool IsWebScheme(const QUrl& url)
{
    // QUrl keeps schemes in lower case.
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
           !url.host().isEmpty();
}

bool IsRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Where the accepted body goes: kept whole in memory, or written to the caller's device as it arrives.
class TBodySink
{
public:
    virtual ~TBodySink() = default;
    virtual bool Begin() = 0;
    virtual bool Write(const QByteArray& data) = 0;
    virtual bool End() = 0;
};

class TMemorySink : public TBodySink
{
public:
    bool Begin() override
    {
        Body.clear();
        return true;
    }
    bool Write(const QByteArray& data) override
    {
        Body += data;
        return true;
    }
    bool End() override { return true; }

    QByteArray Body;
};

class TDeviceSink : public TBodySink
{
public:
    explicit TDeviceSink(QIODevice* device) : device_(device) {}

    bool Begin() override
    {
        written_ = 0;
        return device_ && device_->isWritable() && device_->seek(0);
    }
    bool Write(const QByteArray& data) override
    {
        if (!device_ || device_->write(data) != data.size())
            return false;
        written_ += data.size();
        return true;
    }
    bool End() override
    {
        if (!device_)
            return false;
        // A file that held something longer before must not keep its old tail behind the body.
        if (auto* file = qobject_cast<QFileDevice*>(device_.data()))
            return file->resize(written_) && file->flush();
        return true;
    }

private:
    QPointer<QIODevice> device_;
    qint64 written_ = 0;
};

// One download from its request to its single report. Lives on the thread that started it and
// deletes itself once it has reported or its context is gone.
class TDownloadJob : public QObject
{
public:
    using TReport = std::function<void(bool ok)>;

    TDownloadJob(std::unique_ptr<TBodySink> sink, const TDownloadLimits& limits, QObject* context, TReport report)
        : sink_(std::move(sink)), limits_(limits), context_(context), report_(std::move(report))
    {
        timer_.setSingleShot(true);
        timer_.setInterval(limits_.TimeoutMs);
        connect(&timer_, &QTimer::timeout, this, [this] { Finish(false); });
        if (limits_.DeadlineMs > 0) {
            deadline_.setSingleShot(true);
            connect(&deadline_, &QTimer::timeout, this, [this] { Finish(false); });
            deadline_.start(limits_.DeadlineMs);
        }
        // Nobody is left to tell: stop at once rather than finish the transfer for nothing.
        connect(context, &QObject::destroyed, this, [this] { Cancel(); });
    }

    void Start(const QUrl& url)
    {
        if (!IsWebScheme(url)) {
            // Reported from the event loop like every other outcome, never from inside the caller.
            QTimer::singleShot(0, this, [this] { Finish(false); });
            return;
        }
        currentUrl_ = url;
        Request(url);
    }

private:
    void Request(const QUrl& url)
    {
        QNetworkRequest request(url);
        // Redirects are ours to follow, so that their number and their schemes are checked.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        accepting_ = false;
        rejected_ = false;
        reply_ = manager_.get(request);
        reply_->setReadBufferSize(kReadBufferBytes);
        connect(reply_, &QNetworkReply::metaDataChanged, this, [this] { OnMetaData(); });
        connect(reply_, &QNetworkReply::readyRead, this, [this] { OnReadyRead(); });
        connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 bytesReceived) {
            timer_.start();
            if (limits_.MaxBytes >= 0 && bytesReceived > limits_.MaxBytes)
                Finish(false);
        });
        connect(reply_, &QNetworkReply::finished, this, [this] { OnFinished(); });
        timer_.start();
    }

    // Decides on the response head: follow it, refuse it, or take its body.
    void OnMetaData()
    {
        if (finished_ || accepting_ || rejected_ || !reply_)
            return;
        timer_.start();
        const QVariant statusValue = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!statusValue.isValid())
            return; // no response head yet
        const int status = statusValue.toInt();
        if (IsRedirectStatus(status) && reply_->hasRawHeader("Location")) {
            Redirect(reply_->url().resolved(QUrl::fromEncoded(reply_->rawHeader("Location"))));
            return;
        }
        if (status != kHttpOk) {
            rejected_ = true;
            return;
        }
        const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
        if (limits_.MaxBytes >= 0 && length.isValid() && length.toLongLong() > limits_.MaxBytes) {
            Finish(false);
            return;
        }
        if (!sink_->Begin()) {
            Finish(false);
            return;
        }
        accepting_ = true;
    }

    void OnReadyRead()
    {
        if (finished_ || !reply_)
            return;
        if (!accepting_)
            OnMetaData();
        if (finished_)
            return;
        if (rejected_) {
            // The body of a refusal is not wanted, but it must not pile up unread either.
            received_ += reply_->readAll().size();
            if (limits_.MaxBytes >= 0 && received_ > limits_.MaxBytes)
                Finish(false);
            return;
        }
        if (!accepting_)
            return;
        timer_.start();
        const QByteArray data = reply_->readAll();
        received_ += data.size();
        if (limits_.MaxBytes >= 0 && received_ > limits_.MaxBytes) {
            Finish(false);
            return;
        }
        if (!sink_->Write(data))
            Finish(false);
    }

    void OnFinished()
    {
        if (finished_ || !reply_)
            return;
        if (reply_->error() != QNetworkReply::NoError) {
            // A redirect or error status arrives as a finished reply too; its head decides.
            if (!accepting_)
                OnMetaData();
            if (!finished_)
                Finish(false);
            return;
        }
        OnReadyRead();
        if (finished_)
            return;
        if (!accepting_) {
            Finish(false);
            return;
        }
        Finish(sink_->End());
    }

    void Redirect(const QUrl& target)
    {
        DropReply();
        const bool downgrade = limits_.RefuseHttpsToHttp && currentUrl_.scheme() == QLatin1String("https") &&
                               target.scheme() != QLatin1String("https");
        if (++redirects_ > limits_.MaxRedirects || !IsWebScheme(target) || downgrade) {
            Finish(false);
            return;
        }
        received_ = 0;
        currentUrl_ = target;
        Request(target);
    }

    void DropReply()
    {
        if (!reply_)
            return;
        reply_->disconnect(this);
        // A reply that already holds an error is past aborting; deleting it closes it.
        if (!reply_->isFinished() && reply_->error() == QNetworkReply::NoError)
            reply_->abort();
        reply_->deleteLater();
        reply_ = nullptr;
    }

    void Finish(bool ok)
    {
        if (!Stop())
            return;
        if (context_)
            report_(ok);
        deleteLater();
    }

    void Cancel()
    {
        if (Stop())
            deleteLater();
    }

    // Ends the transfer once; false when it had already ended.
    bool Stop()
    {
        if (finished_)
            return false;
        finished_ = true;
        timer_.stop();
        deadline_.stop();
        DropReply();
        return true;
    }

    QNetworkAccessManager manager_{this};
    QTimer timer_{this};
    QTimer deadline_{this};
    QNetworkReply* reply_ = nullptr;
    QUrl currentUrl_;
    std::unique_ptr<TBodySink> sink_;
    TDownloadLimits limits_;
    QPointer<QObject> context_;
    TReport report_;
    qint64 received_ = 0;
    int redirects_ = 0;
    bool accepting_ = false;
    bool rejected_ = false;
    bool finished_ = false;
};

// Runs `call` on the thread of `context`, unless it is gone by then.
void OnContextThread(const QPointer<QObject>& context, std::function<void()> call)
{
    if (!context)
        return;
    QMetaObject::invokeMethod(context.data(), std::move(call), Qt::AutoConnection);
}

} // namespace

QList<QByteArray> SplitLines(const QByteArray& body)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype size = body.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = body[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(body.mid(start, i - start));
        if (c == '\r' && i + 1 < size && body[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(body.mid(start));
    return lines;
}

void DownloadToBytes(const QString& url, QObject* context, std::function<void(bool ok, const QByteArray& body)> done,
                     const TDownloadLimits& limits)
{
    if (!context)
        return;
    auto sink = std::make_unique<TMemorySink>();
    TMemorySink* memory = sink.get();
    QPointer<QObject> target(context);
    auto* job = new TDownloadJob(std::move(sink), limits, context, [memory, target, done = std::move(done)](bool ok) {
        QByteArray body = ok ? std::move(memory->Body) : QByteArray();
        OnContextThread(target, [target, done, ok, body = std::move(body)] {
            if (target)
                done(ok, body);
        });
    });
    job->Start(QUrl(url));
}

void DownloadToStrings(const QString& url, QObject* context,
                       std::function<void(bool ok, const QList<QByteArray>& lines)> done, qint64 maxBytes)
{
    TDownloadLimits limits;
    limits.MaxBytes = maxBytes;
    DownloadToBytes(
        url, context,
        [done = std::move(done)](bool ok, const QByteArray& body) {
            done(ok, ok ? SplitLines(body) : QList<QByteArray>());
        },
        limits);
}

void DownloadToStream(const QString& url, QIODevice* stream, QObject* context, std::function<void(bool ok)> done,
                      qint64 maxBytes)
{
    TDownloadLimits limits;
    limits.MaxBytes = maxBytes;
    DownloadToStream(url, stream, context, std::move(done), limits);
}

void DownloadToStream(const QString& url, QIODevice* stream, QObject* context, std::function<void(bool ok)> done,
                      const TDownloadLimits& limits)
{
    if (!context)
        return;
    QPointer<QObject> target(context);
    auto* job = new TDownloadJob(std::make_unique<TDeviceSink>(stream), limits, context,
                                 [target, done = std::move(done)](bool ok) {
                                     OnContextThread(target, [target, done, ok] {
                                         if (target)
                                             done(ok);
                                     });
                                 });
    job->Start(QUrl(url));
}
