// Fetching the update list and downloading the files it names, on the calling thread's event loop: the
// window that asked stays responsive, and nothing runs after its context is gone.
#pragma once

#include "update/updatelist.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QFile;
class QProcess;
class QTimer;

// The list of this edition from the update server this copy uses.
std::string CurrentUpdateListUrl();

// Why a list was not taken.
enum class TListFailure
{
    None,
    Fetch,     // the list or its signature could not be fetched; an empty address fails so too
    Signature, // the signature is missing, malformed, by another key, or does not hold
    Unusable,  // signed, but fewer than four usable lines or a version part out of range
};

struct TListResult
{
    std::optional<TUpdateInfo> Info;
    TListFailure Failure = TListFailure::None;
};

// The signature lies beside the list, under the list's address with this added.
inline constexpr const char* kSignatureSuffix = ".minisig";

// Fetches the list and its signature, checks the signature against `keyLine` (a minisign public key
// line), and parses the list. Redirects from https to http are refused. `done` runs once, later, never
// after `context` died.
void LoadUpdateList(const std::string& url, const std::string& keyLine, QObject* context,
                    std::function<void(TListResult result)> done);

// Largest update file taken; a server that sends more is treated as a failed download.
inline constexpr qint64 kMaxUpdateFileBytes = 512LL * 1024 * 1024;
// The whole download, every file together, ends by then however steadily the bytes trickle in.
inline constexpr int kUpdateDownloadDeadlineMs = 30 * 60 * 1000;
// How long the new program may take to tell its version before it is taken for broken.
inline constexpr int kVersionAnswerMs = 10000;
// The most of that answer that is read.
inline constexpr qsizetype kMaxVersionAnswerBytes = 4096;

// Downloads each file of an update list into the update folder of the program's folder: as name + ".part"
// first, renamed to the name when complete and matching the digest the list gives. The list is checked
// whole before anything is fetched (UpdateFilesAcceptable, a digest for every file). Any failure (a name
// refused, a fetch failed or cut off, a wrong digest, the deadline, a new program that does not answer
// `--version` with the offered version) stops it and removes the update folder: either every file is
// there, or none is.
class TUpdateDownload : public QObject
{
    Q_OBJECT

public:
    enum class TResult
    {
        Done,
        Refused,       // the list names a file it may not, or gives no valid digest: nothing was fetched
        Failed,        // a file could not be fetched whole and as published
        FolderFailed,  // the update folder or a file in it could not be written
        ProgramBroken, // the new program did not answer with the offered version in time
        TimedOut,      // the whole download took longer than its deadline
    };

    // programDir ends with a separator; programFileName is the program's own name in it, so a new copy of
    // the program is made executable and asked for its version, which must be `offered`.
    TUpdateDownload(std::string programDir, std::string programFileName, TUpdateInfo offered, QObject* parent = nullptr,
                    int deadlineMs = kUpdateDownloadDeadlineMs);
    ~TUpdateDownload() override;

    void Start();
    // Stops whatever is under way and removes the update folder; `finished` is not emitted.
    void Cancel();
    TResult Result() const { return result_; }
    // The files in the update folder, once the result is Done.
    const std::vector<std::string>& Downloaded() const { return downloaded_; }

signals:
    // Before each file, counting from 1.
    void fileStarted(int number, int count);
    void finished();

private:
    void Next();
    void FileDone(bool ok);
    void CheckNewProgram();
    void Finish(TResult result);
    void Abandon();
    std::string Folder() const;

    std::string programDir_;
    std::string programFileName_;
    TUpdateInfo offered_;
    std::size_t current_ = 0;
    std::unique_ptr<QFile> part_;
    std::optional<std::string> digest_;
    std::vector<std::string> downloaded_;
    TResult result_ = TResult::Done;
    QTimer* deadline_ = nullptr;
    QObject* fetch_ = nullptr; // what the running file's fetch answers to
    QProcess* versionCheck_ = nullptr;
    bool folderMade_ = false;
    bool ended_ = false;
};
