#include "app/updatestart_u.h"

#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/process.h"
#include "ui/msgbox_u.h"
#include "update/install_u.h"
#include "update/updatelist_u.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>

namespace {

constexpr int kLockPollMs = 100;
constexpr int kMsgUpdateFailed = 1036;

// True once this copy holds the lock; false when the old copy still held it at the deadline, or the
// system makes no locks at all.
bool WaitForOldCopy(platform::InstanceLock& lock)
{
    QDeadlineTimer deadline(kOldCopyWaitMs);
    for (;;) {
        const auto result = lock.Acquire(kSingleInstanceName);
        if (result != platform::InstanceLock::Result::HeldElsewhere)
            return result == platform::InstanceLock::Result::Acquired;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kLockPollMs);
    }
}

} // namespace

void CompleteUpdate(platform::InstanceLock& lock)
{
    if (!SelfUpdateEnabled())
        return;
    // The copy that started this one has ended or is ending, and with it the reader of our output.
    platform::IgnoreClosedPipes();
    // The normal start after this finds the lock held by this copy, or tells the user another copy runs.
    (void)WaitForOldCopy(lock);

    // Taken before the move: once the program file is replaced, this process's own path names a deleted file.
    const QString programPath = QCoreApplication::applicationFilePath();
    const std::string programName = QFile::encodeName(QFileInfo(programPath).fileName()).toStdString();
    const TInstallResult result = InstallPendingUpdate(platform::ExecutableDir(), programName);
    if (!result.FolderFound)
        return;
    if (!result.Left.empty() || !result.FolderRemoved)
        ShowError(nullptr, Msg(kMsgUpdateFailed));
    const bool programReplaced = std::find(result.Moved.begin(), result.Moved.end(), programName) != result.Moved.end();
    if (programReplaced) {
        // The code in memory is still the old version; the new one starts in its place, as a normal start.
        lock.Release();
        platform::ReplaceProgram({QFile::encodeName(programPath).toStdString()});
        (void)lock.Acquire(kSingleInstanceName);
    }
}
