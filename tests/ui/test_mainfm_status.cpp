// The main window's status display, refresh cycle and notification-area icon, driven by real probes
// of loopback servers.
#include "../monitor/probe_fixtures.h"
#include "core/localization_u.h"
#include "core/settings_u.h"
#include "monitor/probeservice.h"
#include "monitor/status_u.h"
#include "news/newsservice.h"
#include "support/testsupport.h"
#include "ui/ListBoxEx.h"
#include "ui/mainfm.h"
#include "ui/skinfont.h"

#include <QAbstractButton>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtTest>

using namespace probetest;

namespace {

constexpr int kTestTimeoutMs = 1000;
constexpr int kProbeBoundMs = 2 * kTestTimeoutMs + 1500;

QColor TextColor(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

bool TrayAvailable()
{
    return true;
}

bool NoTray()
{
    return false;
}

} // namespace

class TestMainFormStatus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void labelsArePlacedAndHiddenUntilSelection();
    void selectingAServerShowsCheckingThenOnline();
    void refusedServerShowsOffline();
    void pingColoursFollowTheThresholds_data();
    void pingColoursFollowTheThresholds();
    void changesAreAnnouncedOnlyFromTheTray();
    void minimizingWithoutANotificationAreaKeepsTheWindowReachable();
    void minimizingWithoutSelectionShowsTheEmblem();
    void trayToolTipFollowsTheSelectedServer();
    void minimizingFromTheTaskbarGoesToTheTray();
    void everyMoveOfTheSelectionShowsTheNewServerAtOnce();
    void refreshTimerReprobesOnlyASelectedServer();
    void refreshAllProbesEveryServer();
    void firstShowAndIdleStartTheCycle();
    void closingWhileProbesRunEndsWithinTheBound();

private:
    // Writes one server per address, then makes the window that loads them.
    TMainForm* MakeForm(const std::vector<std::string>& addresses);

    TScratchIni* scratch_ = nullptr;
    TSettings settings_;
    TProbeService probes_{[this] { return settings_.Values().Timeout; }};
    TNewsService news_;
    TMainForm* form_ = nullptr;
};

TMainForm* TestMainFormStatus::MakeForm(const std::vector<std::string>& addresses)
{
    std::string ini = "[Main]\nTimeout=" + std::to_string(kTestTimeoutMs) + "\n";
    for (std::size_t i = 0; i < addresses.size(); ++i)
        ini += "[Server " + std::to_string(i) + "]\nAddress=" + addresses[i] + "\n";
    scratch_->Write(ini);
    form_ = new TMainForm(settings_, probes_, news_);
    return form_;
}

void TestMainFormStatus::initTestCase()
{
    // The artwork lives in a static library, whose resources the linker would otherwise leave out.
    Q_INIT_RESOURCE(korvan);
    InitLocalization();
}

void TestMainFormStatus::init()
{
    scratch_ = new TScratchIni;
    LastAnnouncedStatus = 0;
}

void TestMainFormStatus::cleanup()
{
    QTRY_COMPARE_WITH_TIMEOUT(probes_.RunningCount(), 0, kProbeBoundMs);
    delete form_;
    form_ = nullptr;
    delete scratch_;
}

void TestMainFormStatus::labelsArePlacedAndHiddenUntilSelection()
{
    TMainForm* form = MakeForm({"127.0.0.1:1"});
    form->SelectIndex(-1);
    form->RefreshServerVisibleStatus();
    const QLabel* labels[] = {form->LabStatus, form->Status, form->labPing, form->Ping};
    const QPoint places[] = {{18, 213}, {61, 213}, {116, 213}, {149, 213}};
    for (int i = 0; i < 4; ++i) {
        QVERIFY(labels[i]->isHidden());
        QCOMPARE(labels[i]->pos(), places[i]);
        QCOMPARE(labels[i]->font().family(), SkinFontFamily());
        QCOMPARE(labels[i]->font().pixelSize(), 12);
        QCOMPARE(labels[i]->font().bold(), i % 2 == 1);
    }
    QCOMPARE(form->LabStatus->text(), QString("Status:"));
    QCOMPARE(form->labPing->text(), QString("Ping:"));
    QCOMPARE(TextColor(form->LabStatus), QColor(0xF7, 0xCD, 0x28));
    QCOMPARE(TextColor(form->labPing), QColor(0xF7, 0xCD, 0x28));
    QVERIFY(form->LabStatus->autoFillBackground());
    QCOMPARE(form->LabStatus->palette().color(QPalette::Window), QColor(0x19, 0x19, 0x19));
    QCOMPARE(form->BtnMinimize->geometry(), QRect(212, 16, 16, 16));
}

void TestMainFormStatus::selectingAServerShowsCheckingThenOnline()
{
    TLoopbackListener server;
    TMainForm* form = MakeForm({server.Address()});
    form->SelectIndex(0);
    form->ListMouseDown();
    QCOMPARE(form->Status->text(), QString("Checking"));
    QCOMPARE(TextColor(form->Status), QColor(0x80, 0x80, 0x80));
    QVERIFY(!form->Status->isHidden());
    QVERIFY(form->Ping->isHidden());
    QVERIFY(form->labPing->isHidden());
    QCOMPARE(form->trayImage_, int(tiChecking));
    QVERIFY(form->RefreshTimer->isActive());
    QCOMPARE(form->RefreshTimer->interval(), 10000);

    QTRY_COMPARE_WITH_TIMEOUT(probes_.RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(form->Status->text(), QString("Online"));
    QCOMPARE(TextColor(form->Status), QColor(0x00, 0xFF, 0x00));
    QVERIFY(!form->Ping->isHidden());
    if (EchoAvailable()) {
        QVERIFY(form->Ping->text().endsWith("ms"));
        QVERIFY(form->Ping->text().chopped(2).toInt() >= 1);
    } else {
        QCOMPARE(form->Ping->text(), QString("?"));
    }
    QCOMPARE(form->trayImage_, int(tiOnline));
    QCOMPARE(LastAnnouncedStatus, std::uint8_t(ssOnline));
    // The completion of the selected server's probe re-arms the cycle.
    QVERIFY(form->RefreshTimer->isActive());
}

void TestMainFormStatus::refusedServerShowsOffline()
{
    TMainForm* form = MakeForm({"127.0.0.1:" + std::to_string(ClosedPort())});
    form->SelectIndex(0);
    form->ListMouseDown();
    QTRY_COMPARE_WITH_TIMEOUT(probes_.RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(form->Status->text(), QString("Offline"));
    QCOMPARE(TextColor(form->Status), QColor(0xFF, 0x00, 0x00));
    QVERIFY(form->Ping->isHidden());
    QVERIFY(form->labPing->isHidden());
    QCOMPARE(form->trayImage_, int(tiOffline));
    QCOMPARE(LastAnnouncedStatus, std::uint8_t(ssOffline));
}

void TestMainFormStatus::pingColoursFollowTheThresholds_data()
{
    QTest::addColumn<int>("ping");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("no reply") << -1 << "?" << QColor(0x80, 0x80, 0x80);
    QTest::newRow("1") << 1 << "1ms" << QColor(0x00, 0xFF, 0x00);
    QTest::newRow("250") << 250 << "250ms" << QColor(0x00, 0xFF, 0x00);
    QTest::newRow("251") << 251 << "251ms" << QColor(0xFF, 0xFF, 0x00);
    QTest::newRow("500") << 500 << "500ms" << QColor(0xFF, 0xFF, 0x00);
    QTest::newRow("501") << 501 << "501ms" << QColor(0xFF, 0x00, 0x00);
}

void TestMainFormStatus::pingColoursFollowTheThresholds()
{
    QFETCH(int, ping);
    QFETCH(QString, text);
    QFETCH(QColor, colour);
    TMainForm* form = MakeForm({"127.0.0.1:1"});
    form->SelectIndex(0);
    Servers[0].Status = ssOnline;
    Servers[0].Ping = ping;
    form->RefreshServerVisibleStatus();
    QCOMPARE(form->Ping->text(), text);
    QCOMPARE(TextColor(form->Ping), colour);
    QVERIFY(!form->Ping->isHidden());
}

void TestMainFormStatus::changesAreAnnouncedOnlyFromTheTray()
{
    TMainForm* form = MakeForm({"127.0.0.1:1"});
    form->trayAvailable_ = &TrayAvailable;
    form->show();
    form->SelectIndex(0);
    Servers[0].Status = ssOnline;
    Servers[0].Ping = 5;
    form->RefreshServerVisibleStatus();
    // Visible window: no announcement, though the state is remembered.
    Servers[0].Status = ssOffline;
    form->RefreshServerVisibleStatus();
    QCOMPARE(form->announcements_, 0);
    QCOMPARE(LastAnnouncedStatus, std::uint8_t(ssOffline));

    form->BtnMinimizeClick();
    QVERIFY(form->isHidden());
    QVERIFY(form->TrayShown());
    QCOMPARE(form->trayImage_, int(tiOffline));
    // Offline, then a probe's checking state, then online: one announcement of the change.
    Servers[0].Status = ssChecking;
    form->RefreshServerVisibleStatus();
    QCOMPARE(form->trayImage_, int(tiChecking));
    Servers[0].Status = ssOnline;
    form->RefreshServerVisibleStatus();
    QCOMPARE(form->announcements_, 1);
    QCOMPARE(form->announcedIcon_, int(QSystemTrayIcon::Information));
    QCOMPARE(form->trayImage_, int(tiOnline));
    form->RefreshServerVisibleStatus();
    QCOMPARE(form->announcements_, 1);
    Servers[0].Status = ssOffline;
    form->RefreshServerVisibleStatus();
    QCOMPARE(form->announcements_, 2);
    // Going offline is a warning, not mere information.
    QCOMPARE(form->announcedIcon_, int(QSystemTrayIcon::Warning));

    form->TrayIconClick();
    QVERIFY(!form->TrayShown());
    QVERIFY(form->isVisible());
    Servers[0].Status = ssOnline;
    form->RefreshServerVisibleStatus();
    QCOMPARE(form->announcements_, 2);
}

void TestMainFormStatus::minimizingWithoutANotificationAreaKeepsTheWindowReachable()
{
    TMainForm* form = MakeForm({"127.0.0.1:1"});
    form->trayAvailable_ = &NoTray;
    form->show();
    form->SelectIndex(0);
    Servers[0].Status = ssOnline;
    form->RefreshServerVisibleStatus();
    form->BtnMinimizeClick();
    QVERIFY(form->isVisible());
    QVERIFY(form->isMinimized());
    QVERIFY(!form->TrayShown());
    Servers[0].Status = ssOffline;
    form->RefreshServerVisibleStatus();
    QCOMPARE(form->announcements_, 0);
}

void TestMainFormStatus::minimizingWithoutSelectionShowsTheEmblem()
{
    TMainForm* form = MakeForm({"127.0.0.1:1"});
    form->trayAvailable_ = &TrayAvailable;
    form->show();
    form->SelectIndex(-1);
    form->BtnMinimizeClick();
    QCOMPARE(form->trayImage_, int(tiEmblem));
    QVERIFY(form->isHidden());
    form->TrayIconClick();
}

void TestMainFormStatus::minimizingFromTheTaskbarGoesToTheTray()
{
    TMainForm* form = MakeForm({"127.0.0.1:1"});
    form->trayAvailable_ = &TrayAvailable;
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    form->SelectIndex(0);
    Servers[0].Status = ssOffline;
    form->RefreshServerVisibleStatus();
    const auto announced = LastAnnouncedStatus;
    form->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(form->isHidden());
    QVERIFY(form->TrayShown());
    // Unlike the window's own button, this way does not touch the announcement state.
    QCOMPARE(LastAnnouncedStatus, announced);
    form->TrayIconClick();
    QVERIFY(form->isVisible());
    QVERIFY(!form->isMinimized());

    form->trayAvailable_ = &NoTray;
    form->setWindowState(Qt::WindowMinimized);
    QTest::qWait(50);
    QVERIFY(form->isVisible());
    QVERIFY(!form->TrayShown());
}

void TestMainFormStatus::trayToolTipFollowsTheSelectedServer()
{
    TMainForm* form = MakeForm({"127.0.0.1:1"});
    form->SelectIndex(0);
    Servers[0].Status = ssOnline;
    form->RefreshServerVisibleStatus();
    QCOMPARE(form->TrayIcon->toolTip(), QString("Server 0\nServer is ONLINE"));
    Servers[0].Status = ssOffline;
    form->RefreshServerVisibleStatus();
    QCOMPARE(form->TrayIcon->toolTip(), QString("Server 0\nServer is OFFLINE"));
    Servers[0].Status = ssChecking;
    form->RefreshServerVisibleStatus();
    QCOMPARE(form->TrayIcon->toolTip(), QString("Server 0\nChecking"));
    form->SelectIndex(-1);
    form->RefreshServerVisibleStatus();
    QVERIFY(form->TrayIcon->toolTip().isEmpty());
}

void TestMainFormStatus::everyMoveOfTheSelectionShowsTheNewServerAtOnce()
{
    TMainForm* form = MakeForm({"127.0.0.1:1", "127.0.0.1:2", "127.0.0.1:3", "127.0.0.1:4"});
    // Shown as after start-up, without the first show's probes, which would change the states set below.
    FirstShow = false;
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    const std::uint8_t states[] = {ssOnline, ssOffline, ssOnline, ssOffline};
    for (std::size_t i = 0; i < Servers.size(); ++i) {
        Servers[i].Status = states[i];
        Servers[i].Ping = 20;
    }
    const QLabel* realmlist = form->findChild<QLabel*>("Realmlist");
    QVERIFY(realmlist);
    // What the window shows for the selected server: status line, tray tooltip, panel.
    auto shows = [&](int server) {
        const bool online = states[server] == ssOnline;
        return form->Status->text() == QString(online ? "Online" : "Offline") && !form->Status->isHidden() &&
               form->TrayIcon->toolTip().startsWith(QString("Server %1\n").arg(server)) &&
               realmlist->toolTip() == QString("127.0.0.1:%1").arg(server + 1);
    };
    form->SelectIndex(1);
    QVERIFY(shows(1));
    TListBoxEx* list = form->ServerList();
    // Keys the list moves the selection by without the selection step; no probe runs in between.
    QTest::keyClick(list, Qt::Key_Home);
    QVERIFY(shows(0));
    QTest::keyClick(list, Qt::Key_End);
    QVERIFY(shows(3));
    QTest::keyClick(list, Qt::Key_PageUp);
    QVERIFY(shows(0));
    QTest::keyClick(list, Qt::Key_PageDown);
    QVERIFY(shows(3));
    QCOMPARE(probes_.RunningCount(), 0);

    // A move keeps the same server on show, now one row higher.
    QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
    QCOMPARE(form->SelectedIndex(), 2);
    QVERIFY(shows(3));
    // The row the moved server left now holds another one: selecting it is a change.
    QTest::keyPress(list, Qt::Key_Down);
    QVERIFY(shows(2));
    QTest::keyRelease(list, Qt::Key_Down);
    QTRY_COMPARE_WITH_TIMEOUT(probes_.RunningCount(), 0, kProbeBoundMs);

    // The list read again with another server in the selected row.
    form->SelectIndex(0);
    QVERIFY(shows(0));
    QVERIFY(RemoveServer("Server 0"));
    form->ReloadServerList();
    QCOMPARE(form->SelectedIndex(), 0);
    QVERIFY(form->TrayIcon->toolTip().startsWith("Server 1\n"));
    QCOMPARE(realmlist->toolTip(), QString("127.0.0.1:2"));

    form->SelectIndex(-1);
    QVERIFY(form->Status->isHidden());
    QVERIFY(form->TrayIcon->toolTip().isEmpty());
    QVERIFY(realmlist->text().isEmpty());
}

void TestMainFormStatus::refreshTimerReprobesOnlyASelectedServer()
{
    TLoopbackListener server;
    TMainForm* form = MakeForm({server.Address()});
    form->SelectIndex(-1);
    form->RefreshTimer->start();
    form->RefreshTimerTimer();
    QCOMPARE(probes_.RunningCount(), 0);
    QVERIFY(!form->RefreshTimer->isActive());
    QCOMPARE(form->RefreshTimer->interval(), 10000);

    form->SelectIndex(0);
    form->RefreshTimerTimer();
    QCOMPARE(probes_.RunningCount(), 1);
    QVERIFY(!form->RefreshTimer->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(probes_.RunningCount(), 0, kProbeBoundMs);
    QVERIFY(form->RefreshTimer->isActive());
}

void TestMainFormStatus::refreshAllProbesEveryServer()
{
    TLoopbackListener server;
    TMainForm* form = MakeForm({server.Address(), "127.0.0.1:" + std::to_string(ClosedPort()), server.Address()});
    form->SelectIndex(-1);
    QVERIFY(!form->RefreshTimer->isActive());
    form->BtnRefreshAllClick();
    // With nothing selected the cycle is left as it was.
    QVERIFY(!form->RefreshTimer->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(probes_.RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    QCOMPARE(int(Servers[1].Status), int(ssOffline));
    QCOMPARE(int(Servers[2].Status), int(ssOnline));

    // Loopback probes may end while the later ones are still being started, so the marks tell
    // which servers were probed.
    constexpr std::int32_t kUntouched = 12345;
    for (TServer& s : Servers)
        s.Ping = kUntouched;
    form->SelectIndex(1);
    form->BtnRefreshAllClick();
    QVERIFY(form->RefreshTimer->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(probes_.RunningCount(), 0, kProbeBoundMs);
    for (const TServer& s : Servers)
        QVERIFY(s.Ping != kUntouched);
}

void TestMainFormStatus::firstShowAndIdleStartTheCycle()
{
    TLoopbackListener server;
    TMainForm* form = MakeForm({server.Address(), server.Address()});
    FirstShow = true;
    FirstIdle = true;
    form->show();
    QVERIFY(form->RefreshTimer->isActive());
    QCOMPARE(form->RefreshTimer->interval(), 1000);
    QTRY_VERIFY(!FirstIdle);
    QTRY_COMPARE_WITH_TIMEOUT(probes_.RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    QCOMPARE(int(Servers[1].Status), int(ssOnline));
}

void TestMainFormStatus::closingWhileProbesRunEndsWithinTheBound()
{
    TLoopbackListener silent("127.0.0.1", 0);
    silent.FillBacklog(3);
    TLoopbackListener up;
    TMainForm* form = MakeForm(
        {silent.Address(), up.Address(), "korvan-status-test.invalid", "127.0.0.1:" + std::to_string(ClosedPort())});
    form->SelectIndex(0);
    form->BtnRefreshAllClick();
    // The silent server's probe at least runs until its time-out.
    QVERIFY(probes_.RunningCount() > 0);
    // The window goes first; the probes then complete without it, as at the program's end.
    delete form_;
    form_ = nullptr;
    QTRY_COMPARE_WITH_TIMEOUT(probes_.RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
    QCOMPARE(int(Servers[1].Status), int(ssOnline));
    QCOMPARE(int(Servers[2].Status), int(ssOffline));
    QCOMPARE(int(Servers[3].Status), int(ssOffline));
}

QTEST_MAIN(TestMainFormStatus)
#include "test_mainfm_status.moc"
