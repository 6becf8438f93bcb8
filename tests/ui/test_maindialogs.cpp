// The dialogs' side of the server list on its own: which change each accepted dialog reports, that a
// cancelled or refused one reports none, and that a list that cannot be written is said once.
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "support/testsupport.h"
#include "ui/addfm.h"
#include "ui/dialogdriver.h"
#include "ui/maindialogs.h"
#include "ui/msgbox.h"
#include "ui/settingsfm.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

class TestMainDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void addReportsTheNewIdentityAndWrites();
    void editAndRemoveReportTheirServer();
    void cancelledOrUnknownReportsNothing();
    void settingsReportedOnlyWhenSaved();
    void unwritableListIsSaidOncePerRun();

private:
    // Servers read from tavix.ini, so each has its identity.
    void LoadList(const QStringList& names);
    std::uint64_t IdOf(const std::string& name) const { return Servers[FindServer(name)].Id; }

    std::unique_ptr<TScratchIni> ini_;
    std::unique_ptr<QWidget> window_;
    std::unique_ptr<TMainDialogs> dialogs_;
    TSettings settings_;
    std::unique_ptr<QSignalSpy> added_, changed_, removed_;
    QStringList shown_;
    TDialogDriver driver_;
};

void TestMainDialogs::initTestCase()
{
    InitLocalization();
    QApplication::setQuitOnLastWindowClosed(false);
    SetMessageHook([this](const TMessageRequest& r) {
        shown_ << r.text;
        return r.yesNo ? IDYES : IDOK;
    });
}

void TestMainDialogs::init()
{
    ini_ = std::make_unique<TScratchIni>();
    window_ = std::make_unique<QWidget>();
    window_->setObjectName("Window");
    dialogs_ = std::make_unique<TMainDialogs>(window_.get(), settings_);
    dialogs_->setParent(nullptr);
    added_ = std::make_unique<QSignalSpy>(dialogs_.get(), &TMainDialogs::serverAdded);
    changed_ = std::make_unique<QSignalSpy>(dialogs_.get(), &TMainDialogs::serverChanged);
    removed_ = std::make_unique<QSignalSpy>(dialogs_.get(), &TMainDialogs::serverRemoved);
    shown_.clear();
    driver_ = TDialogDriver();
}

void TestMainDialogs::cleanup()
{
    added_.reset();
    changed_.reset();
    removed_.reset();
    dialogs_.reset();
    window_.reset();
    ini_.reset();
}

void TestMainDialogs::LoadList(const QStringList& names)
{
    std::string file;
    for (const QString& n : names)
        file += "[" + n.toStdString() + "]\nAddress=127.0.0.1:1\n";
    ini_->Write(file);
    QVERIFY(LoadServers());
}

void TestMainDialogs::addReportsTheNewIdentityAndWrites()
{
    LoadList({"Alpha"});
    driver_.Arm([](QDialog& d) {
        auto& f = dynamic_cast<TAddForm&>(d);
        f.EditServerName->setText("Beta");
        f.EditServerAddress->setText("127.0.0.1:1");
        f.BtnAdd->click();
    });
    dialogs_->Add();
    QCOMPARE(added_->size(), 1);
    QCOMPARE(added_->at(0).at(0).value<std::uint64_t>(), IdOf("Beta"));
    QVERIFY(ini_->Read().find("[Beta]") != std::string::npos);
    QVERIFY(shown_.isEmpty());
}

void TestMainDialogs::editAndRemoveReportTheirServer()
{
    LoadList({"A", "B", "C"});
    const std::uint64_t b = IdOf("B");
    driver_.Arm([](QDialog& d) {
        auto& f = dynamic_cast<TAddForm&>(d);
        QCOMPARE(f.EditServerName->text(), QString("B"));
        f.EditServerAddress->setText("127.0.0.2:1");
        f.BtnAdd->click();
    });
    dialogs_->Edit(b);
    QCOMPARE(changed_->size(), 1);
    QCOMPARE(changed_->at(0).at(0).value<std::uint64_t>(), b);
    QVERIFY(ini_->Read().find("[B]\nAddress=127.0.0.2:1\n") != std::string::npos);

    dialogs_->Remove(b);
    QCOMPARE(shown_, QStringList{"Do you wish to remove server B?"});
    // Its row: the second.
    QCOMPARE(removed_->size(), 1);
    QCOMPARE(removed_->at(0).at(0).toInt(), 1);
    QVERIFY(ini_->Read().find("[B]") == std::string::npos);
    // A removed entry is nobody's to edit or remove again.
    dialogs_->Remove(b);
    QCOMPARE(shown_.size(), 1);
}

void TestMainDialogs::cancelledOrUnknownReportsNothing()
{
    LoadList({"A"});
    const std::string before = ini_->Read();
    driver_.Arm([](QDialog& d) { d.reject(); });
    dialogs_->Add();
    driver_.Arm([](QDialog& d) { d.reject(); });
    dialogs_->Edit(IdOf("A"));
    QCOMPARE(driver_.Met(), (QStringList{"AddForm", "AddForm"}));
    // No identity: no dialog and no question.
    dialogs_->Edit(0);
    dialogs_->Remove(0);
    dialogs_->Remove(IdOf("A") + 100);
    QVERIFY(shown_.isEmpty());
    QCOMPARE(added_->size() + changed_->size() + removed_->size(), 0);
    QCOMPARE(ini_->Read(), before);
    driver_ = TDialogDriver();
}

void TestMainDialogs::settingsReportedOnlyWhenSaved()
{
    int heard = 0;
    const TSettingsSubscription listening = settings_.Subscribe([&heard] { ++heard; });
    driver_.Arm([](QDialog& d) {
        dynamic_cast<TSettingsForm&>(d).EditWoWPath->setText("/cancelled/WoW.exe");
        d.reject();
    });
    dialogs_->EditSettings();
    QCOMPARE(heard, 0);
    QVERIFY(settings_.Values().WoWPath.empty());
    driver_.Arm([](QDialog& d) {
        auto& form = dynamic_cast<TSettingsForm&>(d);
        form.EditWoWPath->setText("/games/WoW.exe");
        form.btnSave->click();
    });
    dialogs_->EditSettings();
    QCOMPARE(driver_.Met(), (QStringList{"SettingsForm", "SettingsForm"}));
    QCOMPARE(heard, 1);
    QCOMPARE(settings_.Values().WoWPath, std::string("/games/WoW.exe"));
}

void TestMainDialogs::unwritableListIsSaidOncePerRun()
{
    LoadList({"A"});
    // A folder where the file should be: it can be neither read nor replaced, even by root.
    QVERIFY(QFile::remove(QString::fromStdString(ini_->Path())));
    QVERIFY(QDir().mkdir(QString::fromStdString(ini_->Path())));
    QVERIFY(!dialogs_->SaveServersNow());
    QVERIFY(!dialogs_->SaveServersNow());
    QCOMPARE(shown_, QStringList{ToQString(LoadText(TTextId::ListNotWritten))});
    // A new window says it again.
    TMainDialogs next(window_.get(), settings_);
    QVERIFY(!next.SaveServersNow());
    QCOMPARE(shown_.size(), 2);
}

QTEST_MAIN(TestMainDialogs)
#include "test_maindialogs.moc"
