// A channel of 10,000 items: the time and peak memory of reading it into news pages, next to
// `xmllint --noout` on the same file, each in a process of its own, in the same run; then the time to
// show pages in the news view (the first one, and paging through all of them). Then hostile channels
// beside it, each fetched from a loopback server into the news view in a process of its own: the
// longest stall of the main loop while the channel loads and while the user pages, the peak memory,
// and what the server got to send.
// Usage: bench_news [--parse FILE | --render FILE | --hostile NAME]
#include "common/stallmeter.h"
#include "core/localization_u.h"
#include "core/servers_u.h"
#include "news/newsservice.h"
#include "news/rssparse_u.h"
#include "support/httpserver.h"
#include "ui/newsview.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// The skin's pictures live in the interface library; outside any namespace, as the macro needs.
static void InitResources()
{
    Q_INIT_RESOURCE(korvan);
}

namespace {

constexpr int kItemCount = 10000;
constexpr int kRounds = 5;
// A hostile channel that has not loaded and been paged through by then counts as a frozen window.
constexpr int kHostileLimitMs = 60000;
constexpr int kChildPollMs = 50;
constexpr int kPageChanges = 5;
constexpr int kEntityChars = 4000;
constexpr int kEntityReferences = 6000;
constexpr int kWordBytes = 1024 * 1024;
constexpr int kNestedItems = 300000;
constexpr int kTextNestedItems = 200;
constexpr int kNestedTextBytes = 5 * 1024 * 1024;
constexpr int kEndlessChunkBytes = 64 * 1024;
constexpr int kMarkupItems = 20;
constexpr int kNestedTables = 40;
constexpr int kNestedLists = 3000;
constexpr double kMiB = 1024.0 * 1024.0;

const char* const kHostileNames[] = {"items-10000",         "entity-6000",     "word-1MB",      "nested-300000",
                                     "nested-200-text-5MB", "endless-chunked", "markup-tables", "markup-lists"};

QByteArray MakeChannel()
{
    QByteArray channel = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
                         "<title>Realm news</title><link>http://realm.example.org/</link>\n";
    for (int i = 0; i < kItemCount; ++i) {
        const QByteArray n = QByteArray::number(i);
        channel += "<item><title>Server news number " + n +
                   " \xd0\x9d\xd0\xbe\xd0\xb2\xd0\xbe\xd1\x81\xd1\x82\xd0\xb8" +
                   "</title><link>http://realm.example.org/news/" + n +
                   "</link><description><![CDATA[<p>The realm restarts at 6:00 for maintenance. "
                   "<b>New instances</b> open next week, and the arena season starts on Friday. "
                   "Read the <a href=\"http://realm.example.org/forum/" +
                   n +
                   "\">forum thread</a> for the patch notes.</p>]]></description>"
                   "<pubDate>Mon, 07 Dec 2026 10:00:00 GMT</pubDate><guid>realm-" +
                   n + "</guid></item>\n";
    }
    return channel + "</channel></rss>\n";
}

struct TRun
{
    double Ms = 0;
    long PeakKb = 0;
    int Status = -1;
};

// Runs a program to its end; wall time and the child's peak resident memory.
TRun RunChild(const std::vector<std::string>& argv)
{
    TRun run;
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.Ms = clock.nsecsElapsed() / 1e6;
    run.PeakKb = usage.ru_maxrss;
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TRun Median(std::vector<TRun> runs)
{
    std::sort(runs.begin(), runs.end(), [](const TRun& a, const TRun& b) { return a.Ms < b.Ms; });
    return runs[runs.size() / 2];
}

QByteArray ReadAll(const char* path)
{
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Child: what a fetch does once the body is in: build the pages.
int ParseOnly(const char* path)
{
    const QByteArray body = ReadAll(path);
    const TRSSParseResult result = ParseRSS(body);
    return result.Ok && result.Pages.size() == static_cast<std::size_t>(kItemCount) ? 0 : 1;
}

int Render(int argc, char** argv, const char* path)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitLocalization();
    QElapsedTimer clock;
    clock.start();
    const TRSSParseResult result = ParseRSS(ReadAll(path));
    const double parseMs = clock.nsecsElapsed() / 1e6;

    QWidget panel;
    panel.resize(258, 118);
    TRSSBrowser browser(&panel);
    browser.setGeometry(0, 0, 238, 75);
    panel.show();
    clock.restart();
    browser.LoadPage(result.Pages.front());
    (void)browser.ScrollRange();
    const double firstMs = clock.nsecsElapsed() / 1e6;
    clock.restart();
    for (const std::string& page : result.Pages) {
        browser.LoadPage(page);
        (void)browser.ScrollRange();
    }
    const double allMs = clock.nsecsElapsed() / 1e6;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("in one process: parse and build %zu pages %.1f ms; show the first page %.2f ms; page through all "
                "%.0f ms (%.3f ms a page); peak memory %ld KiB\n",
                result.Pages.size(), parseMs, firstMs, allMs, allMs / result.Pages.size(), usage.ru_maxrss);
    return 0;
}

QByteArray Repeated(const QByteArray& piece, int times)
{
    QByteArray out;
    out.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

// The answer the loopback server gives for each hostile channel.
THttpRoute HostileRoute(const std::string& name)
{
    THttpRoute route;
    route.Headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/xml")));
    if (name == "items-10000") {
        route.Body = MakeChannel();
    } else if (name == "entity-6000") {
        route.Body = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY e \"" + QByteArray(kEntityChars, 'a') +
                     "\">]><rss><channel><item><title>Entities</title><description>" +
                     Repeated("&e;", kEntityReferences) + "</description></item></channel></rss>";
    } else if (name == "word-1MB") {
        route.Body = "<rss><channel><item><title>Word</title><description>" + QByteArray(kWordBytes, 'w') +
                     "</description></item></channel></rss>";
    } else if (name == "nested-300000") {
        route.Body = "<rss><channel>" + Repeated("<item>", kNestedItems) + Repeated("</item>", kNestedItems) +
                     "</channel></rss>";
    } else if (name == "nested-200-text-5MB") {
        route.Body = "<rss>" + Repeated("<item><description>", kTextNestedItems) +
                     Repeated("word ", kNestedTextBytes / 5) + Repeated("</description></item>", kTextNestedItems) +
                     "</rss>";
    } else if (name == "markup-tables" || name == "markup-lists") {
        // Layouts that grow faster than their text: tables in tables; lists in lists and a row of many cells.
        const QByteArray description = name == "markup-tables"
                                           ? Repeated("<table><tr><td>", kNestedTables)
                                           : Repeated("<ul><li>x", kNestedLists) + "<table><tr>" +
                                                 Repeated("<td>c</td>", kNestedLists) + "</tr></table>";
        route.Body =
            "<rss><channel>" +
            Repeated("<item><title>Markup</title><description><![CDATA[" + description + "]]></description></item>",
                     kMarkupItems) +
            "</channel></rss>";
    } else if (name == "endless-chunked") {
        route.Endless = true;
        route.Body = QByteArray(kEndlessChunkBytes, ' ');
    }
    return route;
}

void Pump()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, kChildPollMs);
}

// Child: the channel fetched into a news view as the window would, then paged through.
int Hostile(int argc, char** argv, const std::string& name)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitResources();
    InitLocalization();
    TLoopbackHttpServer server;
    if (!server.Listen())
        return 1;
    const THttpRoute route = HostileRoute(name);
    server.Route(QStringLiteral("/feed"), route);
    if (!AddServer(
            {.Name = "Bench", .Address = "127.0.0.1", .RSSUrl = server.Url(QStringLiteral("/feed")).toStdString()}))
        return 1;

    TNewsService news;
    QWidget panel;
    panel.resize(258, 118);
    QWidget page(&panel);
    page.setGeometry(2, 0, 254, 94);
    TNewsView view(&page, &panel, news);
    panel.show();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    double loadStallMs = 0;
    {
        TStallMeter meter;
        view.ShowServer(Servers[0].Id);
        while (Servers[0].RSSState == rssLoading || news.RunningRSSFetches() > 0)
            Pump();
        meter.Note();
        panel.repaint();
        meter.Note();
        loadStallMs = meter.LongestMs();
    }
    const double loadMs = clock.nsecsElapsed() / 1e6;
    const std::size_t pages = Servers[0].RSSData.size();
    std::size_t largestPage = 0;
    for (const std::string& text : Servers[0].RSSData)
        largestPage = std::max(largestPage, text.size());

    double pageStallMs = 0;
    {
        TStallMeter meter;
        for (int i = 0; i < kPageChanges; ++i) {
            view.BtnNextClick();
            panel.repaint();
            meter.Note();
        }
        view.BtnPrevClick();
        panel.repaint();
        meter.Note();
        pageStallMs = meter.LongestMs();
    }
    const char* state = Servers[0].RSSState == rssLoaded ? "loaded" : Servers[0].RSSState == rssFailed ? "failed" : "?";
    std::printf("%-20s %s in %.0f ms, %zu pages (largest %.1f KiB); longest stall: %.1f ms loading, %.1f ms paging; "
                "server sent %.1f MiB\n",
                name.c_str(), state, loadMs, pages, largestPage / 1024.0, loadStallMs, pageStallMs,
                server.BytesSent() / kMiB);
    std::fflush(stdout);
    return 0;
}

// Runs one hostile channel in a child of its own, which is ended once it runs past the limit.
void RunHostile(const std::string& self, const char* name)
{
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(self.c_str(), self.c_str(), "--hostile", name, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    bool killed = false;
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (clock.elapsed() > kHostileLimitMs) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            killed = true;
            break;
        }
        usleep(kChildPollMs * 1000);
    }
    if (killed)
        std::printf("%-20s not done after %d s (ended by the bench); ", name, kHostileLimitMs / 1000);
    else
        std::printf("%-20s ", "");
    std::printf("process peak memory %.0f MiB, %.1f s in all\n", usage.ru_maxrss / 1024.0, clock.elapsed() / 1000.0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--parse")
        return ParseOnly(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--render")
        return Render(argc, argv, argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--hostile")
        return Hostile(argc, argv, argv[2]);
    if (argc == 2 && std::string(argv[1]) == "--hostile") {
        const std::string self = QFile::decodeName(argv[0]).toStdString();
        for (const char* name : kHostileNames)
            RunHostile(self, name);
        return 0;
    }

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("channel.xml"));
    const QByteArray channel = MakeChannel();
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(channel) != channel.size())
            return 1;
    }
    std::printf("channel: %d items, %.2f MB\n", kItemCount, channel.size() / (1024.0 * 1024.0));
    const std::string self = QFile::decodeName(argv[0]).toStdString();
    const std::string path = file.toStdString();
    const bool haveXmllint = !QStandardPaths::findExecutable(QStringLiteral("xmllint")).isEmpty();

    std::vector<TRun> ours;
    std::vector<TRun> xmllint;
    for (int round = 0; round < kRounds; ++round) {
        ours.push_back(RunChild({self, "--parse", path}));
        if (haveXmllint)
            xmllint.push_back(RunChild({"xmllint", "--noout", path}));
    }
    const TRun a = Median(ours);
    std::printf("korvan parse + pages (own process, median of %d): %.1f ms, peak %ld KiB, exit %d\n", kRounds, a.Ms,
                a.PeakKb, a.Status);
    if (haveXmllint) {
        const TRun b = Median(xmllint);
        std::printf("xmllint --noout      (own process, median of %d): %.1f ms, peak %ld KiB, exit %d\n", kRounds, b.Ms,
                    b.PeakKb, b.Status);
        std::printf("ratio: time %.2fx, memory %.2fx\n", a.Ms / b.Ms, double(a.PeakKb) / b.PeakKb);
    } else {
        std::printf("xmllint not found (Debian package libxml2-utils): no comparison\n");
    }
    std::fflush(stdout);
    const int status = RunChild({self, "--render", path}).Status;
    for (const char* name : kHostileNames)
        RunHostile(self, name);
    return status;
}
