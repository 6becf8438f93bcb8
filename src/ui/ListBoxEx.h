// A list of fixed-height rows drawn by its owner. It keeps only the rows' texts: painting touches the
// visible rows alone, so a list of a hundred thousand entries paints as fast as one of ten.
#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>

class TListBoxEx : public QWidget
{
    Q_OBJECT

public:
    // Draws row `index` (always an existing one) into `rect`.
    using TDrawItem = std::function<void(QPainter& painter, int index, const QRect& rect, bool selected)>;

    explicit TListBoxEx(QWidget* parent = nullptr);

    bool DrawFocusFrame() const { return drawFocusFrame_; }
    void SetDrawFocusFrame(bool draw);
    void SetDrawItem(TDrawItem draw) { drawItem_ = std::move(draw); }
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);

    // Items.
    int Count() const { return static_cast<int>(items_.size()); }
    QString Item(int index) const;
    void SetItems(const QStringList& items);
    void AddItem(const QString& text);
    void SetItem(int index, const QString& text);
    void DeleteItem(int index);
    void Clear();
    // Exchanges two rows; a selected row stays selected at its new place.
    void ExchangeItems(int a, int b);

    // Selection: -1 when none.
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);
    int TopIndex() const { return topIndex_; }
    void SetTopIndex(int index);
    // Rows that fit wholly in the list's height.
    int VisibleRows() const;
    // The existing row at `point`, -1 when none.
    int ItemAtPos(QPoint point) const;
    QRect ItemRect(int index) const;
    // One row up or down, as the scroll bar's arrows do.
    void ScrollLine(int delta);

    // The hint and the switch that lets it show.
    void SetHint(const QString& hint) { hint_ = hint; }
    QString Hint() const { return hint_; }
    void SetShowHint(bool show);
    bool ShowHint() const { return showHint_; }

    // Some rows changed their look (not their count): repaint what is visible of them.
    void RowsChanged();

    // What assistive technology reads for row `index`; its text when unset. Each row is an item of its own
    // to a screen reader, named by this.
    using TRowName = std::function<QString(int index)>;
    void SetRowName(TRowName name) { rowName_ = std::move(name); }
    QString RowName(int index) const;

signals:
    // The selected row changed, whatever moved it: keys, mouse, a call, rows removed or replaced.
    void ItemIndexChanged(int index);
    void TopIndexChanged(int top);
    // Raw input, handed to the owner before (key down, mouse down) or after (key up) the list acts.
    void KeyDown(QKeyEvent* event);
    void KeyUp(QKeyEvent* event);
    void MouseDown(QMouseEvent* event);
    void MouseMoved(QMouseEvent* event);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void MakeVisible(int index);
    void MoveSelection(int index);
    // Every change of the selected row passes here, so none goes unsignalled.
    void SetSelection(int index);
    int MaxTopIndex() const;

    QStringList items_;
    TDrawItem drawItem_;
    TRowName rowName_;
    int itemHeight_ = 16;
    int itemIndex_ = -1;
    int topIndex_ = 0;
    bool drawFocusFrame_ = true;
    QString hint_;
    bool showHint_ = false;
    int wheelRemainder_ = 0;
};
