// News and the information panel in the real program: a channel from a loopback server shown in the
// panel, paged with the keys, a link opened through the desktop's opener (a stand-in on PATH), and
// nothing fetched or opened that the user did not ask for.
#include "support/httpserver.h"
#include "support/korvanproc.h"
#include "support/testsupport.h"

#include <QFile>
#include <QtTest>

namespace {

constexpr int kWaitMs = 15000;
// The top-left corner of the news view in the window: panel 3, 268; news page 2, 0; view 8, 10.
constexpr QPoint kNewsViewOrigin{13, 278};
constexpr QSize kNewsViewSize{238, 75};
// "Try again" is the second of the two centred lines of a failure.
constexpr int kRetryBelowCentre = 7;
// On the title link, the first line of a news page.
constexpr QPoint kOnTitleLink{kNewsViewOrigin.x() + 12, kNewsViewOrigin.y() + 6};
constexpr int kHeightWithPanel = 386;
constexpr int kHeightWithoutPanel = 268;
// The program ends within a second of Esc; as much again for a busy test machine.
constexpr int kPromptEndMs = 2000;
// Time for a channel's body to arrive and its parse to get under way.
constexpr int kParseUnderWayMs = 300;

QByteArray Ini(const QString& feedUrl)
{
    return "[Main]\r\nFullInfo=1\r\nPanel=0\r\nTimeout=500\r\n[Alpha]\r\nAddress=127.0.0.1:1\r\nRSSUrl=" +
           feedUrl.toUtf8() + "\r\n";
}

QByteArray Channel(const QString& base)
{
    QByteArray items;
    for (int i = 1; i <= 3; ++i) {
        // Links as channels often write them: without a scheme.
        const QByteArray link = base.mid(7).toUtf8() + "/item" + QByteArray::number(i);
        items += "<item><title>Item " + QByteArray::number(i) + "</title><link>" + link +
                 "</link><description><![CDATA[Text of item " + QByteArray::number(i) + " <img src=\"" + base.toUtf8() +
                 "/picture.png\">]]></description></item>";
    }
    return "<?xml version=\"1.0\" encoding=\"windows-1251\"?><rss><channel><title>News</title>" + items +
           "</channel></rss>";
}

// A channel of `count` items whose links name the server: "<base>/<server>/itemN".
QByteArray ServerChannel(const QString& base, const QByteArray& server, int count)
{
    QByteArray items;
    for (int i = 1; i <= count; ++i)
        items += "<item><title>" + server + " " + QByteArray::number(i) + "</title><link>" + base.toUtf8() + "/" +
                 server + "/item" + QByteArray::number(i) + "</link><description>text</description></item>";
    return "<?xml version=\"1.0\"?><rss><channel><title>News</title>" + items + "</channel></rss>";
}

} // namespace

class TestNews : public QObject
{
    Q_OBJECT

private slots:
    void showsPagesAndOpensALinkOnlyWhenClicked();
    void failedChannelIsRetriedByItsLink();
    void closingWhileLoadingEndsAtOnce();
    void newsOpensNoFileItNames();
    void endsPromptlyWhateverTheChannel_data();
    void endsPromptlyWhateverTheChannel();
    void panelStateSurvivesARestart();
    void pageStaysWithItsServerWhenRowsMove();

private:
    // Puts a stand-in opener first on the program's PATH; it writes each address it gets to the returned file.
    QString InstallOpener(TKorvanProcess& korvan);
};

QString TestNews::InstallOpener(TKorvanProcess& korvan)
{
    const QString bin = korvan.Root() + QStringLiteral("/bin");
    const QString log = korvan.Root() + QStringLiteral("/opened.txt");
    QDir().mkpath(bin);
    QFile opener(bin + QStringLiteral("/xdg-open"));
    if (!opener.open(QIODevice::WriteOnly))
        return {};
    opener.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"$KORVAN_TEST_OPENED\"\n");
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment& env = korvan.Environment();
    env.insert(QStringLiteral("PATH"), bin + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    env.insert(QStringLiteral("KORVAN_TEST_OPENED"), log);
    // No desktop of a known kind: the generic opener is the one asked.
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                             "BROWSER", "DEFAULT_BROWSER"})
        env.remove(QString::fromLatin1(name));
    return log;
}

void TestNews::showsPagesAndOpensALinkOnlyWhenClicked()
{
    TLoopbackHttpServer server;
    QVERIFY(server.Listen());
    const QString base = server.Url(QString());
    server.Serve("/feed", Channel(base));
    server.Serve("/picture.png", "not a picture", "image/png");

    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    const QString opened = InstallOpener(korvan);
    QVERIFY(!opened.isEmpty());
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"),
                             "[Main]\r\nFullInfo=1\r\nPanel=0\r\nTimeout=500\r\n[Alpha]\r\nAddress=127.0.0.1:1\r\n"
                             "RSSUrl=" +
                                 base.mid(7).toUtf8() + "/feed\r\n"));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
    QCOMPARE(korvan.Geometry().height, kHeightWithPanel);
    QTRY_COMPARE_WITH_TIMEOUT(server.Hits("/feed"), 1, kWaitMs);
    QTest::qWait(500);

    // Forward twice (the second page, then the third), back once: the second item is shown.
    QVERIFY(korvan.Key(QStringLiteral("alt+Right alt+Right alt+Left")));
    QTest::qWait(300);
    QVERIFY(korvan.Click(kOnTitleLink.x(), kOnTitleLink.y()));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(opened), kWaitMs);
    QFile log(opened);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray first = log.readAll().trimmed();
    QVERIFY2(first == base.toUtf8() + "/item2", korvan.StdErr().constData());

    // Paging past the end stays on the last item.
    QVERIFY(korvan.Key(QStringLiteral("alt+Right alt+Right alt+Right")));
    QTest::qWait(300);
    QVERIFY(korvan.Click(kOnTitleLink.x(), kOnTitleLink.y()));
    QTRY_VERIFY_WITH_TIMEOUT(log.size() > base.size() + 10, kWaitMs);
    QTest::qWait(300);
    QFile again(opened);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll().trimmed().split('\n'),
             (QList<QByteArray>{base.toUtf8() + "/item2", base.toUtf8() + "/item3"}));

    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY2(korvan.WaitForExit(), "the program did not end after Escape");
    QCOMPARE(korvan.ExitCode(), 0);
    // The picture the news names was never fetched, and the channel only once.
    QCOMPARE(server.Requests(), QStringList{QStringLiteral("/feed")});
}

void TestNews::failedChannelIsRetriedByItsLink()
{
    TLoopbackHttpServer server;
    QVERIFY(server.Listen());
    // First a slow failure: the window keeps answering while the channel is loading.
    THttpRoute failing;
    failing.Status = 503;
    failing.DelayMs = 2000;
    server.Route("/feed", failing);

    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    const QString opened = InstallOpener(korvan);
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), "[Main]\r\nFullInfo=1\r\nPanel=0\r\nTimeout=500\r\n"
                                                          "[Alpha]\r\nAddress=127.0.0.1:1\r\nRSSUrl=" +
                                                              server.Url("/feed").toUtf8() + "\r\n"));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
    QTRY_COMPARE_WITH_TIMEOUT(server.Hits("/feed"), 1, kWaitMs);
    QVERIFY(korvan.Key(QStringLiteral("space")));
    QTRY_COMPARE_WITH_TIMEOUT(korvan.Geometry().height, kHeightWithoutPanel, 1000);
    QVERIFY(korvan.Key(QStringLiteral("space")));
    QTRY_COMPARE_WITH_TIMEOUT(korvan.Geometry().height, kHeightWithPanel, 1000);

    // Now the channel works, as an Atom feed; "Try again" in the middle of the view fetches it anew.
    server.Serve("/feed", "<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><title>Back</title>"
                          "<link href=\"https://example.org/back\"/><summary>It works again.</summary></entry></feed>");
    QTest::qWait(2500);
    QCOMPARE(server.Hits("/feed"), 1);
    QVERIFY(korvan.Click(kNewsViewOrigin.x() + kNewsViewSize.width() / 2,
                         kNewsViewOrigin.y() + kNewsViewSize.height() / 2 + kRetryBelowCentre));
    QTRY_COMPARE_WITH_TIMEOUT(server.Hits("/feed"), 2, kWaitMs);
    QTest::qWait(500);
    QVERIFY(!QFile::exists(opened));
    QVERIFY(korvan.Click(kOnTitleLink.x(), kOnTitleLink.y()));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(opened), kWaitMs);
    QFile log(opened);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().trimmed(), QByteArray("https://example.org/back"));

    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
}

void TestNews::closingWhileLoadingEndsAtOnce()
{
    TLoopbackHttpServer server;
    QVERIFY(server.Listen());
    THttpRoute silent;
    silent.DelayMs = 20000;
    server.Route("/feed", silent);
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), "[Main]\r\nFullInfo=1\r\nPanel=0\r\nTimeout=500\r\n"
                                                          "[Alpha]\r\nAddress=127.0.0.1:1\r\nRSSUrl=" +
                                                              server.Url("/feed").toUtf8() + "\r\n"));
    QVERIFY(korvan.Start());
    QVERIFY(!korvan.MainWindow().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(server.Hits("/feed"), 1, kWaitMs);
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    // A channel that has not answered does not hold the program up.
    QVERIFY2(korvan.WaitForExit(3000), "the program waited for the news");
    QCOMPARE(korvan.ExitCode(), 0);
    QVERIFY(korvan.ReadFile(QStringLiteral("tavix.ini")).contains("RSSUrl=" + server.Url("/feed").toUtf8()));
}

void TestNews::newsOpensNoFileItNames()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    // Opening a FIFO waits for a writer: a window that tried would stand still, as on a terminal device.
    TFifoWatch watch;
    const QString fifo = korvan.Root() + QStringLiteral("/fifo");
    QVERIFY(watch.Start(fifo));
    const QByteArray path = fifo.toUtf8();
    const QByteArray url = QUrl::fromLocalFile(fifo).toEncoded();
    TLoopbackHttpServer server;
    QVERIFY(server.Listen());
    server.Serve("/feed", "<rss><channel><item><title>Pictures</title><description><![CDATA[<link rel=\"stylesheet\" "
                          "href=\"" +
                              path + "\"><img src=\"" + path + "\"><img src=\"" + url + "\"><table background=\"" +
                              path + "\"><tr><td style=\"background-image: url(" + url +
                              ")\">cell</td></tr></table>]]></description></item></channel></rss>");
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), Ini(server.Url("/feed"))));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
    QTRY_COMPARE_WITH_TIMEOUT(server.Hits("/feed"), 1, kWaitMs);
    QTest::qWait(1000);
    QVERIFY2(!watch.Opened(), "the news view opened a file the news names");
    // The window answers: Space hides the panel.
    QVERIFY(korvan.Key(QStringLiteral("space")));
    QTRY_COMPARE_WITH_TIMEOUT(korvan.Geometry().height, kHeightWithoutPanel, kWaitMs);
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QVERIFY(!watch.Opened());
}

void TestNews::endsPromptlyWhateverTheChannel_data()
{
    QTest::addColumn<QByteArray>("channel");
    QTest::addColumn<bool>("endless");
    QTest::newRow("one entity named 6,000 times")
        << "<!DOCTYPE rss [<!ENTITY e \"" + QByteArray(4000, 'a') + "\">]><rss><item><title>" +
               QByteArray("&e;").repeated(6000) + "</title></item></rss>"
        << false;
    QTest::newRow("300,000 nested items")
        << "<rss>" + QByteArray("<item>").repeated(300000) + QByteArray("</item>").repeated(300000) + "</rss>" << false;
    QTest::newRow("200 nested items around 5 MB of text")
        << "<rss>" + QByteArray("<item><description>").repeated(200) + QByteArray("word ").repeated(1024 * 1024) +
               QByteArray("</description></item>").repeated(200) + "</rss>"
        << false;
    QTest::newRow("an endless body") << QByteArray(64 * 1024, ' ') << true;
}

void TestNews::endsPromptlyWhateverTheChannel()
{
    QFETCH(QByteArray, channel);
    QFETCH(bool, endless);
    TLoopbackHttpServer server;
    QVERIFY(server.Listen());
    THttpRoute route;
    route.Body = channel;
    route.Endless = endless;
    server.Route("/feed", route);
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"), Ini(server.Url("/feed"))));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
    QTRY_COMPARE_WITH_TIMEOUT(server.Hits("/feed"), 1, kWaitMs);
    QTest::qWait(kParseUnderWayMs);
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY2(korvan.WaitForExit(kPromptEndMs), "the program went on after Escape");
    QCOMPARE(korvan.ExitCode(), 0);
}

void TestNews::panelStateSurvivesARestart()
{
    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    // A hand-edited page number that does not exist shows page 1 and is written back as such.
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"),
                             "[Main]\r\nFullInfo=1\r\nPanel=7\r\nTimeout=500\r\n[Alpha]\r\nAddress=127.0.0.1:1\r\n"));
    QVERIFY(korvan.Start());
    QVERIFY(!korvan.MainWindow().isEmpty());
    QCOMPARE(korvan.Geometry().height, kHeightWithPanel);
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QByteArray ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    QVERIFY2(ini.contains("Panel=1\r\n") && ini.contains("FullInfo=1\r\n"), ini.constData());

    // Alt+2 picks page 2, Space hides the panel and the window shrinks with it.
    QVERIFY(korvan.Start());
    QVERIFY(!korvan.MainWindow().isEmpty());
    QVERIFY(korvan.Key(QStringLiteral("alt+2 space")));
    QTRY_COMPARE_WITH_TIMEOUT(korvan.Geometry().height, kHeightWithoutPanel, kWaitMs);
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    QVERIFY2(ini.contains("Panel=2\r\n") && ini.contains("FullInfo=0\r\n"), ini.constData());

    // Ctrl+Tab goes round the pages: 2 → 0; Space shows the panel again.
    QVERIFY(korvan.Start());
    QVERIFY(!korvan.MainWindow().isEmpty());
    QCOMPARE(korvan.Geometry().height, kHeightWithoutPanel);
    QVERIFY(korvan.Key(QStringLiteral("ctrl+Tab space")));
    QTRY_COMPARE_WITH_TIMEOUT(korvan.Geometry().height, kHeightWithPanel, kWaitMs);
    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    ini = korvan.ReadFile(QStringLiteral("tavix.ini"));
    QVERIFY2(ini.contains("Panel=0\r\n") && ini.contains("FullInfo=1\r\n"), ini.constData());
}

void TestNews::pageStaysWithItsServerWhenRowsMove()
{
    TLoopbackHttpServer server;
    QVERIFY(server.Listen());
    const QString base = server.Url(QString());
    server.Serve("/alpha", ServerChannel(base, "alpha", 2));
    server.Serve("/beta", ServerChannel(base, "beta", 4));

    TKorvanProcess korvan;
    QVERIFY2(korvan.IsReady(), qPrintable(korvan.Error()));
    const QString opened = InstallOpener(korvan);
    QVERIFY(!opened.isEmpty());
    QVERIFY(korvan.WriteFile(QStringLiteral("tavix.ini"),
                             "[Main]\r\nFullInfo=1\r\nPanel=0\r\nTimeout=500\r\nServerIndex=0\r\n"
                             "[Alpha]\r\nAddress=127.0.0.1:1\r\nRSSUrl=" +
                                 server.Url("/alpha").toUtf8() + "\r\n[Beta]\r\nAddress=127.0.0.1:2\r\nRSSUrl=" +
                                 server.Url("/beta").toUtf8() + "\r\n"));
    QVERIFY(korvan.Start());
    QVERIFY2(!korvan.MainWindow().isEmpty(), korvan.StdErr().constData());
    QTRY_COMPARE_WITH_TIMEOUT(server.Hits("/alpha"), 1, kWaitMs);
    QVERIFY(korvan.Key(QStringLiteral("Down")));
    QTRY_COMPARE_WITH_TIMEOUT(server.Hits("/beta"), 1, kWaitMs);
    QTest::qWait(500);

    // Beta's fourth item, then Beta moves above Alpha and the selection goes down to Alpha's row.
    QVERIFY(korvan.Key(QStringLiteral("alt+Right alt+Right alt+Right")));
    QVERIFY(korvan.Key(QStringLiteral("alt+Up")));
    QVERIFY(korvan.Key(QStringLiteral("Down")));
    QTest::qWait(300);
    // Alpha's news starts at its own first item, not at Beta's fourth.
    QVERIFY(korvan.Click(kOnTitleLink.x(), kOnTitleLink.y()));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(opened), kWaitMs);
    QTest::qWait(300);
    QFile log(opened);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().trimmed(), base.toUtf8() + "/alpha/item1");

    QVERIFY(korvan.Key(QStringLiteral("Escape")));
    QVERIFY(korvan.WaitForExit());
    QCOMPARE(korvan.ExitCode(), 0);
}

QTEST_GUILESS_MAIN(TestNews)
#include "test_news.moc"
