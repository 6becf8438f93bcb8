// The version reader against real Windows executables made by the MinGW-w64 tools, and against damaged,
// foreign and hostile input, which must always give "not the game" and never a crash or a hang.
#include "core/localization_u.h"
#include "game/getver_u.h"
#include "platform/files.h"

#include <QTemporaryDir>
#include <QtTest>
#include <random>
#include <sys/stat.h>

namespace {

const std::string kFixtures = KORVAN_PE_FIXTURES;

std::string Fixture(const char* name)
{
    return kFixtures + name;
}

std::string ReadBytes(const std::string& path)
{
    std::string data;
    platform::ReadWholeFile(path, data);
    return data;
}

void WriteBytes(const std::string& path, const std::string& data)
{
    QVERIFY(platform::ReplaceFileAtomically(path, data));
}

std::optional<TVersionResource> ParseMemory(const std::string& bytes)
{
    return ReadVersionResource(TMemorySource(bytes.data(), bytes.size()));
}

bool SameResult(const std::optional<TVersionResource>& a, const std::optional<TVersionResource>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || (a->FileVersionMS == b->FileVersionMS && a->FileVersionLS == b->FileVersionLS &&
                  a->ProductName == b->ProductName);
}

} // namespace

class TestGetVer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void gameExecutables_data();
    void gameExecutables();
    void refusedFiles_data();
    void refusedFiles();
    void productNameRule_data();
    void productNameRule();
    void messages();
    void specialFilesAreRefusedWithoutWaiting();
    void everyTruncationIsSafe();
    void mutatedImagesNeverCrash();
    void hostileHeadersAreRefused();

private:
    QTemporaryDir scratch_;
};

void TestGetVer::initTestCase()
{
    InitLocalization();
    if (kFixtures.empty())
        QSKIP("the MinGW-w64 tools were not found when the tests were configured");
    QVERIFY(scratch_.isValid());
}

void TestGetVer::gameExecutables_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("release");
    QTest::addColumn<int>("build");
    QTest::newRow("PE32+ 3.0.9.9551") << "wow309_x64.exe" << 3 << 0 << 9 << 9551;
    QTest::newRow("PE32 1.12.1.5875") << "wow112_x86.exe" << 1 << 12 << 1 << 5875;
    QTest::newRow("name with a suffix") << "wow_suffix_x64.exe" << 2 << 4 << 3 << 8606;
    QTest::newRow("lower-case name") << "wow_lower_x86.exe" << 4 << 3 << 4 << 15595;
    QTest::newRow("file version, not product version") << "wow_prodver_x64.exe" << 3 << 3 << 5 << 12340;
    QTest::newRow("first translation's table") << "two_tables_x86.exe" << 2 << 0 << 12 << 6546;
}

void TestGetVer::gameExecutables()
{
    QFETCH(QString, file);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, release);
    QFETCH(int, build);
    TGameVersion v;
    QVERIFY(GetGameVersion(Fixture(file.toUtf8().constData()), v));
    QCOMPARE(int(v.major), major);
    QCOMPARE(int(v.minor), minor);
    QCOMPARE(int(v.release), release);
    QCOMPARE(int(v.build), build);
}

void TestGetVer::refusedFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("another product") << "other_x64.exe";
    QTest::newRow("16 characters of the name") << "short16_x86.exe";
    QTest::newRow("name not at the start") << "prefix_x64.exe";
    QTest::newRow("resources but no version") << "no_version_x64.exe";
    QTest::newRow("no resources at all") << "no_resources_x86.exe";
    QTest::newRow("missing file") << "does_not_exist.exe";
}

void TestGetVer::refusedFiles()
{
    QFETCH(QString, file);
    TGameVersion v{7, 7, 7, 7};
    QVERIFY(!GetGameVersion(Fixture(file.toUtf8().constData()), v));
    // Left untouched on false.
    QCOMPARE(int(v.major), 7);
    QCOMPARE(int(v.build), 7);
}

void TestGetVer::productNameRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("game");
    QTest::newRow("exact") << "World of Warcraft" << true;
    QTest::newRow("upper") << "WORLD OF WARCRAFT" << true;
    QTest::newRow("mixed with suffix") << "wOrLd Of WaRcRaFt Classic" << true;
    QTest::newRow("16 characters") << "World of Warcraf" << false;
    QTest::newRow("other prefix") << " World of Warcraft" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("non-ASCII look-alike")
        << QString::fromUtf8("World of Warcraft").replace(0, 1, QChar(0x0174)) << false;
}

void TestGetVer::productNameRule()
{
    QFETCH(QString, name);
    QFETCH(bool, game);
    QCOMPARE(IsGameProductName(name.toStdU16String()), game);
}

void TestGetVer::messages()
{
    QCOMPARE(GameVersionMessage(Fixture("wow309_x64.exe")), std::string("Game version: 3.0.9 (build 9551)"));
    QCOMPARE(GameVersionMessage(Fixture("wow112_x86.exe")), std::string("Game version: 1.12.1 (build 5875)"));
    std::string missing = scratch_.path().toStdString() + "/no such/WoW.exe";
    QCOMPARE(GameVersionMessage(missing), "File " + missing + " was not found.");
    std::string batch = scratch_.path().toStdString() + "/preloader.bat";
    WriteBytes(batch, "@echo off\r\nstart WoW.exe\r\n");
    QCOMPARE(GameVersionMessage(batch), std::string("This is not a valid World of Warcraft exe-file."));
    std::string empty = scratch_.path().toStdString() + "/empty.exe";
    WriteBytes(empty, "");
    QCOMPARE(GameVersionMessage(empty), Msg(TTextId::NotTheGame));
    QCOMPARE(GameVersionMessage(Fixture("other_x64.exe")), Msg(TTextId::NotTheGame));
    // A folder is not a file.
    QCOMPARE(GameVersionMessage(scratch_.path().toStdString()),
             "File " + scratch_.path().toStdString() + " was not found.");
}

void TestGetVer::specialFilesAreRefusedWithoutWaiting()
{
    std::string fifo = scratch_.path().toStdString() + "/pipe.exe";
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    TGameVersion v;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!GetGameVersion(fifo, v));
    QVERIFY(!ReadFileVersionResource(fifo));
    QVERIFY(!ReadFileVersionResource("/dev/zero"));
    QVERIFY(timer.elapsed() < 5000);
}

void TestGetVer::everyTruncationIsSafe()
{
    for (const char* name : {"wow309_x64.exe", "wow112_x86.exe"}) {
        std::string full = ReadBytes(Fixture(name));
        QVERIFY(full.size() > 1024);
        auto whole = ParseMemory(full);
        QVERIFY(whole && IsGameProductName(whole->ProductName));
        for (std::size_t cut = 0; cut < full.size(); ++cut) {
            auto part = ParseMemory(full.substr(0, cut));
            // A cut either loses the resource or leaves it whole; never a different reading.
            if (part && !SameResult(part, whole))
                QFAIL(qPrintable(QString("%1 cut at %2 reads differently").arg(name).arg(cut)));
        }
        std::string truncated = scratch_.path().toStdString() + "/truncated.exe";
        WriteBytes(truncated, full.substr(0, full.size() / 2));
        TGameVersion v;
        QVERIFY(!GetGameVersion(truncated, v));
        QCOMPARE(GameVersionMessage(truncated), Msg(TTextId::NotTheGame));
    }
}

void TestGetVer::mutatedImagesNeverCrash()
{
    std::mt19937 random(20261207);
    for (const char* name : {"wow309_x64.exe", "wow112_x86.exe", "two_tables_x86.exe"}) {
        const std::string original = ReadBytes(Fixture(name));
        for (int round = 0; round < 4000; ++round) {
            std::string bytes = original;
            int changes = 1 + static_cast<int>(random() % 8);
            for (int c = 0; c < changes; ++c) {
                std::size_t at = random() % bytes.size();
                switch (random() % 4) {
                case 0:
                    bytes[at] = static_cast<char>(random());
                    break;
                case 1:
                    bytes[at] = '\xFF';
                    break;
                case 2:
                    bytes[at] = '\0';
                    break;
                default:
                    bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
                    break;
                }
            }
            (void)ParseMemory(bytes);
        }
    }
}

void TestGetVer::hostileHeadersAreRefused()
{
    // "MZ" with a PE offset far past the end, and one pointing back into the DOS header.
    std::string dos(64, '\0');
    dos[0] = 'M';
    dos[1] = 'Z';
    dos[0x3C] = '\xFF';
    dos[0x3D] = '\xFF';
    dos[0x3E] = '\xFF';
    dos[0x3F] = '\x7F';
    QVERIFY(!ParseMemory(dos));
    dos[0x3C] = 0;
    dos[0x3D] = 0;
    dos[0x3E] = 0;
    dos[0x3F] = 0;
    QVERIFY(!ParseMemory(dos));
    QVERIFY(!ParseMemory(""));
    QVERIFY(!ParseMemory("MZ"));
    // The version block of a real image with every length field set to its largest value.
    std::string image = ReadBytes(Fixture("wow309_x64.exe"));
    const std::u16string key = u"VS_VERSION_INFO";
    std::string needle(reinterpret_cast<const char*>(key.data()), key.size() * 2);
    std::size_t at = image.find(needle);
    QVERIFY(at != std::string::npos && at >= 6);
    std::string hostile = image;
    hostile[at - 6] = '\xFF';
    hostile[at - 5] = '\xFF';
    hostile[at - 4] = '\xFF';
    hostile[at - 3] = '\xFF';
    auto parsed = ParseMemory(hostile);
    QVERIFY(!parsed || IsGameProductName(parsed->ProductName));
}

QTEST_GUILESS_MAIN(TestGetVer)
#include "test_getver.moc"
