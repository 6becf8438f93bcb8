// The server list in the middle of the main window: owner-drawn rows with their state balls, the
// name's tooltip, and the list's own picture scroll bar.
#pragma once

#include "ui/scrollbar.h"

#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QStringList>

class QFontMetrics;
class QPainter;
class QTimer;
class QWidget;
class TListBoxEx;

inline constexpr int kListLeft = 21;
inline constexpr int kListTop = 56;
inline constexpr int kListFullWidth = 222;
inline constexpr int kListHeight = 144;
inline constexpr int kListRowHeight = 20;
// Room kept free on the right of a row for its ball.
inline constexpr int kRowTextMargin = 20;

// Shortens `text` with "..." until it fits in `width` pixels; a text that fits is left as it is.
void FitTextToWidth(QString& text, int width, const QFontMetrics& metrics);

class TServerListView : public QObject
{
    Q_OBJECT

public:
    // Makes the list's panels and controls on `window`, at their places.
    explicit TServerListView(QWidget* window);

    TListBoxEx* List() const { return List_; }

    // The rows are the live servers' names, in list order.
    void SetNames(const QStringList& names);
    // Lays out and paints the scroll bar; applies a thumb drag.
    void UpdateList();
    // More rows than fit: the scroll bar is needed and rows are narrower.
    bool NeedsScrolling() const;

    void ListDrawItem(QPainter& painter, int index, const QRect& rect, bool selected);
    // The hint of a shortened name under the pointer.
    void ListMouseMove(QPoint at);

    // Scroll bar mouse, in the bar's coordinates.
    void ImageScrollBarCanvasMouseDown(QPoint at);
    void ImageScrollBarCanvasMouseMove(QPoint at);
    void ImageScrollBarCanvasMouseUp();
    void ScrollTimerTimer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadPictures();
    void SetListWidth(int width);
    void PaintScrollBar(const TScrollLayout& layout);

    QWidget* const window_;
    QWidget* ListPanel_ = nullptr;
    TListBoxEx* List_ = nullptr;
    QWidget* ScrollBarPanel_ = nullptr;
    QWidget* ImageScrollBarCanvas = nullptr;
    QTimer* ScrollTimer = nullptr;

    QPixmap ImageVyber;
    QPixmap balls_[3];
    QPixmap ballsSel_[3];
    QPixmap ImageScrollBarUp;
    QPixmap ImageScrollBarDown;
    QPixmap ImageScrollBarLine;
    QPixmap ImageScrollBarBarTop;
    QPixmap ImageScrollBarBarBottom;
    QPixmap ImageScrollBarBar;
    QPixmap canvas_;

    bool scrollUpHeld_ = false;
    bool scrollDownHeld_ = false;
    bool thumbDragging_ = false;
    bool dragOutOfRange_ = false;
    bool scrollBarUpdating_ = false;
    TThumbRect thumbRect_;
    int dragStartY_ = 0;
    int dragCurrentY_ = 0;
    int dragStartTopIndex_ = 0;
};
