#include "ui/imgfrm.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace {

constexpr const char* kErrorNotAWindow = "TImageForm: Invalid parent window - must be class TForm.";
constexpr const char* kErrorSecondInstance = "TImageForm: Only one instance of TImageForm is allowed.";

QRgb PixelAt(const QImage& picture, int x, int y)
{
    return reinterpret_cast<const QRgb*>(picture.constScanLine(y))[x];
}

} // namespace

QRgb TransparentColorOf(const QImage& picture, TTransparentColorSelection selection, QRgb color)
{
    if (picture.isNull())
        return color;
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    const int right = argb.width() - 1;
    const int bottom = argb.height() - 1;
    switch (selection) {
    case TTransparentColorSelection::csTopLeft:
        return PixelAt(argb, 0, 0);
    case TTransparentColorSelection::csTopRight:
        return PixelAt(argb, right, 0);
    case TTransparentColorSelection::csBottomLeft:
        return PixelAt(argb, 0, bottom);
    case TTransparentColorSelection::csBottomRight:
        return PixelAt(argb, right, bottom);
    case TTransparentColorSelection::csColor:
        return color;
    }
    return kDefaultTransparentColor;
}

std::vector<QRect> TransparentRuns(const QImage& picture, QRgb color, bool verticalScan)
{
    std::vector<QRect> runs;
    if (picture.isNull())
        return runs;
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    const int lines = verticalScan ? argb.width() : argb.height();
    const int length = verticalScan ? argb.height() : argb.width();
    for (int line = 0; line < lines; ++line) {
        int start = -1;
        for (int at = 0; at <= length; ++at) {
            const bool transparent =
                at < length && (verticalScan ? PixelAt(argb, line, at) : PixelAt(argb, at, line)) == color;
            if (transparent && start < 0)
                start = at;
            if (!transparent && start >= 0) {
                // The run covers start .. at - 1; the first opaque pixel stays.
                runs.push_back(verticalScan ? QRect(line, start, 1, at - start) : QRect(start, line, at - start, 1));
                start = -1;
            }
        }
    }
    return runs;
}

QRegion WindowShape(const TShapeInput& input)
{
    if (input.picture.isNull())
        return {};
    QRegion shape(QRect(input.pictureOrigin, input.picture.size()));
    const QRgb color = TransparentColorOf(input.picture, input.selection, input.transparentColor);
    std::vector<QRect> runs = TransparentRuns(input.picture, color, input.verticalScan);
    for (QRect& run : runs)
        run.translate(input.pictureOrigin);
    QRegion transparent;
    if (!input.verticalScan) {
        // Runs along rows, each row left to right, are already the bands a region is made of.
        transparent.setRects(runs.data(), static_cast<int>(runs.size()));
    } else {
        for (const QRect& run : runs)
            transparent += run;
    }
    shape -= transparent;
    for (const QRect& kept : input.keptRects)
        shape += kept;
    return shape;
}

TImageForm* TImageForm::Create(QWidget* window, std::string* error)
{
    auto fail = [error](const char* text) -> TImageForm* {
        if (error)
            *error = text;
        return nullptr;
    };
    if (!window || !window->isWindow())
        return fail(kErrorNotAWindow);
    if (window->findChild<TImageForm*>(QString(), Qt::FindDirectChildrenOnly))
        return fail(kErrorSecondInstance);
    return new TImageForm(window);
}

TImageForm::TImageForm(QWidget* window) : QWidget(window), window_(window)
{
    setObjectName("ImageForm");
}

void TImageForm::SetShapeEnabled(bool enabled)
{
    enabled_ = enabled;
    if (enabled_)
        Rebuild();
    else
        Reset();
}

void TImageForm::SetShowItemsOffBounds(bool show)
{
    showItemsOffBounds_ = show;
    Rebuild();
}

void TImageForm::SetTransparentColor(QRgb color)
{
    transparentColor_ = color;
    if (selection_ == TTransparentColorSelection::csColor)
        Rebuild();
}

void TImageForm::SetTransparentColorSelection(TTransparentColorSelection selection)
{
    selection_ = selection;
    Rebuild();
}

void TImageForm::SetPicture(const QImage& shape, const QPixmap& shown)
{
    shape_ = shape;
    shown_ = shown;
    if (!shape_.isNull())
        resize(shape_.size());
    update();
    Rebuild();
}

void TImageForm::LayoutLoaded()
{
    loaded_ = true;
    if (enabled_)
        Rebuild();
    else
        Reset();
}

void TImageForm::Rebuild()
{
    if (!enabled_ || !loaded_ || shape_.isNull())
        return;
    regionApplied_ = true;
    TShapeInput input;
    input.picture = shape_;
    input.pictureOrigin = pos();
    input.selection = selection_;
    input.transparentColor = transparentColor_;
    input.verticalScan = verticalScan_;
    if (showItemsOffBounds_) {
        // Hidden ones too: a panel shown later must not have to reshape the window.
        for (QWidget* child : window_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (child != this && !child->isWindow())
                input.keptRects.push_back(child->geometry());
    }
    applied_ = WindowShape(input);
    window_->setMask(applied_);
}

void TImageForm::Reset()
{
    if (!regionApplied_ || !loaded_)
        return;
    applied_ = QRegion(0, 0, window_->width(), window_->height());
    window_->clearMask();
}

void TImageForm::paintEvent(QPaintEvent*)
{
    if (shown_.isNull())
        return;
    QPainter painter(this);
    // The cut-out pixels are never painted, so a see-through window shows clean edges.
    if (regionApplied_ && enabled_)
        painter.setClipRegion(applied_.translated(-pos()));
    painter.drawPixmap(QPoint(0, 0), shown_);
}

void TImageForm::mousePressEvent(QMouseEvent* event)
{
    if (!moveForm_ || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    QWindow* handle = window_->windowHandle();
    // The desktop's own move also works where a program may not place its windows (Wayland).
    manualMove_ = !handle || !handle->startSystemMove();
    grabOffset_ = event->globalPosition().toPoint() - window_->frameGeometry().topLeft();
}

void TImageForm::mouseMoveEvent(QMouseEvent* event)
{
    if (manualMove_ && (event->buttons() & Qt::LeftButton))
        window_->move(event->globalPosition().toPoint() - grabOffset_);
    else
        QWidget::mouseMoveEvent(event);
}

void TImageForm::mouseReleaseEvent(QMouseEvent* event)
{
    manualMove_ = false;
    QWidget::mouseReleaseEvent(event);
}
