// The update window against an update server on loopback: what it tells the user for each answer of the
// server, and what the hand-over asks of the main window, in which order, and when it gives up.
#include "core/globaltypes_u.h"
#include "core/localization_u.h"
#include "platform/instance.h"
#include "support/httpserver.h"
#include "support/minisign.h"
#include "ui/msgbox.h"
#include "ui/updatefm.h"
#include "update/updatecheck.h"

#include <QLabel>
#include <QtTest>

namespace {

constexpr int kWaitMs = 20000;
const QString kListPath = QStringLiteral("/download/update/en/update.txt");

struct TRun
{
    QStringList messages; // caption: text
    QStringList calls;    // what the window asked of its host
    QStringList statuses; // the panel's texts as they came
    int result = -1;
};

} // namespace

class TestUpdateForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void checkOutcomes_data();
    void checkOutcomes();
    void handOver_data();
    void handOver();
    void refusedNameRefusesTheWholeList();
    void centredOnMainWindow();

private:
    TRun Run(bool fromBackground, int answer, bool saves = true, bool starts = true);
    // The list at kListPath with the answer `status`, and its signature by the test key beside it.
    void Publish(const QByteArray& list, int status = 200, bool sign = true);

    TLoopbackHttpServer server_;
    QTemporaryDir keys_;
    minisign::TKeyPair key_;
    platform::InstanceLock lock_;
};

void TestUpdateForm::initTestCase()
{
    InitLocalization();
    QVERIFY(server_.Listen());
    qputenv("KORVAN_UPDATE_URL", server_.Url(QString()).toUtf8());
    if (!minisign::Available())
        QSKIP("minisign is not installed");
    key_ = minisign::Generate(keys_.path());
    QVERIFY(!key_.KeyLine.isEmpty());
    SetUpdatePublicKey(key_.KeyLine.toStdString());
}

void TestUpdateForm::Publish(const QByteArray& list, int status, bool sign)
{
    THttpRoute route;
    route.Status = status;
    route.Body = list;
    server_.Route(kListPath, route);
    THttpRoute signature;
    signature.Status = sign ? 200 : 404;
    signature.Body = sign ? minisign::Sign(key_.SecretKeyFile, list, keys_.path()) : QByteArray();
    server_.Route(kListPath + kSignatureSuffix, signature);
}

void TestUpdateForm::cleanupTestCase()
{
    SetMessageHook({});
}

void TestUpdateForm::init()
{
    QVERIFY(lock_.Acquire(kSingleInstanceName) == platform::InstanceLock::Result::Acquired);
}

TRun TestUpdateForm::Run(bool fromBackground, int answer, bool saves, bool starts)
{
    TRun run;
    TUpdateForm* form = nullptr;
    // The panel's text is looked at whenever the window turns to the user or to its host.
    auto note = [&] {
        const QString status = form ? form->findChild<QLabel*>("Panel")->text() : QString();
        if (form && run.statuses.value(run.statuses.size() - 1) != status)
            run.statuses << status;
    };
    QWidget main;
    main.setGeometry(100, 100, 261, 268);
    TUpdateHost host;
    host.StopRefresh = [&] { run.calls << "stop refresh"; };
    host.ResumeRefresh = [&] { run.calls << "resume refresh"; };
    host.SaveData = [&] {
        note();
        run.calls << QStringLiteral("save, lock %1").arg(lock_.Held() ? "held" : "free");
        return saves;
    };
    host.StartProgram = [&](const std::vector<std::string>& argv) {
        QStringList args;
        for (const std::string& arg : argv)
            args << QString::fromStdString(arg);
        run.calls << QStringLiteral("start %1, lock %2")
                         .arg(args.join(' ').replace(QCoreApplication::applicationFilePath(), "<program>"),
                              lock_.Held() ? "held" : "free");
        return starts;
    };
    SetMessageHook([&](const TMessageRequest& request) {
        note();
        run.messages << request.caption + ": " + request.text;
        return request.yesNo ? answer : IDOK;
    });
    TUpdateForm updateForm(&main, host, fromBackground ? TUpdateStart::ByBackgroundCheck : TUpdateStart::ByUser);
    form = &updateForm;
    LocalizeUpdateForm(updateForm);
    updateForm.StartOnShow = true;
    QSignalSpy finished(&updateForm, &QDialog::finished);
    updateForm.show();
    run.result = finished.wait(kWaitMs) ? finished.at(0).at(0).toInt() : -2;
    SetMessageHook({});
    return run;
}

void TestUpdateForm::checkOutcomes_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<bool>("fromBackground");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("isSigned");

    const QByteArray older = "1\n99\n99\n99\n";
    const QByteArray same = "2\n6\n2\n0\n";
    const QByteArray newer = "2\n6\n3\n0\nkorvan\nhttp://127.0.0.1:9/korvan\n";
    const QString failed = "Error: Checking for a new version failed.";
    const QString none = "Information: There's no newer version available.";
    const QString ask = "Question: There's a new program version available (2.06.3). Do you want to update?";
    const QString unsigned_ = "Error: The update list is not signed by the program's publisher, so it was not used.";
    QTest::newRow("no list, asked by the user") << 404 << QByteArray() << false << QStringList{failed} << true;
    QTest::newRow("no list, background") << 404 << QByteArray() << true << QStringList{} << true;
    QTest::newRow("short list, asked by the user")
        << 200 << QByteArray("2\n6\n3\n") << false << QStringList{failed} << true;
    QTest::newRow("a part that would wrap")
        << 200 << QByteArray("2\n262\n3\n0\n") << false << QStringList{failed} << true;
    QTest::newRow("older, asked by the user") << 200 << older << false << QStringList{none} << true;
    QTest::newRow("same, asked by the user") << 200 << same << false << QStringList{none} << true;
    QTest::newRow("same, background") << 200 << same << true << QStringList{} << true;
    QTest::newRow("newer, answered No") << 200 << newer << false << QStringList{ask} << true;
    QTest::newRow("newer, background, answered No") << 200 << newer << true << QStringList{ask} << true;
    QTest::newRow("newer, not signed") << 200 << newer << false << QStringList{unsigned_} << false;
    QTest::newRow("newer, not signed, background") << 200 << newer << true << QStringList{} << false;
}

void TestUpdateForm::checkOutcomes()
{
    QFETCH(int, status);
    QFETCH(QByteArray, list);
    QFETCH(bool, fromBackground);
    QFETCH(QStringList, messages);
    QFETCH(bool, isSigned);
    Publish(list, status, isSigned);

    const TRun run = Run(fromBackground, IDNO);
    QCOMPARE(run.result, int(QDialog::Rejected));
    QCOMPARE(run.messages, messages);
    QCOMPARE(run.calls, QStringList{});
    // Whatever the window says, it says while the panel shows the check.
    QCOMPARE(run.statuses, messages.isEmpty() ? QStringList{} : QStringList{"Checking for a new version..."});
    QVERIFY(lock_.Held());
}

void TestUpdateForm::handOver_data()
{
    QTest::addColumn<bool>("saves");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("errors");
    const QString refused = "Error: Updating failed.";
    // The lock stays with this copy until it has ended: the new copy waits for it.
    QTest::newRow("handed over") << true << true
                                 << QStringList{"stop refresh", "save, lock held", "start <program> update, lock held"}
                                 << QStringList{};
    QTest::newRow("data not saved") << false << true << QStringList{"stop refresh", "save, lock held", "resume refresh"}
                                    << QStringList{refused};
    QTest::newRow("new copy not started")
        << true << false
        << QStringList{"stop refresh", "save, lock held", "start <program> update, lock held", "resume refresh"}
        << QStringList{refused};
}

void TestUpdateForm::handOver()
{
    QFETCH(bool, saves);
    QFETCH(bool, starts);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, errors);
    // A version only: nothing to fetch, straight to the hand-over.
    Publish("; test\n3\n0\n0\n0\n");

    const TRun run = Run(false, IDYES, saves, starts);
    QCOMPARE(run.calls, calls);
    QCOMPARE(run.messages.mid(1), errors);
    QCOMPARE(run.result, int(saves && starts ? QDialog::Accepted : QDialog::Rejected));
    QVERIFY(lock_.Held());
    QCOMPARE(run.statuses, (QStringList{"Checking for a new version...", "Preparing for update..."}));
}

void TestUpdateForm::refusedNameRefusesTheWholeList()
{
    // A good file first, then one with a folder part: neither is fetched, and the update is over.
    server_.Serve("/f/readme.txt", "new", "text/plain");
    const QByteArray digest = "#sha256=" + QCryptographicHash::hash("new", QCryptographicHash::Sha256).toHex();
    Publish("3\n0\n0\n0\nreadme.txt\n" + server_.Url("/f/readme.txt").toUtf8() + digest + "\n../korvan\n" +
            server_.Url("/f/readme.txt").toUtf8() + digest + "\n");
    const TRun run = Run(false, IDYES);
    QCOMPARE(run.messages.mid(1), QStringList{"Error: Updating failed."});
    QCOMPARE(run.calls, (QStringList{"stop refresh", "resume refresh"}));
    QCOMPARE(run.result, int(QDialog::Rejected));
    QCOMPARE(server_.Hits("/f/readme.txt"), 0);
    QVERIFY(!QFileInfo::exists(QCoreApplication::applicationDirPath() + "/_update"));
}

void TestUpdateForm::centredOnMainWindow()
{
    QWidget main;
    main.setGeometry(101, 51, 261, 268);
    TUpdateForm form(&main, {});
    QCOMPARE(form.size(), QSize(kUpdateFormWidth, kUpdateFormHeight));
    // (261 - 278) / 2 truncates toward zero to -8.
    QCOMPARE(form.pos(), QPoint(main.x() - 8, main.y() + (268 - kUpdateFormHeight) / 2));
    LocalizeUpdateForm(form);
    QCOMPARE(form.windowTitle(), QString("Program update"));
}

QTEST_MAIN(TestUpdateForm)
#include "test_updatefm.moc"
