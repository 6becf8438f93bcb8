// Shared by the game tests: a scratch folder to lay game installations out in, and a stand-in program
// that records how it was started.
#pragma once

#include "platform/files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

class TScratchTree
{
public:
    TScratchTree() : root_(QDir(dir_.path()).canonicalPath().toStdString() + "/") { QVERIFY(dir_.isValid()); }
    // The folder itself, with a trailing separator and no link on the way.
    std::string Root() const { return root_; }
    std::string Path(const std::string& relative) const { return root_ + relative; }
    void Folder(const std::string& relative) const { QVERIFY(QDir().mkpath(QString::fromStdString(Path(relative)))); }
    std::string File(const std::string& relative, const std::string& bytes = "x") const
    {
        std::string path = Path(relative);
        QDir().mkpath(QString::fromStdString(platform::FolderOf(path)));
        platform::ReplaceFileAtomically(path, bytes);
        return path;
    }
    void Link(const std::string& target, const std::string& relative) const
    {
        QCOMPARE(::symlink(target.c_str(), Path(relative).c_str()), 0);
    }
    // Copies a file in (over anything of that name) and returns its new path; empty when that failed.
    std::string Copy(const std::string& from, const std::string& relative) const
    {
        std::string path = Path(relative);
        QDir().mkpath(QString::fromStdString(platform::FolderOf(path)));
        QFile::remove(QString::fromStdString(path));
        return QFile::copy(QString::fromStdString(from), QString::fromStdString(path)) ? path : std::string();
    }
    bool Exists(const std::string& relative) const
    {
        struct stat st;
        return ::lstat(Path(relative).c_str(), &st) == 0;
    }
    // Names in a folder, hidden ones too, sorted.
    QStringList Names(const std::string& relative) const
    {
        return QDir(QString::fromStdString(Path(relative)))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

private:
    QTemporaryDir dir_;
    std::string root_;
};

inline std::string ReadBytes(const std::string& path)
{
    std::string data;
    platform::ReadWholeFile(path, data);
    return data;
}

// A program at `path` that writes its arguments ("arg:" lines, its own name first) and its current folder
// ("cwd:" line) into `out`, which appears whole or not at all.
inline std::string MakeRecorder(const std::string& path, const std::string& out)
{
    QDir().mkpath(QString::fromStdString(platform::FolderOf(path)));
    std::string script =
        "#!/bin/sh\n{ for a in \"$0\" \"$@\"; do echo \"arg:$a\"; done; echo \"cwd:$(pwd -P)\"; } > '" + out +
        ".tmp'\nmv '" + out + ".tmp' '" + out + "'\n";
    platform::ReplaceFileAtomically(path, script);
    ::chmod(path.c_str(), 0755);
    return path;
}

inline constexpr int kStartWaitMs = 10000;

// What a started recorder wrote, or empty when nothing came within `ms`.
inline std::string WaitForFile(const std::string& path, int ms = kStartWaitMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        if (platform::FileExists(path))
            return ReadBytes(path);
        QThread::msleep(10);
    }
    return {};
}
