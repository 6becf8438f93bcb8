// The update list as the server publishes it, version comparison and the version shown to the user.
#include "buildconfig.h"
#include "update/updatelist.h"

#include <QtTest>

using TLines = std::vector<std::string>;
Q_DECLARE_METATYPE(TVersion)

class TestUpdateList : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void newerThanOwn_data();
    void newerThanOwn();
    void versionText();
    void versionFromAnswer_data();
    void versionFromAnswer();
    void listAddress_data();
    void listAddress();
    void environmentNamesAnotherServer();
};

void TestUpdateList::parse_data()
{
    QTest::addColumn<TLines>("lines");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<QString>("version");   // the four bytes, dotted
    QTest::addColumn<QStringList>("files"); // name=url

    QTest::newRow("plain") << TLines{"2", "6", "3", "0", "korvan", "http://h/korvan", "readme.txt", "http://h/r"}
                           << true << "2.6.3.0" << QStringList{"korvan=http://h/korvan", "readme.txt=http://h/r"};
    QTest::newRow("version only") << TLines{"3", "0", "0", "0"} << true << "3.0.0.0" << QStringList{};
    QTest::newRow("three lines") << TLines{"2", "6", "3"} << false << "" << QStringList{};
    QTest::newRow("empty") << TLines{} << false << "" << QStringList{};
    QTest::newRow("comments and blanks do not count toward four")
        << TLines{"; published", "2", "", "   ", "6", "\t", "3"} << false << "" << QStringList{};
    QTest::newRow("comments and blanks anywhere") << TLines{"; header",
                                                            "",
                                                            "2",
                                                            "; minor next",
                                                            "6",
                                                            "  ",
                                                            "3",
                                                            "0",
                                                            "",
                                                            "a.dll",
                                                            "; between name and url",
                                                            "   ",
                                                            "http://h/a.dll",
                                                            ";end"}
                                                  << true << "2.6.3.0" << QStringList{"a.dll=http://h/a.dll"};
    QTest::newRow("semicolon after blanks is a line")
        << TLines{"1", "2", "3", "4", "  ;x", "http://h/x"} << true << "1.2.3.4" << QStringList{";x=http://h/x"};
    QTest::newRow("odd last line ignored")
        << TLines{"1", "0", "0", "0", "a", "http://h/a", "b"} << true << "1.0.0.0" << QStringList{"a=http://h/a"};
    QTest::newRow("names and urls trimmed") << TLines{"1", "0", "0", "0", "  a b.txt \t", "\thttp://h/a%20b  "} << true
                                            << "1.0.0.0" << QStringList{"a b.txt=http://h/a%20b"};
    // A part that does not fit its byte would name another version than the list says: 300 is not 44.
    QTest::newRow("major over 255") << TLines{"300", "0", "0", "0"} << false << "" << QStringList{};
    QTest::newRow("minor 256") << TLines{"2", "256", "0", "0"} << false << "" << QStringList{};
    QTest::newRow("build in hex over 255") << TLines{"2", "6", "2", "$100"} << false << "" << QStringList{};
    QTest::newRow("negative") << TLines{"2", "-1", "0", "0"} << false << "" << QStringList{};
    QTest::newRow("beyond 32 bits") << TLines{"2", "6", "2", "9999999999999"} << false << "" << QStringList{};
    QTest::newRow("top of each byte") << TLines{"255", "$FF", "0xff", "+255"} << true << "255.255.255.255"
                                      << QStringList{};
    QTest::newRow("hex and blanks around numbers")
        << TLines{" $10 ", "0x1F", "0X2", "\t7"} << true << "16.31.2.7" << QStringList{};
    QTest::newRow("junk counts as zero") << TLines{"two", "6.1", "", "3", "", "x9"} << true << "0.0.3.0"
                                         << QStringList{};
    QTest::newRow("crlf leftovers and tabs") << TLines{"2\t", "\t6", "1", "0"} << true << "2.6.1.0" << QStringList{};
}

void TestUpdateList::parse()
{
    QFETCH(TLines, lines);
    QFETCH(bool, usable);
    QFETCH(QString, version);
    QFETCH(QStringList, files);

    const auto info = ParseUpdateList(lines);
    QCOMPARE(info.has_value(), usable);
    if (!info)
        return;
    const TVersion& v = info->Version;
    QCOMPARE(QString("%1.%2.%3.%4").arg(v.Major).arg(v.Minor).arg(v.Release).arg(v.Build), version);
    QStringList got;
    for (const TUpdateFile& file : info->Files)
        got << QString::fromStdString(file.Name + "=" + file.URL);
    QCOMPARE(got, files);
}

void TestUpdateList::newerThanOwn_data()
{
    QTest::addColumn<TVersion>("published");
    QTest::addColumn<bool>("newer");
    const TVersion own{2, 6, 2, 0};
    QTest::newRow("same") << own << false;
    QTest::newRow("build byte counts") << TVersion{2, 6, 2, 1} << true;
    QTest::newRow("major") << TVersion{3, 0, 0, 0} << true;
    QTest::newRow("older major, larger rest") << TVersion{1, 99, 99, 99} << false;
    QTest::newRow("older release") << TVersion{2, 6, 1, 255} << false;
    QTest::newRow("top of the range") << TVersion{255, 255, 255, 255} << true;
    QTest::newRow("zero") << TVersion{} << false;
}

void TestUpdateList::newerThanOwn()
{
    QFETCH(TVersion, published);
    QFETCH(bool, newer);
    QCOMPARE(IsNewerVersion(published, TVersion{2, 6, 2, 0}), newer);
}

void TestUpdateList::versionText()
{
    QCOMPARE(VersionText({2, 6, 3, 0}), std::string("2.06.3"));
    QCOMPARE(VersionText({2, 6, 3, 200}), std::string("2.06.3"));
    QCOMPARE(VersionText({10, 12, 0, 0}), std::string("10.12.0"));
    QCOMPARE(VersionText({255, 255, 255, 255}), std::string("255.255.255"));
    QCOMPARE(VersionText({0, 0, 0, 0}), std::string("0.00.0"));
    // The title shows the same text the update question does.
    QCOMPARE(VersionText(ProgramVersion), std::string(KORVAN_VERSION_TEXT));
}

void TestUpdateList::versionFromAnswer_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("version"); // dotted four bytes; empty: none
    QTest::newRow("as --version prints it") << "Korvan II 2.06.3\n"
                                            << "2.6.3.0";
    QTest::newRow("the version alone") << "10.12.0"
                                       << "10.12.0.0";
    QTest::newRow("three-digit minor") << "Korvan II 1.100.255\n"
                                       << "1.100.255.0";
    QTest::newRow("minor in one digit") << "Korvan II 2.6.3"
                                        << "";
    QTest::newRow("a part over 255") << "Korvan II 256.00.0"
                                     << "";
    QTest::newRow("a word after it") << "Korvan II 2.06.3 beta"
                                     << "";
    QTest::newRow("two parts") << "Korvan II 2.06"
                               << "";
    QTest::newRow("four parts") << "Korvan II 2.06.3.1"
                                << "";
    QTest::newRow("letters") << "Korvan II 2.0a.3"
                             << "";
    QTest::newRow("nothing") << ""
                             << "";
    QTest::newRow("leading zeros beyond the two digits") << "Korvan II 002.06.3"
                                                         << "";
}

void TestUpdateList::versionFromAnswer()
{
    QFETCH(QString, answer);
    QFETCH(QString, version);
    const auto got = VersionFromAnswer(answer.toStdString());
    QCOMPARE(got.has_value(), !version.isEmpty());
    if (got)
        QCOMPARE(QString("%1.%2.%3.%4").arg(got->Major).arg(got->Minor).arg(got->Release).arg(got->Build), version);
}

void TestUpdateList::listAddress_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("url");
    QTest::newRow("plain") << "http://127.0.0.1:8080"
                           << "http://127.0.0.1:8080/download/update/en/update.txt";
    QTest::newRow("trailing slashes") << "https://h.example/x//"
                                      << "https://h.example/x/download/update/en/update.txt";
    QTest::newRow("blanks") << "  http://h  "
                            << "http://h/download/update/en/update.txt";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("blank") << "   "
                           << "";
}

void TestUpdateList::listAddress()
{
    QFETCH(QString, base);
    QFETCH(QString, url);
    QCOMPARE(QString::fromStdString(UpdateListUrl(base.toStdString(), "en")), url);
}

void TestUpdateList::environmentNamesAnotherServer()
{
    qunsetenv(kUpdateUrlVariable);
    QCOMPARE(UpdateBaseAddress(), std::string(KORVAN_UPDATE_URL));
    qputenv(kUpdateUrlVariable, "http://127.0.0.1:9");
    QCOMPARE(UpdateBaseAddress(), std::string("http://127.0.0.1:9"));
    // Set but empty: no server, so every check fails.
    qputenv(kUpdateUrlVariable, "");
    QCOMPARE(UpdateListUrl(UpdateBaseAddress(), "en"), std::string());
    qunsetenv(kUpdateUrlVariable);
}

QTEST_APPLESS_MAIN(TestUpdateList)
#include "test_updatelist.moc"
