// Downloads against the loopback server: what counts as success, redirects, caps, time-outs, and
// that the report comes once, on the context's thread, and never to a context that is gone.
#include "monitor/download.h"
#include "support/httpserver.h"

#include <QBuffer>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QThread>
#include <QtTest>
#include <optional>

namespace {

constexpr int kWaitMs = 10000;

struct TResult
{
    int Calls = 0;
    bool Ok = false;
    QByteArray Body;
};

QByteArray Repeat(char c, qsizetype n)
{
    return QByteArray(n, c);
}

} // namespace

class TestDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void splitsLines_data();
    void splitsLines();
    void outcomes_data();
    void outcomes();
    void refusedPortFails();
    void silentServerTimesOut();
    void slowBodyWithinTheTimeOutSucceeds();
    void deadlineEndsATrickle();
    void stringsComeAsLines();
    void streamGetsExactlyTheBody();
    void streamIsLeftAloneOnFailure();
    void streamFailsPastItsCap();
    void capHoldsWhileTheMainThreadIsBusy();
    void goneContextIsNeverCalled();
    void reportComesOnTheContextsThread();

private:
    TResult Fetch(const QString& url, const TDownloadLimits& limits);
    std::optional<TLoopbackHttpServer> server_;
};

void TestDownload::initTestCase()
{
#if defined(__SANITIZE_THREAD__)
    // Qt Network moves every request through threads of its own that are not built for ThreadSanitizer,
    // so it reports Qt against itself; the downloads themselves run on the calling thread only.
    QSKIP("Qt Network's own threads are not instrumented");
#endif
}

void TestDownload::init()
{
    server_.emplace();
    QVERIFY(server_->Listen());
}

void TestDownload::cleanup()
{
    server_.reset();
}

TResult TestDownload::Fetch(const QString& url, const TDownloadLimits& limits)
{
    TResult result;
    QObject context;
    DownloadToBytes(
        url, &context,
        [&result](bool ok, const QByteArray& body) {
            ++result.Calls;
            result.Ok = ok;
            result.Body = body;
        },
        limits);
    (void)QTest::qWaitFor([&result] { return result.Calls > 0; }, kWaitMs);
    // A second report would come from the event loop; give it the chance.
    QTest::qWait(50);
    return result;
}

void TestDownload::splitsLines_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::newRow("empty") << QByteArray() << QList<QByteArray>{};
    QTest::newRow("no break") << QByteArray("a") << QList<QByteArray>{"a"};
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QList<QByteArray>{"a", "b"};
    QTest::newRow("LF") << QByteArray("a\nb") << QList<QByteArray>{"a", "b"};
    QTest::newRow("CR") << QByteArray("a\rb\r") << QList<QByteArray>{"a", "b"};
    QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << QList<QByteArray>{"a", "", "b"};
    QTest::newRow("empty lines kept") << QByteArray("\r\n\r\nx") << QList<QByteArray>{"", "", "x"};
    QTest::newRow("lone break") << QByteArray("\n") << QList<QByteArray>{""};
    QTest::newRow("bytes kept raw") << QByteArray("\xcf\xf0\0z", 4) << QList<QByteArray>{QByteArray("\xcf\xf0\0z", 4)};
}

void TestDownload::splitsLines()
{
    QFETCH(QByteArray, body);
    QFETCH(QList<QByteArray>, lines);
    QCOMPARE(SplitLines(body), lines);
}

void TestDownload::outcomes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("cap");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("body");

    const QByteArray body = "<rss>news</rss>";
    QTest::newRow("200") << "/ok" << qint64(-1) << true << body;
    QTest::newRow("200 empty body") << "/empty" << qint64(-1) << true << QByteArray();
    QTest::newRow("404") << "/missing" << qint64(-1) << false << QByteArray();
    QTest::newRow("500 with a body") << "/error" << qint64(-1) << false << QByteArray();
    QTest::newRow("204 is not 200") << "/nocontent" << qint64(-1) << false << QByteArray();
    QTest::newRow("dropped connection") << "/drop" << qint64(-1) << false << QByteArray();
    QTest::newRow("one redirect") << "/r1" << qint64(-1) << true << body;
    QTest::newRow("relative redirect") << "/relative" << qint64(-1) << true << body;
    QTest::newRow("five redirects") << "/chain5" << qint64(-1) << true << body;
    QTest::newRow("six redirects") << "/chain6" << qint64(-1) << false << QByteArray();
    QTest::newRow("redirect loop") << "/loop" << qint64(-1) << false << QByteArray();
    QTest::newRow("redirect to file") << "/tofile" << qint64(-1) << false << QByteArray();
    QTest::newRow("redirect to ftp") << "/toftp" << qint64(-1) << false << QByteArray();
    QTest::newRow("redirect to javascript") << "/tojs" << qint64(-1) << false << QByteArray();
    QTest::newRow("redirect without Location") << "/nolocation" << qint64(-1) << false << QByteArray();
    QTest::newRow("at the cap") << "/big" << qint64(1000) << true << Repeat('x', 1000);
    QTest::newRow("past the cap by length") << "/big" << qint64(999) << false << QByteArray();
    QTest::newRow("past the cap without length") << "/biguncounted" << qint64(999) << false << QByteArray();
    QTest::newRow("at the cap without length") << "/biguncounted" << qint64(1000) << true << Repeat('x', 1000);
    QTest::newRow("cap counts the final body only") << "/tobig" << qint64(1000) << true << Repeat('x', 1000);
}

void TestDownload::outcomes()
{
    QFETCH(QString, path);
    QFETCH(qint64, cap);
    QFETCH(bool, ok);
    QFETCH(QByteArray, body);

    const QByteArray feed = "<rss>news</rss>";
    server_->Serve("/ok", feed);
    server_->Serve("/empty", QByteArray());
    THttpRoute error;
    error.Status = 500;
    error.Body = "broken";
    server_->Route("/error", error);
    THttpRoute noContent;
    noContent.Status = 204;
    server_->Route("/nocontent", noContent);
    THttpRoute drop;
    drop.Drop = true;
    server_->Route("/drop", drop);
    server_->Redirect("/r1", server_->Url("/ok"), 301);
    server_->Redirect("/relative", "ok", 307);
    // /chainN redirects N times before it reaches /ok.
    for (int n = 1; n <= 6; ++n)
        server_->Redirect(QStringLiteral("/chain%1").arg(n),
                          n == 1 ? server_->Url("/ok") : server_->Url(QStringLiteral("/chain%1").arg(n - 1)),
                          n % 2 ? 302 : 303);
    server_->Redirect("/loop", "/loop");
    server_->Redirect("/tofile", "file:///etc/passwd");
    server_->Redirect("/toftp", "ftp://127.0.0.1/feed");
    server_->Redirect("/tojs", "javascript:alert(1)");
    THttpRoute noLocation;
    noLocation.Status = 302;
    server_->Route("/nolocation", noLocation);
    server_->Serve("/big", Repeat('x', 1000));
    THttpRoute uncounted;
    uncounted.Body = Repeat('x', 1000);
    uncounted.OmitLength = true;
    server_->Route("/biguncounted", uncounted);
    THttpRoute bigRedirect;
    bigRedirect.Status = 302;
    bigRedirect.Headers.append(qMakePair(QByteArray("Location"), QByteArray("/big")));
    bigRedirect.Body = Repeat('r', 5000);
    server_->Route("/tobig", bigRedirect);

    TDownloadLimits limits;
    limits.MaxBytes = cap;
    const TResult result = Fetch(server_->Url(path), limits);
    QCOMPARE(result.Calls, 1);
    QCOMPARE(result.Ok, ok);
    QCOMPARE(result.Body, body);
}

void TestDownload::refusedPortFails()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    const TResult result = Fetch(QStringLiteral("http://127.0.0.1:%1/feed").arg(port), {});
    QCOMPARE(result.Calls, 1);
    QVERIFY(!result.Ok);

    for (const QString& bad : {QStringLiteral("file:///etc/hostname"), QStringLiteral("ftp://127.0.0.1/x"),
                               QStringLiteral("not a url"), QString(), QStringLiteral("http://")}) {
        const TResult refused = Fetch(bad, {});
        QCOMPARE(refused.Calls, 1);
        QVERIFY2(!refused.Ok, qPrintable(bad));
    }
}

void TestDownload::silentServerTimesOut()
{
    THttpRoute late;
    late.DelayMs = 5000;
    late.Body = "late";
    server_->Route("/late", late);
    TDownloadLimits limits;
    limits.TimeoutMs = 300;
    QElapsedTimer clock;
    clock.start();
    const TResult result = Fetch(server_->Url("/late"), limits);
    QVERIFY(!result.Ok);
    QVERIFY2(clock.elapsed() < 4000, "the time-out did not end the download");
}

void TestDownload::slowBodyWithinTheTimeOutSucceeds()
{
    // The time-out is for silence, not for the whole transfer: a body that keeps coming is taken.
    THttpRoute slow;
    slow.Body = Repeat('s', 40);
    slow.ChunkBytes = 4;
    slow.ChunkIntervalMs = 100;
    server_->Route("/slow", slow);
    TDownloadLimits limits;
    limits.TimeoutMs = 600;
    const TResult result = Fetch(server_->Url("/slow"), limits);
    QVERIFY(result.Ok);
    QCOMPARE(result.Body, slow.Body);
}

void TestDownload::deadlineEndsATrickle()
{
    THttpRoute trickle;
    trickle.Body = Repeat('t', 100);
    trickle.ChunkBytes = 1;
    trickle.ChunkIntervalMs = 50;
    server_->Route("/trickle", trickle);
    TDownloadLimits limits;
    limits.TimeoutMs = 1000;
    limits.DeadlineMs = 600;
    QElapsedTimer clock;
    clock.start();
    const TResult result = Fetch(server_->Url("/trickle"), limits);
    QVERIFY(!result.Ok);
    QVERIFY2(clock.elapsed() < 3000, "the deadline did not end the download");
}

void TestDownload::stringsComeAsLines()
{
    server_->Serve("/lines", "one\r\ntwo\nthree\rfour");
    server_->Serve("/big", Repeat('y', 100));
    QObject context;
    int calls = 0;
    QList<QByteArray> got;
    bool ok = false;
    DownloadToStrings(server_->Url("/lines"), &context, [&](bool success, const QList<QByteArray>& lines) {
        ++calls;
        ok = success;
        got = lines;
    });
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, kWaitMs);
    QVERIFY(ok);
    QCOMPARE(got, (QList<QByteArray>{"one", "two", "three", "four"}));

    calls = 0;
    DownloadToStrings(
        server_->Url("/big"), &context,
        [&](bool success, const QList<QByteArray>& lines) {
            ++calls;
            ok = success;
            got = lines;
        },
        99);
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, kWaitMs);
    QVERIFY(!ok);
    QVERIFY(got.isEmpty());
}

void TestDownload::streamGetsExactlyTheBody()
{
    server_->Serve("/file", "NEW", "application/octet-stream");
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write("an older and much longer content");
    QObject context;
    int calls = 0;
    bool ok = false;
    DownloadToStream(server_->Url("/file"), &file, &context, [&](bool success) {
        ++calls;
        ok = success;
    });
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, kWaitMs);
    QVERIFY(ok);
    file.seek(0);
    QCOMPARE(file.readAll(), QByteArray("NEW"));

    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    calls = 0;
    DownloadToStream(server_->Url("/file"), &buffer, &context, [&](bool success) {
        ++calls;
        ok = success;
    });
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, kWaitMs);
    QVERIFY(ok);
    QCOMPARE(buffer.data(), QByteArray("NEW"));
}

void TestDownload::streamIsLeftAloneOnFailure()
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    buffer.write("kept");
    QObject context;
    int calls = 0;
    bool ok = true;
    DownloadToStream(server_->Url("/missing"), &buffer, &context, [&](bool success) {
        ++calls;
        ok = success;
    });
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, kWaitMs);
    QVERIFY(!ok);
    QCOMPARE(buffer.data(), QByteArray("kept"));

    // A device that takes no writes fails the download instead of dropping the body.
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    server_->Serve("/file", "body");
    calls = 0;
    DownloadToStream(server_->Url("/file"), &readOnly, &context, [&](bool success) {
        ++calls;
        ok = success;
    });
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, kWaitMs);
    QVERIFY(!ok);
}

void TestDownload::streamFailsPastItsCap()
{
    THttpRoute uncounted;
    uncounted.Body = Repeat('z', 5000);
    uncounted.OmitLength = true;
    server_->Route("/big", uncounted);
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    QObject context;
    int calls = 0;
    bool ok = true;
    DownloadToStream(
        server_->Url("/big"), &buffer, &context,
        [&](bool success) {
            ++calls;
            ok = success;
        },
        4999);
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, kWaitMs);
    QVERIFY(!ok);
}

void TestDownload::capHoldsWhileTheMainThreadIsBusy()
{
    // An endless body at loopback speed while the main thread does something else for a while: the
    // network side must stop taking bytes in, not pile up all it can before the cap is looked at.
    constexpr qint64 kCap = 1024 * 1024;
    // The socket buffers of both ends and the network side's own buffer, with room to spare.
    constexpr qint64 kMostTakenIn = 32 * 1024 * 1024;
    THttpRoute endless;
    endless.Endless = true;
    endless.Body = Repeat('e', 64 * 1024);
    server_->Route("/endless", endless);
    TDownloadLimits limits;
    limits.MaxBytes = kCap;
    TResult result;
    QObject context;
    DownloadToBytes(
        server_->Url("/endless"), &context,
        [&result](bool ok, const QByteArray& body) {
            ++result.Calls;
            result.Ok = ok;
            result.Body = body;
        },
        limits);
    QVERIFY(QTest::qWaitFor([this] { return server_->BytesSent() > 0; }, kWaitMs));
    QThread::msleep(500);
    QTRY_COMPARE_WITH_TIMEOUT(result.Calls, 1, kWaitMs);
    QVERIFY(!result.Ok);
    QTest::qWait(200);
    QVERIFY2(server_->BytesSent() < kMostTakenIn, QByteArray::number(server_->BytesSent()).constData());
}

void TestDownload::goneContextIsNeverCalled()
{
    THttpRoute late;
    late.DelayMs = 300;
    late.Body = "late";
    server_->Route("/late", late);
    server_->Serve("/ok", "now");
    int calls = 0;
    {
        QObject context;
        DownloadToBytes(server_->Url("/late"), &context, [&](bool, const QByteArray&) { ++calls; }, {});
        DownloadToStrings(server_->Url("/ok"), &context, [&](bool, const QList<QByteArray>&) { ++calls; });
    }
    auto* deletedInReport = new QObject;
    int reports = 0;
    DownloadToStrings(server_->Url("/ok"), deletedInReport, [&](bool, const QList<QByteArray>&) {
        ++reports;
        delete deletedInReport;
    });
    QTest::qWait(800);
    QCOMPARE(calls, 0);
    QCOMPARE(reports, 1);
}

void TestDownload::reportComesOnTheContextsThread()
{

    server_->Serve("/ok", "body");
    QObject context; // lives on this thread
    QThread worker;
    worker.start();
    QObject starter;
    starter.moveToThread(&worker);
    QThread* reportedOn = nullptr;
    int calls = 0;
    QMetaObject::invokeMethod(&starter, [&] {
        DownloadToBytes(server_->Url("/ok"), &context,
                        [&](bool, const QByteArray&) {
                            reportedOn = QThread::currentThread();
                            ++calls;
                        },
                        {});
    });
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, kWaitMs);
    QCOMPARE(reportedOn, QThread::currentThread());
    worker.quit();
    worker.wait();
}

QTEST_GUILESS_MAIN(TestDownload)
#include "test_download.moc"
