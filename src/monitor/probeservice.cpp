#include "monitor/probeservice.h"

#include "core/globaltypes_u.h"
#include "core/servers_u.h"
#include "core/settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <algorithm>
#include <charconv>
#include <utility>

namespace {

// Outcomes handed to the main thread in one turn of its event loop; the rest wait for the next turn,
// so that a long list never holds the window up for long.
constexpr std::size_t kOutcomesPerTurn = 2048;
// ProbeAllServers starts connects in slices of this long; between slices the event loop runs.
constexpr qint64 kStartSliceMs = 5;

} // namespace

TServerAddress SplitServerAddress(const std::string& address)
{
    TServerAddress result;
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos) {
        result.Host = address;
        return result;
    }
    result.Host = address.substr(0, colon);
    std::string_view portText = std::string_view(address).substr(colon + 1);
    if (!portText.empty() && portText.front() == '+')
        portText.remove_prefix(1);
    std::int32_t value = 0;
    const char* end = portText.data() + portText.size();
    auto [stop, error] = std::from_chars(portText.data(), end, value);
    if (!portText.empty() && error == std::errc() && stop == end)
        result.Port = static_cast<std::uint16_t>(static_cast<std::uint32_t>(value));
    return result;
}

TProbeRun::TProbeRun(std::uint64_t ticket, std::uint64_t serverId, const std::string& address, std::int32_t timeoutMs)
    : Ticket(ticket), ServerId(serverId), address_(SplitServerAddress(address)), timeoutMs_(timeoutMs)
{
}

TConnectOrder TProbeRun::ConnectOrder() const
{
    TConnectOrder order;
    order.Ticket = Ticket;
    order.Host = address_.Host;
    order.Port = address_.Port;
    order.TimeoutMs = timeoutMs_;
    return order;
}

TEchoOrder TProbeRun::EchoOrder(const platform::TNetAddress& peer) const
{
    TEchoOrder order;
    order.Ticket = Ticket;
    order.Peer = peer;
    order.TimeoutMs = timeoutMs_;
    return order;
}

TProbeService::TProbeService(TProbeTimeoutSource timeoutMs, QObject* parent)
    : QObject(parent), timeoutMs_(std::move(timeoutMs))
{
}

TProbeService::~TProbeService()
{
    // The notifier watches a handle of the engine, so it goes first.
    outcomeNotifier_.reset();
    engine_.reset();
}

TProbeEngine& TProbeService::Engine()
{
    if (!engine_) {
        engine_ = std::make_unique<TProbeEngine>(icmpMode_);
        engineMode_ = icmpMode_;
        outcomeNotifier_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(engine_->OutcomeSignal().Handle()),
                                                             QSocketNotifier::Read);
        connect(outcomeNotifier_.get(), &QSocketNotifier::activated, this, &TProbeService::Deliver);
    }
    return *engine_;
}

void TProbeService::RenewIdleEngine()
{
    if (engine_ && (engineMode_ != icmpMode_ || dropped_) && runs_.empty()) {
        outcomeNotifier_.reset();
        engine_.reset();
        pending_.clear();
        dropped_ = false;
    }
}

TServer* TProbeService::EntryOf(std::uint64_t serverId)
{
    auto lookup = [&]() -> TServer* {
        auto it = indexById_.find(serverId);
        if (it == indexById_.end() || it->second >= Servers.size() || Servers[it->second].Id != serverId)
            return nullptr;
        return &Servers[it->second];
    };
    if (TServer* entry = lookup())
        return entry;
    indexById_.clear();
    indexById_.reserve(Servers.size());
    for (std::size_t i = 0; i < Servers.size(); ++i)
        indexById_.emplace(Servers[i].Id, i);
    return lookup();
}

TProbeRun& TProbeService::NewRun(TServer& entry)
{
    entry.Status = ssChecking;
    entry.Ping = kPingNone;
    // A probe needs a sensible bound even when the value was set around the settings store.
    const std::int32_t timeout = std::clamp(timeoutMs_ ? timeoutMs_() : kDefaultTimeout, kMinTimeout, kMaxTimeout);
    auto run = std::make_unique<TProbeRun>(++lastTicket_, entry.Id, entry.Address, timeout);
    TProbeRun& result = *run;
    runs_.emplace(result.Ticket, std::move(run));
    return result;
}

void TProbeService::StartProbe(std::uint64_t serverId)
{
    TServer* entry = EntryOf(serverId);
    if (!entry)
        return;
    RenewIdleEngine();
    const TConnectOrder order = NewRun(*entry).ConnectOrder();
    emit serverProbed(serverId);
    Engine().Connect(order);
}

void TProbeService::ProbeAllServers()
{
    // Started in slices: each slice's connects go to the engine together; between slices the event loop
    // takes its messages, so a long list never freezes the window.
    RenewIdleEngine();
    QElapsedTimer slice;
    std::vector<TConnectOrder> orders;
    std::vector<std::uint64_t> started;
    // Messages processed between slices may change the list, so its length is read each time. A close
    // taken between slices ends the round's starts: nobody would see their results.
    for (std::size_t i = 0; i < Servers.size() && !AppClosing;) {
        slice.start();
        for (; i < Servers.size() && !slice.hasExpired(kStartSliceMs); ++i) {
            orders.push_back(NewRun(Servers[i]).ConnectOrder());
            started.push_back(Servers[i].Id);
        }
        Engine().Connect(std::exchange(orders, {}));
        for (std::uint64_t id : std::exchange(started, {}))
            emit serverProbed(id);
        QCoreApplication::processEvents();
    }
}

void TProbeService::DropWaitingProbes()
{
    dropped_ = true;
    if (engine_)
        engine_->DropWaiting();
}

int TProbeService::RunningCount() const
{
    return static_cast<int>(runs_.size());
}

void TProbeService::SetIcmpMode(platform::TIcmpMode mode)
{
    icmpMode_ = mode;
}

void TProbeService::Deliver()
{
    if (!engine_)
        return;
    engine_->OutcomeSignal().Clear();
    std::vector<TProbeOutcome> taken = engine_->TakeOutcomes();
    pending_.insert(pending_.end(), taken.begin(), taken.end());
    const std::size_t count = std::min(pending_.size(), kOutcomesPerTurn);
    for (std::size_t i = 0; i < count; ++i)
        Apply(pending_[i]);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    // The rest in the next turn, after whatever else the window has to do.
    if (!pending_.empty())
        QMetaObject::invokeMethod(this, &TProbeService::Deliver, Qt::QueuedConnection);
    Publish();
}

void TProbeService::Apply(const TProbeOutcome& outcome)
{
    auto it = runs_.find(outcome.Ticket);
    if (it == runs_.end())
        return;
    TProbeRun& run = *it->second;
    switch (outcome.Kind) {
    case TProbeOutcome::TKind::Connected:
        Connected(run, outcome);
        break;
    case TProbeOutcome::TKind::Echoed:
        Echoed(run, outcome.PingMs);
        break;
    case TProbeOutcome::TKind::Dropped:
        // Given up at the program's end before it could finish; nobody hears of it.
        Forget(run.Ticket);
        break;
    }
}

void TProbeService::Connected(TProbeRun& run, const TProbeOutcome& outcome)
{
    TServer* entry = EntryOf(run.ServerId);
    // A removed entry still learns its state, but nobody hears of it and it is not pinged.
    if (entry)
        entry->Status = outcome.Online ? ssOnline : ssOffline;
    if (!entry || entry->Deleted) {
        Complete(run);
        return;
    }
    Probed(run.ServerId);
    // At the program's end a round trip would be measured for nobody.
    if (!outcome.Online || dropped_) {
        Complete(run);
        return;
    }
    Engine().Echo(run.EchoOrder(outcome.Peer));
}

void TProbeService::Echoed(TProbeRun& run, std::int32_t pingMs)
{
    if (TServer* entry = EntryOf(run.ServerId))
        entry->Ping = pingMs == 0 ? 1 : pingMs;
    Complete(run);
}

void TProbeService::Complete(TProbeRun& run)
{
    const TServer* entry = EntryOf(run.ServerId);
    if (entry && !entry->Deleted) {
        Probed(run.ServerId);
        finished_.push_back(run.ServerId);
    }
    Forget(run.Ticket);
}

void TProbeService::Forget(std::uint64_t ticket)
{
    runs_.erase(ticket);
}

void TProbeService::Probed(std::uint64_t serverId)
{
    if (probedSet_.insert(serverId).second)
        probed_.push_back(serverId);
}

void TProbeService::Publish()
{
    // Taken first: a subscriber may start a probe, whose own signals must not be mixed into this batch.
    const std::vector<std::uint64_t> probed = std::exchange(probed_, {});
    const std::vector<std::uint64_t> finished = std::exchange(finished_, {});
    probedSet_.clear();
    for (std::uint64_t id : probed)
        emit serverProbed(id);
    for (std::uint64_t id : finished)
        emit probeFinished(id);
}
