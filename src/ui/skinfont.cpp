#include "ui/skinfont.h"

#include <QFontDatabase>
#include <QFontInfo>

namespace {

// Liberation Sans (Debian package fonts-liberation, a dependency of ours) has the widths of the
// face the window was drawn with, so the captions fit the places the layout gives them.
constexpr const char* kPackagedFamily = "Liberation Sans";
// What fontconfig resolves to the desktop's own sans-serif face.
constexpr const char* kSystemSans = "Sans Serif";

} // namespace

QString SkinFontFamily()
{
    // Asked once: the font database knows what is really installed, and asking for a missing face
    // by name would give whatever the system substitutes, a serif face on some desktops.
    static const QString family = [] {
        const QString packaged = QString::fromLatin1(kPackagedFamily);
        if (QFontDatabase::hasFamily(packaged))
            return packaged;
        QFont sans(QString::fromLatin1(kSystemSans));
        sans.setStyleHint(QFont::SansSerif);
        return QFontInfo(sans).family();
    }();
    return family;
}

QFont SkinFont(int pixelSize, bool bold)
{
    QFont font(SkinFontFamily());
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}
