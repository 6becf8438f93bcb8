#include "ui/skin.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <QWidget>
#include <cmath>

namespace {

constexpr const char* kSkinFolder = ":/artwork/skin/";

QImage Render(const QString& name, qreal ratio)
{
    QSvgRenderer renderer(SkinPath(name));
    if (!renderer.isValid())
        return {};
    const QSize size = renderer.defaultSize();
    if (size.isEmpty())
        return {};
    QImage image(
        QSize(static_cast<int>(std::ceil(size.width() * ratio)), static_cast<int>(std::ceil(size.height() * ratio))),
        QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
    painter.end();
    image.setDevicePixelRatio(ratio);
    return image;
}

} // namespace

QString SkinPath(const QString& name)
{
    return QString::fromLatin1(kSkinFolder) + name + QStringLiteral(".svg");
}

bool SkinExists(const QString& name)
{
    return QFile::exists(SkinPath(name));
}

QPixmap SkinPixmap(const QString& name, qreal devicePixelRatio)
{
    if (!SkinExists(name))
        return {};
    return QPixmap::fromImage(Render(name, devicePixelRatio > 0 ? devicePixelRatio : 1.0));
}

QPixmap SkinPixmap(const QString& name, const QWidget* widget)
{
    qreal ratio = 1.0;
    if (widget)
        ratio = widget->devicePixelRatioF();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        ratio = screen->devicePixelRatio();
    return SkinPixmap(name, ratio);
}

QImage SkinImage(const QString& name)
{
    if (!SkinExists(name))
        return {};
    QImage image = Render(name, 1.0);
    image.setDevicePixelRatio(1.0);
    return image.convertToFormat(QImage::Format_ARGB32);
}
