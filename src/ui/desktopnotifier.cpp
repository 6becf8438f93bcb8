#include "ui/desktopnotifier.h"

#include "core/globaltypes_u.h"
#include "ui/msgbox.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QVariantMap>

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
// The desktop entry's name, which is also the name of its icon in the icon theme.
constexpr const char* kDesktopEntry = "korvan";
constexpr const char* kDefaultAction = "default";
// A service that does not answer within this is taken as absent for this one call.
constexpr int kCallTimeoutMs = 5000;
// Large enough for any notification bubble, small enough to send each time.
constexpr int kImageSide = 64;
constexpr int kBitsPerSample = 8;
constexpr int kRgbaChannels = 4;
constexpr uchar kUrgencyNormal = 1;

// The picture of the "image-data" hint: width, height, row stride, alpha, bits per sample, channels, bytes.
struct TNotificationImage
{
    QImage Image;
};

QDBusArgument& operator<<(QDBusArgument& argument, const TNotificationImage& picture)
{
    const QImage& image = picture.Image;
    argument.beginStructure();
    argument << image.width() << image.height() << static_cast<int>(image.bytesPerLine()) << true << kBitsPerSample
             << kRgbaChannels
             << QByteArray(reinterpret_cast<const char*>(image.constBits()), static_cast<int>(image.sizeInBytes()));
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TNotificationImage&)
{
    // Only ever sent.
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(TNotificationImage)

TDesktopNotifier::TDesktopNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus)
{
    qDBusRegisterMetaType<TNotificationImage>();
}

void TDesktopNotifier::Notify(const QString& title, const QString& text, int durationMs)
{
    if (!bus_.isConnected())
        return;
    if (!subscribed_)
        subscribed_ = bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                                   SLOT(ActionInvoked(uint, QString)));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopEntry));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(kUrgencyNormal));
    // The icon by name needs the program installed; its own picture goes along for a copy run from a folder.
    const QIcon icon = QGuiApplication::windowIcon();
    if (!icon.isNull()) {
        const QImage image = icon.pixmap(kImageSide, kImageSide).toImage().convertToFormat(QImage::Format_RGBA8888);
        if (!image.isNull())
            hints.insert(QStringLiteral("image-data"), QVariant::fromValue(TNotificationImage{image}));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QString::fromUtf8(kApplicationTitle) << lastId_ << QString::fromLatin1(kDesktopEntry) << title << text
         << QStringList{QString::fromLatin1(kDefaultAction), UiText(TTextId::NotificationShowWindow)} << hints
         << static_cast<qint32>(durationMs);
    // An error or no answer loses this announcement only, as a balloon with no notification area would be.
    bus_.callWithCallback(call, this, SLOT(NotifyAnswered(QDBusMessage)), nullptr, kCallTimeoutMs);
}

void TDesktopNotifier::NotifyAnswered(const QDBusMessage& reply)
{
    const QList<QVariant> values = reply.arguments();
    if (!values.isEmpty() && values.front().canConvert<uint>())
        lastId_ = values.front().toUInt();
}

void TDesktopNotifier::ActionInvoked(uint id, const QString& action)
{
    if (id != 0 && id == lastId_ && action == QLatin1String(kDefaultAction))
        emit clicked();
}
