// Looking at files the update tests leave behind: their bytes and their permission bits.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <sys/stat.h>

namespace updatetest {

// The whole file, or "<missing>" when it cannot be read.
inline QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Permission bits (with set-id and sticky), 0 when the file is not there.
inline mode_t ModeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace updatetest
