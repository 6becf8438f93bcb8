#include "ui/weblink.h"

#include "news/rss_u.h"
#include "ui/msgbox.h"

#include <QDesktopServices>
#include <QUrl>

void OpenWebAddress(const QString& site)
{
    // Anything but http and https, "file:" included, is completed as a web site, so a typed text never
    // opens a local file.
    (void)QDesktopServices::openUrl(QUrl(ToQString(AddHttpPrefix(FromQString(site))), QUrl::TolerantMode));
}
