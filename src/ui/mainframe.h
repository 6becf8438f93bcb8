// The main window's frame: the skin that shapes and moves the window, the main menu with its hover
// popup, and the information panel's place below the skin, which the window's height follows.
#pragma once

#include <QObject>
#include <QPoint>
#include <memory>

class QAction;
class QMenu;
class QTimer;
class QWidget;
class TImageForm;
class TImgBtn;
namespace platform {
class CompositorWatch;
}

inline constexpr int kPopupDelayMs = 700;

// The top-left corner of a menu `menuWidth` wide that opens at `at`: centred on it, but moved sideways
// as far as needed to stay within the window's columns `windowLeft` .. `windowLeft + windowWidth`
// (its left edge wins when the menu is wider than the window).
QPoint MenuTopLeft(QPoint at, int menuWidth, int windowLeft, int windowWidth);

class TMainFrame : public QObject
{
    Q_OBJECT

public:
    explicit TMainFrame(QWidget* window);
    ~TMainFrame() override;

    TImageForm* ImageForm() const { return ImageForm_; }
    QMenu* Menu() const { return Menu_; }
    // A menu item by its name (ItemSettings, ItemClearWDB, ...); null when there is none.
    QAction* Item(const char* name) const;
    QWidget* InfoPanel() const { return InfoPanel_; }
    QTimer* PopupTimer() const { return PopupTimer_; }

    // Every control is on the window: shape it now.
    void LayoutLoaded();

    // The button whose click, hover and right click open the menu.
    void SetMenuButton(TImgBtn* button);
    // Opens the menu below the menu button's middle, centred on that point; nothing while it is open.
    void OpenMenuAtButton();
    void OpenMenuAt(QPoint globalPoint);
    bool MenuOpen() const;
    // Hovering the menu button opens the menu after a rest, when `autoPopup`.
    void MenuButtonEntered(bool autoPopup);
    void MenuButtonLeft();

    // See-through pixels show the desktop only where something composites the window; elsewhere they
    // are black. So the window is translucent only while a compositing manager runs (followed as it
    // starts and stops), and otherwise relies on its shape alone. `watch` null: always translucent, as
    // on desktops that always composite.
    void FollowCompositor(std::unique_ptr<platform::CompositorWatch> watch);
    bool Translucent() const;

    bool InfoPanelVisible() const;
    // Shows or hides the panel, checks its menu item and makes the window as tall as what it shows.
    void SetInfoPanelVisible(bool visible);

signals:
    // The rest on the menu button is over: the owner opens the menu.
    void PopupTimerElapsed();

private:
    QWidget* const window_;
    TImageForm* ImageForm_ = nullptr;
    QMenu* Menu_ = nullptr;
    QWidget* InfoPanel_ = nullptr;
    QTimer* PopupTimer_ = nullptr;
    TImgBtn* BtnMenu_ = nullptr;
    std::unique_ptr<platform::CompositorWatch> compositor_;

    void SetTranslucent(bool translucent);
};
