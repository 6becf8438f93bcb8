// The status display, refresh cycle and notification-area icon: on their own against a recording
// notification area, and in the main window, driven by real probes of loopback servers.
#include "../monitor/probe_fixtures.h"
#include "core/localization_u.h"
#include "core/settings.h"
#include "monitor/probeservice.h"
#include "monitor/status.h"
#include "news/newsservice.h"
#include "support/testsupport.h"
#include "ui/ListBoxEx.h"
#include "ui/mainfm.h"
#include "ui/skinfont.h"
#include "ui/statusdisplay.h"

#include <QAbstractButton>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtTest>
#include <memory>

using namespace probetest;

namespace {

constexpr int kTestTimeoutMs = 1000;
constexpr int kProbeBoundMs = 2 * kTestTimeoutMs + 1500;
constexpr int kRefreshPeriodMs = 10000;

QColor TextColor(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

// A notification area that records what it is asked to show.
class TRecordingTray : public TTrayIcon
{
public:
    struct TMessage
    {
        QString Title;
        QString Text;
        QSystemTrayIcon::MessageIcon Icon;
    };

    bool IsAvailable = true;
    bool IsShown = false;
    int Image = -1;
    QString ToolTip;
    std::vector<TMessage> Messages;

    bool Available() const override { return IsAvailable; }
    void Show() override { IsShown = true; }
    void Hide() override { IsShown = false; }
    bool Shown() const override { return IsShown; }
    void SetImage(int image) override { Image = image; }
    void SetToolTip(const QString& text) override { ToolTip = text; }
    void ShowMessage(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon, int) override
    {
        Messages.push_back({title, text, icon});
    }
};

} // namespace

class TestMainFormStatus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // The display on its own.
    void showingAServerShowsCheckingThenOnline();
    void refusedServerShowsOffline();
    void pingColoursFollowTheThresholds_data();
    void pingColoursFollowTheThresholds();
    void followsOnlyItsOwnServer();
    void changesAreAnnouncedOnlyFromTheTray();
    void minimizingWithoutANotificationAreaKeepsTheWindowReachable();
    void minimizingWithoutAServerShowsTheEmblem();
    void trayToolTipFollowsTheShownServer();
    void minimizingFromTheTaskbarGoesToTheTray();
    void refreshTimerReprobesOnlyAShownServer();
    void pausedCycleStartsNoProbeUntilResumed();
    void refreshAllProbesEveryServer();

    // In the main window.
    void labelsArePlacedAndHiddenUntilSelection();
    void selectionStepProbesAndRestartsTheCycle();
    void everyMoveOfTheSelectionShowsTheNewServerAtOnce();
    void firstShowAndIdleStartTheCycle();
    void closingWhileProbesRunEndsWithinTheBound();

private:
    // A window of the main window's size with a status display on it, which reports to `tray_`.
    TStatusDisplay* MakeDisplay();
    // Writes one server per address, then makes the window that loads them.
    TMainForm* MakeForm(const std::vector<std::string>& addresses);
    QLabel* Label(const char* name) const;
    QTimer* RefreshTimer() const;

    std::unique_ptr<TScratchIni> scratch_;
    TSettings settings_;
    std::unique_ptr<TProbeService> probes_;
    TNewsService news_;
    std::unique_ptr<QWidget> window_;
    TRecordingTray* tray_ = nullptr;
    TMainForm* form_ = nullptr;
};

TStatusDisplay* TestMainFormStatus::MakeDisplay()
{
    window_ = std::make_unique<QWidget>();
    window_->resize(261, 268);
    auto tray = std::make_unique<TRecordingTray>();
    tray_ = tray.get();
    return new TStatusDisplay(window_.get(), *probes_, std::move(tray));
}

TMainForm* TestMainFormStatus::MakeForm(const std::vector<std::string>& addresses)
{
    // The update schedule has tests of its own: a tick here must not reach for an update list.
    std::string ini = "[Main]\nTimeout=" + std::to_string(kTestTimeoutMs) + "\nCheckUpdates=0\n";
    for (std::size_t i = 0; i < addresses.size(); ++i)
        ini += "[Server " + std::to_string(i) + "]\nAddress=" + addresses[i] + "\n";
    scratch_->Write(ini);
    form_ = new TMainForm(settings_, *probes_, news_);
    window_.reset(form_);
    return form_;
}

QLabel* TestMainFormStatus::Label(const char* name) const
{
    return window_->findChild<QLabel*>(name);
}

QTimer* TestMainFormStatus::RefreshTimer() const
{
    return window_->findChild<QTimer*>("RefreshTimer");
}

void TestMainFormStatus::initTestCase()
{
    // The artwork lives in a static library, whose resources the linker would otherwise leave out.
    Q_INIT_RESOURCE(korvan);
    InitLocalization();
}

void TestMainFormStatus::init()
{
    scratch_ = std::make_unique<TScratchIni>();
    probes_ = std::make_unique<TProbeService>([] { return kTestTimeoutMs; });
}

void TestMainFormStatus::cleanup()
{
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    window_.reset();
    form_ = nullptr;
    tray_ = nullptr;
    probes_.reset();
    scratch_.reset();
}

void TestMainFormStatus::showingAServerShowsCheckingThenOnline()
{
    TLoopbackListener server;
    AddTestServer("up", server.Address());
    TStatusDisplay* display = MakeDisplay();
    display->ShowServer(Servers[0].Id);
    display->RestartRefreshCycle();
    QLabel* status = Label("Status");
    QLabel* ping = Label("Ping");
    QCOMPARE(status->text(), QString("Checking"));
    QCOMPARE(TextColor(status), QColor(0x80, 0x80, 0x80));
    QVERIFY(!status->isHidden());
    QVERIFY(ping->isHidden());
    QVERIFY(Label("labPing")->isHidden());
    QCOMPARE(tray_->Image, int(tiChecking));
    QVERIFY(RefreshTimer()->isActive());
    QCOMPARE(RefreshTimer()->interval(), kRefreshPeriodMs);

    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(status->text(), QString("Online"));
    QCOMPARE(TextColor(status), QColor(0x00, 0xFF, 0x00));
    QVERIFY(!ping->isHidden());
    if (EchoAvailable()) {
        QVERIFY(ping->text().endsWith("ms"));
        QVERIFY(ping->text().chopped(2).toInt() >= 1);
    } else {
        QCOMPARE(ping->text(), QString("?"));
    }
    QCOMPARE(tray_->Image, int(tiOnline));
    QCOMPARE(tray_->ToolTip, QString("up\nServer is ONLINE"));
    // The completion of the shown server's probe re-arms the cycle.
    QVERIFY(RefreshTimer()->isActive());
}

void TestMainFormStatus::refusedServerShowsOffline()
{
    AddTestServer("down", "127.0.0.1:" + std::to_string(ClosedPort()));
    TStatusDisplay* display = MakeDisplay();
    display->ShowServer(Servers[0].Id);
    display->RestartRefreshCycle();
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(Label("Status")->text(), QString("Offline"));
    QCOMPARE(TextColor(Label("Status")), QColor(0xFF, 0x00, 0x00));
    QVERIFY(Label("Ping")->isHidden());
    QVERIFY(Label("labPing")->isHidden());
    QCOMPARE(tray_->Image, int(tiOffline));
    QCOMPARE(tray_->ToolTip, QString("down\nServer is OFFLINE"));
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
    AddTestServer("s", "127.0.0.1:1");
    TStatusDisplay* display = MakeDisplay();
    Servers[0].Status = ssOnline;
    Servers[0].Ping = ping;
    display->ShowServer(Servers[0].Id);
    QCOMPARE(Label("Ping")->text(), text);
    QCOMPARE(TextColor(Label("Ping")), colour);
    QVERIFY(!Label("Ping")->isHidden());
}

void TestMainFormStatus::followsOnlyItsOwnServer()
{
    TLoopbackListener server;
    AddTestServer("shown", "127.0.0.1:" + std::to_string(ClosedPort()));
    AddTestServer("other", server.Address());
    const std::uint64_t shown = Servers[0].Id;
    const std::uint64_t other = Servers[1].Id;
    TStatusDisplay* display = MakeDisplay();
    Servers[0].Status = ssOffline;
    display->ShowServer(shown);
    // Another server's probe neither changes what is shown nor re-arms the cycle.
    probes_->StartProbe(other);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[1].Status), int(ssOnline));
    QCOMPARE(Label("Status")->text(), QString("Offline"));
    QCOMPARE(tray_->ToolTip, QString("shown\nServer is OFFLINE"));
    QVERIFY(!RefreshTimer()->isActive());

    // Its own, wherever the list moved it meanwhile, does both.
    probes_->StartProbe(shown);
    QVERIFY(SwapServers(0, 1));
    QCOMPARE(Label("Status")->text(), QString("Checking"));
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(Label("Status")->text(), QString("Offline"));
    QVERIFY(RefreshTimer()->isActive());

    display->ShowServer(other);
    QCOMPARE(Label("Status")->text(), QString("Online"));
    QCOMPARE(tray_->ToolTip, QString("other\nServer is ONLINE"));
}

void TestMainFormStatus::changesAreAnnouncedOnlyFromTheTray()
{
    AddTestServer("s", "127.0.0.1:1");
    TStatusDisplay* display = MakeDisplay();
    window_->show();
    Servers[0].Status = ssOnline;
    Servers[0].Ping = 5;
    display->ShowServer(Servers[0].Id);
    // Visible window: no announcement, though the state is remembered.
    Servers[0].Status = ssOffline;
    display->RefreshServerVisibleStatus();
    QVERIFY(tray_->Messages.empty());

    display->MinimizeToTray();
    QVERIFY(window_->isHidden());
    QVERIFY(display->TrayShown());
    QCOMPARE(tray_->Image, int(tiOffline));
    // Offline, then a probe's checking state, then online: one announcement of the change.
    Servers[0].Status = ssChecking;
    display->RefreshServerVisibleStatus();
    QCOMPARE(tray_->Image, int(tiChecking));
    Servers[0].Status = ssOnline;
    display->RefreshServerVisibleStatus();
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
    QCOMPARE(tray_->Messages.back().Icon, QSystemTrayIcon::Information);
    QCOMPARE(tray_->Messages.back().Title, QString("s"));
    QCOMPARE(tray_->Image, int(tiOnline));
    display->RefreshServerVisibleStatus();
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
    Servers[0].Status = ssOffline;
    display->RefreshServerVisibleStatus();
    QCOMPARE(tray_->Messages.size(), std::size_t(2));
    // Going offline is a warning, not mere information.
    QCOMPARE(tray_->Messages.back().Icon, QSystemTrayIcon::Warning);

    QSignalSpy clicked(display, &TStatusDisplay::trayIconClicked);
    emit tray_->clicked();
    QCOMPARE(clicked.size(), 1);
    display->RestoreWindow();
    QVERIFY(!display->TrayShown());
    QVERIFY(window_->isVisible());
    Servers[0].Status = ssOnline;
    display->RefreshServerVisibleStatus();
    QCOMPARE(tray_->Messages.size(), std::size_t(2));
}

void TestMainFormStatus::minimizingWithoutANotificationAreaKeepsTheWindowReachable()
{
    AddTestServer("s", "127.0.0.1:1");
    TStatusDisplay* display = MakeDisplay();
    tray_->IsAvailable = false;
    window_->show();
    Servers[0].Status = ssOnline;
    display->ShowServer(Servers[0].Id);
    display->MinimizeToTray();
    QVERIFY(window_->isVisible());
    QVERIFY(window_->isMinimized());
    QVERIFY(!display->TrayShown());
    // Minimized is where the window waits there: the change is announced all the same, and the icon's
    // owner delivers it through the desktop's notification service.
    Servers[0].Status = ssOffline;
    display->RefreshServerVisibleStatus();
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
    QCOMPARE(tray_->Messages.back().Icon, QSystemTrayIcon::Warning);
    // Back on the screen, nothing is announced.
    window_->showNormal();
    QVERIFY(!window_->isMinimized());
    Servers[0].Status = ssOnline;
    display->RefreshServerVisibleStatus();
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
}

void TestMainFormStatus::minimizingWithoutAServerShowsTheEmblem()
{
    AddTestServer("s", "127.0.0.1:1");
    TStatusDisplay* display = MakeDisplay();
    window_->show();
    display->ShowServer(0);
    display->MinimizeToTray();
    QCOMPARE(tray_->Image, int(tiEmblem));
    QVERIFY(window_->isHidden());
    QVERIFY(tray_->ToolTip.isEmpty());
    display->RestoreWindow();
    QVERIFY(window_->isVisible());
}

void TestMainFormStatus::trayToolTipFollowsTheShownServer()
{
    AddTestServer("Server 0", "127.0.0.1:1");
    TStatusDisplay* display = MakeDisplay();
    Servers[0].Status = ssOnline;
    display->ShowServer(Servers[0].Id);
    QCOMPARE(tray_->ToolTip, QString("Server 0\nServer is ONLINE"));
    Servers[0].Status = ssOffline;
    display->RefreshServerVisibleStatus();
    QCOMPARE(tray_->ToolTip, QString("Server 0\nServer is OFFLINE"));
    Servers[0].Status = ssChecking;
    display->RefreshServerVisibleStatus();
    QCOMPARE(tray_->ToolTip, QString("Server 0\nChecking"));
    display->ShowServer(0);
    QVERIFY(tray_->ToolTip.isEmpty());
    QVERIFY(Label("Status")->isHidden());
}

void TestMainFormStatus::minimizingFromTheTaskbarGoesToTheTray()
{
    AddTestServer("s", "127.0.0.1:1");
    TStatusDisplay* display = MakeDisplay();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    Servers[0].Status = ssOnline;
    display->ShowServer(Servers[0].Id);
    // The server went away since the display last looked.
    Servers[0].Status = ssOffline;
    window_->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(window_->isHidden());
    QVERIFY(display->TrayShown());
    // Unlike the window's own button, this way does not touch the announcement state: the change from
    // the state last shown is told.
    display->RefreshServerVisibleStatus();
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
    QCOMPARE(tray_->Messages.back().Icon, QSystemTrayIcon::Warning);
    display->RestoreWindow();
    QVERIFY(window_->isVisible());
    QVERIFY(!window_->isMinimized());

    // The window's own button takes the state as it stands.
    Servers[0].Status = ssOnline;
    display->MinimizeToTray();
    display->RefreshServerVisibleStatus();
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
    display->RestoreWindow();

    tray_->IsAvailable = false;
    window_->setWindowState(Qt::WindowMinimized);
    QTest::qWait(50);
    QVERIFY(window_->isVisible());
    QVERIFY(!display->TrayShown());
}

void TestMainFormStatus::refreshTimerReprobesOnlyAShownServer()
{
    TLoopbackListener server;
    AddTestServer("up", server.Address());
    TStatusDisplay* display = MakeDisplay();
    QSignalSpy ticks(display, &TStatusDisplay::refreshTicked);
    display->ShowServer(0);
    RefreshTimer()->start();
    display->RefreshTimerTimer();
    QCOMPARE(ticks.size(), 1);
    QCOMPARE(probes_->RunningCount(), 0);
    QVERIFY(!RefreshTimer()->isActive());
    QCOMPARE(RefreshTimer()->interval(), kRefreshPeriodMs);

    display->ShowServer(Servers[0].Id);
    display->RefreshTimerTimer();
    QCOMPARE(ticks.size(), 2);
    QCOMPARE(probes_->RunningCount(), 1);
    QVERIFY(!RefreshTimer()->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QVERIFY(RefreshTimer()->isActive());
}

void TestMainFormStatus::pausedCycleStartsNoProbeUntilResumed()
{
    TLoopbackListener server;
    AddTestServer("up", server.Address());
    TStatusDisplay* display = MakeDisplay();
    QSignalSpy ticks(display, &TStatusDisplay::refreshTicked);
    display->ShowServer(Servers[0].Id);
    display->StartRefreshCycle();
    QVERIFY(RefreshTimer()->isActive());
    display->Pause();
    QVERIFY(!RefreshTimer()->isActive());
    // A tick that comes anyway starts nothing, and the end of a probe under way does not re-arm.
    display->RefreshTimerTimer();
    QCOMPARE(ticks.size(), 0);
    QCOMPARE(probes_->RunningCount(), 0);
    probes_->StartProbe(Servers[0].Id);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QVERIFY(!RefreshTimer()->isActive());
    display->RestartRefreshCycle();
    QVERIFY(!RefreshTimer()->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);

    display->Resume();
    QVERIFY(RefreshTimer()->isActive());
    QCOMPARE(RefreshTimer()->interval(), kRefreshPeriodMs);
}

void TestMainFormStatus::refreshAllProbesEveryServer()
{
    TLoopbackListener server;
    AddTestServer("a", server.Address());
    AddTestServer("b", "127.0.0.1:" + std::to_string(ClosedPort()));
    AddTestServer("c", server.Address());
    TStatusDisplay* display = MakeDisplay();
    display->ShowServer(0);
    QVERIFY(!RefreshTimer()->isActive());
    display->RefreshAll();
    // With no server on show the cycle is left as it was.
    QVERIFY(!RefreshTimer()->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOnline));
    QCOMPARE(int(Servers[1].Status), int(ssOffline));
    QCOMPARE(int(Servers[2].Status), int(ssOnline));

    // Loopback probes may end while the later ones are still being started, so the marks tell
    // which servers were probed.
    constexpr std::int32_t kUntouched = 12345;
    for (TServer& s : Servers)
        s.Ping = kUntouched;
    display->ShowServer(Servers[1].Id);
    display->RefreshAll();
    QVERIFY(RefreshTimer()->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    for (const TServer& s : Servers)
        QVERIFY(s.Ping != kUntouched);
}

void TestMainFormStatus::labelsArePlacedAndHiddenUntilSelection()
{
    TMainForm* form = MakeForm({"127.0.0.1:1"});
    form->SelectIndex(-1);
    form->RefreshServerVisibleStatus();
    const QLabel* labels[] = {Label("LabStatus"), Label("Status"), Label("labPing"), Label("Ping")};
    const QPoint places[] = {{18, 213}, {61, 213}, {116, 213}, {149, 213}};
    for (int i = 0; i < 4; ++i) {
        QVERIFY(labels[i]->isHidden());
        QCOMPARE(labels[i]->pos(), places[i]);
        QCOMPARE(labels[i]->font().family(), SkinFontFamily());
        QCOMPARE(labels[i]->font().pixelSize(), 12);
        QCOMPARE(labels[i]->font().bold(), i % 2 == 1);
    }
    QCOMPARE(Label("LabStatus")->text(), QString("Status:"));
    QCOMPARE(Label("labPing")->text(), QString("Ping:"));
    QCOMPARE(TextColor(Label("LabStatus")), QColor(0xF7, 0xCD, 0x28));
    QCOMPARE(TextColor(Label("labPing")), QColor(0xF7, 0xCD, 0x28));
    QVERIFY(Label("LabStatus")->autoFillBackground());
    QCOMPARE(Label("LabStatus")->palette().color(QPalette::Window), QColor(0x19, 0x19, 0x19));
    QCOMPARE(form->findChild<QAbstractButton*>("BtnMinimize")->geometry(), QRect(212, 16, 16, 16));
}

void TestMainFormStatus::selectionStepProbesAndRestartsTheCycle()
{
    TLoopbackListener server;
    TMainForm* form = MakeForm({server.Address()});
    form->SelectIndex(0);
    form->ListMouseDown();
    QCOMPARE(Label("Status")->text(), QString("Checking"));
    QVERIFY(!Label("Status")->isHidden());
    QVERIFY(RefreshTimer()->isActive());
    QCOMPARE(RefreshTimer()->interval(), kRefreshPeriodMs);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(Label("Status")->text(), QString("Online"));
    QVERIFY(RefreshTimer()->isActive());

    // The window's tick probes the selected server again.
    form->RefreshTimerTimer();
    QCOMPARE(probes_->RunningCount(), 1);
    QCOMPARE(Label("Status")->text(), QString("Checking"));
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
    const QSystemTrayIcon* trayIcon = form->findChild<QSystemTrayIcon*>();
    QVERIFY(trayIcon);
    const QLabel* status = Label("Status");
    // What the window shows for the selected server: status line, tray tooltip, panel.
    auto shows = [&](int server) {
        const bool online = states[server] == ssOnline;
        return status->text() == QString(online ? "Online" : "Offline") && !status->isHidden() &&
               trayIcon->toolTip().startsWith(QString("Server %1\n").arg(server)) &&
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
    QCOMPARE(probes_->RunningCount(), 0);

    // A move keeps the same server on show, now one row higher.
    QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
    QCOMPARE(form->SelectedIndex(), 2);
    QVERIFY(shows(3));
    // The row the moved server left now holds another one: selecting it is a change.
    QTest::keyPress(list, Qt::Key_Down);
    QVERIFY(shows(2));
    QTest::keyRelease(list, Qt::Key_Down);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);

    // The list read again with another server in the selected row.
    form->SelectIndex(0);
    QVERIFY(shows(0));
    QVERIFY(RemoveServer("Server 0"));
    form->ReloadServerList();
    QCOMPARE(form->SelectedIndex(), 0);
    QVERIFY(trayIcon->toolTip().startsWith("Server 1\n"));
    QCOMPARE(realmlist->toolTip(), QString("127.0.0.1:2"));

    form->SelectIndex(-1);
    QVERIFY(status->isHidden());
    QVERIFY(trayIcon->toolTip().isEmpty());
    QVERIFY(realmlist->text().isEmpty());
}

void TestMainFormStatus::firstShowAndIdleStartTheCycle()
{
    TLoopbackListener server;
    TMainForm* form = MakeForm({server.Address(), server.Address()});
    FirstShow = true;
    FirstIdle = true;
    form->show();
    QVERIFY(RefreshTimer()->isActive());
    QCOMPARE(RefreshTimer()->interval(), 1000);
    QTRY_VERIFY(!FirstIdle);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
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
    QVERIFY(probes_->RunningCount() > 0);
    // The window goes first; the probes then complete without it, as at the program's end.
    window_.reset();
    form_ = nullptr;
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(int(Servers[0].Status), int(ssOffline));
    QCOMPARE(int(Servers[1].Status), int(ssOnline));
    QCOMPARE(int(Servers[2].Status), int(ssOffline));
    QCOMPARE(int(Servers[3].Status), int(ssOffline));
}

QTEST_MAIN(TestMainFormStatus)
#include "test_mainfm_status.moc"
