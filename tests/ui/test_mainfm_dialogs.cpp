// The main window's dialog commands end to end: what the store accepts or refuses, what the list and
// its selection do, what reaches tavix.ini at once, and what a cancelled dialog leaves alone.
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "news/newsservice.h"
#include "support/testsupport.h"
#include "ui/ListBoxEx.h"
#include "ui/addfm.h"
#include "ui/dialogdriver.h"
#include "ui/mainfm.h"
#include "ui/msgbox.h"
#include "ui/settingsfm.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>
#include <deque>
#include <memory>

namespace {

// Addresses that refuse at once, so probes end quickly and never leave the machine.
constexpr const char* kLoopback = "127.0.0.1:1";

struct TShown
{
    QString text;
    QString caption;
    QString owner;
};

// Fills the editor as a user would and confirms it.
TDialogDriver::TStep TypeServer(QString name, QString address, QString rss = {})
{
    return [=](QDialog& d) {
        auto& f = dynamic_cast<TAddForm&>(d);
        if (f.EditServerName->isEnabled())
            f.EditServerName->setText(name);
        f.EditServerAddress->setText(address);
        if (!rss.isNull())
            f.EditRSSChannel->setText(rss);
        QVERIFY(f.BtnAdd->isEnabled());
        f.BtnAdd->click();
    };
}

TDialogDriver::TStep Cancel()
{
    return [](QDialog& d) { d.reject(); };
}

} // namespace

class TestMainFormDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void addAppendsSelectsAndSaves();
    void addDuplicateInOtherCaseIsRefused();
    void addOfRefusedNameCannotBeConfirmed();
    void addCancelledChangesNothing();
    void editChangesAndSaves();
    void editReloadsNewsOnlyForANewChannel();
    void editAndRemoveWithoutSelectionDoNothing();
    void removeSelectsTheRowAbove_data();
    void removeSelectsTheRowAbove();
    void removeAnsweredNoChangesNothing();
    void keypadKeysReachTheCommands();
    void movesAreWrittenAtOnce();
    void unwritableListIsSaidOnce();
    void settingsSavedOrCancelled();

private:
    void MakeForm(const QStringList& names);
    QStringList ListNames() const;

    std::unique_ptr<TScratchIni> ini_;
    TSettings settings_;
    // Outlives every window the tests make, as the program's does.
    TProbeService probes_{[this] { return settings_.Values().Timeout; }};
    TNewsService news_;
    std::unique_ptr<TMainForm> form_;
    std::vector<TShown> shown_;
    std::deque<int> answers_;
    TDialogDriver driver_;
};

void TestMainFormDialogs::initTestCase()
{
    InitLocalization();
    QApplication::setQuitOnLastWindowClosed(false);
    SetMessageHook([this](const TMessageRequest& r) {
        shown_.push_back({r.text, r.caption, r.owner ? r.owner->objectName() : QString()});
        if (!r.yesNo || answers_.empty())
            return r.yesNo ? IDYES : IDOK;
        int a = answers_.front();
        answers_.pop_front();
        return a;
    });
}

void TestMainFormDialogs::init()
{
    ini_ = std::make_unique<TScratchIni>();
    shown_.clear();
    answers_.clear();
    driver_ = TDialogDriver();
    FirstShow = true;
    FirstIdle = true;
    AppClosing = false;
}

void TestMainFormDialogs::cleanup()
{
    form_.reset();
    QTRY_COMPARE_WITH_TIMEOUT(probes_.RunningCount(), 0, 10000);
    ini_.reset();
}

void TestMainFormDialogs::MakeForm(const QStringList& names)
{
    std::string file = "[Main]\nServerIndex=0\n";
    for (const QString& n : names)
        file += "[" + n.toStdString() + "]\nAddress=" + kLoopback + "\n";
    ini_->Write(file);
    form_ = std::make_unique<TMainForm>(settings_, probes_, news_);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

QStringList TestMainFormDialogs::ListNames() const
{
    QStringList names;
    for (int i = 0; i < form_->ServerList()->Count(); ++i)
        names << form_->ServerList()->Item(i);
    return names;
}

void TestMainFormDialogs::addAppendsSelectsAndSaves()
{
    MakeForm({"Alpha", "Beta"});
    driver_.Arm(TypeServer("Gamma", kLoopback, "http://gamma.example/rss"));
    form_->BtnAddClick();
    QCOMPARE(driver_.Met(), QStringList{"AddForm"});
    QVERIFY(shown_.empty());
    QCOMPARE(ListNames(), (QStringList{"Alpha", "Beta", "Gamma"}));
    QCOMPARE(form_->SelectedIndex(), 2);
    QCOMPARE(Servers[2].Name, std::string("Gamma"));
    // To be fetched, or already being fetched by the news view that the panel's refresh renders.
    QVERIFY(Servers[2].RSSState == rssNotLoaded || Servers[2].RSSState == rssLoading);
    // Written at once, before any exit.
    const std::string file = ini_->Read();
    QVERIFY(file.find("[Gamma]\nAddress=127.0.0.1:1\nRSSUrl=http://gamma.example/rss\n") != std::string::npos);
    QVERIFY(file.find("[Alpha]") < file.find("[Gamma]"));
}

void TestMainFormDialogs::addDuplicateInOtherCaseIsRefused()
{
    MakeForm({"Alpha"});
    const std::string before = ini_->Read();
    bool confirmable = true;
    QString reason;
    driver_.Arm([&](QDialog& d) {
        auto& f = dynamic_cast<TAddForm&>(d);
        f.EditServerName->setText("ALPHA");
        f.EditServerAddress->setText("other.example");
        f.EditServerInfo->setText("typed with care");
        confirmable = f.BtnAdd->isEnabled();
        reason = f.LabProblem->text();
        // Enter goes to the default button, which is disabled: nothing typed is lost.
        QTest::keyClick(f.EditServerAddress, Qt::Key_Return);
        QVERIFY(f.isVisible());
        QCOMPARE(f.EditServerInfo->text(), QString("typed with care"));
        QCOMPARE(f.EditServerAddress->text(), QString("other.example"));
        f.EditServerName->setText("Alpha 2");
        QVERIFY(f.BtnAdd->isEnabled());
        QVERIFY(f.LabProblem->text().isEmpty());
        f.BtnAdd->click();
    });
    form_->BtnAddClick();
    QVERIFY(!confirmable);
    QCOMPARE(reason, ToQString(LoadText(TTextId::NameTaken)));
    QVERIFY(shown_.empty());
    QCOMPARE(driver_.Met().size(), 1);
    QCOMPARE(ListNames(), (QStringList{"Alpha", "Alpha 2"}));
    QCOMPARE(Servers[0].Address, std::string(kLoopback));
    QCOMPARE(Servers[1].Comments, std::string("typed with care"));
    QVERIFY(ini_->Read() != before);
}

void TestMainFormDialogs::addOfRefusedNameCannotBeConfirmed()
{
    MakeForm({});
    bool confirmable = true;
    driver_.Arm([&](QDialog& d) {
        auto& f = dynamic_cast<TAddForm&>(d);
        f.EditServerName->setText("Main");
        f.EditServerAddress->setText("a.example");
        confirmable = f.BtnAdd->isEnabled();
        // Enter goes to the default button, which is disabled.
        QTest::keyClick(f.EditServerAddress, Qt::Key_Return);
        QVERIFY(f.isVisible());
        f.reject();
    });
    form_->BtnAddClick();
    QVERIFY(!confirmable);
    QVERIFY(Servers.empty());
    QCOMPARE(form_->ServerList()->Count(), 0);
}

void TestMainFormDialogs::addCancelledChangesNothing()
{
    MakeForm({"Alpha"});
    const std::string before = ini_->Read();
    driver_.Arm([](QDialog& d) {
        auto& f = dynamic_cast<TAddForm&>(d);
        f.EditServerName->setText("Beta");
        f.EditServerAddress->setText("b.example");
        QTest::keyClick(&f, Qt::Key_Escape);
    });
    form_->BtnAddClick();
    QCOMPARE(driver_.Met().size(), 1);
    QCOMPARE(ListNames(), QStringList{"Alpha"});
    QCOMPARE(Servers.size(), std::size_t(1));
    QCOMPARE(ini_->Read(), before);
}

void TestMainFormDialogs::editChangesAndSaves()
{
    MakeForm({"Alpha", "Beta"});
    form_->SelectIndex(1);
    driver_.Arm([](QDialog& d) {
        auto& f = dynamic_cast<TAddForm&>(d);
        QVERIFY(!f.EditServerName->isEnabled());
        QCOMPARE(f.EditServerName->text(), QString("Beta"));
        f.EditServerAddress->setText("127.0.0.2:1");
        f.ChAutoCacheClear->setChecked(true);
        f.BtnAdd->click();
    });
    form_->BtnEditClick();
    QVERIFY(shown_.empty());
    QCOMPARE(Servers[1].Address, std::string("127.0.0.2:1"));
    QVERIFY(Servers[1].AutoCacheClear);
    QCOMPARE(form_->SelectedIndex(), 1);
    QVERIFY(ini_->Read().find("[Beta]\nAddress=127.0.0.2:1\nAutoCacheClear=1\n") != std::string::npos);

    // Cancelled: as it was.
    driver_.Arm([](QDialog& d) {
        dynamic_cast<TAddForm&>(d).EditServerAddress->setText("changed.example");
        d.reject();
    });
    form_->BtnEditClick();
    QCOMPARE(Servers[1].Address, std::string("127.0.0.2:1"));
}

void TestMainFormDialogs::editReloadsNewsOnlyForANewChannel()
{
    MakeForm({"Alpha"});
    form_->SelectIndex(0);
    Servers[0].RSSUrl = "http://alpha.example/rss";
    Servers[0].RSSState = rssLoaded;
    driver_.Arm(TypeServer({}, kLoopback));
    form_->BtnEditClick();
    QCOMPARE(Servers[0].RSSState, std::uint8_t(rssLoaded));
    // Letter case counts.
    driver_.Arm(TypeServer({}, kLoopback, "http://alpha.example/RSS"));
    form_->BtnEditClick();
    QCOMPARE(Servers[0].RSSUrl, std::string("http://alpha.example/RSS"));
    // To be fetched, or already being fetched by the news view that the panel's refresh renders.
    QVERIFY(Servers[0].RSSState == rssNotLoaded || Servers[0].RSSState == rssLoading);
}

void TestMainFormDialogs::editAndRemoveWithoutSelectionDoNothing()
{
    MakeForm({"Alpha"});
    form_->SelectIndex(-1);
    driver_.Arm(Cancel());
    form_->BtnEditClick();
    form_->BtnRemoveClick();
    QTest::qWait(50);
    QVERIFY(driver_.Met().isEmpty());
    QVERIFY(shown_.empty());
    QCOMPARE(ListNames(), QStringList{"Alpha"});
    driver_ = TDialogDriver();
}

void TestMainFormDialogs::removeSelectsTheRowAbove_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("selected");
    QTest::newRow("first of three") << QStringList{"A", "B", "C"} << 0 << 0;
    QTest::newRow("middle of three") << QStringList{"A", "B", "C"} << 1 << 0;
    QTest::newRow("third of three") << QStringList{"A", "B", "C"} << 2 << 1;
    QTest::newRow("only one") << QStringList{"A"} << 0 << -1;
}

void TestMainFormDialogs::removeSelectsTheRowAbove()
{
    QFETCH(QStringList, names);
    QFETCH(int, removed);
    QFETCH(int, selected);
    MakeForm(names);
    form_->SelectIndex(removed);
    form_->BtnRemoveClick();
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].text, QString("Do you wish to remove server %1?").arg(names[removed]));
    QCOMPARE(shown_[0].caption, QString("Question"));
    QCOMPARE(shown_[0].owner, QString("MainForm"));
    QStringList left = names;
    left.removeAt(removed);
    QCOMPARE(ListNames(), left);
    QCOMPARE(form_->SelectedIndex(), selected);
    // Gone from the file at once; the others stay in their order.
    const std::string file = ini_->Read();
    QVERIFY(file.find("[" + names[removed].toStdString() + "]") == std::string::npos);
    std::size_t at = 0;
    for (const QString& n : left) {
        std::size_t found = file.find("[" + n.toStdString() + "]");
        QVERIFY(found != std::string::npos && found >= at);
        at = found;
    }
    // The removed name can be added again in the same run.
    driver_.Arm(TypeServer(names[removed], kLoopback));
    form_->BtnAddClick();
    QCOMPARE(ListNames().last(), names[removed]);
}

void TestMainFormDialogs::removeAnsweredNoChangesNothing()
{
    MakeForm({"A", "B"});
    form_->SelectIndex(1);
    const std::string before = ini_->Read();
    answers_.push_back(IDNO);
    form_->BtnRemoveClick();
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(ListNames(), (QStringList{"A", "B"}));
    QCOMPARE(form_->SelectedIndex(), 1);
    QCOMPARE(ini_->Read(), before);
}

void TestMainFormDialogs::keypadKeysReachTheCommands()
{
    MakeForm({"A"});
    form_->SelectIndex(0);
    QWidget* list = form_->ServerList();
    driver_.Arm(Cancel());
    QTest::keyClick(list, Qt::Key_Plus, Qt::KeypadModifier);
    driver_.Arm(Cancel());
    QTest::keyClick(list, Qt::Key_Asterisk, Qt::KeypadModifier);
    QCOMPARE(driver_.Met(), (QStringList{"AddForm", "AddForm"}));
    answers_.push_back(IDNO);
    QTest::keyClick(list, Qt::Key_Minus, Qt::KeypadModifier);
    QCOMPARE(shown_.size(), std::size_t(1));
    // The same keys off the keypad do nothing.
    QTest::keyClick(list, Qt::Key_Minus);
    QCOMPARE(shown_.size(), std::size_t(1));
}

void TestMainFormDialogs::movesAreWrittenAtOnce()
{
    MakeForm({"A", "B", "C"});
    auto order = [this] {
        const std::string file = ini_->Read();
        return QList<std::size_t>{file.find("[A]"), file.find("[B]"), file.find("[C]")};
    };
    form_->SelectIndex(2);
    form_->BtnUpClick();
    QList<std::size_t> at = order();
    QVERIFY(at[0] < at[2] && at[2] < at[1]);
    form_->SelectIndex(0);
    form_->BtnDownClick();
    at = order();
    QVERIFY(at[2] < at[0] && at[0] < at[1]);
    QCOMPARE(ListNames(), (QStringList{"C", "A", "B"}));
    // At the ends nothing moves, and nothing is written.
    const std::string before = ini_->Read();
    form_->SelectIndex(0);
    form_->BtnUpClick();
    form_->SelectIndex(2);
    form_->BtnDownClick();
    QCOMPARE(ini_->Read(), before);
}

void TestMainFormDialogs::unwritableListIsSaidOnce()
{
    MakeForm({"A"});
    // A folder where the file should be: it can be neither read nor replaced, even by root.
    QVERIFY(QFile::remove(QString::fromStdString(ini_->Path())));
    QVERIFY(QDir().mkdir(QString::fromStdString(ini_->Path())));
    driver_.Arm(TypeServer("B", kLoopback));
    form_->BtnAddClick();
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(shown_[0].caption, QString("Warning"));
    QCOMPARE(shown_[0].text, ToQString(LoadText(TTextId::ListNotWritten)));
    // The change stands in the list all the same, and the next failure is not said again.
    QCOMPARE(ListNames(), (QStringList{"A", "B"}));
    driver_.Arm(TypeServer("C", kLoopback));
    form_->BtnAddClick();
    QCOMPARE(shown_.size(), std::size_t(1));
    QCOMPARE(ListNames(), (QStringList{"A", "B", "C"}));
}

void TestMainFormDialogs::settingsSavedOrCancelled()
{
    MakeForm({"A"});
    TMainSettings values = settings_.Values();
    values.WoWPath = "/games/WoW.exe";
    values.Timeout = 3000;
    settings_.Apply(values);
    driver_.Arm([](QDialog& d) {
        auto& f = dynamic_cast<TSettingsForm&>(d);
        f.EditWoWPath->setText("/elsewhere/Wow.exe");
        f.SpinTimeout->stepUp();
        f.reject();
    });
    form_->ItemSettingsClick();
    QCOMPARE(driver_.Met(), QStringList{"SettingsForm"});
    QCOMPARE(settings_.Values().WoWPath, std::string("/games/WoW.exe"));
    QCOMPARE(settings_.Values().Timeout, 3000);

    driver_.Arm([](QDialog& d) {
        auto& f = dynamic_cast<TSettingsForm&>(d);
        f.EditWoWPath->setText("/elsewhere/Wow.exe");
        f.SpinTimeout->stepUp();
        f.btnSave->click();
    });
    form_->ItemSettingsClick();
    QCOMPARE(settings_.Values().WoWPath, std::string("/elsewhere/Wow.exe"));
    QCOMPARE(settings_.Values().Timeout, 3100);
}

QTEST_MAIN(TestMainFormDialogs)
#include "test_mainfm_dialogs.moc"
