// A picture that behaves as a button: separate pictures for normal, hover and pressed, and a click
// that fires while the pressed picture is still shown.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

class QKeyEvent;
class QMouseEvent;
class QPainter;

class TImgBtn : public QAbstractButton
{
    Q_OBJECT

public:
    explicit TImgBtn(QWidget* parent = nullptr);

    // Each setter keeps its own copy; setting Pic also shows it at once.
    void SetPic(const QPixmap& picture);
    void SetPicDown(const QPixmap& picture);
    void SetPicUp(const QPixmap& picture);
    const QPixmap& Pic() const { return pic_; }
    const QPixmap& PicDown() const;
    const QPixmap& PicUp() const;
    // The picture on screen now; the localizer sets it together with Pic.
    void SetPicture(const QPixmap& picture);
    const QPixmap& Picture() const { return shown_; }

    // When false no picture is switched and none of the four mouse signals fires; clicks still do.
    bool Supported() const { return supported_; }
    void SetSupported(bool supported) { supported_ = supported; }

    // Loads <name>.svg, <name>_hover.svg and <name>_down.svg of the skin at the screen's pixel ratio;
    // a missing hover or pressed picture falls back to the normal one. The hover and pressed pictures
    // are drawn the first time they are needed, which keeps the window's start quick.
    void LoadSkin(const QString& name);

signals:
    void MouseEntered();
    void MouseLeft();
    void MousePressed(QMouseEvent* event);
    void MouseReleased(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    // Enter presses it as Space does; other keys go on to the window.
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The whole rectangle counts, transparent corners included, as for a picture control.
    bool hitButton(const QPoint& pos) const override;

private:
    void Enter();
    void Leave();
    // The keyboard's mark: a dotted frame in the skin's gold along the edge, rounded as the skin's buttons are.
    void PaintFocusMark(QPainter& painter) const;

    // The skin picture still to be drawn for hover or pressed; empty when there is none.
    mutable QString pendingUp_;
    mutable QString pendingDown_;
    QPixmap pic_;
    mutable QPixmap picDown_;
    mutable QPixmap picUp_;
    QPixmap shown_;
    bool supported_ = true;
    bool hovered_ = false;
    bool pressed_ = false;
};
