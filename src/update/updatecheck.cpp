#include "update/updatecheck.h"

#include "core/localization_u.h"
#include "monitor/download.h"
#include "update/install.h"

#include "update/signature.h"

#include <QCryptographicHash>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr qint64 kHashChunkBytes = 64 * 1024;

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

QString PathText(const std::string& path)
{
    // File names are bytes; decoding them as the file system does gives the same bytes back.
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Lower-case hex SHA-256 of a file, empty when it cannot be read.
std::string Sha256Of(const std::string& path)
{
    QFile file(PathText(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(kHashChunkBytes);
        if (chunk.isEmpty() && file.error() != QFileDevice::NoError)
            return {};
        hash.addData(chunk);
    }
    return hash.result().toHex().toStdString();
}

// The update folder itself, never something a link puts in its place.
bool IsRealFolder(const std::string& path)
{
    std::error_code error;
    // Without its trailing separator, or the look would go through a link.
    const fs::path folder = fs::path(path).parent_path();
    return fs::is_directory(fs::symlink_status(folder, error)) && !error;
}

} // namespace

std::string CurrentUpdateListUrl()
{
    return UpdateListUrl(UpdateBaseAddress(), LanguageCode);
}

void LoadUpdateList(const std::string& url, const std::string& keyLine, QObject* context,
                    std::function<void(TListResult result)> done)
{
    TDownloadLimits listLimits;
    listLimits.MaxBytes = kMaxDownloadToStringsBytes;
    listLimits.RefuseHttpsToHttp = true;
    TDownloadLimits signatureLimits = listLimits;
    signatureLimits.MaxBytes = static_cast<qint64>(kMaxSignatureFileBytes);
    const QString listUrl = QString::fromStdString(url);
    QPointer<QObject> target(context);
    DownloadToBytes(
        listUrl, context,
        [=, done = std::move(done)](bool ok, const QByteArray& list) {
            if (!ok || !target) {
                done({std::nullopt, TListFailure::Fetch});
                return;
            }
            DownloadToBytes(
                listUrl + QLatin1String(kSignatureSuffix), target,
                [=](bool signatureOk, const QByteArray& signature) {
                    if (!signatureOk) {
                        // A list served without its signature is as good as a forged one.
                        done({std::nullopt, TListFailure::Signature});
                        return;
                    }
                    if (!VerifyMinisign(keyLine, std::string_view(list.constData(), std::size_t(list.size())),
                                        std::string_view(signature.constData(), std::size_t(signature.size())))) {
                        done({std::nullopt, TListFailure::Signature});
                        return;
                    }
                    std::vector<std::string> text;
                    for (const QByteArray& line : SplitLines(list))
                        text.push_back(line.toStdString());
                    std::optional<TUpdateInfo> info = ParseUpdateList(text);
                    const TListFailure failure = info ? TListFailure::None : TListFailure::Unusable;
                    done({std::move(info), failure});
                },
                signatureLimits);
        },
        listLimits);
}

TUpdateDownload::TUpdateDownload(std::string programDir, std::string programFileName, TUpdateInfo offered,
                                 QObject* parent, int deadlineMs)
    : QObject(parent), programDir_(std::move(programDir)), programFileName_(std::move(programFileName)),
      offered_(std::move(offered))
{
    // As they are used: the list's blanks around a name or an address are no part of it.
    for (TUpdateFile& file : offered_.Files) {
        file.Name = Trimmed(file.Name);
        file.URL = Trimmed(file.URL);
    }
    deadline_ = new QTimer(this);
    deadline_->setSingleShot(true);
    deadline_->setInterval(deadlineMs);
    connect(deadline_, &QTimer::timeout, this, [this] { Finish(TResult::TimedOut); });
}

TUpdateDownload::~TUpdateDownload()
{
    // Cut off in the middle: nothing of this update stays behind.
    if (!ended_)
        Abandon();
}

std::string TUpdateDownload::Folder() const
{
    return programDir_ + kUpdateFolderName + "/";
}

void TUpdateDownload::Abandon()
{
    ended_ = true;
    deadline_->stop();
    // Later, not now: this may run inside the report of the very fetch that answers to it.
    if (fetch_)
        fetch_->deleteLater();
    fetch_ = nullptr;
    if (versionCheck_) {
        versionCheck_->disconnect(this);
        versionCheck_->kill();
        versionCheck_->waitForFinished();
    }
    part_.reset();
    if (folderMade_) {
        RemovePendingUpdate(programDir_);
        folderMade_ = false;
    }
}

void TUpdateDownload::Start()
{
    current_ = 0;
    downloaded_.clear();
    ended_ = false;
    if (!UpdateFilesAcceptable(offered_.Files, true)) {
        QTimer::singleShot(0, this, [this] { Finish(TResult::Refused); });
        return;
    }
    // What an earlier update left is not part of this one.
    RemovePendingUpdate(programDir_);
    std::error_code error;
    fs::create_directory(fs::path(Folder()).parent_path(), error);
    if (!IsRealFolder(Folder())) {
        QTimer::singleShot(0, this, [this] { Finish(TResult::FolderFailed); });
        return;
    }
    folderMade_ = true;
    deadline_->start();
    QTimer::singleShot(0, this, &TUpdateDownload::Next);
}

void TUpdateDownload::Cancel()
{
    if (!ended_)
        Abandon();
}

void TUpdateDownload::Next()
{
    if (ended_)
        return;
    if (current_ >= offered_.Files.size()) {
        CheckNewProgram();
        return;
    }
    emit fileStarted(static_cast<int>(current_ + 1), static_cast<int>(offered_.Files.size()));
    const std::string& name = offered_.Files[current_].Name;
    const TFileSource source = ParseFileSource(offered_.Files[current_].URL);
    const std::string partPath = Folder() + name + kPartSuffix;
    part_ = std::make_unique<QFile>(PathText(partPath));
    // A new file only: whatever stands in its place now was put there by someone else.
    if (!part_->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        part_.reset();
        Finish(TResult::FolderFailed);
        return;
    }
    digest_ = source.Sha256;
    TDownloadLimits limits;
    limits.MaxBytes = kMaxUpdateFileBytes;
    limits.RefuseHttpsToHttp = true;
    // The whole download's deadline bounds each file too; the fetch ends with the context it answers to.
    if (fetch_)
        fetch_->deleteLater();
    fetch_ = new QObject(this);
    DownloadToStream(
        QString::fromStdString(source.FetchUrl), part_.get(), fetch_, [this](bool ok) { FileDone(ok); }, limits);
}

void TUpdateDownload::FileDone(bool ok)
{
    if (ended_)
        return;
    const std::string& name = offered_.Files[current_].Name;
    const std::string partPath = Folder() + name + kPartSuffix;
    part_->close();
    ok = ok && part_->error() == QFileDevice::NoError;
    part_.reset();
    if (!ok || !digest_ || Sha256Of(partPath) != *digest_) {
        Finish(TResult::Failed);
        return;
    }
    // The program is started from this file later, so it needs its modes before it takes its place.
    (void)TakeOverPermissions(partPath, programDir_ + name, name == programFileName_);
    std::error_code error;
    fs::rename(partPath, Folder() + name, error);
    if (error) {
        Finish(TResult::FolderFailed);
        return;
    }
    downloaded_.push_back(name);
    ++current_;
    QTimer::singleShot(0, this, &TUpdateDownload::Next);
}

void TUpdateDownload::CheckNewProgram()
{
    if (std::find(downloaded_.begin(), downloaded_.end(), programFileName_) == downloaded_.end()) {
        Finish(TResult::Done);
        return;
    }
    // The file that will replace this program must at least start and say it is the version offered: an
    // empty or cut body with a matching digest, or a program for another system, stops here.
    versionCheck_ = new QProcess(this);
    versionCheck_->setProgram(PathText(Folder() + programFileName_));
    versionCheck_->setArguments({QStringLiteral("--version")});
    versionCheck_->setStandardInputFile(QProcess::nullDevice());
    versionCheck_->setProcessChannelMode(QProcess::SeparateChannels);
    auto* timer = new QTimer(versionCheck_);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this] { Finish(TResult::ProgramBroken); });
    connect(versionCheck_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Finish(TResult::ProgramBroken);
    });
    connect(versionCheck_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        // Only the first bytes matter; a program that floods its output is not the one offered anyway.
        const QByteArray answer = versionCheck_->readAllStandardOutput().left(kMaxVersionAnswerBytes);
        const auto version = VersionFromAnswer(answer.toStdString());
        const bool answered = status == QProcess::NormalExit && code == 0 && version &&
                              VersionText(*version) == VersionText(offered_.Version);
        Finish(answered ? TResult::Done : TResult::ProgramBroken);
    });
    timer->start(kVersionAnswerMs);
    versionCheck_->start();
}

void TUpdateDownload::Finish(TResult result)
{
    if (ended_)
        return;
    result_ = result;
    if (result == TResult::Done) {
        ended_ = true;
        deadline_->stop();
        if (versionCheck_)
            versionCheck_->disconnect(this);
    } else {
        Abandon();
    }
    emit finished();
}
