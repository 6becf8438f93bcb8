#include "app/updatestart.h"

#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/process.h"
#include "ui/msgbox.h"
#include "update/install.h"
#include "update/updatelist.h"

#include "update/updatecheck.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int kLockPollMs = 100;

// True once this copy holds the lock. While the old copy still holds it, this copy waits as long as it
// takes, and after a moment says so in a small window; closing that window gives up, and whatever was
// downloaded stays in the update folder, uninstalled. A system that makes no locks cannot tell whether
// the old copy still runs, so nothing is installed then either.
bool WaitForOldCopy(platform::InstanceLock& lock)
{
    using TResult = platform::InstanceLock::Result;
    TResult result = lock.Acquire(kSingleInstanceName);
    if (result != TResult::HeldElsewhere)
        return result == TResult::Acquired;

    QMessageBox box(QMessageBox::Information, ToQString(Msg(TTextId::CaptionInformation)),
                    ToQString(LoadText(TTextId::WaitingForOldCopy)), QMessageBox::Cancel);
    box.setObjectName(QStringLiteral("WaitForOldCopy"));
    QEventLoop loop;
    bool gaveUp = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        result = lock.Acquire(kSingleInstanceName);
        if (result != TResult::HeldElsewhere)
            loop.quit();
    });
    QObject::connect(&box, &QMessageBox::finished, &loop, [&] {
        gaveUp = true;
        loop.quit();
    });
    // A copy that ends at once, as after every hand-over, is not worth a window.
    QTimer::singleShot(kOldCopyQuietMs, &box, [&box] { box.show(); });
    poll.start(kLockPollMs);
    loop.exec();
    box.disconnect(&loop);
    box.hide();
    if (gaveUp && result == TResult::HeldElsewhere)
        return false;
    return result == TResult::Acquired;
}

// The program in the update folder must be newer than this one: an update never goes back, nor sideways.
bool NewProgramIsNewer(const std::string& newProgram)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QFile::decodeName(QByteArray::fromStdString(newProgram)), {QStringLiteral("--version")});
    if (!process.waitForFinished(kVersionAnswerMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return false;
    const auto version = VersionFromAnswer(process.readAllStandardOutput().left(kMaxVersionAnswerBytes).toStdString());
    return version && IsNewerVersion(*version, {ProgramVersion.Major, ProgramVersion.Minor, ProgramVersion.Release, 0});
}

} // namespace

void CompleteUpdate(platform::InstanceLock& lock)
{
    if (!SelfUpdateEnabled())
        return;
    // The copy that started this one has ended or is ending, and with it the reader of our output.
    platform::IgnoreClosedPipes();
    // The normal start after this finds the lock held by this copy, or tells the user another copy runs.
    if (!WaitForOldCopy(lock))
        return;

    // Taken before the move: once the program file is replaced, this process's own path names a deleted file.
    const QString programPath = QCoreApplication::applicationFilePath();
    const std::string programName = QFile::encodeName(QFileInfo(programPath).fileName()).toStdString();
    const std::string programDir = platform::ExecutableDir();
    const std::string newProgram = programDir + kUpdateFolderName + "/" + programName;
    if (platform::FileExists(newProgram) && !NewProgramIsNewer(newProgram)) {
        // Nothing of it is installed: old and new files never mix.
        RemovePendingUpdate(programDir);
        ShowError(nullptr, Msg(TTextId::UpdateFailed));
        return;
    }
    const TInstallResult result = InstallPendingUpdate(programDir, programName);
    if (!result.FolderFound)
        return;
    if (!result.Left.empty() || !result.FolderRemoved)
        ShowError(nullptr, Msg(TTextId::UpdateFailed));
    const bool programReplaced = std::find(result.Moved.begin(), result.Moved.end(), programName) != result.Moved.end();
    if (programReplaced) {
        // The code in memory is still the old version; the new one starts in its place, as a normal start.
        lock.Release();
        platform::ReplaceProgram({QFile::encodeName(programPath).toStdString()});
        (void)lock.Acquire(kSingleInstanceName);
    }
}
