// The INI engine against the Windows profile-string behaviour that tavix.ini files rely on.
#include "core/ini.h"
#include "core/textcodec.h"
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
    void headersAndLinesAsWindowsReads_data();
    void headersAndLinesAsWindowsReads();
    void onlyKeysMakeASectionExist();
    void utf16FilesAreReadAndWrittenBack_data();
    void utf16FilesAreReadAndWrittenBack();
    void storableSectionNames();
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

void TestIni::headersAndLinesAsWindowsReads_data()
{
    // What the Windows profile functions read from these files (sections listed; "section/key=value" read,
    // "section/key" not found).
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("sections");
    QTest::addColumn<QStringList>("reads");
    QTest::newRow("name runs to the last bracket")
        << QByteArray("[My [EU] server]\r\nx=2\r\n[B]]\r\nm=1\r\n[A] tail\r\nk=1\r\n")
        << QStringList{"My [EU] server", "B]", "A"} << QStringList{"My [EU] server/x=2", "B]/m=1", "a/k=1"};
    QTest::newRow("open bracket is no header") << QByteArray("[A]\r\nk=1\r\n[open\r\ny=3\r\n[x=4\r\n]\r\n")
                                               << QStringList{"A"} << QStringList{"A/y=3", "A/[x=4", "open/y"};
    QTest::newRow("empty header opens no listed section")
        << QByteArray("z=0\n[A]\nk=1\n[]\nz=4\n[ \t]\nw=5\n") << QStringList{"A"}
        << QStringList{"A/k=1", "A/z", "A/w", "/z", "/w"};
    QTest::newRow("lone CR ends a line") << QByteArray("[A]\rk=1\r[B]\rm=2\rn=3") << QStringList{"A", "B"}
                                         << QStringList{"A/k=1", "B/m=2", "B/n=3", "A/m"};
    QTest::newRow("mixed line ends") << QByteArray("[A]\n\rk=1\r\r\n[B]\r\nm=2\n\n") << QStringList{"A", "B"}
                                     << QStringList{"A/k=1", "B/m=2"};
    QTest::newRow("Ctrl-Z is a blank") << QByteArray(
                                              "[A]\r\nk=1\x1A\r\n\x1A[B]\x1A\r\nm=2\x1Am\r\n\x1A\r\n\x1An\x1A=\x1A"
                                              "3\r\n\x1A")
                                       << QStringList{"A", "B"} << QStringList{"A/k=1", "B/m=2\x1Am", "B/n=3"};
    QTest::newRow("names trimmed") << QByteArray("\t[ B ]\v\r\n w \f= 5 \r\n") << QStringList{"B"}
                                   << QStringList{"B/w=5", " B /w"};
    QTest::newRow("comment is read as a key")
        << QByteArray("[A]\r\n;c=6\r\nnoeq\r\n") << QStringList{"A"} << QStringList{"A/;c=6", "A/noeq"};
}

void TestIni::headersAndLinesAsWindowsReads()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, sections);
    QFETCH(QStringList, reads);
    TIniFile ini;
    ini.LoadFromText(file.toStdString());
    QStringList names;
    for (const std::string& n : ini.SectionNames())
        names << QString::fromLatin1(n);
    QCOMPARE(names, sections);
    for (const QString& read : reads) {
        QString where = read.section('=', 0, 0);
        std::string section = where.section('/', 0, 0).toStdString(), key = where.section('/', 1).toStdString();
        auto value = ini.Read(section, key);
        if (read.contains('=')) {
            QVERIFY2(value, qPrintable(read));
            QCOMPARE(QString::fromLatin1(*value), read.section('=', 1));
        } else {
            QVERIFY2(!value, qPrintable(read));
        }
    }
    // A save and a second load see the same.
    TIniFile again;
    again.LoadFromText(ini.ToText());
    QCOMPARE(again.SectionNames(), ini.SectionNames());
    QCOMPARE(again.ToText(), ini.ToText());
}

void TestIni::onlyKeysMakeASectionExist()
{
    TIniFile ini;
    ini.LoadFromText("[A]\r\n; notes=x\r\nno equals\r\n\r\n[B]\r\nk=1\r\n;c=2\r\nj = 3\r\n");
    QVERIFY(!ini.SectionExists("A"));
    QCOMPARE(ini.KeyNames("b"), (std::vector<std::string>{"k", "j"}));
    // Writing into a section without keys puts the key after its own lines, not into a new section.
    ini.WriteString("a", "Address", "x");
    QCOMPARE(ini.ToText(),
             std::string("[A]\r\n; notes=x\r\nno equals\r\nAddress=x\r\n\r\n[B]\r\nk=1\r\n;c=2\r\nj = 3\r\n"));
}

void TestIni::utf16FilesAreReadAndWrittenBack_data()
{
    QTest::addColumn<bool>("bigEndian");
    QTest::newRow("little endian") << false;
    QTest::newRow("big endian") << true;
}

void TestIni::utf16FilesAreReadAndWrittenBack()
{
    QFETCH(bool, bigEndian);
    auto encode = [&](const QString& text) {
        QByteArray out = bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
        for (QChar c : text) {
            char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
            out += bigEndian ? hi : lo;
            out += bigEndian ? lo : hi;
        }
        return out.toStdString();
    };
    // An emoji (a surrogate pair) and an unpaired surrogate, which must survive as they are.
    const QString text = QString::fromUtf8("[Jm\u00e9no \U0001F600]\r\nAddress=v\u00e9c.example\r\n[B]\r\nk=") +
                         QChar(0xD800) + QStringLiteral("x\r\n");
    TScratchIni scratch;
    scratch.Write(encode(text));
    TIniFile ini(scratch.Path());
    QVERIFY(ini.Load());
    QCOMPARE(ini.SectionNames(), (std::vector<std::string>{"Jm\xC3\xA9no \xF0\x9F\x98\x80", "B"}));
    QCOMPARE(ini.ReadString("JM\xC3\xA9NO \xF0\x9F\x98\x80", "address", ""), std::string("v\xC3\xA9"
                                                                                         "c.example"));
    QVERIFY(ini.Save());
    QCOMPARE(scratch.Read(), encode(text));
    // New text goes in as UTF-16 too, also a byte of the legacy code page.
    ini.WriteString("B", "Name",
                    "\xC5\xA0"
                    "koda \xE8");
    QVERIFY(ini.Save());
    QCOMPARE(scratch.Read(),
             encode(text + QString::fromUtf8("Name=\u0160koda ") +
                    (EditionCodePage() == TLegacyCodePage::Windows1250 ? QChar(0x010D) : QChar(0x00E8)) + "\r\n"));
}

void TestIni::storableSectionNames()
{
    for (std::string_view bad : {"", " A", "A ", "\tA", "A\x1A", "A\rB", "A\nB", "\v"})
        QVERIFY2(!IsStorableSectionName(bad), std::string(bad).c_str());
    QVERIFY(!IsStorableSectionName(std::string_view("A\0B", 3)));
    for (std::string_view good : {"A", "My [EU] server", "[PvP] Frost", "a]b", "[x", "A B"}) {
        QVERIFY2(IsStorableSectionName(good), std::string(good).c_str());
        TIniFile ini;
        ini.WriteString(good, "k", "1");
        TIniFile again;
        again.LoadFromText(ini.ToText());
        QCOMPARE(again.SectionNames(), std::vector<std::string>{std::string(good)});
    }
}

QTEST_GUILESS_MAIN(TestIni)
#include "test_ini.moc"
