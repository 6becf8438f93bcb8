// Fetching the update list and downloading the files it names, on the calling thread's event loop: the
// window that asked stays responsive, and nothing runs after its context is gone.
#pragma once

#include "update/updatelist_u.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QFile;

// The list of this edition from the update server this copy uses.
std::string CurrentUpdateListUrl();

// Fetches and parses the list; `done` gets nothing when the fetch failed or fewer than four usable lines
// came. An empty address fails as a failed fetch does. `done` runs once, later, never after `context` died.
void LoadUpdateList(const std::string& url, QObject* context,
                    std::function<void(std::optional<TUpdateInfo> info)> done);

// Largest update file taken; a server that sends more is treated as a failed download.
inline constexpr qint64 kMaxUpdateFileBytes = 512LL * 1024 * 1024;

// Downloads each file of an update list into the update folder of the program's folder: as name + ".part"
// first, renamed to the name when complete (and, where the list gives a digest, matching it). A file that
// cannot be fetched is skipped; a name that could land outside the update folder is refused and never
// fetched. Only a folder or file that cannot be made at all stops the whole download.
class TUpdateDownload : public QObject
{
    Q_OBJECT

public:
    struct TOutcome
    {
        std::vector<std::string> Downloaded;
        std::vector<std::string> Failed;  // fetch failed, wrong digest, or the file could not be completed
        std::vector<std::string> Refused; // unsafe names
        bool Stopped = false;             // the update folder or a file in it could not be written
    };

    // programDir ends with a separator; programFileName is the program's own name in it, so a new copy of
    // the program is made executable.
    TUpdateDownload(std::string programDir, std::string programFileName, std::vector<TUpdateFile> files,
                    QObject* parent = nullptr);
    ~TUpdateDownload() override;

    void Start();
    const TOutcome& Outcome() const { return outcome_; }

signals:
    // Before each file, counting from 1.
    void fileStarted(int number, int count);
    void finished();

private:
    void Next();
    void FileDone(bool ok);
    void Finish();
    std::string Folder() const;

    std::string programDir_;
    std::string programFileName_;
    std::vector<TUpdateFile> files_;
    std::size_t current_ = 0;
    std::unique_ptr<QFile> part_;
    std::optional<std::string> digest_;
    TOutcome outcome_;
};
