// The main window: the server list and everything reached from it. Its life cycle (create, first
// show, first idle, close, destroy) is where the rest of the program attaches its work.
#pragma once

#include "core/settings_u.h"

#include <QStyle>
#include <QWidget>
#include <string>

class QAbstractButton;
class QListWidget;
class QListWidgetItem;
class TBusyCloseGuard;
struct TClearTarget;

inline constexpr int kMainWidth = 261;
inline constexpr int kMainHeight = 268;

class TMainForm : public QWidget
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Selected server index, -1 when none.
    int SelectedIndex() const;
    void SelectIndex(int index);
    QListWidget* ServerList() const { return List; }

    void LoadSettings();
    // False when the settings could not be written; the servers are then not written either.
    bool SaveSettings();

    // Life cycle.
    void FormCreate();
    void FormShow();
    void ApplicationEventsIdle();
    void FormClose();
    void FormDestroy();
    void BtnCloseClick();

    // Game: launch and folder clearing (mainfm_game.cpp).
    void BtnPlayClick();
    void ItemClearWDBClick();
    void ItemClearWTFClick();
    void ItemClearScreenshotsClick();
    // Empties the folder of `mask` (folder + "*.*"), keeping the window painted; true when all was deleted.
    bool Vyprazdnit(const std::string& mask);
    // Dialogs of later work; until they exist the callers show their message and stop.
    void ItemSettingsClick();
    void BtnEditClick();

    // Monitoring: status display, refresh cycle, notification area (mainfm_status.cpp).
    void RefreshServerVisibleStatus();
    void RefreshTimerTimer();
    void BtnRefreshAllClick();
    // The selection step: what selecting a server by mouse or arrow key sets off.
    void ListMouseDown();

signals:
    // The window has closed, whether it was visible or hidden (the end of a game launch): the program ends.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetupGameControls();
    void SetupStatusControls();
    // A plain stand-in for one of the window's image buttons until the window gets its skin; it never
    // takes the list's keyboard focus.
    class QToolButton* MakeToolButton(const char* name, QRect geometry, QStyle::StandardPixmap icon, int hintId,
                                      void (TMainForm::*onClick)());
    void ApplyWindowSettings(const TWindowSettings& window);
    TWindowSettings CurrentWindowSettings() const;

    QListWidget* List = nullptr;
    class QAbstractButton* BtnClose = nullptr;
    // The information panel arrives later; its state is kept so that it survives a run unchanged.
    bool infoPanelVisible_ = false;
    int infoPanelPage_ = kDefaultPanel;
    bool destroyed_ = false;

    // -- game (mainfm_game.cpp) --
    void ClearGameFolder(const TClearTarget& target, bool silent);
    QAbstractButton* BtnPlay = nullptr;
    QAbstractButton* BtnFolders = nullptr;
    // Set while a folder is being emptied: the window repaints then, but takes no new command.
    bool gameBusy_ = false;
    TBusyCloseGuard* closeGuard_ = nullptr;

    // -- monitoring (mainfm_status.cpp) --
public:
    // To the notification area, or minimized as usual where the desktop has none.
    void BtnMinimizeClick();
    void TrayIconClick();

private:
    friend class TestMainFormStatus;
    // Minimized from the taskbar or the window manager: to the notification area, where there is one.
    void MinimizedByOtherMeans();
    // The first show's step: the first refresh tick comes about a second later.
    void StartRefreshCycle();
    void SetTrayImage(int index);
    void RefreshTrayToolTip();
    void Announce(const QString& title, const QString& text);
    bool TrayShown() const;

    class QLabel* LabStatus = nullptr;
    QLabel* Status = nullptr;
    QLabel* labPing = nullptr;
    QLabel* Ping = nullptr;
    class QAbstractButton* BtnMinimize = nullptr;
    QAbstractButton* BtnRefreshAll = nullptr;
    class QTimer* RefreshTimer = nullptr;
    class QSystemTrayIcon* TrayIcon = nullptr;
    int trayImage_ = 0;
    // Asked before the window goes to the notification area; replaceable so tests can have one.
    bool (*trayAvailable_)() = nullptr;
    int announcements_ = 0;
};
