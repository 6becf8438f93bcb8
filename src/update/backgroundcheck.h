// The quiet look for a newer version: the update list is fetched and checked in the background, and
// whoever waits for it hears only whether there is something newer to offer.
#pragma once

#include <QObject>

class TBackgroundUpdateCheck : public QObject
{
    Q_OBJECT

public:
    explicit TBackgroundUpdateCheck(QObject* parent = nullptr);

    // Starts a check unless one runs or this copy does not update itself; true when one was started.
    bool Start();
    bool Running() const { return running_; }

signals:
    // A list that could not be fetched, was not signed or offers nothing newer is not available.
    void updateChecked(bool available);

private:
    bool running_ = false;
};
