#include "support/minisign.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace minisign {

namespace {

constexpr int kToolMs = 20000;

bool Run(const QStringList& arguments)
{
    QProcess tool;
    tool.setStandardInputFile(QProcess::nullDevice());
    tool.start(QStringLiteral(KORVAN_MINISIGN), arguments);
    return tool.waitForFinished(kToolMs) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

QByteArray SecondLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().split('\n').value(1).trimmed();
}

} // namespace

bool Available()
{
    return !QStringLiteral(KORVAN_MINISIGN).isEmpty();
}

TKeyPair Generate(const QString& folder)
{
    TKeyPair pair;
    const QDir dir(folder);
    pair.SecretKeyFile = dir.filePath(QStringLiteral("test.key"));
    const QString publicKey = dir.filePath(QStringLiteral("test.pub"));
    if (!Run({"-G", "-W", "-f", "-p", publicKey, "-s", pair.SecretKeyFile}))
        return pair;
    pair.KeyLine = SecondLine(publicKey);
    return pair;
}

QByteArray KeyLineOf(const QString& secretKeyFile, const QString& scratchFolder)
{
    const QString publicKey = QDir(scratchFolder).filePath(QStringLiteral("recreated.pub"));
    QFile::remove(publicKey);
    if (!Run({"-R", "-s", secretKeyFile, "-p", publicKey}))
        return {};
    return SecondLine(publicKey);
}

QByteArray Sign(const QString& secretKeyFile, const QByteArray& message, const QString& scratchFolder, TKind kind,
                const QString& trustedComment)
{
    const QDir dir(scratchFolder);
    const QString path = dir.filePath(QStringLiteral("signed.txt"));
    const QString signature = path + QStringLiteral(".minisig");
    QFile::remove(signature);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(message) != message.size())
        return {};
    file.close();
    QStringList arguments{"-S", "-s", secretKeyFile, "-m", path};
    if (kind == TKind::Legacy)
        arguments << QStringLiteral("-l");
    if (!trustedComment.isEmpty())
        arguments << QStringLiteral("-t") << trustedComment;
    if (!Run(arguments))
        return {};
    QFile result(signature);
    if (!result.open(QIODevice::ReadOnly))
        return {};
    return result.readAll();
}

} // namespace minisign
