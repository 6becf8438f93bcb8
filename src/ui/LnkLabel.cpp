#include "ui/LnkLabel.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QUrl>

TLnkLabel::TLnkLabel(QWidget* parent) : TLnkLabel(QString(), QString::fromLatin1(kDefaultLink), parent) {}

TLnkLabel::TLnkLabel(const QString& caption, const QString& link, QWidget* parent) : QLabel(caption, parent)
{
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    // Drawn on whatever lies below, as a link in running text.
    setAutoFillBackground(false);
    setTextFormat(Qt::PlainText);
    SetFontColor(kLinkColor);
    SetLink(link);
}

void TLnkLabel::SetLink(const QString& link)
{
    link_ = link;
    setCursor(link_.isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
}

QColor TLnkLabel::FontColor() const
{
    return palette().color(QPalette::WindowText);
}

void TLnkLabel::SetFontColor(const QColor& color)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color);
    setPalette(p);
}

void TLnkLabel::enterEvent(QEnterEvent* event)
{
    QLabel::enterEvent(event);
    hovered_ = true;
    SetFontColor(enterColor_);
    emit MouseEntered();
}

void TLnkLabel::leaveEvent(QEvent* event)
{
    QLabel::leaveEvent(event);
    hovered_ = false;
    SetFontColor(leaveColor_);
    emit MouseLeft();
}

void TLnkLabel::mousePressEvent(QMouseEvent* event)
{
    QLabel::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
}

void TLnkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    pressed_ = false;
    // A click is a press and a release over the label; sliding off before releasing cancels it.
    if (rect().contains(event->position().toPoint()))
        OpenLink();
}

void TLnkLabel::OpenLink()
{
    if (link_.isEmpty())
        return;
    // The desktop reports failures its own way, if at all; the label stays silent either way.
    (void)QDesktopServices::openUrl(QUrl(link_, QUrl::TolerantMode));
    leaveColor_ = visitedColor_;
    emit LinkOpened(link_);
}
