// What assistive technology reads of the main window: the buttons' names and roles, one item per server
// row named by the server and its state, and the status line that tells of a change of state.
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "monitor/probeservice.h"
#include "monitor/spokenstate.h"
#include "news/newsservice.h"
#include "support/testsupport.h"
#include "ui/ListBoxEx.h"
#include "ui/mainfm.h"
#include "ui/msgbox.h"

#include <QAccessible>
#include <QLabel>
#include <QtTest>
#include <memory>

namespace {

// Every event a widget sends to assistive technology, as the bridge would get it.
struct TSeen
{
    QObject* object;
    QAccessible::Event type;
    int child;
};
std::vector<TSeen>* seen = nullptr;

void Record(QAccessibleEvent* event)
{
    if (seen)
        seen->push_back({event->object(), event->type(), event->child()});
}

QString Name(QObject* object)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

} // namespace

class TestAccessible : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void spokenStateInBothEditions();
    void everyButtonHasANameARoleAndItsTooltip();
    void listHasOneItemPerRowNamedByServerAndState();
    void selectingARowTellsTheReader();
    void statusLineTellsOfAChangeOfStateOnly();

private:
    TMainForm* MakeForm(int servers);
    TSettings settings_;
    TProbeService probes_{[this] { return settings_.Values().Timeout; }};
    std::unique_ptr<TScratchIni> scratch_;
    TNewsService news_;
    std::unique_ptr<TMainForm> form_;
    std::vector<TSeen> events_;
};

void TestAccessible::initTestCase()
{
    Q_INIT_RESOURCE(korvan);
    InitLocalization();
    QAccessible::installUpdateHandler(Record);
    QAccessible::setActive(true);
}

void TestAccessible::init()
{
    scratch_ = std::make_unique<TScratchIni>();
    FirstShow = false;
    FirstIdle = false;
    AppClosing = false;
    events_.clear();
    seen = &events_;
}

void TestAccessible::cleanup()
{
    seen = nullptr;
    form_.reset();
    scratch_.reset();
}

TMainForm* TestAccessible::MakeForm(int servers)
{
    std::string ini = "[Main]\nServerIndex=0\n";
    const char* names[] = {"Emberfall", "Duskmere", "Stonewatch"};
    for (int i = 0; i < servers; ++i)
        ini += std::string("[") + names[i % 3] + (i >= 3 ? std::to_string(i) : "") + "]\nAddress=127.0.0.1:1\n";
    scratch_->Write(ini);
    form_ = std::make_unique<TMainForm>(settings_, probes_, news_);
    form_->show();
    form_->activateWindow();
    if (!QTest::qWaitForWindowActive(form_.get()))
        qWarning("the window did not become active");
    form_->ServerList()->setFocus();
    return form_.get();
}

void TestAccessible::spokenStateInBothEditions()
{
    QCOMPARE(SpokenServerState("Emberfall", ssOnline, 12), std::string("Emberfall, online, 12 ms"));
    QCOMPARE(SpokenServerState("Emberfall", ssOnline, -1), std::string("Emberfall, online"));
    QCOMPARE(SpokenServerState("Duskmere", ssOffline, 30), std::string("Duskmere, offline"));
    QCOMPARE(SpokenServerState("Stonewatch", ssChecking, 0), std::string("Stonewatch, being checked"));
    // A state from a damaged entry reads as unknown rather than as anything it is not.
    QCOMPARE(SpokenServerState("X", 7, 5), std::string("X, being checked"));
    // The Czech edition has every one of these texts, with the same places to fill.
    const TTextTable czech = CzechTextTable();
    for (const TTextId id :
         {TTextId::SpokenOnlinePing, TTextId::SpokenOnline, TTextId::SpokenOffline, TTextId::SpokenChecking,
          TTextId::NameServerList, TTextId::KeysHint, TTextId::MenuAddServer, TTextId::MenuClose}) {
        const TTextEntry* entry = std::find_if(czech.entries, czech.entries + czech.count,
                                               [id](const TTextEntry& e) { return e.id == static_cast<int>(id); });
        QVERIFY2(entry != czech.entries + czech.count, qPrintable(QString::number(int(id))));
        const std::string english = LoadText(id);
        QCOMPARE(std::string(entry->text).find("%s") != std::string::npos, english.find("%s") != std::string::npos);
        QCOMPARE(std::string(entry->text).find("%d") != std::string::npos, english.find("%d") != std::string::npos);
    }
}

void TestAccessible::everyButtonHasANameARoleAndItsTooltip()
{
    TMainForm* form = MakeForm(3);
    form->ItemInfoPanelClick();
    const struct
    {
        const char* control;
        TTextId name;
    } expected[] = {
        {"BtnMinimize", TTextId::HintMinimize},
        {"BtnClose", TTextId::HintClose},
        {"BtnRefreshAll", TTextId::NameRefreshAll},
        {"BtnDown", TTextId::HintMoveDown},
        {"BtnUp", TTextId::HintMoveUp},
        {"BtnMenu", TTextId::NameMenu},
        {"BtnPlay", TTextId::NamePlay},
        {"BtnAdd", TTextId::NameAdd},
        {"BtnRemove", TTextId::NameRemove},
        {"BtnEdit", TTextId::NameEdit},
        {"btnInfoPanel", TTextId::MenuInfoPanel},
        {"InfoBtn0", TTextId::NameNewsTab},
        {"InfoBtn1", TTextId::NameServerTab},
        {"InfoBtn2", TTextId::NameMoreTab},
        {"BtnPrev", TTextId::HintNewerNews},
        {"BtnNext", TTextId::HintOlderNews},
    };
    QSet<QString> names;
    for (const auto& button : expected) {
        auto* control = form->findChild<QWidget*>(button.control);
        QVERIFY2(control, button.control);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
        QVERIFY2(iface && iface->isValid(), button.control);
        QCOMPARE(iface->role(), QAccessible::Button);
        QCOMPARE(iface->text(QAccessible::Name), UiText(button.name));
        // The tooltip, keys and all, is what a reader gives on request.
        QCOMPARE(iface->text(QAccessible::Description), control->toolTip());
        names.insert(iface->text(QAccessible::Name));
    }
    // No two buttons sound alike.
    QCOMPARE(names.size(), int(std::size(expected)));
    // The labels read as their text; the status line as the server's state.
    auto* caption = form->findChild<QLabel*>("LabStatus");
    QCOMPARE(QAccessible::queryAccessibleInterface(caption)->role(), QAccessible::StaticText);
    QCOMPARE(Name(caption), caption->text());
    QVERIFY(!Name(form->findChild<QLabel*>("LabServerAddress")).isEmpty());
}

void TestAccessible::listHasOneItemPerRowNamedByServerAndState()
{
    TMainForm* form = MakeForm(9);
    Servers[0].Status = ssOnline;
    Servers[0].Ping = 12;
    Servers[1].Status = ssOffline;
    Servers[2].Status = ssChecking;
    TListBoxEx* list = form->ServerList();
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::List);
    QCOMPARE(iface->text(QAccessible::Name), UiText(TTextId::NameServerList));
    QCOMPARE(iface->childCount(), 9);
    const QStringList expected = {"Emberfall, online, 12 ms", "Duskmere, offline", "Stonewatch, being checked"};
    for (int row = 0; row < 3; ++row) {
        QAccessibleInterface* item = iface->child(row);
        QVERIFY(item && item->isValid());
        QCOMPARE(item->role(), QAccessible::ListItem);
        QCOMPARE(item->text(QAccessible::Name), expected[row]);
        QCOMPARE(item->parent(), iface);
        QCOMPARE(iface->indexOfChild(item), row);
        // The same row is the same object each time a reader asks.
        QCOMPARE(iface->child(row), item);
    }
    QVERIFY(iface->child(0)->state().selected);
    QVERIFY(iface->child(0)->state().focused);
    QVERIFY(!iface->child(1)->state().selected);
    // Seven rows show; the rest are there but off the screen.
    QVERIFY(!iface->child(6)->state().offscreen);
    QVERIFY(iface->child(7)->state().offscreen);
    QCOMPARE(iface->child(9), nullptr);
    QCOMPARE(iface->child(-1), nullptr);
    // The row under a point, and its place on the screen.
    const QRect second = iface->child(1)->rect();
    QCOMPARE(second.topLeft(), list->mapToGlobal(QPoint(0, 20)));
    QCOMPARE(iface->childAt(second.center().x(), second.center().y()), iface->child(1));
    // A state that changes is read anew.
    Servers[1].Status = ssOnline;
    Servers[1].Ping = 40;
    QCOMPARE(iface->child(1)->text(QAccessible::Name), QString("Duskmere, online, 40 ms"));

    // Rows that go away leave no item behind that claims to be there.
    QAccessibleInterface* last = iface->child(8);
    list->DeleteItem(8);
    QCOMPARE(iface->childCount(), 8);
    QVERIFY(!last->isValid());
    QCOMPARE(iface->indexOfChild(last), -1);
}

void TestAccessible::selectingARowTellsTheReader()
{
    TMainForm* form = MakeForm(3);
    QTest::keyClick(form->ServerList(), Qt::Key_Down);
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(form->ServerList());
    QAccessibleInterface* focused = list->focusChild();
    QVERIFY(focused);
    QCOMPARE(focused->text(QAccessible::Name), QString("Duskmere, being checked"));
    QVERIFY(focused->state().selected && focused->state().focused);
    // Where a bridge listens (not on every platform the tests run on), the move is told as it happens.
    if (QAccessible::isActive()) {
        QVERIFY(std::any_of(events_.begin(), events_.end(), [&](const TSeen& e) {
            return e.object == form->ServerList() && e.type == QAccessible::Focus && e.child == 1;
        }));
    }
}

void TestAccessible::statusLineTellsOfAChangeOfStateOnly()
{
    // A reader announces a change of the status line's name; so the name changes with the state alone.
    TMainForm* form = MakeForm(3);
    auto* status = form->findChild<QLabel*>("Status");
    QVERIFY(status);
    Servers[0].Status = ssOnline;
    Servers[0].Ping = 12;
    form->RefreshServerVisibleStatus();
    QCOMPARE(Name(status), QString("Emberfall, online, 12 ms"));

    // Each probe passes through checking and back, with another round trip: nothing to tell.
    Servers[0].Status = ssChecking;
    form->RefreshServerVisibleStatus();
    QCOMPARE(Name(status), QString("Emberfall, online, 12 ms"));
    Servers[0].Status = ssOnline;
    Servers[0].Ping = 15;
    form->RefreshServerVisibleStatus();
    QCOMPARE(Name(status), QString("Emberfall, online, 12 ms"));
    QCOMPARE(status->text(), QString("Online"));

    // Gone offline: told at once.
    Servers[0].Status = ssOffline;
    form->RefreshServerVisibleStatus();
    QCOMPARE(Name(status), QString("Emberfall, offline"));

    // Another server selected: its state is told too, checking or not.
    form->SelectIndex(1);
    QCOMPARE(Name(status), QString("Duskmere, being checked"));
}

QTEST_MAIN(TestAccessible)
#include "test_accessible.moc"
