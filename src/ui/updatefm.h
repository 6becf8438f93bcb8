// The update window: checks for a newer version, asks, downloads it, and hands over to the new copy.
#pragma once

#include "update/updatecheck.h"
#include "update/updatelist.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTimer;
class TProbeService;
class TUpdateDownload;

inline constexpr int kUpdateFormWidth = 278;
inline constexpr int kUpdateFormHeight = 94;

// What the update asks of the window that opened it.
struct TUpdateHost
{
    // No probe may start from now on (the download has begun), or again (the update was given up).
    std::function<void()> StopRefresh;
    std::function<void()> ResumeRefresh;
    // The probes the hand-over waits for; none to wait for when null.
    TProbeService* Probes = nullptr;
    // Settings, then servers; false when they could not be written, and the update is then given up.
    std::function<bool()> SaveData;
    // Starts the new copy: the program with its arguments. False when it could not be started.
    std::function<bool(const std::vector<std::string>& argv)> StartProgram;
};

// Who opened the window: a background check that found a newer version keeps the window quiet until it
// has something to ask, and says nothing when its own check then finds nothing.
enum class TUpdateStart
{
    ByUser,
    ByBackgroundCheck,
};

class TUpdateForm : public QDialog
{
    Q_OBJECT

public:
    TUpdateForm(QWidget* mainWindow, TUpdateHost host, TUpdateStart start = TUpdateStart::ByUser);
    ~TUpdateForm() override;

    // Set by the opener: the check starts a moment after the window first appears.
    bool StartOnShow = false;

    void FormCreate();
    void FormShow();
    void TimerTimer();
    // Checks, asks, and on Yes downloads and hands over; the window closes with Accepted only when the
    // new copy was started, and this copy then ends without writing anything more.
    void RunUpdate();
    // Cancel, Escape and the close box: the check or the download stops and leaves nothing behind. Once
    // the data are being saved for the hand-over it is too late, and they do nothing.
    void BtnCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void CheckDone(TListResult result);
    void DownloadFiles(TUpdateInfo info);
    void DownloadDone();
    void WaitForProbes();
    int ProbesRunning() const;
    void HandOver();
    void UpdateFailed();
    void Finish(int result);
    void SetStatus(const std::string& text);

    QWidget* mainWindow_;
    TUpdateHost host_;
    bool fromBackground_;
    QLabel* Panel = nullptr;
    QPushButton* BtnCancel = nullptr;
    QTimer* Timer = nullptr;
    QTimer* probeWait_ = nullptr;
    // The running list check answers to this; deleting it abandons the check.
    QObject* check_ = nullptr;
    TUpdateDownload* download_ = nullptr;
    bool handingOver_ = false;
};

// Puts the window's texts in place, right after each creation.
void LocalizeUpdateForm(TUpdateForm& form);
