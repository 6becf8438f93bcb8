#include "ui/ImgBtn.h"

#include "ui/skin.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr const char* kHoverSuffix = "_hover";
constexpr const char* kDownSuffix = "_down";

} // namespace

TImgBtn::TImgBtn(QWidget* parent) : QAbstractButton(parent)
{
    // The buttons sit on a skin; the keyboard belongs to the server list.
    setFocusPolicy(Qt::NoFocus);
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
