// The main window's life cycle: what it loads when created, keys in the list, what it saves at the end.
#include "core/ini_u.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings_u.h"
#include "monitor/connection_u.h"
#include "support/testsupport.h"
#include "ui/mainfm.h"
#include "ui/msgbox_u.h"

#include "ui/ListBoxEx.h"
#include <QAbstractButton>
#include <QtTest>
#include <memory>

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { InitLocalization(); }
    void init();
    void cleanup();
    void listsServersAndRestoresSelection();
    void storedIndexOutsideListSelectsFirst();
    void escapeClosesAndDestructionSaves();
    void closeButtonCloses();
    void settingsErrorSkipsServerSave();
    void failedSaveIsToldOnceAndKeepsTheFile();

private:
    std::unique_ptr<TScratchIni> scratch_;
};

void TestMainForm::init()
{
    scratch_ = std::make_unique<TScratchIni>();
    FirstShow = true;
    FirstIdle = true;
    AppClosing = false;
}

void TestMainForm::cleanup()
{
    // The first idle moment probes every server; as at the program's end, let those probes finish.
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), 10000);
}

void TestMainForm::listsServersAndRestoresSelection()
{
    scratch_->Write("[Main]\nServerIndex=2\nSaveWindowPos=1\nWindowPosX=40\nWindowPosY=50\n"
                    "[One]\nAddress=127.0.0.1:1\n[Two]\nAddress=127.0.0.1:1\n[Three]\nAddress=127.0.0.1:1\n");
    TMainForm form;
    QCOMPARE(form.ServerList()->Count(), 3);
    QCOMPARE(form.ServerList()->Item(0), QString("One"));
    QCOMPARE(form.ServerList()->Item(2), QString("Three"));
    QCOMPARE(form.SelectedIndex(), 2);
    QCOMPARE(form.pos(), QPoint(40, 50));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!FirstShow);
    QTRY_VERIFY(!FirstIdle);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form.ServerList()));
}

void TestMainForm::storedIndexOutsideListSelectsFirst()
{
    scratch_->Write("[Main]\nServerIndex=2\n[One]\nAddress=127.0.0.1:1\n[Two]\nAddress=127.0.0.1:1\n");
    {
        TMainForm form;
        QCOMPARE(form.SelectedIndex(), 0);
    }
    ResetServers();
    scratch_->Write("[Main]\nServerIndex=0\n");
    TMainForm empty;
    QCOMPARE(empty.SelectedIndex(), -1);
}

void TestMainForm::escapeClosesAndDestructionSaves()
{
    scratch_->Write(
        "[Main]\nFullInfo=1\nPanel=0\nUnknownKey=stays\n[One]\nAddress=127.0.0.1:1\n[Two]\nAddress=127.0.0.1:1\n");
    auto form = std::make_unique<TMainForm>();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->SelectIndex(1);
    QVERIFY(SwapServers(0, 1)); // what moving a server does to the array
    QTest::keyClick(form->ServerList(), Qt::Key_Escape);
    QVERIFY(!form->isVisible());
    QVERIFY(AppClosing);
    form.reset();
    TIniFile ini(scratch_->Path());
    QVERIFY(ini.Load());
    QCOMPARE(ini.ReadInteger("Main", "ServerIndex", -1), 1);
    QCOMPARE(ini.ReadInteger("Main", "FullInfo", -1), 1);
    QCOMPARE(ini.ReadInteger("Main", "Panel", -1), 0);
    QCOMPARE(ini.ReadString("Main", "UnknownKey", ""), std::string("stays"));
    QCOMPARE(ini.SectionNames(), (std::vector<std::string>{"Main", "Two", "One"}));
}

void TestMainForm::closeButtonCloses()
{
    scratch_->Write("[One]\nAddress=127.0.0.1:1\n");
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* close = form.findChild<QAbstractButton*>("BtnClose");
    QVERIFY(close);
    QCOMPARE(close->toolTip(), QString::fromStdString(LoadText(2001)));
    QCOMPARE(close->geometry(), QRect(232, 16, 16, 16));
    auto* refresh = form.findChild<QTimer*>("RefreshTimer");
    QVERIFY(refresh && refresh->isActive());
    close->click();
    QVERIFY(!form.isVisible());
    QVERIFY(AppClosing);
    QVERIFY(!refresh->isActive());
}

void TestMainForm::settingsErrorSkipsServerSave()
{
    scratch_->Write("[One]\nAddress=127.0.0.1:1\n");
    auto form = std::make_unique<TMainForm>();
    QVERIFY(AddServer("Two", "127.0.0.1:1", "", "", "", "", "", 0, false, ""));
    // The file turns into a folder: nothing can be written any more, and nothing must crash.
    QVERIFY(QFile::remove(QString::fromStdString(scratch_->Path())));
    QVERIFY(QDir().mkdir(QString::fromStdString(scratch_->Path())));
    QVERIFY(!form->SaveSettings());
    int told = 0;
    SetMessageHook([&](const TMessageRequest&) { return ++told, IDOK; });
    form.reset();
    SetMessageHook({});
    QCOMPARE(told, 1);
    QVERIFY(QFileInfo(QString::fromStdString(scratch_->Path())).isDir());
}

void TestMainForm::failedSaveIsToldOnceAndKeepsTheFile()
{
    const std::string content = "[Main]\nTimeout=2000\n[One]\nAddress=127.0.0.1:1\n";
    scratch_->Write(content);
    const QString path = QString::fromStdString(scratch_->Path());
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    auto form = std::make_unique<TMainForm>();
    QCOMPARE(form->ServerList()->Count(), 1);
    QVERIFY(AddServer("Two", "127.0.0.1:1", "", "", "", "", "", 0, false, ""));
    std::vector<TMessageRequest> told;
    SetMessageHook([&](const TMessageRequest& request) {
        told.push_back(request);
        return IDOK;
    });
    form.reset();
    SetMessageHook({});
    QCOMPARE(told.size(), std::size_t(1));
    QCOMPARE(told[0].icon, TMsgIcon::Error);
    QVERIFY2(told[0].text.contains(path), qPrintable(told[0].text));
    // Read-only stays read-only and unchanged, the stamp of the start included.
    QCOMPARE(scratch_->Read(), content);
    QCOMPARE(QFileInfo(path).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther),
             QFile::Permissions());
}

QTEST_MAIN(TestMainForm)
#include "test_mainfm.moc"
