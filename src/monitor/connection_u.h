// Server probes: a TCP connect to a server's realm port and one ICMP echo, run in the background,
// with the outcome written into the server's entry and handed to the main window as it arrives.
#pragma once

#include "platform/icmp.h"

#include <QList>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <string>

struct TConnectOrder;

inline constexpr std::uint16_t DefaultServerPort = 3724;

struct TServerAddress
{
    std::string Host;
    std::uint16_t Port = DefaultServerPort;
};

// Splits at the last colon; a port that is missing or not a decimal number is DefaultServerPort, and
// a number too large for a port keeps its low 16 bits.
TServerAddress SplitServerAddress(const std::string& address);
// The same for the address of entry `index` of Servers.
TServerAddress SplitServerAddress(int index);

// One probe of one server, from its start to its completion on the main thread. The network work is
// done by a background thread shared by every probe; this object only lives on the main thread.
class TSocketThread
{
public:
    // `timeoutMs` bounds each step; outside the settings' bounds it is brought within them.
    TSocketThread(int index, std::int32_t timeoutMs);
    TSocketThread(const TSocketThread&) = delete;
    TSocketThread& operator=(const TSocketThread&) = delete;

    // Where the server stood in the list when the probe started.
    const int Index;
    // The server the probe belongs to, wherever the list moves it meanwhile.
    const std::uint64_t ServerId;
    const std::uint64_t Ticket;

    // Hands the connect to the background thread.
    void Execute();
    // The connect step is over: records the state and asks the window to show it, then pings or
    // completes. The window's part is done once for all outcomes that arrive together.
    void ClientStatus(bool connected, const platform::TNetAddress& peer);
    // The echo step is over.
    void EchoDone(std::int32_t pingMs);
    // Given up at the program's end before it could finish; the window hears nothing of it.
    void Drop();

    // What the background thread is asked to connect to.
    TConnectOrder Order() const;

private:
    // Asks for a repaint, and for the selected server a status refresh and the refresh timer; then
    // leaves RunningProbes as its last step, and the object is deleted.
    void Complete();
    void Forget();

    TServerAddress address_;
    std::int32_t timeoutMs_;
};

// Probes started and not yet completed. Changed on the main thread only; the program's end waits
// until it is empty.
extern QList<TSocketThread*> RunningProbes;

// Main thread only. Out-of-range indices are ignored. `timeoutMs` is the Timeout setting, passed in by
// the caller on the main thread: the settings are not for other threads.
void StartProbe(int index, std::int32_t timeoutMs);
void ProbeAllServers(std::int32_t timeoutMs);
// For the program's end: probes whose connect has not started, and every echo, are given up, so the
// wait for RunningProbes lasts at most one time-out. Later probes start a fresh round.
void DropWaitingProbes();

// What the probes ask of the main window. Every call is skipped once the context object is gone,
// so probes that outlive the window complete without touching it.
struct TProbeDisplay
{
    QPointer<QObject> Context;
    std::function<void()> InvalidateList;
    std::function<int()> SelectedIndex;
    std::function<void()> RefreshStatus;
    std::function<void()> EnableRefreshTimer;
};
void SetProbeDisplay(TProbeDisplay display);

// Which kind of ICMP socket the probes use; takes effect for probes started when none is running.
void SetProbeIcmpMode(platform::TIcmpMode mode);
