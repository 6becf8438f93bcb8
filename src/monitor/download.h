// One HTTP or HTTPS GET, run on the calling thread's event loop: the news channels, the update list
// and the update itself come through here.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <functional>

class QIODevice;
class QObject;

inline constexpr qint64 kMaxDownloadToStringsBytes = 8 * 1024 * 1024;
// Time without any progress after which a download gives up.
inline constexpr int kDownloadTimeoutMs = 30000;
inline constexpr int kMaxDownloadRedirects = 5;

// What one download may take; the defaults are what DownloadToStrings and DownloadToStream use.
struct TDownloadLimits
{
    qint64 MaxBytes = -1; // < 0: no cap
    int TimeoutMs = kDownloadTimeoutMs;
    int MaxRedirects = kMaxDownloadRedirects;
    // > 0: the whole download, redirects included, ends by then, however steadily the data trickles in.
    int DeadlineMs = 0;
    // A redirect from an https address to a plain http one fails the download: what was asked for over a
    // protected connection is never taken over an open one.
    bool RefuseHttpsToHttp = false;
};

// One GET of an http or https address on the calling thread's event loop (never blocks it). 30000 ms
// time-out; success only when the final status is 200; follows at most 5 redirects, http and https only.
// `done` runs exactly once, on the thread of `context`, and never after `context` is destroyed.
// lines: the body split at CR, LF or CR LF, as raw bytes (the caller decides the encoding).
void DownloadToStrings(const QString& url, QObject* context,
                       std::function<void(bool ok, const QList<QByteArray>& lines)> done,
                       qint64 maxBytes = kMaxDownloadToStringsBytes);
// Writes the body into `stream` from position 0; maxBytes < 0: no cap. Fails past the cap.
// The stream is touched only once a 200 answer has come; a file is cut to the body's length on success,
// and may hold part of the body after a failure that came later (a cut connection, the cap).
void DownloadToStream(const QString& url, QIODevice* stream, QObject* context, std::function<void(bool ok)> done,
                      qint64 maxBytes = -1);
// The same with limits of the caller's choice.
void DownloadToStream(const QString& url, QIODevice* stream, QObject* context, std::function<void(bool ok)> done,
                      const TDownloadLimits& limits);

// The same GET with limits of the caller's choice; the body whole, empty on failure.
void DownloadToBytes(const QString& url, QObject* context, std::function<void(bool ok, const QByteArray& body)> done,
                     const TDownloadLimits& limits);

// Splits at CR, LF or CR LF; a break at the very end starts no further line, so "a\r\n" is one line.
QList<QByteArray> SplitLines(const QByteArray& body);
