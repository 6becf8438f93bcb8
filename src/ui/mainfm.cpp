#include "ui/mainfm.h"

#include "buildconfig.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "platform/compositor.h"
#include "ui/ImgBtn.h"
#include "ui/ListBoxEx.h"
#include "ui/gamelaunch.h"
#include "ui/imgfrm.h"
#include "ui/infopanel.h"
#include "ui/listkeys.h"
#include "ui/localizemain.h"
#include "ui/maindialogs.h"
#include "ui/msgbox.h"
#include "ui/newsview.h"
#include "ui/serverlist.h"
#include "ui/skinfont.h"
#include "ui/skinstyle.h"
#include "ui/statusdisplay.h"
#include "ui/updatecontrol.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QThread>
#include <QTimer>

namespace {

// Between two looks at another copy's lock file: long enough not to spin a core, short enough to repaint.
constexpr int kLockWaitSliceMs = 15;
constexpr const char* kButtonPrefixes[] = {"Btn", "btn"};
constexpr int kWheelKeyRepeat = 1;
constexpr int kIdleWithoutPaintMs = 1000;
constexpr const char* kX11Platform = "xcb";

QStringList LiveServerNames()
{
    // Removed entries wait at the end of the array until the save; they have no row.
    QStringList names;
    for (const TServer& server : Servers)
        if (!server.Deleted)
            names.append(ToQString(server.Name));
    return names;
}
// The taskbar caption is the same in every edition; its version is the build's, as the about box and
// --version show it.
constexpr const char* kMainFormCaption = "Korvan " KORVAN_VERSION_TEXT;

} // namespace

// ---------------------------------------------------------------------------------------------
// Life cycle

TMainForm::TMainForm(TSettings& settings, TProbeService& probes, TNewsService& news, QWidget* parent)
    : QWidget(parent), settings_(settings), probes_(probes), news_(news)
{
    setObjectName("MainForm");
    setWindowTitle(QString::fromLatin1(kMainFormCaption));
    // No system frame: the skin is the window. Minimize stays allowed for the taskbar button.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint | Qt::WindowSystemMenuHint);
    setFixedSize(kMainWidth, kMainHeight);
    // Set before any control exists, so each one starts from the window's face.
    setFont(SkinFont(kSkinTextPx));

    frame_ = new TMainFrame(this);
    // X11 desktops may run without a compositing manager; the others always composite.
    frame_->FollowCompositor(
        QGuiApplication::platformName() == QLatin1String(kX11Platform) ? platform::WatchX11Compositor() : nullptr);
    serverList_ = new TServerListView(this);
    List = serverList_->List();
    List->installEventFilter(this);
    setFocusProxy(List);
    SetupFrameControls();
    SetupComponents();
    SetupWindowKeys();
    SetupTabOrder();
    typeAheadClock_.start();

    FormCreate();
}

TMainForm::~TMainForm()
{
    FormDestroy();
}

void TMainForm::FormCreate()
{
    LocalizeMainForm(this);
    frame_->LayoutLoaded();
    // Keep the window alive while another copy finishes saving the file we are about to read.
    LoadServers([] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, kLockWaitSliceMs);
        QThread::msleep(kLockWaitSliceMs);
    });
    ReloadServerList();
    LoadSettings();
}

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    shownOnce_ = true;
    FormShow();
}

void TMainForm::FormShow()
{
    if (!FirstShow)
        return;
    FirstShow = false;
    status_->StartRefreshCycle();
    UpdateInfoPanel();
    List->setFocus();
    // The first idle moment comes once the window has been painted (paintEvent); a window that is
    // never painted (minimized at once, say) still gets there.
    firstPaintPending_ = true;
    QTimer::singleShot(kIdleWithoutPaintMs, this, &TMainForm::ApplicationEventsIdle);
}

void TMainForm::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (!firstPaintPending_)
        return;
    firstPaintPending_ = false;
    // Queued behind the paint, so probing a long list never holds up the first picture of the window.
    QTimer::singleShot(0, this, &TMainForm::ApplicationEventsIdle);
}

void TMainForm::ApplicationEventsIdle()
{
    if (!FirstIdle)
        return;
    FirstIdle = false;
    QCoreApplication::processEvents();
    status_->ProbeEveryServer();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
    emit Closed();
}

void TMainForm::FormClose()
{
    AppClosing = true;
    status_->Stop();
    frame_->PopupTimer()->stop();
}

void TMainForm::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    // Probes finishing while the box below is up must not reach a window that is going away.
    probes_.disconnect(this);
    probes_.disconnect(List);
    probes_.disconnect(status_);
    // After an update's hand-over the new copy owns the file; both were saved before it started.
    if (updates_->HandedOver())
        return;
    // Both go to the same file; when the settings cannot be written the servers are not tried either.
    if (SaveSettings() && SaveServers())
        return;
    // The user's changes of this run are lost: say so once, with the file, rather than end silently.
    ShowError(nullptr, FillText(TTextId::SettingsNotSaved, {IniPath}));
}

void TMainForm::ApplyWindowSettings(const TWindowSettings& window)
{
    frame_->SetInfoPanelVisible(window.FullInfo);
    SelectInfoPanel(window.Panel);
    SelectIndex(SelectedIndexFor(window.ServerIndex, List->Count()));
    if (settings_.Values().SaveWindowPos) {
        move(window.WindowPosX, window.WindowPosY);
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->geometry();
        move(area.left() + CentredEdge(area.width(), width()), area.top() + CentredEdge(area.height(), height()));
    }
}

TWindowSettings TMainForm::CurrentWindowSettings() const
{
    TWindowSettings window;
    window.FullInfo = frame_->InfoPanelVisible();
    window.Panel = infoPanelPage_;
    window.ServerIndex = std::max(SelectedIndex(), 0);
    window.WindowPosX = x();
    window.WindowPosY = y();
    return window;
}

void TMainForm::LoadSettings()
{
    TWindowSettings window;
    window.WindowPosX = x();
    window.WindowPosY = y();
    // A refused LastRun stamp does not stop the start.
    (void)settings_.Load(IniPath, window);
    FollowWatchSettings();
    ApplyWindowSettings(window);
}

void TMainForm::FollowWatchSettings()
{
    status_->SetRefreshPeriod(settings_.Values().RefreshPeriod);
    status_->SetAnnounceAfter(settings_.Values().AnnounceAfter);
}

bool TMainForm::SaveSettings()
{
    return settings_.Save(IniPath, CurrentWindowSettings());
}

// ---------------------------------------------------------------------------------------------
// Controls

TImgBtn* TMainForm::MakeImageButton(const char* name, QRect geometry, void (TMainForm::*onClick)())
{
    auto* button = new TImgBtn(this);
    button->setObjectName(name);
    button->setGeometry(geometry);
    QString picture = QString::fromLatin1(name);
    for (const char* prefix : kButtonPrefixes)
        if (picture.startsWith(QLatin1String(prefix)))
            picture.remove(0, static_cast<int>(qstrlen(prefix)));
    button->LoadSkin(picture);
    connect(button, &TImgBtn::clicked, this, onClick);
    return button;
}

void TMainForm::SetupFrameControls()
{
    BtnClose = MakeImageButton("BtnClose", kCloseRect, &TMainForm::BtnCloseClick);
    BtnMenu = MakeImageButton("BtnMenu", kMenuRect, &TMainForm::BtnMenuClick);
    MakeImageButton("BtnAdd", kAddRect, &TMainForm::BtnAddClick);
    MakeImageButton("BtnRemove", kRemoveRect, &TMainForm::BtnRemoveClick);
    MakeImageButton("BtnEdit", kEditRect, &TMainForm::BtnEditClick);
    MakeImageButton("BtnDown", kDownRect, &TMainForm::BtnDownClick);
    MakeImageButton("BtnUp", kUpRect, &TMainForm::BtnUpClick);
    MakeImageButton("btnInfoPanel", kInfoPanelButtonRect, &TMainForm::ItemInfoPanelClick);
    // Its pictures are the edition's; the window's texts bring them.
    MakeImageButton("BtnPlay", kPlayRect, &TMainForm::BtnPlayClick);

    frame_->SetMenuButton(BtnMenu);
    connect(BtnMenu, &TImgBtn::MouseEntered, this, &TMainForm::BtnMenuMouseEnter);
    connect(BtnMenu, &TImgBtn::MouseLeft, this, &TMainForm::BtnMenuMouseLeave);
    connect(frame_, &TMainFrame::PopupTimerElapsed, this, &TMainForm::PopupTimerTimer);

    const struct
    {
        const char* item;
        void (TMainForm::*handler)();
    } items[] = {
        {"ItemSettings", &TMainForm::ItemSettingsClick},
        {"ItemInfoPanel", &TMainForm::ItemInfoPanelClick},
        {"ItemClearWDB", &TMainForm::ItemClearWDBClick},
        {"ItemClearWTF", &TMainForm::ItemClearWTFClick},
        {"ItemClearScreenshots", &TMainForm::ItemClearScreenshotsClick},
        {"ItemUpdate", &TMainForm::ItemUpdateClick},
        {"ItemAbout", &TMainForm::ItemAboutClick},
        {"ItemAddServer", &TMainForm::BtnAddClick},
        {"ItemClose", &TMainForm::BtnCloseClick},
    };
    for (const auto& [item, handler] : items)
        connect(frame_->Item(item), &QAction::triggered, this, handler);
}

void TMainForm::SetupWindowKeys()
{
    const struct
    {
        TListCommand command;
        const char* item;
        void (TMainForm::*handler)();
    } commands[] = {
        {TListCommand::AddServer, "ItemAddServer", nullptr},
        {TListCommand::Close, "ItemClose", nullptr},
        {TListCommand::RemoveServer, "KeyRemoveServer", &TMainForm::BtnRemoveClick},
        {TListCommand::EditServer, "KeyEditServer", &TMainForm::BtnEditClick},
    };
    for (const auto& [command, item, handler] : commands) {
        QAction* action = frame_->Item(item);
        if (!action) {
            action = new QAction(this);
            action->setObjectName(item);
            connect(action, &QAction::triggered, this, handler);
        }
        QList<QKeySequence> keys;
        for (const QKeyCombination key : WindowKeysOf(command, true))
            keys.append(QKeySequence(key));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        // A menu that is closed hears no keys: the window holds the action too.
        addAction(action);
    }
}

void TMainForm::SetupTabOrder()
{
    const char* const order[] = {"btnInfoPanel", "BtnRefreshAll", "BtnDown",     "BtnUp",    "BtnMenu",  "BtnPlay",
                                 "BtnAdd",       "BtnRemove",     "BtnEdit",     "InfoBtn0", "InfoBtn1", "InfoBtn2",
                                 "BtnPrev",      "BtnNext",       "BtnMinimize", "BtnClose"};
    QWidget* previous = List;
    for (const char* name : order) {
        auto* next = findChild<QWidget*>(QString::fromLatin1(name));
        if (!next)
            continue;
        setTabOrder(previous, next);
        previous = next;
    }
}

void TMainForm::SetupComponents()
{
    connect(List, &TListBoxEx::KeyDown, this, [this](QKeyEvent* key) {
        if (key->modifiers() & Qt::AltModifier)
            altKeys_.insert(key->key());
        else
            altKeys_.remove(key->key());
        ListKeyDown(key->key(), key->modifiers(), key->text());
    });
    connect(List, &TListBoxEx::KeyUp, this, [this](QKeyEvent* key) {
        // A held key repeats its release too; the step follows the last one only.
        if (key->isAutoRepeat())
            return;
        // Alt let go a moment before the arrow still means Alt and the arrow.
        Qt::KeyboardModifiers modifiers = key->modifiers();
        if (altKeys_.remove(key->key()))
            modifiers |= Qt::AltModifier;
        ListKeyUp(key->key(), modifiers);
    });
    connect(List, &TListBoxEx::MouseDown, this, [this] { ListMouseDown(); });
    connect(List, &TListBoxEx::ItemIndexChanged, this, &TMainForm::SelectedServerChanged);
    // Results that arrive together repaint the list once: the repaints are coalesced.
    connect(&probes_, &TProbeService::serverProbed, List, &TListBoxEx::RowsChanged);
    game_ = new TGameLaunch(this, settings_);
    closeGuard_ = new TBusyCloseGuard(this);
    dialogs_ = new TMainDialogs(this, settings_);
    updates_ = new TUpdateControl(this, settings_, frame_->Item("ItemUpdate"), &probes_,
                                  [this] { return SaveSettings() && SaveServers(); });

    connect(game_, &TGameLaunch::busyChanged, closeGuard_, &TBusyCloseGuard::SetBusy);
    connect(game_, &TGameLaunch::gamePathRefused, this, &TMainForm::ItemSettingsClick);
    connect(game_, &TGameLaunch::serverPathRefused, this, &TMainForm::BtnEditClick);
    connect(game_, &TGameLaunch::wineSetupRefused, this,
            [this](std::uint64_t serverId) { dialogs_->Edit(serverId, TAddFormPage::Linux); });
    connect(game_, &TGameLaunch::launchBegan, this, &QWidget::hide);
    connect(game_, &TGameLaunch::launchFailed, this, &QWidget::show);
    connect(game_, &TGameLaunch::gameStarted, this, &QWidget::close);

    connect(dialogs_, &TMainDialogs::serverAdded, this, &TMainForm::ServerAdded);
    connect(dialogs_, &TMainDialogs::serverChanged, this, &TMainForm::ServerChanged);
    connect(dialogs_, &TMainDialogs::serverRemoved, this, &TMainForm::ServerRemoved);
    // The panel shows the game's version, so a saved settings dialog repaints it.
    settingsFollowed_ = settings_.Subscribe([this] {
        UpdateInfoPanel();
        FollowWatchSettings();
    });

    connect(updates_, &TUpdateControl::downloadStarted, this, &TMainForm::PauseRefresh);
    connect(updates_, &TUpdateControl::updateAbandoned, this, &TMainForm::ResumeRefresh);
    connect(updates_, &TUpdateControl::handedOver, this, &QWidget::close);

    MakeImageButton("BtnMinimize", kMinimizeRect, &TMainForm::BtnMinimizeClick);
    MakeImageButton("BtnRefreshAll", kRefreshAllRect, &TMainForm::BtnRefreshAllClick);
    status_ = new TStatusDisplay(this, probes_);
    connect(status_, &TStatusDisplay::refreshTicked, this, &TMainForm::CheckUpdateSchedule);
    connect(status_, &TStatusDisplay::trayIconClicked, this, &TMainForm::TrayIconClick);
    // Queued: Play may open boxes, which must not run inside the probe's delivery.
    connect(status_, &TStatusDisplay::waitedServerAnswered, game_, &TGameLaunch::Play, Qt::QueuedConnection);

    InfoPanel = new TInfoPanel(frame_->InfoPanel(), settings_, news_);
    InfoPanel->ShowHistory(status_->History());
    connect(status_, &TStatusDisplay::historyRecorded, InfoPanel, &TInfoPanel::HistoryRecorded);
    TNewsView* newsView = InfoPanel->News();
    // Queued: the focus moves back once the view has finished taking it.
    connect(
        newsView, &TNewsView::focusReturned, this, [this] { List->setFocus(); }, Qt::QueuedConnection);
    SetNewsView(newsView->Browser());
    connect(InfoPanel, &TInfoPanel::pageSelected, this, [this](int page) { infoPanelPage_ = page; });
    infoPanelPage_ = InfoPanel->CurrentPage();
}

// ---------------------------------------------------------------------------------------------
// Server list

TListBoxEx* TMainForm::ServerList() const
{
    return List;
}

int TMainForm::SelectedIndex() const
{
    return List->ItemIndex();
}

std::uint64_t TMainForm::SelectedServerId() const
{
    const TServer* selected = ServerAt(SelectedIndex());
    return selected ? selected->Id : kNoServerId;
}

void TMainForm::SelectIndex(int index)
{
    List->SetItemIndex(index);
}

void TMainForm::ReloadServerList()
{
    serverList_->SetNames(LiveServerNames());
    // The same row may now hold another server.
    SelectedServerChanged();
}

void TMainForm::SelectedServerChanged()
{
    const std::uint64_t id = SelectedServerId();
    // A server moved up or down is still the one shown.
    if (id == shownServerId_)
        return;
    shownServerId_ = id;
    // Until the first show fills it, the panel waits: a window never shown (--play) fetches no news.
    if (shownOnce_)
        UpdateInfoPanel();
    status_->ShowServer(id);
}

void TMainForm::ServerRowsChanged()
{
    List->RowsChanged();
}

void TMainForm::UpdateList()
{
    serverList_->UpdateList();
}

void TMainForm::ListKeyDown(int key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    switch (ListKeyDownCommand(key, modifiers)) {
    case TListCommand::Play:
        if (SelectedIndex() >= 0)
            BtnPlayClick();
        break;
    case TListCommand::Close:
        // Escape ends a wait for a server before it closes anything.
        if (status_->Waiting())
            status_->CancelWait();
        else
            BtnCloseClick();
        break;
    case TListCommand::ToggleInfoPanel:
        ItemInfoPanelClick();
        break;
    case TListCommand::EditServer:
        BtnEditClick();
        break;
    case TListCommand::AddServer:
        BtnAddClick();
        break;
    case TListCommand::RemoveServer:
        BtnRemoveClick();
        break;
    case TListCommand::InfoPage1:
        SelectInfoPanel(1);
        break;
    case TListCommand::InfoPage2:
        SelectInfoPanel(2);
        break;
    case TListCommand::InfoPage0:
        SelectInfoPanel(0);
        break;
    case TListCommand::NextInfoPage:
        SelectInfoPanel((infoPanelPage_ + 1) % kPanelPageCount);
        break;
    default:
        ListKeyPress(key, modifiers, text);
        break;
    }
}

void TMainForm::ListKeyPress(int key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    const bool searchable = TypesIntoSearch(text, modifiers);
    // Within a name being typed, M and R are letters of it; on their own they keep their commands.
    if (searchable && typeAhead_.Continues(typeAheadClock_.elapsed())) {
        ListTypeAhead(text);
        return;
    }
    switch (ListKeyPressCommand(key, modifiers)) {
    case TListCommand::OpenMenu:
        BtnMenuClick();
        break;
    case TListCommand::RefreshAll:
        BtnRefreshAllClick();
        break;
    default:
        if (searchable)
            ListTypeAhead(text);
        break;
    }
}

void TMainForm::ListTypeAhead(const QString& text)
{
    QStringList names;
    names.reserve(List->Count());
    for (int row = 0; row < List->Count(); ++row)
        names.append(List->Item(row));
    const int row = typeAhead_.Type(text, typeAheadClock_.elapsed(), names, SelectedIndex());
    if (row < 0 || row == SelectedIndex())
        return;
    SelectIndex(row);
    // A server picked by name is picked as by the arrows: probed now, with a fresh refresh period.
    ListMouseDown();
}

void TMainForm::keyPressEvent(QKeyEvent* event)
{
    // Only from a button: the list has run its keys already, and the news view keeps its own.
    if (qobject_cast<TImgBtn*>(focusWidget()) && !event->isAutoRepeat())
        ListKeyDown(event->key(), event->modifiers(), event->text());
    QWidget::keyPressEvent(event);
}

void TMainForm::ListKeyUp(int key, Qt::KeyboardModifiers modifiers)
{
    switch (ListKeyUpCommand(key, modifiers)) {
    case TListCommand::PreviousNews:
        BtnPrevClick();
        break;
    case TListCommand::NextNews:
        BtnNextClick();
        break;
    case TListCommand::MoveUp:
        BtnUpClick();
        break;
    case TListCommand::MoveDown:
        BtnDownClick();
        break;
    case TListCommand::SelectionStep:
        ListMouseDown();
        break;
    default:
        break;
    }
}

void TMainForm::BtnUpClick()
{
    const int index = SelectedIndex();
    if (index <= 0 || !SwapServers(index, index - 1))
        return;
    List->ExchangeItems(index, index - 1);
    dialogs_->SaveServersNow();
    UpdateRSSBrowser();
}

void TMainForm::BtnDownClick()
{
    const int index = SelectedIndex();
    if (index < 0 || index + 1 >= List->Count() || !SwapServers(index, index + 1))
        return;
    List->ExchangeItems(index, index + 1);
    dialogs_->SaveServersNow();
    UpdateRSSBrowser();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == List && event->type() == QEvent::Wheel && WheelOverNewsView(static_cast<QWheelEvent*>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool TMainForm::WheelOverNewsView(QWheelEvent* event)
{
    if (!RSSBrowser || !RSSBrowser->isVisible())
        return false;
    const QPoint at = RSSBrowser->mapFromGlobal(event->globalPosition().toPoint());
    if (!RSSBrowser->rect().contains(at))
        return false;
    const int key = event->angleDelta().y() < 0 ? Qt::Key_Down : Qt::Key_Up;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(), false, kWheelKeyRepeat);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(), false, kWheelKeyRepeat);
    QCoreApplication::sendEvent(RSSBrowser, &press);
    QCoreApplication::sendEvent(RSSBrowser, &release);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Frame and menu

void TMainForm::BtnCloseClick()
{
    close();
}

void TMainForm::BtnMenuClick()
{
    frame_->OpenMenuAtButton();
}

void TMainForm::BtnMenuMouseEnter()
{
    frame_->MenuButtonEntered(settings_.Values().MenuAutoPopup);
}

void TMainForm::BtnMenuMouseLeave()
{
    frame_->MenuButtonLeft();
}

void TMainForm::PopupTimerTimer()
{
    BtnMenuClick();
}

void TMainForm::ItemInfoPanelClick()
{
    frame_->SetInfoPanelVisible(!frame_->InfoPanelVisible());
}

bool TMainForm::InfoPanelVisible() const
{
    return frame_->InfoPanelVisible();
}

// ---------------------------------------------------------------------------------------------
// Status line, refresh cycle and notification area: the status display (statusdisplay.cpp)

void TMainForm::RefreshServerVisibleStatus()
{
    status_->RefreshServerVisibleStatus();
}

void TMainForm::RefreshTimerTimer()
{
    status_->RefreshTimerTimer();
}

void TMainForm::BtnRefreshAllClick()
{
    status_->RefreshAll();
}

void TMainForm::ListMouseDown()
{
    // The panel and the status line already follow the selection (SelectedServerChanged); this step
    // adds a fresh probe and starts the refresh period anew.
    status_->RestartRefreshCycle();
}

void TMainForm::BtnMinimizeClick()
{
    status_->MinimizeToTray();
}

void TMainForm::TrayIconClick()
{
    status_->RestoreWindow();
}

// ---------------------------------------------------------------------------------------------
// Information panel and news: the panel (infopanel.cpp) and its news view (newsview.cpp)

void TMainForm::UpdateInfoPanel()
{
    InfoPanel->ShowServer(SelectedServerId());
}

void TMainForm::SelectInfoPanel(int page)
{
    InfoPanel->SelectInfoPanel(page);
}

void TMainForm::InfoBtn0Click()
{
    InfoPanel->InfoBtn0Click();
}

void TMainForm::InfoBtn1Click()
{
    InfoPanel->InfoBtn1Click();
}

void TMainForm::InfoBtn2Click()
{
    InfoPanel->InfoBtn2Click();
}

void TMainForm::UpdateRSSBrowser()
{
    InfoPanel->News()->ShowServer(SelectedServerId());
}

void TMainForm::BtnNextClick()
{
    InfoPanel->News()->BtnNextClick();
}

void TMainForm::BtnPrevClick()
{
    InfoPanel->News()->BtnPrevClick();
}

void TMainForm::RSSBrowserHotSpotClick(const QString& src)
{
    InfoPanel->News()->RSSBrowserHotSpotClick(src);
}

void TMainForm::RSSBrowserEnter()
{
    InfoPanel->News()->RSSBrowserEnter();
}

// ---------------------------------------------------------------------------------------------
// Game

void TMainForm::BtnPlayClick()
{
    const std::uint64_t id = SelectedServerId();
    const TServer* server = LiveServerById(id);
    // A server that does not answer can be waited for; only when Play would otherwise start the game,
    // so a missing path is still reported at once.
    if (server && server->Status == ssOffline && game_->Ready(id)) {
        const std::string question = FillText(TTextId::PlayWhenBackQuestion, {server->Name});
        if (AskYesNo(this, question, false)) {
            status_->WaitForServer(id);
            return;
        }
    }
    game_->Play(id);
}

void TMainForm::ItemClearWDBClick()
{
    game_->ClearWDB(SelectedServerId());
}

void TMainForm::ItemClearWTFClick()
{
    game_->ClearWTF(SelectedServerId());
}

void TMainForm::ItemClearScreenshotsClick()
{
    game_->ClearScreenshots(SelectedServerId());
}

// ---------------------------------------------------------------------------------------------
// Dialogs

void TMainForm::BtnAddClick()
{
    dialogs_->Add();
}

void TMainForm::BtnEditClick()
{
    dialogs_->Edit(SelectedServerId());
}

void TMainForm::BtnRemoveClick()
{
    dialogs_->Remove(SelectedServerId());
}

void TMainForm::ItemSettingsClick()
{
    dialogs_->EditSettings();
}

void TMainForm::ItemAboutClick()
{
    dialogs_->ShowAbout();
}

void TMainForm::ServerAdded(std::uint64_t serverId)
{
    const TServer* added = ServerById(serverId);
    if (!added)
        return;
    List->AddItem(ToQString(added->Name));
    UpdateList();
    // Selecting the new row shows it in the status line and the panel.
    SelectIndex(List->Count() - 1);
    probes_.StartProbe(serverId);
}

void TMainForm::ServerChanged(std::uint64_t serverId)
{
    UpdateInfoPanel();
    probes_.StartProbe(serverId);
}

void TMainForm::ServerRemoved(int row)
{
    List->DeleteItem(row);
    UpdateList();
    SelectIndex(row > 0 ? row - 1 : (List->Count() > 0 ? 0 : -1));
    RefreshServerVisibleStatus();
    UpdateInfoPanel();
}

// ---------------------------------------------------------------------------------------------
// Update

void TMainForm::CheckUpdateSchedule()
{
    updates_->CheckUpdateSchedule();
}

void TMainForm::ItemUpdateClick()
{
    updates_->ItemUpdateClick();
}

void TMainForm::PauseRefresh()
{
    status_->Pause();
}

void TMainForm::ResumeRefresh()
{
    status_->Resume();
}
