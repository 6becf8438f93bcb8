// Writes what an X screen shows in one rectangle as PNG to standard output, so that process tests can
// look at the running program's pixels. Usage: korvan_xgrab X Y WIDTH HEIGHT; DISPLAY names the server.
#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

namespace {

constexpr int kArguments = 5;
constexpr int kBadUsage = 2;
constexpr int kNoPicture = 1;

} // namespace

int main(int argc, char** argv)
{
    // The picture comes from the X server the tested program draws on, whatever the tests' own platform is.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != kArguments)
        return kBadUsage;
    int values[kArguments - 1] = {};
    for (int i = 1; i < kArguments; ++i) {
        bool ok = false;
        values[i - 1] = args[i].toInt(&ok);
        if (!ok)
            return kBadUsage;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return kNoPicture;
    // The root window: what is on the screen there, whichever visual the program's window has.
    const QPixmap picture = screen->grabWindow(0, values[0], values[1], values[2], values[3]);
    QByteArray png;
    QBuffer buffer(&png);
    if (picture.isNull() || !buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG"))
        return kNoPicture;
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly) || out.write(png) != png.size())
        return kNoPicture;
    return 0;
}
