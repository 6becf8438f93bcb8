// The server's game log: a file name that stays in the logs folder whatever the server is called, the
// folder private to the user, and programs started into it.
#include "game/gamelog.h"
#include "game/gametree.h"
#include "platform/programlog.h"

#include <QtTest>
#include <sys/stat.h>

namespace {

mode_t ModeOf(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

bool IsValidUtf8(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// Points the state folder at a scratch folder for the life of the object.
class TStateHome
{
public:
    TStateHome() : before_(qgetenv("XDG_STATE_HOME")) { qputenv("XDG_STATE_HOME", tree_.Root().c_str()); }
    ~TStateHome() { qputenv("XDG_STATE_HOME", before_); }
    const TScratchTree& Tree() const { return tree_; }

private:
    TScratchTree tree_;
    QByteArray before_;
};

} // namespace

class TestGameLog : public QObject
{
    Q_OBJECT

private slots:
    void fileNames_data()
    {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("plain") << QByteArray("Alpha WoW 3.3.5") << QByteArray("Alpha WoW 3.3.5.log");
        QTest::newRow("separators") << QByteArray("a/b\\c") << QByteArray("a_b_c.log");
        QTest::newRow("way out") << QByteArray("../../etc/passwd") << QByteArray("_.._.._etc_passwd.log");
        QTest::newRow("control characters") << QByteArray("tab\there\x7F\x01") << QByteArray("tab_here__.log");
        QTest::newRow("empty") << QByteArray() << QByteArray("_.log");
        QTest::newRow("dot") << QByteArray(".") << QByteArray("_..log");
        QTest::newRow("dot dot") << QByteArray("..") << QByteArray("_...log");
        QTest::newRow("hidden") << QByteArray(".hidden") << QByteArray("_.hidden.log");
        QTest::newRow("UTF-8 kept") << QByteArray("Nov\xC3\xA1 \xC5\x99\xC3\xAD\xC5\xA1\x65")
                                    << QByteArray("Nov\xC3\xA1 \xC5\x99\xC3\xAD\xC5\xA1\x65.log");
    }

    void fileNames()
    {
        QFETCH(QByteArray, server);
        QFETCH(QByteArray, file);
        QCOMPARE(QByteArray::fromStdString(LogFileName(server.toStdString())), file);
    }

    void longAndLegacyNamesStayWholeCharacters()
    {
        // Two bytes a character: the cut falls between characters, never inside one.
        std::string name;
        for (int i = 0; i < 151; ++i)
            name += "\xC4\x8D";
        const QByteArray file = QByteArray::fromStdString(LogFileName(name));
        QVERIFY(file.size() <= qsizetype(kMaxLogNameBytes + 4));
        QVERIFY(file.endsWith(".log"));
        QVERIFY(IsValidUtf8(file));
        // A name stored in the old code page comes out as the text it shows.
        const QByteArray legacy = QByteArray::fromStdString(LogFileName("n\xE1zev"));
        QVERIFY(IsValidUtf8(legacy));
        QVERIFY(legacy.endsWith("zev.log"));
        QCOMPARE(legacy.size(), qsizetype(10));
    }

    void logsFolderIsPrivateAndMadeOnlyToWrite()
    {
        TStateHome state;
        const std::string logs = state.Tree().Path("korvan/logs/");
        // Asking where the log is makes nothing.
        QCOMPARE(GameLogPath("Alpha"), std::string());
        QVERIFY(!state.Tree().Exists("korvan"));
        {
            auto log = OpenGameLog("Alpha/One");
            QVERIFY(log);
        }
        QCOMPARE(GameLogPath("Alpha/One"), logs + "Alpha_One.log");
        QCOMPARE(ModeOf(logs), mode_t(0700));
        QCOMPARE(ModeOf(logs + "Alpha_One.log"), mode_t(0600));
        // A folder others could read is made the user's alone again.
        QCOMPARE(::chmod(logs.c_str(), 0755), 0);
        QVERIFY(OpenGameLog("Alpha/One"));
        QCOMPARE(ModeOf(logs), mode_t(0700));
        QCOMPARE(ModeOf(logs + "Alpha_One.log.1"), mode_t(0600));
    }

    void logsFolderThatIsALinkIsRefused()
    {
        TStateHome state;
        state.Tree().Folder("korvan");
        state.Tree().Folder("elsewhere");
        state.Tree().Link(state.Tree().Path("elsewhere"), "korvan/logs");
        QVERIFY(!OpenGameLog("Alpha"));
        QCOMPARE(GameLogPath("Alpha"), std::string());
        QCOMPARE(state.Tree().Names("elsewhere"), QStringList());
    }

    void programsStartedIntoTheLog()
    {
        TStateHome state;
        auto log = OpenGameLog("Alpha");
        QVERIFY(log);
        const std::string game = state.Tree().File("game/run.sh", "#!/bin/sh\necho \"game in $(pwd -P)\"\n");
        QCOMPARE(::chmod(game.c_str(), 0755), 0);
        QVERIFY(RunProgram(game, "wine", state.Tree().Path("game"), StarterInto(log.get())));
        log.reset();
        const std::string expected = "game in " + state.Tree().Path("game") + "\n";
        QElapsedTimer timer;
        timer.start();
        while (ReadBytes(GameLogPath("Alpha")) != expected && timer.elapsed() < kStartWaitMs)
            QThread::msleep(10);
        QCOMPARE(ReadBytes(GameLogPath("Alpha")), expected);
    }
};

QTEST_GUILESS_MAIN(TestGameLog)
#include "test_gamelog.moc"
