// The main window: the server list and everything reached from it. Its life cycle (create, first
// show, first idle, close, destroy) is where the rest of the program attaches its work. Each handler
// is a thin call into a component with a file of its own; mainfm.cpp lists them.
#pragma once

#include "core/servers_u.h"
#include "core/settings.h"
#include "ui/mainframe.h"

#include "ui/listkeys.h"

#include <QElapsedTimer>
#include <QRect>
#include <QSet>
#include <QWidget>
#include <cstdint>
#include <string>

class QAbstractButton;
class QTimer;
class TBusyCloseGuard;
class TGameLaunch;
class TImgBtn;
class TListBoxEx;
class TMainDialogs;
class TNewsService;
class TProbeService;
class TServerListView;
class TUpdateControl;

class TMainForm : public QWidget
{
    Q_OBJECT

public:
    // The window reads `settings` for its decisions and follows their changes. The services are the
    // program's: it starts probes and fetches, and shows what they find. All three outlive the window.
    TMainForm(TSettings& settings, TProbeService& probes, TNewsService& news, QWidget* parent = nullptr);
    ~TMainForm() override;

    // -- life cycle --
    void FormCreate();
    void FormShow();
    void ApplicationEventsIdle();
    void FormClose();
    void FormDestroy();
    void LoadSettings();
    // False when the settings could not be written; the servers are then not written either.
    bool SaveSettings();

    // -- server list (the view in serverlist.cpp) --
    TListBoxEx* ServerList() const;
    // Selected server index, -1 when none.
    int SelectedIndex() const;
    // Identity of the selected server, kNoServerId when none.
    std::uint64_t SelectedServerId() const;
    void SelectIndex(int index);
    // The server array changed (added, removed, renamed, reordered): the rows are read again.
    void ReloadServerList();
    // Some servers changed their state: repaint the visible rows. Cheap; batches of probe results call it.
    void ServerRowsChanged();
    void UpdateList();
    // The selection step: what selecting a server by mouse or arrow key sets off.
    void ListMouseDown();
    // Whatever moved the selection (keys, mouse, a move, a removal, a call): when it now rests on
    // another server, the status line, the tray's tooltip and the information panel show that one.
    void SelectedServerChanged();
    // `text` is the character the key typed, if any: it may go to the search by name.
    void ListKeyDown(int key, Qt::KeyboardModifiers modifiers, const QString& text = {});
    void ListKeyPress(int key, Qt::KeyboardModifiers modifiers, const QString& text = {});
    // Selects the next server whose name begins with what was typed within the last second.
    void ListTypeAhead(const QString& text);
    void ListKeyUp(int key, Qt::KeyboardModifiers modifiers);
    void BtnUpClick();
    void BtnDownClick();

    // -- frame, menu and information panel's place (the frame in mainframe.cpp) --
    void BtnCloseClick();
    void BtnMenuClick();
    void BtnMenuMouseEnter();
    void BtnMenuMouseLeave();
    void PopupTimerTimer();
    void ItemInfoPanelClick();
    bool InfoPanelVisible() const;
    int InfoPanelPage() const { return infoPanelPage_; }
    TMainFrame* Frame() const { return frame_; }
    // The news view, once it exists: the wheel over it scrolls it, not the list.
    void SetNewsView(QWidget* view) { RSSBrowser = view; }

    // -- game: launch and folder clearing (the work in gamelaunch.cpp) --
    void BtnPlayClick();
    void ItemClearWDBClick();
    void ItemClearWTFClick();
    void ItemClearScreenshotsClick();
    TGameLaunch* Game() const { return game_; }

    // -- monitoring: status display, refresh cycle, notification area (the display in
    // statusdisplay.cpp) --
    void RefreshServerVisibleStatus();
    void RefreshTimerTimer();
    void BtnRefreshAllClick();
    // To the notification area, or minimized as usual where the desktop has none.
    void BtnMinimizeClick();
    void TrayIconClick();

    // -- dialogs: server editor, settings, about (the dialogs' side in maindialogs.cpp) --
    void BtnAddClick();
    void BtnEditClick();
    void BtnRemoveClick();
    void ItemSettingsClick();
    void ItemAboutClick();

    // -- update (the schedule, the check and the update window in updatecontrol.cpp) --
    // The refresh timer's look at the update schedule; it decides once per run.
    void CheckUpdateSchedule();
    void ItemUpdateClick();
    TUpdateControl* Updates() const { return updates_; }

    // -- information panel and news (the panel in infopanel.cpp, the news in newsview.cpp) --
    void UpdateInfoPanel();
    void SelectInfoPanel(int page);
    void InfoBtn0Click();
    void InfoBtn1Click();
    void InfoBtn2Click();
    void UpdateRSSBrowser();
    void BtnPrevClick();
    void BtnNextClick();
    void RSSBrowserHotSpotClick(const QString& src);
    void RSSBrowserEnter();

signals:
    // The window has closed, whether it was visible or hidden (the end of a game launch): the program ends.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Keys a focused button left alone: the list's keys still work there.
    void keyPressEvent(QKeyEvent* event) override;

private:
    // -- construction --
    void SetupFrameControls();
    // The window's own keys (kWindowKeys), on the menu's items where it has them.
    void SetupWindowKeys();
    // Tab walks the controls as they are laid out: the list, the round buttons, the bottom row, the panel, the title.
    void SetupTabOrder();
    // One of the window's picture buttons; its pictures are the skin's, named after it without "Btn".
    TImgBtn* MakeImageButton(const char* name, QRect geometry, void (TMainForm::*onClick)());
    void ApplyWindowSettings(const TWindowSettings& window);
    TWindowSettings CurrentWindowSettings() const;
    // The wheel over the news view scrolls the view by one arrow key; true when it did.
    bool WheelOverNewsView(class QWheelEvent* event);
    // The components of their own files, and the one place where the window is joined to them.
    void SetupComponents();
    // What the dialogs changed, followed in the list, the status line and the panel.
    void ServerAdded(std::uint64_t serverId);
    void ServerChanged(std::uint64_t serverId);
    void ServerRemoved(int row);
    void PauseRefresh();
    void ResumeRefresh();
    // The settings of the watch (refresh period, how long a change must hold) into the status display.
    void FollowWatchSettings();

    TSettings& settings_;
    TSettingsSubscription settingsFollowed_;
    TProbeService& probes_;
    TMainFrame* frame_ = nullptr;
    TServerListView* serverList_ = nullptr;
    TListBoxEx* List = nullptr;
    QWidget* RSSBrowser = nullptr;
    QAbstractButton* BtnClose = nullptr;
    TImgBtn* BtnMenu = nullptr;
    int infoPanelPage_ = kDefaultPanel;
    // The server the status line and the panel show; identity, not row, so a move is no change.
    std::uint64_t shownServerId_ = kNoServerId;
    bool shownOnce_ = false;
    // Keys that went down with Alt held and have not come up yet.
    QSet<int> altKeys_;
    TTypeAhead typeAhead_;
    QElapsedTimer typeAheadClock_;
    bool destroyed_ = false;
    bool firstPaintPending_ = false;

    TGameLaunch* game_ = nullptr;
    TBusyCloseGuard* closeGuard_ = nullptr;
    TMainDialogs* dialogs_ = nullptr;
    TUpdateControl* updates_ = nullptr;

    // -- information panel and news --
    TNewsService& news_;
    class TInfoPanel* InfoPanel = nullptr;

    // -- monitoring --
    class TStatusDisplay* status_ = nullptr;
};
