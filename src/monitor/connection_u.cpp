#include "monitor/connection_u.h"

#include "core/servers_u.h"
#include "core/settings_u.h"
#include "monitor/probeengine_u.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QSocketNotifier>
#include <algorithm>
#include <charconv>
#include <deque>
#include <memory>
#include <unordered_map>
#include <utility>

QList<TSocketThread*> RunningProbes;

namespace {

TProbeDisplay Display;
platform::TIcmpMode IcmpMode = platform::TIcmpMode::Auto;
std::unique_ptr<TProbeEngine> Engine;
platform::TIcmpMode EngineMode = platform::TIcmpMode::Auto;
QHash<std::uint64_t, TSocketThread*> ProbesByTicket;
// Where each running probe stands in RunningProbes, so that one leaves it without a search.
QHash<TSocketThread*, qsizetype> RunningPosition;
// Set once the program's end has given up the probes that had not started.
bool ProbesDropped = false;
// Outcomes handed to the main thread in one turn of its event loop; the rest wait for the next turn,
// so that a long list never holds the window up for long.
constexpr std::size_t kOutcomesPerTurn = 2048;

// What a batch of outcomes asks of the window; it gets each at most once per batch.
struct TDisplayRequests
{
    int Selected = -1;
    bool Repaint = false;
    bool Refresh = false;
    bool EnableTimer = false;
};
TDisplayRequests Requests;

// Server id -> index into Servers. Looked-up entries are checked against the array, and the whole map is
// made again when one no longer matches (the list was moved or grew), so a result costs no search.
class TServerIndex
{
public:
    int Find(std::uint64_t id)
    {
        if (int index = Lookup(id); index >= 0)
            return index;
        Rebuild();
        return Lookup(id);
    }

private:
    int Lookup(std::uint64_t id) const
    {
        auto it = map_.find(id);
        if (it == map_.end() || it->second >= Servers.size() || Servers[it->second].Id != id)
            return -1;
        return static_cast<int>(it->second);
    }
    void Rebuild()
    {
        map_.clear();
        map_.reserve(Servers.size());
        for (std::size_t i = 0; i < Servers.size(); ++i)
            map_.emplace(Servers[i].Id, i);
    }

    std::unordered_map<std::uint64_t, std::size_t> map_;
};
TServerIndex ServerIndex;

std::uint64_t NextTicket()
{
    static std::uint64_t next = 0;
    return ++next;
}

bool DisplayAlive()
{
    return !Display.Context.isNull();
}

void InvalidateList()
{
    if (DisplayAlive() && Display.InvalidateList)
        Display.InvalidateList();
}

int SelectedListIndex()
{
    return DisplayAlive() && Display.SelectedIndex ? Display.SelectedIndex() : -1;
}

void RefreshStatus()
{
    if (DisplayAlive() && Display.RefreshStatus)
        Display.RefreshStatus();
}

void EnableRefreshTimer()
{
    if (DisplayAlive() && Display.EnableRefreshTimer)
        Display.EnableRefreshTimer();
}

TServer* EntryOf(std::uint64_t serverId)
{
    int index = ServerIndex.Find(serverId);
    return index < 0 ? nullptr : &Servers[static_cast<std::size_t>(index)];
}

// Hands a batch's requests to the window, each once.
void FlushDisplayRequests()
{
    const TDisplayRequests requests = std::exchange(Requests, TDisplayRequests{});
    if (requests.Repaint)
        InvalidateList();
    if (requests.Refresh)
        RefreshStatus();
    if (requests.EnableTimer)
        EnableRefreshTimer();
}

// Takes the engine's outcomes on the main thread, where every TServer field is written.
class TOutcomeReceiver : public QObject
{
public:
    explicit TOutcomeReceiver(TProbeEngine& engine)
        : QObject(QCoreApplication::instance()),
          notifier_(static_cast<qintptr>(engine.OutcomeSignal().Handle()), QSocketNotifier::Read, this)
    {
        connect(&notifier_, &QSocketNotifier::activated, this, &TOutcomeReceiver::Deliver);
    }

private:
    void Deliver()
    {
        if (!Engine)
            return;
        Engine->OutcomeSignal().Clear();
        std::vector<TProbeOutcome> taken = Engine->TakeOutcomes();
        pending_.insert(pending_.end(), taken.begin(), taken.end());
        Requests = TDisplayRequests{};
        Requests.Selected = SelectedListIndex();
        const std::size_t count = std::min(pending_.size(), kOutcomesPerTurn);
        for (std::size_t i = 0; i < count; ++i) {
            const TProbeOutcome& outcome = pending_[i];
            TSocketThread* probe = ProbesByTicket.value(outcome.Ticket, nullptr);
            if (!probe)
                continue;
            switch (outcome.Kind) {
            case TProbeOutcome::TKind::Connected:
                probe->ClientStatus(outcome.Online, outcome.Peer);
                break;
            case TProbeOutcome::TKind::Echoed:
                probe->EchoDone(outcome.PingMs);
                break;
            case TProbeOutcome::TKind::Dropped:
                probe->Drop();
                break;
            }
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
        FlushDisplayRequests();
        // The rest in the next turn, after whatever else the window has to do.
        if (!pending_.empty())
            QMetaObject::invokeMethod(this, &TOutcomeReceiver::Deliver, Qt::QueuedConnection);
    }

    QSocketNotifier notifier_;
    std::deque<TProbeOutcome> pending_;
};

QPointer<TOutcomeReceiver> Receiver;

TProbeEngine& ProbeEngine()
{
    if (!Engine) {
        Engine = std::make_unique<TProbeEngine>(IcmpMode);
        EngineMode = IcmpMode;
    }
    if (!Receiver)
        Receiver = new TOutcomeReceiver(*Engine);
    return *Engine;
}

// A probe needs a sensible bound even when the value was set around the settings store.
std::int32_t ProbeTimeout(std::int32_t timeoutMs)
{
    return std::clamp(timeoutMs, kMinTimeout, kMaxTimeout);
}

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

TServerAddress SplitServerAddress(int index)
{
    if (index < 0 || index >= static_cast<int>(Servers.size()))
        return SplitServerAddress(std::string());
    return SplitServerAddress(Servers[static_cast<std::size_t>(index)].Address);
}

TSocketThread::TSocketThread(int index, std::int32_t timeoutMs)
    : Index(index), ServerId(Servers[static_cast<std::size_t>(index)].Id), Ticket(NextTicket()),
      address_(SplitServerAddress(index)), timeoutMs_(ProbeTimeout(timeoutMs))
{
    TServer& entry = Servers[static_cast<std::size_t>(index)];
    entry.Status = ssChecking;
    entry.Ping = kPingNone;
}

TConnectOrder TSocketThread::Order() const
{
    TConnectOrder order;
    order.Ticket = Ticket;
    order.Host = address_.Host;
    order.Port = address_.Port;
    order.TimeoutMs = timeoutMs_;
    return order;
}

void TSocketThread::Execute()
{
    ProbeEngine().Connect(Order());
}

void TSocketThread::ClientStatus(bool connected, const platform::TNetAddress& peer)
{
    TServer* entry = EntryOf(ServerId);
    // A removed entry still learns its state, but the window hears nothing of it and it is not pinged.
    if (entry)
        entry->Status = connected ? ssOnline : ssOffline;
    if (!entry || entry->Deleted) {
        Complete();
        return;
    }
    Requests.Repaint = true;
    Requests.Refresh = true;
    // At the program's end a round trip would be measured for nobody.
    if (!connected || ProbesDropped) {
        Complete();
        return;
    }
    TEchoOrder order;
    order.Ticket = Ticket;
    order.Peer = peer;
    order.TimeoutMs = timeoutMs_;
    ProbeEngine().Echo(order);
}

void TSocketThread::EchoDone(std::int32_t pingMs)
{
    if (TServer* entry = EntryOf(ServerId))
        entry->Ping = pingMs == 0 ? 1 : pingMs;
    Complete();
}

void TSocketThread::Drop()
{
    Forget();
}

void TSocketThread::Complete()
{
    const int index = ServerIndex.Find(ServerId);
    if (index >= 0 && !Servers[static_cast<std::size_t>(index)].Deleted) {
        Requests.Repaint = true;
        if (Requests.Selected == index) {
            Requests.Refresh = true;
            Requests.EnableTimer = true;
        }
    }
    Forget();
}

void TSocketThread::Forget()
{
    ProbesByTicket.remove(Ticket);
    const qsizetype position = RunningPosition.take(this);
    TSocketThread* last = RunningProbes.takeLast();
    if (last != this) {
        RunningProbes[position] = last;
        RunningPosition[last] = position;
    }
    delete this;
}

namespace {

void ResetEntry(int index)
{
    TServer& entry = Servers[static_cast<std::size_t>(index)];
    entry.Status = ssChecking;
    entry.Ping = kPingReset;
}

TSocketThread* NewProbe(int index, std::int32_t timeoutMs)
{
    auto* probe = new TSocketThread(index, timeoutMs);
    RunningPosition.insert(probe, RunningProbes.size());
    RunningProbes.append(probe);
    ProbesByTicket.insert(probe->Ticket, probe);
    return probe;
}

void RenewIdleEngine()
{
    // A new kind of ICMP socket, or a run after the end's drop, needs a new engine, which only an idle
    // one may make way for.
    if (Engine && (EngineMode != IcmpMode || ProbesDropped) && RunningProbes.isEmpty()) {
        delete Receiver.data();
        Engine.reset();
        ProbesDropped = false;
    }
}

} // namespace

void StartProbe(int index, std::int32_t timeoutMs)
{
    if (index < 0 || index >= static_cast<int>(Servers.size()))
        return;
    RenewIdleEngine();
    ResetEntry(index);
    InvalidateList();
    if (SelectedListIndex() == index)
        RefreshStatus();
    NewProbe(index, timeoutMs)->Execute();
}

void ProbeAllServers(std::int32_t timeoutMs)
{
    // Started in slices: each slice's connects go to the engine together and the window repaints once
    // for it; between slices the window takes its messages, so a long list never freezes it.
    constexpr qint64 kSliceNs = 5'000'000;
    RenewIdleEngine();
    QElapsedTimer slice;
    std::vector<TConnectOrder> orders;
    // Messages processed between slices may change the list, so its length is read each time.
    // A close taken between slices ends the round's starts: nobody would see their results.
    for (int i = 0; i < static_cast<int>(Servers.size()) && !AppClosing;) {
        slice.start();
        const int selected = SelectedListIndex();
        bool selectedStarted = false;
        for (; i < static_cast<int>(Servers.size()) && !slice.hasExpired(kSliceNs / 1'000'000); ++i) {
            ResetEntry(i);
            orders.push_back(NewProbe(i, timeoutMs)->Order());
            selectedStarted = selectedStarted || i == selected;
        }
        ProbeEngine().Connect(std::exchange(orders, {}));
        InvalidateList();
        if (selectedStarted)
            RefreshStatus();
        QCoreApplication::processEvents();
    }
}

void DropWaitingProbes()
{
    ProbesDropped = true;
    if (Engine)
        Engine->DropWaiting();
}

void SetProbeDisplay(TProbeDisplay display)
{
    Display = std::move(display);
}

void SetProbeIcmpMode(platform::TIcmpMode mode)
{
    IcmpMode = mode;
}
