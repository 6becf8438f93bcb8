// The Wine set-up of a server: its variables, the prefix found from the game's drive_c, and the checks
// Play makes before it starts anything.
#include "core/globaltypes_u.h"
#include "game/gametree.h"
#include "game/winesetup.h"

#include <QtTest>
#include <sys/stat.h>

class TestWineSetup : public QObject
{
    Q_OBJECT

private slots:
    void variablesAreNamesAndLiteralValues_data();
    void variablesAreNamesAndLiteralValues();
    void malformedVariablesNameTheirPiece_data();
    void malformedVariablesNameTheirPiece();
    void prefixIsTheFolderHoldingTheInnermostDriveC_data();
    void prefixIsTheFolderHoldingTheInnermostDriveC();
    void serverKeysWinOverSettingsAndFoundPrefix();
    void checksRunOnlyForAServerWithASetUpOfItsOwn();
    void prefixFoldersAreJudgedByWhatTheyHold();
};

void TestWineSetup::variablesAreNamesAndLiteralValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("pairs");
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("one") << "WINEDEBUG=-all" << QStringList{"WINEDEBUG", "-all"};
    QTest::newRow("blanks before names, empty pieces")
        << " A=1;  ;\tB_2=two words ;" << QStringList{"A", "1", "B_2", "two words "};
    // Nothing a shell would do: quotes, dollars and equals signs stay in the value.
    QTest::newRow("literal") << "X=\"$HOME\"=`id`" << QStringList{"X", "\"$HOME\"=`id`"};
    QTest::newRow("empty value") << "_=" << QStringList{"_", ""};
}

void TestWineSetup::variablesAreNamesAndLiteralValues()
{
    QFETCH(QString, text);
    QFETCH(QStringList, pairs);
    auto parsed = ParseEnvironment(text.toStdString());
    QVERIFY(parsed);
    QStringList flat;
    for (const auto& [name, value] : *parsed)
        flat << QString::fromStdString(name) << QString::fromStdString(value);
    QCOMPARE(flat, pairs);
}

void TestWineSetup::malformedVariablesNameTheirPiece_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("piece");
    QTest::newRow("no equals") << "A=1;WINEDEBUG"
                               << "WINEDEBUG";
    QTest::newRow("digit first") << "1A=x"
                                 << "1A=x";
    QTest::newRow("no name") << "=x"
                             << "=x";
    QTest::newRow("shell in the name") << "A=0;$(rm -rf ~)=1"
                                       << "$(rm -rf ~)=1";
    QTest::newRow("blank inside the name") << "MY VAR=1"
                                           << "MY VAR=1";
    QTest::newRow("dash") << "WINE-DEBUG=1"
                          << "WINE-DEBUG=1";
    QTest::newRow("letter outside ASCII") << "Z\xC3\xA9=1"
                                          << "Z\xC3\xA9=1";
}

void TestWineSetup::malformedVariablesNameTheirPiece()
{
    QFETCH(QString, text);
    QFETCH(QString, piece);
    std::string bad;
    QVERIFY(!ParseEnvironment(text.toStdString(), &bad));
    QCOMPARE(QString::fromStdString(bad), piece);
}

void TestWineSetup::prefixIsTheFolderHoldingTheInnermostDriveC_data()
{
    QTest::addColumn<QString>("game");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("usual") << "/home/me/.wine-wow/drive_c/Games/WoW/WoW.exe"
                           << "/home/me/.wine-wow";
    QTest::newRow("any case") << "/p/DRIVE_C/WoW.exe"
                              << "/p";
    QTest::newRow("innermost") << "/a/drive_c/b/drive_c/WoW.exe"
                               << "/a/drive_c/b";
    QTest::newRow("at the root") << "/drive_c/WoW.exe"
                                 << "/";
    QTest::newRow("the file itself is not a folder") << "/games/drive_c"
                                                     << "";
    QTest::newRow("a name that only contains it") << "/games/old_drive_c/WoW.exe"
                                                  << "";
    QTest::newRow("none") << "/games/WoW/WoW.exe"
                          << "";
    QTest::newRow("Windows path") << "C:\\Games\\drive_c\\WoW.exe"
                                  << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestWineSetup::prefixIsTheFolderHoldingTheInnermostDriveC()
{
    QFETCH(QString, game);
    QFETCH(QString, prefix);
    QCOMPARE(QString::fromStdString(PrefixFromGamePath(game.toStdString())), prefix);
}

void TestWineSetup::serverKeysWinOverSettingsAndFoundPrefix()
{
    const std::string game = "/srv/pfx/drive_c/WoW/WoW.exe";
    TServer server;
    TWinePlan plan = PlanWine(server, "", game, true);
    QCOMPARE(plan.check, TWineCheck::Ok);
    QCOMPARE(plan.wineCommand, std::string("wine"));
    QCOMPARE(plan.prefix, std::string("/srv/pfx"));
    QVERIFY(plan.prefixFound);
    QCOMPARE(plan.environment, (TEnvironment{{"WINEPREFIX", "/srv/pfx"}}));
    QVERIFY(plan.gameArguments.empty());

    plan = PlanWine(server, "/opt/wine/bin/wine", "/srv/WoW/WoW.exe", true);
    QCOMPARE(plan.wineCommand, std::string("/opt/wine/bin/wine"));
    QVERIFY(plan.prefix.empty() && !plan.prefixFound && plan.environment.empty());

    // "~/" is the home folder; a separator at the end goes. The server's own variables follow WINEPREFIX, so
    // one named there too wins.
    qputenv("HOME", "/home/player");
    server.WineCommand = "/bin/sh";
    server.WinePrefix = "~/prefixes/two//";
    server.Environment = "WINEPREFIX=/elsewhere;WINEESYNC=1";
    server.GameArguments = R"(-console "-opengl mode" a\"b)";
    plan = PlanWine(server, "/opt/wine/bin/wine", game, true);
    QCOMPARE(plan.check, TWineCheck::Ok);
    QCOMPARE(plan.wineCommand, std::string("/bin/sh"));
    QCOMPARE(plan.prefix, std::string("/home/player/prefixes/two"));
    QVERIFY(!plan.prefixFound);
    QCOMPARE(
        plan.environment,
        (TEnvironment{{"WINEPREFIX", "/home/player/prefixes/two"}, {"WINEPREFIX", "/elsewhere"}, {"WINEESYNC", "1"}}));
    QCOMPARE(plan.gameArguments, (std::vector<std::string>{"-console", "-opengl mode", "a\"b"}));
}

void TestWineSetup::checksRunOnlyForAServerWithASetUpOfItsOwn()
{
    // Nothing of its own: the settings' Wine is tried by the start itself, as it always was.
    TServer server;
    QCOMPARE(PlanWine(server, "/no/such/wine", "/games/WoW.exe", true).check, TWineCheck::Ok);

    server.GameArguments = "-console";
    TWinePlan plan = PlanWine(server, "/no/such/wine --flag", "/games/WoW.exe", true);
    QCOMPARE(plan.check, TWineCheck::WineMissing);
    QCOMPARE(plan.detail, std::string("/no/such/wine"));
    // A native game needs no Wine.
    QCOMPARE(PlanWine(server, "/no/such/wine", "/games/wow.sh", false).check, TWineCheck::Ok);
    server.WineCommand = "korvan-no-such-wine-in-path";
    QCOMPARE(PlanWine(server, "", "/games/WoW.exe", true).check, TWineCheck::WineMissing);
    server.WineCommand = "sh";
    QCOMPARE(PlanWine(server, "", "/games/WoW.exe", true).check, TWineCheck::Ok);

    server.Environment = "OK=1;BAD NAME=2";
    plan = PlanWine(server, "", "/games/WoW.exe", true);
    QCOMPARE(plan.check, TWineCheck::EnvironmentMalformed);
    QCOMPARE(plan.detail, std::string("BAD NAME=2"));
    // What a view shows looks at nothing and refuses nothing.
    const TWinePlan shown = DescribeWine(server, "", "/games/WoW.exe");
    QCOMPARE(shown.check, TWineCheck::Ok);
    QCOMPARE(shown.wineCommand, std::string("sh"));
    QVERIFY(shown.environment.empty());

    server.Environment.clear();
    server.WinePrefix = "relative/prefix";
    plan = PlanWine(server, "", "/games/WoW.exe", true);
    QCOMPARE(plan.check, TWineCheck::PrefixNotAbsolute);
    QCOMPARE(plan.detail, std::string("relative/prefix"));
}

void TestWineSetup::prefixFoldersAreJudgedByWhatTheyHold()
{
    TScratchTree tree;
    TServer server;
    server.WineCommand = "sh";
    auto checkOf = [&](const std::string& prefix) {
        server.WinePrefix = prefix;
        return PlanWine(server, "", "/games/WoW.exe", true).check;
    };
    // Not there yet: Wine makes it.
    QCOMPARE(checkOf(tree.Path("new-prefix")), TWineCheck::Ok);
    tree.Folder("made/DRIVE_C");
    QCOMPARE(checkOf(tree.Path("made")), TWineCheck::Ok);
    tree.File("registry-only/system.reg");
    QCOMPARE(checkOf(tree.Path("registry-only")), TWineCheck::Ok);
    tree.Folder("empty");
    QCOMPARE(checkOf(tree.Path("empty")), TWineCheck::PrefixNotAPrefix);
    tree.File("music/drive_c.mp3");
    QCOMPARE(checkOf(tree.Path("music")), TWineCheck::PrefixNotAPrefix);
    QCOMPARE(checkOf(tree.File("a-file")), TWineCheck::PrefixNotAPrefix);
    // Through a link, as Wine itself would follow it.
    tree.Link(tree.Path("made"), "link-to-made");
    QCOMPARE(checkOf(tree.Path("link-to-made")), TWineCheck::Ok);
}

QTEST_GUILESS_MAIN(TestWineSetup)
#include "test_winesetup.moc"
