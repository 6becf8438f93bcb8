#include "monitor/connection_u.h"

#include "core/servers_u.h"
#include "core/settings_u.h"
#include "monitor/probeengine_u.h"

#include <QCoreApplication>
#include <QHash>
#include <QSocketNotifier>
#include <algorithm>
#include <charconv>
#include <memory>

QList<TSocketThread*> RunningProbes;

namespace {

TProbeDisplay Display;
platform::TIcmpMode IcmpMode = platform::TIcmpMode::Auto;
std::unique_ptr<TProbeEngine> Engine;
platform::TIcmpMode EngineMode = platform::TIcmpMode::Auto;
QHash<std::uint64_t, TSocketThread*> ProbesByTicket;

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
    int index = IndexOfServerId(serverId);
    return index < 0 ? nullptr : &Servers[static_cast<std::size_t>(index)];
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
        for (const TProbeOutcome& outcome : Engine->TakeOutcomes()) {
            TSocketThread* probe = ProbesByTicket.value(outcome.Ticket, nullptr);
            if (!probe)
                continue;
            if (outcome.Kind == TProbeOutcome::TKind::Connected)
                probe->ClientStatus(outcome.Online, outcome.Peer);
            else
                probe->EchoDone(outcome.PingMs);
        }
    }

    QSocketNotifier notifier_;
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
std::int32_t ProbeTimeout()
{
    return std::clamp(Timeout, kMinTimeout, kMaxTimeout);
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

TSocketThread::TSocketThread(int index)
    : Index(index), ServerId(Servers[static_cast<std::size_t>(index)].Id), Ticket(NextTicket()),
      address_(SplitServerAddress(index)), timeoutMs_(ProbeTimeout())
{
    TServer& entry = Servers[static_cast<std::size_t>(index)];
    entry.Status = ssChecking;
    entry.Ping = kPingNone;
}

void TSocketThread::Execute()
{
    TConnectOrder order;
    order.Ticket = Ticket;
    order.Host = address_.Host;
    order.Port = address_.Port;
    order.TimeoutMs = timeoutMs_;
    ProbeEngine().Connect(std::move(order));
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
    InvalidateList();
    RefreshStatus();
    // The window's refresh may have removed or moved entries; look the server up again.
    entry = EntryOf(ServerId);
    if (!connected || !entry || entry->Deleted) {
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

void TSocketThread::Complete()
{
    const int index = IndexOfServerId(ServerId);
    if (index >= 0 && !Servers[static_cast<std::size_t>(index)].Deleted) {
        InvalidateList();
        if (SelectedListIndex() == index) {
            RefreshStatus();
            EnableRefreshTimer();
        }
    }
    ProbesByTicket.remove(Ticket);
    RunningProbes.removeOne(this);
    delete this;
}

void StartProbe(int index)
{
    if (index < 0 || index >= static_cast<int>(Servers.size()))
        return;
    // A new kind of ICMP socket needs a new engine, which only an idle one may make way for.
    if (Engine && EngineMode != IcmpMode && RunningProbes.isEmpty()) {
        delete Receiver.data();
        Engine.reset();
    }
    TServer& entry = Servers[static_cast<std::size_t>(index)];
    entry.Status = ssChecking;
    entry.Ping = kPingReset;
    InvalidateList();
    if (SelectedListIndex() == index)
        RefreshStatus();
    auto* probe = new TSocketThread(index);
    RunningProbes.append(probe);
    ProbesByTicket.insert(probe->Ticket, probe);
    probe->Execute();
}

void ProbeAllServers()
{
    // Messages processed between starts may change the list, so its length is read each time.
    for (int i = 0; i < static_cast<int>(Servers.size()); ++i) {
        StartProbe(i);
        QCoreApplication::processEvents();
    }
}

void SetProbeDisplay(TProbeDisplay display)
{
    Display = std::move(display);
}

void SetProbeIcmpMode(platform::TIcmpMode mode)
{
    IcmpMode = mode;
}
