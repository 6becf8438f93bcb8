// The main window's monitoring: status labels, refresh cycle and notification-area icon.
#include "ui/mainfm.h"

#include "core/localization_u.h"
#include "core/servers_u.h"
#include "monitor/probeservice.h"
#include "monitor/status_u.h"
#include "ui/ImgBtn.h"
#include "ui/msgbox_u.h"
#include "ui/skinfont.h"

#include <QApplication>
#include <QLabel>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

constexpr int kLabelTop = 213;
constexpr int kLabStatusLeft = 18;
constexpr int kStatusLeft = 61;
constexpr int kLabPingLeft = 116;
constexpr int kPingLeft = 149;
constexpr const char* kWordStatus = "Status:";
constexpr const char* kWordPing = "Ping:";

constexpr int kMinimizeLeft = 212;
constexpr int kMinimizeTop = 16;
constexpr int kMinimizeSize = 16;
constexpr int kRefreshAllLeft = 223;
constexpr int kRefreshAllTop = 210;
constexpr int kRefreshAllSize = 22;

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

QColor FromColorRef(TColorRef color)
{
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

QLabel* MakeLabel(QWidget* parent, const char* name, int left, bool bold)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setFont(SkinFont(kSkinStatusPx, bold));
    label->move(left, kLabelTop);
    label->hide();
    return label;
}

void SetLabelColor(QLabel* label, TColorRef color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, FromColorRef(color));
    label->setPalette(palette);
}

void SetLabelText(QLabel* label, const QString& text)
{
    label->setText(text);
    label->adjustSize();
}

} // namespace

void TMainForm::SetupStatusControls()
{
    LabStatus = MakeLabel(this, "LabStatus", kLabStatusLeft, false);
    Status = MakeLabel(this, "Status", kStatusLeft, true);
    labPing = MakeLabel(this, "labPing", kLabPingLeft, false);
    Ping = MakeLabel(this, "Ping", kPingLeft, true);
    SetLabelText(LabStatus, QString::fromLatin1(kWordStatus));
    SetLabelText(labPing, QString::fromLatin1(kWordPing));
    SetLabelColor(LabStatus, kColorCaption);
    SetLabelColor(labPing, kColorCaption);
    // The caption sits on the dark panel; the others lie over the window's background.
    QPalette panel = LabStatus->palette();
    panel.setColor(QPalette::Window, FromColorRef(kColorPanel));
    LabStatus->setPalette(panel);
    LabStatus->setAutoFillBackground(true);

    BtnMinimize = MakeImageButton("BtnMinimize", {kMinimizeLeft, kMinimizeTop, kMinimizeSize, kMinimizeSize},
                                  &TMainForm::BtnMinimizeClick);
    BtnRefreshAll =
        MakeImageButton("BtnRefreshAll", {kRefreshAllLeft, kRefreshAllTop, kRefreshAllSize, kRefreshAllSize},
                        &TMainForm::BtnRefreshAllClick);

    RefreshTimer = new QTimer(this);
    RefreshTimer->setObjectName("RefreshTimer");
    RefreshTimer->setSingleShot(true);
    RefreshTimer->setInterval(kFirstRefreshMs);
    connect(RefreshTimer, &QTimer::timeout, this, &TMainForm::RefreshTimerTimer);

    trayAvailable_ = &QSystemTrayIcon::isSystemTrayAvailable;
    TrayIcon = new QSystemTrayIcon(this);
    SetTrayImage(tiOffline);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            TrayIconClick();
    });
    connect(TrayIcon, &QSystemTrayIcon::messageClicked, this, &TMainForm::TrayIconClick);

    connect(&probes_, &TProbeService::serverProbed, this, [this](std::uint64_t id) {
        if (id == shownServerId_)
            RefreshServerVisibleStatus();
    });
    // The end of the shown server's probe re-arms the cycle.
    connect(&probes_, &TProbeService::probeFinished, this, [this](std::uint64_t id) {
        if (id == shownServerId_ && !RefreshTimer->isActive())
            RefreshTimer->start();
    });
}

void TMainForm::StartRefreshCycle()
{
    RefreshTimer->setInterval(kFirstRefreshMs);
    RefreshTimer->start();
}

void TMainForm::SetTrayImage(int index)
{
    index = std::clamp(index, 0, kTrayImageCount - 1);
    // Every probe's hand-off lands here; the icon is only rebuilt when the picture changes.
    if (index == trayImage_ && !TrayIcon->icon().isNull())
        return;
    trayImage_ = index;
    TrayIcon->setIcon(QIcon(QString::fromLatin1(kTrayImages[trayImage_])));
}

bool TMainForm::TrayShown() const
{
    return TrayIcon->isVisible();
}

void TMainForm::RefreshTrayToolTip()
{
    // Not every desktop tells the icon that the pointer rests on it, so the balloon that moment
    // would show is kept in the tooltip as well.
    int index = SelectedIndex();
    if (index < 0 || index >= static_cast<int>(Servers.size())) {
        TrayIcon->setToolTip(QString());
        return;
    }
    const QString title = ToQString(Servers[static_cast<std::size_t>(index)].Name);
    const QString text = ToQString(Msg(TrayHintFor(Servers[static_cast<std::size_t>(index)].Status)));
    TrayIcon->setToolTip(title.left(kBalloonTitleMax) + QLatin1Char('\n') + text.left(kBalloonTextMax));
}

void TMainForm::Announce(const QString& title, const QString& text, std::uint8_t state)
{
    ++announcements_;
    // A server that went away is a warning; one that came back is news.
    const auto icon = state == ssOffline ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information;
    announcedIcon_ = icon;
    QApplication::beep();
    TrayIcon->showMessage(title.left(kBalloonTitleMax), text.left(kBalloonTextMax), icon,
                          kAnnouncementSeconds * kMsPerSecond);
}

void TMainForm::RefreshServerVisibleStatus()
{
    const int index = SelectedIndex();
    if (index < 0 || index >= static_cast<int>(Servers.size())) {
        LabStatus->hide();
        Status->hide();
        labPing->hide();
        Ping->hide();
        RefreshTrayToolTip();
        return;
    }
    const TServer& entry = Servers[static_cast<std::size_t>(index)];
    const std::uint8_t state = entry.Status;
    const TStatusView view = StatusViewOf(state, entry.Ping);
    SetLabelText(Status, ToQString(view.StatusText));
    SetLabelColor(Status, view.StatusColor);
    LabStatus->show();
    Status->show();
    if (view.PingVisible) {
        SetLabelText(Ping, ToQString(view.PingText));
        SetLabelColor(Ping, view.PingColor);
        labPing->show();
        Ping->show();
    } else {
        labPing->hide();
        Ping->hide();
    }
    SetTrayImage(view.TrayImage);
    if (state == ssOffline || state == ssOnline) {
        if (int message = AnnouncementFor(state, LastAnnouncedStatus, TrayShown()))
            Announce(ToQString(entry.Name), ToQString(Msg(message)), state);
        LastAnnouncedStatus = state;
    }
    RefreshTrayToolTip();
}

void TMainForm::RefreshTimerTimer()
{
    RefreshTimer->setInterval(kRefreshPeriodMs);
    RefreshTimer->stop();
    if (AppClosing)
        return;
    CheckUpdateSchedule();
    probes_.StartProbe(shownServerId_);
}

void TMainForm::BtnRefreshAllClick()
{
    const bool selected = SelectedIndex() >= 0;
    if (selected)
        RefreshTimer->stop();
    probes_.ProbeAllServers();
    if (selected)
        RefreshTimer->start();
}

void TMainForm::ListMouseDown()
{
    // The panel and the status line already follow the selection (SelectedServerChanged); this step
    // adds a fresh probe and starts the refresh period anew.
    RefreshTimer->stop();
    probes_.StartProbe(shownServerId_);
    RefreshTimer->setInterval(kRefreshPeriodMs);
    RefreshTimer->start();
}

void TMainForm::BtnMinimizeClick()
{
    // Hiding the window with no icon to bring it back would leave it beyond reach.
    if (!trayAvailable_ || !trayAvailable_()) {
        showMinimized();
        return;
    }
    TrayIcon->show();
    const int index = SelectedIndex();
    if (index < 0 || index >= static_cast<int>(Servers.size()))
        SetTrayImage(tiEmblem);
    else
        LastAnnouncedStatus = Servers[static_cast<std::size_t>(index)].Status;
    RefreshTrayToolTip();
    hide();
}

void TMainForm::MinimizedByOtherMeans()
{
    // Without a notification area the window simply stays minimized on the taskbar.
    if (!trayAvailable_ || !trayAvailable_())
        return;
    TrayIcon->show();
    RefreshTrayToolTip();
    // Hiding from inside the state change would be undone by the window system finishing it.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized() && TrayShown())
            hide();
    });
}

void TMainForm::TrayIconClick()
{
    TrayIcon->hide();
    showNormal();
    raise();
    activateWindow();
}
