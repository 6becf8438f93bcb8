// The main window's side of the update: the schedule decides once per run, the background check keeps the
// menu item disabled while it runs, and only a newer version opens the update window.
#include "core/inipath_u.h"
#include "core/localization_u.h"
#include "core/settings_u.h"
#include "monitor/connection_u.h"
#include "news/newsservice.h"
#include "support/httpserver.h"
#include "support/minisign.h"
#include "support/testsupport.h"
#include "ui/mainfm.h"
#include "ui/mainframe.h"
#include "ui/msgbox_u.h"
#include "ui/updatefm.h"
#include "update/schedule_u.h"
#include "update/updatecheck_u.h"
#include "update/updatelist_u.h"

#include <QAction>
#include <QtTest>

namespace {

constexpr int kWaitMs = 20000;
const QString kListPath = QStringLiteral("/download/update/en/update.txt");
const QByteArray kOlder = "1\n0\n0\n0\n";
const QByteArray kNewer = "9\n0\n0\n0\n";

} // namespace

class TestMainFormUpdate : public QObject
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
    QAction* ItemUpdate() const { return form_->Frame()->Item("ItemUpdate"); }
    // The list and its signature by the test key.
    void Publish(const QByteArray& list);
    // The schedule as the settings dialog leaves it, the last start long ago.
    void Schedule(std::uint8_t checkUpdates);

    TLoopbackHttpServer server_;
    QTemporaryDir keys_;
    minisign::TKeyPair key_;
    TScratchIni* scratch_ = nullptr;
    TSettings settings_;
    TNewsService news_;
    TMainForm* form_ = nullptr;
    QStringList messages_;
};

void TestMainFormUpdate::initTestCase()
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

void TestMainFormUpdate::Publish(const QByteArray& list)
{
    server_.Serve(kListPath, list, "text/plain");
    server_.Serve(kListPath + kSignatureSuffix, minisign::Sign(key_.SecretKeyFile, list, keys_.path()), "text/plain");
}

void TestMainFormUpdate::Schedule(std::uint8_t checkUpdates)
{
    TMainSettings values = settings_.Values();
    values.CheckUpdates = checkUpdates;
    values.LastRun = kLastRunDefault;
    settings_.Apply(values);
}

void TestMainFormUpdate::init()
{
    scratch_ = new TScratchIni;
    scratch_->Write("[Main]\nCheckUpdates=0\n");
    form_ = new TMainForm(settings_, news_);
    UpdateChecked = false;
    messages_.clear();
    SetMessageHook([this](const TMessageRequest& request) {
        messages_ << request.caption + ": " + request.text;
        return request.yesNo ? IDNO : IDOK;
    });
}

void TestMainFormUpdate::cleanup()
{
    QTRY_VERIFY_WITH_TIMEOUT(RunningProbes.isEmpty(), kWaitMs);
    delete form_;
    form_ = nullptr;
    delete scratch_;
    SetMessageHook({});
}

void TestMainFormUpdate::backgroundCheckDisablesTheItem()
{
    Publish(kOlder);
    THttpRoute slow;
    slow.Body = kOlder;
    slow.DelayMs = 300;
    server_.Route(kListPath, slow);
    const int hits = server_.Hits(kListPath);
    QVERIFY(ItemUpdate()->isEnabled());
    form_->BackgroundCheckUpdate();
    QVERIFY(!ItemUpdate()->isEnabled());
    // Neither a second check nor the window starts while one runs.
    form_->BackgroundCheckUpdate();
    form_->ItemUpdateClick();
    QVERIFY(!form_->findChild<TUpdateForm*>());
    QTRY_VERIFY_WITH_TIMEOUT(ItemUpdate()->isEnabled(), kWaitMs);
    QCOMPARE(server_.Hits(kListPath), hits + 1);
    // An older version ends the background check without a word.
    QTest::qWait(200);
    QVERIFY(!form_->findChild<TUpdateForm*>());
    QCOMPARE(messages_, QStringList{});
}

void TestMainFormUpdate::newerVersionOpensTheWindow()
{
    Publish(kNewer);
    const int hits = server_.Hits(kListPath);
    form_->BackgroundCheckUpdate();
    // The window checks once more itself, then asks; the answer No closes it.
    QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, kWaitMs);
    QCOMPARE(messages_[0],
             QString("Question: There's a new program version available (9.00.0). Do you want to update?"));
    QCOMPARE(server_.Hits(kListPath), hits + 2);
    QVERIFY(UpdateFromBackground);
    QTRY_VERIFY_WITH_TIMEOUT(!form_->findChild<TUpdateForm*>(), kWaitMs);
    QVERIFY(ItemUpdate()->isEnabled());
    QVERIFY(!HaltAfterUpdate);

    // Opened from the menu, the window is the user's.
    form_->ItemUpdateClick();
    QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 2, kWaitMs);
    QVERIFY(!UpdateFromBackground);
    QTRY_VERIFY_WITH_TIMEOUT(!form_->findChild<TUpdateForm*>(), kWaitMs);
}

void TestMainFormUpdate::scheduleDecidesOncePerRun_data()
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

void TestMainFormUpdate::scheduleDecidesOncePerRun()
{
    QFETCH(int, checkUpdates);
    QFETCH(bool, checks);
    Publish(kOlder);
    const int hits = server_.Hits(kListPath);
    Schedule(static_cast<std::uint8_t>(checkUpdates));
    form_->CheckUpdateSchedule();
    QCOMPARE(UpdateChecked, checkUpdates != cuNever);
    QTRY_VERIFY_WITH_TIMEOUT(ItemUpdate()->isEnabled(), kWaitMs);
    form_->CheckUpdateSchedule();
    QTest::qWait(100);
    QCOMPARE(server_.Hits(kListPath), hits + (checks ? 1 : 0));
}

void TestMainFormUpdate::copyThatDoesNotUpdateItself_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<int>("text");
    QTest::newRow("installed by a package") << true << kTextUpdatesByPackageManager;
    // Without the publisher's key no list could be trusted.
    QTest::newRow("built without a key") << false << 7351;
}

void TestMainFormUpdate::copyThatDoesNotUpdateItself()
{
    QFETCH(bool, installed);
    QFETCH(int, text);
    Publish(kNewer);
    const int hits = server_.Hits(kListPath);
    delete form_;
    SetSelfUpdateEnabled(!installed);
    if (!installed)
        SetUpdatePublicKey({});
    form_ = new TMainForm(settings_, news_);
    Schedule(cuDaily);
    form_->CheckUpdateSchedule();
    form_->BackgroundCheckUpdate();
    // The item stays, and says where the updates of an installed copy come from.
    QVERIFY(ItemUpdate()->isEnabled());
    form_->ItemUpdateClick();
    QTest::qWait(200);
    SetSelfUpdateEnabled(true);
    SetUpdatePublicKey(key_.KeyLine.toStdString());
    QVERIFY(!form_->findChild<TUpdateForm*>());
    QCOMPARE(server_.Hits(kListPath), hits);
    QCOMPARE(messages_, QStringList{QString::fromStdString(Msg(1026) + ": " + LoadText(text))});
}

QTEST_MAIN(TestMainFormUpdate)
#include "test_mainfm_update.moc"
