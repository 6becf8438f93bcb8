#include "ui/scrollbar.h"

#include <algorithm>

namespace {

// Beyond the thumb's drawn caps its hit area reaches a little further down, as it always has.
constexpr int kThumbHitExtra = 6;
constexpr int kThumbHitRight = kScrollBarWidth - 1;

// numerator / denominator to the nearest whole number, a half to the even neighbour.
int RoundHalfToEven(long long numerator, long long denominator)
{
    const long long quotient = numerator / denominator;
    const long long twiceRest = 2 * (numerator % denominator);
    if (twiceRest > denominator || (twiceRest == denominator && quotient % 2 != 0))
        return static_cast<int>(quotient + 1);
    return static_cast<int>(quotient);
}

} // namespace

TScrollLayout LayoutScrollBar(const TScrollInput& input)
{
    TScrollLayout layout;
    layout.topIndex = input.topIndex;
    if (input.rows <= 0 || input.count <= input.rows)
        return layout;
    layout.visible = true;

    // No empty space below the last row.
    layout.topIndex = std::clamp(layout.topIndex, 0, input.count - input.rows);

    // Whole numbers throughout: floor(rows / count * 112) and the rest are exact this way, where
    // floating point would put 784 rows on the wrong side of one line.
    layout.thumb = input.rows * kTrackLength / input.count;
    const int range = input.count - input.rows;
    const int travel = kTrackLength - layout.thumb;

    if (!input.dragging || input.dragOutOfRange) {
        layout.pos = layout.topIndex * travel / range;
    } else {
        const int start = std::clamp(input.dragStartTopIndex, 0, range) * travel / range;
        layout.pos = std::clamp(start + input.dragCurrentY - input.dragStartY, 0, travel);
        layout.topIndex = RoundHalfToEven(static_cast<long long>(range) * layout.pos, travel);
    }

    layout.thumbRect.left = 0;
    layout.thumbRect.top = layout.TopCapY();
    layout.thumbRect.right = kThumbHitRight;
    layout.thumbRect.bottom = layout.pos + layout.thumb + kScrollArrowSize + 1 + kThumbHitExtra;
    return layout;
}

bool DragOutOfRange(int x)
{
    return x < -kDragSideSlack || x > kScrollBarWidth - 1 + kDragSideSlack;
}

TScrollCommand ArrowAt(int x, int y, int height)
{
    const int arrowHit = kScrollArrowSize - 1;
    if (x < 0 || x >= arrowHit)
        return TScrollCommand::None;
    if (y >= 0 && y < arrowHit)
        return TScrollCommand::LineUp;
    if (y >= height - arrowHit && y < height)
        return TScrollCommand::LineDown;
    return TScrollCommand::None;
}

TArrowRepeat ArrowRepeatTick(bool upHeld, bool downHeld, int x, int y, int height)
{
    TArrowRepeat tick;
    const TScrollCommand under = ArrowAt(x, y, height);
    if (upHeld && under == TScrollCommand::LineUp)
        tick.command = TScrollCommand::LineUp;
    else if (downHeld && under == TScrollCommand::LineDown)
        tick.command = TScrollCommand::LineDown;
    return tick;
}
