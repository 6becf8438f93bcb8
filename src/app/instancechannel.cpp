#include "app/instancechannel.h"

#include "core/globaltypes_u.h"
#include "platform/instance.h"

#include <QSocketNotifier>
#include <QTimer>

namespace {

// A running copy answers a request to bring its window up at once and takes a play at once; this only
// bounds a copy that is stuck or still starting up.
constexpr int kAnswerDeadlineMs = 20000;
constexpr int kReplySendMs = 1000;
constexpr std::size_t kReadChunk = 1024;
// The running copy ended while it played the server: whether the game started is not known.
constexpr int kExitHandOverLost = 1;

} // namespace

TInstanceChannel::TInstanceChannel(int channel, int requestDeadlineMs, QObject* parent)
    : QObject(parent), listening_(new QSocketNotifier(channel, QSocketNotifier::Read, this)),
      requestDeadlineMs_(requestDeadlineMs)
{
    connect(listening_, &QSocketNotifier::activated, this, &TInstanceChannel::AcceptPeers);
}

TInstanceChannel::~TInstanceChannel()
{
    for (auto& [id, peer] : peers_) {
        peer.Readable.reset();
        platform::CloseChannelSocket(peer.Fd);
    }
}

void TInstanceChannel::AcceptPeers()
{
    for (;;) {
        const platform::TChannelPeer accepted = platform::AcceptChannelPeer(listening_->socket());
        if (accepted.Refused)
            continue;
        if (accepted.Fd < 0)
            return;
        const std::uint64_t id = nextId_++;
        TPeer& peer = peers_[id];
        peer.Fd = accepted.Fd;
        peer.Readable = std::make_unique<QSocketNotifier>(accepted.Fd, QSocketNotifier::Read);
        connect(peer.Readable.get(), &QSocketNotifier::activated, this, [this, id] { ReadPeer(id); });
        // A peer that says nothing, or too little, is not waited for.
        peer.Deadline = std::make_unique<QTimer>();
        peer.Deadline->setSingleShot(true);
        connect(peer.Deadline.get(), &QTimer::timeout, this, [this, id] { DropPeer(id); });
        peer.Deadline->start(requestDeadlineMs_);
    }
}

void TInstanceChannel::ReadPeer(std::uint64_t id)
{
    auto found = peers_.find(id);
    if (found == peers_.end())
        return;
    TPeer& peer = found->second;
    std::optional<std::string> bytes = platform::ReceiveNow(peer.Fd, kReadChunk);
    if (!bytes)
        return;
    // The end of the stream before a whole request, or more than one request's worth.
    if (bytes->empty() || !peer.Reader.Feed(*bytes)) {
        DropPeer(id);
        return;
    }
    std::optional<std::string> line = peer.Reader.TakeLine();
    if (!line)
        return;
    std::optional<TInstanceRequest> request = ParseRequest(*line);
    if (!request) {
        DropPeer(id);
        return;
    }
    peer.Request = std::move(request);
    peer.Readable->setEnabled(false);
    peer.Deadline->stop();
    waiting_.push_back(id);
    // Queued: an answer may open dialogs, whose own loops must not run inside this socket's handler.
    QMetaObject::invokeMethod(this, &TInstanceChannel::DispatchNext, Qt::QueuedConnection);
}

void TInstanceChannel::DispatchNext()
{
    if (inHand_ != 0 || waiting_.empty())
        return;
    inHand_ = waiting_.front();
    waiting_.pop_front();
    const TInstanceRequest request = *peers_.at(inHand_).Request;
    emit requestReceived(inHand_, request);
}

void TInstanceChannel::Reply(std::uint64_t id, const TInstanceReply& reply)
{
    auto found = peers_.find(id);
    if (found == peers_.end())
        return;
    const bool done = reply.Kind == TInstanceReply::TKind::Done;
    // A peer that reads nothing gets dropped rather than holding the window.
    if (!platform::SendAll(found->second.Fd, EncodeReply(reply), kReplySendMs) || done)
        DropPeer(id);
}

void TInstanceChannel::DropPeer(std::uint64_t id)
{
    auto found = peers_.find(id);
    if (found == peers_.end())
        return;
    // Deleted later: this may run inside the peer's own notifier or timer.
    found->second.Readable->setEnabled(false);
    found->second.Readable.release()->deleteLater();
    found->second.Deadline.release()->deleteLater();
    platform::CloseChannelSocket(found->second.Fd);
    peers_.erase(found);
    std::erase(waiting_, id);
    if (inHand_ == id) {
        inHand_ = 0;
        QMetaObject::invokeMethod(this, &TInstanceChannel::DispatchNext, Qt::QueuedConnection);
    }
}

namespace {

// The next whole answer on `socket`, waiting at most `timeoutMs` (-1: as long as the peer lives); `silent`
// is set when the time ran out.
std::optional<TInstanceReply> ReadReply(int socket, TInstanceLineReader& reader, int timeoutMs, bool& silent)
{
    for (;;) {
        if (std::optional<std::string> line = reader.TakeLine())
            return ParseReply(*line);
        if (reader.Faulty())
            return std::nullopt;
        if (!platform::WaitReadable(socket, timeoutMs)) {
            silent = true;
            return std::nullopt;
        }
        std::optional<std::string> bytes = platform::ReceiveNow(socket, kReadChunk);
        if (bytes && (bytes->empty() || !reader.Feed(*bytes)))
            return std::nullopt;
    }
}

} // namespace

THandOverOutcome HandOverToRunningCopy(const TInstanceRequest& request, std::FILE* err)
{
    THandOverOutcome outcome;
    const std::string line = EncodeRequest(request);
    if (line.empty())
        return outcome;
    const int socket = platform::ConnectToHolder(kSingleInstanceName);
    if (socket < 0)
        return outcome;
    std::optional<TInstanceReply> reply;
    bool accepted = false;
    TInstanceLineReader reader;
    if (platform::SendAll(socket, line, kAnswerDeadlineMs)) {
        reply = ReadReply(socket, reader, kAnswerDeadlineMs, outcome.Silent);
        // A play is taken at once but lasts as long as its dialogs do.
        accepted = reply && reply->Kind == TInstanceReply::TKind::Accepted;
        if (accepted)
            reply = ReadReply(socket, reader, -1, outcome.Silent);
    }
    platform::CloseChannelSocket(socket);
    if (reply && reply->Kind == TInstanceReply::TKind::Done) {
        for (const std::string& message : reply->Messages) {
            std::fwrite(message.data(), 1, message.size(), err);
            std::fputc('\n', err);
        }
        std::fflush(err);
        outcome.Status = reply->Status;
    } else if (accepted) {
        // Once taken, the request may have been carried out in part: it is not tried a second time.
        outcome.Status = kExitHandOverLost;
    }
    return outcome;
}
