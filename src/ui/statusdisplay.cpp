#include "ui/statusdisplay.h"

#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "monitor/spokenstate.h"
#include "monitor/status.h"
#include "ui/desktopnotifier.h"
#include "ui/msgbox.h"
#include "ui/skinfont.h"
#include "ui/skinstyle.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDateTime>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace {

constexpr int kLabelTop = 213;
constexpr int kLabStatusLeft = 18;
constexpr int kStatusLeft = 61;
constexpr int kLabPingLeft = 116;
constexpr int kPingLeft = 149;
constexpr const char* kWordStatus = "Status:";
constexpr const char* kWordPing = "Ping:";

constexpr int kFirstRefreshMs = 1000;
// A longer text on the status line (the network, a wait) stops short of the panel's button.
constexpr int kStatusMaxWidth = 134;

// What the notification-area balloons accept.
constexpr int kBalloonTitleMax = 63;
constexpr int kBalloonTextMax = 255;
constexpr int kAnnouncementSeconds = 15;
constexpr int kMsPerSecond = 1000;

constexpr const char* kTrayImages[kTrayImageCount] = {
    ":/artwork/tray_offline.svg",
    ":/artwork/tray_online.svg",
    ":/artwork/tray_checking.svg",
    ":/artwork/tray_emblem.svg",
};

QLabel* MakeLabel(QWidget* parent, const char* name, int left, bool bold)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setFont(SkinFont(kSkinStatusPx, bold));
    label->move(left, kLabelTop);
    label->hide();
    return label;
}

void SetLabelColor(QLabel* label, const QColor& color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

void SetLabelText(QLabel* label, const QString& text)
{
    label->setText(text);
    label->adjustSize();
}

// The desktop's own notification area; where it has none, announcements go to its notification service.
// The session bus the desktop names, or the user's own socket where one is. Without either, libdbus would
// try to launch a bus of its own, synchronously and on the main thread; a connection that is never opened
// lets every announcement fail quietly instead.
QDBusConnection SessionBusIfAny()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/bus")))
            return QDBusConnection(QStringLiteral("korvan-no-session-bus"));
    }
    return QDBusConnection::sessionBus();
}

class TSystemTrayIcon : public TTrayIcon
{
public:
    explicit TSystemTrayIcon(QObject* parent) : TTrayIcon(parent), icon_(new QSystemTrayIcon(this))
    {
        connect(cancel_, &QAction::triggered, this, &TTrayIcon::cancelChosen);
        connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                emit clicked();
        });
        connect(icon_, &QSystemTrayIcon::messageClicked, this, &TTrayIcon::clicked);
    }
    // The icon is a child and outlives the members: it must not keep pointing at the menu.
    ~TSystemTrayIcon() override { icon_->setContextMenu(nullptr); }

    bool Available() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
    void Show() override { icon_->show(); }
    void Hide() override { icon_->hide(); }
    bool Shown() const override { return icon_->isVisible(); }
    void SetImage(int image) override
    {
        image = std::clamp(image, 0, kTrayImageCount - 1);
        // Every result for the server on show lands here; the icon is only rebuilt when the picture changes.
        if (image == image_ && !icon_->icon().isNull())
            return;
        image_ = image;
        icon_->setIcon(QIcon(QString::fromLatin1(kTrayImages[image_])));
    }
    void SetToolTip(const QString& text) override { icon_->setToolTip(text); }
    void ShowMessage(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon,
                     int durationMs) override
    {
        // A hidden icon shows no balloon, and servers marked for announcements are told about while the
        // window is on screen and its icon hidden: those go to the desktop's notification service too.
        if (Available() && icon_->isVisible()) {
            icon_->showMessage(title, text, icon, durationMs);
            return;
        }
        // Made at the first announcement only: most runs never need the bus.
        if (!notifier_) {
            notifier_ = new TDesktopNotifier(SessionBusIfAny(), this);
            connect(notifier_, &TDesktopNotifier::clicked, this, &TTrayIcon::clicked);
        }
        notifier_->Notify(title, text, durationMs);
    }
    void SetCancelItem(const QString& text) override
    {
        cancel_->setText(text);
        icon_->setContextMenu(text.isEmpty() ? nullptr : &menu_);
    }

private:
    // Shown as the icon's menu only while a wait can be ended from it.
    QMenu menu_;
    QAction* cancel_ = menu_.addAction(QString());
    QSystemTrayIcon* icon_;
    TDesktopNotifier* notifier_ = nullptr;
    int image_ = tiOffline;
};

} // namespace

TStatusDisplay::TStatusDisplay(QWidget* window, TProbeService& probes, std::unique_ptr<TTrayIcon> tray)
    : QObject(window), window_(window), probes_(probes), tray_(tray ? tray.release() : new TSystemTrayIcon(nullptr)),
      refreshPeriodMs_(kDefaultRefreshPeriod * kMsPerSecond)
{
    setObjectName("StatusDisplay");
    tray_->setParent(this);
    LabStatus = MakeLabel(window, "LabStatus", kLabStatusLeft, false);
    Status = MakeLabel(window, "Status", kStatusLeft, true);
    labPing = MakeLabel(window, "labPing", kLabPingLeft, false);
    Ping = MakeLabel(window, "Ping", kPingLeft, true);
    SetLabelText(LabStatus, QString::fromLatin1(kWordStatus));
    SetLabelText(labPing, QString::fromLatin1(kWordPing));
    SetLabelColor(LabStatus, kSkinCaptionColor);
    SetLabelColor(labPing, kSkinCaptionColor);
    // The caption sits on the dark panel; the others lie over the window's background.
    QPalette panel = LabStatus->palette();
    panel.setColor(QPalette::Window, kSkinPanelColor);
    LabStatus->setPalette(panel);
    LabStatus->setAutoFillBackground(true);

    RefreshTimer = new QTimer(this);
    RefreshTimer->setObjectName("RefreshTimer");
    RefreshTimer->setSingleShot(true);
    RefreshTimer->setInterval(kFirstRefreshMs);
    connect(RefreshTimer, &QTimer::timeout, this, &TStatusDisplay::RefreshTimerTimer);
    waitTimer_ = new QTimer(this);
    waitTimer_->setObjectName("WaitTimer");
    waitTimer_->setSingleShot(true);
    waitTimer_->setInterval(refreshPeriodMs_);
    connect(waitTimer_, &QTimer::timeout, this, &TStatusDisplay::WaitTimerTimer);
    connect(tray_, &TTrayIcon::cancelChosen, this, &TStatusDisplay::CancelWait);
    // A click on the status line ends a wait.
    LabStatus->installEventFilter(this);
    Status->installEventFilter(this);

    tray_->SetImage(tiOffline);
    connect(tray_, &TTrayIcon::clicked, this, &TStatusDisplay::trayIconClicked);
    connect(&probes_, &TProbeService::serverProbed, this, &TStatusDisplay::ServerProbed);
    connect(&probes_, &TProbeService::probeFinished, this, &TStatusDisplay::ProbeFinished);
    window_->installEventFilter(this);
}

void TStatusDisplay::ShowServer(std::uint64_t serverId)
{
    shownId_ = serverId;
    RefreshServerVisibleStatus();
}

void TStatusDisplay::ServerProbed(std::uint64_t serverId)
{
    if (serverId == shownId_)
        RefreshServerVisibleStatus();
}

void TStatusDisplay::ProbeFinished(std::uint64_t serverId)
{
    ticking_.erase(serverId);
    const TServer* entry = LiveServerById(serverId);
    // A probe started meanwhile has put the entry back to checking; its own end counts.
    if (entry && entry->Status != ssChecking) {
        const bool online = entry->Status == ssOnline;
        history_.Record(serverId, QDateTime::currentSecsSinceEpoch(), online, online ? entry->Ping : kPingNone);
        const bool networkWasDown = watch_.NetworkDown();
        std::vector<TWatchNews> news = watch_.Probed(serverId, online, TServerWatch::TClock::now());
        const bool answered = online && serverId == waitId_;
        // The server waited for is announced once, as the start of the game.
        if (answered)
            std::erase(news, TWatchNews{TWatchNews::TKind::ServerOnline, serverId});
        AnnounceNews(news);
        emit historyRecorded(serverId);
        if (answered) {
            const QString name = ToQString(entry->Name);
            EndWait();
            Announce(name, UiText(TTextId::ServerAnsweredPlaying), false);
            emit waitedServerAnswered(serverId);
        } else if (serverId == waitId_) {
            waitTimer_->start();
        }
        if (networkWasDown != watch_.NetworkDown())
            RefreshServerVisibleStatus();
    }
    // The end of the shown server's probe re-arms the cycle.
    if (serverId == shownId_)
        ArmTimer();
}

std::vector<std::uint64_t> TStatusDisplay::WatchedServers() const
{
    std::vector<std::uint64_t> ids;
    if (ServerById(shownId_))
        ids.push_back(shownId_);
    for (const TServer& server : Servers)
        if (server.Announce && !server.Deleted && server.Id != shownId_ && !ticking_.contains(server.Id))
            ids.push_back(server.Id);
    return ids;
}

void TStatusDisplay::AnnounceNews(const std::vector<TWatchNews>& news)
{
    // Asked of the whole list only for the rare news of the network, not at every probe's end.
    auto anyAsked = [] {
        return std::any_of(Servers.begin(), Servers.end(),
                           [](const TServer& server) { return server.Announce && !server.Deleted; });
    };
    for (const TWatchNews& item : news) {
        switch (item.Kind) {
        case TWatchNews::TKind::ServerOnline:
        case TWatchNews::TKind::ServerOffline: {
            const TServer* entry = LiveServerById(item.ServerId);
            if (!entry || !AnnouncesServer(entry->Announce, item.ServerId == shownId_, WaitsAway()))
                break;
            const bool online = item.Kind == TWatchNews::TKind::ServerOnline;
            Announce(ToQString(entry->Name),
                     ToQString(Msg(online ? TTextId::ServerNowOnline : TTextId::ServerNowOffline)), !online);
            break;
        }
        case TWatchNews::TKind::NetworkDown:
        case TWatchNews::TKind::NetworkBack:
            if (!AnnouncesServer(anyAsked(), true, WaitsAway()))
                break;
            Announce(UiText(TTextId::NetworkTitle),
                     UiText(item.Kind == TWatchNews::TKind::NetworkDown ? TTextId::NetworkUnreachable
                                                                        : TTextId::NetworkBack),
                     item.Kind == TWatchNews::TKind::NetworkDown);
            break;
        }
    }
}

void TStatusDisplay::SetRefreshPeriod(int seconds)
{
    refreshPeriodMs_ = std::clamp(seconds, kMinRefreshPeriod, kMaxRefreshPeriod) * kMsPerSecond;
    // The first tick keeps its own short wait.
    if (RefreshTimer->interval() != kFirstRefreshMs)
        RefreshTimer->setInterval(refreshPeriodMs_);
    waitTimer_->setInterval(refreshPeriodMs_);
}

void TStatusDisplay::SetAnnounceAfter(int probes)
{
    watch_.SetHoldProbes(probes);
}

void TStatusDisplay::WaitForServer(std::uint64_t serverId)
{
    if (!LiveServerById(serverId))
        return;
    waitId_ = serverId;
    tray_->SetCancelItem(UiText(TTextId::StopWaiting));
    RefreshServerVisibleStatus();
    probes_.StartProbe(serverId);
}

void TStatusDisplay::WaitTimerTimer()
{
    if (LiveServerById(waitId_))
        probes_.StartProbe(waitId_);
    else
        CancelWait();
}

void TStatusDisplay::CancelWait()
{
    if (Waiting())
        EndWait();
}

void TStatusDisplay::EndWait()
{
    waitId_ = 0;
    waitTimer_->stop();
    tray_->SetCancelItem(QString());
    RefreshServerVisibleStatus();
}

void TStatusDisplay::ArmTimer()
{
    if (!paused_ && !RefreshTimer->isActive())
        RefreshTimer->start();
}

void TStatusDisplay::StartRefreshCycle()
{
    RefreshTimer->setInterval(kFirstRefreshMs);
    ArmTimer();
}

void TStatusDisplay::RestartRefreshCycle()
{
    RefreshTimer->stop();
    probes_.StartProbe(shownId_);
    RefreshTimer->setInterval(refreshPeriodMs_);
    ArmTimer();
}

void TStatusDisplay::Pause()
{
    paused_ = true;
    RefreshTimer->stop();
}

void TStatusDisplay::Resume()
{
    paused_ = false;
    ArmTimer();
}

void TStatusDisplay::Stop()
{
    CancelWait();
    Pause();
    tray_->Hide();
}

void TStatusDisplay::RefreshTimerTimer()
{
    RefreshTimer->setInterval(refreshPeriodMs_);
    RefreshTimer->stop();
    if (paused_)
        return;
    emit refreshTicked();
    const std::vector<std::uint64_t> ids = WatchedServers();
    watch_.BeginRound(ids, TServerWatch::TClock::now());
    for (std::uint64_t id : ids) {
        ticking_.insert(id);
        probes_.StartProbe(id);
    }
}

void TStatusDisplay::RefreshAll()
{
    const bool shown = ServerById(shownId_) != nullptr;
    if (shown)
        RefreshTimer->stop();
    ProbeEveryServer();
    if (shown)
        ArmTimer();
}

void TStatusDisplay::ProbeEveryServer()
{
    std::vector<std::uint64_t> ids;
    ids.reserve(Servers.size());
    for (const TServer& server : Servers)
        if (!server.Deleted)
            ids.push_back(server.Id);
    // Begun before the probes: the first outcomes may come while later ones are still being started.
    watch_.BeginRound(ids, TServerWatch::TClock::now());
    probes_.ProbeAllServers();
}

void TStatusDisplay::RefreshTrayToolTip()
{
    // Not every desktop tells the icon that the pointer rests on it, so the balloon that moment would
    // show is kept in the tooltip as well.
    if (const TServer* waited = LiveServerById(waitId_)) {
        tray_->SetToolTip(ToQString(waited->Name).left(kBalloonTitleMax) + QLatin1Char('\n') +
                          UiText(TTextId::WaitingHint).left(kBalloonTextMax));
        return;
    }
    const TServer* entry = ServerById(shownId_);
    if (!entry) {
        tray_->SetToolTip(QString());
        return;
    }
    const QString title = ToQString(entry->Name);
    const QString text = ToQString(Msg(TrayHintFor(entry->Status)));
    tray_->SetToolTip(title.left(kBalloonTitleMax) + QLatin1Char('\n') + text.left(kBalloonTextMax));
}

void TStatusDisplay::Announce(const QString& title, const QString& text, bool warning)
{
    // A server that went away is a warning; one that came back is news.
    const auto icon = warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information;
    QApplication::beep();
    tray_->ShowMessage(title.left(kBalloonTitleMax), text.left(kBalloonTextMax), icon,
                       kAnnouncementSeconds * kMsPerSecond);
}

void TStatusDisplay::RefreshServerVisibleStatus()
{
    const TServer* entry = ServerById(shownId_);
    if (!entry) {
        LabStatus->hide();
        Status->hide();
        labPing->hide();
        Ping->hide();
        RefreshTrayToolTip();
        return;
    }
    const std::uint8_t state = entry->Status;
    TStatusView view = StatusViewOf(state, entry->Ping);
    QString text = ToQString(view.StatusText);
    // A wait, or a network that is gone, says more than the state of the server on show.
    if (const TServer* waited = LiveServerById(waitId_)) {
        text = ToQString(FillText(TTextId::WaitingStatus, {waited->Name}));
        view.StatusColor = TStatusColor::Unknown;
        view.PingVisible = false;
    } else if (state == ssOffline && watch_.NetworkDown()) {
        text = UiText(TTextId::NetworkDownStatus);
    }
    SetLabelText(Status, QFontMetrics(Status->font()).elidedText(text, Qt::ElideRight, kStatusMaxWidth));
    SetLabelColor(Status, SkinStatusColor(view.StatusColor));
    LabStatus->show();
    Status->show();
    if (view.PingVisible) {
        SetLabelText(Ping, ToQString(view.PingText));
        SetLabelColor(Ping, SkinStatusColor(view.PingColor));
        labPing->show();
        Ping->show();
    } else {
        labPing->hide();
        Ping->hide();
    }
    tray_->SetImage(view.TrayImage);
    SpeakState(*entry);
    RefreshTrayToolTip();
}

void TStatusDisplay::SpeakState(const TServer& entry)
{
    const bool settled = entry.Status == ssOffline || entry.Status == ssOnline;
    if (entry.Id == spokenId_ && (!settled || entry.Status == spokenStatus_))
        return;
    spokenId_ = entry.Id;
    spokenStatus_ = entry.Status;
    // Setting the name is what tells the screen reader.
    Status->setAccessibleName(ToQString(SpokenServerState(entry.Name, entry.Status, entry.Ping)));
}

bool TStatusDisplay::TrayShown() const
{
    return tray_->Shown();
}

bool TStatusDisplay::WaitsAway() const
{
    // Without a notification area, a minimized window is where the user put it to wait.
    return tray_->Shown() || (!tray_->Available() && window_->isMinimized());
}

void TStatusDisplay::MinimizeToTray()
{
    // Hiding the window with no icon to bring it back would leave it beyond reach.
    if (!tray_->Available()) {
        window_->showMinimized();
        return;
    }
    tray_->Show();
    if (!ServerById(shownId_))
        tray_->SetImage(tiEmblem);
    RefreshTrayToolTip();
    window_->hide();
}

void TStatusDisplay::MinimizedByOtherMeans()
{
    // Without a notification area the window simply stays minimized on the taskbar.
    if (!tray_->Available())
        return;
    tray_->Show();
    RefreshTrayToolTip();
    // Hiding from inside the state change would be undone by the window system finishing it.
    QTimer::singleShot(0, this, [this] {
        if (window_->isMinimized() && TrayShown())
            window_->hide();
    });
}

void TStatusDisplay::RestoreWindow()
{
    tray_->Hide();
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

bool TStatusDisplay::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == LabStatus || watched == Status) && event->type() == QEvent::MouseButtonPress && Waiting()) {
        CancelWait();
        return true;
    }
    if (watched == window_ && event->type() == QEvent::WindowStateChange && window_->isMinimized() &&
        window_->isVisible())
        MinimizedByOtherMeans();
    return QObject::eventFilter(watched, event);
}
