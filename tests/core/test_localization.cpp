// The text tables of both editions and the lookup rules.
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/textcodec.h"

#include <QtTest>
#include <set>

namespace {

std::vector<int> RequiredIds()
{
    std::vector<int> ids{1, 6000};
    auto range = [&](int from, int to) {
        for (int i = from; i <= to; ++i)
            ids.push_back(i);
    };
    range(1000, 1048);
    range(2000, 2031);
    range(3000, 3022);
    range(4000, 4016);
    range(5000, 5002);
    return ids;
}

} // namespace

class TestLocalization : public QObject
{
    Q_OBJECT

private slots:
    void bothTablesHoldEveryIdOnce();
    void englishWordingAsShipped();
    void englishTextsHoldNoKnownMisspelling();
    void czechAcceleratorsStayWhereTheLayoutHasThem();
    void lookupCutsAndMisses();
    void placesAreFilledInOrderOnce();
    void bothEditionsHoldTheSamePlaces();
    void languageIds();
    void startUpFillsMessagesAndTypeName();
    void legacyBytesAreDecoded();
};

void TestLocalization::bothTablesHoldEveryIdOnce()
{
    for (TTextTable table : {EnglishTextTable(), CzechTextTable()}) {
        std::set<int> seen;
        for (std::size_t i = 0; i < table.count; ++i) {
            QVERIFY2(seen.insert(table.entries[i].id).second, qPrintable(QString::number(table.entries[i].id)));
            QVERIFY(IsValidUtf8(table.entries[i].text));
        }
        for (int id : RequiredIds()) {
            QVERIFY2(seen.count(id), qPrintable(QString("missing id %1").arg(id)));
            if (id != 1)
                QVERIFY(!LoadTextFrom(table.entries, table.count, id, kTextBufferLength).empty());
        }
    }
    QCOMPARE(LoadTextFrom(CzechTextTable().entries, CzechTextTable().count, 1, 255), std::string("cz"));
    QCOMPARE(LoadTextFrom(CzechTextTable().entries, CzechTextTable().count, 2010, 255), std::string("Nastavení"));
}

void TestLocalization::englishWordingAsShipped()
{
    auto en = [](int id) { return LoadTextFrom(EnglishTextTable().entries, EnglishTextTable().count, id, 255); };
    QCOMPARE(en(1), std::string("en"));
    QCOMPARE(en(1027), std::string("In the WTF folder are stored the game and addons settings. If you clear it, all "
                                   "the settings will be lost.\nDo you wish to continue?"));
    QCOMPARE(en(1032), std::string("Game version: %s (build %s)"));
    QCOMPARE(en(2000), std::string("Minimize"));
    QCOMPARE(en(4004), std::string("Connection timeout (milliseconds):"));
    QCOMPARE(en(4012), std::string("Check program updates automatically:"));
    QCOMPARE(en(6000), std::string("Program update"));
}

void TestLocalization::englishTextsHoldNoKnownMisspelling()
{
    // Mistakes the table once shipped with; none may come back in any text.
    const char* const misspellings[] = {"occured",    "availible", "miliseconds",        "Chect",
                                        "Minimalize", "??",        "is not valid World", "run, if"};
    const TTextTable table = EnglishTextTable();
    for (std::size_t i = 0; i < table.count; ++i)
        for (const char* wrong : misspellings)
            QVERIFY2(std::string(table.entries[i].text).find(wrong) == std::string::npos,
                     qPrintable(QString("%1 holds \"%2\"").arg(table.entries[i].id).arg(QLatin1String(wrong))));
}

void TestLocalization::czechAcceleratorsStayWhereTheLayoutHasThem()
{
    auto cz = [](int id) { return LoadTextFrom(CzechTextTable().entries, CzechTextTable().count, id, 255); };
    QCOMPARE(cz(3015), std::string("&Navštívit"));
    QCOMPARE(cz(3016), std::string("&Vlastní patchlist"));
    QCOMPARE(cz(3005), std::string("Po&užívá preloader/C-D"));
    QCOMPARE(cz(3019), std::string("Auto&maticky mazat cache (WDB)"));
}

void TestLocalization::lookupCutsAndMisses()
{
    const std::string longText(300, 'a');
    const std::string czech = "žluťoučký kůň";
    const TTextEntry table[] = {{7, longText.c_str()}, {8, ""}, {9, czech.c_str()}};
    QCOMPARE(LoadTextFrom(table, 3, 7, 255).size(), size_t(254));
    QCOMPARE(LoadTextFrom(table, 3, 8, 255), std::string());
    QCOMPARE(LoadTextFrom(table, 3, 99, 255), std::string());
    // Cut by characters, never inside one.
    QCOMPARE(LoadTextFrom(table, 3, 9, 4), std::string("žlu"));
    QCOMPARE(LoadTextFrom(table, 3, 9, 1), std::string());
}

void TestLocalization::placesAreFilledInOrderOnce()
{
    QCOMPARE(FillPlaceholders("Downloading file %d of %d...", {"3", "12"}), std::string("Downloading file 3 of 12..."));
    QCOMPARE(FillPlaceholders("Game version: %s (build %s)", {"3.3.5", "12340"}),
             std::string("Game version: 3.3.5 (build 12340)"));
    // A value is never read again: a '%' typed in a name or a path comes out as typed.
    QCOMPARE(FillPlaceholders("Server '%s' is not in the list.", {"100%s%d"}),
             std::string("Server '100%s%d' is not in the list."));
    QCOMPARE(FillPlaceholders("%s and %s", {"%s", "b"}), std::string("%s and b"));
    // A place without its value stays visible; values beyond the places are dropped.
    QCOMPARE(FillPlaceholders("%d of %d", {"1"}), std::string("1 of %d"));
    QCOMPARE(FillPlaceholders("%d of %d", {}), std::string("%d of %d"));
    QCOMPARE(FillPlaceholders("Usage: %s", {"korvan", "extra"}), std::string("Usage: korvan"));
    // Only %s and %d are places; a lone or trailing '%' is text.
    QCOMPARE(FillPlaceholders("100% of %x%", {"x"}), std::string("100% of %x%"));
    QCOMPARE(FillPlaceholders("", {"x"}), std::string());
    // By id: the edition's own text, filled the same way.
    QCOMPARE(FillText(TTextId::FileNotFound, {"/a/%s"}), FillPlaceholders(LoadText(TTextId::FileNotFound), {"/a/%s"}));
    QVERIFY(FillText(TTextId::FileNotFound, {"/a/%s"}).find("/a/%s") != std::string::npos);
}

void TestLocalization::bothEditionsHoldTheSamePlaces()
{
    // Every id in one edition's table is in the other's, with its %s and %d places in the same order,
    // since one call fills both.
    auto places = [](std::string_view text) {
        std::string found;
        for (std::size_t i = 0; i + 1 < text.size(); ++i)
            if (text[i] == '%' && (text[i + 1] == 's' || text[i + 1] == 'd'))
                found += text[++i];
        return found;
    };
    const TTextTable en = EnglishTextTable(), cz = CzechTextTable();
    QCOMPARE(en.count, cz.count);
    for (std::size_t i = 0; i < en.count; ++i) {
        const int id = en.entries[i].id;
        const std::string czech = LoadTextFrom(cz.entries, cz.count, id, kTextBufferLength);
        QVERIFY2(id == 1 || !czech.empty(), qPrintable(QString("missing id %1").arg(id)));
        QVERIFY2(places(en.entries[i].text) == places(czech), qPrintable(QString("places of %1").arg(id)));
    }
}

void TestLocalization::languageIds()
{
    QCOMPARE(LanguageIdOf("en"), kLangEnglish);
    QCOMPARE(LanguageIdOf("cz"), kLangCzech);
    QCOMPARE(LanguageIdOf("Cz"), kLangCzech);
    QCOMPARE(LanguageIdOf("de"), kLangNeutral);
    QCOMPARE(LanguageIdOf(""), kLangNeutral);
}

void TestLocalization::startUpFillsMessagesAndTypeName()
{
    InitLocalization();
    QCOMPARE(InterfaceLanguage, KORVAN_LANGUAGE_CZ ? kLangCzech : kLangEnglish);
    QCOMPARE(Msg(TTextId::NoValue), std::string("---"));
    QCOMPARE(ServerTypeNames[0], std::string("---"));
    QCOMPARE(ServerTypeNames[5], std::string("Multirealm"));
    QVERIFY(!Msg(TTextId::NotImplemented).empty());
    QVERIFY(Msg(static_cast<TTextId>(999)).empty());
    QVERIFY(Msg(static_cast<TTextId>(1049)).empty());
    // Only the messages: a window text is no message, though the table holds it.
    QVERIFY(Msg(TTextId::HintClose).empty());
    QVERIFY(!LoadText(TTextId::HintClose).empty());
}

void TestLocalization::legacyBytesAreDecoded()
{
    QCOMPARE(DisplayText("plain"), std::string("plain"));
    QCOMPARE(DisplayText("Škola"), std::string("Škola"));
    QCOMPARE(DecodeLegacy("\x8Akola \x80", TLegacyCodePage::Windows1252), std::string("Škola €"));
    QCOMPARE(DecodeLegacy("\xE8\xF8\xEC\x9D", TLegacyCodePage::Windows1250), std::string("čřěť"));
    QCOMPARE(DecodeLegacy("\xE8", TLegacyCodePage::Windows1252), std::string("è"));
    QVERIFY(!IsValidUtf8("\xC0\xAF"));     // overlong
    QVERIFY(!IsValidUtf8("\xED\xA0\x80")); // surrogate
    QVERIFY(!IsValidUtf8("\xE2\x82"));     // cut short
    QVERIFY(IsValidUtf8("\xF0\x9F\x8E\xAE"));
}

QTEST_GUILESS_MAIN(TestLocalization)
#include "test_localization.moc"
