// A text label that opens a web or mail address through the desktop when clicked, coloured as a link:
// one colour under the mouse, another after it leaves, and a visited colour once the link was opened.
#pragma once

#include "ui/skinstyle.h"

#include <QColor>
#include <QLabel>
#include <QString>

inline constexpr const char* kDefaultLink = "mailto:";

class TLnkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TLnkLabel(QWidget* parent = nullptr);
    TLnkLabel(const QString& caption, const QString& link, QWidget* parent = nullptr);

    // The address handed to the desktop on a click; an empty one makes the label inert.
    QString Link() const { return link_; }
    void SetLink(const QString& link);

    QColor EnterFontColor() const { return enterColor_; }
    void SetEnterFontColor(const QColor& color) { enterColor_ = color; }
    QColor LeaveFontColor() const { return leaveColor_; }
    void SetLeaveFontColor(const QColor& color) { leaveColor_ = color; }
    QColor VisitedColor() const { return visitedColor_; }
    void SetVisitedColor(const QColor& color) { visitedColor_ = color; }

    // The colour the text is drawn in right now.
    QColor FontColor() const;
    void SetFontColor(const QColor& color);

    bool Hovered() const { return hovered_; }

signals:
    void MouseEntered();
    void MouseLeft();
    // The desktop was asked to open `link`; whether it could is not known.
    void LinkOpened(const QString& link);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void OpenLink();

    QString link_;
    QColor enterColor_ = kLinkEnterColor;
    QColor leaveColor_ = kLinkColor;
    QColor visitedColor_ = kLinkVisitedColor;
    bool hovered_ = false;
    bool pressed_ = false;
};
