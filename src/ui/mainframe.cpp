#include "ui/mainframe.h"

#include "platform/compositor.h"
#include "ui/ImgBtn.h"
#include "ui/imgfrm.h"
#include "ui/skin.h"
#include "ui/skinfont.h"
#include "ui/skinstyle.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace {

constexpr int kInfoPanelLeft = 3;
constexpr int kInfoPanelTop = kMainHeight;
// The menu opens this far below the menu button.
constexpr int kMenuGap = 3;

// The menu in the skin's colours: the dark panel, gold text, the selection bar's grey.
QString MenuStyleSheet()
{
    return QStringLiteral("QMenu { background: %1; color: %2; border: 1px solid %3; padding: 2px; }"
                          "QMenu::item { padding: 3px 18px 3px 22px; }"
                          "QMenu::item:selected { background: %4; color: %5; }"
                          "QMenu::item:disabled { color: %6; }"
                          "QMenu::separator { height: 1px; background: %7; margin: 3px 6px; }")
        .arg(kSkinPanelColor.name(), kSkinListTextColor.name(), kSkinMenuBorderColor.name(),
             kSkinMenuSelectionColor.name(), kSkinSelectedTextColor.name(), kSkinMenuDisabledColor.name(),
             kSkinMenuSeparatorColor.name());
}

// The panel's place below the skin; its contents come from the panel's own code.
class TInfoPanelArea : public QWidget
{
public:
    explicit TInfoPanelArea(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        background_ = SkinPixmap(QStringLiteral("InfoPanel_back"), parent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), kSkinPanelColor);
        painter.drawPixmap(QPoint(0, 0), background_);
    }

private:
    QPixmap background_;
};

QAction* AddItem(QMenu* menu, const char* name)
{
    QAction* item = menu->addAction(QString());
    item->setObjectName(name);
    return item;
}

} // namespace

QPoint MenuTopLeft(QPoint at, int menuWidth, int windowLeft, int windowWidth)
{
    const int centred = at.x() - menuWidth / 2;
    const int left = std::max(std::min(centred, windowLeft + windowWidth - menuWidth), windowLeft);
    return {left, at.y()};
}

TMainFrame::TMainFrame(QWidget* window) : QObject(window), window_(window)
{
    ImageForm_ = TImageForm::Create(window);

    ImageForm_->move(0, 0);
    // The shape comes from the picture at scale 1; on a screen of that scale it is also what is shown.
    const QImage skin = SkinImage(QStringLiteral("Skin"));
    const QPixmap shown =
        window->devicePixelRatioF() == 1.0 ? QPixmap::fromImage(skin) : SkinPixmap(QStringLiteral("Skin"), window);
    ImageForm_->SetPicture(skin, shown);
    ImageForm_->SetMoveForm(true);
    ImageForm_->SetShowItemsOffBounds(true);
    ImageForm_->SetTransparentColor(kDefaultTransparentColor);
    ImageForm_->SetTransparentColorSelection(TTransparentColorSelection::csTopLeft);
    ImageForm_->SetVerticalScan(false);
    ImageForm_->SetShapeEnabled(true);
    ImageForm_->lower();

    InfoPanel_ = new TInfoPanelArea(window);
    InfoPanel_->setObjectName("InfoPanel");
    InfoPanel_->setGeometry(kInfoPanelLeft, kInfoPanelTop, kInfoPanelWidth, kInfoPanelHeight);
    InfoPanel_->hide();

    Menu_ = new QMenu(window);
    Menu_->setObjectName("Menu");
    Menu_->setStyleSheet(MenuStyleSheet());
    // A pop-up is a window of its own and does not take the main window's face by itself; nor does a submenu.
    Menu_->setFont(SkinFont(kSkinTextPx));
    AddItem(Menu_, "ItemAddServer");
    AddItem(Menu_, "ItemSettings");
    Menu_->addSeparator();
    QAction* panel = AddItem(Menu_, "ItemInfoPanel");
    panel->setCheckable(true);
    QMenu* folders = Menu_->addMenu(QString());
    folders->setObjectName("ItemFoldersClearing");
    folders->setFont(Menu_->font());
    folders->menuAction()->setObjectName("ItemFoldersClearingAction");
    AddItem(folders, "ItemClearWDB");
    AddItem(folders, "ItemClearWTF");
    AddItem(folders, "ItemClearScreenshots");
    Menu_->addSeparator();
    AddItem(Menu_, "ItemUpdate");
    AddItem(Menu_, "ItemAbout");
    Menu_->addSeparator();
    AddItem(Menu_, "ItemClose");

    PopupTimer_ = new QTimer(this);
    PopupTimer_->setObjectName("PopupTimer");
    PopupTimer_->setInterval(kPopupDelayMs);
    connect(PopupTimer_, &QTimer::timeout, this, &TMainFrame::PopupTimerElapsed);
}

TMainFrame::~TMainFrame() = default;

QAction* TMainFrame::Item(const char* name) const
{
    return Menu_->findChild<QAction*>(QString::fromLatin1(name));
}

void TMainFrame::LayoutLoaded()
{
    ImageForm_->LayoutLoaded();
}

void TMainFrame::SetMenuButton(TImgBtn* button)
{
    BtnMenu_ = button;
    button->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(button, &QWidget::customContextMenuRequested, this,
            [this](QPoint at) { OpenMenuAt(BtnMenu_->mapToGlobal(at)); });
}

bool TMainFrame::MenuOpen() const
{
    return Menu_->isVisible();
}

void TMainFrame::OpenMenuAtButton()
{
    if (!BtnMenu_)
        return;
    const QRect button = BtnMenu_->geometry();
    const QPoint bottomMiddle(button.left() + button.width() / 2, button.top() + button.height());
    QPoint point = BtnMenu_->parentWidget()->mapToGlobal(bottomMiddle);
    point.ry() += kMenuGap;
    OpenMenuAt(point);
}

void TMainFrame::OpenMenuAt(QPoint globalPoint)
{
    // A tick of the hover timer while the menu is already up must not stack a second one.
    if (MenuOpen())
        return;
    Menu_->ensurePolished();
    // Centred on the menu button the menu stuck out past the window's left edge.
    const QRect frame = window_->frameGeometry();
    Menu_->popup(MenuTopLeft(globalPoint, Menu_->sizeHint().width(), frame.left(), frame.width()));
}

void TMainFrame::MenuButtonEntered(bool autoPopup)
{
    if (autoPopup)
        PopupTimer_->start();
}

void TMainFrame::MenuButtonLeft()
{
    PopupTimer_->stop();
}

void TMainFrame::FollowCompositor(std::unique_ptr<platform::CompositorWatch> watch)
{
    compositor_ = std::move(watch);
    SetTranslucent(!compositor_ || compositor_->Active());
    if (!compositor_ || compositor_->Descriptor() < 0)
        return;
    auto* notifier = new QSocketNotifier(compositor_->Descriptor(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        if (compositor_->Update())
            SetTranslucent(compositor_->Active());
    });
}

bool TMainFrame::Translucent() const
{
    return window_->testAttribute(Qt::WA_TranslucentBackground);
}

void TMainFrame::SetTranslucent(bool translucent)
{
    if (Translucent() == translucent)
        return;
    // A native window keeps the visual it was made with: one that exists is made again.
    QWindow* handle = window_->windowHandle();
    const bool made = handle && handle->handle();
    const bool shown = window_->isVisible();
    const QPoint at = window_->pos();
    if (made) {
        // Hidden first, so that showing it again maps the new one.
        window_->hide();
        handle->destroy();
    }
    window_->setAttribute(Qt::WA_TranslucentBackground, translucent);
    // Translucency also switched off the window's own background; opaque, it is painted as usual.
    if (!translucent)
        window_->setAttribute(Qt::WA_NoSystemBackground, false);
    if (!made)
        return;
    handle->create();
    // The shape belonged to the window that is gone; the new one gets it again.
    window_->clearMask();
    ImageForm_->LayoutLoaded();
    window_->move(at);
    if (shown)
        window_->show();
}

bool TMainFrame::InfoPanelVisible() const
{
    return !InfoPanel_->isHidden();
}

void TMainFrame::SetInfoPanelVisible(bool visible)
{
    InfoPanel_->setVisible(visible);
    if (QAction* item = Item("ItemInfoPanel"))
        item->setChecked(visible);
    window_->setFixedSize(kMainWidth, visible ? kMainHeightWithPanel : kMainHeight);
}
