#include "ui/mainfm.h"

#include "buildconfig.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "monitor/connection_u.h"
#include "ui/msgbox_u.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kListLeft = 21;
constexpr int kListTop = 56;
constexpr int kListWidth = 222;
constexpr int kListHeight = 144;
constexpr int kRowHeight = 20;
constexpr int kCloseLeft = 232;
constexpr int kCloseTop = 16;
constexpr int kCloseSize = 16;
constexpr int kTextCloseHint = 2001;
// Between two looks at another copy's lock file: long enough not to spin a core, short enough to repaint.
constexpr int kLockWaitSliceMs = 15;

} // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent)
{
    setObjectName("MainForm");
    setWindowTitle(QStringLiteral("Korvan %1").arg(QStringLiteral(KORVAN_VERSION_TEXT)));
    setFixedSize(kMainWidth, kMainHeight);
    setStyleSheet("TMainForm { background-color: #191919; }");
    setAttribute(Qt::WA_StyledBackground);

    List = new QListWidget(this);
    List->setObjectName("List");
    List->setGeometry(kListLeft, kListTop, kListWidth, kListHeight);
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    List->setFrameShape(QFrame::NoFrame);
    List->setUniformItemSizes(true);
    List->setStyleSheet(QStringLiteral("QListWidget { background: #191919; color: #FFD737; font-weight: bold; }"
                                       "QListWidget::item { height: %1px; }"
                                       "QListWidget::item:selected { background: #3a3a3a; color: #FFF4CA; }")
                            .arg(kRowHeight));
    List->installEventFilter(this);
    List->viewport()->installEventFilter(this);
    setFocusProxy(List);
    BtnClose = MakeToolButton("BtnClose", {kCloseLeft, kCloseTop, kCloseSize, kCloseSize},
                              QStyle::SP_TitleBarCloseButton, kTextCloseHint, &TMainForm::BtnCloseClick);

    FormCreate();
}

TMainForm::~TMainForm()
{
    FormDestroy();
}

void TMainForm::FormCreate()
{
    SetupGameControls();
    SetupStatusControls();
    // Keep the window alive while another copy finishes saving the file we are about to read.
    LoadServers([] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, kLockWaitSliceMs);
        QThread::msleep(kLockWaitSliceMs);
    });
    for (const std::string& name : GetServerNames())
        List->addItem(ToQString(name));
    LoadSettings();
}

QToolButton* TMainForm::MakeToolButton(const char* name, QRect geometry, QStyle::StandardPixmap icon, int hintId,
                                       void (TMainForm::*onClick)())
{
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setIcon(style()->standardIcon(icon));
    button->setAutoRaise(true);
    button->setToolTip(ToQString(LoadText(hintId)));
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QToolButton::clicked, this, onClick);
    return button;
}

int TMainForm::SelectedIndex() const
{
    return List->currentRow() >= 0 && List->currentItem() && List->currentItem()->isSelected() ? List->currentRow()
                                                                                               : -1;
}

void TMainForm::SelectIndex(int index)
{
    if (index < 0)
        List->setCurrentRow(-1);
    else
        List->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

void TMainForm::ApplyWindowSettings(const TWindowSettings& window)
{
    infoPanelVisible_ = window.FullInfo;
    infoPanelPage_ = window.Panel;
    SelectIndex(SelectedIndexFor(window.ServerIndex, List->count()));
    if (SaveWindowPos) {
        move(window.WindowPosX, window.WindowPosY);
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->geometry();
        move(area.left() + CentredEdge(area.width(), width()), area.top() + CentredEdge(area.height(), height()));
    }
}

TWindowSettings TMainForm::CurrentWindowSettings() const
{
    TWindowSettings window;
    window.FullInfo = infoPanelVisible_;
    window.Panel = infoPanelPage_;
    window.ServerIndex = std::max(SelectedIndex(), 0);
    window.WindowPosX = x();
    window.WindowPosY = y();
    return window;
}

void TMainForm::LoadSettings()
{
    TWindowSettings window;
    window.WindowPosX = x();
    window.WindowPosY = y();
    // A refused LastRun stamp does not stop the start.
    (void)LoadSettingsFrom(IniPath, window);
    ApplyWindowSettings(window);
}

bool TMainForm::SaveSettings()
{
    return SaveSettingsTo(IniPath, CurrentWindowSettings());
}

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TMainForm::FormShow()
{
    if (!FirstShow)
        return;
    FirstShow = false;
    StartRefreshCycle();
    List->setFocus();
    // The first moment the event queue runs empty after the first show.
    QTimer::singleShot(0, this, &TMainForm::ApplicationEventsIdle);
}

void TMainForm::ApplicationEventsIdle()
{
    if (!FirstIdle)
        return;
    FirstIdle = false;
    QCoreApplication::processEvents();
    ProbeAllServers();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
    emit Closed();
}

void TMainForm::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && isVisible())
        MinimizedByOtherMeans();
}

void TMainForm::FormClose()
{
    AppClosing = true;
    RefreshTimer->stop();
    TrayIcon->hide();
}

void TMainForm::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    // Both go to the same file; when the settings cannot be written the servers are not tried either.
    if (SaveSettings())
        SaveServers();
}

void TMainForm::BtnCloseClick()
{
    close();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == List && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (SelectedIndex() >= 0)
                BtnPlayClick();
            return true;
        case Qt::Key_Escape:
            BtnCloseClick();
            return true;
        case Qt::Key_R:
            if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::ShiftModifier)
                BtnRefreshAllClick();
            break;
        default:
            break;
        }
    } else if (watched == List && event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        bool alt = key->modifiers() & Qt::AltModifier;
        if (!key->isAutoRepeat() && !alt &&
            (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down || key->key() == Qt::Key_Left ||
             key->key() == Qt::Key_Right))
            ListMouseDown();
    } else if (watched == List->viewport() && event->type() == QEvent::MouseButtonPress) {
        // The list moves its selection first; the selection step follows once it has.
        QTimer::singleShot(0, this, &TMainForm::ListMouseDown);
    }
    return QWidget::eventFilter(watched, event);
}
