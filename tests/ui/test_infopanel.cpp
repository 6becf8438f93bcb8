// The information panel: shortening of long values, page selection with its tabs, and the values
// and tooltips of every kind of server. KORVAN_RENDER_DIR=<folder> also saves pictures of the panel.
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "core/settings.h"
#include "news/newsservice.h"
#include "support/testsupport.h"
#include "ui/ImgBtn.h"
#include "ui/LnkLabel.h"
#include "ui/infopanel.h"
#include "ui/newsview.h"

#include <QDesktopServices>
#include <QLabel>
#include <QtTest>
#include <optional>

namespace {

// One unit per character: widths that a test can count.
int CharWidth(const QString& text)
{
    return static_cast<int>(text.size());
}

struct TServerValues
{
    std::string Address = "127.0.0.1";
    std::string Comments;
    std::string Preloader;
    std::string AltPath;
    std::string Patchlist;
    std::string Website;
    std::uint8_t ServerType = 0;
    bool AutoCacheClear = false;
    std::string RSSUrl;
};

} // namespace

class TestInfoPanel : public QObject
{
    Q_OBJECT

public slots:
    void Swallow(const QUrl&) {}

private slots:
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("http"); }
    void initTestCase();
    void init();
    void cleanup();

    void shortens_data();
    void shortens();
    void selectsPages_data();
    void selectsPages();
    void noSelectionEmptiesEveryValue();
    void fillsValuesAndTooltips();
    void longValuesKeepTheirTooltip();
    void websiteIsALinkOnlyWhenThereIsOne();
    void serverTypesInTheirColours_data();
    void serverTypesInTheirColours();
    void gameVersionCaptions();
    void wineRowNamesTheWineAndPrefixAPlayUses();
    void newChoiceShowsTheFirstNewsItem();
    void rendersPictures();

private:
    void Add(const std::string& name, const TServerValues& values);
    // Shows the entry in row `index`, as the window does when the selection rests on it; -1 shows none.
    void Show(int index) { panel_->ShowServer(index < 0 ? 0 : Servers[static_cast<std::size_t>(index)].Id); }
    QLabel* Label(const char* name) const { return panel_->findChild<QLabel*>(name); }
    TImgBtn* Tab(int page) const { return panel_->findChild<TImgBtn*>(QStringLiteral("InfoBtn%1").arg(page)); }

    std::optional<TScratchIni> scratch_;
    TSettings settings_;
    std::optional<TNewsService> news_;
    QWidget* window_ = nullptr;
    TInfoPanel* panel_ = nullptr;
};

void TestInfoPanel::initTestCase()
{
    // Nothing reaches the real desktop from here.
    QDesktopServices::setUrlHandler("http", this, "Swallow");
    // The artwork lives in a static library, whose resources the linker would otherwise leave out.
    Q_INIT_RESOURCE(korvan);
    InitLocalization();
}

void TestInfoPanel::init()
{
    scratch_.emplace();
    news_.emplace();
    settings_.Apply({});
    window_ = new QWidget;
    window_->resize(261, 386);
    panel_ = new TInfoPanel(window_, settings_, *news_);
    panel_->show();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_));
}

void TestInfoPanel::cleanup()
{
    delete window_;
    news_.reset();
    scratch_.reset();
}

void TestInfoPanel::Add(const std::string& name, const TServerValues& v)
{
    QVERIFY(AddServer({.Name = name,
                       .Address = v.Address,
                       .Comments = v.Comments,
                       .Preloader = v.Preloader,
                       .AltPath = v.AltPath,
                       .Patchlist = v.Patchlist,
                       .Website = v.Website,
                       .ServerType = v.ServerType,
                       .AutoCacheClear = v.AutoCacheClear,
                       .RSSUrl = v.RSSUrl}));
    // No fetch from these tests: the news is there already.
    Servers.back().RSSState = rssLoaded;
}

void TestInfoPanel::shortens_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("right");
    QTest::addColumn<QString>("shown");
    QTest::newRow("fits") << "abcdef" << 6 << false << "abcdef";
    QTest::newRow("fits right") << "abcdef" << 6 << true << "abcdef";
    QTest::newRow("end cut") << "abcdefgh" << 7 << false << "abcd...";
    QTest::newRow("front cut keeps the end") << "abcdefgh" << 7 << true << "...efgh";
    QTest::newRow("nothing but dots") << "abcdefgh" << 3 << false << "...";
    QTest::newRow("narrower than the dots") << "abcdefgh" << 1 << true << "...";
    QTest::newRow("empty") << "" << 0 << false << "";
    QTest::newRow("long address") << "realm.some-very-long-server-name.example.org:3724" << 19 << true
                                  << "...example.org:3724";
    // A character of two UTF-16 units is kept or dropped whole.
    const QString smiley = QString::fromUtf8("\xf0\x9f\x98\x80");
    QTest::newRow("end cut keeps pairs whole") << "ab" + smiley + "cde" << 6 << false << "ab...";
    QTest::newRow("front cut keeps pairs whole") << "abc" + smiley + "de" << 6 << true << "...de";
    QTest::newRow("very long text") << QString(200000, 'x') + "END" << 10 << true << "...xxxxEND";
    QTest::newRow("very long text cut at the end") << "BEGIN" + QString(200000, 'x') << 10 << false << "BEGINxx...";
}

void TestInfoPanel::shortens()
{
    QFETCH(QString, caption);
    QFETCH(int, width);
    QFETCH(bool, right);
    QFETCH(QString, shown);
    QCOMPARE(ShortenLabel(caption, width, right, CharWidth), shown);
}

void TestInfoPanel::selectsPages_data()
{
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("shown");
    QTest::newRow("news") << 0 << 0;
    QTest::newRow("address") << 1 << 1;
    QTest::newRow("facts") << 2 << 2;
    QTest::newRow("3 shows page 1") << 3 << 1;
    QTest::newRow("255 shows page 1") << 255 << 1;
    QTest::newRow("-1 shows page 1") << -1 << 1;
}

void TestInfoPanel::selectsPages()
{
    QFETCH(int, asked);
    QFETCH(int, shown);
    panel_->SelectInfoPanel(asked);
    QCOMPARE(panel_->CurrentPage(), shown);
    for (int page = 0; page < kPanelPageCount; ++page) {
        const bool current = page == shown;
        QCOMPARE(Tab(page)->isEnabled(), !current);
        QCOMPARE(panel_->findChild<QWidget*>(QStringLiteral("Panel%1").arg(page))->isVisible(), current);
        QCOMPARE(panel_->findChild<QLabel*>(QStringLiteral("InfoJustLabel%1").arg(page))->isVisible(), current);
        QCOMPARE(panel_->findChild<QLabel*>(QStringLiteral("InfoJustLabelMask%1").arg(page))->isVisible(), current);
    }
    QCOMPARE(Label("InfoRSSPanelMask")->isVisible(), shown != 0);
    if (shown != 0) {
        // Left of the tabs, where the news has its page label and arrows, the page's ground runs on:
        // no separator line or frame of an empty box.
        const QImage picture = panel_->grab().toImage();
        const QRect strip(2, 94, 140, 22);
        for (int y = strip.top(); y <= strip.bottom(); ++y)
            for (int x = strip.left(); x <= strip.right(); ++x)
                QVERIFY2((picture.pixel(x, y) & 0xFFFFFF) == 0x191919,
                         qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    }
    // The tabs switch pages too; the current one is covered and does nothing.
    QTest::mouseClick(Tab((shown + 1) % kPanelPageCount), Qt::LeftButton);
    QCOMPARE(panel_->CurrentPage(), (shown + 1) % kPanelPageCount);
}

void TestInfoPanel::noSelectionEmptiesEveryValue()
{
    TServerValues v;
    v.Comments = "comment";
    v.Website = "example.org";
    v.Preloader = "/bin/true";
    Add("A", v);
    Show(0);
    Show(-1);
    for (const char* name : {"Realmlist", "Patchlist", "AlternativeWoWPath", "PreloaderCD", "AutoCacheClear",
                             "WoWVersion", "ServerSite", "ServerType", "RSSChannel", "AdditionalInfo", "WineSetup"}) {
        QVERIFY2(Label(name)->text().isEmpty(), name);
        QVERIFY2(Label(name)->toolTip().isEmpty(), name);
    }
    QVERIFY(panel_->findChild<TLnkLabel*>("ServerSite")->Link().isEmpty());
    QCOMPARE(panel_->News()->Browser()->toPlainText(), QString());
}

void TestInfoPanel::fillsValuesAndTooltips()
{
    TServerValues v;
    v.Address = "logon.example.org";
    v.Preloader = "/games/loader.exe";
    v.AltPath = "/games/other/Wow.exe";
    v.AutoCacheClear = true;
    v.Comments = "Blizzlike";
    v.RSSUrl = "example.org/rss";
    v.Patchlist = "patch.example.org";
    Add("Full", v);
    Add("Bare", {});
    Show(0);
    const struct
    {
        const char* label;
        const char* text;
        const char* tip;
    } full[] = {
        {"Realmlist", "logon.example.org", "logon.example.org"},
        {"Patchlist", "patch.example.org", "patch.example.org"},
        {"PreloaderCD", "Yes", "/games/loader.exe"},
        {"AlternativeWoWPath", "Yes", "/games/other/Wow.exe"},
        {"AutoCacheClear", "Yes", ""},
        {"AdditionalInfo", "Blizzlike", "Blizzlike"},
        {"RSSChannel", "example.org/rss", "example.org/rss"},
        {"WoWVersion", "?", ""},
    };
    for (const auto& row : full) {
        QCOMPARE(Label(row.label)->text(), QString(row.text));
        QCOMPARE(Label(row.label)->toolTip(), QString(row.tip));
    }
    Show(1);
    const struct
    {
        const char* label;
        const char* text;
    } bare[] = {
        {"Realmlist", "127.0.0.1"},   {"Patchlist", "---"},     {"PreloaderCD", "No"},
        {"AlternativeWoWPath", "No"}, {"AutoCacheClear", "No"}, {"AdditionalInfo", "---"},
        {"RSSChannel", "---"},        {"WoWVersion", "---"},    {"ServerSite", "---"},
    };
    for (const auto& row : bare) {
        QCOMPARE(Label(row.label)->text(), QString(row.text));
        if (QString(row.label) != "Realmlist")
            QVERIFY2(Label(row.label)->toolTip().isEmpty(), row.label);
    }
}

void TestInfoPanel::longValuesKeepTheirTooltip()
{
    TServerValues v;
    v.Address = "realm.a-really-long-private-server-name.example.org:3724";
    v.Comments = "A long comment about rates, the realm's rules, its forum, and what else players ask about.";
    Add("Long", v);
    Show(0);
    QLabel* realmlist = Label("Realmlist");
    QVERIFY(realmlist->text().startsWith("..."));
    QVERIFY(realmlist->text().endsWith(":3724"));
    QCOMPARE(realmlist->toolTip(), QString::fromStdString(v.Address));
    QVERIFY(QFontMetrics(realmlist->font()).horizontalAdvance(realmlist->text()) <= realmlist->width());
    QLabel* info = Label("AdditionalInfo");
    QVERIFY(info->text().endsWith("..."));
    QVERIFY(info->text().startsWith("A long"));
    QCOMPARE(info->toolTip(), QString::fromStdString(v.Comments));

    // A comment of a megabyte (a hand-edited or damaged file) is shown cut like any other.
    TServerValues huge;
    huge.Comments = std::string(1 << 20, 'c');
    Add("Huge", huge);
    QElapsedTimer clock;
    clock.start();
    Show(1);
    qInfo("panel filled with a 1 MB comment in %lld ms", clock.elapsed());
    QVERIFY(info->text().endsWith("..."));
    QVERIFY(info->text().size() < 100);
}

void TestInfoPanel::websiteIsALinkOnlyWhenThereIsOne()
{
    TServerValues site;
    site.Website = "www.example.org";
    Add("Site", site);
    Add("NoSite", {});
    auto* label = panel_->findChild<TLnkLabel*>("ServerSite");
    Show(0);
    QCOMPARE(label->text(), QString("www.example.org"));
    QCOMPARE(label->toolTip(), QString("www.example.org"));
    QCOMPARE(label->Link(), QString("http://www.example.org"));
    QVERIFY(label->font().underline());
    QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(label->EnterFontColor(), QColor(Qt::white));
    QSignalSpy opened(label, &TLnkLabel::LinkOpened);
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.at(0).at(0).toString(), QString("http://www.example.org"));

    Show(1);
    QCOMPARE(label->text(), QString("---"));
    QVERIFY(label->toolTip().isEmpty());
    QVERIFY(label->Link().isEmpty());
    QVERIFY(!label->font().underline());
    QCOMPARE(label->cursor().shape(), Qt::ArrowCursor);
    // "---" does not light up under the mouse, nor open anything.
    QCOMPARE(label->EnterFontColor(), label->LeaveFontColor());
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(opened.size(), 1);
}

void TestInfoPanel::serverTypesInTheirColours_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("colour");
    const QColor gold(247, 205, 40);
    QTest::newRow("0") << 0 << "---" << gold;
    QTest::newRow("1") << 1 << "Normal" << gold;
    QTest::newRow("2") << 2 << "RP" << QColor(0, 255, 0);
    QTest::newRow("3") << 3 << "PvP" << QColor(255, 0, 0);
    QTest::newRow("4") << 4 << "RPPvP" << QColor(255, 0, 0);
    QTest::newRow("5") << 5 << "Multirealm" << gold;
}

void TestInfoPanel::serverTypesInTheirColours()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QColor, colour);
    TServerValues v;
    v.ServerType = static_cast<std::uint8_t>(type);
    Add("Typed", v);
    v.ServerType = 9;
    Add("Odd", v);
    Show(0);
    QLabel* label = Label("ServerType");
    QCOMPARE(label->text(), name);
    QCOMPARE(label->palette().color(QPalette::WindowText), colour);
    // A type outside the table leaves the label as it was.
    Show(1);
    QCOMPARE(label->text(), name);
    QCOMPARE(label->palette().color(QPalette::WindowText), colour);
}

void TestInfoPanel::gameVersionCaptions()
{
    QCOMPARE(GameVersionCaption(""), QString("---"));
    QCOMPARE(GameVersionCaption(scratch_->Folder() + "missing.exe"), QString("?"));
    scratch_->Write("not a program");
    QCOMPARE(GameVersionCaption(scratch_->Path()), QString("?"));
    QCOMPARE(GameVersionCaption(scratch_->Folder()), QString("?"));

    // The server's own game path wins over the global one.
    TMainSettings values;
    values.WoWPath = scratch_->Path();
    settings_.Apply(values);
    Add("Global", {});
    Show(0);
    QCOMPARE(Label("WoWVersion")->text(), QString("?"));
}

void TestInfoPanel::wineRowNamesTheWineAndPrefixAPlayUses()
{
    TMainSettings values;
    values.WoWPath = "/games/wow/WoW.exe";
    settings_.Apply(values);
    TServerValues found;
    found.AltPath = "/home/me/Games/pfx-alpha/drive_c/WoW/WoW.exe";
    Add("Found", found);
    Add("Named", {});
    Servers.back().WineCommand = "/opt/wine-staging/bin/wine64 --quiet";
    Servers.back().WinePrefix = "/home/me/prefixes/beta/";
    Add("Plain", {});

    // Shown under pages 1 and 2, not under the news.
    QLabel* row = Label("WineSetup");
    for (int page : {0, 1, 2}) {
        panel_->SelectInfoPanel(page);
        QCOMPARE(row->isVisible(), page != 0);
    }
    Show(0);
    QCOMPARE(row->text(), QString("wine, pfx-alpha"));
    QCOMPARE(row->toolTip(), QString("Wine: wine\nWine prefix: /home/me/Games/pfx-alpha (found from drive_c)"));
    Show(1);
    QCOMPARE(row->text(), QString("wine64, beta"));
    QCOMPARE(row->toolTip(),
             QString("Wine: /opt/wine-staging/bin/wine64 --quiet\nWine prefix: /home/me/prefixes/beta"));
    // The settings' Wine, and Wine's own prefix.
    values.WineCommand = "/usr/lib/wine/wine";
    settings_.Apply(values);
    Show(2);
    QCOMPARE(row->text(), QString("wine, Wine's own"));
    QCOMPARE(row->toolTip(), QString("Wine: /usr/lib/wine/wine\nWine prefix: Wine's own"));
}

void TestInfoPanel::newChoiceShowsTheFirstNewsItem()
{
    Add("A", {});
    Servers.back().RSSData = {"<b>1</b>", "<b>2</b>"};
    Add("B", {});
    Servers.back().RSSData = {"<b>x</b>"};
    Show(0);
    panel_->News()->BtnNextClick();
    QCOMPARE(panel_->News()->Page(), 1);
    Show(0); // the same server: the page stays
    QCOMPARE(panel_->News()->Page(), 1);
    Show(1);
    Show(0);
    QCOMPARE(panel_->News()->Page(), 0);
    QCOMPARE(panel_->News()->Browser()->toPlainText().trimmed(), QString("1"));
}

void TestInfoPanel::rendersPictures()
{
    const QString folder = qEnvironmentVariable("KORVAN_RENDER_DIR");
    if (folder.isEmpty())
        QSKIP("KORVAN_RENDER_DIR not set");
    TServerValues online;
    online.Address = "logon.example-realm.org";
    online.Website = "www.example-realm.org";
    online.Comments = "x5 rates, Blizzlike, international community";
    online.RSSUrl = "example-realm.org/news.rss";
    online.ServerType = 3;
    online.AutoCacheClear = true;
    Add("Online", online);
    Servers.back().Status = ssOnline;
    Servers.back().RSSData = {"<html><body><a href=\"http://example-realm.org/1\"><b>Server update 2.4.3</b></a><br />"
                              "The realm restarts at 6:00 for maintenance. New instances open next week, and the "
                              "arena season starts on Friday.</body></html>",
                              "<b>two</b>",
                              "<html><body><b>Patch notes</b><br />1. Fixed the bank.<br />2. Fixed the auction "
                              "house.<br />3. New arena season.<br />4. Faster logins.<br />5. More realms.<br />"
                              "6. The end.</body></html>"};
    TServerValues longAddress;
    longAddress.Address = "realm.a-really-long-private-server-name.example.org:3724";
    longAddress.Patchlist = "patches.a-really-long-private-server-name.example.org";
    longAddress.Preloader = "/games/loader.exe";
    Add("Long", longAddress);
    Servers.back().Status = ssOffline;
    Servers.back().RSSState = rssFailed;
    for (int type = 0; type < kServerTypeCount; ++type) {
        TServerValues typed;
        typed.ServerType = static_cast<std::uint8_t>(type);
        Add("Type" + std::to_string(type), typed);
        Servers.back().RSSState = rssNotSet;
    }
    auto save = [&](const QString& name) {
        const QImage picture = panel_->grab().toImage();
        QVERIFY(picture.save(folder + "/" + name + ".png"));
        // Three times as large, for looking at single pixels.
        QVERIFY(picture.scaled(picture.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                    .save(folder + "/" + name + "_x3.png"));
    };
    for (int server = 0; server < 2; ++server) {
        Show(server);
        for (int page = 0; page < kPanelPageCount; ++page) {
            panel_->SelectInfoPanel(page);
            save(QStringLiteral("panel_%1_page%2").arg(server == 0 ? "online" : "long").arg(page));
        }
    }
    panel_->SelectInfoPanel(0);
    Show(0);
    panel_->News()->BtnNextClick();
    save("panel_news_page2");
    panel_->News()->BtnNextClick();
    save("panel_news_long");
    panel_->SelectInfoPanel(2);
    for (int type = 0; type < kServerTypeCount; ++type) {
        Show(2 + type);
        save(QStringLiteral("panel_type%1").arg(type));
    }
    panel_->SelectInfoPanel(0);
    Show(2);
    save("panel_news_notset");
}

QTEST_MAIN(TestInfoPanel)
#include "test_infopanel.moc"
