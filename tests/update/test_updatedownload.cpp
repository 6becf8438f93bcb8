// The update list and the update files fetched from a server on loopback: what lands in the update
// folder, what is skipped, and that nothing is ever written outside it.
#include "filefixtures.h"
#include "support/httpserver.h"
#include "update/install_u.h"
#include "update/updatecheck_u.h"

#include <QCryptographicHash>
#include <QtTest>

using updatetest::ModeOf;
using updatetest::Read;

class TestUpdateDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listFromServer();
    void listFailures_data();
    void listFailures();
    void downloadSkipsWhatItMust();
    void unusableFolderStops_data();
    void unusableFolderStops();
    void abandonedDownloadLeavesNoPart();

private:
    TLoopbackHttpServer server_;
};

namespace {

constexpr int kWaitMs = 20000;

std::optional<TUpdateInfo> FetchList(const std::string& url)
{
    QObject context;
    bool done = false;
    std::optional<TUpdateInfo> result;
    LoadUpdateList(url, &context, [&](std::optional<TUpdateInfo> info) {
        result = std::move(info);
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, kWaitMs))
        qWarning("the list fetch never reported");
    return result;
}

QStringList Listing(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

QStringList Names(const std::vector<std::string>& names)
{
    QStringList list;
    for (const std::string& name : names)
        list << QString::fromStdString(name);
    return list;
}

QString Sha256Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

void TestUpdateDownload::initTestCase()
{
    QVERIFY(server_.Listen());
}

void TestUpdateDownload::listFromServer()
{
    server_.Serve("/download/update/en/update.txt",
                  "; Korvan\r\n3\r\n\r\n0\r\n; release\r\n1\r\n0\r\nkorvan\r\n  http://h/korvan  \r\nodd\r\n",
                  "text/plain");
    const auto info = FetchList(UpdateListUrl(server_.Url("").toStdString(), "en"));
    QVERIFY(info.has_value());
    QCOMPARE(VersionNumber(info->Version), VersionNumber({3, 0, 1, 0}));
    QCOMPARE(info->Files.size(), std::size_t(1));
    QCOMPARE(info->Files[0].Name, std::string("korvan"));
    QCOMPARE(info->Files[0].URL, std::string("http://h/korvan"));
}

void TestUpdateDownload::listFailures_data()
{
    QTest::addColumn<QString>("path"); // empty: no address at all
    server_.Serve("/short.txt", "2\n6\n3\n", "text/plain");
    server_.Serve("/comments.txt", ";1\n;2\n;3\n;4\n\n \n", "text/plain");
    THttpRoute gone;
    gone.Status = 500;
    gone.Body = "1\n2\n3\n4\n";
    server_.Route("/error.txt", gone);
    QTest::newRow("three lines") << "/short.txt";
    QTest::newRow("only comments and blanks") << "/comments.txt";
    QTest::newRow("not found") << "/missing.txt";
    QTest::newRow("server error with a usable body") << "/error.txt";
    QTest::newRow("no address") << "";
}

void TestUpdateDownload::listFailures()
{
    QFETCH(QString, path);
    const std::string url = path.isEmpty() ? UpdateListUrl("", "en") : server_.Url(path).toStdString();
    QVERIFY(!FetchList(url).has_value());
}

void TestUpdateDownload::downloadSkipsWhatItMust()
{
    QTemporaryDir dir, outside;
    const QString root = dir.path() + "/";
    const QByteArray program = "#!/bin/sh\necho new\n";
    const QByteArray data = "new data";
    const QByteArray checked = "checked file";
    server_.Serve("/f/korvan", program, "application/octet-stream");
    server_.Serve("/f/data.txt", data, "text/plain");
    server_.Serve("/f/checked.bin", checked, "application/octet-stream");
    server_.Serve("/f/tampered.bin", "not what was published", "application/octet-stream");
    server_.Serve("/f/evil", "evil", "application/octet-stream");
    // An old copy of a file and a stale half download are there already; the data file is private.
    QVERIFY(QDir().mkpath(root + "_update"));
    {
        QFile stale(root + "_update/data.txt.part");
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("stale");
        QFile old(root + "data.txt");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old data");
    }
    ::chmod(QFile::encodeName(root + "data.txt").constData(), 0600);

    const std::string absolute = (outside.path() + "/abs").toStdString();
    const std::vector<TUpdateFile> files = {
        {"korvan", server_.Url("/f/korvan").toStdString()},
        {"missing.txt", server_.Url("/f/missing.txt").toStdString()},
        {" data.txt ", " " + server_.Url("/f/data.txt").toStdString() + " "},
        {"checked.bin", (server_.Url("/f/checked.bin") + "#sha256=" + Sha256Hex(checked).toUpper()).toStdString()},
        {"tampered.bin", (server_.Url("/f/tampered.bin") + "#sha256=" + Sha256Hex(checked)).toStdString()},
        {"short.bin", (server_.Url("/f/evil") + "#sha256=abc").toStdString()},
        {"sub/evil", server_.Url("/f/evil").toStdString()},
        {"../evil", server_.Url("/f/evil").toStdString()},
        {absolute, server_.Url("/f/evil").toStdString()},
        {"tavix.ini", server_.Url("/f/evil").toStdString()},
    };
    const int hitsBefore = server_.Hits("/f/evil");

    TUpdateDownload download(root.toStdString(), "korvan", files);
    QList<int> numbers;
    int count = 0;
    connect(&download, &TUpdateDownload::fileStarted, this, [&](int number, int total) {
        numbers << number;
        count = total;
    });
    QSignalSpy finished(&download, &TUpdateDownload::finished);
    download.Start();
    QVERIFY(finished.wait(kWaitMs));

    const auto& outcome = download.Outcome();
    QVERIFY(!outcome.Stopped);
    QCOMPARE(numbers, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    QCOMPARE(count, 10);
    QCOMPARE(Names(outcome.Downloaded), (QStringList{"korvan", "data.txt", "checked.bin"}));
    QCOMPARE(Names(outcome.Failed), (QStringList{"missing.txt", "tampered.bin", "short.bin"}));
    QCOMPARE(Names(outcome.Refused),
             (QStringList{"sub/evil", "../evil", QString::fromStdString(absolute), "tavix.ini"}));
    QCOMPARE(Listing(root + "_update"), (QStringList{"checked.bin", "data.txt", "korvan"}));
    QCOMPARE(Read(root + "_update/korvan"), program);
    QCOMPARE(Read(root + "_update/data.txt"), data);
    QCOMPARE(Read(root + "_update/checked.bin"), checked);
    // A new program is executable; a replacement keeps the mode of what it replaces.
    QVERIFY(ModeOf(root + "_update/korvan") & S_IXUSR);
    QCOMPARE(ModeOf(root + "_update/data.txt"), mode_t(0600));
    // Nothing anywhere else, and refused names were never even fetched; no fragment was sent.
    QCOMPARE(Listing(root), (QStringList{"_update", "data.txt"}));
    QCOMPARE(Listing(outside.path()), QStringList{});
    QCOMPARE(server_.Hits("/f/evil"), hitsBefore);
    for (const QString& request : server_.Requests())
        QVERIFY2(!request.contains('#'), qPrintable(request));
}

void TestUpdateDownload::unusableFolderStops_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a file in the folder's place") << "file";
    QTest::newRow("a link in the folder's place") << "link";
}

void TestUpdateDownload::unusableFolderStops()
{
    QFETCH(QString, kind);
    QTemporaryDir dir, elsewhere;
    const QString root = dir.path() + "/";
    if (kind == "file") {
        QFile blocker(root + "_update");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    } else {
        QVERIFY(QFile::link(elsewhere.path(), root + "_update"));
    }
    server_.Serve("/f/a", "a", "application/octet-stream");
    TUpdateDownload download(root.toStdString(), "korvan", {{"a", server_.Url("/f/a").toStdString()}});
    QSignalSpy finished(&download, &TUpdateDownload::finished);
    download.Start();
    QVERIFY(finished.wait(kWaitMs));
    QVERIFY(download.Outcome().Stopped);
    QVERIFY(download.Outcome().Downloaded.empty());
    QCOMPARE(Listing(elsewhere.path()), QStringList{});
    QCOMPARE(Listing(root), QStringList{"_update"});
}

void TestUpdateDownload::abandonedDownloadLeavesNoPart()
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    THttpRoute slow;
    slow.Body = QByteArray(64 * 1024, 'x');
    slow.ChunkBytes = 1024;
    slow.ChunkIntervalMs = 50;
    server_.Route("/f/slow", slow);
    {
        TUpdateDownload download(root.toStdString(), "korvan", {{"slow.bin", server_.Url("/f/slow").toStdString()}});
        download.Start();
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(root + "_update/slow.bin.part").size() > 0; }, kWaitMs));
    }
    QCOMPARE(Listing(root + "_update"), QStringList{});
}

QTEST_MAIN(TestUpdateDownload)
#include "test_updatedownload.moc"
