// The window's background picture: it gives its window the shape of its opaque pixels and lets the
// user drag the window by it.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QRegion>
#include <QWidget>
#include <string>
#include <vector>

enum class TTransparentColorSelection
{
    csTopLeft,
    csTopRight,
    csBottomLeft,
    csBottomRight,
    csColor,
};

// clFuchsia.
inline constexpr QRgb kDefaultTransparentColor = 0xFFFF00FF;

// The colour that counts as transparent: a corner pixel of `picture`, or `color` for csColor.
QRgb TransparentColorOf(const QImage& picture, TTransparentColorSelection selection, QRgb color);
// Runs of pixels equal to `color`, one rectangle per run, in picture coordinates: along rows, or along
// columns when `verticalScan`.
std::vector<QRect> TransparentRuns(const QImage& picture, QRgb color, bool verticalScan);

struct TShapeInput
{
    QImage picture;       // at scale 1
    QPoint pictureOrigin; // where the picture lies in the window
    TTransparentColorSelection selection = TTransparentColorSelection::csTopLeft;
    QRgb transparentColor = kDefaultTransparentColor;
    bool verticalScan = false;
    std::vector<QRect> keptRects; // other controls that stay visible wherever they lie
};

// The window's shape: the picture's rectangle less its transparent runs, plus the kept rectangles.
QRegion WindowShape(const TShapeInput& input);

class TImageForm : public QWidget
{
    Q_OBJECT

public:
    // The picture lives on a top-level window, one per window; otherwise null, with the reason in `error`.
    static TImageForm* Create(QWidget* window, std::string* error = nullptr);

    // Shape the owning window after the picture.
    bool ShapeEnabled() const { return enabled_; }
    void SetShapeEnabled(bool enabled);
    // A left-button drag on the picture moves the window.
    bool MoveForm() const { return moveForm_; }
    void SetMoveForm(bool move) { moveForm_ = move; }
    bool ShowItemsOffBounds() const { return showItemsOffBounds_; }
    void SetShowItemsOffBounds(bool show);
    QRgb TransparentColor() const { return transparentColor_; }
    void SetTransparentColor(QRgb color);
    TTransparentColorSelection TransparentColorSelection() const { return selection_; }
    void SetTransparentColorSelection(TTransparentColorSelection selection);
    bool VerticalScan() const { return verticalScan_; }
    void SetVerticalScan(bool vertical) { verticalScan_ = vertical; }

    // `shape` is the picture at scale 1 that the shape is read from; `shown` is what is painted (at the
    // screen's pixel ratio). The control takes the picture's size.
    void SetPicture(const QImage& shape, const QPixmap& shown);
    // The window has all its controls now: the shape can be built.
    void LayoutLoaded();
    // The region last given to the window (empty before the first).
    QRegion AppliedShape() const { return applied_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    explicit TImageForm(QWidget* window);
    void Rebuild();
    void Reset();

    QWidget* const window_;
    QImage shape_;
    QPixmap shown_;
    bool enabled_ = false;
    bool moveForm_ = false;
    bool showItemsOffBounds_ = false;
    QRgb transparentColor_ = kDefaultTransparentColor;
    TTransparentColorSelection selection_ = TTransparentColorSelection::csTopLeft;
    bool verticalScan_ = false;
    bool loaded_ = false;
    bool regionApplied_ = false;
    QRegion applied_;
    // Where the desktop cannot move the window itself, it follows the pointer from here.
    bool manualMove_ = false;
    QPoint grabOffset_;
};
