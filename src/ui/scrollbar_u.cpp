#include "ui/scrollbar_u.h"

#include <algorithm>
#include <cmath>

namespace {

// Beyond the thumb's drawn caps its hit area reaches a little further down, as it always has.
constexpr int kThumbHitExtra = 6;
constexpr int kThumbHitRight = kScrollBarWidth - 1;

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

    const double share = static_cast<double>(input.rows) / input.count;
    layout.thumb = static_cast<int>(std::floor(share * kTrackLength));
    const int range = input.count - input.rows;
    const int travel = kTrackLength - layout.thumb;

    if (!input.dragging || input.dragOutOfRange) {
        layout.pos = static_cast<int>(std::floor(static_cast<double>(layout.topIndex) / range * travel));
    } else {
        const double start = static_cast<double>(input.dragStartTopIndex) / range * travel;
        layout.pos = static_cast<int>(std::floor(start + input.dragCurrentY - input.dragStartY));
        layout.pos = std::clamp(layout.pos, 0, travel);
        // Halves go to the even neighbour, as the rounding everywhere else in the program does.
        layout.topIndex = static_cast<int>(std::nearbyint(static_cast<double>(range) * layout.pos / travel));
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
