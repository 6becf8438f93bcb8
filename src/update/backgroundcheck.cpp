#include "update/backgroundcheck.h"

#include "update/updatecheck.h"
#include "update/updatelist.h"

TBackgroundUpdateCheck::TBackgroundUpdateCheck(QObject* parent) : QObject(parent) {}

bool TBackgroundUpdateCheck::Start()
{
    if (running_ || !SelfUpdateEnabled())
        return false;
    running_ = true;
    LoadUpdateList(CurrentUpdateListUrl(), UpdatePublicKey(), this, [this](TListResult result) {
        running_ = false;
        emit updateChecked(result.Info && IsNewerVersion(result.Info->Version));
    });
    return true;
}
