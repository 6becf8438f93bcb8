// A server's news as a service: it fetches the server's RSS or Atom channel in the background, makes every
// item a small HTML page of its own (rssparse), writes the pages into the server's entry by identity on
// the main thread and says so with newsChanged. Whoever shows news subscribes; the service knows no window.
#pragma once

#include <QObject>
#include <cstdint>
#include <unordered_map>

class TNewsService : public QObject
{
    Q_OBJECT

public:
    explicit TNewsService(QObject* parent = nullptr);
    // Fetches still running end with the service, their parses too.
    ~TNewsService() override;

    // Empties the news of the server with identity `serverId` and starts fetching its channel (rssLoading),
    // or marks it rssNotSet when it has none; newsChanged follows at once, and again once the fetch's pages
    // have landed. A fetch still running for that server is abandoned, its parse too, so it can never put
    // back old news. Main thread only; an identity that names no server is ignored.
    void StartRSSLoad(std::uint64_t serverId);
    // How many fetches are running: started and neither handed over nor ended.
    int RunningRSSFetches() const { return running_; }

signals:
    // The news of that server (its RSSState and RSSData) was written.
    void newsChanged(std::uint64_t serverId);

private:
    class TFetch;
    // Drops the running fetch of that server, if any: nothing of it reaches the server any more.
    void Abandon(std::uint64_t serverId);

    // The running fetch of each server; the one a later start supersedes is abandoned.
    std::unordered_map<std::uint64_t, TFetch*> latest_;
    int running_ = 0;
};
