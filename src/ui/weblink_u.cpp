#include "ui/weblink_u.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

// Anything else, "file:" included, is completed as a web site, so a typed text never opens a local file.
QString WithWebScheme(const QString& site)
{
    for (const char* scheme : {"http://", "https://"})
        if (site.startsWith(QLatin1String(scheme), Qt::CaseInsensitive))
            return site;
    return QStringLiteral("http://") + site;
}

} // namespace

void OpenWebAddress(const QString& site)
{
    (void)QDesktopServices::openUrl(QUrl(WithWebScheme(site), QUrl::TolerantMode));
}
