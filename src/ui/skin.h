// The window's artwork: SVG sources compiled in under :/artwork/skin/, rendered when asked for.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

// ":/artwork/skin/<name>.svg".
QString SkinPath(const QString& name);
bool SkinExists(const QString& name);
// The picture at its own size in device-independent pixels, drawn at `devicePixelRatio` so it stays
// crisp on high-density screens. Null when there is no such picture.
QPixmap SkinPixmap(const QString& name, qreal devicePixelRatio);
// The same at the screen's ratio of `widget` (or the primary screen's when it has none yet).
QPixmap SkinPixmap(const QString& name, const class QWidget* widget);
// At scale 1, in ARGB32: what the window's shape is computed from.
QImage SkinImage(const QString& name);
