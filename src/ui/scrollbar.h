// The server list's own scroll bar as arithmetic: where the thumb lies, what a drag does to the top
// row, what the arrows and their repeat do. Plain functions, so they are tested without a window.
#pragma once

inline constexpr int kScrollBarWidth = 12;
inline constexpr int kScrollBarHeight = 144;
inline constexpr int kScrollArrowSize = 12;
inline constexpr int kThumbCapHeight = 3;
// The thumb's body plus its travel: the 120-pixel track less both caps and a pixel at each end.
inline constexpr int kTrackLength = 112;
// A drag follows the pointer only while it stays within this many pixels beside the bar.
inline constexpr int kDragSideSlack = 20;
inline constexpr int kArrowFirstRepeatMs = 500;
inline constexpr int kArrowRepeatMs = 100;

struct TScrollInput
{
    int count = 0;    // rows in the list
    int topIndex = 0; // first row shown
    int rows = 0;     // rows that fit in the list's height
    bool dragging = false;
    bool dragOutOfRange = false;
    int dragStartTopIndex = 0;
    int dragStartY = 0;
    int dragCurrentY = 0;
};

struct TThumbRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

struct TScrollLayout
{
    bool visible = false; // false: everything fits, no scroll bar
    int topIndex = 0;     // the top row after the layout (a drag moves it)
    int thumb = 0;        // lines of the thumb's body; 0 draws the caps only
    int pos = 0;          // the thumb's offset along its travel
    TThumbRect thumbRect;
    int TopCapY() const { return pos + kArrowSize() + 1; }
    int BodyY() const { return pos + kArrowSize() + 1 + kThumbCapHeight; }
    int BottomCapY() const { return BodyY() + thumb; }
    static constexpr int kArrowSize() { return kScrollArrowSize; }
};

// Where the thumb lies and which row is on top, for every state of the bar (idle, arrow held, drag).
TScrollLayout LayoutScrollBar(const TScrollInput& input);

// A drag with the pointer this far beside the 12-pixel bar stops following it.
bool DragOutOfRange(int x);

enum class TScrollCommand
{
    None,
    LineUp,
    LineDown,
};

// Which arrow a press at (x, y) of a bar `height` pixels tall hits.
TScrollCommand ArrowAt(int x, int y, int height);

// One tick of the arrow repeat: the line command to send now, and the interval until the next tick.
struct TArrowRepeat
{
    TScrollCommand command = TScrollCommand::None;
    int nextIntervalMs = kArrowRepeatMs;
};
TArrowRepeat ArrowRepeatTick(bool upHeld, bool downHeld, int x, int y, int height);
