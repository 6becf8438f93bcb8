// The window's keys beyond the list's: the window's own key table and its menu items, the search by name,
// Tab through the buttons with their focus mark, and Space or Enter on the button the keyboard is on.
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "monitor/probeservice.h"
#include "news/newsservice.h"
#include "support/testsupport.h"
#include "ui/ImgBtn.h"
#include "ui/ListBoxEx.h"
#include "ui/dialogdriver.h"
#include "ui/listkeys.h"
#include "ui/mainfm.h"
#include "ui/msgbox.h"
#include "ui/skinstyle.h"

#include <QAction>
#include <QMenu>
#include <QtTest>
#include <memory>

namespace {

const QStringList kNames = {"Alpha", "Mira", "Emberfall", "Emerald", "Rook", "ČERNÝ HRAD"};

std::string Ini(const QStringList& names)
{
    std::string ini = "[Main]\nServerIndex=0\n";
    for (const QString& name : names)
        ini += "[" + name.toStdString() + "]\nAddress=127.0.0.1:1\n";
    return ini;
}

QString Focused()
{
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QString();
}

// Types `text` into `widget` as a keyboard would, one key a character, letters beyond Latin-1 too.
void Type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        const int key = c.toUpper().unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace

class TestKeyboard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowKeysAgreeWithTheListsTable();
    void typeAhead_data();
    void typeAhead();
    void whatTypesIntoTheSearch();

    void newKeysRunTheirCommandsFromTheListAndFromAButton();
    void menuHasAddAndCloseWithTheirKeys();
    void tooltipsNameTheKeys();
    void typedLettersSelectWhileMAndRKeepTheirCommands();
    void tabVisitsTheButtonsInTheirOrder();
    void spaceEnterAndEscapeOnAFocusedButton();
    void focusMarkShowsOnlyWithTheKeyboardAndFitsTheButton();

private:
    TMainForm* MakeForm(const QStringList& names);
    TSettings settings_;
    TProbeService probes_{[this] { return settings_.Values().Timeout; }};
    std::unique_ptr<TScratchIni> scratch_;
    TNewsService news_;
    std::unique_ptr<TMainForm> form_;
};

void TestKeyboard::initTestCase()
{
    Q_INIT_RESOURCE(korvan);
    InitLocalization();
}

void TestKeyboard::init()
{
    scratch_ = std::make_unique<TScratchIni>();
    // Nothing is probed: the window is never given its first show or idle moment.
    FirstShow = false;
    FirstIdle = false;
    AppClosing = false;
}

void TestKeyboard::cleanup()
{
    SetMessageHook(nullptr);
    form_.reset();
    scratch_.reset();
}

TMainForm* TestKeyboard::MakeForm(const QStringList& names)
{
    scratch_->Write(Ini(names));
    form_ = std::make_unique<TMainForm>(settings_, probes_, news_);
    form_->show();
    form_->activateWindow();
    form_->ServerList()->setFocus();
    return form_.get();
}

void TestKeyboard::windowKeysAgreeWithTheListsTable()
{
    QSet<int> seen;
    for (const TWindowKey& key : kWindowKeys) {
        const QString name = QKeySequence(key.key).toString();
        QVERIFY2(!seen.contains(key.key.toCombined()), qPrintable(name + " is in the table twice"));
        seen.insert(key.key.toCombined());
        const Qt::Key code = key.key.key();
        const Qt::KeyboardModifiers modifiers = key.key.keyboardModifiers();
        const TListCommand down = ListKeyDownCommand(code, modifiers);
        const TListCommand up = ListKeyUpCommand(code, modifiers);
        if (key.listKey) {
            // Named for the tooltips; the list's own table must mean the same.
            QVERIFY2(down == key.command || up == key.command, qPrintable(name));
        } else {
            // The window acts on it: the list must not act on it too.
            QVERIFY2(down == TListCommand::None && up == TListCommand::None, qPrintable(name));
            QCOMPARE(ListKeyPressCommand(code, modifiers), TListCommand::None);
        }
    }
    QCOMPARE(WindowKeysOf(TListCommand::AddServer, true),
             (QList<QKeyCombination>{Qt::CTRL | Qt::Key_N, QKeyCombination(Qt::Key_Insert)}));
    QCOMPARE(WindowKeysOf(TListCommand::Close, true), QList<QKeyCombination>{Qt::CTRL | Qt::Key_Q});
    QCOMPARE(WindowKeysOf(TListCommand::RemoveServer, true), QList<QKeyCombination>{Qt::Key_Delete});
    QCOMPARE(WindowKeysOf(TListCommand::EditServer, true), QList<QKeyCombination>{Qt::Key_F2});
    QCOMPARE(WindowKeysOf(TListCommand::Close).size(), 2);
}

void TestKeyboard::typeAhead_data()
{
    // Keys typed, each with the time it comes at; the selected row before; the row after the last one.
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QList<int>>("at");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("expected");
    QTest::newRow("a letter finds the first of its names") << QStringList{"e"} << QList<int>{0} << 0 << 2;
    QTest::newRow("any case") << QStringList{"E"} << QList<int>{0} << 0 << 2;
    QTest::newRow("a longer prefix stays where it fits")
        << QStringList{"e", "m", "b"} << QList<int>{0, 100, 200} << 0 << 2;
    QTest::newRow("a longer prefix moves on where it stops fitting")
        << QStringList{"e", "m", "e"} << QList<int>{0, 100, 200} << 0 << 3;
    QTest::newRow("a new search starts after the selected row") << QStringList{"e"} << QList<int>{0} << 2 << 3;
    QTest::newRow("and wraps round to the top") << QStringList{"a"} << QList<int>{0} << 4 << 0;
    QTest::newRow("the same letter again walks its names")
        << QStringList{"e", "e", "e"} << QList<int>{0, 100, 200} << 0 << 2;
    QTest::newRow("after a pause the prefix starts again")
        << QStringList{"e", "r"} << QList<int>{0, int(kTypeAheadResetMs)} << 0 << 4;
    QTest::newRow("within the second it goes on")
        << QStringList{"e", "r"} << QList<int>{0, int(kTypeAheadResetMs) - 1} << 0 << -1;
    QTest::newRow("letters beyond ASCII, any case") << QStringList{"č", "e"} << QList<int>{0, 10} << 0 << 5;
    QTest::newRow("nothing fits") << QStringList{"x"} << QList<int>{0} << 1 << -1;
    QTest::newRow("no selection yet") << QStringList{"a"} << QList<int>{0} << -1 << 0;
}

void TestKeyboard::typeAhead()
{
    QFETCH(QStringList, typed);
    QFETCH(QList<int>, at);
    QFETCH(int, current);
    QFETCH(int, expected);
    TTypeAhead search;
    int row = current;
    int result = -1;
    for (int i = 0; i < typed.size(); ++i) {
        result = search.Type(typed[i], at[i], kNames, row);
        if (result >= 0)
            row = result;
    }
    QCOMPARE(result, expected);
    QTest::qWait(0);
    TTypeAhead empty;
    QCOMPARE(empty.Type("a", 0, {}, -1), -1);
}

void TestKeyboard::whatTypesIntoTheSearch()
{
    QVERIFY(TypesIntoSearch("a", Qt::NoModifier));
    QVERIFY(TypesIntoSearch("Ř", Qt::ShiftModifier));
    QVERIFY(TypesIntoSearch("7", Qt::KeypadModifier));
    QVERIFY(!TypesIntoSearch(" ", Qt::NoModifier));
    QVERIFY(!TypesIntoSearch("a", Qt::ControlModifier));
    QVERIFY(!TypesIntoSearch("a", Qt::AltModifier));
    QVERIFY(!TypesIntoSearch("\x1b", Qt::NoModifier));
    QVERIFY(!TypesIntoSearch("\t", Qt::NoModifier));
    QVERIFY(!TypesIntoSearch("", Qt::NoModifier));
}

void TestKeyboard::newKeysRunTheirCommandsFromTheListAndFromAButton()
{
    TMainForm* form = MakeForm(kNames);
    QVERIFY(QTest::qWaitForWindowActive(form));
    TDialogDriver driver;
    int questions = 0;
    SetMessageHook([&](const TMessageRequest&) { return ++questions, IDNO; });
    for (const bool fromButton : {false, true}) {
        if (fromButton) {
            QTest::keyClick(form->ServerList(), Qt::Key_Tab);
            QVERIFY(qobject_cast<TImgBtn*>(QApplication::focusWidget()));
        }
        QWidget* target = QApplication::focusWidget();
        const int met = driver.Met().size();
        for (const QKeyCombination key :
             {Qt::CTRL | Qt::Key_N, QKeyCombination(Qt::Key_Insert), QKeyCombination(Qt::Key_F2)}) {
            driver.Arm([](QDialog& dialog) { dialog.reject(); });
            QTest::keyClick(target, key.key(), key.keyboardModifiers());
            QTRY_VERIFY2(driver.Idle(), qPrintable(QKeySequence(key).toString()));
            // The window's keys act in the active window; a desktop gives it back when the dialog goes.
            form->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(form));
            QCOMPARE(QApplication::focusWidget(), target);
        }
        QCOMPARE(driver.Met().size(), met + 3);
        QCOMPARE(driver.Met().mid(met), (QStringList{"AddForm", "AddForm", "AddForm"}));
        const int asked = questions;
        QTest::keyClick(target, Qt::Key_Delete);
        QCOMPARE(questions, asked + 1);
        // Answered No: the server stays.
        QCOMPARE(form->ServerList()->Count(), kNames.size());
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!form->isVisible());
    QVERIFY(AppClosing);
}

void TestKeyboard::menuHasAddAndCloseWithTheirKeys()
{
    TMainForm* form = MakeForm(kNames);
    QMenu* menu = form->Frame()->Menu();
    QAction* add = form->Frame()->Item("ItemAddServer");
    QAction* close = form->Frame()->Item("ItemClose");
    QVERIFY(add && close);
    QCOMPARE(menu->actions().first(), add);
    QCOMPARE(menu->actions().last(), close);
    QCOMPARE(add->text(), UiText(TTextId::MenuAddServer));
    QCOMPARE(close->text(), UiText(TTextId::MenuClose));
    // The menu shows the first key; both act.
    QCOMPARE(add->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    QCOMPARE(add->shortcuts(), (QList<QKeySequence>{Qt::CTRL | Qt::Key_N, Qt::Key_Insert}));
    QCOMPARE(close->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    // A closed menu hears no keys: the window holds them.
    QVERIFY(form->actions().contains(add) && form->actions().contains(close));

    // The item runs the command: Close closes the window.
    close->trigger();
    QVERIFY(!form->isVisible());
}

void TestKeyboard::tooltipsNameTheKeys()
{
    TMainForm* form = MakeForm(kNames);
    const struct
    {
        const char* button;
        TTextId hint;
        QStringList keys;
    } expected[] = {
        {"BtnAdd", TTextId::HintAdd, {"Num++", "Ctrl+N", "Ins"}},
        {"BtnRemove", TTextId::HintRemove, {"Num+-", "Del"}},
        {"BtnEdit", TTextId::HintEdit, {"Num+*", "F2"}},
        {"BtnClose", TTextId::HintClose, {"Esc", "Ctrl+Q"}},
        {"BtnUp", TTextId::HintMoveUp, {"Alt+Up"}},
        {"BtnDown", TTextId::HintMoveDown, {"Alt+Down"}},
    };
    for (const auto& button : expected) {
        auto* control = form->findChild<QWidget*>(button.button);
        QVERIFY(control);
        const QStringList lines = control->toolTip().split(u'\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], UiText(button.hint));
        QCOMPARE(lines[1], ToQString(FillText(TTextId::KeysHint, {button.keys.join(", ").toStdString()})));
    }
    // A button whose design hint names its key keeps that one line.
    QCOMPARE(form->findChild<QWidget*>("BtnMenu")->toolTip(), UiText(TTextId::HintMenu));
}

void TestKeyboard::typedLettersSelectWhileMAndRKeepTheirCommands()
{
    TMainForm* form = MakeForm(kNames);
    TListBoxEx* list = form->ServerList();
    QMenu* menu = form->Frame()->Menu();
    QCOMPARE(form->SelectedIndex(), 0);
    Type(list, "em");
    QCOMPARE(form->SelectedIndex(), 2);
    // Within the name, M was a letter: no menu.
    QVERIFY(!menu->isVisible());
    Type(list, "e");
    QCOMPARE(form->SelectedIndex(), 3);
    QCOMPARE(form->SelectedServerId(), ServerAt(3)->Id);

    // A second later M opens the menu again and leaves the selection alone.
    QTest::qWait(int(kTypeAheadResetMs) + 100);
    Type(list, "m");
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(form->SelectedIndex(), 3);
    menu->hide();
    QTRY_VERIFY(!menu->isVisible());
    list->setFocus();

    // Names that begin with M or R are reached within a prefix, or from a letter before them.
    QTest::qWait(int(kTypeAheadResetMs) + 100);
    Type(list, "č");
    QCOMPARE(form->SelectedIndex(), 5);
    QTest::qWait(int(kTypeAheadResetMs) + 100);
    Type(list, "r");
    // R refreshed (nothing to see without probes) and did not search.
    QCOMPARE(form->SelectedIndex(), 5);
}

void TestKeyboard::tabVisitsTheButtonsInTheirOrder()
{
    TMainForm* form = MakeForm(kNames);
    QVERIFY(QTest::qWaitForWindowActive(form));
    const QStringList order = {"btnInfoPanel", "BtnRefreshAll", "BtnDown", "BtnUp",       "BtnMenu",  "BtnPlay",
                               "BtnAdd",       "BtnRemove",     "BtnEdit", "BtnMinimize", "BtnClose", "List"};
    QStringList visited;
    for (int i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << Focused();
    }
    QCOMPARE(visited, order);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(Focused(), QString("BtnClose"));

    // With the panel shown its tabs and news buttons come after the bottom row.
    form->ServerList()->setFocus();
    form->ItemInfoPanelClick();
    visited.clear();
    for (int i = 0; i < 14; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << Focused();
    }
    QVERIFY2(visited.indexOf("InfoBtn0") > visited.indexOf("BtnEdit"), qPrintable(visited.join(' ')));
    QVERIFY2(visited.indexOf("BtnMinimize") > visited.indexOf("InfoBtn2"), qPrintable(visited.join(' ')));

    // A click on a button leaves the keyboard with the list.
    form->ServerList()->setFocus();
    QTest::mouseClick(form->findChild<QWidget*>("BtnDown"), Qt::LeftButton);
    QCOMPARE(Focused(), QString("List"));
}

void TestKeyboard::spaceEnterAndEscapeOnAFocusedButton()
{
    TMainForm* form = MakeForm(kNames);
    QVERIFY(QTest::qWaitForWindowActive(form));
    QTest::keyClick(form->ServerList(), Qt::Key_Tab);
    QCOMPARE(Focused(), QString("btnInfoPanel"));
    QVERIFY(!form->InfoPanelVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(form->InfoPanelVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!form->InfoPanelVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(form->InfoPanelVisible());
    // The list's keys still work from a button: Alt+Down moves the selected server, Escape closes.
    const std::uint64_t first = form->SelectedServerId();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // BtnRefreshAll
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // BtnDown
    QCOMPARE(Focused(), QString("BtnDown"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(form->SelectedIndex(), 1);
    QCOMPARE(form->SelectedServerId(), first);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!form->isVisible());
}

void TestKeyboard::focusMarkShowsOnlyWithTheKeyboardAndFitsTheButton()
{
    TMainForm* form = MakeForm(kNames);
    QVERIFY(QTest::qWaitForWindowActive(form));
    for (const char* name : {"BtnPlay", "btnInfoPanel", "BtnClose"}) {
        auto* button = form->findChild<TImgBtn*>(name);
        form->ServerList()->setFocus();
        const QImage plain = button->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        button->setFocus(Qt::TabFocusReason);
        const QImage marked = button->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(marked.size(), plain.size());
        const qreal ratio = marked.devicePixelRatio();
        const QSize size = button->size() * ratio;
        // The mark is the skin's gold, along the button's edge and nowhere inside.
        int changed = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                if (marked.pixel(x, y) == plain.pixel(x, y))
                    continue;
                ++changed;
                const int edge = std::min({x, y, size.width() - 1 - x, size.height() - 1 - y});
                QVERIFY2(edge < 2 * ratio, qPrintable(QString("%1 at %2,%3").arg(name).arg(x).arg(y)));
                const QColor colour = marked.pixelColor(x, y);
                QVERIFY2(colour.red() >= colour.blue(), name);
            }
        // Dotted along all four sides, where the picture is not gold already.
        QVERIFY2(changed > (size.width() + size.height()) / 2, name);
    }
}

QTEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
