// The picture button: which picture shows, and which signals fire, through a press, moves and a release.
#include "ui/ImgBtn.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

namespace {

QPixmap Filled(QColor color)
{
    QPixmap pixmap(10, 10);
    pixmap.fill(color);
    return pixmap;
}

void SendEnter(QWidget* w)
{
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(w, &enter);
}

void SendLeave(QWidget* w)
{
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(w, &leave);
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(at), w->mapToGlobal(QPointF(at)), type == QEvent::MouseMove ? Qt::NoButton : button,
                      held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

} // namespace

class TestImgBtn : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void settingPicShowsItAtOnce();
    void clickRunsWhilePressedPictureShows();
    void leavingWhilePressedAndReleasingOutsideIsNoClick();
    void unsupportedSwitchesNothingButClicks();
    void rightButtonNeitherPressesNorClicks();

private:
    std::unique_ptr<TImgBtn> button_;
    QPixmap normal_ = Filled(Qt::red);
    QPixmap hover_ = Filled(Qt::green);
    QPixmap down_ = Filled(Qt::blue);
};

void TestImgBtn::init()
{
    button_ = std::make_unique<TImgBtn>();
    button_->resize(10, 10);
    button_->SetPicUp(hover_);
    button_->SetPicDown(down_);
    button_->SetPic(normal_);
}

void TestImgBtn::settingPicShowsItAtOnce()
{
    TImgBtn fresh;
    QVERIFY(fresh.Pic().isNull() && fresh.PicUp().isNull() && fresh.PicDown().isNull());
    QVERIFY(fresh.Supported());
    // Tab reaches it; a click leaves the keyboard where it was.
    QCOMPARE(fresh.focusPolicy(), Qt::TabFocus);
    QCOMPARE(button_->Picture().cacheKey(), button_->Pic().cacheKey());
    // Hover and pressed pictures wait for their moment.
    button_->SetPicUp(Filled(Qt::yellow));
    QCOMPARE(button_->Picture().cacheKey(), button_->Pic().cacheKey());
}

void TestImgBtn::clickRunsWhilePressedPictureShows()
{
    QSignalSpy entered(button_.get(), &TImgBtn::MouseEntered);
    QSignalSpy pressed(button_.get(), &TImgBtn::MousePressed);
    QSignalSpy released(button_.get(), &TImgBtn::MouseReleased);
    qint64 shownAtClick = 0;
    connect(button_.get(), &TImgBtn::clicked, this, [&] { shownAtClick = button_->Picture().cacheKey(); });

    SendEnter(button_.get());
    QCOMPARE(entered.count(), 1);
    QCOMPARE(button_->Picture().cacheKey(), button_->PicUp().cacheKey());
    SendMouse(button_.get(), QEvent::MouseButtonPress, {5, 5});
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(button_->Picture().cacheKey(), button_->PicDown().cacheKey());
    SendMouse(button_.get(), QEvent::MouseButtonRelease, {5, 5});
    QCOMPARE(shownAtClick, button_->PicDown().cacheKey());
    QCOMPARE(released.count(), 1);
    QCOMPARE(button_->Picture().cacheKey(), button_->PicUp().cacheKey());
    SendLeave(button_.get());
    QCOMPARE(button_->Picture().cacheKey(), button_->Pic().cacheKey());
}

void TestImgBtn::leavingWhilePressedAndReleasingOutsideIsNoClick()
{
    QSignalSpy clicked(button_.get(), &TImgBtn::clicked);
    QSignalSpy left(button_.get(), &TImgBtn::MouseLeft);
    SendEnter(button_.get());
    SendMouse(button_.get(), QEvent::MouseButtonPress, {5, 5});
    SendMouse(button_.get(), QEvent::MouseMove, {40, 5});
    QCOMPARE(left.count(), 1);
    QCOMPARE(button_->Picture().cacheKey(), button_->Pic().cacheKey());
    // Coming back while still holding shows the pressed picture again.
    SendMouse(button_.get(), QEvent::MouseMove, {5, 5});
    QCOMPARE(button_->Picture().cacheKey(), button_->PicDown().cacheKey());
    SendMouse(button_.get(), QEvent::MouseMove, {40, 5});
    SendMouse(button_.get(), QEvent::MouseButtonRelease, {40, 5});
    QCOMPARE(clicked.count(), 0);
    QCOMPARE(button_->Picture().cacheKey(), button_->Pic().cacheKey());
    SendEnter(button_.get());
    QCOMPARE(button_->Picture().cacheKey(), button_->PicUp().cacheKey());
}

void TestImgBtn::unsupportedSwitchesNothingButClicks()
{
    button_->SetSupported(false);
    QSignalSpy clicked(button_.get(), &TImgBtn::clicked);
    QSignalSpy entered(button_.get(), &TImgBtn::MouseEntered);
    QSignalSpy left(button_.get(), &TImgBtn::MouseLeft);
    QSignalSpy pressed(button_.get(), &TImgBtn::MousePressed);
    QSignalSpy released(button_.get(), &TImgBtn::MouseReleased);
    SendEnter(button_.get());
    SendMouse(button_.get(), QEvent::MouseButtonPress, {5, 5});
    QCOMPARE(button_->Picture().cacheKey(), button_->Pic().cacheKey());
    SendMouse(button_.get(), QEvent::MouseButtonRelease, {5, 5});
    SendLeave(button_.get());
    QCOMPARE(button_->Picture().cacheKey(), button_->Pic().cacheKey());
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(entered.count() + left.count() + pressed.count() + released.count(), 0);
}

void TestImgBtn::rightButtonNeitherPressesNorClicks()
{
    QSignalSpy clicked(button_.get(), &TImgBtn::clicked);
    SendEnter(button_.get());
    SendMouse(button_.get(), QEvent::MouseButtonPress, {5, 5}, Qt::RightButton);
    QCOMPARE(button_->Picture().cacheKey(), button_->PicUp().cacheKey());
    SendMouse(button_.get(), QEvent::MouseButtonRelease, {5, 5}, Qt::RightButton);
    QCOMPARE(clicked.count(), 0);
}

QTEST_MAIN(TestImgBtn)
#include "test_imgbtn.moc"
