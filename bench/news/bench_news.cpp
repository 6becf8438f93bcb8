// A channel of 10,000 items: the time and peak memory of reading it into news pages, next to
// `xmllint --noout` on the same file, each in a process of its own, in the same run; then the time to
// show pages in the news view (the first one, and paging through all of them).
// Usage: bench_news [--parse FILE | --render FILE]
#include "core/localization_u.h"
#include "news/rss_u.h"
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
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kItemCount = 10000;
constexpr int kRounds = 5;

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

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--parse")
        return ParseOnly(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--render")
        return Render(argc, argv, argv[2]);

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
    return RunChild({self, "--render", path}).Status;
}
