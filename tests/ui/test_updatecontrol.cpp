// The window's side of the update: the schedule decides once per run, the background check keeps the
// menu item disabled while it runs, and only a newer version opens the update window, which keeps quiet
// until it asks when the background check opened it.
#include "core/inipath.h"
#include "core/localization_u.h"
#include "core/settings.h"
#include "support/httpserver.h"
#include "support/minisign.h"
#include "ui/msgbox.h"
#include "ui/updatecontrol.h"
#include "ui/updatefm.h"
#include "update/schedule.h"
#include "update/updatecheck.h"
#include "update/updatelist.h"

#include <QAction>
#include <QtTest>
#include <memory>

namespace {

constexpr int kWaitMs = 20000;
const QString kListPath = QStringLiteral("/download/update/en/update.txt");
const QByteArray kOlder = "1\n0\n0\n0\n";
const QByteArray kNewer = "9\n0\n0\n0\n";

} // namespace

class TestUpdateControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void backgroundCheckDisablesTheItem();
    void newerVersionOpensTheWindow();
    void scheduleDecidesOncePerRun_data();
    void scheduleDecidesOncePerRun();
    void copyThatDoesNotUpdateItself_data();
    void copyThatDoesNotUpdateItself();

private:
    QAction* ItemUpdate() const { return item_.get(); }
    TUpdateForm* UpdateWindow() const { return window_->findChild<TUpdateForm*>(); }
    // The list and its signature by the test key.
    void Publish(const QByteArray& list);
    // The schedule as the settings dialog leaves it, the last start long ago.
    void Schedule(std::uint8_t checkUpdates);

    TLoopbackHttpServer server_;
    QTemporaryDir keys_;
    minisign::TKeyPair key_;
    TSettings settings_;
    std::unique_ptr<QWidget> window_;
    std::unique_ptr<QAction> item_;
    TUpdateControl* control_ = nullptr;
    QStringList messages_;
    // Whether the update window was on screen when it asked, one entry per question.
    QList<bool> askedVisibly_;
};

void TestUpdateControl::initTestCase()
{
    Q_INIT_RESOURCE(korvan);
    InitLocalization();
    QVERIFY(server_.Listen());
    qputenv("KORVAN_UPDATE_URL", server_.Url(QString()).toUtf8());
    if (!minisign::Available())
        QSKIP("minisign is not installed");
    key_ = minisign::Generate(keys_.path());
    QVERIFY(!key_.KeyLine.isEmpty());
    SetUpdatePublicKey(key_.KeyLine.toStdString());
}

void TestUpdateControl::Publish(const QByteArray& list)
{
    server_.Serve(kListPath, list, "text/plain");
    server_.Serve(kListPath + kSignatureSuffix, minisign::Sign(key_.SecretKeyFile, list, keys_.path()), "text/plain");
}

void TestUpdateControl::Schedule(std::uint8_t checkUpdates)
{
    TMainSettings values = settings_.Values();
    values.CheckUpdates = checkUpdates;
    values.LastRun = kLastRunDefault;
    settings_.Apply(values);
}

void TestUpdateControl::init()
{
    window_ = std::make_unique<QWidget>();
    item_ = std::make_unique<QAction>();
    // Nothing here saves: no test reaches the hand-over.
    control_ = new TUpdateControl(window_.get(), settings_, item_.get(), nullptr, [] { return false; });
    messages_.clear();
    askedVisibly_.clear();
    SetMessageHook([this](const TMessageRequest& request) {
        messages_ << request.caption + ": " + request.text;
        if (request.yesNo)
            askedVisibly_ << (UpdateWindow() && UpdateWindow()->isVisible());
        return request.yesNo ? IDNO : IDOK;
    });
}

void TestUpdateControl::cleanup()
{
    window_.reset();
    item_.reset();
    SetMessageHook({});
}

void TestUpdateControl::backgroundCheckDisablesTheItem()
{
    Publish(kOlder);
    THttpRoute slow;
    slow.Body = kOlder;
    slow.DelayMs = 300;
    server_.Route(kListPath, slow);
    const int hits = server_.Hits(kListPath);
    QVERIFY(ItemUpdate()->isEnabled());
    control_->BackgroundCheckUpdate();
    QVERIFY(!ItemUpdate()->isEnabled());
    // Neither a second check nor the window starts while one runs.
    control_->BackgroundCheckUpdate();
    control_->ItemUpdateClick();
    QVERIFY(!UpdateWindow());
    QTRY_VERIFY_WITH_TIMEOUT(ItemUpdate()->isEnabled(), kWaitMs);
    QCOMPARE(server_.Hits(kListPath), hits + 1);
    // An older version ends the background check without a word.
    QTest::qWait(200);
    QVERIFY(!UpdateWindow());
    QCOMPARE(messages_, QStringList{});
}

void TestUpdateControl::newerVersionOpensTheWindow()
{
    Publish(kNewer);
    const int hits = server_.Hits(kListPath);
    control_->BackgroundCheckUpdate();
    // The window checks once more itself, then asks; the answer No closes it.
    QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, kWaitMs);
    QCOMPARE(messages_[0],
             QString("Question: There's a new program version available (9.00.0). Do you want to update?"));
    QCOMPARE(server_.Hits(kListPath), hits + 2);
    // Hidden while it checked, it comes up to ask.
    QCOMPARE(askedVisibly_, QList<bool>{true});
    QTRY_VERIFY_WITH_TIMEOUT(!UpdateWindow(), kWaitMs);
    QVERIFY(ItemUpdate()->isEnabled());

    // Opened from the menu, the window is the user's: it asks from where the check left it.
    control_->ItemUpdateClick();
    QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 2, kWaitMs);
    QCOMPARE(askedVisibly_, (QList<bool>{true, false}));
    QTRY_VERIFY_WITH_TIMEOUT(!UpdateWindow(), kWaitMs);
}

void TestUpdateControl::scheduleDecidesOncePerRun_data()
{
    QTest::addColumn<int>("checkUpdates");
    QTest::addColumn<bool>("checks");
    const QDate today = QDate::currentDate();
    QTest::newRow("never") << int(cuNever) << false;
    QTest::newRow("unknown value") << 7 << false;
    // A first start ever, on 1 January 1900 to the schedule, is due daily after the 1st and monthly after January.
    if (today.day() > 1)
        QTest::newRow("daily, due") << int(cuDaily) << true;
    if (today.month() > 1)
        QTest::newRow("monthly, due") << int(cuMonthly) << true;
    QTest::newRow(today.day() > 8 ? "weekly, due" : "weekly, not due") << int(cuWeekly) << (today.day() > 8);
}

void TestUpdateControl::scheduleDecidesOncePerRun()
{
    QFETCH(int, checkUpdates);
    QFETCH(bool, checks);
    Publish(kOlder);
    const int hits = server_.Hits(kListPath);
    Schedule(static_cast<std::uint8_t>(checkUpdates));
    control_->CheckUpdateSchedule();
    QTRY_VERIFY_WITH_TIMEOUT(ItemUpdate()->isEnabled(), kWaitMs);
    control_->CheckUpdateSchedule();
    QTest::qWait(100);
    QCOMPARE(server_.Hits(kListPath), hits + (checks ? 1 : 0));
    // "Never" decides nothing: a schedule set later in the run still gets its one look.
    Schedule(cuDaily);
    control_->CheckUpdateSchedule();
    QTRY_VERIFY_WITH_TIMEOUT(ItemUpdate()->isEnabled(), kWaitMs);
    QTest::qWait(100);
    const bool dailyDue = QDate::currentDate().day() > 1;
    QCOMPARE(server_.Hits(kListPath), hits + (checks ? 1 : 0) + (checkUpdates == cuNever && dailyDue ? 1 : 0));
}

void TestUpdateControl::copyThatDoesNotUpdateItself_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<TTextId>("text");
    QTest::newRow("installed by a package") << true << TTextId::UpdatesByPackageManager;
    // Without the publisher's key no list could be trusted.
    QTest::newRow("built without a key") << false << TTextId::UpdatesWithoutKey;
}

void TestUpdateControl::copyThatDoesNotUpdateItself()
{
    QFETCH(bool, installed);
    QFETCH(TTextId, text);
    Publish(kNewer);
    const int hits = server_.Hits(kListPath);
    SetSelfUpdateEnabled(!installed);
    if (!installed)
        SetUpdatePublicKey({});
    Schedule(cuDaily);
    control_->CheckUpdateSchedule();
    control_->BackgroundCheckUpdate();
    // The item stays, and says where the updates of an installed copy come from.
    QVERIFY(ItemUpdate()->isEnabled());
    control_->ItemUpdateClick();
    QTest::qWait(200);
    SetSelfUpdateEnabled(true);
    SetUpdatePublicKey(key_.KeyLine.toStdString());
    QVERIFY(!UpdateWindow());
    QCOMPARE(server_.Hits(kListPath), hits);
    QCOMPARE(messages_, QStringList{QString::fromStdString(Msg(TTextId::CaptionInformation) + ": " + LoadText(text))});
}

QTEST_MAIN(TestUpdateControl)
#include "test_updatecontrol.moc"
