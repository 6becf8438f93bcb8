#include "ui/ListBoxEx.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionFocusRect>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>

namespace {

// The rows one notch of a wheel scrolls, as the desktop's lists do.
constexpr int kWheelRows = 3;
// One notch of a common mouse wheel.
constexpr int kWheelNotch = QWheelEvent::DefaultDeltasPerStep;

// One row as a screen reader meets it: a list item with the row's name, selected with the list's selection.
class TListRowAccessible : public QAccessibleInterface
{
public:
    TListRowAccessible(TListBoxEx* list, int index) : list_(list), index_(index) {}

    bool isValid() const override { return list_ && index_ < list_->Count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_ ? list_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(list_.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        return isValid() && t == QAccessible::Name ? list_->RowName(index_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect row = list_->ItemRect(index_);
        return QRect(list_->mapToGlobal(row.topLeft()), row.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.selectable = true;
        state.focusable = true;
        if (index_ == list_->ItemIndex()) {
            state.selected = true;
            state.focused = list_->hasFocus();
        }
        const int top = list_->TopIndex();
        if (index_ < top || index_ >= top + std::max(1, list_->VisibleRows()))
            state.offscreen = true;
        return state;
    }

private:
    QPointer<TListBoxEx> list_;
    const int index_;
};

// The list with a child per row, made when a screen reader first asks for it and kept while the list lives.
class TListBoxExAccessible : public QAccessibleWidget
{
public:
    explicit TListBoxExAccessible(TListBoxEx* list) : QAccessibleWidget(list, QAccessible::List) {}
    ~TListBoxExAccessible() override
    {
        for (const QAccessible::Id id : std::as_const(rows_))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return List()->Count(); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= List()->Count())
            return nullptr;
        auto found = rows_.constFind(index);
        if (found == rows_.constEnd())
            found =
                rows_.insert(index, QAccessible::registerAccessibleInterface(new TListRowAccessible(List(), index)));
        return QAccessible::accessibleInterface(*found);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (auto row = rows_.constBegin(); row != rows_.constEnd(); ++row)
            if (QAccessible::accessibleInterface(row.value()) == child)
                return row.key() < List()->Count() ? row.key() : -1;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        return child(List()->ItemAtPos(List()->mapFromGlobal(QPoint(x, y))));
    }
    QAccessibleInterface* focusChild() const override
    {
        return List()->hasFocus() ? child(List()->ItemIndex()) : nullptr;
    }

private:
    TListBoxEx* List() const { return static_cast<TListBoxEx*>(widget()); }

    mutable QHash<int, QAccessible::Id> rows_;
};

QAccessibleInterface* ListBoxExAccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("TListBoxEx") && object && object->isWidgetType())
        return new TListBoxExAccessible(static_cast<TListBoxEx*>(object));
    return nullptr;
}

} // namespace

TListBoxEx::TListBoxEx(QWidget* parent) : QWidget(parent)
{
    // Once for the program: Qt keeps the factory for every list made after.
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(ListBoxExAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void TListBoxEx::SetDrawFocusFrame(bool draw)
{
    drawFocusFrame_ = draw;
    update();
}

void TListBoxEx::SetItemHeight(int height)
{
    itemHeight_ = std::max(1, height);
    update();
}

QString TListBoxEx::Item(int index) const
{
    return index >= 0 && index < Count() ? items_[index] : QString();
}

void TListBoxEx::SetItems(const QStringList& items)
{
    items_ = items;
    topIndex_ = std::clamp(topIndex_, 0, MaxTopIndex());
    update();
    SetSelection(std::min(itemIndex_, Count() - 1));
}

void TListBoxEx::AddItem(const QString& text)
{
    items_.append(text);
    update();
}

void TListBoxEx::SetItem(int index, const QString& text)
{
    if (index < 0 || index >= Count())
        return;
    items_[index] = text;
    update(ItemRect(index));
}

void TListBoxEx::DeleteItem(int index)
{
    if (index < 0 || index >= Count())
        return;
    items_.removeAt(index);
    topIndex_ = std::clamp(topIndex_, 0, MaxTopIndex());
    update();
    if (itemIndex_ == index)
        SetSelection(-1);
    else if (itemIndex_ > index)
        SetSelection(itemIndex_ - 1);
}

void TListBoxEx::Clear()
{
    items_.clear();
    topIndex_ = 0;
    update();
    SetSelection(-1);
}

void TListBoxEx::ExchangeItems(int a, int b)
{
    if (a < 0 || b < 0 || a >= Count() || b >= Count() || a == b)
        return;
    items_.swapItemsAt(a, b);
    if (itemIndex_ == a)
        MoveSelection(b);
    else if (itemIndex_ == b)
        MoveSelection(a);
    update();
}

void TListBoxEx::SetItemIndex(int index)
{
    MoveSelection(index >= 0 && index < Count() ? index : -1);
}

void TListBoxEx::MoveSelection(int index)
{
    if (index >= 0)
        MakeVisible(index);
    SetSelection(index);
}

void TListBoxEx::SetSelection(int index)
{
    if (index == itemIndex_)
        return;
    itemIndex_ = index;
    update();
    if (itemIndex_ >= 0 && QAccessible::isActive()) {
        // A screen reader follows the selected row and says it.
        QAccessibleEvent selection(this, QAccessible::Selection);
        selection.setChild(itemIndex_);
        QAccessible::updateAccessibility(&selection);
        if (hasFocus()) {
            QAccessibleEvent focus(this, QAccessible::Focus);
            focus.setChild(itemIndex_);
            QAccessible::updateAccessibility(&focus);
        }
    }
    emit ItemIndexChanged(itemIndex_);
}

QString TListBoxEx::RowName(int index) const
{
    return rowName_ ? rowName_(index) : Item(index);
}

int TListBoxEx::VisibleRows() const
{
    return height() / itemHeight_;
}

int TListBoxEx::MaxTopIndex() const
{
    return std::max(0, Count() - std::max(1, VisibleRows()));
}

void TListBoxEx::SetTopIndex(int index)
{
    index = std::clamp(index, 0, MaxTopIndex());
    if (index == topIndex_)
        return;
    topIndex_ = index;
    update();
    emit TopIndexChanged(topIndex_);
}

void TListBoxEx::MakeVisible(int index)
{
    const int rows = std::max(1, VisibleRows());
    if (index < topIndex_)
        SetTopIndex(index);
    else if (index >= topIndex_ + rows)
        SetTopIndex(index - rows + 1);
}

int TListBoxEx::ItemAtPos(QPoint point) const
{
    if (point.y() < 0 || point.x() < 0 || point.x() >= width())
        return -1;
    const int index = topIndex_ + point.y() / itemHeight_;
    return index < Count() ? index : -1;
}

QRect TListBoxEx::ItemRect(int index) const
{
    return QRect(0, (index - topIndex_) * itemHeight_, width(), itemHeight_);
}

void TListBoxEx::ScrollLine(int delta)
{
    SetTopIndex(topIndex_ + delta);
}

void TListBoxEx::SetShowHint(bool show)
{
    if (show == showHint_)
        return;
    showHint_ = show;
    if (!showHint_)
        QToolTip::hideText();
}

void TListBoxEx::RowsChanged()
{
    update();
}

bool TListBoxEx::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (showHint_ && !hint_.isEmpty())
            QToolTip::showText(help->globalPos(), hint_, this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void TListBoxEx::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect dirty = event->rect();
    const QColor background = palette().color(QPalette::Base);
    const int first = topIndex_ + std::max(0, dirty.top()) / itemHeight_;
    // Whole rows only, as a list of integral height shows them: the row below would peek out by a sliver.
    const int lastWhole = topIndex_ + std::max(1, VisibleRows()) - 1;
    const int last = std::min({Count() - 1, topIndex_ + dirty.bottom() / itemHeight_, lastWhole});
    for (int index = first; index <= last; ++index) {
        const QRect rect = ItemRect(index);
        if (drawItem_) {
            painter.save();
            painter.setFont(font());
            drawItem_(painter, index, rect, index == itemIndex_);
            painter.restore();
        } else {
            painter.fillRect(rect, background);
        }
        if (drawFocusFrame_ && index == itemIndex_ && hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = rect;
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
    // Below the last row.
    const int usedBottom = (std::max(last, first - 1) - topIndex_ + 1) * itemHeight_;
    if (usedBottom <= dirty.bottom())
        painter.fillRect(QRect(dirty.left(), usedBottom, dirty.width(), dirty.bottom() - usedBottom + 1), background);
}

void TListBoxEx::keyPressEvent(QKeyEvent* event)
{
    emit KeyDown(event);
    // Alt with a key is a command for the owner, never a move.
    if (event->modifiers() & Qt::AltModifier) {
        event->ignore();
        return;
    }
    const int rows = std::max(1, VisibleRows());
    const int current = itemIndex_;
    int target = current;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left:
        target = current < 0 ? topIndex_ : current - 1;
        break;
    case Qt::Key_Down:
    case Qt::Key_Right:
        target = current < 0 ? topIndex_ : current + 1;
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = Count() - 1;
        break;
    case Qt::Key_PageUp:
        target = current < 0 ? topIndex_ : current - (rows - 1);
        break;
    case Qt::Key_PageDown:
        target = current < 0 ? topIndex_ : current + (rows - 1);
        break;
    default:
        event->ignore();
        return;
    }
    if (Count() > 0)
        MoveSelection(std::clamp(target, 0, Count() - 1));
    event->accept();
}

void TListBoxEx::keyReleaseEvent(QKeyEvent* event)
{
    emit KeyUp(event);
    QWidget::keyReleaseEvent(event);
}

void TListBoxEx::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    const int index = ItemAtPos(event->position().toPoint());
    if (index >= 0)
        MoveSelection(index);
    emit MouseDown(event);
}

void TListBoxEx::mouseMoveEvent(QMouseEvent* event)
{
    // Dragging with the left button held moves the selection along, as a list box does.
    if (event->buttons() & Qt::LeftButton) {
        const int index = ItemAtPos(event->position().toPoint());
        if (index >= 0)
            MoveSelection(index);
    }
    emit MouseMoved(event);
}

void TListBoxEx::wheelEvent(QWheelEvent* event)
{
    wheelRemainder_ += event->angleDelta().y();
    const int notches = wheelRemainder_ / kWheelNotch;
    wheelRemainder_ -= notches * kWheelNotch;
    if (notches != 0)
        SetTopIndex(topIndex_ - notches * kWheelRows);
    event->accept();
}

void TListBoxEx::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    topIndex_ = std::clamp(topIndex_, 0, MaxTopIndex());
}
