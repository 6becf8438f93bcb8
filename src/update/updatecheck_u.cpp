#include "update/updatecheck_u.h"

#include "core/localization_u.h"
#include "monitor/download_u.h"
#include "update/install_u.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTimer>
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

void LoadUpdateList(const std::string& url, QObject* context, std::function<void(std::optional<TUpdateInfo> info)> done)
{
    DownloadToStrings(QString::fromStdString(url), context,
                      [done = std::move(done)](bool ok, const QList<QByteArray>& lines) {
                          if (!ok) {
                              done(std::nullopt);
                              return;
                          }
                          std::vector<std::string> text;
                          text.reserve(static_cast<std::size_t>(lines.size()));
                          for (const QByteArray& line : lines)
                              text.push_back(line.toStdString());
                          done(ParseUpdateList(text));
                      });
}

TUpdateDownload::TUpdateDownload(std::string programDir, std::string programFileName, std::vector<TUpdateFile> files,
                                 QObject* parent)
    : QObject(parent), programDir_(std::move(programDir)), programFileName_(std::move(programFileName)),
      files_(std::move(files))
{
}

TUpdateDownload::~TUpdateDownload()
{
    // Cut off in the middle of a file: no half of it stays behind.
    if (part_) {
        const QString path = part_->fileName();
        part_.reset();
        QFile::remove(path);
    }
}

std::string TUpdateDownload::Folder() const
{
    return programDir_ + kUpdateFolderName + "/";
}

void TUpdateDownload::Start()
{
    current_ = 0;
    outcome_ = {};
    QTimer::singleShot(0, this, &TUpdateDownload::Next);
}

void TUpdateDownload::Next()
{
    if (current_ >= files_.size()) {
        Finish();
        return;
    }
    emit fileStarted(static_cast<int>(current_ + 1), static_cast<int>(files_.size()));
    const std::string name = Trimmed(files_[current_].Name);
    const TFileSource source = ParseFileSource(Trimmed(files_[current_].URL));
    auto skip = [this](std::vector<std::string>& list, const std::string& name) {
        list.push_back(name);
        ++current_;
        QTimer::singleShot(0, this, &TUpdateDownload::Next);
    };
    if (!IsSafeUpdateName(name)) {
        skip(outcome_.Refused, name);
        return;
    }
    if (source.DigestMalformed) {
        skip(outcome_.Failed, name);
        return;
    }

    const std::string folder = Folder();
    std::error_code error;
    fs::create_directory(folder, error);
    if (!IsRealFolder(folder)) {
        outcome_.Stopped = true;
        Finish();
        return;
    }
    fs::remove(folder + name, error);
    const std::string partPath = folder + name + kPartSuffix;
    fs::remove(partPath, error);
    part_ = std::make_unique<QFile>(PathText(partPath));
    // A new file only: whatever stands in its place now was put there by someone else.
    if (!part_->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        part_.reset();
        outcome_.Stopped = true;
        Finish();
        return;
    }
    digest_ = source.Sha256;
    DownloadToStream(
        QString::fromStdString(source.FetchUrl), part_.get(), this, [this](bool ok) { FileDone(ok); },
        kMaxUpdateFileBytes);
}

void TUpdateDownload::FileDone(bool ok)
{
    const std::string name = Trimmed(files_[current_].Name);
    const std::string partPath = Folder() + name + kPartSuffix;
    part_->close();
    ok = ok && part_->error() == QFileDevice::NoError;
    part_.reset();
    if (ok && digest_)
        ok = Sha256Of(partPath) == *digest_;
    std::error_code error;
    if (ok) {
        // The program is started from this file later, so it needs its modes before it takes its place.
        (void)TakeOverPermissions(partPath, programDir_ + name, name == programFileName_);
        fs::rename(partPath, Folder() + name, error);
        ok = !error;
    }
    if (ok) {
        outcome_.Downloaded.push_back(name);
    } else {
        fs::remove(partPath, error);
        outcome_.Failed.push_back(name);
    }
    ++current_;
    QTimer::singleShot(0, this, &TUpdateDownload::Next);
}

void TUpdateDownload::Finish()
{
    emit finished();
}
