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
#include "ui/historygraph.h"
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
    QString CancelItem;

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
    void SetCancelItem(const QString& text) override { CancelItem = text; }
};

// A loopback server on a port of its own that accepts or refuses as told, the port staying the same.
class TFlappingServer
{
public:
    TFlappingServer() : listener_(std::make_unique<TLoopbackListener>()), port_(listener_->Port()) {}
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    void Accept()
    {
        if (!listener_)
            listener_ = std::make_unique<TLoopbackListener>("127.0.0.1", kAcceptBacklog, port_);
    }
    void Refuse() { listener_.reset(); }

private:
    std::unique_ptr<TLoopbackListener> listener_;
    std::uint16_t port_;
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
    void flappingServerIsCalmedByTheHold();
    void everyServerDownAtOnceIsTheNetwork();
    void historyKeepsEveryProbeAndThePanelSumsItUp();
    void waitingForAServerEndsWhenItAnswersOrIsCancelled();
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
    // Probes the server and waits for the probe's end.
    bool ProbeOnce(std::uint64_t serverId);

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

bool TestMainFormStatus::ProbeOnce(std::uint64_t serverId)
{
    probes_->StartProbe(serverId);
    return QTest::qWaitFor([this] { return probes_->RunningCount() == 0; }, kProbeBoundMs);
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
    TFlappingServer server;
    AddTestServer("s", server.Address());
    const std::uint64_t id = Servers[0].Id;
    TStatusDisplay* display = MakeDisplay();
    window_->show();
    display->ShowServer(id);
    QVERIFY(ProbeOnce(id));
    // Visible window: no announcement, though the change counts.
    server.Refuse();
    QVERIFY(ProbeOnce(id));
    QCOMPARE(Label("Status")->text(), QString("Offline"));
    QVERIFY(tray_->Messages.empty());

    display->MinimizeToTray();
    QVERIFY(window_->isHidden());
    QVERIFY(display->TrayShown());
    QCOMPARE(tray_->Image, int(tiOffline));
    // The probe's checking state in between hides nothing: one announcement of the change.
    server.Accept();
    QVERIFY(ProbeOnce(id));
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
    QCOMPARE(tray_->Messages.back().Icon, QSystemTrayIcon::Information);
    QCOMPARE(tray_->Messages.back().Title, QString("s"));
    QCOMPARE(tray_->Messages.back().Text, QString("Server is now ONLINE."));
    QCOMPARE(tray_->Image, int(tiOnline));
    QVERIFY(ProbeOnce(id));
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
    server.Refuse();
    QVERIFY(ProbeOnce(id));
    QCOMPARE(tray_->Messages.size(), std::size_t(2));
    // Going offline is a warning, not mere information.
    QCOMPARE(tray_->Messages.back().Icon, QSystemTrayIcon::Warning);

    QSignalSpy clicked(display, &TStatusDisplay::trayIconClicked);
    emit tray_->clicked();
    QCOMPARE(clicked.size(), 1);
    display->RestoreWindow();
    QVERIFY(!display->TrayShown());
    QVERIFY(window_->isVisible());
    server.Accept();
    QVERIFY(ProbeOnce(id));
    QCOMPARE(tray_->Messages.size(), std::size_t(2));
}

void TestMainFormStatus::flappingServerIsCalmedByTheHold()
{
    TFlappingServer server;
    AddTestServer("watched", server.Address());
    Servers[0].Announce = true;
    AddTestServer("shown", "127.0.0.1:" + std::to_string(ClosedPort()));
    const std::uint64_t id = Servers[0].Id;
    TStatusDisplay* display = MakeDisplay();
    // The window stays on the screen and shows another server: the one asked for is told all the same.
    window_->show();
    display->ShowServer(Servers[1].Id);
    QVERIFY(ProbeOnce(id));
    // Accepts, refuses, accepts, refuses: with a hold of one, every flap.
    for (int i = 0; i < 2; ++i) {
        server.Refuse();
        QVERIFY(ProbeOnce(id));
        server.Accept();
        QVERIFY(ProbeOnce(id));
    }
    QCOMPARE(tray_->Messages.size(), std::size_t(4));
    QCOMPARE(tray_->Messages[0].Title, QString("watched"));
    QCOMPARE(tray_->Messages[0].Text, QString("Server is now OFFLINE."));
    QCOMPARE(tray_->Messages[1].Text, QString("Server is now ONLINE."));

    // With a hold of two the same flapping is quiet, while the ball follows every probe.
    tray_->Messages.clear();
    display->SetAnnounceAfter(2);
    for (int i = 0; i < 3; ++i) {
        server.Refuse();
        QVERIFY(ProbeOnce(id));
        QCOMPARE(int(Servers[0].Status), int(ssOffline));
        server.Accept();
        QVERIFY(ProbeOnce(id));
        QCOMPARE(int(Servers[0].Status), int(ssOnline));
    }
    QVERIFY(tray_->Messages.empty());
    // A change that lasts two probes is told once.
    server.Refuse();
    QVERIFY(ProbeOnce(id));
    QVERIFY(ProbeOnce(id));
    QVERIFY(ProbeOnce(id));
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
    QCOMPARE(tray_->Messages[0].Text, QString("Server is now OFFLINE."));

    // The tick probes the servers asked for besides the one on show.
    server.Accept();
    display->RefreshTimerTimer();
    QCOMPARE(probes_->RunningCount(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    display->RefreshTimerTimer();
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    QCOMPARE(tray_->Messages.size(), std::size_t(2));
    QCOMPARE(tray_->Messages[1].Text, QString("Server is now ONLINE."));
}

void TestMainFormStatus::everyServerDownAtOnceIsTheNetwork()
{
    std::vector<std::unique_ptr<TFlappingServer>> servers;
    for (int i = 0; i < 3; ++i) {
        servers.push_back(std::make_unique<TFlappingServer>());
        AddTestServer("s" + std::to_string(i), servers.back()->Address());
        Servers.back().Announce = true;
    }
    TStatusDisplay* display = MakeDisplay();
    window_->show();
    display->ShowServer(Servers[0].Id);
    auto refreshAll = [&] {
        display->RefreshAll();
        return QTest::qWaitFor([&] { return probes_->RunningCount() == 0; }, kProbeBoundMs);
    };
    QVERIFY(refreshAll());
    QVERIFY(tray_->Messages.empty());
    for (auto& server : servers)
        server->Refuse();
    QVERIFY(refreshAll());
    // One announcement, not three; the status line says why the server on show is offline.
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
    QCOMPARE(tray_->Messages[0].Title, QString("Network"));
    QCOMPARE(tray_->Messages[0].Text, QString("The network seems unreachable: no server answers."));
    QCOMPARE(tray_->Messages[0].Icon, QSystemTrayIcon::Warning);
    QCOMPARE(Label("Status")->text(), QString("No network"));
    QCOMPARE(TextColor(Label("Status")), QColor(0xFF, 0x00, 0x00));
    QVERIFY(refreshAll());
    QCOMPARE(tray_->Messages.size(), std::size_t(1));

    // Back, all but one: the network is news, and so is the one server still gone, once.
    servers[0]->Accept();
    servers[1]->Accept();
    QVERIFY(refreshAll());
    QCOMPARE(tray_->Messages.size(), std::size_t(3));
    QCOMPARE(tray_->Messages[1].Text, QString("The network is back: servers answer again."));
    QCOMPARE(tray_->Messages[2].Title, QString("s2"));
    QCOMPARE(tray_->Messages[2].Text, QString("Server is now OFFLINE."));
    QCOMPARE(Label("Status")->text(), QString("Online"));
}

void TestMainFormStatus::historyKeepsEveryProbeAndThePanelSumsItUp()
{
    TFlappingServer server;
    TMainForm* form = MakeForm({server.Address()});
    form->SelectIndex(0);
    // The panel is filled at the first show, which this window never has.
    form->UpdateInfoPanel();
    form->SelectInfoPanel(2);
    auto* display = form->findChild<TStatusDisplay*>("StatusDisplay");
    QVERIFY(display);
    auto* graph = form->findChild<THistoryGraph*>("HistoryGraph");
    QVERIFY(graph);
    QVERIFY(!graph->isHidden());
    QVERIFY(graph->SummaryText().isEmpty());
    QCOMPARE(graph->toolTip(), QString("No probes yet."));
    const std::uint64_t id = Servers[0].Id;
    // Thirty probes, every third refused.
    for (int i = 0; i < 30; ++i) {
        if (i % 3 == 2)
            server.Refuse();
        else
            server.Accept();
        QVERIFY(ProbeOnce(id));
    }
    const std::vector<TProbeSample> samples = display->History().Samples(id);
    QCOMPARE(samples.size(), std::size_t(30));
    for (int i = 0; i < 30; ++i)
        QCOMPARE(samples[static_cast<std::size_t>(i)].Ok, i % 3 != 2);
    QVERIFY2(graph->SummaryText().startsWith("66% "), qPrintable(graph->SummaryText()));
    QVERIFY2(graph->toolTip().startsWith("Last hour: 20 of 30 probes answered, median ping "),
             qPrintable(graph->toolTip()));
    // Drawn on the information page only.
    form->SelectInfoPanel(1);
    QVERIFY(graph->isHidden());
}

void TestMainFormStatus::waitingForAServerEndsWhenItAnswersOrIsCancelled()
{
    TFlappingServer server;
    server.Refuse();
    AddTestServer("late", server.Address());
    const std::uint64_t id = Servers[0].Id;
    TStatusDisplay* display = MakeDisplay();
    window_->show();
    display->SetRefreshPeriod(1);
    display->ShowServer(id);
    QSignalSpy answered(display, &TStatusDisplay::waitedServerAnswered);
    display->WaitForServer(id);
    QVERIFY(display->Waiting());
    QCOMPARE(Label("Status")->text(), QString("Waiting for late"));
    QVERIFY(Label("Ping")->isHidden());
    QCOMPARE(tray_->ToolTip, QString("late\nWaiting for the server to answer; the game starts then."));
    QCOMPARE(tray_->CancelItem, QString("Stop waiting"));
    // Probed again each period while it refuses.
    QTRY_VERIFY_WITH_TIMEOUT(display->History().Samples(id).size() >= 2, 4000);
    QVERIFY(answered.isEmpty());
    server.Accept();
    QTRY_COMPARE_WITH_TIMEOUT(answered.size(), 1, 4000);
    QCOMPARE(answered[0][0].value<std::uint64_t>(), id);
    QVERIFY(!display->Waiting());
    QVERIFY(tray_->CancelItem.isEmpty());
    // Told once, as the start of the game, not also as a server now online.
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
    QCOMPARE(tray_->Messages[0].Title, QString("late"));
    QCOMPARE(tray_->Messages[0].Text, QString("The server answers again: starting the game."));
    QCOMPARE(Label("Status")->text(), QString("Online"));

    // A click on the status line ends a wait, and so does the tray's menu; no game then.
    server.Refuse();
    display->WaitForServer(id);
    QVERIFY(display->Waiting());
    QTest::mouseClick(Label("Status"), Qt::LeftButton);
    QVERIFY(!display->Waiting());
    display->WaitForServer(id);
    emit tray_->cancelChosen();
    QVERIFY(!display->Waiting());
    QTRY_COMPARE_WITH_TIMEOUT(probes_->RunningCount(), 0, kProbeBoundMs);
    server.Accept();
    QTest::qWait(1500);
    QCOMPARE(answered.size(), 1);
    // Closing ends a wait too.
    display->WaitForServer(id);
    display->Stop();
    QVERIFY(!display->Waiting());
}

void TestMainFormStatus::minimizingWithoutANotificationAreaKeepsTheWindowReachable()
{
    TFlappingServer server;
    AddTestServer("s", server.Address());
    const std::uint64_t id = Servers[0].Id;
    TStatusDisplay* display = MakeDisplay();
    tray_->IsAvailable = false;
    window_->show();
    display->ShowServer(id);
    QVERIFY(ProbeOnce(id));
    display->MinimizeToTray();
    QVERIFY(window_->isVisible());
    QVERIFY(window_->isMinimized());
    QVERIFY(!display->TrayShown());
    // Minimized is where the window waits there: the change is announced all the same, and the icon's
    // owner delivers it through the desktop's notification service.
    server.Refuse();
    QVERIFY(ProbeOnce(id));
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
    QCOMPARE(tray_->Messages.back().Icon, QSystemTrayIcon::Warning);
    // Back on the screen, nothing is announced.
    window_->showNormal();
    QVERIFY(!window_->isMinimized());
    server.Accept();
    QVERIFY(ProbeOnce(id));
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
    TFlappingServer server;
    AddTestServer("s", server.Address());
    const std::uint64_t id = Servers[0].Id;
    TStatusDisplay* display = MakeDisplay();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    display->ShowServer(id);
    QVERIFY(ProbeOnce(id));
    window_->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(window_->isHidden());
    QVERIFY(display->TrayShown());
    // From the tray a change is told, as after the window's own button.
    server.Refuse();
    QVERIFY(ProbeOnce(id));
    QCOMPARE(tray_->Messages.size(), std::size_t(1));
    QCOMPARE(tray_->Messages.back().Icon, QSystemTrayIcon::Warning);
    display->RestoreWindow();
    QVERIFY(window_->isVisible());
    QVERIFY(!window_->isMinimized());

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
