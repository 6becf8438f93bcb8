// The main window's status display: the status line and ping of the server on show, the notification-area
// icon with its tooltip and announcements, and the refresh cycle that probes that server again and again.
// It follows one server by identity and hears of it from the probe service, as every subscriber does.
#pragma once

#include "monitor/probehistory.h"
#include "monitor/serverwatch.h"

#include <QObject>
#include <QSystemTrayIcon>
#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

class QLabel;
struct TServer;
class QTimer;
class QWidget;
class TProbeService;

// The notification area as the status display uses it. The desktop's own by default; a desktop may have
// none, and a test gives one that records what it is asked.
class TTrayIcon : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool Available() const = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool Shown() const = 0;
    // One of TTrayImage.
    virtual void SetImage(int image) = 0;
    virtual void SetToolTip(const QString& text) = 0;
    virtual void ShowMessage(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon,
                             int durationMs) = 0;
    // A menu item that ends a wait; an empty text takes it away. Without a menu, nothing.
    virtual void SetCancelItem(const QString& text) { (void)text; }

signals:
    // Clicked, double-clicked, or its balloon clicked: the user wants the window back.
    void clicked();
    // The menu's cancel item was chosen.
    void cancelChosen();
};

class TStatusDisplay : public QObject
{
    Q_OBJECT

public:
    // Makes the status line on `window`, which it hides to the notification area and brings back from it.
    // Without `tray`, the desktop's own notification area.
    TStatusDisplay(QWidget* window, TProbeService& probes, std::unique_ptr<TTrayIcon> tray = nullptr);

    // The first show's step: the first refresh tick comes about a second later.
    void StartRefreshCycle();
    // The selection step: the server on show is probed now and the refresh period starts anew.
    void RestartRefreshCycle();
    // No tick comes while paused, whatever probe ends meanwhile; Resume re-arms the cycle.
    void Pause();
    void Resume();
    // The window closes: the cycle stops for good and the icon leaves the notification area.
    void Stop();

    void RefreshServerVisibleStatus();
    // One tick of the cycle: probes the server on show, when there is one.
    void RefreshTimerTimer();
    // Probes every server; the cycle waits meanwhile, so no tick starts a probe the round starts anyway.
    void RefreshAll();
    // Probes every server as one round, leaving the cycle as it is.
    void ProbeEveryServer();
    // The period of the cycle and of the wait for a server, in seconds.
    void SetRefreshPeriod(int seconds);
    // How many probes in a row a change must hold before it is announced.
    void SetAnnounceAfter(int probes);
    // The last probes of every server, for the information panel.
    const TProbeHistory& History() const { return history_; }

    // Waits for the server to answer: probes it every period until one succeeds, then announces it and
    // says so with waitedServerAnswered. A wait already running is replaced.
    void WaitForServer(std::uint64_t serverId);
    void CancelWait();
    bool Waiting() const { return waitId_ != 0; }
    // To the notification area, or minimized as usual where the desktop has none.
    void MinimizeToTray();
    // From the notification area back to the screen.
    void RestoreWindow();
    bool TrayShown() const;
    // The window waits out of sight (in the notification area, or minimized where there is none): the
    // server's changes are announced.
    bool WaitsAway() const;
    // Follows the window's minimizing by other means than its own button.
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // Each tick of the refresh cycle, before its probe; the window's other periodic looks hang on it.
    void refreshTicked();
    // The icon in the notification area was clicked.
    void trayIconClicked();
    // A probe of the server ended and went into its history.
    void historyRecorded(std::uint64_t serverId);
    // The server waited for has answered; the wait is over.
    void waitedServerAnswered(std::uint64_t serverId);

public slots:
    // The server the display follows; 0 for none.
    void ShowServer(std::uint64_t serverId);

private slots:
    void ServerProbed(std::uint64_t serverId);
    void ProbeFinished(std::uint64_t serverId);

private:
    // Minimized from the taskbar or the window manager: to the notification area, where there is one.
    void MinimizedByOtherMeans();
    void RefreshTrayToolTip();
    // A balloon from the notification-area icon; `warning` for what went away.
    void Announce(const QString& title, const QString& text, bool warning);
    // Tells what the watch found to whom it concerns.
    void AnnounceNews(const std::vector<TWatchNews>& news);
    // The servers a tick probes: the one on show and those the user asked to hear of, each once, and
    // none whose probe of the last tick still runs.
    std::vector<std::uint64_t> WatchedServers() const;
    void WaitTimerTimer();
    void EndWait();
    // Starts the timer unless paused or already running.
    void ArmTimer();
    // Gives the status line the server's state as a sentence for screen readers, which they announce
    // when it changes: on another server, or between online and offline (not each probe's checking).
    void SpeakState(const TServer& entry);

    QWidget* const window_;
    TProbeService& probes_;
    // A child of this object, whoever made it.
    TTrayIcon* const tray_;
    std::uint64_t shownId_ = 0;
    bool paused_ = false;
    int refreshPeriodMs_;
    TServerWatch watch_;
    TProbeHistory history_;
    // Servers a tick started probing whose probe has not ended.
    std::unordered_set<std::uint64_t> ticking_;
    // The server waited for; 0 for none.
    std::uint64_t waitId_ = 0;
    QTimer* waitTimer_ = nullptr;
    std::uint64_t spokenId_ = 0;
    std::uint8_t spokenStatus_ = 0;

    QLabel* LabStatus = nullptr;
    QLabel* Status = nullptr;
    QLabel* labPing = nullptr;
    QLabel* Ping = nullptr;
    QTimer* RefreshTimer = nullptr;
};
