#include "ui/ImgBtn.h"

#include "ui/skin.h"
#include "ui/skinstyle.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr const char* kHoverSuffix = "_hover";
constexpr const char* kDownSuffix = "_down";
constexpr qreal kFocusPen = 1.0;
// Corner rounding of the frame on a square picture, as the skin's buttons are cut.
constexpr qreal kFocusCornerRadius = 3.0;

} // namespace

TImgBtn::TImgBtn(QWidget* parent) : QAbstractButton(parent)
{
    // Tab reaches the buttons; a click leaves the keyboard where it was (with the server list).
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover, false);
}

void TImgBtn::SetPic(const QPixmap& picture)
{
    pic_ = picture;
    SetPicture(pic_);
}

void TImgBtn::SetPicDown(const QPixmap& picture)
{
    pendingDown_.clear();
    picDown_ = picture;
}

void TImgBtn::SetPicUp(const QPixmap& picture)
{
    pendingUp_.clear();
    picUp_ = picture;
}

const QPixmap& TImgBtn::PicDown() const
{
    if (!pendingDown_.isEmpty()) {
        const QPixmap down = SkinPixmap(pendingDown_, this);
        picDown_ = down.isNull() ? pic_ : down;
        pendingDown_.clear();
    }
    return picDown_;
}

const QPixmap& TImgBtn::PicUp() const
{
    if (!pendingUp_.isEmpty()) {
        const QPixmap up = SkinPixmap(pendingUp_, this);
        picUp_ = up.isNull() ? pic_ : up;
        pendingUp_.clear();
    }
    return picUp_;
}

void TImgBtn::SetPicture(const QPixmap& picture)
{
    shown_ = picture;
    update();
}

void TImgBtn::LoadSkin(const QString& name)
{
    SetPic(SkinPixmap(name, this));
    pendingUp_ = name + QLatin1String(kHoverSuffix);
    pendingDown_ = name + QLatin1String(kDownSuffix);
}

void TImgBtn::paintEvent(QPaintEvent*)
{
    if (shown_.isNull())
        return;
    QPainter painter(this);
    // A picture of another size is drawn at its own size from the top-left corner, as a picture control does.
    painter.drawPixmap(QPoint(0, 0), shown_);
    if (hasFocus())
        PaintFocusMark(painter);
}

void TImgBtn::PaintFocusMark(QPainter& painter) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kSkinFocusColor, kFocusPen, Qt::DotLine));
    const QRectF inside = QRectF(rect()).adjusted(kFocusPen / 2, kFocusPen / 2, -kFocusPen / 2, -kFocusPen / 2);
    painter.drawRoundedRect(inside, kFocusCornerRadius, kFocusCornerRadius);
}

void TImgBtn::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & (Qt::AltModifier | Qt::ControlModifier))) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

bool TImgBtn::hitButton(const QPoint& pos) const
{
    return rect().contains(pos);
}

void TImgBtn::Enter()
{
    if (!supported_ || hovered_)
        return;
    hovered_ = true;
    SetPicture(pressed_ ? PicDown() : PicUp());
    emit MouseEntered();
}

void TImgBtn::Leave()
{
    if (!supported_ || !hovered_)
        return;
    hovered_ = false;
    SetPicture(pic_);
    emit MouseLeft();
}

void TImgBtn::enterEvent(QEnterEvent* event)
{
    QAbstractButton::enterEvent(event);
    Enter();
}

void TImgBtn::leaveEvent(QEvent* event)
{
    QAbstractButton::leaveEvent(event);
    Leave();
}

void TImgBtn::mousePressEvent(QMouseEvent* event)
{
    QAbstractButton::mousePressEvent(event);
    if (!supported_ || event->button() != Qt::LeftButton)
        return;
    pressed_ = true;
    if (hovered_)
        SetPicture(PicDown());
    emit MousePressed(event);
}

void TImgBtn::mouseMoveEvent(QMouseEvent* event)
{
    QAbstractButton::mouseMoveEvent(event);
    // While a button is held the toolkit sends no enter or leave events; crossing the edge is seen here.
    if (!pressed_)
        return;
    if (rect().contains(event->position().toPoint()))
        Enter();
    else
        Leave();
}

void TImgBtn::mouseReleaseEvent(QMouseEvent* event)
{
    // The base fires the click first, while the pressed picture is still shown.
    QAbstractButton::mouseReleaseEvent(event);
    if (!supported_ || event->button() != Qt::LeftButton)
        return;
    pressed_ = false;
    if (hovered_)
        SetPicture(PicUp());
    emit MouseReleased(event);
}
