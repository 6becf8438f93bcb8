// The window's side of the program update: the schedule's one look per run, the background check with
// the menu's update item off while it runs, and the update window, opened by the user or by a check that
// found a newer version.
#pragma once

#include "ui/updatefm.h"

#include <QObject>
#include <functional>

class QAction;
class QWidget;
class TBackgroundUpdateCheck;
class TProbeService;
class TSettings;

class TUpdateControl : public QObject
{
    Q_OBJECT

public:
    // `window` owns the update window and the messages; `item` is the menu's update item, null when the
    // menu has none; `probes` are what the hand-over waits for, none when null; `saveData` writes settings
    // and servers before the hand-over, false when it could not. `settings` (the schedule and the last
    // start) outlives the object.
    TUpdateControl(QWidget* window, const TSettings& settings, QAction* item, TProbeService* probes,
                   std::function<bool()> saveData);

    // The refresh timer's look at the schedule; it decides once per run.
    void CheckUpdateSchedule();
    // Fetches the update list in the background, the item disabled meanwhile; opens the update window
    // when a newer version is there.
    void BackgroundCheckUpdate();
    // The menu's item: the update window, or why this copy does not update itself.
    void ItemUpdateClick();
    // The new copy has been started: this one ends without writing anything more.
    bool HandedOver() const { return handedOver_; }

signals:
    // The download has begun: no probe may start from now on.
    void downloadStarted();
    // The update was given up after its download had begun: probing goes on as before.
    void updateAbandoned();
    // Settings and servers are saved and the new copy runs: the window closes.
    void handedOver();

private slots:
    void BackgroundCheckDone(bool updateAvailable);

private:
    void OpenUpdateWindow(TUpdateStart start);
    // Off while the background check runs.
    void SetItemUpdateEnabled(bool enabled);

    QWidget* window_;
    const TSettings& settings_;
    QAction* item_;
    TProbeService* probes_;
    std::function<bool()> saveData_;
    TBackgroundUpdateCheck* check_;
    TUpdateForm* updateForm_ = nullptr;
    // The schedule was looked at in this run.
    bool scheduleLooked_ = false;
    bool handedOver_ = false;
};
