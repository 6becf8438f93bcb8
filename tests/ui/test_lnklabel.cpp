// The link label: its colours as the mouse comes and goes, and what a click hands to the desktop.
#include "ui/LnkLabel.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QSignalSpy>
#include <QtTest>

class TestLnkLabel : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop: QDesktopServices hands the addresses of the registered schemes here.
    void Open(const QUrl& url) { opened_.append(url); }

private slots:
    void init();
    void cleanup();
    void startsAsAnUnvisitedLink();
    void coloursFollowTheMouse();
    void clickOpensAndLeavesVisited();
    void clickThatSlidesOffOpensNothing();
    void emptyLinkIsInert();
    void freshLabelIsUnvisitedAgain();

private:
    static void Enter(TLnkLabel& label);
    static void Leave(TLnkLabel& label);

    QList<QUrl> opened_;
};

void TestLnkLabel::init()
{
    opened_.clear();
    for (const char* scheme : {"mailto", "http", "https"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
}

void TestLnkLabel::cleanup()
{
    for (const char* scheme : {"mailto", "http", "https"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void TestLnkLabel::Enter(TLnkLabel& label)
{
    QPointF inside(1, 1);
    QEnterEvent event(inside, inside, label.mapToGlobal(inside));
    QCoreApplication::sendEvent(&label, &event);
}

void TestLnkLabel::Leave(TLnkLabel& label)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&label, &event);
}

void TestLnkLabel::startsAsAnUnvisitedLink()
{
    TLnkLabel label;
    QCOMPARE(label.Link(), QString("mailto:"));
    QCOMPARE(label.FontColor(), QColor(Qt::blue));
    QCOMPARE(label.EnterFontColor(), QColor(Qt::red));
    QCOMPARE(label.LeaveFontColor(), QColor(Qt::blue));
    QCOMPARE(label.VisitedColor(), QColor(0, 0, 128));
    QVERIFY(label.font().underline());
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(!label.autoFillBackground());
}

void TestLnkLabel::coloursFollowTheMouse()
{
    TLnkLabel label("site", "https://korvan.example/");
    label.SetEnterFontColor(Qt::white);
    label.SetLeaveFontColor(Qt::yellow);
    QSignalSpy entered(&label, &TLnkLabel::MouseEntered);
    QSignalSpy left(&label, &TLnkLabel::MouseLeft);
    Enter(label);
    QCOMPARE(label.FontColor(), QColor(Qt::white));
    QVERIFY(label.Hovered());
    Leave(label);
    QCOMPARE(label.FontColor(), QColor(Qt::yellow));
    QVERIFY(!label.Hovered());
    QCOMPARE(entered.count(), 1);
    QCOMPARE(left.count(), 1);
    QVERIFY(opened_.isEmpty());
}

void TestLnkLabel::clickOpensAndLeavesVisited()
{
    TLnkLabel label("support@korvan.example", "mailto:support@korvan.example");
    label.resize(150, 20);
    QSignalSpy openedSignal(&label, &TLnkLabel::LinkOpened);
    Enter(label);
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(opened_, QList<QUrl>{QUrl("mailto:support@korvan.example")});
    QCOMPARE(openedSignal.count(), 1);
    // Still under the mouse: the enter colour stays until it leaves.
    QCOMPARE(label.FontColor(), QColor(Qt::red));
    QCOMPARE(label.LeaveFontColor(), QColor(0, 0, 128));
    Leave(label);
    QCOMPARE(label.FontColor(), QColor(0, 0, 128));
    Enter(label);
    QCOMPARE(label.FontColor(), QColor(Qt::red));
    // A right click is no click.
    QTest::mouseClick(&label, Qt::RightButton, {}, QPoint(5, 5));
    QCOMPARE(opened_.size(), 1);
}

void TestLnkLabel::clickThatSlidesOffOpensNothing()
{
    TLnkLabel label("site", "http://korvan.example/");
    label.resize(100, 20);
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(300, 5));
    QVERIFY(opened_.isEmpty());
    QCOMPARE(label.LeaveFontColor(), QColor(Qt::blue));
}

void TestLnkLabel::emptyLinkIsInert()
{
    TLnkLabel label("---", "");
    label.resize(100, 20);
    QCOMPARE(label.cursor().shape(), Qt::ArrowCursor);
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(opened_.isEmpty());
    QCOMPARE(label.LeaveFontColor(), QColor(Qt::blue));
    label.SetLink("http://korvan.example/");
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
}

void TestLnkLabel::freshLabelIsUnvisitedAgain()
{
    {
        TLnkLabel first("site", "http://korvan.example/");
        first.resize(100, 20);
        QTest::mouseClick(&first, Qt::LeftButton, {}, QPoint(5, 5));
        Leave(first);
        QCOMPARE(first.FontColor(), QColor(0, 0, 128));
    }
    TLnkLabel second("site", "http://korvan.example/");
    QCOMPARE(second.FontColor(), QColor(Qt::blue));
    QCOMPARE(second.LeaveFontColor(), QColor(Qt::blue));
}

QTEST_MAIN(TestLnkLabel)
#include "test_lnklabel.moc"
