// The server list as the user meets it in the main window: rows and their width, names shortened and
// their tooltip, the keyboard table, moving servers, the scroll bar; and the owner-drawn list itself.
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "monitor/probeservice.h"
#include "news/newsservice.h"
#include "support/testsupport.h"
#include "ui/ListBoxEx.h"
#include "ui/listkeys.h"
#include "ui/mainfm.h"
#include "ui/serverlist.h"

#include <QAbstractButton>
#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QWheelEvent>
#include <QtTest>
#include <memory>

Q_DECLARE_METATYPE(TListCommand)

namespace {

std::string ServersIni(int count)
{
    // Not probed: the tests never show the window before its first show is spent.
    std::string ini = "[Main]\nServerIndex=0\n";
    for (int i = 0; i < count; ++i)
        ini += "[S" + std::to_string(i) + "]\nAddress=127.0.0.1:1\n";
    return ini;
}

QWidget* Child(QWidget* form, const char* name)
{
    return form->findChild<QWidget*>(QString::fromLatin1(name));
}

} // namespace

class TestServerList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void keyTable_data();
    void keyTable();
    void fitTextToWidth_data();
    void fitTextToWidth();
    void sevenFitEightScroll();
    void scrollBarDisappearsWhenTheListFitsAgain();
    void arrowsAndThumbDragScrollTheList();
    void tooltipOnlyForShortenedNames();
    void movingServersKeepsTheSelectionOnThem();
    void movingAtTheEdgesOrWithoutSelectionDoesNothing();
    void spaceTogglesThePanelAndTheWindowHeight();
    void menuKeyAndButtonOpenTheMenu();
    void hoverOpensTheMenuOnlyWithAutoPopup();
    void homeMovesWithoutTheSelectionStep();
    void wheelOverTheNewsViewScrollsTheView();
    void listPaintsOnlyVisibleRows();
    void exchangingItemsKeepsTheSelectedItemSelected();

private:
    TMainForm* MakeForm(int servers);
    TSettings settings_;
    // Outlives every window the tests make, as the program's does.
    TProbeService probes_{[this] { return settings_.Values().Timeout; }};

    std::unique_ptr<TScratchIni> scratch_;
    TNewsService news_;
    std::unique_ptr<TMainForm> form_;
};

void TestServerList::initTestCase()
{
    Q_INIT_RESOURCE(korvan);
    InitLocalization();
}

void TestServerList::init()
{
    scratch_ = std::make_unique<TScratchIni>();
    // No first show and no first idle: nothing is probed, states stay as the tests set them.
    FirstShow = false;
    FirstIdle = false;
    AppClosing = false;
}

void TestServerList::cleanup()
{
    form_.reset();
    scratch_.reset();
}

TMainForm* TestServerList::MakeForm(int servers)
{
    scratch_->Write(ServersIni(servers));
    form_ = std::make_unique<TMainForm>(settings_, probes_, news_);
    form_->show();
    form_->ServerList()->setFocus();
    return form_.get();
}

void TestServerList::keyTable_data()
{
    QTest::addColumn<int>("phase"); // 0 key down, 1 character, 2 key up
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<TListCommand>("command");
    const int none = Qt::NoModifier;
    const int alt = Qt::AltModifier;
    const int ctrl = Qt::ControlModifier;
    const int pad = Qt::KeypadModifier;
    QTest::newRow("Enter") << 0 << int(Qt::Key_Return) << none << TListCommand::Play;
    QTest::newRow("keypad Enter") << 0 << int(Qt::Key_Enter) << pad << TListCommand::Play;
    QTest::newRow("Esc with Ctrl") << 0 << int(Qt::Key_Escape) << ctrl << TListCommand::Close;
    QTest::newRow("Space") << 0 << int(Qt::Key_Space) << none << TListCommand::ToggleInfoPanel;
    QTest::newRow("keypad *") << 0 << int(Qt::Key_Asterisk) << pad << TListCommand::EditServer;
    QTest::newRow("keypad +") << 0 << int(Qt::Key_Plus) << pad << TListCommand::AddServer;
    QTest::newRow("keypad -") << 0 << int(Qt::Key_Minus) << pad << TListCommand::RemoveServer;
    QTest::newRow("main keyboard + is nothing") << 0 << int(Qt::Key_Plus) << none << TListCommand::None;
    QTest::newRow("Alt+1") << 0 << int(Qt::Key_1) << alt << TListCommand::InfoPage1;
    QTest::newRow("Alt+2") << 0 << int(Qt::Key_2) << alt << TListCommand::InfoPage2;
    QTest::newRow("Alt+3 is page 0") << 0 << int(Qt::Key_3) << alt << TListCommand::InfoPage0;
    QTest::newRow("1 alone") << 0 << int(Qt::Key_1) << none << TListCommand::None;
    QTest::newRow("Ctrl+Tab") << 0 << int(Qt::Key_Tab) << ctrl << TListCommand::NextInfoPage;
    QTest::newRow("Tab alone") << 0 << int(Qt::Key_Tab) << none << TListCommand::None;
    QTest::newRow("m") << 1 << int(Qt::Key_M) << none << TListCommand::OpenMenu;
    QTest::newRow("M") << 1 << int(Qt::Key_M) << int(Qt::ShiftModifier) << TListCommand::OpenMenu;
    QTest::newRow("r") << 1 << int(Qt::Key_R) << none << TListCommand::RefreshAll;
    QTest::newRow("Ctrl+R types nothing") << 1 << int(Qt::Key_R) << ctrl << TListCommand::None;
    QTest::newRow("Left") << 2 << int(Qt::Key_Left) << none << TListCommand::SelectionStep;
    QTest::newRow("Alt+Left") << 2 << int(Qt::Key_Left) << alt << TListCommand::PreviousNews;
    QTest::newRow("Alt+Right") << 2 << int(Qt::Key_Right) << alt << TListCommand::NextNews;
    QTest::newRow("Alt+Up") << 2 << int(Qt::Key_Up) << alt << TListCommand::MoveUp;
    QTest::newRow("Alt+Down") << 2 << int(Qt::Key_Down) << alt << TListCommand::MoveDown;
    QTest::newRow("Down") << 2 << int(Qt::Key_Down) << none << TListCommand::SelectionStep;
    QTest::newRow("Home comes up quietly") << 2 << int(Qt::Key_Home) << none << TListCommand::None;
    QTest::newRow("Page Down comes up quietly") << 2 << int(Qt::Key_PageDown) << none << TListCommand::None;
}

void TestServerList::keyTable()
{
    QFETCH(int, phase);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    const TListCommand command = phase == 0   ? ListKeyDownCommand(key, Qt::KeyboardModifiers(modifiers))
                                 : phase == 1 ? ListKeyPressCommand(key, Qt::KeyboardModifiers(modifiers))
                                              : ListKeyUpCommand(key, Qt::KeyboardModifiers(modifiers));
    QTEST(command, "command");
}

void TestServerList::fitTextToWidth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("extra"); // the limit: the text's own width plus this
    QTest::addColumn<bool>("shortened");
    QTest::newRow("fits exactly") << QString("Ironvale Classic") << 0 << false;
    QTest::newRow("fits with room") << QString("Ironvale") << 5 << false;
    QTest::newRow("one pixel short") << QString("Ironvale Classic") << -1 << true;
    QTest::newRow("empty") << QString() << 0 << false;
    QTest::newRow("two-unit characters") << QString::fromUtf8("Realm 😀😀😀😀😀😀") << -1 << true;
}

void TestServerList::fitTextToWidth()
{
    QFETCH(QString, text);
    QFETCH(int, extra);
    QFont font;
    font.setPixelSize(13);
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int limit = metrics.horizontalAdvance(text) + extra;
    QString fitted = text;
    FitTextToWidth(fitted, limit, metrics);
    QFETCH(bool, shortened);
    if (!shortened) {
        QCOMPARE(fitted, text);
        return;
    }
    QVERIFY(fitted.endsWith("..."));
    const QString kept = fitted.chopped(3);
    QVERIFY(text.startsWith(kept));
    QVERIFY(!kept.isEmpty() && !kept.back().isHighSurrogate());
    QVERIFY(metrics.horizontalAdvance(fitted) <= limit);
    // One more character of the name would not have fitted.
    int next = static_cast<int>(kept.size()) + (text.at(kept.size()).isHighSurrogate() ? 2 : 1);
    QVERIFY(metrics.horizontalAdvance(text.left(next) + "...") > limit);
    // Narrower than the dots themselves: only the dots remain.
    QString tiny = text;
    FitTextToWidth(tiny, 1, metrics);
    QCOMPARE(tiny, QString("..."));
}

void TestServerList::sevenFitEightScroll()
{
    TMainForm* form = MakeForm(7);
    form->UpdateList();
    QVERIFY(Child(form, "ScrollBarPanel")->isHidden());
    QCOMPARE(form->ServerList()->width(), 222);
    QCOMPARE(Child(form, "ListPanel")->geometry(), QRect(21, 56, 222, 144));

    form_.reset();
    ResetServers();
    form = MakeForm(8);
    form->UpdateList();
    QWidget* bar = Child(form, "ScrollBarPanel");
    QVERIFY(!bar->isHidden());
    QCOMPARE(bar->geometry(), QRect(231, 56, 12, 144));
    QCOMPARE(form->ServerList()->width(), 210);
    QCOMPARE(Child(form, "ListPanel")->width(), 210);
}

void TestServerList::scrollBarDisappearsWhenTheListFitsAgain()
{
    TMainForm* form = MakeForm(9);
    form->UpdateList();
    QVERIFY(!Child(form, "ScrollBarPanel")->isHidden());
    QVERIFY(RemoveServer("S8"));
    QVERIFY(RemoveServer("S7"));
    form->ReloadServerList();
    form->UpdateList();
    QVERIFY(Child(form, "ScrollBarPanel")->isHidden());
    QCOMPARE(form->ServerList()->width(), 222);
}

void TestServerList::arrowsAndThumbDragScrollTheList()
{
    TMainForm* form = MakeForm(800);
    form->UpdateList();
    QWidget* canvas = Child(form, "ImageScrollBarCanvas");
    TListBoxEx* list = form->ServerList();
    QCOMPARE(list->TopIndex(), 0);
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(5, 138));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(5, 138));
    QCOMPARE(list->TopIndex(), 1);
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(5, 3));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(5, 3));
    QCOMPARE(list->TopIndex(), 0);
    // The thumb (caps only with 800 rows) sits at 13..19; drag it half way down.
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(5, 15));
    QTest::mouseMove(canvas, QPoint(5, 71));
    QCOMPARE(list->TopIndex(), 396);
    // Far beside the bar the drag stops following: the list keeps its row.
    QTest::mouseMove(canvas, QPoint(60, 120));
    QCOMPARE(list->TopIndex(), 396);
    QTest::mouseMove(canvas, QPoint(5, 15 + 112));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(5, 127));
    QCOMPARE(list->TopIndex(), 793);
}

void TestServerList::tooltipOnlyForShortenedNames()
{
    scratch_->Write("[Short]\nAddress=127.0.0.1:1\n[A name far too long to fit in the list's row width]\n"
                    "Address=127.0.0.1:1\n");
    form_ = std::make_unique<TMainForm>(settings_, probes_, news_);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    TListBoxEx* list = form_->ServerList();
    QTest::mouseMove(list, QPoint(50, 25));
    QVERIFY(list->ShowHint());
    QCOMPARE(list->Hint(), QString("A name far too long to fit in the list's row width"));
    QTest::mouseMove(list, QPoint(50, 5));
    QVERIFY(!list->ShowHint());
    QTest::mouseMove(list, QPoint(50, 100)); // below the last row
    QVERIFY(!list->ShowHint());
}

void TestServerList::movingServersKeepsTheSelectionOnThem()
{
    TMainForm* form = MakeForm(3);
    form->SelectIndex(2);
    QTest::keyClick(form->ServerList(), Qt::Key_Up, Qt::AltModifier);
    QCOMPARE(form->SelectedIndex(), 1);
    QCOMPARE(Servers[1].Name, std::string("S2"));
    QCOMPARE(form->ServerList()->Item(1), QString("S2"));
    form->BtnDownClick();
    QCOMPARE(form->SelectedIndex(), 2);
    QCOMPARE(Servers[2].Name, std::string("S2"));
    // Alt let go before the arrow comes up still moves.
    QTest::keyPress(form->ServerList(), Qt::Key_Up, Qt::AltModifier);
    QTest::keyRelease(form->ServerList(), Qt::Key_Up, Qt::NoModifier);
    QCOMPARE(form->SelectedIndex(), 1);
    QCOMPARE(form->ServerList()->Item(1), QString("S2"));
    // The order reaches the file at the end.
    form_.reset();
    const std::string ini = scratch_->Read();
    QVERIFY(ini.find("[S0]") < ini.find("[S2]"));
    QVERIFY(ini.find("[S2]") < ini.find("[S1]"));
}

void TestServerList::movingAtTheEdgesOrWithoutSelectionDoesNothing()
{
    TMainForm* form = MakeForm(3);
    form->SelectIndex(0);
    form->BtnUpClick();
    form->SelectIndex(2);
    QTest::keyClick(form->ServerList(), Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(form->SelectedIndex(), 2);
    form->SelectIndex(-1);
    form->BtnUpClick();
    form->BtnDownClick();
    QCOMPARE(GetServerNames(), (std::vector<std::string>{"S0", "S1", "S2"}));
}

void TestServerList::spaceTogglesThePanelAndTheWindowHeight()
{
    TMainForm* form = MakeForm(2);
    QCOMPARE(form->height(), 268);
    QAction* item = form->Frame()->Item("ItemInfoPanel");
    QTest::keyClick(form->ServerList(), Qt::Key_Space);
    QVERIFY(form->InfoPanelVisible());
    QVERIFY(item->isChecked());
    QCOMPARE(form->height(), 386);
    QCOMPARE(Child(form, "InfoPanel")->geometry(), QRect(3, 268, 258, 118));
    item->trigger();
    QVERIFY(!form->InfoPanelVisible());
    QVERIFY(!item->isChecked());
    QCOMPARE(form->height(), 268);
    // Ctrl+Tab walks the panel's pages 1, 2, 0.
    form->SelectInfoPanel(1);
    QTest::keyClick(form->ServerList(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(form->InfoPanelPage(), 2);
    QTest::keyClick(form->ServerList(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(form->InfoPanelPage(), 0);
    QTest::keyClick(form->ServerList(), Qt::Key_1, Qt::AltModifier);
    QCOMPARE(form->InfoPanelPage(), 1);
}

void TestServerList::menuKeyAndButtonOpenTheMenu()
{
    TMainForm* form = MakeForm(2);
    QMenu* menu = form->Frame()->Menu();
    QTest::keyClick(form->ServerList(), Qt::Key_M);
    QTRY_VERIFY(menu->isVisible());
    // Opened again while open: still one menu.
    form->BtnMenuClick();
    QVERIFY(menu->isVisible());
    menu->hide();
    QTRY_VERIFY(!menu->isVisible());
    auto* button = form->findChild<QAbstractButton*>("BtnMenu");
    button->click();
    QTRY_VERIFY(menu->isVisible());
    // Below the button's middle, centred on it as far as the window's columns allow.
    const QPoint bottom = form->mapToGlobal(QPoint(61 + 27 / 2, 239 + 27 + 3));
    QCOMPARE(menu->pos().y(), bottom.y());
    QCOMPARE(menu->pos().x(),
             MenuTopLeft(bottom, menu->width(), form->frameGeometry().left(), form->frameGeometry().width()).x());
    QVERIFY(menu->pos().x() >= form->frameGeometry().left());
    menu->hide();
    // Every item is there, in its place, captioned from the text table.
    const QStringList expected = {
        "Add server...", "Settings", "",     "Information panel", "Folders clearing", "", "Is there any newer version?",
        "About",         "",         "Close"};
    QStringList captions;
    for (QAction* action : menu->actions())
        captions << action->text();
    QCOMPARE(captions, expected);
}

void TestServerList::hoverOpensTheMenuOnlyWithAutoPopup()
{
    TMainForm* form = MakeForm(1);
    QTimer* timer = form->Frame()->PopupTimer();
    QCOMPARE(timer->interval(), 700);
    TMainSettings values = settings_.Values();
    values.MenuAutoPopup = false;
    settings_.Apply(values);
    form->BtnMenuMouseEnter();
    QVERIFY(!timer->isActive());
    values.MenuAutoPopup = true;
    settings_.Apply(values);
    form->BtnMenuMouseEnter();
    QVERIFY(timer->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(form->Frame()->Menu()->isVisible(), 3000);
    form->BtnMenuMouseLeave();
    QVERIFY(!timer->isActive());
    form->Frame()->Menu()->hide();
}

void TestServerList::homeMovesWithoutTheSelectionStep()
{
    TMainForm* form = MakeForm(20);
    auto* refresh = form->findChild<QTimer*>("RefreshTimer");
    refresh->stop();
    form->SelectIndex(5);
    QTest::keyClick(form->ServerList(), Qt::Key_End);
    QCOMPARE(form->SelectedIndex(), 19);
    QCOMPARE(form->ServerList()->TopIndex(), 13);
    QVERIFY(!refresh->isActive());
    QTest::keyClick(form->ServerList(), Qt::Key_Home);
    QCOMPARE(form->SelectedIndex(), 0);
    QVERIFY(!refresh->isActive());
    // An arrow runs the step: the selected server is probed and the timer runs again.
    QTest::keyClick(form->ServerList(), Qt::Key_Down);
    QCOMPARE(form->SelectedIndex(), 1);
    QVERIFY(refresh->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(probes_.RunningCount(), 0, 10000);
}

void TestServerList::wheelOverTheNewsViewScrollsTheView()
{
    TMainForm* form = MakeForm(30);
    // A stand-in for the news view, in the panel's place, that counts the arrow keys it gets.
    struct TKeyCounter : QWidget
    {
        using QWidget::QWidget;
        QList<int> pressed;
        QList<int> released;
        void keyPressEvent(QKeyEvent* event) override { pressed << event->key(); }
        void keyReleaseEvent(QKeyEvent* event) override { released << event->key(); }
    };
    form->ItemInfoPanelClick();
    auto* view = new TKeyCounter(Child(form, "InfoPanel"));
    view->setGeometry(2, 0, 254, 94);
    view->show();
    form->SetNewsView(view);
    TListBoxEx* list = form->ServerList();
    auto wheel = [&](QPoint global, int delta) {
        QWheelEvent event(list->mapFromGlobal(QPointF(global)), QPointF(global), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(list, &event);
    };
    wheel(view->mapToGlobal(QPoint(20, 20)), -120);
    wheel(view->mapToGlobal(QPoint(20, 20)), 120);
    QCOMPARE(view->pressed, (QList<int>{Qt::Key_Down, Qt::Key_Up}));
    QCOMPARE(view->released, view->pressed);
    QCOMPARE(list->TopIndex(), 0);
    // Anywhere else the list scrolls, three rows a notch.
    wheel(list->mapToGlobal(QPoint(20, 20)), -120);
    QCOMPARE(list->TopIndex(), 3);
    QCOMPARE(view->pressed.size(), 2);
}

void TestServerList::listPaintsOnlyVisibleRows()
{
    TListBoxEx list;
    list.resize(222, 144);
    list.SetItemHeight(20);
    QStringList items;
    for (int i = 0; i < 100000; ++i)
        items << QString::number(i);
    list.SetItems(items);
    list.SetTopIndex(50000);
    QList<int> drawn;
    list.SetDrawItem([&](QPainter&, int index, const QRect& rect, bool) {
        drawn << index;
        QCOMPARE(rect.top(), (index - 50000) * 20);
    });
    QImage target(list.size(), QImage::Format_ARGB32);
    list.render(&target);
    // Seven whole rows; the eighth would show only a sliver.
    QCOMPARE(drawn, (QList<int>{50000, 50001, 50002, 50003, 50004, 50005, 50006}));
    QCOMPARE(list.ItemAtPos(QPoint(10, 41)), 50002);
    QCOMPARE(list.ItemAtPos(QPoint(300, 41)), -1);
    list.SetTopIndex(200000);
    QCOMPARE(list.TopIndex(), 100000 - 7);
}

void TestServerList::exchangingItemsKeepsTheSelectedItemSelected()
{
    TListBoxEx list;
    list.resize(100, 60);
    list.SetItemHeight(20);
    list.SetItems({"a", "b", "c", "d", "e"});
    list.SetItemIndex(1);
    list.ExchangeItems(1, 4);
    QCOMPARE(list.ItemIndex(), 4);
    QCOMPARE(list.Item(4), QString("b"));
    QVERIFY(list.TopIndex() >= 2); // scrolled to show it
    list.ExchangeItems(0, 2);
    QCOMPARE(list.ItemIndex(), 4);
    list.ExchangeItems(4, 9); // out of range: nothing
    QCOMPARE(list.Item(4), QString("b"));
    list.DeleteItem(0);
    QCOMPARE(list.ItemIndex(), 3);
    list.DeleteItem(3);
    QCOMPARE(list.ItemIndex(), -1);
}

QTEST_MAIN(TestServerList)
#include "test_serverlist.moc"
