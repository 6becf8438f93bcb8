// The INI engine against the Windows profile-string behaviour that tavix.ini files rely on.
#include "core/ini_u.h"
#include "support/testsupport.h"

#include <QtTest>

class TestIni : public QObject
{
    Q_OBJECT

private slots:
    void namesMatchWithoutCaseAndFirstWins();
    void valuesAreTrimmedUnquotedAndCut();
    void integersAndBooleans_data();
    void integersAndBooleans();
    void writesKeepLayoutAndLineEnds();
    void valuesReadBackExactlyAfterWrite_data();
    void valuesReadBackExactlyAfterWrite();
    void sectionsAreErasedTakenAndAppended();
    void saveReplacesWholeFileAndKeepsBytes();
    void unreadableFileFailsLoad();
};

void TestIni::namesMatchWithoutCaseAndFirstWins()
{
    TIniFile ini;
    ini.LoadFromText("[Alpha]\nAddress=first\naddress=second\n[ALPHA]\nAddress=dup\n[main]\n; a=comment\n[Empty]\n");
    QCOMPARE(ini.ReadString("alpha", "ADDRESS", "-"), std::string("first"));
    QCOMPARE(ini.SectionNames(), (std::vector<std::string>{"Alpha", "ALPHA", "main", "Empty"}));
    // A section with only a comment, or nothing, does not count as existing.
    QVERIFY(!ini.SectionExists("MAIN"));
    QVERIFY(!ini.SectionExists("Empty"));
    QVERIFY(ini.SectionExists("aLpHa"));
    // Only a-z fold: other bytes must match exactly.
    ini.LoadFromText("[\xC8"
                     "esk\xE1]\nk=v\n");
    QCOMPARE(ini.ReadString("\xC8"
                            "ESK\xC1",
                            "k", "-"),
             std::string("-"));
    QCOMPARE(ini.ReadString("\xC8"
                            "ESK\xE1",
                            "K", "-"),
             std::string("v"));
}

void TestIni::valuesAreTrimmedUnquotedAndCut()
{
    TIniFile ini;
    std::string longValue(3000, 'x');
    ini.LoadFromText("  [ S ]  \n  a  =  spaced value  \nb=\"quoted\"\nc='single'\nd=\"mismatched'\ne=\"\"\nf=" +
                     longValue + "\ng=a=b\n");
    QCOMPARE(ini.ReadString("S", "a", ""), std::string("spaced value"));
    QCOMPARE(ini.ReadString("S", "b", ""), std::string("quoted"));
    QCOMPARE(ini.ReadString("S", "c", ""), std::string("single"));
    QCOMPARE(ini.ReadString("S", "d", ""), std::string("\"mismatched'"));
    QCOMPARE(ini.ReadString("S", "e", "default"), std::string(""));
    QCOMPARE(ini.ReadString("S", "f", "").size(), kIniMaxValueLength);
    QCOMPARE(ini.ReadString("S", "g", ""), std::string("a=b"));
    QCOMPARE(ini.ReadString("S", "missing", "dflt"), std::string("dflt"));
}

void TestIni::integersAndBooleans_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("decimal") << "42" << 42;
    QTest::newRow("negative") << "-7" << -7;
    QTest::newRow("plus") << "+7" << 7;
    QTest::newRow("hex 0x") << "0x1F" << 31;
    QTest::newRow("hex 0X upper") << "0XFF" << 255;
    QTest::newRow("hex dollar") << "$102" << 258;
    QTest::newRow("hex full width") << "$FFFFFFFF" << -1;
    QTest::newRow("max") << "2147483647" << 2147483647;
    QTest::newRow("min") << "-2147483648" << int(-2147483647 - 1);
    QTest::newRow("overflow is default") << "2147483648" << -99;
    QTest::newRow("hex too long is default") << "$100000000" << -99;
    QTest::newRow("trailing junk is default") << "12a" << -99;
    QTest::newRow("word is default") << "yes" << -99;
    QTest::newRow("empty is default") << "" << -99;
    QTest::newRow("bare prefix is default") << "0x" << -99;
}

void TestIni::integersAndBooleans()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    TIniFile ini;
    ini.LoadFromText("[S]\nv=" + text.toStdString() + "\n");
    QCOMPARE(ini.ReadInteger("S", "v", -99), expected);
    // Booleans are integers: non-zero is true, unreadable is the default.
    QCOMPARE(ini.ReadBool("S", "v", false), expected != -99 ? expected != 0 : false);
}

void TestIni::writesKeepLayoutAndLineEnds()
{
    TIniFile ini;
    ini.LoadFromText("\xEF\xBB\xBF; header comment\r\n[Main]\r\nKeep = as  is \r\nTimeout=1\r\n\r\n[Other]\r\nx=1\r\n");
    ini.WriteString("MAIN", "timeout", "3000");
    ini.WriteString("Main", "New", "v");
    ini.WriteInteger("Added", "n", 5);
    QCOMPARE(ini.ToText(),
             std::string("\xEF\xBB\xBF; header comment\r\n[Main]\r\nKeep = as  is \r\ntimeout=3000\r\nNew=v\r\n"
                         "\r\n[Other]\r\nx=1\r\n[Added]\r\nn=5\r\n"));
    TIniFile lf;
    lf.LoadFromText("[A]\nx=1");
    lf.WriteBool("A", "y", true);
    QCOMPARE(lf.ToText(), std::string("[A]\nx=1\ny=1\n"));
}

void TestIni::valuesReadBackExactlyAfterWrite_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("plain") << QByteArray("realm.example:3724");
    QTest::newRow("outer blanks") << QByteArray("  padded  ");
    QTest::newRow("quoted content") << QByteArray("\"quoted\"");
    QTest::newRow("single quotes") << QByteArray("'x'");
    QTest::newRow("lone quote") << QByteArray("\"");
    QTest::newRow("legacy bytes") << QByteArray("Server \xE8\xE1st");
    QTest::newRow("equals and semicolon") << QByteArray("a=b;c");
    QTest::newRow("empty") << QByteArray("");
}

void TestIni::valuesReadBackExactlyAfterWrite()
{
    QFETCH(QByteArray, value);
    TIniFile ini;
    ini.WriteString("S", "k", value.toStdString());
    TIniFile again;
    again.LoadFromText(ini.ToText());
    QCOMPARE(QByteArray::fromStdString(again.ReadString("S", "k", "<missing>")), value);
}

void TestIni::sectionsAreErasedTakenAndAppended()
{
    TIniFile ini;
    ini.LoadFromText("[A]\nk=1\n[B]\nk=2\n[a]\nk=3\n");
    QVERIFY(ini.EraseSection("a"));
    // The first of the two went; the other one now answers to the name.
    QCOMPARE(ini.ReadString("A", "k", ""), std::string("3"));
    auto taken = ini.TakeSections("A");
    QCOMPARE(taken.size(), size_t(1));
    QVERIFY(!ini.EraseSection("A"));
    ini.WriteString("A", "k", "new");
    ini.AppendSection(std::move(taken.front()));
    QCOMPARE(ini.ToText(), std::string("[B]\nk=2\n[A]\nk=new\n[a]\nk=3\n"));
    QCOMPARE(ini.ReadString("a", "k", ""), std::string("new"));
}

void TestIni::saveReplacesWholeFileAndKeepsBytes()
{
    TScratchIni scratch;
    const std::string original = "[Main]\r\nWoWPath=C:\\Games\\WoW.exe\r\n[\x8A"
                                 "koda]\r\nAddress=\xE8.example\r\n";
    scratch.Write(original);
    TIniFile ini(scratch.Path());
    QVERIFY(ini.Load());
    QVERIFY(ini.Save());
    QCOMPARE(scratch.Read(), original);
    ini.WriteString("Main", "Timeout", "3000");
    QVERIFY(ini.Save());
    QVERIFY(scratch.Read().find("Timeout=3000\r\n") != std::string::npos);
    // Nothing else is left in the folder: the new content replaced the old file through a rename.
    QCOMPARE(QDir(QString::fromStdString(scratch.Folder())).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestIni::unreadableFileFailsLoad()
{
    TScratchIni scratch;
    QVERIFY(QDir().mkpath(QString::fromStdString(scratch.Path())));
    TIniFile folder(scratch.Path());
    QVERIFY(!folder.Load());
    TIniFile missing(scratch.Folder() + "none.ini");
    QVERIFY(missing.Load());
    QVERIFY(missing.SectionNames().empty());
}

QTEST_GUILESS_MAIN(TestIni)
#include "test_ini.moc"
