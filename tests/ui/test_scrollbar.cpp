// The server list's scroll bar arithmetic: thumb size and place, drags in and out of range, arrows.
#include "ui/scrollbar.h"

#include <QtTest>

namespace {

constexpr int kRows = 7;

TScrollInput Idle(int count, int top)
{
    TScrollInput input;
    input.count = count;
    input.topIndex = top;
    input.rows = kRows;
    return input;
}

TScrollInput Drag(int count, int startTop, int startY, int currentY, bool outOfRange = false)
{
    TScrollInput input = Idle(count, startTop);
    input.dragging = true;
    input.dragStartTopIndex = startTop;
    input.dragStartY = startY;
    input.dragCurrentY = currentY;
    input.dragOutOfRange = outOfRange;
    return input;
}

} // namespace

class TestScrollBar : public QObject
{
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void dragRoundsHalvesToEven();
    void outOfRangeIsTwentyPixelsBesideTheBar_data();
    void outOfRangeIsTwentyPixelsBesideTheBar();
    void arrows_data();
    void arrows();
    void repeatFiresOnlyOnTheHeldArrow();
};

void TestScrollBar::layout_data()
{
    QTest::addColumn<TScrollInput>("input");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("thumb");
    QTest::addColumn<int>("pos");

    QTest::newRow("seven fit: no bar") << Idle(7, 0) << false << 0 << 0 << 0;
    QTest::newRow("empty list") << Idle(0, 0) << false << 0 << 0 << 0;
    // floor(7 / 8 * 112) = 98; the one extra row gives 14 pixels of travel.
    QTest::newRow("eight at top") << Idle(8, 0) << true << 0 << 98 << 0;
    QTest::newRow("eight at bottom") << Idle(8, 1) << true << 1 << 98 << 14;
    QTest::newRow("top beyond the end is pulled back") << Idle(8, 5) << true << 1 << 98 << 14;
    QTest::newRow("negative top") << Idle(8, -3) << true << 0 << 98 << 0;
    // From 785 rows on the body has no line left: only the caps are drawn.
    QTest::newRow("784 rows keep one line") << Idle(784, 0) << true << 0 << 1 << 0;
    QTest::newRow("785 rows: caps only") << Idle(785, 0) << true << 0 << 0 << 0;
    QTest::newRow("800 rows at the end") << Idle(800, 793) << true << 793 << 0 << 112;
    QTest::newRow("800 rows halfway") << Idle(800, 400) << true << 400 << 0 << 56;
    // A drag moves the thumb by the pointer's travel and the top row after it.
    QTest::newRow("drag down 7 of 14") << Drag(8, 0, 50, 57) << true << 0 << 98 << 7;
    QTest::newRow("drag past the end is clamped") << Drag(8, 0, 50, 500) << true << 1 << 98 << 14;
    QTest::newRow("drag above the start is clamped") << Drag(8, 1, 50, -400) << true << 0 << 98 << 0;
    QTest::newRow("drag on a long list: 396.5 to even") << Drag(800, 0, 20, 76) << true << 396 << 0 << 56;
    // Out of range the thumb shows the list's own top row, which the drag does not move.
    QTest::newRow("drag out of range") << Drag(800, 100, 20, 90, true) << true << 100 << 0 << 14;
}

void TestScrollBar::layout()
{
    QFETCH(TScrollInput, input);
    QFETCH(bool, visible);
    const TScrollLayout layout = LayoutScrollBar(input);
    QCOMPARE(layout.visible, visible);
    if (!layout.visible)
        return;
    QTEST(layout.topIndex, "top");
    QTEST(layout.thumb, "thumb");
    QTEST(layout.pos, "pos");
    // The thumb's pieces and hit area follow its place.
    QCOMPARE(layout.TopCapY(), layout.pos + 13);
    QCOMPARE(layout.BodyY(), layout.pos + 16);
    QCOMPARE(layout.BottomCapY(), layout.pos + 16 + layout.thumb);
    QCOMPARE(layout.thumbRect.top, layout.pos + 13);
    QCOMPARE(layout.thumbRect.bottom, layout.pos + layout.thumb + 19);
    QCOMPARE(layout.thumbRect.left, 0);
    QCOMPARE(layout.thumbRect.right, 11);
    // The thumb never leaves the track above the down arrow.
    QVERIFY(layout.BottomCapY() + kThumbCapHeight <= kScrollBarHeight - kScrollArrowSize);
}

void TestScrollBar::dragRoundsHalvesToEven()
{
    // 13 rows: thumb floor(7 / 13 * 112) = 60, travel 52, range 6; the top row is 6 * pos / 52.
    QCOMPARE(LayoutScrollBar(Drag(13, 0, 0, 13)).topIndex, 2); // 1.5
    QCOMPARE(LayoutScrollBar(Drag(13, 0, 0, 39)).topIndex, 4); // 4.5
    QCOMPARE(LayoutScrollBar(Drag(13, 0, 0, 40)).topIndex, 5); // 4.6
    QCOMPARE(LayoutScrollBar(Drag(13, 0, 0, 26)).topIndex, 3); // 3
}

void TestScrollBar::outOfRangeIsTwentyPixelsBesideTheBar_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<bool>("out");
    QTest::newRow("on the bar") << 5 << false;
    QTest::newRow("20 left") << -20 << false;
    QTest::newRow("21 left") << -21 << true;
    QTest::newRow("31: 20 right of the last column") << 31 << false;
    QTest::newRow("32") << 32 << true;
}

void TestScrollBar::outOfRangeIsTwentyPixelsBesideTheBar()
{
    QFETCH(int, x);
    QTEST(DragOutOfRange(x), "out");
}

void TestScrollBar::arrows_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("command");
    const int up = static_cast<int>(TScrollCommand::LineUp);
    const int down = static_cast<int>(TScrollCommand::LineDown);
    const int none = static_cast<int>(TScrollCommand::None);
    QTest::newRow("up arrow corner") << 0 << 0 << up;
    QTest::newRow("up arrow last pixel") << 10 << 10 << up;
    QTest::newRow("right edge is outside") << 11 << 5 << none;
    QTest::newRow("below the up arrow") << 5 << 11 << none;
    QTest::newRow("track") << 5 << 70 << none;
    QTest::newRow("down arrow first row") << 5 << 133 << down;
    QTest::newRow("down arrow last row") << 5 << 143 << down;
    QTest::newRow("above the down arrow") << 5 << 132 << none;
    QTest::newRow("below the bar") << 5 << 144 << none;
}

void TestScrollBar::arrows()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, command);
    QCOMPARE(static_cast<int>(ArrowAt(x, y, kScrollBarHeight)), command);
}

void TestScrollBar::repeatFiresOnlyOnTheHeldArrow()
{
    // The first tick comes after 500 ms; every tick sets 100 ms for the next.
    QCOMPARE(kArrowFirstRepeatMs, 500);
    TArrowRepeat tick = ArrowRepeatTick(true, false, 5, 5, kScrollBarHeight);
    QCOMPARE(tick.command, TScrollCommand::LineUp);
    QCOMPARE(tick.nextIntervalMs, 100);
    // Pointer moved off the arrow: no line, the timer keeps ticking until the button comes up.
    tick = ArrowRepeatTick(true, false, 5, 60, kScrollBarHeight);
    QCOMPARE(tick.command, TScrollCommand::None);
    QCOMPARE(tick.nextIntervalMs, 100);
    // Over the other arrow than the held one.
    QCOMPARE(ArrowRepeatTick(true, false, 5, 140, kScrollBarHeight).command, TScrollCommand::None);
    QCOMPARE(ArrowRepeatTick(false, true, 5, 140, kScrollBarHeight).command, TScrollCommand::LineDown);
    QCOMPARE(ArrowRepeatTick(false, false, 5, 5, kScrollBarHeight).command, TScrollCommand::None);
}

QTEST_APPLESS_MAIN(TestScrollBar)
#include "test_scrollbar.moc"
