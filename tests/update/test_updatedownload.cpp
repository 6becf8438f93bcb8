// The update list and the update files fetched from a server on loopback: only a list signed by the
// publisher's key is taken, a list with one bad file is refused whole, and any failure leaves nothing
// behind, so the update folder holds all of an update or none of it.
#include "filefixtures.h"
#include "support/httpserver.h"
#include "support/minisign.h"
#include "update/install.h"
#include "update/updatecheck.h"

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
    void wholeListRefusedBeforeFetching_data();
    void wholeListRefusedBeforeFetching();
    void downloadPlacesEveryFile();
    void anyFailureLeavesNothing_data();
    void anyFailureLeavesNothing();
    void whatStandsInTheFolderPlaceIsNotFollowed();
    void cancelledDownloadLeavesNothing();

private:
    void ServeSigned(const QString& path, const QByteArray& list, const minisign::TKeyPair& key);

    TLoopbackHttpServer server_;
    QTemporaryDir keys_;
    minisign::TKeyPair key_;
    minisign::TKeyPair otherKey_;
};

namespace {

constexpr int kWaitMs = 20000;

TListResult FetchList(const std::string& url, const QByteArray& keyLine)
{
    QObject context;
    bool done = false;
    TListResult result;
    result.Failure = TListFailure::None;
    LoadUpdateList(url, keyLine.toStdString(), &context, [&](TListResult answer) {
        result = std::move(answer);
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

QString Sha256Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

const TVersion kOffered{3, 0, 1, 0};
// A program that answers --version as the offered one does.
const QByteArray kNewProgram = "#!/bin/sh\necho 'Korvan II 3.00.1'\n";

std::string WithDigest(const QString& url, const QByteArray& body)
{
    return (url + "#sha256=" + Sha256Hex(body)).toStdString();
}

TUpdateInfo Offer(std::vector<TUpdateFile> files)
{
    return {kOffered, std::move(files)};
}

TUpdateDownload::TResult RunDownload(TUpdateDownload& download)
{
    QSignalSpy finished(&download, &TUpdateDownload::finished);
    download.Start();
    if (!finished.wait(kWaitMs))
        qWarning("the download never reported");
    return download.Result();
}

} // namespace

void TestUpdateDownload::initTestCase()
{
    QVERIFY(server_.Listen());
    if (!minisign::Available())
        QSKIP("minisign is not installed");
    QVERIFY(QDir(keys_.path()).mkpath("a") && QDir(keys_.path()).mkpath("b"));
    key_ = minisign::Generate(keys_.filePath("a"));
    otherKey_ = minisign::Generate(keys_.filePath("b"));
    QVERIFY(!key_.KeyLine.isEmpty() && !otherKey_.KeyLine.isEmpty());
}

void TestUpdateDownload::ServeSigned(const QString& path, const QByteArray& list, const minisign::TKeyPair& key)
{
    server_.Serve(path, list, "text/plain");
    const QByteArray signature = minisign::Sign(key.SecretKeyFile, list, keys_.path());
    QVERIFY(!signature.isEmpty());
    server_.Serve(path + kSignatureSuffix, signature, "text/plain");
}

void TestUpdateDownload::listFromServer()
{
    ServeSigned("/download/update/en/update.txt",
                "; Korvan\r\n3\r\n\r\n0\r\n; release\r\n1\r\n0\r\nkorvan\r\n  http://h/korvan  \r\nodd\r\n", key_);
    const auto result = FetchList(UpdateListUrl(server_.Url("").toStdString(), "en"), key_.KeyLine);
    QVERIFY(result.Info.has_value());
    QCOMPARE(int(result.Failure), int(TListFailure::None));
    QCOMPARE(VersionNumber(result.Info->Version), VersionNumber({3, 0, 1, 0}));
    QCOMPARE(result.Info->Files.size(), std::size_t(1));
    QCOMPARE(result.Info->Files[0].Name, std::string("korvan"));
    QCOMPARE(result.Info->Files[0].URL, std::string("http://h/korvan"));
}

void TestUpdateDownload::listFailures_data()
{
    QTest::addColumn<QString>("path"); // empty: no address at all
    QTest::addColumn<int>("failure");
    const int fetch = int(TListFailure::Fetch);
    const int signature = int(TListFailure::Signature);
    const int unusable = int(TListFailure::Unusable);
    const QByteArray usable = "3\n0\n0\n0\n";
    ServeSigned("/short.txt", "2\n6\n3\n", key_);
    ServeSigned("/comments.txt", ";1\n;2\n;3\n;4\n\n \n", key_);
    ServeSigned("/wraps.txt", "2\n262\n0\n0\n", key_);
    server_.Serve("/unsigned.txt", usable, "text/plain");
    ServeSigned("/other-key.txt", usable, otherKey_);
    ServeSigned("/changed.txt", "2\n6\n3\n0\n", key_);
    server_.Serve("/changed.txt", "9\n6\n3\n0\n", "text/plain");
    server_.Serve("/garbage-signature.txt", usable, "text/plain");
    server_.Serve("/garbage-signature.txt.minisig", "<html>Not found</html>", "text/html");
    THttpRoute gone;
    gone.Status = 500;
    gone.Body = "1\n2\n3\n4\n";
    server_.Route("/error.txt", gone);
    QTest::newRow("three lines") << "/short.txt" << unusable;
    QTest::newRow("only comments and blanks") << "/comments.txt" << unusable;
    QTest::newRow("a version part over 255") << "/wraps.txt" << unusable;
    QTest::newRow("no signature") << "/unsigned.txt" << signature;
    QTest::newRow("signed by another key") << "/other-key.txt" << signature;
    QTest::newRow("changed after signing") << "/changed.txt" << signature;
    QTest::newRow("a page in the signature's place") << "/garbage-signature.txt" << signature;
    QTest::newRow("not found") << "/missing.txt" << fetch;
    QTest::newRow("server error with a usable body") << "/error.txt" << fetch;
    QTest::newRow("no address") << "" << fetch;
}

void TestUpdateDownload::listFailures()
{
    QFETCH(QString, path);
    QFETCH(int, failure);
    const std::string url = path.isEmpty() ? UpdateListUrl("", "en") : server_.Url(path).toStdString();
    const TListResult result = FetchList(url, key_.KeyLine);
    QVERIFY(!result.Info.has_value());
    QCOMPARE(int(result.Failure), failure);
    // Without a key no list is ever good.
    QVERIFY(!FetchList(server_.Url("/other-key.txt").toStdString(), QByteArray()).Info.has_value());
}

void TestUpdateDownload::wholeListRefusedBeforeFetching_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("fragment"); // after the URL of the last file
    const QString digest = "#sha256=" + Sha256Hex("evil");
    QTest::newRow("a folder part") << "sub/evil" << digest;
    QTest::newRow("up and out") << "../evil" << digest;
    QTest::newRow("absolute") << "/tmp/evil" << digest;
    QTest::newRow("the settings file") << "tavix.ini" << digest;
    QTest::newRow("a name twice") << "DATA.txt" << digest;
    QTest::newRow("no digest") << "evil"
                               << "";
    QTest::newRow("a short digest") << "evil"
                                    << "#sha256=abc";
}

void TestUpdateDownload::wholeListRefusedBeforeFetching()
{
    QFETCH(QString, name);
    QFETCH(QString, fragment);
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    server_.Serve("/f/data.txt", "data", "text/plain");
    server_.Serve("/f/evil", "evil", "application/octet-stream");
    const int dataHits = server_.Hits("/f/data.txt");
    const int evilHits = server_.Hits("/f/evil");
    TUpdateDownload download(root.toStdString(), "korvan",
                             Offer({{"data.txt", WithDigest(server_.Url("/f/data.txt"), "data")},
                                    {name.toStdString(), (server_.Url("/f/evil") + fragment).toStdString()}}));
    QCOMPARE(int(RunDownload(download)), int(TUpdateDownload::TResult::Refused));
    QCOMPARE(server_.Hits("/f/data.txt"), dataHits);
    QCOMPARE(server_.Hits("/f/evil"), evilHits);
    QCOMPARE(Listing(root), QStringList{});
}

void TestUpdateDownload::downloadPlacesEveryFile()
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    const QByteArray data = "new data";
    const QByteArray checked = "checked file";
    server_.Serve("/f/korvan", kNewProgram, "application/octet-stream");
    server_.Serve("/f/data.txt", data, "text/plain");
    server_.Serve("/f/checked.bin", checked, "application/octet-stream");
    // What an earlier update left, and a private data file.
    QVERIFY(QDir().mkpath(root + "_update"));
    {
        QFile stale(root + "_update/stale.txt");
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("stale");
        QFile old(root + "data.txt");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old data");
    }
    ::chmod(QFile::encodeName(root + "data.txt").constData(), 0600);

    TUpdateDownload download(
        root.toStdString(), "korvan",
        Offer({{"korvan", WithDigest(server_.Url("/f/korvan"), kNewProgram)},
               {" data.txt ", " " + WithDigest(server_.Url("/f/data.txt"), data) + " "},
               {"checked.bin",
                (server_.Url("/f/checked.bin") + "#sha256=" + Sha256Hex(checked).toUpper()).toStdString()}}));
    QList<int> numbers;
    int count = 0;
    connect(&download, &TUpdateDownload::fileStarted, this, [&](int number, int total) {
        numbers << number;
        count = total;
    });
    QCOMPARE(int(RunDownload(download)), int(TUpdateDownload::TResult::Done));
    QCOMPARE(numbers, (QList<int>{1, 2, 3}));
    QCOMPARE(count, 3);
    QCOMPARE(Listing(root + "_update"), (QStringList{"checked.bin", "data.txt", "korvan"}));
    QCOMPARE(Read(root + "_update/korvan"), kNewProgram);
    QCOMPARE(Read(root + "_update/data.txt"), data);
    QCOMPARE(Read(root + "_update/checked.bin"), checked);
    // A new program is executable; a replacement keeps the mode of what it replaces.
    QVERIFY(ModeOf(root + "_update/korvan") & S_IXUSR);
    QCOMPARE(ModeOf(root + "_update/data.txt"), mode_t(0600));
    QCOMPARE(Listing(root), (QStringList{"_update", "data.txt"}));
    // No fragment was ever sent.
    for (const QString& request : server_.Requests())
        QVERIFY2(!request.contains('#'), qPrintable(request));
}

void TestUpdateDownload::anyFailureLeavesNothing_data()
{
    QTest::addColumn<QString>("path");    // of the second file
    QTest::addColumn<QByteArray>("body"); // what the list's digest says it is
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("deadlineMs");
    const int failed = int(TUpdateDownload::TResult::Failed);
    const int broken = int(TUpdateDownload::TResult::ProgramBroken);
    const int late = int(TUpdateDownload::TResult::TimedOut);
    const int standard = kUpdateDownloadDeadlineMs;
    server_.Serve("/x/tampered", "not what was published", "application/octet-stream");
    THttpRoute cut;
    cut.Body = "only the st";
    cut.OmitLength = true;
    cut.Headers.append(qMakePair(QByteArray("Content-Length"), QByteArray("1000")));
    server_.Route("/x/cut", cut);
    server_.Serve("/x/empty", "", "application/octet-stream");
    const QByteArray older = "#!/bin/sh\necho 'Korvan II 2.06.2'\n";
    server_.Serve("/x/older", older, "application/octet-stream");
    THttpRoute trickle;
    trickle.Body = QByteArray(64 * 1024, 'x');
    trickle.ChunkBytes = 64;
    trickle.ChunkIntervalMs = 100;
    server_.Route("/x/trickle", trickle);
    QTest::newRow("not found") << "/x/missing" << QByteArray("x") << failed << standard;
    QTest::newRow("wrong digest") << "/x/tampered" << QByteArray("published") << failed << standard;
    QTest::newRow("cut off") << "/x/cut" << QByteArray("only the st") << failed << standard;
    QTest::newRow("an empty program") << "/x/empty" << QByteArray() << broken << standard;
    QTest::newRow("a program of another version") << "/x/older" << older << broken << standard;
    QTest::newRow("past the deadline") << "/x/trickle" << trickle.Body << late << 1000;
}

void TestUpdateDownload::anyFailureLeavesNothing()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(int, result);
    QFETCH(int, deadlineMs);
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    server_.Serve("/f/readme.txt", "readme", "text/plain");
    // The program comes last, so a failure of its own comes after every other file has landed.
    const bool program = result == int(TUpdateDownload::TResult::ProgramBroken);
    TUpdateDownload download(root.toStdString(), "korvan",
                             Offer({{"readme.txt", WithDigest(server_.Url("/f/readme.txt"), "readme")},
                                    {program ? "korvan" : "second.bin", WithDigest(server_.Url(path), body)}}),
                             nullptr, deadlineMs);
    QCOMPARE(int(RunDownload(download)), result);
    QCOMPARE(Listing(root), QStringList{});
}

void TestUpdateDownload::whatStandsInTheFolderPlaceIsNotFollowed()
{
    QTemporaryDir dir, elsewhere;
    const QString root = dir.path() + "/";
    QVERIFY(QFile::link(elsewhere.path(), root + "_update"));
    server_.Serve("/f/a", "a", "application/octet-stream");
    TUpdateDownload download(root.toStdString(), "korvan", Offer({{"a", WithDigest(server_.Url("/f/a"), "a")}}));
    QCOMPARE(int(RunDownload(download)), int(TUpdateDownload::TResult::Done));
    QCOMPARE(Listing(elsewhere.path()), QStringList{});
    QVERIFY(!QFileInfo(root + "_update").isSymLink());
    QCOMPARE(Listing(root + "_update"), QStringList{"a"});
}

void TestUpdateDownload::cancelledDownloadLeavesNothing()
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    THttpRoute slow;
    slow.Body = QByteArray(64 * 1024, 'x');
    slow.ChunkBytes = 1024;
    slow.ChunkIntervalMs = 50;
    server_.Route("/f/slow", slow);
    server_.Serve("/f/a", "a", "application/octet-stream");
    const TUpdateInfo offer = Offer(
        {{"a", WithDigest(server_.Url("/f/a"), "a")}, {"slow.bin", WithDigest(server_.Url("/f/slow"), slow.Body)}});
    // Cancelled by the user, and cut off by the window that ran it going away.
    {
        TUpdateDownload download(root.toStdString(), "korvan", offer);
        QSignalSpy finished(&download, &TUpdateDownload::finished);
        download.Start();
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(root + "_update/slow.bin.part").size() > 0; }, kWaitMs));
        download.Cancel();
        QCOMPARE(Listing(root), QStringList{});
        QTest::qWait(200);
        QCOMPARE(finished.count(), 0);
    }
    {
        TUpdateDownload download(root.toStdString(), "korvan", offer);
        download.Start();
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(root + "_update/slow.bin.part").size() > 0; }, kWaitMs));
    }
    QCOMPARE(Listing(root), QStringList{});
}

QTEST_MAIN(TestUpdateDownload)
#include "test_updatedownload.moc"
