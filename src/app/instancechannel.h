// The single-instance channel: the running copy takes the requests of later starts of the program (bring
// the window up, play a server) from this user's processes only, on the main loop; a later start hands
// its request over and waits for the answer.
#pragma once

#include "core/instancemessage.h"

#include <QObject>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <optional>

class QSocketNotifier;
class QTimer;

class TInstanceChannel : public QObject
{
    Q_OBJECT

public:
    // Watches the listening socket `channel`, which stays its owner's. `requestDeadlineMs` bounds how long a
    // peer may take to send its request.
    explicit TInstanceChannel(int channel, int requestDeadlineMs = 2000, QObject* parent = nullptr);
    ~TInstanceChannel() override;

    // Answers the request of `peer`; a Done answer ends the connection and lets the next request in.
    void Reply(std::uint64_t peer, const TInstanceReply& reply);

signals:
    // One request at a time: the next comes only after this one's Done answer (or its peer is gone).
    void requestReceived(std::uint64_t peer, const TInstanceRequest& request);

private slots:
    void AcceptPeers();

private:
    struct TPeer
    {
        int Fd = -1;
        std::unique_ptr<QSocketNotifier> Readable;
        std::unique_ptr<QTimer> Deadline;
        TInstanceLineReader Reader;
        std::optional<TInstanceRequest> Request;
    };
    void ReadPeer(std::uint64_t id);
    void DropPeer(std::uint64_t id);
    void DispatchNext();

    QSocketNotifier* listening_;
    int requestDeadlineMs_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, TPeer> peers_;
    // Peers whose request is complete, in the order they came; `inHand_` is the one being answered.
    std::deque<std::uint64_t> waiting_;
    std::uint64_t inHand_ = 0;
};

// What became of a request handed to the copy holding the single-instance lock.
struct THandOverOutcome
{
    // The answer's exit status; nothing when no copy took the request.
    std::optional<int> Status{};
    // A copy took the connection but did not answer in time: asking it again is of no use.
    bool Silent = false;
};
// Hands `request` over and waits for the answer; the texts of the messages the running copy showed
// meanwhile are written to `err`.
THandOverOutcome HandOverToRunningCopy(const TInstanceRequest& request, std::FILE* err);
