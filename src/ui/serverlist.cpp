#include "ui/serverlist.h"

#include "core/globaltypes_u.h"
#include "core/servers_u.h"
#include "monitor/spokenstate.h"
#include "ui/ListBoxEx.h"
#include "ui/msgbox.h"
#include "ui/skin.h"
#include "ui/skinfont.h"
#include "ui/skinstyle.h"

#include <QCursor>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace {

constexpr int kScrollBarLeft = kListLeft + kListFullWidth - kScrollBarWidth;
constexpr int kBallSize = 16;
constexpr int kBallRight = 18;
constexpr int kTextLeft = 2;
constexpr const char* kEllipsis = "...";
constexpr const char* kBallNames[3] = {"BallNA", "BallOffline", "BallOnline"};

// The scroll bar's picture: painted from the view's bitmap, its mouse handed to the view.
class TScrollBarCanvas : public QWidget
{
public:
    explicit TScrollBarCanvas(QWidget* parent, const QPixmap& picture) : QWidget(parent), picture_(picture)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    std::function<void(QPoint)> onDown;
    std::function<void(QPoint)> onMove;
    std::function<void()> onUp;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), kSkinPanelColor);
        painter.drawPixmap(QPoint(0, 0), picture_);
    }
    void mousePressEvent(QMouseEvent* event) override { onDown(event->position().toPoint()); }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (event->buttons() != Qt::NoButton)
            onMove(event->position().toPoint());
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->buttons() == Qt::NoButton)
            onUp();
    }

private:
    const QPixmap& picture_;
};

QWidget* MakePanel(QWidget* parent, const char* name, QRect geometry)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setGeometry(geometry);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, kSkinPanelColor);
    panel->setPalette(palette);
    return panel;
}

} // namespace

void FitTextToWidth(QString& text, int width, const QFontMetrics& metrics)
{
    if (metrics.horizontalAdvance(text) <= width)
        return;
    const QString ellipsis = QString::fromLatin1(kEllipsis);
    // The longest beginning that still fits with the dots; wider text never gets narrower by adding
    // characters, so a halving search finds it without measuring every length of a long name.
    int fits = 0;
    int tooLong = static_cast<int>(text.size());
    while (tooLong - fits > 1) {
        const int middle = fits + (tooLong - fits) / 2;
        if (metrics.horizontalAdvance(text.left(middle) + ellipsis) <= width)
            fits = middle;
        else
            tooLong = middle;
    }
    // Never split a character made of two code units.
    if (fits > 0 && text.at(fits - 1).isHighSurrogate())
        --fits;
    text = text.left(fits) + ellipsis;
}

TServerListView::TServerListView(QWidget* window) : QObject(window), window_(window)
{
    ListPanel_ = MakePanel(window, "ListPanel", {kListLeft, kListTop, kListFullWidth, kListHeight});
    List_ = new TListBoxEx(ListPanel_);
    List_->setObjectName("List");
    List_->setGeometry(0, 0, kListFullWidth, kListHeight);
    List_->SetItemHeight(kListRowHeight);
    List_->SetDrawFocusFrame(false);
    List_->setFont(SkinFont(kSkinListPx, true));
    QPalette palette = List_->palette();
    palette.setColor(QPalette::Base, kSkinPanelColor);
    List_->setPalette(palette);
    List_->SetDrawItem([this](QPainter& painter, int index, const QRect& rect, bool selected) {
        ListDrawItem(painter, index, rect, selected);
    });
    List_->SetRowName([this](int index) {
        const TServer* server = ServerAt(index);
        return server ? ToQString(SpokenServerState(server->Name, server->Status, server->Ping)) : List_->Item(index);
    });
    List_->installEventFilter(this);
    connect(List_, &TListBoxEx::MouseMoved, this,
            [this](QMouseEvent* event) { ListMouseMove(event->position().toPoint()); });

    ScrollBarPanel_ = MakePanel(window, "ScrollBarPanel", {kScrollBarLeft, kListTop, kScrollBarWidth, kListHeight});
    auto* canvas = new TScrollBarCanvas(ScrollBarPanel_, canvas_);
    canvas->setObjectName("ImageScrollBarCanvas");
    canvas->setGeometry(0, 0, kScrollBarWidth, kScrollBarHeight);
    canvas->onDown = [this](QPoint at) { ImageScrollBarCanvasMouseDown(at); };
    canvas->onMove = [this](QPoint at) { ImageScrollBarCanvasMouseMove(at); };
    canvas->onUp = [this] { ImageScrollBarCanvasMouseUp(); };
    ImageScrollBarCanvas = canvas;
    ScrollBarPanel_->hide();

    ScrollTimer = new QTimer(this);
    ScrollTimer->setObjectName("ScrollTimer");
    ScrollTimer->setInterval(kArrowFirstRepeatMs);
    connect(ScrollTimer, &QTimer::timeout, this, &TServerListView::ScrollTimerTimer);

    LoadPictures();
}

bool TServerListView::eventFilter(QObject* watched, QEvent* event)
{
    // The scroll bar follows every repaint of the list, except while its own thumb is dragged.
    if (watched == List_ && event->type() == QEvent::Paint && !thumbDragging_)
        UpdateList();
    return QObject::eventFilter(watched, event);
}

void TServerListView::LoadPictures()
{
    const QWidget* screen = window_;
    ImageVyber = SkinPixmap(QStringLiteral("Selection"), screen);
    for (int state = 0; state < 3; ++state) {
        balls_[state] = SkinPixmap(QString::fromLatin1(kBallNames[state]), screen);
        ballsSel_[state] = SkinPixmap(QString::fromLatin1(kBallNames[state]) + QStringLiteral("Sel"), screen);
    }
    ImageScrollBarUp = SkinPixmap(QStringLiteral("ScrollBarUp"), screen);
    ImageScrollBarDown = SkinPixmap(QStringLiteral("ScrollBarDown"), screen);
    ImageScrollBarLine = SkinPixmap(QStringLiteral("ScrollBarLine"), screen);
    ImageScrollBarBarTop = SkinPixmap(QStringLiteral("ScrollBarBarTop"), screen);
    ImageScrollBarBarBottom = SkinPixmap(QStringLiteral("ScrollBarBarBottom"), screen);
    ImageScrollBarBar = SkinPixmap(QStringLiteral("ScrollBarBar"), screen);
}

void TServerListView::SetNames(const QStringList& names)
{
    List_->SetItems(names);
}

bool TServerListView::NeedsScrolling() const
{
    return List_->Count() * kListRowHeight > kListHeight;
}

void TServerListView::SetListWidth(int width)
{
    if (ListPanel_->width() == width)
        return;
    ListPanel_->resize(width, kListHeight);
    List_->resize(width, kListHeight);
}

void TServerListView::UpdateList()
{
    if (scrollBarUpdating_)
        return;
    if (!NeedsScrolling()) {
        ScrollBarPanel_->hide();
        SetListWidth(kListFullWidth);
        return;
    }
    scrollBarUpdating_ = true;
    ScrollBarPanel_->show();
    SetListWidth(kListFullWidth - kScrollBarWidth);

    TScrollInput input;
    input.count = List_->Count();
    input.topIndex = List_->TopIndex();
    input.rows = kListHeight / kListRowHeight;
    input.dragging = thumbDragging_;
    input.dragOutOfRange = dragOutOfRange_;
    input.dragStartTopIndex = dragStartTopIndex_;
    input.dragStartY = dragStartY_;
    input.dragCurrentY = dragCurrentY_;
    const TScrollLayout layout = LayoutScrollBar(input);
    if (layout.topIndex != List_->TopIndex())
        List_->SetTopIndex(layout.topIndex);
    thumbRect_ = layout.thumbRect;
    PaintScrollBar(layout);
    scrollBarUpdating_ = false;
}

void TServerListView::PaintScrollBar(const TScrollLayout& layout)
{
    const qreal ratio = ImageScrollBarCanvas->devicePixelRatioF();
    if (canvas_.isNull() || canvas_.devicePixelRatio() != ratio) {
        canvas_ = QPixmap(QSize(kScrollBarWidth, kScrollBarHeight) * ratio);
        canvas_.setDevicePixelRatio(ratio);
    }
    canvas_.fill(kSkinPanelColor);
    QPainter painter(&canvas_);
    painter.drawPixmap(0, 0, ImageScrollBarUp);
    painter.drawPixmap(0, kScrollArrowSize, ImageScrollBarLine);
    painter.drawPixmap(0, kScrollBarHeight - kScrollArrowSize, ImageScrollBarDown);
    painter.drawPixmap(0, layout.TopCapY(), ImageScrollBarBarTop);
    for (int line = 0; line < layout.thumb; ++line)
        painter.drawPixmap(0, layout.BodyY() + line, ImageScrollBarBar);
    painter.drawPixmap(0, layout.BottomCapY(), ImageScrollBarBarBottom);
    painter.end();
    ImageScrollBarCanvas->update();
}

void TServerListView::ListDrawItem(QPainter& painter, int index, const QRect& rect, bool selected)
{
    if (index < 0 || index >= List_->Count())
        return;
    QString text = List_->Item(index);
    FitTextToWidth(text, rect.width() - kRowTextMargin, painter.fontMetrics());
    int ball = ssChecking;
    if (const TServer* server = ServerAt(index); server && server->Status <= ssOnline)
        ball = server->Status;
    if (selected) {
        if (NeedsScrolling())
            painter.drawPixmap(rect, ImageVyber);
        else
            painter.drawPixmap(rect.topLeft(), ImageVyber);
        painter.setPen(kSkinSelectedTextColor);
    } else {
        painter.fillRect(rect, kSkinPanelColor);
        painter.setPen(kSkinListTextColor);
    }
    const QFontMetrics metrics = painter.fontMetrics();
    const int textTop = rect.top() + (rect.height() - metrics.height()) / 2;
    painter.drawText(QPoint(rect.left() + kTextLeft, textTop + metrics.ascent()), text);
    const QPixmap& picture = selected ? ballsSel_[ball] : balls_[ball];
    painter.drawPixmap(rect.left() + rect.width() - kBallRight, rect.top() + (rect.height() - kBallSize) / 2, picture);
}

void TServerListView::ListMouseMove(QPoint at)
{
    const int index = List_->ItemAtPos(at);
    if (index < 0) {
        List_->SetShowHint(false);
        return;
    }
    const int rows = List_->height() / kListRowHeight;
    const int limit = (rows < List_->Count() ? kListFullWidth - kScrollBarWidth : kListFullWidth) - kRowTextMargin;
    if (List_->fontMetrics().horizontalAdvance(List_->Item(index)) > limit) {
        const TServer* server = ServerAt(index);
        List_->SetHint(server ? QString::fromStdString(server->Name) : List_->Item(index));
        List_->SetShowHint(true);
    } else {
        List_->SetShowHint(false);
    }
}

void TServerListView::ImageScrollBarCanvasMouseDown(QPoint at)
{
    const TScrollCommand arrow = ArrowAt(at.x(), at.y(), kScrollBarHeight);
    if (arrow != TScrollCommand::None) {
        List_->ScrollLine(arrow == TScrollCommand::LineUp ? -1 : 1);
        ScrollTimer->setInterval(kArrowFirstRepeatMs);
        scrollUpHeld_ = arrow == TScrollCommand::LineUp;
        scrollDownHeld_ = arrow == TScrollCommand::LineDown;
        ScrollTimer->start();
    } else if (thumbRect_.Contains(at.x(), at.y())) {
        dragStartY_ = dragCurrentY_ = at.y();
        dragStartTopIndex_ = List_->TopIndex();
        dragOutOfRange_ = false;
        thumbDragging_ = true;
    }
    // The pointer stays with the bar until the button comes up: the toolkit grabs it on the press.
}

void TServerListView::ImageScrollBarCanvasMouseMove(QPoint at)
{
    if (!thumbDragging_)
        return;
    dragCurrentY_ = at.y();
    dragOutOfRange_ = DragOutOfRange(at.x());
    UpdateList();
}

void TServerListView::ImageScrollBarCanvasMouseUp()
{
    if (scrollUpHeld_ || scrollDownHeld_) {
        ScrollTimer->stop();
        ScrollTimer->setInterval(kArrowFirstRepeatMs);
        scrollUpHeld_ = scrollDownHeld_ = false;
    }
    if (thumbDragging_) {
        thumbDragging_ = false;
        UpdateList();
    }
}

void TServerListView::ScrollTimerTimer()
{
    const QPoint at = ImageScrollBarCanvas->mapFromGlobal(QCursor::pos());
    const TArrowRepeat tick = ArrowRepeatTick(scrollUpHeld_, scrollDownHeld_, at.x(), at.y(), kScrollBarHeight);
    ScrollTimer->setInterval(tick.nextIntervalMs);
    if (tick.command != TScrollCommand::None)
        List_->ScrollLine(tick.command == TScrollCommand::LineUp ? -1 : 1);
}
