// The main window's life cycle: what it loads when created, keys in the list, what it saves at the end.
#include "core/ini.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "news/newsservice.h"
#include "support/testsupport.h"
#include "ui/mainfm.h"
#include "ui/msgbox.h"

#include "ui/ListBoxEx.h"
#include "ui/aboutfm.h"
#include "ui/skinfont.h"
#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
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
    void oneFaceAtTheLayoutsSizes();
    void menuStaysWithinTheWindowsColumns();

private:
    std::unique_ptr<TScratchIni> scratch_;
    TSettings settings_;
    // Outlives every window the tests make, as the program's does.
    TProbeService probes_{[this] { return settings_.Values().Timeout; }};
    TNewsService news_;
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
    QTRY_COMPARE_WITH_TIMEOUT(probes_.RunningCount(), 0, 10000);
}

void TestMainForm::listsServersAndRestoresSelection()
{
    scratch_->Write("[Main]\nServerIndex=2\nSaveWindowPos=1\nWindowPosX=40\nWindowPosY=50\n"
                    "[One]\nAddress=127.0.0.1:1\n[Two]\nAddress=127.0.0.1:1\n[Three]\nAddress=127.0.0.1:1\n");
    TMainForm form(settings_, probes_, news_);
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
        TMainForm form(settings_, probes_, news_);
        QCOMPARE(form.SelectedIndex(), 0);
    }
    ResetServers();
    scratch_->Write("[Main]\nServerIndex=0\n");
    TMainForm empty(settings_, probes_, news_);
    QCOMPARE(empty.SelectedIndex(), -1);
}

void TestMainForm::escapeClosesAndDestructionSaves()
{
    scratch_->Write(
        "[Main]\nFullInfo=1\nPanel=0\nUnknownKey=stays\n[One]\nAddress=127.0.0.1:1\n[Two]\nAddress=127.0.0.1:1\n");
    auto form = std::make_unique<TMainForm>(settings_, probes_, news_);
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
    TMainForm form(settings_, probes_, news_);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* close = form.findChild<QAbstractButton*>("BtnClose");
    QVERIFY(close);
    QVERIFY(close->toolTip().startsWith(QString::fromStdString(LoadText(TTextId::HintClose)) + u'\n'));
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
    auto form = std::make_unique<TMainForm>(settings_, probes_, news_);
    QVERIFY(AddServer({.Name = "Two", .Address = "127.0.0.1:1"}));
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
    auto form = std::make_unique<TMainForm>(settings_, probes_, news_);
    QCOMPARE(form->ServerList()->Count(), 1);
    QVERIFY(AddServer({.Name = "Two", .Address = "127.0.0.1:1"}));
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

void TestMainForm::oneFaceAtTheLayoutsSizes()
{
    scratch_->Write("[Main]\n[One]\nAddress=127.0.0.1:1\n");
    TMainForm form(settings_, probes_, news_);
    TAboutForm about;
    // What the desktop really draws with, not what was asked for: a missing face is quietly replaced.
    const QString family = QFontInfo(form.font()).family();
    QCOMPARE(family, SkinFontFamily());
    QList<QWidget*> widgets = form.findChildren<QWidget*>();
    widgets << form.Frame()->Menu() << &about << about.findChildren<QWidget*>();
    for (QWidget* widget : widgets)
        QVERIFY2(QFontInfo(widget->font()).family() == family,
                 qPrintable(widget->objectName() + QStringLiteral(": ") + QFontInfo(widget->font()).family()));
    QCOMPARE(form.font().pixelSize(), kSkinTextPx);
    QCOMPARE(form.ServerList()->font().pixelSize(), kSkinListPx);
    QVERIFY(form.ServerList()->font().bold());
    QCOMPARE(form.findChild<QLabel*>("Status")->font().pixelSize(), kSkinStatusPx);
    QCOMPARE(about.findChild<QLabel*>("Label1")->font().pixelSize(), kSkinTitlePx);
}

void TestMainForm::menuStaysWithinTheWindowsColumns()
{
    // Centred on the menu button at 74 of a window 261 wide, a menu 230 wide would start 41 left of it.
    QCOMPARE(MenuTopLeft({100 + 74, 400}, 230, 100, 261), QPoint(100, 400));
    QCOMPARE(MenuTopLeft({100 + 240, 400}, 230, 100, 261), QPoint(100 + 261 - 230, 400));
    QCOMPARE(MenuTopLeft({100 + 130, 400}, 100, 100, 261), QPoint(100 + 80, 400));
    // Wider than the window: it starts where the window starts.
    QCOMPARE(MenuTopLeft({100 + 74, 400}, 300, 100, 261), QPoint(100, 400));
}

QTEST_MAIN(TestMainForm)
#include "test_mainfm.moc"
