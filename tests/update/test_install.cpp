// Placing update files: names that may be written, digests in URLs, the move into the program's folder
// and the batch text of the Windows edition.
#include "filefixtures.h"
#include "update/install.h"
#include "update/updatelist.h"

#include <QtTest>

using updatetest::ModeOf;
using updatetest::Read;

Q_DECLARE_METATYPE(std::vector<TUpdateFile>)

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void safeNames_data();
    void safeNames();
    void fileSource_data();
    void fileSource();
    void wholeListChecked_data();
    void wholeListChecked();
    void batchText();
    void installMovesFilesAndKeepsModes();
    void installWithoutFolder();
    void installLeavesWhatItCannotMove();
    void installRefusesLinkedFolder();
};

namespace {

bool Write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

void TestInstall::safeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "korvan" << true;
    QTest::newRow("with extension and blanks") << "read me.txt" << true;
    QTest::newRow("leading dot") << ".hidden" << true;
    QTest::newRow("dots inside") << "a..b" << true;
    QTest::newRow("non-ASCII") << "zprávy.txt" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("folder part") << "lib/a.so" << false;
    QTest::newRow("parent") << "../korvan" << false;
    QTest::newRow("absolute") << "/etc/passwd" << false;
    QTest::newRow("trailing slash") << "dir/" << false;
    QTest::newRow("backslash folder") << "Data\\a.dll" << false;
    QTest::newRow("drive") << "C:korvan.exe" << false;
    QTest::newRow("control character") << "a\tb" << false;
    QTest::newRow("the server list") << "tavix.ini" << false;
    QTest::newRow("the server list, other case") << "TAVIX.INI" << false;
    QTest::newRow("the lock file") << "tavix.lck" << false;
    QTest::newRow("the update folder") << "_update" << false;
    QTest::newRow("the batch file") << "_updater.bat" << false;
    QTest::newRow("a part file") << "korvan.part" << false;
}

void TestInstall::safeNames()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(IsSafeUpdateName(name.toStdString()), safe);
}

void TestInstall::fileSource_data()
{
    const QString hex = QString("0123456789abcdef").repeated(4);
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("fetch");
    QTest::addColumn<QString>("digest"); // empty: none
    QTest::addColumn<bool>("malformed");
    QTest::newRow("no fragment") << "http://h/a?x=1"
                                 << "http://h/a?x=1"
                                 << "" << false;
    QTest::newRow("digest") << "http://h/a#sha256=" + hex << "http://h/a" << hex << false;
    QTest::newRow("digest in upper case") << "http://h/a#SHA256=" + hex.toUpper() << "http://h/a" << hex << false;
    QTest::newRow("other fragment is dropped") << "http://h/a#top"
                                               << "http://h/a"
                                               << "" << false;
    QTest::newRow("empty fragment") << "http://h/a#"
                                    << "http://h/a"
                                    << "" << false;
    QTest::newRow("short digest") << "http://h/a#sha256=" + hex.left(63) << "http://h/a"
                                  << "" << true;
    QTest::newRow("long digest") << "http://h/a#sha256=" + hex + "0"
                                 << "http://h/a"
                                 << "" << true;
    QTest::newRow("not hex") << "http://h/a#sha256=" + hex.left(63) + "g"
                             << "http://h/a"
                             << "" << true;
    QTest::newRow("empty digest") << "http://h/a#sha256="
                                  << "http://h/a"
                                  << "" << true;
}

void TestInstall::fileSource()
{
    QFETCH(QString, url);
    QFETCH(QString, fetch);
    QFETCH(QString, digest);
    QFETCH(bool, malformed);
    const TFileSource source = ParseFileSource(url.toStdString());
    QCOMPARE(QString::fromStdString(source.FetchUrl), fetch);
    QCOMPARE(QString::fromStdString(source.Sha256.value_or("")), digest);
    QCOMPARE(source.DigestMalformed, malformed);
}

using TFiles = std::vector<TUpdateFile>;

void TestInstall::wholeListChecked_data()
{
    QTest::addColumn<TFiles>("files");
    QTest::addColumn<bool>("digestRequired");
    QTest::addColumn<bool>("acceptable");
    const std::string digest = "#sha256=" + std::string(64, 'a');
    const TFiles good = {{"korvan", "http://h/k" + digest}, {"readme.txt", "http://h/r" + digest}};
    QTest::newRow("every file named once with its digest") << good << true << true;
    QTest::newRow("no files") << TFiles{} << true << true;
    TFiles unsafe = good;
    unsafe.push_back({"Data/x.bin", "http://h/x" + digest});
    QTest::newRow("one name with a folder part") << unsafe << true << false;
    TFiles twice = good;
    twice.push_back({"README.TXT", "http://h/r2" + digest});
    QTest::newRow("a name twice in another case") << twice << true << false;
    TFiles plain = good;
    plain.push_back({"notes.txt", "http://h/n"});
    QTest::newRow("a file without a digest") << plain << true << false;
    QTest::newRow("without a digest where none is required") << plain << false << true;
    TFiles shortDigest = good;
    shortDigest.push_back({"notes.txt", "http://h/n#sha256=abcd"});
    QTest::newRow("a malformed digest where none is required") << shortDigest << false << false;
    TFiles many;
    for (std::size_t i = 0; i <= kMaxUpdateFiles; ++i)
        many.push_back({"f" + std::to_string(i), "http://h/f" + digest});
    QTest::newRow("more files than any update ships") << many << true << false;
}

void TestInstall::wholeListChecked()
{
    QFETCH(TFiles, files);
    QFETCH(bool, digestRequired);
    QFETCH(bool, acceptable);
    QCOMPARE(UpdateFilesAcceptable(files, digestRequired), acceptable);
}

void TestInstall::batchText()
{
    const std::string expected = "@echo off\r\n"
                                 "set loop=0\r\n"
                                 ":start\r\n"
                                 "move /Y _update\\*.* .\r\n"
                                 "rmdir _update\r\n"
                                 "set /A loop=%loop%+1\r\n"
                                 "if %loop% GTR 30 goto exit\r\n"
                                 "if exist _update goto start\r\n"
                                 ":exit\r\n"
                                 "set loop=\r\n"
                                 "start Korvan II.exe\r\n"
                                 "del _updater.bat\r\n";
    QCOMPARE(UpdaterBatchText("Korvan II.exe"), expected);
}

void TestInstall::installMovesFilesAndKeepsModes()
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    const std::string programDir = root.toStdString();
    // The old program is executable for the owner only, a data file is read-only for others.
    QVERIFY(Write(root + "korvan", "old program"));
    QVERIFY(Write(root + "news.txt", "old news"));
    QVERIFY(QFile::setPermissions(root + "korvan",
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    ::chmod(QFile::encodeName(root + "news.txt").constData(), 0604);
    QVERIFY(Write(root + "_update/korvan", "new program"));
    QVERIFY(Write(root + "_update/news.txt", "new news"));
    QVERIFY(Write(root + "_update/fresh.dat", "fresh"));
    QVERIFY(Write(root + "_update/half.bin.part", "half"));
    ::chmod(QFile::encodeName(root + "_update/korvan").constData(), 0644);
    ::chmod(QFile::encodeName(root + "_update/fresh.dat").constData(), 0640);

    const TInstallResult result = InstallPendingUpdate(programDir, "korvan");
    QVERIFY(result.FolderFound);
    QVERIFY(result.Left.empty());
    QVERIFY(result.FolderRemoved);
    QCOMPARE(result.Moved, (std::vector<std::string>{"fresh.dat", "korvan", "news.txt"}));
    QCOMPARE(Read(root + "korvan"), QByteArray("new program"));
    QCOMPARE(Read(root + "news.txt"), QByteArray("new news"));
    QCOMPARE(Read(root + "fresh.dat"), QByteArray("fresh"));
    QCOMPARE(ModeOf(root + "korvan"), mode_t(0700));
    QCOMPARE(ModeOf(root + "news.txt"), mode_t(0604));
    QCOMPARE(ModeOf(root + "fresh.dat"), mode_t(0640));
    QVERIFY(!QFile::exists(root + "half.bin.part"));
    QVERIFY(!QFile::exists(root + "half.bin"));
    QVERIFY(!QFileInfo::exists(root + "_update"));
}

void TestInstall::installWithoutFolder()
{
    QTemporaryDir dir;
    QVERIFY(Write(dir.path() + "/korvan", "program"));
    const TInstallResult result = InstallPendingUpdate((dir.path() + "/").toStdString(), "korvan");
    QVERIFY(!result.FolderFound);
    QVERIFY(result.Moved.empty() && result.Left.empty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"korvan"});

    // A new program file that replaces nothing is made executable where it can be read.
    QVERIFY(Write(dir.path() + "/_update/korvan2", "new"));
    ::chmod(QFile::encodeName(dir.path() + "/_update/korvan2").constData(), 0640);
    const TInstallResult fresh = InstallPendingUpdate((dir.path() + "/").toStdString(), "korvan2");
    QCOMPARE(fresh.Moved, std::vector<std::string>{"korvan2"});
    QCOMPARE(ModeOf(dir.path() + "/korvan2"), mode_t(0750));
}

void TestInstall::installLeavesWhatItCannotMove()
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    QVERIFY(QDir().mkpath(root + "Data"));
    QVERIFY(Write(root + "tavix.ini", "[Main]\n"));
    QVERIFY(Write(root + "_update/Data", "a file where a folder is"));
    QVERIFY(Write(root + "_update/tavix.ini", "[evil]\n"));
    QVERIFY(Write(root + "_update/sub/inner.txt", "nested"));
    QVERIFY(Write(root + "_update/ok.txt", "fine"));
    QVERIFY(QFile::link("/etc/hostname", root + "_update/link.txt"));

    const TInstallResult result = InstallPendingUpdate(root.toStdString(), "korvan");
    QCOMPARE(result.Moved, std::vector<std::string>{"ok.txt"});
    QCOMPARE(result.Left, (std::vector<std::string>{"Data", "link.txt", "sub", "tavix.ini"}));
    QVERIFY(!result.FolderRemoved);
    QVERIFY(QFileInfo(root + "Data").isDir());
    QCOMPARE(Read(root + "tavix.ini"), QByteArray("[Main]\n"));
    QVERIFY(!QFileInfo::exists(root + "inner.txt"));
    QVERIFY(!QFileInfo::exists(root + "link.txt"));
    QCOMPARE(Read(root + "ok.txt"), QByteArray("fine"));
    QCOMPARE(Read(root + "_update/tavix.ini"), QByteArray("[evil]\n"));
}

void TestInstall::installRefusesLinkedFolder()
{
    QTemporaryDir dir, elsewhere;
    const QString root = dir.path() + "/";
    QVERIFY(Write(elsewhere.path() + "/korvan", "from elsewhere"));
    QVERIFY(Write(root + "korvan", "program"));
    QVERIFY(QFile::link(elsewhere.path(), root + "_update"));
    const TInstallResult result = InstallPendingUpdate(root.toStdString(), "korvan");
    QVERIFY(result.FolderFound);
    QVERIFY(result.Moved.empty());
    QCOMPARE(result.Left, std::vector<std::string>{"_update"});
    QCOMPARE(Read(root + "korvan"), QByteArray("program"));
    QVERIFY(QFile::exists(elsewhere.path() + "/korvan"));
}

QTEST_APPLESS_MAIN(TestInstall)
#include "test_install.moc"
