#include "ui/updatefm.h"

#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "monitor/probeservice.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "ui/msgbox.h"
#include "ui/skinfont.h"
#include "update/install.h"
#include "update/updatecheck.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

namespace {

constexpr int kPanelLeft = 8;
constexpr int kPanelTop = 8;
constexpr int kPanelWidth = 262;
constexpr int kPanelHeight = 47;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 8;
constexpr int kButtonTop = kPanelTop + kPanelHeight + kButtonGap;
constexpr int kStartDelayMs = 100;
// Between two looks at the running probes before the data are saved.
constexpr int kProbeWaitSliceMs = 50;
constexpr const char* kUpdateParameter = "update";

} // namespace

void LocalizeUpdateForm(TUpdateForm& form)
{
    form.setWindowTitle(ToQString(LoadText(TTextId::UpdateCaption)));
    if (auto* cancel = form.findChild<QPushButton*>(QStringLiteral("BtnCancel")))
        cancel->setText(ToQString(LoadText(TTextId::UpdateCancel)));
}

TUpdateForm::TUpdateForm(QWidget* mainWindow, TUpdateHost host, TUpdateStart start)
    : QDialog(mainWindow), mainWindow_(mainWindow), host_(std::move(host)),
      fromBackground_(start == TUpdateStart::ByBackgroundCheck)
{
    setObjectName("UpdateForm");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kUpdateFormWidth, kUpdateFormHeight);

    Panel = new QLabel(this);
    Panel->setObjectName("Panel");
    Panel->setGeometry(kPanelLeft, kPanelTop, kPanelWidth, kPanelHeight);
    Panel->setAlignment(Qt::AlignCenter);
    Panel->setWordWrap(true);
    Panel->setFont(SkinFont(kSkinStatusPx, true));

    BtnCancel = new QPushButton(this);
    BtnCancel->setObjectName("BtnCancel");
    BtnCancel->setGeometry(kUpdateFormWidth - kPanelLeft - kButtonWidth, kButtonTop, kButtonWidth, kButtonHeight);
    connect(BtnCancel, &QPushButton::clicked, this, &TUpdateForm::BtnCancelClick);

    Timer = new QTimer(this);
    Timer->setObjectName("Timer");
    Timer->setSingleShot(true);
    Timer->setInterval(kStartDelayMs);
    connect(Timer, &QTimer::timeout, this, &TUpdateForm::TimerTimer);

    FormCreate();
}

TUpdateForm::~TUpdateForm() = default;

void TUpdateForm::FormCreate()
{
    StartOnShow = false;
    if (mainWindow_) {
        // Integer halves, truncated toward zero as the window has always been placed.
        move(mainWindow_->x() + (mainWindow_->width() - width()) / 2,
             mainWindow_->y() + (mainWindow_->height() - height()) / 2);
    }
}

void TUpdateForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TUpdateForm::FormShow()
{
    if (!StartOnShow)
        return;
    StartOnShow = false;
    // The window is on the screen before the work starts.
    Timer->start();
}

void TUpdateForm::TimerTimer()
{
    Timer->stop();
    RunUpdate();
}

void TUpdateForm::SetStatus(const std::string& text)
{
    Panel->setText(ToQString(text));
    Panel->repaint();
}

void TUpdateForm::reject()
{
    BtnCancelClick();
}

void TUpdateForm::BtnCancelClick()
{
    if (handingOver_)
        return;
    Timer->stop();
    delete check_;
    check_ = nullptr;
    if (download_) {
        download_->Cancel();
        download_->deleteLater();
        download_ = nullptr;
        if (host_.ResumeRefresh)
            host_.ResumeRefresh();
    }
    Finish(Rejected);
}

void TUpdateForm::Finish(int result)
{
    done(result);
}

void TUpdateForm::RunUpdate()
{
    SetStatus(Msg(TTextId::CheckingForUpdate));
    delete check_;
    check_ = new QObject(this);
    LoadUpdateList(CurrentUpdateListUrl(), UpdatePublicKey(), check_,
                   [this](TListResult result) { CheckDone(std::move(result)); });
}

void TUpdateForm::CheckDone(TListResult result)
{
    check_->deleteLater();
    check_ = nullptr;
    hide();
    const std::optional<TUpdateInfo>& info = result.Info;
    if (!info) {
        if (!fromBackground_)
            ShowError(this, result.Failure == TListFailure::Signature ? LoadText(TTextId::ListNotSigned)
                                                                      : Msg(TTextId::UpdateCheckFailed));
        Finish(Rejected);
        return;
    }
    if (!IsNewerVersion(info->Version)) {
        if (!fromBackground_)
            ShowInformation(this, Msg(TTextId::NoNewerVersion));
        Finish(Rejected);
        return;
    }
    if (fromBackground_)
        show();
    if (!AskYesNo(this, FillText(TTextId::AskToUpdate, {VersionText(info->Version)}), false)) {
        Finish(Rejected);
        return;
    }
    DownloadFiles(std::move(*result.Info));
}

void TUpdateForm::DownloadFiles(TUpdateInfo info)
{
    show();
    if (host_.StopRefresh)
        host_.StopRefresh();
    const QString program = QCoreApplication::applicationFilePath();
    download_ =
        new TUpdateDownload(platform::ExecutableDir(), QFile::encodeName(QFileInfo(program).fileName()).toStdString(),
                            std::move(info), this);
    connect(download_, &TUpdateDownload::fileStarted, this, [this](int number, int count) {
        SetStatus(FillText(TTextId::DownloadingFile, {std::to_string(number), std::to_string(count)}));
    });
    connect(download_, &TUpdateDownload::finished, this, &TUpdateForm::DownloadDone);
    download_->Start();
}

void TUpdateForm::DownloadDone()
{
    const TUpdateDownload::TResult outcome = download_->Result();
    download_->deleteLater();
    download_ = nullptr;
    // Whatever went wrong, the download has removed what it fetched: the user hears of it once, and this
    // copy goes on as it was.
    if (outcome != TUpdateDownload::TResult::Done) {
        UpdateFailed();
        return;
    }
    handingOver_ = true;
    BtnCancel->setEnabled(false);
    SetStatus(Msg(TTextId::PreparingUpdate));
    WaitForProbes();
}

int TUpdateForm::ProbesRunning() const
{
    return host_.Probes ? host_.Probes->RunningCount() : 0;
}

void TUpdateForm::WaitForProbes()
{
    // The hand-over ends this copy: probes that have not started would only hold it up.
    if (host_.Probes)
        host_.Probes->DropWaitingProbes();
    if (ProbesRunning() == 0) {
        HandOver();
        return;
    }
    if (!probeWait_) {
        probeWait_ = new QTimer(this);
        probeWait_->setInterval(kProbeWaitSliceMs);
        connect(probeWait_, &QTimer::timeout, this, [this] {
            if (ProbesRunning() > 0)
                return;
            probeWait_->stop();
            HandOver();
        });
    }
    probeWait_->start();
}

void TUpdateForm::HandOver()
{
    hide();
    // The saves complete while this copy still holds the lock, so the new copy, which cannot start before
    // the lock is free, never reads a half-written file, and nothing is written here afterwards.
    if (!host_.SaveData || !host_.SaveData()) {
        RemovePendingUpdate(platform::ExecutableDir());
        UpdateFailed();
        return;
    }
    // This copy keeps its lock until it has ended: the new copy waits for it, so no file of a copy that
    // still runs is replaced.
    const std::string program = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    if (!host_.StartProgram || !host_.StartProgram({program, kUpdateParameter})) {
        RemovePendingUpdate(platform::ExecutableDir());
        UpdateFailed();
        return;
    }
    Finish(Accepted);
}

void TUpdateForm::UpdateFailed()
{
    handingOver_ = false;
    ShowError(this, Msg(TTextId::UpdateFailed));
    if (host_.ResumeRefresh)
        host_.ResumeRefresh();
    Finish(Rejected);
}
