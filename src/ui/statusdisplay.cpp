#include "ui/statusdisplay.h"

#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "monitor/probeservice.h"
#include "monitor/spokenstate.h"
#include "monitor/status.h"
#include "ui/desktopnotifier.h"
#include "ui/msgbox.h"
#include "ui/skinfont.h"
#include "ui/skinstyle.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
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
constexpr int kRefreshPeriodMs = 10000;

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
class TSystemTrayIcon : public TTrayIcon
{
public:
    explicit TSystemTrayIcon(QObject* parent) : TTrayIcon(parent), icon_(new QSystemTrayIcon(this))
    {
        connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                emit clicked();
        });
        connect(icon_, &QSystemTrayIcon::messageClicked, this, &TTrayIcon::clicked);
    }

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
        if (Available()) {
            icon_->showMessage(title, text, icon, durationMs);
            return;
        }
        // Made at the first announcement only: most runs never need the bus.
        if (!notifier_) {
            notifier_ = new TDesktopNotifier(QDBusConnection::sessionBus(), this);
            connect(notifier_, &TDesktopNotifier::clicked, this, &TTrayIcon::clicked);
        }
        notifier_->Notify(title, text, durationMs);
    }

private:
    QSystemTrayIcon* icon_;
    TDesktopNotifier* notifier_ = nullptr;
    int image_ = tiOffline;
};

} // namespace

TStatusDisplay::TStatusDisplay(QWidget* window, TProbeService& probes, std::unique_ptr<TTrayIcon> tray)
    : QObject(window), window_(window), probes_(probes), tray_(tray ? tray.release() : new TSystemTrayIcon(nullptr))
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
    // The end of the shown server's probe re-arms the cycle.
    if (serverId == shownId_)
        ArmTimer();
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
    RefreshTimer->setInterval(kRefreshPeriodMs);
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
    Pause();
    tray_->Hide();
}

void TStatusDisplay::RefreshTimerTimer()
{
    RefreshTimer->setInterval(kRefreshPeriodMs);
    RefreshTimer->stop();
    if (paused_)
        return;
    emit refreshTicked();
    probes_.StartProbe(shownId_);
}

void TStatusDisplay::RefreshAll()
{
    const bool shown = ServerById(shownId_) != nullptr;
    if (shown)
        RefreshTimer->stop();
    probes_.ProbeAllServers();
    if (shown)
        ArmTimer();
}

void TStatusDisplay::RefreshTrayToolTip()
{
    // Not every desktop tells the icon that the pointer rests on it, so the balloon that moment would
    // show is kept in the tooltip as well.
    const TServer* entry = ServerById(shownId_);
    if (!entry) {
        tray_->SetToolTip(QString());
        return;
    }
    const QString title = ToQString(entry->Name);
    const QString text = ToQString(Msg(TrayHintFor(entry->Status)));
    tray_->SetToolTip(title.left(kBalloonTitleMax) + QLatin1Char('\n') + text.left(kBalloonTextMax));
}

void TStatusDisplay::Announce(const QString& title, const QString& text, std::uint8_t state)
{
    // A server that went away is a warning; one that came back is news.
    const auto icon = state == ssOffline ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information;
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
    const TStatusView view = StatusViewOf(state, entry->Ping);
    SetLabelText(Status, ToQString(view.StatusText));
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
    if (state == ssOffline || state == ssOnline) {
        if (std::optional<TTextId> message = AnnouncementFor(state, lastAnnouncedStatus_, WaitsAway()))
            Announce(ToQString(entry->Name), ToQString(Msg(*message)), state);
        lastAnnouncedStatus_ = state;
    }
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
    if (const TServer* entry = ServerById(shownId_))
        lastAnnouncedStatus_ = entry->Status;
    else
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
    if (watched == window_ && event->type() == QEvent::WindowStateChange && window_->isMinimized() &&
        window_->isVisible())
        MinimizedByOtherMeans();
    return QObject::eventFilter(watched, event);
}
