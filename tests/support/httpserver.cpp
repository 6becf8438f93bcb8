#include "support/httpserver.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr qsizetype kMaxRequestHead = 64 * 1024;
constexpr int kStopCheckMs = 10;
// An endless body is written a piece at a time, topped up while less than this waits in the socket.
constexpr qint64 kEndlessBacklog = 256 * 1024;

QByteArray ReasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

// One accepted connection: reads the request head, then answers as its route says and closes.
class TConnection : public QObject
{
public:
    TConnection(QTcpSocket* socket, std::shared_ptr<TLoopbackHttpServer::TShared> shared)
        : socket_(socket), shared_(std::move(shared))
    {
        socket_->setParent(this);
        connect(socket_, &QTcpSocket::readyRead, this, [this] { OnReadyRead(); });
        connect(socket_, &QTcpSocket::disconnected, this, [this] { Close(); });
    }

private:
    void OnReadyRead()
    {
        if (answered_)
            return;
        head_ += socket_->readAll();
        const qsizetype end = head_.indexOf("\r\n\r\n");
        if (end < 0) {
            if (head_.size() > kMaxRequestHead)
                Close();
            return;
        }
        answered_ = true;
        const QList<QByteArray> requestLine = head_.left(head_.indexOf("\r\n")).split(' ');
        const QString target = requestLine.size() >= 2 ? QString::fromLatin1(requestLine[1]) : QString();
        THttpRoute route;
        route.Status = 404;
        {
            std::lock_guard<std::mutex> locker(shared_->Lock);
            shared_->Requests.append(target);
            for (const auto& entry : shared_->Routes)
                if (entry.first == target)
                    route = entry.second;
        }
        route_ = route;
        QTimer::singleShot(route_.DelayMs, this, [this] { Answer(); });
    }

    void Answer()
    {
        if (route_.Drop) {
            Close();
            return;
        }
        QByteArray head = "HTTP/1.1 " + QByteArray::number(route_.Status) + ' ' + ReasonPhrase(route_.Status) + "\r\n";
        for (const auto& header : route_.Headers)
            head += header.first + ": " + header.second + "\r\n";
        if (route_.Endless)
            head += "Transfer-Encoding: chunked\r\n";
        else if (!route_.OmitLength)
            head += "Content-Length: " + QByteArray::number(route_.Body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        Write(head);
        if (route_.Endless) {
            const QByteArray chunk = QByteArray::number(route_.Body.size(), 16) + "\r\n" + route_.Body + "\r\n";
            auto topUp = [this, chunk] {
                while (!closing_ && socket_->state() == QAbstractSocket::ConnectedState &&
                       socket_->bytesToWrite() < kEndlessBacklog && Write(chunk)) {
                }
            };
            connect(socket_, &QTcpSocket::bytesWritten, this, topUp);
            topUp();
            return;
        }
        if (route_.ChunkBytes <= 0) {
            Write(route_.Body);
            FinishBody();
            return;
        }
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timer] {
            Write(route_.Body.mid(sent_, route_.ChunkBytes));
            sent_ += route_.ChunkBytes;
            if (sent_ >= route_.Body.size()) {
                timer->stop();
                FinishBody();
            }
        });
        timer->start(route_.ChunkIntervalMs);
    }

    bool Write(const QByteArray& bytes)
    {
        const qint64 written = socket_->write(bytes);
        if (written <= 0)
            return false;
        std::lock_guard<std::mutex> locker(shared_->Lock);
        shared_->BytesSent += written;
        return true;
    }

    void FinishBody()
    {
        socket_->disconnectFromHost();
        if (socket_->state() == QAbstractSocket::UnconnectedState)
            Close();
    }

    void Close()
    {
        if (closing_)
            return;
        closing_ = true;
        socket_->abort();
        deleteLater();
    }

    QTcpSocket* socket_;
    std::shared_ptr<TLoopbackHttpServer::TShared> shared_;
    QByteArray head_;
    THttpRoute route_;
    qsizetype sent_ = 0;
    bool answered_ = false;
    bool closing_ = false;
};

} // namespace

class TServerWorker : public QObject
{
public:
    explicit TServerWorker(std::shared_ptr<TLoopbackHttpServer::TShared> shared) : shared_(std::move(shared)) {}

    quint16 Listen()
    {
        server_ = new QTcpServer(this);
        connect(server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_->nextPendingConnection())
                (new TConnection(socket, shared_))->setParent(this);
        });
        if (!server_->listen(QHostAddress::LocalHost, 0))
            return 0;
        return server_->serverPort();
    }

private:
    std::shared_ptr<TLoopbackHttpServer::TShared> shared_;
    QTcpServer* server_ = nullptr;
};

TLoopbackHttpServer::TLoopbackHttpServer() : shared_(std::make_shared<TShared>()) {}

TLoopbackHttpServer::~TLoopbackHttpServer()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    thread_.join();
}

void TLoopbackHttpServer::Serve()
{
    QEventLoop loop;
    TServerWorker worker(shared_);
    const quint16 port = worker.Listen();
    {
        std::lock_guard<std::mutex> lock(startLock_);
        port_ = port;
        ready_ = true;
    }
    started_.notify_all();
    if (!port)
        return;
    // The owner asks to stop through a flag, not through Qt's event queue, whose locks
    // ThreadSanitizer cannot see.
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, &loop, [this, &loop] {
        if (stopping_)
            loop.quit();
    });
    stopCheck.start(kStopCheckMs);
    loop.exec();
}

bool TLoopbackHttpServer::Listen()
{
    if (thread_.joinable())
        return port_ != 0;
    thread_ = std::thread([this] { Serve(); });
    std::unique_lock<std::mutex> lock(startLock_);
    started_.wait(lock, [this] { return ready_; });
    return port_ != 0;
}

quint16 TLoopbackHttpServer::Port() const
{
    return port_;
}

QString TLoopbackHttpServer::Url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

void TLoopbackHttpServer::Route(const QString& path, const THttpRoute& route)
{
    std::lock_guard<std::mutex> locker(shared_->Lock);
    for (auto& entry : shared_->Routes) {
        if (entry.first == path) {
            entry.second = route;
            return;
        }
    }
    shared_->Routes.append({path, route});
}

void TLoopbackHttpServer::Serve(const QString& path, const QByteArray& body, const QByteArray& contentType)
{
    THttpRoute route;
    route.Body = body;
    route.Headers.append(qMakePair(QByteArray("Content-Type"), contentType));
    Route(path, route);
}

void TLoopbackHttpServer::Redirect(const QString& path, const QString& location, int status)
{
    THttpRoute route;
    route.Status = status;
    route.Headers.append(qMakePair(QByteArray("Location"), location.toUtf8()));
    Route(path, route);
}

QStringList TLoopbackHttpServer::Requests() const
{
    std::lock_guard<std::mutex> locker(shared_->Lock);
    return shared_->Requests;
}

int TLoopbackHttpServer::Hits(const QString& path) const
{
    return Requests().count(path);
}

qint64 TLoopbackHttpServer::BytesSent() const
{
    std::lock_guard<std::mutex> locker(shared_->Lock);
    return shared_->BytesSent;
}
