// A small HTTP/1.1 server on 127.0.0.1 for tests: each path answers as the test set it up, late, slowly,
// with a redirect, or not at all. It serves from a thread of its own, so a test that blocks (waiting for
// a child process, say) still gets its requests answered. The test and that thread share only what the
// standard mutex guards, so ThreadSanitizer sees every hand-over.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

struct THttpRoute
{
    int Status = 200;
    QList<QPair<QByteArray, QByteArray>> Headers;
    QByteArray Body;
    // Wait before anything is sent.
    int DelayMs = 0;
    // Close the connection after reading the request, without a word.
    bool Drop = false;
    // > 0: the body goes out in pieces of this many bytes, one every ChunkIntervalMs.
    int ChunkBytes = 0;
    int ChunkIntervalMs = 0;
    // No Content-Length: the body ends where the connection closes.
    bool OmitLength = false;
    // A chunked body that never ends: Body again and again, as fast as the client takes it, until it hangs up.
    bool Endless = false;
};

class TLoopbackHttpServer
{
public:
    TLoopbackHttpServer();
    ~TLoopbackHttpServer();
    TLoopbackHttpServer(const TLoopbackHttpServer&) = delete;
    TLoopbackHttpServer& operator=(const TLoopbackHttpServer&) = delete;

    // Listens on a free port of 127.0.0.1; false when it cannot.
    bool Listen();
    quint16 Port() const;
    // "http://127.0.0.1:<port>" followed by `path` (which starts with "/").
    QString Url(const QString& path) const;

    // Paths are matched with their query; a path without a route answers 404.
    void Route(const QString& path, const THttpRoute& route);
    void Serve(const QString& path, const QByteArray& body, const QByteArray& contentType = "text/xml");
    void Redirect(const QString& path, const QString& location, int status = 302);

    // Requests so far, as their targets in order of arrival.
    QStringList Requests() const;
    int Hits(const QString& path) const;
    // Bytes of answer (head and body) handed to the connections so far, all paths together.
    qint64 BytesSent() const;

    struct TShared
    {
        mutable std::mutex Lock;
        QList<QPair<QString, THttpRoute>> Routes;
        QStringList Requests;
        qint64 BytesSent = 0;
    };

private:
    void Serve();

    std::shared_ptr<TShared> shared_;
    std::thread thread_;
    std::mutex startLock_;
    std::condition_variable started_;
    bool ready_ = false;
    std::atomic<bool> stopping_ = false;
    quint16 port_ = 0;
};
